// The registers of a simulated IIDC camera and the frames it sends.
#include "sim/camera.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bcam/driver_contract.h"
#include "platform/win32_errors.h"

namespace sim {

namespace drv = Bcam::driver;
namespace err = fennex::platform::err;

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

namespace detail {

namespace {

struct FixedMode {
    std::uint32_t width, height, coding;
};

// The fixed-size modes of formats 0, 1 and 2 (format 0 has seven).
constexpr FixedMode kFixed[3][8] = {
    {{160, 120, 3}, {320, 240, 2}, {640, 480, 1}, {640, 480, 2}, {640, 480, 4}, {640, 480, 0},
     {640, 480, 5}, {0, 0, 0}},
    {{800, 600, 2}, {800, 600, 4}, {800, 600, 0}, {1024, 768, 2}, {1024, 768, 4}, {1024, 768, 0},
     {800, 600, 5}, {1024, 768, 5}},
    {{1280, 960, 2}, {1280, 960, 4}, {1280, 960, 0}, {1600, 1200, 2}, {1600, 1200, 4},
     {1600, 1200, 0}, {1280, 960, 5}, {1600, 1200, 5}},
};

// Bits per pixel of the colour codings 0..6.
constexpr std::uint32_t kBits[7] = {8, 12, 16, 24, 24, 16, 48};

bool IsFeatureCode(std::uint32_t code) { return code >= 51 && code <= 63; }

void PutWords(std::uint8_t* out, std::initializer_list<std::uint32_t> words) {
    for (std::uint32_t w : words) {
        std::memcpy(out, &w, 4);
        out += 4;
    }
}

// One writable field of a feature's control register.
struct Field {
    std::uint32_t mask;        // field mask of the set request
    std::uint32_t bits;        // the field's bits in the quadlet
    std::uint32_t capability;  // inquiry bit without which the field is read-only (0: none)
    bool ranged;               // a 12-bit value bounded by Min_Value and Max_Value
};

constexpr std::uint32_t k12 = 0xFFF;

// The fields each kind of feature has.
constexpr Field kScalarFields[] = {
    {drv::kMaskValue, k12, drv::kInqManual, true},
    {drv::kMaskAutoMode, drv::kCtlAutoMode, drv::kInqAuto, false},
    {drv::kMaskOnOff, drv::kCtlOnOff, drv::kInqOnOff, false},
    {drv::kMaskOnePush, 1u << 26, drv::kInqOnePush, false},
    {drv::kMaskAbsControl, drv::kCtlAbsControl, drv::kInqAbsControl, false},
};
constexpr Field kWhiteBalanceFields[] = {
    {drv::kMaskAutoMode, drv::kCtlAutoMode, drv::kInqAuto, false},
    {drv::kMaskOnOff, drv::kCtlOnOff, drv::kInqOnOff, false},
    {drv::kMaskOnePush, 1u << 26, drv::kInqOnePush, false},
    {drv::kMaskAbsControl, drv::kCtlAbsControl, drv::kInqAbsControl, false},
    {drv::kMaskUb, k12 << drv::kUbShift, drv::kInqManual, true},
    {drv::kMaskVr, k12, drv::kInqManual, true},
};
constexpr Field kTriggerFields[] = {
    {drv::kMaskPolarity, drv::kCtlAutoMode, drv::kInqAuto /* Polarity_Inq */, false},
    {drv::kMaskOnOff, drv::kCtlOnOff, drv::kInqOnOff, false},
    {drv::kMaskAbsControl, drv::kCtlAbsControl, drv::kInqAbsControl, false},
    {drv::kMaskTriggerMode, 0xFu << drv::kTriggerModeShift, 0, false},
    {drv::kMaskParameter, k12, 0, false},
};

template <std::size_t N>
std::uint32_t SetFields(Feature& feature, const Field (&fields)[N], std::uint32_t quadlet,
                        std::uint32_t mask, bool trigger) {
    std::uint32_t known = 0;
    for (const Field& f : fields) known |= f.mask;
    if (mask == 0 || (mask & ~known) != 0) return err::kInvalidParameter;

    const std::uint32_t min = (feature.inquiry >> 12) & k12;
    const std::uint32_t max = feature.inquiry & k12;
    std::uint32_t control = feature.control;
    for (const Field& f : fields) {
        if ((mask & f.mask) == 0) continue;
        // A field the camera cannot change is read-only: the write is accepted and ignored,
        // as an IIDC camera ignores writes to bits it does not implement.
        if (f.capability != 0 && (feature.inquiry & f.capability) == 0) continue;
        std::uint32_t value = quadlet & f.bits;  // bits outside the field are dropped
        if (f.ranged) {
            const int shift = f.bits == k12 ? 0 : drv::kUbShift;
            const std::uint32_t v = value >> shift;
            if (v < min || v > max) return err::kInvalidParameter;
        }
        if (trigger && f.mask == drv::kMaskTriggerMode) {
            const std::uint32_t m = value >> drv::kTriggerModeShift;
            if (m > 3 || (feature.inquiry & (drv::kInqTriggerMode0 >> m)) == 0)
                return err::kInvalidParameter;
        }
        if (f.mask == drv::kMaskOnePush) value = 0;  // one push completes at once
        control = (control & ~f.bits) | value;
    }
    feature.control = control;
    return 0;
}

std::uint32_t SetFeature(CameraDesc& camera, std::uint32_t code, std::uint32_t quadlet,
                         std::uint32_t mask) {
    if (!IsFeatureCode(code)) return err::kInvalidParameter;
    Feature& feature = camera.feature(code);
    if ((feature.inquiry & drv::kInqPresence) == 0) return kNotSupported;
    if (code == drv::kTrigger) return SetFields(feature, kTriggerFields, quadlet, mask, true);
    if (code == drv::kWhiteBalance)
        return SetFields(feature, kWhiteBalanceFields, quadlet, mask, false);
    return SetFields(feature, kScalarFields, quadlet, mask, false);
}

std::uint32_t SetVideoMode(CameraDesc& camera, std::uint32_t f, std::uint32_t m, std::uint32_t r) {
    if (f > 7 || m > 7) return err::kInvalidParameter;
    if (f == 7) {
        if (!camera.format7[m].present) return err::kInvalidParameter;
    } else if ((camera.modes[f] & (1u << (31 - m))) == 0 || r > 7 ||
               (camera.rates[f][m] & (1u << (31 - r))) == 0) {
        return err::kInvalidParameter;
    }
    camera.format = f;
    camera.mode = m;
    camera.rate = r;  // format 7 keeps whatever rate it is given; it is not used there
    return 0;
}

std::uint32_t ModeInquiry(const CameraDesc& camera, std::uint32_t f) {
    if (f != 7) return camera.modes[f];
    std::uint32_t bits = 0;
    for (std::uint32_t m = 0; m < 8; ++m)
        if (camera.format7[m].present) bits |= 1u << (31 - m);
    return bits;
}

std::uint32_t FrameBytes(std::uint32_t width, std::uint32_t height, std::uint32_t coding) {
    return static_cast<std::uint32_t>(std::uint64_t{width} * height * kBits[coding] / 8);
}

std::uint32_t SetFormat7Image(Format7Mode& f7, const std::uint32_t* in) {
    const std::uint32_t left = in[1], top = in[2], width = in[3], height = in[4], mask = in[5];
    if (mask != drv::kF7MaskPosition && mask != drv::kF7MaskSize &&
        mask != (drv::kF7MaskPosition | drv::kF7MaskSize))
        return err::kInvalidParameter;
    Format7Mode next = f7;
    if (mask & drv::kF7MaskPosition) {
        if (left % f7.unitWidth || top % f7.unitHeight || left >= f7.maxWidth ||
            top >= f7.maxHeight)
            return err::kInvalidParameter;
        next.left = left;
        next.top = top;
        // The region keeps inside the sensor: a move cuts the size to what is left.
        next.width = std::min(next.width, f7.maxWidth - left) / f7.unitWidth * f7.unitWidth;
        next.height = std::min(next.height, f7.maxHeight - top) / f7.unitHeight * f7.unitHeight;
    }
    if (mask & drv::kF7MaskSize) {
        if (width == 0 || height == 0 || width % f7.unitWidth || height % f7.unitHeight ||
            width > f7.maxWidth - next.left || height > f7.maxHeight - next.top)
            return err::kInvalidParameter;
        next.width = width;
        next.height = height;
    }
    f7 = next;
    return 0;
}

std::uint32_t DriverVersionText(const DriverRelease& release, char* out, std::uint32_t size) {
    char text[32];  // four 16-bit numbers and three dots always fit
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", release.versionMS >> 16,
                  release.versionMS & 0xFFFF, release.versionLS >> 16, release.versionLS & 0xFFFF);
    // A reply field too short for the whole text keeps its start and its terminating zero.
    if (size) {
        const std::size_t n = std::min<std::size_t>(std::strlen(text), size - 1);
        std::memcpy(out, text, n);
        out[n] = '\0';
    }
    return size;
}

}  // namespace

bool RequestSizes(std::uint32_t code, std::uint32_t* inSize, std::uint32_t* minOut) {
    struct Sizes {
        std::uint32_t code, in, out;
    };
    static constexpr Sizes kSizes[] = {
        {drv::kFormatInquiry, 0, 4},     {drv::kModeInquiry, 4, 4},
        {drv::kFrameRateInquiry, 8, 4},  {drv::kSetVideoMode, 12, 0},
        {drv::kGetVideoMode, 0, 12},     {drv::kAllocateResources, 12, 12},
        {drv::kFreeResources, 0, 0},     {drv::kGrabImage, 0, 0},
        {drv::kCancelGrabs, 0, 0},       {drv::kShot, 8, 0},
        {drv::kFeatureInquiry, 4, 4},    {drv::kFeatureSet, 12, 0},
        {drv::kFeatureGet, 8, 4},        {drv::kTestImageSet, 4, 0},
        {drv::kTestImageGet, 0, 4},      {drv::kNodeId, 0, 8},
        {drv::kCameraString, 4, drv::kCameraStringSize},
        {drv::kDriverVersion, 0, drv::kDriverVersionSize},
        {drv::kF7Inquiry, 4, 56},        {drv::kF7ImageSet, 24, 0},
        {drv::kF7ImageGet, 4, 16},       {drv::kF7ColorCodingSet, 8, 0},
        {drv::kF7ColorCodingGet, 4, 4},  {drv::kF7BytePerPacketSet, 8, 0},
        {drv::kF7PacketGet, 4, 28},
    };
    for (const Sizes& s : kSizes) {
        if (s.code == code) {
            *inSize = s.in;
            *minOut = s.out;
            return true;
        }
    }
    return false;
}

bool IsRegisterRequest(std::uint32_t code) {
    switch (code) {
    case drv::kAllocateResources:
    case drv::kFreeResources:
    case drv::kGrabImage:
    case drv::kCancelGrabs:
    case drv::kShot:
        return false;
    default:
        std::uint32_t in, out;
        return RequestSizes(code, &in, &out);
    }
}

Reply AnswerRegisterRequest(CameraDesc& camera, const DriverRelease& release, std::uint32_t code,
                            const std::uint32_t* in, std::uint8_t* out, std::uint32_t outSize) {
    Reply reply;
    auto words = [&](std::initializer_list<std::uint32_t> w) {
        PutWords(out, w);
        reply.bytes = static_cast<std::uint32_t>(w.size() * 4);
    };
    auto fail = [&](std::uint32_t error) {
        reply.error = error;
        return reply;
    };
    switch (code) {
    case drv::kFormatInquiry: {
        std::uint32_t bits = 0;
        for (std::uint32_t f = 0; f < 8; ++f)
            if (ModeInquiry(camera, f) != 0) bits |= 1u << (31 - f);
        words({bits});
        break;
    }
    case drv::kModeInquiry:
        if (in[0] > 7) return fail(err::kInvalidParameter);
        words({ModeInquiry(camera, in[0])});
        break;
    case drv::kFrameRateInquiry:
        if (in[0] > 7 || in[1] > 7) return fail(err::kInvalidParameter);
        words({in[0] == 7 ? 0u : camera.rates[in[0]][in[1]]});
        break;
    case drv::kSetVideoMode:
        if (std::uint32_t e = SetVideoMode(camera, in[0], in[1], in[2])) return fail(e);
        break;
    case drv::kGetVideoMode:
        words({camera.format, camera.mode, camera.rate});
        break;
    case drv::kFeatureInquiry:
        if (!IsFeatureCode(in[0])) return fail(err::kInvalidParameter);
        words({camera.feature(in[0]).inquiry});  // 0 for a feature the camera lacks
        break;
    case drv::kFeatureGet:
        if (!IsFeatureCode(in[0])) return fail(err::kInvalidParameter);
        if ((camera.feature(in[0]).inquiry & drv::kInqPresence) == 0) return fail(kNotSupported);
        words({camera.feature(in[0]).control});
        break;
    case drv::kFeatureSet:
        if (std::uint32_t e = SetFeature(camera, in[0], in[1], in[2])) return fail(e);
        break;
    case drv::kTestImageGet: {
        if (!camera.hasTestImages) return fail(kNoTestImage);
        std::uint32_t q = 1u << 31 | (camera.testImage & 7) << 13;
        for (std::uint32_t n = 1; n <= 7; ++n)
            if (camera.testImages & (1u << n)) q |= 1u << (24 - n);
        words({q});
        break;
    }
    case drv::kTestImageSet: {
        if (!camera.hasTestImages) return fail(kNoTestImage);
        const std::uint32_t n = (in[0] >> 13) & 7;
        if (n != 0 && (camera.testImages & (1u << n)) == 0) return fail(err::kInvalidParameter);
        camera.testImage = n;
        break;
    }
    case drv::kNodeId:
        words({static_cast<std::uint32_t>(camera.nodeId),
               static_cast<std::uint32_t>(camera.nodeId >> 32)});
        break;
    case drv::kCameraString: {
        const std::string* text = in[0] == drv::kStringVendor   ? &camera.vendor
                                  : in[0] == drv::kStringModel  ? &camera.model
                                  : in[0] == drv::kStringFirmware ? &camera.firmware
                                                                  : nullptr;
        if (!text) return fail(err::kInvalidParameter);
        std::memset(out, 0, drv::kCameraStringSize);
        std::memcpy(out, text->data(), std::min<std::size_t>(text->size(), drv::kCameraStringSize - 1));
        reply.bytes = drv::kCameraStringSize;
        break;
    }
    case drv::kDriverVersion:
        std::memset(out, 0, drv::kDriverVersionSize);
        reply.bytes = DriverVersionText(release, reinterpret_cast<char*>(out), drv::kDriverVersionSize);
        break;
    case drv::kF7Inquiry:
    case drv::kF7ImageGet:
    case drv::kF7ImageSet:
    case drv::kF7ColorCodingGet:
    case drv::kF7ColorCodingSet:
    case drv::kF7PacketGet:
    case drv::kF7BytePerPacketSet: {
        if (in[0] > 7) return fail(err::kInvalidParameter);
        Format7Mode& f7 = camera.format7[in[0]];
        if (!f7.present) return fail(kNotSupported);
        if (code == drv::kF7Inquiry) {
            std::memset(out, 0, 56);
            words({f7.maxWidth, f7.maxHeight, f7.unitWidth, f7.unitHeight, f7.codings,
                   f7.unitBytes, f7.maxBytes});
            reply.bytes = 56;
        } else if (code == drv::kF7ImageGet) {
            words({f7.left, f7.top, f7.width, f7.height});
        } else if (code == drv::kF7ImageSet) {
            if (std::uint32_t e = SetFormat7Image(f7, in)) return fail(e);
        } else if (code == drv::kF7ColorCodingGet) {
            words({f7.coding});
        } else if (code == drv::kF7ColorCodingSet) {
            if (in[1] > 6 || (f7.codings & (1u << (31 - in[1]))) == 0)
                return fail(err::kInvalidParameter);
            f7.coding = in[1];
        } else if (code == drv::kF7PacketGet) {
            const std::uint32_t bytes = f7.coding <= 6 ? FrameBytes(f7.width, f7.height, f7.coding) : 0;
            const std::uint32_t packets =
                f7.bytesPerPacket ? (bytes + f7.bytesPerPacket - 1) / f7.bytesPerPacket : 0;
            words({f7.unitBytes, f7.maxBytes, f7.width * f7.height, bytes, packets,
                   f7.bytesPerPacket, f7.maxBytes});
        } else {
            const std::uint32_t n = in[1];
            if (n < f7.unitBytes || n > f7.maxBytes || n % f7.unitBytes)
                return fail(err::kInvalidParameter);
            f7.bytesPerPacket = n;
        }
        break;
    }
    default:
        return fail(err::kInvalidFunction);
    }
    (void)outSize;
    return reply;
}

bool CurrentGeometry(const CameraDesc& camera, Geometry* g) {
    if (camera.format == 7) {
        if (camera.mode > 7) return false;
        const Format7Mode& f7 = camera.format7[camera.mode];
        if (!f7.present || f7.coding > 6 || f7.width == 0 || f7.height == 0 ||
            f7.bytesPerPacket == 0)
            return false;
        g->width = f7.width;
        g->height = f7.height;
        g->coding = f7.coding;
        g->bytes = FrameBytes(f7.width, f7.height, f7.coding);
        // One packet per 125 us isochronous cycle.
        g->periodUs = std::uint64_t{(g->bytes + f7.bytesPerPacket - 1) / f7.bytesPerPacket} * 125;
        return true;
    }
    if (camera.format > 2 || camera.mode > 7 || camera.rate > 5) return false;
    const FixedMode& m = kFixed[camera.format][camera.mode];
    if (m.width == 0) return false;
    g->width = m.width;
    g->height = m.height;
    g->coding = m.coding;
    g->bytes = FrameBytes(m.width, m.height, m.coding);
    // 1.875 fps at index 0, doubling with each index.
    g->periodUs = 8000000u / (15u << camera.rate);
    return true;
}

namespace {

int Level(const Feature& f, std::uint32_t value) {
    const int min = static_cast<int>((f.inquiry >> 12) & k12);
    const int max = static_cast<int>(f.inquiry & k12);
    if (max <= min) return 0;
    const int v = std::clamp(static_cast<int>(value), min, max);
    return (v - min) * 256 / (max - min);
}

bool Present(const Feature& f) { return (f.inquiry & drv::kInqPresence) != 0; }

}  // namespace

FrameParams ParamsOf(const CameraDesc& camera, std::uint32_t frame) {
    FrameParams p;
    p.frame = frame;
    p.testImage = camera.testImage;
    const Feature& brightness = camera.feature(drv::kBrightness);
    if (Present(brightness)) p.brightness = Level(brightness, brightness.control & k12);
    const Feature& gain = camera.feature(drv::kGain);
    if (Present(gain)) p.gain = Level(gain, gain.control & k12);
    const Feature& wb = camera.feature(drv::kWhiteBalance);
    if (Present(wb))
        p.whiteBalance = Level(wb, wb.control & k12) - Level(wb, (wb.control >> drv::kUbShift) & k12);
    return p;
}

namespace {

// ExpectedLuma and ExpectedColour, fast enough for full-size frames: the live image and the
// moving test image depend on (x + y + frame) mod 256 alone, so one table per frame serves them.
class Painter {
public:
    // The live image and the moving test image.
    static bool Moves(const FrameParams& p) { return p.testImage == 0 || p.testImage == 2; }

