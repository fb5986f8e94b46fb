// The kernel backend end to end under Wine, against the test driver (bcam.sys) that serves the
// simulated cameras: what the kernel backend gets back must be what the in-process simulator
// answers. Run by scripts/test wine-driver with the driver started.
//
// What Wine cannot show, and the simulator's in-process tests cover instead: query-remove and
// its veto, handle-filtered broadcasts (Wine delivers every interface event to a handle
// registration), and the cleanup request (Wine closes with requests pending; the driver ends
// them on close).
#include <future>

#include "bcam/backends.h"
#include "bcam/enumeration.h"
#include "bus.h"
#include "device.h"
#include "platform/device_broadcast.h"
#include "platform/window.h"

namespace fennex::test {
namespace {

std::string PathOf(const std::string& name) { return Bcam::DevicePathFromName(name); }

// A request to the driver's bus device, which plugs and unplugs its simulated cameras.
std::uint32_t Bus(std::uint32_t code, const std::string& camera = {}) {
    Device bus(Bcam::KernelBackend(), "\\\\.\\FennexSimBus");
    if (!bus.Open()) return platform::LastError();
    Words in(camera.size() / 4 + 1, 0);  // the name, NUL-terminated
    std::memcpy(in.data(), camera.data(), camera.size());
    return bus.Request(code, in, 0).first;
}

std::vector<std::string> KernelNames() {
    const auto names = Bcam::CBcamDevMgr::DeviceNames(Bcam::KernelBackend());
    return {names.begin(), names.end()};
}

// Both simulators back to the built-in cameras.
class WineDriver : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Bus(wine_driver::kResetCameras), 0u) << "is the test driver running?";
        sim::Reset();
        sim::SetPace(sim::Pace::Fast);
        WaitForCameras(2);
    }
    // Plug and Play works asynchronously: the interfaces follow the cameras a little later.
    static void WaitForCameras(std::size_t count) {
        EXPECT_TRUE(WaitUntil([&] { return KernelNames().size() == count; })) << count;
    }
};

TEST_F(WineDriver, EnumerationListsTheSimulatedCamerasInBothDirections) {
    // SetupAPI reports the paths in lower case, as Windows does, and in an order of its own.
    std::vector<std::string> names = KernelNames(), expected;
    for (const std::string& name : sim::CameraNames()) expected.push_back(Lower(name));
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    // Each interface's path is the one the library makes of its name.
    Bcam::DriverBackend& kernel = Bcam::KernelBackend();
    const platform::Handle set = kernel.OpenInterfaceSet();
    std::string path;
    std::uint32_t required = 0;
    for (std::uint32_t i = 0; kernel.EnumInterface(set, i); ++i) {
        kernel.InterfaceDetail(set, i, 0, &required, nullptr);
        EXPECT_TRUE(kernel.InterfaceDetail(set, i, required, &required, &path));
        EXPECT_EQ(path, Lower(PathOf(Bcam::DeviceNameFromPath(path))));
    }
    kernel.CloseInterfaceSet(set);
    // Either spelling of a name opens its camera; an unknown name nothing.
    for (const std::string& name : sim::CameraNames()) {
        EXPECT_TRUE(Device(kernel, PathOf(name)).Open()) << name;
        EXPECT_TRUE(Device(kernel, PathOf(Lower(name))).Open()) << name;
    }
    EXPECT_FALSE(Device(kernel, PathOf("NONE&SUCH#0")).Open());
}

