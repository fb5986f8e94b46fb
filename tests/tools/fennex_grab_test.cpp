// The host program: it loads the library by name, as hosts do, and says what went wrong.

#include "fixture.h"

namespace fennex::test {
namespace {

const std::string kGrab = std::string("..") + platform::PathSeparator() + "fennex-grab";

ProgramRun Grab(const std::string& arguments) { return RunProgram(kGrab, "--quiet " + arguments + " 2>&1"); }

// Lists the cameras through all fifteen functions found by name; wrong requests fail, each with
// its reason.
TEST_F(ExportsTest, TheHostProgramFindsTheFunctionsByNameAndSaysWhatWentWrong) {
    const struct {
        const char* arguments;
        bool succeeds;
        std::vector<std::string> says;
    } cases[] = {
        {"--list", true, {"2 cameras", kMono, kColour}},
        {"--camera XXXX", false, {"cannot open camera XXXX on port 0"}},
        {"--camera MONO --port 20", false, {"--port must be 0 to 19"}},
        {"--camera MONO --get Foo", false, {"unknown property Foo"}},
        {"--camera MONO --set Gain=100 --get Gain", true, {"Gain = 100"}},
        {"--camera MONO --camera COLR --port 19", false, {"ports 19 to 19 cannot take 2 cameras"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ProgramRun run = Grab("--path " + Quoted(directory_) + " " + c.arguments);
        EXPECT_EQ(run.status == 0, c.succeeds) << run.out;
        for (const std::string& says : c.says) EXPECT_NE(run.out.find(says), std::string::npos) << run.out;
    }
}

// Several cameras grab at the same time, each on its own port; --save leaves each camera a
// configuration file that the next run applies, and a first run says that there is none yet.
TEST_F(ExportsTest, TheHostProgramGrabsFromARigAndSavesItsSettings) {
    const std::string path = "--path " + Quoted(directory_) + " ";
    const DialogCloser closer;  // --save goes through configure, which shows its dialog
    const ProgramRun first =
        Grab(path + "--camera MONO --camera COLR --port 18 --set Gain=100 --frames 2 --save");
    EXPECT_EQ(first.status, 0) << first.out;
    for (const char* says : {"MONO: port 18", "COLR: port 19", "MONO: 2 frames", "COLR: 2 frames",
                             "MONO: no configuration file", "COLR: settings saved in"})
        EXPECT_NE(first.out.find(says), std::string::npos) << says << "\n" << first.out;

    const ProgramRun second = Grab(path + "--camera COLR --get Gain");
    EXPECT_EQ(second.status, 0) << second.out;
    EXPECT_NE(second.out.find("COLR: Gain = 100"), std::string::npos) << second.out;
    EXPECT_EQ(second.out.find("no configuration file"), std::string::npos) << second.out;
}

// The frames land in a directory the program makes, as PGM files of the camera's moving
// pattern: each row is the one above it moved left by one pixel.
TEST_F(ExportsTest, TheHostProgramWritesEachFrameAsAPgmFile) {
    const std::filesystem::path out = std::filesystem::path(directory_) / "made" / "here";
    const ProgramRun run = Grab("--path " + Quoted(directory_) + " --camera MONO --frames 2 --out " +
                                Quoted(out.string()));
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string header = "P5\n640 480\n255\n";
    for (const char* name : {"MONO_0000.pgm", "MONO_0001.pgm"}) {
        SCOPED_TRACE(name);
        const std::string bytes = ReadFile((out / name).string());
        ASSERT_EQ(bytes.size(), header.size() + 640 * 480) << run.out;
        EXPECT_EQ(bytes.compare(0, header.size(), header), 0);
        const char* pixels = bytes.data() + header.size();
        int shifted = 0;
        for (int x = 0; x + 1 < 640; ++x) shifted += pixels[x + 1] == pixels[640 + x];
        EXPECT_EQ(shifted, 639);
        EXPECT_NE(pixels[0], pixels[320]);  // not a flat frame
    }
}

}  // namespace
}  // namespace fennex::test
