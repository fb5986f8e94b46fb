// fennex-view: a live viewer for setting cameras up for a host. It loads the library by name and
// uses only its fifteen host functions, as a host does: the picture of the chosen camera (or of
// every camera, tiled), the library's configuration dialog over the running picture, snapshots
// as PNG files, and the library's messages. Because `configure` saves each open camera's file in
// the settings folder, and the host's `openCVLPort` applies it from there, a viewer started on
// the host's settings folder sets the cameras up for the host.
#include <windows.h>

#include <wincodec.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "host_functions.h"

namespace {

const char kTitle[] = "Fennex Viewer";
const char kClass[] = "FennexView";
const char kUsage[] =
    "fennex-view [options]\n\n"
    "--lib FILE\tthe Fennex library (default: fennex.dll beside this program)\n"
    "--path DIR\tthe settings folder: where the host loads <camera>.cfg from\n"
    "\t\t(default: the current folder)\n"
    "--camera NAME\tshow only this camera (its first four characters choose it)\n"
    "--snapshots DIR\twhere Snapshot writes its PNG files (default: the current folder)";

// Window messages from the library's threads; everything else runs on the window's thread.
constexpr UINT kFrameMessage = WM_APP + 1;  // wParam port, lParam the port's opening
constexpr UINT kLogMessage = WM_APP + 2;
constexpr UINT_PTR kTimer = 1;
constexpr UINT kTimerMs = 250;

enum ControlId : int {
    kCameraChoice = 100,
    kConfigureButton = 101,
    kSnapshotButton = 102,
    kLogPane = 103,
    kStatusLines = 1000,  // + camera index
};

constexpr int kBarHeight = 34, kLogHeight = 120, kStatusHeight = 32, kGap = 6;
// A grab that brought no frame for this long is queued again (the camera may have come back).
constexpr DWORD kStallMs = 2000;
constexpr std::size_t kLogLimit = 60000;  // characters kept in the log pane

struct Camera {
    std::string name;
    int port = 0;  // camera i on port i
    bool shown = false, open = false;
    int width = 0, height = 0, stride = 0;
    std::vector<BYTE> pixels;  // bottom-up rows, as a DIB keeps them
    bool hasFrame = false;
    bool pending = false;  // a grab is queued and its frame not yet read
    DWORD queuedAt = 0, lastFrameAt = 0;
    unsigned long long frames = 0, failed = 0;
    int failedInARow = 0;
    // Frames per second, measured about once a second between the arrivals of frames.
    unsigned long long framesAtMeasure = 0;
    DWORD measuredAt = 0, frameAtMeasure = 0;
    double fps = 0;
    HWND status = nullptr;
    RECT picture{};
};

struct Viewer {
    HostFunctions api{};
    HWND window = nullptr, choice = nullptr, log = nullptr;
    std::vector<Camera> cameras;
    std::string settingsDir, snapshotDir;
    bool inConfigure = false, closeAfterConfigure = false;
    // Bumped on every opening of a port: a frame announced by an earlier opening is not read.
    std::atomic<long> opening[FENNEX_MAX_PORTS] = {};
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } grey{};
    HFONT font = nullptr;
};
Viewer g_viewer;

// The window that hears of frames and messages from the library's threads; none once closed.
std::atomic<HWND> g_target{nullptr};
// Lines from the library's debug procedure, which any thread may call.
std::mutex g_logMutex;
std::deque<std::string> g_logLines;
// The lines that the library sends while this thread's doCVLGrab runs.
thread_local std::string* t_grabMessages = nullptr;

void FENNEX_CALL OnLibraryMessage(const char* text) {
    if (t_grabMessages) {
        *t_grabMessages += text;
        // The viewer asks again on purpose after a while without a frame: no news.
        if (std::strstr(text, "already armed")) return;
    }
    bool first;
    {
        std::lock_guard<std::mutex> lock(g_logMutex);
        first = g_logLines.empty();
        if (g_logLines.size() < 1000) g_logLines.emplace_back(text);
    }
    // One message takes every line that is waiting.
    if (HWND target = g_target; first && target) ::PostMessageA(target, kLogMessage, 0, 0);
}

// The library's grab thread only hands the news over: rows are read on the window's thread.
void FENNEX_CALL OnFrame(int, int port) {
    if (port < 0 || port >= FENNEX_MAX_PORTS) return;
    if (HWND target = g_target)
        ::PostMessageA(target, kFrameMessage, port, g_viewer.opening[port].load());
}

