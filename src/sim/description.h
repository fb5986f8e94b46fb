// Camera description files (FENNEX_SIM_CAMERAS); the README lists the keys ("Simulated cameras").
#pragma once

#include <string>
#include <vector>

#include "sim/sim.h"

namespace sim::detail {

struct Description {
    std::vector<CameraDesc> cameras;
    DriverRelease release;
};

// Reads a description file. Raises BcamException: 2 when the file cannot be read, 87 for a bad
// entry, with a context that names the file, the section and the key.
Description ReadDescription(const std::string& fileName);

}  // namespace sim::detail
