// The driver release check that guards every enumeration and every Open.
#include "fixture.h"

#include "platform/environment.h"

namespace fennex::test {
namespace {

using Bcam::CDriverVersionCheck;

class DriverReleaseOnOpen : public SimCameras {};

TEST_F(DriverReleaseOnOpen, OnlyReleaseOneSixOpens) {
    const struct {
        const char* what;
        sim::DriverRelease release;
        std::uint32_t code;  // 0: the camera opens
        const char* found;   // the release a refusal names; null: no release is named
    } rows[] = {
        {"release 1.6, any build and revision", {.versionMS = 0x00010006, .versionLS = 7}, 0, nullptr},
        {"release 1.5", {.versionMS = 0x00010005}, codes::kWrongDriverRelease, "1.5"},
        {"release 2.6", {.versionMS = 0x00020006}, codes::kWrongDriverRelease, "2.6"},
        {"no version information: 0.0", {.versionInfo = false}, codes::kWrongDriverRelease, "0.0"},
        {"no service key: unchecked", {.serviceKey = false, .versionMS = 0x00020006}, 0, nullptr},
        {"an unreadable image path raises the registry's error", {.imagePathError = 5}, 5, nullptr},
    };
    for (const auto& row : rows) {
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
    sim::SetRelease({.versionMS = 0x00010005});
    Bcam::CBcam camera;
    EXPECT_THROW(camera.Open(kMono), Bcam::BcamException);
    sim::SetRelease({});
    camera.Open(kMono);
    camera.Close();
    sim::SetRelease({.versionMS = 0x00020006});
    camera.Open(kColour);
    EXPECT_TRUE(camera.IsOpen());
}

TEST_F(DriverReleaseOnOpen, TheImagePathIsExpandedAndPlacedUnderTheWindowsDirectory) {
    const ScopedEnvironment root("FENNEX_TEST_SYSTEM_ROOT", "C:\\WINNT");
    const std::string relative = "System32\\DRIVERS\\bcam.sys";
    const std::pair<std::string, std::string> cases[] = {  // the image path, the file asked for
        {relative, CDriverVersionCheck::DriverFilePath(relative, fennex::platform::WindowsDirectory())},
        {"%FENNEX_TEST_SYSTEM_ROOT%\\" + relative, "C:\\WINNT\\" + relative},
        // An unknown variable stays as written; the leading '%' makes it no relative path.
        {"%FENNEX_NO_SUCH_VARIABLE%\\bcam.sys", "%FENNEX_NO_SUCH_VARIABLE%\\bcam.sys"},
    };
    for (const auto& [imagePath, asked] : cases) {
        CDriverVersionCheck::ResetCache();
        sim::SetRelease({.imagePath = imagePath});
        Bcam::CBcam camera;
        camera.Open(kMono);
        EXPECT_EQ(sim::LastVersionQueryPath(), asked);
    }
}

TEST(DriverFilePath, RelativePathsLieUnderTheWindowsDirectory) {
    const std::string driver = "System32\\DRIVERS\\bcam.sys";
    const struct {
        std::string imagePath, windowsDirectory, file;
    } rows[] = {
        {driver, "C:\\WINDOWS", "C:\\WINDOWS\\" + driver},
        {driver, "D:\\", "D:\\" + driver},
        {"C:\\WINDOWS\\" + driver, "E:\\WIN", "C:\\WINDOWS\\" + driver},
        {"\\SystemRoot\\" + driver, "C:\\WINDOWS", "\\SystemRoot\\" + driver},
        {"1394\\bcam.sys", "C:\\WINDOWS", "1394\\bcam.sys"},  // a digit is no letter
        {"", "C:\\WINDOWS", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CDriverVersionCheck::DriverFilePath(row.imagePath, row.windowsDirectory), row.file);
}

}  // namespace
}  // namespace fennex::test
