// The feature registers: inquiry, get and set of brightness ... trigger, field by field.
#include <cstdint>

#include "bcam/driver_contract.h"
#include "platform/win32_errors.h"
#include "sim/registers.h"

namespace sim::detail {

namespace drv = Bcam::driver;
namespace err = fennex::platform::err;

namespace {


// One writable field of a feature's control register.
struct Field {
    std::uint32_t mask;        // field mask of the set request
    std::uint32_t bits;        // the field's bits in the quadlet
    std::uint32_t capability;  // inquiry bit without which the field is read-only (0: none)
    bool ranged;               // a 12-bit value bounded by Min_Value and Max_Value
};

constexpr std::uint32_t k12 = 0xFFF;

// The fields each kind of feature has.
constexpr Field kScalarFields[] = {
    {drv::kMaskValue, k12, drv::kInqManual, true},
    {drv::kMaskAutoMode, drv::kCtlAutoMode, drv::kInqAuto, false},
    {drv::kMaskOnOff, drv::kCtlOnOff, drv::kInqOnOff, false},
    {drv::kMaskOnePush, 1u << 26, drv::kInqOnePush, false},
    {drv::kMaskAbsControl, drv::kCtlAbsControl, drv::kInqAbsControl, false},
};
constexpr Field kWhiteBalanceFields[] = {
    {drv::kMaskAutoMode, drv::kCtlAutoMode, drv::kInqAuto, false},
    {drv::kMaskOnOff, drv::kCtlOnOff, drv::kInqOnOff, false},
    {drv::kMaskOnePush, 1u << 26, drv::kInqOnePush, false},
    {drv::kMaskAbsControl, drv::kCtlAbsControl, drv::kInqAbsControl, false},
    {drv::kMaskUb, k12 << drv::kUbShift, drv::kInqManual, true},
    {drv::kMaskVr, k12, drv::kInqManual, true},
};
constexpr Field kTriggerFields[] = {
    {drv::kMaskPolarity, drv::kCtlAutoMode, drv::kInqAuto /* Polarity_Inq */, false},
    {drv::kMaskOnOff, drv::kCtlOnOff, drv::kInqOnOff, false},
    {drv::kMaskAbsControl, drv::kCtlAbsControl, drv::kInqAbsControl, false},
    {drv::kMaskTriggerMode, 0xFu << drv::kTriggerModeShift, 0, false},
    {drv::kMaskParameter, k12, 0, false},
};

template <std::size_t N>
std::uint32_t SetFields(Feature& feature, const Field (&fields)[N], std::uint32_t quadlet,
                        std::uint32_t mask, bool trigger) {
    std::uint32_t known = 0;
    for (const Field& f : fields) known |= f.mask;
    if (mask == 0 || (mask & ~known) != 0) return err::kInvalidParameter;

    const std::uint32_t min = (feature.inquiry >> 12) & k12;
    const std::uint32_t max = feature.inquiry & k12;
    std::uint32_t control = feature.control;
    for (const Field& f : fields) {
        if ((mask & f.mask) == 0) continue;
        // A field the camera cannot change is read-only: the write is accepted and ignored,
        // as an IIDC camera ignores writes to bits it does not implement.
        if (f.capability != 0 && (feature.inquiry & f.capability) == 0) continue;
        std::uint32_t value = quadlet & f.bits;  // bits outside the field are dropped
        if (f.ranged) {
            const int shift = f.bits == k12 ? 0 : drv::kUbShift;
            const std::uint32_t v = value >> shift;
            if (v < min || v > max) return err::kInvalidParameter;
        }
        if (trigger && f.mask == drv::kMaskTriggerMode) {
            const std::uint32_t m = value >> drv::kTriggerModeShift;
            if (m > 3 || (feature.inquiry & (drv::kInqTriggerMode0 >> m)) == 0)
                return err::kInvalidParameter;
        }
        if (f.mask == drv::kMaskOnePush) value = 0;  // one push completes at once
        control = (control & ~f.bits) | value;
    }
    feature.control = control;
    return 0;
}

std::uint32_t SetFeature(CameraDesc& camera, std::uint32_t code, std::uint32_t quadlet,
                         std::uint32_t mask) {
    if (!IsFeatureCode(code)) return err::kInvalidParameter;
    Feature& feature = camera.feature(code);
    if ((feature.inquiry & drv::kInqPresence) == 0) return kNotSupported;
    if (code == drv::kTrigger) return SetFields(feature, kTriggerFields, quadlet, mask, true);
    if (code == drv::kWhiteBalance)
        return SetFields(feature, kWhiteBalanceFields, quadlet, mask, false);
    return SetFields(feature, kScalarFields, quadlet, mask, false);
}

}  // namespace

bool IsFeatureCode(std::uint32_t code) { return code >= 51 && code <= 63; }

Reply AnswerFeature(CameraDesc& camera, std::uint32_t code, const std::uint32_t* in, std::uint8_t* out) {
    if (!IsFeatureCode(in[0])) return Failed(err::kInvalidParameter);
    const Feature& feature = camera.feature(in[0]);
    switch (code) {
    case drv::kFeatureInquiry:
        return Words(out, {feature.inquiry});  // 0 for a feature the camera lacks
    case drv::kFeatureGet:
        if ((feature.inquiry & drv::kInqPresence) == 0) return Failed(kNotSupported);
        return Words(out, {feature.control});
    default:  // kFeatureSet
        return Failed(SetFeature(camera, in[0], in[1], in[2]));
    }
}

}  // namespace sim::detail
