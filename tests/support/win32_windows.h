// Top-level windows found and driven by messages, as a user drives them with the mouse, and
// captured as screenshots: for the tests of the Win32 dialogs and of the viewer.
#pragma once
#ifdef _WIN32

#include <windows.h>

#include <commctrl.h>

#include "fixture.h"

namespace fennex::test {

using namespace std::chrono_literals;

// A top-level dialog with this caption, once it has appeared.
inline HWND WaitForDialog(const char* caption) {
    HWND window = nullptr;
    WaitUntil([&] {
        window = ::FindWindowA("#32770", caption);
        return window && ::IsWindowVisible(window);
    }, 10s);
    return window && ::IsWindowVisible(window) ? window : nullptr;
}

inline bool WaitUntilGone(HWND window) {
    return WaitUntil([&] { return !::IsWindow(window); }, 10s);
}

inline LRESULT Send(HWND dialog, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::SendDlgItemMessageA(dialog, id, message, wParam, lParam);
}

// What a mouse selection does: the control changes, then its parent hears of it.
inline void SelectEntry(HWND dialog, int id, int index, bool listBox = false) {
    Send(dialog, id, listBox ? LB_SETCURSEL : CB_SETCURSEL, index);
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, listBox ? LBN_SELCHANGE : CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

inline HWND ShowPage(HWND sheet, int index) {
    ::SendMessageA(sheet, PSM_SETCURSEL, index, 0);
    return reinterpret_cast<HWND>(::SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

// Captures the window as the screen shows it, into FENNEX_SCREENSHOTS/<name>.bmp.
inline void Screenshot(HWND window, const char* name) {
    const char* directory = std::getenv("FENNEX_SCREENSHOTS");
    if (!directory || !*directory) return;
    DWORD_PTR ignored;
    ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, 2000, &ignored);
    std::this_thread::sleep_for(250ms);  // painting done
    RECT r;
    ::GetWindowRect(window, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    BITMAPINFOHEADER info{sizeof info, width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const int stride = (width * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<std::size_t>(stride) * height);
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(memory, old);
    ::GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    const std::string path = std::string(directory) + "\\" + name + ".bmp";
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof file + sizeof info + pixels.size()), 0,
                          0, sizeof file + sizeof info};
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&info, sizeof info, 1, out);
        std::fwrite(pixels.data(), 1, pixels.size(), out);
        std::fclose(out);
    }
}

}  // namespace fennex::test

#endif  // _WIN32
