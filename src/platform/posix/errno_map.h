// errno values as the Win32 error numbers the rest of the library speaks.
#pragma once

#include <cstdint>

namespace fennex::platform::posix {

std::uint32_t Win32ErrorFromErrno(int error);
// Sets LastError() from errno.
void SetLastErrorFromErrno();

}  // namespace fennex::platform::posix
