// The configuration dialogs on Windows, end to end: `configure` runs on one thread and the
// test drives its windows from another by messages, as a user would with the mouse, then
// checks what reached the simulated camera and its configuration file. With FENNEX_SCREENSHOTS
// naming a directory, the list dialog and each page are captured there on the way.
#ifdef _WIN32

#include <windows.h>

#include <commctrl.h>

#include <future>

#include "fixture.h"
#include "ui/resource.h"
#include "win32_windows.h"

namespace fennex::test {
namespace {

constexpr int kApplyButton = 0x3021;  // the property sheet's Apply button

// The entries of a combo box, their item data and the selection.
struct Entries {
    std::vector<std::string> texts;
    std::vector<LRESULT> data;
    int selected;
    LRESULT Selected() const { return selected < 0 ? -1 : data[selected]; }
};
Entries ComboEntries(HWND dialog, int id) {
    Entries entries{{}, {}, static_cast<int>(Send(dialog, id, CB_GETCURSEL))};
    for (int i = 0; i < Send(dialog, id, CB_GETCOUNT); ++i) {
        char text[256] = {};
        Send(dialog, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        entries.texts.emplace_back(text);
        entries.data.push_back(Send(dialog, id, CB_GETITEMDATA, i));
    }
    return entries;
}

// A slider dragged to `position` and let go.
void DragSlider(HWND page, int id, int position, bool release) {
    Send(page, id, TBM_SETPOS, TRUE, position);
    if (!release) return;
    NMHDR header{::GetDlgItem(page, id), static_cast<UINT_PTR>(id),
                 static_cast<UINT>(NM_RELEASEDCAPTURE)};
    ::SendMessageA(page, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&header));
}

class ConfigureDialogs : public ExportsTest {
protected:
    void SetUp() override {
        ExportsTest::SetUp();
        OpenPort(1, kColour);
        fennex::driver::FindOpenPort(kColour.c_str(), &port_);
        ASSERT_NE(port_, nullptr);
    }
    // A test that stopped half-way leaves no dialog behind for `configure` to wait on.
    void TearDown() override {
        for (int i = 0; i < 250 && result_.valid(); ++i) {
            if (result_.wait_for(20ms) == std::future_status::ready) break;
            if (HWND sheet = ::FindWindowA("#32770", "Camera Configuration"))
                ::PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            else if (HWND list = ::FindWindowA("#32770", "Bcam Configuration"))
                ::PostMessageA(list, WM_COMMAND, IDCANCEL, 0);
        }
        ExportsTest::TearDown();
    }
    // Starts `configure` on its own thread; its list dialog once shown.
    HWND StartConfigure() {
        result_ = std::async(std::launch::async, [] { return configure(); });
        return WaitForDialog("Bcam Configuration");
    }
    // Ends the list dialog as the user does with Escape; `configure` must return 1.
    void EndConfigure(HWND list) {
        ::PostMessageA(::GetDlgItem(list, IDC_CAMERA_LIST), WM_KEYDOWN, VK_ESCAPE, 0);
        ASSERT_EQ(result_.wait_for(10s), std::future_status::ready);
        EXPECT_EQ(result_.get(), 1);
    }
    // Opens the sheet on the selected camera; the window once shown. Posted: the click
    // returns only when the sheet has closed.
    HWND OpenSheet(HWND list) {
        ::PostMessageA(::GetDlgItem(list, IDC_CONFIGURE), BM_CLICK, 0, 0);
        return WaitForDialog("Camera Configuration");
    }
    bool ConfigFileExists(const std::string& camera) {
        return std::filesystem::exists(scratch_.Path() / (camera + ".cfg"));
    }

