// The simulated bus: cameras present, enumeration, device-change registrations and broadcasts.
#include "sim/bus.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>

#include "bcam/driver_contract.h"
#include "errors/exception.h"
#include "platform/last_error.h"
#include "platform/win32_errors.h"

namespace sim::detail {

namespace drv = Bcam::driver;
namespace err = fennex::platform::err;

bool Fail(std::uint32_t error) {
    pf::SetLastError(error);
    return false;
}

std::uintptr_t NewId() {
    static std::atomic<std::uintptr_t> next{0x5100};
    return next += 4;
}

void CheckNames(const std::vector<CameraDesc>& cameras) {
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        if (cameras[i].name.empty() || cameras[i].name.find('#') == std::string::npos)
            throw Bcam::BcamException(err::kInvalidParameter, "sim: device name \"" + cameras[i].name +
                                                                  "\" needs the form <id>#<serial>");
        for (std::size_t j = 0; j < i; ++j)
            if (SameTextIgnoringCase(cameras[i].name, cameras[j].name))
                throw Bcam::BcamException(err::kAlreadyExists, "sim: camera \"" + cameras[i].name + "\" twice");
    }
}

std::vector<std::shared_ptr<CameraState>> Bus::Replace(std::vector<std::shared_ptr<CameraState>> cameras) {
    std::lock_guard lock(mu_);
    cameras_.swap(cameras);
    sets_.clear();
    return cameras;
}

std::vector<Broadcast> Bus::Plug(std::shared_ptr<CameraState> camera) {
    std::vector<Broadcast> out;
    std::lock_guard lock(mu_);
    std::vector<CameraDesc> all{camera->regs};
    for (const auto& c : cameras_) {
        CameraDesc named;  // the names alone: the registers belong to the device table
        named.name = c->name;
        all.push_back(std::move(named));
    }
    CheckNames(all);
    cameras_.push_back(camera);
    InterfacesLocked(pf::kDbtDevicePath, InterfacePath(camera->name), &out);
    return out;
}

bool Bus::Remove(const CameraState& camera) {
    std::lock_guard lock(mu_);
    auto it = std::find_if(cameras_.begin(), cameras_.end(), [&](const auto& c) { return c.get() == &camera; });
    if (it == cameras_.end()) return false;
    cameras_.erase(it);
    return true;
}

std::shared_ptr<CameraState> Bus::Find(const std::string& name) {
    std::lock_guard lock(mu_);
    for (const auto& c : cameras_)
        if (c->name == name) return c;
    return nullptr;
}

std::shared_ptr<CameraState> Bus::FindByPath(const std::string& path) {
    std::lock_guard lock(mu_);
    std::shared_ptr<CameraState> found;
    for (const auto& c : cameras_)
        if (SameTextIgnoringCase(InterfacePath(c->name), path)) found = c;
    return found;
}

std::vector<std::string> Bus::Names() {
    std::lock_guard lock(mu_);
    std::vector<std::string> names;
    for (const auto& c : cameras_) names.push_back(c->name);
    return names;
}

std::size_t Bus::Index(const CameraState& camera) {
    std::lock_guard lock(mu_);
    for (std::size_t i = 0; i < cameras_.size(); ++i)
        if (cameras_[i].get() == &camera) return i;
    return cameras_.size();
}

pf::Handle Bus::OpenInterfaceSet() {
    if (const auto f = hooks_.Take(kOpOpenInterfaceSet, {}, -1)) {
        pf::SetLastError(f->error);
        return pf::InvalidHandleValue();
    }
    std::lock_guard lock(mu_);
    std::vector<std::string> paths;
    for (const auto& c : cameras_) paths.push_back(InterfacePath(c->name));
    const std::uintptr_t id = NewId();
    sets_[id] = std::move(paths);
    pf::SetLastError(0);
    return ToHandle(id);
}

