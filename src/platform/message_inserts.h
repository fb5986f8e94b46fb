// The insert syntax of message texts, read once into pieces. Both message implementations
// use it: POSIX merges the pieces itself, Win32 checks them before FormatMessageA sees the
// arguments, so that both refuse the same texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fennex::platform {

struct MessagePiece {
    enum class Kind { Text, Insert };
    Kind kind = Kind::Text;
    std::string text;        // Text: the characters to copy
    unsigned index = 0;      // Insert: 1 to 99
    std::string flags;       // Insert: printf flags, width, precision and length ("-08", ".3")
    char conversion = 's';   // Insert: one of d i u o x X c s
};

// Splits `text` at its inserts and escapes: %1..%99 with an optional !format!, %0 (the text
// ends here), %n (CR LF), %r (a CR alone), %t, and %x for any other character x (%% %. %! "% ");
// a CR or LF of the text itself, alone or as a pair, becomes CR LF. False for
// a lone % at the end, an unterminated or unsupported !format!, or widths from arguments (*).
bool ParseMessageText(std::string_view text, std::vector<MessagePiece>& pieces);

// True when every insert of `pieces` has an argument among the first `count` and no string
// insert receives a null pointer.
bool InsertsAreSatisfied(const std::vector<MessagePiece>& pieces, const std::uintptr_t* args,
                         std::size_t count);

}  // namespace fennex::platform
