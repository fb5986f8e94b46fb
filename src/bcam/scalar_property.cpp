#include "bcam/scalar_property.h"

#include "bcam/cbcam.h"
#include "bcam/driver_contract.h"
#include "bcam/feature_persistence.h"
#include "errors/error_codes.h"
#include "errors/exception.h"

namespace Bcam {

using detail::BoolControl;

namespace {
constexpr const char* kBoolRead = "CBcam::CScalarProperty::CBoolControl::Operator()()";
constexpr const char* kBoolWrite = "CBcam::CScalarProperty::CBoolControl::operator=()";
constexpr std::uint32_t kField = 0xFFF;
}  // namespace

CScalarProperty::CScalarProperty(CBcam& device, std::uint32_t featureCode)
    : m_FeatureCode(featureCode), m_pBcam(&device),
      AbsControl(device, featureCode, BoolControl::kAbsControl, kBoolRead, kBoolWrite),
      AutoMode(device, featureCode, BoolControl::kAutoMode, kBoolRead, kBoolWrite),
      OnOff(device, featureCode, BoolControl::kOnOff, kBoolRead, kBoolWrite),
      Raw(device, featureCode) {}

bool CScalarProperty::IsSupported(Inquiry which) {
    static constexpr const char* kContext = "CBcam::CScalarProperty::IsSupported()";
    const std::uint32_t quadlet = detail::FeatureInquiry(*m_pBcam, m_FeatureCode, kContext);
    if (which > inqManual) detail::ThrowBadInquiry(which, kContext);
    return (quadlet & detail::StandardInquiryBit(which)) != 0;
}

void CScalarProperty::Save(CPropertyBagPtr bag) {
    detail::SaveFeature(
        *this, *bag, [&] { bag->WriteFloat("AbsValue", static_cast<float>(Abs())); },
        [&] { bag->WriteLong("RawValue", static_cast<std::int32_t>(Raw())); });
}

void CScalarProperty::Restore(CPropertyBagPtr bag) {
    detail::RestoreFeature(
        *this, *bag, [&] { Abs = bag->ReadFloat("AbsValue"); },
        [&] { Raw = static_cast<std::uint32_t>(bag->ReadLong("RawValue")); });
}

std::uint32_t CScalarProperty::CRawRegister::Min() {
    const std::uint32_t quadlet = detail::FeatureInquiry(
        *m_pBcam, m_Feature, "CBcam::CScalarProperty::CRawRegister::Min()");
    return (quadlet >> 12) & kField;
}

std::uint32_t CScalarProperty::CRawRegister::Max() {
    const std::uint32_t quadlet = detail::FeatureInquiry(
        *m_pBcam, m_Feature, "CBcam::CScalarProperty::CRawRegister::Max()");
    return quadlet & kField;
}

std::uint32_t CScalarProperty::CRawRegister::operator()() {
    return detail::FeatureGet(*m_pBcam, m_Feature,
                              "CBcam::CScalarProperty::CRawRegister::Operator()()") &
           kField;
}

CScalarProperty::CRawRegister& CScalarProperty::CRawRegister::operator=(std::uint32_t value) {
    detail::FeatureSet(*m_pBcam, m_Feature, value & kField, driver::kMaskValue,
                       "CBcam::CScalarProperty::CRawRegister::operator=()");
    return *this;
}

double CScalarProperty::CAbsValue::operator()() {
    throw BcamException(codes::kNotImplemented, "CBcam::CScalarProperty::CAbsValue::operator()()");
}

CScalarProperty::CAbsValue& CScalarProperty::CAbsValue::operator=(double) {
    throw BcamException(codes::kNotImplemented, "CBcam::CScalarProperty::CAbsValue::operator=()");
}

}  // namespace Bcam
