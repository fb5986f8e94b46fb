// Insert merging and message lookup. The merge table runs natively against our own merge and,
// cross-built under Wine, against FormatMessageA: the same cases must hold for both.

#include "platform/message.h"
#include "platform/message_inserts.h"
#include "fixture.h"

namespace fennex::test {
namespace {

using fennex::platform::MergeInserts;

std::uintptr_t S(const char* text) { return reinterpret_cast<std::uintptr_t>(text); }
std::uintptr_t N(std::int64_t value) { return static_cast<std::uintptr_t>(value); }

struct MergeCase {
    const char* name;
    std::string text;
    std::vector<std::uintptr_t> args;
    bool ok;
    std::string merged;  // when ok
};

const char* const kTen[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
std::vector<std::uintptr_t> Strings(std::size_t count) {
    std::vector<std::uintptr_t> args;
    for (std::size_t i = 0; i < count; ++i) args.push_back(S(kTen[i]));
    return args;
}

const std::string kLongest(32767, 'm');  // the longest result the system merges

const std::vector<MergeCase>& MergeCases() {
    static const std::vector<MergeCase> cases = {
        {"LineBreaksKeptAsGiven", "one\r\ntwo\r\n", {}, true, "one\r\ntwo\r\n"},
        {"BareCrAndLfBecomeCrLf", "a\nb\rc\n\rd%re", {}, true, "a\r\nb\r\nc\r\n\r\nd\re"},
        {"LongestResult", "%1", {S(kLongest.c_str())}, true, kLongest},
        {"TwoStringsInOrder", "need %1, have %2\r\n", {S("1.6"), S("1.5")}, true,
         "need 1.6, have 1.5\r\n"},
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
    return cases;
}

TEST(MergeInserts, MergesLikeFormatMessage) {
    for (const MergeCase& c : MergeCases()) {
        SCOPED_TRACE(c.name);
        std::string merged = "untouched";
        const bool ok =
            MergeInserts(c.text, c.args.empty() ? nullptr : c.args.data(), c.args.size(), merged);
        EXPECT_EQ(ok, c.ok) << "text: " << c.text;
        if (c.ok)
            EXPECT_EQ(merged, c.merged);
        else
            EXPECT_EQ(merged, "untouched") << "a failed merge leaves the output alone";
    }
}

// The Win32 errors the library raises must read as text even without the message module.
struct SystemCase {
    std::uint32_t code;
    bool missingInWine;  // Wine's system table lacks a few texts that Windows has
};

void PrintTo(const SystemCase& c, std::ostream* os) { *os << c.code; }

class SystemMessageTest : public testing::TestWithParam<SystemCase> {};

TEST_P(SystemMessageTest, HasTextEndingInLineBreak) {
    if (GetParam().missingInWine && RunningUnderWine())
        GTEST_SKIP() << "Wine has no system text for " << GetParam().code;
    std::string text;
    ASSERT_TRUE(fennex::platform::MessageFromSystem(GetParam().code, text));
    ASSERT_GT(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(text.find('%'), std::string::npos) << "system texts are used without inserts";
}

namespace err = fennex::platform::err;
INSTANTIATE_TEST_SUITE_P(
    Win32Errors, SystemMessageTest,
    testing::Values(SystemCase{err::kFileNotFound, false}, SystemCase{err::kInvalidHandle, false},
                    SystemCase{err::kInvalidParameter, false}, SystemCase{err::kWaitTimeout, true},
                    SystemCase{err::kOperationAborted, false}, SystemCase{err::kDeviceNotConnected, false},
                    SystemCase{0x80070057u, false}, SystemCase{0x80004005u, false}));

}  // namespace
}  // namespace fennex::test
