// The Video Format page: the lists offer what the camera supports, and Apply writes the mode
// chosen.
#include "feature_tables.h"
#include "memory_controls.h"

namespace fennex::test {
namespace {

// ---- Video Format page

// A camera with only these fixed modes (format, mode, rates), set to the first.
Edit OnlyModes(std::vector<std::tuple<std::uint32_t, std::uint32_t, std::vector<std::uint32_t>>> modes) {
    return [modes](sim::CameraDesc& d) {
        d.modes = {};
        d.rates = {};
        d.format7 = {};
        for (const auto& [format, mode, rates] : modes) {
            for (std::uint32_t r : rates) d.rates[format][mode] |= 1u << (31 - r);
            d.modes[format] |= 1u << (31 - mode);
        }
        d.format = std::get<0>(modes[0]);
        d.mode = std::get<1>(modes[0]);
        d.rate = std::get<2>(modes[0]).front();
    };
}
Edit VideoMode(std::uint32_t format, std::uint32_t mode, std::uint32_t rate) {
    return [=](sim::CameraDesc& d) { d.format = format, d.mode = mode, d.rate = rate; };
}

const Strings kColourFormats{"Format 0", "Format 1", "Format 2", "Format 7"};
const Strings kColourFormat0{"320 x 240, YUV(4:2:2)", "640 x 480, YUV(4:2:2)", "640 x 480, RGB"};
const Strings kColourFormat1{"800 x 600, YUV(4:2:2)", "800 x 600, RGB", "1024 x 768, RGB"};

struct FormatRow {
    const char* name;
    Edit edit;  // of the colour camera, set to format 0 mode 3 at 15 fps
    std::uint32_t fault;
    Act act;
    Strings formats, modes, rates;
    std::uint32_t format, mode, rate;  // the selections
};

class FormatLists : public PagesTest, public testing::WithParamInterface<FormatRow> {};

TEST_P(FormatLists, OfferWhatTheCameraSupports) {
    const FormatRow& row = GetParam();
    const sim::Fault fault(row.fault);
    MemoryDialog& page = Show(kColour, row.edit, kFormat, row.fault ? &fault : nullptr);
    if (row.act) row.act(Running());
    EXPECT_EQ(page.Combo(IDC_FORMAT_LIST).Texts(), row.formats);
    EXPECT_EQ(page.Combo(IDC_MODE_LIST).Texts(), row.modes);
    EXPECT_EQ(page.Combo(IDC_FRAMERATE_LIST).Texts(), row.rates);
    EXPECT_EQ(sheet_->format.GetSelectedFormat(), row.format);
    EXPECT_EQ(sheet_->format.GetSelectedMode(), row.mode);
    EXPECT_EQ(sheet_->format.GetSelectedFrameRate(), row.rate);
}

INSTANTIATE_TEST_SUITE_P(
    Ui, FormatLists,
    testing::Values(
        FormatRow{"TheCurrentModeSelected", {}, 0, {}, kColourFormats, kColourFormat0,
                  {"3.75 fps", "7.5 fps", "15 fps", "30 fps"}, 0, 3, 3},
        FormatRow{"WithoutYUV411AndMono16",
                  OnlyModes({{0, 5, {3, 4}}, {0, 1, {1, 2}}, {0, 2, {1}}, {0, 6, {2}}}), 0, {},
                  {"Format 0"}, {"320 x 240, YUV(4:2:2)", "640 x 480, Mono8"}, {"15 fps", "30 fps"},
                  0, 5, 3},
        FormatRow{"Format7ModesByTheirMaximumSize", {}, 0,
                  [](MemorySheet& s) { s.Select(IDC_FORMAT_LIST, 3); }, kColourFormats,
                  {"Mode 0 (1600x1200)", "Mode 1 (800x600)"}, {}, 7, 0, kNone},
        FormatRow{"AnotherFormatKeepsModeAndRate", VideoMode(0, 4, 1), 0,
                  [](MemorySheet& s) { s.Select(IDC_FORMAT_LIST, 1); }, kColourFormats,
                  kColourFormat1, {"1.875 fps", "3.75 fps"}, 1, 4, 1},
        FormatRow{"AnotherFormatWithoutTheModeTakesTheFirst", {}, 0,
                  [](MemorySheet& s) { s.Select(IDC_FORMAT_LIST, 1); }, kColourFormats,
                  kColourFormat1, {"1.875 fps", "3.75 fps", "7.5 fps", "15 fps", "30 fps"}, 1, 0, 3},
        FormatRow{"AnotherModeKeepsTheRateOffered", {}, 0,
                  [](MemorySheet& s) { s.Select(IDC_MODE_LIST, 0); }, kColourFormats, kColourFormat0,
                  {"3.75 fps", "7.5 fps", "15 fps", "30 fps", "60 fps"}, 0, 1, 3},
        // No mode: no rate either, rather than every rate of the format.
        FormatRow{"FormatWithoutOfferedModes", OnlyModes({{0, 2, {1}}, {0, 6, {1}}}), 0, {},
                  {"Format 0"}, {}, {}, 0, kNone, kNone},
        FormatRow{"UnreadableModeTakesTheFirstEntries", {}, drv::kGetVideoMode, {}, kColourFormats,
                  kColourFormat0, {"3.75 fps", "7.5 fps", "15 fps", "30 fps", "60 fps"}, 0, 1, 1},
        FormatRow{"RefusedModeShowsTheCamerasAgain", {}, drv::kSetVideoMode,
                  [](MemorySheet& s) {
                      s.Select(IDC_FORMAT_LIST, 2);
                      s.Apply();
                  },
                  kColourFormats, kColourFormat0, {"3.75 fps", "7.5 fps", "15 fps", "30 fps"}, 0, 3, 3},
        FormatRow{"FailedQueryLeavesTheEntryOut", {}, drv::kFormatInquiry, {},
                  {"Format 1", "Format 2", "Format 7"}, kColourFormat1,
                  {"1.875 fps", "3.75 fps", "7.5 fps", "15 fps", "30 fps"}, 1, 0, 3}),
    RowName());

struct FormatApplyRow {
    const char* name;
    Edit edit;
    Act act;
    std::vector<Words> writes;
    std::uint32_t format, mode, rate;  // the camera's afterwards
};

class FormatApply : public PagesTest, public testing::WithParamInterface<FormatApplyRow> {};

TEST_P(FormatApply, WritesTheChosenModeOnApplyOnly) {
    const FormatApplyRow& row = GetParam();
    Show(kColour, row.edit, kFormat);
    row.act(Running());
    EXPECT_EQ(Writes(), row.writes);
    const sim::CameraDesc camera = sim::Camera(kColour);
    EXPECT_EQ((std::vector{camera.format, camera.mode, camera.rate}),
              (std::vector{row.format, row.mode, row.rate}));
}

INSTANTIATE_TEST_SUITE_P(
    Ui, FormatApply,
    testing::Values(
        FormatApplyRow{"CancelAfterApplyKeepsTheMode", {},
                       [](MemorySheet& s) {
                           s.Select(IDC_FORMAT_LIST, 2);
                           EXPECT_TRUE(s.ApplyEnabled());
                           s.Apply();
                           s.Cancel();
                       },
                       {{drv::kSetVideoMode, 2, 3, 0}}, 2, 3, 0},
        FormatApplyRow{"CancelWritesNothing", {},
                       [](MemorySheet& s) {
                           s.Select(IDC_FORMAT_LIST, 2);
                           s.Cancel();
                       },
                       {}, 0, 3, 3},
        FormatApplyRow{"Format7TakesNoRate", {},
                       [](MemorySheet& s) {
                           s.Select(IDC_FORMAT_LIST, 3);
                           s.Select(IDC_MODE_LIST, 1);
                           s.Ok();
                       },
                       {{drv::kSetVideoMode, 7, 1, kNone}}, 7, 1, kNone},
        FormatApplyRow{"NoModeNothingToWrite", OnlyModes({{0, 5, {3}}, {1, 6, {1}}}),
                       [](MemorySheet& s) {
                           s.Select(IDC_FORMAT_LIST, 1);
                           s.Apply();
                       },
                       {}, 0, 5, 3}),
    RowName());

}  // namespace
}  // namespace fennex::test
