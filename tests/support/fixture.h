// The fixtures and helpers every test shares: scratch files, environment and working directory
// set and restored, waiting with a time-out, the simulated cameras with one of them opened and
// their request log, a property bag that records what it is asked, and the host functions with
// their messages and completions.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bcam/cbcam.h"
#include "bcam/driver_contract.h"
#include "driver/debug_messages.h"
#include "driver/port_table.h"
#include "errors/driver_version_check.h"
#include "errors/error_codes.h"
#include "errors/exception.h"
#include "fennex/fennex.h"
#include "platform/last_error.h"
#include "platform/profile.h"
#include "platform/win32_errors.h"
#include "settings/property_bag.h"
#include "sim/sim.h"

namespace fennex::test {

using Bcam::CBcam;
namespace codes = Bcam::codes;
namespace drv = Bcam::driver;

inline const std::string kMono = "MONO&SIM640#0030530000A10001";
inline const std::string kColour = "COLR&SIM1600#0030530000A20002";

// True when the Windows build runs under Wine (Wine sets WINECONFIGDIR in every process it
// starts). Used only where Wine is known to answer differently from Windows.
inline bool RunningUnderWine() { return std::getenv("WINECONFIGDIR") != nullptr; }

// --- files, environment, waiting

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
// The lines of an INI text with LF line ends and without blank lines, so that files written
// by the profile services of either platform compare alike.
std::string IniLines(const std::string& text);

// A directory of its own for each test, named after it and the process (so that two suites
// running at once on one machine keep apart) and removed afterwards.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Sets (or, with nullopt, removes) an environment variable until the end of the scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::optional<std::string>& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> saved_;
};
void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

// Makes `directory` the working directory until the end of the scope.
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const std::filesystem::path& directory)
        : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(directory);
    }
    ~ScopedCurrentDirectory() { std::filesystem::current_path(saved_); }

private:
    std::filesystem::path saved_;
};

// Polls `done` until it holds; false when it still does not after `timeout`.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// --- other processes

// A file beside the test executable (the helper programs; "../" for the library and the tools).
std::string BuildFile(const std::string& relative);
// Starts a program of the build (the executable suffix added where there is one) on the
// simulated cameras, as fast as they go, through the shell; its standard output (and, with
// " 2>&1" in `arguments`, its errors) comes through the pipe.
std::FILE* StartProgram(const std::string& program, const std::string& arguments);
struct ProgramRun {
    int status;
    std::string out;
};
ProgramRun RunProgram(const std::string& program, const std::string& arguments);
inline int EndProgram(std::FILE* pipe) { return pclose(pipe); }  // the program's exit status
inline std::string Quoted(const std::string& s) { return "\"" + s + "\""; }
// ASCII letters in lower case, as SetupAPI names devices and as the profile services compare.
inline std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// --- exceptions

// What `call` raises; thrown is false (and the code 0) when it raises nothing.
struct Raised {
    bool thrown = false;
    std::uint32_t code = 0;
    std::string context;
    std::string description;
};
Raised RaisedBy(const std::function<void()>& call);

// --- pictures

// The luminance a host reads from pixel i of a frame in one of the seven colour codings
// (0 Mono8, 1 YUV 4:1:1, 2 YUV 4:2:2, 3 YUV 4:4:4, 4 RGB8, 5 Mono16, 6 RGB16), as the camera
// puts it on the wire; -1 for any other coding.
int LumaAt(std::uint32_t coding, const std::uint8_t* frame, std::size_t i);
// The picture the simulated camera sent in its latest frame, as 8-bit grey.
std::vector<std::uint8_t> ExpectedFrame(const std::string& camera, int width, int height);

// --- the simulated cameras and their request log

using Words = std::vector<std::uint32_t>;
using Edit = std::function<void(sim::CameraDesc&)>;

// The requests a camera has received since the log was last cleared, as {code, words...};
// with a code, only the requests of that code, without the code.
std::vector<Words> SentTo(const std::string& name);
std::vector<Words> SentTo(const std::string& name, std::uint32_t code);
// Only the requests that change the camera (and, with `cancels`, those that cancel its grabs).
std::vector<Words> WritesTo(const std::string& name, bool cancels = false);
inline Words FeatureSet(std::uint32_t feature, std::uint32_t quadlet, std::uint32_t mask) {
    return {Bcam::driver::kFeatureSet, feature, quadlet, mask};
}
// The next request of this control code fails with `error`.
inline void FailNext(std::uint32_t code, std::uint32_t error = 31) {
    sim::InjectFault(sim::Fault(code, error));
}
// A feature's registers: its inquiry quadlet and its status/control quadlet.
inline Edit Registers(std::uint32_t feature, std::uint32_t inquiry, std::uint32_t control) {
    return [=](sim::CameraDesc& d) { d.feature(feature) = {inquiry, control}; };
}

