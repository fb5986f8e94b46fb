// What the fuzz targets share: a scratch file per process, in memory where the machine has a
// RAM file system, so that a run measures our code rather than the disk.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz {

inline std::string ScratchFile(const char* extension) {
    std::error_code error;
    const std::filesystem::path dir =
        std::filesystem::is_directory("/dev/shm", error) ? std::filesystem::path("/dev/shm")
                                                         : std::filesystem::temp_directory_path();
    static std::string file;  // removed at exit
    file = (dir / ("fennex-fuzz-" + std::to_string(::getpid()) + extension)).string();
    std::atexit([] { std::remove(file.c_str()); });
    return file;
}

inline bool WriteBytes(const std::string& file, const std::uint8_t* data, std::size_t size) {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) return false;
    const bool ok = size == 0 || std::fwrite(data, 1, size, out) == size;
    return std::fclose(out) == 0 && ok;
}

}  // namespace fuzz
