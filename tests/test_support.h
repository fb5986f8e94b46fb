// Small helpers shared by the test files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

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

// A directory of its own for each test, named after it and removed afterwards.
class ScratchDirectory {
public:
    ScratchDirectory() {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("fennex-") + (info ? info->test_suite_name() : "t") + "-" +
                           (info ? info->name() : "x");
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
