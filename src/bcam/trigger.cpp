#include "bcam/trigger.h"

#include "bcam/cbcam.h"
#include "bcam/driver_contract.h"
#include "errors/error_codes.h"
#include "errors/exception.h"

namespace Bcam {

using detail::BoolControl;

namespace {
constexpr const char* kBoolRead = "CBcam::CTrigger::CBoolControl::Operator()()";
constexpr const char* kBoolWrite = "CBcam::CTrigger::CBoolControl::operator=()";
constexpr std::uint32_t kFeature = driver::kTrigger;
constexpr std::uint32_t kPolarityBit = driver::kCtlAutoMode;  // bit 24: Trigger_Polarity
constexpr std::uint32_t kPolarityInq = driver::kInqAuto;      // bit 25: Polarity_Inq
}  // namespace

CTrigger::CTrigger(CBcam& device)
    : m_pBcam(&device),
      AbsControl(device, kFeature, BoolControl::kAbsControl, kBoolRead, kBoolWrite),
      OnOff(device, kFeature, BoolControl::kOnOff, kBoolRead, kBoolWrite), Polarity(device),
      Mode(device), Parameter(device) {}

bool CTrigger::IsSupported(Inquiry which) {
    static constexpr const char* kContext = "CBcam::CTrigger::IsSupported()";
    const std::uint32_t quadlet = detail::FeatureInquiry(*m_pBcam, kFeature, kContext);
    std::uint32_t bit = 0;
    switch (which) {
        case inqPresence: bit = driver::kInqPresence; break;
        case inqAbsControl: bit = driver::kInqAbsControl; break;
        case inqReadOut: bit = driver::kInqReadOut; break;
        case inqOnOff: bit = driver::kInqOnOff; break;
        case inqPolarity: bit = kPolarityInq; break;
        default: detail::ThrowBadInquiry(which, kContext);
    }
    return (quadlet & bit) != 0;
}

bool CTrigger::IsModeSupported(std::uint32_t mode) {
    static constexpr const char* kContext = "CBcam::CTrigger::IsModeSupported()";
    const std::uint32_t quadlet = detail::FeatureInquiry(*m_pBcam, kFeature, kContext);
    if (mode > 3) detail::ThrowBadInquiry(mode, kContext);
    return (quadlet & (driver::kInqTriggerMode0 >> mode)) != 0;
}

void CTrigger::Save(CPropertyBagPtr bag) {
    if (!IsSupported(inqOnOff)) return;
    const bool on = OnOff();
    bag->WriteBool("OnOff", on);
    if (!on || !IsSupported(inqReadOut)) return;
    bag->WriteLong("Mode", static_cast<std::int32_t>(Mode()));
    bag->WriteLong("Parameter", static_cast<std::int32_t>(Parameter()));
    if (IsSupported(inqPolarity)) bag->WriteLong("Polarity", Polarity());
}

void CTrigger::Restore(CPropertyBagPtr bag) {
    if (!IsSupported(inqOnOff)) return;
    // Switched on first, so mode, parameter and polarity reach an armed trigger.
    const bool on = bag->ReadBool("OnOff");
    OnOff = on;
    if (!on || !IsSupported(inqReadOut)) return;
    Mode = static_cast<std::uint32_t>(bag->ReadLong("Mode"));
    Parameter = static_cast<std::uint32_t>(bag->ReadLong("Parameter"));
    if (IsSupported(inqPolarity)) Polarity = bag->ReadLong("Polarity");
}

std::int32_t CTrigger::CPolarity::operator()() {
    const std::uint32_t quadlet =
        detail::FeatureGet(*m_pBcam, kFeature, "CBcam::CTrigger::CPolarity::Operator()()");
    return (quadlet & kPolarityBit) != 0 ? 1 : 0;
}

CTrigger::CPolarity& CTrigger::CPolarity::operator=(std::int32_t value) {
    detail::FeatureSet(*m_pBcam, kFeature, (static_cast<std::uint32_t>(value) & 1u) << 24,
                       driver::kMaskPolarity, "CBcam::CTrigger::CPolarity::operator=()");
    return *this;
}

std::uint32_t CTrigger::CMode::operator()() {
    const std::uint32_t quadlet =
        detail::FeatureGet(*m_pBcam, kFeature, "CBcam::CTrigger::CMode::Operator()()");
    return (quadlet >> driver::kTriggerModeShift) & 0xF;
}

CTrigger::CMode& CTrigger::CMode::operator=(std::uint32_t mode) {
    detail::FeatureSet(*m_pBcam, kFeature, (mode & 0xF) << driver::kTriggerModeShift,
                       driver::kMaskTriggerMode, "CBcam::CTrigger::CMode::Operator=()");
    return *this;
}

std::uint32_t CTrigger::CParameter::operator()() {
    const std::uint32_t quadlet =
        detail::FeatureGet(*m_pBcam, kFeature, "CBcam::CTrigger::CParameter::Operator()()");
    return quadlet & 0xFFF;
}

CTrigger::CParameter& CTrigger::CParameter::operator=(std::uint32_t value) {
    detail::FeatureSet(*m_pBcam, kFeature, value & 0xFFF, driver::kMaskParameter,
                       "CBcam::CTrigger::CParameter::operator=()");
    return *this;
}

}  // namespace Bcam
