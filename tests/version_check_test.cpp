// The driver release check that guards every enumeration and every Open.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bcam/cbcam.h"
#include "cbcam_fixture.h"
#include "errors/driver_version_check.h"
#include "errors/error_codes.h"
#include "errors/exception.h"
#include "platform/environment.h"
#include "sim/sim.h"

namespace {

using Bcam::CDriverVersionCheck;
using fennex::test::Raised;
using fennex::test::RaisedBy;

// A service registry entry and a driver file, as the check sees them.
class FakeRelease : public Bcam::DriverReleaseSource {
public:
    bool serviceKey = true;
    std::uint32_t imagePathError = 0;
    std::string imagePath = "\\SystemRoot\\System32\\DRIVERS\\bcam.sys";
    bool versionInfo = true;
    std::uint32_t versionMS = 0x00010006;
    std::uint32_t versionLS = 0;

    int imagePathQueries = 0;
    std::vector<std::string> versionQueries;

    bool QueryServiceImagePath(std::string* path, std::uint32_t* error) override {
        ++imagePathQueries;
        if (!serviceKey) return false;
        *error = imagePathError;
        if (imagePathError == 0) *path = imagePath;
        return true;
    }
    bool QueryFileVersion(const std::string& path, std::uint32_t* ms, std::uint32_t* ls) override {
        versionQueries.push_back(path);
        if (!versionInfo) return false;
        *ms = versionMS;
        *ls = versionLS;
        return true;
    }
};

void SetVariable(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

class VersionCheck : public testing::Test {
protected:
    void SetUp() override { CDriverVersionCheck::ResetCache(); }
    void TearDown() override { CDriverVersionCheck::ResetCache(); }
};

struct ReleaseRow {
    const char* what;
    std::uint32_t ms, ls;
    bool versionInfo;
    const char* found;  // the release the refusal names; null: the release matches
};

TEST_F(VersionCheck, OnlyReleaseOneSixMatches) {
    const ReleaseRow rows[] = {
        {"1.6", 0x00010006, 0x00000000, true, nullptr},
        {"build and revision do not matter", 0x00010006, 0x0005000C, true, nullptr},
        {"1.5", 0x00010005, 0x00030000, true, "1.5"},
        {"2.6", 0x00020006, 0x00000000, true, "2.6"},
        {"major and minor are not swapped", 0x00060001, 0x00000000, true, "6.1"},
        // The words must not be taken: nothing was read.
        {"file without version information is release 0.0", 0x00010006, 0, false, "0.0"},
    };
    for (const ReleaseRow& row : rows) {
        SCOPED_TRACE(row.what);
        CDriverVersionCheck::ResetCache();
        FakeRelease release;
        release.versionMS = row.ms;
        release.versionLS = row.ls;
        release.versionInfo = row.versionInfo;
        bool matched = false;
        const Raised raised = RaisedBy([&] { matched = CDriverVersionCheck::Match(release); });
        if (!row.found) {
            EXPECT_FALSE(raised.thrown);
            EXPECT_TRUE(matched);
            continue;
        }
        EXPECT_EQ(raised.code, Bcam::codes::kWrongDriverRelease);
        EXPECT_EQ(raised.context, "CDriverVersionCheck::Match");
        EXPECT_NE(raised.description.find("1.6"), std::string::npos) << raised.description;
        EXPECT_NE(raised.description.find(row.found), std::string::npos) << raised.description;
    }
}

TEST_F(VersionCheck, SuccessIsRememberedAndMismatchForgetsIt) {
    FakeRelease good;
    EXPECT_TRUE(CDriverVersionCheck::Match(good));
    EXPECT_TRUE(CDriverVersionCheck::Match(good));
    EXPECT_EQ(good.imagePathQueries, 1);
    EXPECT_EQ(good.versionQueries.size(), 1u);

    // A later wrong release is only seen once the cache is gone; after a refusal the check
    // runs in full again.
    CDriverVersionCheck::ResetCache();
    FakeRelease wrong;
    wrong.versionMS = 0x00010005;
    EXPECT_THROW(CDriverVersionCheck::Match(wrong), Bcam::BcamException);
    EXPECT_THROW(CDriverVersionCheck::Match(wrong), Bcam::BcamException);
    EXPECT_EQ(wrong.imagePathQueries, 2);
}

TEST_F(VersionCheck, MissingServiceKeyGoesOnUncheckedEveryTime) {
    FakeRelease release;
    release.serviceKey = false;
    EXPECT_FALSE(CDriverVersionCheck::Match(release));
    EXPECT_FALSE(CDriverVersionCheck::Match(release));
    EXPECT_EQ(release.imagePathQueries, 2);
    EXPECT_TRUE(release.versionQueries.empty());
}

TEST_F(VersionCheck, UnreadableImagePathRaisesTheRegistryError) {
    FakeRelease release;
    release.imagePathError = 5;
    const Raised raised = RaisedBy([&] { CDriverVersionCheck::Match(release); });
    EXPECT_EQ(raised.code, 5u);
    EXPECT_EQ(raised.context, "");
    EXPECT_TRUE(release.versionQueries.empty());
}

struct PathRow {
    const char* imagePath;
    const char* windowsDirectory;
    const char* file;
};

TEST(DriverFilePath, RelativePathsLieUnderTheWindowsDirectory) {
    const PathRow rows[] = {
        {"System32\\DRIVERS\\bcam.sys", "C:\\WINDOWS", "C:\\WINDOWS\\System32\\DRIVERS\\bcam.sys"},
        {"System32\\DRIVERS\\bcam.sys", "D:\\", "D:\\System32\\DRIVERS\\bcam.sys"},
        {"C:\\WINDOWS\\System32\\DRIVERS\\bcam.sys", "E:\\WIN",
         "C:\\WINDOWS\\System32\\DRIVERS\\bcam.sys"},
        {"\\SystemRoot\\System32\\DRIVERS\\bcam.sys", "C:\\WINDOWS",
         "\\SystemRoot\\System32\\DRIVERS\\bcam.sys"},
        {"\\??\\C:\\drivers\\bcam.sys", "C:\\WINDOWS", "\\??\\C:\\drivers\\bcam.sys"},
        {"1394\\bcam.sys", "C:\\WINDOWS", "1394\\bcam.sys"},  // a digit is no letter
        {"b", "C:\\WINDOWS", "C:\\WINDOWS\\b"},
        {"", "C:\\WINDOWS", ""},
    };
    for (const PathRow& row : rows)
        EXPECT_EQ(CDriverVersionCheck::DriverFilePath(row.imagePath, row.windowsDirectory), row.file)
            << row.imagePath;
}

TEST_F(VersionCheck, ImagePathIsExpandedBeforeItIsPlaced) {
    SetVariable("FENNEX_TEST_SYSTEM_ROOT", "C:\\WINNT");
    const std::string relative = "System32\\DRIVERS\\bcam.sys";
    const struct {
        const char* what;
        std::string imagePath, asked;
    } cases[] = {
        // An unknown variable stays as written, so the text keeps its leading '%' and is used
        // as it is.
        {"unknown variable", "%FENNEX_NO_SUCH_VARIABLE%\\bcam.sys", "%FENNEX_NO_SUCH_VARIABLE%\\bcam.sys"},
        {"expanded to a drive path, used unchanged",
         "%FENNEX_TEST_SYSTEM_ROOT%\\System32\\DRIVERS\\bcam.sys", "C:\\WINNT\\System32\\DRIVERS\\bcam.sys"},
        {"relative, under the system's Windows directory", relative,
         CDriverVersionCheck::DriverFilePath(relative, fennex::platform::WindowsDirectory())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CDriverVersionCheck::ResetCache();
        FakeRelease release;
        release.imagePath = c.imagePath;
        EXPECT_TRUE(CDriverVersionCheck::Match(release));
        ASSERT_EQ(release.versionQueries.size(), 1u);
        EXPECT_EQ(release.versionQueries[0], c.asked);
    }
}

class DriverReleaseOnOpen : public fennex::test::SimCameras {};

TEST_F(DriverReleaseOnOpen, WrongReleaseKeepsEveryCameraClosed) {
    struct Row {
        const char* what;
        sim::DriverRelease release;
        const char* found;  // nullptr: the camera opens
    };
    auto release = [](std::uint32_t ms, bool versionInfo = true, bool serviceKey = true) {
        sim::DriverRelease r;
        r.versionMS = ms;
        r.versionInfo = versionInfo;
        r.serviceKey = serviceKey;
        return r;
    };
    const Row rows[] = {
        {"release 1.6", release(0x00010006), nullptr},
        {"release 1.5", release(0x00010005), "1.5"},
        {"release 2.6", release(0x00020006), "2.6"},
        {"no version information", release(0x00010006, false), "0.0"},
        {"no service key: unchecked", release(0x00020006, true, false), nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CDriverVersionCheck::ResetCache();
        sim::SetRelease(row.release);
        Bcam::CBcam camera;
        const Raised raised = RaisedBy([&] { camera.Open(mono); });
        if (!row.found) {
            EXPECT_EQ(raised.code, 0u);
            EXPECT_TRUE(camera.IsOpen());
            continue;
        }
        EXPECT_EQ(raised.code, Bcam::codes::kWrongDriverRelease);
        EXPECT_EQ(raised.context, "CDriverVersionCheck::Match");
        EXPECT_FALSE(camera.IsOpen());
        EXPECT_EQ(Bcam::CBcam::OpenDeviceCount(), 0u);
        EXPECT_NE(raised.description.find("1.6"), std::string::npos) << raised.description;
        EXPECT_NE(raised.description.find(row.found), std::string::npos) << raised.description;
    }
}

TEST_F(DriverReleaseOnOpen, DriverFileIsLookedUpUnderTheWindowsDirectory) {
    sim::DriverRelease release;
    release.imagePath = "System32\\DRIVERS\\bcam.sys";
    sim::SetRelease(release);
    Bcam::CBcam camera;
    camera.Open(mono);
    const std::string asked =
        CDriverVersionCheck::DriverFilePath(release.imagePath, fennex::platform::WindowsDirectory());
    EXPECT_EQ(sim::LastVersionQueryPath(), asked);
    // Checked once: opening again asks nothing more.
    camera.Close();
    release.imagePath = "\\SystemRoot\\elsewhere\\bcam.sys";
    sim::SetRelease(release);
    camera.Open(colour);
    EXPECT_EQ(sim::LastVersionQueryPath(), asked);
}

}  // namespace