// The built-in mono camera under another name; SetMonoCameras attaches one for each name, in
// this enumeration order, and nothing else.
inline sim::CameraDesc MonoNamed(const std::string& name) {
    sim::CameraDesc camera = sim::DefaultCameras()[0];
    camera.name = name;
    return camera;
}
inline void SetMonoCameras(const std::vector<std::string>& names) {
    std::vector<sim::CameraDesc> cameras;
    for (const std::string& name : names) cameras.push_back(MonoNamed(name));
    sim::SetCameras(cameras);
}

// One request through the device object, as the feature classes send theirs: the driver's
// error (0 on success).
std::uint32_t Send(Bcam::CBcam& camera, std::uint32_t code, const Words& in, void* out = nullptr,
                   std::uint32_t outSize = 0);

// The built-in cameras (the mono one and the colour one with white balance, Format 7 and
// trigger polarity), paced as fast as possible; Open() opens one of them as camera_.
class SimCameras : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::SetPace(sim::Pace::Fast);
        // An earlier test's successful check must not hide this test's driver release.
        Bcam::CDriverVersionCheck::ResetCache();
        recordsBefore_ = Bcam::CBcam::BcamOLsInUse();
    }
    void TearDown() override {
        camera_.Close();
        sim::Reset();
    }
    // Opens `name` after `setup` has changed its description; the log starts empty.
    void Open(const std::string& name, const Edit& setup = {}) {
        if (setup) sim::EditCamera(name, setup);
        name_ = name;
        camera_.Open(name);
        sim::ClearRequests();
    }
    // Overlapped records made during the test and not released again.
    std::int64_t RecordsLeft() const { return Bcam::CBcam::BcamOLsInUse() - recordsBefore_; }

    Bcam::CBcam camera_;
    std::string name_;
    std::int64_t recordsBefore_ = 0;
};
// The same with a table's rows as parameters.
template <class Param>
class SimTest : public SimCameras, public testing::WithParamInterface<Param> {};

// --- property bags

// Values kept in memory; every access is logged in order as "W key=value", "R key" or
// "bag name" (for sub-bags made or opened) so tests see exactly what was touched.
class RecordingBag : public Bcam::CPropertyBag {
public:
    struct Store {
        std::map<std::string, std::map<std::string, std::string>> sections;
        std::vector<std::string> log;
    };
    RecordingBag(Store& store, std::string section) : store_(store), section_(std::move(section)) {
        store_.sections[section_];
    }
    static Bcam::CPropertyBagPtr Make(Store& store, const std::string& section) {
        return Bcam::CPropertyBagPtr::Make<RecordingBag>(store, section);
    }
    Bcam::CPropertyBagPtr CreateBag(const std::string& name) override;
    Bcam::CPropertyBagPtr GetBag(const std::string& name) override;

protected:
    std::uint32_t DoWriteString(const std::string& key, const std::string& value) override;
    std::uint32_t DoReadString(const std::string& key, std::string& value) override;

private:
    Store& store_;
    std::string section_;
};

// --- the host functions

// The lines the library sent to the host's debug procedure.
struct Messages {
    std::mutex mutex;
    std::vector<std::string> lines;
    static void FENNEX_CALL Receive(const char* text);
    std::vector<std::string> Take();
    bool Contains(const std::string& part);
};
Messages& TheMessages();

// Counts completion callbacks per port.
struct Completions {
    std::mutex mutex;
    std::condition_variable cv;
    int count[FENNEX_MAX_PORTS] = {};
    static void FENNEX_CALL Callback(int grabber, int port);
    // Waits until port's count exceeds `seen`; false after the time-out.
    bool WaitBeyond(int port, int seen, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    int Count(int port);
};
Completions& TheCompletions();

// The host functions on the simulated cameras, with a scratch directory as the system path;
// every port is closed afterwards.
class ExportsTest : public SimCameras {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens `camera` on `port` and installs the counting callback; the frame size comes back.
    void OpenPort(int port, const std::string& camera, int* size = nullptr);
    // One grab, waited for; the frame as the host reads it.
    std::vector<std::uint8_t> GrabFrame(int port, int width, int height);
    // No line of the debug procedure since the last Take() is an error line.
    void ExpectNoErrorLines();

    ScratchDirectory scratch_;  // the system path of the test
    std::string directory_ = scratch_.Path().string();
};

// Closes the list dialog of `configure` with Close as soon as it appears, in this process or
// another, for as long as it lives (on Windows; elsewhere configure shows no dialog).
class DialogCloser {
public:
    DialogCloser();
    ~DialogCloser();

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};
// `configure` as a host calls it, its list dialog closed at once (on Windows; elsewhere it
// shows none), as by a user who only wants the files saved.
int ConfigureAndClose();

}  // namespace fennex::test
