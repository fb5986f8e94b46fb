// fennex-grab: a host program for the Fennex library. It loads the library by file name and
// finds the fifteen host functions by name, exactly as a machine-vision host does, then lists
// cameras, reads and writes properties and grabs frames into PGM files.
#include <cctype>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fennex/fennex.h"
#include "host_functions.h"
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
    "  --lib FILE        the Fennex library (default: next to this program, or in the\n"
    "                    library directory of its installation)\n"
    "  --path DIR        directory of the camera configuration files (default: .)\n"
    "  --list            list the cameras (the default when nothing else is asked)\n"
    "  --camera NAME     camera to open (its first four characters choose it); may be\n"
    "                    repeated: the cameras grab at the same time, each on its own port\n"
    "  --port N          host port 0..19 of the first camera (default 0); the next ones\n"
    "                    follow on the next ports\n"
    "  --all             every camera, each on its own port from 0\n"
    "  --set NAME=VALUE  write a property (Gain, Brightness, Gamma, Hue, Saturation, Shutter,\n"
    "                    WhiteBalanceUB, WhiteBalanceVR); may be repeated\n"
    "  --get NAME        read a property; may be repeated\n"
    "  --props           print all eight properties with their ranges\n"
    "  --configure       let the user configure the open cameras in the library's dialog\n"
    "                    before grabbing (Windows; elsewhere their files are only saved)\n"
    "  --frames N        grab N frames (default 0)\n"
    "  --continuous      grab in continuous mode instead of one by one\n"
    "  --timeout MS      time-out per frame (default 3000)\n"
    "  --out DIR         write every frame as DIR/<camera>_<frame>.pgm (DIR is made if\n"
    "                    missing)\n"
    "  --save            write the open cameras' configuration files (<camera>.cfg in the\n"
    "                    --path directory) through the library's configure, after\n"
    "                    grabbing (on Windows it shows its dialog first)\n"
    "  --quiet           no library messages\n"
    "  --help            this text\n";

const char* const kProperties[] = {"Gain",    "Brightness",     "Gamma",         "Hue",
                                   "Saturation", "Shutter", "WhiteBalanceUB", "WhiteBalanceVR"};

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

HostFunctions g_api;
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
    std::string library, systemPath = ".", outDir;
    std::vector<std::string> cameras;
    int port = 0;
    bool all = false, list = false, props = false, continuous = false, quiet = false,
         configure = false, save = false;
    long frames = 0;
    long timeoutMs = 3000;
    std::vector<std::pair<std::string, long>> sets;
    std::vector<std::string> gets;
};

struct Summary {
    long frames = 0, failed = 0, timedOut = 0, notWritten = 0;
    double seconds = 0;
};

