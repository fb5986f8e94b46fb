// Small helpers shared by the test files.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

#include "errors/exception.h"

namespace fennex::test {

// True when the Windows build runs under Wine (Wine sets WINECONFIGDIR in every process it
// starts). Used only where Wine is known to answer differently from Windows.
inline bool RunningUnderWine() {
#ifdef _WIN32
    return std::getenv("WINECONFIGDIR") != nullptr;
#else
    return false;
#endif
}

// The luminance a host reads from pixel i of a frame in one of the seven colour codings
// (0 Mono8, 1 YUV 4:1:1, 2 YUV 4:2:2, 3 YUV 4:4:4, 4 RGB8, 5 Mono16, 6 RGB16), as the camera
// puts it on the wire; -1 for any other coding.
inline int LumaAt(std::uint32_t coding, const std::uint8_t* frame, std::size_t i) {
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

// Bits per pixel of the same seven codings.
inline std::uint32_t BitsPerPixelOf(std::uint32_t coding) {
    static constexpr std::uint32_t kBits[7] = {8, 12, 16, 24, 24, 16, 48};
    return kBits[coding];
}

// What `call` raises; thrown is false (and the code 0) when it raises nothing.
struct Raised {
    bool thrown = false;
    std::uint32_t code = 0;
    std::string context;
    std::string description;
};

inline Raised RaisedBy(const std::function<void()>& call) {
    try {
        call();
    } catch (const Bcam::BcamException& e) {
        return {true, e.Error(), e.Context(), e.Description()};
    }
    return {};
}

// A directory of its own for each test, named after it and the process (so that two suites
// running at once on one machine keep apart) and removed afterwards.
class ScratchDirectory {
public:
    ScratchDirectory() {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("fennex-") + (info ? info->test_suite_name() : "t") + "-" +
                           (info ? info->name() : "x") + "-" + std::to_string(ProcessId());
        for (char& c : name)
            if (c == '/' || c == '\\') c = '_';
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    static long ProcessId() {
#if defined(_WIN32)
        return _getpid();
#else
        return getpid();
#endif
    }

    std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

}  // namespace fennex::test
