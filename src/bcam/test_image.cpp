#include "bcam/test_image.h"

#include "bcam/cbcam.h"
#include "bcam/driver_contract.h"
#include "errors/error_codes.h"
#include "errors/exception.h"
#include "platform/last_error.h"

namespace Bcam {

namespace {
constexpr std::uint32_t kHasTestImages = 1u << 31;
constexpr int kSelectionShift = 13;
constexpr std::uint32_t kSelectionField = 7;
}  // namespace

bool CTestImage::IsSupported(int image) {
    static constexpr const char* kContext = "CBcam::CTestImage::IsSupported()";
    if (image < 0 || image > 7)
        throw BcamException(codes::kBadInquiry, kContext,
                            {static_cast<std::uintptr_t>(static_cast<std::uint32_t>(image))});
    std::uint32_t quadlet = 0;
    if (!m_pBcam->TryTransmit(driver::kTestImageGet, nullptr, 0, &quadlet, sizeof quadlet)) {
        // Driver status codes arrive with the customer bit set.
        const std::uint32_t error = fennex::platform::LastError();
        const std::uint32_t status = error & ~codes::kCustomerBit;
        if (status == codes::kDriverNoTestImage || status == codes::kDriverNotSupported)
            return false;
        throw BcamException(error, kContext);
    }
    if ((quadlet & kHasTestImages) == 0) return false;
    if (image == 0) return true;
    return (quadlet & (1u << (24 - image))) != 0;
}

CTestImage& CTestImage::operator=(int image) {
    static constexpr const char* kContext = "CBcam::CTestImage::operator=()";
    if (!IsSupported(image))
        throw BcamException(codes::kTestImageUnavailable, kContext,
                            {static_cast<std::uintptr_t>(static_cast<std::uint32_t>(image))});
    const driver::TestImageSetIn in{(static_cast<std::uint32_t>(image) & kSelectionField)
                                    << kSelectionShift};
    m_pBcam->Transmit(kContext, driver::kTestImageSet, &in, sizeof in, nullptr, 0);
    return *this;
}

int CTestImage::operator()() {
    std::uint32_t quadlet = 0;
    m_pBcam->Transmit("CBcam::CTestImage::operator()()", driver::kTestImageGet, nullptr, 0,
                      &quadlet, sizeof quadlet);
    return static_cast<int>((quadlet >> kSelectionShift) & kSelectionField);
}

void CTestImage::Save(CPropertyBagPtr bag) { bag->WriteLong("Value", operator()()); }

void CTestImage::Restore(CPropertyBagPtr bag) { *this = static_cast<int>(bag->ReadLong("Value")); }

}  // namespace Bcam
