// Device enumeration over the driver backend's SetupAPI-shaped calls.
#include "bcam/enumeration.h"

#include <cstdio>

#include "bcam/cbcam.h"
#include "bcam/driver_contract.h"
#include "errors/driver_version_check.h"
#include "errors/exception.h"
#include "platform/last_error.h"
#include "platform/win32_errors.h"

namespace Bcam {

namespace err = fennex::platform::err;

bool IsDevicePath(const std::string& text) {
    const std::size_t p1 = text.find('#');
    return p1 != std::string::npos && text.find('#', p1 + 1) != std::string::npos;
}

std::string DeviceNameFromPath(const std::string& text) {
    if (!IsDevicePath(text)) return text;
    const std::size_t p1 = text.find('#');
    const std::size_t p2 = text.find('#', p1 + 1);
    std::size_t p3 = text.find('#', p2 + 1);
    if (p3 == std::string::npos) p3 = p2;
    return text.substr(p1 + 1, p3 - p1 - 1);
}

std::string DevicePathFromName(const std::string& text) {
    if (IsDevicePath(text)) return text;
    const fennex::platform::Guid& g = driver::kInterfaceClass;
    char group[64];
    std::snprintf(group, sizeof group, "#{%08lX-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return "\\\\?\\1394#" + text + group;
}

CBcamDevInfo::CBcamDevInfo(DriverBackend& backend)
    : m_Backend(backend), m_hDevInfo(backend.OpenInterfaceSet()) {
    if (m_hDevInfo == fennex::platform::InvalidHandleValue())
        throw BcamException(fennex::platform::LastError(), "CBcamDevInfo");
}

CBcamDevInfo::~CBcamDevInfo() {
    if (m_hDevInfo != fennex::platform::InvalidHandleValue()) m_Backend.CloseInterfaceSet(m_hDevInfo);
}

namespace {

// A call that failed without saying why would otherwise be retried forever at the same index.
std::uint32_t FailureOf(std::uint32_t error) { return error != 0 ? error : err::kGenFailure; }

}  // namespace

std::list<std::string> CBcamDevMgr::DeviceNames() { return DeviceNames(Backend()); }

std::list<std::string> CBcamDevMgr::DeviceNames(DriverBackend& backend) {
    CBcamDevInfo info(backend);
    // Only a wrong release stops us (it raises); a driver without a service key is listed
    // unchecked.
    CDriverVersionCheck::Match(backend);

    std::list<std::string> names;
    for (std::uint32_t index = 0;;) {
        if (!backend.EnumInterface(info.Set(), index)) {
            const std::uint32_t error = fennex::platform::LastError();
            if (error == err::kNoMoreItems) break;
            throw BcamException(FailureOf(error), "CBcam::DeviceNames");
        }
        std::uint32_t required = 0;
        if (backend.InterfaceDetail(info.Set(), index, 0, &required, nullptr) ||
            fennex::platform::LastError() != err::kInsufficientBuffer) {
            throw BcamException(FailureOf(fennex::platform::LastError()), "CBcamDevMgr::DeviceNames");
        }
        std::string path;
        if (!backend.InterfaceDetail(info.Set(), index, (required + 3) & ~3u, nullptr, &path)) {
            const std::uint32_t error = fennex::platform::LastError();
            if (error == err::kNoMoreItems) break;
            throw BcamException(FailureOf(error), "CBcam::DeviceNames");
        }
        names.push_back(DeviceNameFromPath(path));
        ++index;
    }
    return names;
}

std::list<std::string> CBcam::DeviceNames() { return CBcamDevMgr::DeviceNames(); }

}  // namespace Bcam
