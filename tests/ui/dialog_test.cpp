// The camera list dialog and configure, through the in-memory backend, on ports opened as a
// host opens them.

#include "fixture.h"
#include "memory_controls.h"
#include "ui/pages.h"
#include "ui/resource.h"

namespace fennex::test {
namespace {

using Strings = std::vector<std::string>;

// The built-in mono camera under other names, in this enumeration order.
void UseCameras(const Strings& names) {
    std::vector<sim::CameraDesc> cameras;
    for (const std::string& name : names) {
        sim::CameraDesc camera = sim::DefaultCameras()[0];
        camera.name = name;
        cameras.push_back(camera);
    }
    sim::SetCameras(cameras);
    fennex::driver::RebuildCameraTableForTesting();
}

struct ListRow {
    const char* name;
    Strings cameras;
    std::vector<std::pair<int, std::string>> ports;  // opened before configure
    int select;                                      // the entry the user picks (-1: none)
    Strings list;
    bool configurable;
    std::string configured;  // the device the sheet was opened on ("": no sheet)
};

class ListDialog : public ExportsTest, public testing::WithParamInterface<ListRow> {};

TEST_P(ListDialog, ConfiguresOpenCamerasOnly) {
    const ListRow& row = GetParam();
    UseCameras(row.cameras);
    for (const auto& [port, name] : row.ports) OpenPort(port, name);

    MemoryUserInterface ui;
    Strings list;
    bool configurable = false;
    std::string configured;
    ui.onConfigDialog = [&](CConfigDlg& dialog, MemoryDialog& controls) {
        if (row.select >= 0) SelectCamera(dialog, controls, row.select);
        for (int i = 0; i < controls.ListBox(IDC_CAMERA_LIST).GetCount(); ++i)
            list.push_back(controls.ListBox(IDC_CAMERA_LIST).GetText(i));
        configurable = controls.Enabled(IDC_CONFIGURE);
        ClickConfigure(dialog, controls);
    };
    ui.onSheet = [&](MemorySheet& sheet) { configured = sheet.Page(0).Text(IDC_INFO_DEVICE_NAME); };
    EXPECT_EQ(Configure(&ui), 1);
    EXPECT_EQ(list, row.list);
    EXPECT_EQ(configurable, row.configurable);
    EXPECT_EQ(configured, row.configured);
}

INSTANTIATE_TEST_SUITE_P(
    Ui, ListDialog,
    testing::Values(
        ListRow{"SortedFirstSelected", {"ZETA&Z#1", "ALFA&A#2"}, {{0, "ALFA&A#2"}}, -1,
                {"ALFA&A#2", "ZETA&Z#1"}, true, "ALFA&A#2"},
        ListRow{"NotOpenNotConfigurable", {"ZETA&Z#1", "ALFA&A#2"}, {{0, "ALFA&A#2"}}, 1,
                {"ALFA&A#2", "ZETA&Z#1"}, false, ""},
        ListRow{"NoCameras", {}, {}, -1, {}, false, ""},
        // A host reaches the second name through the first camera: both entries configure it.
        ListRow{"SharedFirstFourCharacters", {"SAME&A#1", "SAME&B#2"}, {{3, "SAME&B#2"}}, 1,
                {"SAME&A#1", "SAME&B#2"}, true, "SAME&A#1"}),
    [](const auto& info) { return std::string(info.param.name); });

// What a page applied stays in the camera after Cancel, and configure then saves it: the
// camera reopened from its file comes back in the applied mode.
TEST_F(ExportsTest, ConfigureSavesWhatWasAppliedBeforeCancel) {
    OpenPort(0, kColour);
    OpenPort(1, kMono);
    MemoryUserInterface ui;
    ui.onConfigDialog = [](CConfigDlg& dialog, MemoryDialog& controls) {
        ASSERT_EQ(controls.ListBox(IDC_CAMERA_LIST).GetText(0), kColour);
        ClickConfigure(dialog, controls);
    };
    ui.onSheet = [](MemorySheet& sheet) {
        sheet.Show(1);
        sheet.Select(IDC_FORMAT_LIST, 1);  // Format 1, 800 x 600, YUV(4:2:2)
        sheet.Apply();
        sheet.Show(2);
        sheet.Drag(IDC_GAIN_SLIDER, 300);
        sheet.Cancel();
    };
    EXPECT_EQ(Configure(&ui), 1);
    EXPECT_EQ(ui.sheetsRun, 1);
    EXPECT_EQ(sim::Camera(kColour).format, 1u);
    EXPECT_EQ(sim::Camera(kColour).feature(Bcam::driver::kGain).control & 0xFFF, 0u);

    closeCVLPort(0, 0);
    sim::SetVideoMode(kColour, 0, 1);
    OpenPort(0, kColour);
    EXPECT_EQ(sim::Camera(kColour).format, 1u);
    EXPECT_EQ(sim::Camera(kColour).mode, 0u);
}

// A failing enumeration ends the dialog as Close does, with a report; the files are saved.
TEST_F(ExportsTest, ConfigureWithoutACameraListStillSaves) {
    OpenPort(0, kMono);
    TheMessages().Take();
    sim::InjectFault(sim::Fault(sim::kOpEnumInterface, 31));
    MemoryUserInterface ui;
    bool shown = false;
    ui.onConfigDialog = [&](CConfigDlg&, MemoryDialog&) { shown = true; };
    EXPECT_EQ(Configure(&ui), 1);
    EXPECT_FALSE(shown);
    EXPECT_TRUE(TheMessages().Contains("ERROR: "));
    EXPECT_TRUE(std::filesystem::exists(
        fennex::driver::GrabPort::SettingsPath(directory_.c_str(), kMono.c_str())));
}

}  // namespace
}  // namespace fennex::test
