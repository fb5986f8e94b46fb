// One table of profile-file behaviours that both implementations must show: natively it runs
// against our own, cross-built under Wine against the system's.

#include <random>

#include "fixture.h"

namespace fennex::test {
namespace {

using namespace fennex::platform;

using namespace std::string_literals;
namespace fs = std::filesystem;

enum class OpKind { Get, Names, Write, WriteSection, Contains, Is, Unchanged };

constexpr std::uint32_t kAnyError = 0xFFFFFFFF;

struct Op {
    OpKind kind = OpKind::Get;
    const char* section = nullptr;
    const char* key = nullptr;
    const char* value = nullptr;  // the default for Get
    std::uint32_t size = 0;
    std::string text{};           // Get: value; Names: the bytes both systems agree on;
                                  // WriteSection: the list; Contains: a file excerpt
    std::uint32_t count = 0;      // Get, Names: the returned count
    bool ok = true;               // Write, WriteSection; a refusal sets 87
    std::uint32_t error = kAnyError;  // the last error the call leaves, when it matters
};

Op Get(const char* section, const char* key, const char* def, std::uint32_t size,
       std::uint32_t count, std::string text) {
    return {.kind = OpKind::Get, .section = section, .key = key, .value = def, .size = size,
            .text = std::move(text), .count = count};
}
Op Value(const char* section, const char* key, std::string text) {
    const auto count = static_cast<std::uint32_t>(text.size());
    return Get(section, key, "<default>", 1024, count, std::move(text));
}
Op Missing(const char* section, const char* key) { return Value(section, key, "<default>"); }
Op Names(std::uint32_t size, std::uint32_t count, std::string bytes) {
    return {.kind = OpKind::Names, .size = size, .text = std::move(bytes), .count = count};
}
Op Write(const char* section, const char* key, const char* value, bool ok = true) {
    return {.kind = OpKind::Write, .section = section, .key = key, .value = value, .ok = ok};
}
Op Refused(const char* section, const char* key, const char* value) {
    return Write(section, key, value, false);
}
Op WriteSection(const char* section, std::string list, bool ok = true) {
    return {.kind = OpKind::WriteSection, .section = section, .text = std::move(list), .ok = ok};
}
Op Delete(const char* section, const char* key = nullptr) { return Write(section, key, nullptr); }
Op Contains(std::string excerpt) { return {.kind = OpKind::Contains, .text = std::move(excerpt)}; }
Op Is(std::string content) { return {.kind = OpKind::Is, .text = std::move(content)}; }
Op Error(Op op, std::uint32_t error) {
    op.error = error;
    return op;
}
Op Unchanged() { return {.kind = OpKind::Unchanged}; }

struct ProfileCase {
    const char* name;
    bool fileExists;
    std::string content;
    std::vector<Op> ops;
    const char* wineDiffers = nullptr;  // how Wine answers where it differs from Windows
};

// The text as a UTF-16 file with its byte-order mark (ASCII texts only).
std::string Utf16(std::string_view text, bool littleEndian) {
    std::string out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (char c : text) out += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
    return out;
}

const std::string kLongValue(5000, 'v');
const std::string kLongLine = "junk" + std::string(100000, 'j');

std::vector<ProfileCase> Cases() {
    const std::string classic =
        "; comment\r\n[Camera]\r\n;note\r\nGain=12\r\nShutter = 300 \r\n\r\n[Trigger]\r\nMode=1\r\n";
    return {
        {"names compare ignoring case; blanks around names and values are trimmed", true, classic,
         {Value("camera", "GAIN", "12"), Value("CAMERA", " shutter ", "300"), Value("trigger", "MODE", "1")}},
        {"LF line ends and a missing final newline", true, "[s]\nk=lf\nj=last",
         {Value("s", "k", "lf"), Write("s", "n", "1"), Value("s", "j", "last"), Value("s", "n", "1")}},
        {"missing key or section gives the default without trailing blanks", true, classic,
         {Missing("camera", "nothing"), Missing("nothing", "gain"),
          Get("camera", "nothing", "def  ", 16, 3, "def"), Get("camera", "nothing", " \tdef\t ", 16, 6, " \tdef\t"),
          Get("camera", "nothing", nullptr, 16, 0, "")}},
        {"a value keeps every '=' after the first; one pair of matching quotes is dropped", true,
         "[s]\r\nk=a=b=c\r\nq=\"x=1\"\r\nh='y'\r\nm=\"z'\r\ne=\"\"\r\n",
         {Value("s", "k", "a=b=c"), Value("s", "q", "x=1"), Value("s", "h", "y"), Value("s", "m", "\"z'"),
          Get("s", "e", "<default>", 16, 0, ""), Write("s", "w", "p=\"q\""), Value("s", "w", "p=\"q\""),
          Write("s", "n", "'r'"), Value("s", "n", "r"), Contains("w=p=\"q\"\r\nn='r'\r\n")}},
        {"an empty value is a value; a line without '=' is not a key", true, "[s]\r\nnoequals\r\nk=\r\n",
         {Missing("s", "noequals"), Get("s", "k", "<default>", 16, 0, "")}},
        {"values are cut to the buffer and always terminated", true, "[s]\r\nk=abcdef\r\n",
         {Get("s", "k", "", 4, 3, "abc"), Get("s", "k", "", 7, 6, "abcdef"), Get("s", "k", "", 1, 0, ""),
          Get("s", "k", "", 0, 0, "")}},
        {"a missing file reads as empty and reports 2", false, "",
         {Error(Missing("s", "k"), err::kFileNotFound), Error(Names(10, 0, "\0"s), err::kFileNotFound)}},
        // A list that fills the buffer exactly is whole but counted as cut. Windows ends it in
        // the last byte; Wine leaves that byte, so the table does not look at it.
        {"section and key names as double-NUL lists", true, "[abc]\r\n[defgh]\r\nab=1\r\ncd=2\r\n",
         {Names(20, 10, "abc\0defgh\0\0"s), Names(12, 10, "abc\0defgh\0\0"s), Names(11, 9, "abc\0defgh\0"s),
          Get("defgh", nullptr, "", 8, 6, "ab\0cd\0\0"s), Get("defgh", nullptr, "", 7, 5, "ab\0cd\0"s)}},
        // Cut lists: the count is size - 2 and the byte at size - 2 ends the list. Windows also
        // writes a NUL into the last byte; Wine leaves it, so the table does not look at it.
        {"section names cut to the buffer", true, "[abc]\r\n[defgh]\r\n",
         {Names(7, 5, "abc\0d\0"s), Names(5, 3, "abc\0"s), Names(2, 0, "\0"s), Names(1, 0, ""), Names(0, 0, "")}},
        {"writing creates the file and the section", false, "",
         {Write("s", "k", "v"), Value("s", "k", "v"), Names(10, 2, "s\0\0"s)}},
        {"writing replaces a key in place and keeps the rest", true, classic,
         {Write("CAMERA", "gain", "99"), Value("camera", "gain", "99"), Value("trigger", "mode", "1"),
          Contains("; comment\r\n"), Contains(";note\r\nGain=99\r\nShutter")}},
        {"a new key goes to the end of its section, a new section to the end of the file", true,
         "[s]\r\nk=v\r\n\r\n[t]\r\na=1\r\n",
         {Write("s", "n", "2"), Contains("k=v\r\nn=2\r\n"), Write("New", "x", "y"),
          Names(16, 8, "s\0t\0New\0\0"s), Value("t", "a", "1")}},
        {"a section list replaces the section's keys", true, "[s]\r\nk=v\r\nj=w\r\n[t]\r\na=1\r\n",
         {WriteSection("S", "x=1\0y=2\0\0"s), Missing("s", "k"), Value("s", "x", "1"), Value("s", "y", "2"),
          Value("t", "a", "1"), Names(10, 4, "s\0t\0\0"s)}},
        {"an empty section list leaves an empty section", true, "[a]\r\nk=v\r\n",
         {WriteSection("e", "\0"s), Names(10, 4, "a\0e\0\0"s), Get("e", nullptr, "", 10, 0, "\0"s),
          Value("a", "k", "v")}},
        {"texts that would inject lines are refused and change nothing", true, classic,
         {Refused("camera", "gain", "1\r\nInjected=1"), Refused("camera", "a=b", "1"),
          Refused("camera", "[Other]", "1"), Refused("a\r\nb", "k", "1"), Refused("camera]x", "k", "1"),
          WriteSection("camera", "ok=1\0bad\r\n[x]\0\0"s, false), Unchanged()}},
        {"over-long values are cut to the buffer", false, "",
         {Write("s", "long", kLongValue.c_str()), Get("s", "long", "", 1024, 1023, kLongValue.substr(0, 1023)),
          Get("s", "long", "", 6000, 5000, kLongValue)}},
        {"over-long lines are read past", true, "[s]\r\n" + kLongLine + "\r\nk=after\r\n" + kLongLine,
         {Value("s", "k", "after"), Write("s", "n", "1"), Value("s", "n", "1"), Value("s", "k", "after")}},
        {"a comment line is never a key", true, "[s]\r\n;c=1\r\nk=v\r\n\r\n[t]\r\n ;keep\r\na=1\r\n",
         {Missing("s", ";c"), Get("s", nullptr, "", 16, 2, "k\0\0"s), Write("s", ";c", "2"), Delete("s", ";c"),
          Delete("t"), Is("[s]\r\n;c=1\r\nk=v\r\n;c=2\r\n\r\n ;keep\r\n")},
         "Wine reads ';c=1' as a key, replaces and deletes it, and deletes a section's comments"},
        {"UTF-16 files, little-endian", true, Utf16("[s]\r\nk=v\r\n", true),
         {Value("s", "k", "v"), Write("s", "n", "1"), Is(Utf16("[s]\r\nk=v\r\nn=1\r\n", true))}},
        {"UTF-16 files, big-endian", true, Utf16("[s]\r\nk=v\r\n", false),
         {Value("s", "k", "v"), Write("s", "k", "2"), Names(4, 2, "s\0\0"s), Is(Utf16("[s]\r\nk=2\r\n", false))}},
        {"UTF-16 text beyond ASCII reads as UTF-8 and is kept as it was", true,
         "\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0\xE9\0\x3D\xD8\x00\xDE\x00\xD8\r\0\n\0"s,
         {Value("s", "k", "\xC3\xA9\xF0\x9F\x98\x80\xED\xA0\x80"), Write("s", "n", "1"),
          Is("\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0\xE9\0\x3D\xD8\x00\xDE\x00\xD8\r\0\n\0n\0=\0\x31\0\r\0\n\0"s)},
         "Wine reads into its ANSI code page, ours is UTF-8"},
        // Windows itself reads the mark as part of the first line and so loses its section; we
        // read past it, as Wine does, and keep it.
        {"a UTF-8 byte-order mark is read past and kept", true, "\xEF\xBB\xBF[s]\r\nk=v\r\n",
         {Value("s", "k", "v"), Write("s", "n", "1"), Is("\xEF\xBB\xBF[s]\r\nk=v\r\nn=1\r\n")}},
        {"a header without ']' opens its section; a name ends at the first ']'", true,
         "[s\r\nk=v\r\n[a]b]\r\nj=w\r\n",
         {Value("s", "k", "v"), Value("a", "j", "w"), Missing("a]b", "j"), Names(16, 4, "s\0a\0\0"s)},
         "Wine drops a header without ']' and ends a name at the last ']'"},
        {"spaces around names are dropped, tabs are part of them", true,
         "[s]\r\n\tk=v\r\nj\t=w\r\n  sp  =x\r\n[\tt]\r\na=1\r\n",
         {Missing("s", "k"), Value("s", "\tk", "v"), Missing("s", "j"), Value("s", "j\t", "w"),
          Value(" s ", " sp ", "x"), Missing("t", "a"), Value("\tt", "a", "1"), Write(" s ", " n\t ", "1"),
          Write(" u ", " m ", "1"), Is("[s]\r\n\tk=v\r\nj\t=w\r\n  sp  =x\r\nn\t=1\r\n[\tt]\r\na=1\r\n[u]\r\nm=1\r\n")},
         "Wine strips tabs around names as it strips spaces"},
        {"the empty section name is a [] header", false, "",
         {Write("", "k", "v"), Is("[]\r\nk=v\r\n"), Value("", "k", "v")},
         "Wine writes the keys of \"\" without a header"},
        {"rewriting a last line without a line end gives it one", true, "[s]\r\nk=v",
         {Write("s", "k", "w"), Is("[s]\r\nk=w\r\n")}},
        {"a cut value or list reports 234; a good write leaves the last error 0", true, "[abc]\r\nk=abcdef\r\n",
         {Error(Get("abc", "k", "", 4, 3, "abc"), err::kMoreData), Error(Names(3, 1, "a\0\0"s), err::kMoreData),
          Error(Get("abc", nullptr, "", 2, 0, "\0\0"s), err::kMoreData), Error(Write("abc", "k", "1"), err::kSuccess),
          Error(WriteSection("abc", "k=2\0\0"s), err::kSuccess)},
         "Wine leaves the last error as it was after a cut result and after a good write"},
        {"binary junk is read past", true,
         "\x01\x02\xFF\xFE\x7F\r\n[s]\r\njunk\x01\xFFzz\r\n\x80\x81=\x82\r\nk=v\r\n"s,
         {Value("s", "k", "v"), Write("s", "n", "1"), Value("s", "n", "1"), Value("s", "k", "v")}},
    };
}

void Apply(const Op& op, const std::string& file, const std::string& before) {
    // A stale error that the call must overwrite when its last error is looked at.
    SetLastError(op.error == kAnyError ? 0 : 0xBADu);
    switch (op.kind) {
        case OpKind::Get: {
            std::vector<char> buffer(op.size + 8, 'X');
            const std::uint32_t count =
                ProfileGetString(op.section, op.key, op.value, buffer.data(), op.size, file.c_str());
            EXPECT_EQ(count, op.count) << (op.key ? op.key : "(null)") << " size " << op.size;
            if (op.size == 0) {
                EXPECT_EQ(buffer[0], 'X') << "a zero-size buffer must not be touched";
            } else {
                EXPECT_EQ(std::string(buffer.data(), count), op.text.substr(0, count));
                EXPECT_EQ(buffer[count], '\0') << "unterminated at size " << op.size;
            }
            EXPECT_EQ(buffer[op.size], 'X') << "written past the buffer";
            break;
        }
        case OpKind::Names: {
            std::vector<char> buffer(op.size + 8, 'X');
            const std::uint32_t count = ProfileSectionNames(buffer.data(), op.size, file.c_str());
            EXPECT_EQ(count, op.count) << "Names size " << op.size;
            EXPECT_EQ(std::string(buffer.data(), op.text.size()), op.text);
            EXPECT_EQ(buffer[op.size], 'X') << "written past the buffer";
            break;
        }
        case OpKind::Write:
        case OpKind::WriteSection: {
            const bool ok = op.kind == OpKind::Write
                                ? ProfileWriteString(op.section, op.key, op.value, file.c_str())
                                : ProfileWriteSection(op.section, op.text.c_str(), file.c_str());
            EXPECT_EQ(ok, op.ok) << "write " << op.section << "/" << (op.key ? op.key : "(null)");
            if (!op.ok) {
                EXPECT_EQ(LastError(), err::kInvalidParameter);
            }
            break;
        }
        case OpKind::Contains:
            EXPECT_NE(ReadFile(file).find(op.text), std::string::npos) << op.text;
            break;
        case OpKind::Is:
            EXPECT_EQ(ReadFile(file), op.text);
            break;
        case OpKind::Unchanged:
            EXPECT_EQ(ReadFile(file), before);
            break;
    }
    if (op.error != kAnyError) {
        EXPECT_EQ(LastError(), op.error);
    }
}

TEST(PlatformProfile, BehavesAsTheSystemProfileServices) {
    for (const ProfileCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        if (c.wineDiffers && RunningUnderWine()) {
            std::printf("not held under Wine: %s (%s)\n", c.name, c.wineDiffers);
            continue;
        }
        ScratchDirectory dir;
        const std::string file = dir.File("profile.ini");
        if (c.fileExists) WriteFile(file, c.content);
        const std::string before = c.fileExists ? c.content : std::string{};
        for (const Op& op : c.ops) Apply(op, file, before);
        // Whatever happened, only the file itself is left in its directory.
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            EXPECT_EQ(entry.path().filename().string(), "profile.ini");
    }
}

TEST(PlatformProfile, FilesThatCannotBeWrittenReportWhy) {
    ScratchDirectory dir;
    const std::string readOnly = dir.File("read-only.ini");
    WriteFile(readOnly, "[s]\r\nk=old\r\n");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    struct Case {
        std::string file;
        std::uint32_t writeError;
        std::uint32_t readError;  // kAnyError: the value read is the file's
        const char* value;
        const char* wineDiffers = nullptr;
    };
    const std::vector<Case> cases = {
        {dir.Path().string(), err::kAccessDenied, kAnyError, "d"},
        {dir.File("no-such-dir/x.ini"), err::kPathNotFound, err::kPathNotFound, "d"},
        {readOnly, err::kAccessDenied, kAnyError, "old", "Wine writes into a read-only file (at least as root)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        if (c.wineDiffers && RunningUnderWine()) {
            std::printf("not held under Wine: %s (%s)\n", c.file.c_str(), c.wineDiffers);
            continue;
        }
        SetLastError(0);
        EXPECT_FALSE(ProfileWriteString("s", "k", "v", c.file.c_str()));
        EXPECT_EQ(LastError(), c.writeError);
        char buffer[16];
        SetLastError(0);
        EXPECT_EQ(ProfileGetString("s", "k", "d", buffer, sizeof buffer, c.file.c_str()), std::strlen(c.value));
        EXPECT_STREQ(buffer, c.value);
        if (c.readError != kAnyError) {
            EXPECT_EQ(LastError(), c.readError);
        }
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "no-such-dir"));
    fs::permissions(readOnly, fs::perms::owner_write, fs::perm_options::add);
}

TEST(PlatformProfile, WritesFromTwoThreadsAreAllKept) {
    ScratchDirectory dir;
    const std::string file = dir.File("shared.ini");
    std::atomic<int> failed{0};
    auto writeKeys = [&](char prefix) {
        for (int i = 0; i < 40; ++i) {
            const std::string key = prefix + std::to_string(i);
            if (!ProfileWriteString("shared", key.c_str(), key.c_str(), file.c_str())) failed.fetch_add(1);
        }
    };
    std::thread a(writeKeys, 'a'), b(writeKeys, 'b');
    a.join();
    b.join();
    EXPECT_EQ(failed.load(), 0);
    for (char prefix : {'a', 'b'}) {
        for (int i = 0; i < 40; ++i) {
            const std::string key = prefix + std::to_string(i);
            char buffer[16];
            ProfileGetString("shared", key.c_str(), "", buffer, sizeof buffer, file.c_str());
            EXPECT_EQ(std::string(buffer), key);
        }
    }
}

// --- file search

std::string Join(const std::string& dir, const std::string& name) {
    return dir + PathSeparator() + name;
}

bool SamePath(const std::string& a, const std::string& b) {
#ifdef _WIN32
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(x) == std::tolower(y); });
#else
    return a == b;
