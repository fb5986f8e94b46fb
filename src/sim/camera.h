// Inside the simulated camera: what its registers answer, and the frames it makes.
// Pure functions over a CameraDesc; the simulator supplies locking, handles and timing.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/sim.h"

namespace sim::detail {

// The reply of one register request: a Win32 error (0 on success) and the bytes written.
struct Reply {
    std::uint32_t error = 0;
    std::uint32_t bytes = 0;
};

// True for the control codes answered from the camera's registers alone.
bool IsRegisterRequest(std::uint32_t code);

// Answers a register request (sizes already checked against RequestSizes). A set that fails
// leaves the registers as they were.
Reply AnswerRegisterRequest(CameraDesc& camera, const DriverRelease& release, std::uint32_t code,
                            const std::uint32_t* in, std::uint8_t* out, std::uint32_t outSize);

// The input size a control code takes and the least output it needs; false for an unknown code.
// The grab's output is the frame and is checked against the frame size instead (minOut 0).
bool RequestSizes(std::uint32_t code, std::uint32_t* inSize, std::uint32_t* minOut);

// The frame the current video mode sends.
struct Geometry {
    std::uint32_t width = 0, height = 0;
    std::uint32_t coding = 0;       // colour coding 0..6
    std::uint32_t bytes = 0;        // frame size
    std::uint64_t periodUs = 0;     // time between frames
};
// False when the current mode cannot send frames (unknown mode or colour coding, empty region).
bool CurrentGeometry(const CameraDesc& camera, Geometry* geometry);

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
