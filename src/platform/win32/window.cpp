#include "platform/window.h"

#include <windows.h>

#include "platform/last_error.h"
#include "platform/win32_errors.h"

namespace fennex::platform {

Hwnd CreateMessageOnlyWindow(const char* name) {
    return ::CreateWindowExA(0, "Message", name, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                             nullptr);
}

bool DestroyWindowHandle(Hwnd window) { return ::DestroyWindow(static_cast<HWND>(window)); }

bool IsWindowHandle(Hwnd window) { return window && ::IsWindow(static_cast<HWND>(window)); }

WindowProc ReplaceWindowProc(Hwnd window, WindowProc proc) {
    if (!proc) {
        SetLastError(err::kInvalidParameter);
        return nullptr;
    }
    // Checked first: not every system reports a gone window as 1400 here.
    if (!IsWindowHandle(window)) {
        SetLastError(err::kInvalidWindowHandle);
        return nullptr;
    }
    // A null previous value is a failure only when the call also left an error.
    ::SetLastError(0);
    const LONG_PTR previous = ::SetWindowLongPtrA(static_cast<HWND>(window), GWLP_WNDPROC,
                                                  reinterpret_cast<LONG_PTR>(proc));
    if (previous == 0 && ::GetLastError() == 0) SetLastError(err::kInvalidWindowHandle);
    return reinterpret_cast<WindowProc>(previous);
}

// The previous value may be a handle rather than a function, which only the system can call.
std::intptr_t CallPreviousWindowProc(WindowProc previous, Hwnd window, std::uint32_t message,
                                     std::uintptr_t wParam, std::intptr_t lParam) {
    if (!previous) return 0;
    return ::CallWindowProcA(reinterpret_cast<WNDPROC>(previous), static_cast<HWND>(window), message,
                             wParam, lParam);
}

std::intptr_t SendMessageTo(Hwnd window, std::uint32_t message, std::uintptr_t wParam,
                            std::intptr_t lParam) {
    return ::SendMessageA(static_cast<HWND>(window), message, wParam, lParam);
}

bool PostMessageTo(Hwnd window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    // The system would take a null window as the calling thread's own queue.
    if (!window) {
        SetLastError(err::kInvalidWindowHandle);
        return false;
    }
    return ::PostMessageA(static_cast<HWND>(window), message, wParam, lParam);
}

void PostQuit(int exitCode) { ::PostQuitMessage(exitCode); }

int RunMessageLoop() {
    MSG msg;
    for (;;) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) return 0;
        if (got == -1) return 1;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

}  // namespace fennex::platform
