// The kernel backend end to end under Wine, against the test driver (bcam.sys) that serves the
// simulated cameras: the same requests sent through the kernel backend and to the in-process
// simulator must get the same answers. Run by scripts/test wine-driver with the driver started.
//
// What Wine cannot show, and the simulator's in-process tests cover instead: query-remove and
// its veto, handle-filtered broadcasts (Wine delivers every interface event to a handle
// registration), and the cleanup request (Wine closes with requests pending; the driver ends
// them on close).

#include <cctype>

#include "bcam/backends.h"
#include "bcam/bcam_utility.h"
#include "bcam/enumeration.h"
#include "bridge.h"
#include "platform/completion_port.h"
#include "platform/device_broadcast.h"
#include "platform/sync.h"
#include "platform/window.h"
#include "fixture.h"

namespace fennex::test {
namespace {

struct Reply {
    std::uint32_t error = 0;
    std::vector<std::uint8_t> out;
    bool operator==(const Reply&) const = default;
    friend void PrintTo(const Reply& r, std::ostream* os) {
        *os << "error " << r.error << ", " << r.out.size() << " bytes:" << std::hex;
        for (std::uint8_t b : r.out) *os << ' ' << int(b);
    }
};

// One open handle of a backend, with its completion port.
class Device {
public:
    Device(Bcam::DriverBackend& backend, const std::string& path)
        : backend_(backend), handle_(backend.OpenDevice(path)), openError_(platform::LastError()) {
        if (platform::IsValidHandle(handle_)) port_ = backend.CreateCompletionPort(handle_, 1);
    }
    ~Device() { Close(); }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    bool Open() const { return platform::IsValidHandle(handle_) && port_; }
    std::uint32_t OpenError() const { return openError_; }
    void Close() {
        if (platform::IsValidHandle(handle_)) backend_.CloseDevice(handle_);
        handle_ = platform::InvalidHandleValue();
    }
    void ClosePort() {
        if (port_) platform::ClosePort(port_);
        port_ = nullptr;
    }
    void CancelIo() { backend_.CancelIo(handle_); }

    // A synchronous request: its completion stays off the port.
    Reply Request(std::uint32_t code, std::vector<std::uint32_t> in, std::uint32_t outSize) {
        Reply reply;
        reply.out.assign(outSize, 0xCD);
        platform::Event done(true, false);
        platform::Overlapped ov{};
        ov.hEvent = reinterpret_cast<platform::Handle>(reinterpret_cast<std::uintptr_t>(done.Native()) | 1);
        const auto inSize = static_cast<std::uint32_t>(in.size() * 4);
        if (!backend_.IoControl(handle_, code, in.empty() ? nullptr : in.data(), inSize,
                                outSize ? reply.out.data() : nullptr, outSize, &ov) &&
            platform::LastError() != 997) {
            reply.error = platform::LastError();
            reply.out.clear();
            return reply;
        }
        if (done.Wait(5000) != platform::WaitResult::Signaled) {
            ADD_FAILURE() << "request " << std::hex << code << " never completed";
            backend_.CancelIo(handle_);
            done.Wait(5000);
        }
        std::uint32_t bytes = 0;
        if (!backend_.OverlappedResult(handle_, &ov, &bytes, false)) reply.error = platform::LastError();
        reply.out.resize(reply.error ? 0 : bytes);
        return reply;
    }

