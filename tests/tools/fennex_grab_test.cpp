// The host program: it loads the library by name, as hosts do, and says what went wrong.

#include "fixture.h"

namespace fennex::test {
namespace {

ProgramRun Grab(const std::string& directory, const std::string& arguments) {
    return RunProgram(std::string("..") + platform::PathSeparator() + "fennex-grab",
                      "--quiet --path " + Quoted(directory) + " " + arguments + " 2>&1");
}

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
        const ProgramRun run = Grab(directory_, c.arguments);
        EXPECT_EQ(run.status == 0, c.succeeds) << run.out;
        for (const std::string& says : c.says)
            EXPECT_NE(run.out.find(says), std::string::npos) << run.out;
    }
}

// Several cameras grab at the same time, each on its own port, into PGM files of the camera's
// moving pattern (each row is the one above it moved left by one pixel) in a directory the
// program makes; --save leaves each camera a configuration file that the next run applies, and a
// first run says that there is none yet.
TEST_F(ExportsTest, TheHostProgramGrabsFromARigIntoPgmFilesAndSavesItsSettings) {
    const DialogCloser closer;  // --save goes through configure, which shows its dialog
    const std::filesystem::path out = std::filesystem::path(directory_) / "made" / "here";
    const std::string grab = "--frames 2 --set Gain=100 --save --out " + Quoted(out.string());
    const ProgramRun first = Grab(directory_, "--camera MONO --camera COLR --port 18 " + grab);
    EXPECT_EQ(first.status, 0) << first.out;
    for (const char* says : {"MONO: port 18", "COLR: port 19", "MONO: 2 frames", "COLR: 2 frames",
                             "MONO: no configuration file", "COLR: settings saved in"})
        EXPECT_NE(first.out.find(says), std::string::npos) << says << "\n" << first.out;
    const std::string header = "P5\n640 480\n255\n";
    for (const char* name : {"MONO_0000.pgm", "MONO_0001.pgm"}) {
        const std::string bytes = ReadFile((out / name).string());
        ASSERT_EQ(bytes.size(), header.size() + 640 * 480) << name;
        EXPECT_EQ(bytes.compare(0, header.size(), header), 0);
        const char* pixels = bytes.data() + header.size();
        int shifted = 0;
        for (int x = 0; x + 1 < 640; ++x) shifted += pixels[x + 1] == pixels[640 + x];
        EXPECT_EQ(shifted, 639);
        EXPECT_NE(pixels[0], pixels[320]);  // not a flat frame
    }

    const ProgramRun second = Grab(directory_, "--camera COLR --get Gain");
    EXPECT_EQ(second.status, 0) << second.out;
    EXPECT_NE(second.out.find("COLR: Gain = 100"), std::string::npos) << second.out;
    EXPECT_EQ(second.out.find("no configuration file"), std::string::npos) << second.out;
}

}  // namespace
}  // namespace fennex::test
