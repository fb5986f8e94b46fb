#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#endif

#include "platform/last_error.h"
#include "platform/named_mutex.h"
#include "platform/profile.h"
#include "platform/sync.h"
#include "platform/win32_errors.h"
#include "test_support.h"

namespace fennex::platform {
namespace {

namespace fs = std::filesystem;

std::string UniqueName(const char* stem) {
    std::random_device random;
    return std::string(stem) + std::to_string(random()) + std::to_string(random());
}

bool Exists(const std::string& name) {
    Handle h = OpenNamedMutex(name.c_str());
    if (!h) return false;
    CloseNamedMutex(h);
    return true;
}

TEST(PlatformNamedMutex, ExistsExactlyWhileAHandleIsHeld) {
    const std::vector<std::string> names = {
        UniqueName("QUENTARO AS : MUXNAME MUX.0."),  // spaces, colon and dots, as the ports use
        UniqueName("plain"),
        UniqueName("with/slash"),
        UniqueName("long") + std::string(230, 'x'),  // longer than a file name may be
    };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        SetLastError(0);
        EXPECT_EQ(OpenNamedMutex(name.c_str()), nullptr);
        EXPECT_EQ(LastError(), err::kFileNotFound);

        Handle created = CreateNamedMutex(name.c_str());
        ASSERT_NE(created, nullptr);
        EXPECT_TRUE(Exists(name));
        Handle second = CreateNamedMutex(name.c_str());  // opens the existing one
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(LastError(), err::kAlreadyExists);
        Handle opened = OpenNamedMutex(name.c_str());
        ASSERT_NE(opened, nullptr);

        EXPECT_TRUE(CloseNamedMutex(created));
        EXPECT_TRUE(Exists(name));  // two handles left
        EXPECT_TRUE(CloseNamedMutex(second));
        EXPECT_TRUE(Exists(name));
        EXPECT_TRUE(CloseNamedMutex(opened));
        EXPECT_FALSE(Exists(name));
    }
}

TEST(PlatformNamedMutex, NamesCompareAsWrittenInTheLocalNamespace) {
    const std::string name = UniqueName("CaseName");
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const struct {
        const char* what;
        std::string created, probed;
        bool exists;
    } cases[] = {
        {"other letter case is another mutex", name, lower, false},
        {"the local namespace is the default one", "Local\\" + name, name, true},
        {"and not the global one", "Local\\" + name, "Global\\" + name, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Handle h = CreateNamedMutex(c.created.c_str());
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(Exists(c.probed), c.exists);
        EXPECT_TRUE(CloseNamedMutex(h));
    }
}

TEST(PlatformNamedMutex, BadNamesAndHandlesAreRefused) {
    struct Case {
        const char* name;
        std::uint32_t error;
    };
    const std::string tooLong(261, 'n');
    const std::vector<Case> cases = {
        {nullptr, err::kInvalidParameter},
        {"", err::kInvalidParameter},
        {tooLong.c_str(), err::kFilenameExcedRange},
        {"back\\slash", err::kPathNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(null)");
        SetLastError(0);
        EXPECT_EQ(CreateNamedMutex(c.name), nullptr);
        EXPECT_EQ(LastError(), c.error);
        EXPECT_EQ(OpenNamedMutex(c.name), nullptr);
    }
    EXPECT_FALSE(CloseNamedMutex(nullptr));
    EXPECT_FALSE(CloseNamedMutex(InvalidHandleValue()));
}

// Another process that holds a mutex until it is told to die (or is killed).
class Holder {
public:
    Holder(const std::string& name, const fs::path& dir)
        : ready_((dir / "ready").string()), exit_((dir / "exit").string()) {
        const std::string helper =
            std::string(HostExecutableDirectory()) + PathSeparator() + "helper-named-mutex";
#ifdef _WIN32
        const std::string exe = helper + ".exe";
        // The spawn functions join arguments with blanks; quote them.
        const std::string q1 = "\"" + name + "\"", q2 = "\"" + ready_ + "\"", q3 = "\"" + exit_ + "\"";
        const char* argv[] = {exe.c_str(), q1.c_str(), q2.c_str(), q3.c_str(), nullptr};
        process_ = _spawnv(_P_NOWAIT, exe.c_str(), argv);
        started_ = process_ != -1;
#else
        std::vector<std::string> args = {helper, name, ready_, exit_};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        started_ = posix_spawn(&pid_, helper.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
#endif
    }
    ~Holder() { Kill(); }

    bool WaitReady() {
        for (int i = 0; started_ && i < 1000; ++i) {
            if (fs::exists(ready_)) return true;
            SleepMs(10);
        }
        return false;
    }

    // Ends the process without letting it close its handle.
    void Kill() {
        if (!started_) return;
        started_ = false;
#ifdef _WIN32
        std::ofstream(exit_).put('x');
        int status = 0;
        _cwait(&status, process_, 0);
#else
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
#endif
    }

private:
    std::string ready_, exit_;
    bool started_ = false;
#ifdef _WIN32
    intptr_t process_ = -1;
#else
    pid_t pid_ = 0;
#endif
};

TEST(PlatformNamedMutex, IsSeenAcrossProcessesAndFreedWhenTheHolderDies) {
    const fennex::test::ScratchDirectory scratch;
    const fs::path& dir = scratch.Path();
    const std::string name = UniqueName("QUENTARO AS : MUXNAME MUX.0.");
    {
        Holder holder(name, dir);
        ASSERT_TRUE(holder.WaitReady());
        EXPECT_TRUE(Exists(name));
        Handle mine = OpenNamedMutex(name.c_str());
        ASSERT_NE(mine, nullptr);
        holder.Kill();
        EXPECT_TRUE(Exists(name)) << "our own handle keeps it";
        EXPECT_TRUE(CloseNamedMutex(mine));
        EXPECT_FALSE(Exists(name));
    }
    {
        fs::create_directories(dir / "second");
        Holder holder(name, dir / "second");
        ASSERT_TRUE(holder.WaitReady());
        EXPECT_TRUE(Exists(name));
        holder.Kill();
        EXPECT_FALSE(Exists(name)) << "a dead holder frees the name";
    }
}

}  // namespace
}  // namespace fennex::platform
