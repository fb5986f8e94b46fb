// Device-change broadcast records, laid out as Win32's DEV_BROADCAST_* structures.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace fennex::platform {

struct Guid {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

inline bool operator==(const Guid& a, const Guid& b) {
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3;
}

inline constexpr std::uint32_t kDbtDeviceQueryRemove = 0x8001;
inline constexpr std::uint32_t kDbtDeviceQueryRemoveFailed = 0x8002;
inline constexpr std::uint32_t kDbtDeviceRemoveComplete = 0x8004;
inline constexpr std::uint32_t kDbtDevicePath = 0x8000;  // DBT_DEVICEARRIVAL

inline constexpr std::uint32_t kDbtDevtypDeviceInterface = 5;
inline constexpr std::uint32_t kDbtDevtypHandle = 6;

inline constexpr std::uint32_t kDeviceNotifyWindowHandle = 0;

struct DevBroadcastHdr {
    std::uint32_t dbch_size;
    std::uint32_t dbch_devicetype;
    std::uint32_t dbch_reserved;
};

struct DevBroadcastDeviceInterface {
    std::uint32_t dbcc_size;
    std::uint32_t dbcc_devicetype;
    std::uint32_t dbcc_reserved;
    Guid dbcc_classguid;
    char dbcc_name[1];
};

struct DevBroadcastHandle {
    std::uint32_t dbch_size;
    std::uint32_t dbch_devicetype;
    std::uint32_t dbch_reserved;
    Handle dbch_handle;
    Handle dbch_hdevnotify;  // the registration that this broadcast answers
    Guid dbch_eventguid;
    std::int32_t dbch_nameoffset;
    std::uint8_t dbch_data[1];
};

}  // namespace fennex::platform
