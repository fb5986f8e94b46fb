#include "fixture.h"

#include <cstdarg>

using namespace fennex::driver;

namespace fennex::test {
namespace {

class DebugMessages : public ::testing::Test {
protected:
    void SetUp() override {
        TheMessages().Take();
        SetDebugProcedure(Messages::Receive);
    }
    void TearDown() override { SetDebugProcedure(nullptr); }
};

std::string Format(std::size_t size, const char* format, ...) {
    std::vector<char> buffer(size, 'Z');
    va_list args;
    va_start(args, format);
    FormatMessageText(buffer.data(), buffer.size(), format, args);
    va_end(args);
    return std::string(buffer.data());
}

TEST_F(DebugMessages, FormatsByWindowsRules) {
    const struct {
        std::string actual, expected;
    } cases[] = {
        {Format(64, "%s already armed\n", "Cam1"), "Cam1 already armed\n"},
        {Format(64, "%d|%i|%u", -42, 7, 4000000000u), "-42|7|4000000000"},
        {Format(64, "100%% sure"), "100% sure"},
        {Format(64, "%q stays"), "%q stays"},
        {Format(64, "%s", static_cast<const char*>(nullptr)), "(null)"},
        {Format(64, "[%5d|%-5d|%05d|%5u]", 42, 42, -42, 7u), "[   42|42   |-0042|    7]"},
        {Format(64, "%hd|%hu|%hx|%ld", 70000, 70000, 0x12345, -70000L), "4464|4464|2345|-70000"},
        {Format(64, "%#x|%#X|%X|%08x", 255u, 255u, 0xBEEFu, 0xABu), "0xff|0XFF|BEEF|000000ab"},
        {Format(64, "[%.3s|%-6s|%6s|%3c]", "abcdef", "ab", "ab", 'z'), "[abc|ab    |    ab|  z]"},
        {Format(6, "abcdefgh\n"), "abcd\n"},  // cut to the buffer, the line feed kept
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST_F(DebugMessages, LongMessagesAreCutToTheBufferAndKeepTheirLineFeed) {
    const std::string longName(700, 'n');
    DebugPrint("%s already armed\n", longName.c_str());
    ReportError(longName.c_str(), "description", "context");
    const auto lines = TheMessages().Take();
    ASSERT_EQ(lines.size(), 2u);
    for (const std::string& text : lines) {
        EXPECT_EQ(text.size(), kMessageBufferSize - 1);
        EXPECT_EQ(text.back(), '\n');
        EXPECT_EQ(text.find_first_not_of("ERROR: n"), kMessageBufferSize - 2);
    }
}

// Names and texts are shown as they are, never as formats; nothing is sent without a procedure.
TEST_F(DebugMessages, ErrorLinesShowNamesAndTextsUnchanged) {
    ReportError("50%Cam", "Device not found.\r\n", "CBcam::Open");
    ReportError("Cam1", "100% %s %d", "");
    EXPECT_EQ(TheMessages().Take(), (std::vector<std::string>{
                                        "ERROR: 50%Cam - Device not found.\r\n CBcam::Open\n",
                                        "ERROR: Cam1 - 100% %s %d \n"}));
    SetDebugProcedure(nullptr);
    DebugPrint("%s already armed\n", "Cam1");
    ReportError("Cam1", "d", "c");
    EXPECT_TRUE(TheMessages().Take().empty());
}

// Messages sent at the same time from several threads each arrive whole.
TEST_F(DebugMessages, ConcurrencyMessagesOfThreadsNeverMix) {
    constexpr int kThreads = 4, kPerThread = 300;
    const auto name = [](int t) { return std::string(40 + t * 30, static_cast<char>('a' + t)); };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                if (i % 2) DebugPrint("%s already armed\n", name(t).c_str());
                else ReportError(name(t).c_str(), name(t), name(t));
            }
        });
    for (auto& th : threads) th.join();
    std::set<std::string> expected;
    for (int t = 0; t < kThreads; ++t) {
        expected.insert(name(t) + " already armed\n");
        expected.insert("ERROR: " + name(t) + " - " + name(t) + " " + name(t) + "\n");
    }
    const auto lines = TheMessages().Take();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kPerThread));
    for (const std::string& text : lines) EXPECT_EQ(expected.count(text), 1u) << text;
}

}  // namespace
}  // namespace fennex::test
