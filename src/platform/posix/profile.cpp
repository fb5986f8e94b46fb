// Profile (INI) files as the Win32 profile services read and write them.
//
// Reading: lines end at CR, LF or CRLF; a UTF-8 byte-order mark is skipped; blanks around
// lines, names and values are dropped; "[name]" opens a section (the text up to the last ']',
// trimmed; anything after it is ignored); "key=value" splits at the first '='; any other line
// (comments, junk) is kept but is not a key. Names compare ignoring ASCII case, the first
// match wins (a repeated section is not looked into). Lines before the first header form a
// nameless section, reachable as "" and never listed. A value stops at a NUL byte, and one
// pair of matching quotes around it is removed.
//
// Writing edits the text in place: every line we do not change stays byte for byte as it was.
// Lines we write end in CRLF, as Windows writes them, whatever the rest of the file uses;
// both conventions are read everywhere. A file is replaced by writing a temporary file beside
// it and renaming it over the old one, so a failed write leaves the old file whole.
//
// A file name without a directory is taken relative to the current directory (Windows would
// look in its own directory; our callers always pass full paths).
#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/last_error.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/objects.h"
#include "platform/profile_text.h"
#include "platform/win32_errors.h"

namespace fennex::platform {
namespace {

constexpr std::string_view kEol = "\r\n";
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

enum class Kind { Other, Section, Key };

struct Line {
    std::size_t begin;  // first byte of the line
    std::size_t end;    // end of its text, before the line end
    std::size_t next;   // first byte after the line end
    Kind kind = Kind::Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed
};

struct Section {
    std::string_view name;
    std::size_t header;  // line index of "[name]"; kNone for the lines before the first header
    std::size_t first;   // first line after the header
    std::size_t last;    // one past its last line
};

void Classify(std::string_view text, Line& line) {
    const std::string_view content = Trim(text.substr(line.begin, line.end - line.begin));
    if (content.empty()) return;
    if (content.front() == '[') {
        const std::size_t close = content.rfind(']');
        if (close != content.npos && close > 0) {
            line.kind = Kind::Section;
            line.name = Trim(content.substr(1, close - 1));
            return;
        }
    }
    const std::size_t equals = content.find('=');
    if (equals == content.npos) return;
    line.kind = Kind::Key;
    line.name = Trim(content.substr(0, equals));
    line.value = Trim(content.substr(equals + 1));
}

// One file's text and its structure. The views point into `text`.
class Document {
public:
    explicit Document(std::string content) : text_(std::move(content)) { Parse(); }

    const std::string& Text() const { return text_; }
    const std::vector<Line>& Lines() const { return lines_; }
    const std::vector<Section>& Sections() const { return sections_; }

    const Section* FindSection(std::string_view name) const {
        name = Trim(name);
        for (const Section& s : sections_)
            if (SameName(s.name, name)) return &s;
        return nullptr;
    }

    std::size_t FindKey(const Section& section, std::string_view key) const {
        key = Trim(key);
        for (std::size_t i = section.first; i < section.last; ++i)
            if (lines_[i].kind == Kind::Key && SameName(lines_[i].name, key)) return i;
        return kNone;
    }

    // One past the last non-blank line of the section (its header when it has none), so that
    // new keys go before the blank lines that separate it from the next section.
    std::size_t EndOfContent(const Section& section) const {
        std::size_t end = section.last;
        while (end > section.first && Trim(LineText(end - 1)).empty()) --end;
        return end;
    }

    // Byte offset of line `index` (the end of the text for one past the last line).
    std::size_t OffsetOf(std::size_t index) const {
        return index < lines_.size() ? lines_[index].begin : text_.size();
    }

    // Whether the text before `offset` ends in a line end (or is empty).
    bool LineEndsBefore(std::size_t offset) const {
        return offset <= bodyStart_ || text_[offset - 1] == '\n' || text_[offset - 1] == '\r';
    }

    std::string_view LineText(std::size_t index) const {
        const Line& l = lines_[index];
        return std::string_view(text_).substr(l.begin, l.end - l.begin);
    }

private:
    void Parse() {
        const std::string_view view(text_);
        std::size_t pos = view.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
        bodyStart_ = pos;
        while (pos < view.size()) {
            Line line{pos, pos, pos, Kind::Other, {}, {}};
            while (line.end < view.size() && view[line.end] != '\n' && view[line.end] != '\r')
                ++line.end;
            line.next = line.end;
            if (line.next < view.size() && view[line.next] == '\r') ++line.next;
            if (line.next < view.size() && view[line.next] == '\n') ++line.next;
            Classify(view, line);
            pos = line.next;
            lines_.push_back(line);
        }
        sections_.push_back({std::string_view{}, kNone, 0, 0});
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (lines_[i].kind == Kind::Section) {
                sections_.back().last = i;
                sections_.push_back({lines_[i].name, i, i + 1, i + 1});
            }
        }
        sections_.back().last = lines_.size();
    }

