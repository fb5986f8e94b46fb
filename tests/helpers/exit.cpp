// Ends a host process in the ways the tests need:
//   CAMERA callback|main|blocked  with a port grabbing continuously: exit() from inside the
//       completion callback, from the main thread while frames arrive, or from the main thread
//       while a callback waits for the exit to begin, calls the library and stays for seconds;
//       prints the steady clock just before exit(), so that the parent sees how long it took;
//   CAMERA configure  configure before any other host function; ends when the dialog is closed;
//   CAMERA hold PORT CRASH-FILE [GO-FILE]  opens the port (once GO-FILE exists, so that several
//       holders can race), says "ready" or "refused", and dies without any clean-up (as a crash
//       would) once CRASH-FILE exists.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "fennex/fennex.h"

namespace {

std::atomic<int> g_frames{0};
std::atomic<bool> g_exiting{false};
const char* g_camera = "";
const char* g_how = "";

void SayExiting() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::printf("exiting %lld\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
    std::fflush(stdout);
}

void FENNEX_CALL OnFrame(int, int) {
    if (std::strcmp(g_how, "callback") == 0 && g_frames.load() == 2) {
        SayExiting();
        std::exit(0);
    }
    if (++g_frames == 3 && std::strcmp(g_how, "blocked") == 0) {
        while (!g_exiting.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the exit is under way
        int size[2] = {0, 0};
        openCVLPort(0, 1, g_camera, size);
        std::this_thread::sleep_for(std::chrono::seconds(3));
    }
}

void WaitFor(const char* file) {
    for (int i = 0; i < 10000 && !std::filesystem::exists(file); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: helper-exit CAMERA callback|main|blocked|configure|hold\n");
        return 2;
    }
    g_camera = argv[1];
    g_how = argv[2];
    int size[2] = {0, 0};
    if (std::strcmp(g_how, "configure") == 0) return configure() == 1 ? 0 : 1;
    if (std::strcmp(g_how, "hold") == 0 && argc >= 5) {
        if (argc > 5) WaitFor(argv[5]);
        const bool opened = openCVLPort(0, std::atoi(argv[3]), g_camera, size) == 1;
        std::printf(opened ? "ready\n" : "refused\n");
        std::fflush(stdout);
        if (!opened) return 1;
        WaitFor(argv[4]);
        std::_Exit(3);
    }
    if (!openCVLPort(0, 0, g_camera, size) || !setCompleteCallback(0, 0, OnFrame) ||
        !setProperty(0, 0, "continous", 1)) {
        std::printf("cannot grab\n");
        return 1;
    }
    for (int i = 0; i < 5000 && g_frames.load() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    g_exiting = true;
    SayExiting();
    std::exit(g_frames.load() >= 3 ? 0 : 1);
}
