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

}  // namespace fennex::platform
