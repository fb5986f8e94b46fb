// The simulated driver as a backend, and the test interface of sim.h. It puts the parts together:
// the bus (bus.h: cameras present, enumeration, registrations and broadcasts), the device table
// (devices.h: handles, requests, frames) and the hooks (hooks.h: faults, request log, driver
// release). Each guards its own state; see devices.h for the order their locks nest in.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bcam/driver_contract.h"
#include "platform/last_error.h"
#include "sim/bus.h"
#include "sim/description.h"
#include "sim/devices.h"
#include "sim/hooks.h"
#include "sim/sim.h"

namespace sim {

namespace drv = Bcam::driver;
namespace err = fennex::platform::err;
namespace pf = fennex::platform;

namespace {

using detail::CameraState;

Pace PaceFromEnvironment() {
    const char* pace = std::getenv("FENNEX_SIM_PACE");
    return pace && std::string(pace) == "fast" ? Pace::Fast : Pace::RealTime;
}

class Simulator final : public Bcam::DriverBackend {
public:
    Simulator() {
        const char* file = std::getenv("FENNEX_SIM_CAMERAS");
        Install(file && *file ? detail::ReadDescription(file) : detail::Description{DefaultCameras(), {}}, false);
    }

    // --- enumeration
    pf::Handle OpenInterfaceSet() override { return bus_.OpenInterfaceSet(); }
    bool EnumInterface(pf::Handle set, std::uint32_t index) override { return bus_.EnumInterface(set, index); }
    bool InterfaceDetail(pf::Handle set, std::uint32_t index, std::uint32_t bufferSize, std::uint32_t* required,
                         std::string* path) override {
        return bus_.InterfaceDetail(set, index, bufferSize, required, path);
    }
    void CloseInterfaceSet(pf::Handle set) override { bus_.CloseInterfaceSet(set); }

    // --- devices
    pf::Handle OpenDevice(const std::string& path) override { return devices_.Open(path); }
    bool CloseDevice(pf::Handle handle) override { return devices_.Close(handle); }
    bool IoControl(pf::Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                   std::uint32_t outSize, pf::Overlapped* record) override {
        return devices_.IoControl(handle, code, in, inSize, out, outSize, record);
    }
    bool OverlappedResult(pf::Handle handle, pf::Overlapped* record, std::uint32_t* bytes, bool wait) override {
        return devices_.OverlappedResult(handle, record, bytes, wait);
    }
    bool CancelIo(pf::Handle handle) override { return devices_.CancelIo(handle); }
    pf::Handle CreateCompletionPort(pf::Handle handle, std::uintptr_t key) override {
        return devices_.CreateCompletionPort(handle, key);
    }

    pf::Handle RegisterNotification(pf::Hwnd window, const pf::DevBroadcastHdr* filter) override {
        if (const auto f = hooks_.Take(kOpRegisterNotification, {}, -1)) {
            pf::SetLastError(f->error);
            return nullptr;
        }
        if (!filter || filter->dbch_size < sizeof(pf::DevBroadcastHdr)) {
            pf::SetLastError(err::kInvalidParameter);
            return nullptr;
        }
        if (!pf::IsWindowHandle(window)) {
            pf::SetLastError(err::kInvalidWindowHandle);
            return nullptr;
        }
        std::shared_ptr<CameraState> camera;
        std::uintptr_t device = 0;
        bool otherClass = false;
        if (filter->dbch_devicetype == pf::kDbtDevtypHandle &&
            filter->dbch_size >= offsetof(pf::DevBroadcastHandle, dbch_hdevnotify)) {
            const auto* h = reinterpret_cast<const pf::DevBroadcastHandle*>(filter);
            camera = devices_.CameraOf(h->dbch_handle, &device);
            if (!camera) {
                pf::SetLastError(err::kInvalidHandle);
                return nullptr;
            }
        } else if (filter->dbch_devicetype == pf::kDbtDevtypDeviceInterface &&
                   filter->dbch_size >= offsetof(pf::DevBroadcastDeviceInterface, dbcc_name)) {
            const auto* i = reinterpret_cast<const pf::DevBroadcastDeviceInterface*>(filter);
            otherClass = !(i->dbcc_classguid == drv::kInterfaceClass);
        } else {
            pf::SetLastError(err::kInvalidParameter);
            return nullptr;
        }
        const pf::Handle registration = bus_.Register(window, std::move(camera), device, otherClass);
        pf::SetLastError(0);
        return registration;
    }

    bool UnregisterNotification(pf::Handle registration) override {
        if (!bus_.Unregister(registration)) {
            pf::SetLastError(err::kInvalidHandle);
            return false;
        }
        pf::SetLastError(0);
        return true;
    }

    // --- the driver release
    bool QueryServiceImagePath(std::string* imagePath, std::uint32_t* error) override {
        return service_.QueryImagePath(imagePath, error);
    }
    bool QueryFileVersion(const std::string& path, std::uint32_t* versionMS, std::uint32_t* versionLS) override {
        return service_.QueryFileVersion(path, versionMS, versionLS);
    }