    explicit Painter(const FrameParams& p) : p_(p), table_(Moves(p)) {
        if (!table_) return;
        for (std::uint32_t b = 0; b < 256; ++b) {
            FrameParams at = p;
            at.frame = 0;
            lut_[b] = ExpectedLuma(at, b, 0);  // base b at frame 0 is pixel (b, 0)
        }
    }
    std::uint8_t Luma(std::uint32_t x, std::uint32_t y) const {
        return table_ ? lut_[(x + y + p_.frame) & 0xFF] : ExpectedLuma(p_, x, y);
    }
    Colour Pixel(std::uint32_t x, std::uint32_t y) const {
        const int l = Luma(x, y);
        const int limit = std::min(l, 255 - l);
        const int d = std::clamp(static_cast<int>((x / 8) % 64) - 32 + p_.whiteBalance / 8, -limit, limit);
        return {static_cast<std::uint8_t>(l), static_cast<std::uint8_t>(128 - d / 2),
                static_cast<std::uint8_t>(128 + d / 2), static_cast<std::uint8_t>(l + d),
                static_cast<std::uint8_t>(l), static_cast<std::uint8_t>(l - d)};
    }

private:
    FrameParams p_;
    bool table_;
    std::uint8_t lut_[256] = {};
};

}  // namespace

namespace {

// The bytes one row takes on the wire; 4:1:1 and 4:2:2 send whole pixel groups only.
std::size_t RowBytes(const Geometry& g) {
    switch (g.coding) {
    case 1: return std::size_t{g.width} / 4 * 6;
    case 2: return std::size_t{g.width} / 2 * 4;
    default: return std::size_t{g.width} * kBits[g.coding] / 8;
    }
}

void PaintRow(const Geometry& g, const Painter& paint, std::uint32_t y, std::uint8_t* out) {
    const std::uint32_t w = g.width;
    switch (g.coding) {
    case 0:  // Mono8
        for (std::uint32_t x = 0; x < w; ++x) *out++ = paint.Luma(x, y);
        break;
    case 5:  // Mono16, big-endian
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint8_t l = paint.Luma(x, y);
            *out++ = l;
            *out++ = l;
        }
        break;
    case 1:  // YUV 4:1:1: U Y0 Y1 V Y2 Y3
        for (std::uint32_t x = 0; x + 3 < w; x += 4) {
            const Colour c = paint.Pixel(x, y);
            *out++ = c.u;
            *out++ = c.y;
            *out++ = paint.Luma(x + 1, y);
            *out++ = c.v;
            *out++ = paint.Luma(x + 2, y);
            *out++ = paint.Luma(x + 3, y);
        }
        break;
    case 2:  // YUV 4:2:2: U Y0 V Y1
        for (std::uint32_t x = 0; x + 1 < w; x += 2) {
            const Colour c = paint.Pixel(x, y);
            *out++ = c.u;
            *out++ = c.y;
            *out++ = c.v;
            *out++ = paint.Luma(x + 1, y);
        }
        break;
    case 3:  // YUV 4:4:4: U Y V
        for (std::uint32_t x = 0; x < w; ++x) {
            const Colour c = paint.Pixel(x, y);
            *out++ = c.u;
            *out++ = c.y;
            *out++ = c.v;
        }
        break;
    case 4:  // RGB8
        for (std::uint32_t x = 0; x < w; ++x) {
            const Colour c = paint.Pixel(x, y);
            *out++ = c.r;
            *out++ = c.g;
            *out++ = c.b;
        }
        break;
    case 6:  // RGB16, big-endian: each 8-bit component times 257
        for (std::uint32_t x = 0; x < w; ++x) {
            const Colour c = paint.Pixel(x, y);
            for (std::uint8_t v : {c.r, c.g, c.b}) {
                *out++ = v;
                *out++ = v;
            }
        }
        break;
    default:
        break;
    }
}

void RenderFrame(const Geometry& g, const FrameParams& params, std::uint8_t* out) {
    const Painter paint(params);
    const std::size_t rowBytes = RowBytes(g);
    for (std::uint32_t y = 0; y < g.height; ++y) PaintRow(g, paint, y, out + y * rowBytes);
}

}  // namespace

