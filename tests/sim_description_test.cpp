// Camera description files: what a good one builds, and how a bad one is reported.
#include <list>

#include "bcam/cbcam.h"
#include "errors/exception.h"
#include "sim_support.h"
#include "test_support.h"

namespace {

using namespace simtest;
using fennex::test::Raised;
using fennex::test::RaisedBy;
namespace drv = Bcam::driver;

class SimDescription : public SimTest {
protected:
    // Each text in a file of its own, all removed with the directory.
    std::string Write(const std::string& text) {
        const std::string path = dir_.File("cameras" + std::to_string(++written_) + ".ini");
        fennex::test::WriteFile(path, text);
        return path;
    }
    fennex::test::ScratchDirectory dir_;
    int written_ = 0;
};

const char* kThree =
    "; three cameras and an old driver\r\n"
    "[Driver]\r\n"
    "ImagePath=\\SystemRoot\\System32\\DRIVERS\\bcam.sys\r\n"
    "FileVersion=1.5.3.0\r\n"
    "[First]\r\n"
    "Name=AAAA&ONE#0001\r\n"
    "Vendor=Maker\r\n"
    "Model=One\r\n"
    "Mode.0.5=2,3,4\r\n"
    "Gain=0x8B0000FF,0x40\r\n"
    "[Second]\n"
    "name = BBBB&TWO#0002\n"
    "MODE.1.2 = 0, 1\n"
    "VideoMode=1,2,1\n"
    "TestImages=1,7\n"
    "[Third]\n"
    "Name=CCCC&THREE#0003\n"
    "Format7.0=1024x768\n"
    "Format7.0.Unit=8x2\n"
    "Format7.0.Codings=0,5\n"
    "Format7.0.Image=8,2,512,384\n"
    "Format7.0.Packet=8,2048\n";

TEST_F(SimDescription, AFileWithThreeCamerasListsThree) {
    sim::LoadDescription(Write(kThree));
    const sim::DriverRelease release = sim::Release();
    EXPECT_EQ(release.imagePath, "\\SystemRoot\\System32\\DRIVERS\\bcam.sys");
    EXPECT_EQ(release.versionMS, 0x00010005u);
    EXPECT_EQ(release.versionLS, 0x00030000u);
    // The described driver is too old for the library, end to end.
    EXPECT_EQ(RaisedBy([] { Bcam::CBcam::DeviceNames(); }).code, 0x4FF00019u);
    EXPECT_EQ(sim::LastVersionQueryPath(), "\\SystemRoot\\System32\\DRIVERS\\bcam.sys");
    sim::SetRelease({});
    EXPECT_EQ(Bcam::CBcam::DeviceNames(),
              (std::list<std::string>{"AAAA&ONE#0001", "BBBB&TWO#0002", "CCCC&THREE#0003"}));
    sim::SetRelease(release);

    Device one("AAAA&ONE#0001");
    EXPECT_EQ(one.Inquiry(drv::kGain), 0x8B0000FFu);
    EXPECT_EQ(one.Control(drv::kGain), 0x40u);
    std::uint32_t q = 0;
    EXPECT_EQ(one.Read(drv::kFrameRateInquiry, {0, 5}, &q), 0u);
    EXPECT_EQ(q, 0x38000000u);
    EXPECT_EQ(one.Read(drv::kTestImageGet, {}, &q), sim::kNoTestImage);
    char version[20];
    EXPECT_EQ(one.Transmit(drv::kDriverVersion, {}, version, sizeof version), 0u);
    EXPECT_STREQ(version, "1.5.3.0");

    Device two("BBBB&TWO#0002");
    drv::VideoModeRecord mode{};
    EXPECT_EQ(two.Transmit(drv::kGetVideoMode, {}, &mode, sizeof mode), 0u);
    EXPECT_EQ(mode.format, 1u);
    EXPECT_EQ(mode.mode, 2u);
    EXPECT_EQ(mode.rate, 1u);
    EXPECT_EQ(two.Read(drv::kTestImageGet, {}, &q), 0u);
    EXPECT_EQ(q, 0x80820000u);

    const sim::CameraDesc three = sim::Camera("CCCC&THREE#0003");
    EXPECT_EQ(three.format, 7u);  // its only mode
    EXPECT_EQ(three.format7[0].width, 512u);
    EXPECT_EQ(three.format7[0].bytesPerPacket, 2048u);
    EXPECT_EQ(three.format7[0].coding, 0u);
}

TEST_F(SimDescription, BadEntriesNameFileSectionAndKey) {
    const std::string camera = "[Cam]\nName=A&B#1\nMode.0.5=4\n";
    struct Case {
        std::string text;
        const char* where;  // what the context must hold besides the file name
    } cases[] = {
        {camera + "Colour=red\n", "[Cam] Colour"},
        {camera + "Mode.3.0=1\n", "[Cam] Mode.3.0"},
        {camera + "Mode.0.7=1\n", "[Cam] Mode.0.7"},
        {camera + "Mode.0.6=6\n", "[Cam] Mode.0.6"},
        {camera + "Mode.0.6=\n", "[Cam] Mode.0.6"},
        {camera + "VideoMode=0,6,4\n", "[Cam] VideoMode"},
        {camera + "VideoMode=0,5\n", "[Cam] VideoMode"},
        {camera + "Gain=0xZZ\n", "[Cam] Gain"},
        {camera + "Gain=1,2,3\n", "[Cam] Gain"},
        {camera + "TestImages=0\n", "[Cam] TestImages"},
        {camera + "NodeId=-1\n", "[Cam] NodeId"},
        {camera + "Format7.0=640x480\nFormat7.0.Codings=0\nFormat7.0.Image=0,0,800,480\n",
         "[Cam] Format7.0.Image"},
        {camera + "Format7.0=640x480\n", "[Cam] Format7.0.Codings"},
        {camera + "Format7.1.Codings=0\n", "[Cam] Format7.1"},
        {camera + "Format7.9=640x480\n", "[Cam] Format7.9"},
        {camera + "Format7.0=640x480\nFormat7.0.Codings=0\nFormat7.0.Coding=4\n", "[Cam] Format7.0.Coding"},
        {camera + "Format7.0=640x480\nFormat7.0.Codings=0\nFormat7.0.Colour=4\n", "[Cam] Format7.0.Colour"},
        {"[Cam]\nMode.0.5=4\n", "[Cam] Name"},
        {"[Cam]\nName=plain\nMode.0.5=4\n", "[Cam] Name"},
        {"[Cam]\nName=A&B#1\n", "[Cam] Mode"},
        {camera + "[Again]\nName=a&b#1\nMode.0.5=4\n", "[Again] Name"},
        {camera + "[Driver]\nFileVersion=1.6\n", "[Driver] FileVersion"},
        {camera + "[Driver]\nService=maybe\n", "[Driver] Service"},
        {camera + "[Driver]\nPath=x\n", "[Driver] Path"},
        {"[Cam]\nName=A&B#1\nthis line has no value\n", "line 3"},
        {"Name=A&B#1\n", "line 1"},
        {"[Cam\nName=A&B#1\n", "line 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string file = Write(c.text);
        const Raised raised = RaisedBy([&] { sim::LoadDescription(file); });
        EXPECT_EQ(raised.code, 87u);
        EXPECT_NE(raised.context.find(file), std::string::npos) << raised.context;
        EXPECT_NE(raised.context.find(c.where), std::string::npos) << raised.context;
        // The cameras are left as they were.
        EXPECT_EQ(sim::CameraNames(), (std::vector<std::string>{kMono, kColour}));
    }
}

TEST_F(SimDescription, MissingFileIsReportedWithItsName) {
    const std::string file = dir_.File("none.ini");
    const Raised raised = RaisedBy([&] { sim::LoadDescription(file); });
    EXPECT_EQ(raised.code, 2u);
    EXPECT_NE(raised.context.find(file), std::string::npos) << raised.context;
    EXPECT_EQ(sim::CameraNames().size(), 2u);
}

}  // namespace
