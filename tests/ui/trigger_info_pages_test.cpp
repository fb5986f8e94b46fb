// The Trigger and Info pages: the trigger lists follow the enable box, the information shows
// each item the camera answers.
#include "memory_controls.h"

namespace fennex::test {
namespace {

constexpr std::uint32_t kOn = drv::kCtlOnOff;
constexpr std::uint32_t kModes0And2 = 0x8C00A000;  // presence, read-out, on/off, modes 0 and 2
constexpr std::uint32_t kAllModes = 0x8E00F000;    // with polarity control, modes 0 to 3
const std::string kFourModes = "Trigger Mode 0|Trigger Mode 1|Trigger Mode 2|Trigger Mode 3";

// The enable box as "on|off checked", the modes offered, each list as "on|off selection".
Strings TriggerShown(MemoryDialog& page) {
    const auto state = [&](int id, int value) {
        return std::string(page.Enabled(id) ? "on " : "off ") + std::to_string(value);
    };
    EXPECT_EQ(Joined(page[IDC_TRIGGER_POLARITY].Entries()), "Low Active|High Active");
    return {state(IDC_TRIGGER_ENABLE, page[IDC_TRIGGER_ENABLE].GetCheck()),
            Joined(page[IDC_TRIGGER_MODE].Entries()),
            state(IDC_TRIGGER_MODE, page[IDC_TRIGGER_MODE].GetCurSel()),
            state(IDC_TRIGGER_POLARITY, page[IDC_TRIGGER_POLARITY].GetCurSel())};
}

class TriggerPage : public PagesTest, public testing::WithParamInterface<PageRow> {};

TEST_P(TriggerPage, ListsFollowTheEnableBox) { Check(GetParam(), kTrigger, TriggerShown); }

INSTANTIATE_TEST_SUITE_P(
    Ui, TriggerPage,
    testing::Values(
        PageRow{.name = "Absent", .camera = kMono, .edit = Trigger(0, 0),
                .shown = {"off 0", "", "off -1", "off -1"}},
        PageRow{.name = "SecondEntryWritesMode2WithoutPolarity", .camera = kMono,
                .edit = Trigger(kModes0And2, kOn),
                .act = [](MemorySheet& s) {
                    EXPECT_EQ(s.Page(kTrigger)[IDC_TRIGGER_MODE].GetCurSel(), 0);
                    s.Select(IDC_TRIGGER_MODE, 1);
                    s.Apply();
                },
                .shown = {"on 1", "Trigger Mode 0|Trigger Mode 2", "on 1", "off -1"},
                .writes = {{drv::kCancelGrabs}, TriggerSet(kOn, 0x008),
                           TriggerSet(2u << 16, 0x200)}},
        PageRow{.name = "PolarityAndModeFromTheCameraThenAnotherModeToApply",
                .edit = Trigger(kAllModes, kOn | 1u << 24 | 3u << 16),
                .act = [](MemorySheet& s) {
                    EXPECT_EQ(s.Page(kTrigger)[IDC_TRIGGER_MODE].GetCurSel(), 3);
                    s.Select(IDC_TRIGGER_MODE, 2);
                },
                .shown = {"on 1", kFourModes, "on 2", "on 1"}, .applyEnabled = true},
        PageRow{.name = "ClearingTheBoxDisablesBothLists", .edit = Trigger(kAllModes, kOn),
                .act = [](MemorySheet& s) { s.Click(IDC_TRIGGER_ENABLE); },
                .shown = {"on 0", kFourModes, "off 0", "off 0"}, .applyEnabled = true},
        PageRow{.name = "SwitchedOffAndApplied", .edit = Trigger(kAllModes, kOn | 1u << 16),
                .act = [](MemorySheet& s) {
                    s.Click(IDC_TRIGGER_ENABLE);
                    s.Apply();
                },
                .shown = {"on 0", kFourModes, "off 1", "off 0"},
                .writes = {{drv::kCancelGrabs}, TriggerSet(0, 0x008), TriggerSet(1u << 16, 0x200),
                           TriggerSet(0, 0x004)}}),
    RowName());

// The cancel fails first on a closed device, so nothing is written; the lists are then reloaded
// as if the camera had no trigger.
TEST_F(PagesTest, TriggerApplyOnAClosedDeviceWritesNothing) {
    Check({.name = "", .camera = kMono, .edit = Trigger(kModes0And2, kOn),
           .act = [this](MemorySheet& s) {
               s.Select(IDC_TRIGGER_MODE, 1);
               camera_.Close();
               EXPECT_TRUE(s.Apply());
           },
           .shown = {"on 0", "Trigger Mode 0|Trigger Mode 2", "off 1", "off -1"}},
          kTrigger, TriggerShown);
}

// Each item the camera answers, in its field; with the firmware version unreadable, the
// others all the same.
class InfoPage : public PagesTest, public testing::WithParamInterface<PageRow> {};

TEST_P(InfoPage, ShowsEachReadableItem) {
    Check(GetParam(), kInfo, [](MemoryDialog& page) {
        Strings fields;
        for (int id : {IDC_INFO_MODEL, IDC_INFO_VENDOR, IDC_INFO_NODE_ID, IDC_INFO_DRIVER_VERSION,
                       IDC_INFO_FIRMWARE_VERSION, IDC_INFO_DEVICE_NAME})
            fields.push_back(page.Text(id));
        return fields;
    });
}

INSTANTIATE_TEST_SUITE_P(
    Ui, InfoPage,
    testing::Values(
        PageRow{.name = "AllSix", .camera = kMono,
                .shown = {"SIM-640M", "Fennex Simulation", "0x003053-10551297", "1.6.2.0",
                          "1.2.0", kMono}},
        PageRow{.name = "FirmwareUnreadable", .camera = kMono, .fault = drv::kCameraString,
                .selecting = drv::kStringFirmware,
                .shown = {"SIM-640M", "Fennex Simulation", "0x003053-10551297", "1.6.2.0", "",
                          kMono}}),
    RowName());

// Pages made by class name have no camera: they show nothing and apply nothing.
TEST(UiPageClasses, CreatedByNameWithoutACamera) {
    const std::pair<const char*, int> classes[] = {{"CInfoPage", IDD_INFO_PAGE},
                                                   {"CFormatPage", IDD_FORMAT_PAGE},
                                                   {"CBcamPropPage", IDD_PROPERTIES_PAGE},
                                                   {"CTriggerPage", IDD_TRIGGER_PAGE}};
    for (const auto& [name, dialog] : classes) {
        std::unique_ptr<CPropertyPage> page = CreatePage(name);
        ASSERT_NE(page, nullptr) << name;
        EXPECT_STREQ(page->ClassName(), name);
        EXPECT_EQ(page->DialogId(), dialog);
        EXPECT_EQ(page->Camera(), nullptr);
        MemoryDialog controls(dialog);
        EXPECT_FALSE(page->Create(controls)) << name;
        EXPECT_EQ(page->Apply(), dialog == IDD_INFO_PAGE) << name;
    }
    EXPECT_EQ(CreatePage("CPropertyPage"), nullptr);
    EXPECT_EQ(CreatePage(nullptr), nullptr);
}

}  // namespace
}  // namespace fennex::test