    std::string text_;
    std::size_t bodyStart_ = 0;
    std::vector<Line> lines_;
    std::vector<Section> sections_;
};

// Read-modify-write of a file is one step for every thread of the process.
std::mutex& ProfileMutex() { return posix::Immortal<std::mutex>(); }

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadFile(const char* fileName, std::string& content) {
    content.clear();
    const int fd = ::open(fileName, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        posix::SetLastErrorFromErrno();
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
    char chunk[8192];
    ReadResult result = ReadResult::Ok;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            content.append(chunk, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            posix::SetLastErrorFromErrno();
            result = ReadResult::Failed;
            break;
        }
    }
    ::close(fd);
    return result;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Replaces the file by a complete new one. A symbolic link is followed, so the link stays.
bool SaveFile(const char* fileName, const std::string& content) {
    std::string target = fileName;
    struct stat st {};
    bool existed = ::stat(fileName, &st) == 0;
    if (existed) {
        if (!S_ISREG(st.st_mode)) {
            SetLastError(err::kAccessDenied);
            return false;
        }
        char resolved[PATH_MAX];
        if (::realpath(fileName, resolved)) target = resolved;
    }
    static std::atomic<unsigned> counter{0};
    const std::string temp = target + ".~" + std::to_string(::getpid()) + "-" +
                             std::to_string(counter.fetch_add(1)) + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        // The file's directory is missing: the system calls that a missing path.
        SetLastError(errno == ENOENT ? err::kPathNotFound : posix::Win32ErrorFromErrno(errno));
        return false;
    }
    bool ok = WriteAll(fd, content) && (!existed || ::fchmod(fd, st.st_mode & 07777) == 0) &&
              ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        SetLastError(posix::Win32ErrorFromErrno(error));
    }
    return ok;
}

// Loads the file for an edit; a missing file is an empty one.
bool LoadForEdit(const char* fileName, std::string& content) {
    return ReadFile(fileName, content) != ReadResult::Failed;
}

std::uint32_t CopyValue(std::string_view value, char* buffer, std::uint32_t size) {
    if (size == 0) return 0;
    const std::size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<std::uint32_t>(n);
}

// Names each terminated, then one more NUL; when cut, the last name is cut short, the list
// still ends in two NULs and the count is size - 2.
std::uint32_t CopyList(const std::vector<std::string_view>& names, char* buffer,
                       std::uint32_t size) {
    if (size == 0) return 0;
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    std::size_t pos = 0;
    for (std::string_view name : names) {
        if (pos + name.size() + 1 > size - 1) {
            const std::size_t room = size - 2 - pos;
            std::memcpy(buffer + pos, name.data(), room);
            buffer[size - 2] = '\0';
            buffer[size - 1] = '\0';
            return size - 2;
        }
        std::memcpy(buffer + pos, name.data(), name.size());
        pos += name.size();
        buffer[pos++] = '\0';
    }
    buffer[pos] = '\0';
    if (pos == 0 && size > 1) buffer[1] = '\0';
    return static_cast<std::uint32_t>(pos);
}

std::vector<std::string_view> SectionNamesOf(const Document& doc) {
    std::vector<std::string_view> names;
    for (const Section& s : doc.Sections()) {
        const std::string_view name = UpToNul(s.name);
        if (s.header != kNone && !name.empty()) names.push_back(name);
    }
    return names;
}

