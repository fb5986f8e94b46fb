// The contract with the bcam kernel driver, release 1.6: the device interface class, the
// control codes and the request records. This is the only definition of the wire format; the
// class library, the kernel backend and the simulated driver all use it.
#pragma once

#include <cstdint>

#include "platform/device_broadcast.h"

namespace Bcam::driver {

// {35273622-C2F3-452A-8F39-5AFFC0345EB8}
inline constexpr fennex::platform::Guid kInterfaceClass = {
    0x35273622, 0xC2F3, 0x452A, {0x8F, 0x39, 0x5A, 0xFF, 0xC0, 0x34, 0x5E, 0xB8}};

// Device I/O control codes.
inline constexpr std::uint32_t kFormatInquiry = 0x80102004;
inline constexpr std::uint32_t kModeInquiry = 0x80102008;
inline constexpr std::uint32_t kFrameRateInquiry = 0x8010200C;
inline constexpr std::uint32_t kSetVideoMode = 0x80102010;
inline constexpr std::uint32_t kGetVideoMode = 0x80102070;
inline constexpr std::uint32_t kAllocateResources = 0x80102064;
inline constexpr std::uint32_t kFreeResources = 0x8010206B;
inline constexpr std::uint32_t kGrabImage = 0x80102041;
inline constexpr std::uint32_t kCancelGrabs = 0x80102093;
inline constexpr std::uint32_t kShot = 0x8010203C;
inline constexpr std::uint32_t kFeatureInquiry = 0x80102050;
inline constexpr std::uint32_t kFeatureSet = 0x80102054;
inline constexpr std::uint32_t kFeatureGet = 0x80102058;
inline constexpr std::uint32_t kTestImageSet = 0x80102048;
inline constexpr std::uint32_t kTestImageGet = 0x8010207C;
inline constexpr std::uint32_t kNodeId = 0x80102014;
inline constexpr std::uint32_t kCameraString = 0x80102018;
inline constexpr std::uint32_t kDriverVersion = 0x80102078;
inline constexpr std::uint32_t kF7Inquiry = 0x8010201C;
inline constexpr std::uint32_t kF7ImageSet = 0x80102020;
inline constexpr std::uint32_t kF7ImageGet = 0x80102024;
inline constexpr std::uint32_t kF7ColorCodingSet = 0x8010202C;
inline constexpr std::uint32_t kF7ColorCodingGet = 0x80102028;
inline constexpr std::uint32_t kF7BytePerPacketSet = 0x8010206C;
inline constexpr std::uint32_t kF7PacketGet = 0x80102030;

// Feature codes: 63 minus the feature's index in the IIDC feature register block.
inline constexpr std::uint32_t kBrightness = 63;
inline constexpr std::uint32_t kAutoExposure = 62;
inline constexpr std::uint32_t kSharpness = 61;
inline constexpr std::uint32_t kWhiteBalance = 60;
inline constexpr std::uint32_t kHue = 59;
inline constexpr std::uint32_t kSaturation = 58;
inline constexpr std::uint32_t kGamma = 57;
inline constexpr std::uint32_t kShutter = 56;
inline constexpr std::uint32_t kGain = 55;
inline constexpr std::uint32_t kIris = 54;
inline constexpr std::uint32_t kFocus = 53;
inline constexpr std::uint32_t kTemperature = 52;
inline constexpr std::uint32_t kTrigger = 51;

// Inquiry quadlet bits (bit 0 is the least significant).
inline constexpr std::uint32_t kInqPresence = 1u << 31;
inline constexpr std::uint32_t kInqAbsControl = 1u << 30;
inline constexpr std::uint32_t kInqOnePush = 1u << 28;
inline constexpr std::uint32_t kInqReadOut = 1u << 27;
inline constexpr std::uint32_t kInqOnOff = 1u << 26;
inline constexpr std::uint32_t kInqAuto = 1u << 25;   // trigger: Polarity_Inq
inline constexpr std::uint32_t kInqManual = 1u << 24;
inline constexpr std::uint32_t kInqTriggerMode0 = 1u << 15;  // modes 1..3 follow downwards

// Status/control quadlet bits and fields.
inline constexpr std::uint32_t kCtlAbsControl = 1u << 30;
inline constexpr std::uint32_t kCtlOnOff = 1u << 25;
inline constexpr std::uint32_t kCtlAutoMode = 1u << 24;  // trigger: Trigger_Polarity
inline constexpr int kValueShift = 0;     // bits 11..0: Value, V/R, trigger Parameter
inline constexpr int kUbShift = 12;       // bits 23..12: U/B
inline constexpr int kTriggerModeShift = 16;  // bits 19..16

// Field masks of the feature set request: each names the one field to change.
inline constexpr std::uint32_t kMaskValue = 0x001;
inline constexpr std::uint32_t kMaskAutoMode = 0x002;
inline constexpr std::uint32_t kMaskPolarity = 0x004;
inline constexpr std::uint32_t kMaskOnOff = 0x008;
inline constexpr std::uint32_t kMaskOnePush = 0x010;
inline constexpr std::uint32_t kMaskAbsControl = 0x020;
inline constexpr std::uint32_t kMaskUb = 0x040;
inline constexpr std::uint32_t kMaskVr = 0x080;
inline constexpr std::uint32_t kMaskTriggerMode = 0x200;
inline constexpr std::uint32_t kMaskParameter = 0x400;

// Shot actions.
inline constexpr std::uint32_t kShotStop = 0;
inline constexpr std::uint32_t kShotContinuous = 1;
inline constexpr std::uint32_t kShotOne = 2;

// Camera string selectors.
inline constexpr std::uint32_t kStringVendor = 0;
inline constexpr std::uint32_t kStringModel = 1;
inline constexpr std::uint32_t kStringFirmware = 2;

// Format 7 image write field masks.
inline constexpr std::uint32_t kF7MaskPosition = 3;
inline constexpr std::uint32_t kF7MaskSize = 12;

// Request records: little-endian 32-bit words.
struct VideoModeRecord { std::uint32_t format, mode, rate; };
struct AllocateIn { std::uint32_t bytesPerPacket, bufferCount, bufferSize; };
struct AllocateOut { std::uint32_t word1, word2, word3; };
struct ShotIn { std::uint32_t action, zero; };
struct FeatureInquiryIn { std::uint32_t feature; };
struct FeatureGetIn { std::uint32_t feature, zero; };
struct FeatureSetIn { std::uint32_t feature, quadlet, mask; };
struct TestImageSetIn { std::uint32_t quadlet; };
struct NodeIdOut { std::uint32_t low, high; };
struct CameraStringIn { std::uint32_t selector; };
inline constexpr std::uint32_t kCameraStringSize = 256;
inline constexpr std::uint32_t kDriverVersionSize = 20;
struct F7ModeIn { std::uint32_t mode; };
struct F7InquiryOut { std::uint32_t words[14]; };  // 0 max width, 1 max height
struct F7ImageOut { std::uint32_t left, top, width, height; };
struct F7ImageSetIn { std::uint32_t mode, left, top, width, height, mask; };
struct F7ColorCodingSetIn { std::uint32_t mode, coding; };
struct F7PacketOut { std::uint32_t words[7]; };  // 5 current bytes per packet
struct F7BytePerPacketSetIn { std::uint32_t mode, bytesPerPacket; };

static_assert(sizeof(F7InquiryOut) == 56 && sizeof(F7PacketOut) == 28 &&
              sizeof(F7ImageSetIn) == 24);

}  // namespace Bcam::driver
