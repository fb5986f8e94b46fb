// Fixed knowledge about the fixed-size video formats 0, 1 and 2: names, image sizes, colour
// modes, bits per pixel and isochronous packet sizes. Format 7 is described by the camera itself.
#pragma once

#include <cstdint>
#include <string>

namespace Bcam {

// Pixel codings of the fixed-size modes; the numbers are fixed.
enum class VideoColorMode : std::uint32_t {
    Mono8 = 0,
    YUV411 = 1,
    YUV422 = 2,
    YUV444 = 3,
    RGB8 = 4,
    Mono16 = 5,
    RGB16 = 6,
};

// Frame-rate indices 0..5 run from 1.875 to 60 frames per second.
inline constexpr std::uint32_t kFrameRateCount = 6;
// Video format 7: free region of interest, sized by the camera.
inline constexpr std::uint32_t kFormatSeven = 7;

// Every refusal raises BcamException with the offending number as insert %1.
class BcamUtility {
public:
    struct Dimensions {
        std::uint32_t width;
        std::uint32_t height;
        friend bool operator==(const Dimensions&, const Dimensions&) = default;
    };

    static std::string VideoResolutionName(std::uint32_t format, std::uint32_t mode);
    static std::string VideoFrameRateName(std::uint32_t rate);
    static Dimensions ImageSize(std::uint32_t format, std::uint32_t mode);
    static VideoColorMode ColorMode(std::uint32_t format, std::uint32_t mode);
    static std::uint16_t BitsPerPixel(VideoColorMode colorMode);
    // Bytes per isochronous packet; 4000 is the largest packet the bus takes, 60 the smallest
    // the tables allow.
    static std::uint32_t BytePerPacket(std::uint32_t format, std::uint32_t mode, std::uint32_t rate);
};

}  // namespace Bcam
