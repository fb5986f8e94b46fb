#include "platform/library.h"

#include <dlfcn.h>

#include <atomic>

namespace fennex::platform {

namespace {

std::atomic<bool> g_unloading{false};

// dlclose runs the finalisers of the library before its static destructors; exit() runs them
// after, once the static destructors of the whole process are done.
__attribute__((destructor)) void MarkUnloading() { g_unloading.store(true); }

}  // namespace

bool UnloadingFromRunningProcess() { return g_unloading.load(); }

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
