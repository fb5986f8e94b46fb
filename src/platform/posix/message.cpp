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
    {2, "The file cannot be found.\r\n"},
    {3, "The path cannot be found.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is not valid.\r\n"},
    {8, "There is not enough memory to carry out this command.\r\n"},
    {31, "A device attached to the system is not working.\r\n"},
    {50, "This request is not supported.\r\n"},
    {82, "The file or directory cannot be created.\r\n"},
    {87, "A parameter is not valid.\r\n"},
    {121, "The semaphore timeout period has expired.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {183, "The file cannot be created because it already exists.\r\n"},
    {258, "The wait operation timed out.\r\n"},
    {259, "No more data is available.\r\n"},
    {995, "The I/O operation has been aborted because of a thread exit or an application "
          "request.\r\n"},
    {997, "An overlapped I/O operation is in progress.\r\n"},
    {1167, "The device is not connected.\r\n"},
    {1400, "The window handle is not valid.\r\n"},
    {0x80070057u, "A parameter is not valid.\r\n"},
    {0x8007000Eu, "There is not enough memory to complete this operation.\r\n"},
    {0x80004001u, "This function is not implemented.\r\n"},
};

constexpr char kModuleName[] = "BcamError.dll";

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
    std::string format = "%" + piece.spec + piece.conversion;
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
    merged = std::move(out);
    return true;
}

}  // namespace fennex::platform
