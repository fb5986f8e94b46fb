#include "platform/environment.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include <unistd.h>

namespace fennex::platform {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Windows compares variable names ignoring case; the exact name is tried first.
const char* Lookup(const std::string& name) {
    if (const char* value = std::getenv(name.c_str())) return value;
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (!equals || static_cast<std::size_t>(equals - *entry) != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; same && i < name.size(); ++i) same = Lower((*entry)[i]) == Lower(name[i]);
        if (same) return equals + 1;
    }
    return nullptr;
}

}  // namespace

std::string ExpandEnvironment(const std::string& text, std::size_t limit) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            out += text[i++];
            continue;
        }
        const std::size_t close = text.find('%', i + 1);
        if (close == std::string::npos) {
            out.append(text, i, std::string::npos);
            break;
        }
        // An unknown name stays as written, percents included, and scanning goes on after it.
        const std::string name = text.substr(i + 1, close - i - 1);
        const char* value = name.empty() || name.find('=') != std::string::npos ? nullptr : Lookup(name);
        if (value) out += value;
        else out.append(text, i, close - i + 1);
        i = close + 1;
    }
    if (out.size() >= limit) out.resize(limit == 0 ? 0 : limit - 1);
    return out;
}

std::string WindowsDirectory() {
    const std::string configured = EnvironmentVariable("FENNEX_WINDIR");
    return configured.empty() ? std::string("C:\\WINDOWS") : configured;
}

std::string EnvironmentVariable(const char* name) {
    const char* value = name ? std::getenv(name) : nullptr;
    return value ? std::string(value) : std::string();
}

}  // namespace fennex::platform
