// The trigger: field masks of its accessors, mode and selector inquiries, one failure of each
// kind, and the on/off-first order of Save and Restore (which also decode mode, parameter and
// polarity and write them).
#include "feature_tables.h"

namespace fennex::test {
namespace {

constexpr std::uint32_t kAll = 0xCE00F000;  // presence, abs, read-out, on/off, polarity, modes 0-3
constexpr std::uint32_t kOn = 1u << 25;

std::uint32_t Modes(CBcam& c) {
    std::uint32_t mask = 0;
    for (std::uint32_t mode = 0; mode <= 3; ++mode)
        if (c.Trigger.IsModeSupported(mode)) mask |= 1u << mode;
    return mask;
}
std::uint32_t Selectors(CBcam& c) {
    std::uint32_t mask = 0;
    for (Bcam::Inquiry which : {Bcam::inqPresence, Bcam::inqAbsControl, Bcam::inqReadOut,
                                Bcam::inqOnOff, Bcam::inqPolarity})
        if (c.Trigger.IsSupported(which)) mask |= 1u << which;
    return mask;
}

INSTANTIATE_TEST_SUITE_P(
    Trigger, CallTable,
    testing::Values(
        CallRow{"Mode17WritesMode1", Trigger(kAll), [](CBcam& c) { c.Trigger.Mode = 17; }, 0,
                {TriggerSet(0x00010000, 0x200)}},
        CallRow{"Parameter5000", Trigger(kAll), [](CBcam& c) { c.Trigger.Parameter = 5000; }, 0,
                {TriggerSet(904, 0x400)}},
        CallRow{"Polarity2WritesLow", Trigger(kAll), [](CBcam& c) { c.Trigger.Polarity = 2; }, 0,
                {TriggerSet(0, 0x004)}},
        CallRow{"AbsControl", Trigger(kAll), [](CBcam& c) { c.Trigger.AbsControl = true; }, 0,
                {TriggerSet(1u << 30, 0x020)}},
        CallRow{"PolarityLow", Trigger(kAll, ~(1u << 24)), [](CBcam& c) { return c.Trigger.Polarity(); },
                0},
        // Modes 0..3 and selectors 0, 1, 3, 4, 7 as masks, bit n for mode or selector n.
        CallRow{"Modes0And1And3", Trigger(0x8000D000), Modes, 0x0B},
        CallRow{"PolarityBit25", Trigger(0x82000000), Selectors, 0x81},
        CallRow{"EachFlagItsBit", Trigger(0xFC000000), Selectors, 0x1B},
        CallRow{"Mode4", {}, [](CBcam& c) { c.Trigger.IsModeSupported(4); }, 0,
                {{drv::kFeatureInquiry, 51}},
                codes::kBadInquiry, "CBcam::CTrigger::IsModeSupported()"},
        CallRow{"AutoSelector", {}, [](CBcam& c) { c.Trigger.IsSupported(Bcam::inqAuto); }, 0,
                {{drv::kFeatureInquiry, 51}}, codes::kBadInquiry, "CBcam::CTrigger::IsSupported()"},
        CallRow{"ModeWrite", {}, [](CBcam& c) { c.Trigger.Mode = 1; }, 0, {}, 31,
                "CBcam::CTrigger::CMode::Operator=()", drv::kFeatureSet}),
    RowName());

INSTANTIATE_TEST_SUITE_P(
    Trigger, PersistTable,
    testing::ValuesIn(PersistRows(
        [](CBcam& c, Bcam::CPropertyBagPtr b) { c.Trigger.Save(b); },
        [](CBcam& c, Bcam::CPropertyBagPtr b) { c.Trigger.Restore(b); },
        [](sim::CameraDesc& d) { d.feature(drv::kTrigger).control = 0; },
        {
            PersistRow{"WithoutOnOff", Trigger(0x8A00F000, kOn | 0x00010005), {}, 0, {}, {}, {}, 0},
            PersistRow{"SwitchedOff", Trigger(kAll, 0x01010005), {"W OnOff=false"}, 0, {},
                       {"R OnOff"}, {TriggerSet(0, 0x008)}, 0},
            PersistRow{"WithoutReadOut", Trigger(0x8600F000, kOn | 0x00010005), {"W OnOff=true"}, 0,
                       {}, {"R OnOff"}, {TriggerSet(kOn, 0x008)}, 0},
            PersistRow{"WithoutPolarity", Trigger(0x8C00F000, kOn | 0x01020007),
                       {"W OnOff=true", "W Mode=2", "W Parameter=7"}, 0, {},
                       {"R OnOff", "R Mode", "R Parameter"},
                       {TriggerSet(kOn, 0x008), TriggerSet(0x20000, 0x200), TriggerSet(7, 0x400)}, 0},
            PersistRow{"Everything", Trigger(kAll, kOn | 0x01030009),
                       {"W OnOff=true", "W Mode=3", "W Parameter=9", "W Polarity=1"}, 0, {},
                       {"R OnOff", "R Mode", "R Parameter", "R Polarity"},
                       {TriggerSet(kOn, 0x008), TriggerSet(0x30000, 0x200), TriggerSet(9, 0x400),
                        TriggerSet(1u << 24, 0x004)}, 0},
        })),
    RowName());

}  // namespace
}  // namespace fennex::test
