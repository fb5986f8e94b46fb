// Property bags on INI files: value texts, error codes and the section rules of Create, Open
// and the sub-bags.

#include "settings/ini_file_property_bag.h"
#include "fixture.h"

namespace fennex::test {
namespace {

using Bcam::CIniFilePropertyBag;
using Bcam::CPropertyBagPtr;

TEST(PropertyBagRead, ValueTextReadsAsItsTypeOrIsRefused) {
    enum Type { Bool, Long, Float, String };
    const char* const kContexts[] = {"CPropertyBag::ReadBool()", "CPropertyBag::ReadLong()",
                                     "CPropertyBag::ReadFloat()", "CPropertyBag::ReadString()"};
    const struct {
        const char* stored;  // value text as found in the file
        Type type;
        std::uint32_t error;   // 0: reads as `expected`
        const char* expected;  // the value, printed back as its text
    } cases[] = {
        {"true", Bool, 0, "true"},
        {"TRUE", Bool, 0, "true"},
        {"False", Bool, 0, "false"},
        {"yes", Bool, codes::kBadValueText, ""},
        {"1", Bool, codes::kBadValueText, ""},
        {"truex", Bool, codes::kBadValueText, ""},
        {"", Bool, codes::kKeyMissing, ""},
        {"12abc", Long, 0, "12"},
        {"-2147483648", Long, 0, "-2147483648"},
        {"2147483648", Long, codes::kBadValueText, ""},
        {"abc", Long, codes::kBadValueText, ""},
        {"0.5", Float, 0, "0.500000"},
        {"-1.25e2xyz", Float, 0, "-125.000000"},
        {"1e99", Float, codes::kBadValueText, ""},
        {"", Float, codes::kKeyMissing, ""},
        {"Cam 1394 #2", String, 0, "Cam 1394 #2"},
        {"", String, codes::kKeyMissing, ""},
    };
    ScratchDirectory dir;
    CPropertyBagPtr bag = CIniFilePropertyBag::Create(dir.File("values.cfg"), "BCAM");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.stored + "\" as " + kContexts[c.type]);
        bag->WriteString("Key", c.stored);
        std::string value;
        const auto caught = RaisedBy([&] {
            switch (c.type) {
                case Bool: value = bag->ReadBool("Key") ? "true" : "false"; break;
                case Long: value = std::to_string(bag->ReadLong("Key")); break;
                case Float: value = Bcam::FloatText(bag->ReadFloat("Key")); break;
                case String: value = bag->ReadString("Key"); break;
            }
        });
        EXPECT_EQ(caught.code, c.error);
        EXPECT_EQ(caught.context, c.error ? kContexts[c.type] : "");
        if (c.error == 0) {
            EXPECT_EQ(value, c.expected);
        }
    }
}

TEST(PropertyBagWrite, ValueIsStoredAsItsText) {
    using Bag = Bcam::CPropertyBag;
    const std::pair<std::function<void(Bag&)>, const char*> cases[] = {  // a write, the text kept
        {[](Bag& b) { b.WriteBool("Key", true); }, "true"},
        {[](Bag& b) { b.WriteLong("Key", INT32_MIN); }, "-2147483648"},
        {[](Bag& b) { b.WriteFloat("Key", -2.0000005f); }, "-2.000000"},
        {[](Bag& b) { b.WriteFloat("Key", 1e10f); }, "10000000000.000000"},
        {[](Bag& b) { b.WriteString("Key", "A602f"); }, "A602f"},
        {[](Bag& b) { b.WriteString("Key", "a=\"b\" 'c'"); }, "a=\"b\" 'c'"},
        {[](Bag& b) { b.WriteString("Key", "\"q=1\""); }, "\"q=1\""},
        {[](Bag& b) { b.WriteString("Key", "'q'"); }, "'q'"},
        {[](Bag& b) { b.WriteLong("KEY", 7); }, "7"},  // keys ignore case
    };
    ScratchDirectory dir;
    for (const auto& [write, text] : cases) {
        CPropertyBagPtr bag = CIniFilePropertyBag::Create(dir.File("w.cfg"), "BCAM");
        write(*bag);
        EXPECT_EQ(bag->ReadString("Key"), text);
    }
}

