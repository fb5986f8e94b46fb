// fennex-view as a user drives it: started as a process of its own on the simulated cameras at
// their own pace, its window and the library's dialog over it driven by messages. With
// FENNEX_SCREENSHOTS naming a directory, the viewer's window is captured there, with the
// library's dialog over it (viewer-configure.bmp) and alone (viewer.bmp).
#ifdef _WIN32

#include <windows.h>

#include <commctrl.h>
#include <wincodec.h>

#include "fixture.h"
#include "ui/resource.h"
#include "win32_windows.h"

namespace fennex::test {
namespace {

// The viewer's controls.
constexpr int kCameraChoice = 100, kConfigureButton = 101, kSnapshotButton = 102, kLogPane = 103,
              kStatusLines = 1000;

// A camera's status: "<name> (port N)", then "W x H   F fps   N frames   N failed grabs ...".
struct Status {
    int width = 0, height = 0;
    double fps = 0;
    unsigned frames = 0, failed = 0;
    std::string text;
};
Status StatusOf(HWND viewer, int camera) {
    Status s;
    s.text = Text(viewer, kStatusLines + camera);
    if (const char* rest = std::strstr(s.text.c_str(), ")"))
        std::sscanf(rest + 1, " %d x %d %lf fps %u frames %u failed", &s.width, &s.height, &s.fps,
                    &s.frames, &s.failed);
    return s;
}

bool PortHeld(int port) {
    char name[64];
    std::snprintf(name, sizeof name, "QUENTARO AS : MUXNAME MUX.0.%02d", port);
    HANDLE mutex = ::OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (mutex) ::CloseHandle(mutex);
    return mutex != nullptr;
}

// A PNG file as 8-bit grey rows, read with the system's codecs.
struct Picture {
    unsigned width = 0, height = 0;
    std::vector<BYTE> pixels;
    double Mean() const {
        double sum = 0;
        for (BYTE p : pixels) sum += p;
        return pixels.empty() ? 0 : sum / pixels.size();
    }
};
Picture ReadPng(const std::filesystem::path& file) {
    Picture picture;
    IWICImagingFactory* factory = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICBitmapSource* grey = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))) &&
        SUCCEEDED(factory->CreateDecoderFromFilename(file.wstring().c_str(), nullptr, GENERIC_READ,
                                                     WICDecodeMetadataCacheOnDemand, &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) &&
        SUCCEEDED(::WICConvertBitmapSource(GUID_WICPixelFormat8bppGray, frame, &grey)) &&
        SUCCEEDED(grey->GetSize(&picture.width, &picture.height))) {
        picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height);
        const auto size = static_cast<UINT>(picture.pixels.size());
        if (FAILED(grey->CopyPixels(nullptr, picture.width, size, picture.pixels.data())))
            picture = {};
    }
    for (IUnknown* object : std::initializer_list<IUnknown*>{grey, frame, decoder, factory})
        if (object) object->Release();
    return picture;
}

class Viewer : public ExportsTest {
protected:
    void SetUp() override {
        ExportsTest::SetUp();
        com_ = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    }
    void TearDown() override {
        if (SUCCEEDED(com_)) ::CoUninitialize();
        ExportsTest::TearDown();
    }
    // The viewer on every camera, at the cameras' own pace whatever an earlier test of this
    // process chose, with this test's directory for settings and snapshots; its window.
    HWND Start() {
        const std::string command = std::string("\"") + platform::HostExecutableDirectory() +
                                    "\\..\\fennex-view.exe\" --path \"" + directory_ +
                                    "\" --snapshots \"" + directory_ + "\"";
        {
            ScopedEnvironment paced("FENNEX_SIM_PACE", std::nullopt);
            EXPECT_TRUE(process_.Start(command)) << command;
        }
        return WaitForWindow("FennexView", nullptr);
    }
    // Writes a snapshot of every shown camera; the picture of camera `name` that it wrote,
    // once the viewer says it is complete.
    Picture Snapshot(HWND viewer, std::string name, int number) {
        for (char& c : name)
            if (c == '&' || c == '#') c = '_';
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "-%04d.png", number);
        const std::filesystem::path path = scratch_.Path() / (name + suffix);
        ::PostMessageA(viewer, WM_COMMAND, kSnapshotButton, 0);
        EXPECT_TRUE(WaitUntil([&] {
            return Text(viewer, kLogPane).find(path.filename().string()) != std::string::npos;
        }, 10s)) << path;
        return ReadPng(path);
    }
    // A screenshot once both cameras show a measured rate.
    void ShowWithRates(HWND viewer, const char* name) {
        if (!std::getenv("FENNEX_SCREENSHOTS")) return;
        WaitUntil([&] { return StatusOf(viewer, 0).fps > 0 && StatusOf(viewer, 1).fps > 0; }, 10s);
        Screenshot(viewer, name);
    }
    bool FramesGoOn(HWND viewer, int camera) {
        const unsigned seen = StatusOf(viewer, camera).frames;
        return WaitUntil([&] { return StatusOf(viewer, camera).frames >= seen + 3; }, 10s);
    }
    // The list dialog's Configure on entry `entry`; the sheet once shown on page `page`.
    HWND ConfigurePage(HWND list, int entry, int page, HWND* sheet) {
        SelectEntry(list, IDC_CAMERA_LIST, entry, true);
        ::PostMessageA(::GetDlgItem(list, IDC_CONFIGURE), BM_CLICK, 0, 0);
        *sheet = WaitForDialog("Camera Configuration");
        return *sheet ? ShowPage(*sheet, page) : nullptr;
    }

    Process process_;
    HRESULT com_ = E_FAIL;
};

