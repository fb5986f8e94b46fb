// The library's own error codes (facility 0xFF0), the driver status codes we meet (0xFE0)
// and the HRESULTs the library raises as they are.
#pragma once

#include <cstdint>

namespace Bcam::codes {

inline constexpr std::uint32_t kSystemCallFailed = 0xCFF00001;
inline constexpr std::uint32_t kClientWhileOpen = 0xCFF00002;
inline constexpr std::uint32_t kUnregisterWhileOpen = 0xCFF00003;
inline constexpr std::uint32_t kDeviceNotOpen = 0xCFF00004;
inline constexpr std::uint32_t kBadInquiry = 0xCFF00005;
inline constexpr std::uint32_t kBadVideoFormat = 0xCFF00006;
inline constexpr std::uint32_t kBadVideoMode = 0xCFF00007;
inline constexpr std::uint32_t kBadColorMode = 0xCFF00008;
inline constexpr std::uint32_t kBadColorCoding = 0xCFF0000D;
inline constexpr std::uint32_t kTestImageUnavailable = 0xCFF0000E;
inline constexpr std::uint32_t kSectionExists = 0xCFF00011;
inline constexpr std::uint32_t kSectionMissing = 0xCFF00012;
inline constexpr std::uint32_t kKeyMissing = 0xCFF00013;
inline constexpr std::uint32_t kBadValueText = 0xCFF00014;
inline constexpr std::uint32_t kWrongModel = 0xCFF00015;
inline constexpr std::uint32_t kAlreadyOpen = 0xCFF00016;
inline constexpr std::uint32_t kWrongDriverRelease = 0x4FF00019;

// Driver status codes as the message table lists them (customer bit clear).
inline constexpr std::uint32_t kDriverNoTestImage = 0xCFE00018;
inline constexpr std::uint32_t kDriverNotSupported = 0xCFE00019;
// The customer bit with which driver status codes arrive.
inline constexpr std::uint32_t kCustomerBit = 0x20000000;

inline constexpr std::uint32_t kInvalidArg = 0x80070057;
inline constexpr std::uint32_t kOutOfMemory = 0x8007000E;
inline constexpr std::uint32_t kNotImplemented = 0x80004001;

}  // namespace Bcam::codes
