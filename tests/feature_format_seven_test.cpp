// Format 7: the request words of each accessor, the colour-coding and mode refusals, and the
// order in which Save and Restore touch the camera.
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

// Every mode present, 1600 x 1200, any region and packet size the requests below use.
void AllModesPresent(sim::CameraDesc& d) {
    for (auto& m : d.format7) {
        m.present = true;
        m.maxWidth = 1600;
        m.maxHeight = 1200;
        m.unitWidth = m.unitHeight = 1;
        m.codings = 0xFE000000;
        m.unitBytes = 4;
        m.maxBytes = 4096;
        m.width = 1600;
        m.height = 1200;
        m.bytesPerPacket = 4096;
    }
}

struct RequestCase {
    const char* name;
    std::function<void(CBcam&)> call;
    Words request;
};

class FormatSevenRequest : public fennex_test::SimCameraTest<RequestCase> {};

TEST_P(FormatSevenRequest, SendsExactlyThisRequest) {
    Open(fennex_test::kColourCamera);
    sim::EditCamera(name_, AllModesPresent);
    Catch([&] { GetParam().call(camera_); });  // the camera may refuse; the words count
    EXPECT_EQ(SentTo(name_), std::vector<Words>{GetParam().request});
}

INSTANTIATE_TEST_SUITE_P(
    Accessors, FormatSevenRequest,
    testing::Values(
        RequestCase{"Position", [](CBcam& c) { c.FormatSeven[2].ImagePosition = {16, 8}; },
                    {drv::kF7ImageSet, 2, 16, 8, 0, 0, 3}},
        RequestCase{"Size", [](CBcam& c) { c.FormatSeven[0].ImageSize = {640, 480}; },
                    {drv::kF7ImageSet, 0, 0, 0, 640, 480, 12}},
        RequestCase{"ColorCodingUnchanged", [](CBcam& c) { c.FormatSeven[1].ColorCoding = 9; },
                    {drv::kF7ColorCodingSet, 1, 9}},
        RequestCase{"BytePerPacketUnchanged",
                    [](CBcam& c) { c.FormatSeven[7].BytePerPacket = 1001; },
                    {drv::kF7BytePerPacketSet, 7, 1001}},
        RequestCase{"MaxSize", [](CBcam& c) { (void)c.FormatSeven[3].MaxSize(); },
                    {drv::kF7Inquiry, 3}},
        RequestCase{"PositionRead", [](CBcam& c) { (void)c.FormatSeven[4].ImagePosition(); },
                    {drv::kF7ImageGet, 4}},
        RequestCase{"SizeRead", [](CBcam& c) { (void)c.FormatSeven[5].ImageSize(); },
                    {drv::kF7ImageGet, 5}},
        RequestCase{"ColorCodingRead", [](CBcam& c) { (void)c.FormatSeven[6].ColorCoding(); },
                    {drv::kF7ColorCodingGet, 6}},
        RequestCase{"BytePerPacketRead", [](CBcam& c) { (void)c.FormatSeven[0].BytePerPacket(); },
                    {drv::kF7PacketGet, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

class FormatSevenEdges : public fennex_test::SimCameraTest<> {};

TEST_F(FormatSevenEdges, ReadsReturnTheModesSettings) {
    Open(fennex_test::kColourCamera);
    sim::EditCamera(name_, [](sim::CameraDesc& d) {
        AllModesPresent(d);
        auto& m = d.format7[1];
        m.maxWidth = 800;
        m.maxHeight = 600;
        m.left = 8;
        m.top = 4;
        m.width = 320;
        m.height = 240;
        m.coding = 5;
        m.bytesPerPacket = 1024;
    });
    EXPECT_EQ(camera_.FormatSeven[1].MaxSize(), (Bcam::CSize{800, 600}));
    EXPECT_EQ(camera_.FormatSeven[1].ImagePosition(), (Bcam::CPoint{8, 4}));
    EXPECT_EQ(camera_.FormatSeven[1].ImageSize(), (Bcam::CSize{320, 240}));
    EXPECT_EQ(camera_.FormatSeven[1].ColorCoding(), 5u);
    EXPECT_EQ(camera_.FormatSeven[1].BytePerPacket(), 1024u);
}

TEST_F(FormatSevenEdges, ColourCodingOutsideTheTableIsRefusedOnRead) {
    Open(fennex_test::kColourCamera);
    sim::EditCamera(name_, [](sim::CameraDesc& d) {
        AllModesPresent(d);
        d.format7[0].coding = 9;
    });
    const auto caught = Catch([&] { camera_.FormatSeven[0].ColorCoding(); });
    EXPECT_EQ(caught.code, codes::kBadColorCoding);
    EXPECT_EQ(caught.context, "CBcam::FormatSeven::ColorCoding::operator()");
}

TEST_F(FormatSevenEdges, OnlyModesZeroToSevenExist) {
    Open(fennex_test::kColourCamera);
    EXPECT_EQ(Catch([&] { camera_.FormatSeven[7]; }).thrown, false);
    const auto caught = Catch([&] { camera_.FormatSeven[8]; });
    EXPECT_EQ(caught.code, codes::kBadVideoMode);
    EXPECT_EQ(caught.context, "Mode not defined");
    EXPECT_EQ(Catch([&] { camera_.FormatSeven[0xFFFFFFFFu]; }).code, codes::kBadVideoMode);
}

TEST_F(FormatSevenEdges, FailuresCarryTheOperation) {
    Open(fennex_test::kColourCamera);
    sim::EditCamera(name_, AllModesPresent);
    auto& f7 = camera_.FormatSeven[0];
    const std::vector<std::tuple<std::uint32_t, std::function<void()>, std::string>> calls = {
        {drv::kF7Inquiry, [&] { f7.MaxSize(); }, "CBcam::FormatSeven::MaxSize()"},
        {drv::kF7ImageSet, [&] { f7.ImagePosition = {0, 0}; },
         "CBcam::FormatSeven::CImagePosition::operator=()"},
        {drv::kF7ImageGet, [&] { f7.ImagePosition(); },
         "CBcam::FormatSeven::CImagePosition::operator()()"},
        {drv::kF7ImageSet, [&] { f7.ImageSize = {8, 8}; },
         "CBcam::FormatSeven::CImageSize::operator=()"},
        {drv::kF7ImageGet, [&] { f7.ImageSize(); }, "CBcam::FormatSeven::CImageSize::operator()()"},
        {drv::kF7ColorCodingSet, [&] { f7.ColorCoding = 0; },
         "CBcam::FormatSeven::CColorCoding::operator=()"},
        {drv::kF7ColorCodingGet, [&] { f7.ColorCoding(); },
         "CBcam::FormatSeven::CColorCoding::operator()()"},
        {drv::kF7BytePerPacketSet, [&] { f7.BytePerPacket = 4096; },
         "CBcam::FormatSeven::CBytePerPacket::operator=()"},
        {drv::kF7PacketGet, [&] { f7.BytePerPacket(); },
         "CBcam::CFormatSeven::CBytePerPacket::operator()()"},
    };
    for (const auto& [code, call, context] : calls) {
        fennex_test::FailNext(code, 31);
        const auto caught = Catch(call);
        EXPECT_EQ(caught.code, 31u) << context;
        EXPECT_EQ(caught.context, context);
    }
}

TEST_F(FormatSevenEdges, SaveWritesPacketAndCodingBeforeTheRegion) {
    Open(fennex_test::kColourCamera);
    sim::EditCamera(name_, [](sim::CameraDesc& d) {
        AllModesPresent(d);
        auto& m = d.format7[0];
        m.left = m.top = 0;
        m.width = 1024;
        m.height = 768;
        m.coding = 2;
        m.bytesPerPacket = 2048;
    });
    fennex_test::RecordingBag::Store store;
    camera_.FormatSeven[0].Save(fennex_test::RecordingBag::Make(store, "FormatSeven"));
    EXPECT_EQ(store.log, (std::vector<std::string>{"W BytePerPacket=2048", "W ColorCoding=2",
                                                    "W Pos_x=0", "W Pos_y=0", "W Size_cx=1024",
                                                    "W Size_cy=768"}));
}

TEST_F(FormatSevenEdges, RestoreAppliesPacketCodingPositionThenSize) {
    Open(fennex_test::kColourCamera);
    sim::EditCamera(name_, AllModesPresent);
    fennex_test::RecordingBag::Store store;
    store.sections["FormatSeven"] = {{"BytePerPacket", "1024"}, {"ColorCoding", "1"},
                                     {"Pos_x", "16"},           {"Pos_y", "8"},
                                     {"Size_cx", "640"},        {"Size_cy", "480"}};
    sim::ClearRequests();
    camera_.FormatSeven[1].Restore(fennex_test::RecordingBag::Make(store, "FormatSeven"));
    EXPECT_EQ(store.log, (std::vector<std::string>{"R BytePerPacket", "R ColorCoding", "R Pos_y",
                                                    "R Pos_x", "R Size_cy", "R Size_cx"}));
    EXPECT_EQ(SentTo(name_), (std::vector<Words>{{drv::kF7BytePerPacketSet, 1, 1024},
                                                 {drv::kF7ColorCodingSet, 1, 1},
                                                 {drv::kF7ImageSet, 1, 16, 8, 0, 0, 3},
                                                 {drv::kF7ImageSet, 1, 0, 0, 640, 480, 12}}));
}

TEST_F(FormatSevenEdges, RestoreStopsAtAMissingKeyWithEarlierStepsApplied) {
    Open(fennex_test::kColourCamera);
    sim::EditCamera(name_, AllModesPresent);
    fennex_test::RecordingBag::Store store;
    store.sections["FormatSeven"] = {{"BytePerPacket", "1024"}, {"ColorCoding", "1"},
                                     {"Pos_x", "16"}};
    sim::ClearRequests();
    const auto caught = Catch(
        [&] { camera_.FormatSeven[0].Restore(fennex_test::RecordingBag::Make(store, "FormatSeven")); });
    EXPECT_EQ(caught.code, codes::kKeyMissing);
    EXPECT_EQ(SentTo(name_), (std::vector<Words>{{drv::kF7BytePerPacketSet, 0, 1024},
                                                 {drv::kF7ColorCodingSet, 0, 1}}));
}

}  // namespace
