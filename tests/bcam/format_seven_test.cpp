// Format 7: the mode and colour-coding refusals, one driver failure, and the order in which
// Save and Restore touch the camera (which also decode and write every field).
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
    FormatSeven, CallTable,
    testing::Values(
        CallRow{"MaxWidthOfMode7", kRegion, [](CBcam& c) { return c.FormatSeven[7].MaxSize().cx; }, 1600},
        CallRow{"MaxHeightOfMode7", kRegion, [](CBcam& c) { return c.FormatSeven[7].MaxSize().cy; }, 1200},
        CallRow{"Mode8", {}, [](CBcam& c) { c.FormatSeven[8]; }, 0, {}, codes::kBadVideoMode,
                "Mode not defined"},
        CallRow{"CodingRead", {}, [](CBcam& c) { c.FormatSeven[0].ColorCoding(); }, 0, {}, 31,
                "CBcam::FormatSeven::CColorCoding::operator()()", drv::kF7ColorCodingGet},
        // A colour coding outside the table, as the camera reports it.
        CallRow{"CodingOutsideTheTable", Mode1(0, 0, 8, 8, 9, 4),
                [](CBcam& c) { c.FormatSeven[1].ColorCoding(); }, 0, {{drv::kF7ColorCodingGet, 1}},
                codes::kBadColorCoding, "CBcam::FormatSeven::ColorCoding::operator()"}),
    RowName());

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
                        F7(drv::kF7ImageSet, {1, 16, 8, 0, 0, 3}),
                        F7(drv::kF7ImageSet, {1, 0, 0, 640, 480, 12})}, 0},
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
