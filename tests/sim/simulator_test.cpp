// The simulated driver used from several threads at once, as host threads, grab threads and the
// notification thread use it: every request ends exactly once and nothing races.

#include "device.h"

namespace fennex::test {
namespace {

using platform::Overlapped;

class SimConcurrency : public SimCameras {};

// Grabs with continuous shot on a grab thread while other threads change settings and read the
// camera; then closes the handle with grabs still queued. Every grab comes back exactly once.
TEST_F(SimConcurrency, GrabsSettingsAndCloseFromSeveralThreads) {
    constexpr std::uint32_t kFrame = 640 * 480 * 2;  // the colour camera's YUV 4:2:2 mode
    constexpr int kGrabs = 40;
    Device dev(sim::Driver(), sim::InterfacePath(kColour));
    ASSERT_EQ(dev.Request(drv::kAllocateResources, {4000, 4, kFrame}, 12).first, 0u);
    ASSERT_EQ(dev.Request(drv::kShot, {drv::kShotContinuous, 0}, 0).first, 0u);

    std::vector<std::vector<std::uint8_t>> buffers(4, std::vector<std::uint8_t>(kFrame));
    std::vector<Overlapped> records(kGrabs);
    std::atomic<bool> allQueued{false};
    std::multiset<Overlapped*> returned;
    int succeeded = 0, aborted = 0, other = 0;
    std::thread grabber([&] {
        // Keeps four grabs queued, each in its own buffer (they come back in order), until all
        // have been queued; then waits for the rest.
        int queued = 0;
        auto queue = [&] {
            dev.Submit(drv::kGrabImage, {}, buffers[queued % 4].data(), kFrame, &records[queued]);
            ++queued;
        };
        while (queued < 4) queue();
        while (returned.size() < static_cast<std::size_t>(queued)) {
            std::uint32_t e = 0;
            Overlapped* done = dev.Next(&e);
            if (!done) break;
            returned.insert(done);
            (e == 0 ? succeeded : e == 995 ? aborted : other)++;
            if (queued < kGrabs) queue();
            else allQueued = true;
        }
        allQueued = true;
    });
    std::thread settings([&] {
        // A device object of its own on the same camera, as a host thread has.
        Bcam::CBcam camera;
        camera.Open(kColour);
        for (int i = 0; i < 200; ++i) {
            camera.Brightness.Raw = static_cast<std::uint32_t>(i % 256);
            camera.Gain.Raw();
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
    for (Overlapped& r : records) EXPECT_EQ(returned.count(&r), 1u);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(succeeded + aborted, kGrabs);
    EXPECT_LE(static_cast<std::uint32_t>(succeeded), sim::FrameCount(kColour));
}

// Grabs that a grab thread waits for end with the cause of their end: the handle closed (995)
// or the camera pulled out (1167); later requests fail.
TEST_F(SimConcurrency, HeldGrabsEndWithTheirCause) {
    for (const bool unplug : {false, true}) {
        sim::Reset();
        Device dev(sim::Driver(), sim::InterfacePath(kMono));
        ASSERT_EQ(dev.Request(drv::kAllocateResources, {1280, 2, 640 * 480}, 12).first, 0u);
        sim::HoldGrabs(kMono, true);
        std::vector<std::uint8_t> a(640 * 480), b(640 * 480);
        Overlapped ra{}, rb{};
        dev.Submit(drv::kGrabImage, {}, a.data(), 640 * 480, &ra);
        dev.Submit(drv::kGrabImage, {}, b.data(), 640 * 480, &rb);
        Words errors;
        std::thread grabber([&] {
            for (int i = 0; i < 2; ++i) {
                std::uint32_t e = 0;
                if (dev.Next(&e)) errors.push_back(e);
            }
        });
        if (unplug) {
            EXPECT_TRUE(sim::Unplug(kMono, sim::Removal::Surprise));
        } else {
            dev.Close();
        }
        grabber.join();
        const std::uint32_t cause = unplug ? 1167 : 995;
        EXPECT_EQ(errors, (Words{cause, cause}));
        std::uint32_t q = 0;
        Overlapped later{};
        EXPECT_FALSE(dev.Submit(drv::kFormatInquiry, {}, &q, 4, &later));
        EXPECT_EQ(platform::LastError(), unplug ? 1167u : 6u);
    }
}

}  // namespace
}  // namespace fennex::test
