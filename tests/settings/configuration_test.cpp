// Whole configuration files: what a save writes for the built-in cameras (reviewed golden
// files), that a restore brings the saved state back, and what a restore refuses or stops at.
#include "fixture.h"

#include "settings/ini_file_property_bag.h"

namespace fennex::test {
namespace {

// Known camera states of the golden files.
struct State {
    const char* name;
    std::string camera;
    Edit setup;
};

void ColourInFormatSeven(sim::CameraDesc& d) {
    d.format = 7;
    d.mode = 1;
    auto& m = d.format7[1];
    m.left = 16;
    m.top = 8;
    m.width = 640;
    m.height = 480;
    m.coding = 5;
    m.bytesPerPacket = 1200;
    d.feature(drv::kTrigger).control = (1u << 25) | (1u << 24) | (2u << 16) | 25;
    d.testImage = 3;
    d.feature(drv::kWhiteBalance).control = (1u << 25) | (300u << 12) | 700;
    d.feature(drv::kHue).control = 0;                   // switched off
    d.feature(drv::kShutter).control = (1u << 24) | 5;  // automatic
    d.feature(drv::kGain).control = 211;
}

const State kStates[] = {
    {"mono-default", kMono, {}},
    {"colour-default", kColour, {}},
    {"colour-format7", kColour, ColourInFormatSeven},
};

// Something different in every register field that a configuration covers.
void ChangeEverything(sim::CameraDesc& d) {
    for (std::uint32_t code = drv::kTrigger; code <= drv::kBrightness; ++code) {
        sim::Feature& f = d.feature(code);
        if (!f.inquiry) continue;
        if (f.inquiry & drv::kInqOnOff) f.control ^= drv::kCtlOnOff;
        if (code == drv::kTrigger) {
            f.control ^= (1u << 16) | 0x003;                       // mode, parameter
            if (f.inquiry & drv::kInqAuto) f.control ^= 1u << 24;  // polarity
            continue;
        }
        if (f.inquiry & drv::kInqAuto) f.control ^= drv::kCtlAutoMode;
        if ((f.inquiry & drv::kInqManual) && (f.inquiry & drv::kInqReadOut)) {
            f.control ^= 0x001;
            if (code == drv::kWhiteBalance) f.control ^= 0x001u << 12;
        }
    }
    d.testImage = d.testImage == 1 ? 2 : 1;
    for (auto& m : d.format7) {
        if (!m.present) continue;
        m.left += 4;
        m.top += 2;
        m.width -= 8;
        m.height -= 4;
        m.coding = 0;
        m.bytesPerPacket -= 4;
    }
    // Another mode that the camera has.
    if (d.format == 7) {
        d.format = 0;
        for (std::uint32_t mode = 0; mode < 8; ++mode)
            if (d.modes[0] & (1u << (31 - mode))) d.mode = mode;
        d.rate = 1;
    } else {
        d.mode = d.mode == 5 ? 6 : 1;
        if (d.mode == 1) d.rate = 1;
    }
}

class Configuration : public SimTest<State> {
protected:
    std::string Saved() {
        camera_.SaveConfiguration(file_);
        return ReadFile(file_);
    }
    // The golden file with LF line ends.
    std::string Golden() {
        const std::string golden = std::string(FENNEX_SOURCE_DIR) + "/tests/support/golden/";
        return IniLines(ReadFile(golden + GetParam().name + ".cfg"));
    }
    ScratchDirectory dir_;
    std::string file_ = dir_.File("camera.cfg");
};

TEST_P(Configuration, SaveWritesTheReviewedFile) {
    Open(GetParam().camera, GetParam().setup);
    ASSERT_FALSE(Golden().empty());
    const std::string saved = Saved();
    EXPECT_EQ(IniLines(saved), Golden());
    // Saved again over the earlier file, the same state gives the same bytes.
    EXPECT_EQ(Saved(), saved);
}

// Save, change everything, restore gives the first state back; the golden text serves as the
// saved file, with LF and with CRLF line ends (files from the other platform's build).
TEST_P(Configuration, GoldenFileRestoresWithEitherLineEnds) {
    const std::string golden = Golden();
    std::string crlf;
    for (char c : golden) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& text : {golden, crlf}) {
        Open(GetParam().camera, GetParam().setup);
        sim::EditCamera(name_, ChangeEverything);
        ASSERT_NE(IniLines(Saved()), golden);
        const std::string file = dir_.File("golden.cfg");
        WriteFile(file, text);
        camera_.RestoreConfiguration(file);
        EXPECT_EQ(IniLines(Saved()), golden);
        camera_.Close();
    }
}

TEST_P(Configuration, OtherModelIsRefusedBeforeAnythingChanges) {
    Open(GetParam().camera, GetParam().setup);
    const std::string text = Saved();
    const std::string model = sim::Camera(name_).model;
    // The same name in other letter case is another model too.
    for (const std::string& stored : {std::string("SIM-999"), Lower(model)}) {
        std::string changed = text;
        changed.replace(changed.find("Model=" + model), 6 + model.size(), "Model=" + stored);
        const std::string file = dir_.File("other.cfg");
        WriteFile(file, changed);
        sim::EditCamera(name_, ChangeEverything);
        const std::string changedState = Saved();
        sim::ClearRequests();
        const auto caught = RaisedBy([&] { camera_.RestoreConfiguration(file); });
        EXPECT_EQ(caught.code, codes::kWrongModel) << stored;
        EXPECT_EQ(caught.context, "CBcam::RestoreConfiguration()");
        // Only the model has been asked for.
        EXPECT_EQ(SentTo(name_), (std::vector<Words>{{drv::kCameraString, drv::kStringModel}}));
        EXPECT_EQ(Saved(), changedState);
    }
}

INSTANTIATE_TEST_SUITE_P(Golden, Configuration, testing::ValuesIn(kStates), [](const auto& info) {
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

// The text without one key of a section, or without the whole section (a null key).
std::string WithoutPart(const std::string& text, const char* section, const char* key) {
    std::istringstream in(text);
    std::string line, out, current;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() == '[') current = line.substr(1, line.size() - 2);
        if (current == section && (!key || line.rfind(std::string(key) + "=", 0) == 0)) continue;
        out += line + "\n";
    }
    return out;
}

// A restore stops at the first missing piece; what came before it stays applied.
TEST_F(SimCameras, ConfigurationRestoreAppliesEverythingBeforeAMissingPieceAndNothingAfter) {
    const struct {
        const char* section;
        const char* key;  // null: the whole section is missing
        std::uint32_t error;
        // Scalar sections restored before the stop, and those left as they were.
        std::vector<std::uint32_t> restored, untouched;
    } cases[] = {
        {"Gain", "RawValue", codes::kKeyMissing, {drv::kBrightness, drv::kShutter},
         {drv::kGamma, drv::kHue, drv::kSaturation, drv::kWhiteBalance}},
        {"Trigger", nullptr, codes::kSectionMissing, {},
         {drv::kTrigger, drv::kBrightness, drv::kWhiteBalance}},
    };
    ScratchDirectory dir;
    const std::string file = dir.File("partial.cfg");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section);
        sim::Reset();
        Open(kColour);
        camera_.SaveConfiguration(file);
        const sim::CameraDesc before = sim::Camera(name_);
        WriteFile(file, WithoutPart(ReadFile(file), c.section, c.key));
        sim::EditCamera(name_, ChangeEverything);
        const sim::CameraDesc changed = sim::Camera(name_);
        EXPECT_EQ(RaisedBy([&] { camera_.RestoreConfiguration(file); }).code, c.error);
        const sim::CameraDesc after = sim::Camera(name_);
        // The video mode comes first of all.
        EXPECT_EQ(after.mode, before.mode);
        for (std::uint32_t code : c.restored)
            EXPECT_EQ(after.feature(code).control, before.feature(code).control) << code;
        for (std::uint32_t code : c.untouched)
            EXPECT_EQ(after.feature(code).control, changed.feature(code).control) << code;
        camera_.Close();
    }
}

TEST_F(SimCameras, ConfigurationFileMissingOrWithoutTheSectionIsRefused) {
    Open(kColour);
    ScratchDirectory dir;
    auto missing = RaisedBy([&] { camera_.RestoreConfiguration(dir.File("none.cfg")); });
    EXPECT_EQ(missing.code, fennex::platform::err::kFileNotFound);
    EXPECT_EQ(missing.context, "CIniFilePropertyBag::Open()");
    WriteFile(dir.File("other.cfg"), "[Camera]\nModel=SIM-1600C\n");
    const std::string other = dir.File("other.cfg");
    EXPECT_EQ(RaisedBy([&] { camera_.RestoreConfiguration(other); }).code, codes::kSectionMissing);
    EXPECT_TRUE(SentTo(name_).empty());
}

}  // namespace
}  // namespace fennex::test
