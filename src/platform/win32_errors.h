// Win32 error numbers: the one numbering of failures on every OS.
#pragma once

#include <cstdint>

namespace fennex::platform::err {

inline constexpr std::uint32_t kSuccess = 0;
inline constexpr std::uint32_t kInvalidFunction = 1;
inline constexpr std::uint32_t kFileNotFound = 2;
inline constexpr std::uint32_t kPathNotFound = 3;
inline constexpr std::uint32_t kAccessDenied = 5;
inline constexpr std::uint32_t kInvalidHandle = 6;
inline constexpr std::uint32_t kNotEnoughMemory = 8;
inline constexpr std::uint32_t kNotReady = 21;
inline constexpr std::uint32_t kBadCommand = 22;
inline constexpr std::uint32_t kGenFailure = 31;
inline constexpr std::uint32_t kNotSupported = 50;
inline constexpr std::uint32_t kFileExists = 80;
inline constexpr std::uint32_t kCannotMake = 82;
inline constexpr std::uint32_t kInvalidParameter = 87;
inline constexpr std::uint32_t kDiskFull = 112;
inline constexpr std::uint32_t kSemTimeout = 121;
inline constexpr std::uint32_t kInsufficientBuffer = 122;
inline constexpr std::uint32_t kAlreadyExists = 183;
inline constexpr std::uint32_t kFilenameExcedRange = 206;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kMoreData = 234;
inline constexpr std::uint32_t kNoMoreItems = 259;
inline constexpr std::uint32_t kMrMidNotFound = 317;  // no message for this code
inline constexpr std::uint32_t kAbandonedWait0 = 735;  // the port was closed during a wait
inline constexpr std::uint32_t kOperationAborted = 995;
inline constexpr std::uint32_t kIoPending = 997;
inline constexpr std::uint32_t kDeviceNotConnected = 1167;
inline constexpr std::uint32_t kInvalidWindowHandle = 1400;
inline constexpr std::uint32_t kResourceTypeNotFound = 1813;

}  // namespace fennex::platform::err
