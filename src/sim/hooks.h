// What tests set up and read back besides the cameras: injected faults, the request log, and the
// driver service's release. Each guards its own state with a lock of its own, the innermost of
// the simulator's locks: nothing is called while one is held.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim.h"

namespace sim::detail {

class Hooks {
public:
    // The first fault that matches, counted down (and gone when used up).
    std::optional<Fault> Take(std::uint32_t code, const std::string& camera, std::int32_t index,
                              std::int64_t firstWord = -1);
    void Add(const Fault& fault);
    void ClearFaults();

    // Whether requests are logged; Log() looks again under its lock.
    bool Recording() const { return recording_.load(std::memory_order_relaxed); }
    void Log(Request request);
    std::vector<Request> Requests();
    void ClearLog();
    void Record(bool on);

    // No faults, an empty log, recording as given.
    void Reset(bool recording);

private:
    std::mutex mu_;
    std::vector<Fault> faults_;
    std::vector<Request> log_;
    std::atomic<bool> recording_{false};
    // !faults_.empty(), so that a request with no fault set up costs no lock here.
    std::atomic<bool> armed_{false};
};

// The driver service and file as the registry and the version resource report them.
class DriverService {
public:
    DriverRelease Release();
    void SetRelease(const DriverRelease& release);
    void Reset(const DriverRelease& release);  // also forgets the last version query
    bool QueryImagePath(std::string* imagePath, std::uint32_t* error);
    bool QueryFileVersion(const std::string& path, std::uint32_t* versionMS, std::uint32_t* versionLS);
    std::string LastVersionQueryPath();

private:
    std::mutex mu_;
    DriverRelease release_;
    std::string lastVersionPath_;
};

// Case-insensitive ASCII comparison, as the system compares paths and device names.
bool SameTextIgnoringCase(const std::string& a, const std::string& b);

}  // namespace sim::detail
