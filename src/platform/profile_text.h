// Rules shared by both profile-file implementations.
#pragma once

#include <cstdint>
#include <string_view>

namespace fennex::platform::profile_text {

// Texts that would not read back as written are refused (LastError() 87) before anything is
// written: a line break in a name or value would inject further lines into the file, a '=' in
// a key would move the split, a key or entry that begins with '[' could read as a header, and
// a ']' would end a section's name early.
bool SectionNameIsSafe(std::string_view section);
bool KeyIsSafe(std::string_view key);
bool ValueIsSafe(std::string_view value);
bool EntryIsSafe(std::string_view entry);  // one "key=value" of a section list

// The entries of a "k=v\0k=v\0\0" list, each checked; false (LastError() 87) on a bad one.
bool EntriesAreSafe(const char* entries);

}  // namespace fennex::platform::profile_text
