#include "fixture.h"

#include "platform/environment.h"

namespace fennex::test {
namespace {

using namespace fennex::platform;

// Sets (or, with null, removes) a variable of this process for the test's duration.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        const std::string old = EnvironmentVariable(name);
        hadOld_ = !old.empty();
        old_ = old;
        Put(value);
    }
    ~ScopedVariable() { Put(hadOld_ ? old_.c_str() : nullptr); }

private:
    void Put(const char* value) {
#ifdef _WIN32
        _putenv((name_ + "=" + (value ? value : "")).c_str());
#else
        if (value) ::setenv(name_.c_str(), value, 1);
        else ::unsetenv(name_.c_str());
#endif
    }
    std::string name_, old_;
    bool hadOld_ = false;
};

TEST(PlatformEnvironment, ExpandsKnownNamesAndKeepsTheRestAsWritten) {
    ScopedVariable a("FENNEX_T_A", "alpha");
    ScopedVariable unset("FENNEX_T_UNSET", nullptr);
    struct Case {
        const char* text;
        std::size_t limit;
        const char* expected;
    };
    // Names compare ignoring case; what is not a known name stays as written; the result is cut
    // to limit - 1 characters.
    const std::vector<Case> cases = {
        {"pre%fennex_t_a%%FENNEX_T_A%post", 260, "prealphaalphapost"},
        {"%FENNEX_T_UNSET%FENNEX_T_A%", 260, "%FENNEX_T_UNSET%FENNEX_T_A%"},
        {"100% %FENNEX_T_A", 260, "100% %FENNEX_T_A"},
        {"%FENNEX_T_A%xyz", 4, "alp"},
        {"%FENNEX_T_A%xyz", 9, "alphaxyz"},
        {"%FENNEX_T_A%xyz", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ExpandEnvironment(c.text, c.limit), c.expected);
    }
}

TEST(PlatformEnvironment, WindowsDirectory) {
#ifdef _WIN32
    const std::string dir = WindowsDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir[1], ':');
    EXPECT_EQ(ExpandEnvironment("%windir%"), dir);
#else
    {
        ScopedVariable configured("FENNEX_WINDIR", "D:\\WINNT");
        EXPECT_EQ(WindowsDirectory(), "D:\\WINNT");
    }
    ScopedVariable unset("FENNEX_WINDIR", nullptr);
    EXPECT_EQ(WindowsDirectory(), "C:\\WINDOWS");
#endif
}

}  // namespace
}  // namespace fennex::test
