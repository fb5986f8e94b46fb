// Injected faults, the request log and the driver service's release.
#include "sim/hooks.h"

#include <utility>

namespace sim::detail {

namespace {

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

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

std::optional<Fault> Hooks::Take(std::uint32_t code, const std::string& camera, std::int32_t index,
                                 std::int64_t firstWord) {
    if (!armed_.load(std::memory_order_relaxed)) return std::nullopt;
    std::lock_guard lock(mu_);
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->code != code || (!it->camera.empty() && it->camera != camera) ||
            (it->index >= 0 && it->index != index) ||
            (it->firstWord >= 0 && it->firstWord != firstWord))
            continue;
        Fault taken = *it;
        if (--it->count <= 0) faults_.erase(it);
        armed_ = !faults_.empty();
        return taken;
    }
    return std::nullopt;
}

void Hooks::Add(const Fault& fault) {
    std::lock_guard lock(mu_);
    if (fault.count > 0) faults_.push_back(fault);
    armed_ = !faults_.empty();
}

void Hooks::ClearFaults() {
    std::lock_guard lock(mu_);
    faults_.clear();
    armed_ = false;
}

void Hooks::Log(Request request) {
    std::lock_guard lock(mu_);
    if (recording_) log_.push_back(std::move(request));
}

std::vector<Request> Hooks::Requests() {
    std::lock_guard lock(mu_);
    return log_;
}

void Hooks::ClearLog() {
    std::lock_guard lock(mu_);
    log_.clear();
}

void Hooks::Record(bool on) {
    std::lock_guard lock(mu_);
    recording_ = on;
}

void Hooks::Reset(bool recording) {
    std::lock_guard lock(mu_);
    faults_.clear();
    armed_ = false;
    log_.clear();
    recording_ = recording;
}

DriverRelease DriverService::Release() {
    std::lock_guard lock(mu_);
    return release_;
}

void DriverService::SetRelease(const DriverRelease& release) {
    std::lock_guard lock(mu_);
    release_ = release;
}

void DriverService::Reset(const DriverRelease& release) {
    std::lock_guard lock(mu_);
    release_ = release;
    lastVersionPath_.clear();
}

bool DriverService::QueryImagePath(std::string* imagePath, std::uint32_t* error) {
    std::lock_guard lock(mu_);
    if (!release_.serviceKey) return false;
    *error = release_.imagePathError;
    if (*error == 0) *imagePath = release_.imagePath;
    return true;
}

bool DriverService::QueryFileVersion(const std::string& path, std::uint32_t* versionMS,
                                     std::uint32_t* versionLS) {
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

std::string DriverService::LastVersionQueryPath() {
    std::lock_guard lock(mu_);
    return lastVersionPath_;
}

}  // namespace sim::detail
