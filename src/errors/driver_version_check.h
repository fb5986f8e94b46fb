// The check that the installed kernel driver is of the release this library speaks (1.6).
#pragma once

#include <cstdint>
#include <string>

namespace Bcam {

// Where the driver service's image path and the driver file's version come from: the registry
// and version resources on Windows, the camera description with the simulated driver.
class DriverReleaseSource {
public:
    virtual ~DriverReleaseSource() = default;
    // False when the service key cannot be opened. Otherwise true, with *error 0 and the
    // "ImagePath" value in *imagePath, or *error the registry query's failure.
    virtual bool QueryServiceImagePath(std::string* imagePath, std::uint32_t* error) = 0;
    // The file version (dwFileVersionMS, dwFileVersionLS) of the file at `path`. False when the
    // file has no version information or its root block cannot be read.
    virtual bool QueryFileVersion(const std::string& path, std::uint32_t* versionMS,
                                  std::uint32_t* versionLS) = 0;
};

class CDriverVersionCheck {
public:
    // True when the driver is release 1.6 (or was found so before); false when the service key
    // cannot be opened; raises BcamException otherwise.
    static bool Match(DriverReleaseSource& source);
    // The driver file named by the service's (already expanded) image path: a path that starts
    // with a letter but no drive colon lies under the Windows directory; any other is as given.
    static std::string DriverFilePath(const std::string& imagePath,
                                      const std::string& windowsDirectory);
    // Forgets an earlier success (tests only).
    static void ResetCache();
};

}  // namespace Bcam
