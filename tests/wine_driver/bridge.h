// Between the kernel side of the test driver (DDK headers) and the simulated cameras (the
// library's own headers): the two cannot share a translation unit.
#pragma once

#include <cstdint>

namespace wine_driver {

// The bus's own control codes, sent to "\\.\FennexSimBus" (a device that is no camera).
// Input: a camera's device name, NUL-terminated.
inline constexpr std::uint32_t kPlugCamera = 0x80106004;    // a default camera comes back
inline constexpr std::uint32_t kUnplugCamera = 0x80106008;  // the camera is gone at once
inline constexpr std::uint32_t kResetCameras = 0x8010600C;  // the default cameras as built
// Hold a camera's grabs (input: 4 bytes 0 or 1, then the name), so that they stay pending.
inline constexpr std::uint32_t kHoldGrabs = 0x80106010;

struct Session;

// The present cameras' device names, in enumeration order, NUL-separated with a final NUL.
// Returns the length needed; writes at most `size` bytes.
std::uint32_t CameraNames(char* buffer, std::uint32_t size);

// A handle on the simulated camera; null (with the Win32 error in *error) when it cannot open.
Session* Open(const char* cameraName, std::uint32_t* error);
// Ends the handle's pending requests (each completed through CompleteRequest) and closes it.
void Close(Session* session);
// Hands one request to the camera. Its completion, now or later, comes through
// CompleteRequest with `request` unchanged.
void Submit(Session* session, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
            std::uint32_t outSize, void* request);
// Ends every pending request of the handle with 995.
void CancelAll(Session* session);

// A request of the bus device; returns the Win32 error.
std::uint32_t BusRequest(std::uint32_t code, const void* in, std::uint32_t inSize);

// Defined by the kernel side.
void CompleteRequest(void* request, std::uint32_t error, std::uint32_t bytes);

}  // namespace wine_driver
