// The Trigger and Info pages: the trigger lists follow the enable box, the information shows
// each item the camera answers.
#include "feature_tables.h"
#include "memory_controls.h"

namespace fennex::test {
namespace {

// ---- Trigger page

Edit TriggerRegisters(std::uint32_t inquiry, std::uint32_t control) {
    return [=](sim::CameraDesc& d) { d.feature(drv::kTrigger) = {inquiry, control}; };
}
constexpr std::uint32_t kModes0And2 = 0x8C00A000;  // presence, read-out, on/off, modes 0 and 2
constexpr std::uint32_t kHighActive = 1u << 24;
Words TriggerSet(std::uint32_t quadlet, std::uint32_t mask) { return FeatureSet(drv::kTrigger, quadlet, mask); }
const Strings kPolarities{"Low Active", "High Active"};

struct TriggerRow {
    const char* name;
    std::string camera;
    Edit edit;
    Act act;
    // The enable box and each list as "on|off", then checked / the selection.
    std::string box;
    Strings modes;
    std::string modeList, polarityList;
    std::vector<Words> writes;
    bool applyEnabled;
};

class Trigger : public PagesTest, public testing::WithParamInterface<TriggerRow> {};

std::string State(IControl& control, int value) {
    return std::string(control.IsEnabled() ? "on " : "off ") + std::to_string(value);
}

TEST_P(Trigger, ListsFollowTheEnableBox) {
    const TriggerRow& row = GetParam();
    MemoryDialog& page = Show(row.camera, row.edit, kTrigger);
    if (row.act) row.act(Running());
    EXPECT_EQ(State(page.CheckBox(IDC_TRIGGER_ENABLE), page.CheckBox(IDC_TRIGGER_ENABLE).GetCheck()), row.box);
    EXPECT_EQ(page.Combo(IDC_TRIGGER_MODE).Texts(), row.modes);
    EXPECT_EQ(page.Combo(IDC_TRIGGER_POLARITY).Texts(), kPolarities);
    EXPECT_EQ(State(page.ComboBox(IDC_TRIGGER_MODE), page.ComboBox(IDC_TRIGGER_MODE).GetCurSel()), row.modeList);
    EXPECT_EQ(State(page.ComboBox(IDC_TRIGGER_POLARITY), page.ComboBox(IDC_TRIGGER_POLARITY).GetCurSel()),
              row.polarityList);
    EXPECT_EQ(Writes(), row.writes);
    EXPECT_EQ(Running().ApplyEnabled(), row.applyEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    Ui, Trigger,
    testing::Values(
        TriggerRow{"Absent", kMono, TriggerRegisters(0, 0), {}, "off 0", {}, "off -1", "off -1", {}, false},
        TriggerRow{"Modes0And2WithoutPolarity", kMono, TriggerRegisters(kModes0And2, kOn), {}, "on 1",
                   {"Trigger Mode 0", "Trigger Mode 2"}, "on 0", "off -1", {}, false},
        TriggerRow{"SecondEntryWritesMode2", kMono, TriggerRegisters(kModes0And2, kOn),
                   [](MemorySheet& s) {
                       s.Select(IDC_TRIGGER_MODE, 1);
                       s.Apply();
                   },
                   "on 1", {"Trigger Mode 0", "Trigger Mode 2"}, "on 1", "off -1",
                   {{drv::kCancelGrabs}, TriggerSet(kOn, 0x008), TriggerSet(2u << 16, 0x200)}, false},
        TriggerRow{"PolarityAndModeFromTheCamera", kColour, TriggerRegisters(0x8E00F000, kOn | kHighActive | 3u << 16),
                   {}, "on 1", {"Trigger Mode 0", "Trigger Mode 1", "Trigger Mode 2", "Trigger Mode 3"},
                   "on 3", "on 1", {}, false},
        TriggerRow{"ClearingTheBoxDisablesBothLists", kColour, TriggerRegisters(0x8E00F000, kOn),
                   [](MemorySheet& s) { s.Click(IDC_TRIGGER_ENABLE); }, "on 0",
                   {"Trigger Mode 0", "Trigger Mode 1", "Trigger Mode 2", "Trigger Mode 3"}, "off 0",
                   "off 0", {}, true},
        TriggerRow{"SwitchedOffAndApplied", kColour, TriggerRegisters(0x8E00F000, kOn | 1u << 16),
                   [](MemorySheet& s) {
                       s.Click(IDC_TRIGGER_ENABLE);
                       s.Apply();
                   },
                   "on 0", {"Trigger Mode 0", "Trigger Mode 1", "Trigger Mode 2", "Trigger Mode 3"}, "off 1",
                   "off 0",
                   {{drv::kCancelGrabs}, TriggerSet(0, 0x008), TriggerSet(1u << 16, 0x200), TriggerSet(0, 0x004)},
                   false}),
    RowName());

// The cancel fails first on a closed device, so nothing is written; the lists are then reloaded
// as if the camera had no trigger.
TEST_F(PagesTest, TriggerApplyOnAClosedDeviceWritesNothing) {
    MemoryDialog& page = Show(kMono, TriggerRegisters(kModes0And2, kOn), kTrigger);
    Running().Select(IDC_TRIGGER_MODE, 1);
    camera_.Close();
    EXPECT_TRUE(Running().Apply());
    EXPECT_EQ(Writes(), std::vector<Words>{});
    EXPECT_EQ(sim::Camera(kMono).feature(drv::kTrigger).control, kOn);
    EXPECT_FALSE(page.CheckBox(IDC_TRIGGER_ENABLE).GetCheck());
    EXPECT_FALSE(page.Enabled(IDC_TRIGGER_MODE));
}

// ---- Info page

struct InfoRow {
    const char* name;
    std::uint32_t failedString;  // a camera string that cannot be read (0: none)
    Strings fields;              // Model, Vendor, Node ID, Driver, Firmware, Device Name
};

class Info : public PagesTest, public testing::WithParamInterface<InfoRow> {};

TEST_P(Info, ShowsEachReadableItem) {
    const InfoRow& row = GetParam();
    const sim::Fault fault = sim::Fault(drv::kCameraString).Selecting(row.failedString);
    MemoryDialog& page = Show(kMono, {}, kInfo, row.failedString ? &fault : nullptr);
    Strings fields;
    for (int id : {IDC_INFO_MODEL, IDC_INFO_VENDOR, IDC_INFO_NODE_ID, IDC_INFO_DRIVER_VERSION,
                   IDC_INFO_FIRMWARE_VERSION, IDC_INFO_DEVICE_NAME})
        fields.push_back(page.Text(id));
    EXPECT_EQ(fields, row.fields);
}

INSTANTIATE_TEST_SUITE_P(
    Ui, Info,
    testing::Values(
        InfoRow{"AllSix", 0, {"SIM-640M", "Fennex Simulation", "0x003053-10551297", "1.6.2.0", "1.2.0", kMono}},
        InfoRow{"FirmwareUnreadable", drv::kStringFirmware,
                {"SIM-640M", "Fennex Simulation", "0x003053-10551297", "1.6.2.0", "", kMono}}),
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