// Appends one line; line breaks inside it (the library's message texts end in one) become
// spaces.
void Log(const std::string& text) {
    std::string crlf;
    for (char c : text) {
        if (c != '\r' && c != '\n')
            crlf += c;
        else if (!crlf.empty() && crlf.back() != ' ')
            crlf += ' ';
    }
    while (!crlf.empty() && crlf.back() == ' ') crlf.pop_back();
    crlf += "\r\n";
    HWND pane = g_viewer.log;
    if (!pane) return;
    if (static_cast<std::size_t>(::GetWindowTextLengthA(pane)) + crlf.size() > kLogLimit) {
        ::SendMessageA(pane, EM_SETSEL, 0, kLogLimit / 2);  // the older half goes
        ::SendMessageA(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
    }
    const int end = ::GetWindowTextLengthA(pane);
    ::SendMessageA(pane, EM_SETSEL, end, end);
    ::SendMessageA(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(crlf.c_str()));
}

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string SystemMessage(DWORD error) {
    char text[512] = {};
    if (!::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                          0, text, sizeof text, nullptr))
        return Printf("error %lu", error);
    std::string s = text;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

std::string FullPath(const std::string& path) {
    char full[MAX_PATH];
    const DWORD n = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n && n < sizeof full ? std::string(full) : path;
}

std::string InFolder(const std::string& folder, const std::string& file) {
    if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder + file;
    return folder + "\\" + file;
}

std::string SettingsFile(const Camera& camera) {
    return InFolder(g_viewer.settingsDir, camera.name + ".cfg");
}

FILETIME WriteTime(const std::string& file) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data)) return FILETIME{};
    return data.ftLastWriteTime;
}

// ---- grabbing ------------------------------------------------------------------------------

void QueueGrab(Camera& camera) {
    std::string said;
    t_grabMessages = &said;
    const bool queued = g_viewer.api.doCVLGrab(0, camera.port) == 1;
    t_grabMessages = nullptr;
    camera.queuedAt = ::GetTickCount();
    if (queued) {
        camera.pending = true;
        return;
    }
    // Refused because the earlier grab is still queued (a camera waiting for its trigger):
    // nothing failed.
    if (camera.pending && said.find("already armed") != std::string::npos) return;
    camera.pending = false;
    ++camera.failed;
    ++camera.failedInARow;
}

void OpenCamera(Camera& camera) {
    ++g_viewer.opening[camera.port];
    int size[2] = {0, 0};
    camera.pending = false;
    camera.failedInARow = 0;
    camera.open = g_viewer.api.openCVLPort(0, camera.port, camera.name.c_str(), size) == 1;
    if (!camera.open) {
        Log(Printf("%s cannot be opened on port %d", camera.name.c_str(), camera.port));
        return;
    }
    if (size[0] != camera.width || size[1] != camera.height) {
        camera.width = std::max(size[0], 0);
        camera.height = std::max(size[1], 0);
        camera.stride = (camera.width + 3) & ~3;
        camera.pixels.assign(static_cast<std::size_t>(camera.stride) * camera.height, 0);
        camera.hasFrame = false;
    }
    g_viewer.api.setCompleteCallback(0, camera.port, OnFrame);
    camera.measuredAt = camera.lastFrameAt = camera.frameAtMeasure = ::GetTickCount();
    camera.framesAtMeasure = camera.frames;
    if (camera.width > 0 && camera.height > 0) QueueGrab(camera);
}

void CloseCamera(Camera& camera) {
    if (!camera.open) return;
    g_viewer.api.closeCVLPort(0, camera.port);
    camera.open = camera.pending = false;
}

void ReadFrame(int port, long opening) {
    if (port < 0 || port >= static_cast<int>(g_viewer.cameras.size())) return;
    Camera& camera = g_viewer.cameras[port];
    if (!camera.open || !camera.pending || opening != g_viewer.opening[port]) return;
    for (int row = 0; row < camera.height; ++row) {
        BYTE* line = camera.pixels.data() +
                     static_cast<std::size_t>(camera.height - 1 - row) * camera.stride;
        g_viewer.api.getCVLGrabRow(0, port, line, row, 0, camera.width - 1);
    }
    camera.pending = false;
    camera.hasFrame = true;
    camera.failedInARow = 0;
    ++camera.frames;
    camera.lastFrameAt = ::GetTickCount();
    ::InvalidateRect(g_viewer.window, &camera.picture, FALSE);
    QueueGrab(camera);
}

