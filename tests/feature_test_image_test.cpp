// Test images and camera information: availability from the test-image quadlet, the two
// driver codes that mean "none", the selection word, and the identification strings.
#include <gtest/gtest.h>

#include <functional>

#include "settings_test_support.h"
#include "sim_camera_fixture.h"

namespace {

using Bcam::CBcam;
using fennex_test::Catch;
using fennex_test::SentTo;
namespace drv = Bcam::driver;
namespace codes = Bcam::codes;

using Words = std::vector<std::uint32_t>;

struct AvailabilityCase {
    const char* name;
    bool hasTestImages;
    std::uint32_t images;           // bit n: test image n is there
    std::uint32_t injectedError;    // the read fails with this, 0 for none
    std::vector<bool> available;    // images 0..7
};

class TestImageAvailability : public fennex_test::SimCameraTest<AvailabilityCase> {};

TEST_P(TestImageAvailability, IsSupportedPerImage) {
    const AvailabilityCase& c = GetParam();
    Open(fennex_test::kColourCamera);
    sim::EditCamera(name_, [&](sim::CameraDesc& d) {
        d.hasTestImages = c.hasTestImages;
        d.testImages = c.images;
    });
    std::vector<bool> available;
    for (int image = 0; image <= 7; ++image) {
        if (c.injectedError) fennex_test::FailNext(drv::kTestImageGet, c.injectedError);
        available.push_back(camera_.TestImage.IsSupported(image));
    }
    EXPECT_EQ(available, c.available);
}

INSTANTIATE_TEST_SUITE_P(
    Quadlets, TestImageAvailability,
    testing::Values(
        // 0x80A00000: bits 31, 23 and 21.
        AvailabilityCase{"Images1And3", true, (1u << 1) | (1u << 3), 0,
                         {true, true, false, true, false, false, false, false}},
        AvailabilityCase{"All", true, 0xFE, 0, {true, true, true, true, true, true, true, true}},
        AvailabilityCase{"NoneButLive", true, 0, 0,
                         {true, false, false, false, false, false, false, false}},
        AvailabilityCase{"CameraWithout", false, 0, 0,
                         {false, false, false, false, false, false, false, false}},
        AvailabilityCase{"DriverNoTestImage", true, 0xFE, 0xEFE00018,
                         {false, false, false, false, false, false, false, false}},
        AvailabilityCase{"DriverNotSupported", true, 0xFE, 0xEFE00019,
                         {false, false, false, false, false, false, false, false}},
        AvailabilityCase{"DriverCodeWithoutCustomerBit", true, 0xFE, 0xCFE00018,
                         {false, false, false, false, false, false, false, false}}),
    [](const auto& info) { return std::string(info.param.name); });

struct SelectCase {
    const char* name;
    std::uint32_t images;
    int select;
    std::uint32_t error;            // 0: selected
    std::vector<Words> testImageSets;  // words of the set requests sent
};

class TestImageSelect : public fennex_test::SimCameraTest<SelectCase> {};

TEST_P(TestImageSelect, WritesTheSelectionWordOrRefuses) {
    const SelectCase& c = GetParam();
    Open(fennex_test::kColourCamera);
    sim::EditCamera(name_, [&](sim::CameraDesc& d) {
        d.hasTestImages = true;
        d.testImages = c.images;
    });
    const auto caught = Catch([&] { camera_.TestImage = c.select; });
    EXPECT_EQ(caught.code, c.error);
    if (c.error) {
        EXPECT_EQ(caught.context, c.error == codes::kBadInquiry ? "CBcam::CTestImage::IsSupported()"
                                                                : "CBcam::CTestImage::operator=()");
    }
    EXPECT_EQ(SentTo(name_, drv::kTestImageSet), c.testImageSets);
    if (!c.error) {
        EXPECT_EQ(camera_.TestImage(), c.select);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Selection, TestImageSelect,
    testing::Values(SelectCase{"Image3", 0xFE, 3, 0, {{0x6000}}},
                    SelectCase{"Image7", 0xFE, 7, 0, {{0xE000}}},
                    SelectCase{"LiveImage", 0, 0, 0, {{0}}},
                    SelectCase{"Unavailable", 1u << 3, 2, codes::kTestImageUnavailable, {}},
                    SelectCase{"Above7", 0xFE, 8, codes::kBadInquiry, {}},
                    SelectCase{"Negative", 0xFE, -1, codes::kBadInquiry, {}}),
    [](const auto& info) { return std::string(info.param.name); });

class TestImageEdges : public fennex_test::SimCameraTest<> {};

TEST_F(TestImageEdges, OutOfRangeImageSendsNoRequest) {
    Open(fennex_test::kColourCamera);
    EXPECT_EQ(Catch([&] { camera_.TestImage.IsSupported(8); }).code, codes::kBadInquiry);
    EXPECT_TRUE(SentTo(name_).empty());
}

TEST_F(TestImageEdges, OtherReadFailureRaises) {
    Open(fennex_test::kColourCamera);
    fennex_test::FailNext(drv::kTestImageGet, 31);
    const auto caught = Catch([&] { camera_.TestImage.IsSupported(1); });
    EXPECT_EQ(caught.code, 31u);
    EXPECT_EQ(caught.context, "CBcam::CTestImage::IsSupported()");
    fennex_test::FailNext(drv::kTestImageGet, 31);
    EXPECT_EQ(Catch([&] { camera_.TestImage(); }).context, "CBcam::CTestImage::operator()()");
}

TEST_F(TestImageEdges, WithoutTestImagesSelectionIsRefused) {
    Open(fennex_test::kColourCamera);
    sim::EditCamera(name_, [](sim::CameraDesc& d) { d.hasTestImages = false; });
    EXPECT_EQ(Catch([&] { camera_.TestImage = 1; }).code, codes::kTestImageUnavailable);
    EXPECT_TRUE(SentTo(name_, drv::kTestImageSet).empty());
}

// --- camera information

struct InfoCase {
    const char* name;
    std::function<void(sim::CameraDesc&)> setup;
    std::function<std::string(CBcam&)> read;
    std::string expected;
};

class InfoRead : public fennex_test::SimCameraTest<InfoCase> {};

TEST_P(InfoRead, ReturnsTheCamerasText) {
    Open(fennex_test::kColourCamera);
    sim::EditCamera(name_, GetParam().setup);
    EXPECT_EQ(GetParam().read(camera_), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Strings, InfoRead,
    testing::Values(
        InfoCase{"NodeId", [](sim::CameraDesc& d) { d.nodeId = 0x123456789ABCDEF0ull; },
                 [](CBcam& c) { return c.Info.NodeId(); }, "0x123456-517992144624"},
        InfoCase{"NodeIdLeadingZeros", [](sim::CameraDesc& d) { d.nodeId = 0x0000300000000007ull; },
                 [](CBcam& c) { return c.Info.NodeId(); }, "0x000030-7"},
        InfoCase{"NodeIdLargest", [](sim::CameraDesc& d) { d.nodeId = ~0ull; },
                 [](CBcam& c) { return c.Info.NodeId(); }, "0xffffff-1099511627775"},
        InfoCase{"Model", [](sim::CameraDesc& d) { d.model = "A602fc"; },
                 [](CBcam& c) { return c.Info.ModelName(); }, "A602fc"},
        InfoCase{"Vendor", [](sim::CameraDesc& d) { d.vendor = "Quentaro"; },
                 [](CBcam& c) { return c.Info.VendorName(); }, "Quentaro"},
        InfoCase{"Firmware", [](sim::CameraDesc& d) { d.firmware = "1.2 build 7"; },
                 [](CBcam& c) { return c.Info.CameraFirmwareVersion(); }, "1.2 build 7"},
        InfoCase{"ModelFillingTheBuffer", [](sim::CameraDesc& d) { d.model = std::string(300, 'M'); },
                 [](CBcam& c) { return c.Info.ModelName(); }, std::string(255, 'M')},
        InfoCase{"EmptyModel", [](sim::CameraDesc& d) { d.model.clear(); },
                 [](CBcam& c) { return c.Info.ModelName(); }, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InfoRequests, EachStringNamesItsSelector) {
    CBcam camera;
    std::string name;
    fennex_test::OpenSimCamera(camera, name, fennex_test::kColourCamera);
    camera.Info.VendorName();
    camera.Info.ModelName();
    camera.Info.CameraFirmwareVersion();
    EXPECT_EQ(SentTo(name, drv::kCameraString), (std::vector<Words>{{0}, {1}, {2}}));
    EXPECT_EQ(camera.Info.DeviceName(), name);
}

TEST(InfoRequests, DriverVersionIsAShortTerminatedText) {
    CBcam camera;
    std::string name;
    fennex_test::OpenSimCamera(camera, name, fennex_test::kColourCamera);
    const std::string version = camera.Info.DriverSoftwareVersion();
    EXPECT_FALSE(version.empty());
    EXPECT_LE(version.size(), 19u);
    EXPECT_EQ(version.find('\0'), std::string::npos);
}

TEST(InfoRequests, FailuresCarryTheOperation) {
    CBcam camera;
    std::string name;
    fennex_test::OpenSimCamera(camera, name, fennex_test::kColourCamera);
    const std::vector<std::pair<std::function<void()>, std::string>> calls = {
        {[&] { camera.Info.NodeId(); }, "CBcam::CInfo::NodeId()"},
        {[&] { camera.Info.ModelName(); }, "CBcam::CInfo::ModelName()"},
        {[&] { camera.Info.VendorName(); }, "CBcam::CInfo::VendorName()"},
        {[&] { camera.Info.CameraFirmwareVersion(); }, "CBcam::CInfo::CameraFirmwareVersion()"},
        {[&] { camera.Info.DriverSoftwareVersion(); }, "CBcam::CInfo::DriverSoftwareVersion()"},
    };
    for (const auto& [call, context] : calls) {
        for (std::uint32_t code : {drv::kNodeId, drv::kCameraString, drv::kDriverVersion})
            fennex_test::FailNext(code, 31);
        const auto caught = Catch(call);
        EXPECT_EQ(caught.code, 31u) << context;
        EXPECT_EQ(caught.context, context);
        sim::ClearFaults();
    }
}

}  // namespace
