// The calling thread's last error, as Win32 keeps it (GetLastError / SetLastError).
#pragma once

#include <cstdint>

namespace fennex::platform {

std::uint32_t LastError();
void SetLastError(std::uint32_t error);

}  // namespace fennex::platform
