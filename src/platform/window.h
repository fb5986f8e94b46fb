// Message-only windows and their message loop, for device-change broadcasts.
// POSIX: our own windows, each a message queue served by the thread that created it.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace fennex::platform {

using Hwnd = void*;
using WindowProc = std::intptr_t(FENNEX_CALLBACK*)(Hwnd window, std::uint32_t message,
                                                   std::uintptr_t wParam, std::intptr_t lParam);

inline constexpr std::uint32_t kWmDestroy = 0x0002;
inline constexpr std::uint32_t kWmClose = 0x0010;
inline constexpr std::uint32_t kWmDeviceChange = 0x0219;

// CreateWindowExA(0, "Message", name, 0, 0, 0, 0, 0, HWND_MESSAGE, ...): owned by the calling
// thread. Null on failure.
Hwnd CreateMessageOnlyWindow(const char* name);
bool DestroyWindowHandle(Hwnd window);
bool IsWindowHandle(Hwnd window);
// SetWindowLongPtrA(GWLP_WNDPROC): the previous procedure, null with LastError() on failure.
WindowProc ReplaceWindowProc(Hwnd window, WindowProc proc);
std::intptr_t CallPreviousWindowProc(WindowProc previous, Hwnd window, std::uint32_t message,
                                     std::uintptr_t wParam, std::intptr_t lParam);
// SendMessageA: runs the procedure on the window's thread and waits for it.
std::intptr_t SendMessageTo(Hwnd window, std::uint32_t message, std::uintptr_t wParam,
                            std::intptr_t lParam);
bool PostMessageTo(Hwnd window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
// PostQuitMessage on the calling thread.
void PostQuit(int exitCode);
// GetMessage / DispatchMessage for all windows of the calling thread: 0 after the quit message,
// 1 on an error.
int RunMessageLoop();

}  // namespace fennex::platform