TEST(PropertyBagSections, SectionRulesHold) {
    using Action = std::function<void(const std::string& file)>;
    const auto open = [](const char* section) -> Action {
        return [=](const std::string& f) { CIniFilePropertyBag::Open(f, section); };
    };
    const auto getBag = [](const char* section) -> Action {
        return [=](const std::string& f) { CIniFilePropertyBag::Open(f, "BCAM")->GetBag(section); };
    };
    const auto createBag = [](const char* section) -> Action {
        return [=](const std::string& f) { CIniFilePropertyBag::Open(f, "BCAM")->CreateBag(section); };
    };
    const char* const kConstructor = "CIniFilePropertyBag::CIniFilePropertyBag()";
    const struct {
        const char* name;
        Action action;
        std::uint32_t error;
        const char* context;
    } cases[] = {
        {"open existing", open("BCAM"), 0, ""},
        {"open ignores case", open("bcam"), 0, ""},
        {"open missing section", open("Gain"), codes::kSectionMissing, kConstructor},
        {"open missing file", [](const std::string& f) { CIniFilePropertyBag::Open(f + ".none", "BCAM"); },
         fennex::platform::err::kFileNotFound, "CIniFilePropertyBag::Open()"},
        {"sub-bag of a sibling section", getBag("Trigger"), 0, ""},
        {"sub-bag missing", getBag("Gamma"), codes::kSectionMissing, kConstructor},
        {"create existing sub-bag", createBag("TRIGGER"), codes::kSectionExists, kConstructor},
        {"create new sub-bag", createBag("Gamma"), 0, ""},
        {"create in a missing directory",
         [](const std::string& f) { CIniFilePropertyBag::Create(f + ".d/none/x.cfg", "BCAM"); },
         fennex::platform::err::kCannotMake, "CIniFilePropertyBag::Create()"},
    };
    ScratchDirectory dir;
    const std::string file = dir.File("sections.cfg");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(file, "[BCAM]\nModel=A\n[Trigger]\nOnOff=false\n");
        const auto caught = RaisedBy([&] { c.action(file); });
        EXPECT_EQ(caught.code, c.error);
        EXPECT_EQ(caught.context, c.context);
    }
}

TEST(PropertyBagFile, CreateReplacesAnExistingFileAndLongValuesAreCut) {
    ScratchDirectory dir;
    const std::string file = dir.File("old.cfg");
    WriteFile(file, "[BCAM]\nModel=Old\n[Gain]\nRawValue=3\n");
    CPropertyBagPtr bag = CIniFilePropertyBag::Create(file, "BCAM");
    // The old keys are gone, and so is the old section.
    EXPECT_EQ(RaisedBy([&] { bag->ReadString("Model"); }).code, codes::kKeyMissing);
    EXPECT_EQ(RaisedBy([&] { bag->GetBag("Gain"); }).code, codes::kSectionMissing);
    bag->WriteString("Key", std::string(3000, 'x'));
    EXPECT_EQ(bag->ReadString("Key"), std::string(1023, 'x'));
}

// A bag that tells when it is destroyed.
struct CountedBag : RecordingBag {
    CountedBag(Store& store, std::atomic<int>& count) : RecordingBag(store, "x"), destroyed(count) {}
    ~CountedBag() override { ++destroyed; }
    std::atomic<int>& destroyed;
};

TEST(PropertyBagPtr, HandlesDroppedOnManyThreadsDestroyTheBagOnce) {
    RecordingBag::Store store;
    std::atomic<int> destroyed{0};
    {
        CPropertyBagPtr bag = CPropertyBagPtr::Make<CountedBag>(store, destroyed);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([bag] {
                for (int i = 0; i < 10000; ++i) CPropertyBagPtr copy = bag;
            });
        for (auto& thread : threads) thread.join();
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
}

}  // namespace
}  // namespace fennex::test
