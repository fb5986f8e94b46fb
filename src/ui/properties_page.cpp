#include "ui/page_support.h"
#include "ui/pages.h"
#include "ui/resource.h"

namespace fennex::ui {

using detail::Guarded;
using detail::Holds;

namespace {

struct Row {
    int slider, lower, upper, value;
};
constexpr Row kShutter{IDC_SHUTTER_SLIDER, IDC_SHUTTER_MIN, IDC_SHUTTER_MAX, IDC_SHUTTER_VALUE};
constexpr Row kGain{IDC_GAIN_SLIDER, IDC_GAIN_MIN, IDC_GAIN_MAX, IDC_GAIN_VALUE};
constexpr Row kBrightness{IDC_BRIGHTNESS_SLIDER, IDC_BRIGHTNESS_MIN, IDC_BRIGHTNESS_MAX,
                          IDC_BRIGHTNESS_VALUE};
constexpr Row kGamma{IDC_GAMMA_SLIDER, IDC_GAMMA_MIN, IDC_GAMMA_MAX, IDC_GAMMA_VALUE};
constexpr Row kUB{IDC_UB_SLIDER, IDC_UB_MIN, IDC_UB_MAX, IDC_UB_VALUE};
constexpr Row kVR{IDC_VR_SLIDER, IDC_VR_MIN, IDC_VR_MAX, IDC_VR_VALUE};
constexpr Row kHue{IDC_HUE_SLIDER, IDC_HUE_MIN, IDC_HUE_MAX, IDC_HUE_VALUE};
constexpr Row kRows[] = {kShutter, kGain, kBrightness, kGamma, kUB, kVR, kHue};

int AsInt(std::uint32_t raw) { return static_cast<int>(raw); }

}  // namespace

CBcamPropPage::CBcamPropPage(Bcam::CBcam* camera) : CPropertyPage(IDD_PROPERTIES_PAGE, camera) {}

void CBcamPropPage::UpdateLabels(int slider, int lower, int upper, int value) {
    ISlider& control = Controls().Slider(slider);
    Controls().TextField(lower).SetText(detail::Decimal(control.GetRangeMin()));
    Controls().TextField(upper).SetText(detail::Decimal(control.GetRangeMax()));
    Controls().TextField(value).SetText(detail::Decimal(control.GetPos()));
}

void CBcamPropPage::InitSlider(Bcam::CScalarProperty& property, int slider, int lower, int upper,
                               int value) {
    ISlider& control = Controls().Slider(slider);
    // A row that cannot be read counts as absent, so that Apply cannot write a value the
    // camera never showed.
    bool present = Holds([&] { return property.IsSupported(Bcam::inqPresence); });
    if (present) {
        std::uint32_t minimum = 0, maximum = 0, current = 0;
        present = Guarded([&] {
            minimum = property.Raw.Min();
            maximum = property.Raw.Max();
            current = property.Raw();
        });
        if (present) {
            control.SetRange(AsInt(minimum), AsInt(maximum), false);
            control.SetPos(AsInt(current), true);
            UpdateLabels(slider, lower, upper, value);
        }
    }
    control.Enable(present);
}

bool CBcamPropPage::Refresh() {
    Bcam::CBcam* camera = Camera();
    if (!camera) return false;
    InitSlider(camera->Shutter, kShutter.slider, kShutter.lower, kShutter.upper, kShutter.value);
    InitSlider(camera->Gain, kGain.slider, kGain.lower, kGain.upper, kGain.value);
    InitSlider(camera->Brightness, kBrightness.slider, kBrightness.lower, kBrightness.upper,
               kBrightness.value);
    InitSlider(camera->Gamma, kGamma.slider, kGamma.lower, kGamma.upper, kGamma.value);

    // Both components share the white balance's one range.
    Bcam::CWhiteBalance& balance = camera->WhiteBalance;
    bool present = Holds([&] { return balance.IsSupported(Bcam::inqPresence); });
    if (present) {
        std::uint32_t minimum = 0, maximum = 0, ub = 0, vr = 0;
        present = Guarded([&] {
            minimum = balance.Raw.Min();
            maximum = balance.Raw.Max();
            ub = balance.Raw.UB();
            vr = balance.Raw.VR();
        });
        if (present) {
            for (const auto& [row, position] : {std::pair{kUB, ub}, std::pair{kVR, vr}}) {
                ISlider& control = Controls().Slider(row.slider);
                control.SetRange(AsInt(minimum), AsInt(maximum), false);
                control.SetPos(AsInt(position), true);
                UpdateLabels(row.slider, row.lower, row.upper, row.value);
            }
        }
    }
    Controls().Slider(kUB.slider).Enable(present);
    Controls().Slider(kVR.slider).Enable(present);

    InitSlider(camera->Hue, kHue.slider, kHue.lower, kHue.upper, kHue.value);
    return true;
}

bool CBcamPropPage::OnInitDialog() { return Refresh(); }

void CBcamPropPage::ApplySlider(Bcam::CScalarProperty& property, int slider) {
    ISlider& control = Controls().Slider(slider);
    if (!control.IsEnabled()) return;
    if (!Holds([&] { return property.IsSupported(Bcam::inqPresence); })) return;
    Guarded([&] { property.Raw = static_cast<std::uint32_t>(control.GetPos()); });
}

bool CBcamPropPage::OnApply() {
    Bcam::CBcam* camera = Camera();
    if (!camera) return false;
    ApplySlider(camera->Shutter, kShutter.slider);
    ApplySlider(camera->Gain, kGain.slider);
    ApplySlider(camera->Brightness, kBrightness.slider);
    ISlider& ub = Controls().Slider(kUB.slider);
    ISlider& vr = Controls().Slider(kVR.slider);
    if (ub.IsEnabled() &&
        Holds([&] { return camera->WhiteBalance.IsSupported(Bcam::inqPresence); })) {
        Guarded([&] { camera->WhiteBalance.Raw.UB = static_cast<std::uint32_t>(ub.GetPos()); });
        Guarded([&] { camera->WhiteBalance.Raw.VR = static_cast<std::uint32_t>(vr.GetPos()); });
    }
    ApplySlider(camera->Hue, kHue.slider);
    ApplySlider(camera->Gamma, kGamma.slider);
    return Refresh();
}

bool CBcamPropPage::OnNotify(int controlId, Notification code) {
    if (code != Notification::ReleasedCapture) return false;
    for (const Row& row : kRows) {
        if (row.slider != controlId) continue;
        Controls().TextField(row.value).SetText(detail::Decimal(Controls().Slider(row.slider).GetPos()));
        SetModified(true);
        return true;
    }
    return false;
}

}  // namespace fennex::ui
