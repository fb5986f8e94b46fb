#include "fixture.h"

#include "platform/environment.h"

namespace fennex::test {
namespace {

using namespace fennex::platform;

// Names compare ignoring case; what is not a known name stays as written; the result is cut to
// limit - 1 characters.
TEST(PlatformEnvironment, ExpandsKnownNamesAndKeepsTheRestAsWritten) {
    const ScopedEnvironment a("FENNEX_T_A", "alpha");
    const ScopedEnvironment unset("FENNEX_T_UNSET", std::nullopt);
    const struct {
        const char* text;
        std::size_t limit;
        const char* expected;
    } cases[] = {
        {"pre%fennex_t_a%%FENNEX_T_A%post", 260, "prealphaalphapost"},
        {"%FENNEX_T_UNSET%FENNEX_T_A%", 260, "%FENNEX_T_UNSET%FENNEX_T_A%"},
        {"100% %FENNEX_T_A", 260, "100% %FENNEX_T_A"},
        {"%FENNEX_T_A%xyz", 4, "alp"},
        {"%FENNEX_T_A%xyz", 9, "alphaxyz"},
        {"%FENNEX_T_A%xyz", 0, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ExpandEnvironment(c.text, c.limit), c.expected) << c.text;
}

TEST(PlatformEnvironment, WindowsDirectory) {
#ifdef _WIN32
    const std::string dir = WindowsDirectory();
    ASSERT_GT(dir.size(), 2u);
    EXPECT_EQ(dir[1], ':');
    EXPECT_EQ(ExpandEnvironment("%windir%"), dir);
#else
    {
        const ScopedEnvironment configured("FENNEX_WINDIR", "D:\\WINNT");
        EXPECT_EQ(WindowsDirectory(), "D:\\WINNT");
    }
    const ScopedEnvironment unset("FENNEX_WINDIR", std::nullopt);
    EXPECT_EQ(WindowsDirectory(), "C:\\WINDOWS");
#endif
}

}  // namespace
}  // namespace fennex::test
