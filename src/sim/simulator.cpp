// The simulated driver: handles, requests, grabs, completions, hot-plug and the test hooks.
//
// One mutex guards all of the simulator's state. Nothing that can block on someone else (a
// window procedure, a completion, an event) runs while it is held: such work is collected under
// the lock and delivered after it is released. A device's completions are counted while they
// are being delivered, and CloseDevice waits for that count to fall to zero, so that no
// completion reaches a port (or a buffer) after its handle has been closed.
//
// Each camera's frame threads wait on that camera's own condition variable, woken only by what
// concerns the camera (its requests, its registers, a close of one of its handles, the pace), so
// that many cameras at once cost no more per frame than one. Threads that wait for a delivery
// or a close to end wait on `settled_`.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "bcam/driver_contract.h"
#include "errors/exception.h"
#include "platform/completion_port.h"
#include "platform/last_error.h"
#include "platform/sync.h"
#include "platform/win32_errors.h"
#include "platform/window.h"
#include "sim/frame.h"
#include "sim/registers.h"
#include "sim/description.h"
#include "sim/sim.h"

namespace sim {

namespace drv = Bcam::driver;
namespace err = fennex::platform::err;
namespace pf = fennex::platform;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uintptr_t kStatusPending = 0x103;
constexpr std::uint32_t kIoIncomplete = 996;

struct CameraState {
    CameraDesc regs;
    bool present = true;
    bool holdGrabs = false;
    std::uint32_t frames = 0;
    std::uint32_t shotsPending = 0;
    std::uint32_t triggersPending = 0;
    FrameParams last;
    Clock::time_point nextFrame{};
    std::condition_variable wake;  // the frame threads of the camera's handles wait on it
    int idleWorkers = 0;           // of those, the ones waiting for a grab to serve
};

struct PendingRequest {
    pf::Overlapped* record;
    std::uint8_t* buffer;  // grabs only
    std::uint32_t size;
};

// What is delivered after the lock is released.
struct Completion {
    pf::Overlapped* record;
    std::uint32_t bytes;
    std::uint32_t error;
    pf::Handle port;        // null: a synchronous request, signalled by its event
    std::uintptr_t key;
};

bool IsSync(const pf::Overlapped* record) {
    return record && (reinterpret_cast<std::uintptr_t>(record->hEvent) & 1) != 0;
}

struct Device {
    std::uintptr_t id = 0;
    std::shared_ptr<CameraState> camera;
    pf::Handle port = nullptr;
    std::uintptr_t key = 0;
    bool resources = false;
    std::vector<PendingRequest> grabs;  // oldest first; a vector, so queueing allocates nothing
    std::vector<PendingRequest> hung;  // requests made never to complete
    int delivering = 0;
    bool closing = false;
    detail::FramePainter painter;  // its rows are kept between frames
    bool sending = false;          // a frame is being painted and completed: one at a time
    std::thread worker;
};

// A handle registration stays bound to its camera after the handle is closed, as a system
// registration is bound to the device: a closed handle still hears of a failed or completed
// removal until the registration is cancelled.
struct Registration {
    pf::Hwnd window;
    std::shared_ptr<CameraState> camera;  // null: the interface class
    std::uintptr_t device = 0;            // the registered handle
    bool otherClass = false;              // an interface class no simulated device belongs to
};

// A broadcast to send once the lock is released.
struct Broadcast {
    std::uintptr_t registration;
    pf::Hwnd window;
    std::uint32_t event;
    std::uintptr_t device;  // handle broadcasts
    std::string path;       // interface broadcasts
};

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool TriggerOn(const CameraDesc& c) {
    const Feature& t = c.feature(drv::kTrigger);
    return (t.inquiry & drv::kInqPresence) && (t.control & drv::kCtlOnOff);
}

Pace PaceFromEnvironment() {
    const char* pace = std::getenv("FENNEX_SIM_PACE");
    return pace && std::string(pace) == "fast" ? Pace::Fast : Pace::RealTime;
}

bool Fail(std::uint32_t error) {
    pf::SetLastError(error);
    return false;
}

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class Simulator final : public Bcam::DriverBackend {
public:
    Simulator() : pace_(PaceFromEnvironment()) {
        const char* file = std::getenv("FENNEX_SIM_CAMERAS");
        Install(file && *file ? detail::ReadDescription(file) : detail::Description{DefaultCameras(), {}},
                false);
    }
    ~Simulator() override {
        // At process exit the platform's ports and events may already be gone: handles still
        // open are ended without completing anything.
        {
            std::lock_guard lock(mu_);
            exiting_ = true;
        }
        CloseAll();
    }

    // --- enumeration
    pf::Handle OpenInterfaceSet() override {
        std::lock_guard lock(mu_);
        if (const Fault* f = TakeFault(kOpOpenInterfaceSet, {}, -1)) {
            pf::SetLastError(f->error);
            return pf::InvalidHandleValue();
        }
        std::vector<std::string> paths;
        for (const auto& c : cameras_) paths.push_back(InterfacePath(c->regs.name));
        const std::uintptr_t id = NewId();
        sets_[id] = std::move(paths);
        pf::SetLastError(0);
        return ToHandle(id);
    }

    bool EnumInterface(pf::Handle set, std::uint32_t index) override {
        std::lock_guard lock(mu_);
        auto it = sets_.find(FromHandle(set));
        if (it == sets_.end()) return Fail(err::kInvalidHandle);
        if (const Fault* f = TakeFault(kOpEnumInterface, {}, static_cast<std::int32_t>(index)))
            return Fail(f->error);
        if (index >= it->second.size()) return Fail(err::kNoMoreItems);
        pf::SetLastError(0);
        return true;
    }

    bool InterfaceDetail(pf::Handle set, std::uint32_t index, std::uint32_t bufferSize,
                         std::uint32_t* required, std::string* path) override {
        std::lock_guard lock(mu_);
        auto it = sets_.find(FromHandle(set));
        if (it == sets_.end()) return Fail(err::kInvalidHandle);
        if (index >= it->second.size()) return Fail(err::kNoMoreItems);
        const std::string& p = it->second[index];
        // The detail record: a 32-bit size field, then the terminated path.
        const auto need = static_cast<std::uint32_t>(4 + p.size() + 1);
        if (bufferSize < need) {
            if (required) *required = need;
            if (const Fault* f = TakeFault(kOpInterfaceDetailSize, {}, static_cast<std::int32_t>(index)))
                return Fail(f->error);
            return Fail(err::kInsufficientBuffer);
        }
        if (const Fault* f = TakeFault(kOpInterfaceDetail, {}, static_cast<std::int32_t>(index)))
            return Fail(f->error);
        if (path) *path = p;
        pf::SetLastError(0);
        return true;
    }

    void CloseInterfaceSet(pf::Handle set) override {
        std::lock_guard lock(mu_);
        sets_.erase(FromHandle(set));
    }

    // --- devices
    pf::Handle OpenDevice(const std::string& path) override {
        std::lock_guard lock(mu_);
        std::shared_ptr<CameraState> camera;
        for (const auto& c : cameras_)
            if (SameTextIgnoringCase(InterfacePath(c->regs.name), path)) camera = c;
        if (!camera) {
            pf::SetLastError(err::kFileNotFound);
            return pf::InvalidHandleValue();
        }
        if (const Fault* f = TakeFault(kOpOpenDevice, camera->regs.name, -1)) {
            pf::SetLastError(f->error);
            return pf::InvalidHandleValue();
        }
        auto device = std::make_unique<Device>();
        device->id = NewId();
        device->camera = camera;
        Device* d = device.get();
        try {
            d->worker = std::thread([this, d] { Worker(d); });
        } catch (const std::exception&) {
            pf::SetLastError(err::kNotEnoughMemory);
            return pf::InvalidHandleValue();
        }
        devices_[d->id] = std::move(device);
        pf::SetLastError(0);
        return ToHandle(d->id);
    }

    bool CloseDevice(pf::Handle handle) override {
        std::unique_lock lock(mu_);
        Device* d = FindDevice(handle);
        if (!d) return Fail(err::kInvalidHandle);
        bool endLater = false;
        if (const Fault* f = TakeFault(kOpCloseDevice, d->camera->regs.name, -1)) {
            if (!f->atCompletion) return Fail(f->error);
            endLater = true;
        }
        ShutDown(lock, d, endLater);
        pf::SetLastError(0);
        return true;
    }

    bool IoControl(pf::Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
                   void* out, std::uint32_t outSize, pf::Overlapped* record) override {
        std::unique_lock lock(mu_);
        Device* d = FindDevice(handle);
        Log(d, handle, code, in, inSize, outSize, record);
        if (!d) return Fail(err::kInvalidHandle);
        if (!record || (inSize && !in) || (outSize && !out)) return Fail(err::kInvalidParameter);
        if (!d->camera->present) return Fail(err::kDeviceNotConnected);

        std::uint32_t wantIn = 0, minOut = 0;
        if (!detail::RequestSizes(code, &wantIn, &minOut)) return Fail(err::kInvalidFunction);
        if (inSize != wantIn) return Fail(err::kInvalidParameter);
        if (outSize < minOut) return Fail(err::kInsufficientBuffer);

        std::uint32_t words[6] = {};
        if (inSize) std::memcpy(words, in, inSize);

        Fault fault(0);  // code 0: no fault for this request
        if (const Fault* f = TakeFault(code, d->camera->regs.name, -1, inSize ? words[0] : -1))
            fault = *f;
        if (fault.code && fault.hang) {
            record->Internal = kStatusPending;
            d->hung.push_back({record, nullptr, 0});
            return Fail(err::kIoPending);
        }
        if (fault.code && !fault.atCompletion) return Fail(fault.error);

        std::vector<Completion> others;  // completions of other requests this one ends (a cancel)
        Completion own{record, 0, 0, IsSync(record) ? nullptr : d->port, d->key};
        bool pending = false, sendNow = false, wake = false;
        if (fault.code) {
            own.error = fault.error;
        } else if (detail::IsRegisterRequest(code)) {
            const detail::Reply reply = detail::AnswerRegisterRequest(
                d->camera->regs, release_, code, words, static_cast<std::uint8_t*>(out));
            if (reply.error) return Fail(reply.error);
            own.bytes = reply.bytes;
            wake = WorkerToWake(*d->camera);  // a register may have released a waiting frame
        } else {
            switch (code) {
            case drv::kAllocateResources: {
                const drv::AllocateIn a{words[0], words[1], words[2]};
                if (a.bytesPerPacket == 0 || a.bytesPerPacket > 4096 || a.bufferCount == 0)
                    return Fail(err::kInvalidParameter);
                d->resources = true;
                // Reply: isochronous channel, bytes per packet granted, buffers.
                const drv::AllocateOut reply{static_cast<std::uint32_t>(CameraIndex(*d->camera)),
                                             a.bytesPerPacket, a.bufferCount};
                std::memcpy(out, &reply, sizeof reply);
                own.bytes = sizeof reply;
                break;
            }
            case drv::kFreeResources:
                d->resources = false;
                break;
            case drv::kGrabImage: {
                if (!d->resources) return Fail(kNoResources);
                detail::Geometry g;
                if (!detail::CurrentGeometry(d->camera->regs, &g)) return Fail(kNotSupported);
                if (outSize < g.bytes) return Fail(err::kInsufficientBuffer);
                record->Internal = kStatusPending;
                d->grabs.push_back({record, static_cast<std::uint8_t*>(out), outSize});
                pending = true;
                // A frame already due is sent at once, by the thread that queued the grab: the
                // port's own thread re-arming in continuous mode, which takes the frame next,
                // while it is still in its processor's cache, and no worker is woken for it.
                sendNow = FrameDue(*d);
                if (!sendNow) wake = WorkerToWake(*d->camera);
                break;
            }
            case drv::kCancelGrabs:
                EndGrabs(*d, err::kOperationAborted, &others);
                break;
            case drv::kShot:
                if (words[0] == drv::kShotStop || words[0] == drv::kShotContinuous) {
                    d->camera->regs.continuous = words[0] == drv::kShotContinuous;
                    wake = WorkerToWake(*d->camera);
                } else if (words[0] == drv::kShotOne) {
                    if (d->camera->regs.continuous) break;  // a streaming camera ignores it
                    if (AnyGrabQueued(*d->camera)) {
                        ++d->camera->shotsPending;
                        wake = WorkerToWake(*d->camera);
                    } else {
                        DropFrame(*d->camera);  // nobody is listening on the bus
                    }
                } else {
                    return Fail(err::kInvalidParameter);
                }
                break;
            default:
                return Fail(err::kInvalidFunction);
            }
        }
        if (own.port == nullptr && !IsSync(record)) {
            // Overlapped, but the handle has no port: only the record tells the outcome.
            if (!pending) {
                record->Internal = own.error;
                record->InternalHigh = own.bytes;
            }
        }
        const bool failedLater = fault.code != 0;
        Deliver(lock, d, others);
        // The worker is woken first: the frame it sends is what the caller waits for.
        const bool deliverOwn = !pending && (own.port != nullptr || IsSync(record));
        Deliver(lock, d, {&own, deliverOwn ? 1u : 0u}, wake ? d->camera.get() : nullptr);
        if (sendNow) SendFrame(lock, d);
        if (pending || failedLater) return Fail(err::kIoPending);
        pf::SetLastError(0);
        return true;
    }

    bool OverlappedResult(pf::Handle handle, pf::Overlapped* record, std::uint32_t* bytes,
                          bool wait) override {
        std::unique_lock lock(mu_);
        if (!FindDevice(handle) && record->Internal == kStatusPending)
            return Fail(err::kInvalidHandle);
        if (record->Internal == kStatusPending) {
            if (!wait) return Fail(kIoIncomplete);
            settled_.wait(lock, [&] { return record->Internal != kStatusPending; });
        }
        if (bytes) *bytes = static_cast<std::uint32_t>(record->InternalHigh);
        if (record->Internal != 0) return Fail(static_cast<std::uint32_t>(record->Internal));
        pf::SetLastError(0);
        return true;
    }

    bool CancelIo(pf::Handle handle) override {
        std::unique_lock lock(mu_);
        Device* d = FindDevice(handle);
        Log(d, handle, kCancelIo, nullptr, 0, 0, nullptr);
        if (!d) return Fail(err::kInvalidHandle);
        std::vector<Completion> ended;
        EndGrabs(*d, err::kOperationAborted, &ended);
        EndHung(*d, err::kOperationAborted, &ended);
        Deliver(lock, d, ended);
        pf::SetLastError(0);
        return true;
    }

    pf::Handle CreateCompletionPort(pf::Handle handle, std::uintptr_t key) override {
        std::lock_guard lock(mu_);
        Device* d = FindDevice(handle);
        if (!d) {
            pf::SetLastError(err::kInvalidHandle);
            return nullptr;
        }
        if (const Fault* f = TakeFault(kOpCreateCompletionPort, d->camera->regs.name, -1)) {
            pf::SetLastError(f->error);
            return nullptr;
        }
        if (d->port) {  // a handle belongs to one port at most
            pf::SetLastError(err::kInvalidParameter);
            return nullptr;
        }
        pf::Handle port = pf::CreatePort();
        if (!port) return nullptr;
        d->port = port;
        d->key = key;
        return port;
    }

    pf::Handle RegisterNotification(pf::Hwnd window, const pf::DevBroadcastHdr* filter) override {
        std::lock_guard lock(mu_);
        if (const Fault* f = TakeFault(kOpRegisterNotification, {}, -1)) {
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
        Registration r{window, nullptr};
        if (filter->dbch_devicetype == pf::kDbtDevtypHandle &&
            filter->dbch_size >= offsetof(pf::DevBroadcastHandle, dbch_hdevnotify)) {
            const auto* h = reinterpret_cast<const pf::DevBroadcastHandle*>(filter);
            Device* d = FindDevice(h->dbch_handle);
            if (!d) {
                pf::SetLastError(err::kInvalidHandle);
                return nullptr;
            }
            r.camera = d->camera;
            r.device = d->id;
        } else if (filter->dbch_devicetype == pf::kDbtDevtypDeviceInterface &&
                   filter->dbch_size >= offsetof(pf::DevBroadcastDeviceInterface, dbcc_name)) {
            const auto* i = reinterpret_cast<const pf::DevBroadcastDeviceInterface*>(filter);
            r.otherClass = !(i->dbcc_classguid == drv::kInterfaceClass);
        } else {
            pf::SetLastError(err::kInvalidParameter);
            return nullptr;
        }
        const std::uintptr_t id = NewId();
        registrations_[id] = r;
        pf::SetLastError(0);
        return ToHandle(id);
    }

    bool UnregisterNotification(pf::Handle registration) override {
        std::lock_guard lock(mu_);
        if (registrations_.erase(FromHandle(registration)) == 0) return Fail(err::kInvalidHandle);
        pf::SetLastError(0);
        return true;
    }

    // --- the driver release
    bool QueryServiceImagePath(std::string* imagePath, std::uint32_t* error) override {
        std::lock_guard lock(mu_);
        if (!release_.serviceKey) return false;
        *error = release_.imagePathError;
        if (*error == 0) *imagePath = release_.imagePath;
        return true;
    }

    bool QueryFileVersion(const std::string& path, std::uint32_t* versionMS,
                          std::uint32_t* versionLS) override {
        std::lock_guard lock(mu_);
        lastVersionPath_ = path;
        // The driver file is wherever the service's image path names it; any other file has no
        // version information.
        if (!release_.versionInfo ||
            !SameTextIgnoringCase(FileNameOf(path), FileNameOf(release_.imagePath)))
            return false;
        *versionMS = release_.versionMS;
        *versionLS = release_.versionLS;
        return true;
    }

    // --- test interface
    // Tests install cameras through Reset(), LoadDescription() or SetCameras(), and with them
    // switch the request log on; a simulator started on its own (a host, the demo) keeps no log,
    // so that a long run does not grow it.
    void Install(detail::Description description, bool recordRequests = true) {
        std::vector<CameraDesc>& cameras = description.cameras;
        std::unique_lock lock(mu_);
        CheckNames(cameras);
        CloseAllLocked(lock);
        cameras_.clear();
        for (auto& c : cameras) {
            auto state = std::make_shared<CameraState>();
            state->regs = std::move(c);
            cameras_.push_back(std::move(state));
        }
        sets_.clear();
        faults_.clear();
        closedPending_.clear();
        log_.clear();
        recording_ = recordRequests;
        release_ = description.release;
        lastVersionPath_.clear();
        pace_ = PaceFromEnvironment();
    }

    void EndClosedRequests() {
        std::vector<Completion> ended;
        {
            std::lock_guard lock(mu_);
            ended.swap(closedPending_);
        }
        for (const Completion& c : ended) pf::CompleteRequest(c.port, c.bytes, c.key, c.record, c.error);
    }

    std::vector<std::string> Names() {
        std::lock_guard lock(mu_);
        std::vector<std::string> names;
        for (const auto& c : cameras_) names.push_back(c->regs.name);
        return names;
    }

    template <typename F>
    auto WithCamera(const std::string& name, F&& f) {
        std::lock_guard lock(mu_);
        for (const auto& c : cameras_)
            if (c->regs.name == name) {
                c->wake.notify_all();
                return f(*c);
            }
        throw Bcam::BcamException(err::kFileNotFound, "sim: no camera \"" + name + "\"");
    }

    DriverRelease Release() {
        std::lock_guard lock(mu_);
        return release_;
    }
    void SetRelease(const DriverRelease& r) {
        std::lock_guard lock(mu_);
        release_ = r;
    }
    std::string LastVersionQueryPath() {
        std::lock_guard lock(mu_);
        return lastVersionPath_;
    }
    void SetPace(Pace p) {
        std::lock_guard lock(mu_);
        pace_ = p;
        for (const auto& [id, d] : devices_) d->camera->wake.notify_all();
    }
    std::vector<Request> Log() {
        std::lock_guard lock(mu_);
        return log_;
    }
    void ClearLog() {
        std::lock_guard lock(mu_);
        log_.clear();
    }
    void RecordRequests(bool on) {
        std::lock_guard lock(mu_);
        recording_ = on;
    }
    void AddFault(const Fault& f) {
        std::lock_guard lock(mu_);
        if (f.count > 0) faults_.push_back(f);
    }
    void ClearFaults() {
        std::lock_guard lock(mu_);
        faults_.clear();
    }

    void FireTrigger(const std::string& name) {
        std::lock_guard lock(mu_);
        for (const auto& c : cameras_) {
            if (c->regs.name != name) continue;
            if (WaitsForTrigger(*c)) ++c->triggersPending;  // else the pulse is lost
            c->wake.notify_all();
            return;
        }
        throw Bcam::BcamException(err::kFileNotFound, "sim: no camera \"" + name + "\"");
    }

    void Plug(const CameraDesc& camera) {
        std::vector<Broadcast> out;
        {
            std::unique_lock lock(mu_);
            std::vector<CameraDesc> all{camera};
            for (const auto& c : cameras_) all.push_back(c->regs);
            CheckNames(all);
            auto state = std::make_shared<CameraState>();
            state->regs = camera;
            cameras_.push_back(state);
            InterfaceBroadcasts(pf::kDbtDevicePath, InterfacePath(camera.name), &out);
        }
        Send(out);
    }

    bool Unplug(const std::string& name, Removal removal) {
        std::shared_ptr<CameraState> camera;
        {
            std::lock_guard lock(mu_);
            for (const auto& c : cameras_)
                if (c->regs.name == name) camera = c;
        }
        if (!camera) throw Bcam::BcamException(err::kFileNotFound, "sim: no camera \"" + name + "\"");

        if (removal == Removal::Surprise) {
            RemoveCamera(camera, err::kDeviceNotConnected);
            return true;
        }
        SendToHandles(camera, pf::kDbtDeviceQueryRemove);
        bool veto = removal == Removal::Refused;
        if (!veto) {
            std::lock_guard lock(mu_);
            veto = OpenHandles(*camera) > 0;  // a handle left open keeps the device in use
        }
        if (veto) {
            SendToHandles(camera, pf::kDbtDeviceQueryRemoveFailed);
            return false;
        }
        RemoveCamera(camera, err::kDeviceNotConnected);
        return true;
    }

private:
    static pf::Handle ToHandle(std::uintptr_t id) { return reinterpret_cast<pf::Handle>(id); }
    static std::uintptr_t FromHandle(pf::Handle h) { return reinterpret_cast<std::uintptr_t>(h); }
    // Handle values are multiples of four, as the system's are, and never reused.
    std::uintptr_t NewId() { return nextId_ += 4; }

    Device* FindDevice(pf::Handle h) {
        auto it = devices_.find(FromHandle(h));
        return it == devices_.end() || it->second->closing ? nullptr : it->second.get();
    }

    std::size_t CameraIndex(const CameraState& c) const {
        for (std::size_t i = 0; i < cameras_.size(); ++i)
            if (cameras_[i].get() == &c) return i;
        return cameras_.size();
    }

    void CheckNames(const std::vector<CameraDesc>& cameras) const {
        for (std::size_t i = 0; i < cameras.size(); ++i) {
            if (cameras[i].name.empty() || cameras[i].name.find('#') == std::string::npos)
                throw Bcam::BcamException(err::kInvalidParameter,
                                          "sim: device name \"" + cameras[i].name +
                                              "\" needs the form <id>#<serial>");
            for (std::size_t j = 0; j < i; ++j)
                if (SameTextIgnoringCase(cameras[i].name, cameras[j].name))
                    throw Bcam::BcamException(err::kAlreadyExists,
                                              "sim: camera \"" + cameras[i].name + "\" twice");
        }
    }

    const Fault* TakeFault(std::uint32_t code, const std::string& camera, std::int32_t index,
                           std::int64_t firstWord = -1) {
        for (auto it = faults_.begin(); it != faults_.end(); ++it) {
            if (it->code != code || (!it->camera.empty() && it->camera != camera) ||
                (it->index >= 0 && it->index != index) ||
                (it->firstWord >= 0 && it->firstWord != firstWord))
                continue;
            taken_ = *it;
            if (--it->count <= 0) faults_.erase(it);
            return &taken_;
        }
        return nullptr;
    }

    void Log(Device* d, pf::Handle h, std::uint32_t code, const void* in, std::uint32_t inSize,
             std::uint32_t outSize, const pf::Overlapped* record) {
        if (!recording_) return;
        Request r;
        r.camera = d ? d->camera->regs.name : std::string();
        r.device = h;
        r.code = code;
        if (in)
            for (std::uint32_t i = 0; i + 4 <= inSize; i += 4) {
                std::uint32_t w;
                std::memcpy(&w, static_cast<const std::uint8_t*>(in) + i, 4);
                r.in.push_back(w);
            }
        r.inSize = inSize;
        r.outSize = outSize;
        r.overlapped = record && !IsSync(record);
        log_.push_back(std::move(r));
    }

    Completion CompletionOf(const Device& d, const PendingRequest& p, std::uint32_t error) const {
        return {p.record, 0, error, IsSync(p.record) ? nullptr : d.port, d.key};
    }
    void EndGrabs(Device& d, std::uint32_t error, std::vector<Completion>* out) {
        for (const PendingRequest& p : d.grabs) out->push_back(CompletionOf(d, p, error));
        d.grabs.clear();
    }
    void EndHung(Device& d, std::uint32_t error, std::vector<Completion>* out) {
        for (const PendingRequest& p : d.hung) out->push_back(CompletionOf(d, p, error));
        d.hung.clear();
    }

    // Delivers completions with the lock released, after waking the workers of `wake`: woken
    // under the lock, a worker would only wait for it. `d` stays valid meanwhile because
    // CloseDevice waits until nothing is being delivered for it.
    void Deliver(std::unique_lock<std::mutex>& lock, Device* d, std::span<const Completion> list,
                 CameraState* wake = nullptr) {
        if ((list.empty() && !wake) || exiting_) return;
        for (const Completion& c : list) {
            if (!c.port) {  // synchronous: the record is read under the lock by the waiter
                c.record->Internal = c.error;
                c.record->InternalHigh = c.bytes;
            }
        }
        ++d->delivering;
        lock.unlock();
        if (wake) wake->wake.notify_all();
        for (const Completion& c : list) {
            if (c.port)
                pf::CompleteRequest(c.port, c.bytes, c.key, c.record, c.error);
            else
                pf::SetEventHandle(c.record->hEvent);
        }
        lock.lock();
        --d->delivering;
        settled_.notify_all();
    }

    // Ends a device: its pending requests complete with 995 (`endLater`: only when
    // EndClosedRequests is called), deliveries finish, its worker stops.
    void ShutDown(std::unique_lock<std::mutex>& lock, Device* d, bool endLater = false) {
        d->closing = true;
        std::vector<Completion> ended;
        EndGrabs(*d, err::kOperationAborted, &ended);
        EndHung(*d, err::kOperationAborted, &ended);
        if (endLater)
            closedPending_.insert(closedPending_.end(), ended.begin(), ended.end());
        else
            Deliver(lock, d, ended);
        d->camera->wake.notify_all();  // its worker ends
        settled_.wait(lock, [&] { return d->delivering == 0; });
        auto it = devices_.find(d->id);
        std::unique_ptr<Device> owned = std::move(it->second);
        devices_.erase(it);
        settled_.notify_all();  // for a CloseAll waiting on this close
        lock.unlock();
        if (owned->worker.joinable()) owned->worker.join();
        lock.lock();
    }

    void CloseAllLocked(std::unique_lock<std::mutex>& lock) {
        while (!devices_.empty()) {
            Device* d = devices_.begin()->second.get();
            if (d->closing) {  // another thread is closing it: wait for that
                settled_.wait(lock);
                continue;
            }
            ShutDown(lock, d);
        }
    }
    void CloseAll() {
        std::unique_lock lock(mu_);
        CloseAllLocked(lock);
    }

    bool AnyGrabQueued(const CameraState& c) const {
        for (const auto& [id, d] : devices_)
            if (d->camera.get() == &c && !d->closing && !d->grabs.empty()) return true;
        return false;
    }
    bool WaitsForTrigger(const CameraState& c) const {
        return TriggerOn(c.regs) && c.triggersPending == 0 && (c.shotsPending || c.regs.continuous) &&
               AnyGrabQueued(c);
    }
    std::size_t OpenHandles(const CameraState& c) const {
        std::size_t n = 0;
        for (const auto& [id, d] : devices_)
            if (d->camera.get() == &c && !d->closing) ++n;
        return n;
    }
    void DropFrame(CameraState& c) {
        c.last = detail::ParamsOf(c.regs, c.frames);
        ++c.frames;
    }

    bool Ready(const Device& d) const {
        const CameraState& c = *d.camera;
        if (d.closing || d.sending || d.grabs.empty() || c.holdGrabs || !c.present) return false;
        if (c.shotsPending == 0 && !c.regs.continuous) return false;
        return !TriggerOn(c.regs) || c.triggersPending > 0;
    }

    // Requests wake only workers that wait for work, and only once there is a frame to send: one
    // waiting for its next frame's time looks at everything again then, and a wake-up per
    // request would cost more than the request.
    bool WorkerToWake(const CameraState& c) const {
        if (c.idleWorkers == 0) return false;
        for (const auto& [id, d] : devices_)
            if (d->camera.get() == &c && Ready(*d)) return true;
        return false;
    }

    bool FrameDue(const Device& d) const {
        return Ready(d) && (pace_ == Pace::Fast || Clock::now() >= d.camera->nextFrame);
    }

    // Serves one handle's grabs: a frame for the oldest pending grab whenever the camera is
    // asked for one, no sooner than the frame period after the camera's previous frame.
    void Worker(Device* d) {
        std::unique_lock lock(mu_);
        for (;;) {
            CameraState& c = *d->camera;
            ++c.idleWorkers;
            c.wake.wait(lock, [&] { return d->closing || Ready(*d); });
            --c.idleWorkers;
            if (d->closing) return;
            if (FrameDue(*d))
                SendFrame(lock, d);
            else
                c.wake.wait_until(lock, c.nextFrame);  // then look again: anything may change
        }
    }

    // Paints the frame of the oldest pending grab (with the lock released) and completes it.
    void SendFrame(std::unique_lock<std::mutex>& lock, Device* d) {
        CameraState& c = *d->camera;
        const PendingRequest grab = d->grabs.front();
        d->grabs.erase(d->grabs.begin());
        if (c.shotsPending) --c.shotsPending;
        if (TriggerOn(c.regs)) --c.triggersPending;
        detail::Geometry g;
        const bool ok = detail::CurrentGeometry(c.regs, &g);
        const FrameParams params = detail::ParamsOf(c.regs, c.frames);
        c.last = params;
        ++c.frames;
        c.nextFrame = Clock::now() + std::chrono::microseconds(ok ? g.periodUs : 0);
        Completion done = CompletionOf(*d, grab, 0);
        d->sending = true;
        ++d->delivering;
        lock.unlock();
        if (!ok)
            done.error = kNotSupported;
        else if (grab.size < g.bytes)  // the mode grew after the grab was queued
            done.error = err::kInsufficientBuffer;
        else {
            d->painter.Paint(g, params, grab.buffer);
            done.bytes = g.bytes;
        }
        lock.lock();
        --d->delivering;
        if (d->closing) settled_.notify_all();  // a close waits for the painting to end
        Deliver(lock, d, {&done, 1});
        d->sending = false;
        if (!d->grabs.empty() && WorkerToWake(c)) c.wake.notify_all();  // the worker sends the next
    }

    void InterfaceBroadcasts(std::uint32_t event, const std::string& path, std::vector<Broadcast>* out) {
        for (const auto& [id, r] : registrations_)
            if (!r.camera && !r.otherClass) out->push_back({id, r.window, event, 0, path});
    }

    void HandleBroadcasts(const CameraState& c, std::uint32_t event, std::vector<Broadcast>* out) {
        for (const auto& [id, r] : registrations_)
            if (r.camera.get() == &c) out->push_back({id, r.window, event, r.device, {}});
    }

    void SendToHandles(const std::shared_ptr<CameraState>& camera, std::uint32_t event) {
        std::vector<Broadcast> out;
        {
            std::lock_guard lock(mu_);
            HandleBroadcasts(*camera, event, &out);
        }
        Send(out);
    }

    void RemoveCamera(const std::shared_ptr<CameraState>& camera, std::uint32_t error) {
        std::vector<Broadcast> out;
        {
            std::unique_lock lock(mu_);
            auto it = std::find(cameras_.begin(), cameras_.end(), camera);
            if (it == cameras_.end()) return;
            camera->present = false;
            cameras_.erase(it);
            for (auto& [id, d] : devices_) {
                if (d->camera != camera || d->closing) continue;
                std::vector<Completion> ended;
                EndGrabs(*d, error, &ended);
                EndHung(*d, error, &ended);
                Deliver(lock, d.get(), ended);
            }
            HandleBroadcasts(*camera, pf::kDbtDeviceRemoveComplete, &out);
            InterfaceBroadcasts(pf::kDbtDeviceRemoveComplete, InterfacePath(camera->regs.name), &out);
        }
        Send(out);
    }

    // Sends each broadcast whose registration still stands when its turn comes.
    void Send(const std::vector<Broadcast>& list) {
        for (const Broadcast& b : list) {
            {
                std::lock_guard lock(mu_);
                if (registrations_.find(b.registration) == registrations_.end()) continue;
            }
            if (b.path.empty()) {
                pf::DevBroadcastHandle record{};
                record.dbch_size = sizeof record;
                record.dbch_devicetype = pf::kDbtDevtypHandle;
                record.dbch_handle = ToHandle(b.device);
                record.dbch_hdevnotify = ToHandle(b.registration);
                pf::SendMessageTo(b.window, pf::kWmDeviceChange, b.event,
                                  reinterpret_cast<std::intptr_t>(&record));
            } else {
                const std::size_t nameAt = offsetof(pf::DevBroadcastDeviceInterface, dbcc_name);
                std::vector<std::uint64_t> storage((nameAt + b.path.size() + 1 + 7) / 8 + 1, 0);
                auto* record = reinterpret_cast<pf::DevBroadcastDeviceInterface*>(storage.data());
                record->dbcc_size = static_cast<std::uint32_t>(nameAt + b.path.size() + 1);
                record->dbcc_devicetype = pf::kDbtDevtypDeviceInterface;
                record->dbcc_classguid = drv::kInterfaceClass;
                std::memcpy(reinterpret_cast<char*>(storage.data()) + nameAt, b.path.c_str(),
                            b.path.size() + 1);
                pf::SendMessageTo(b.window, pf::kWmDeviceChange, b.event,
                                  reinterpret_cast<std::intptr_t>(record));
            }
        }
    }

    std::mutex mu_;
    std::condition_variable settled_;
    std::vector<std::shared_ptr<CameraState>> cameras_;
    std::map<std::uintptr_t, std::unique_ptr<Device>> devices_;
    std::map<std::uintptr_t, std::vector<std::string>> sets_;
    std::map<std::uintptr_t, Registration> registrations_;
    DriverRelease release_;
    std::string lastVersionPath_;
    std::vector<Request> log_;
    bool recording_ = false;
    std::vector<Fault> faults_;
    Fault taken_{0};
    std::vector<Completion> closedPending_;  // requests of closed handles, ended later
    Pace pace_;
    bool exiting_ = false;
    std::uintptr_t nextId_ = 0x5100;
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

std::vector<std::string> CameraNames() { return Sim().Names(); }

CameraDesc Camera(const std::string& name) {
    return Sim().WithCamera(name, [](CameraState& c) { return c.regs; });
}
void EditCamera(const std::string& name, const std::function<void(CameraDesc&)>& edit) {
    Sim().WithCamera(name, [&](CameraState& c) {
        const std::string keep = c.regs.name;
        edit(c.regs);
        c.regs.name = keep;  // the name is the camera's identity on the bus
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

DriverRelease Release() { return Sim().Release(); }
void SetRelease(const DriverRelease& release) { Sim().SetRelease(release); }
std::string LastVersionQueryPath() { return Sim().LastVersionQueryPath(); }

void Plug(const CameraDesc& camera) { Sim().Plug(camera); }
bool Unplug(const std::string& name, Removal removal) { return Sim().Unplug(name, removal); }

void SetPace(Pace pace) { Sim().SetPace(pace); }
void FireTrigger(const std::string& name) { Sim().FireTrigger(name); }
void EndClosedRequests() { Sim().EndClosedRequests(); }
void HoldGrabs(const std::string& name, bool hold) {
    Sim().WithCamera(name, [&](CameraState& c) { c.holdGrabs = hold; });
}
std::uint32_t FrameCount(const std::string& name) {
    return Sim().WithCamera(name, [](CameraState& c) { return c.frames; });
}
FrameParams LastFrameParams(const std::string& name) {
    return Sim().WithCamera(name, [](CameraState& c) { return c.last; });
}
FrameParams NextFrameParams(const std::string& name) {
    return Sim().WithCamera(name, [](CameraState& c) { return detail::ParamsOf(c.regs, c.frames); });
}

std::vector<Request> Requests() { return Sim().Log(); }
std::vector<Request> Requests(std::uint32_t code, const std::string& camera) {
    std::vector<Request> all = Sim().Log(), some;
    for (Request& r : all)
        if (r.code == code && (camera.empty() || r.camera == camera)) some.push_back(std::move(r));
    return some;
}
void ClearRequests() { Sim().ClearLog(); }
void RecordRequests(bool on) { Sim().RecordRequests(on); }

void InjectFault(const Fault& fault) { Sim().AddFault(fault); }
void ClearFaults() { Sim().ClearFaults(); }

}  // namespace sim
