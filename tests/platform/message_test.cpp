// Insert merging and message lookup. The merge table runs natively against our own merge and,
// cross-built under Wine, against FormatMessageA: the same cases must hold for both.

#include "platform/message.h"
#include "platform/message_inserts.h"
#include "fixture.h"

namespace fennex::test {
namespace {

namespace err = fennex::platform::err;

std::uintptr_t S(const char* text) { return reinterpret_cast<std::uintptr_t>(text); }
std::uintptr_t N(std::int64_t value) { return static_cast<std::uintptr_t>(value); }

const char* const kTen[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
std::vector<std::uintptr_t> Strings(std::size_t count) {
    std::vector<std::uintptr_t> args;
    for (std::size_t i = 0; i < count; ++i) args.push_back(S(kTen[i]));
    return args;
}

const std::string kLongest(32767, 'm');  // the longest result the system merges

TEST(MergeInserts, MergesLikeFormatMessage) {
    const struct {
        const char* name;
        std::string text;
        std::vector<std::uintptr_t> args;
        bool ok;
        std::string merged;  // when ok
    } cases[] = {
        {"LineBreaksKeptAsGiven", "one\r\ntwo\r\n", {}, true, "one\r\ntwo\r\n"},
        {"BareCrAndLfBecomeCrLf", "a\nb\rc\n\rd%re", {}, true, "a\r\nb\r\nc\r\n\r\nd\re"},
        {"LongestResult", "%1", {S(kLongest.c_str())}, true, kLongest},
        {"TwoStringsInOrder", "need %1, have %2\r\n", {S("1.6"), S("1.5")}, true, "need 1.6, have 1.5\r\n"},
        {"InsertsOutOfOrderAndRepeated", "%2 before %1-%1", {S("a"), S("b")}, true, "b before a-a"},
        {"UnusedArgumentsIgnored", "only %1", {S("a"), S("b"), S("c")}, true, "only a"},
        {"UnsignedFullRange", "%1!u!", {N(0xCFF00001)}, true, "3488612353"},
        {"SignedNegative", "%1!d!", {N(-7)}, true, "-7"},
        {"HexZeroPaddedUpper", "0x%1!08X!", {N(0xBEEF)}, true, "0x0000BEEF"},
        {"LeftAlignedWidth", "%1!-5d!|", {N(42)}, true, "42   |"},
        {"StringPrecision", "%1!.2s!", {S("abcdef")}, true, "ab"},
        {"MixedNumberAndString", "%1!u! of %2", {N(3), S("six")}, true, "3 of six"},
        {"EscapedPercentDotBang", "100%% sure%. Really%!", {}, true, "100% sure. Really!"},
        {"HardLineBreakAndTab", "a%nb%tc", {}, true, "a\r\nb\tc"},
        {"PercentZeroEndsText", "first%0 second\r\n", {}, true, "first"},
        {"TwoDigitIndex", "[%10]", Strings(10), true, "[10]"},
        {"ThirdDigitIsText", "%100", Strings(10), true, "100"},
        {"ShortNumber", "%1!hu!", {N(0x12345)}, true, "9029"},
        // Failures: the merge refuses, nothing is read past the arguments given.
        // FormatMessage reports an empty result as a failure (it returns the length, 0).
        {"EmptyResult", "%0ignored", {}, false, ""},
        {"NoArgumentsForInsert", "value %1", {}, false, ""},
        {"SecondInsertMissing", "%1 %2", {S("a")}, false, ""},
        {"TwoDigitIndexBeyondArguments", "%10", Strings(9), false, ""},
        {"NullStringArgument", "%1", {N(0)}, false, ""},
        {"LonePercentAtEnd", "50%", {}, false, ""},
        {"UnterminatedFormat", "%1!d", {N(1)}, false, ""},
        {"FloatingFormat", "%1!f!", {N(1)}, false, ""},
        {"WidthFromArgument", "%1!*d!", {N(3), N(1)}, false, ""},
        {"HugeWidth", "%1!99999d!", {N(1)}, false, ""},
        {"ResultTooLong", "%1.", {S(kLongest.c_str())}, false, ""},
    };
    for (const auto& c : cases) {
        std::string merged = "untouched";
        const std::uintptr_t* args = c.args.empty() ? nullptr : c.args.data();
        const bool ok = fennex::platform::MergeInserts(c.text, args, c.args.size(), merged);
        EXPECT_EQ(ok, c.ok) << c.name;
        // A failed merge leaves the output alone.
        EXPECT_EQ(merged, c.ok ? c.merged : "untouched") << c.name;
    }
}

// The Win32 errors the library raises must read as text even without the message module.
TEST(SystemMessage, Win32ErrorsHaveTextsEndingInLineBreak) {
    for (std::uint32_t code : {err::kFileNotFound, err::kInvalidHandle, err::kInvalidParameter,
                               err::kWaitTimeout, err::kOperationAborted, err::kDeviceNotConnected,
                               0x80070057u, 0x80004005u}) {
        // Wine's system table lacks a few texts that Windows has.
        if (code == err::kWaitTimeout && RunningUnderWine()) continue;
        std::string text;
        ASSERT_TRUE(fennex::platform::MessageFromSystem(code, text)) << code;
        ASSERT_GT(text.size(), 2u) << code;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << code;
        EXPECT_EQ(text.find('%'), std::string::npos) << "system texts are used without inserts";
    }
}

}  // namespace
}  // namespace fennex::test
