// What the fuzz targets share: a scratch file per process, in memory where the machine has a
// RAM file system, so that a run measures our code rather than the disk; and reading the input
// as such a file, where refusing it with a BcamException is an expected outcome.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "errors/exception.h"

namespace fuzz {

// The process's scratch file, removed when the process ends.
inline const std::string& ScratchFile(const char* extension) {
    static const struct File {
        std::string path;
        ~File() { std::remove(path.c_str()); }
    } file{[extension] {
        std::error_code error;
        const std::filesystem::path dir = std::filesystem::is_directory("/dev/shm", error)
                                              ? std::filesystem::path("/dev/shm")
                                              : std::filesystem::temp_directory_path();
        return (dir / ("fennex-fuzz-" + std::to_string(::getpid()) + extension)).string();
    }()};
    return file.path;
}

inline bool WriteBytes(const std::string& file, const std::uint8_t* data, std::size_t size) {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) return false;
    const bool ok = size == 0 || std::fwrite(data, 1, size, out) == size;
    return std::fclose(out) == 0 && ok;
}

// Writes the input to `file` and hands the file to `read`.
template <class Read>
int ReadAsFile(const std::string& file, const std::uint8_t* data, std::size_t size, Read read) {
    if (!WriteBytes(file, data, size)) return 0;
    try {
        read(file);
    } catch (const Bcam::BcamException&) {
        // A bad file is refused: the expected outcome.
    }
    return 0;
}

}  // namespace fuzz