std::vector<std::string_view> KeyNamesOf(const Document& doc, const Section& section) {
    std::vector<std::string_view> names;
    for (std::size_t i = section.first; i < section.last; ++i) {
        const Line& line = doc.Lines()[i];
        const std::string_view name = UpToNul(line.name);
        if (line.kind == Kind::Key && !name.empty()) names.push_back(name);
    }
    return names;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// The new text: `text` with bytes [from, to) replaced by `insert`; a line end is put first
// when the insertion would otherwise continue an unterminated line.
std::string Splice(const Document& doc, std::size_t from, std::size_t to, std::string_view insert) {
    std::string out(doc.Text(), 0, from);
    if (!insert.empty() && !doc.LineEndsBefore(from)) out += kEol;
    out += insert;
    out.append(doc.Text(), to, std::string::npos);
    return out;
}

std::string KeyLine(std::string_view key, std::string_view value) {
    std::string line(Trim(key));
    line += '=';
    line += value;
    line += kEol;
    return line;
}

std::string HeaderLine(std::string_view section) {
    std::string line = "[";
    line += Trim(section);
    line += ']';
    line += kEol;
    return line;
}

// The file's text after writing (or, with a null value, deleting) one key; null key deletes
// the section.
std::string WithKey(const Document& doc, const char* section, const char* key, const char* value) {
    const Section* s = doc.FindSection(section);
    const auto& lines = doc.Lines();
    if (!key) {
        if (!s) return doc.Text();
        const std::size_t from = doc.OffsetOf(s->header != kNone ? s->header : s->first);
        return Splice(doc, from, doc.OffsetOf(s->last), {});
    }
    if (!s) {
        if (!value) return doc.Text();
        return Splice(doc, doc.Text().size(), doc.Text().size(),
                      HeaderLine(section) + KeyLine(key, value));
    }
    const std::size_t found = doc.FindKey(*s, key);
    if (found != kNone) {
        const Line& line = lines[found];
        if (!value) return Splice(doc, line.begin, line.next, {});
        // The key keeps its spelling in the file; only the line's text changes.
        std::string text(line.name);
        text += '=';
        text += value;
        return Splice(doc, line.begin, line.end, text);
    }
    if (!value) return doc.Text();
    const std::size_t at = doc.OffsetOf(doc.EndOfContent(*s));
    return Splice(doc, at, at, KeyLine(key, value));
}

std::string WithSection(const Document& doc, const char* section, const char* entries) {
    std::string block;
    for (const char* p = entries; *p; p += std::strlen(p) + 1) {
        block += p;
        block += kEol;
    }
    const Section* s = doc.FindSection(section);
    if (!s) {
        return Splice(doc, doc.Text().size(), doc.Text().size(), HeaderLine(section) + block);
    }
    return Splice(doc, doc.OffsetOf(s->first), doc.OffsetOf(doc.EndOfContent(*s)), block);
}

bool Edit(const char* fileName, std::string (*change)(const Document&, const char*, const char*,
                                                      const char*),
          const char* a, const char* b, const char* c) {
    std::lock_guard lock(ProfileMutex());
    std::string content;
    if (!LoadForEdit(fileName, content)) return false;
    const Document doc(std::move(content));
    const std::string updated = change(doc, a, b, c);
    return SaveFile(fileName, updated);
}

}  // namespace

std::uint32_t ProfileGetString(const char* section, const char* key, const char* defaultValue,
                               char* buffer, std::uint32_t size, const char* fileName) {
    if (!buffer || !fileName) {
        SetLastError(err::kInvalidParameter);
        return 0;
    }
    std::string content;
    std::lock_guard lock(ProfileMutex());
    const ReadResult read = ReadFile(fileName, content);
    const Document doc(read == ReadResult::Ok ? std::move(content) : std::string{});
    if (!section) return CopyList(SectionNamesOf(doc), buffer, size);
    const Section* s = doc.FindSection(section);
    if (!key) return s ? CopyList(KeyNamesOf(doc, *s), buffer, size) : CopyList({}, buffer, size);
    if (s) {
        const std::size_t found = doc.FindKey(*s, key);
        if (found != kNone) return CopyValue(Unquote(UpToNul(doc.Lines()[found].value)), buffer, size);
    }
    if (read == ReadResult::Missing) SetLastError(err::kFileNotFound);
    // The default loses its trailing blanks, as the system strips them.
    std::string_view fallback = defaultValue ? defaultValue : "";
    while (!fallback.empty() && IsBlank(fallback.back())) fallback.remove_suffix(1);
    return CopyValue(fallback, buffer, size);
}

bool ProfileWriteString(const char* section, const char* key, const char* value,
                        const char* fileName) {
    if (!section || !fileName) {
        SetLastError(err::kInvalidParameter);
        return false;
    }
    if (!profile_text::SectionNameIsSafe(section) || (key && !profile_text::KeyIsSafe(key)) ||
        (value && !profile_text::ValueIsSafe(value)))
        return false;
    return Edit(fileName, WithKey, section, key, value);
}

std::uint32_t ProfileSectionNames(char* buffer, std::uint32_t size, const char* fileName) {
    if (!buffer || !fileName) {
        SetLastError(err::kInvalidParameter);
        return 0;
    }
    return ProfileGetString(nullptr, nullptr, nullptr, buffer, size, fileName);
}

bool ProfileWriteSection(const char* section, const char* keys, const char* fileName) {
    if (!section || !fileName) {
        SetLastError(err::kInvalidParameter);
        return false;
    }
    if (!profile_text::SectionNameIsSafe(section)) return false;
    if (!keys) return Edit(fileName, WithKey, section, nullptr, nullptr);
    if (!profile_text::EntriesAreSafe(keys)) return false;
    return Edit(
        fileName,
        [](const Document& doc, const char* s, const char* k, const char*) {
            return WithSection(doc, s, k);
        },
        section, keys, nullptr);
}

}  // namespace fennex::platform
