// Message lookup through FormatMessageA: the message module loaded by name, the system's
// tables, the host executable's.
#include "platform/message.h"

#include <windows.h>

#include <memory>
#include <type_traits>
#include <vector>

#include "platform/message_inserts.h"

namespace fennex::platform {

namespace {

constexpr DWORD kFromModule =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_HMODULE;
constexpr DWORD kFromSystem =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
constexpr DWORD kFromString =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY;
static_assert(kFromModule == 0x0B00 && kFromSystem == 0x1300 && kFromString == 0x2500);

// The user's default language (LANG_NEUTRAL, SUBLANG_DEFAULT).
constexpr DWORD kLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);

struct LocalFreeDeleter {
    void operator()(char* buffer) const { LocalFree(buffer); }
};
using LocalText = std::unique_ptr<char, LocalFreeDeleter>;

struct FreeLibraryDeleter {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using LoadedModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeLibraryDeleter>;

bool Format(DWORD flags, const void* source, std::uint32_t code, va_list* arguments,
            std::string& text) {
    char* buffer = nullptr;
    DWORD length = FormatMessageA(flags, source, code, kLanguage, reinterpret_cast<char*>(&buffer),
                                  0, arguments);
    LocalText owned(buffer);
    if (length == 0 || buffer == nullptr) return false;
    text.assign(buffer, length);
    return true;
}

}  // namespace

bool MessageFromModule(const char* moduleName, std::uint32_t code, std::string& text) {
    if (moduleName == nullptr) return false;
    // Only the resources are wanted: no entry point runs, nothing it imports is loaded. The
    // module is freed again at once, found or not.
    LoadedModule module(LoadLibraryExA(moduleName, nullptr, DONT_RESOLVE_DLL_REFERENCES));
    if (!module) return false;
    return Format(kFromModule, module.get(), code, nullptr, text);
}

bool MessageFromSystem(std::uint32_t code, std::string& text) {
    return Format(kFromSystem, nullptr, code, nullptr, text);
}

bool MessageFromHost(std::uint32_t code, std::string& text) {
    return Format(kFromModule, nullptr, code, nullptr, text);
}

bool MergeInserts(const std::string& text, const std::uintptr_t* args, std::size_t count,
                  std::string& merged) {
    // FormatMessageA reads as many arguments as the text names; make sure they are there.
    std::vector<MessagePiece> pieces;
    if (!ParseMessageText(text, pieces) || !InsertsAreSatisfied(pieces, args, count)) return false;
    // With FORMAT_MESSAGE_ARGUMENT_ARRAY the va_list* is really the array of DWORD_PTR values.
    static_assert(sizeof(std::uintptr_t) == sizeof(DWORD_PTR));
    auto* array = reinterpret_cast<va_list*>(const_cast<std::uintptr_t*>(args));
    return Format(kFromString, text.c_str(), 0, array, merged);
}

}  // namespace fennex::platform
