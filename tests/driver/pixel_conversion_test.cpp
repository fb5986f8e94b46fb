#include "fixture.h"
#include "driver/pixel_conversion.h"

#include <random>

using namespace fennex::driver;
using Bytes = std::vector<std::uint8_t>;

namespace fennex::test {
namespace {

struct FrameCase {
    const char* what;
    std::uint32_t colorMode;
    std::int32_t width, height;
    Bytes raw;
    Bytes row;
};

// Each raw frame is placed at the very end of its allocation and the row buffer carries guard
// bytes, so that a read past the frame or a write past the row shows up.
Bytes Convert(FrameConversion convert, const Bytes& raw, std::int32_t width, std::int32_t height,
              std::size_t rowBytes) {
    Bytes frame(raw);  // exact size: the last byte ends the allocation
    Bytes row(rowBytes + 16, 0xEE);
    convert(frame.data(), row.data(), width, height);
    for (std::size_t i = rowBytes; i < row.size(); ++i)
        EXPECT_EQ(row[i], 0xEE) << "written past the row at " << i;
    row.resize(rowBytes);
    return row;
}

const std::vector<FrameCase>& FrameCases() {
    static const std::vector<FrameCase> cases = {
        {"rgb white stays white", kRgb8, 1, 1, {255, 255, 255}, {255}},
        {"rgb average rounds down", kRgb8, 1, 1, {1, 1, 0}, {0}},
        {"rgb colours weigh the same", kRgb8, 3, 1, {90, 0, 0, 0, 90, 0, 0, 0, 90}, {30, 30, 30}},
        {"yuv444 picks Y", kYuv444, 2, 2, {10, 20, 90, 10, 21, 90, 10, 22, 90, 10, 23, 90},
         {20, 21, 22, 23}},
        {"yuv411 picks the four Ys", kYuv411, 4, 1, {1, 2, 3, 4, 5, 6}, {2, 3, 5, 6}},
        {"yuv422 picks both Ys", kYuv422, 2, 1, {1, 2, 3, 4}, {2, 4}},
        {"yuv422 odd count stays in the row", kYuv422, 3, 1, {1, 2, 3, 4, 5, 6}, {2, 4, 6}},
        {"mono8 copied", kMono8, 3, 1, {7, 8, 9}, {7, 8, 9}},
        {"mono16 keeps the most significant byte", kMono16, 3, 1, {0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x00},
         {0x12, 0xAB, 0xFF}},
        {"rgb16 averages the most significant bytes", kRgb16, 2, 1,
         {30, 0xFF, 60, 0xFF, 90, 0xFF, 255, 0, 255, 0, 254, 0}, {60, 254}},
        {"no pixels writes nothing", kRgb8, 0, 5, {}, {}},
        {"negative size writes nothing", kYuv422, -2, 1, {}, {}},
    };
    return cases;
}

TEST(PixelConversion, FramesBecomeGreyRowsPerColourMode) {
    for (const FrameCase& c : FrameCases()) {
        SCOPED_TRACE(c.what);
        const FrameConversion convert = ConversionForColorMode(c.colorMode);
        ASSERT_NE(convert, nullptr);
        EXPECT_EQ(Convert(convert, c.raw, c.width, c.height, c.row.size()), c.row);
    }
    EXPECT_EQ(ConversionForColorMode(7), nullptr);
    EXPECT_EQ(RawFrameBytes(7, 100), 0u);
}

struct KernelCase {
    const char* name;
    RowKernel RowKernels::*kernel;
    std::size_t rawPerTwoPixels;  // raw bytes for two pixels
};
const KernelCase kKernels[] = {
    {"yuv444", &RowKernels::yuv444, 6}, {"yuv422", &RowKernels::yuv422, 4},
    {"yuv411", &RowKernels::yuv411, 3}, {"rgb8", &RowKernels::rgb8, 6},
    {"mono16", &RowKernels::mono16, 4}, {"rgb16", &RowKernels::rgb16, 12},
    {"copy", &RowKernels::copy, 2},
};

// Every kernel set of this CPU gives the reference's bytes, at sizes around the vector widths
// and odd ones, with the raw frame ending exactly at its allocation; its RGB average (a fast
// division by 3) is exact for every sum the colours can make.
TEST(PixelConversion, EveryKernelSetMatchesTheReference) {
    const RowKernels* const* sets = nullptr;
    const std::size_t count = AvailableKernelSets(&sets);
    ASSERT_GE(count, 1u);
    EXPECT_EQ(sets[0], &ReferenceKernels());
    EXPECT_EQ(sets[count - 1], &ActiveKernels());
    Bytes sums, thirds;
    for (unsigned sum = 0; sum <= 765; ++sum) {
        const unsigned r = std::min(sum, 255u), g = std::min(sum - r, 255u), b = sum - r - g;
        sums.insert(sums.end(), {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                 static_cast<std::uint8_t>(b)});
        thirds.push_back(static_cast<std::uint8_t>(sum / 3));
    }
    std::mt19937 random(1234);
    const std::size_t sizes[] = {1, 2, 15, 16, 17, 31, 32, 33, 63, 64, 65, 641};
    for (std::size_t s = 0; s < count; ++s) {
        Bytes row(thirds.size());
        sets[s]->rgb8(sums.data(), row.data(), row.size());
        EXPECT_EQ(row, thirds) << sets[s]->name;
        for (const KernelCase& k : kKernels) {
            for (std::size_t pixels : sizes) {
                SCOPED_TRACE(std::string(sets[s]->name) + " " + k.name + " " +
                             std::to_string(pixels));
                Bytes raw(pixels * k.rawPerTwoPixels / 2);
                for (auto& b : raw) b = static_cast<std::uint8_t>(random());
                Bytes expected(pixels + 8, 0xEE), actual(pixels + 8, 0xEE);
                (ReferenceKernels().*k.kernel)(raw.data(), expected.data(), pixels);
                (sets[s]->*k.kernel)(raw.data(), actual.data(), pixels);
                ASSERT_EQ(actual, expected);
            }
        }
    }
}

}  // namespace
}  // namespace fennex::test
