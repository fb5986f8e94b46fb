// Plugging and unplugging simulated cameras: the device-change broadcasts that registered
// windows receive, and what becomes of the handles.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "errors/exception.h"
#include "platform/device_broadcast.h"
#include "platform/window.h"
#include "sim_support.h"

namespace {

using namespace simtest;
namespace drv = Bcam::driver;

struct Heard {
    pf::Hwnd window;
    std::uint32_t event;
    std::uint32_t devicetype;
    pf::Handle handle;        // handle broadcasts
    pf::Handle registration;  // handle broadcasts
    std::string name;         // interface broadcasts
};

// What the windows' procedure records and does; shared with the window thread.
struct Listener {
    std::mutex mutex;
    std::vector<Heard> heard;
    // On a query-remove: close the device handle, and maybe cancel its registration too.
    bool closeOnQuery = false;
    bool unregisterOnQuery = false;
    pf::Handle device = nullptr;
    pf::Handle registration = nullptr;
    int windows = 0;
};
Listener* g_listener = nullptr;

std::intptr_t FENNEX_CALLBACK Record(pf::Hwnd window, std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam) {
    Listener& l = *g_listener;
    if (message == pf::kWmClose) {
        pf::DestroyWindowHandle(window);
        std::lock_guard lock(l.mutex);
        if (--l.windows == 0) pf::PostQuit(0);
        return 0;
    }
    if (message != pf::kWmDeviceChange) return 0;
    Heard h{window, static_cast<std::uint32_t>(wParam), 0, nullptr, nullptr, {}};
    const auto* hdr = reinterpret_cast<const pf::DevBroadcastHdr*>(lParam);
    h.devicetype = hdr->dbch_devicetype;
    if (h.devicetype == pf::kDbtDevtypHandle) {
        const auto* b = reinterpret_cast<const pf::DevBroadcastHandle*>(lParam);
        h.handle = b->dbch_handle;
        h.registration = b->dbch_hdevnotify;
    } else {
        h.name = reinterpret_cast<const pf::DevBroadcastDeviceInterface*>(lParam)->dbcc_name;
    }
    bool close, unregister;
    pf::Handle device, registration;
    {
        std::lock_guard lock(l.mutex);
        l.heard.push_back(h);
        close = l.closeOnQuery && h.event == pf::kDbtDeviceQueryRemove;
        unregister = close && l.unregisterOnQuery;
        device = l.device;
        registration = l.registration;
    }
    // As CBcam does on the notification thread: close the device so the removal can go on.
    if (close) sim::Driver().CloseDevice(device);
    if (unregister) sim::Driver().UnregisterNotification(registration);
    return 0;
}

class SimHotplug : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        g_listener = &listener_;
        std::mutex m;
        std::condition_variable ready;
        bool up = false;
        thread_ = std::thread([&] {
            pf::Hwnd a = pf::CreateMessageOnlyWindow("SimHotplugHandles");
            pf::Hwnd b = pf::CreateMessageOnlyWindow("SimHotplugInterface");
            pf::ReplaceWindowProc(a, Record);
            pf::ReplaceWindowProc(b, Record);
            {
                // Notified under the lock: SetUp's stack (and so `ready`) may go at once after.
                std::lock_guard lock(m);
                handleWindow_ = a;
                interfaceWindow_ = b;
                listener_.windows = 2;
                up = true;
                ready.notify_all();
            }
            pf::RunMessageLoop();
        });
        std::unique_lock lock(m);
        ready.wait(lock, [&] { return up; });
    }
    void TearDown() override {
        pf::PostMessageTo(handleWindow_, pf::kWmClose, 0, 0);
        pf::PostMessageTo(interfaceWindow_, pf::kWmClose, 0, 0);
        thread_.join();
        if (pf::IsValidHandle(device_)) sim::Driver().CloseDevice(device_);
        SimTest::TearDown();
        g_listener = nullptr;
    }

    // Opens the mono camera and registers its handle on one window and the camera class on
    // the other.
    void OpenAndRegister() {
        device_ = sim::Driver().OpenDevice(sim::InterfacePath(kMono));
        ASSERT_TRUE(pf::IsValidHandle(device_));
        pf::DevBroadcastHandle h{};
        h.dbch_size = sizeof h;
        h.dbch_devicetype = pf::kDbtDevtypHandle;
        h.dbch_handle = device_;
        handleRegistration_ = sim::Driver().RegisterNotification(
            handleWindow_, reinterpret_cast<const pf::DevBroadcastHdr*>(&h));
        ASSERT_NE(handleRegistration_, nullptr);
        pf::DevBroadcastDeviceInterface i{};
        i.dbcc_size = sizeof i;
        i.dbcc_devicetype = pf::kDbtDevtypDeviceInterface;
        i.dbcc_classguid = drv::kInterfaceClass;
        interfaceRegistration_ = sim::Driver().RegisterNotification(
            interfaceWindow_, reinterpret_cast<const pf::DevBroadcastHdr*>(&i));
        ASSERT_NE(interfaceRegistration_, nullptr);
        std::lock_guard lock(listener_.mutex);
        listener_.device = device_;
        listener_.registration = handleRegistration_;
    }

    std::vector<Heard> HeardSoFar() {
        std::lock_guard lock(listener_.mutex);
        return listener_.heard;
    }

    Listener listener_;
    std::thread thread_;
    pf::Hwnd handleWindow_ = nullptr, interfaceWindow_ = nullptr;
    pf::Handle device_ = pf::InvalidHandleValue();
    pf::Handle handleRegistration_ = nullptr, interfaceRegistration_ = nullptr;
};

