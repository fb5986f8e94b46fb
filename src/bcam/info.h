// Identification strings of the camera and the driver, read from the camera on every call.
#pragma once

#include <cstdint>
#include <string>

namespace Bcam {

class CBcam;

class CInfo {
public:
    explicit CInfo(CBcam& device) : m_pBcam(&device) {}
    CInfo(const CInfo&) = delete;
    CInfo& operator=(const CInfo&) = delete;

    // The 64-bit unique ID as "0x" + node vendor ID (6 hex digits) + "-" + chip ID (decimal).
    std::string NodeId();
    std::string VendorName();
    std::string ModelName();
    std::string CameraFirmwareVersion();
    std::string DriverSoftwareVersion();
    // The name under which the device was opened; no request.
    std::string DeviceName();

private:
    std::string CameraString(std::uint32_t selector, const char* context);

    CBcam* m_pBcam;
};

}  // namespace Bcam