    // An overlapped request whose completion goes to the port; false when refused at once.
    bool Submit(std::uint32_t code, std::vector<std::uint32_t> in, void* out, std::uint32_t outSize,
                platform::Overlapped* ov) {
        *ov = {};
        return backend_.IoControl(handle_, code, in.empty() ? nullptr : in.data(),
                                  static_cast<std::uint32_t>(in.size() * 4), out, outSize, ov) ||
               platform::LastError() == 997;
    }
    // The next completion: the record (null on time-out) and its error.
    platform::Overlapped* Completion(std::uint32_t* error, std::uint32_t timeoutMs = 5000) {
        std::uint32_t bytes = 0;
        std::uintptr_t key = 0;
        platform::Overlapped* ov = nullptr;
        *error = platform::DequeueCompletion(port_, &bytes, &key, &ov, timeoutMs) ? 0 : platform::LastError();
        return ov;
    }

private:
    Bcam::DriverBackend& backend_;
    platform::Handle handle_;
    std::uint32_t openError_;
    platform::Handle port_ = nullptr;
};

// The driver's control device: plugs and unplugs its simulated cameras.
std::uint32_t Bus(std::uint32_t code, const std::string& camera = {}, std::uint32_t prefix = 0,
                  bool withPrefix = false) {
    Device bus(Bcam::KernelBackend(), "\\\\.\\FennexSimBus");
    if (!bus.Open()) return bus.OpenError();
    std::vector<std::uint32_t> in;
    if (withPrefix) in.push_back(prefix);
    std::string text = camera;
    text.resize((text.size() / 4 + 1) * 4, '\0');
    for (std::size_t i = 0; i < text.size(); i += 4) {
        std::uint32_t word;
        std::memcpy(&word, text.data() + i, 4);
        in.push_back(word);
    }
    if (code == wine_driver::kResetCameras) in.clear();
    return bus.Request(code, in, 0).error;
}

std::string PathOf(const std::string& name) { return Bcam::DevicePathFromName(name); }

// Both simulators back to the built-in cameras.
class WineDriver : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Bus(wine_driver::kResetCameras), 0u) << "is the test driver running?";
        sim::Reset();
        sim::SetPace(sim::Pace::Fast);
        WaitForCameras(sim::CameraNames().size());
    }
    // Plug and Play works asynchronously: the interfaces follow the driver's bus report.
    static std::vector<std::string> KernelNames() {
        const auto names = Bcam::CBcamDevMgr::DeviceNames(Bcam::KernelBackend());
        return {names.begin(), names.end()};
    }
    static void WaitForCameras(std::size_t count) {
        WaitUntil([&] { return KernelNames().size() == count; });
        ASSERT_EQ(KernelNames().size(), count);
    }
};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

TEST_F(WineDriver, EnumerationListsTheSimulatedCamerasInBothDirections) {
    // SetupAPI reports the paths in lower case, as Windows does, and in an order of its own.
    std::vector<std::string> expected, names = KernelNames();
    for (const std::string& name : sim::CameraNames()) expected.push_back(Lower(name));
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, expected);

    auto& kernel = Bcam::KernelBackend();
    const platform::Handle set = kernel.OpenInterfaceSet();
    ASSERT_TRUE(platform::IsValidHandle(set));
    for (std::uint32_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        std::string path;
        std::uint32_t required = 0;
        ASSERT_TRUE(kernel.EnumInterface(set, i));
        kernel.InterfaceDetail(set, i, 0, &required, nullptr);
        ASSERT_TRUE(kernel.InterfaceDetail(set, i, required, &required, &path));
        EXPECT_EQ(Bcam::DeviceNameFromPath(path), names[i]);
        EXPECT_EQ(Lower(PathOf(names[i])), path);
        // Either spelling of the name reaches the device.
        EXPECT_TRUE(Device(kernel, PathOf(names[i])).Open());
        for (const std::string& simName : sim::CameraNames())
            if (Lower(simName) == names[i]) {
                EXPECT_TRUE(Device(kernel, PathOf(simName)).Open());
            }
    }
    kernel.CloseInterfaceSet(set);
    EXPECT_FALSE(Device(kernel, PathOf("NONE&SUCH#0")).Open());
}

struct Step {
    const char* what;
    std::uint32_t code;
    std::vector<std::uint32_t> in;
    std::uint32_t outSize;
};

