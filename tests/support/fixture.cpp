#include "fixture.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#define getpid _getpid  // popen and pclose are MinGW's own aliases
#else
#include <unistd.h>
#endif

namespace fennex::test {

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv((name + "=" + value.value_or("")).c_str());
#else
    if (value) ::setenv(name.c_str(), value->c_str(), 1);
    else ::unsetenv(name.c_str());
#endif
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string IniLines(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n' && (out.empty() || out.back() == '\n')) continue;
        out += c;
    }
    return out;
}

ScratchDirectory::ScratchDirectory() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("fennex-") + (info ? info->test_suite_name() : "t") + "-" +
                       (info ? info->name() : "x") + "-" + std::to_string(getpid());
    for (char& c : name)
        if (c == '/' || c == '\\') c = '_';
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ScopedEnvironment::ScopedEnvironment(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) saved_ = old;
    SetEnvironment(name_, value);
}

ScopedEnvironment::~ScopedEnvironment() { SetEnvironment(name_, saved_); }

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::string BuildFile(const std::string& relative) {
    return std::string(platform::HostExecutableDirectory()) + platform::PathSeparator() + relative;
}

std::FILE* StartProgram(const std::string& program, const std::string& arguments) {
    SetEnvironment("FENNEX_DRIVER", "sim");
    SetEnvironment("FENNEX_SIM_PACE", "fast");
#ifdef _WIN32
    // cmd.exe drops the first and the last quote of a command line: quote it once more.
    return popen(Quoted(Quoted(BuildFile(program + ".exe")) + " " + arguments).c_str(), "r");
#else
    return popen((Quoted(BuildFile(program)) + " " + arguments).c_str(), "r");
#endif
}

ProgramRun RunProgram(const std::string& program, const std::string& arguments) {
    std::FILE* pipe = StartProgram(program, arguments);
    if (!pipe) return {-1, "cannot start " + program};
    ProgramRun run{0, {}};
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) run.out += buffer;
    run.status = EndProgram(pipe);
    return run;
}

Raised RaisedBy(const std::function<void()>& call) {
    try {
        call();
    } catch (const Bcam::BcamException& e) {
        return {true, e.Error(), e.Context(), e.Description()};
    }
    return {};
}

int LumaAt(std::uint32_t coding, const std::uint8_t* frame, std::size_t i) {
    static constexpr int kYuv411Luma[4] = {1, 2, 4, 5};  // U Y0 Y1 V Y2 Y3
    switch (coding) {
    case 0: return frame[i];
    case 1: return frame[i / 4 * 6 + kYuv411Luma[i % 4]];
    case 2: return frame[i / 2 * 4 + (i % 2 ? 3 : 1)];
    case 3: return frame[3 * i + 1];
    case 4: return (frame[3 * i] + frame[3 * i + 1] + frame[3 * i + 2]) / 3;
    case 5: return frame[2 * i];  // big-endian: the high byte first
    case 6: return (frame[6 * i] + frame[6 * i + 2] + frame[6 * i + 4]) / 3;
    }
    return -1;
}

