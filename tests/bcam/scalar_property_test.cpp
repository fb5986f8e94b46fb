// Scalar properties: field masks, quadlet decoding, one failure of each kind, and the keys of
// Save and Restore for each set of capabilities (which also decode and write the flags).
#include "feature_tables.h"

namespace fennex::test {
namespace {

constexpr std::uint32_t P = drv::kInqPresence, kAbs = drv::kInqAbsControl,
                        kReadOut = drv::kInqReadOut, kOnOff = drv::kInqOnOff,
                        kAuto = drv::kInqAuto, kManual = drv::kInqManual;
constexpr std::uint32_t kAll = P | kAbs | drv::kInqOnePush | kReadOut | kOnOff | kAuto | kManual |
                               0xFFF;
constexpr std::uint32_t kOn = 1u << 25, kAutoOn = 1u << 24, kAbsOn = 1u << 30;

const Edit kGainAll = Registers(drv::kGain, kAll, 0);
Edit Shutter(std::uint32_t inquiry, std::uint32_t control = 0) {
    return Registers(drv::kShutter, inquiry, control);
}
std::uint32_t Selectors(CBcam& c) {
    std::uint32_t mask = 0;
    for (std::uint32_t which = Bcam::inqPresence; which <= Bcam::inqManual; ++which)
        if (c.Shutter.IsSupported(static_cast<Bcam::Inquiry>(which))) mask |= 1u << which;
    return mask;
}

INSTANTIATE_TEST_SUITE_P(
    Scalar, CallTable,
    testing::Values(
        CallRow{"Raw5000Sends904", kGainAll, [](CBcam& c) { c.Gain.Raw = 5000; }, 0,
                {FeatureSet(55, 904, 1)}},
        CallRow{"AbsControl", kGainAll, [](CBcam& c) { c.Gain.AbsControl = true; }, 0,
                {FeatureSet(55, kAbsOn, 0x020)}},
        CallRow{"Raw", Shutter(kAll, 0x43000ABC), [](CBcam& c) { return c.Shutter.Raw(); }, 0xABC,
                {{drv::kFeatureGet, drv::kShutter, 0}}},
        CallRow{"MinAndMax", Shutter(P | (0x123u << 12) | 0x456),
                [](CBcam& c) { return c.Shutter.Raw.Min() << 12 | c.Shutter.Raw.Max(); }, 0x123456},
        // Selectors 0..6 as a mask, bit n for selector n.
        CallRow{"OnePushIsBit28", Shutter(P | 1u << 28), Selectors, 0x05},
        CallRow{"EachFlagItsBit", Shutter(P | kAbs | kReadOut | kOnOff | kAuto | kManual), Selectors, 0x7B},
        CallRow{"PolaritySelector", {}, [](CBcam& c) { c.Hue.IsSupported(Bcam::inqPolarity); }, 0,
                {{drv::kFeatureInquiry, drv::kHue}}, codes::kBadInquiry,
                "CBcam::CScalarProperty::IsSupported()"},
        CallRow{"AbsRead", {}, [](CBcam& c) { c.Hue.Abs(); }, 0, {}, codes::kNotImplemented,
                "CBcam::CScalarProperty::CAbsValue::operator()()"},
        CallRow{"RawWrite", {}, [](CBcam& c) { c.Hue.Raw = 1; }, 0, {}, 31,
                "CBcam::CScalarProperty::CRawRegister::operator=()", drv::kFeatureSet}),
    RowName());

// Gamma with these capabilities (range 0..4095) in this state; restored into value 1, all off.
Edit Gamma(std::uint32_t caps, std::uint32_t control) {
    return Registers(drv::kGamma, P | caps | 0xFFF, control);
}
Words GammaSet(std::uint32_t quadlet, std::uint32_t mask) { return FeatureSet(57, quadlet, mask); }
constexpr std::uint32_t kAllButAbs = kOnOff | kAuto | kManual | kReadOut;

INSTANTIATE_TEST_SUITE_P(
    Scalar, PersistTable,
    testing::ValuesIn(PersistRows(
        [](CBcam& c, Bcam::CPropertyBagPtr b) { c.Gamma.Save(b); },
        [](CBcam& c, Bcam::CPropertyBagPtr b) { c.Gamma.Restore(b); },
        [](sim::CameraDesc& d) { d.feature(drv::kGamma).control = 1; },
        {
            PersistRow{"SwitchedOff", Gamma(kAllButAbs, 0x123), {"W OnOff=false"}, 0, {},
                       {"R OnOff"}, {GammaSet(0, 0x008)}, 0},
            PersistRow{"Automatic", Gamma(kAllButAbs, kOn | kAutoOn | 0x123),
                       {"W OnOff=true", "W AutoMode=true"}, 0, {}, {"R OnOff", "R AutoMode"},
                       {GammaSet(kOn, 0x008), GammaSet(kAutoOn, 0x002)}, 0},
            PersistRow{"Manual", Gamma(kAllButAbs, kOn | 0x123),
                       {"W OnOff=true", "W AutoMode=false", "W RawValue=291"}, 0, {},
                       {"R OnOff", "R AutoMode", "R RawValue"},
                       {GammaSet(kOn, 0x008), GammaSet(0, 0x002), GammaSet(0x123, 0x001)}, 0},
            PersistRow{"ManualWithoutReadOut", Gamma(kManual, 0x7FF), {}, 0, {}, {}, {}, 0},
            // The flag only chooses the value key; it is never written to the camera.
            PersistRow{"AbsoluteOff", Gamma(kManual | kReadOut | kAbs, 0x042),
                       {"W AbsControl=false", "W RawValue=66"}, 0, {}, {"R AbsControl", "R RawValue"},
                       {GammaSet(0x042, 0x001)}, 0},
            // Absolute values are not implemented: Save ends after the flag, Restore after the
            // value has been read.
            PersistRow{"AbsoluteOn", Gamma(kManual | kReadOut | kAbs, kAbsOn | 0x042),
                       {"W AbsControl=true"}, codes::kNotImplemented,
                       {{"AbsControl", "true"}, {"AbsValue", "1.5"}}, {"R AbsControl", "R AbsValue"},
                       {}, codes::kNotImplemented},
            // The camera's capabilities choose the keys, not the stored data.
            PersistRow{"StoredAutoIgnoredWithoutCapability", Gamma(kOnOff | kManual | kReadOut, kOn),
                       {"W OnOff=true", "W RawValue=0"}, 0,
                       {{"OnOff", "TRUE"}, {"AutoMode", "true"}, {"RawValue", "4100"}},
                       {"R OnOff", "R RawValue"}, {GammaSet(kOn, 0x008), GammaSet(4, 0x001)}, 0},
        })),
    RowName());

}  // namespace
}  // namespace fennex::test
