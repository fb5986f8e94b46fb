// The camera's registers as the driver's requests read and write them: the size every request
// takes, and one place per request family (features, Format 7, the rest in registers.cpp).
// Pure functions over a CameraDesc; the caller holds whatever lock guards it.
#pragma once

#include <cstdint>
#include <initializer_list>

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
                            const std::uint32_t* in, std::uint8_t* out);

// The input size a control code takes and the least output it needs; false for an unknown code.
// The grab's output is the frame and is checked against the frame size instead (minOut 0).
bool RequestSizes(std::uint32_t code, std::uint32_t* inSize, std::uint32_t* minOut);

// The families AnswerRegisterRequest hands on: feature inquiry, get and set; the Format 7
// requests.
bool IsFeatureCode(std::uint32_t code);
Reply AnswerFeature(CameraDesc& camera, std::uint32_t code, const std::uint32_t* in, std::uint8_t* out);
Reply AnswerFormat7(CameraDesc& camera, std::uint32_t code, const std::uint32_t* in, std::uint8_t* out);

// A reply of these quadlets, written to `out`.
Reply Words(std::uint8_t* out, std::initializer_list<std::uint32_t> words);
inline Reply Failed(std::uint32_t error) { return {error, 0}; }

}  // namespace sim::detail
