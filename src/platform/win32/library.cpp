#include "platform/library.h"

#include <windows.h>

namespace fennex::platform {

void* LoadLibraryFile(const std::string& file, std::string* error) {
    HMODULE module = ::LoadLibraryA(file.c_str());
    if (!module && error)
        *error = "cannot load " + file + " (error " + std::to_string(::GetLastError()) + ")";
    return module;
}

void* FindFunction(void* library, const char* name) {
    if (!library || !name) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

std::string ProgramDirectory() {
    char path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return {};
    const std::string file(path, n);
    const std::size_t separator = file.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : file.substr(0, separator);
}

}  // namespace fennex::platform
