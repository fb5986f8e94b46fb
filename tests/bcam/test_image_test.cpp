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
    TestImage, ReadTable,
    testing::Values(
        // Quadlet 0x80A00000: bits 31, 23 and 21.
        ReadRow{"Images1And3", Images(true, 0x0A), Available(), 0x0B},
        ReadRow{"OnlyLive", Images(true, 0), Available(), 0x01},
        ReadRow{"CameraWithout", Images(false, 0xFE), Available(), 0},
        ReadRow{"DriverNoTestImage", Images(true, 0xFE), Available(0xEFE00018), 0},
        ReadRow{"DriverCodeWithoutCustomerBit", Images(true, 0xFE), Available(0xCFE00018), 0},
        ReadRow{"Selected", Images(true, 0xFE, 5), [](CBcam& c) -> std::uint32_t { return c.TestImage(); }, 5},
        // Node ID: upper 24 bits in hex, lower 40 in decimal.
        ReadRow{"NodeId", [](sim::CameraDesc& d) { d.nodeId = 0x123456789ABCDEF0ull; },
                [](CBcam& c) -> std::uint32_t { return c.Info.NodeId() == "0x123456-517992144624"; }, 1},
        ReadRow{"NodeIdZeros", [](sim::CameraDesc& d) { d.nodeId = 0x0000300000000007ull; },
                [](CBcam& c) -> std::uint32_t { return c.Info.NodeId() == "0x000030-7"; }, 1},
        ReadRow{"Vendor", [](sim::CameraDesc& d) { d.vendor = "Quentaro"; },
                [](CBcam& c) -> std::uint32_t { return c.Info.VendorName() == "Quentaro"; }, 1},
        ReadRow{"ModelFillingTheBuffer", [](sim::CameraDesc& d) { d.model = std::string(300, 'M'); },
                [](CBcam& c) -> std::uint32_t { return c.Info.ModelName() == std::string(255, 'M'); }, 1},
        ReadRow{"DriverVersionFitsItsBuffer", {},
                [](CBcam& c) -> std::uint32_t {
                    const std::string v = c.Info.DriverSoftwareVersion();
                    return !v.empty() && v.size() <= 19 && v.find('\0') == std::string::npos;
                }, 1},
        ReadRow{"DeviceName", {},
                [](CBcam& c) -> std::uint32_t { return c.Info.DeviceName() == sim::CameraNames().at(1); }, 1}),
    RowName());

INSTANTIATE_TEST_SUITE_P(
    TestImage, RequestTable,
    testing::Values(
        RequestRow{"Image3", Images(true, 0xFE), [](CBcam& c) { c.TestImage = 3; },
                   {{drv::kTestImageGet}, {drv::kTestImageSet, 0x6000}}},
        RequestRow{"Image7", Images(true, 0xFE), [](CBcam& c) { c.TestImage = 7; },
                   {{drv::kTestImageGet}, {drv::kTestImageSet, 0xE000}}},
        RequestRow{"Strings", {},
                   [](CBcam& c) { c.Info.VendorName(); c.Info.ModelName(); c.Info.CameraFirmwareVersion(); },
                   {{drv::kCameraString, 0}, {drv::kCameraString, 1}, {drv::kCameraString, 2}}}),
    RowName());

INSTANTIATE_TEST_SUITE_P(
    TestImage, FailureTable,
    testing::Values(
        FailureRow{"Image8", 0, [](CBcam& c) { c.TestImage.IsSupported(8); }, codes::kBadInquiry,
                   "CBcam::CTestImage::IsSupported()", 0},
        FailureRow{"ImageNegative", 0, [](CBcam& c) { c.TestImage = -1; }, codes::kBadInquiry,
                   "CBcam::CTestImage::IsSupported()", 0},
        FailureRow{"Unavailable", drv::kTestImageGet, [](CBcam& c) { c.TestImage.IsSupported(1); }, 31,
                   "CBcam::CTestImage::IsSupported()"},
        FailureRow{"Read", drv::kTestImageGet, [](CBcam& c) { c.TestImage(); }, 31,
                   "CBcam::CTestImage::operator()()"},
        FailureRow{"Write", drv::kTestImageSet, [](CBcam& c) { c.TestImage = 1; }, 31,
                   "CBcam::CTestImage::operator=()"},
        FailureRow{"NodeId", drv::kNodeId, [](CBcam& c) { c.Info.NodeId(); }, 31, "CBcam::CInfo::NodeId()"},
        FailureRow{"Firmware", drv::kCameraString, [](CBcam& c) { c.Info.CameraFirmwareVersion(); }, 31,
                   "CBcam::CInfo::CameraFirmwareVersion()"},
        FailureRow{"DriverVersion", drv::kDriverVersion, [](CBcam& c) { c.Info.DriverSoftwareVersion(); }, 31,
                   "CBcam::CInfo::DriverSoftwareVersion()"}),
    RowName());

// A camera without test images refuses every selection, and writes nothing.
TEST_F(SimCameras, WithoutTestImagesEveryImageIsRefused) {
    Open(kColour, Images(false, 0xFE));
    for (int image = 0; image <= 7; ++image) {
        const Raised caught = RaisedBy([&] { camera_.TestImage = image; });
        EXPECT_EQ(caught.code, codes::kTestImageUnavailable) << image;
        EXPECT_EQ(caught.context, "CBcam::CTestImage::operator=()");
    }
    EXPECT_TRUE(SentTo(name_, drv::kTestImageSet).empty());
}

}  // namespace
}  // namespace fennex::test
