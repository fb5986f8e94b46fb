// What the grab benchmarks share: the simulated cameras as fast as they go, and one of them open
// on port 0 through the host functions.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "driver/backend_choice.h"
#include "driver/port_table.h"
#include "fennex/fennex.h"
#include "sim/sim.h"

namespace bench {

// The simulated cameras as fast as they go, `camera` in the given mode. The request log, a test
// aid that a kernel driver does not have, is switched off.
inline void StartSimulator(const std::string& camera, std::uint32_t format, std::uint32_t mode) {
    fennex::driver::ChooseBackendByEnvironment();
    sim::Reset();
    sim::RecordRequests(false);
    sim::SetPace(sim::Pace::Fast);
    sim::SetVideoMode(camera, format, mode);
}

// StartSimulator, then `camera` open on port 0 with `callback`; false (and the benchmark
// skipped) when it does not open.
inline bool OpenPort(benchmark::State& state, const std::string& camera, std::uint32_t format,
                     std::uint32_t mode, CompleteCallback callback, int size[2]) {
    StartSimulator(camera, format, mode);
    fennex::driver::RebuildCameraTableForTesting();
    setSystemPath(std::filesystem::temp_directory_path().string().c_str());
    if (!openCVLPort(0, 0, camera.c_str(), size) || size[0] <= 0) {
        state.SkipWithError("camera did not open");
        return false;
    }
    setCompleteCallback(0, 0, callback);
    return true;
}

}  // namespace bench
