// The library's entry point, for the one thing its static destructors must know: whether the
// process is ending or the library alone is being unloaded.
#include <windows.h>

#include <atomic>

#include "platform/library.h"

namespace {

std::atomic<bool> g_unloading{false};

}  // namespace

// Called before the static destructors run. `reserved` is null for FreeLibrary; when the
// process is ending, it is not, and the other threads are gone already.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && !reserved) g_unloading.store(true);
    return TRUE;
}

namespace fennex::platform {

bool UnloadingFromRunningProcess() { return g_unloading.load(); }

}  // namespace fennex::platform
