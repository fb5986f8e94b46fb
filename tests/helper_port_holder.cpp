// Holds a host port in a process of its own: opens it, says "ready", and dies without any
// clean-up (as a crash would) once the file named by its third argument exists.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "fennex/fennex.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: helper-port-holder CAMERA PORT CRASH-FILE\n");
        return 2;
    }
    int size[2] = {0, 0};
    if (!openCVLPort(0, std::atoi(argv[2]), argv[1], size)) {
        std::printf("refused\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (int i = 0; i < 3000 && !std::filesystem::exists(argv[3]); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::_Exit(3);
}
