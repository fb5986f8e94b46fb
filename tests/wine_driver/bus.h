// The test driver's bus device, "\\.\FennexSimBus": its requests plug and unplug the simulated
// cameras. Input: a camera's device name, NUL-terminated (none for the reset).
#pragma once

#include <cstdint>

namespace wine_driver {

inline constexpr std::uint32_t kPlugCamera = 0x80106004;    // a default camera comes back
inline constexpr std::uint32_t kUnplugCamera = 0x80106008;  // the camera is gone at once
inline constexpr std::uint32_t kResetCameras = 0x8010600C;  // the default cameras as built

}  // namespace wine_driver