void FramePainter::Paint(const Geometry& g, const FrameParams& params, std::uint8_t* out) {
    if (g.coding > 6) return;  // no such coding: CurrentGeometry never gives one
    if (!Painter::Moves(params)) {
        RenderFrame(g, params, out);
        return;
    }
    // Pixel (x, y) of frame f depends on x and (x + y + f) mod 256 alone, so row y of frame f
    // is row (y + f) mod 256 of frame 0.
    FrameParams still = params;
    still.frame = 0;
    const std::size_t rowBytes = RowBytes(g);
    if (rows_.empty() || g.width != width_ || g.coding != coding_ || !(still == still_)) {
        rows_.resize(256 * rowBytes);
        const Painter paint(still);
        for (std::uint32_t s = 0; s < 256; ++s) PaintRow(g, paint, s, rows_.data() + s * rowBytes);
        width_ = g.width;
        coding_ = g.coding;
        still_ = still;
    }
    for (std::uint32_t y = 0; y < g.height; ++y)
        std::memcpy(out + y * rowBytes, rows_.data() + ((y + params.frame) & 0xFF) * rowBytes,
                    rowBytes);
}

}  // namespace detail

std::uint8_t ExpectedLuma(const FrameParams& p, std::uint32_t x, std::uint32_t y) {
    switch (p.testImage) {
    case 1: return static_cast<std::uint8_t>(x + y);
    case 2: return static_cast<std::uint8_t>(x + y + p.frame);
    case 3: return static_cast<std::uint8_t>(x);
    case 4: return static_cast<std::uint8_t>(y);
    case 5: return ((x / 16 + y / 16) % 2 == 0) ? 255 : 0;
    case 6: return 128;
    case 7: return static_cast<std::uint8_t>(x ^ y);
    default: break;
    }
    const int base = static_cast<int>((x + y + p.frame) & 0xFF);
    const int v = base * (256 + p.gain) / 256 + (p.brightness - 128) / 2;
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

Colour ExpectedColour(const FrameParams& p, std::uint32_t x, std::uint32_t y) {
    const int l = ExpectedLuma(p, x, y);
    const int limit = std::min(l, 255 - l);
    const int d = std::clamp(static_cast<int>((x / 8) % 64) - 32 + p.whiteBalance / 8, -limit, limit);
    Colour c;
    c.y = static_cast<std::uint8_t>(l);
    c.u = static_cast<std::uint8_t>(128 - d / 2);
    c.v = static_cast<std::uint8_t>(128 + d / 2);
    c.r = static_cast<std::uint8_t>(l + d);
    c.g = static_cast<std::uint8_t>(l);
    c.b = static_cast<std::uint8_t>(l - d);
    return c;
}

}  // namespace sim
