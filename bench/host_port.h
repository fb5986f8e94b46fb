// What the grab benchmarks share: the simulated cameras as fast as they go, and one of them open
// on port 0 through the host functions.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/backend_choice.h"
#include "driver/port_table.h"
#include "fennex/fennex.h"
#include "sim/frame.h"
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

// Paints `camera`'s frames of its current mode one after another, as the simulated camera
// does: what every simulated grab includes and a kernel driver does not add.
class CameraPainter {
public:
    explicit CameraPainter(const std::string& camera) : desc_(sim::Camera(camera)) {
        if (sim::detail::CurrentGeometry(desc_, &geometry_)) frame_.resize(geometry_.bytes);
    }
    // False when the mode sends no frames.
    bool Paints() const { return !frame_.empty(); }
    void PaintNext() {
        painter_.Paint(geometry_, sim::detail::ParamsOf(desc_, number_++), frame_.data());
        benchmark::DoNotOptimize(frame_.data());
    }

private:
    sim::CameraDesc desc_;
    sim::detail::Geometry geometry_;
    sim::detail::FramePainter painter_;
    std::vector<std::uint8_t> frame_;
    std::uint32_t number_ = 0;
};

}  // namespace bench