// One case of every request family, in an order that changes the cameras as it goes; each
// answer, failures included, must be the simulator's.
TEST_F(WineDriver, EveryRequestFamilyAnswersAsTheSimulator) {
    const std::vector<Step> steps = {
        {"format inquiry", drv::kFormatInquiry, {}, 4},
        {"mode inquiry", drv::kModeInquiry, {0}, 4},
        {"rate inquiry", drv::kFrameRateInquiry, {0, 5}, 4},
        {"set video mode", drv::kSetVideoMode, {0, 6, 3}, 0},
        {"unsupported video mode", drv::kSetVideoMode, {0, 1, 3}, 0},
        {"get video mode", drv::kGetVideoMode, {}, 12},
        {"allocate resources", drv::kAllocateResources, {1280, 1, 640 * 480}, 12},
        {"free resources", drv::kFreeResources, {}, 0},
        {"feature inquiry", drv::kFeatureInquiry, {drv::kShutter}, 4},
        {"feature set", drv::kFeatureSet, {drv::kGain, 100, drv::kMaskValue}, 0},
        {"feature get", drv::kFeatureGet, {drv::kGain, 0}, 4},
        {"white balance get", drv::kFeatureGet, {drv::kWhiteBalance, 0}, 4},
        {"trigger get", drv::kFeatureGet, {drv::kTrigger, 0}, 4},
        {"missing feature", drv::kFeatureGet, {drv::kFocus, 0}, 4},
        {"wrong input size", drv::kFeatureGet, {drv::kGain}, 4},
        {"output too small", drv::kFeatureGet, {drv::kGain, 0}, 2},
        {"test image set", drv::kTestImageSet, {2u << 4}, 0},
        {"test image get", drv::kTestImageGet, {}, 4},
        {"node id", drv::kNodeId, {}, 8},
        {"model string", drv::kCameraString, {drv::kStringModel}, drv::kCameraStringSize},
        {"vendor string", drv::kCameraString, {drv::kStringVendor}, drv::kCameraStringSize},
        {"driver version", drv::kDriverVersion, {}, drv::kDriverVersionSize},
        {"format 7 inquiry", drv::kF7Inquiry, {0}, 56},
        {"format 7 image set", drv::kF7ImageSet, {0, 0, 0, 320, 240, drv::kF7MaskSize}, 0},
        {"format 7 image get", drv::kF7ImageGet, {0}, 16},
        {"format 7 coding set", drv::kF7ColorCodingSet, {0, 0}, 0},
        {"format 7 coding get", drv::kF7ColorCodingGet, {0}, 4},
        {"format 7 packet set", drv::kF7BytePerPacketSet, {0, 1024}, 0},
        {"format 7 packet get", drv::kF7PacketGet, {0}, 28},
        {"cancel grabs", drv::kCancelGrabs, {}, 0},
        {"unknown code", 0x80102FFC, {}, 0},
    };
    for (const std::string& camera : {kMono, kColour}) {
        Device kernel(Bcam::KernelBackend(), PathOf(camera));
        Device simulated(sim::Driver(), PathOf(camera));
        ASSERT_TRUE(kernel.Open()) << kernel.OpenError();
        ASSERT_TRUE(simulated.Open());
        for (const Step& step : steps) {
            SCOPED_TRACE(camera + ": " + step.what);
            const Reply expected = simulated.Request(step.code, step.in, step.outSize);
            EXPECT_EQ(kernel.Request(step.code, step.in, step.outSize), expected);
        }
    }
}

// A grab through the kernel backend: the frame the simulator paints for the same request.
std::vector<std::uint8_t> GrabOne(Bcam::DriverBackend& backend, const std::string& camera,
                                  std::uint32_t* error) {
    Device device(backend, PathOf(camera));
    const Reply mode = device.Request(drv::kGetVideoMode, {}, 12);
    std::uint32_t v[3];
    std::memcpy(v, mode.out.data(), 12);
    using U = Bcam::BcamUtility;
    const U::Dimensions d = U::ImageSize(v[0], v[1]);
    const std::uint32_t size = d.width * d.height * U::BitsPerPixel(U::ColorMode(v[0], v[1])) / 8;
    std::vector<std::uint8_t> frame(size, 0);
    *error = device.Request(drv::kAllocateResources, {U::BytePerPacket(v[0], v[1], v[2]), 1, size}, 12).error;
    if (*error) return {};
    platform::Overlapped grab{}, shot{};
    if (!device.Submit(drv::kGrabImage, {}, frame.data(), size, &grab) ||
        !device.Submit(drv::kShot, {drv::kShotOne, 0}, nullptr, 0, &shot)) {
        *error = platform::LastError();
        return {};
    }
    for (int i = 0; i < 2; ++i) {
        std::uint32_t completionError = 0;
        platform::Overlapped* done = device.Completion(&completionError);
        if (done == &grab) *error = completionError;
        if (!done) *error = completionError;
    }
    return frame;
}

TEST_F(WineDriver, GrabsOneByOneGiveTheSimulatorsFrames) {
    for (const std::string& camera : {kMono, kColour}) {
        SCOPED_TRACE(camera);
        for (int frame = 0; frame < 2; ++frame) {
            std::uint32_t kernelError = 1, simError = 1;
            const auto got = GrabOne(Bcam::KernelBackend(), camera, &kernelError);
            const auto expected = GrabOne(sim::Driver(), camera, &simError);
            EXPECT_EQ(kernelError, 0u);
            EXPECT_EQ(simError, 0u);
            ASSERT_EQ(got.size(), expected.size());
            EXPECT_TRUE(got == expected) << "frame " << frame << " differs";
        }
    }
}