// A case of each request family and each kind of failure, in an order that changes the cameras
// as it goes: every answer must be the simulator's.
TEST_F(WineDriver, EveryRequestFamilyAnswersAsTheSimulator) {
    struct Step {
        std::uint32_t code;
        Words in;
        std::uint32_t outSize;
    };
    const Step steps[] = {
        {drv::kFormatInquiry, {}, 4},
        {drv::kSetVideoMode, {0, 6, 3}, 0},
        {drv::kSetVideoMode, {0, 1, 3}, 0},  // a mode the camera lacks
        {drv::kGetVideoMode, {}, 12},
        {drv::kAllocateResources, {1280, 1, 640 * 480}, 12},
        {drv::kFreeResources, {}, 0},
        {drv::kFeatureInquiry, {drv::kShutter}, 4},
        {drv::kFeatureSet, {drv::kGain, 100, drv::kMaskValue}, 0},
        {drv::kFeatureGet, {drv::kGain, 0}, 4},
        {drv::kFeatureGet, {drv::kFocus, 0}, 4},  // a driver status code
        {drv::kFeatureGet, {drv::kGain}, 4},      // wrong input size
        {drv::kFeatureGet, {drv::kGain, 0}, 2},   // output too small
        {drv::kTestImageSet, {2u << 4}, 0},
        {drv::kNodeId, {}, 8},
        {drv::kCameraString, {drv::kStringModel}, drv::kCameraStringSize},
        {drv::kDriverVersion, {}, drv::kDriverVersionSize},
        {drv::kF7Inquiry, {0}, 56},
        {drv::kF7ImageSet, {0, 0, 0, 320, 240, drv::kF7MaskSize}, 0},
        {drv::kF7ImageGet, {0}, 16},
        {drv::kF7BytePerPacketSet, {0, 1024}, 0},
        {drv::kF7PacketGet, {0}, 28},
        {drv::kCancelGrabs, {}, 0},
        {0x80102FFC, {}, 0},  // no such request
    };
    for (const std::string& camera : {kMono, kColour}) {
        Device kernel(Bcam::KernelBackend(), PathOf(camera)), simulated(sim::Driver(), PathOf(camera));
        ASSERT_TRUE(kernel.Open() && simulated.Open());
        for (const Step& step : steps)
            EXPECT_EQ(kernel.Request(step.code, step.in, step.outSize),
                      simulated.Request(step.code, step.in, step.outSize))
                << camera << ", step " << &step - steps;
    }
}

// A grab completes through the port: with the frame when the camera is shot, or when it is
// cancelled, its handle closed or the camera removed.
TEST_F(WineDriver, GrabsEndThroughThePortWhenShotCancelledClosedOrUnplugged) {
    enum How { kShot, kCancelRequest, kCancelIo, kClose, kUnplug };
    for (How how : {kShot, kCancelRequest, kCancelIo, kClose, kUnplug}) {
        SCOPED_TRACE(how);
        SetUp();
        std::vector<std::uint8_t> frame(640 * 480);
        platform::Overlapped grab{};
        Device device(Bcam::KernelBackend(), PathOf(kMono));
        ASSERT_EQ(device.Request(drv::kAllocateResources, {1280, 1, 640 * 480}, 12).first, 0u);
        ASSERT_TRUE(device.Submit(drv::kGrabImage, {}, frame.data(), 640 * 480, &grab));
        std::uint32_t error = 0;
        EXPECT_EQ(device.Next(&error, 200), nullptr) << "a grab waits for its frame";
        EXPECT_EQ(error, 258u);
        std::uint32_t sent = 0;
        if (how == kShot) sent = device.Request(drv::kShot, {drv::kShotOne, 0}, 0).first;
        if (how == kCancelRequest) sent = device.Request(drv::kCancelGrabs, {}, 0).first;
        if (how == kCancelIo) device.CancelIo();
        if (how == kClose) device.Close();
        if (how == kUnplug) sent = Bus(wine_driver::kUnplugCamera, kMono);
        ASSERT_EQ(sent, 0u);
        EXPECT_EQ(device.Next(&error), &grab);
        EXPECT_EQ(error, how == kShot ? 0u : how == kUnplug ? 1167u : 995u);
        // The simulator here paints the same first frame.
        const sim::FrameParams params = sim::NextFrameParams(kMono);
        for (std::uint32_t i = 0; how == kShot && i < frame.size(); ++i)
            ASSERT_EQ(frame[i], sim::ExpectedLuma(params, i % 640, i / 640)) << "pixel " << i;
        if (how != kUnplug) continue;
        // The removed camera's handle fails from now on; plugged again, the camera is back.
        EXPECT_EQ(device.Request(drv::kGetVideoMode, {}, 12).first, 1167u);
        WaitForCameras(1);
        EXPECT_EQ(Bus(wine_driver::kPlugCamera, kMono), 0u);
        WaitForCameras(2);
        EXPECT_TRUE(WaitUntil([] { return Device(Bcam::KernelBackend(), PathOf(kMono)).Open(); }));
    }
}

// The driver ends a closed handle's pending requests after the close has returned: the
// device object gets every record back all the same.
TEST_F(WineDriver, CloseGetsBackTheRecordOfEveryPendingRequest) {
    const std::int64_t before = Bcam::CBcam::BcamOLsInUse();
    std::vector<std::vector<std::uint8_t>> frames(3, std::vector<std::uint8_t>(640 * 480));
    {
        Bcam::CBcam camera;
        camera.Open(kMono);
        camera.AllocateResources(1, 640 * 480);
        for (auto& frame : frames)
            camera.GrabImageAsync(frame.data(), std::uint32_t(frame.size()), nullptr, false);
        camera.Close();
        camera.Open(kMono);  // collects what came back after the close
    }
    EXPECT_EQ(Bcam::CBcam::BcamOLsInUse(), before);
}

