#include "bcam/white_balance.h"

#include "bcam/cbcam.h"
#include "bcam/driver_contract.h"
#include "bcam/feature_persistence.h"
#include "errors/error_codes.h"
#include "errors/exception.h"

namespace Bcam {

using detail::BoolControl;

namespace {
constexpr const char* kBoolRead = "CBcam::CWhiteBalance::CBoolControl::Operator()()";
constexpr const char* kBoolWrite = "CBcam::CWhiteBalance::CBoolControl::operator=()";
constexpr std::uint32_t kField = 0xFFF;
constexpr std::uint32_t kFeature = driver::kWhiteBalance;
}  // namespace

CWhiteBalance::CWhiteBalance(CBcam& device)
    : m_pBcam(&device),
      AbsControl(device, kFeature, BoolControl::kAbsControl, kBoolRead, kBoolWrite),
      AutoMode(device, kFeature, BoolControl::kAutoMode, kBoolRead, kBoolWrite),
      OnOff(device, kFeature, BoolControl::kOnOff, kBoolRead, kBoolWrite), Raw(device) {}

bool CWhiteBalance::IsSupported(Inquiry which) {
    const std::uint32_t quadlet =
        detail::FeatureInquiry(*m_pBcam, kFeature, "CBcam::CWhiteBalance::IsSupported()");
    if (which > inqManual) detail::ThrowBadInquiry(which, "CBcam::WhiteBalance::IsSupported()");
    return (quadlet & detail::StandardInquiryBit(which)) != 0;
}

void CWhiteBalance::Save(CPropertyBagPtr bag) {
    detail::SaveFeature(
        *this, *bag,
        [&] {
            bag->WriteFloat("AbsValueUB", static_cast<float>(Abs.UB()));
            bag->WriteFloat("AbsValueVR", static_cast<float>(Abs.VR()));
        },
        [&] {
            bag->WriteLong("RawValueUB", static_cast<std::int32_t>(Raw.UB()));
            bag->WriteLong("RawValueVR", static_cast<std::int32_t>(Raw.VR()));
        });
}

void CWhiteBalance::Restore(CPropertyBagPtr bag) {
    // Each component goes to the camera as soon as its key has been read.
    detail::RestoreFeature(
        *this, *bag,
        [&] {
            Abs.UB = bag->ReadFloat("AbsValueUB");
            Abs.VR = bag->ReadFloat("AbsValueVR");
        },
        [&] {
            Raw.UB = static_cast<std::uint32_t>(bag->ReadLong("RawValueUB"));
            Raw.VR = static_cast<std::uint32_t>(bag->ReadLong("RawValueVR"));
        });
}

std::uint32_t CWhiteBalance::CRawRegister::Min() {
    const std::uint32_t quadlet = detail::FeatureInquiry(
        *m_pBcam, kFeature, "CBcam::CWhiteBalance::CRawRegister::Min()");
    return (quadlet >> 12) & kField;
}

std::uint32_t CWhiteBalance::CRawRegister::Max() {
    const std::uint32_t quadlet = detail::FeatureInquiry(
        *m_pBcam, kFeature, "CBcam::CWhiteBalance::CRawRegister::Max()");
    return quadlet & kField;
}

std::uint32_t CWhiteBalance::CRawRegister::CWhiteBalanceRawValue::operator()() {
    const std::uint32_t quadlet = detail::FeatureGet(
        *m_pBcam, kFeature,
        "CBcam::CWhiteBalance::CRawRegister::CWhiteBalanceRawValue::Operator()()");
    return (m_Index == 0 ? quadlet >> driver::kUbShift : quadlet) & kField;
}

CWhiteBalance::CRawRegister::CWhiteBalanceRawValue&
CWhiteBalance::CRawRegister::CWhiteBalanceRawValue::operator=(std::uint32_t value) {
    const std::uint32_t field = value & kField;
    detail::FeatureSet(*m_pBcam, kFeature, m_Index == 0 ? field << driver::kUbShift : field,
                       m_Index == 0 ? driver::kMaskUb : driver::kMaskVr,
                       "CBcam::CWhiteBalance::CRawRegister::CWhiteBalanceRawValue::operator=()");
    return *this;
}

double CWhiteBalance::CAbsValue::CWhiteBalanceAbsValue::operator()() {
    throw BcamException(codes::kNotImplemented,
                        "CBcam::CWhiteBalance::CAbsValue::CWhiteBalanceAbsValue::operator()()");
}

CWhiteBalance::CAbsValue::CWhiteBalanceAbsValue&
CWhiteBalance::CAbsValue::CWhiteBalanceAbsValue::operator=(double) {
    throw BcamException(codes::kNotImplemented,
                        "CBcam::CWhiteBalance::CAbsValue::CWhiteBalanceAbsValue::operator=()");
}

}  // namespace Bcam
