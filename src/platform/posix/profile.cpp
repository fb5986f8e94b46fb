// Profile (INI) files as the Win32 profile services read and write them.
//
// Reading: lines end at CR, LF or CRLF. A file that starts with a UTF-16 byte-order mark
// (either byte order) is UTF-16 text, read and written as such; our side of it is UTF-8. A
// UTF-8 byte-order mark is skipped and kept: Windows reads it as part of the first line and
// so loses the first section of a file a user saved with one; we keep that section, as Wine
// does. Spaces around lines and names are dropped, but a tab belongs to a name; values lose
// their blanks at both ends. A line whose first character after its spaces is ';' is a
// comment: never a key, never listed, never replaced or deleted. "[name" opens a section (the
// text up to the first ']', or to the end of the line when there is none; anything after it is
// ignored); "key=value" splits at the first '='; any other line is kept but is not a key. Names
// compare ignoring ASCII case, the first match wins (a repeated section is not looked into).
// Lines before the first header are read as the section "" when the file has no "[]" header;
// writes to "" go to a "[]" section. A value stops at a NUL byte, and one pair of matching
// quotes around it is removed.
//
// Writing edits the text in place: every line we do not change stays byte for byte as it was.
// Lines we write end in CRLF, as Windows writes them, whatever the rest of the file uses;
// both conventions are read everywhere. A file is replaced by writing a temporary file beside
// it and renaming it over the old one, so a failed write leaves the old file whole. A file
// without any write permission is refused (5), as the system refuses a read-only file.
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

// Names lose their spaces only: a tab is part of a name.
std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