// The release check reads the service's image path, as an administrator would change it, and
// the version resource of the file it names.
TEST_F(WineDriver, TheDriverFileOfRelease16IsAcceptedAnd15Refused) {
    // The running driver's own file last, so that the service is left as it was.
    for (const std::string file : {"bcam15.sys", "bcam.sys"}) {
        SCOPED_TRACE(file);
        const std::string command = "reg add HKLM\\System\\CurrentControlSet\\Services\\bcam /v "
                                    "ImagePath /t REG_EXPAND_SZ /d C:\\windows\\system32\\drivers\\" +
                                    file + " /f >nul";
        ASSERT_EQ(std::system(command.c_str()), 0);
        Bcam::CDriverVersionCheck::ResetCache();
        Bcam::CBcam camera;
        const Raised raised = RaisedBy([&] { camera.Open(kMono); });
        const bool refused = file == "bcam15.sys";
        EXPECT_EQ(raised.code, refused ? codes::kWrongDriverRelease : 0u);
        EXPECT_EQ(camera.IsOpen(), !refused);
        if (!refused) continue;
        EXPECT_EQ(raised.context, "CDriverVersionCheck::Match");
        EXPECT_NE(raised.description.find("1.6"), std::string::npos) << raised.description;
        EXPECT_NE(raised.description.find("1.5"), std::string::npos) << raised.description;
    }
}

// The interface broadcasts a window registered for the camera class has received: event and
// device name.
std::mutex g_seenLock;
std::vector<std::pair<std::uintptr_t, std::string>> g_seen;

std::intptr_t FENNEX_CALLBACK Listen(platform::Hwnd window, std::uint32_t message,
                                     std::uintptr_t event, std::intptr_t lParam) {
    const auto* b = reinterpret_cast<const platform::DevBroadcastDeviceInterface*>(lParam);
    if (message == platform::kWmDeviceChange && b &&
        b->dbcc_devicetype == platform::kDbtDevtypDeviceInterface) {
        // Wine sends the wide form also to a window registered with the A function, and keeps
        // the driver's case: the name is read either way, compared in lower case.
        std::string path;
        const bool wide = b->dbcc_name[0] && !b->dbcc_name[1];
        for (const char* c = b->dbcc_name; *c; c += wide ? 2 : 1) path += *c;
        std::lock_guard<std::mutex> lock(g_seenLock);
        g_seen.emplace_back(event, Lower(Bcam::DeviceNameFromPath(path)));
    }
    if (message == platform::kWmClose) {
        platform::DestroyWindowHandle(window);
        platform::PostQuit(0);
    }
    return message == platform::kWmDeviceChange;
}

bool Saw(std::uintptr_t event, const std::string& camera) {
    return WaitUntil([&] {
        std::lock_guard<std::mutex> lock(g_seenLock);
        return std::count(g_seen.begin(), g_seen.end(), std::pair{event, Lower(camera)}) > 0;
    });
}

TEST_F(WineDriver, UnplugAndPlugBroadcastTheInterfacesRemovalAndArrival) {
    std::promise<platform::Hwnd> made;
    std::thread listener([&] {
        const platform::Hwnd window = platform::CreateMessageOnlyWindow("fennex wine driver test");
        if (window) platform::ReplaceWindowProc(window, Listen);
        made.set_value(window);
        if (window) platform::RunMessageLoop();
    });
    const platform::Hwnd window = made.get_future().get();
    const platform::DevBroadcastDeviceInterface filter{
        sizeof(platform::DevBroadcastDeviceInterface), platform::kDbtDevtypDeviceInterface, 0,
        drv::kInterfaceClass, {}};
    const platform::Handle registration = Bcam::KernelBackend().RegisterNotification(
        window, reinterpret_cast<const platform::DevBroadcastHdr*>(&filter));
    EXPECT_NE(registration, nullptr);
    if (registration) {
        // A registration for another thread's window may miss an event that follows at once.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_EQ(Bus(wine_driver::kUnplugCamera, kMono), 0u);
        EXPECT_TRUE(Saw(platform::kDbtDeviceRemoveComplete, kMono));
        EXPECT_EQ(Bus(wine_driver::kPlugCamera, kMono), 0u);
        EXPECT_TRUE(Saw(platform::kDbtDevicePath, kMono));
        Bcam::KernelBackend().UnregisterNotification(registration);
    }
    if (window) platform::PostMessageTo(window, platform::kWmClose, 0, 0);
    listener.join();
}

}  // namespace
}  // namespace fennex::test
