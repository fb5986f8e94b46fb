// Format 7: request words of each accessor, the colour-coding and mode refusals, and the
// order in which Save and Restore touch the camera.
#include "feature_tables.h"

namespace fennex::test {
namespace {

// Every mode present, 1600 x 1200, with any region and packet size the rows below use.
void AllModes(sim::CameraDesc& d) {
    for (auto& m : d.format7) {
        m = {};
        m.present = true;
        m.maxWidth = m.width = 1600;
        m.maxHeight = m.height = 1200;
        m.codings = 0xFE000000;
        m.maxBytes = m.bytesPerPacket = 4096;
    }
}

// Mode 1 set to these values, the others as AllModes.
Edit Mode1(std::uint32_t left, std::uint32_t top, std::uint32_t width, std::uint32_t height,
            std::uint32_t coding, std::uint32_t bytes) {
    return [=](sim::CameraDesc& d) {
        AllModes(d);
        auto& m = d.format7[1];
        m.left = left, m.top = top, m.width = width, m.height = height;
        m.coding = coding, m.bytesPerPacket = bytes;
        m.maxWidth = 800, m.maxHeight = 600;
    };
}
const Edit kRegion = Mode1(8, 4, 320, 240, 5, 1024);

INSTANTIATE_TEST_SUITE_P(
    FormatSeven, RequestTable,
    testing::Values(
        RequestRow{"Position", AllModes, [](CBcam& c) { c.FormatSeven[2].ImagePosition = {16, 8}; },
                   {{drv::kF7ImageSet, 2, 16, 8, 0, 0, 3}}},
        RequestRow{"Size", AllModes, [](CBcam& c) { c.FormatSeven[0].ImageSize = {640, 480}; },
                   {{drv::kF7ImageSet, 0, 0, 0, 640, 480, 12}}},
        RequestRow{"BytePerPacketUnchecked", AllModes,
                   [](CBcam& c) { RaisedBy([&] { c.FormatSeven[7].BytePerPacket = 1001; }); },
                   {{drv::kF7BytePerPacketSet, 7, 1001}}},
        RequestRow{"Mode8SendsNothing", AllModes, [](CBcam& c) { RaisedBy([&] { c.FormatSeven[8]; }); }, {}}),
    RowName());

INSTANTIATE_TEST_SUITE_P(
    FormatSeven, ReadTable,
    testing::Values(
        ReadRow{"MaxWidth", kRegion, [](CBcam& c) { return c.FormatSeven[1].MaxSize().cx; }, 800},
        ReadRow{"MaxHeight", kRegion, [](CBcam& c) { return c.FormatSeven[1].MaxSize().cy; }, 600},
        ReadRow{"Left", kRegion, [](CBcam& c) { return c.FormatSeven[1].ImagePosition().x; }, 8},
        ReadRow{"Top", kRegion, [](CBcam& c) { return c.FormatSeven[1].ImagePosition().y; }, 4},
        ReadRow{"Width", kRegion, [](CBcam& c) { return c.FormatSeven[1].ImageSize().cx; }, 320},
        ReadRow{"Height", kRegion, [](CBcam& c) { return c.FormatSeven[1].ImageSize().cy; }, 240},
        ReadRow{"ColorCoding", kRegion, [](CBcam& c) { return c.FormatSeven[1].ColorCoding(); }, 5},
        ReadRow{"BytePerPacket", kRegion, [](CBcam& c) { return c.FormatSeven[1].BytePerPacket(); }, 1024}),
    RowName());

INSTANTIATE_TEST_SUITE_P(
    FormatSeven, FailureTable,
    testing::Values(
        FailureRow{"Mode8", 0, [](CBcam& c) { c.FormatSeven[8]; }, codes::kBadVideoMode, "Mode not defined", 0},
        FailureRow{"MaxSize", drv::kF7Inquiry, [](CBcam& c) { c.FormatSeven[7].MaxSize(); }, 31,
                   "CBcam::FormatSeven::MaxSize()"},
        FailureRow{"PositionWrite", drv::kF7ImageSet, [](CBcam& c) { c.FormatSeven[0].ImagePosition = {0, 0}; },
                   31, "CBcam::FormatSeven::CImagePosition::operator=()"},
        FailureRow{"SizeRead", drv::kF7ImageGet, [](CBcam& c) { c.FormatSeven[0].ImageSize(); }, 31,
                   "CBcam::FormatSeven::CImageSize::operator()()"},
        FailureRow{"CodingWrite", drv::kF7ColorCodingSet, [](CBcam& c) { c.FormatSeven[0].ColorCoding = 0; }, 31,
                   "CBcam::FormatSeven::CColorCoding::operator=()"},
        FailureRow{"CodingRead", drv::kF7ColorCodingGet, [](CBcam& c) { c.FormatSeven[0].ColorCoding(); }, 31,
                   "CBcam::FormatSeven::CColorCoding::operator()()"},
        FailureRow{"PacketRead", drv::kF7PacketGet, [](CBcam& c) { c.FormatSeven[0].BytePerPacket(); }, 31,
                   "CBcam::CFormatSeven::CBytePerPacket::operator()()"}),
    RowName());

// A colour coding outside the table, as the camera reports it, is refused on reading.
TEST_F(SimCameras, FormatSevenColorCodingOutsideTheTableIsRefused) {
    Open(kColour, Mode1(0, 0, 8, 8, 9, 4));
    const Raised caught = RaisedBy([&] { camera_.FormatSeven[1].ColorCoding(); });
    EXPECT_EQ(caught.code, codes::kBadColorCoding);
    EXPECT_EQ(caught.context, "CBcam::FormatSeven::ColorCoding::operator()");
}

Words F7(std::uint32_t code, Words words) {
    words.insert(words.begin(), code);
    return words;
}

INSTANTIATE_TEST_SUITE_P(
    FormatSeven, PersistTable,
    testing::ValuesIn(PersistRows(
        [](CBcam& c, Bcam::CPropertyBagPtr b) { c.FormatSeven[1].Save(b); },
        [](CBcam& c, Bcam::CPropertyBagPtr b) { c.FormatSeven[1].Restore(b); }, {},
        {
            PersistRow{"PacketAndCodingBeforeTheRegion", Mode1(0, 0, 800, 600, 2, 2048),
                       {"W BytePerPacket=2048", "W ColorCoding=2", "W Pos_x=0", "W Pos_y=0",
                        "W Size_cx=800", "W Size_cy=600"}, 0,
                       {{"BytePerPacket", "1024"}, {"ColorCoding", "1"}, {"Pos_x", "16"},
                        {"Pos_y", "8"}, {"Size_cx", "640"}, {"Size_cy", "480"}},
                       {"R BytePerPacket", "R ColorCoding", "R Pos_y", "R Pos_x", "R Size_cy", "R Size_cx"},
                       {F7(drv::kF7BytePerPacketSet, {1, 1024}), F7(drv::kF7ColorCodingSet, {1, 1}),
                        F7(drv::kF7ImageSet, {1, 16, 8, 0, 0, 3}), F7(drv::kF7ImageSet, {1, 0, 0, 640, 480, 12})}, 0},
            // A restore that stops keeps what it has applied.
            PersistRow{"MissingPosition", kRegion,
                       {"W BytePerPacket=1024", "W ColorCoding=5", "W Pos_x=8", "W Pos_y=4",
                        "W Size_cx=320", "W Size_cy=240"}, 0,
                       {{"BytePerPacket", "512"}, {"ColorCoding", "1"}, {"Pos_x", "16"}},
                       {"R BytePerPacket", "R ColorCoding", "R Pos_y"},
                       {F7(drv::kF7BytePerPacketSet, {1, 512}), F7(drv::kF7ColorCodingSet, {1, 1})},
                       codes::kKeyMissing},
        })),
    RowName());

}  // namespace
}  // namespace fennex::test