#endif
}

TEST(PlatformFileSearch, FindsFilesInTheDocumentedOrder) {
    ScratchDirectory dir;
    const ScopedCurrentDirectory inDir(dir.Path());
    const std::string cwd = fs::current_path().string();
    const std::string exeDir = HostExecutableDirectory();
    EXPECT_TRUE(fs::exists(Join(exeDir, "fennex_tests")) || fs::exists(Join(exeDir, "fennex_tests.exe"))) << exeDir;
    std::random_device random;
    const std::string tag = std::to_string(random());
    const std::string inExeOnly = "fennex-exe-only-" + tag + ".ini";
    const std::string inBoth = "fennex-both-" + tag + ".ini";
    fs::create_directories(dir.Path() / "sub");
    WriteFile(Join(cwd, "here.ini"), "x");
    WriteFile(Join(Join(cwd, "sub"), "nested.ini"), "x");
    struct Cleanup {
        std::vector<std::string> files;
        ~Cleanup() {
            std::error_code ignored;
            for (const auto& f : files) fs::remove(f, ignored);
        }
    } cleanup{{Join(exeDir, inExeOnly), Join(exeDir, inBoth)}};
    WriteFile(Join(exeDir, inExeOnly), "x");
    WriteFile(Join(exeDir, inBoth), "x");
    WriteFile(Join(cwd, inBoth), "x");

    struct Case {
        const char* name;
        std::string fileName;
        std::string expected;  // full path; empty when not found
    };
    const std::vector<Case> cases = {
        {"a bare name in the current directory", "here.ini", Join(cwd, "here.ini")},
        {"a name with a directory part, as given", Join("sub", "nested.ini"),
         Join(Join(cwd, "sub"), "nested.ini")},
        {"a bare name in the executable's directory", inExeOnly, Join(exeDir, inExeOnly)},
        {"the executable's directory before the current one", inBoth, Join(exeDir, inBoth)},
        {"a directory part is not searched elsewhere", Join("sub", "here.ini"), ""},
        {"not found anywhere", "fennex-nowhere-" + tag + ".ini", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char buffer[1024];
        SetLastError(0);
        const std::uint32_t n = FileSearch(c.fileName.c_str(), buffer, sizeof buffer);
        if (c.expected.empty()) {
            EXPECT_EQ(n, 0u);
            EXPECT_EQ(LastError(), err::kFileNotFound);
            continue;
        }
        ASSERT_EQ(n, c.expected.size());
        EXPECT_TRUE(SamePath(buffer, c.expected)) << buffer << " vs " << c.expected;
        // Too small a buffer: the size needed, terminator included.
        char small[4];
        EXPECT_EQ(FileSearch(c.fileName.c_str(), small, sizeof small), c.expected.size() + 1);
    }
    char none[4];
    SetLastError(0);
    EXPECT_EQ(FileSearch("", none, sizeof none), 0u);
    EXPECT_EQ(LastError(), err::kInvalidParameter);
}

TEST(PlatformFileDelete, DeletesFilesAndReportsMissingOnes) {
    ScratchDirectory dir;
    const std::string file = dir.File("gone.ini");
    WriteFile(file, "x");
    EXPECT_TRUE(FileDelete(file.c_str()));
    EXPECT_FALSE(fs::exists(file));
    SetLastError(0);
    EXPECT_FALSE(FileDelete(file.c_str()));
    EXPECT_EQ(LastError(), err::kFileNotFound);
}

}  // namespace
}  // namespace fennex::test
