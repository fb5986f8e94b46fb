// The four pages of the camera property sheet, in tab order: Info, Video Format, Properties,
// Trigger. Each reads the camera when first shown and writes to it only on Apply or OK; none
// lets a camera failure out of its message handling.
#pragma once

#include <cstdint>
#include <memory>

#include "bcam/cbcam.h"
#include "ui/dialog.h"

namespace fennex::ui {

// Read-only facts about the camera, read once when the page is first shown.
class CInfoPage : public CPropertyPage {
public:
    static constexpr const char* kClassName = "CInfoPage";
    explicit CInfoPage(Bcam::CBcam* camera = nullptr);
    const char* ClassName() const override { return kClassName; }

protected:
    bool OnInitDialog() override;
};

// Video format, mode and frame rate, chosen from what the camera supports.
class CFormatPage : public CPropertyPage {
public:
    static constexpr const char* kClassName = "CFormatPage";
    // A list without selection.
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    explicit CFormatPage(Bcam::CBcam* camera = nullptr);
    const char* ClassName() const override { return kClassName; }

    // 0 when no format is selected; kNone when no mode or frame rate is.
    std::uint32_t GetSelectedFormat();
    std::uint32_t GetSelectedMode();
    std::uint32_t GetSelectedFrameRate();

    // Each rebuilds its list from the camera, selects the entry given (else the first) and
    // rebuilds the lists below it, keeping their selections where the new list has them.
    void FillFormats(std::uint32_t format);
    void FillModes(std::uint32_t format, std::uint32_t mode);
    void FillFrameRates(std::uint32_t format, std::uint32_t mode, std::uint32_t frameRate);
    void FillAll(std::uint32_t format, std::uint32_t mode, std::uint32_t frameRate);
    // The lists from the camera's current video mode.
    bool Reload();

protected:
    bool OnInitDialog() override;
    bool OnApply() override;
    bool OnNotify(int controlId, Notification code) override;
};

struct SliderRow;

// One slider per raw setting: Shutter, Gain, Brightness, Gamma, white balance U/B and V/R, Hue.
class CBcamPropPage : public CPropertyPage {
public:
    static constexpr const char* kClassName = "CBcamPropPage";
    explicit CBcamPropPage(Bcam::CBcam* camera = nullptr);
    const char* ClassName() const override { return kClassName; }

    // Every slider from the camera.
    bool Refresh();

protected:
    bool OnInitDialog() override;
    bool OnApply() override;
    bool OnNotify(int controlId, Notification code) override;

private:
    void InitSlider(Bcam::CScalarProperty& property, const SliderRow& row);
    // A row enabled when `present`, its slider at `position` within `minimum` to `maximum`.
    void InitSlider(const SliderRow& row, bool present, std::uint32_t minimum,
                    std::uint32_t maximum, std::uint32_t position);
    // The row's lower end, upper end and value, as its slider holds them.
    void UpdateLabels(const SliderRow& row);
    void ApplySlider(Bcam::CScalarProperty& property, int slider);
};

// External trigger on or off, its mode and its polarity.
class CTriggerPage : public CPropertyPage {
public:
    static constexpr const char* kClassName = "CTriggerPage";
    explicit CTriggerPage(Bcam::CBcam* camera = nullptr);
    const char* ClassName() const override { return kClassName; }

    bool Refresh();

protected:
    bool OnInitDialog() override;
    bool OnApply() override;
    bool OnNotify(int controlId, Notification code) override;

private:
    bool TriggerPresent();
    void UpdateEnabling();

    // Whether the camera reported polarity control at the last Refresh.
    bool m_PolarityControl = false;
};

// A page made by its run-time class name, without a camera; null for an unknown name.
std::unique_ptr<CPropertyPage> CreatePage(const char* className);

}  // namespace fennex::ui
