// The library among processes: a port held by another process, and the library loaded by name
// by the host program.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "exports_fixture.h"
#include "platform/profile.h"

#if defined(_WIN32)
#define popen _popen
#define pclose _pclose
#endif

using namespace exports_test;

namespace {

#if defined(_WIN32)
const char kExe[] = ".exe";
#else
const char kExe[] = "";
#endif

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string BuildFile(const std::string& relative) {
    return std::string(fennex::platform::HostExecutableDirectory()) +
           fennex::platform::PathSeparator() + relative;
}

// The child processes use the simulated cameras too.
void UseSimulatedDriver() {
#if defined(_WIN32)
    _putenv_s("FENNEX_DRIVER", "sim");
    _putenv_s("FENNEX_SIM_PACE", "fast");
#else
    setenv("FENNEX_DRIVER", "sim", 1);
    setenv("FENNEX_SIM_PACE", "fast", 1);
#endif
}

// popen runs the command through the shell; cmd.exe drops the first and the last quote of a
// command line, so there the whole line is quoted once more.
std::FILE* Start(const std::string& command) {
#if defined(_WIN32)
    return popen(("\"" + command + "\"").c_str(), "r");
#else
    return popen(command.c_str(), "r");
#endif
}

std::string ReadAll(std::FILE* pipe) {
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    return out;
}

TEST_F(ExportsTest, APortHeldByAnotherProcessIsRefusedUntilItsHolderDies) {
    UseSimulatedDriver();
    const std::string crashFile = directory_ + fennex::platform::PathSeparator() + "crash";
    const std::string command = Quoted(BuildFile(std::string("helper-port-holder") + kExe)) +
                                " " + Quoted(kMono) + " 3 " + Quoted(crashFile);
    std::FILE* holder = Start(command);
    ASSERT_NE(holder, nullptr);
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof line, holder), nullptr);
    ASSERT_STREQ(line, "ready\n");

    int size[2];
    const std::string asked = "MONOasked";
    EXPECT_EQ(openCVLPort(0, 3, asked.c_str(), size), 0);
    EXPECT_TRUE(TheMessages().Contains(asked + " is open by other process\n"));
    OpenPort(4, kMono);  // other ports stay free

    std::ofstream(crashFile) << "now";
    pclose(holder);
    EXPECT_EQ(openCVLPort(0, 3, kMono.c_str(), size), 1);
}

// Of holders started to race for one port, exactly one gets it.
TEST_F(ExportsTest, OfProcessesRacingForAPortExactlyOneWins) {
    UseSimulatedDriver();
    const std::string crashFile = directory_ + fennex::platform::PathSeparator() + "crash";
    const std::string goFile = directory_ + fennex::platform::PathSeparator() + "go";
    std::vector<std::FILE*> holders;
    for (int i = 0; i < 4; ++i) {
        holders.push_back(Start(Quoted(BuildFile(std::string("helper-port-holder") + kExe)) + " " +
                                Quoted(kMono) + " 6 " + Quoted(crashFile) + " " + Quoted(goFile)));
        ASSERT_NE(holders.back(), nullptr);
    }
    std::ofstream(goFile) << "go";
    int ready = 0, refused = 0;
    for (std::FILE* holder : holders) {
        char line[64] = {};
        if (std::fgets(line, sizeof line, holder)) {
            ready += std::string(line) == "ready\n";
            refused += std::string(line) == "refused\n";
        }
    }
    std::ofstream(crashFile) << "now";
    for (std::FILE* holder : holders) pclose(holder);
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(refused, 3);
}

// exit() with a port grabbing, from the completion callback or from another thread (also while a
// callback calls the library and stays on): the process ends at once rather than waiting for
// the thread that is ending it or for the callback.
TEST_F(ExportsTest, EndingTheProcessWithAPortGrabbingIsQuick) {
    UseSimulatedDriver();
    for (const char* where : {"callback", "main", "blocked"}) {
        SCOPED_TRACE(where);
        std::FILE* program = Start(Quoted(BuildFile(std::string("helper-exit") + kExe)) + " " +
                                   Quoted(kMono) + " " + where);
        ASSERT_NE(program, nullptr);
        char line[64] = {};
        long long exitingAt = 0;
        ASSERT_NE(std::fgets(line, sizeof line, program), nullptr);
        ASSERT_EQ(std::sscanf(line, "exiting %lld", &exitingAt), 1) << line;
        EXPECT_EQ(pclose(program), 0);
        const long long endedAt = std::chrono::duration_cast<std::chrono::microseconds>(
                                      std::chrono::steady_clock::now().time_since_epoch())
                                      .count();
        EXPECT_LT(endedAt - exitingAt, 1000000) << "microseconds from exit() to the end";
    }
}

