// Loads the library by name, opens a camera, grabs a frame, closes it and unloads the library,
// twice over; says whether each unload really took the library out of the process.
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "fennex/fennex.h"

namespace {

std::atomic<int> g_frames{0};
void FENNEX_CALL OnFrame(int, int) { ++g_frames; }

template <typename F>
F Find(void* library, const char* name) {
    return reinterpret_cast<F>(dlsym(library, name));
}

// One load, use and unload; false when something did not work.
bool Round(const char* path, const char* camera, const char* systemPath) {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::printf("cannot load: %s\n", dlerror());
        return false;
    }
    auto setPath = Find<int (*)(const char*)>(library, "setSystemPath");
    auto open = Find<int (*)(int, int, const char*, int*)>(library, "openCVLPort");
    auto callback = Find<int (*)(int, int, CompleteCallback)>(library, "setCompleteCallback");
    auto grab = Find<int (*)(int, int)>(library, "doCVLGrab");
    auto close = Find<void (*)(int, int)>(library, "closeCVLPort");
    int size[2] = {0, 0};
    const int before = g_frames.load();
    const bool used = setPath && open && callback && grab && close && setPath(systemPath) &&
                      open(0, 0, camera, size) && callback(0, 0, OnFrame) && grab(0, 0);
    for (int i = 0; used && i < 500 && g_frames.load() == before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (close) close(0, 0);
    const bool grabbed = g_frames.load() > before;
    dlclose(library);
    const bool unloaded = dlopen(path, RTLD_NOW | RTLD_NOLOAD) == nullptr;
    std::printf("%s %s\n", grabbed ? "grabbed" : "no-frame", unloaded ? "unloaded" : "still-loaded");
    return grabbed && unloaded;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: helper-unload LIBRARY CAMERA SYSTEM-PATH\n");
        return 2;
    }
    bool ok = true;
    for (int round = 0; round < 2; ++round) ok = Round(argv[1], argv[2], argv[3]) && ok;
    std::fflush(stdout);
    return ok ? 0 : 1;
}
