// Property bags on INI files: value texts, error codes and the section rules of Create, Open
// and the sub-bags.

#include "settings/ini_file_property_bag.h"
#include "fixture.h"

namespace fennex::test {
namespace {

using Bcam::CIniFilePropertyBag;
using Bcam::CPropertyBagPtr;

enum class Type { Bool, Long, Float, String };

struct ReadCase {
    const char* stored;    // value text as found in the file
    Type type;
    std::uint32_t error;   // 0: reads as `expected`
    const char* expected;  // the value, printed back as its text
    const char* context;
};

std::string ReadAsText(Bcam::CPropertyBag& bag, Type type) {
    switch (type) {
        case Type::Bool: return bag.ReadBool("Key") ? "true" : "false";
        case Type::Long: return std::to_string(bag.ReadLong("Key"));
        case Type::Float: return Bcam::FloatText(bag.ReadFloat("Key"));
        case Type::String: return bag.ReadString("Key");
    }
    return {};
}

TEST(PropertyBagRead, ValueTextReadsAsItsTypeOrIsRefused) {
    const ReadCase cases[] = {
        {"true", Type::Bool, 0, "true", ""},
        {"TRUE", Type::Bool, 0, "true", ""},
        {"False", Type::Bool, 0, "false", ""},
        {"yes", Type::Bool, codes::kBadValueText, "", "CPropertyBag::ReadBool()"},
        {"1", Type::Bool, codes::kBadValueText, "", "CPropertyBag::ReadBool()"},
        {"truex", Type::Bool, codes::kBadValueText, "", "CPropertyBag::ReadBool()"},
        {"", Type::Bool, codes::kKeyMissing, "", "CPropertyBag::ReadBool()"},
        {"12abc", Type::Long, 0, "12", ""},
        {"-2147483648", Type::Long, 0, "-2147483648", ""},
        {"2147483648", Type::Long, codes::kBadValueText, "", "CPropertyBag::ReadLong()"},
        {"abc", Type::Long, codes::kBadValueText, "", "CPropertyBag::ReadLong()"},
        {"0.5", Type::Float, 0, "0.500000", ""},
        {"-1.25e2xyz", Type::Float, 0, "-125.000000", ""},
        {"1e99", Type::Float, codes::kBadValueText, "", "CPropertyBag::ReadFloat()"},
        {"", Type::Float, codes::kKeyMissing, "", "CPropertyBag::ReadFloat()"},
        {"Cam 1394 #2", Type::String, 0, "Cam 1394 #2", ""},
        {"", Type::String, codes::kKeyMissing, "", "CPropertyBag::ReadString()"},
    };
    ScratchDirectory dir;
    CPropertyBagPtr bag = CIniFilePropertyBag::Create(dir.File("values.cfg"), "BCAM");
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.stored + "\" as type " +
                     std::to_string(static_cast<int>(c.type)));
        bag->WriteString("Key", c.stored);
        std::string value;
        const auto caught = RaisedBy([&] { value = ReadAsText(*bag, c.type); });
        if (c.error == 0) {
            EXPECT_FALSE(caught.thrown) << std::hex << caught.code << " " << caught.context;
            EXPECT_EQ(value, c.expected);
        } else {
            EXPECT_TRUE(caught.thrown);
            EXPECT_EQ(caught.code, c.error);
            EXPECT_EQ(caught.context, c.context);
        }
    }
}

TEST(PropertyBagWrite, ValueIsStoredAsItsText) {
    const struct {
        const char* name;
        std::function<void(Bcam::CPropertyBag&)> write;
        const char* text;  // what the file holds afterwards
    } cases[] = {
        {"bool true", [](Bcam::CPropertyBag& b) { b.WriteBool("Key", true); }, "true"},
        {"long minimum", [](Bcam::CPropertyBag& b) { b.WriteLong("Key", INT32_MIN); }, "-2147483648"},
        {"float rounded", [](Bcam::CPropertyBag& b) { b.WriteFloat("Key", -2.0000005f); }, "-2.000000"},
        {"float large", [](Bcam::CPropertyBag& b) { b.WriteFloat("Key", 1e10f); }, "10000000000.000000"},
        {"string", [](Bcam::CPropertyBag& b) { b.WriteString("Key", "A602f"); }, "A602f"},
        {"string with '=' and quotes", [](Bcam::CPropertyBag& b) { b.WriteString("Key", "a=\"b\" 'c'"); },
         "a=\"b\" 'c'"},
        {"string in quotes", [](Bcam::CPropertyBag& b) { b.WriteString("Key", "\"q=1\""); }, "\"q=1\""},
        {"string in single quotes", [](Bcam::CPropertyBag& b) { b.WriteString("Key", "'q'"); }, "'q'"},
        {"key ignores case", [](Bcam::CPropertyBag& b) { b.WriteLong("KEY", 7); }, "7"},
    };
    ScratchDirectory dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CPropertyBagPtr bag = CIniFilePropertyBag::Create(dir.File("w.cfg"), "BCAM");
        c.write(*bag);
        EXPECT_EQ(bag->ReadString("Key"), c.text);
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
        {"open missing file",
         [](const std::string& f) { CIniFilePropertyBag::Open(f + ".none", "BCAM"); },
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
        EXPECT_EQ(caught.thrown, c.error != 0);
        EXPECT_EQ(caught.code, c.error);
        EXPECT_EQ(caught.context, c.context);
    }
}

TEST(PropertyBagFile, CreateReplacesAnExistingFile) {
    ScratchDirectory dir;
    const std::string file = dir.File("old.cfg");
    WriteFile(file, "[BCAM]\nModel=Old\n[Gain]\nRawValue=3\n");
    CPropertyBagPtr bag = CIniFilePropertyBag::Create(file, "BCAM");
    // The old keys are gone, and so is the old section.
    EXPECT_EQ(RaisedBy([&] { bag->ReadString("Model"); }).code, codes::kKeyMissing);
    EXPECT_EQ(RaisedBy([&] { bag->GetBag("Gain"); }).code, codes::kSectionMissing);
}

TEST(PropertyBagFile, LongValueIsCutToTheBuffer) {
    ScratchDirectory dir;
    CPropertyBagPtr bag = CIniFilePropertyBag::Create(dir.File("long.cfg"), "BCAM");
    bag->WriteString("Key", std::string(3000, 'x'));
    EXPECT_EQ(bag->ReadString("Key"), std::string(1023, 'x'));
}

// A bag that tells when it is destroyed.
class CountedBag : public RecordingBag {
public:
    CountedBag(Store& store, std::atomic<int>& destroyed)
        : RecordingBag(store, "x"), destroyed_(destroyed) {}
    ~CountedBag() override { ++destroyed_; }

private:
    std::atomic<int>& destroyed_;
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