void ShowStatus(Camera& camera) {
    const DWORD now = ::GetTickCount();
    if (now - camera.measuredAt >= 1000) {
        const DWORD span = camera.lastFrameAt - camera.frameAtMeasure;
        camera.fps = camera.frames > camera.framesAtMeasure && span > 0
                         ? (camera.frames - camera.framesAtMeasure) * 1000.0 / span
                         : 0;
        camera.framesAtMeasure = camera.frames;
        camera.frameAtMeasure = camera.lastFrameAt;
        camera.measuredAt = now;
    }
    std::string text = Printf("%s (port %d)\n%d x %d   %.1f fps   %llu frames   %llu failed grabs",
                              camera.name.c_str(), camera.port, camera.width, camera.height,
                              camera.fps, camera.frames, camera.failed);
    if (!camera.open)
        text += "   not open";
    else if (camera.failedInARow >= 2)
        text += "   not answering: unplugged?";
    else if (now - camera.lastFrameAt >= kStallMs)
        text += Printf("   no frame for %lu s", (now - camera.lastFrameAt) / 1000);
    char shown[512];
    ::GetWindowTextA(camera.status, shown, sizeof shown);
    if (text != shown) ::SetWindowTextA(camera.status, text.c_str());
}

void DrainLog();

void OnTimer() {
    DrainLog();  // also what a lost post left
    const DWORD now = ::GetTickCount();
    for (Camera& camera : g_viewer.cameras) {
        if (!camera.shown) continue;
        // A refused grab is tried again, and so is one that brought nothing for a while: a
        // camera that was unplugged and has come back grabs again.
        if (camera.open && camera.width > 0 &&
            (!camera.pending ? now - camera.queuedAt >= 500 : now - camera.queuedAt >= kStallMs))
            QueueGrab(camera);
        ShowStatus(camera);
    }
}

// ---- layout and painting -------------------------------------------------------------------

std::vector<Camera*> Shown() {
    std::vector<Camera*> shown;
    for (Camera& c : g_viewer.cameras)
        if (c.shown) shown.push_back(&c);
    return shown;
}

void Layout() {
    RECT client;
    ::GetClientRect(g_viewer.window, &client);
    const int width = client.right, height = client.bottom;
    ::MoveWindow(g_viewer.log, kGap, height - kLogHeight - kGap, width - 2 * kGap, kLogHeight, TRUE);
    const std::vector<Camera*> shown = Shown();
    if (shown.empty()) return;
    // As many columns as give the largest pictures (4:3 assumed for the choice).
    const int areaW = width - kGap, areaH = height - kBarHeight - kLogHeight - kGap;
    const int n = static_cast<int>(shown.size());
    int columns = 1;
    double best = 0;
    for (int c = 1; c <= n; ++c) {
        const int rows = (n + c - 1) / c;
        const double w = areaW / c - kGap, h = areaH / rows - kStatusHeight - kGap;
        const double scale = std::min(w / 4, h / 3);
        if (scale > best) best = scale, columns = c;
    }
    const int rows = (n + columns - 1) / columns;
    const int tileW = areaW / columns, tileH = areaH / rows;
    for (int i = 0; i < n; ++i) {
        Camera& c = *shown[i];
        const int x = kGap + (i % columns) * tileW, y = kBarHeight + (i / columns) * tileH;
        const int w = tileW - kGap, h = tileH - kStatusHeight - kGap - 2;
        RECT r{x, y, x + w, y + h};
        if (c.width > 0 && c.height > 0 && w > 0 && h > 0) {
            // The camera's aspect kept; picture and status line centred in the tile.
            const double scale = std::min(double(w) / c.width, double(h) / c.height);
            const int pw = static_cast<int>(c.width * scale), ph = static_cast<int>(c.height * scale);
            r = {x + (w - pw) / 2, y + (h - ph) / 2, x + (w - pw) / 2 + pw, y + (h - ph) / 2 + ph};
        }
        c.picture = r;
        ::MoveWindow(c.status, x, r.bottom + 2, w, kStatusHeight, TRUE);
    }
    ::InvalidateRect(g_viewer.window, nullptr, FALSE);
}

void Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(g_viewer.window, &ps);
    // Pixels as the host receives them, not smoothed (and the cheapest scaling).
    ::SetStretchBltMode(dc, COLORONCOLOR);
    for (Camera* c : Shown()) {
        const RECT& r = c->picture;
        if (!::RectVisible(dc, &r)) continue;
        if (!c->hasFrame) {
            ::FillRect(dc, &r, static_cast<HBRUSH>(::GetStockObject(DKGRAY_BRUSH)));
        } else {
            g_viewer.grey.header.biWidth = c->stride;
            g_viewer.grey.header.biHeight = c->height;
            // The padding columns of each row are left out of the source rectangle.
            ::StretchDIBits(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, 0, 0, c->width,
                            c->height, c->pixels.data(),
                            reinterpret_cast<const BITMAPINFO*>(&g_viewer.grey), DIB_RGB_COLORS,
                            SRCCOPY);
        }
        ::ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
    }
    RECT client;
    ::GetClientRect(g_viewer.window, &client);
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
    ::EndPaint(g_viewer.window, &ps);
}

// ---- commands ------------------------------------------------------------------------------

// Shows camera `index` alone, or every camera for -1; the others' ports are closed.
void Show(int index) {
    for (Camera& c : g_viewer.cameras) {
        const bool shown = index < 0 || c.port == index;
        if (!shown) CloseCamera(c);
        c.shown = shown;
        ::ShowWindow(c.status, shown ? SW_SHOW : SW_HIDE);
    }
    for (Camera& c : g_viewer.cameras)
        if (c.shown && !c.open) OpenCamera(c);
    Layout();
    for (Camera& c : g_viewer.cameras)
        if (c.shown) ShowStatus(c);
}

void Configure() {
    if (g_viewer.inConfigure) return;
    g_viewer.inConfigure = true;
    std::vector<FILETIME> before;
    for (const Camera& c : g_viewer.cameras) before.push_back(WriteTime(SettingsFile(c)));
    // The library's dialog is modal over the viewer; frames go on arriving meanwhile, as posted
    // messages that the dialog's message loop hands to this window.
    ::EnableWindow(g_viewer.window, FALSE);
    g_viewer.api.configure();
    ::EnableWindow(g_viewer.window, TRUE);
    ::SetForegroundWindow(g_viewer.window);
    g_viewer.inConfigure = false;
    if (g_viewer.closeAfterConfigure) {
        ::DestroyWindow(g_viewer.window);
        return;
    }
    for (std::size_t i = 0; i < g_viewer.cameras.size(); ++i) {
        Camera& c = g_viewer.cameras[i];
        if (!c.open) continue;
        const std::string file = SettingsFile(c);
        const FILETIME after = WriteTime(file);
        if ((after.dwLowDateTime | after.dwHighDateTime) &&
            ::CompareFileTime(&after, &before[i]) != 0)
            Log(Printf("Settings of %s saved in %s: the host applies them when it opens the camera",
                       c.name.c_str(), file.c_str()));
        else
            Log(Printf("Settings of %s were not saved in %s", c.name.c_str(), file.c_str()));
        // A new video mode or Format 7 size shows in the frame size only to an opening.
        CloseCamera(c);
        OpenCamera(c);
    }
    Layout();
}

// Writes 8-bit grey rows as a PNG file with the system's imaging codecs.
template <class T>
struct Com {
    T* p = nullptr;
    ~Com() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
    T** operator&() { return &p; }
};

HRESULT WritePng(const std::string& file, const Camera& camera) {
    Com<IWICImagingFactory> factory;
    HRESULT hr = ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    std::wstring wide(file.size() + 1, L'\0');
    wide.resize(::MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide.data(),
                                      static_cast<int>(wide.size())));
    Com<IWICStream> stream;
    Com<IWICBitmapEncoder> encoder;
    Com<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat8bppGray;
    if (FAILED(hr = factory->CreateStream(&stream)) ||
        FAILED(hr = stream->InitializeFromFilename(wide.c_str(), GENERIC_WRITE)) ||
        FAILED(hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
        FAILED(hr = encoder->Initialize(stream.p, WICBitmapEncoderNoCache)) ||
        FAILED(hr = encoder->CreateNewFrame(&frame, nullptr)) ||
        FAILED(hr = frame->Initialize(nullptr)) ||
        FAILED(hr = frame->SetSize(camera.width, camera.height)) ||
        FAILED(hr = frame->SetPixelFormat(&format)))
        return hr;
    if (!::IsEqualGUID(format, GUID_WICPixelFormat8bppGray)) return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    for (int row = 0; row < camera.height; ++row) {
        BYTE* line = const_cast<BYTE*>(camera.pixels.data()) +
                     static_cast<std::size_t>(camera.height - 1 - row) * camera.stride;
        if (FAILED(hr = frame->WritePixels(1, camera.stride, camera.stride, line))) return hr;
    }
    if (FAILED(hr = frame->Commit())) return hr;
    return encoder->Commit();
}