    // --- test interface
    // Tests install cameras through Reset(), LoadDescription() or SetCameras(), and with them
    // switch the request log on; a simulator started on its own (a host, the demo) keeps no log,
    // so that a long run does not grow it.
    void Install(detail::Description description, bool recordRequests = true) {
        detail::CheckNames(description.cameras);
        devices_.Install(std::move(description.cameras), PaceFromEnvironment());
        hooks_.Reset(recordRequests);
        service_.Reset(description.release);
    }

    void Plug(const CameraDesc& camera) { bus_.Send(bus_.Plug(std::make_shared<CameraState>(camera))); }

    bool Unplug(const std::string& name, Removal removal) {
        const std::shared_ptr<CameraState> camera = bus_.Find(name);
        if (!camera) throw Bcam::BcamException(err::kFileNotFound, "sim: no camera \"" + name + "\"");
        if (removal != Removal::Surprise) {
            bus_.Send(bus_.ToHandles(*camera, pf::kDbtDeviceQueryRemove));
            // A handle left open keeps the device in use.
            if (removal == Removal::Refused || devices_.InUse(*camera)) {
                bus_.Send(bus_.ToHandles(*camera, pf::kDbtDeviceQueryRemoveFailed));
                return false;
            }
        }
        bus_.Send(devices_.Remove(camera, err::kDeviceNotConnected));
        return true;
    }

    detail::Hooks hooks_;
    detail::DriverService service_;
    detail::Bus bus_{hooks_};
    detail::Devices devices_{bus_, hooks_, service_};  // declared last: it goes first at exit
};

Simulator& Sim() {
    static Simulator simulator;
    return simulator;
}

}  // namespace

Bcam::DriverBackend& Driver() { return Sim(); }

void Reset() { Sim().Install({DefaultCameras(), {}}); }
void LoadDescription(const std::string& fileName) { Sim().Install(detail::ReadDescription(fileName)); }
void SetCameras(const std::vector<CameraDesc>& cameras) { Sim().Install({cameras, {}}); }

std::vector<std::string> CameraNames() { return Sim().bus_.Names(); }

CameraDesc Camera(const std::string& name) {
    return Sim().devices_.WithCamera(name, [](CameraState& c) { return c.regs; });
}
void EditCamera(const std::string& name, const std::function<void(CameraDesc&)>& edit) {
    Sim().devices_.WithCamera(name, [&](CameraState& c) {
        edit(c.regs);
        c.regs.name = c.name;  // the name is the camera's identity on the bus
    });
}

void SetVideoMode(const std::string& name, std::uint32_t format, std::uint32_t mode) {
    EditCamera(name, [&](CameraDesc& d) {
        d.format = format;
        d.mode = mode;
        for (std::uint32_t rate = 0; rate < 6; ++rate)
            if (d.rates[format][mode] & (1u << (31 - rate))) {
                d.rate = rate;
                break;
            }
    });
}

DriverRelease Release() { return Sim().service_.Release(); }
void SetRelease(const DriverRelease& release) { Sim().service_.SetRelease(release); }
std::string LastVersionQueryPath() { return Sim().service_.LastVersionQueryPath(); }

void Plug(const CameraDesc& camera) { Sim().Plug(camera); }
bool Unplug(const std::string& name, Removal removal) { return Sim().Unplug(name, removal); }

void SetPace(Pace pace) { Sim().devices_.SetPace(pace); }
void FireTrigger(const std::string& name) { Sim().devices_.FireTrigger(name); }
void EndClosedRequests() { Sim().devices_.EndClosedRequests(); }
void HoldGrabs(const std::string& name, bool hold) {
    Sim().devices_.WithCamera(name, [&](CameraState& c) { c.holdGrabs = hold; });
}
std::uint32_t FrameCount(const std::string& name) {
    return Sim().devices_.WithCamera(name, [](CameraState& c) { return c.frames; });
}
FrameParams LastFrameParams(const std::string& name) {
    return Sim().devices_.WithCamera(name, [](CameraState& c) { return c.last; });
}
FrameParams NextFrameParams(const std::string& name) {
    return Sim().devices_.WithCamera(name, [](CameraState& c) { return detail::ParamsOf(c.regs, c.frames); });
}

std::vector<Request> Requests() { return Sim().hooks_.Requests(); }
std::vector<Request> Requests(std::uint32_t code, const std::string& camera) {
    std::vector<Request> all = Sim().hooks_.Requests(), some;
    for (Request& r : all)
        if (r.code == code && (camera.empty() || r.camera == camera)) some.push_back(std::move(r));
    return some;
}
void ClearRequests() { Sim().hooks_.ClearLog(); }
void RecordRequests(bool on) { Sim().hooks_.Record(on); }

void InjectFault(const Fault& fault) { Sim().hooks_.Add(fault); }
void ClearFaults() { Sim().hooks_.ClearFaults(); }

}  // namespace sim
