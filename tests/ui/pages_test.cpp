// The property sheet's pages through the in-memory controls, on simulated cameras described for
// each case: what the lists and sliders show, the enabling rules, and what Apply writes (checked
// in the request log and the camera's registers).
#include "feature_tables.h"

#include "memory_controls.h"
#include "ui/pages.h"
#include "ui/resource.h"
#include "ui/slider_rows.h"

namespace fennex::test {
namespace {


using Strings = std::vector<std::string>;
using Act = std::function<void(MemorySheet&)>;
constexpr std::uint32_t kNone = CFormatPage::kNone;
constexpr std::uint32_t kOn = drv::kCtlOnOff;

enum PageIndex { kInfo, kFormat, kProperties, kTrigger };

// The sheet as OnConfigure builds it, running in memory.
struct SheetOn {
    explicit SheetOn(Bcam::CBcam* camera)
        : info(camera), format(camera), properties(camera), trigger(camera) {
        for (CPropertyPage* page : std::initializer_list<CPropertyPage*>{&info, &format, &properties, &trigger})
            sheet.AddPage(*page);
        running = std::make_unique<MemorySheet>(sheet);
    }
    CInfoPage info;
    CFormatPage format;
    CBcamPropPage properties;
    CTriggerPage trigger;
    CPropertySheet sheet{IDS_CAMERA_CONFIGURATION};
    std::unique_ptr<MemorySheet> running;
};

class PagesTest : public SimCameras {
protected:
    // Opens `name` after `edit` has described it; `fault` fails the camera's next request of
    // that kind, then the sheet opens and shows `page`.
    MemoryDialog& Show(const std::string& name, const Edit& edit, PageIndex page,
                       const sim::Fault* fault = nullptr) {
        Open(name, edit);
        if (fault) sim::InjectFault(sim::Fault(*fault).On(name));
        sheet_ = std::make_unique<SheetOn>(&camera_);
        return sheet_->running->Show(page);
    }
    MemorySheet& Running() { return *sheet_->running; }
    // The requests that change the camera, and the cancels, in order.
    std::vector<Words> Writes() {
        std::vector<Words> writes;
        for (const Words& w : SentTo(name_))
            if (w[0] == drv::kFeatureSet || w[0] == drv::kSetVideoMode || w[0] == drv::kCancelGrabs)
                writes.push_back(w);
        return writes;
    }
    void TearDown() override {
        sheet_.reset();
        SimCameras::TearDown();
    }

