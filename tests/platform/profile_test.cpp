// One table of profile-file behaviours that both implementations must show: natively it runs
// against our own, cross-built under Wine against the system's.

#include <random>

#include "fixture.h"

namespace fennex::test {
namespace {

using namespace fennex::platform;
using namespace std::string_literals;
namespace fs = std::filesystem;

enum class K { Get, Names, Write, WriteSection, Contains, Is };

constexpr std::uint32_t kAnyError = 0xFFFFFFFF;

struct Op {
    K kind;
    const char* section = nullptr;
    const char* key = nullptr;
    const char* value = nullptr;  // Get: the default; Write: the value (null deletes)
    std::uint32_t size = 0;
    // Get: the value; Names: the bytes both systems agree on; WriteSection: the list;
    // Contains: a file excerpt; Is: the whole file.
    std::string text{};
    std::uint32_t count = 0;          // Get, Names: the returned count
    bool ok = true;                   // Write, WriteSection; a refusal sets 87
    std::uint32_t error = kAnyError;  // the last error the call leaves, when it matters
};

Op Get(const char* s, const char* k, const char* def, std::uint32_t size, std::uint32_t count,
       std::string text) {
    return {K::Get, s, k, def, size, std::move(text), count};
}
Op Value(const char* s, const char* k, std::string text) {
    const auto count = static_cast<std::uint32_t>(text.size());
    return Get(s, k, "<default>", 1024, count, std::move(text));
}
Op Missing(const char* s, const char* k) { return Value(s, k, "<default>"); }
Op Names(std::uint32_t size, std::uint32_t count, std::string bytes) {
    return {K::Names, nullptr, nullptr, nullptr, size, std::move(bytes), count};
}
Op Write(const char* s, const char* k, const char* value, bool ok = true) {
    return {.kind = K::Write, .section = s, .key = k, .value = value, .ok = ok};
}
Op WriteSection(const char* s, std::string list, bool ok = true) {
    return {.kind = K::WriteSection, .section = s, .text = std::move(list), .ok = ok};
}
Op Contains(std::string excerpt) { return {.kind = K::Contains, .text = std::move(excerpt)}; }
Op Is(std::string content) { return {.kind = K::Is, .text = std::move(content)}; }
Op Error(Op op, std::uint32_t error) {
    op.error = error;
    return op;
}

struct ProfileCase {
    const char* name;
    std::optional<std::string> content;  // none: no file
    std::vector<Op> ops;
    const char* wineDiffers = nullptr;  // how Wine answers where it differs from Windows
    std::string fileName = "profile.ini";
    bool readOnly = false;
};

// The text as a UTF-16 file with its byte-order mark (ASCII texts only).
std::string Utf16(std::string_view text, bool littleEndian) {
    std::string out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (char c : text) out += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
    return out;
}

const std::string kLongValue(5000, 'v');
const std::string kLongLine = "junk" + std::string(100000, 'j');
const std::string kClassic =
    "; comment\r\n[Camera]\r\n;note\r\nGain=12\r\nShutter = 300 \r\n\r\n[Trigger]\r\nMode=1\r\n";
const std::string kWide = "\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0\xE9\0\x3D\xD8\x00\xDE\x00\xD8\r\0\n\0"s;

const std::vector<ProfileCase> kCases = {
    {"names ignore case; blanks around names and values are trimmed", kClassic,
     {Value("camera", "GAIN", "12"), Value("CAMERA", " shutter ", "300"), Value("trigger", "MODE", "1")}},
    {"LF line ends and a missing final newline", "[s]\nk=lf\nj=last",
     {Value("s", "k", "lf"), Write("s", "n", "1"), Value("s", "j", "last"), Value("s", "n", "1")}},
    {"missing key or section gives the default without trailing blanks", kClassic,
     {Missing("camera", "nothing"), Missing("nothing", "gain"), Get("camera", "x", "def  ", 16, 3, "def"),
      Get("camera", "x", " \tdef\t ", 16, 6, " \tdef\t"), Get("camera", "x", nullptr, 16, 0, "")}},
    {"a value keeps every '=' after the first; one pair of matching quotes is dropped",
     "[s]\r\nk=a=b=c\r\nq=\"x=1\"\r\nh='y'\r\nm=\"z'\r\ne=\"\"\r\n",
     {Value("s", "k", "a=b=c"), Value("s", "q", "x=1"), Value("s", "h", "y"), Value("s", "m", "\"z'"),
      Get("s", "e", "<default>", 16, 0, ""), Write("s", "w", "p=\"q\""), Value("s", "w", "p=\"q\""),
      Write("s", "n", "'r'"), Value("s", "n", "r"), Contains("w=p=\"q\"\r\nn='r'\r\n")}},
    {"an empty value is a value; a line without '=' is not a key", "[s]\r\nnoequals\r\nk=\r\n",
     {Missing("s", "noequals"), Get("s", "k", "<default>", 16, 0, "")}},
    {"values are cut to the buffer and always terminated", "[s]\r\nk=abcdef\r\n",
     {Get("s", "k", "", 4, 3, "abc"), Get("s", "k", "", 6, 5, "abcde"), Get("s", "k", "", 7, 6, "abcdef"),
      Get("s", "k", "", 1, 0, ""), Get("s", "k", "", 0, 0, "")}},
    {"a missing file reads as empty and reports 2", std::nullopt,
     {Error(Missing("s", "k"), err::kFileNotFound), Error(Names(10, 0, "\0"s), err::kFileNotFound)}},
    // A list that fills the buffer exactly is whole but counted as cut. A cut list counts
    // size - 2 and ends at byte size - 2. Windows also writes a NUL into the last byte; Wine
    // leaves it, so the table does not look at it.
    {"section and key names as double-NUL lists", "[abc]\r\n[defgh]\r\nab=1\r\ncd=2\r\n",
     {Names(20, 10, "abc\0defgh\0\0"s), Names(12, 10, "abc\0defgh\0\0"s), Names(11, 9, "abc\0defgh\0"s),
      Names(7, 5, "abc\0d\0"s), Names(5, 3, "abc\0"s), Names(2, 0, "\0"s), Names(1, 0, ""), Names(0, 0, ""),
      Get("defgh", nullptr, "", 8, 6, "ab\0cd\0\0"s), Get("defgh", nullptr, "", 7, 5, "ab\0cd\0"s)}},
    {"writing creates the file and the section", std::nullopt,
     {Write("s", "k", "v"), Value("s", "k", "v"), Names(10, 2, "s\0\0"s)}},
    {"writing replaces a key in place and keeps the rest", kClassic,
     {Write("CAMERA", "gain", "99"), Value("camera", "gain", "99"), Value("trigger", "mode", "1"),
      Contains("; comment\r\n"), Contains(";note\r\nGain=99\r\nShutter")}},
    {"a new key goes to the end of its section, a new section to the end of the file",
     "[s]\r\nk=v\r\n\r\n[t]\r\na=1\r\n",
     {Write("s", "n", "2"), Contains("k=v\r\nn=2\r\n"), Write("New", "x", "y"),
      Names(16, 8, "s\0t\0New\0\0"s), Value("t", "a", "1")}},
    {"a section list replaces the section's keys", "[s]\r\nk=v\r\nj=w\r\n[t]\r\na=1\r\n",
     {WriteSection("S", "x=1\0y=2\0\0"s), Missing("s", "k"), Value("s", "x", "1"), Value("s", "y", "2"),
      Value("t", "a", "1"), Names(10, 4, "s\0t\0\0"s)}},
    {"an empty section list leaves an empty section", "[a]\r\nk=v\r\n",
     {WriteSection("e", "\0"s), Names(10, 4, "a\0e\0\0"s), Get("e", nullptr, "", 10, 0, "\0"s),
      Value("a", "k", "v")}},
    {"texts that would inject lines are refused and change nothing", kClassic,
     {Write("camera", "gain", "1\r\nInjected=1", false), Write("camera", "a=b", "1", false),
      Write("camera", "[Other]", "1", false), Write("a\r\nb", "k", "1", false),
      Write("camera]x", "k", "1", false), WriteSection("camera", "ok=1\0bad\r\n[x]\0\0"s, false),
      WriteSection("camera", " [x]=1\0\0"s, false), Is(kClassic)}},
    {"over-long values are cut to the buffer", std::nullopt,
     {Write("s", "long", kLongValue.c_str()), Get("s", "long", "", 1024, 1023, kLongValue.substr(0, 1023)),
      Get("s", "long", "", 6000, 5000, kLongValue)}},
    {"over-long lines are read past", "[s]\r\n" + kLongLine + "\r\nk=after\r\n" + kLongLine,
     {Value("s", "k", "after"), Write("s", "n", "1"), Value("s", "n", "1"), Value("s", "k", "after")}},
    {"a comment line is never a key", "[s]\r\n;c=1\r\nk=v\r\n\r\n[t]\r\n ;keep\r\na=1\r\n",
     {Missing("s", ";c"), Get("s", nullptr, "", 16, 2, "k\0\0"s), Write("s", ";c", "2"),
      Write("s", ";c", nullptr), Write("t", nullptr, nullptr),
      Is("[s]\r\n;c=1\r\nk=v\r\n;c=2\r\n\r\n ;keep\r\n")},
     "Wine reads ';c=1' as a key, replaces and deletes it, and deletes a section's comments"},
    {"UTF-16 files, little-endian", Utf16("[s]\r\nk=v\r\n", true),
     {Value("s", "k", "v"), Write("s", "n", "1"), Is(Utf16("[s]\r\nk=v\r\nn=1\r\n", true))}},
    {"UTF-16 files, big-endian", Utf16("[s]\r\nk=v\r\n", false),
     {Value("s", "k", "v"), Write("s", "k", "2"), Names(4, 2, "s\0\0"s),
      Is(Utf16("[s]\r\nk=2\r\n", false))}},
    {"UTF-16 text beyond ASCII reads as UTF-8 and is kept as it was", kWide,
     {Value("s", "k", "\xC3\xA9\xF0\x9F\x98\x80\xED\xA0\x80"), Write("s", "n", "1"),
      Is(kWide + "n\0=\0\x31\0\r\0\n\0"s)},
     "Wine reads into its ANSI code page, ours is UTF-8"},
    // Windows itself reads the mark as part of the first line and so loses its section; we
    // read past it, as Wine does, and keep it.
    {"a UTF-8 byte-order mark is read past and kept", "\xEF\xBB\xBF[s]\r\nk=v\r\n",
     {Value("s", "k", "v"), Write("s", "n", "1"), Is("\xEF\xBB\xBF[s]\r\nk=v\r\nn=1\r\n")}},
    {"a header without ']' opens its section; a name ends at the first ']'",
     "[s\r\nk=v\r\n[a]b]\r\nj=w\r\n",
     {Value("s", "k", "v"), Value("a", "j", "w"), Missing("a]b", "j"), Names(16, 4, "s\0a\0\0"s)},
     "Wine drops a header without ']' and ends a name at the last ']'"},
    {"spaces around names are dropped, tabs are part of them",
     "[s]\r\n\tk=v\r\nj\t=w\r\n  sp  =x\r\n[\tt]\r\na=1\r\n",
     {Missing("s", "k"), Value("s", "\tk", "v"), Missing("s", "j"), Value("s", "j\t", "w"),
      Value(" s ", " sp ", "x"), Missing("t", "a"), Value("\tt", "a", "1"), Write(" s ", " n\t ", "1"),
      Write(" u ", " m ", "1"),
      Is("[s]\r\n\tk=v\r\nj\t=w\r\n  sp  =x\r\nn\t=1\r\n[\tt]\r\na=1\r\n[u]\r\nm=1\r\n")},
     "Wine strips tabs around names as it strips spaces"},
    {"the empty section name is a [] header", std::nullopt,
     {Write("", "k", "v"), Is("[]\r\nk=v\r\n"), Value("", "k", "v")},
     "Wine writes the keys of \"\" without a header"},
    {"rewriting a last line without a line end gives it one", "[s]\r\nk=v",
     {Write("s", "k", "w"), Is("[s]\r\nk=w\r\n")}},
    {"a cut value or list reports 234; a good write leaves the last error 0", "[abc]\r\nk=abcdef\r\n",
     {Error(Get("abc", "k", "", 4, 3, "abc"), err::kMoreData), Error(Names(3, 1, "a\0\0"s), err::kMoreData),
      Error(Get("abc", nullptr, "", 2, 0, "\0\0"s), err::kMoreData),
      Error(Write("abc", "k", "1"), err::kSuccess), Error(WriteSection("abc", "k=2\0\0"s), err::kSuccess)},
     "Wine leaves the last error as it was after a cut result and after a good write"},
    {"a directory is no file to write", std::nullopt,
     {Error(Write("s", "k", "v", false), err::kAccessDenied), Get("s", "k", "d", 16, 1, "d")},
     nullptr, "."},
    {"a missing directory is reported as such and not made", std::nullopt,
     {Error(Write("s", "k", "v", false), err::kPathNotFound),
      Error(Get("s", "k", "d", 16, 1, "d"), err::kPathNotFound)},
     nullptr, "no-such-dir/x.ini"},
    {"a read-only file is refused and kept", "[s]\r\nk=old\r\n",
     {Error(Write("s", "k", "v", false), err::kAccessDenied), Value("s", "k", "old")},
     "Wine writes into a read-only file (at least as root)", "read-only.ini", true},
    {"binary junk is read past",
     "\x01\x02\xFF\xFE\x7F\r\n[s]\r\njunk\x01\xFFzz\r\n\x80\x81=\x82\r\nk=v\r\n"s,
     {Value("s", "k", "v"), Write("s", "n", "1"), Value("s", "n", "1"), Value("s", "k", "v")}},
};

void Apply(const Op& op, const std::string& file) {
    // A stale error that the call must overwrite when its last error is looked at.
    SetLastError(op.error == kAnyError ? 0 : 0xBADu);
    std::vector<char> buffer(op.size + 8, 'X');
    const char* f = file.c_str();
    switch (op.kind) {
        case K::Get:
        case K::Names: {
            char* b = buffer.data();
            const std::uint32_t count = op.kind == K::Names
                                            ? ProfileSectionNames(b, op.size, f)
                                            : ProfileGetString(op.section, op.key, op.value, b, op.size, f);
            EXPECT_EQ(count, op.count) << (op.key ? op.key : "(null)") << " size " << op.size;
            const std::size_t agreed = op.kind == K::Names ? op.text.size() : count;
            EXPECT_EQ(std::string(buffer.data(), agreed), op.text.substr(0, agreed));
            if (op.kind == K::Get && op.size > 0) {
                EXPECT_EQ(buffer[count], '\0') << "unterminated";
            }
            EXPECT_EQ(buffer[op.size], 'X') << "written past the buffer of " << op.size;
            break;
        }
        case K::Write:
        case K::WriteSection:
            EXPECT_EQ(op.kind == K::Write ? ProfileWriteString(op.section, op.key, op.value, f)
                                          : ProfileWriteSection(op.section, op.text.c_str(), f),
                      op.ok)
                << op.section << "/" << (op.key ? op.key : "(null)");
            if (!op.ok && op.error == kAnyError) {
                EXPECT_EQ(LastError(), err::kInvalidParameter);
            }
            break;
        case K::Contains: EXPECT_NE(ReadFile(file).find(op.text), std::string::npos) << op.text; break;
        case K::Is: EXPECT_EQ(ReadFile(file), op.text); break;
    }
    if (op.error != kAnyError) {
        EXPECT_EQ(LastError(), op.error);
    }
}

TEST(PlatformProfile, BehavesAsTheSystemProfileServices) {
    for (const ProfileCase& c : kCases) {
        SCOPED_TRACE(c.name);
        if (c.wineDiffers && RunningUnderWine()) {
            std::printf("not held under Wine: %s (%s)\n", c.name, c.wineDiffers);
            continue;
        }
        ScratchDirectory dir;
        const std::string file = dir.File(c.fileName);
        if (c.content) WriteFile(file, *c.content);
        const auto writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
        if (c.readOnly) fs::permissions(file, writable, fs::perm_options::remove);
        for (const Op& op : c.ops) Apply(op, file);
        if (c.readOnly) fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
        // Whatever happened, only the file itself is left in its directory.
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            EXPECT_EQ(entry.path().filename().string(), c.fileName);
    }
}

TEST(PlatformProfile, WritesFromTwoThreadsAreAllKept) {
    ScratchDirectory dir;
    const std::string file = dir.File("shared.ini");
    auto writeKeys = [&](char prefix) {
        for (int i = 0; i < 40; ++i) {
            const std::string key = prefix + std::to_string(i);
            EXPECT_TRUE(ProfileWriteString("shared", key.c_str(), key.c_str(), file.c_str()));
        }
    };
    std::thread a(writeKeys, 'a'), b(writeKeys, 'b');
    a.join();
    b.join();
    for (char prefix : {'a', 'b'}) {
        for (int i = 0; i < 40; ++i) {
            const std::string key = prefix + std::to_string(i);
            char buffer[16];
            ProfileGetString("shared", key.c_str(), "", buffer, sizeof buffer, file.c_str());
            EXPECT_EQ(std::string(buffer), key);
        }
    }
}

// --- file search and deletion

std::string Join(const std::string& dir, const std::string& name) { return dir + PathSeparator() + name; }

TEST(PlatformFiles, SearchFollowsTheDocumentedOrderAndDeleteReportsMissingFiles) {
    ScratchDirectory dir;
    const ScopedCurrentDirectory inDir(dir.Path());
    const std::string cwd = fs::current_path().string(), exeDir = HostExecutableDirectory();
    EXPECT_TRUE(fs::exists(Join(exeDir, "fennex_tests")) || fs::exists(Join(exeDir, "fennex_tests.exe")));
    const std::string tag = std::to_string(std::random_device()());
    const std::string inExeOnly = "fennex-exe-only-" + tag + ".ini", inBoth = "fennex-both-" + tag + ".ini";
    fs::create_directories(dir.Path() / "sub");
    for (const std::string& f : {Join(cwd, "here.ini"), Join(Join(cwd, "sub"), "nested.ini"),
                                 Join(exeDir, inExeOnly), Join(exeDir, inBoth), Join(cwd, inBoth)})
        WriteFile(f, "x");
    const struct {
        std::string fileName;
        std::string expected;  // full path; empty when not found
    } cases[] = {
        {"here.ini", Join(cwd, "here.ini")},
        {Join("sub", "nested.ini"), Join(Join(cwd, "sub"), "nested.ini")},  // a directory part, as given
        {inExeOnly, Join(exeDir, inExeOnly)},
        {inBoth, Join(exeDir, inBoth)},  // the executable's directory before the current one
        {Join("sub", "here.ini"), ""},   // a directory part is not searched elsewhere
        {"fennex-nowhere-" + tag + ".ini", ""},
    };
    char buffer[1024];
    for (const auto& c : cases) {
        SetLastError(0);
        const std::uint32_t n = FileSearch(c.fileName.c_str(), buffer, sizeof buffer);
        EXPECT_EQ(n, c.expected.size()) << c.fileName;
        if (c.expected.empty()) {
            EXPECT_EQ(LastError(), err::kFileNotFound);
        }
        if (c.expected.empty() || n != c.expected.size()) continue;
#ifdef _WIN32
        EXPECT_EQ(_stricmp(buffer, c.expected.c_str()), 0) << buffer << " vs " << c.expected;
#else
        EXPECT_EQ(buffer, c.expected);
#endif
        // Too small a buffer: the size needed, terminator included.
        EXPECT_EQ(FileSearch(c.fileName.c_str(), buffer, 4), c.expected.size() + 1);
    }
    SetLastError(0);
    EXPECT_EQ(FileSearch("", buffer, 4), 0u);
    EXPECT_EQ(LastError(), err::kInvalidParameter);
    for (const std::string& f : {Join(exeDir, inExeOnly), Join(exeDir, inBoth)}) {
        EXPECT_TRUE(FileDelete(f.c_str()));
        EXPECT_FALSE(fs::exists(f));
        SetLastError(0);
        EXPECT_FALSE(FileDelete(f.c_str()));
        EXPECT_EQ(LastError(), err::kFileNotFound);
    }
}

}  // namespace
}  // namespace fennex::test
