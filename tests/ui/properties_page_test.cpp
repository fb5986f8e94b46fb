// The Properties page: the sliders show the raw registers, and Apply writes them in order.
#include "feature_tables.h"
#include "memory_controls.h"
#include "ui/slider_rows.h"

namespace fennex::test {
namespace {

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

}  // namespace
}  // namespace fennex::test
