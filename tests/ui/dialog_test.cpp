// The camera list dialog and configure, through the in-memory backend, on ports opened as a
// host opens them.
#include "memory_controls.h"

namespace fennex::test {
namespace {

struct ListRow {
    const char* name;
    Strings cameras;  // the built-in mono camera under these names, in enumeration order
    std::vector<std::pair<int, std::string>> ports;  // opened before configure
    std::uint32_t fault;  // the enumeration fails with this error
    int select;           // the entry the user picks (-1: none)
    // The entries, whether Configure is enabled, then the device of the sheet that it opened
    // and the dialogs of its pages; "" when the dialog did not show.
    std::string shown;
};

class ListDialog : public ExportsTest, public testing::WithParamInterface<ListRow> {};

TEST_P(ListDialog, ConfiguresOpenCamerasOnlyThenSavesTheirFiles) {
    const ListRow& row = GetParam();
    SetMonoCameras(row.cameras);
    fennex::driver::RebuildCameraTableForTesting();
    for (const auto& [port, name] : row.ports) OpenPort(port, name);
    TheMessages().Take();
    if (row.fault) sim::InjectFault(sim::Fault(sim::kOpEnumInterface, row.fault));
    MemoryUserInterface ui;
    std::string shown;
    ui.onConfigDialog = [&](CConfigDlg& dialog, MemoryDialog& controls) {
        if (row.select >= 0) {
            controls[IDC_CAMERA_LIST].SetCurSel(row.select);
            dialog.Notify(IDC_CAMERA_LIST, Notification::SelChange);
        }
        shown = Joined(controls[IDC_CAMERA_LIST].Entries()) +
                (controls.Enabled(IDC_CONFIGURE) ? " on" : " off");
        dialog.Notify(IDC_CONFIGURE, Notification::Clicked);
    };
    ui.onSheet = [&](MemorySheet& sheet) {
        shown.append(" ").append(sheet.Page(0).Text(IDC_INFO_DEVICE_NAME));
        for (int page = 0; page < 4; ++page)
            shown.append(" ").append(std::to_string(sheet.Show(page).dialogId));
    };
    EXPECT_EQ(Configure(&ui), 1);
    EXPECT_EQ(shown, row.shown);
    // A failing enumeration ends the dialog as Close does, with a report; the files are saved.
    EXPECT_EQ(TheMessages().Contains("ERROR: "), row.fault != 0);
    for (const auto& [port, name] : row.ports) {
        const std::string file =
            fennex::driver::GrabPort::SettingsPath(directory_.c_str(), name.c_str());
        EXPECT_TRUE(!row.fault || std::filesystem::exists(file)) << file;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ui, ListDialog,
    testing::Values(
        ListRow{"SortedFirstSelected", {"ZETA&Z#1", "ALFA&A#2"}, {{0, "ALFA&A#2"}}, 0, -1,
                "ALFA&A#2|ZETA&Z#1 on ALFA&A#2 5006 102 5005 5007"},
        ListRow{"NotOpenNotConfigurable", {"ZETA&Z#1", "ALFA&A#2"}, {{0, "ALFA&A#2"}}, 0, 1,
                "ALFA&A#2|ZETA&Z#1 off"},
        ListRow{"NoCameras", {}, {}, 0, -1, " off"},
        // A host reaches the second name through the first camera: both entries configure it.
        ListRow{"SharedFirstFourCharacters", {"SAME&A#1", "SAME&B#2"}, {{3, "SAME&B#2"}}, 0, 1,
                "SAME&A#1|SAME&B#2 on SAME&A#1 5006 102 5005 5007"},
        ListRow{"WithoutACameraListStillSaves", {kMono}, {{0, kMono}}, 31, -1, ""}),
    RowName());

// What a page applied stays in the camera after Cancel, and configure then saves it: the
// camera reopened from its file comes back in the applied mode.
TEST_F(ExportsTest, ConfigureSavesWhatWasAppliedBeforeCancel) {
    OpenPort(0, kColour);
    OpenPort(1, kMono);
    MemoryUserInterface ui;
    ui.onConfigDialog = [](CConfigDlg& dialog, MemoryDialog&) {
        dialog.Notify(IDC_CONFIGURE, Notification::Clicked);  // on the first entry, the colour one
    };
    ui.onSheet = [](MemorySheet& sheet) {
        sheet.Show(kFormat);
        sheet.Select(IDC_FORMAT_LIST, 1);  // Format 1, 800 x 600, YUV(4:2:2)
        sheet.Apply();
        sheet.Show(kProperties);
        sheet.Drag(IDC_GAIN_SLIDER, 300);
        sheet.Cancel();
    };
    EXPECT_EQ(Configure(&ui), 1);
    EXPECT_EQ(sim::Camera(kColour).feature(Bcam::driver::kGain).control & 0xFFF, 0u);
    closeCVLPort(0, 0);
    sim::SetVideoMode(kColour, 0, 1);
    OpenPort(0, kColour);
    EXPECT_EQ(sim::Camera(kColour).format, 1u);
    EXPECT_EQ(sim::Camera(kColour).mode, 0u);
}

}  // namespace
}  // namespace fennex::test
