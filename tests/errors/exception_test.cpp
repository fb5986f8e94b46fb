// What a catcher of Bcam::BcamException relies on: the code, the text found for it, the
// context, and the inserts merged into the text.
#include "fixture.h"

namespace fennex::test {
namespace {

using Bcam::BcamException;

std::uintptr_t S(const char* text) { return reinterpret_cast<std::uintptr_t>(text); }

bool EndsWithLineBreak(const std::string& text) {
    return text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
}

// Restores the process-wide module name however a test ends.
struct ModuleNameGuard {
    std::string saved = Bcam::MessageModuleName();
    explicit ModuleNameGuard(const std::string& name) { Bcam::SetMessageModuleName(name); }
    ~ModuleNameGuard() { Bcam::SetMessageModuleName(saved); }
};

TEST(BcamException, UnloadableModuleNameIsRefused) {
    ModuleNameGuard guard("BcamError.dll");
    EXPECT_THROW(Bcam::SetMessageModuleName(std::string(261, 'a')), BcamException);
    EXPECT_THROW(Bcam::SetMessageModuleName(std::string("Bcam\0Error.dll", 14)), BcamException);
    EXPECT_EQ(Bcam::MessageModuleName(), "BcamError.dll");
    Bcam::SetMessageModuleName(std::string(260, 'a'));
    EXPECT_EQ(Bcam::MessageModuleName(), std::string(260, 'a'));
}

// A code without a text reads "<no message found>" and keeps its context.
TEST(BcamException, DriverStatusLosesCustomerBitOnly) {
    const struct {
        const char* name;
        std::uint32_t raised, stored;
        bool hasText;
    } cases[] = {
        {"driver: not supported", 0xEFE00019u, 0xCFE00019u, true},
        {"library facility unchanged", 0xEFF00019u, 0xEFF00019u, false},
        {"driver code of another severity", 0x2FE00005u, 0x0FE00005u, false},
        {"customer bit of another facility", 0x20000002u, 0x20000002u, false},
        {"Win32 error unchanged", 2u, 2u, true},
        {"unknown code", 0x1234ABCDu, 0x1234ABCDu, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BcamException e(c.raised, "CBcam::Transmit()");
        EXPECT_EQ(e.Error(), c.stored);
        EXPECT_EQ(e.Description() != "<no message found>", c.hasText) << e.Description();
        EXPECT_EQ(e.Context(), "CBcam::Transmit()");
    }
}

// %1 is the required, %2 the found release; with too few values the marks stay standing as in
// the text without values. Numbers show unsigned.
TEST(BcamException, InsertsMergeInOrderOrStayStanding) {
    const auto code = codes::kWrongDriverRelease;
    const char* context = "CDriverVersionCheck::Match";
    const std::string merged = BcamException(code, context, {S("1.6"), S("2.6")}).Description();
    ASSERT_NE(merged.find("2.6"), std::string::npos) << merged;
    EXPECT_LT(merged.find("1.6"), merged.find("2.6")) << merged;
    EXPECT_EQ(merged.find('%'), std::string::npos) << merged;
    EXPECT_TRUE(EndsWithLineBreak(merged)) << "merged text keeps the table's line break";
    const std::string unmerged = BcamException(code, context).Description();
    EXPECT_NE(unmerged.find("%1"), std::string::npos) << unmerged;
    EXPECT_NE(unmerged.find("%2"), std::string::npos) << unmerged;
    EXPECT_EQ(BcamException(code, context, {}).Description(), unmerged);
    EXPECT_EQ(BcamException(code, context, {S("1.6")}).Description(), unmerged);
    const std::string number = BcamException(codes::kBadInquiry, "x", {4000000000u}).Description();
    EXPECT_NE(number.find("4000000000"), std::string::npos) << number;
    EXPECT_EQ(number.find('%'), std::string::npos) << number;
}

TEST(BcamException, WithoutTheMessageModuleTheSystemStillAnswersForWin32Codes) {
    for (const char* module : {"", "NoSuchMessages.dll"}) {
        ModuleNameGuard guard(module);
        BcamException win32(2, "CIniFilePropertyBag::Open()");
        EXPECT_NE(win32.Description(), "<no message found>") << module;
        EXPECT_TRUE(EndsWithLineBreak(win32.Description())) << module;
        BcamException library(codes::kDeviceNotOpen, "CBcam::Transmit()");
        EXPECT_EQ(library.Description(), "<no message found>") << module;
        EXPECT_EQ(library.Context(), "CBcam::Transmit()");
    }
}

// Grab and notification threads raise exceptions while others may change the module name
// (tests do); each lookup must see one whole name, never a torn one.
TEST(BcamExceptionThreads, RaisesWhileTheModuleNameChanges) {
    ModuleNameGuard guard("BcamError.dll");
    std::atomic<bool> stop{false};
    std::atomic<int> unexpected{0};
    std::vector<std::thread> raisers;
    for (int t = 0; t < 3; ++t) {
        raisers.emplace_back([&] {
            while (!stop.load()) {
                BcamException e(codes::kDeviceNotOpen, "CBcam::Transmit()");
                // Either the module answered or, while the name was empty, nothing did.
                if (e.Description() != "<no message found>" && !EndsWithLineBreak(e.Description()))
                    unexpected.fetch_add(1);
            }
        });
    }
    for (int i = 0; i < 200; ++i) Bcam::SetMessageModuleName(i % 2 ? "BcamError.dll" : "");
    stop.store(true);
    for (std::thread& t : raisers) t.join();
    EXPECT_EQ(unexpected.load(), 0);
}

}  // namespace
}  // namespace fennex::test
