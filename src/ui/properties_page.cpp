#include "ui/page_support.h"
#include "ui/pages.h"
#include "ui/resource.h"
#include "ui/slider_rows.h"

namespace fennex::ui {

using detail::Guarded;
using detail::Holds;

namespace {

int AsInt(std::uint32_t raw) { return static_cast<int>(raw); }

}  // namespace

CBcamPropPage::CBcamPropPage(Bcam::CBcam* camera) : CPropertyPage(IDD_PROPERTIES_PAGE, camera) {}

void CBcamPropPage::UpdateLabels(const SliderRow& row) {
    ISlider& control = Controls().Slider(row.slider);
    Controls().TextField(row.lower).SetText(detail::Decimal(control.GetRangeMin()));
    Controls().TextField(row.upper).SetText(detail::Decimal(control.GetRangeMax()));
    Controls().TextField(row.value).SetText(detail::Decimal(control.GetPos()));
}

void CBcamPropPage::InitSlider(Bcam::CScalarProperty& property, const SliderRow& row) {
    // A row that cannot be read counts as absent, so that Apply cannot write a value the
    // camera never showed.
    std::uint32_t minimum = 0, maximum = 0, current = 0;
    const bool present = Holds([&] { return property.IsSupported(Bcam::inqPresence); }) && Guarded([&] {
                             minimum = property.Raw.Min();
                             maximum = property.Raw.Max();
                             current = property.Raw();
                         });
    InitSlider(row, present, minimum, maximum, current);
}

void CBcamPropPage::InitSlider(const SliderRow& row, bool present, std::uint32_t minimum,
                               std::uint32_t maximum, std::uint32_t position) {
    ISlider& control = Controls().Slider(row.slider);
    if (present) {
        control.SetRange(AsInt(minimum), AsInt(maximum), false);
        control.SetPos(AsInt(position), true);
        UpdateLabels(row);
    }
    control.Enable(present);
}

bool CBcamPropPage::Refresh() {
    Bcam::CBcam* camera = Camera();
    if (!camera) return false;
    InitSlider(camera->Shutter, kShutterRow);
    InitSlider(camera->Gain, kGainRow);
    InitSlider(camera->Brightness, kBrightnessRow);
    InitSlider(camera->Gamma, kGammaRow);

    // Both components share the white balance's one range.
    Bcam::CWhiteBalance& balance = camera->WhiteBalance;
    std::uint32_t minimum = 0, maximum = 0, ub = 0, vr = 0;
    const bool present = Holds([&] { return balance.IsSupported(Bcam::inqPresence); }) && Guarded([&] {
                             minimum = balance.Raw.Min();
                             maximum = balance.Raw.Max();
                             ub = balance.Raw.UB();
                             vr = balance.Raw.VR();
                         });
    InitSlider(kUBRow, present, minimum, maximum, ub);
    InitSlider(kVRRow, present, minimum, maximum, vr);

    InitSlider(camera->Hue, kHueRow);
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
    ApplySlider(camera->Shutter, kShutterRow.slider);
    ApplySlider(camera->Gain, kGainRow.slider);
    ApplySlider(camera->Brightness, kBrightnessRow.slider);
    ISlider& ub = Controls().Slider(kUBRow.slider);
    ISlider& vr = Controls().Slider(kVRRow.slider);
    if (ub.IsEnabled() &&
        Holds([&] { return camera->WhiteBalance.IsSupported(Bcam::inqPresence); })) {
        Guarded([&] { camera->WhiteBalance.Raw.UB = static_cast<std::uint32_t>(ub.GetPos()); });
        Guarded([&] { camera->WhiteBalance.Raw.VR = static_cast<std::uint32_t>(vr.GetPos()); });
    }
    ApplySlider(camera->Hue, kHueRow.slider);
    ApplySlider(camera->Gamma, kGammaRow.slider);
    return Refresh();
}

bool CBcamPropPage::OnNotify(int controlId, Notification code) {
    if (code != Notification::ReleasedCapture) return false;
    for (const SliderRow& row : kSliderRows) {
        if (row.slider != controlId) continue;
        Controls().TextField(row.value).SetText(detail::Decimal(Controls().Slider(row.slider).GetPos()));
        SetModified(true);
        return true;
    }
    return false;
}

}  // namespace fennex::ui
