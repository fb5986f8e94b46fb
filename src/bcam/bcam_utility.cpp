#include "bcam/bcam_utility.h"

#include <cstddef>

#include "errors/error_codes.h"
#include "errors/exception.h"

namespace Bcam {
namespace {

struct ModeInfo {
    const char* name;
    std::uint32_t width;
    std::uint32_t height;
    VideoColorMode colorMode;
    std::uint32_t base;  // bytes per packet at frame-rate index 5
};

using enum VideoColorMode;

constexpr ModeInfo kFormat0[] = {
    {"160 x 120, YUV(4:4:4)", 160, 120, YUV444, 480},
    {"320 x 240, YUV(4:2:2)", 320, 240, YUV422, 1280},
    {"640 x 480, YUV(4:1:1)", 640, 480, YUV411, 3840},
    {"640 x 480, YUV(4:2:2)", 640, 480, YUV422, 5120},
    {"640 x 480, RGB", 640, 480, RGB8, 7680},
    {"640 x 480, Mono8", 640, 480, Mono8, 2560},
    {"640 x 480, Mono16", 640, 480, Mono16, 5120},
};

constexpr ModeInfo kFormat1[] = {
    {"800 x 600, YUV(4:2:2)", 800, 600, YUV422, 8000},
    {"800 x 600, RGB", 800, 600, RGB8, 12000},
    {"800 x 600, Mono8", 800, 600, Mono8, 4000},
    {"1024 x 768, YUV(4:2:2)", 1024, 768, YUV422, 12288},
    {"1024 x 768, RGB", 1024, 768, RGB8, 18432},
    {"1024 x 768, Mono8", 1024, 768, Mono8, 6144},
    {"800 x 600, Mono16", 800, 600, Mono16, 4000},
    {"1024 x 768, Mono16", 1024, 768, Mono16, 12288},
};

constexpr ModeInfo kFormat2[] = {
    {"1280 x 960, YUV(4:2:2)", 1280, 960, YUV422, 20480},
    {"1280 x 960, RGB", 1280, 960, RGB8, 30720},
    {"1280 x 960, Mono8", 1280, 960, Mono8, 10240},
    {"1600 x 1200, YUV(4:2:2)", 1600, 1200, YUV422, 32000},
    {"1600 x 1200, RGB", 1600, 1200, RGB8, 48000},
    {"1600 x 1200, Mono8", 1600, 1200, Mono8, 16000},
    {"1280 x 960, Mono16", 1280, 960, Mono16, 20480},
    {"1600 x 1200, Mono16", 1600, 1200, Mono16, 32000},
};

struct FormatInfo {
    const ModeInfo* modes;
    std::size_t count;
};

constexpr FormatInfo kFormats[] = {
    {kFormat0, std::size(kFormat0)},
    {kFormat1, std::size(kFormat1)},
    {kFormat2, std::size(kFormat2)},
};

constexpr const char* kFrameRateNames[kFrameRateCount] = {
    "1.875 fps", "3.75 fps", "7.5 fps", "15 fps", "30 fps", "60 fps",
};

constexpr std::uint32_t kMaxBytePerPacket = 4000;
constexpr std::uint32_t kMinBytePerPacket = 60;

// The table row of a fixed-size mode, or the refusal with the caller's context.
const ModeInfo& Lookup(std::uint32_t format, std::uint32_t mode, const char* context) {
    if (format >= std::size(kFormats))
        throw BcamException(codes::kBadVideoFormat, context, {format});
    const FormatInfo& info = kFormats[format];
    if (mode >= info.count) throw BcamException(codes::kBadVideoMode, context, {mode});
    return info.modes[mode];
}

}  // namespace

std::string BcamUtility::VideoResolutionName(std::uint32_t format, std::uint32_t mode) {
    return Lookup(format, mode, "VideoResolutionName()").name;
}

std::string BcamUtility::VideoFrameRateName(std::uint32_t rate) {
    if (rate >= kFrameRateCount) throw BcamException(codes::kInvalidArg, "VideoFrameRateName");
    return kFrameRateNames[rate];
}

BcamUtility::Dimensions BcamUtility::ImageSize(std::uint32_t format, std::uint32_t mode) {
    const ModeInfo& info = Lookup(format, mode, "BcamUtility::ImageSize");
    return {info.width, info.height};
}

VideoColorMode BcamUtility::ColorMode(std::uint32_t format, std::uint32_t mode) {
    return Lookup(format, mode, "BcamUtility::ColorMode").colorMode;
}

std::uint16_t BcamUtility::BitsPerPixel(VideoColorMode colorMode) {
    switch (colorMode) {
    case Mono8: return 8;
    case YUV411: return 12;
    case YUV422: return 16;
    case YUV444: return 24;
    case RGB8: return 24;
    case Mono16: return 16;
    case RGB16: return 48;
    }
    throw BcamException(codes::kBadColorMode, "BcamUtility::BitsPerPixel",
                        {static_cast<std::uint32_t>(colorMode)});
}

std::uint32_t BcamUtility::BytePerPacket(std::uint32_t format, std::uint32_t mode,
                                         std::uint32_t rate) {
    constexpr const char* kContext = "BcamUtility::BytePerPacket()";
    // Format 0 has no 1.875 fps rate at all, whatever its packet would come to.
    if (format == 0 && rate == 0) throw BcamException(codes::kBadVideoMode, kContext, {mode});
    const ModeInfo& info = Lookup(format, mode, kContext);
    if (rate >= kFrameRateCount) throw BcamException(codes::kBadVideoFormat, kContext, {format});
    // Each step down in frame rate halves the packet.
    const std::uint32_t bytes = info.base >> (kFrameRateCount - 1 - rate);
    if (bytes > kMaxBytePerPacket || bytes < kMinBytePerPacket)
        throw BcamException(codes::kBadVideoFormat, kContext, {format});
    return bytes;
}

}  // namespace Bcam