bool IsComment(std::string_view name) { return !name.empty() && name.front() == ';'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

// --- UTF-16 files: decoded to UTF-8 for reading and editing, encoded back when saved.

enum class Encoding { Bytes, Utf16Le, Utf16Be };

struct FileText {
    Encoding encoding = Encoding::Bytes;
    std::string text;       // the file's bytes, or its UTF-16 decoded to UTF-8
    std::string oddByte;    // a UTF-16 file's last byte when its length is odd, kept as it was
};

void AppendUtf8(std::uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// A surrogate without its partner is carried as the three bytes of its own number (as
// WTF-8 does), so that a file we only edit elsewhere keeps it.
FileText Decode(std::string raw) {
    FileText file;
    const bool le = raw.size() >= 2 && raw[0] == '\xFF' && raw[1] == '\xFE';
    const bool be = raw.size() >= 2 && raw[0] == '\xFE' && raw[1] == '\xFF';
    if (!le && !be) {
        file.text = std::move(raw);
        return file;
    }
    file.encoding = le ? Encoding::Utf16Le : Encoding::Utf16Be;
    const std::size_t units = (raw.size() - 2) / 2;
    if (raw.size() % 2) file.oddByte = raw.substr(raw.size() - 1);
    auto unit = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(raw[2 + 2 * i]);
        const auto b = static_cast<unsigned char>(raw[3 + 2 * i]);
        return static_cast<std::uint32_t>(le ? (b << 8 | a) : (a << 8 | b));
    };
    file.text.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t cp = unit(i);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units) {
            const std::uint32_t low = unit(i + 1);
            if (low >= 0xDC00 && low < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(cp, file.text);
    }
    return file;
}

// The next code point of UTF-8 `text` at `pos`; a byte that starts no valid sequence is
// U+FFFD, as a character the file cannot hold.
std::uint32_t NextCodePoint(std::string_view text, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    const std::size_t length = lead < 0x80                  ? 1
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                               : lead >= 0xE0                ? 3
                               : lead >= 0xC2                ? 2
                                                             : 0;
    if (length == 0 || pos + length > text.size()) {
        ++pos;
        return 0xFFFD;
    }
    std::uint32_t cp = lead & (0xFFu >> (length == 1 ? 0 : length + 1));
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = cp << 6 | (byte(pos + i) & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[length] || cp > 0x10FFFF) {
        ++pos;
        return 0xFFFD;
    }
    pos += length;
    return cp;
}

std::string Encode(const FileText& file) {
    if (file.encoding == Encoding::Bytes) return file.text;
    const bool le = file.encoding == Encoding::Utf16Le;
    std::string out;
    out.reserve(2 + 2 * file.text.size() + file.oddByte.size());
    auto put = [&](std::uint32_t u) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += le ? lo : hi;
        out += le ? hi : lo;
    };
    put(0xFEFF);
    for (std::size_t pos = 0; pos < file.text.size();) {
        const std::uint32_t cp = NextCodePoint(file.text, pos);
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    out += file.oddByte;
    return out;
}

enum class Kind { Other, Section, Key, Comment };

struct Line {
    std::size_t begin;  // first byte of the line
    std::size_t end;    // end of its text, before the line end
    std::size_t next;   // first byte after the line end
    Kind kind = Kind::Other;
    std::string_view name;   // section or key name, without its spaces
    std::string_view value;  // key value, trimmed
};

struct Section {
    std::string_view name;
    std::size_t header;  // line index of "[name]"; kNone for the lines before the first header
    std::size_t first;   // first line after the header
    std::size_t last;    // one past its last line
};

void Classify(std::string_view text, Line& line) {
    const std::string_view content = TrimSpaces(text.substr(line.begin, line.end - line.begin));
    if (content.empty()) return;
    if (IsComment(content)) {
        line.kind = Kind::Comment;
        return;
    }
    if (content.front() == '[') {
        // The name ends at the first ']'; a header that lost its ']' still opens the section.
        const std::size_t close = content.find(']');
        line.kind = Kind::Section;
        line.name = TrimSpaces(content.substr(1, close == content.npos ? content.npos : close - 1));
        return;
    }
    const std::size_t equals = content.find('=');
    if (equals == content.npos) return;
    line.kind = Kind::Key;
    line.name = TrimSpaces(content.substr(0, equals));
    line.value = Trim(content.substr(equals + 1));
}

// One file's text and its structure. The views point into `text`.
class Document {
public:
    explicit Document(std::string content) : text_(std::move(content)) { Parse(); }

    const std::string& Text() const { return text_; }
    const std::vector<Line>& Lines() const { return lines_; }
    const std::vector<Section>& Sections() const { return sections_; }

    // The first section of that name with a header. Reading "" falls back to the lines before
    // the first header.
    const Section* FindSection(std::string_view name, bool forReading) const {
        name = TrimSpaces(name);
        for (const Section& s : sections_)
            if (s.header != kNone && SameName(s.name, name)) return &s;
        return forReading && name.empty() ? &sections_.front() : nullptr;
    }

    std::size_t FindKey(const Section& section, std::string_view key) const {
        key = TrimSpaces(key);
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

// The error of a file that is not there: a missing file, or a missing directory on its way.
std::uint32_t MissingError(const char* fileName) {
    const std::string_view name(fileName);
    const std::size_t slash = name.rfind('/');
    if (slash == name.npos || slash == 0) return err::kFileNotFound;
    struct stat st {};
    const std::string directory(name.substr(0, slash));
    return ::stat(directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? err::kFileNotFound
                                                                       : err::kPathNotFound;
}

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadFile(const char* fileName, FileText& file) {
    file = {};
    const int fd = ::open(fileName, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            SetLastError(MissingError(fileName));
            return ReadResult::Missing;
        }
        posix::SetLastErrorFromErrno();
        return ReadResult::Failed;
    }
    std::string content;
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
    if (result == ReadResult::Ok) file = Decode(std::move(content));
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
        // Not a file, or a file nobody may write: what the system reports for a read-only file.
        if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) {
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
    if (ok && !FileReplace(temp.c_str(), target.c_str())) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        SetLastError(posix::Win32ErrorFromErrno(error));
    }
    return ok;
}

std::uint32_t CopyValue(std::string_view value, char* buffer, std::uint32_t size) {
    if (size == 0) return 0;
    std::size_t n = value.size();
    if (n > size - 1) {
        n = size - 1;
        SetLastError(err::kMoreData);
    }
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<std::uint32_t>(n);
}

// Names each terminated, then one more NUL. A name goes in whole only while a byte stays free
// behind its NUL; otherwise the list is cut there: as much of the name as fits, two NULs and
// the count size - 2. So a list that fills the buffer exactly is whole but counted as cut, as
// the system counts it.
std::uint32_t CopyList(const std::vector<std::string_view>& names, char* buffer,
                       std::uint32_t size) {
    if (size == 0) return 0;
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    std::size_t pos = 0;
    for (std::string_view name : names) {
        if (pos + name.size() + 1 >= size - 1) {
            const std::size_t room = size - 2 - pos;
            std::memcpy(buffer + pos, name.data(), room);
            buffer[size - 2] = '\0';
            buffer[size - 1] = '\0';
            SetLastError(err::kMoreData);
            return size - 2;
        }
        std::memcpy(buffer + pos, name.data(), name.size());
        pos += name.size();
        buffer[pos++] = '\0';
    }
    buffer[pos] = '\0';
    if (pos == 0) buffer[1] = '\0';
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
    std::string line(TrimSpaces(key));
    line += '=';
    line += value;
    line += kEol;
    return line;
}

std::string HeaderLine(std::string_view section) {
    std::string line = "[";
    line += TrimSpaces(section);
    line += ']';
    line += kEol;
    return line;
}

// The section's lines gone, but for the comments that stood among them.
std::string WithoutSection(const Document& doc, const Section& s) {
    const std::string& text = doc.Text();
    std::string out(text, 0, doc.OffsetOf(s.header));
    for (std::size_t i = s.first; i < s.last; ++i) {
        const Line& line = doc.Lines()[i];
        if (line.kind == Kind::Comment) out.append(text, line.begin, line.next - line.begin);
    }
    out.append(text, doc.OffsetOf(s.last), std::string::npos);
    return out;
}

// The file's text after writing (or, with a null value, deleting) one key; null key deletes
// the section. A comment is never a key: writing one adds a line, deleting one does nothing.
std::string WithKey(const Document& doc, const char* section, const char* key, const char* value) {
    const Section* s = doc.FindSection(section, false);
    const auto& lines = doc.Lines();
    if (!key) return s ? WithoutSection(doc, *s) : doc.Text();
    if (!value) {
        const std::size_t found = s ? doc.FindKey(*s, key) : kNone;
        return found == kNone ? doc.Text() : Splice(doc, lines[found].begin, lines[found].next, {});
    }
    if (!s) {
        return Splice(doc, doc.Text().size(), doc.Text().size(),
                      HeaderLine(section) + KeyLine(key, value));
    }
    const std::size_t found = doc.FindKey(*s, key);
    if (found != kNone) {
        const Line& line = lines[found];
        // The key keeps its spelling in the file; only the line's text changes. A last line
        // that had no line end gets one.
        std::string text(line.name);
        text += '=';
        text += value;
        if (line.next == line.end) text += kEol;
        return Splice(doc, line.begin, line.end, text);
    }
    const std::size_t at = doc.OffsetOf(doc.EndOfContent(*s));
    return Splice(doc, at, at, KeyLine(key, value));
}

std::string WithSection(const Document& doc, const char* section, const char* entries) {
    std::string block;
    for (const char* p = entries; *p; p += std::strlen(p) + 1) {
        block += p;
        block += kEol;
    }
    const Section* s = doc.FindSection(section, false);
    if (!s) {
        return Splice(doc, doc.Text().size(), doc.Text().size(), HeaderLine(section) + block);
    }
    return Splice(doc, doc.OffsetOf(s->first), doc.OffsetOf(doc.EndOfContent(*s)), block);
}

// Loads the file (a missing one is empty), changes its text and saves it in its own encoding.
bool Edit(const char* fileName, std::string (*change)(const Document&, const char*, const char*,
                                                      const char*),
          const char* a, const char* b, const char* c) {
    std::lock_guard lock(ProfileMutex());
    FileText file;
    if (ReadFile(fileName, file) == ReadResult::Failed) return false;
    const Document doc(std::move(file.text));
    file.text = change(doc, a, b, c);
    if (!SaveFile(fileName, Encode(file))) return false;
    SetLastError(err::kSuccess);
    return true;
}

}  // namespace

std::uint32_t ProfileGetString(const char* section, const char* key, const char* defaultValue,
                               char* buffer, std::uint32_t size, const char* fileName) {
    if (!buffer || !fileName) {
        SetLastError(err::kInvalidParameter);
        return 0;
    }
    FileText file;
    std::lock_guard lock(ProfileMutex());
    ReadFile(fileName, file);  // a file that cannot be read leaves `file` empty
    const Document doc(std::move(file.text));
    if (!section) return CopyList(SectionNamesOf(doc), buffer, size);
    const Section* s = doc.FindSection(section, true);
    if (!key) return s ? CopyList(KeyNamesOf(doc, *s), buffer, size) : CopyList({}, buffer, size);
    if (s) {
        const std::size_t found = doc.FindKey(*s, key);
        if (found != kNone) return CopyValue(Unquote(UpToNul(doc.Lines()[found].value)), buffer, size);
    }
    // The default loses its trailing spaces, as the system strips them; tabs stay.
    std::string_view fallback = defaultValue ? defaultValue : "";
    while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
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
