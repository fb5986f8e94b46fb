// What the camera's registers answer: the size of every request, and the requests on the video
// mode, the test images and the camera's identity. Features and Format 7 have their own files.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "bcam/driver_contract.h"
#include "platform/win32_errors.h"
#include "sim/registers.h"

namespace sim::detail {

namespace drv = Bcam::driver;
namespace err = fennex::platform::err;

namespace {

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

Reply Words(std::uint8_t* out, std::initializer_list<std::uint32_t> words) {
    for (std::uint32_t w : words) {
        std::memcpy(out, &w, 4);
        out += 4;
    }
    return {0, static_cast<std::uint32_t>(words.size() * 4)};
}

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
                            const std::uint32_t* in, std::uint8_t* out) {
    switch (code) {
    case drv::kFormatInquiry: {
        std::uint32_t bits = 0;
        for (std::uint32_t f = 0; f < 8; ++f)
            if (ModeInquiry(camera, f) != 0) bits |= 1u << (31 - f);
        return Words(out, {bits});
    }
    case drv::kModeInquiry:
        if (in[0] > 7) return Failed(err::kInvalidParameter);
        return Words(out, {ModeInquiry(camera, in[0])});
    case drv::kFrameRateInquiry:
        if (in[0] > 7 || in[1] > 7) return Failed(err::kInvalidParameter);
        return Words(out, {in[0] == 7 ? 0u : camera.rates[in[0]][in[1]]});
    case drv::kSetVideoMode:
        return Failed(SetVideoMode(camera, in[0], in[1], in[2]));
    case drv::kGetVideoMode:
        return Words(out, {camera.format, camera.mode, camera.rate});
    case drv::kFeatureInquiry:
    case drv::kFeatureGet:
    case drv::kFeatureSet:
        return AnswerFeature(camera, code, in, out);
    case drv::kTestImageGet: {
        if (!camera.hasTestImages) return Failed(kNoTestImage);
        std::uint32_t q = 1u << 31 | (camera.testImage & 7) << 13;
        for (std::uint32_t n = 1; n <= 7; ++n)
            if (camera.testImages & (1u << n)) q |= 1u << (24 - n);
        return Words(out, {q});
    }
    case drv::kTestImageSet: {
        if (!camera.hasTestImages) return Failed(kNoTestImage);
        const std::uint32_t n = (in[0] >> 13) & 7;
        if (n != 0 && (camera.testImages & (1u << n)) == 0) return Failed(err::kInvalidParameter);
        camera.testImage = n;
        return {};
    }
    case drv::kNodeId:
        return Words(out, {static_cast<std::uint32_t>(camera.nodeId),
                           static_cast<std::uint32_t>(camera.nodeId >> 32)});
    case drv::kCameraString: {
        const std::string* text = in[0] == drv::kStringVendor   ? &camera.vendor
                                  : in[0] == drv::kStringModel  ? &camera.model
                                  : in[0] == drv::kStringFirmware ? &camera.firmware
                                                                  : nullptr;
        if (!text) return Failed(err::kInvalidParameter);
        std::memset(out, 0, drv::kCameraStringSize);
        std::memcpy(out, text->data(), std::min<std::size_t>(text->size(), drv::kCameraStringSize - 1));
        return {0, drv::kCameraStringSize};
    }
    case drv::kDriverVersion:
        std::memset(out, 0, drv::kDriverVersionSize);
        return {0, DriverVersionText(release, reinterpret_cast<char*>(out), drv::kDriverVersionSize)};
    case drv::kF7Inquiry:
    case drv::kF7ImageGet:
    case drv::kF7ImageSet:
    case drv::kF7ColorCodingGet:
    case drv::kF7ColorCodingSet:
    case drv::kF7PacketGet:
    case drv::kF7BytePerPacketSet:
        return AnswerFormat7(camera, code, in, out);
    default:
        return Failed(err::kInvalidFunction);
    }
}

}  // namespace sim::detail
