// Loads the library by name, opens a camera, grabs a frame, closes it and unloads the library,
// twice over, and then once more while the callback of that frame, still running, calls the
// library during the unload; says whether each unload was prompt and really took the library
// out of the process.
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "fennex/fennex.h"

namespace {

using OpenFn = int (*)(int, int, const char*, int*);

std::atomic<int> g_frames{0};
std::atomic<bool> g_callIn{false};
std::atomic<bool> g_unloading{false};
OpenFn g_open = nullptr;
const char* g_camera = "";

void FENNEX_CALL OnFrame(int, int) {
    ++g_frames;
    if (!g_callIn) return;
    while (!g_unloading.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the unload is under way
    int size[2] = {0, 0};
    g_open(0, 1, g_camera, size);
}

template <typename F>
F Find(void* library, const char* name) {
    return reinterpret_cast<F>(dlsym(library, name));
}

// One load, use and unload; false when something did not work.
bool Round(const char* path, const char* systemPath, bool callIn) {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::printf("cannot load: %s\n", dlerror());
        return false;
    }
    auto setPath = Find<int (*)(const char*)>(library, "setSystemPath");
    g_open = Find<OpenFn>(library, "openCVLPort");
    auto callback = Find<int (*)(int, int, CompleteCallback)>(library, "setCompleteCallback");
    auto grab = Find<int (*)(int, int)>(library, "doCVLGrab");
    auto close = Find<void (*)(int, int)>(library, "closeCVLPort");
    int size[2] = {0, 0};
    const int before = g_frames.load();
    g_callIn = callIn;
    g_unloading = false;
    const bool used = setPath && g_open && callback && grab && close && setPath(systemPath) &&
                      g_open(0, 0, g_camera, size) && callback(0, 0, OnFrame) && grab(0, 0);
    for (int i = 0; used && i < 500 && g_frames.load() == before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (close) close(0, 0);
    const bool grabbed = g_frames.load() > before;
    g_unloading = true;
    const auto unloadStarted = std::chrono::steady_clock::now();
    dlclose(library);
    const bool prompt = std::chrono::steady_clock::now() - unloadStarted < std::chrono::seconds(1);
    const bool unloaded = dlopen(path, RTLD_NOW | RTLD_NOLOAD) == nullptr;
    std::printf("%s %s%s\n", grabbed ? "grabbed" : "no-frame", unloaded ? "unloaded" : "still-loaded",
                prompt ? "" : " slowly");
    return grabbed && unloaded && prompt;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: helper-unload LIBRARY CAMERA SYSTEM-PATH\n");
        return 2;
    }
    g_camera = argv[2];
    bool ok = true;
    for (const bool callIn : {false, false, true}) ok = Round(argv[1], argv[3], callIn) && ok;
    std::fflush(stdout);
    return ok ? 0 : 1;
}
