// Scalar properties: the requests each accessor sends, what it reads out of the camera's
// quadlets, its failures, and which keys Save and Restore touch for each capability set.
#include <gtest/gtest.h>

#include <functional>

#include "settings_test_support.h"
#include "sim_camera_fixture.h"

namespace {

using Bcam::CBcam;
using Bcam::CScalarProperty;
using fennex_test::Catch;
using fennex_test::SentTo;
namespace drv = Bcam::driver;
namespace codes = Bcam::codes;

using Words = std::vector<std::uint32_t>;

constexpr std::uint32_t kPresent = drv::kInqPresence;
constexpr std::uint32_t kAllCaps = kPresent | drv::kInqAbsControl | drv::kInqOnePush |
                                   drv::kInqReadOut | drv::kInqOnOff | drv::kInqAuto |
                                   drv::kInqManual | (0x010u << 12) | 0xFFFu;

// --- each member talks to its own feature

struct MemberCase {
    const char* name;
    CScalarProperty CBcam::*member;
    std::uint32_t featureCode;
};

class ScalarMember : public fennex_test::SimCameraTest<MemberCase> {};

TEST_P(ScalarMember, RawWriteNamesTheMembersFeature) {
    Open(fennex_test::kColourCamera);
    (camera_.*GetParam().member).Raw = 1;
    EXPECT_EQ(SentTo(name_), (std::vector<Words>{{drv::kFeatureSet, GetParam().featureCode, 1, 1}}));
}

INSTANTIATE_TEST_SUITE_P(
    Members, ScalarMember,
    testing::Values(MemberCase{"Shutter", &CBcam::Shutter, 56}, MemberCase{"Gain", &CBcam::Gain, 55},
                    MemberCase{"Brightness", &CBcam::Brightness, 63},
                    MemberCase{"Hue", &CBcam::Hue, 59},
                    MemberCase{"Saturation", &CBcam::Saturation, 58},
                    MemberCase{"Gamma", &CBcam::Gamma, 57}),
    [](const auto& info) { return std::string(info.param.name); });

// --- one request per call, with these words

struct RequestCase {
    const char* name;
    std::function<void(CBcam&)> call;
    Words request;  // code, then the input words
};

class ScalarRequest : public fennex_test::SimCameraTest<RequestCase> {};

TEST_P(ScalarRequest, SendsExactlyThisRequest) {
    Open(fennex_test::kColourCamera);
    EditFeature(drv::kGain, kAllCaps, 0);
    GetParam().call(camera_);
    EXPECT_EQ(SentTo(name_), std::vector<Words>{GetParam().request});
}

INSTANTIATE_TEST_SUITE_P(
    Accessors, ScalarRequest,
    testing::Values(
        RequestCase{"RawDropsHighBits", [](CBcam& c) { c.Gain.Raw = 5000; },
                    {drv::kFeatureSet, 55, 904, 0x001}},
        RequestCase{"RawWrite", [](CBcam& c) { c.Gain.Raw = 0xFFF; },
                    {drv::kFeatureSet, 55, 0xFFF, 0x001}},
        RequestCase{"OnOffTrue", [](CBcam& c) { c.Gain.OnOff = true; },
                    {drv::kFeatureSet, 55, 1u << 25, 0x008}},
        RequestCase{"OnOffFalse", [](CBcam& c) { c.Gain.OnOff = false; },
                    {drv::kFeatureSet, 55, 0, 0x008}},
        RequestCase{"AutoModeTrue", [](CBcam& c) { c.Gain.AutoMode = true; },
                    {drv::kFeatureSet, 55, 1u << 24, 0x002}},
        RequestCase{"AbsControlTrue", [](CBcam& c) { c.Gain.AbsControl = true; },
                    {drv::kFeatureSet, 55, 1u << 30, 0x020}},
        RequestCase{"RawRead", [](CBcam& c) { (void)c.Gain.Raw(); }, {drv::kFeatureGet, 55, 0}},
        RequestCase{"OnOffRead", [](CBcam& c) { (void)c.Gain.OnOff(); },
                    {drv::kFeatureGet, 55, 0}},
        RequestCase{"Min", [](CBcam& c) { (void)c.Gain.Raw.Min(); }, {drv::kFeatureInquiry, 55}},
        RequestCase{"Max", [](CBcam& c) { (void)c.Gain.Raw.Max(); }, {drv::kFeatureInquiry, 55}},
        RequestCase{"IsSupported", [](CBcam& c) { (void)c.Gain.IsSupported(Bcam::inqAuto); },
                    {drv::kFeatureInquiry, 55}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- reads decode the camera's quadlets

struct ReadCase {
    const char* name;
    std::uint32_t inquiry;
    std::uint32_t control;
    std::function<std::uint32_t(CBcam&)> read;
    std::uint32_t expected;
};

class ScalarRead : public fennex_test::SimCameraTest<ReadCase> {};

TEST_P(ScalarRead, DecodesTheQuadlet) {
    Open(fennex_test::kColourCamera);
    EditFeature(drv::kShutter, GetParam().inquiry, GetParam().control);
    EXPECT_EQ(GetParam().read(camera_), GetParam().expected);
}

std::uint32_t Supported(CBcam& c, Bcam::Inquiry which) { return c.Shutter.IsSupported(which); }

INSTANTIATE_TEST_SUITE_P(
    Quadlets, ScalarRead,
    testing::Values(
        ReadCase{"Min", kPresent | drv::kInqManual | (0x123u << 12) | 0x456u, 0,
                 [](CBcam& c) { return c.Shutter.Raw.Min(); }, 0x123},
        ReadCase{"Max", kPresent | drv::kInqManual | (0x123u << 12) | 0x456u, 0,
                 [](CBcam& c) { return c.Shutter.Raw.Max(); }, 0x456},
        ReadCase{"RawIgnoresOtherFields", kAllCaps, 0x43000ABCu,
                 [](CBcam& c) { return c.Shutter.Raw(); }, 0xABC},
        ReadCase{"OnOffBit25", kAllCaps, 1u << 25,
                 [](CBcam& c) -> std::uint32_t { return c.Shutter.OnOff(); }, 1},
        ReadCase{"OnOffClear", kAllCaps, ~(1u << 25),
                 [](CBcam& c) -> std::uint32_t { return c.Shutter.OnOff(); }, 0},
        ReadCase{"AutoModeBit24", kAllCaps, 1u << 24,
                 [](CBcam& c) -> std::uint32_t { return c.Shutter.AutoMode(); }, 1},
        ReadCase{"AbsControlBit30", kAllCaps, 1u << 30,
                 [](CBcam& c) -> std::uint32_t { return c.Shutter.AbsControl(); }, 1},
        ReadCase{"AbsControlClear", kAllCaps, 0x03000FFFu,
                 [](CBcam& c) -> std::uint32_t { return c.Shutter.AbsControl(); }, 0},
        ReadCase{"OnePushIsBit28", kPresent | (1u << 28), 0,
                 [](CBcam& c) { return Supported(c, Bcam::inqOnePush); }, 1},
        ReadCase{"OnePushNotBit29", kPresent | (1u << 29), 0,
                 [](CBcam& c) { return Supported(c, Bcam::inqOnePush); }, 0},
        ReadCase{"Presence", kPresent, 0, [](CBcam& c) { return Supported(c, Bcam::inqPresence); },
                 1},
        ReadCase{"AbsControlCap", kPresent | (1u << 30), 0,
                 [](CBcam& c) { return Supported(c, Bcam::inqAbsControl); }, 1},
        ReadCase{"ReadOutCap", kPresent | (1u << 27), 0,
                 [](CBcam& c) { return Supported(c, Bcam::inqReadOut); }, 1},
        ReadCase{"OnOffCap", kPresent | (1u << 26), 0,
                 [](CBcam& c) { return Supported(c, Bcam::inqOnOff); }, 1},
        ReadCase{"AutoCap", kPresent | (1u << 25), 0,
                 [](CBcam& c) { return Supported(c, Bcam::inqAuto); }, 1},
        ReadCase{"ManualCap", kPresent | (1u << 24), 0,
                 [](CBcam& c) { return Supported(c, Bcam::inqManual); }, 1},
        ReadCase{"ManualCapClear", kAllCaps & ~(1u << 24), 0,
                 [](CBcam& c) { return Supported(c, Bcam::inqManual); }, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// --- failures: code, context, and what was sent before

struct FailureCase {
    const char* name;
    std::function<void(CBcam&)> call;
    std::uint32_t faultCode;  // control code made to fail with 31; 0 for none
    std::uint32_t error;
    const char* context;
    std::size_t requestsSent;
};

class ScalarFailure : public fennex_test::SimCameraTest<FailureCase> {};

TEST_P(ScalarFailure, RaisesWithCodeAndContext) {
    Open(fennex_test::kColourCamera);
    EditFeature(drv::kHue, kAllCaps, 0);
    sim::ClearRequests();
    if (GetParam().faultCode) fennex_test::FailNext(GetParam().faultCode, 31);
    const auto caught = Catch([&] { GetParam().call(camera_); });
    EXPECT_TRUE(caught.thrown);
    EXPECT_EQ(caught.code, GetParam().error);
    EXPECT_EQ(caught.context, GetParam().context);
    EXPECT_EQ(SentTo(name_).size(), GetParam().requestsSent);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ScalarFailure,
    testing::Values(
        FailureCase{"PolaritySelector", [](CBcam& c) { c.Hue.IsSupported(Bcam::inqPolarity); }, 0,
                    codes::kBadInquiry, "CBcam::CScalarProperty::IsSupported()", 1},
        FailureCase{"SelectorAbove7",
                    [](CBcam& c) { c.Hue.IsSupported(static_cast<Bcam::Inquiry>(40)); }, 0,
                    codes::kBadInquiry, "CBcam::CScalarProperty::IsSupported()", 1},
        FailureCase{"AbsRead", [](CBcam& c) { (void)c.Hue.Abs(); }, 0, codes::kNotImplemented,
                    "CBcam::CScalarProperty::CAbsValue::operator()()", 0},
        FailureCase{"AbsWrite", [](CBcam& c) { c.Hue.Abs = 1.5; }, 0, codes::kNotImplemented,
                    "CBcam::CScalarProperty::CAbsValue::operator=()", 0},
        FailureCase{"InquiryFails", [](CBcam& c) { c.Hue.IsSupported(Bcam::inqPresence); },
                    drv::kFeatureInquiry, 31, "CBcam::CScalarProperty::IsSupported()", 1},
        FailureCase{"MinFails", [](CBcam& c) { c.Hue.Raw.Min(); }, drv::kFeatureInquiry, 31,
                    "CBcam::CScalarProperty::CRawRegister::Min()", 1},
        FailureCase{"MaxFails", [](CBcam& c) { c.Hue.Raw.Max(); }, drv::kFeatureInquiry, 31,
                    "CBcam::CScalarProperty::CRawRegister::Max()", 1},
        FailureCase{"RawReadFails", [](CBcam& c) { c.Hue.Raw(); }, drv::kFeatureGet, 31,
                    "CBcam::CScalarProperty::CRawRegister::Operator()()", 1},
        FailureCase{"RawWriteFails", [](CBcam& c) { c.Hue.Raw = 1; }, drv::kFeatureSet, 31,
                    "CBcam::CScalarProperty::CRawRegister::operator=()", 1},
        FailureCase{"BoolReadFails", [](CBcam& c) { c.Hue.AutoMode(); }, drv::kFeatureGet, 31,
                    "CBcam::CScalarProperty::CBoolControl::Operator()()", 1},
        FailureCase{"BoolWriteFails", [](CBcam& c) { c.Hue.OnOff = true; }, drv::kFeatureSet, 31,
                    "CBcam::CScalarProperty::CBoolControl::operator=()", 1}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Save and Restore by capability

constexpr std::uint32_t kOnOff = drv::kInqOnOff, kAuto = drv::kInqAuto,
                        kManual = drv::kInqManual, kReadOut = drv::kInqReadOut,
                        kAbs = drv::kInqAbsControl;
constexpr std::uint32_t kOn = 1u << 25, kAutoOn = 1u << 24, kAbsOn = 1u << 30;

struct PersistCase {
    const char* name;
    std::uint32_t caps;     // inquiry flags besides presence; range 0..4095
    std::uint32_t control;  // state at save time
    std::vector<std::string> saveLog;
    std::uint32_t saveError;  // 0 when Save completes
    // Restore of what Save wrote, into a camera whose control register is 0 with the value 1:
    std::vector<std::string> restoreLog;
    std::vector<Words> restoreSets;  // quadlet, mask of each set request
    std::uint32_t restoreError;
};

class ScalarPersist : public fennex_test::SimCameraTest<PersistCase> {};

TEST_P(ScalarPersist, SaveAndRestoreFollowTheCapabilities) {
    const PersistCase& c = GetParam();
    Open(fennex_test::kColourCamera);
    EditFeature(drv::kGamma, kPresent | c.caps | 0xFFFu, c.control);

    fennex_test::RecordingBag::Store store;
    const auto saved =
        Catch([&] { camera_.Gamma.Save(fennex_test::RecordingBag::Make(store, "Gamma")); });
    EXPECT_EQ(saved.code, c.saveError);
    EXPECT_EQ(store.log, c.saveLog);

    EditFeature(drv::kGamma, kPresent | c.caps | 0xFFFu, 1);
    store.log.clear();
    sim::ClearRequests();
    const auto restored =
        Catch([&] { camera_.Gamma.Restore(fennex_test::RecordingBag::Make(store, "Gamma")); });
    EXPECT_EQ(restored.code, c.restoreError);
    EXPECT_EQ(store.log, c.restoreLog);
    std::vector<Words> sets;
    for (const Words& w : SentTo(name_, drv::kFeatureSet)) sets.push_back({w.at(1), w.at(2)});
    EXPECT_EQ(sets, c.restoreSets);
}

INSTANTIATE_TEST_SUITE_P(
    Capabilities, ScalarPersist,
    testing::Values(
        PersistCase{"SwitchedOff", kOnOff | kAuto | kManual | kReadOut, 0x00000123,
                    {"W OnOff=false"}, 0, {"R OnOff"}, {{0, 0x008}}, 0},
        PersistCase{"Automatic", kOnOff | kAuto | kManual | kReadOut, kOn | kAutoOn | 0x123,
                    {"W OnOff=true", "W AutoMode=true"}, 0, {"R OnOff", "R AutoMode"},
                    {{kOn, 0x008}, {kAutoOn, 0x002}}, 0},
        PersistCase{"ManualWithReadOut", kOnOff | kAuto | kManual | kReadOut, kOn | 0x123,
                    {"W OnOff=true", "W AutoMode=false", "W RawValue=291"}, 0,
                    {"R OnOff", "R AutoMode", "R RawValue"},
                    {{kOn, 0x008}, {0, 0x002}, {0x123, 0x001}}, 0},
        PersistCase{"OnlyManualAndReadOut", kManual | kReadOut, kOn | 0x7FF, {"W RawValue=2047"},
                    0, {"R RawValue"}, {{0x7FF, 0x001}}, 0},
        PersistCase{"ManualWithoutReadOut", kManual, kOn | 0x7FF, {}, 0, {}, {}, 0},
        PersistCase{"ReadOutWithoutManual", kReadOut | kOnOff, kOn | 0x7FF, {"W OnOff=true"}, 0,
                    {"R OnOff"}, {{kOn, 0x008}}, 0},
        PersistCase{"AbsoluteOff", kManual | kReadOut | kAbs, 0x042,
                    {"W AbsControl=false", "W RawValue=66"}, 0, {"R AbsControl", "R RawValue"},
                    {{0x042, 0x001}}, 0},
        // Absolute values are not implemented: Save ends after the flag, so its bag lacks the
        // value that Restore then asks for.
        PersistCase{"AbsoluteOn", kManual | kReadOut | kAbs, kAbsOn | 0x042,
                    {"W AbsControl=true"}, codes::kNotImplemented, {"R AbsControl", "R AbsValue"},
                    {}, codes::kKeyMissing}),
    [](const auto& info) { return std::string(info.param.name); });

// Restore from stored keys: the camera's capabilities decide which keys are read, and the
// stored "AbsControl" only picks the value key.
struct StoredCase {
    const char* name;
    std::uint32_t caps;
    std::map<std::string, std::string> stored;
    std::vector<std::string> restoreLog;
    std::vector<Words> restoreSets;
    std::uint32_t restoreError;
};

class ScalarRestoreStored : public fennex_test::SimCameraTest<StoredCase> {};

TEST_P(ScalarRestoreStored, ReadsWhatTheCameraCallsFor) {
    const StoredCase& c = GetParam();
    Open(fennex_test::kColourCamera);
    EditFeature(drv::kSaturation, kPresent | c.caps | 0xFFFu, 0);
    fennex_test::RecordingBag::Store store;
    store.sections["Saturation"] = c.stored;
    sim::ClearRequests();
    const auto caught = Catch(
        [&] { camera_.Saturation.Restore(fennex_test::RecordingBag::Make(store, "Saturation")); });
    EXPECT_EQ(caught.code, c.restoreError);
    EXPECT_EQ(store.log, c.restoreLog);
    std::vector<Words> sets;
    for (const Words& w : SentTo(name_, drv::kFeatureSet)) sets.push_back({w.at(1), w.at(2)});
    EXPECT_EQ(sets, c.restoreSets);
}

INSTANTIATE_TEST_SUITE_P(
    StoredKeys, ScalarRestoreStored,
    testing::Values(
        StoredCase{"AbsoluteValueRaises", kManual | kReadOut | kAbs,
                   {{"AbsControl", "true"}, {"AbsValue", "1.5"}, {"RawValue", "9"}},
                   {"R AbsControl", "R AbsValue"}, {}, codes::kNotImplemented},
        StoredCase{"AbsControlFalseReadsRaw", kManual | kReadOut | kAbs,
                   {{"AbsControl", "false"}, {"RawValue", "9"}}, {"R AbsControl", "R RawValue"},
                   {{9, 0x001}}, 0},
        StoredCase{"AbsControlIgnoredWithoutCapability", kManual | kReadOut,
                   {{"AbsControl", "true"}, {"AbsValue", "1.5"}, {"RawValue", "9"}},
                   {"R RawValue"}, {{9, 0x001}}, 0},
        StoredCase{"AutoKeyIgnoredWithoutCapability", kOnOff | kManual | kReadOut,
                   {{"OnOff", "TRUE"}, {"AutoMode", "true"}, {"RawValue", "4100"}},
                   {"R OnOff", "R RawValue"}, {{kOn, 0x008}, {4, 0x001}}, 0},
        StoredCase{"MissingRawValue", kOnOff | kManual | kReadOut, {{"OnOff", "true"}},
                   {"R OnOff", "R RawValue"}, {{kOn, 0x008}}, codes::kKeyMissing},
        StoredCase{"MalformedOnOff", kOnOff | kManual | kReadOut,
                   {{"OnOff", "1"}, {"RawValue", "4"}}, {"R OnOff"}, {}, codes::kBadValueText}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
