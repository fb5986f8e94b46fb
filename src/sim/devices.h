// The device table: the open handles with their completion ports and pending requests, the
// requests they take (requests.cpp) and the frames their grabs receive (frames.cpp).
//
// Locks, outermost first: this table's, the bus's (bus.h), the hooks' (hooks.h); a lock is only
// ever taken inside those before it in this order. This table's lock guards the table, every
// device in it, and the frame state of every camera (all of CameraState but its name): whether
// a frame is due depends on a handle's grabs and its camera's registers at once, so they change
// under one lock. Nothing that can block on someone else (a window procedure, a completion, an
// event) runs while it is held: completions are collected under it and delivered after it is
// released. A device's deliveries are counted while they run, and closing waits for that count
// to fall to zero, so that no completion reaches a port (or a buffer) after its handle has been
// closed.
//
// Each camera's frame threads wait on that camera's own condition variable, woken only by what
// concerns the camera (its requests, its registers, a close of one of its handles, the pace), so
// that many cameras at once cost no more per frame than one. Threads that wait for a delivery
// or a close to end wait on `settled_`.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "errors/exception.h"
#include "platform/sync.h"
#include "platform/win32_errors.h"
#include "sim/bus.h"
#include "sim/camera_state.h"
#include "sim/frame.h"
#include "sim/hooks.h"

namespace sim::detail {

class Devices {
public:
    Devices(Bus& bus, Hooks& hooks, DriverService& service) : bus_(bus), hooks_(hooks), service_(service) {}
    // At process exit the platform's ports and events may already be gone: handles still open
    // are ended without completing anything.
    ~Devices();

    pf::Handle Open(const std::string& path);
    bool Close(pf::Handle handle);
    bool IoControl(pf::Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                   std::uint32_t outSize, pf::Overlapped* record);
    bool OverlappedResult(pf::Handle handle, pf::Overlapped* record, std::uint32_t* bytes, bool wait);
    bool CancelIo(pf::Handle handle);
    pf::Handle CreateCompletionPort(pf::Handle handle, std::uintptr_t key);
    // The camera of an open handle (null for none) and the handle's id.
    std::shared_ptr<CameraState> CameraOf(pf::Handle handle, std::uintptr_t* id);

    // Closes every handle and puts these cameras on the bus.
    void Install(std::vector<CameraDesc> cameras, Pace pace);
    // Takes the camera off the bus: its handles' pending requests end with `error`. Returns the
    // broadcasts of its removal, none when it was gone already.
    std::vector<Broadcast> Remove(const std::shared_ptr<CameraState>& camera, std::uint32_t error);
    bool InUse(const CameraState& camera);  // a handle of it is open
    void EndClosedRequests();

    // Runs `f` on the named camera's state under the lock, waking its frame threads.
    template <typename F>
    auto WithCamera(const std::string& name, F&& f) {
        std::lock_guard lock(mu_);
        const std::shared_ptr<CameraState> c = bus_.Find(name);
        if (!c) throw Bcam::BcamException(fennex::platform::err::kFileNotFound, "sim: no camera \"" + name + "\"");
        c->wake.notify_all();
        return f(*c);
    }

    // The frame source (frames.cpp).
    void SetPace(Pace pace);
    void FireTrigger(const std::string& name);

private:
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
        pf::Handle port;  // null: a synchronous request, signalled by its event
        std::uintptr_t key;
    };
    struct Device {
        std::uintptr_t id = 0;
        std::shared_ptr<CameraState> camera;
        pf::Handle port = nullptr;
        std::uintptr_t key = 0;
        bool resources = false;
        std::vector<PendingRequest> grabs;  // oldest first; a vector, so queueing allocates nothing
        std::vector<PendingRequest> hung;   // requests made never to complete
        int delivering = 0;
        bool closing = false;
        FramePainter painter;  // its rows are kept between frames
        bool sending = false;  // a frame is being painted and completed: one at a time
        std::thread worker;
    };
    // What a request does beyond its reply (requests.cpp).
    struct Outcome {
        Completion own;
        std::vector<Completion> others;  // completions of other requests it ends (a cancel)
        bool pending = false;            // it waits for a frame
        bool sendNow = false;            // its frame is due: the caller's thread sends it
        bool wake = false;               // a frame thread of the camera has a frame to send
    };
    using Lock = std::unique_lock<std::mutex>;
    // The status of a request accepted and not ended yet, in its record.
    static constexpr std::uintptr_t kStatusPending = 0x103;
    // A synchronous request: bit 0 of its event set. It signals the event, never the port.
    static bool IsSync(const pf::Overlapped* record) {
        return record && (reinterpret_cast<std::uintptr_t>(record->hEvent) & 1) != 0;
    }

    // devices.cpp: the table, completions, closing.
    Device* Find(pf::Handle h);
    static Completion CompletionOf(const Device& d, const PendingRequest& p, std::uint32_t error);
    static void EndGrabs(Device& d, std::uint32_t error, std::vector<Completion>* out);
    static void EndHung(Device& d, std::uint32_t error, std::vector<Completion>* out);
    void Deliver(Lock& lock, Device* d, std::span<const Completion> list, CameraState* wake = nullptr);
    void ShutDown(Lock& lock, Device* d, bool endLater = false);
    void CloseAllLocked(Lock& lock);

    // requests.cpp: one function per request family besides the registers.
    void Log(Device* d, pf::Handle h, std::uint32_t code, const void* in, std::uint32_t inSize,
             std::uint32_t outSize, const pf::Overlapped* record);
    std::uint32_t Resources(Device& d, std::uint32_t code, const std::uint32_t* in, void* out, Outcome& o);
    std::uint32_t Grab(Device& d, std::uint32_t code, void* out, std::uint32_t outSize, pf::Overlapped* record,
                       Outcome& o);
    std::uint32_t Shot(Device& d, const std::uint32_t* in, Outcome& o);

    // frames.cpp: the frame source.
    void Worker(Device* d);
    void SendFrame(Lock& lock, Device* d);
    bool Ready(const Device& d) const;
    bool FrameDue(const Device& d) const;
    bool WorkerToWake(const CameraState& c) const;
    bool AnyGrabQueued(const CameraState& c) const;
    bool WaitsForTrigger(const CameraState& c) const;
    static void DropFrame(CameraState& c);

    Bus& bus_;
    Hooks& hooks_;
    DriverService& service_;
    std::mutex mu_;
    std::condition_variable settled_;
    std::map<std::uintptr_t, std::unique_ptr<Device>> devices_;
    std::vector<Completion> closedPending_;  // requests of closed handles, ended later
    Pace pace_ = Pace::RealTime;
    bool exiting_ = false;
};

}  // namespace sim::detail
