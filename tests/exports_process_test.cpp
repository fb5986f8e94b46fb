// The library among processes: a port held by another process, and the library loaded by name
// by the host program.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

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

TEST_F(ExportsTest, TheHostProgramFindsAllFifteenFunctionsByName) {
    UseSimulatedDriver();
    const std::string command =
        Quoted(BuildFile(std::string("..") + fennex::platform::PathSeparator() + "fennex-grab" + kExe)) +
        " --list --quiet";
    std::FILE* program = Start(command);
    ASSERT_NE(program, nullptr);
    const std::string out = ReadAll(program);
    const int status = pclose(program);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("2 cameras"), std::string::npos) << out;
    EXPECT_NE(out.find(kMono), std::string::npos) << out;
    EXPECT_NE(out.find(kColour), std::string::npos) << out;
}

}  // namespace
