// A camera on the simulated bus: its registers and where its frames stand.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <string>

#include "sim/sim.h"

namespace sim::detail {

using Clock = std::chrono::steady_clock;

// Everything but `name` is guarded by the device table's lock (see devices.h); `name` never
// changes, so the bus reads it under its own lock alone.
struct CameraState {
    explicit CameraState(CameraDesc desc) : name(desc.name), regs(std::move(desc)) {}

    const std::string name;
    CameraDesc regs;  // regs.name stays `name`
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

}  // namespace sim::detail
