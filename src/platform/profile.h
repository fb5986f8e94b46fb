// Profile-file (INI) services with the semantics of the Win32 *PrivateProfile* calls:
// sections and keys compared ignoring case, bounded buffers with the system's truncation rules,
// CRLF and LF files both read.
#pragma once

#include <cstdint>

namespace fennex::platform {

// GetPrivateProfileStringA: copies the value (or `defaultValue`) into `buffer`, always terminated,
// and returns the number of characters copied without the terminator (size - 1 when cut, with
// LastError() 234).
std::uint32_t ProfileGetString(const char* section, const char* key, const char* defaultValue,
                               char* buffer, std::uint32_t size, const char* fileName);

// WritePrivateProfileStringA: writes key=value into the section, creating file and section;
// LastError() is 0 after a successful write.
bool ProfileWriteString(const char* section, const char* key, const char* value,
                        const char* fileName);

// GetPrivateProfileSectionNamesA: the names, each terminated, the list ending in a second NUL;
// returns the count copied without the final NUL (size - 2 when cut, with LastError() 234, and
// when the list fills the buffer exactly).
std::uint32_t ProfileSectionNames(char* buffer, std::uint32_t size, const char* fileName);

// WritePrivateProfileSectionA: replaces the section's keys with `keys` ("k=v\0k=v\0\0");
// an empty list ("\0") leaves an empty section.
bool ProfileWriteSection(const char* section, const char* keys, const char* fileName);

// SearchPathA with no path list and no extension: a name with a directory part as given, else
// the host executable's directory, then the current directory. Returns the length of the full
// path copied into `buffer`, the size needed (with terminator) when `size` is too small, or 0
// with LastError() 2 when not found.
std::uint32_t FileSearch(const char* fileName, char* buffer, std::uint32_t size);

// DeleteFileA.
bool FileDelete(const char* path);

// MoveFileExA with MOVEFILE_REPLACE_EXISTING: `to` is replaced by `from` in one step, so that
// a reader finds either the old file or the new one, whole.
bool FileReplace(const char* from, const char* to);

// The directory of the running executable, ending without a separator.
const char* HostExecutableDirectory();

// The path separator of the platform: '\\' on Windows, '/' elsewhere.
char PathSeparator();

}  // namespace fennex::platform