#if !defined(_WIN32)
// The library loaded by name, used, and unloaded, twice, and a third time while a callback
// calls the library during the unload: each unload ends at once and takes it out of the
// process. (The sanitizer build's leak check runs in the helper as well.)
TEST_F(ExportsTest, TheLibraryUnloadsAfterUseAndReloadsClean) {
    UseSimulatedDriver();
    std::FILE* program =
        Start(Quoted(BuildFile("helper-unload")) + " " +
              Quoted(BuildFile(std::string("..") + fennex::platform::PathSeparator() + "libfennex.so")) +
              " " + Quoted(kMono) + " " + Quoted(directory_) + " 2>&1");
    ASSERT_NE(program, nullptr);
    const std::string out = ReadAll(program);
    EXPECT_EQ(pclose(program), 0) << out;
    EXPECT_EQ(out, "grabbed unloaded\ngrabbed unloaded\ngrabbed unloaded\n");
}
#endif

// Runs the host program with these arguments; its exit status and everything it printed.
struct ProgramRun {
    int status;
    std::string out;
};
ProgramRun HostProgram(const std::string& arguments) {
    UseSimulatedDriver();
    const std::string command =
        Quoted(BuildFile(std::string("..") + fennex::platform::PathSeparator() + "fennex-grab" +
                         kExe)) +
        " --quiet " + arguments + " 2>&1";
    std::FILE* program = Start(command);
    if (!program) return {-1, "cannot start " + command};
    ProgramRun run;
    run.out = ReadAll(program);
    run.status = pclose(program);
    return run;
}

TEST_F(ExportsTest, TheHostProgramFindsAllFifteenFunctionsByName) {
    const ProgramRun run = HostProgram("--list");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("2 cameras"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(kMono), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(kColour), std::string::npos) << run.out;
}

TEST_F(ExportsTest, TheHostProgramSaysWhatWentWrongAndFails) {
    struct Case {
        const char* arguments;
        bool succeeds;
        const char* says;
    };
    const Case cases[] = {
        {"--camera XXXX", false, "cannot open camera XXXX on port 0"},
        {"--camera MONO --port 20", false, "--port must be 0 to 19"},
        {"--camera MONO --get Foo", false, "unknown property Foo"},
        {"--camera MONO --set Gain=100 --get Gain", true, "Gain = 100"},
        {"--camera MONO --camera COLR --port 19", false, "ports 19 to 19 cannot take 2 cameras"},
    };
    const std::string settings = Quoted(directory_);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ProgramRun run = HostProgram(std::string("--path ") + settings + " " + c.arguments);
        EXPECT_EQ(run.status == 0, c.succeeds) << run.out;
        EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
    }
}

// Several cameras grab at the same time, each on its own port; --save leaves each camera a
// configuration file that the next run applies, and a first run says that there is none yet.
TEST_F(ExportsTest, TheHostProgramGrabsFromARigAndSavesItsSettings) {
    const std::string path = "--path " + Quoted(directory_) + " ";
    const DialogCloser closer;  // --save goes through configure, which shows its dialog
    const ProgramRun first =
        HostProgram(path + "--camera MONO --camera COLR --port 18 --set Gain=100 --frames 2 --save");
    EXPECT_EQ(first.status, 0) << first.out;
    for (const char* says : {"MONO: port 18", "COLR: port 19", "MONO: 2 frames", "COLR: 2 frames",
                             "MONO: no configuration file", "COLR: settings saved in"})
        EXPECT_NE(first.out.find(says), std::string::npos) << says << "\n" << first.out;

    const ProgramRun second = HostProgram(path + "--camera COLR --get Gain");
    EXPECT_EQ(second.status, 0) << second.out;
    EXPECT_NE(second.out.find("COLR: Gain = 100"), std::string::npos) << second.out;
    EXPECT_EQ(second.out.find("no configuration file"), std::string::npos) << second.out;
}

// The frames land in a directory the program makes, as PGM files of the camera's moving
// pattern: each row is the one above it moved left by one pixel.
TEST_F(ExportsTest, TheHostProgramWritesEachFrameAsAPgmFile) {
    const std::filesystem::path out = std::filesystem::path(directory_) / "made" / "here";
    const ProgramRun run = HostProgram("--path " + Quoted(directory_) + " --camera MONO --frames 2" +
                                " --out " + Quoted(out.string()));
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string header = "P5\n640 480\n255\n";
    for (const char* name : {"MONO_0000.pgm", "MONO_0001.pgm"}) {
        SCOPED_TRACE(name);
        std::ifstream file(out / name, std::ios::binary);
        ASSERT_TRUE(file) << run.out;
        const std::string bytes{std::istreambuf_iterator<char>(file), {}};
        ASSERT_EQ(bytes.size(), header.size() + 640 * 480);
        EXPECT_EQ(bytes.compare(0, header.size(), header), 0);
        const char* pixels = bytes.data() + header.size();
        int shifted = 0;
        for (int x = 0; x + 1 < 640; ++x) shifted += pixels[x + 1] == pixels[640 + x];
        EXPECT_EQ(shifted, 639);
        EXPECT_NE(pixels[0], pixels[320]);  // not a flat frame
    }
}

}  // namespace
