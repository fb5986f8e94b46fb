// Holds a host port in a process of its own: opens it (once the file named by an optional
// fourth argument exists, so that several holders can be started to race), says "ready" or
// "refused", and dies without any clean-up (as a crash would) once the file named by its third
// argument exists.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "fennex/fennex.h"

namespace {

void WaitFor(const char* file) {
    for (int i = 0; i < 10000 && !std::filesystem::exists(file); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: helper-port-holder CAMERA PORT CRASH-FILE [GO-FILE]\n");
        return 2;
    }
    if (argc == 5) WaitFor(argv[4]);
    int size[2] = {0, 0};
    const bool opened = openCVLPort(0, std::atoi(argv[2]), argv[1], size) == 1;
    std::printf(opened ? "ready\n" : "refused\n");
    std::fflush(stdout);
    if (!opened) return 1;
    WaitFor(argv[3]);
    std::_Exit(3);
}
