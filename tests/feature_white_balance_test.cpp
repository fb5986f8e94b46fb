// White balance: its two components in one register, the shared range, contexts, and the
// paired value keys of Save and Restore.
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

constexpr std::uint32_t kCaps = drv::kInqPresence | drv::kInqReadOut | drv::kInqOnOff |
                                drv::kInqAuto | drv::kInqManual | (0x020u << 12) | 0xFFFu;

struct RequestCase {
    const char* name;
    std::function<void(CBcam&)> call;
    Words request;
};

class WhiteBalanceRequest : public fennex_test::SimCameraTest<RequestCase> {};

TEST_P(WhiteBalanceRequest, SendsExactlyThisRequest) {
    Open(fennex_test::kColourCamera);
    EditFeature(drv::kWhiteBalance, kCaps, 0);
    sim::ClearRequests();
    GetParam().call(camera_);
    EXPECT_EQ(SentTo(name_), std::vector<Words>{GetParam().request});
}

INSTANTIATE_TEST_SUITE_P(
    Accessors, WhiteBalanceRequest,
    testing::Values(
        RequestCase{"UBWrite", [](CBcam& c) { c.WhiteBalance.Raw.UB = 0x1234; },
                    {drv::kFeatureSet, 60, 0x00234000, 0x040}},
        RequestCase{"VRWrite", [](CBcam& c) { c.WhiteBalance.Raw.VR = 0x1234; },
                    {drv::kFeatureSet, 60, 0x00000234, 0x080}},
        RequestCase{"OnOff", [](CBcam& c) { c.WhiteBalance.OnOff = true; },
                    {drv::kFeatureSet, 60, 1u << 25, 0x008}},
        RequestCase{"AutoMode", [](CBcam& c) { c.WhiteBalance.AutoMode = true; },
                    {drv::kFeatureSet, 60, 1u << 24, 0x002}},
        RequestCase{"AbsControl", [](CBcam& c) { c.WhiteBalance.AbsControl = false; },
                    {drv::kFeatureSet, 60, 0, 0x020}},
        RequestCase{"UBRead", [](CBcam& c) { (void)c.WhiteBalance.Raw.UB(); },
                    {drv::kFeatureGet, 60, 0}},
        RequestCase{"Min", [](CBcam& c) { (void)c.WhiteBalance.Raw.Min(); },
                    {drv::kFeatureInquiry, 60}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReadCase {
    const char* name;
    std::uint32_t control;
    std::function<std::uint32_t(CBcam&)> read;
    std::uint32_t expected;
};

class WhiteBalanceRead : public fennex_test::SimCameraTest<ReadCase> {};

TEST_P(WhiteBalanceRead, DecodesTheQuadlet) {
    Open(fennex_test::kColourCamera);
    EditFeature(drv::kWhiteBalance, kCaps, GetParam().control);
    EXPECT_EQ(GetParam().read(camera_), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Quadlets, WhiteBalanceRead,
    testing::Values(
        ReadCase{"UB", 0x02345678, [](CBcam& c) { return c.WhiteBalance.Raw.UB(); }, 0x345},
        ReadCase{"VR", 0x02345678, [](CBcam& c) { return c.WhiteBalance.Raw.VR(); }, 0x678},
        ReadCase{"OnOff", 0x02345678,
                 [](CBcam& c) -> std::uint32_t { return c.WhiteBalance.OnOff(); }, 1},
        ReadCase{"AutoMode", 0x02345678,
                 [](CBcam& c) -> std::uint32_t { return c.WhiteBalance.AutoMode(); }, 0},
        ReadCase{"MinIsShared", 0, [](CBcam& c) { return c.WhiteBalance.Raw.Min(); }, 0x020},
        ReadCase{"MaxIsShared", 0, [](CBcam& c) { return c.WhiteBalance.Raw.Max(); }, 0xFFF}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WhiteBalanceComponents, WritingOneComponentKeepsTheOther) {
    CBcam camera;
    std::string name;
    fennex_test::OpenSimCamera(camera, name, fennex_test::kColourCamera);
    camera.WhiteBalance.Raw.UB = 0x111;
    camera.WhiteBalance.Raw.VR = 0x222;
    camera.WhiteBalance.Raw.UB = 0x333;
    EXPECT_EQ(camera.WhiteBalance.Raw.UB(), 0x333u);
    EXPECT_EQ(camera.WhiteBalance.Raw.VR(), 0x222u);
}

struct FailureCase {
    const char* name;
    std::function<void(CBcam&)> call;
    std::uint32_t faultCode;
    std::uint32_t error;
    const char* context;
};

class WhiteBalanceFailure : public fennex_test::SimCameraTest<FailureCase> {};

TEST_P(WhiteBalanceFailure, RaisesWithCodeAndContext) {
    Open(fennex_test::kColourCamera);
    if (GetParam().faultCode) fennex_test::FailNext(GetParam().faultCode, 31);
    const auto caught = Catch([&] { GetParam().call(camera_); });
    EXPECT_TRUE(caught.thrown);
    EXPECT_EQ(caught.code, GetParam().error);
    EXPECT_EQ(caught.context, GetParam().context);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, WhiteBalanceFailure,
    testing::Values(
        FailureCase{"BadSelector", [](CBcam& c) { c.WhiteBalance.IsSupported(Bcam::inqPolarity); },
                    0, codes::kBadInquiry, "CBcam::WhiteBalance::IsSupported()"},
        FailureCase{"InquiryFails", [](CBcam& c) { c.WhiteBalance.IsSupported(Bcam::inqAuto); },
                    drv::kFeatureInquiry, 31, "CBcam::CWhiteBalance::IsSupported()"},
        FailureCase{"MinFails", [](CBcam& c) { c.WhiteBalance.Raw.Min(); }, drv::kFeatureInquiry,
                    31, "CBcam::CWhiteBalance::CRawRegister::Min()"},
        FailureCase{"MaxFails", [](CBcam& c) { c.WhiteBalance.Raw.Max(); }, drv::kFeatureInquiry,
                    31, "CBcam::CWhiteBalance::CRawRegister::Max()"},
        FailureCase{"ComponentReadFails", [](CBcam& c) { c.WhiteBalance.Raw.VR(); },
                    drv::kFeatureGet, 31,
                    "CBcam::CWhiteBalance::CRawRegister::CWhiteBalanceRawValue::Operator()()"},
        FailureCase{"ComponentWriteFails", [](CBcam& c) { c.WhiteBalance.Raw.UB = 3; },
                    drv::kFeatureSet, 31,
                    "CBcam::CWhiteBalance::CRawRegister::CWhiteBalanceRawValue::operator=()"},
        FailureCase{"BoolReadFails", [](CBcam& c) { c.WhiteBalance.OnOff(); }, drv::kFeatureGet,
                    31, "CBcam::CWhiteBalance::CBoolControl::Operator()()"},
        FailureCase{"BoolWriteFails", [](CBcam& c) { c.WhiteBalance.AutoMode = false; },
                    drv::kFeatureSet, 31, "CBcam::CWhiteBalance::CBoolControl::operator=()"},
        FailureCase{"AbsRead", [](CBcam& c) { (void)c.WhiteBalance.Abs.VR(); }, 0,
                    codes::kNotImplemented,
                    "CBcam::CWhiteBalance::CAbsValue::CWhiteBalanceAbsValue::operator()()"},
        FailureCase{"AbsWrite", [](CBcam& c) { c.WhiteBalance.Abs.UB = 2.0; }, 0,
                    codes::kNotImplemented,
                    "CBcam::CWhiteBalance::CAbsValue::CWhiteBalanceAbsValue::operator=()"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Save and Restore: the scalar pattern with paired keys, U/B first

struct PersistCase {
    const char* name;
    std::uint32_t caps;
    std::uint32_t control;
    std::map<std::string, std::string> stored;  // empty: restore what Save wrote
    std::vector<std::string> saveLog;
    std::vector<std::string> restoreLog;
    std::vector<Words> restoreSets;  // quadlet, mask
    std::uint32_t error;             // of the restore
};

class WhiteBalancePersist : public fennex_test::SimCameraTest<PersistCase> {};

TEST_P(WhiteBalancePersist, PairedKeysInOrder) {
    const PersistCase& c = GetParam();
    Open(fennex_test::kColourCamera);
    EditFeature(drv::kWhiteBalance, drv::kInqPresence | c.caps | 0xFFFu, c.control);
    fennex_test::RecordingBag::Store store;
    Catch([&] { camera_.WhiteBalance.Save(fennex_test::RecordingBag::Make(store, "WhiteBalance")); });
    EXPECT_EQ(store.log, c.saveLog);
    if (!c.stored.empty()) store.sections["WhiteBalance"] = c.stored;

    store.log.clear();
    sim::ClearRequests();
    const auto caught = Catch(
        [&] { camera_.WhiteBalance.Restore(fennex_test::RecordingBag::Make(store, "WhiteBalance")); });
    EXPECT_EQ(caught.code, c.error);
    EXPECT_EQ(store.log, c.restoreLog);
    std::vector<Words> sets;
    for (const Words& w : SentTo(name_, drv::kFeatureSet)) sets.push_back({w.at(1), w.at(2)});
    EXPECT_EQ(sets, c.restoreSets);
}

constexpr std::uint32_t kManualRead = drv::kInqManual | drv::kInqReadOut;
constexpr std::uint32_t kOn = 1u << 25;

INSTANTIATE_TEST_SUITE_P(
    Capabilities, WhiteBalancePersist,
    testing::Values(
        PersistCase{"Raw", drv::kInqOnOff | kManualRead, kOn | 0x00345678, {},
                    {"W OnOff=true", "W RawValueUB=837", "W RawValueVR=1656"},
                    {"R OnOff", "R RawValueUB", "R RawValueVR"},
                    {{kOn, 0x008}, {0x345000, 0x040}, {0x678, 0x080}}, 0},
        PersistCase{"Automatic", drv::kInqAuto | kManualRead, 1u << 24, {},
                    {"W AutoMode=true"}, {"R AutoMode"}, {{1u << 24, 0x002}}, 0},
        PersistCase{"AbsoluteOn", kManualRead | drv::kInqAbsControl, 1u << 30,
                    {{"AbsControl", "true"}, {"AbsValueUB", "1"}, {"AbsValueVR", "2"}},
                    {"W AbsControl=true"}, {"R AbsControl", "R AbsValueUB"}, {},
                    codes::kNotImplemented},
        // U/B has reached the camera before the missing V/R key ends the restore.
        PersistCase{"MissingVR", kManualRead, 0x00345678, {{"RawValueUB", "5"}},
                    {"W RawValueUB=837", "W RawValueVR=1656"}, {"R RawValueUB", "R RawValueVR"},
                    {{5u << 12, 0x040}}, codes::kKeyMissing}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
