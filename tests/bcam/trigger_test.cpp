// The trigger: field masks of its accessors, mode and selector inquiries, contexts, and the
// on/off-first order of Save and Restore.
#include "feature_tables.h"

namespace fennex::test {
namespace {

constexpr std::uint32_t kAll = 0xCE00F000;  // presence, abs, read-out, on/off, polarity, modes 0-3
constexpr std::uint32_t kOn = 1u << 25;

Edit Trigger(std::uint32_t inquiry, std::uint32_t control = 0) {
    return Registers(drv::kTrigger, inquiry, control);
}
Words TriggerSet(std::uint32_t quadlet, std::uint32_t mask) { return FeatureSet(51, quadlet, mask); }
std::uint32_t Mode(CBcam& c, std::uint32_t m) { return c.Trigger.IsModeSupported(m); }
std::uint32_t Selectors(CBcam& c) {
    std::uint32_t mask = 0;
    for (Bcam::Inquiry which : {Bcam::inqPresence, Bcam::inqAbsControl, Bcam::inqReadOut,
                                Bcam::inqOnOff, Bcam::inqPolarity})
        if (c.Trigger.IsSupported(which)) mask |= 1u << which;
    return mask;
}

INSTANTIATE_TEST_SUITE_P(
    Trigger, RequestTable,
    testing::Values(
        RequestRow{"Mode17WritesMode1", Trigger(kAll), [](CBcam& c) { c.Trigger.Mode = 17; }, {TriggerSet(0x00010000, 0x200)}},
        RequestRow{"Parameter5000", Trigger(kAll), [](CBcam& c) { c.Trigger.Parameter = 5000; }, {TriggerSet(904, 0x400)}},
        RequestRow{"Polarity2WritesLow", Trigger(kAll), [](CBcam& c) { c.Trigger.Polarity = 2; }, {TriggerSet(0, 0x004)}},
        RequestRow{"Polarity1WritesHigh", Trigger(kAll), [](CBcam& c) { c.Trigger.Polarity = 1; }, {TriggerSet(1u << 24, 0x004)}},
        RequestRow{"OnOff", Trigger(kAll), [](CBcam& c) { c.Trigger.OnOff = true; }, {TriggerSet(kOn, 0x008)}},
        RequestRow{"AbsControl", Trigger(kAll), [](CBcam& c) { c.Trigger.AbsControl = true; }, {TriggerSet(1u << 30, 0x020)}},
        RequestRow{"ModeInquiry", Trigger(kAll), [](CBcam& c) { c.Trigger.IsModeSupported(0); }, {{drv::kFeatureInquiry, 51}}}),
    RowName());

INSTANTIATE_TEST_SUITE_P(
    Trigger, ReadTable,
    testing::Values(
        ReadRow{"Mode3On8E00F000", Trigger(0x8E00F000), [](CBcam& c) { return Mode(c, 3); }, 1},
        ReadRow{"Mode0Bit15", Trigger(0x80008000), [](CBcam& c) { return Mode(c, 0); }, 1},
        ReadRow{"Mode2Missing", Trigger(0x8000D000), [](CBcam& c) { return Mode(c, 2); }, 0},
        // Selectors 0, 1, 3, 4, 7 as a mask, bit n for selector n.
        ReadRow{"PolarityBit25", Trigger(0x82000000), Selectors, 0x81},
        ReadRow{"EachFlagItsBit", Trigger(0xFC000000), Selectors, 0x1B},
        ReadRow{"ModeField", Trigger(kAll, 0x02030ABC), [](CBcam& c) { return c.Trigger.Mode(); }, 3},
        ReadRow{"ParameterField", Trigger(kAll, 0x02030ABC), [](CBcam& c) { return c.Trigger.Parameter(); }, 0xABC},
        ReadRow{"PolarityHigh", Trigger(kAll, 1u << 24), [](CBcam& c) -> std::uint32_t { return c.Trigger.Polarity(); }, 1},
        ReadRow{"PolarityLow", Trigger(kAll, ~(1u << 24)), [](CBcam& c) -> std::uint32_t { return c.Trigger.Polarity(); }, 0},
        ReadRow{"OnOff", Trigger(kAll, kOn), [](CBcam& c) -> std::uint32_t { return c.Trigger.OnOff(); }, 1}),
    RowName());

INSTANTIATE_TEST_SUITE_P(
    Trigger, FailureTable,
    testing::Values(
        FailureRow{"Mode4", 0, [](CBcam& c) { c.Trigger.IsModeSupported(4); }, codes::kBadInquiry,
                   "CBcam::CTrigger::IsModeSupported()", 1},
        FailureRow{"AutoSelector", 0, [](CBcam& c) { c.Trigger.IsSupported(Bcam::inqAuto); },
                   codes::kBadInquiry, "CBcam::CTrigger::IsSupported()", 1},
        FailureRow{"Inquiry", drv::kFeatureInquiry, [](CBcam& c) { c.Trigger.IsSupported(Bcam::inqPresence); },
                   31, "CBcam::CTrigger::IsSupported()"},
        FailureRow{"ModeWrite", drv::kFeatureSet, [](CBcam& c) { c.Trigger.Mode = 1; }, 31,
                   "CBcam::CTrigger::CMode::Operator=()"},
        FailureRow{"ModeRead", drv::kFeatureGet, [](CBcam& c) { c.Trigger.Mode(); }, 31,
                   "CBcam::CTrigger::CMode::Operator()()"}),
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
