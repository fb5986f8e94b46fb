// Camera description files: what a good one builds, and how a bad one is reported.
#include <list>

#include "fixture.h"

namespace fennex::test {
namespace {

class SimDescription : public SimCameras {
protected:
    // Each text in a file of its own, all removed with the directory.
    std::string Write(const std::string& text) {
        const std::string path = dir_.File("cameras" + std::to_string(++written_) + ".ini");
        WriteFile(path, text);
        return path;
    }
    ScratchDirectory dir_;
    int written_ = 0;
};

TEST_F(SimDescription, AFileWithThreeCamerasListsThree) {
    sim::LoadDescription(Write(
        "; three cameras and an old driver\r\n"
        "[Driver]\r\nImagePath=\\SystemRoot\\System32\\DRIVERS\\bcam.sys\r\nFileVersion=1.5.3.0\r\n"
        "[First]\r\nName=AAAA&ONE#0001\r\nVendor=Maker\r\nModel=One\r\nMode.0.5=2,3,4\r\n"
        "Gain=0x8B0000FF,0x40\r\n"
        "[Second]\nname = BBBB&TWO#0002\nMODE.1.2 = 0, 1\nVideoMode=1,2,1\nTestImages=1,7\n"
        "[Third]\nName=CCCC&THREE#0003\nFormat7.0=1024x768\nFormat7.0.Unit=8x2\nFormat7.0.Codings=0,5\n"
        "Format7.0.Image=8,2,512,384\nFormat7.0.Packet=8,2048\n"));
    // The described driver is too old for the library, end to end.
    EXPECT_EQ(sim::Release().versionMS, 0x00010005u);
    EXPECT_EQ(RaisedBy([] { Bcam::CBcam::DeviceNames(); }).code, 0x4FF00019u);
    EXPECT_EQ(sim::LastVersionQueryPath(), "\\SystemRoot\\System32\\DRIVERS\\bcam.sys");
    sim::SetRelease({});
    EXPECT_EQ(Bcam::CBcam::DeviceNames(),
              (std::list<std::string>{"AAAA&ONE#0001", "BBBB&TWO#0002", "CCCC&THREE#0003"}));

    const sim::CameraDesc one = sim::Camera("AAAA&ONE#0001");
    EXPECT_EQ(one.vendor, "Maker");
    EXPECT_EQ(one.feature(drv::kGain).inquiry, 0x8B0000FFu);
    EXPECT_EQ(one.feature(drv::kGain).control, 0x40u);
    EXPECT_EQ(one.rates[0][5], 0x38000000u);
    EXPECT_FALSE(one.hasTestImages);
    const sim::CameraDesc two = sim::Camera("BBBB&TWO#0002");
    EXPECT_EQ((Words{two.format, two.mode, two.rate, two.testImages}), (Words{1, 2, 1, 0x82}));
    const sim::CameraDesc three = sim::Camera("CCCC&THREE#0003");
    EXPECT_EQ(three.format, 7u);  // its only mode
    EXPECT_EQ(three.format7[0].width, 512u);
    EXPECT_EQ(three.format7[0].bytesPerPacket, 2048u);
}

TEST_F(SimDescription, BadFilesAreReportedWithFileSectionAndKey) {
    const std::string camera = "[Cam]\nName=A&B#1\nMode.0.5=4\n";
    const struct {
        std::string text;   // empty: no file at all
        const char* where;  // what the context must hold besides the file name
        std::uint32_t code = 87;
    } cases[] = {
        {camera + "Colour=red\n", "[Cam] Colour"},  // an unknown key
        {camera + "Mode.0.7=1\n", "[Cam] Mode.0.7"},  // a mode the format lacks
        {camera + "Gain=0xZZ\n", "[Cam] Gain"},
        {"[Cam]\nMode.0.5=4\n", "[Cam] Name"},
        {camera + "[Again]\nName=a&b#1\nMode.0.5=4\n", "[Again] Name"},  // a name taken, in another case
        {camera + "[Driver]\nFileVersion=1.6\n", "[Driver] FileVersion"},
        {"[Cam]\nName=A&B#1\nthis line has no value\n", "line 3"},
        {"[Cam]\nName=A&B#1\nFormat7.0=64x64\nFormat7.0.Codings=0\nFormat7.0.Packet=8,4096\n"
         "Format7.0.BytePerPacket=12\n",  // a packet size off its unit
         "[Cam] Format7.0.BytePerPacket"},
        {"", "", 2},
    };
    for (const auto& c : cases) {
        const std::string file = c.text.empty() ? dir_.File("none.ini") : Write(c.text);
        const Raised raised = RaisedBy([&] { sim::LoadDescription(file); });
        EXPECT_EQ(raised.code, c.code) << c.text;
        EXPECT_NE(raised.context.find(file), std::string::npos) << raised.context;
        EXPECT_NE(raised.context.find(c.where), std::string::npos) << raised.context;
        // The cameras are left as they were.
        EXPECT_EQ(sim::CameraNames(), (std::vector<std::string>{kMono, kColour}));
    }
}

}  // namespace
}  // namespace fennex::test
