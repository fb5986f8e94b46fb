#include "platform/library.h"

#include <dlfcn.h>
#include <unistd.h>

namespace fennex::platform {

void* LoadLibraryFile(const std::string& file, std::string* error) {
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library && error) {
        const char* why = dlerror();
        *error = "cannot load " + file + ": " + (why ? why : "unknown error");
    }
    return library;
}

void* FindFunction(void* library, const char* name) {
    if (!library || !name) return nullptr;
    return dlsym(library, name);
}

std::string ProgramDirectory() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof path) return {};
    const std::string file(path, static_cast<std::size_t>(n));
    const std::size_t separator = file.rfind('/');
    return separator == std::string::npos ? std::string() : file.substr(0, separator);
}

}  // namespace fennex::platform