    fennex::driver::GrabPort* port_ = nullptr;
    std::future<int> result_;
};

// A host that loads the library by name and has no resources of its own: the dialog comes
// from the library's module, Configure enabled for an open camera only (MONO, second in the
// sorted list), whose file Close saves. A host whose first call is configure sees the cameras too.
TEST_F(ConfigureDialogs, TheLibraryShowsItsOwnDialogInAnyHost) {
    const std::pair<std::string, bool> hosts[] = {  // with MONO open
        {"..\\fennex-grab.exe\" --quiet --camera MONO --port 2 --configure --path \"" + directory_ +
             "\"", true},
        {"helper-exit.exe\" MONO configure", false},
    };
    for (const auto& [host, monoOpen] : hosts) {
        Process process;
        const std::string command =
            std::string("\"") + platform::HostExecutableDirectory() + "\\" + host;
        ASSERT_TRUE(process.Start(command)) << command;
        HWND list = WaitForDialog("Bcam Configuration");
        ASSERT_NE(list, nullptr) << host;
        EXPECT_EQ(Send(list, IDC_CAMERA_LIST, LB_GETCOUNT), 2);
        EXPECT_EQ(Send(list, IDC_CAMERA_LIST, LB_GETCURSEL), 0);
        for (int i : {1, 0}) {
            SelectEntry(list, IDC_CAMERA_LIST, i, true);
            EXPECT_EQ(Enabled(list, IDC_CONFIGURE), monoOpen && i == 1) << host;
        }
        ::PostMessageA(::GetDlgItem(list, IDOK), BM_CLICK, 0, 0);
        EXPECT_EQ(process.Wait(), 0) << host;
        EXPECT_TRUE(!monoOpen || ConfigFileExists(kMono)) << host;
        EXPECT_FALSE(ConfigFileExists(kColour));
    }
}

TEST_F(ConfigureDialogs, WhatTheUserAppliesReachesTheCameraAndItsFile) {
    // The camera grabs while the dialogs run and change its settings.
    ASSERT_EQ(setProperty(0, 1, "continous", 1), 1);
    HWND list = StartConfigure();
    ASSERT_NE(list, nullptr);
    // The list sorted, the first entry selected, Configure enabled for the open camera only.
    std::vector<std::string> names = sim::CameraNames(), shown;
    std::sort(names.begin(), names.end());
    for (int i = 0; i < Send(list, IDC_CAMERA_LIST, LB_GETCOUNT); ++i) {
        char text[256] = {};
        Send(list, IDC_CAMERA_LIST, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        shown.emplace_back(text);
    }
    EXPECT_EQ(shown, names);
    EXPECT_EQ(Send(list, IDC_CAMERA_LIST, LB_GETCURSEL), 0);
    Screenshot(list, "config-dialog");
    for (int i = static_cast<int>(shown.size()) - 1; i >= 0; --i) {
        SelectEntry(list, IDC_CAMERA_LIST, i, true);
        EXPECT_EQ(Enabled(list, IDC_CONFIGURE), shown[i] == kColour) << shown[i];
    }
    HWND sheet = OpenSheet(list);
    ASSERT_NE(sheet, nullptr);
    EXPECT_FALSE(::IsWindowEnabled(list));  // the sheet is modal over the list
    const int frames = TheCompletions().Count(1);
    EXPECT_TRUE(TheCompletions().WaitBeyond(1, frames)) << "the dialogs stopped the grabs";

    // Info: the camera's own texts, read when first shown.
    HWND page = reinterpret_cast<HWND>(::SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    std::vector<std::string> texts;
    for (int id : {IDC_INFO_MODEL, IDC_INFO_VENDOR, IDC_INFO_NODE_ID, IDC_INFO_DRIVER_VERSION,
                   IDC_INFO_FIRMWARE_VERSION, IDC_INFO_DEVICE_NAME})
        texts.push_back(Text(page, id));
    Bcam::CInfo& info = port_->Info;
    EXPECT_EQ(texts, (std::vector<std::string>{info.ModelName(), info.VendorName(), info.NodeId(),
                                               info.DriverSoftwareVersion(),
                                               info.CameraFirmwareVersion(), kColour}));
    Screenshot(sheet, "page-info");

    // Video Format: the current mode selected; another format, mode and rate applied.
    page = ShowPage(sheet, 1);
    std::uint32_t format, mode, rate;
    port_->GetVideoMode(&format, &mode, &rate);
    const Entries formats = ComboEntries(page, IDC_FORMAT_LIST);
    EXPECT_EQ((std::vector{formats.Selected(), ComboEntries(page, IDC_MODE_LIST).Selected()}),
              (std::vector<LRESULT>{static_cast<LRESULT>(format), static_cast<LRESULT>(mode)}));
    Screenshot(sheet, "page-format");
    EXPECT_FALSE(Enabled(sheet, kApplyButton));
    const auto formatOne = std::find(formats.data.begin(), formats.data.end(), 1);
    ASSERT_NE(formatOne, formats.data.end());
    SelectEntry(page, IDC_FORMAT_LIST, static_cast<int>(formatOne - formats.data.begin()));
    EXPECT_TRUE(Enabled(sheet, kApplyButton));
    const Entries modes = ComboEntries(page, IDC_MODE_LIST);
    ASSERT_GT(modes.texts.size(), 1u);
    SelectEntry(page, IDC_MODE_LIST, static_cast<int>(modes.texts.size()) - 1);
    const Entries rates = ComboEntries(page, IDC_FRAMERATE_LIST);
    ASSERT_FALSE(rates.texts.empty());
    SelectEntry(page, IDC_FRAMERATE_LIST, static_cast<int>(rates.texts.size()) - 1);
    EXPECT_EQ(sim::Camera(kColour).format, format) << "nothing reaches the camera before Apply";
    Send(sheet, kApplyButton, BM_CLICK);
    const sim::CameraDesc applied = sim::Camera(kColour);
    EXPECT_EQ((Words{applied.format, applied.mode, applied.rate}),
              (Words{1, static_cast<std::uint32_t>(modes.data.back()),
                     static_cast<std::uint32_t>(rates.data.back())}));

    // Properties: a slider moved tells its value field and Apply only when let go.
    page = ShowPage(sheet, 2);
    const int low = static_cast<int>(port_->Shutter.Raw.Min());
    const int high = static_cast<int>(port_->Shutter.Raw.Max());
    EXPECT_EQ(Text(page, IDC_SHUTTER_MIN) + " " + Text(page, IDC_SHUTTER_MAX) + " " +
                  Text(page, IDC_SHUTTER_VALUE),
              std::to_string(low) + " " + std::to_string(high) + " " +
                  std::to_string(port_->Shutter.Raw()));
    Screenshot(sheet, "page-properties");
    const int shutter = (low + high) / 3;
    ASSERT_NE(static_cast<std::uint32_t>(shutter), port_->Shutter.Raw());
    const std::string before = Text(page, IDC_SHUTTER_VALUE);
    DragSlider(page, IDC_SHUTTER_SLIDER, shutter, false);
    EXPECT_EQ(Text(page, IDC_SHUTTER_VALUE), before);
    EXPECT_FALSE(Enabled(sheet, kApplyButton));
    DragSlider(page, IDC_SHUTTER_SLIDER, shutter, true);
    EXPECT_EQ(Text(page, IDC_SHUTTER_VALUE), std::to_string(shutter));
    EXPECT_TRUE(Enabled(sheet, kApplyButton));
    Send(sheet, kApplyButton, BM_CLICK);
    EXPECT_EQ(port_->Shutter.Raw(), static_cast<std::uint32_t>(shutter));
    EXPECT_EQ(Send(page, IDC_SHUTTER_SLIDER, TBM_GETPOS), shutter);
    // Moved with the keyboard: neither its value field nor Apply hears of it, but OK writes it.
    const std::string hueText = Text(page, IDC_HUE_VALUE);
    const int hue = static_cast<int>(Send(page, IDC_HUE_SLIDER, TBM_GETPOS)) + 1;
    Send(page, IDC_HUE_SLIDER, WM_KEYDOWN, VK_RIGHT);
    EXPECT_EQ(Send(page, IDC_HUE_SLIDER, TBM_GETPOS), hue);
    EXPECT_EQ(Text(page, IDC_HUE_VALUE), hueText);
    EXPECT_FALSE(Enabled(sheet, kApplyButton));

    // Trigger: switched on, its lists enabled by the rules; OK writes it.
    page = ShowPage(sheet, 3);
    const auto trigger = [&] {  // checked, its lists enabled, Apply enabled
        return std::vector<bool>{Send(page, IDC_TRIGGER_ENABLE, BM_GETCHECK) == BST_CHECKED,
                                 Enabled(page, IDC_TRIGGER_MODE),
                                 Enabled(page, IDC_TRIGGER_POLARITY), Enabled(sheet, kApplyButton)};
    };
    EXPECT_EQ(trigger(), (std::vector<bool>{false, false, false, false}));
    Send(page, IDC_TRIGGER_ENABLE, BM_CLICK);
    EXPECT_EQ(trigger(), (std::vector<bool>{true, true, true, true}));
    const Entries triggerModes = ComboEntries(page, IDC_TRIGGER_MODE);
    ASSERT_EQ(triggerModes.texts.size(), 4u);
    EXPECT_EQ(triggerModes.texts[2], "Trigger Mode 2");
    SelectEntry(page, IDC_TRIGGER_MODE, 2);
    SelectEntry(page, IDC_TRIGGER_POLARITY, 1);
    EXPECT_EQ(ComboEntries(page, IDC_TRIGGER_POLARITY).texts,
              (std::vector<std::string>{"Low Active", "High Active"}));
    Screenshot(sheet, "page-trigger");
    ::PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    ASSERT_TRUE(WaitUntilGone(sheet));
    EXPECT_EQ((Words{port_->Trigger.OnOff(), port_->Trigger.Mode(),
                     static_cast<std::uint32_t>(port_->Trigger.Polarity()), port_->Hue.Raw()}),
              (Words{1, 2, 1, static_cast<std::uint32_t>(hue)}));

    // A fresh sheet: Gain applied, moved again, then Cancel keeps what was applied.
    sheet = OpenSheet(list);
    ASSERT_NE(sheet, nullptr);
    page = ShowPage(sheet, 2);
    const int gain = static_cast<int>(port_->Gain.Raw.Min()) + 1;
    DragSlider(page, IDC_GAIN_SLIDER, gain, true);
    Send(sheet, kApplyButton, BM_CLICK);
    DragSlider(page, IDC_GAIN_SLIDER, gain + 1, true);
    ::PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    ASSERT_TRUE(WaitUntilGone(sheet));
    EXPECT_EQ(port_->Gain.Raw(), static_cast<std::uint32_t>(gain));

    EndConfigure(list);
    EXPECT_FALSE(ConfigFileExists(kMono));
    ASSERT_EQ(setProperty(0, 1, "continous", 0), 1);

    // The file holds what was applied: reopening the port applies it to a changed camera.
    const sim::CameraDesc saved = sim::Camera(kColour);
    closeCVLPort(0, 1);
    const sim::CameraDesc fresh = sim::DefaultCameras()[1];
    sim::EditCamera(kColour, [&](sim::CameraDesc& d) { d = fresh; });
    OpenPort(1, kColour);
    const sim::CameraDesc restored = sim::Camera(kColour);
    EXPECT_EQ((Words{restored.format, restored.mode, restored.rate}),
              (Words{saved.format, saved.mode, saved.rate}));
    for (std::size_t i = 0; i < saved.features.size(); ++i)
        EXPECT_EQ(restored.features[i].control, saved.features[i].control) << "feature " << i;
}

}  // namespace
}  // namespace fennex::test

#endif  // _WIN32
