// Raw camera frames to 8-bit grey rows. Free functions without platform dependence.
//
// Two levels: the frame functions check the pixel count and pick the kernel set for this CPU
// once; the row kernels trust their caller and convert `count` pixels in one pass, without
// allocation or tables. Every kernel set produces the same bytes as the reference set.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fennex::driver {

// Colour modes as the camera class library numbers them.
enum ColorModeValue : std::uint32_t {
    kMono8 = 0,
    kYuv411 = 1,
    kYuv422 = 2,
    kYuv444 = 3,
    kRgb8 = 4,
    kMono16 = 5,
    kRgb16 = 6,
};

// Reads the raw bytes of `count` pixels, writes exactly `count` row bytes.
using RowKernel = void (*)(const std::uint8_t* raw, std::uint8_t* row, std::size_t count);

struct RowKernels {
    const char* name;
    RowKernel yuv444;  // U Y V per pixel: Y
    RowKernel yuv422;  // U Y0 V Y1 per pair: Y0 Y1
    RowKernel yuv411;  // U Y0 Y1 V Y2 Y3 per four: the Ys
    RowKernel rgb8;    // R G B per pixel: (R + G + B) / 3, rounded down
    RowKernel mono16;  // big-endian 16-bit: the most significant byte
    RowKernel rgb16;   // big-endian 16-bit R G B: average of the three most significant bytes
    RowKernel copy;    // 8-bit: unchanged
};

// The scalar kernels that define the results.
const RowKernels& ReferenceKernels();
// Every kernel set this CPU can run, the reference first; the active set is the last.
std::size_t AvailableKernelSets(const RowKernels* const** sets);
const RowKernels& ActiveKernels();

// Frame functions: `width` x `height` pixels as a signed 32-bit count; nothing is written when
// the count is 0 or less (or does not fit in 32 bits). `row` holds width x height bytes.
void ConvertYuv444ToMono8(const std::uint8_t* raw, std::uint8_t* row, std::int32_t width,
                          std::int32_t height);
void ConvertYuv422ToMono8(const std::uint8_t* raw, std::uint8_t* row, std::int32_t width,
                          std::int32_t height);
void ConvertYuv411ToMono8(const std::uint8_t* raw, std::uint8_t* row, std::int32_t width,
                          std::int32_t height);
void ConvertRgb8ToMono8(const std::uint8_t* raw, std::uint8_t* row, std::int32_t width,
                        std::int32_t height);
void ConvertMono16ToMono8(const std::uint8_t* raw, std::uint8_t* row, std::int32_t width,
                          std::int32_t height);
void ConvertRgb16ToMono8(const std::uint8_t* raw, std::uint8_t* row, std::int32_t width,
                         std::int32_t height);
void CopyMono8(const std::uint8_t* raw, std::uint8_t* row, std::int32_t width,
               std::int32_t height);

using FrameConversion = void (*)(const std::uint8_t* raw, std::uint8_t* row, std::int32_t width,
                                 std::int32_t height);
// The conversion that reads frames of `colorMode`; null for a mode that is not 0 to 6.
FrameConversion ConversionForColorMode(std::uint32_t colorMode);

// Raw bytes of a frame of `pixels` pixels in `colorMode` (0 for an unknown mode).
std::size_t RawFrameBytes(std::uint32_t colorMode, std::size_t pixels);

}  // namespace fennex::driver
