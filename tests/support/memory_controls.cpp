#include "memory_controls.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "ui/resource.h"
#include "ui/slider_rows.h"

namespace fennex::test {


namespace {

// A sorted list box compares without regard to case.
bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

// ---- list box and combo box

int MemoryListBox::AddString(const std::string& text) {
    const auto at = m_Sorted ? std::ranges::upper_bound(m_Entries, text, LessIgnoringCase, &Entry::text)
                             : m_Entries.end();
    return Insert(static_cast<int>(at - m_Entries.begin()), text);
}

std::vector<std::string> MemoryComboBox::Texts() const {
    std::vector<std::string> texts;
    for (const Entry& entry : m_Entries) texts.push_back(entry.text);
    return texts;
}

// ---- slider

void MemorySlider::SetRange(int minimum, int maximum, bool) {
    m_Min = minimum;
    m_Max = maximum;
    m_Pos = std::clamp(m_Pos, m_Min, std::max(m_Min, m_Max));
}

void MemorySlider::SetPos(int position, bool) { m_Pos = std::clamp(position, m_Min, std::max(m_Min, m_Max)); }

// ---- dialogs

MemoryDialog::MemoryDialog(int dialogId) {
    auto add = [&](int id, std::unique_ptr<MemoryControl> control, bool enabled = true) {
        control->Enable(enabled);
        m_Controls[id] = std::move(control);
    };
    switch (dialogId) {
    case IDD_CONFIG_DIALOG:
        add(IDC_CAMERA_LIST, std::make_unique<MemoryListBox>(true));
        add(IDC_CONFIGURE, std::make_unique<MemoryControl>());
        add(1, std::make_unique<MemoryControl>());  // Close
        break;
    case IDD_FORMAT_PAGE:
        for (int id : {IDC_FORMAT_LIST, IDC_FRAMERATE_LIST, IDC_MODE_LIST})
            add(id, std::make_unique<MemoryComboBox>());
        break;
    case IDD_PROPERTIES_PAGE: {
        for (const SliderRow& row : kSliderRows) {
            add(row.slider, std::make_unique<MemorySlider>(), false);
            add(row.lower, std::make_unique<MemoryTextField>("0"));
            add(row.upper, std::make_unique<MemoryTextField>("0"));
            add(row.value, std::make_unique<MemoryTextField>("0"), false);
        }
        break;
    }
    case IDD_TRIGGER_PAGE:
        add(IDC_TRIGGER_ENABLE, std::make_unique<MemoryCheckBox>());
        add(IDC_TRIGGER_MODE, std::make_unique<MemoryComboBox>());
        add(IDC_TRIGGER_POLARITY, std::make_unique<MemoryComboBox>());
        break;
    case IDD_INFO_PAGE:
        for (int id : {IDC_INFO_MODEL, IDC_INFO_VENDOR, IDC_INFO_NODE_ID, IDC_INFO_DRIVER_VERSION,
                       IDC_INFO_FIRMWARE_VERSION, IDC_INFO_DEVICE_NAME})
            add(id, std::make_unique<MemoryTextField>());
        break;
    default:
        throw std::invalid_argument("no such dialog: " + std::to_string(dialogId));
    }
}

std::string MemoryDialog::ResourceString(int id) const {
    switch (id) {
    case IDS_CAMERA_CONFIGURATION: return "Camera Configuration";
    case IDS_TRIGGER_MODE: return "Trigger Mode %d";
    case IDS_LOW_ACTIVE: return "Low Active";
    case IDS_HIGH_ACTIVE: return "High Active";
    default: return {};
    }
}

// ---- the sheet

MemorySheet::MemorySheet(CPropertySheet& sheet) : m_Sheet(sheet), m_Dialogs(sheet.Pages().size()) {
    if (!m_Dialogs.empty()) Show(0);
}

MemorySheet::~MemorySheet() {
    for (std::size_t i = 0; i < m_Dialogs.size(); ++i)
        if (m_Dialogs[i]) m_Sheet.Pages()[i]->Destroy();
}

MemoryDialog& MemorySheet::Show(int index) {
    std::unique_ptr<MemoryDialog>& dialog = m_Dialogs.at(index);
    if (!dialog) {
        CPropertyPage& page = *m_Sheet.Pages()[index];
        dialog = std::make_unique<MemoryDialog>(page.DialogId());
        page.Create(*dialog);
    }
    m_Shown = index;
    return *dialog;
}

MemoryDialog& MemorySheet::Page(int index) {
    if (!m_Dialogs.at(index)) throw std::logic_error("page not shown yet");
    return *m_Dialogs[index];
}

bool MemorySheet::ApplyEnabled() const {
    return std::any_of(m_Dialogs.begin(), m_Dialogs.end(),
                       [](const auto& dialog) { return dialog && dialog->Modified(); });
}

void MemorySheet::Select(int control, int index) {
    MemoryComboBox& combo = Page(m_Shown).Combo(control);
    if (!combo.IsEnabled()) return;
    combo.SetCurSel(index);
    m_Sheet.Pages()[m_Shown]->Notify(control, Notification::SelChange);
}

void MemorySheet::Click(int control) {
    ICheckBox& box = Page(m_Shown).CheckBox(control);
    if (!box.IsEnabled()) return;
    box.SetCheck(!box.GetCheck());
    m_Sheet.Pages()[m_Shown]->Notify(control, Notification::Clicked);
}

void MemorySheet::Drag(int slider, int position) {
    ISlider& control = Page(m_Shown).Slider(slider);
    if (!control.IsEnabled()) return;
    control.SetPos(position, true);
    m_Sheet.Pages()[m_Shown]->Notify(slider, Notification::ReleasedCapture);
}

void MemorySheet::Key(int slider, int position) {
    ISlider& control = Page(m_Shown).Slider(slider);
    if (control.IsEnabled()) control.SetPos(position, true);
}

bool MemorySheet::Apply() {
    for (std::size_t i = 0; i < m_Dialogs.size(); ++i) {
        if (m_Dialogs[i] && !m_Sheet.Pages()[i]->Apply()) {
            Show(static_cast<int>(i));
            return false;
        }
    }
    for (auto& dialog : m_Dialogs)
        if (dialog) dialog->ClearModified();
    return true;
}

void MemorySheet::Cancel() {
    for (std::size_t i = 0; i < m_Dialogs.size(); ++i)
        if (m_Dialogs[i]) m_Sheet.Pages()[i]->Reset();
}

// ---- the backend

void MemoryUserInterface::RunConfigDialog(CConfigDlg& dialog) {
    MemoryDialog controls(IDD_CONFIG_DIALOG);
    dialog.Create(controls);
    if (controls.Result() == 0 && onConfigDialog) onConfigDialog(dialog, controls);
    dialog.Destroy();
}

void MemoryUserInterface::RunPropertySheet(CPropertySheet& sheet) {
    ++sheetsRun;
    MemorySheet running(sheet);
    if (onSheet) onSheet(running);
}

void SelectCamera(CConfigDlg& dialog, MemoryDialog& controls, int index) {
    controls.ListBox(IDC_CAMERA_LIST).SetCurSel(index);
    dialog.Notify(IDC_CAMERA_LIST, Notification::SelChange);
}

void ClickConfigure(CConfigDlg& dialog, MemoryDialog& controls) {
    if (controls.Enabled(IDC_CONFIGURE)) dialog.Notify(IDC_CONFIGURE, Notification::Clicked);
}

}  // namespace fennex::test
