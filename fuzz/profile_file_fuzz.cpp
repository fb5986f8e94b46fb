// Runs the profile-file services on an arbitrary file: reads with buffers of every size and
// writes of keys, sections and deletions. Beyond not crashing or reading past a buffer, a read
// stays within its buffer and ends in NUL, a plain key written reads back as written, and a
// write changes no other plain key.
#include <fuzzer/FuzzedDataProvider.h>
#include <strings.h>

#include <algorithm>
#include <vector>

#include "fuzz_support.h"
#include "platform/profile.h"

namespace fp = fennex::platform;

namespace {

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
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
}

std::string Read(const std::string& file, const std::string& section, const std::string& key) {
    char buffer[64];
    return std::string(buffer, fp::ProfileGetString(section.c_str(), key.c_str(), "<none>", buffer,
                                                    sizeof buffer, file.c_str()));
}

// Sections and keys as the services compare them: up to their first NUL, ignoring case and the
// spaces around them.
bool Same(const std::string& a, const std::string& b) {
    auto trimmed = [](const std::string& name) {
        const std::string t = name.c_str();
        const std::size_t first = t.find_first_not_of(' ');
        return first == t.npos ? std::string() : t.substr(first, t.find_last_not_of(' ') - first + 1);
    };
    return strcasecmp(trimmed(a).c_str(), trimmed(b).c_str()) == 0;
}

struct Step {
    int kind;            // 0 read, 1 write a key, 2 delete a key, 3 write a section, 4 delete it
    std::uint32_t size;  // reads
    std::string section, key, value;
};

// Exactly `size` bytes, so that the sanitizer sees a write past the end.
void CheckedRead(const std::string& file, const Step& step) {
    std::vector<char> buffer(step.size ? step.size : 1);
    const char* f = file.c_str();
    const char* section = step.section.c_str();
    char* b = buffer.data();
    const char* key = step.key.empty() ? nullptr : step.key.c_str();
    const std::uint32_t n = step.value.empty()
                                ? fp::ProfileSectionNames(b, step.size, f)
                                : fp::ProfileGetString(section, key, key ? "d" : "", b, step.size, f);
    if (step.size != 0 && (n >= step.size || buffer[n] != '\0')) std::abort();
}

bool Write(const std::string& file, const Step& step) {
    const char* f = file.c_str();
    const char* section = step.section.c_str();
    switch (step.kind) {
        case 1: return fp::ProfileWriteString(section, step.key.c_str(), step.value.c_str(), f);
        case 2: return fp::ProfileWriteString(section, step.key.c_str(), nullptr, f);
        case 3: return fp::ProfileWriteSection(section, (step.key + "=" + step.value + '\0').c_str(), f);
        default: return fp::ProfileWriteString(section, nullptr, nullptr, f);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& file = fuzz::ScratchFile(".ini");
    FuzzedDataProvider input(data, size);
    const int operations = input.ConsumeIntegralInRange<int>(1, 4);
    std::vector<Step> steps;
    for (int i = 0; i < operations; ++i)
        steps.push_back({input.ConsumeIntegralInRange<int>(0, 4),
                         input.ConsumeIntegralInRange<std::uint32_t>(0, 40), Name(input), Name(input),
                         Name(input)});
    const std::string watchedSection = Name(input), watchedKey = Name(input);
    const std::string content = input.ConsumeRemainingBytesAsString();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(content.data());
    if (!fuzz::WriteBytes(file, bytes, content.size())) return 0;

    const bool watched = Plain(watchedSection) && Plain(watchedKey);
    for (const Step& step : steps) {
        if (step.kind == 0) {
            CheckedRead(file, step);
            continue;
        }
        const std::string before = watched ? Read(file, watchedSection, watchedKey) : std::string();
        const bool wrote = Write(file, step);
        if (wrote && step.kind == 1 && Plain(step.section) && Plain(step.key) && Plain(step.value) &&
            Read(file, step.section, step.key) != step.value)
            std::abort();
        // A write elsewhere leaves the watched key.
        const bool touched = Same(step.section, watchedSection) &&
                             (step.kind >= 3 || step.key.empty() || Same(step.key, watchedKey));
        if (wrote && watched && !touched && Read(file, watchedSection, watchedKey) != before) std::abort();
    }
    return 0;
}
