// Device names and paths, and the enumeration of the attached cameras.
#include <list>

#include "bcam/enumeration.h"
#include "fixture.h"

namespace fennex::test {
namespace {

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
        {"a#b#c", true, "b", "a#b#c"},
        {"##", true, "", "##"},
        {"p#q#r#s#t", true, "q#r", "p#q#r#s#t"},
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

class Enumeration : public SimCameras {};

TEST_F(Enumeration, ListsPresentCamerasInOrderAsTheyComeAndGo) {
    const std::vector<std::vector<std::string>> sets = {{}, {"ONE&A#1"}, {"TWO&B#2", "ONE&A#1"}};
    for (const auto& names : sets) {
        SetMonoCameras(names);
        EXPECT_EQ(Bcam::CBcam::DeviceNames(), std::list<std::string>(names.begin(), names.end()));
    }
    sim::Reset();
    EXPECT_EQ(Bcam::CBcam::DeviceNames(), (std::list<std::string>{kMono, kColour}));
    sim::Plug(MonoNamed("THREE&C#3"));
    EXPECT_TRUE(sim::Unplug(kMono));
    EXPECT_EQ(Bcam::CBcam::DeviceNames(), (std::list<std::string>{kColour, "THREE&C#3"}));
}

TEST_F(Enumeration, FailureAtEachStepRaisesAndReturnsNoPartialList) {
    struct Case {
        sim::Fault fault;
        std::uint32_t code;
        const char* context;
    } cases[] = {
        {sim::Fault(sim::kOpOpenInterfaceSet, 5), 5, "CBcamDevInfo"},
        {sim::Fault(sim::kOpEnumInterface, 8).At(1), 8, "CBcam::DeviceNames"},
        {sim::Fault(sim::kOpInterfaceDetailSize, 87).At(1), 87, "CBcamDevMgr::DeviceNames"},
        // A failure that leaves no error would have the loop retry the same index for ever.
        {sim::Fault(sim::kOpEnumInterface, 0).At(1), 31, "CBcam::DeviceNames"},
        {sim::Fault(sim::kOpInterfaceDetailSize, 0).At(0), 31, "CBcamDevMgr::DeviceNames"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.context);
        sim::ClearFaults();
        sim::InjectFault(c.fault);
        std::list<std::string> names{"untouched"};
        const Raised raised = RaisedBy([&] { names = Bcam::CBcam::DeviceNames(); });
        EXPECT_EQ(raised.code, c.code);
        EXPECT_EQ(raised.context, c.context);
        EXPECT_EQ(names, std::list<std::string>{"untouched"});
    }
}

TEST_F(Enumeration, TheDriverReleaseIsCheckedOnceTheSetIsOpen) {
    sim::SetRelease({.versionMS = 0x00010005});
    std::list<std::string> names{"untouched"};
    EXPECT_EQ(RaisedBy([&] { names = Bcam::CBcam::DeviceNames(); }).code, 0x4FF00019u);
    EXPECT_EQ(names, std::list<std::string>{"untouched"});
    // The set was opened first: its failure wins.
    sim::InjectFault(sim::Fault(sim::kOpOpenInterfaceSet, 8));
    const Raised raised = RaisedBy([] { Bcam::CBcam::DeviceNames(); });
    EXPECT_EQ(raised.code, 8u);
    EXPECT_EQ(raised.context, "CBcamDevInfo");
    // A failed check is made again: a mended driver passes.
    sim::SetRelease({});
    EXPECT_EQ(Bcam::CBcam::DeviceNames().size(), 2u);
}

}  // namespace
}  // namespace fennex::test
