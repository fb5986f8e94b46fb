#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/environment.h"

namespace fennex::platform {
namespace {

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
    ScopedVariable root("FENNEX_T_ROOT", "C:\\WINDOWS");
    ScopedVariable unset("FENNEX_T_UNSET", nullptr);
    struct Case {
        const char* text;
        std::size_t limit;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"%FENNEX_T_A%", 260, "alpha"},
        {"pre%FENNEX_T_A%post", 260, "prealphapost"},
        {"%fennex_t_a%", 260, "alpha"},  // names compare ignoring case
        {"%FENNEX_T_A%%FENNEX_T_A%", 260, "alphaalpha"},
        {"%FENNEX_T_ROOT%\\System32\\DRIVERS\\bcam.sys", 260, "C:\\WINDOWS\\System32\\DRIVERS\\bcam.sys"},
        {"%FENNEX_T_UNSET%\\x", 260, "%FENNEX_T_UNSET%\\x"},
        {"%FENNEX_T_UNSET%FENNEX_T_A%", 260, "%FENNEX_T_UNSET%FENNEX_T_A%"},
        {"%%", 260, "%%"},
        {"100%", 260, "100%"},
        {"%FENNEX_T_A", 260, "%FENNEX_T_A"},
        {"\\SystemRoot\\System32", 260, "\\SystemRoot\\System32"},
        {"", 260, ""},
        {"%FENNEX_T_A%xyz", 4, "alp"},  // cut to limit - 1
        {"%FENNEX_T_A%xyz", 9, "alphaxyz"},
        {"%FENNEX_T_A%xyz", 1, ""},
        {"%FENNEX_T_A%xyz", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ExpandEnvironment(c.text, c.limit), c.expected);
    }
}

TEST(PlatformEnvironment, VariablesReadAsSetAndEmptyWhenUnset) {
    ScopedVariable set("FENNEX_T_SET", "value with blanks");
    ScopedVariable unset("FENNEX_T_UNSET", nullptr);
    EXPECT_EQ(EnvironmentVariable("FENNEX_T_SET"), "value with blanks");
    EXPECT_EQ(EnvironmentVariable("FENNEX_T_UNSET"), "");
    EXPECT_EQ(EnvironmentVariable(nullptr), "");
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
}  // namespace fennex::platform
