#include "bcam/feature_request.h"

#include "bcam/cbcam.h"
#include "bcam/driver_contract.h"
#include "errors/error_codes.h"
#include "errors/exception.h"

namespace Bcam::detail {

std::uint32_t FeatureInquiry(CBcam& device, std::uint32_t feature, const char* context) {
    const driver::FeatureInquiryIn in{feature};
    std::uint32_t quadlet = 0;
    device.Transmit(context, driver::kFeatureInquiry, &in, sizeof in, &quadlet, sizeof quadlet);
    return quadlet;
}

std::uint32_t FeatureGet(CBcam& device, std::uint32_t feature, const char* context) {
    const driver::FeatureGetIn in{feature, 0};
    std::uint32_t quadlet = 0;
    device.Transmit(context, driver::kFeatureGet, &in, sizeof in, &quadlet, sizeof quadlet);
    return quadlet;
}

void FeatureSet(CBcam& device, std::uint32_t feature, std::uint32_t quadlet, std::uint32_t mask,
                const char* context) {
    const driver::FeatureSetIn in{feature, quadlet, mask};
    device.Transmit(context, driver::kFeatureSet, &in, sizeof in, nullptr, 0);
}

std::uint32_t StandardInquiryBit(Inquiry which) {
    switch (which) {
        case inqPresence: return driver::kInqPresence;
        case inqAbsControl: return driver::kInqAbsControl;
        case inqOnePush: return driver::kInqOnePush;
        case inqReadOut: return driver::kInqReadOut;
        case inqOnOff: return driver::kInqOnOff;
        case inqAuto: return driver::kInqAuto;
        case inqManual: return driver::kInqManual;
        default: return 0;
    }
}

void ThrowBadInquiry(std::uint32_t which, const char* context) {
    throw BcamException(codes::kBadInquiry, context, {static_cast<std::uintptr_t>(which)});
}

std::uint32_t BoolControl::Bit() const {
    switch (m_Kind) {
        case kOnOff: return driver::kCtlOnOff;
        case kAutoMode: return driver::kCtlAutoMode;
        default: return driver::kCtlAbsControl;
    }
}

std::uint32_t BoolControl::Mask() const {
    switch (m_Kind) {
        case kOnOff: return driver::kMaskOnOff;
        case kAutoMode: return driver::kMaskAutoMode;
        default: return driver::kMaskAbsControl;
    }
}

bool BoolControl::operator()() const {
    return (FeatureGet(*m_pBcam, m_Feature, m_ReadContext) & Bit()) != 0;
}

BoolControl& BoolControl::operator=(bool on) {
    FeatureSet(*m_pBcam, m_Feature, on ? Bit() : 0, Mask(), m_WriteContext);
    return *this;
}

}  // namespace Bcam::detail
