// Message lookup without the Win32 message tables: the message module's texts are built in
// (generated from BcamError.mc), and so are the system texts of the Win32 errors the library
// meets. The host executable has no table here.
#include "platform/message.h"

#include <cstdio>

#include "platform/message_inserts.h"

namespace fennex::platform {

namespace {

struct MessageEntry {
    std::uint32_t code;
    const char* text;
};

constexpr MessageEntry kModuleMessages[] = {
#include "bcam_error_table.inc"
};

// Worded like the system's texts, and like them ending in CR LF.
constexpr MessageEntry kSystemMessages[] = {
    {2, "No file of that name was found.\r\n"},
    {3, "No such path was found.\r\n"},
    {5, "Access was refused.\r\n"},
    {6, "The handle does not refer to an open object.\r\n"},
    {8, "Too little memory is left to carry out the request.\r\n"},
    {31, "A device attached to the computer does not work.\r\n"},
    {50, "The request is not supported.\r\n"},
    {82, "The file or folder could not be made.\r\n"},
    {87, "A parameter has a value that is not allowed.\r\n"},
    {121, "The time allowed for the device to answer ran out.\r\n"},
    {122, "The buffer given to the system call is too small.\r\n"},
    {183, "That file already exists, so it cannot be created.\r\n"},
    {258, "The wait ran out of time.\r\n"},
    {259, "There are no more items.\r\n"},
    {995, "The I/O operation was cancelled because its thread ended or the application asked "
          "for it.\r\n"},
    {997, "An overlapped I/O operation is still under way.\r\n"},
    {1167, "The device is no longer connected.\r\n"},
    {1400, "The window handle does not refer to a window.\r\n"},
    {0x80070057u, "One or more arguments are not valid.\r\n"},
    {0x8007000Eu, "Memory ran out while the operation was carried out.\r\n"},
    {0x80004001u, "The operation is not implemented.\r\n"},
    {0x80004005u, "The operation failed for a reason that is not given.\r\n"},
};

constexpr char kModuleName[] = "BcamError.dll";

constexpr std::size_t kMaxMergedLength = 32767;

template <std::size_t N>
bool Find(const MessageEntry (&table)[N], std::uint32_t code, std::string& text) {
    for (const MessageEntry& entry : table) {
        if (entry.code == code) {
            text = entry.text;
            return true;
        }
    }
    return false;
}

// DLL names are case-insensitive on Windows.
bool SameModuleName(const char* a, const char* b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (lower(*a) != lower(*b)) return false;
    return *a == *b;
}

void AppendInsert(const MessagePiece& piece, std::uintptr_t value, std::string& out) {
    std::string format = "%" + piece.flags + piece.conversion;
    char small[64];
    auto print = [&](char* buffer, std::size_t size) {
        switch (piece.conversion) {
        case 's':
            return std::snprintf(buffer, size, format.c_str(), reinterpret_cast<const char*>(value));
        case 'd':
        case 'i':
        case 'c':
            return std::snprintf(buffer, size, format.c_str(),
                                 static_cast<int>(static_cast<std::uint32_t>(value)));
        default:
            return std::snprintf(buffer, size, format.c_str(), static_cast<unsigned>(value));
        }
    };
    int needed = print(small, sizeof small);
    if (needed < 0) return;
    if (static_cast<std::size_t>(needed) < sizeof small) {
        out.append(small, static_cast<std::size_t>(needed));
        return;
    }
    std::string large(static_cast<std::size_t>(needed) + 1, '\0');
    print(large.data(), large.size());
    out.append(large.data(), static_cast<std::size_t>(needed));
}

}  // namespace

bool MessageFromModule(const char* moduleName, std::uint32_t code, std::string& text) {
    if (moduleName == nullptr || !SameModuleName(moduleName, kModuleName)) return false;
    return Find(kModuleMessages, code, text);
}

bool MessageFromSystem(std::uint32_t code, std::string& text) {
    return Find(kSystemMessages, code, text);
}

bool MessageFromHost(std::uint32_t, std::string&) { return false; }

bool MergeInserts(const std::string& text, const std::uintptr_t* args, std::size_t count,
                  std::string& merged) {
    std::vector<MessagePiece> pieces;
    if (!ParseMessageText(text, pieces) || !InsertsAreSatisfied(pieces, args, count)) return false;
    std::string out;
    for (const MessagePiece& piece : pieces) {
        if (piece.kind == MessagePiece::Kind::Text)
            out += piece.text;
        else
            AppendInsert(piece, args[piece.index - 1], out);
    }
    // FormatMessage returns the length of the result, so an empty one counts as a failure;
    // it also refuses a result that does not fit its 32 KiB buffer with the terminator.
    if (out.empty() || out.size() > kMaxMergedLength) return false;
    merged = std::move(out);
    return true;
}

}  // namespace fennex::platform