TEST_F(Viewer, ShowsEveryCameraFollowsItsDialogAndClosesItsPorts) {
    HWND viewer = Start();
    ASSERT_NE(viewer, nullptr);
    // The library lists the mono camera first: camera 0 on port 0, the colour one on port 1.
    for (int camera : {0, 1}) {
        EXPECT_TRUE(FramesGoOn(viewer, camera)) << StatusOf(viewer, camera).text;
        EXPECT_EQ(StatusOf(viewer, camera).failed, 0u) << StatusOf(viewer, camera).text;
        EXPECT_TRUE(PortHeld(camera)) << camera;
    }
    const Picture before = Snapshot(viewer, kMono, 1);
    ASSERT_EQ(before.width, 640u);
    ASSERT_EQ(before.height, 480u);

    // Gain raised in the library's dialog, which runs modal over the running picture. The list
    // is sorted: the colour camera, then the mono one.
    ::PostMessageA(viewer, WM_COMMAND, kConfigureButton, 0);
    HWND list = WaitForDialog("Bcam Configuration"), sheet = nullptr;
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(::IsWindowEnabled(viewer));
    HWND page = ConfigurePage(list, 1, 2, &sheet);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(FramesGoOn(viewer, 0)) << "the dialog stopped the picture";
    const int gain = static_cast<int>(Send(page, IDC_GAIN_SLIDER, TBM_GETRANGEMAX));
    Send(page, IDC_GAIN_SLIDER, TBM_SETPOS, TRUE, gain);
    ::SendMessageA(sheet, PSM_APPLY, 0, 0);
    ASSERT_TRUE(FramesGoOn(viewer, 0));  // frames painted since
    EXPECT_GT(Snapshot(viewer, kMono, 2).Mean(), before.Mean() + 20) << "Gain " << gain;
    ShowWithRates(viewer, "viewer-configure");
    ::PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    ASSERT_TRUE(WaitUntilGone(sheet));
    // The colour camera in another video format: a frame of another size.
    page = ConfigurePage(list, 0, 1, &sheet);
    ASSERT_NE(page, nullptr);
    const int formats = static_cast<int>(Send(page, IDC_FORMAT_LIST, CB_GETCOUNT));
    int entry = 0;
    while (entry < formats && Send(page, IDC_FORMAT_LIST, CB_GETITEMDATA, entry) != 1) ++entry;
    ASSERT_LT(entry, formats);
    SelectEntry(page, IDC_FORMAT_LIST, entry);
    SelectEntry(page, IDC_MODE_LIST, 0);
    SelectEntry(page, IDC_FRAMERATE_LIST,
                static_cast<int>(Send(page, IDC_FRAMERATE_LIST, CB_GETCOUNT)) - 1);
    ::PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    ASSERT_TRUE(WaitUntilGone(sheet));
    ::PostMessageA(list, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntilGone(list));

    // The viewer says where the host will find the settings, and shows the camera with them.
    EXPECT_TRUE(WaitUntil([&] {
        const std::string log = Text(viewer, kLogPane);
        return log.find("Settings of " + kMono + " saved in ") != std::string::npos &&
               log.find(kMono + ".cfg") != std::string::npos;
    }, 10s)) << Text(viewer, kLogPane);
    EXPECT_TRUE(::IsWindowEnabled(viewer));
    for (int camera : {0, 1}) EXPECT_TRUE(FramesGoOn(viewer, camera)) << camera;
    const Picture after = Snapshot(viewer, kMono, 3);
    ShowWithRates(viewer, "viewer");

    // A host on the same folder opens the cameras as the viewer set them up: the colour camera
    // with the viewer's new frame size, the mono one with its Gain. The snapshot is a frame as
    // the host grabs it; the picture moves by one row per frame and repeats every 256 rows, so
    // the two agree up to that.
    int size[2];
    OpenPort(6, kColour, size);
    const Status colour = StatusOf(viewer, 1);
    EXPECT_NE(size[0], 640);
    EXPECT_EQ(colour.width, size[0]) << colour.text;
    EXPECT_EQ(colour.height, size[1]) << colour.text;
    OpenPort(5, kMono, size);
    const std::vector<std::uint8_t> grabbed = GrabFrame(5, size[0], size[1]);
    ASSERT_EQ(after.pixels.size(), grabbed.size());
    const auto row = [&](const std::vector<std::uint8_t>& frame, unsigned y) {
        return std::vector<std::uint8_t>(frame.begin() + y * after.width,
                                         frame.begin() + (y + 1) * after.width);
    };
    unsigned shift = 0;
    while (shift < 256 && row(after.pixels, 0) != row(grabbed, shift)) ++shift;
    ASSERT_LT(shift, 256u) << "the snapshot's first row is no row of the grabbed frame";
    for (unsigned y = 0; y < after.height; ++y)
        ASSERT_EQ(row(after.pixels, y), row(grabbed, (y + shift) % 256)) << "row " << y;

    // One camera chosen: the other one's port closes. Closing the window ends the viewer, its
    // ports closed before the library goes.
    SelectEntry(viewer, kCameraChoice, 1);  // after "All 2 cameras": camera 0
    EXPECT_TRUE(PortHeld(0));
    EXPECT_FALSE(PortHeld(1));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(viewer, kStatusLines + 1)));
    EXPECT_TRUE(FramesGoOn(viewer, 0));
    ::PostMessageA(viewer, WM_CLOSE, 0, 0);
    EXPECT_EQ(process_.Wait(), 0);
}

}  // namespace
}  // namespace fennex::test

#endif  // _WIN32