bool Bus::EnumInterface(pf::Handle set, std::uint32_t index) {
    std::lock_guard lock(mu_);
    auto it = sets_.find(FromHandle(set));
    if (it == sets_.end()) return Fail(err::kInvalidHandle);
    if (const auto f = hooks_.Take(kOpEnumInterface, {}, static_cast<std::int32_t>(index)))
        return Fail(f->error);
    if (index >= it->second.size()) return Fail(err::kNoMoreItems);
    pf::SetLastError(0);
    return true;
}

bool Bus::InterfaceDetail(pf::Handle set, std::uint32_t index, std::uint32_t bufferSize,
                          std::uint32_t* required, std::string* path) {
    std::lock_guard lock(mu_);
    auto it = sets_.find(FromHandle(set));
    if (it == sets_.end()) return Fail(err::kInvalidHandle);
    if (index >= it->second.size()) return Fail(err::kNoMoreItems);
    const std::string& p = it->second[index];
    // The detail record: a 32-bit size field, then the terminated path.
    const auto need = static_cast<std::uint32_t>(4 + p.size() + 1);
    if (bufferSize < need) {
        if (required) *required = need;
        if (const auto f = hooks_.Take(kOpInterfaceDetailSize, {}, static_cast<std::int32_t>(index)))
            return Fail(f->error);
        return Fail(err::kInsufficientBuffer);
    }
    if (const auto f = hooks_.Take(kOpInterfaceDetail, {}, static_cast<std::int32_t>(index)))
        return Fail(f->error);
    if (path) *path = p;
    pf::SetLastError(0);
    return true;
}

void Bus::CloseInterfaceSet(pf::Handle set) {
    std::lock_guard lock(mu_);
    sets_.erase(FromHandle(set));
}

pf::Handle Bus::Register(pf::Hwnd window, std::shared_ptr<CameraState> camera, std::uintptr_t device,
                         bool otherClass) {
    std::lock_guard lock(mu_);
    const std::uintptr_t id = NewId();
    registrations_[id] = Registration{window, std::move(camera), device, otherClass};
    return ToHandle(id);
}

bool Bus::Unregister(pf::Handle registration) {
    std::lock_guard lock(mu_);
    return registrations_.erase(FromHandle(registration)) != 0;
}

std::vector<Broadcast> Bus::ToHandles(const CameraState& camera, std::uint32_t event) {
    std::vector<Broadcast> out;
    std::lock_guard lock(mu_);
    for (const auto& [id, r] : registrations_)
        if (r.camera.get() == &camera) out.push_back({id, r.window, event, r.device, {}});
    return out;
}

std::vector<Broadcast> Bus::ToInterfaces(std::uint32_t event, const std::string& path) {
    std::vector<Broadcast> out;
    std::lock_guard lock(mu_);
    InterfacesLocked(event, path, &out);
    return out;
}

void Bus::InterfacesLocked(std::uint32_t event, const std::string& path, std::vector<Broadcast>* out) {
    for (const auto& [id, r] : registrations_)
        if (!r.camera && !r.otherClass) out->push_back({id, r.window, event, 0, path});
}

void Bus::Send(const std::vector<Broadcast>& list) {
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
            pf::SendMessageTo(b.window, pf::kWmDeviceChange, b.event, reinterpret_cast<std::intptr_t>(&record));
        } else {
            const std::size_t nameAt = offsetof(pf::DevBroadcastDeviceInterface, dbcc_name);
            std::vector<std::uint64_t> storage((nameAt + b.path.size() + 1 + 7) / 8 + 1, 0);
            auto* record = reinterpret_cast<pf::DevBroadcastDeviceInterface*>(storage.data());
            record->dbcc_size = static_cast<std::uint32_t>(nameAt + b.path.size() + 1);
            record->dbcc_devicetype = pf::kDbtDevtypDeviceInterface;
            record->dbcc_classguid = drv::kInterfaceClass;
            std::memcpy(reinterpret_cast<char*>(storage.data()) + nameAt, b.path.c_str(), b.path.size() + 1);
            pf::SendMessageTo(b.window, pf::kWmDeviceChange, b.event, reinterpret_cast<std::intptr_t>(record));
        }
    }
}

}  // namespace sim::detail
