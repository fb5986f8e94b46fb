// White balance: two components in one register with a shared range, one failure of each
// kind, and the paired value keys of Save and Restore (which also decode and write the flags
// and both components).
#include "feature_tables.h"

namespace fennex::test {
namespace {

constexpr std::uint32_t P = drv::kInqPresence, kReadOut = drv::kInqReadOut,
                        kOnOff = drv::kInqOnOff, kAuto = drv::kInqAuto, kManual = drv::kInqManual;
constexpr std::uint32_t kOn = 1u << 25;

Edit WB(std::uint32_t inquiry, std::uint32_t control) {
    return Registers(drv::kWhiteBalance, inquiry, control);
}
const Edit kAll = WB(P | kReadOut | kOnOff | kAuto | kManual | (0x020u << 12) | 0xFFF, 0x02345678);

INSTANTIATE_TEST_SUITE_P(
    WhiteBalance, CallTable,
    testing::Values(
        CallRow{"UB", kAll, [](CBcam& c) { c.WhiteBalance.Raw.UB = 0x1234; }, 0,
                {FeatureSet(60, 0x00234000, 0x040)}},
        CallRow{"SharedMinAndMax", kAll,
                [](CBcam& c) { return c.WhiteBalance.Raw.Min() << 12 | c.WhiteBalance.Raw.Max(); },
                0x020FFF},
        CallRow{"BadSelector", {}, [](CBcam& c) { c.WhiteBalance.IsSupported(Bcam::inqPolarity); }, 0,
                {{drv::kFeatureInquiry, 60}}, codes::kBadInquiry, "CBcam::WhiteBalance::IsSupported()"},
        CallRow{"ComponentWrite", {}, [](CBcam& c) { c.WhiteBalance.Raw.UB = 3; }, 0, {}, 31,
                "CBcam::CWhiteBalance::CRawRegister::CWhiteBalanceRawValue::operator=()", drv::kFeatureSet},
        CallRow{"AbsRead", {}, [](CBcam& c) { c.WhiteBalance.Abs.VR(); }, 0, {}, codes::kNotImplemented,
                "CBcam::CWhiteBalance::CAbsValue::CWhiteBalanceAbsValue::operator()()"}),
    RowName());

constexpr std::uint32_t kManualRead = kManual | kReadOut;
Edit Caps(std::uint32_t caps, std::uint32_t control) { return WB(P | caps | 0xFFF, control); }

INSTANTIATE_TEST_SUITE_P(
    WhiteBalance, PersistTable,
    testing::ValuesIn(PersistRows(
        [](CBcam& c, Bcam::CPropertyBagPtr b) { c.WhiteBalance.Save(b); },
        [](CBcam& c, Bcam::CPropertyBagPtr b) { c.WhiteBalance.Restore(b); },
        [](sim::CameraDesc& d) { d.feature(drv::kWhiteBalance).control = 0; },
        {
            PersistRow{"Raw", Caps(kOnOff | kManualRead, kOn | 0x00345678),
                       {"W OnOff=true", "W RawValueUB=837", "W RawValueVR=1656"}, 0, {},
                       {"R OnOff", "R RawValueUB", "R RawValueVR"},
                       {FeatureSet(60, kOn, 0x008), FeatureSet(60, 0x345000, 0x040),
                        FeatureSet(60, 0x678, 0x080)}, 0},
            PersistRow{"Automatic", Caps(kAuto | kManualRead, 1u << 24), {"W AutoMode=true"}, 0, {},
                       {"R AutoMode"}, {FeatureSet(60, 1u << 24, 0x002)}, 0},
            PersistRow{"AbsoluteOn", Caps(kManualRead | drv::kInqAbsControl, 1u << 30),
                       {"W AbsControl=true"}, codes::kNotImplemented,
                       {{"AbsControl", "true"}, {"AbsValueUB", "1"}, {"AbsValueVR", "2"}},
                       {"R AbsControl", "R AbsValueUB"}, {}, codes::kNotImplemented},
        })),
    RowName());

}  // namespace
}  // namespace fennex::test
