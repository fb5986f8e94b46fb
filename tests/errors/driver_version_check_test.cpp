// The driver release check that guards every enumeration and every Open.
#include "fixture.h"

#include "platform/environment.h"

namespace fennex::test {
namespace {

using Bcam::CDriverVersionCheck;

sim::DriverRelease Release(std::uint32_t ms, bool versionInfo = true, bool serviceKey = true,
                           std::uint32_t imagePathError = 0) {
    sim::DriverRelease r;
    r.versionMS = ms;
    r.versionInfo = versionInfo;
    r.serviceKey = serviceKey;
    r.imagePathError = imagePathError;
    return r;
}

class DriverReleaseOnOpen : public SimCameras {};

TEST_F(DriverReleaseOnOpen, OnlyReleaseOneSixOpens) {
    struct Row {
        const char* what;
        sim::DriverRelease release;
        std::uint32_t code;  // 0: the camera opens
        const char* found;   // the release a refusal names; null: no release is named
    };
    const Row rows[] = {
        {"release 1.6, any build and revision", Release(0x00010006), 0, nullptr},
        {"release 1.5", Release(0x00010005), Bcam::codes::kWrongDriverRelease, "1.5"},
        {"release 2.6", Release(0x00020006), Bcam::codes::kWrongDriverRelease, "2.6"},
        {"no version information is release 0.0", Release(0x00010006, false),
         Bcam::codes::kWrongDriverRelease, "0.0"},
        {"no service key: unchecked", Release(0x00020006, true, false), 0, nullptr},
        {"an unreadable image path raises the registry's error", Release(0x00010006, true, true, 5), 5,
         nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CDriverVersionCheck::ResetCache();
        sim::SetRelease(row.release);
        Bcam::CBcam camera;
        const Raised raised = RaisedBy([&] { camera.Open(kMono); });
        EXPECT_EQ(raised.code, row.code);
        EXPECT_EQ(camera.IsOpen(), row.code == 0);
        EXPECT_EQ(Bcam::CBcam::OpenDeviceCount(), row.code == 0 ? 1u : 0u);
        if (row.code == 0) continue;
        // The registry's error carries no context of its own.
        EXPECT_EQ(raised.context, row.found ? "CDriverVersionCheck::Match" : "");
        if (!row.found) continue;
        EXPECT_NE(raised.description.find("1.6"), std::string::npos) << raised.description;
        EXPECT_NE(raised.description.find(row.found), std::string::npos) << raised.description;
    }
}

TEST_F(DriverReleaseOnOpen, SuccessIsRememberedAndAMismatchIsNot) {
    sim::SetRelease(Release(0x00010005));
    Bcam::CBcam camera;
    EXPECT_THROW(camera.Open(kMono), Bcam::BcamException);
    sim::SetRelease(Release(0x00010006));
    camera.Open(kMono);
    camera.Close();
    sim::SetRelease(Release(0x00020006));
    camera.Open(kColour);
    EXPECT_TRUE(camera.IsOpen());
}

TEST_F(DriverReleaseOnOpen, TheImagePathIsExpandedAndPlacedUnderTheWindowsDirectory) {
    const ScopedEnvironment root("FENNEX_TEST_SYSTEM_ROOT", "C:\\WINNT");
    const std::string relative = "System32\\DRIVERS\\bcam.sys";
    const struct {
        std::string imagePath, asked;
    } cases[] = {
        {relative, CDriverVersionCheck::DriverFilePath(relative, fennex::platform::WindowsDirectory())},
        {"%FENNEX_TEST_SYSTEM_ROOT%\\" + relative, "C:\\WINNT\\" + relative},
        // An unknown variable stays as written; the leading '%' makes it no relative path.
        {"%FENNEX_NO_SUCH_VARIABLE%\\bcam.sys", "%FENNEX_NO_SUCH_VARIABLE%\\bcam.sys"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.imagePath);
        CDriverVersionCheck::ResetCache();
        sim::DriverRelease release;
        release.imagePath = c.imagePath;
        sim::SetRelease(release);
        Bcam::CBcam camera;
        camera.Open(kMono);
        EXPECT_EQ(sim::LastVersionQueryPath(), c.asked);
    }
}

TEST(DriverFilePath, RelativePathsLieUnderTheWindowsDirectory) {
    const struct {
        const char* imagePath;
        const char* windowsDirectory;
        const char* file;
    } rows[] = {
        {"System32\\DRIVERS\\bcam.sys", "C:\\WINDOWS", "C:\\WINDOWS\\System32\\DRIVERS\\bcam.sys"},
        {"System32\\DRIVERS\\bcam.sys", "D:\\", "D:\\System32\\DRIVERS\\bcam.sys"},
        {"C:\\WINDOWS\\System32\\DRIVERS\\bcam.sys", "E:\\WIN", "C:\\WINDOWS\\System32\\DRIVERS\\bcam.sys"},
        {"\\SystemRoot\\System32\\DRIVERS\\bcam.sys", "C:\\WINDOWS", "\\SystemRoot\\System32\\DRIVERS\\bcam.sys"},
        {"1394\\bcam.sys", "C:\\WINDOWS", "1394\\bcam.sys"},  // a digit is no letter
        {"", "C:\\WINDOWS", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CDriverVersionCheck::DriverFilePath(row.imagePath, row.windowsDirectory), row.file)
            << row.imagePath;
}

}  // namespace
}  // namespace fennex::test
