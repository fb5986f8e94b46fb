// fennex-grab: a host program for the Fennex library. It loads the library by file name and
// finds the fifteen host functions by name, exactly as a machine-vision host does, then lists
// cameras, reads and writes properties and grabs frames into PGM files.
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "fennex/fennex.h"
#include "platform/library.h"
#include "platform/profile.h"

namespace {

#if defined(_WIN32)
const char kLibraryFile[] = "fennex.dll";
#else
const char kLibraryFile[] = "libfennex.so";
#endif

const char kUsage[] =
    "usage: fennex-grab [options]\n"
    "  --lib FILE        the Fennex library (default: next to this program)\n"
    "  --path DIR        directory of the camera configuration files (default: .)\n"
    "  --list            list the cameras (the default when nothing else is asked)\n"
    "  --camera NAME     camera to open (its first four characters choose it)\n"
    "  --port N          host port 0..19 (default 0)\n"
    "  --all             every camera, each on its own port\n"
    "  --set NAME=VALUE  write a property (Gain, Brightness, Gamma, Hue, Saturation, Shutter,\n"
    "                    WhiteBalanceUB, WhiteBalanceVR); may be repeated\n"
    "  --get NAME        read a property; may be repeated\n"
    "  --props           print all eight properties with their ranges\n"
    "  --configure       let the user configure the open camera in the library's dialog\n"
    "                    (Windows; elsewhere its configuration file is only saved)\n"
    "  --frames N        grab N frames (default 0)\n"
    "  --continuous      grab in continuous mode instead of one by one\n"
    "  --timeout MS      time-out per frame (default 3000)\n"
    "  --out DIR         write every frame as DIR/<camera>_<frame>.pgm (DIR is made if\n"
    "                    missing)\n"
    "  --quiet           no library messages\n"
    "  --help            this text\n";

const char* const kProperties[] = {"Gain",    "Brightness",     "Gamma",         "Hue",
                                   "Saturation", "Shutter", "WhiteBalanceUB", "WhiteBalanceVR"};

// The library's functions, found by name.
struct Api {
    setSystemPathFn setSystemPath;
    setDebugMsgProcFn setDebugMsgProc;
    configureFn configure;
    getCVLMaxNoOfGrabbersFn getCVLMaxNoOfGrabbers;
    getCVLMaxNoOfPortsFn getCVLMaxNoOfPorts;
    getCVLNoOfSupportedCamerasFn getCVLNoOfSupportedCameras;
    getCVLCameraConfigNamesFn getCVLCameraConfigNames;
    openCVLPortFn openCVLPort;
    closeCVLPortFn closeCVLPort;
    doCVLGrabFn doCVLGrab;
    getCVLGrabRowFn getCVLGrabRow;
    setCompleteCallbackFn setCompleteCallback;
    getPropertyRangeFn getPropertyRange;
    getPropertyFn getProperty;
    setPropertyFn setProperty;
};

template <class Fn>
bool Resolve(void* library, const char* name, Fn& fn, std::string& missing) {
    fn = reinterpret_cast<Fn>(fennex::platform::FindFunction(library, name));
    if (!fn) missing += std::string(missing.empty() ? "" : ", ") + name;
    return fn != nullptr;
}

bool ResolveAll(void* library, Api& api, std::string& missing) {
    bool ok = true;
#define FENNEX_RESOLVE(name) ok = Resolve(library, #name, api.name, missing) && ok
    FENNEX_RESOLVE(setSystemPath);
    FENNEX_RESOLVE(setDebugMsgProc);
    FENNEX_RESOLVE(configure);
    FENNEX_RESOLVE(getCVLMaxNoOfGrabbers);
    FENNEX_RESOLVE(getCVLMaxNoOfPorts);
    FENNEX_RESOLVE(getCVLNoOfSupportedCameras);
    FENNEX_RESOLVE(getCVLCameraConfigNames);
    FENNEX_RESOLVE(openCVLPort);
    FENNEX_RESOLVE(closeCVLPort);
    FENNEX_RESOLVE(doCVLGrab);
    FENNEX_RESOLVE(getCVLGrabRow);
    FENNEX_RESOLVE(setCompleteCallback);
    FENNEX_RESOLVE(getPropertyRange);
    FENNEX_RESOLVE(getProperty);
    FENNEX_RESOLVE(setProperty);
#undef FENNEX_RESOLVE
    return ok;
}

void FENNEX_CALL PrintMessage(const char* text) { std::fprintf(stderr, "fennex: %s", text); }

// ---- grabbing --------------------------------------------------------------------------------

// What the completion callback hands to the main thread, per port.
struct PortState {
    std::mutex mutex;
    std::condition_variable arrived;
    unsigned long long completions = 0;  // callbacks so far
    std::deque<std::vector<unsigned char>> ready;  // continuous mode: copied frames
    std::vector<std::vector<unsigned char>> spare;
    unsigned long long notKept = 0;  // continuous frames that found no spare buffer
    int width = 0, height = 0;
    bool copyInCallback = false;
};

Api g_api;
PortState g_ports[FENNEX_MAX_PORTS];

void CopyFrame(int port, std::vector<unsigned char>& frame, int width, int height) {
    for (int row = 0; row < height; ++row)
        g_api.getCVLGrabRow(0, port, frame.data() + static_cast<std::size_t>(row) * width, row, 0,
                            width - 1);
}

void FENNEX_CALL OnFrame(int, int port) {
    if (port < 0 || port >= FENNEX_MAX_PORTS) return;
    PortState& state = g_ports[port];
    std::unique_lock<std::mutex> lock(state.mutex);
    ++state.completions;
    if (state.copyInCallback) {
        // In continuous mode a frame is intact only until the next callback: copy it now.
        if (state.spare.empty()) {
            ++state.notKept;
        } else {
            std::vector<unsigned char> frame = std::move(state.spare.back());
            state.spare.pop_back();
            lock.unlock();
            CopyFrame(port, frame, state.width, state.height);
            lock.lock();
            state.ready.push_back(std::move(frame));
        }
    }
    state.arrived.notify_all();
}

std::string FileSafe(const std::string& name) {
    std::string safe = name;
    for (char& c : safe)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'))
            c = '_';
    return safe;
}

bool WritePgm(const std::string& file, const std::vector<unsigned char>& frame, int width,
              int height) {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P5\n%d %d\n255\n", width, height);
    const bool ok = std::fwrite(frame.data(), 1, frame.size(), f) == frame.size();
    return std::fclose(f) == 0 && ok;
}

struct Options {
    std::string library, systemPath = ".", camera, outDir;
    int port = 0;
    bool all = false, list = false, props = false, continuous = false, quiet = false,
         configure = false;
    long frames = 0;
    long timeoutMs = 3000;
    std::vector<std::pair<std::string, long>> sets;
    std::vector<std::string> gets;
};

struct Summary {
    long frames = 0, failed = 0, timedOut = 0, notWritten = 0;
    double seconds = 0;
};

bool KnownProperty(const std::string& name) {
    // The library serves any name that begins with a property name; the tool asks for the
    // names themselves, so that a typing error is caught here.
    for (const char* p : kProperties)
        if (name.size() == std::strlen(p)) {
            bool same = true;
            for (std::size_t i = 0; i < name.size(); ++i)
                same = same && std::tolower(static_cast<unsigned char>(name[i])) ==
                                   std::tolower(static_cast<unsigned char>(p[i]));
            if (same) return true;
        }
    return false;
}

int Properties(const Options& options, int port, const std::string& camera) {
    int failures = 0;
    for (const auto& [name, value] : options.sets) {
        if (!g_api.setProperty(0, port, name.c_str(), static_cast<int>(value))) {
            std::fprintf(stderr, "fennex-grab: %s: cannot set %s to %ld\n", camera.c_str(),
                         name.c_str(), value);
            ++failures;
        } else {
            std::printf("%s: %s = %ld\n", camera.c_str(), name.c_str(), value);
        }
    }
    for (const std::string& name : options.gets) {
        int value = 0;
        if (!g_api.getProperty(0, port, name.c_str(), &value)) {
            std::fprintf(stderr, "fennex-grab: %s: cannot read %s\n", camera.c_str(), name.c_str());
            ++failures;
        } else {
            std::printf("%s: %s = %d\n", camera.c_str(), name.c_str(), value);
        }
    }
    if (options.props) {
        for (const char* name : kProperties) {
            int value = 0, min = 0, max = 0;
            if (g_api.getPropertyRange(0, port, name, &min, &max) &&
                g_api.getProperty(0, port, name, &value))
                std::printf("%s: %-15s %5d  (%d .. %d)\n", camera.c_str(), name, value, min, max);
            else
                std::printf("%s: %-15s   -    (not present)\n", camera.c_str(), name);
        }
    }
    return failures;
}

// Grabs the frames of one open port; one by one, or in continuous mode.
void Grab(const Options& options, int port, const std::string& camera, int width, int height,
          Summary& summary) {
    PortState& state = g_ports[port];
    const std::size_t frameBytes = static_cast<std::size_t>(width) * height;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.width = width;
        state.height = height;
        state.completions = 0;
        state.ready.clear();
        state.spare.assign(options.continuous ? 4 : 0, std::vector<unsigned char>(frameBytes));
        state.copyInCallback = options.continuous;
    }
    g_api.setCompleteCallback(0, port, OnFrame);
    std::vector<unsigned char> frame(frameBytes);
    const auto timeout = std::chrono::milliseconds(options.timeoutMs);
    const auto start = std::chrono::steady_clock::now();
    auto lastProgress = start;

