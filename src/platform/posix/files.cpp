// File search and deletion, and where the host executable lives.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/last_error.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/objects.h"
#include "platform/profile.h"
#include "platform/win32_errors.h"

namespace fennex::platform {
namespace {

std::string CurrentDirectory() {
    char cwd[PATH_MAX];
    return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string(".");
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// The full form of a path, as the system reports found files: absolute, "." and ".." resolved
// by the text alone.
std::string FullPath(const std::string& path) {
    std::filesystem::path p(path);
    if (p.is_relative()) p = std::filesystem::path(CurrentDirectory()) / p;
    return p.lexically_normal().string();
}

// Kept in a fixed buffer: it lives for the whole process, and an unloaded library must leave
// no memory behind.
struct ExecutableDirectory {
    char path[PATH_MAX] = {};
    ExecutableDirectory() {
        std::string dir;
        char exe[PATH_MAX];
        const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n <= 0) {
            dir = CurrentDirectory();
        } else {
            dir.assign(exe, static_cast<std::size_t>(n));
            const std::size_t slash = dir.rfind('/');
            dir.resize(slash == 0 ? 1 : slash);  // "/" stays for an executable in the root
        }
        dir.copy(path, sizeof path - 1);
    }
};

}  // namespace

std::uint32_t FileSearch(const char* fileName, char* buffer, std::uint32_t size) {
    if (!fileName || !*fileName) {
        SetLastError(err::kInvalidParameter);
        return 0;
    }
    const std::string name = fileName;
    std::string found;
    if (name.find('/') != name.npos) {
        if (Exists(name)) found = FullPath(name);
    } else {
        for (const std::string& dir : {std::string(HostExecutableDirectory()), CurrentDirectory()}) {
            const std::string candidate = dir + "/" + name;
            if (Exists(candidate)) {
                found = FullPath(candidate);
                break;
            }
        }
    }
    if (found.empty()) {
        SetLastError(err::kFileNotFound);
        return 0;
    }
    if (!buffer || size < found.size() + 1) return static_cast<std::uint32_t>(found.size() + 1);
    std::memcpy(buffer, found.c_str(), found.size() + 1);
    return static_cast<std::uint32_t>(found.size());
}

bool FileDelete(const char* path) {
    if (!path) {
        SetLastError(err::kInvalidParameter);
        return false;
    }
    if (::unlink(path) == 0) return true;
    posix::SetLastErrorFromErrno();
    return false;
}

bool FileReplace(const char* from, const char* to) {
    if (!from || !to) {
        SetLastError(err::kInvalidParameter);
        return false;
    }
    if (::rename(from, to) == 0) return true;
    posix::SetLastErrorFromErrno();
    return false;
}

const char* HostExecutableDirectory() { return posix::Immortal<ExecutableDirectory>().path; }

char PathSeparator() { return '/'; }

}  // namespace fennex::platform
