#include "bcam/info.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "bcam/cbcam.h"
#include "bcam/driver_contract.h"

namespace Bcam {

namespace {
// A reply that fills its buffer without a terminator is cut before the buffer's last byte.
std::string TerminatedText(const char* buffer, std::size_t size) {
    return std::string(buffer, strnlen(buffer, size - 1));
}
}  // namespace

std::string CInfo::NodeId() {
    driver::NodeIdOut id{};
    m_pBcam->Transmit("CBcam::CInfo::NodeId()", driver::kNodeId, nullptr, 0, &id, sizeof id);
    const std::uint64_t unique = (std::uint64_t{id.high} << 32) | id.low;
    const auto vendor = static_cast<unsigned>(unique >> 40);
    const std::uint64_t chip = unique & ((std::uint64_t{1} << 40) - 1);
    char text[32];
    std::snprintf(text, sizeof text, "0x%06x-%" PRIu64, vendor, chip);
    return text;
}

std::string CInfo::CameraString(std::uint32_t selector, const char* context) {
    const driver::CameraStringIn in{selector};
    char buffer[driver::kCameraStringSize] = {};
    m_pBcam->Transmit(context, driver::kCameraString, &in, sizeof in, buffer, sizeof buffer);
    return TerminatedText(buffer, sizeof buffer);
}

std::string CInfo::VendorName() {
    return CameraString(driver::kStringVendor, "CBcam::CInfo::VendorName()");
}

std::string CInfo::ModelName() {
    return CameraString(driver::kStringModel, "CBcam::CInfo::ModelName()");
}

std::string CInfo::CameraFirmwareVersion() {
    return CameraString(driver::kStringFirmware, "CBcam::CInfo::CameraFirmwareVersion()");
}

std::string CInfo::DriverSoftwareVersion() {
    // Zeroed first, so an empty reply reads as an empty string.
    char buffer[driver::kDriverVersionSize] = {};
    m_pBcam->Transmit("CBcam::CInfo::DriverSoftwareVersion()", driver::kDriverVersion, nullptr,
                      0, buffer, sizeof buffer);
    return TerminatedText(buffer, sizeof buffer);
}

std::string CInfo::DeviceName() { return m_pBcam->DeviceName(); }

}  // namespace Bcam
