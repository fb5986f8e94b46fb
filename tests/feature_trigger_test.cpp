// The trigger: requests and field masks of its accessors, the mode and selector inquiries,
// contexts, and the on/off-first order of Save and Restore.
#include <gtest/gtest.h>

#include <functional>

#include "settings_test_support.h"
#include "sim_camera_fixture.h"

namespace {

using Bcam::CBcam;
using fennex_test::Catch;
using fennex_test::SentTo;
namespace drv = Bcam::driver;
namespace codes = Bcam::codes;

using Words = std::vector<std::uint32_t>;

constexpr std::uint32_t kAll = 0xCE00F000;  // presence, abs, read-out, on/off, polarity, modes 0-3

struct RequestCase {
    const char* name;
    std::function<void(CBcam&)> call;
    Words request;
};

class TriggerRequest : public fennex_test::SimCameraTest<RequestCase> {};

TEST_P(TriggerRequest, SendsExactlyThisRequest) {
    Open(fennex_test::kColourCamera);
    EditFeature(drv::kTrigger, kAll, 0);
    sim::ClearRequests();
    GetParam().call(camera_);
    EXPECT_EQ(SentTo(name_), std::vector<Words>{GetParam().request});
}

INSTANTIATE_TEST_SUITE_P(
    Accessors, TriggerRequest,
    testing::Values(
        RequestCase{"ModeKeepsLowFourBits", [](CBcam& c) { c.Trigger.Mode = 17; },
                    {drv::kFeatureSet, 51, 0x00010000, 0x200}},
        RequestCase{"Mode3", [](CBcam& c) { c.Trigger.Mode = 3; },
                    {drv::kFeatureSet, 51, 0x00030000, 0x200}},
        RequestCase{"ParameterDropsHighBits", [](CBcam& c) { c.Trigger.Parameter = 5000; },
                    {drv::kFeatureSet, 51, 904, 0x400}},
        RequestCase{"Polarity2WritesLow", [](CBcam& c) { c.Trigger.Polarity = 2; },
                    {drv::kFeatureSet, 51, 0, 0x004}},
        RequestCase{"Polarity1WritesHigh", [](CBcam& c) { c.Trigger.Polarity = 1; },
                    {drv::kFeatureSet, 51, 1u << 24, 0x004}},
        RequestCase{"OnOff", [](CBcam& c) { c.Trigger.OnOff = true; },
                    {drv::kFeatureSet, 51, 1u << 25, 0x008}},
        RequestCase{"AbsControl", [](CBcam& c) { c.Trigger.AbsControl = true; },
                    {drv::kFeatureSet, 51, 1u << 30, 0x020}},
        RequestCase{"ModeRead", [](CBcam& c) { (void)c.Trigger.Mode(); },
                    {drv::kFeatureGet, 51, 0}},
        RequestCase{"ModeInquiry", [](CBcam& c) { (void)c.Trigger.IsModeSupported(0); },
                    {drv::kFeatureInquiry, 51}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReadCase {
    const char* name;
    std::uint32_t inquiry;
    std::uint32_t control;
    std::function<std::uint32_t(CBcam&)> read;
    std::uint32_t expected;
};

class TriggerRead : public fennex_test::SimCameraTest<ReadCase> {};

TEST_P(TriggerRead, DecodesTheQuadlet) {
    Open(fennex_test::kColourCamera);
    EditFeature(drv::kTrigger, GetParam().inquiry, GetParam().control);
    EXPECT_EQ(GetParam().read(camera_), GetParam().expected);
}

std::uint32_t Mode(CBcam& c, std::uint32_t m) { return c.Trigger.IsModeSupported(m); }
std::uint32_t Has(CBcam& c, Bcam::Inquiry i) { return c.Trigger.IsSupported(i); }

INSTANTIATE_TEST_SUITE_P(
    Quadlets, TriggerRead,
    testing::Values(
        ReadCase{"Mode3On8E00F000", 0x8E00F000, 0, [](CBcam& c) { return Mode(c, 3); }, 1},
        ReadCase{"Mode0Bit15", 0x80008000, 0, [](CBcam& c) { return Mode(c, 0); }, 1},
        ReadCase{"Mode1Bit14", 0x80004000, 0, [](CBcam& c) { return Mode(c, 1); }, 1},
        ReadCase{"Mode2Bit13", 0x80002000, 0, [](CBcam& c) { return Mode(c, 2); }, 1},
        ReadCase{"Mode2Missing", 0x8000D000, 0, [](CBcam& c) { return Mode(c, 2); }, 0},
        ReadCase{"PolarityBit25", 0x82000000, 0,
                 [](CBcam& c) { return Has(c, Bcam::inqPolarity); }, 1},
        ReadCase{"PolarityMissing", 0xFC000000 & ~0x02000000u, 0,
                 [](CBcam& c) { return Has(c, Bcam::inqPolarity); }, 0},
        ReadCase{"ReadOutBit27", 0x88000000, 0,
                 [](CBcam& c) { return Has(c, Bcam::inqReadOut); }, 1},
        ReadCase{"OnOffBit26", 0x84000000, 0, [](CBcam& c) { return Has(c, Bcam::inqOnOff); }, 1},
        ReadCase{"AbsBit30", 0xC0000000, 0,
                 [](CBcam& c) { return Has(c, Bcam::inqAbsControl); }, 1},
        ReadCase{"ModeField", kAll, 0x02030ABC, [](CBcam& c) { return c.Trigger.Mode(); }, 3},
        ReadCase{"ParameterField", kAll, 0x02030ABC,
                 [](CBcam& c) { return c.Trigger.Parameter(); }, 0xABC},
        ReadCase{"PolarityHigh", kAll, 1u << 24,
                 [](CBcam& c) { return static_cast<std::uint32_t>(c.Trigger.Polarity()); }, 1},
        ReadCase{"PolarityLow", kAll, ~(1u << 24),
                 [](CBcam& c) { return static_cast<std::uint32_t>(c.Trigger.Polarity()); }, 0},
        ReadCase{"OnOffRead", kAll, 1u << 25,
                 [](CBcam& c) -> std::uint32_t { return c.Trigger.OnOff(); }, 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct FailureCase {
    const char* name;
    std::function<void(CBcam&)> call;
    std::uint32_t faultCode;
    std::uint32_t error;
    const char* context;
};

class TriggerFailure : public fennex_test::SimCameraTest<FailureCase> {};

TEST_P(TriggerFailure, RaisesWithCodeAndContext) {
    Open(fennex_test::kColourCamera);
    if (GetParam().faultCode) fennex_test::FailNext(GetParam().faultCode, 31);
    const auto caught = Catch([&] { GetParam().call(camera_); });
    EXPECT_TRUE(caught.thrown);
    EXPECT_EQ(caught.code, GetParam().error);
    EXPECT_EQ(caught.context, GetParam().context);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, TriggerFailure,
    testing::Values(
        FailureCase{"Mode4", [](CBcam& c) { c.Trigger.IsModeSupported(4); }, 0, codes::kBadInquiry,
                    "CBcam::CTrigger::IsModeSupported()"},
        FailureCase{"OnePushSelector", [](CBcam& c) { c.Trigger.IsSupported(Bcam::inqOnePush); },
                    0, codes::kBadInquiry, "CBcam::CTrigger::IsSupported()"},
        FailureCase{"AutoSelector", [](CBcam& c) { c.Trigger.IsSupported(Bcam::inqAuto); }, 0,
                    codes::kBadInquiry, "CBcam::CTrigger::IsSupported()"},
        FailureCase{"ManualSelector", [](CBcam& c) { c.Trigger.IsSupported(Bcam::inqManual); }, 0,
                    codes::kBadInquiry, "CBcam::CTrigger::IsSupported()"},
        FailureCase{"SelectorAbove7",
                    [](CBcam& c) { c.Trigger.IsSupported(static_cast<Bcam::Inquiry>(8)); }, 0,
                    codes::kBadInquiry, "CBcam::CTrigger::IsSupported()"},
        FailureCase{"InquiryFails", [](CBcam& c) { c.Trigger.IsSupported(Bcam::inqPresence); },
                    drv::kFeatureInquiry, 31, "CBcam::CTrigger::IsSupported()"},
        FailureCase{"ModeInquiryFails", [](CBcam& c) { c.Trigger.IsModeSupported(1); },
                    drv::kFeatureInquiry, 31, "CBcam::CTrigger::IsModeSupported()"},
        FailureCase{"ModeWriteFails", [](CBcam& c) { c.Trigger.Mode = 1; }, drv::kFeatureSet, 31,
                    "CBcam::CTrigger::CMode::Operator=()"},
        FailureCase{"ModeReadFails", [](CBcam& c) { c.Trigger.Mode(); }, drv::kFeatureGet, 31,
                    "CBcam::CTrigger::CMode::Operator()()"},
        FailureCase{"ParameterWriteFails", [](CBcam& c) { c.Trigger.Parameter = 1; },
                    drv::kFeatureSet, 31, "CBcam::CTrigger::CParameter::operator=()"},
        FailureCase{"ParameterReadFails", [](CBcam& c) { c.Trigger.Parameter(); },
                    drv::kFeatureGet, 31, "CBcam::CTrigger::CParameter::Operator()()"},
        FailureCase{"PolarityWriteFails", [](CBcam& c) { c.Trigger.Polarity = 1; },
                    drv::kFeatureSet, 31, "CBcam::CTrigger::CPolarity::operator=()"},
        FailureCase{"PolarityReadFails", [](CBcam& c) { c.Trigger.Polarity(); }, drv::kFeatureGet,
                    31, "CBcam::CTrigger::CPolarity::Operator()()"},
        FailureCase{"BoolReadFails", [](CBcam& c) { c.Trigger.OnOff(); }, drv::kFeatureGet, 31,
                    "CBcam::CTrigger::CBoolControl::Operator()()"},
        FailureCase{"BoolWriteFails", [](CBcam& c) { c.Trigger.AbsControl = true; },
                    drv::kFeatureSet, 31, "CBcam::CTrigger::CBoolControl::operator=()"}),
    [](const auto& info) { return std::string(info.param.name); });

struct PersistCase {
    const char* name;
    std::uint32_t inquiry;
    std::uint32_t control;
    std::vector<std::string> saveLog;
    std::vector<std::string> restoreLog;
    std::vector<Words> restoreSets;  // quadlet, mask, in the order sent
};

class TriggerPersist : public fennex_test::SimCameraTest<PersistCase> {};

TEST_P(TriggerPersist, OnOffFirstThenWhatReadOutAllows) {
    const PersistCase& c = GetParam();
    Open(fennex_test::kColourCamera);
    EditFeature(drv::kTrigger, c.inquiry, c.control);
    fennex_test::RecordingBag::Store store;
    camera_.Trigger.Save(fennex_test::RecordingBag::Make(store, "Trigger"));
    EXPECT_EQ(store.log, c.saveLog);

    EditFeature(drv::kTrigger, c.inquiry, 0);
    store.log.clear();
    sim::ClearRequests();
    camera_.Trigger.Restore(fennex_test::RecordingBag::Make(store, "Trigger"));
    EXPECT_EQ(store.log, c.restoreLog);
    std::vector<Words> sets;
    for (const Words& w : SentTo(name_, drv::kFeatureSet)) sets.push_back({w.at(1), w.at(2)});
    EXPECT_EQ(sets, c.restoreSets);
}

constexpr std::uint32_t kOn = 1u << 25;

INSTANTIATE_TEST_SUITE_P(
    Capabilities, TriggerPersist,
    testing::Values(
        PersistCase{"WithoutOnOff", 0x8A00F000, kOn | 0x00010005, {}, {}, {}},
        PersistCase{"SwitchedOff", kAll, 0x01010005, {"W OnOff=false"}, {"R OnOff"},
                    {{0, 0x008}}},
        PersistCase{"WithoutReadOut", 0x8600F000, kOn | 0x00010005, {"W OnOff=true"},
                    {"R OnOff"}, {{kOn, 0x008}}},
        PersistCase{"WithoutPolarity", 0x8C00F000, kOn | 0x01020007,
                    {"W OnOff=true", "W Mode=2", "W Parameter=7"},
                    {"R OnOff", "R Mode", "R Parameter"},
                    {{kOn, 0x008}, {0x20000, 0x200}, {7, 0x400}}},
        PersistCase{"Everything", kAll, kOn | 0x01030009,
                    {"W OnOff=true", "W Mode=3", "W Parameter=9", "W Polarity=1"},
                    {"R OnOff", "R Mode", "R Parameter", "R Polarity"},
                    {{kOn, 0x008}, {0x30000, 0x200}, {9, 0x400}, {1u << 24, 0x004}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
