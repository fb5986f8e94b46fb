// Device names and paths, and the enumeration of the attached cameras.
#include <list>

#include "bcam/backends.h"
#include "bcam/cbcam.h"
#include "bcam/enumeration.h"
#include "errors/driver_version_check.h"
#include "errors/exception.h"
#include "sim_support.h"
#include "test_support.h"

namespace {

using namespace simtest;
using fennex::test::Raised;
using fennex::test::RaisedBy;

TEST(DeviceNames, PathAndNameHelpers) {
    const std::string guid = "#{35273622-C2F3-452a-8F39-5AFFC0345EB8}";
    struct Case {
        const char* text;
        bool isPath;
        const char* name;  // DeviceNameFromPath
        std::string path;  // DevicePathFromName
    } cases[] = {
        {"\\\\?\\1394#x&y#z#{35273622-c2f3-452a-8f39-5affc0345eb8}", true, "x&y#z",
         "\\\\?\\1394#x&y#z#{35273622-c2f3-452a-8f39-5affc0345eb8}"},
        {"x&y#z", false, "x&y#z", "\\\\?\\1394#x&y#z" + guid},
        {"plain", false, "plain", "\\\\?\\1394#plain" + guid},
        {"", false, "", "\\\\?\\1394#" + guid},
        {"a#b#", true, "b", "a#b#"},
        {"a#b#c", true, "b", "a#b#c"},
        {"##", true, "", "##"},
        {"#only", false, "#only", "\\\\?\\1394##only" + guid},
        {"p#q#r#s#t", true, "q#r", "p#q#r#s#t"},
        {"\\\\?\\1394#MONO&SIM640#0030530000A10001#{guid}#tail", true, "MONO&SIM640#0030530000A10001",
         "\\\\?\\1394#MONO&SIM640#0030530000A10001#{guid}#tail"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Bcam::IsDevicePath(c.text), c.isPath);
        EXPECT_EQ(Bcam::DeviceNameFromPath(c.text), c.name);
        EXPECT_EQ(Bcam::DevicePathFromName(c.text), c.path);
    }
    // A built path names the same device as the path the driver reports.
    EXPECT_EQ(Bcam::DeviceNameFromPath(Bcam::DevicePathFromName(kMono)), kMono);
}

class Enumeration : public SimTest {};

sim::CameraDesc Named(const std::string& name) {
    sim::CameraDesc c = sim::DefaultCameras()[0];
    c.name = name;
    return c;
}

TEST_F(Enumeration, ListsPresentCamerasInOrder) {
    const std::vector<std::vector<std::string>> sets = {
        {},
        {"ONE&A#1"},
        {"TWO&B#2", "ONE&A#1"},
        {"C#3", "A#1", "B#2", "A#0"},
    };
    for (const auto& names : sets) {
        std::vector<sim::CameraDesc> cameras;
        for (const std::string& n : names) cameras.push_back(Named(n));
        sim::SetCameras(cameras);
        const std::list<std::string> expected(names.begin(), names.end());
        EXPECT_EQ(Bcam::CBcamDevMgr::DeviceNames(sim::Driver()), expected);
        EXPECT_EQ(Bcam::CBcam::DeviceNames(), expected);
    }
}

TEST_F(Enumeration, FailureAtEachStepRaisesAndReturnsNoPartialList) {
    struct Case {
        const char* what;
        sim::Fault fault;
        std::uint32_t code;
        const char* context;
    } cases[] = {
        {"information set", sim::Fault(sim::kOpOpenInterfaceSet, 5), 5, "CBcamDevInfo"},
        {"first interface", sim::Fault(sim::kOpEnumInterface, 31).At(0), 31, "CBcam::DeviceNames"},
        {"second interface", sim::Fault(sim::kOpEnumInterface, 8).At(1), 8, "CBcam::DeviceNames"},
        {"size query", sim::Fault(sim::kOpInterfaceDetailSize, 87).At(1), 87, "CBcamDevMgr::DeviceNames"},
        {"detail", sim::Fault(sim::kOpInterfaceDetail, 1167).At(0), 1167, "CBcam::DeviceNames"},
        {"second detail", sim::Fault(sim::kOpInterfaceDetail, 2).At(1), 2, "CBcam::DeviceNames"},
        // A failure that leaves no error would have the loop retry the same index for ever.
        {"failure without an error", sim::Fault(sim::kOpEnumInterface, 0).At(1), 31, "CBcam::DeviceNames"},
        {"size query without an error", sim::Fault(sim::kOpInterfaceDetailSize, 0).At(0), 31,
         "CBcamDevMgr::DeviceNames"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::ClearFaults();
        sim::InjectFault(c.fault);
        std::list<std::string> names{"untouched"};
        const Raised raised = RaisedBy([&] { names = Bcam::CBcam::DeviceNames(); });
        EXPECT_EQ(raised.code, c.code);
        EXPECT_EQ(raised.context, c.context);
        EXPECT_EQ(names, std::list<std::string>{"untouched"});
    }
    sim::ClearFaults();
    EXPECT_EQ(Bcam::CBcam::DeviceNames().size(), 2u);
}

TEST_F(Enumeration, CamerasPluggedAndUnpluggedShowUpInTheList) {
    // The host tells cameras apart by their first four characters: so do the built-in ones.
    EXPECT_NE(kMono.substr(0, 4), kColour.substr(0, 4));
    EXPECT_EQ(Bcam::CBcam::DeviceNames(), (std::list<std::string>{kMono, kColour}));
    sim::Plug(Named("THREE&C#3"));
    EXPECT_EQ(Bcam::CBcam::DeviceNames(), (std::list<std::string>{kMono, kColour, "THREE&C#3"}));
    EXPECT_TRUE(sim::Unplug(kMono));
    EXPECT_EQ(Bcam::CBcam::DeviceNames(), (std::list<std::string>{kColour, "THREE&C#3"}));
}

TEST_F(Enumeration, TheDriverReleaseIsCheckedOnceTheSetIsOpen) {
    struct Case {
        const char* what;
        sim::DriverRelease release;
        std::uint32_t error;  // 0: the cameras are listed
    } cases[] = {
        {"release 1.6", {}, 0},
        {"release 1.5", {.versionMS = 0x00010005}, 0x4FF00019},
        {"release 2.6", {.versionMS = 0x00020006}, 0x4FF00019},
        {"no service key: unchecked", {.serviceKey = false, .versionMS = 0x00010005}, 0},
        {"image path unreadable", {.imagePathError = 5}, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bcam::CDriverVersionCheck::ResetCache();
        sim::SetRelease(c.release);
        std::size_t listed = 0;
        EXPECT_EQ(RaisedBy([&] { listed = Bcam::CBcam::DeviceNames().size(); }).code, c.error);
        EXPECT_EQ(listed, c.error ? 0u : 2u);
    }
    // A failed check is made again next time, and a mended driver passes.
    sim::SetRelease({});
    EXPECT_EQ(Bcam::CBcam::DeviceNames().size(), 2u);
    // The set was opened first: its failure wins.
    Bcam::CDriverVersionCheck::ResetCache();
    sim::SetRelease({.versionMS = 0x00010005});
    sim::InjectFault(sim::Fault(sim::kOpOpenInterfaceSet, 8));
    const Raised raised = RaisedBy([] { Bcam::CBcam::DeviceNames(); });
    EXPECT_EQ(raised.code, 8u);
    EXPECT_EQ(raised.context, "CBcamDevInfo");
    sim::SetRelease({});
    Bcam::CDriverVersionCheck::ResetCache();
}

TEST(BackendChoice, NamedBackends) {
    EXPECT_EQ(&Bcam::BackendNamed("sim"), &sim::Driver());
#ifndef _WIN32
    EXPECT_EQ(&Bcam::BackendNamed(""), &sim::Driver());
    const char* kernel = "kernel";  // there is no kernel driver here
#else
    const char* kernel = "Kernel";
#endif
    for (const char* bad : {"Sim", "kernel32", "simulated", " sim", kernel}) {
        SCOPED_TRACE(bad);
        const Raised raised = RaisedBy([&] { Bcam::BackendNamed(bad); });
        EXPECT_EQ(raised.code, 0x80070057u);
        EXPECT_NE(raised.context.find(std::string("FENNEX_DRIVER=") + bad), std::string::npos)
            << raised.context;
    }
}

}  // namespace
