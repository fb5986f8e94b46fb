// The save and restore order that the scalar properties and the white balance share:
// on/off, then automatic mode, then (with manual and read-out capability) absolute control or
// the raw value. Every capability is asked of the camera at hand, never of the stored data.
#pragma once

#include "bcam/feature_request.h"
#include "settings/property_bag.h"

namespace Bcam::detail {

template <class Feature, class SaveAbs, class SaveRaw>
void SaveFeature(Feature& feature, CPropertyBag& bag, SaveAbs saveAbs, SaveRaw saveRaw) {
    if (feature.IsSupported(inqOnOff)) {
        const bool on = feature.OnOff();
        bag.WriteBool("OnOff", on);
        if (!on) return;
    }
    if (feature.IsSupported(inqAuto)) {
        const bool automatic = feature.AutoMode();
        bag.WriteBool("AutoMode", automatic);
        if (automatic) return;
    }
    if (!feature.IsSupported(inqManual) || !feature.IsSupported(inqReadOut)) return;
    if (feature.IsSupported(inqAbsControl)) {
        const bool absolute = feature.AbsControl();
        bag.WriteBool("AbsControl", absolute);
        if (absolute) {
            saveAbs();
            return;
        }
    }
    saveRaw();
}

template <class Feature, class RestoreAbs, class RestoreRaw>
void RestoreFeature(Feature& feature, CPropertyBag& bag, RestoreAbs restoreAbs,
                    RestoreRaw restoreRaw) {
    if (feature.IsSupported(inqOnOff)) {
        const bool on = bag.ReadBool("OnOff");
        feature.OnOff = on;
        if (!on) return;
    }
    if (feature.IsSupported(inqAuto)) {
        const bool automatic = bag.ReadBool("AutoMode");
        feature.AutoMode = automatic;
        if (automatic) return;
    }
    if (!feature.IsSupported(inqManual) || !feature.IsSupported(inqReadOut)) return;
    // The stored flag only picks the value key and is not written to the camera: files
    // written elsewhere rely on the camera's absolute-control state being left alone.
    if (feature.IsSupported(inqAbsControl) && bag.ReadBool("AbsControl")) {
        restoreAbs();
        return;
    }
    restoreRaw();
}

}  // namespace Bcam::detail
