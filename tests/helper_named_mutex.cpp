// Holds a named mutex for a test in another process.
// Usage: helper-named-mutex NAME READY-FILE EXIT-FILE
// Creates the mutex, creates READY-FILE, and when EXIT-FILE appears (or after 30 s) ends at
// once without closing the handle, as a crashing holder would.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/named_mutex.h"
#include "platform/sync.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    if (!fennex::platform::CreateNamedMutex(argv[1])) return 1;
    if (std::FILE* ready = std::fopen(argv[2], "w")) std::fclose(ready);
    else return 1;
    for (int i = 0; i < 3000 && !std::filesystem::exists(argv[3]); ++i) fennex::platform::SleepMs(10);
    std::_Exit(0);
}
