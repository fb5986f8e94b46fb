// The requests a device handle takes: checked, logged, faulted as the tests ask, then answered
// by their family (the registers, resources, grabs, shots) and completed.
#include <cstring>

#include "bcam/driver_contract.h"
#include "platform/last_error.h"
#include "sim/devices.h"
#include "sim/registers.h"

namespace sim::detail {

namespace drv = Bcam::driver;
namespace err = fennex::platform::err;

bool Devices::IoControl(pf::Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                        std::uint32_t outSize, pf::Overlapped* record) {
    Lock lock(mu_);
    Device* d = Find(handle);
    Log(d, handle, code, in, inSize, outSize, record);
    if (!d) return Fail(err::kInvalidHandle);
    if (!record || (inSize && !in) || (outSize && !out)) return Fail(err::kInvalidParameter);
    if (!d->camera->present) return Fail(err::kDeviceNotConnected);

    std::uint32_t wantIn = 0, minOut = 0;
    if (!RequestSizes(code, &wantIn, &minOut)) return Fail(err::kInvalidFunction);
    if (inSize != wantIn) return Fail(err::kInvalidParameter);
    if (outSize < minOut) return Fail(err::kInsufficientBuffer);

    std::uint32_t words[6] = {};
    if (inSize) std::memcpy(words, in, inSize);

    const std::optional<Fault> fault = hooks_.Take(code, d->camera->name, -1, inSize ? words[0] : -1);
    if (fault && fault->hang) {
        record->Internal = kStatusPending;
        d->hung.push_back({record, nullptr, 0});
        return Fail(err::kIoPending);
    }
    if (fault && !fault->atCompletion) return Fail(fault->error);

    Outcome o;
    o.own = {record, 0, 0, IsSync(record) ? nullptr : d->port, d->key};
    if (fault) {
        o.own.error = fault->error;
    } else if (IsRegisterRequest(code)) {
        // Only the version request reads the release; the others spare its copy.
        const DriverRelease release = code == drv::kDriverVersion ? service_.Release() : DriverRelease{};
        const Reply reply = AnswerRegisterRequest(d->camera->regs, release, code, words, static_cast<std::uint8_t*>(out));
        if (reply.error) return Fail(reply.error);
        o.own.bytes = reply.bytes;
        o.wake = WorkerToWake(*d->camera);  // a register may have released a waiting frame
    } else {
        std::uint32_t error = err::kInvalidFunction;
        switch (code) {
        case drv::kAllocateResources:
        case drv::kFreeResources:
            error = Resources(*d, code, words, out, o);
            break;
        case drv::kGrabImage:
        case drv::kCancelGrabs:
            error = Grab(*d, code, out, outSize, record, o);
            break;
        case drv::kShot:
            error = Shot(*d, words, o);
            break;
        default:
            break;
        }
        if (error) return Fail(error);
    }
    if (o.own.port == nullptr && !IsSync(record) && !o.pending) {
        // Overlapped, but the handle has no port: only the record tells the outcome.
        record->Internal = o.own.error;
        record->InternalHigh = o.own.bytes;
    }
    Deliver(lock, d, o.others);
    // The frame thread is woken first: the frame it sends is what the caller waits for.
    const bool deliverOwn = !o.pending && (o.own.port != nullptr || IsSync(record));
    Deliver(lock, d, {&o.own, deliverOwn ? 1u : 0u}, o.wake ? d->camera.get() : nullptr);
    if (o.sendNow) SendFrame(lock, d);
    if (o.pending || fault) return Fail(err::kIoPending);
    pf::SetLastError(0);
    return true;
}

void Devices::Log(Device* d, pf::Handle h, std::uint32_t code, const void* in, std::uint32_t inSize,
                  std::uint32_t outSize, const pf::Overlapped* record) {
    if (!hooks_.Recording()) return;
    Request r;
    r.camera = d ? d->camera->name : std::string();
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
    hooks_.Log(std::move(r));
}

std::uint32_t Devices::Resources(Device& d, std::uint32_t code, const std::uint32_t* in, void* out, Outcome& o) {
    if (code == drv::kFreeResources) {
        d.resources = false;
        return 0;
    }
    const drv::AllocateIn a{in[0], in[1], in[2]};
    if (a.bytesPerPacket == 0 || a.bytesPerPacket > 4096 || a.bufferCount == 0) return err::kInvalidParameter;
    d.resources = true;
    // Reply: isochronous channel, bytes per packet granted, buffers.
    const drv::AllocateOut reply{static_cast<std::uint32_t>(bus_.Index(*d.camera)), a.bytesPerPacket,
                                 a.bufferCount};
    std::memcpy(out, &reply, sizeof reply);
    o.own.bytes = sizeof reply;
    return 0;
}

std::uint32_t Devices::Grab(Device& d, std::uint32_t code, void* out, std::uint32_t outSize,
                            pf::Overlapped* record, Outcome& o) {
    if (code == drv::kCancelGrabs) {
        EndGrabs(d, err::kOperationAborted, &o.others);
        return 0;
    }
    if (!d.resources) return kNoResources;
    Geometry g;
    if (!CurrentGeometry(d.camera->regs, &g)) return kNotSupported;
    if (outSize < g.bytes) return err::kInsufficientBuffer;
    record->Internal = kStatusPending;
    d.grabs.push_back({record, static_cast<std::uint8_t*>(out), outSize});
    o.pending = true;
    // A frame already due is sent at once, by the thread that queued the grab: the port's own
    // thread re-arming in continuous mode, which takes the frame next, while it is still in its
    // processor's cache, and no frame thread is woken for it.
    o.sendNow = FrameDue(d);
    if (!o.sendNow) o.wake = WorkerToWake(*d.camera);
    return 0;
}

std::uint32_t Devices::Shot(Device& d, const std::uint32_t* in, Outcome& o) {
    CameraState& c = *d.camera;
    if (in[0] == drv::kShotStop || in[0] == drv::kShotContinuous) {
        c.regs.continuous = in[0] == drv::kShotContinuous;
        o.wake = WorkerToWake(c);
    } else if (in[0] == drv::kShotOne) {
        if (c.regs.continuous) return 0;  // a streaming camera ignores it
        if (AnyGrabQueued(c)) {
            ++c.shotsPending;
            o.wake = WorkerToWake(c);
        } else {
            DropFrame(c);  // nobody is listening on the bus
        }
    } else {
        return err::kInvalidParameter;
    }
    return 0;
}

}  // namespace sim::detail
