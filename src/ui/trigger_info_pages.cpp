#include <cstring>
#include <functional>
#include <string>

#include "ui/page_support.h"
#include "ui/pages.h"
#include "ui/resource.h"

namespace fennex::ui {

using detail::Guarded;
using detail::Holds;

// ---- CInfoPage

CInfoPage::CInfoPage(Bcam::CBcam* camera) : CPropertyPage(IDD_INFO_PAGE, camera) {}

bool CInfoPage::OnInitDialog() {
    Bcam::CBcam* camera = Camera();
    if (!camera) return false;
    Bcam::CInfo& info = camera->Info;
    const std::pair<int, std::function<std::string()>> fields[] = {
        {IDC_INFO_MODEL, [&] { return info.ModelName(); }},
        {IDC_INFO_VENDOR, [&] { return info.VendorName(); }},
        {IDC_INFO_NODE_ID, [&] { return info.NodeId(); }},
        {IDC_INFO_DRIVER_VERSION, [&] { return info.DriverSoftwareVersion(); }},
        {IDC_INFO_FIRMWARE_VERSION, [&] { return info.CameraFirmwareVersion(); }},
        {IDC_INFO_DEVICE_NAME, [&] { return info.DeviceName(); }},
    };
    // An unreadable item leaves its field empty.
    for (const auto& [id, read] : fields)
        Guarded([&] { Controls().TextField(id).SetText(read()); });
    return true;
}

// ---- CTriggerPage

CTriggerPage::CTriggerPage(Bcam::CBcam* camera) : CPropertyPage(IDD_TRIGGER_PAGE, camera) {}

bool CTriggerPage::TriggerPresent() {
    return Holds([&] { return Camera()->Trigger.IsSupported(Bcam::inqPresence); });
}

bool CTriggerPage::OnInitDialog() {
    Bcam::CBcam* camera = Camera();
    if (!camera) return false;
    Controls().CheckBox(IDC_TRIGGER_ENABLE).Enable(TriggerPresent());
    IComboBox& modes = Controls().ComboBox(IDC_TRIGGER_MODE);
    const std::string pattern = Controls().ResourceString(IDS_TRIGGER_MODE);
    for (int m = 0; m <= 3; ++m) {
        if (!Holds([&] { return camera->Trigger.IsModeSupported(static_cast<std::uint32_t>(m)); }))
            continue;
        const int index = modes.AddString(detail::FillNumber(pattern, m));
        modes.SetItemData(index, m);
    }
    IComboBox& polarity = Controls().ComboBox(IDC_TRIGGER_POLARITY);
    polarity.AddString(Controls().ResourceString(IDS_LOW_ACTIVE));
    polarity.AddString(Controls().ResourceString(IDS_HIGH_ACTIVE));
    return Refresh();
}

bool CTriggerPage::Refresh() {
    Bcam::CBcam* camera = Camera();
    if (!camera) return false;
    Bcam::CTrigger& trigger = camera->Trigger;
    Controls().CheckBox(IDC_TRIGGER_ENABLE)
        .SetCheck(TriggerPresent() && Holds([&] { return trigger.OnOff(); }));

    IComboBox& modes = Controls().ComboBox(IDC_TRIGGER_MODE);
    if (modes.GetCount() > 0) {
        std::uint32_t mode = 0;
        if (Guarded([&] { mode = trigger.Mode(); })) {
            for (int i = 0; i < modes.GetCount(); ++i)
                if (modes.GetItemData(i) == static_cast<std::intptr_t>(mode)) modes.SetCurSel(i);
        }
    }

    m_PolarityControl = Holds([&] { return trigger.IsSupported(Bcam::inqPolarity); });
    if (m_PolarityControl) {
        std::int32_t polarity = 0;
        if (Guarded([&] { polarity = trigger.Polarity(); }))
            Controls().ComboBox(IDC_TRIGGER_POLARITY).SetCurSel(polarity);
    }
    UpdateEnabling();
    return true;
}

void CTriggerPage::UpdateEnabling() {
    const bool on = Controls().CheckBox(IDC_TRIGGER_ENABLE).GetCheck();
    IComboBox& modes = Controls().ComboBox(IDC_TRIGGER_MODE);
    modes.Enable(on && modes.GetCount() > 0);
    Controls().ComboBox(IDC_TRIGGER_POLARITY).Enable(on && m_PolarityControl);
}

bool CTriggerPage::OnApply() {
    Bcam::CBcam* camera = Camera();
    if (!camera) return false;
    // One guard: a failing step skips the rest. Cancelling first means a camera whose device
    // is not open is left as it was.
    Guarded([&] {
        camera->Cancel();
        camera->Trigger.OnOff = Controls().CheckBox(IDC_TRIGGER_ENABLE).GetCheck();
        // Without an entry there is nothing to write (the list's -1 would be a mode of its own).
        IComboBox& modes = Controls().ComboBox(IDC_TRIGGER_MODE);
        if (const int selected = modes.GetCurSel(); selected != -1)
            camera->Trigger.Mode = static_cast<std::uint32_t>(modes.GetItemData(selected));
        if (const int selected = Controls().ComboBox(IDC_TRIGGER_POLARITY).GetCurSel(); selected != -1)
            camera->Trigger.Polarity = selected;
    });
    return Refresh();
}

bool CTriggerPage::OnNotify(int controlId, Notification code) {
    if (controlId == IDC_TRIGGER_ENABLE && code == Notification::Clicked) {
        UpdateEnabling();
    } else if ((controlId == IDC_TRIGGER_MODE || controlId == IDC_TRIGGER_POLARITY) &&
               code == Notification::SelChange) {
        // only a change for Apply
    } else {
        return false;
    }
    SetModified(true);
    return true;
}

// ---- creation by class name

namespace {

template <class Page>
std::unique_ptr<CPropertyPage> Make() {
    return std::make_unique<Page>();
}

struct PageClass {
    const char* name;
    std::unique_ptr<CPropertyPage> (*make)();
};
constexpr PageClass kPageClasses[] = {
    {CInfoPage::kClassName, Make<CInfoPage>},
    {CFormatPage::kClassName, Make<CFormatPage>},
    {CBcamPropPage::kClassName, Make<CBcamPropPage>},
    {CTriggerPage::kClassName, Make<CTriggerPage>},
};

}  // namespace

std::unique_ptr<CPropertyPage> CreatePage(const char* className) {
    if (!className) return nullptr;
    for (const PageClass& pageClass : kPageClasses)
        if (std::strcmp(pageClass.name, className) == 0) return pageClass.make();
    return nullptr;
}

}  // namespace fennex::ui