void Snapshot() {
    for (Camera* c : Shown()) {
        if (!c->hasFrame) {
            Log(Printf("%s has no picture yet", c->name.c_str()));
            continue;
        }
        std::string base = c->name;
        for (char& ch : base)
            if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '-') ch = '_';
        std::string file;
        for (int n = 1; n < 100000; ++n) {
            file = InFolder(g_viewer.snapshotDir, Printf("%s-%04d.png", base.c_str(), n));
            if (::GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES) break;
        }
        const HRESULT hr = WritePng(file, *c);
        if (SUCCEEDED(hr)) {
            Log(Printf("Snapshot of %s written to %s", c->name.c_str(), file.c_str()));
        } else {
            ::DeleteFileA(file.c_str());
            Log(Printf("Snapshot of %s not written to %s: %s", c->name.c_str(), file.c_str(),
                       SystemMessage(static_cast<DWORD>(hr)).c_str()));
        }
    }
}

void DrainLog() {
    std::deque<std::string> lines;
    {
        std::lock_guard<std::mutex> lock(g_logMutex);
        lines.swap(g_logLines);
    }
    for (const std::string& line : lines) Log(line);
}

HWND Control(const char* cls, const char* text, DWORD style, int id) {
    HWND control = ::CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                                     g_viewer.window, reinterpret_cast<HMENU>(INT_PTR{id}),
                                     ::GetModuleHandleA(nullptr), nullptr);
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(g_viewer.font), FALSE);
    return control;
}