TEST_F(WineDriver, PendingGrabsEndWhenCancelledClosedOrUnplugged) {
    for (const char* how : {"cancel request", "CancelIo", "close", "unplug"}) {
        SCOPED_TRACE(how);
        SetUp();
        ASSERT_EQ(Bus(wine_driver::kHoldGrabs, kMono, 1, true), 0u);
        Device device(Bcam::KernelBackend(), PathOf(kMono));
        ASSERT_TRUE(device.Open());
        ASSERT_EQ(device.Request(drv::kAllocateResources, {1280, 1, 640 * 480}, 12).error, 0u);
        std::vector<std::uint8_t> frame(640 * 480);
        platform::Overlapped grab{};
        ASSERT_TRUE(device.Submit(drv::kGrabImage, {}, frame.data(), 640 * 480, &grab));
        std::uint32_t error = 0;
        EXPECT_EQ(device.Completion(&error, 200), nullptr) << "a held grab must stay pending";
        EXPECT_EQ(error, 258u);
        const std::string what = how;
        std::uint32_t expected = 995;
        if (what == "cancel request") {
            EXPECT_EQ(device.Request(drv::kCancelGrabs, {}, 0).error, 0u);
        }
        if (what == "CancelIo") device.CancelIo();
        if (what == "close") device.Close();
        if (what == "unplug") {
            ASSERT_EQ(Bus(wine_driver::kUnplugCamera, kMono), 0u);
            expected = 1167;
        }
        EXPECT_EQ(device.Completion(&error), &grab);
        EXPECT_EQ(error, expected);
        if (what == "unplug") {
            EXPECT_EQ(device.Request(drv::kGetVideoMode, {}, 12).error, 1167u);
            WaitForCameras(1);
            EXPECT_EQ(Bus(wine_driver::kPlugCamera, kMono), 0u);
            WaitForCameras(2);
            EXPECT_TRUE(Device(Bcam::KernelBackend(), PathOf(kMono)).Open());
        }
    }
}

// The driver ends a closed handle's pending requests after the close has returned: the
// device object gets every record back all the same.
TEST_F(WineDriver, CloseGetsBackTheRecordOfEveryPendingRequest) {
    const std::int64_t before = Bcam::CBcam::BcamOLsInUse();
    ASSERT_EQ(Bus(wine_driver::kHoldGrabs, kMono, 1, true), 0u);
    std::vector<std::vector<std::uint8_t>> frames(3, std::vector<std::uint8_t>(640 * 480));
    {
        Bcam::CBcam camera;
        camera.Open(kMono);
        camera.AllocateResources(1, 640 * 480);
        for (auto& frame : frames)
            camera.GrabImageAsync(frame.data(), std::uint32_t(frame.size()), nullptr, true);
        camera.Close();
        camera.Open(kMono);  // collects what came back after the close
    }
    EXPECT_EQ(Bcam::CBcam::BcamOLsInUse(), before);
}

// The service's image path, as an administrator would change it.
bool SetImagePath(const std::string& file) {
    const std::string command =
        "reg add HKLM\\System\\CurrentControlSet\\Services\\bcam /v ImagePath /t REG_EXPAND_SZ /d "
        "C:\\windows\\system32\\drivers\\" + file + " /f >nul";
    return std::system(command.c_str()) == 0;
}

// The release check reads the service's registry entry and the driver file's version resource.
TEST_F(WineDriver, TheDriverFileOfRelease16IsAcceptedAnd15Refused) {
    struct Row {
        const char* file;
        std::uint32_t code;
    };
    // The running driver's own file last, so that the service is left as it was.
    for (const Row& row : {Row{"bcam15.sys", Bcam::codes::kWrongDriverRelease}, Row{"bcam.sys", 0}}) {
        SCOPED_TRACE(row.file);
        ASSERT_TRUE(SetImagePath(row.file));
        Bcam::CDriverVersionCheck::ResetCache();
        Bcam::CBcam camera;
        const Raised raised = RaisedBy([&] { camera.Open(kMono); });
        EXPECT_EQ(raised.code, row.code);
        EXPECT_EQ(camera.IsOpen(), row.code == 0);
        if (row.code == 0) continue;
        EXPECT_EQ(raised.context, "CDriverVersionCheck::Match");
        EXPECT_NE(raised.description.find("1.6"), std::string::npos) << raised.description;
        EXPECT_NE(raised.description.find("1.5"), std::string::npos) << raised.description;
    }
}

