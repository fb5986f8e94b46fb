// The simulated driver used from several threads at once, as host threads, grab threads and the
// notification thread use it: every request ends exactly once and nothing races.
#include <atomic>
#include <set>
#include <thread>

#include "sim_support.h"

namespace {

using namespace simtest;
namespace drv = Bcam::driver;

class SimConcurrency : public SimTest {};

constexpr std::uint32_t kFrame = 640 * 480 * 2;  // the colour camera's YUV 4:2:2 mode

// Grabs with continuous shot on a grab thread while other threads change settings and read the
// camera; then closes the handle with grabs still queued. Every grab comes back exactly once.
TEST_F(SimConcurrency, GrabsSettingsAndCloseFromSeveralThreads) {
    Device dev(kColour);
    ASSERT_TRUE(dev.Valid());
    drv::AllocateOut reply{};
    ASSERT_EQ(dev.Transmit(drv::kAllocateResources, {4000, 4, kFrame}, &reply, sizeof reply), 0u);
    std::uint32_t error = 0;
    pf::Overlapped start{};
    dev.Async(drv::kShot, {drv::kShotContinuous, 0}, nullptr, 0, &start, &error);
    ASSERT_EQ(dev.Dequeue(5000, &error), &start);

    constexpr int kGrabs = 40;
    std::vector<std::vector<std::uint8_t>> buffers(4, std::vector<std::uint8_t>(kFrame));
    std::vector<pf::Overlapped> records(kGrabs);
    std::atomic<bool> allQueued{false};
    std::multiset<pf::Overlapped*> returned;
    int succeeded = 0, aborted = 0, other = 0;

    std::thread grabber([&] {
        // Keeps four grabs queued, each in its own buffer (they come back in order), until all
        // have been queued; then waits for the rest.
        int queued = 0, back = 0;
        auto queue = [&] {
            std::uint32_t e = 0;
            dev.Async(drv::kGrabImage, {}, buffers[queued % 4].data(), kFrame, &records[queued], &e);
            ++queued;
        };
        while (queued < 4) queue();
        while (back < queued) {
            std::uint32_t e = 0;
            pf::Overlapped* done = dev.Dequeue(5000, &e);
            if (!done) break;
            returned.insert(done);
            ++back;
            (e == 0 ? succeeded : e == 995 ? aborted : other)++;
            if (queued < kGrabs) queue(); else allQueued = true;
        }
        allQueued = true;
    });
    std::thread settings([&] {
        for (int i = 0; i < 200; ++i) {
            dev.Transmit(drv::kFeatureSet, {drv::kBrightness, static_cast<std::uint32_t>(i % 256), 1});
            std::uint32_t q = 0;
            dev.Read(drv::kFeatureGet, {drv::kGain, 0}, &q);
        }
    });
    std::thread reader([&] {
        for (int i = 0; i < 200; ++i) {
            sim::FrameCount(kColour);
            sim::LastFrameParams(kColour);
            sim::EditCamera(kColour, [&](sim::CameraDesc& c) { c.feature(drv::kHue).control = i; });
            sim::Requests(drv::kGrabImage);
        }
    });
    settings.join();
    reader.join();
    while (!allQueued) std::this_thread::yield();
    sim::HoldGrabs(kColour, true);
    dev.Close();  // ends whatever is still queued with 995
    grabber.join();

    EXPECT_EQ(returned.size(), static_cast<std::size_t>(kGrabs));
    for (pf::Overlapped& r : records) EXPECT_EQ(returned.count(&r), 1u);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(succeeded + aborted, kGrabs);
    EXPECT_LE(static_cast<std::uint32_t>(succeeded), sim::FrameCount(kColour));
}

// A surprise removal while a grab thread waits: its grabs end with 1167, later requests fail.
TEST_F(SimConcurrency, SurpriseRemovalWhileGrabbing) {
    Device dev(kMono);
    drv::AllocateOut reply{};
    ASSERT_EQ(dev.Transmit(drv::kAllocateResources, {1280, 2, 640 * 480}, &reply, sizeof reply), 0u);
    sim::HoldGrabs(kMono, true);
    std::vector<std::uint8_t> a(640 * 480), b(640 * 480);
    pf::Overlapped ra{}, rb{};
    std::uint32_t error = 0;
    dev.Async(drv::kGrabImage, {}, a.data(), 640 * 480, &ra, &error);
    dev.Async(drv::kGrabImage, {}, b.data(), 640 * 480, &rb, &error);
    std::vector<std::uint32_t> errors;
    std::thread grabber([&] {
        for (int i = 0; i < 2; ++i) {
            std::uint32_t e = 0;
            if (dev.Dequeue(5000, &e)) errors.push_back(e);
        }
    });
    EXPECT_TRUE(sim::Unplug(kMono, sim::Removal::Surprise));
    grabber.join();
    EXPECT_EQ(errors, (std::vector<std::uint32_t>{1167, 1167}));
    std::uint32_t q = 0;
    EXPECT_EQ(dev.Read(drv::kFormatInquiry, {}, &q), 1167u);
}

}  // namespace
