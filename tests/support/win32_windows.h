// Windows found and driven by messages, as a user drives them with the mouse, captured as
// screenshots, and programs started as processes of their own: for the tests of the Win32
// dialogs and of the viewer.
#pragma once
#ifdef _WIN32

#include <windows.h>

#include <commctrl.h>

#include "fixture.h"

namespace fennex::test {

using namespace std::chrono_literals;

// A visible top-level window of this class and caption (null: any), once it has appeared.
inline HWND WaitForWindow(const char* className, const char* caption) {
    HWND window = nullptr;
    const bool shown = WaitUntil([&] {
        window = ::FindWindowA(className, caption);
        return window && ::IsWindowVisible(window);
    }, 10s);
    return shown ? window : nullptr;
}
inline HWND WaitForDialog(const char* caption) { return WaitForWindow("#32770", caption); }

inline bool WaitUntilGone(HWND window) {
    return WaitUntil([&] { return !::IsWindow(window); }, 10s);
}

inline LRESULT Send(HWND dialog, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::SendDlgItemMessageA(dialog, id, message, wParam, lParam);
}

// Asked of the control itself: GetWindowText does not ask a window of another process.
inline std::string Text(HWND dialog, int id) {
    std::vector<char> text(Send(dialog, id, WM_GETTEXTLENGTH) + 1);
    Send(dialog, id, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

inline bool Enabled(HWND dialog, int id) { return ::IsWindowEnabled(::GetDlgItem(dialog, id)); }

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

// A program of its own, ended in any case: a failed check must not leave a window behind.
struct Process {
    PROCESS_INFORMATION info{};
    bool Start(std::string command) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        return ::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &startup, &info);
    }
    // Its exit status once it has ended, within 10 s; -1 when it has not.
    long Wait() {
        DWORD status = 0;
        if (::WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0) return -1;
        return ::GetExitCodeProcess(info.hProcess, &status) ? static_cast<long>(status) : -1;
    }
    ~Process() {
        if (!info.hProcess) return;
        ::TerminateProcess(info.hProcess, 1);
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
    }
};

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
    std::vector<char> pixels(static_cast<std::size_t>((width * 3 + 3) & ~3) * height);
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
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof file + sizeof info + pixels.size()), 0,
                          0, sizeof file + sizeof info};
    if (FILE* out = std::fopen((std::string(directory) + "\\" + name + ".bmp").c_str(), "wb")) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&info, sizeof info, 1, out);
        std::fwrite(pixels.data(), 1, pixels.size(), out);
        std::fclose(out);
    }
}

}  // namespace fennex::test

#endif  // _WIN32
