// Environment expansion and the Windows directory.
#pragma once

#include <string>

namespace fennex::platform {

// ExpandEnvironmentStringsA: %NAME% replaced by the variable's value; unknown names stay as
// written. The result is cut to `limit` - 1 characters.
std::string ExpandEnvironment(const std::string& text, std::size_t limit = 260);

// GetWindowsDirectoryA. POSIX: $FENNEX_WINDIR, else "C:\\WINDOWS".
std::string WindowsDirectory();

// getenv, empty when unset.
std::string EnvironmentVariable(const char* name);

}  // namespace fennex::platform
