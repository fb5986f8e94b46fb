// Message lookup and insert merging with FormatMessageA semantics.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fennex::platform {

// FormatMessageA(FROM_HMODULE | IGNORE_INSERTS) on a module loaded by name with
// LoadLibraryExA(DONT_RESOLVE_DLL_REFERENCES) and freed again at once. POSIX: the built-in
// table that stands in for that module, when `moduleName` names it.
bool MessageFromModule(const char* moduleName, std::uint32_t code, std::string& text);
// FormatMessageA(FROM_SYSTEM | IGNORE_INSERTS). POSIX: a built-in table of the Win32 errors
// the library meets.
bool MessageFromSystem(std::uint32_t code, std::string& text);
// FormatMessageA(FROM_HMODULE | IGNORE_INSERTS) with a null module: the host executable's table.
bool MessageFromHost(std::uint32_t code, std::string& text);

// FormatMessageA(FROM_STRING | ARGUMENT_ARRAY): %1..%99 (default !s!), %1!d!-style printf
// formats, %% %n %0 and the other escapes. Fails (false) instead of reading past `count`
// arguments, on a malformed insert, on a null string argument, and (as FormatMessageA does)
// when the result is empty or longer than 32767 characters.
bool MergeInserts(const std::string& text, const std::uintptr_t* args, std::size_t count,
                  std::string& merged);

}  // namespace fennex::platform
