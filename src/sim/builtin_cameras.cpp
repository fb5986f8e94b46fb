// The two cameras the simulator has when nothing else is described, and what every camera
// description shares: its modes and its interface path.
#include <string>
#include <vector>

#include "bcam/driver_contract.h"
#include "sim/sim.h"

namespace sim {

namespace drv = Bcam::driver;

void CameraDesc::AddMode(std::uint32_t f, std::uint32_t m,
                         std::initializer_list<std::uint32_t> rateIndices) {
    modes.at(f) |= 1u << (31 - m);
    for (std::uint32_t r : rateIndices) rates.at(f).at(m) |= 1u << (31 - r);
}

std::string InterfacePath(const std::string& name) {
    // Lower-case GUID, as the system reports interface paths.
    return "\\\\?\\1394#" + name + "#{35273622-c2f3-452a-8f39-5affc0345eb8}";
}

namespace {

constexpr std::uint32_t Inquiry(std::uint32_t flags, std::uint32_t min, std::uint32_t max) {
    return flags | (min << 12) | max;
}

constexpr std::uint32_t kScalarFlags =
    drv::kInqPresence | drv::kInqReadOut | drv::kInqManual;

}  // namespace

std::vector<CameraDesc> DefaultCameras() {
    using namespace Bcam::driver;
    std::vector<CameraDesc> cameras;

    CameraDesc mono;
    mono.name = "MONO&SIM640#0030530000A10001";
    mono.vendor = "Fennex Simulation";
    mono.model = "SIM-640M";
    mono.firmware = "1.2.0";
    mono.nodeId = 0x0030530000A10001ull;
    mono.AddMode(0, 5, {1, 2, 3, 4, 5});
    mono.AddMode(0, 6, {1, 2, 3, 4});
    mono.format = 0;
    mono.mode = 5;
    mono.rate = 4;
    mono.feature(kBrightness) = {Inquiry(kScalarFlags, 0, 255), 128};
    mono.feature(kAutoExposure) = {Inquiry(kScalarFlags | kInqOnOff | kInqAuto, 0, 1023),
                                   kCtlOnOff | 512};
    mono.feature(kSharpness) = {Inquiry(kScalarFlags, 0, 7), 3};
    mono.feature(kGamma) = {Inquiry(kScalarFlags | kInqOnOff, 0, 1), kCtlOnOff | 1};
    mono.feature(kShutter) = {
        Inquiry(kScalarFlags | kInqAbsControl | kInqOnePush | kInqOnOff | kInqAuto, 1, 4095),
        kCtlOnOff | 500};
    mono.feature(kGain) = {Inquiry(kScalarFlags | kInqAuto, 0, 255), 64};
    mono.feature(kTrigger) = {kInqPresence | kInqReadOut | kInqOnOff | kInqTriggerMode0 |
                                  (kInqTriggerMode0 >> 1),
                              0};
    mono.hasTestImages = true;
    mono.testImages = 0x1E;  // images 1..4
    cameras.push_back(mono);

    CameraDesc colour;
    colour.name = "COLR&SIM1600#0030530000A20002";
    colour.vendor = "Fennex Simulation";
    colour.model = "SIM-1600C";
    colour.firmware = "2.0.1";
    colour.nodeId = 0x0030530000A20002ull;
    colour.AddMode(0, 1, {1, 2, 3, 4, 5});
    colour.AddMode(0, 3, {1, 2, 3, 4});
    colour.AddMode(0, 4, {1, 2, 3, 4});
    colour.AddMode(1, 0, {0, 1, 2, 3, 4});
    colour.AddMode(1, 1, {0, 1, 2, 3});
    colour.AddMode(1, 4, {0, 1});
    colour.AddMode(2, 0, {0, 1});
    colour.AddMode(2, 1, {0, 1});
    colour.AddMode(2, 3, {0, 1});
    colour.AddMode(2, 4, {0, 1});
    Format7Mode full;
    full.present = true;
    full.maxWidth = 1600;
    full.maxHeight = 1200;
    full.unitWidth = 4;
    full.unitHeight = 2;
    full.codings = (1u << 31) | (1u << 29) | (1u << 27);  // Mono8, YUV422, RGB8
    full.unitBytes = 4;
    full.maxBytes = 4000;
    full.width = 1600;
    full.height = 1200;
    full.coding = 2;
    full.bytesPerPacket = 4000;
    colour.format7[0] = full;
    Format7Mode binned;
    binned.present = true;
    binned.maxWidth = 800;
    binned.maxHeight = 600;
    binned.unitWidth = 2;
    binned.unitHeight = 2;
    binned.codings = (1u << 31) | (1u << 26);  // Mono8, Mono16
    binned.unitBytes = 4;
    binned.maxBytes = 4000;
    binned.width = 800;
    binned.height = 600;
    binned.coding = 0;
    binned.bytesPerPacket = 2000;
    colour.format7[1] = binned;
    colour.format = 0;
    colour.mode = 3;
    colour.rate = 3;
    colour.feature(kBrightness) = {Inquiry(kScalarFlags | kInqAuto, 0, 255), 128};
    colour.feature(kWhiteBalance) = {
        Inquiry(kScalarFlags | kInqOnePush | kInqOnOff | kInqAuto, 0, 1023),
        kCtlOnOff | (512u << kUbShift) | 512u};
    colour.feature(kHue) = {Inquiry(kScalarFlags | kInqOnOff, 0, 255), kCtlOnOff | 128};
    colour.feature(kSaturation) = {Inquiry(kScalarFlags, 0, 255), 128};
    colour.feature(kGamma) = {Inquiry(kScalarFlags, 0, 2), 1};
    colour.feature(kShutter) = {Inquiry(kScalarFlags | kInqAuto, 1, 4095), 800};
    colour.feature(kGain) = {Inquiry(kScalarFlags | kInqAuto, 0, 511), 0};
    colour.feature(kTrigger) = {kInqPresence | kInqReadOut | kInqOnOff | kInqAuto /* polarity */ |
                                    (0xFu << 12),
                                0};
    colour.hasTestImages = true;
    colour.testImages = 0xFE;  // images 1..7
    cameras.push_back(colour);
    return cameras;
}

}  // namespace sim
