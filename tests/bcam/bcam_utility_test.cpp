// The fixed-format tables: what a grab port sizes its buffers by and what the format page shows.
#include "fixture.h"

#include <regex>

#include "bcam/bcam_utility.h"

namespace fennex::test {
namespace {

using Bcam::BcamUtility;
using Bcam::VideoColorMode;

// The fixed modes as the README lists them: each mode's name, size and colour mode agree.
TEST(FixedModes, EveryModeHasTheSizeAndColourModeOfItsName) {
    const char* const table[3][8] = {
        {"160 x 120, YUV(4:4:4)", "320 x 240, YUV(4:2:2)", "640 x 480, YUV(4:1:1)", "640 x 480, YUV(4:2:2)",
         "640 x 480, RGB", "640 x 480, Mono8", "640 x 480, Mono16", nullptr},
        {"800 x 600, YUV(4:2:2)", "800 x 600, RGB", "800 x 600, Mono8", "1024 x 768, YUV(4:2:2)",
         "1024 x 768, RGB", "1024 x 768, Mono8", "800 x 600, Mono16", "1024 x 768, Mono16"},
        {"1280 x 960, YUV(4:2:2)", "1280 x 960, RGB", "1280 x 960, Mono8", "1600 x 1200, YUV(4:2:2)",
         "1600 x 1200, RGB", "1600 x 1200, Mono8", "1280 x 960, Mono16", "1600 x 1200, Mono16"},
    };
    const std::map<std::string, VideoColorMode> colours = {
        {"YUV(4:4:4)", VideoColorMode::YUV444}, {"YUV(4:2:2)", VideoColorMode::YUV422},
        {"YUV(4:1:1)", VideoColorMode::YUV411}, {"RGB", VideoColorMode::RGB8},
        {"Mono8", VideoColorMode::Mono8},       {"Mono16", VideoColorMode::Mono16}};
    for (std::uint32_t format = 0; format < 3; ++format)
        for (std::uint32_t mode = 0; mode < 8 && table[format][mode]; ++mode) {
            const std::string name = table[format][mode];
            SCOPED_TRACE(name);
            std::uint32_t width = 0, height = 0;
            ASSERT_EQ(std::sscanf(name.c_str(), "%u x %u", &width, &height), 2);
            EXPECT_EQ(BcamUtility::VideoResolutionName(format, mode), name);
            EXPECT_EQ(BcamUtility::ImageSize(format, mode), (BcamUtility::Dimensions{width, height}));
            EXPECT_EQ(BcamUtility::ColorMode(format, mode), colours.at(name.substr(name.find(", ") + 2)));
        }
}

// What each call returns, or the error, context and number in the message it raises.
TEST(VideoModeTables, PacketSizesAndRefusals) {
    using namespace Bcam::codes;
    struct Row {
        const char* what;
        std::function<std::uint32_t()> call;
        std::uint32_t value;
        std::uint32_t code = 0;
        const char* context = "";
        int insert = -1;  // the number the message names
    };
    const char* const kPacket = "BcamUtility::BytePerPacket()";
    const auto packet = [](std::uint32_t format, std::uint32_t mode, std::uint32_t rate) {
        return [=] { return BcamUtility::BytePerPacket(format, mode, rate); };
    };
    const Row rows[] = {
        {"the smallest packet there is", packet(0, 0, 2), 60},
        {"640 x 480 Mono8 at 30 fps", packet(0, 5, 4), 1280},
        {"the largest packet", packet(1, 2, 5), 4000},
        {"30 bytes per packet", packet(0, 0, 1), 0, kBadVideoFormat, kPacket, 0},
        {"48000 bytes per packet", packet(2, 4, 5), 0, kBadVideoFormat, kPacket, 2},
        {"format 0 at 1.875 fps", packet(0, 5, 0), 0, kBadVideoMode, kPacket, 5},
        {"format 3", packet(3, 0, 3), 0, kBadVideoFormat, kPacket, 3},
        {"rate index 6", packet(1, 0, 6), 0, kBadVideoFormat, kPacket, 1},
        {"image size of format 0 mode 7", [] { return BcamUtility::ImageSize(0, 7).width; }, 0,
         kBadVideoMode, "BcamUtility::ImageSize", 7},
        {"name of format 5", [] { return BcamUtility::VideoResolutionName(5, 0).size(); }, 0,
         kBadVideoFormat, "VideoResolutionName()", 5},
        {"rate name 6", [] { return BcamUtility::VideoFrameRateName(6).size(); }, 0, kInvalidArg,
         "VideoFrameRateName"},
        {"colour mode 7", [] { return BcamUtility::BitsPerPixel(static_cast<VideoColorMode>(7)); }, 0,
         kBadColorMode, "BcamUtility::BitsPerPixel", 7},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::uint32_t value = 0;
        const Raised raised = RaisedBy([&] { value = row.call(); });
        EXPECT_EQ(value, row.value);
        EXPECT_EQ(raised.code, row.code);
        EXPECT_EQ(raised.context, row.context);
        if (row.insert >= 0) {
            const std::regex word("(^|\\D)" + std::to_string(row.insert) + "(\\D|$)");
            EXPECT_TRUE(std::regex_search(raised.description, word)) << raised.description;
        }
    }
}

}  // namespace
}  // namespace fennex::test