    auto save = [&](const std::vector<unsigned char>& pixels, long index) {
        if (options.outDir.empty()) return;
        char number[16];
        std::snprintf(number, sizeof number, "%04ld", index);
        const std::string file = options.outDir + fennex::platform::PathSeparator() +
                                 FileSafe(camera) + "_" + number + ".pgm";
        if (!WritePgm(file, pixels, width, height)) {
            std::fprintf(stderr, "fennex-grab: cannot write %s: %s\n", file.c_str(),
                         std::strerror(errno));
            ++summary.notWritten;
        }
    };
    auto progress = [&](long done) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastProgress >= std::chrono::seconds(1)) {
            lastProgress = now;
            std::fprintf(stderr, "%s: %ld / %ld frames\n", camera.c_str(), done, options.frames);
        }
    };

    long done = 0;
    if (!options.continuous) {
        while (done + summary.failed + summary.timedOut < options.frames) {
            unsigned long long before;
            {
                std::lock_guard<std::mutex> lock(state.mutex);
                before = state.completions;
            }
            if (!g_api.doCVLGrab(0, port)) {
                ++summary.failed;
                // a refused grab stays refused; don't spin through the rest
                if (summary.failed >= 3 && done == 0) break;
                continue;
            }
            std::unique_lock<std::mutex> lock(state.mutex);
            if (!state.arrived.wait_for(lock, timeout, [&] { return state.completions > before; })) {
                ++summary.timedOut;
                std::fprintf(stderr, "fennex-grab: %s: no frame within %ld ms\n", camera.c_str(),
                             options.timeoutMs);
                break;  // the grab is still pending; another would be refused
            }
            lock.unlock();
            CopyFrame(port, frame, width, height);
            save(frame, done);
            ++done;
            progress(done);
        }
    } else if (options.frames > 0) {
        if (!g_api.setProperty(0, port, "continous", 1)) {
            ++summary.failed;
        } else {
            while (done < options.frames) {
                std::unique_lock<std::mutex> lock(state.mutex);
                if (!state.arrived.wait_for(lock, timeout, [&] { return !state.ready.empty(); })) {
                    ++summary.timedOut;
                    std::fprintf(stderr, "fennex-grab: %s: no frame within %ld ms\n",
                                 camera.c_str(), options.timeoutMs);
                    break;
                }
                std::vector<unsigned char> pixels = std::move(state.ready.front());
                state.ready.pop_front();
                lock.unlock();
                save(pixels, done);
                lock.lock();
                state.spare.push_back(std::move(pixels));
                lock.unlock();
                ++done;
                progress(done);
            }
            g_api.setProperty(0, port, "continous", 0);
        }
    }
    summary.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    summary.frames += done;
    std::lock_guard<std::mutex> lock(state.mutex);
    state.copyInCallback = false;
    if (options.continuous) summary.notWritten += static_cast<long>(state.notKept);
}

