#include "fixture.h"

#include <cstdarg>

using namespace fennex::driver;

namespace fennex::test {
namespace {

std::mutex g_mutex;
std::vector<std::string> g_received;

void Collect(const char* text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_received.emplace_back(text);
}

class DebugMessages : public ::testing::Test {
protected:
    void SetUp() override {
        g_received.clear();
        SetDebugProcedure(Collect);
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
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST_F(DebugMessages, LongMessagesAreCutToTheBufferAndKeepTheirLineFeed) {
    const std::string longName(700, 'n');
    DebugPrint("%s already armed\n", longName.c_str());
    ReportError(longName.c_str(), "description", "context");
    ASSERT_EQ(g_received.size(), 2u);
    for (const std::string& text : g_received) {
        EXPECT_EQ(text.size(), kMessageBufferSize - 1);
        EXPECT_EQ(text.back(), '\n');
        EXPECT_EQ(text.find_first_not_of("ERROR: n"), kMessageBufferSize - 2);
    }
    // a small buffer cuts the same way
    EXPECT_EQ(Format(6, "abcdefgh\n"), "abcd\n");
}

TEST_F(DebugMessages, ErrorLinesShowNamesAndTextsUnchanged) {
    const struct {
        const char *name, *description, *context, *expected;
    } cases[] = {
        {"50%Cam", "Device not found.\r\n", "CBcam::Open", "ERROR: 50%Cam - Device not found.\r\n CBcam::Open\n"},
        {"Cam1", "100% %s %d", "", "ERROR: Cam1 - 100% %s %d \n"},
    };
    for (const auto& c : cases) {
        g_received.clear();
        ReportError(c.name, c.description, c.context);
        ASSERT_EQ(g_received.size(), 1u);
        EXPECT_EQ(g_received[0], c.expected);
    }
}

TEST_F(DebugMessages, NothingIsSentWithoutAProcedure) {
    SetDebugProcedure(nullptr);
    DebugPrint("%s already armed\n", "Cam1");
    ReportError("Cam1", "d", "c");
    EXPECT_TRUE(g_received.empty());
}

// Messages sent at the same time from several threads each arrive whole.
TEST_F(DebugMessages, ConcurrencyMessagesOfThreadsNeverMix) {
    constexpr int kThreads = 4, kPerThread = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            const std::string name(40 + t * 30, static_cast<char>('a' + t));
            for (int i = 0; i < kPerThread; ++i) {
                if (i % 2) DebugPrint("%s already armed\n", name.c_str());
                else ReportError(name.c_str(), name, name);
            }
        });
    for (auto& th : threads) th.join();
    ASSERT_EQ(g_received.size(), static_cast<std::size_t>(kThreads * kPerThread));
    std::set<std::string> expected;
    for (int t = 0; t < kThreads; ++t) {
        const std::string name(40 + t * 30, static_cast<char>('a' + t));
        expected.insert(name + " already armed\n");
        expected.insert("ERROR: " + name + " - " + name + " " + name + "\n");
    }
    for (const std::string& text : g_received) EXPECT_EQ(expected.count(text), 1u) << text;
}

}  // namespace
}  // namespace fennex::test
