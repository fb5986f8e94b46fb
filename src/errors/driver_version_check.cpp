#include "errors/driver_version_check.h"

#include <atomic>
#include <cstdio>

#include "errors/error_codes.h"
#include "errors/exception.h"
#include "platform/environment.h"

namespace Bcam {
namespace {

constexpr unsigned kRequiredMajor = 1;
constexpr unsigned kRequiredMinor = 6;
constexpr std::size_t kPathLimit = 260;

// Set by a successful check and cleared by a wrong release. Concurrent first calls may each
// run the whole check; any of them may set it.
std::atomic<bool> g_DriverMatched{false};

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string VersionText(unsigned major, unsigned minor) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d", static_cast<int>(major), static_cast<int>(minor));
    return text;
}

}  // namespace

std::string CDriverVersionCheck::DriverFilePath(const std::string& imagePath,
                                                const std::string& windowsDirectory) {
    // A service image path such as "System32\DRIVERS\bcam.sys" is relative to the Windows
    // directory; "\SystemRoot\...", "\??\..." and drive paths are taken as they are.
    const bool relative =
        !imagePath.empty() && IsAsciiLetter(imagePath[0]) && (imagePath.size() < 2 || imagePath[1] != ':');
    if (!relative) return imagePath;
    std::string path = windowsDirectory;
    if (path.empty() || path.back() != '\\') path += '\\';
    return path + imagePath;
}

bool CDriverVersionCheck::Match(DriverReleaseSource& source) {
    if (g_DriverMatched.load()) return true;

    std::string imagePath;
    std::uint32_t error = 0;
    // No service key: the callers go on unchecked.
    if (!source.QueryServiceImagePath(&imagePath, &error)) return false;
    if (error != 0) throw BcamException(error, "");

    const std::string expanded = fennex::platform::ExpandEnvironment(imagePath, kPathLimit);
    const std::string path = DriverFilePath(expanded, fennex::platform::WindowsDirectory());

    // A file without version information counts as release 0.0: a mismatch, never a guess.
    std::uint32_t versionMS = 0;
    std::uint32_t versionLS = 0;
    unsigned major = 0;
    unsigned minor = 0;
    if (source.QueryFileVersion(path, &versionMS, &versionLS)) {
        major = versionMS >> 16;
        minor = versionMS & 0xFFFFu;
    }
    if (major == kRequiredMajor && minor == kRequiredMinor) {
        g_DriverMatched.store(true);
        return true;
    }
    g_DriverMatched.store(false);
    const std::string required = VersionText(kRequiredMajor, kRequiredMinor);
    const std::string found = VersionText(major, minor);
    throw BcamException(codes::kWrongDriverRelease, "CDriverVersionCheck::Match",
                        {reinterpret_cast<std::uintptr_t>(required.c_str()),
                         reinterpret_cast<std::uintptr_t>(found.c_str())});
}

void CDriverVersionCheck::ResetCache() { g_DriverMatched.store(false); }

}  // namespace Bcam
