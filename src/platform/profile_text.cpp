#include "platform/profile_text.h"

#include <cstring>

#include "platform/last_error.h"
#include "platform/win32_errors.h"

namespace fennex::platform::profile_text {
namespace {

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != text.npos; }

std::string_view TrimLeft(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\v\f");
    return first == text.npos ? std::string_view{} : text.substr(first);
}

bool Refuse() {
    SetLastError(err::kInvalidParameter);
    return false;
}

}  // namespace

bool SectionNameIsSafe(std::string_view section) {
    return (!HasLineBreak(section) && section.find(']') == section.npos) || Refuse();
}

bool KeyIsSafe(std::string_view key) {
    if (HasLineBreak(key) || key.find('=') != key.npos) return Refuse();
    const std::string_view trimmed = TrimLeft(key);
    return trimmed.empty() || trimmed.front() != '[' || Refuse();
}

bool ValueIsSafe(std::string_view value) { return !HasLineBreak(value) || Refuse(); }

bool EntryIsSafe(std::string_view entry) {
    if (HasLineBreak(entry)) return Refuse();
    const std::string_view trimmed = TrimLeft(entry);
    return trimmed.empty() || trimmed.front() != '[' || Refuse();
}

bool EntriesAreSafe(const char* entries) {
    for (const char* p = entries; *p; p += std::strlen(p) + 1)
        if (!EntryIsSafe(p)) return false;
    return true;
}

}  // namespace fennex::platform::profile_text
