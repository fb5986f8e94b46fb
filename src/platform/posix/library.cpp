#include "platform/library.h"

#include <dlfcn.h>

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

}  // namespace fennex::platform
