// The frame source: when a camera sends a frame, and the frame thread of each handle that paints
// and completes it. Frames are paced by the camera's frame period unless the pace is Fast.
#include "bcam/driver_contract.h"
#include "sim/devices.h"

namespace sim::detail {

namespace drv = Bcam::driver;
namespace err = fennex::platform::err;

namespace {

bool TriggerOn(const CameraDesc& c) {
    const Feature& t = c.feature(drv::kTrigger);
    return (t.inquiry & drv::kInqPresence) && (t.control & drv::kCtlOnOff);
}

}  // namespace

void Devices::SetPace(Pace pace) {
    std::lock_guard lock(mu_);
    pace_ = pace;
    for (const auto& [id, d] : devices_) d->camera->wake.notify_all();
}

void Devices::FireTrigger(const std::string& name) {
    WithCamera(name, [&](CameraState& c) {
        if (WaitsForTrigger(c)) ++c.triggersPending;  // else the pulse is lost
    });
}

bool Devices::AnyGrabQueued(const CameraState& c) const {
    for (const auto& [id, d] : devices_)
        if (d->camera.get() == &c && !d->closing && !d->grabs.empty()) return true;
    return false;
}

bool Devices::WaitsForTrigger(const CameraState& c) const {
    return TriggerOn(c.regs) && c.triggersPending == 0 && (c.shotsPending || c.regs.continuous) &&
           AnyGrabQueued(c);
}

void Devices::DropFrame(CameraState& c) {
    c.last = ParamsOf(c.regs, c.frames);
    ++c.frames;
}

bool Devices::Ready(const Device& d) const {
    const CameraState& c = *d.camera;
    if (d.closing || d.sending || d.grabs.empty() || c.holdGrabs || !c.present) return false;
    if (c.shotsPending == 0 && !c.regs.continuous) return false;
    return !TriggerOn(c.regs) || c.triggersPending > 0;
}

// Requests wake only frame threads that wait for work, and only once there is a frame to send:
// one waiting for its next frame's time looks at everything again then, and a wake-up per
// request would cost more than the request.
bool Devices::WorkerToWake(const CameraState& c) const {
    if (c.idleWorkers == 0) return false;
    for (const auto& [id, d] : devices_)
        if (d->camera.get() == &c && Ready(*d)) return true;
    return false;
}

bool Devices::FrameDue(const Device& d) const {
    return Ready(d) && (pace_ == Pace::Fast || Clock::now() >= d.camera->nextFrame);
}

// Serves one handle's grabs: a frame for the oldest pending grab whenever the camera is asked
// for one, no sooner than the frame period after the camera's previous frame.
void Devices::Worker(Device* d) {
    Lock lock(mu_);
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
void Devices::SendFrame(Lock& lock, Device* d) {
    CameraState& c = *d->camera;
    const PendingRequest grab = d->grabs.front();
    d->grabs.erase(d->grabs.begin());
    if (c.shotsPending) --c.shotsPending;
    if (TriggerOn(c.regs)) --c.triggersPending;
    Geometry g;
    const bool ok = CurrentGeometry(c.regs, &g);
    const FrameParams params = ParamsOf(c.regs, c.frames);
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
    if (!d->grabs.empty() && WorkerToWake(c)) c.wake.notify_all();  // the frame thread sends the next
}

}  // namespace sim::detail
