// The simulated cameras' registers, as the feature classes see them through requests.

#include "fixture.h"

namespace fennex::test {
namespace {

class SimRegisters : public SimCameras {};

TEST_F(SimRegisters, FeatureSetChangesOnlyTheMaskedField) {
    const struct {
        const char* what;
        const std::string& camera;
        std::uint32_t feature, before, quadlet, mask, after;
    } cases[] = {
        {"value", kColour, drv::kHue, drv::kCtlOnOff | 100, 200, 0x001, drv::kCtlOnOff | 200},
        {"bits above the value dropped", kMono, drv::kBrightness, 7, 0xFFFFF0C8, 0x001, 200},
        {"U/B alone", kColour, drv::kWhiteBalance, drv::kCtlOnOff | 512u << 12 | 512, 300u << 12, 0x040,
         drv::kCtlOnOff | 300u << 12 | 512},
        {"V/R alone, U/B bits dropped", kColour, drv::kWhiteBalance, 512u << 12 | 512,
         0x00FFF000 | 400, 0x080, 512u << 12 | 400},
        {"a field without its capability is read-only", kMono, drv::kBrightness, 128,
         drv::kCtlAutoMode, 0x002, 128},
        {"one push clears itself", kMono, drv::kShutter, 500, 1u << 26, 0x010, 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::EditCamera(c.camera, [&](sim::CameraDesc& d) { d.feature(c.feature).control = c.before; });
        Bcam::CBcam camera;
        camera.Open(c.camera);
        EXPECT_EQ(Send(camera, drv::kFeatureSet, {c.feature, c.quadlet, c.mask}), 0u);
        std::uint32_t control = 0;
        EXPECT_EQ(Send(camera, drv::kFeatureGet, {c.feature, 0}, &control, 4), 0u);
        EXPECT_EQ(control, c.after);
    }
}

// Every setting a request could change, as one list of words.
Words Settings(const sim::CameraDesc& d) {
    Words words{d.format, d.mode, d.rate, d.testImage};
    for (const sim::Feature& f : d.features) words.push_back(f.control);
    for (const sim::Format7Mode& m : d.format7)
        words.insert(words.end(), {m.left, m.top, m.width, m.height, m.coding, m.bytesPerPacket});
    return words;
}

TEST_F(SimRegisters, RefusedRequestsLeaveTheCameraAsItWas) {
    const struct {
        const char* what;
        const std::string& camera;
        std::uint32_t code;
        Words in;
        std::uint32_t outSize, error;
    } cases[] = {
        {"value above the maximum", kMono, drv::kFeatureSet, {drv::kBrightness, 256, 0x001}, 0, 87},
        {"feature the camera lacks", kMono, drv::kFeatureSet, {drv::kHue, 1, 0x001}, 0, sim::kNotSupported},
        {"unsupported frame rate", kMono, drv::kSetVideoMode, {0, 6, 5}, 0, 87},
        {"test image the camera lacks", kMono, drv::kTestImageSet, {5u << 13}, 0, 87},
        {"camera without test images", kMono, drv::kTestImageGet, {}, 4, sim::kNoTestImage},
        {"Format 7 region past the sensor", kColour, drv::kF7ImageSet, {0, 8, 0, 1600, 1200, 15}, 0, 87},
        {"Format 7 packet off its unit", kColour, drv::kF7BytePerPacketSet, {0, 2001}, 0, 87},
        {"resources without packets", kMono, drv::kAllocateResources, {0, 1, 307200}, 12, 87},
        {"input one word short", kMono, drv::kFeatureSet, {drv::kBrightness, 1}, 0, 87},
        {"output too small", kColour, drv::kFeatureInquiry, {drv::kGain}, 2, 122},
        {"unknown control code", kMono, 0x80102100, {}, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.error == sim::kNoTestImage)
            sim::EditCamera(c.camera, [](sim::CameraDesc& d) { d.hasTestImages = false; });
        const Words before = Settings(sim::Camera(c.camera));
        Bcam::CBcam camera;
        camera.Open(c.camera);
        std::uint32_t out[4] = {};
        EXPECT_EQ(Send(camera, c.code, c.in, out, c.outSize), c.error);
        EXPECT_EQ(Settings(sim::Camera(c.camera)), before);
    }
}

}  // namespace
}  // namespace fennex::test
