// The system's profile services, behind the same checks as our own implementation, so that a
// text that would inject lines is refused the same way everywhere.
#include "platform/profile.h"

#include <windows.h>

#include <string>

#include "platform/last_error.h"
#include "platform/profile_text.h"
#include "platform/win32_errors.h"

namespace fennex::platform {
namespace {

// A key name that no caller uses, written and removed again to leave a section without keys.
constexpr char kPlaceholderKey[] = "fennex.empty-section";

}  // namespace

std::uint32_t ProfileGetString(const char* section, const char* key, const char* defaultValue,
                               char* buffer, std::uint32_t size, const char* fileName) {
    if (!buffer || !fileName) {
        SetLastError(err::kInvalidParameter);
        return 0;
    }
    return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
}

bool ProfileWriteString(const char* section, const char* key, const char* value,
                        const char* fileName) {
    if (!section || !fileName) {
        SetLastError(err::kInvalidParameter);
        return false;
    }
    if (!profile_text::SectionNameIsSafe(section) || (key && !profile_text::KeyIsSafe(key)) ||
        (value && !profile_text::ValueIsSafe(value)))
        return false;
    return ::WritePrivateProfileStringA(section, key, value, fileName);
}

std::uint32_t ProfileSectionNames(char* buffer, std::uint32_t size, const char* fileName) {
    if (!buffer || !fileName) {
        SetLastError(err::kInvalidParameter);
        return 0;
    }
    return ::GetPrivateProfileSectionNamesA(buffer, size, fileName);
}

bool ProfileWriteSection(const char* section, const char* keys, const char* fileName) {
    if (!section || !fileName) {
        SetLastError(err::kInvalidParameter);
        return false;
    }
    if (!profile_text::SectionNameIsSafe(section) || (keys && !profile_text::EntriesAreSafe(keys)))
        return false;
    if (!::WritePrivateProfileSectionA(section, keys, fileName)) return false;
    // Some implementations (Wine) write nothing for an empty list when the section is new;
    // a key written and deleted again leaves the empty section everywhere.
    if (keys && !*keys) {
        return ::WritePrivateProfileStringA(section, kPlaceholderKey, "", fileName) &&
               ::WritePrivateProfileStringA(section, kPlaceholderKey, nullptr, fileName);
    }
    return true;
}

std::uint32_t FileSearch(const char* fileName, char* buffer, std::uint32_t size) {
    if (!fileName || !*fileName) {
        SetLastError(err::kInvalidParameter);
        return 0;
    }
    char* filePart = nullptr;
    return ::SearchPathA(nullptr, fileName, nullptr, buffer ? size : 0, buffer, &filePart);
}

bool FileDelete(const char* path) { return ::DeleteFileA(path); }

bool FileReplace(const char* from, const char* to) {
    return ::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

const char* HostExecutableDirectory() {
    // Built once; the function-local static is initialised thread-safely.
    static const std::string directory = [] {
        char path[MAX_PATH * 4];
        const DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof path);
        std::string p(path, n < sizeof path ? n : 0);
        const std::size_t slash = p.find_last_of("\\/");
        return slash == std::string::npos ? std::string(".") : p.substr(0, slash);
    }();
    return directory.c_str();
}

char PathSeparator() { return '\\'; }

}  // namespace fennex::platform