TEST_F(SimHotplug, UnplugDeliversTheBroadcastsToRegisteredWindows) {
    enum Who { HandleWindow, InterfaceWindow };
    struct Expect {
        Who who;
        std::uint32_t event;
    };
    struct Case {
        const char* what;
        sim::Removal removal;
        bool closeOnQuery, unregisterOnQuery;
        std::vector<Expect> heard;
        bool removed;
    } cases[] = {
        {"handle closed on the query", sim::Removal::Normal, true, false,
         {{HandleWindow, pf::kDbtDeviceQueryRemove}, {HandleWindow, pf::kDbtDeviceRemoveComplete},
          {InterfaceWindow, pf::kDbtDeviceRemoveComplete}},
         true},
        {"handle closed and registration cancelled", sim::Removal::Normal, true, true,
         {{HandleWindow, pf::kDbtDeviceQueryRemove}, {InterfaceWindow, pf::kDbtDeviceRemoveComplete}},
         true},
        {"handle left open vetoes", sim::Removal::Normal, false, false,
         {{HandleWindow, pf::kDbtDeviceQueryRemove}, {HandleWindow, pf::kDbtDeviceQueryRemoveFailed}},
         false},
        {"removal refused", sim::Removal::Refused, true, false,
         {{HandleWindow, pf::kDbtDeviceQueryRemove}, {HandleWindow, pf::kDbtDeviceQueryRemoveFailed}},
         false},
        {"surprise removal", sim::Removal::Surprise, false, false,
         {{HandleWindow, pf::kDbtDeviceRemoveComplete}, {InterfaceWindow, pf::kDbtDeviceRemoveComplete}},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        {
            std::lock_guard lock(listener_.mutex);
            listener_.heard.clear();
            listener_.closeOnQuery = c.closeOnQuery;
            listener_.unregisterOnQuery = c.unregisterOnQuery;
        }
        OpenAndRegister();
        EXPECT_EQ(sim::Unplug(kMono, c.removal), c.removed);

        const std::vector<Heard> heard = HeardSoFar();
        ASSERT_EQ(heard.size(), c.heard.size());
        for (std::size_t i = 0; i < heard.size(); ++i) {
            EXPECT_EQ(heard[i].event, c.heard[i].event) << i;
            if (c.heard[i].who == HandleWindow) {
                EXPECT_EQ(heard[i].window, handleWindow_);
                EXPECT_EQ(heard[i].devicetype, pf::kDbtDevtypHandle);
                EXPECT_EQ(heard[i].handle, device_);
                EXPECT_EQ(heard[i].registration, handleRegistration_);
            } else {
                EXPECT_EQ(heard[i].window, interfaceWindow_);
                EXPECT_EQ(heard[i].devicetype, pf::kDbtDevtypDeviceInterface);
                EXPECT_EQ(heard[i].name, sim::InterfacePath(kMono));
            }
        }
        const std::vector<std::string> names = sim::CameraNames();
        EXPECT_EQ(std::find(names.begin(), names.end(), kMono) != names.end(), !c.removed);
        if (c.closeOnQuery) {
            device_ = pf::InvalidHandleValue();
        } else if (c.removed) {
            std::uint32_t q;
            pf::Overlapped ov{};
            EXPECT_FALSE(sim::Driver().IoControl(device_, drv::kFormatInquiry, nullptr, 0, &q, 4, &ov));
            EXPECT_EQ(pf::LastError(), 1167u);
        }
        if (pf::IsValidHandle(device_)) sim::Driver().CloseDevice(device_);
        device_ = pf::InvalidHandleValue();
        sim::Driver().UnregisterNotification(handleRegistration_);
        sim::Driver().UnregisterNotification(interfaceRegistration_);
    }
}

TEST_F(SimHotplug, ArrivalIsAnnouncedToTheInterfaceRegistration) {
    OpenAndRegister();
    sim::CameraDesc extra = sim::DefaultCameras()[0];
    extra.name = "XTRA&SIM#9";
    sim::Plug(extra);
    const std::vector<Heard> heard = HeardSoFar();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].window, interfaceWindow_);
    EXPECT_EQ(heard[0].event, pf::kDbtDevicePath);
    EXPECT_EQ(heard[0].name, sim::InterfacePath("XTRA&SIM#9"));
    EXPECT_THROW(sim::Plug(extra), Bcam::BcamException);  // the name is taken
    Device dev("XTRA&SIM#9");
    EXPECT_TRUE(dev.Valid());
}

TEST_F(SimHotplug, RegistrationNeedsAWindowAndAnOpenHandle) {
    Device dev(kMono);
    pf::DevBroadcastHandle h{};
    h.dbch_size = sizeof h;
    h.dbch_devicetype = pf::kDbtDevtypHandle;
    h.dbch_handle = dev.Handle();
    const auto* filter = reinterpret_cast<const pf::DevBroadcastHdr*>(&h);
    EXPECT_EQ(sim::Driver().RegisterNotification(nullptr, filter), nullptr);
    EXPECT_EQ(pf::LastError(), 1400u);
    h.dbch_handle = reinterpret_cast<pf::Handle>(std::uintptr_t{0x40});
    EXPECT_EQ(sim::Driver().RegisterNotification(handleWindow_, filter), nullptr);
    EXPECT_EQ(pf::LastError(), 6u);
    EXPECT_FALSE(sim::Driver().UnregisterNotification(reinterpret_cast<pf::Handle>(std::uintptr_t{0x40})));
}

}  // namespace
