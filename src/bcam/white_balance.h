// The white balance feature: one register with two 12-bit components, U/B and V/R, that share
// the feature's range.
#pragma once

#include <cstdint>

#include "bcam/feature_request.h"
#include "settings/property_bag.h"

namespace Bcam {

class CBcam;

class CWhiteBalance {
public:
    using CBoolControl = detail::BoolControl;

    class CRawRegister {
    public:
        // One component; writing it changes that component alone.
        class CWhiteBalanceRawValue {
        public:
            CWhiteBalanceRawValue(CBcam& device, std::uint32_t index)
                : m_pBcam(&device), m_Index(index) {}
            CWhiteBalanceRawValue(const CWhiteBalanceRawValue&) = delete;
            CWhiteBalanceRawValue& operator=(const CWhiteBalanceRawValue&) = delete;

            std::uint32_t operator()();
            CWhiteBalanceRawValue& operator=(std::uint32_t value);

        private:
            CBcam* m_pBcam;
            std::uint32_t m_Index;  // 0 U/B, 1 V/R
        };

        explicit CRawRegister(CBcam& device) : UB(device, 0), VR(device, 1), m_pBcam(&device) {}
        CRawRegister(const CRawRegister&) = delete;
        CRawRegister& operator=(const CRawRegister&) = delete;

        // The range of both components.
        std::uint32_t Min();
        std::uint32_t Max();

        CWhiteBalanceRawValue UB;
        CWhiteBalanceRawValue VR;

    private:
        CBcam* m_pBcam;
    };

    // Absolute values are not available on this driver: every access raises 0x80004001.
    class CAbsValue {
    public:
        class CWhiteBalanceAbsValue {
        public:
            CWhiteBalanceAbsValue() = default;
            CWhiteBalanceAbsValue(const CWhiteBalanceAbsValue&) = delete;
            CWhiteBalanceAbsValue& operator=(const CWhiteBalanceAbsValue&) = delete;

            double operator()();
            CWhiteBalanceAbsValue& operator=(double value);
        };

        CWhiteBalanceAbsValue UB;
        CWhiteBalanceAbsValue VR;
    };

    explicit CWhiteBalance(CBcam& device);
    CWhiteBalance(const CWhiteBalance&) = delete;
    CWhiteBalance& operator=(const CWhiteBalance&) = delete;

    bool IsSupported(Inquiry which);

    // As a scalar property's, with the value keys in pairs, U/B first.
    void Save(CPropertyBagPtr bag);
    void Restore(CPropertyBagPtr bag);

private:
    CBcam* m_pBcam;

public:
    CBoolControl AbsControl;
    CBoolControl AutoMode;
    CBoolControl OnOff;
    CRawRegister Raw;
    CAbsValue Abs;
};

}  // namespace Bcam