// One camera of the run, on a port of its own.
struct Target {
    Target(int p, std::string c) : port(p), camera(std::move(c)) {}
    int port;
    std::string camera;    // as asked for: its first four characters choose it
    std::string settings;  // its configuration file; empty when no camera agrees
    int width = 0, height = 0;
    bool open = false;
    bool Grabs() const { return open && width > 0 && height > 0; }
    Summary summary;                // written by the camera's grab thread until it is joined
    std::atomic<long> progress{0};  // frames so far, for the progress display
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
void Grab(const Options& options, Target& target) {
    const int port = target.port, width = target.width, height = target.height;
    const std::string& camera = target.camera;
    Summary& summary = target.summary;
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
            target.progress = done;
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
                target.progress = done;
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

// The configuration file of the camera whose name agrees with `camera` in its first four
// characters, as the library names it; empty when no camera agrees.
std::string SettingsFile(const std::string& systemPath, const std::string& camera, int count,
                         const char** names) {
    for (int i = 0; i < count; ++i) {
        if (std::strncmp(names[i], camera.c_str(), 4) != 0) continue;
        std::string file = systemPath;
        if (!file.empty() && file.back() != fennex::platform::PathSeparator())
            file += fennex::platform::PathSeparator();
        return file + names[i] + ".cfg";
    }
    return {};
}

// The file's last write, or min() when there is no such file.
std::filesystem::file_time_type WriteTime(const std::string& file) {
    std::error_code error;
    const auto time = std::filesystem::last_write_time(file, error);
    return error ? std::filesystem::file_time_type::min() : time;
}

// Grabs from every open camera at the same time, each on a thread of its own, with one progress
// line for all of them while the run lasts longer than a second, and a summary per camera at the
// end. The number of cameras that did not deliver every frame.
int GrabAll(const Options& options, std::deque<Target>& targets) {
    int failures = 0;
    std::atomic<int> running{0};
    std::vector<std::thread> threads;
    for (Target& t : targets) {
        if (!t.open) continue;
        if (!t.Grabs()) {
            std::fprintf(stderr, "fennex-grab: %s: the camera gives no frames\n", t.camera.c_str());
            ++failures;
            continue;
        }
        ++running;
        threads.emplace_back([&options, &t, &running] {
            Grab(options, t);
            --running;
        });
    }
    const auto start = std::chrono::steady_clock::now();
    auto shown = start;
    while (running > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto now = std::chrono::steady_clock::now();
        if (running == 0 || now - shown < std::chrono::seconds(1)) continue;
        shown = now;
        std::string line = "fennex-grab:";
        for (const Target& t : targets) {
            if (!t.Grabs()) continue;
            char part[64];
            std::snprintf(part, sizeof part, " %.4s %ld/%ld", t.camera.c_str(), t.progress.load(),
                          options.frames);
            line += part;
        }
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    for (std::thread& thread : threads) thread.join();

    for (const Target& t : targets) {
        if (!t.Grabs()) continue;
        const Summary& s = t.summary;
        std::printf("%s: %ld frames in %.2f s (%.1f frames/s), %ld failed, %ld timed out, "
                    "%ld not written\n",
                    t.camera.c_str(), s.frames, s.seconds, s.seconds > 0 ? s.frames / s.seconds : 0.0,
                    s.failed, s.timedOut, s.notWritten);
        if (s.frames < options.frames) ++failures;
    }
    return failures;
}

// Next to the program in a build tree; in an installed tree, where the install put it.
std::string DefaultLibrary() {
    const std::string here = fennex::platform::HostExecutableDirectory();
    const std::string separator(1, fennex::platform::PathSeparator());
    const std::string beside = here + separator + kLibraryFile;
#ifdef FENNEX_INSTALLED_LIBDIR
    std::error_code error;
    if (!std::filesystem::exists(beside, error))
        return here + separator + FENNEX_INSTALLED_LIBDIR + separator + kLibraryFile;
#endif
    return beside;
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
        } else if (arg == "--save") {
            options.save = true;
        } else if (arg == "--lib" || arg == "--path" || arg == "--camera" || arg == "--out") {
            if (!(v = value())) return Fail(arg + " needs a value");
            if (arg == "--camera")
                options.cameras.emplace_back(v);
            else
                (arg == "--lib" ? options.library : arg == "--path" ? options.systemPath : options.outDir) = v;
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
    if (options.library.empty()) options.library = DefaultLibrary();

    // Loaded for the life of the process, as most hosts keep their plug-ins: the library's
    // tables are released by its own destructors at exit.
    std::string error;
    void* library = fennex::platform::LoadLibraryFile(options.library, &error);
    if (!library) return Fail(error);
    std::string missing;
    const auto find = [library](const char* name) {
        return fennex::platform::FindFunction(library, name);
    };
    if (!FindHostFunctions(find, g_api, missing)) return Fail(options.library + " lacks " + missing);

    // The host's calling order: debug procedure and system path first.
    g_api.setDebugMsgProc(options.quiet ? nullptr : PrintMessage);
    g_api.setSystemPath(options.systemPath.c_str());

    const int count = g_api.getCVLNoOfSupportedCameras();
    const char** names = g_api.getCVLCameraConfigNames();
    const bool work = options.all || !options.cameras.empty();
    if (options.list || !work) {
        std::printf("%d camera%s\n", count, count == 1 ? "" : "s");
        for (int i = 0; i < count; ++i) std::printf("  %s\n", names[i]);
        if (!work) return 0;
    }

    std::deque<Target> targets;  // Target holds an atomic: a deque never moves its elements
    if (options.all) {
        for (int i = 0; i < count && i < FENNEX_MAX_PORTS; ++i) targets.emplace_back(i, names[i]);
        if (targets.empty()) return Fail("no camera attached");
    } else {
        if (options.port + options.cameras.size() > FENNEX_MAX_PORTS)
            return Fail("ports " + std::to_string(options.port) + " to 19 cannot take " +
                        std::to_string(options.cameras.size()) + " cameras");
        int port = options.port;
        for (const std::string& camera : options.cameras) targets.emplace_back(port++, camera);
    }

    int failures = 0;
    for (Target& t : targets) {
        t.settings = SettingsFile(options.systemPath, t.camera, count, names);
        if (!t.settings.empty() && !std::filesystem::exists(t.settings))
            std::fprintf(stderr,
                         "fennex-grab: %s: no configuration file %s yet, so the camera keeps its "
                         "own settings (--save writes one)\n",
                         t.camera.c_str(), t.settings.c_str());
        int size[2] = {0, 0};
        if (!g_api.openCVLPort(0, t.port, t.camera.c_str(), size)) {
            std::fprintf(stderr, "fennex-grab: cannot open camera %s on port %d\n", t.camera.c_str(),
                         t.port);
            ++failures;
            continue;
        }
        t.open = true;
        t.width = size[0];
        t.height = size[1];
        std::printf("%s: port %d, %d x %d\n", t.camera.c_str(), t.port, t.width, t.height);
        failures += Properties(options, t.port, t.camera);
    }

    if (options.configure) g_api.configure();  // returns when the user closes the dialog
    if (options.frames > 0) failures += GrabAll(options, targets);

    if (options.save) {
        // configure saves every open camera of the process and always answers 1: a file counts
        // as saved when it is there afterwards and new or rewritten.
        std::vector<std::filesystem::file_time_type> before;
        for (const Target& t : targets) before.push_back(WriteTime(t.settings));
        g_api.configure();
        for (std::size_t i = 0; i < targets.size(); ++i) {
            const Target& t = targets[i];
            if (!t.open) continue;
            const auto after = WriteTime(t.settings);
            if (after != std::filesystem::file_time_type::min() && after != before[i]) {
                std::printf("%s: settings saved in %s\n", t.camera.c_str(), t.settings.c_str());
            } else {
                std::fprintf(stderr, "fennex-grab: %s: the configuration file was not written\n",
                             t.camera.c_str());
                ++failures;
            }
        }
    }

    for (const Target& t : targets)
        if (t.open) g_api.closeCVLPort(0, t.port);
    return failures ? 1 : 0;
}
