// The Properties page's rows: each slider with its lower-end, upper-end and value fields.
#pragma once

#include "ui/resource.h"

namespace fennex::ui {

struct SliderRow {
    int slider, lower, upper, value;
};

inline constexpr SliderRow kShutterRow{IDC_SHUTTER_SLIDER, IDC_SHUTTER_MIN, IDC_SHUTTER_MAX,
                                       IDC_SHUTTER_VALUE};
inline constexpr SliderRow kGainRow{IDC_GAIN_SLIDER, IDC_GAIN_MIN, IDC_GAIN_MAX, IDC_GAIN_VALUE};
inline constexpr SliderRow kBrightnessRow{IDC_BRIGHTNESS_SLIDER, IDC_BRIGHTNESS_MIN,
                                          IDC_BRIGHTNESS_MAX, IDC_BRIGHTNESS_VALUE};
inline constexpr SliderRow kGammaRow{IDC_GAMMA_SLIDER, IDC_GAMMA_MIN, IDC_GAMMA_MAX,
                                     IDC_GAMMA_VALUE};
inline constexpr SliderRow kUBRow{IDC_UB_SLIDER, IDC_UB_MIN, IDC_UB_MAX, IDC_UB_VALUE};
inline constexpr SliderRow kVRRow{IDC_VR_SLIDER, IDC_VR_MIN, IDC_VR_MAX, IDC_VR_VALUE};
inline constexpr SliderRow kHueRow{IDC_HUE_SLIDER, IDC_HUE_MIN, IDC_HUE_MAX, IDC_HUE_VALUE};
// In the page's order, top to bottom.
inline constexpr SliderRow kSliderRows[] = {kShutterRow, kGainRow, kBrightnessRow, kGammaRow,
                                            kUBRow,      kVRRow,   kHueRow};

}  // namespace fennex::ui