void CreateControls() {
    Viewer& v = g_viewer;
    v.choice = Control("COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kCameraChoice);
    ::MoveWindow(v.choice, kGap, 6, 360, 300, FALSE);
    ::MoveWindow(Control("BUTTON", "Configure...", BS_PUSHBUTTON | WS_TABSTOP, kConfigureButton),
                 kGap + 370, 5, 100, 24, FALSE);
    ::MoveWindow(Control("BUTTON", "Snapshot", BS_PUSHBUTTON | WS_TABSTOP, kSnapshotButton),
                 kGap + 476, 5, 100, 24, FALSE);
    v.log = Control("EDIT", "",
                    WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, kLogPane);
    for (std::size_t i = 0; i < v.cameras.size(); ++i)
        v.cameras[i].status = Control("STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_SUNKEN,
                                      kStatusLines + static_cast<int>(i));
    if (v.cameras.size() > 1)
        ::SendMessageA(v.choice, CB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(Printf("All %u cameras", static_cast<unsigned>(v.cameras.size())).c_str()));
    for (const Camera& c : v.cameras)
        ::SendMessageA(v.choice, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(c.name.c_str()));
}

// The camera that the choice's entry stands for; -1 for all.
int ChosenCamera() {
    const int entry = static_cast<int>(::SendMessageA(g_viewer.choice, CB_GETCURSEL, 0, 0));
    return g_viewer.cameras.size() > 1 ? entry - 1 : entry;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kFrameMessage:
        ReadFrame(static_cast<int>(wParam), static_cast<long>(lParam));
        return 0;
    case kLogMessage:
        DrainLog();
        return 0;
    case WM_TIMER:
        OnTimer();
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kConfigureButton: Configure(); break;
        case kSnapshotButton: Snapshot(); break;
        case kCameraChoice:
            if (HIWORD(wParam) == CBN_SELCHANGE) Show(ChosenCamera());
            break;
        }
        return 0;
    case WM_SIZE:
        Layout();
        return 0;
    case WM_GETMINMAXINFO:
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {640, 420};
        return 0;
    case WM_ERASEBKGND:
        return 1;  // painted with the pictures, without flicker
    case WM_PAINT:
        Paint();
        return 0;
    case WM_CLOSE:
        // The library's dialog runs inside Configure on this thread: end once it has returned.
        if (g_viewer.inConfigure) {
            g_viewer.closeAfterConfigure = true;
            return 0;
        }
        ::DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        ::KillTimer(window, kTimer);
        for (Camera& c : g_viewer.cameras) CloseCamera(c);
        g_target = nullptr;
        g_viewer.api.setDebugMsgProc(nullptr);
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

int Fail(const std::string& text) {
    ::MessageBoxA(nullptr, text.c_str(), kTitle, MB_OK | MB_ICONERROR);
    return 1;
}

std::string ProgramFolder() {
    char path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, n < sizeof path ? n : 0);
    const std::size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? "." : folder.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
    std::string library = InFolder(ProgramFolder(), "fennex.dll"), onlyCamera;
    std::string settings = ".", snapshots = ".";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 < argc && (arg == "--lib" || arg == "--path" || arg == "--camera" ||
                             arg == "--snapshots")) {
            (arg == "--lib" ? library : arg == "--path" ? settings
                                      : arg == "--camera" ? onlyCamera : snapshots) = argv[++i];
        } else {
            return Fail("Unknown option " + arg + "\n\n" + kUsage);
        }
    }
    Viewer& v = g_viewer;
    v.settingsDir = FullPath(settings);
    v.snapshotDir = FullPath(snapshots);

    // As a host does: the library by name, its functions by name.
    HMODULE module = ::LoadLibraryExA(library.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module)
        return Fail("Cannot load the Fennex library " + library + ":\n" +
                    SystemMessage(::GetLastError()) + "\n\nName it with --lib FILE.\n\n" + kUsage);
    std::string missing;
    const auto find = [module](const char* name) {
        return reinterpret_cast<void*>(::GetProcAddress(module, name));
    };
    if (!FindHostFunctions(find, v.api, missing))
        return Fail(library + " is not a Fennex library: it lacks " + missing + ".");

    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    v.grey.header = {sizeof(BITMAPINFOHEADER), 0, 0, 1, 8, BI_RGB, 0, 0, 0, 256, 256};
    for (int i = 0; i < 256; ++i)
        v.grey.colours[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    v.font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));

    WNDCLASSA cls{};
    cls.lpfnWndProc = WindowProc;
    cls.hInstance = ::GetModuleHandleA(nullptr);
    cls.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    cls.hIcon = ::LoadIcon(nullptr, IDI_APPLICATION);
    cls.lpszClassName = kClass;
    ::RegisterClassA(&cls);
    v.window = ::CreateWindowExA(0, kClass, kTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                 CW_USEDEFAULT, CW_USEDEFAULT, 980, 700, nullptr, nullptr,
                                 cls.hInstance, nullptr);
    if (!v.window) return Fail("Cannot make the window: " + SystemMessage(::GetLastError()));

    // The host's calling order: debug procedure and settings folder first.
    g_target = v.window;
    v.api.setDebugMsgProc(OnLibraryMessage);
    v.api.setSystemPath(v.settingsDir.c_str());
    const int count = std::min(v.api.getCVLNoOfSupportedCameras(), FENNEX_MAX_PORTS);
    const char** names = v.api.getCVLCameraConfigNames();
    for (int i = 0; i < count; ++i) {
        v.cameras.emplace_back();
        v.cameras.back().name = names[i] ? names[i] : "";
        v.cameras.back().port = i;
    }
    CreateControls();
    Log(Printf("%s: %d camera%s. Settings folder %s: Configure... saves <camera>.cfg there, and a "
               "host started on the same folder applies it.",
               library.c_str(), count, count == 1 ? "" : "s", v.settingsDir.c_str()));
    for (const std::string* folder : {&v.settingsDir, &v.snapshotDir}) {
        const DWORD attributes = ::GetFileAttributesA(folder->c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            Log("The folder " + *folder + " does not exist: nothing can be saved there.");
    }

    int chosen = -1;
    if (!onlyCamera.empty()) {
        for (int i = 0; i < count && chosen < 0; ++i)
            if (std::strncmp(v.cameras[i].name.c_str(), onlyCamera.c_str(), 4) == 0) chosen = i;
        if (chosen < 0) Log("No camera agrees with " + onlyCamera + ": every camera is shown");
    }
    if (count > 0) {
        ::SendMessageA(v.choice, CB_SETCURSEL, count > 1 ? chosen + 1 : 0, 0);
        Show(count > 1 ? chosen : 0);
    } else {
        Log("No camera is attached.");
    }
    ::SetTimer(v.window, kTimer, kTimerMs, nullptr);
    ::ShowWindow(v.window, SW_SHOWNORMAL);
    ::UpdateWindow(v.window);

    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    ::CoUninitialize();
    return 0;
}