bool ParseLong(const char* text, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0';
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "fennex-grab: %s\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        long n = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--list") {
            options.list = true;
        } else if (arg == "--all") {
            options.all = true;
        } else if (arg == "--props") {
            options.props = true;
        } else if (arg == "--configure") {
            options.configure = true;
        } else if (arg == "--continuous") {
            options.continuous = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--lib" || arg == "--path" || arg == "--camera" || arg == "--out") {
            if (!(v = value())) return Fail(arg + " needs a value");
            (arg == "--lib" ? options.library
                            : arg == "--path" ? options.systemPath
                                              : arg == "--camera" ? options.camera : options.outDir) = v;
        } else if (arg == "--port" || arg == "--frames" || arg == "--timeout") {
            if (!(v = value()) || !ParseLong(v, n) || n < 0)
                return Fail(arg + " needs a number of 0 or more");
            if (arg == "--port") {
                if (n >= FENNEX_MAX_PORTS) return Fail("--port must be 0 to 19");
                options.port = static_cast<int>(n);
            } else if (arg == "--frames") {
                options.frames = n;
            } else {
                options.timeoutMs = n;
            }
        } else if (arg == "--set") {
            if (!(v = value())) return Fail("--set needs NAME=VALUE");
            const std::string text = v;
            const std::size_t eq = text.find('=');
            if (eq == std::string::npos || !ParseLong(text.c_str() + eq + 1, n))
                return Fail("--set needs NAME=VALUE with a number, not " + text);
            if (!KnownProperty(text.substr(0, eq))) return Fail("unknown property " + text.substr(0, eq));
            options.sets.emplace_back(text.substr(0, eq), n);
        } else if (arg == "--get") {
            if (!(v = value())) return Fail("--get needs a property name");
            if (!KnownProperty(v)) return Fail(std::string("unknown property ") + v);
            options.gets.emplace_back(v);
        } else {
            return Fail("unknown option " + arg + " (see --help)");
        }
    }
    if (!options.outDir.empty()) {  // before any camera is opened, so that no frame is lost
        std::error_code error;
        std::filesystem::create_directories(options.outDir, error);
        if (error) return Fail("cannot make " + options.outDir + ": " + error.message());
    }
    if (options.library.empty())
        options.library = std::string(fennex::platform::HostExecutableDirectory()) +
                          fennex::platform::PathSeparator() + kLibraryFile;

    // Loaded for the life of the process, as most hosts keep their plug-ins: the library's
    // tables are released by its own destructors at exit.
    std::string error;
    void* library = fennex::platform::LoadLibraryFile(options.library, &error);
    if (!library) return Fail(error);
    std::string missing;
    if (!ResolveAll(library, g_api, missing)) return Fail(options.library + " lacks " + missing);

    // The host's calling order: debug procedure and system path first.
    g_api.setDebugMsgProc(options.quiet ? nullptr : PrintMessage);
    g_api.setSystemPath(options.systemPath.c_str());

    const int count = g_api.getCVLNoOfSupportedCameras();
    const char** names = g_api.getCVLCameraConfigNames();
    const bool work = options.all || !options.camera.empty();
    if (options.list || !work) {
        std::printf("%d camera%s\n", count, count == 1 ? "" : "s");
        for (int i = 0; i < count; ++i) std::printf("  %s\n", names[i]);
        if (!work) return 0;
    }

    std::vector<std::pair<int, std::string>> targets;  // port, camera
    if (options.all) {
        for (int i = 0; i < count && i < FENNEX_MAX_PORTS; ++i) targets.emplace_back(i, names[i]);
        if (targets.empty()) return Fail("no camera attached");
    } else {
        targets.emplace_back(options.port, options.camera);
    }

    int failures = 0;
    for (const auto& [port, camera] : targets) {
        int size[2] = {0, 0};
        if (!g_api.openCVLPort(0, port, camera.c_str(), size)) {
            std::fprintf(stderr, "fennex-grab: cannot open camera %s on port %d\n", camera.c_str(),
                         port);
            ++failures;
            continue;
        }
        std::printf("%s: port %d, %d x %d\n", camera.c_str(), port, size[0], size[1]);
        failures += Properties(options, port, camera);
        if (options.configure) g_api.configure();  // returns when the user closes the dialog
        if (options.frames > 0) {
            if (size[0] <= 0 || size[1] <= 0) {
                std::fprintf(stderr, "fennex-grab: %s: the camera gives no frames\n", camera.c_str());
                ++failures;
            } else {
                Summary summary;
                Grab(options, port, camera, size[0], size[1], summary);
                std::printf("%s: %ld frames in %.2f s (%.1f frames/s), %ld failed, %ld timed out, "
                            "%ld not written\n",
                            camera.c_str(), summary.frames, summary.seconds,
                            summary.seconds > 0 ? summary.frames / summary.seconds : 0.0,
                            summary.failed, summary.timedOut, summary.notWritten);
                if (summary.frames < options.frames) ++failures;
            }
        }
        g_api.closeCVLPort(0, port);
    }
    return failures ? 1 : 0;
}
