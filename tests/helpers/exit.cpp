// Ends the process with a port grabbing continuously: from inside the completion callback
// ("callback"), from the main thread while frames arrive ("main"), or from the main thread while
// a callback waits for the exit to begin, calls the library and stays for seconds ("blocked").
// Prints the steady clock just before exit(), so that the parent can see how long the ending
// took. With "configure" it calls configure before any other host function and ends when the
// dialog is closed.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "fennex/fennex.h"

namespace {

std::atomic<int> g_frames{0};
bool g_inCallback = false;
bool g_blocked = false;
const char* g_camera = "";
std::atomic<bool> g_exiting{false};

void SayExiting() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::printf("exiting %lld\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
    std::fflush(stdout);
}

void FENNEX_CALL OnFrame(int, int) {
    if (g_inCallback && g_frames.load() == 2) {
        SayExiting();
        std::exit(0);
    }
    if (++g_frames == 3 && g_blocked) {
        while (!g_exiting.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the exit is under way
        int size[2] = {0, 0};
        openCVLPort(0, 1, g_camera, size);
        std::this_thread::sleep_for(std::chrono::seconds(3));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: helper-exit CAMERA callback|main|blocked|configure\n");
        return 2;
    }
    if (std::strcmp(argv[2], "configure") == 0) return configure() == 1 ? 0 : 1;
    g_inCallback = std::strcmp(argv[2], "callback") == 0;
    g_blocked = std::strcmp(argv[2], "blocked") == 0;
    g_camera = argv[1];
    int size[2] = {0, 0};
    if (!openCVLPort(0, 0, argv[1], size) || !setCompleteCallback(0, 0, OnFrame) ||
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
