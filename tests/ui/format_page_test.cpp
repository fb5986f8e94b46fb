// The Video Format page: the lists offer what the camera supports, and Apply writes the mode
// chosen.
#include "memory_controls.h"

namespace fennex::test {
namespace {

// A camera with only these fixed modes {format, mode, rates}, set to the first.
Edit OnlyModes(std::vector<std::tuple<std::uint32_t, std::uint32_t, Words>> modes) {
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

// The colour camera's lists; it is set to format 0, mode 3, 15 fps.
const std::string kFormats = "Format 0|Format 1|Format 2|Format 7";
const std::string kFormat0 = "320 x 240, YUV(4:2:2)|640 x 480, YUV(4:2:2)|640 x 480, RGB";
const std::string kFormat1 = "800 x 600, YUV(4:2:2)|800 x 600, RGB|1024 x 768, RGB";
const std::string kFormat7 = "Mode 0 (1600x1200)|Mode 1 (800x600)";
std::string Rates(int first, int last) {
    const Strings rates{"1.875 fps", "3.75 fps", "7.5 fps", "15 fps", "30 fps", "60 fps"};
    return Joined(Strings(&rates[first], &rates[last + 1]));
}
Act Choose(int list, int entry, bool apply = false) {
    return [=](MemorySheet& s) {
        s.Select(list, entry);
        if (apply) s.Apply();
    };
}

class FormatPage : public PagesTest, public testing::WithParamInterface<PageRow> {};

// The three lists, then the selected format, mode and rate (-1: none).
TEST_P(FormatPage, OffersWhatTheCameraSupportsAndWritesTheChoiceOnApplyOnly) {
    Check(GetParam(), kFormat, [&](MemoryDialog& page) {
        const auto list = [&](int id) { return Joined(page[id].Entries()); };
        const auto number = [](std::uint32_t n) { return std::to_string(static_cast<int>(n)); };
        return Strings{list(IDC_FORMAT_LIST), list(IDC_MODE_LIST), list(IDC_FRAMERATE_LIST),
                       number(format_.GetSelectedFormat()) + " " +
                           number(format_.GetSelectedMode()) + " " +
                           number(format_.GetSelectedFrameRate())};
    });
}

INSTANTIATE_TEST_SUITE_P(
    Ui, FormatPage,
    testing::Values(
        PageRow{.name = "WithoutYUV411AndMono16",
                .edit = OnlyModes({{0, 5, {3, 4}}, {0, 1, {1, 2}}, {0, 2, {1}}, {0, 6, {2}}}),
                .shown = {"Format 0", "320 x 240, YUV(4:2:2)|640 x 480, Mono8", Rates(3, 4),
                          "0 5 3"}},
        PageRow{.name = "Format7ModesByTheirMaximumSize", .act = Choose(IDC_FORMAT_LIST, 3),
                .shown = {kFormats, kFormat7, "", "7 0 -1"}, .applyEnabled = true},
        PageRow{.name = "AnotherFormatKeepsModeAndRate",
                .edit = [](sim::CameraDesc& d) { d.mode = 4, d.rate = 1; },
                .act = Choose(IDC_FORMAT_LIST, 1),
                .shown = {kFormats, kFormat1, Rates(0, 1), "1 4 1"}, .applyEnabled = true},
        PageRow{.name = "AnotherFormatWithoutTheModeTakesTheFirst",
                .act = Choose(IDC_FORMAT_LIST, 1),
                .shown = {kFormats, kFormat1, Rates(0, 4), "1 0 3"}, .applyEnabled = true},
        PageRow{.name = "AnotherModeKeepsTheRateOffered", .act = Choose(IDC_MODE_LIST, 0),
                .shown = {kFormats, kFormat0, Rates(1, 5), "0 1 3"}, .applyEnabled = true},
        // No mode: no rate either, rather than every rate of the format; nothing to write.
        PageRow{.name = "FormatWithoutOfferedModes", .edit = OnlyModes({{0, 5, {3}}, {1, 6, {1}}}),
                .act = Choose(IDC_FORMAT_LIST, 1),
                .shown = {kFormats.substr(0, 17), "", "", "1 -1 -1"},
                .applyEnabled = true},
        PageRow{.name = "NoModeNothingToWrite", .edit = OnlyModes({{0, 5, {3}}, {1, 6, {1}}}),
                .act = Choose(IDC_FORMAT_LIST, 1, true),
                .shown = {kFormats.substr(0, 17), "640 x 480, Mono8", Rates(3, 3), "0 5 3"}},
        PageRow{.name = "UnreadableModeTakesTheFirstEntries", .fault = drv::kGetVideoMode,
                .shown = {kFormats, kFormat0, Rates(1, 5), "0 1 1"}},
        PageRow{.name = "FailedQueryLeavesTheEntryOut", .fault = drv::kFormatInquiry,
                .shown = {kFormats.substr(9), kFormat1, Rates(0, 4), "1 0 3"}},
        PageRow{.name = "RefusedModeShowsTheCamerasAgain", .fault = drv::kSetVideoMode,
                .act = Choose(IDC_FORMAT_LIST, 2, true),
                .shown = {kFormats, kFormat0, Rates(1, 4), "0 3 3"},
                .writes = {{drv::kSetVideoMode, 2, 3, 0}}},
        PageRow{.name = "Format7TakesNoRate",
                .act = [](MemorySheet& s) {
                    s.Select(IDC_FORMAT_LIST, 3);
                    s.Select(IDC_MODE_LIST, 1);
                    s.Apply();
                },
                .shown = {kFormats, kFormat7, "", "7 1 -1"},
                .writes = {{drv::kSetVideoMode, 7, 1, kNone}}},
        // What was applied stays applied.
        PageRow{.name = "CancelAfterApplyKeepsTheMode",
                .act = [](MemorySheet& s) {
                    s.Select(IDC_FORMAT_LIST, 2);
                    EXPECT_TRUE(s.ApplyEnabled());
                    s.Apply();
                    s.Select(IDC_FORMAT_LIST, 0);
                    s.Cancel();
                },
                .shown = {kFormats, kFormat0, Rates(1, 4), "0 3 1"},
                .writes = {{drv::kSetVideoMode, 2, 3, 0}}, .applyEnabled = true}),
    RowName());

}  // namespace
}  // namespace fennex::test