// Interface broadcasts of the camera class, as a window registered for them receives them.
class InterfaceListener {
public:
    InterfaceListener() {
        thread_ = std::thread([this] { Run(); });
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait(lock, [this] { return ready_; });
    }
    ~InterfaceListener() {
        if (window_) platform::PostMessageTo(window_, platform::kWmClose, 0, 0);
        thread_.join();
    }
    bool Registered() const { return registration_ != nullptr; }
    // Waits for a broadcast of `event` naming the camera.
    bool Saw(std::uintptr_t event, const std::string& camera) {
        std::unique_lock<std::mutex> lock(lock_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [&] {
            for (const auto& [code, path] : seen_)
                if (code == event && Bcam::DeviceNameFromPath(path) == camera) return true;
            return false;
        });
    }

private:
    static inline InterfaceListener* current_ = nullptr;

    void Run() {
        window_ = platform::CreateMessageOnlyWindow("fennex wine driver test");
        if (window_) {
            current_ = this;
            platform::ReplaceWindowProc(window_, Proc);
            platform::DevBroadcastDeviceInterface filter{};
            filter.dbcc_size = sizeof filter;
            filter.dbcc_devicetype = platform::kDbtDevtypDeviceInterface;
            filter.dbcc_classguid = drv::kInterfaceClass;
            registration_ = Bcam::KernelBackend().RegisterNotification(
                window_, reinterpret_cast<const platform::DevBroadcastHdr*>(&filter));
        }
        {
            std::lock_guard<std::mutex> lock(lock_);
            ready_ = true;
        }
        changed_.notify_all();
        if (window_) platform::RunMessageLoop();
    }

    static std::intptr_t FENNEX_CALLBACK Proc(platform::Hwnd window, std::uint32_t message,
                                              std::uintptr_t wParam, std::intptr_t lParam) {
        InterfaceListener& self = *current_;
        if (message == platform::kWmDeviceChange && lParam) {
            const auto* b = reinterpret_cast<const platform::DevBroadcastDeviceInterface*>(lParam);
            if (b->dbcc_devicetype == platform::kDbtDevtypDeviceInterface) {
                // Wine sends the wide form also to a window registered with the A function, and
                // keeps the driver's case: the name is read either way, compared in lower case.
                std::string path;
                const bool wide = b->dbcc_name[0] && !b->dbcc_name[1];
                for (const char* c = b->dbcc_name; *c; c += wide ? 2 : 1) path += *c;
                std::lock_guard<std::mutex> lock(self.lock_);
                self.seen_.emplace_back(wParam, Lower(path));
                self.changed_.notify_all();
            }
            return 1;
        }
        if (message == platform::kWmClose) {
            if (self.registration_) Bcam::KernelBackend().UnregisterNotification(self.registration_);
            platform::DestroyWindowHandle(window);
            platform::PostQuit(0);
            return 0;
        }
        return 0;
    }

    std::thread thread_;
    platform::Hwnd window_ = nullptr;
    platform::Handle registration_ = nullptr;
    std::mutex lock_;
    std::condition_variable changed_;
    bool ready_ = false;
    std::vector<std::pair<std::uintptr_t, std::string>> seen_;
};

// Under Wine a removal has no query step (so no veto), and handle registrations receive the
// interface events instead of their own: the library's handling of those is covered by the
// simulator's in-process broadcasts alone.
TEST_F(WineDriver, UnplugAndPlugBroadcastTheInterfacesRemovalAndArrival) {
    InterfaceListener listener;
    ASSERT_TRUE(listener.Registered());
    // A registration made on another thread may miss an event that follows at once.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::string mono = Lower(kMono);
    ASSERT_EQ(Bus(wine_driver::kUnplugCamera, kMono), 0u);
    EXPECT_TRUE(listener.Saw(platform::kDbtDeviceRemoveComplete, mono));
    ASSERT_EQ(Bus(wine_driver::kPlugCamera, kMono), 0u);
    EXPECT_TRUE(listener.Saw(platform::kDbtDevicePath, mono));
}

}  // namespace
}  // namespace fennex::test
