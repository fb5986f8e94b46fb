#include <cstdio>
#include <string>

#include "bcam/bcam_utility.h"
#include "ui/page_support.h"
#include "ui/pages.h"
#include "ui/resource.h"

namespace fennex::ui {

using detail::Guarded;
using detail::Holds;

namespace {

std::string FormatName(std::uint32_t format) {
    switch (format) {
    case 0: case 1: case 2: case 6: case 7: return "Format " + detail::Decimal(static_cast<int>(format));
    default: return "Undef";
    }
}

// Only these colour modes can be shown as 8-bit grey rows.
bool Offerable(Bcam::VideoColorMode mode) {
    return mode == Bcam::VideoColorMode::Mono8 || mode == Bcam::VideoColorMode::YUV422 ||
           mode == Bcam::VideoColorMode::RGB8;
}

std::uint32_t Selected(IComboBox& list, std::uint32_t none) {
    const int selected = list.GetCurSel();
    if (selected == -1) return none;
    return static_cast<std::uint32_t>(list.GetItemData(selected));
}

void Add(IComboBox& list, const std::string& text, std::uint32_t data, bool select) {
    const int index = list.AddString(text);
    list.SetItemData(index, data);
    if (select) list.SetCurSel(index);
}

void SelectFirstIfNone(IComboBox& list) {
    if (list.GetCurSel() == -1 && list.GetCount() > 0) list.SetCurSel(0);
}

// Each fills one list only, selecting the entry given, else the first.
void FillFormatList(IComboBox& list, Bcam::CBcam* camera, std::uint32_t format) {
    list.ResetContent();
    if (camera) {
        for (std::uint32_t f = 0; f <= Bcam::kFormatSeven; ++f)
            if (Holds([&] {
                    return camera->IsVideoModeSupported(f, CFormatPage::kNone, CFormatPage::kNone);
                }))
                Add(list, FormatName(f), f, f == format);
    }
    SelectFirstIfNone(list);
}

void FillModeList(IComboBox& list, Bcam::CBcam* camera, std::uint32_t format, std::uint32_t mode) {
    list.ResetContent();
    if (camera) {
        const std::uint32_t last = format == 0 ? 6 : 7;
        for (std::uint32_t m = 0; m <= last; ++m) {
            std::string text;
            const bool offered = Holds([&] {
                if (!camera->IsVideoModeSupported(format, m, CFormatPage::kNone)) return false;
                if (format == Bcam::kFormatSeven) {
                    const Bcam::CSize size = camera->FormatSeven[m].MaxSize();
                    char buffer[64];
                    std::snprintf(buffer, sizeof buffer, "Mode %d (%dx%d)", static_cast<int>(m),
                                  static_cast<int>(size.cx), static_cast<int>(size.cy));
                    text = buffer;
                    return true;
                }
                if (!Offerable(Bcam::BcamUtility::ColorMode(format, m))) return false;
                text = Bcam::BcamUtility::VideoResolutionName(format, m);
                return true;
            });
            if (offered) Add(list, text, m, m == mode);
        }
    }
    SelectFirstIfNone(list);
}

}  // namespace

CFormatPage::CFormatPage(Bcam::CBcam* camera) : CPropertyPage(IDD_FORMAT_PAGE, camera) {}

std::uint32_t CFormatPage::GetSelectedFormat() {
    return Selected(Controls().ComboBox(IDC_FORMAT_LIST), 0);
}

std::uint32_t CFormatPage::GetSelectedMode() {
    return Selected(Controls().ComboBox(IDC_MODE_LIST), kNone);
}

std::uint32_t CFormatPage::GetSelectedFrameRate() {
    return Selected(Controls().ComboBox(IDC_FRAMERATE_LIST), kNone);
}

void CFormatPage::FillFormats(std::uint32_t format) {
    FillAll(format, GetSelectedMode(), GetSelectedFrameRate());
}

void CFormatPage::FillModes(std::uint32_t format, std::uint32_t mode) {
    const std::uint32_t frameRate = GetSelectedFrameRate();
    FillModeList(Controls().ComboBox(IDC_MODE_LIST), Camera(), format, mode);
    FillFrameRates(GetSelectedFormat(), GetSelectedMode(), frameRate);
}

void CFormatPage::FillFrameRates(std::uint32_t format, std::uint32_t mode, std::uint32_t frameRate) {
    IComboBox& list = Controls().ComboBox(IDC_FRAMERATE_LIST);
    list.ResetContent();
    Bcam::CBcam* camera = Camera();
    // Without a mode the support query would not test the mode and offer every rate.
    if (camera && mode != kNone) {
        for (std::uint32_t r = 0; r < Bcam::kFrameRateCount; ++r)
            if (Holds([&] { return camera->IsVideoModeSupported(format, mode, r); }))
                Add(list, Bcam::BcamUtility::VideoFrameRateName(r), r, r == frameRate);
    }
    SelectFirstIfNone(list);
}

void CFormatPage::FillAll(std::uint32_t format, std::uint32_t mode, std::uint32_t frameRate) {
    FillFormatList(Controls().ComboBox(IDC_FORMAT_LIST), Camera(), format);
    FillModeList(Controls().ComboBox(IDC_MODE_LIST), Camera(), GetSelectedFormat(), mode);
    FillFrameRates(GetSelectedFormat(), GetSelectedMode(), frameRate);
}

bool CFormatPage::Reload() {
    Bcam::CBcam* camera = Camera();
    if (!camera) return false;
    // Unreadable: every list takes its first entry.
    std::uint32_t format = kNone, mode = kNone, frameRate = kNone;
    Guarded([&] { camera->GetVideoMode(&format, &mode, &frameRate); });
    FillAll(format, mode, frameRate);
    return true;
}

bool CFormatPage::OnInitDialog() { return Reload(); }

bool CFormatPage::OnApply() {
    Bcam::CBcam* camera = Camera();
    if (!camera) return false;
    Guarded([&] {
        const std::uint32_t frameRate = GetSelectedFrameRate();
        const std::uint32_t mode = GetSelectedMode();
        const std::uint32_t format = GetSelectedFormat();
        // A format without offered modes has nothing to apply. Format 7 takes no frame rate,
        // so a missing one is passed on.
        if (mode != kNone) camera->SetVideoMode(format, mode, frameRate);
    });
    Reload();
    return true;
}

bool CFormatPage::OnNotify(int controlId, Notification code) {
    if (code != Notification::SelChange) return false;
    switch (controlId) {
    case IDC_FORMAT_LIST: FillModes(GetSelectedFormat(), GetSelectedMode()); break;
    case IDC_MODE_LIST: FillFrameRates(GetSelectedFormat(), GetSelectedMode(), GetSelectedFrameRate()); break;
    case IDC_FRAMERATE_LIST: break;
    default: return false;
    }
    SetModified(true);
    return true;
}

}  // namespace fennex::ui
