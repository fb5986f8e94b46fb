// Runs the profile-file services on an arbitrary file: reads with buffers of every size and
// writes of keys, sections and deletions. Beyond not crashing or reading past a buffer, a read
// stays within its buffer and ends in NUL, a plain key written reads back as written, and a
// write changes no other plain key.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/profile.h"

namespace fp = fennex::platform;

namespace {

std::string g_File;

// Names from a few letters, so that reads and writes meet, and the characters the file
// syntax gives a meaning to.
std::string Name(FuzzedDataProvider& input) {
    static constexpr char kAlphabet[] = "abAB;[]= \t\"'#\r\n\x00\xFF";
    std::string name;
    const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, 4);
    for (std::size_t i = 0; i < length; ++i)
        name += kAlphabet[input.ConsumeIntegralInRange<std::size_t>(0, sizeof kAlphabet - 2)];
    return name;
}

// Letters only: what must read back exactly as it was written.
bool Plain(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
    return true;
}

std::string Read(const std::string& section, const std::string& key) {
    char buffer[64];
    const std::uint32_t n =
        fp::ProfileGetString(section.c_str(), key.c_str(), "<none>", buffer, sizeof buffer, g_File.c_str());
    return std::string(buffer, n);
}

struct Step {
    int kind;
    std::uint32_t size;  // reads
    std::string section, key, value;
};

void CheckedRead(const Step& step) {
    // Exactly `size` bytes, so that the sanitizer sees a write past the end.
    std::vector<char> buffer(step.size ? step.size : 1);
    const char* file = g_File.c_str();
    const std::uint32_t n =
        step.value.empty() ? fp::ProfileSectionNames(buffer.data(), step.size, file)
        : step.key.empty() ? fp::ProfileGetString(step.section.c_str(), nullptr, "", buffer.data(), step.size, file)
                           : fp::ProfileGetString(step.section.c_str(), step.key.c_str(), "d", buffer.data(),
                                                  step.size, file);
    if (step.size != 0 && (n >= step.size || buffer[n] != '\0')) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_File = fuzz::ScratchFile(".ini");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int operations = input.ConsumeIntegralInRange<int>(1, 4);
    std::vector<Step> steps;
    for (int i = 0; i < operations; ++i)
        steps.push_back({input.ConsumeIntegralInRange<int>(0, 4), input.ConsumeIntegralInRange<std::uint32_t>(0, 40),
                         Name(input), Name(input), Name(input)});
    const std::string watchedSection = Name(input), watchedKey = Name(input);
    const std::string content = input.ConsumeRemainingBytesAsString();
    if (!fuzz::WriteBytes(g_File, reinterpret_cast<const std::uint8_t*>(content.data()), content.size()))
        return 0;

    const bool watched = Plain(watchedSection) && Plain(watchedKey);
    for (const Step& step : steps) {
        if (step.kind == 0) {
            CheckedRead(step);
            continue;
        }
        const std::string before = watched ? Read(watchedSection, watchedKey) : std::string();
        bool wrote = false;
        std::string writtenSection, writtenKey;
        switch (step.kind) {
            case 1:  // a key
                wrote = fp::ProfileWriteString(step.section.c_str(), step.key.c_str(), step.value.c_str(),
                                               g_File.c_str());
                if (wrote && Plain(step.section) && Plain(step.key) && Plain(step.value) &&
                    Read(step.section, step.key) != step.value)
                    std::abort();
                writtenSection = step.section, writtenKey = step.key;
                break;
            case 2:  // a key deleted
                wrote = fp::ProfileWriteString(step.section.c_str(), step.key.c_str(), nullptr, g_File.c_str());
                writtenSection = step.section, writtenKey = step.key;
                break;
            case 3: {  // a whole section
                const std::string list = step.key + "=" + step.value + std::string(2, '\0');
                wrote = fp::ProfileWriteSection(step.section.c_str(), list.c_str(), g_File.c_str());
                writtenSection = step.section;
                break;
            }
            default:  // a section deleted
                wrote = fp::ProfileWriteString(step.section.c_str(), nullptr, nullptr, g_File.c_str());
                writtenSection = step.section;
                break;
        }
        // Sections and keys compare as the services see them: up to their first NUL, ignoring
        // case and the spaces around them. A write elsewhere leaves the watched key.
        auto same = [](const std::string& a, const std::string& b) {
            auto trimmed = [](const std::string& name) {
                const std::string t = name.c_str();
                const std::size_t first = t.find_first_not_of(' ');
                return first == t.npos ? std::string() : t.substr(first, t.find_last_not_of(' ') - first + 1);
            };
            return strcasecmp(trimmed(a).c_str(), trimmed(b).c_str()) == 0;
        };
        const bool touched = same(writtenSection, watchedSection) && (writtenKey.empty() || step.kind == 3 ||
                                                                      same(writtenKey, watchedKey));
        if (wrote && watched && !touched && Read(watchedSection, watchedKey) != before) std::abort();
    }
    return 0;
}
