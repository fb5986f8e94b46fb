// A camera feature with one 12-bit value: Shutter, Gain, Brightness, Hue, Saturation, Gamma.
// Nothing is cached: every read asks the camera, every write goes to it at once.
#pragma once

#include <cstdint>

#include "bcam/feature_request.h"
#include "settings/property_bag.h"

namespace Bcam {

class CBcam;

class CScalarProperty {
public:
    using CBoolControl = detail::BoolControl;

    class CRawRegister {
    public:
        CRawRegister(CBcam& device, std::uint32_t feature) : m_pBcam(&device), m_Feature(feature) {}
        CRawRegister(const CRawRegister&) = delete;
        CRawRegister& operator=(const CRawRegister&) = delete;

        std::uint32_t Min();
        std::uint32_t Max();
        std::uint32_t operator()();
        // Not checked against Min/Max; bits above the 12-bit field are dropped.
        CRawRegister& operator=(std::uint32_t value);

    private:
        CBcam* m_pBcam;
        std::uint32_t m_Feature;
    };

    // Absolute values are not available on this driver: both directions raise 0x80004001
    // without a request, so the accessor needs no state.
    class CAbsValue {
    public:
        CAbsValue() = default;
        CAbsValue(const CAbsValue&) = delete;
        CAbsValue& operator=(const CAbsValue&) = delete;

        double operator()();
        CAbsValue& operator=(double value);
    };

    CScalarProperty(CBcam& device, std::uint32_t featureCode);
    CScalarProperty(const CScalarProperty&) = delete;
    CScalarProperty& operator=(const CScalarProperty&) = delete;

    // One inquiry request; inqPolarity and anything above raise 0xCFF00005 after it.
    bool IsSupported(Inquiry which);

    // Saves and restores the state the camera's capabilities call for, in the fixed order
    // on/off, automatic mode, then absolute control or the raw value.
    void Save(CPropertyBagPtr bag);
    void Restore(CPropertyBagPtr bag);

    std::uint32_t FeatureCode() const { return m_FeatureCode; }

private:
    std::uint32_t m_FeatureCode;
    CBcam* m_pBcam;

public:
    CBoolControl AbsControl;
    CBoolControl AutoMode;
    CBoolControl OnOff;
    CRawRegister Raw;
    CAbsValue Abs;
};

}  // namespace Bcam
