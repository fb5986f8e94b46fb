#include "platform/last_error.h"

#include <windows.h>

namespace fennex::platform {

std::uint32_t LastError() { return ::GetLastError(); }
void SetLastError(std::uint32_t error) { ::SetLastError(error); }

}  // namespace fennex::platform
