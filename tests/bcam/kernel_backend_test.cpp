// The kernel-driver backend where it exists (Windows, and Wine under which the x64 suite runs).
#include "fixture.h"
#ifdef _WIN32

#include "bcam/backends.h"
#include "bcam/enumeration.h"

namespace fennex::test {
namespace {

bool DriverInstalled() {
    std::string path;
    std::uint32_t error = 0;
    return Bcam::KernelBackend().QueryServiceImagePath(&path, &error);
}

TEST(KernelBackend, WithoutTheDriverNoCameraIsListedAndNothingRaises) {
    if (DriverInstalled()) GTEST_SKIP() << "the bcam driver is installed here";
    EXPECT_TRUE(Bcam::CBcamDevMgr::DeviceNames(Bcam::KernelBackend()).empty());
    const platform::Handle device = Bcam::KernelBackend().OpenDevice(
        Bcam::DevicePathFromName("NONE&CAMERA#0000000000000000"));
    EXPECT_FALSE(platform::IsValidHandle(device));
    EXPECT_NE(platform::LastError(), 0u);
}

TEST(KernelBackend, FileVersionsComeFromTheVersionResource) {
    struct Case {
        const char* path;
        bool found;
    } cases[] = {
        {"C:\\windows\\system32\\kernel32.dll", true},
        {"C:\\windows\\system32\\no-such-driver.sys", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::uint32_t ms = 0, ls = 0;
        EXPECT_EQ(Bcam::KernelBackend().QueryFileVersion(c.path, &ms, &ls), c.found);
        if (c.found) {
            EXPECT_NE(ms, 0u);
        }
    }
}

}  // namespace
}  // namespace fennex::test

#endif
