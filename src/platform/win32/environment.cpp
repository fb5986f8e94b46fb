#include "platform/environment.h"

#include <windows.h>

#include <vector>

namespace fennex::platform {

std::string ExpandEnvironment(const std::string& text, std::size_t limit) {
    // Expanded in full first, then cut, so that the cut is the same as everywhere else.
    const DWORD needed = ::ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    if (needed == 0) return {};
    std::vector<char> buffer(needed + 1, '\0');
    if (::ExpandEnvironmentStringsA(text.c_str(), buffer.data(), needed + 1) == 0) return {};
    std::string out(buffer.data());
    if (out.size() >= limit) out.resize(limit == 0 ? 0 : limit - 1);
    return out;
}

std::string WindowsDirectory() {
    char path[MAX_PATH + 1];
    const UINT n = ::GetWindowsDirectoryA(path, sizeof path);
    return n > 0 && n < sizeof path ? std::string(path, n) : std::string();
}

std::string EnvironmentVariable(const char* name) {
    if (!name) return {};
    const DWORD needed = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (needed == 0) return {};
    std::vector<char> buffer(needed + 1, '\0');
    const DWORD n = ::GetEnvironmentVariableA(name, buffer.data(), needed + 1);
    return n > 0 && n <= needed ? std::string(buffer.data(), n) : std::string();
}

}  // namespace fennex::platform
