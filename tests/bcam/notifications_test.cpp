// Device-change handling: the notification thread closes (or reopens) the device objects of
// cameras that are being removed, while host threads go on using them.
#include "fixture.h"

#include "bcam/driver_backend.h"
#include "platform/device_broadcast.h"
#include "platform/window.h"

namespace fennex::test {
namespace {

class DeviceNotification : public SimCameras {};

TEST_F(DeviceNotification, FirstOpenStartsTheWindowAndLaterOpensReuseIt) {
    CBcam::StopNotifications();
    EXPECT_EQ(CBcam::NotificationWindow(), nullptr);
    Open(kMono);
    const platform::Hwnd window = CBcam::NotificationWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(platform::IsWindowHandle(window));
    CBcam second;
    second.Open(kColour);
    camera_.Close();
    Open(kMono);
    EXPECT_EQ(CBcam::NotificationWindow(), window);
    // The removal of one camera leaves the other alone.
    EXPECT_TRUE(sim::Unplug(kColour, sim::Removal::Normal));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(camera_.IsOpen());
    EXPECT_EQ(CBcam::OpenDeviceCount(), 1u);
}

TEST_F(DeviceNotification, RemovalClosesTheOpenCameraWithItsGrabPending) {
    for (const sim::Removal removal : {sim::Removal::Normal, sim::Removal::Surprise}) {
        Open(kMono);
        camera_.AllocateResources(1, 640 * 480);
        std::vector<std::uint8_t> frame(640 * 480);
        sim::HoldGrabs(kMono, true);
        camera_.GrabImageAsync(frame.data(), std::uint32_t(frame.size()), nullptr, true);

        EXPECT_TRUE(sim::Unplug(kMono, removal));
        EXPECT_FALSE(camera_.IsOpen());
        EXPECT_EQ(CBcam::OpenDeviceCount(), 0u);
        EXPECT_EQ(RecordsLeft(), 0);
        // The grab port then sees its requests fail.
        const auto raised = RaisedBy(
            [&] { camera_.GrabImageAsync(frame.data(), std::uint32_t(frame.size()), nullptr, true); });
        EXPECT_EQ(raised.code, codes::kDeviceNotOpen);
        EXPECT_EQ(RecordsLeft(), 0);
        sim::Reset();
    }
}

TEST_F(DeviceNotification, RemoveCompleteForAnUnknownHandleOnlyCancelsItsRegistration) {
    Open(kMono);
    const platform::Hwnd window = CBcam::NotificationWindow();
    ASSERT_NE(window, nullptr);
    const platform::Handle extra = camera_.RegisterDeviceNotifications(window);
    ASSERT_TRUE(platform::IsValidHandle(extra));

    platform::DevBroadcastHandle broadcast{};
    broadcast.dbch_size = sizeof broadcast;
    broadcast.dbch_devicetype = platform::kDbtDevtypHandle;
    broadcast.dbch_handle = reinterpret_cast<platform::Handle>(0x3);  // no device has this handle
    broadcast.dbch_hdevnotify = extra;
    platform::SendMessageTo(window, platform::kWmDeviceChange, platform::kDbtDeviceRemoveComplete,
                        reinterpret_cast<std::intptr_t>(&broadcast));

    // The registration is gone (cancelling it again fails); the open camera is untouched and
    // still watched through its own registration.
    EXPECT_FALSE(Bcam::Backend().UnregisterNotification(extra));
    EXPECT_TRUE(camera_.IsOpen());
    EXPECT_EQ(CBcam::OpenDeviceCount(), 1u);
    EXPECT_TRUE(sim::Unplug(kMono, sim::Removal::Normal));
    EXPECT_FALSE(camera_.IsOpen());
}

TEST_F(DeviceNotification, ClientCannotChangeWhileACameraIsOpen) {
    Open(kMono);
    const platform::Hwnd window = CBcam::NotificationWindow();
    auto raised = RaisedBy([&] { CBcam::RegisterClient(window); });
    EXPECT_EQ(raised.code, codes::kClientWhileOpen);
    EXPECT_EQ(raised.context, "");
    raised = RaisedBy([] { CBcam::UnregisterClient(); });
    EXPECT_EQ(raised.code, codes::kUnregisterWhileOpen);
    EXPECT_EQ(raised.context, "");
    camera_.Close();
    // With every camera closed it may; the next open registers the client again.
    EXPECT_NO_THROW(CBcam::UnregisterClient());
    Open(kMono);
    EXPECT_TRUE(sim::Unplug(kMono, sim::Removal::Normal));
    EXPECT_FALSE(camera_.IsOpen());
}

TEST_F(DeviceNotification, DeviceNotificationsNeedARealWindow) {
    Open(kMono);
    EXPECT_FALSE(platform::IsValidHandle(camera_.RegisterDeviceNotifications(nullptr)));
    int notAWindow = 0;
    const auto raised = RaisedBy([&] { camera_.RegisterDeviceNotifications(&notAWindow); });
    EXPECT_EQ(raised.code, codes::kSystemCallFailed);
    EXPECT_EQ(raised.context, "CBcam::RegisterDeviceNotifications()");
    // Open with a window that is none fails after the device was opened; Close cleans up.
    CBcam withWindow;
    EXPECT_EQ(RaisedBy([&] { withWindow.Open(kColour, &notAWindow); }).code, codes::kSystemCallFailed);
    withWindow.Close();
    EXPECT_EQ(CBcam::OpenDeviceCount(), 1u);
}

// ---- the notification thread beside host threads

TEST_F(DeviceNotification, ConcurrencyRemovalEndsARequestBlockedInTheDriver) {
    Open(kMono);
    sim::InjectFault(sim::Fault(drv::kGetVideoMode).Hang());
    std::atomic<std::uint32_t> raisedCode{0};
    std::thread host([&] {
        raisedCode = RaisedBy([&] { camera_.GetVideoMode(nullptr, nullptr, nullptr); }).code;
    });
    // Wait until the request is in the driver.
    while (sim::Requests(drv::kGetVideoMode, kMono).empty()) std::this_thread::yield();
    EXPECT_TRUE(sim::Unplug(kMono, sim::Removal::Normal));
    host.join();
    EXPECT_EQ(raisedCode.load(), 995u);
    EXPECT_FALSE(camera_.IsOpen());
}

TEST_F(DeviceNotification, ConcurrencyCloseWakesAThreadWaitingForCompletions) {
    Open(kMono);
    std::atomic<bool> waiting{false};
    std::atomic<std::uint32_t> error{0};
    std::atomic<std::int32_t> code{1234};
    std::thread grabThread([&] {
        std::int32_t c = 1234;
        std::uint32_t e = 0;
        waiting = true;
        camera_.WaitForCompletion(&c, &e, nullptr, platform::kInfinite);
        error = e;
        code = c;
    });
    while (!waiting) std::this_thread::yield();
    EXPECT_TRUE(sim::Unplug(kMono, sim::Removal::Surprise));
    grabThread.join();
    EXPECT_EQ(error.load(), 735u);  // the port was closed under the waiter
    EXPECT_EQ(code.load(), 1234);
    // A thread that comes to wait after the close is answered the same, at once.
    std::uint32_t e = 0;
    camera_.WaitForCompletion(nullptr, &e, nullptr, platform::kInfinite);
    EXPECT_EQ(e, 735u);
}

// A refused removal closes the device and opens it again, watched again: a thread that served
// the first open and comes to wait only now is answered as if its port had been closed under
// it, the second open's completion stays for its own waiter, and a grab meant for the first
// open is refused.
TEST_F(DeviceNotification, RefusedRemovalReopensAndAThreadOfOneOpenLeavesTheNextOpenAlone) {
    Open(kMono);
    const std::uint32_t first = camera_.OpenSerial();
    EXPECT_FALSE(sim::Unplug(kMono, sim::Removal::Refused));
    ASSERT_TRUE(camera_.IsOpen());
    EXPECT_EQ(camera_.DeviceName(), kMono);
    EXPECT_EQ(CBcam::OpenDeviceCount(), 1u);
    EXPECT_NE(camera_.OpenSerial(), first);
    camera_.Notify(5, nullptr);
    std::int32_t code = 0;
    std::uint32_t error = 0;
    camera_.WaitForCompletion(&code, &error, nullptr, platform::kInfinite, first);
    EXPECT_EQ(error, 735u);
    EXPECT_EQ(code, 0);
    camera_.WaitForCompletion(&code, &error, nullptr, 0, camera_.OpenSerial());
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(code, 5);
    std::vector<std::uint8_t> frame(640 * 480);
    camera_.AllocateResources(1, static_cast<std::uint32_t>(frame.size()));
    sim::ClearRequests();
    EXPECT_EQ(RaisedBy([&] {
                  camera_.GrabImageAsync(frame.data(), static_cast<std::uint32_t>(frame.size()),
                                        nullptr, false, first);
              }).code,
              codes::kDeviceNotOpen);
    EXPECT_TRUE(sim::Requests(drv::kGrabImage, kMono).empty());
    // The reopened device is watched again: a later removal still closes it.
    EXPECT_TRUE(sim::Unplug(kMono, sim::Removal::Normal));
    EXPECT_FALSE(camera_.IsOpen());
}

TEST_F(DeviceNotification, ConcurrencyHostAndNotificationThreadCloseAndOpenTogether) {
    // Host threads open, grab, close and destroy objects while cameras come and go.
    std::atomic<bool> stop{false};
    std::vector<std::thread> hosts;
    for (int t = 0; t < 2; ++t) {
        hosts.emplace_back([&, t] {
            const std::string name = t == 0 ? kMono : kColour;
            while (!stop) {
                CBcam camera;
                try {
                    camera.Open(name);
                    camera.Notify(5, nullptr);
                    camera.GetVideoMode(nullptr, nullptr, nullptr);
                    std::uint32_t error = 0;
                    camera.WaitForCompletion(nullptr, &error, nullptr, 0);
                } catch (const Bcam::BcamException&) {
                    // The camera may be gone at any point.
                }
            }
        });
    }
    const auto cameras = sim::DefaultCameras();
    for (int round = 0; round < 20; ++round) {
        const sim::Removal removal = round % 3 == 0   ? sim::Removal::Surprise
                                     : round % 3 == 1 ? sim::Removal::Refused
                                                      : sim::Removal::Normal;
        const auto& desc = cameras[round % 2];
        if (sim::Unplug(desc.name, removal)) sim::Plug(desc);
    }
    stop = true;
    for (auto& host : hosts) host.join();
    EXPECT_EQ(CBcam::OpenDeviceCount(), 0u);
    EXPECT_EQ(RecordsLeft(), 0);
}

}  // namespace
}  // namespace fennex::test
