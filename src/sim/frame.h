// The frames a simulated camera sends: their geometry in the current video mode, what they show,
// and the painter that writes them. Pure functions over a CameraDesc; the frame source supplies
// locking and timing.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/sim.h"

namespace sim::detail {

// The frame the current video mode sends.
struct Geometry {
    std::uint32_t width = 0, height = 0;
    std::uint32_t coding = 0;       // colour coding 0..6
    std::uint32_t bytes = 0;        // frame size
    std::uint64_t periodUs = 0;     // time between frames
};
// False when the current mode cannot send frames (unknown mode or colour coding, empty region).
bool CurrentGeometry(const CameraDesc& camera, Geometry* geometry);
// The bytes of a width x height frame in colour coding 0..6.
std::uint32_t FrameBytes(std::uint32_t width, std::uint32_t height, std::uint32_t coding);

FrameParams ParamsOf(const CameraDesc& camera, std::uint32_t frame);
// Writes the frames of one camera one after another (geometry.bytes bytes each). A moving
// image has 256 distinct rows; they are painted once while geometry and picture settings stay,
// and every frame is copied together from them, so a frame costs little more than a copy.
class FramePainter {
public:
    void Paint(const Geometry& geometry, const FrameParams& params, std::uint8_t* out);

private:
    std::vector<std::uint8_t> rows_;
    std::uint32_t width_ = 0, coding_ = 0;
    FrameParams still_;  // the settings the rows were painted with, at frame 0
};

}  // namespace sim::detail
