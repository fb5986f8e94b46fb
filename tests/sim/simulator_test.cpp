// The simulated driver used from several threads at once, as host threads, grab threads and the
// notification thread use it: every request ends exactly once and nothing races.

#include "platform/completion_port.h"
#include "fixture.h"

namespace fennex::test {
namespace {

// A handle on a simulated camera and its completion port, driven as CBcam drives them.
class Device {
public:
    explicit Device(const std::string& name)
        : handle_(sim::Driver().OpenDevice(sim::InterfacePath(name))),
          port_(sim::Driver().CreateCompletionPort(handle_, 7)) {}
    ~Device() {
        Close();
        platform::ClosePort(port_);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    void Close() {
        if (platform::IsValidHandle(handle_)) sim::Driver().CloseDevice(handle_);
        handle_ = platform::InvalidHandleValue();
    }
    // An overlapped request: 997 while it is pending, else how it ended at once.
    std::uint32_t Async(std::uint32_t code, const std::vector<std::uint32_t>& in, void* out,
                        std::uint32_t outSize, platform::Overlapped* record) {
        const auto inSize = static_cast<std::uint32_t>(in.size() * 4);
        return sim::Driver().IoControl(handle_, code, in.data(), inSize, out, outSize, record)
                   ? 0
                   : platform::LastError();
    }
    // The next completion from the port (null on time-out) and its error.
    platform::Overlapped* Dequeue(std::uint32_t* error) {
        std::uint32_t bytes = 0;
        std::uintptr_t key = 0;
        platform::Overlapped* record = nullptr;
        *error = platform::DequeueCompletion(port_, &bytes, &key, &record, 5000) ? 0 : platform::LastError();
        return record;
    }

private:
    platform::Handle handle_;
    platform::Handle port_;
};

class SimConcurrency : public SimCameras {};

constexpr std::uint32_t kFrame = 640 * 480 * 2;  // the colour camera's YUV 4:2:2 mode

// Sends one request and waits for its completion.
void Complete(Device& dev, std::uint32_t code, const std::vector<std::uint32_t>& in, void* out,
              std::uint32_t outSize) {
    platform::Overlapped record{};
    std::uint32_t error = dev.Async(code, in, out, outSize, &record);
    ASSERT_TRUE(error == 0 || error == 997) << error;
    ASSERT_EQ(dev.Dequeue(&error), &record);
    ASSERT_EQ(error, 0u);
}

// Grabs with continuous shot on a grab thread while other threads change settings and read the
// camera; then closes the handle with grabs still queued. Every grab comes back exactly once.
TEST_F(SimConcurrency, GrabsSettingsAndCloseFromSeveralThreads) {
    Device dev(kColour);
    drv::AllocateOut reply{};
    Complete(dev, drv::kAllocateResources, {4000, 4, kFrame}, &reply, sizeof reply);
    Complete(dev, drv::kShot, {drv::kShotContinuous, 0}, nullptr, 0);

    constexpr int kGrabs = 40;
    std::vector<std::vector<std::uint8_t>> buffers(4, std::vector<std::uint8_t>(kFrame));
    std::vector<platform::Overlapped> records(kGrabs);
    std::atomic<bool> allQueued{false};
    std::multiset<platform::Overlapped*> returned;
    int succeeded = 0, aborted = 0, other = 0;

    std::thread grabber([&] {
        // Keeps four grabs queued, each in its own buffer (they come back in order), until all
        // have been queued; then waits for the rest.
        int queued = 0, back = 0;
        auto queue = [&] {
            dev.Async(drv::kGrabImage, {}, buffers[queued % 4].data(), kFrame, &records[queued]);
            ++queued;
        };
        while (queued < 4) queue();
        while (back < queued) {
            std::uint32_t e = 0;
            platform::Overlapped* done = dev.Dequeue(&e);
            if (!done) break;
            returned.insert(done);
            ++back;
            (e == 0 ? succeeded : e == 995 ? aborted : other)++;
            if (queued < kGrabs) {
                queue();
            } else {
                allQueued = true;
            }
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
    for (platform::Overlapped& r : records) EXPECT_EQ(returned.count(&r), 1u);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(succeeded + aborted, kGrabs);
    EXPECT_LE(static_cast<std::uint32_t>(succeeded), sim::FrameCount(kColour));
}

// A surprise removal while a grab thread waits: its grabs end with 1167, later requests fail.
TEST_F(SimConcurrency, SurpriseRemovalWhileGrabbing) {
    Device dev(kMono);
    drv::AllocateOut reply{};
    Complete(dev, drv::kAllocateResources, {1280, 2, 640 * 480}, &reply, sizeof reply);
    sim::HoldGrabs(kMono, true);
    std::vector<std::uint8_t> a(640 * 480), b(640 * 480);
    platform::Overlapped ra{}, rb{};
    dev.Async(drv::kGrabImage, {}, a.data(), 640 * 480, &ra);
    dev.Async(drv::kGrabImage, {}, b.data(), 640 * 480, &rb);
    std::vector<std::uint32_t> errors;
    std::thread grabber([&] {
        for (int i = 0; i < 2; ++i) {
            std::uint32_t e = 0;
            if (dev.Dequeue(&e)) errors.push_back(e);
        }
    });
    EXPECT_TRUE(sim::Unplug(kMono, sim::Removal::Surprise));
    grabber.join();
    EXPECT_EQ(errors, (std::vector<std::uint32_t>{1167, 1167}));
    std::uint32_t q = 0;
    platform::Overlapped later{};
    EXPECT_EQ(dev.Async(drv::kFormatInquiry, {}, &q, 4, &later), 1167u);
}

}  // namespace
}  // namespace fennex::test
