// The three feature-level requests (inquiry, get, set) and the bool control that the scalar
// properties, the white balance and the trigger share. Each call is one driver request.
#pragma once

#include <cstdint>

namespace Bcam {

class CBcam;

// Selects a flag of a feature's inquiry quadlet (IsSupported).
enum Inquiry : std::uint32_t {
    inqPresence = 0,
    inqAbsControl = 1,
    inqOnePush = 2,
    inqReadOut = 3,
    inqOnOff = 4,
    inqAuto = 5,
    inqManual = 6,
    inqPolarity = 7,  // trigger only
};

namespace detail {

std::uint32_t FeatureInquiry(CBcam& device, std::uint32_t feature, const char* context);
std::uint32_t FeatureGet(CBcam& device, std::uint32_t feature, const char* context);
void FeatureSet(CBcam& device, std::uint32_t feature, std::uint32_t quadlet, std::uint32_t mask,
                const char* context);

// The inquiry bit of the selectors 0..6 that every feature knows (inqPolarity excluded).
std::uint32_t StandardInquiryBit(Inquiry which);

// Raises the library's bad-selector error with the selector as insert %1.
[[noreturn]] void ThrowBadInquiry(std::uint32_t which, const char* context);

// One flag of a feature's status/control register: on/off, automatic mode or absolute
// control. The owning feature supplies the contexts of its failures.
class BoolControl {
public:
    enum Kind : std::uint32_t { kOnOff = 0, kAutoMode = 1, kAbsControl = 2 };

    BoolControl(CBcam& device, std::uint32_t feature, Kind kind, const char* readContext,
                const char* writeContext)
        : m_pBcam(&device), m_Feature(feature), m_Kind(kind), m_ReadContext(readContext),
          m_WriteContext(writeContext) {}
    BoolControl(const BoolControl&) = delete;
    BoolControl& operator=(const BoolControl&) = delete;

    bool operator()() const;
    BoolControl& operator=(bool on);

private:
    std::uint32_t Bit() const;
    std::uint32_t Mask() const;

    CBcam* m_pBcam;
    std::uint32_t m_Feature;
    Kind m_Kind;
    const char* m_ReadContext;
    const char* m_WriteContext;
};

}  // namespace detail
}  // namespace Bcam