    std::unique_ptr<SheetOn> sheet_;
};

// ---- Video Format page

// A camera with only these fixed modes (format, mode, rates), set to the first.
Edit OnlyModes(std::vector<std::tuple<std::uint32_t, std::uint32_t, std::vector<std::uint32_t>>> modes) {
    return [modes](sim::CameraDesc& d) {
        d.modes = {};
        d.rates = {};
        d.format7 = {};
        for (const auto& [format, mode, rates] : modes) {
            for (std::uint32_t r : rates) d.rates[format][mode] |= 1u << (31 - r);
            d.modes[format] |= 1u << (31 - mode);
        }
        d.format = std::get<0>(modes[0]);
        d.mode = std::get<1>(modes[0]);
        d.rate = std::get<2>(modes[0]).front();
    };
}
Edit VideoMode(std::uint32_t format, std::uint32_t mode, std::uint32_t rate) {
    return [=](sim::CameraDesc& d) { d.format = format, d.mode = mode, d.rate = rate; };
}

const Strings kColourFormats{"Format 0", "Format 1", "Format 2", "Format 7"};
const Strings kColourFormat0{"320 x 240, YUV(4:2:2)", "640 x 480, YUV(4:2:2)", "640 x 480, RGB"};
const Strings kColourFormat1{"800 x 600, YUV(4:2:2)", "800 x 600, RGB", "1024 x 768, RGB"};

struct FormatRow {
    const char* name;
    Edit edit;  // of the colour camera, set to format 0 mode 3 at 15 fps
    std::uint32_t fault;
    Act act;
    Strings formats, modes, rates;
    std::uint32_t format, mode, rate;  // the selections
};

class FormatLists : public PagesTest, public testing::WithParamInterface<FormatRow> {};

TEST_P(FormatLists, OfferWhatTheCameraSupports) {
    const FormatRow& row = GetParam();
    const sim::Fault fault(row.fault);
    MemoryDialog& page = Show(kColour, row.edit, kFormat, row.fault ? &fault : nullptr);
    if (row.act) row.act(Running());
    EXPECT_EQ(page.Combo(IDC_FORMAT_LIST).Texts(), row.formats);
    EXPECT_EQ(page.Combo(IDC_MODE_LIST).Texts(), row.modes);
    EXPECT_EQ(page.Combo(IDC_FRAMERATE_LIST).Texts(), row.rates);
    EXPECT_EQ(sheet_->format.GetSelectedFormat(), row.format);
    EXPECT_EQ(sheet_->format.GetSelectedMode(), row.mode);
    EXPECT_EQ(sheet_->format.GetSelectedFrameRate(), row.rate);
}

INSTANTIATE_TEST_SUITE_P(
    Ui, FormatLists,
    testing::Values(
        FormatRow{"TheCurrentModeSelected", {}, 0, {}, kColourFormats, kColourFormat0,
                  {"3.75 fps", "7.5 fps", "15 fps", "30 fps"}, 0, 3, 3},
        FormatRow{"WithoutYUV411AndMono16",
                  OnlyModes({{0, 5, {3, 4}}, {0, 1, {1, 2}}, {0, 2, {1}}, {0, 6, {2}}}), 0, {},
                  {"Format 0"}, {"320 x 240, YUV(4:2:2)", "640 x 480, Mono8"}, {"15 fps", "30 fps"},
                  0, 5, 3},
        FormatRow{"Format7ModesByTheirMaximumSize", {}, 0,
                  [](MemorySheet& s) { s.Select(IDC_FORMAT_LIST, 3); }, kColourFormats,
                  {"Mode 0 (1600x1200)", "Mode 1 (800x600)"}, {}, 7, 0, kNone},
        FormatRow{"AnotherFormatKeepsModeAndRate", VideoMode(0, 4, 1), 0,
                  [](MemorySheet& s) { s.Select(IDC_FORMAT_LIST, 1); }, kColourFormats,
                  kColourFormat1, {"1.875 fps", "3.75 fps"}, 1, 4, 1},
        FormatRow{"AnotherFormatWithoutTheModeTakesTheFirst", {}, 0,
                  [](MemorySheet& s) { s.Select(IDC_FORMAT_LIST, 1); }, kColourFormats,
                  kColourFormat1, {"1.875 fps", "3.75 fps", "7.5 fps", "15 fps", "30 fps"}, 1, 0, 3},
        FormatRow{"AnotherModeKeepsTheRateOffered", {}, 0,
                  [](MemorySheet& s) { s.Select(IDC_MODE_LIST, 0); }, kColourFormats, kColourFormat0,
                  {"3.75 fps", "7.5 fps", "15 fps", "30 fps", "60 fps"}, 0, 1, 3},
        // No mode: no rate either, rather than every rate of the format.
        FormatRow{"FormatWithoutOfferedModes", OnlyModes({{0, 2, {1}}, {0, 6, {1}}}), 0, {},
                  {"Format 0"}, {}, {}, 0, kNone, kNone},
        FormatRow{"UnreadableModeTakesTheFirstEntries", {}, drv::kGetVideoMode, {}, kColourFormats,
                  kColourFormat0, {"3.75 fps", "7.5 fps", "15 fps", "30 fps", "60 fps"}, 0, 1, 1},
        FormatRow{"RefusedModeShowsTheCamerasAgain", {}, drv::kSetVideoMode,
                  [](MemorySheet& s) {
                      s.Select(IDC_FORMAT_LIST, 2);
                      s.Apply();
                  },
                  kColourFormats, kColourFormat0, {"3.75 fps", "7.5 fps", "15 fps", "30 fps"}, 0, 3, 3},
        FormatRow{"FailedQueryLeavesTheEntryOut", {}, drv::kFormatInquiry, {},
                  {"Format 1", "Format 2", "Format 7"}, kColourFormat1,
                  {"1.875 fps", "3.75 fps", "7.5 fps", "15 fps", "30 fps"}, 1, 0, 3}),
    RowName());

struct FormatApplyRow {
    const char* name;
    Edit edit;
    Act act;
    std::vector<Words> writes;
    std::uint32_t format, mode, rate;  // the camera's afterwards
};

class FormatApply : public PagesTest, public testing::WithParamInterface<FormatApplyRow> {};

TEST_P(FormatApply, WritesTheChosenModeOnApplyOnly) {
    const FormatApplyRow& row = GetParam();
    Show(kColour, row.edit, kFormat);
    row.act(Running());
    EXPECT_EQ(Writes(), row.writes);
    const sim::CameraDesc camera = sim::Camera(kColour);
    EXPECT_EQ((std::vector{camera.format, camera.mode, camera.rate}),
              (std::vector{row.format, row.mode, row.rate}));
}

INSTANTIATE_TEST_SUITE_P(
    Ui, FormatApply,
    testing::Values(
        FormatApplyRow{"CancelAfterApplyKeepsTheMode", {},
                       [](MemorySheet& s) {
                           s.Select(IDC_FORMAT_LIST, 2);
                           EXPECT_TRUE(s.ApplyEnabled());
                           s.Apply();
                           s.Cancel();
                       },
                       {{drv::kSetVideoMode, 2, 3, 0}}, 2, 3, 0},
        FormatApplyRow{"CancelWritesNothing", {},
                       [](MemorySheet& s) {
                           s.Select(IDC_FORMAT_LIST, 2);
                           s.Cancel();
                       },
                       {}, 0, 3, 3},
        FormatApplyRow{"Format7TakesNoRate", {},
                       [](MemorySheet& s) {
                           s.Select(IDC_FORMAT_LIST, 3);
                           s.Select(IDC_MODE_LIST, 1);
                           s.Ok();
                       },
                       {{drv::kSetVideoMode, 7, 1, kNone}}, 7, 1, kNone},
        FormatApplyRow{"NoModeNothingToWrite", OnlyModes({{0, 5, {3}}, {1, 6, {1}}}),
                       [](MemorySheet& s) {
                           s.Select(IDC_FORMAT_LIST, 1);
                           s.Apply();
                       },
                       {}, 0, 5, 3}),
    RowName());

// ---- Properties page

// One row of sliders as "on|off lower upper value".
std::string RowText(MemoryDialog& page, int slider) {
    for (const SliderRow& row : kSliderRows)
        if (row.slider == slider)
            return std::string(page.Enabled(slider) ? "on " : "off ") + page.Text(row.lower) + " " +
                   page.Text(row.upper) + " " + page.Text(row.value);
    return "?";
}

Edit Without(std::uint32_t feature) {
    return [=](sim::CameraDesc& d) { d.feature(feature) = {}; };
}

// What Apply on the Properties page writes, in its order; kNotWritten leaves a setting out.
constexpr int kNotWritten = -1;
std::vector<Words> SliderWrites(int shutter, int gain, int brightness, int ub, int vr, int hue, int gamma) {
    std::vector<Words> writes;
    auto add = [&](int value, std::uint32_t feature, std::uint32_t quadlet, std::uint32_t mask) {
        if (value != kNotWritten) writes.push_back(FeatureSet(feature, quadlet, mask));
    };
    add(shutter, 56, shutter, 1);
    add(gain, 55, gain, 1);
    add(brightness, 63, brightness, 1);
    add(ub, 60, static_cast<std::uint32_t>(ub) << 12, 0x40);
    add(vr, 60, vr, 0x80);
    add(hue, 59, hue, 1);
    add(gamma, 57, gamma, 1);
    return writes;
}

struct SliderTableRow {
    const char* name;
    std::string camera;
    Edit edit;
    std::uint32_t failedRead;  // a feature whose value cannot be read (0: none)
    Act act;
    Strings rows;  // Shutter, Gain, Brightness, Gamma, U/B, V/R, Hue
    std::vector<Words> writes;
    bool applyEnabled;
};

class Sliders : public PagesTest, public testing::WithParamInterface<SliderTableRow> {};

TEST_P(Sliders, ShowTheRawRegistersAndApplyInOrder) {
    const SliderTableRow& row = GetParam();
    const sim::Fault fault = sim::Fault(drv::kFeatureGet).Selecting(row.failedRead);
    MemoryDialog& page = Show(row.camera, row.edit, kProperties, row.failedRead ? &fault : nullptr);
    if (row.act) row.act(Running());
    Strings rows;
    for (const SliderRow& slider : kSliderRows) rows.push_back(RowText(page, slider.slider));
    EXPECT_EQ(rows, row.rows);
    EXPECT_EQ(Writes(), row.writes);
    EXPECT_EQ(Running().ApplyEnabled(), row.applyEnabled);
}

const Strings kColourSliders{"on 1 4095 800", "on 0 511 0",     "on 0 255 128", "on 0 2 1",
                             "on 0 1023 512", "on 0 1023 512", "on 0 255 128"};

INSTANTIATE_TEST_SUITE_P(
    Ui, Sliders,
    testing::Values(
        SliderTableRow{"MonoWithoutWhiteBalanceAndHue", kMono, {}, 0, {},
                       {"on 1 4095 500", "on 0 255 64", "on 0 255 128", "on 0 1 1", "off 0 0 0",
                        "off 0 0 0", "off 0 0 0"},
                       {}, false},
        SliderTableRow{"ColourWithoutGamma", kColour, Without(drv::kGamma), 0,
                       [](MemorySheet& s) { s.Apply(); },
                       {"on 1 4095 800", "on 0 511 0", "on 0 255 128", "off 0 0 0", "on 0 1023 512",
                        "on 0 1023 512", "on 0 255 128"},
                       SliderWrites(800, 0, 128, 512, 512, 128, kNotWritten),
                       false},
        SliderTableRow{"DraggedAndAppliedInItsOrder", kColour, {}, 0,
                       [](MemorySheet& s) {
                           const int moves[][2] = {{IDC_SHUTTER_SLIDER, 500}, {IDC_GAIN_SLIDER, 100},
                                                   {IDC_BRIGHTNESS_SLIDER, 50}, {IDC_GAMMA_SLIDER, 2},
                                                   {IDC_UB_SLIDER, 100},    {IDC_VR_SLIDER, 200},
                                                   {IDC_HUE_SLIDER, 10}};
                           for (const auto& move : moves) s.Drag(move[0], move[1]);
                           s.Apply();
                       },
                       {"on 1 4095 500", "on 0 511 100", "on 0 255 50", "on 0 2 2", "on 0 1023 100",
                        "on 0 1023 200", "on 0 255 10"},
                       SliderWrites(500, 100, 50, 100, 200, 10, 2),
                       false},
        // The value field and Apply follow a release of the mouse only; nothing is written yet.
        SliderTableRow{"DragShowsTheValueAndEnablesApply", kColour, {}, 0,
                       [](MemorySheet& s) { s.Drag(IDC_SHUTTER_SLIDER, 9999); },
                       {"on 1 4095 4095", "on 0 511 0", "on 0 255 128", "on 0 2 1", "on 0 1023 512",
                        "on 0 1023 512", "on 0 255 128"},
                       {}, true},
        SliderTableRow{"KeyboardMoveShowsNothingYetOkWritesIt", kColour, {}, 0,
                       [](MemorySheet& s) {
                           s.Key(IDC_SHUTTER_SLIDER, 700);
                           EXPECT_FALSE(s.ApplyEnabled());
                           EXPECT_EQ(RowText(s.Page(kProperties), IDC_SHUTTER_SLIDER), "on 1 4095 800");
                           s.Ok();
                       },
                       {"on 1 4095 700", "on 0 511 0", "on 0 255 128", "on 0 2 1", "on 0 1023 512",
                        "on 0 1023 512", "on 0 255 128"},
                       SliderWrites(700, 0, 128, 512, 512, 128, 1),
                       false},
        // An unreadable setting counts as absent: Apply does not write it, and reloads it.
        SliderTableRow{"UnreadableGainSkipped", kColour, {}, drv::kGain,
                       [](MemorySheet& s) {
                           EXPECT_EQ(RowText(s.Page(kProperties), IDC_GAIN_SLIDER), "off 0 0 0");
                           s.Apply();
                       },
                       {"on 1 4095 800", "on 0 511 0", "on 0 255 128", "on 0 2 1", "on 0 1023 512",
                        "on 0 1023 512", "on 0 255 128"},
                       SliderWrites(800, kNotWritten, 128, 512, 512, 128, 1),
                       false}),
    RowName());

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

}  // namespace
}  // namespace fennex::test