std::vector<std::uint8_t> ExpectedFrame(const std::string& camera, int width, int height) {
    const sim::FrameParams params = sim::LastFrameParams(camera);
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame[static_cast<std::size_t>(y) * width + x] = sim::ExpectedLuma(
                params, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
    return frame;
}

std::vector<Words> SentTo(const std::string& name) {
    std::vector<Words> sent;
    for (const sim::Request& r : sim::Requests())
        if (r.camera == name) {
            sent.push_back({r.code});
            sent.back().insert(sent.back().end(), r.in.begin(), r.in.end());
        }
    return sent;
}

std::vector<Words> SentTo(const std::string& name, std::uint32_t code) {
    std::vector<Words> sent;
    for (const sim::Request& r : sim::Requests(code, name)) sent.push_back(r.in);
    return sent;
}

std::vector<Words> WritesTo(const std::string& name, bool cancels) {
    namespace drv = Bcam::driver;
    std::vector<Words> writes;
    for (const Words& w : SentTo(name))
        if (w[0] == drv::kFeatureSet || w[0] == drv::kTestImageSet || w[0] == drv::kSetVideoMode ||
            w[0] == drv::kF7ImageSet || w[0] == drv::kF7ColorCodingSet ||
            w[0] == drv::kF7BytePerPacketSet || (cancels && w[0] == drv::kCancelGrabs))
            writes.push_back(w);
    return writes;
}

std::uint32_t Send(Bcam::CBcam& camera, std::uint32_t code, const Words& in, void* out,
                   std::uint32_t outSize) {
    const auto inSize = static_cast<std::uint32_t>(in.size() * 4);
    return camera.TryTransmit(code, in.data(), inSize, out, outSize, 5000) ? 0
                                                                          : platform::LastError();
}

Bcam::CPropertyBagPtr RecordingBag::CreateBag(const std::string& name) {
    store_.log.push_back("bag " + name);
    return Make(store_, name);
}

Bcam::CPropertyBagPtr RecordingBag::GetBag(const std::string& name) {
    store_.log.push_back("bag " + name);
    if (!store_.sections.count(name))
        throw Bcam::BcamException(Bcam::codes::kSectionMissing, "RecordingBag::GetBag");
    return Make(store_, name);
}

std::uint32_t RecordingBag::DoWriteString(const std::string& key, const std::string& value) {
    store_.log.push_back("W " + key + "=" + value);
    store_.sections[section_][key] = value;
    return 0;
}

std::uint32_t RecordingBag::DoReadString(const std::string& key, std::string& value) {
    store_.log.push_back("R " + key);
    auto& keys = store_.sections[section_];
    auto it = keys.find(key);
    if (it == keys.end() || it->second.empty()) return Bcam::codes::kKeyMissing;
    value = it->second;
    return 0;
}

void Messages::Receive(const char* text) {
    Messages& m = TheMessages();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.lines.emplace_back(text);
}

std::vector<std::string> Messages::Take() {
    std::lock_guard<std::mutex> lock(mutex);
    return std::exchange(lines, {});
}

bool Messages::Contains(const std::string& part) {
    std::lock_guard<std::mutex> lock(mutex);
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

Messages& TheMessages() {
    static Messages messages;
    return messages;
}

void Completions::Callback(int, int port) {
    Completions& c = TheCompletions();
    if (port < 0 || port >= FENNEX_MAX_PORTS) return;
    std::lock_guard<std::mutex> lock(c.mutex);
    ++c.count[port];
    c.cv.notify_all();
}

bool Completions::WaitBeyond(int port, int seen, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, timeout, [&] { return count[port] > seen; });
}

int Completions::Count(int port) {
    std::lock_guard<std::mutex> lock(mutex);
    return count[port];
}

Completions& TheCompletions() {
    static Completions completions;
    return completions;
}

DialogCloser::DialogCloser() {
#ifdef _WIN32
    thread_ = std::thread([this] {
        for (; !done_; ::Sleep(20))
            if (HWND list = ::FindWindowA("#32770", "Bcam Configuration"))
                ::PostMessageA(list, WM_COMMAND, IDOK, 0);
    });
#endif
}

DialogCloser::~DialogCloser() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
}

int ConfigureAndClose() {
    DialogCloser closer;
    return configure();
}

void ExportsTest::SetUp() {
    SimCameras::SetUp();
    TheMessages().Take();
    {
        std::lock_guard<std::mutex> lock(TheCompletions().mutex);
        for (int& c : TheCompletions().count) c = 0;
    }
    setDebugMsgProc(Messages::Receive);
    setSystemPath(directory_.c_str());
    fennex::driver::RebuildCameraTableForTesting();
}

void ExportsTest::TearDown() {
    for (int port = 0; port < FENNEX_MAX_PORTS; ++port) closeCVLPort(0, port);
    setDebugMsgProc(nullptr);
    SimCameras::TearDown();
}

void ExportsTest::OpenPort(int port, const std::string& camera, int* size) {
    int local[2];
    int* out = size ? size : local;
    out[0] = out[1] = 0;  // a failed open leaves the rest of the test an empty frame, not garbage
    ASSERT_EQ(openCVLPort(0, port, camera.c_str(), out), 1) << camera;
    ASSERT_EQ(setCompleteCallback(0, port, Completions::Callback), 1);
}

std::vector<std::uint8_t> ExportsTest::GrabFrame(int port, int width, int height) {
    const int seen = TheCompletions().Count(port);
    EXPECT_EQ(doCVLGrab(0, port), 1);
    EXPECT_TRUE(TheCompletions().WaitBeyond(port, seen)) << "no completion";
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height);
    for (int row = 0; row < height; ++row)
        EXPECT_EQ(getCVLGrabRow(0, port, frame.data() + static_cast<std::size_t>(row) * width, row,
                                0, width - 1),
                  1);
    return frame;
}

void ExportsTest::ExpectNoErrorLines() {
    for (const auto& line : TheMessages().Take())
        EXPECT_EQ(line.find("ERROR: "), std::string::npos) << line;
}

}  // namespace fennex::test
