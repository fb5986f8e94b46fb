// Test images and camera information: availability from the test-image quadlet, the driver
// codes that mean "no test images", the selection word, and the identification strings.
#include "feature_tables.h"

namespace fennex::test {
namespace {

// A camera with (or without) test images, these available (bit n for image n).
Edit Images(bool has, std::uint32_t images, std::uint32_t selected = 0) {
    return [=](sim::CameraDesc& d) {
        d.hasTestImages = has;
        d.testImages = images;
        d.testImage = selected;
    };
}

// The availability of images 0..7 as a bit mask (bit n for image n), when the read request
// fails with `error` (0: it does not).
std::function<std::uint32_t(CBcam&)> Available(std::uint32_t error = 0) {
    return [=](CBcam& c) {
        std::uint32_t mask = 0;
        for (int image = 0; image <= 7; ++image) {
            if (error) FailNext(drv::kTestImageGet, error);
            if (c.TestImage.IsSupported(image)) mask |= 1u << image;
        }
        return mask;
    };
}

INSTANTIATE_TEST_SUITE_P(
    TestImage, CallTable,
    testing::Values(
        // Quadlet 0x80A00000: bits 31, 23 and 21.
        CallRow{"Images1And3", Images(true, 0x0A), Available(), 0x0B},
        CallRow{"CameraWithout", Images(false, 0xFE), Available(), 0},
        CallRow{"DriverNoTestImage", Images(true, 0xFE), Available(0xEFE00018), 0},
        CallRow{"DriverNotSupported", Images(true, 0xFE), Available(0xEFE00019), 0},
        CallRow{"Selected", Images(true, 0xFE, 5), [](CBcam& c) { return c.TestImage(); }, 5},
        CallRow{"Image7", Images(true, 0xFE), [](CBcam& c) { c.TestImage = 7; }, 0,
                {{drv::kTestImageGet}, {drv::kTestImageSet, 0xE000}}},
        CallRow{"Image8", {}, [](CBcam& c) { c.TestImage.IsSupported(8); }, 0, {}, codes::kBadInquiry,
                "CBcam::CTestImage::IsSupported()"},
        CallRow{"ImageNegative", {}, [](CBcam& c) { c.TestImage = -1; }, 0, {}, codes::kBadInquiry,
                "CBcam::CTestImage::IsSupported()"},
        CallRow{"ImageOfACameraWithout", Images(false, 0xFE), [](CBcam& c) { c.TestImage = 0; }, 0,
                {{drv::kTestImageGet}}, codes::kTestImageUnavailable, "CBcam::CTestImage::operator=()"},
        CallRow{"OtherDriverFailure", {}, [](CBcam& c) { c.TestImage.IsSupported(1); }, 0, {}, 31,
                "CBcam::CTestImage::IsSupported()", drv::kTestImageGet},
        // Node ID: upper 24 bits in hex, lower 40 in decimal.
        CallRow{"NodeId", [](sim::CameraDesc& d) { d.nodeId = 0x0000300000000007ull; },
                [](CBcam& c) { return c.Info.NodeId() == "0x000030-7"; }, 1},
        // A model name that fills the buffer is cut before its last byte.
        CallRow{"Strings",
                [](sim::CameraDesc& d) {
                    d.vendor = std::string(3, 'V');
                    d.model = std::string(300, 'M');
                    d.firmware = std::string(2, 'F');
                },
                [](CBcam& c) {
                    std::string all = c.Info.VendorName() + "/";
                    all += c.Info.ModelName() + "/";
                    return all + c.Info.CameraFirmwareVersion() == "VVV/" + std::string(255, 'M') + "/FF";
                },
                1, {{drv::kCameraString, 0}, {drv::kCameraString, 1}, {drv::kCameraString, 2}}},
        CallRow{"DriverVersionFitsItsBuffer", {},
                [](CBcam& c) {
                    const std::string v = c.Info.DriverSoftwareVersion();
                    return !v.empty() && v.size() <= 19 && v.find('\0') == std::string::npos;
                }, 1},
        CallRow{"DeviceName", {}, [](CBcam& c) { return c.Info.DeviceName() == kColour; }, 1},
        CallRow{"NodeIdFailure", {}, [](CBcam& c) { c.Info.NodeId(); }, 0, {}, 31, "CBcam::CInfo::NodeId()",
                drv::kNodeId}),
    RowName());

}  // namespace
}  // namespace fennex::test
