// The trigger feature: external triggering on or off, trigger mode, parameter and polarity.
#pragma once

#include <cstdint>

#include "bcam/feature_request.h"
#include "settings/property_bag.h"

namespace Bcam {

class CBcam;

class CTrigger {
public:
    using CBoolControl = detail::BoolControl;

    // 0 low active, 1 high active; only the lowest bit of a written value counts.
    class CPolarity {
    public:
        explicit CPolarity(CBcam& device) : m_pBcam(&device) {}
        CPolarity(const CPolarity&) = delete;
        CPolarity& operator=(const CPolarity&) = delete;

        std::int32_t operator()();
        CPolarity& operator=(std::int32_t value);

    private:
        CBcam* m_pBcam;
    };

    // Trigger mode 0..15; not checked against IsModeSupported.
    class CMode {
    public:
        explicit CMode(CBcam& device) : m_pBcam(&device) {}
        CMode(const CMode&) = delete;
        CMode& operator=(const CMode&) = delete;

        std::uint32_t operator()();
        CMode& operator=(std::uint32_t mode);

    private:
        CBcam* m_pBcam;
    };

    // 12-bit trigger parameter.
    class CParameter {
    public:
        explicit CParameter(CBcam& device) : m_pBcam(&device) {}
        CParameter(const CParameter&) = delete;
        CParameter& operator=(const CParameter&) = delete;

        std::uint32_t operator()();
        CParameter& operator=(std::uint32_t value);

    private:
        CBcam* m_pBcam;
    };

    explicit CTrigger(CBcam& device);
    CTrigger(const CTrigger&) = delete;
    CTrigger& operator=(const CTrigger&) = delete;

    // inqPresence, inqAbsControl, inqReadOut, inqOnOff, inqPolarity; others raise 0xCFF00005
    // after the inquiry.
    bool IsSupported(Inquiry which);
    // Modes 0..3; above raises 0xCFF00005 after the inquiry.
    bool IsModeSupported(std::uint32_t mode);

    // On/off, then (with read-out) mode, parameter and, with that capability, polarity.
    // Absolute control is neither saved nor restored.
    void Save(CPropertyBagPtr bag);
    void Restore(CPropertyBagPtr bag);

private:
    CBcam* m_pBcam;

public:
    CBoolControl AbsControl;
    CBoolControl OnOff;
    CPolarity Polarity;
    CMode Mode;
    CParameter Parameter;
};

}  // namespace Bcam
