// The camera driver a process uses, chosen by FENNEX_DRIVER.
#include "driver/backend_choice.h"
#include "fixture.h"

namespace fennex::test {
namespace {

TEST(BackendChoice, NamedBackends) {
    EXPECT_EQ(&fennex::driver::BackendNamed("sim"), &sim::Driver());
#ifndef _WIN32
    EXPECT_EQ(&fennex::driver::BackendNamed(""), &sim::Driver());
    const char* kernel = "kernel";  // there is no kernel driver here
#else
    const char* kernel = "Kernel";
#endif
    for (const char* bad : {"Sim", " sim", kernel}) {
        SCOPED_TRACE(bad);
        const Raised raised = RaisedBy([&] { fennex::driver::BackendNamed(bad); });
        EXPECT_EQ(raised.code, 0x80070057u);
        EXPECT_NE(raised.context.find(std::string("FENNEX_DRIVER=") + bad), std::string::npos)
            << raised.context;
    }
}

}  // namespace
}  // namespace fennex::test
