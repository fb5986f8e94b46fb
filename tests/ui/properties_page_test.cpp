// The Properties page: the sliders show the raw registers, and Apply writes them in order.
#include "memory_controls.h"

namespace fennex::test {
namespace {

const Strings kColourRows{"1 4095 800", "0 511 0",    "0 255 128", "0 2 1",
                          "0 1023 512", "0 1023 512", "0 255 128"};

// What Apply writes, in its order: Shutter, Gain, Brightness, U/B, V/R, Hue, Gamma; -1 leaves
// a setting out.
std::vector<Words> SliderWrites(std::vector<int> values) {
    const Words features{drv::kShutter, drv::kGain, drv::kBrightness, drv::kWhiteBalance,
                         drv::kWhiteBalance, drv::kHue, drv::kGamma};
    const Words shifts{0, 0, 0, 12, 0, 0, 0}, masks{1, 1, 1, 0x40, 0x80, 1, 1};
    std::vector<Words> writes;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto value = static_cast<std::uint32_t>(values[i]);
        if (values[i] >= 0) writes.push_back(FeatureSet(features[i], value << shifts[i], masks[i]));
    }
    return writes;
}

class PropertiesPage : public PagesTest, public testing::WithParamInterface<PageRow> {};

// Each row top to bottom as "[off] lower upper value", the texts it has.
TEST_P(PropertiesPage, SlidersShowTheRawRegistersAndApplyInOrder) {
    Check(GetParam(), kProperties, [](MemoryDialog& page) {
        Strings rows;
        for (const SliderRow& row : kSliderRows) {
            std::string shown = page.Enabled(row.slider) ? "" : "off";
            for (int id : {row.lower, row.upper, row.value}) {
                if (!page.Text(id).empty())
                    shown.append(shown.empty() ? "" : " ").append(page.Text(id));
            }
            rows.push_back(shown);
        }
        return rows;
    });
}

INSTANTIATE_TEST_SUITE_P(
    Ui, PropertiesPage,
    testing::Values(
        PageRow{.name = "MonoWithoutWhiteBalanceAndHue", .camera = kMono,
                .shown = {"1 4095 500", "0 255 64", "0 255 128", "0 1 1", "off", "off", "off"}},
        PageRow{.name = "DraggedAndAppliedInItsOrder",
                .act = [](MemorySheet& s) {
                    const int moves[][2] = {{IDC_SHUTTER_SLIDER, 500}, {IDC_GAIN_SLIDER, 100},
                                            {IDC_BRIGHTNESS_SLIDER, 50}, {IDC_GAMMA_SLIDER, 2},
                                            {IDC_UB_SLIDER, 100}, {IDC_VR_SLIDER, 200},
                                            {IDC_HUE_SLIDER, 10}};
                    for (const auto& move : moves) s.Drag(move[0], move[1]);
                    s.Apply();
                },
                .shown = {"1 4095 500", "0 511 100", "0 255 50", "0 2 2", "0 1023 100",
                          "0 1023 200", "0 255 10"},
                .writes = SliderWrites({500, 100, 50, 100, 200, 10, 2})},
        // The value field and Apply follow a release of the mouse only; nothing is written yet.
        PageRow{.name = "DragShowsTheValueAndEnablesApply",
                .act = [](MemorySheet& s) { s.Drag(IDC_SHUTTER_SLIDER, 9999); },
                .shown = {"1 4095 4095", "0 511 0", "0 255 128", "0 2 1", "0 1023 512",
                          "0 1023 512", "0 255 128"},
                .applyEnabled = true},
        // An unreadable setting counts as absent: Apply does not write it, and reloads it.
        PageRow{.name = "UnreadableGainSkipped", .fault = drv::kFeatureGet, .selecting = drv::kGain,
                .act = [](MemorySheet& s) {
                    EXPECT_FALSE(s.Page(kProperties).Enabled(IDC_GAIN_SLIDER));
                    s.Apply();
                },
                .shown = kColourRows, .writes = SliderWrites({800, -1, 128, 512, 512, 128, 1})}),
    RowName());

}  // namespace
}  // namespace fennex::test
