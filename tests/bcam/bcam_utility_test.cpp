// The fixed-format tables: what a grab port sizes its buffers by and what the format page shows.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>

#include "bcam/bcam_utility.h"
#include "bcam/cbcam.h"
#include "bcam/driver_contract.h"
#include "feature_tables.h"
#include "errors/error_codes.h"
#include "errors/exception.h"
#include "sim/sim.h"

namespace fennex::test {
namespace {

using Bcam::BcamUtility;
using Bcam::VideoColorMode;

TEST(FixedModes, NameSizeAndColourModeBelongTogether) {
    const struct {
        std::uint32_t format, mode;
        const char* name;
        std::uint32_t width, height;
        VideoColorMode colorMode;
    } rows[] = {
        {0, 0, "160 x 120, YUV(4:4:4)", 160, 120, VideoColorMode::YUV444},
        {1, 4, "1024 x 768, RGB", 1024, 768, VideoColorMode::RGB8},
        {2, 7, "1600 x 1200, Mono16", 1600, 1200, VideoColorMode::Mono16},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(BcamUtility::VideoResolutionName(row.format, row.mode), row.name);
        EXPECT_EQ(BcamUtility::ImageSize(row.format, row.mode),
                  (BcamUtility::Dimensions{row.width, row.height}));
        EXPECT_EQ(BcamUtility::ColorMode(row.format, row.mode), row.colorMode);
    }
}

TEST(FrameRates, NamesRunFromSlowestToFastest) {
    const char* expected[] = {"1.875 fps", "3.75 fps", "7.5 fps", "15 fps", "30 fps", "60 fps"};
    for (std::uint32_t rate = 0; rate < 6; ++rate)
        EXPECT_EQ(BcamUtility::VideoFrameRateName(rate), expected[rate]) << rate;
}

struct PacketRow {
    std::uint32_t format, mode, rate, bytes;
};

TEST(BytePerPacket, HalvesWithEachSlowerRate) {
    const PacketRow rows[] = {
        {0, 0, 2, 60},    // the smallest packet there is
        {0, 5, 4, 1280},
        {1, 2, 5, 4000},  // the largest
    };
    for (const PacketRow& row : rows)
        EXPECT_EQ(BcamUtility::BytePerPacket(row.format, row.mode, row.rate), row.bytes)
            << row.format << "/" << row.mode << "/" << row.rate;
}

struct RefusalRow {
    const char* what;
    std::function<void()> call;
    std::uint32_t code;
    const char* context;
    long long insert;  // the number the message names, -1 for none
};

// True when `number` stands in `text` as a word of its own.
bool NamesNumber(const std::string& text, long long number) {
    const std::string digits = std::to_string(number);
    for (std::size_t at = text.find(digits); at != std::string::npos; at = text.find(digits, at + 1)) {
        const bool startOk = at == 0 || !std::isdigit(static_cast<unsigned char>(text[at - 1]));
        const std::size_t end = at + digits.size();
        const bool endOk = end == text.size() || !std::isdigit(static_cast<unsigned char>(text[end]));
        if (startOk && endOk) return true;
    }
    return false;
}

TEST(VideoModeTables, RefuseWhatTheyDoNotDefine) {
    using namespace Bcam::codes;
    const RefusalRow rows[] = {
        {"30 bytes per packet", [] { BcamUtility::BytePerPacket(0, 0, 1); }, kBadVideoFormat,
         "BcamUtility::BytePerPacket()", 0},
        {"48000 bytes per packet", [] { BcamUtility::BytePerPacket(2, 4, 5); }, kBadVideoFormat,
         "BcamUtility::BytePerPacket()", 2},
        {"format 0 at 1.875 fps", [] { BcamUtility::BytePerPacket(0, 5, 0); }, kBadVideoMode,
         "BcamUtility::BytePerPacket()", 5},
        {"format 3", [] { BcamUtility::BytePerPacket(3, 0, 3); }, kBadVideoFormat,
         "BcamUtility::BytePerPacket()", 3},
        {"format 7 has no fixed packet", [] { BcamUtility::BytePerPacket(7, 0, 3); },
         kBadVideoFormat, "BcamUtility::BytePerPacket()", 7},
        {"rate index 6", [] { BcamUtility::BytePerPacket(1, 0, 6); }, kBadVideoFormat,
         "BcamUtility::BytePerPacket()", 1},
        {"image size of format 0 mode 7", [] { BcamUtility::ImageSize(0, 7); }, kBadVideoMode,
         "BcamUtility::ImageSize", 7},
        {"image size of format 7", [] { BcamUtility::ImageSize(7, 0); }, kBadVideoFormat,
         "BcamUtility::ImageSize", 7},
        {"name of format 5", [] { BcamUtility::VideoResolutionName(5, 0); }, kBadVideoFormat,
         "VideoResolutionName()", 5},
        {"rate name 6", [] { BcamUtility::VideoFrameRateName(6); }, kInvalidArg,
         "VideoFrameRateName", -1},
        {"colour mode 7", [] { BcamUtility::BitsPerPixel(static_cast<VideoColorMode>(7)); },
         kBadColorMode, "BcamUtility::BitsPerPixel", 7},
    };
    for (const RefusalRow& row : rows) {
        SCOPED_TRACE(row.what);
        const Raised raised = RaisedBy(row.call);
        EXPECT_EQ(raised.code, row.code);
        EXPECT_EQ(raised.context, row.context);
        if (row.insert >= 0) {
            EXPECT_TRUE(NamesNumber(raised.description, row.insert)) << raised.description;
        }
    }
}

class CameraVideoMode : public SimCameras {};

TEST_F(CameraVideoMode, ProbesSendOnlyTheInquiriesTheyNeed) {
    constexpr std::uint32_t kAll = 0xFFFFFFFFu;
    namespace driver = Bcam::driver;
    struct Row {
        const char* what;
        std::uint32_t format, mode, rate;
        bool supported;
        std::vector<std::uint32_t> codes;  // the requests, in order
        std::vector<std::vector<std::uint32_t>> inputs;
    };
    const Row rows[] = {
        {"format only", 0, kAll, kAll, true, {driver::kFormatInquiry}, {{}}},
        {"unsupported format stops at once", 2, 5, 4, false, {driver::kFormatInquiry}, {{}}},
        {"format and mode", 0, 5, kAll, true, {driver::kFormatInquiry, driver::kModeInquiry},
         {{}, {0}}},
        {"unsupported rate", 0, 6, 0, false,
         {driver::kFormatInquiry, driver::kModeInquiry, driver::kFrameRateInquiry},
         {{}, {0}, {0, 6}}},
    };
    Bcam::CBcam camera;
    camera.Open(kMono);  // format 0 modes 5 and 6, rates 1..5
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::ClearRequests();
        EXPECT_EQ(camera.IsVideoModeSupported(row.format, row.mode, row.rate), row.supported);
        const auto log = sim::Requests();
        ASSERT_EQ(log.size(), row.codes.size());
        for (std::size_t i = 0; i < log.size(); ++i) {
            EXPECT_EQ(log[i].code, row.codes[i]);
            EXPECT_EQ(log[i].in, row.inputs[i]);
        }
    }
}

}  // namespace
}  // namespace fennex::test
