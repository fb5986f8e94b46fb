// Finding the cameras the driver presents, and the device names cut out of their paths.
#pragma once

#include <list>
#include <string>

#include "bcam/driver_backend.h"

namespace Bcam {

// True when the text holds at least two '#' (an interface path rather than a device name).
bool IsDevicePath(const std::string& text);
// The text strictly between the first and the third '#' (or the second, when there is no
// third); a text that is no path comes back unchanged.
std::string DeviceNameFromPath(const std::string& text);
// "\\?\1394#" + name + "#{35273622-C2F3-452a-8F39-5AFFC0345EB8}"; a path comes back unchanged.
std::string DevicePathFromName(const std::string& text);

// The device information set of the camera interface class (present devices, as device
// interfaces), destroyed when the holder goes away.
class CBcamDevInfo {
public:
    // Raises the backend's error with context "CBcamDevInfo" when the set cannot be opened.
    explicit CBcamDevInfo(DriverBackend& backend);
    ~CBcamDevInfo();
    CBcamDevInfo(const CBcamDevInfo&) = delete;
    CBcamDevInfo& operator=(const CBcamDevInfo&) = delete;

    Handle Set() const { return m_hDevInfo; }

private:
    DriverBackend& m_Backend;
    Handle m_hDevInfo;
};

class CBcamDevMgr {
public:
    // The device names in the order the system enumerates the interfaces, through Backend().
    // Any failure raises and no partial list is returned; no camera is an empty list.
    static std::list<std::string> DeviceNames();
    static std::list<std::string> DeviceNames(DriverBackend& backend);
};

}  // namespace Bcam
