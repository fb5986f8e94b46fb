// The device table: opening and closing handles, their completion ports, cancelling, and the
// delivery of completions with the lock released.
#include "sim/devices.h"

#include <exception>

#include "platform/completion_port.h"
#include "platform/last_error.h"

namespace sim::detail {

namespace err = fennex::platform::err;

namespace {

constexpr std::uint32_t kIoIncomplete = 996;

}  // namespace

Devices::~Devices() {
    {
        std::lock_guard lock(mu_);
        exiting_ = true;
    }
    Lock lock(mu_);
    CloseAllLocked(lock);
}

pf::Handle Devices::Open(const std::string& path) {
    std::lock_guard lock(mu_);
    const std::shared_ptr<CameraState> camera = bus_.FindByPath(path);
    if (!camera) {
        pf::SetLastError(err::kFileNotFound);
        return pf::InvalidHandleValue();
    }
    if (const auto f = hooks_.Take(kOpOpenDevice, camera->name, -1)) {
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

bool Devices::Close(pf::Handle handle) {
    Lock lock(mu_);
    Device* d = Find(handle);
    if (!d) return Fail(err::kInvalidHandle);
    bool endLater = false;
    if (const auto f = hooks_.Take(kOpCloseDevice, d->camera->name, -1)) {
        if (!f->atCompletion) return Fail(f->error);
        endLater = true;
    }
    ShutDown(lock, d, endLater);
    pf::SetLastError(0);
    return true;
}

bool Devices::OverlappedResult(pf::Handle handle, pf::Overlapped* record, std::uint32_t* bytes, bool wait) {
    Lock lock(mu_);
    if (!Find(handle) && record->Internal == kStatusPending) return Fail(err::kInvalidHandle);
    if (record->Internal == kStatusPending) {
        if (!wait) return Fail(kIoIncomplete);
        settled_.wait(lock, [&] { return record->Internal != kStatusPending; });
    }
    if (bytes) *bytes = static_cast<std::uint32_t>(record->InternalHigh);
    if (record->Internal != 0) return Fail(static_cast<std::uint32_t>(record->Internal));
    pf::SetLastError(0);
    return true;
}

bool Devices::CancelIo(pf::Handle handle) {
    Lock lock(mu_);
    Device* d = Find(handle);
    Log(d, handle, kCancelIo, nullptr, 0, 0, nullptr);
    if (!d) return Fail(err::kInvalidHandle);
    std::vector<Completion> ended;
    EndGrabs(*d, err::kOperationAborted, &ended);
    EndHung(*d, err::kOperationAborted, &ended);
    Deliver(lock, d, ended);
    pf::SetLastError(0);
    return true;
}

pf::Handle Devices::CreateCompletionPort(pf::Handle handle, std::uintptr_t key) {
    std::lock_guard lock(mu_);
    Device* d = Find(handle);
    if (!d) {
        pf::SetLastError(err::kInvalidHandle);
        return nullptr;
    }
    if (const auto f = hooks_.Take(kOpCreateCompletionPort, d->camera->name, -1)) {
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

std::shared_ptr<CameraState> Devices::CameraOf(pf::Handle handle, std::uintptr_t* id) {
    std::lock_guard lock(mu_);
    Device* d = Find(handle);
    if (!d) return nullptr;
    *id = d->id;
    return d->camera;
}

void Devices::Install(std::vector<CameraDesc> cameras, Pace pace) {
    Lock lock(mu_);
    CloseAllLocked(lock);
    std::vector<std::shared_ptr<CameraState>> states;
    for (auto& c : cameras) states.push_back(std::make_shared<CameraState>(std::move(c)));
    bus_.Replace(std::move(states));  // under this lock: no handle can be opened on the old ones
    closedPending_.clear();
    pace_ = pace;
}

std::vector<Broadcast> Devices::Remove(const std::shared_ptr<CameraState>& camera, std::uint32_t error) {
    {
        Lock lock(mu_);
        if (!bus_.Remove(*camera)) return {};
        camera->present = false;
        for (auto& [id, d] : devices_) {
            if (d->camera != camera || d->closing) continue;
            std::vector<Completion> ended;
            EndGrabs(*d, error, &ended);
            EndHung(*d, error, &ended);
            Deliver(lock, d.get(), ended);
        }
    }
    std::vector<Broadcast> out = bus_.ToHandles(*camera, pf::kDbtDeviceRemoveComplete);
    std::vector<Broadcast> interfaces = bus_.ToInterfaces(pf::kDbtDeviceRemoveComplete, InterfacePath(camera->name));
    out.insert(out.end(), interfaces.begin(), interfaces.end());
    return out;
}

bool Devices::InUse(const CameraState& camera) {
    std::lock_guard lock(mu_);
    for (const auto& [id, d] : devices_)
        if (d->camera.get() == &camera && !d->closing) return true;
    return false;
}

void Devices::EndClosedRequests() {
    std::vector<Completion> ended;
    {
        std::lock_guard lock(mu_);
        ended.swap(closedPending_);
    }
    for (const Completion& c : ended) pf::CompleteRequest(c.port, c.bytes, c.key, c.record, c.error);
}

Devices::Device* Devices::Find(pf::Handle h) {
    auto it = devices_.find(FromHandle(h));
    return it == devices_.end() || it->second->closing ? nullptr : it->second.get();
}

Devices::Completion Devices::CompletionOf(const Device& d, const PendingRequest& p, std::uint32_t error) {
    return {p.record, 0, error, IsSync(p.record) ? nullptr : d.port, d.key};
}

void Devices::EndGrabs(Device& d, std::uint32_t error, std::vector<Completion>* out) {
    for (const PendingRequest& p : d.grabs) out->push_back(CompletionOf(d, p, error));
    d.grabs.clear();
}

void Devices::EndHung(Device& d, std::uint32_t error, std::vector<Completion>* out) {
    for (const PendingRequest& p : d.hung) out->push_back(CompletionOf(d, p, error));
    d.hung.clear();
}

// Delivers completions with the lock released, after waking the frame threads of `wake`: woken
// under the lock, a thread would only wait for it. `d` stays valid meanwhile because a close
// waits until nothing is being delivered for it.
void Devices::Deliver(Lock& lock, Device* d, std::span<const Completion> list, CameraState* wake) {
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
// EndClosedRequests is called), deliveries finish, its frame thread stops.
void Devices::ShutDown(Lock& lock, Device* d, bool endLater) {
    d->closing = true;
    std::vector<Completion> ended;
    EndGrabs(*d, err::kOperationAborted, &ended);
    EndHung(*d, err::kOperationAborted, &ended);
    if (endLater)
        closedPending_.insert(closedPending_.end(), ended.begin(), ended.end());
    else
        Deliver(lock, d, ended);
    d->camera->wake.notify_all();  // its frame thread ends
    settled_.wait(lock, [&] { return d->delivering == 0; });
    auto it = devices_.find(d->id);
    std::unique_ptr<Device> owned = std::move(it->second);
    devices_.erase(it);
    settled_.notify_all();  // for a CloseAll waiting on this close
    lock.unlock();
    if (owned->worker.joinable()) owned->worker.join();
    lock.lock();
}

void Devices::CloseAllLocked(Lock& lock) {
    while (!devices_.empty()) {
        Device* d = devices_.begin()->second.get();
        if (d->closing) {  // another thread is closing it: wait for that
            settled_.wait(lock);
            continue;
        }
        ShutDown(lock, d);
    }
}

}  // namespace sim::detail
