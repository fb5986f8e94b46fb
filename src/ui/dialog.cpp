#include "ui/dialog.h"

#include <list>
#include <string>

#include "driver/debug_messages.h"
#include "driver/port_table.h"
#include "ui/pages.h"
#include "ui/resource.h"

namespace fennex::ui {

// ---- CDialog

bool CDialog::Create(IDialogControls& controls) noexcept {
    m_pControls = &controls;
    try {
        return OnInitDialog();
    } catch (...) {
        // the dialog shows what it could fill
        return true;
    }
}

bool CDialog::Notify(int controlId, Notification code) noexcept {
    if (!m_pControls) return false;
    try {
        return OnNotify(controlId, code);
    } catch (...) {
        return true;
    }
}

void CDialog::Destroy() noexcept { m_pControls = nullptr; }

bool CDialog::OnNotify(int, Notification) { return false; }

// ---- CPropertyPage

bool CPropertyPage::Create(IPageControls& controls) noexcept {
    m_pPage = &controls;
    return CDialog::Create(controls);
}

bool CPropertyPage::Apply() noexcept {
    if (!IsCreated()) return true;
    try {
        return OnApply();
    } catch (...) {
        return true;
    }
}

void CPropertyPage::Reset() noexcept {}

void CPropertyPage::SetModified(bool modified) {
    if (IsCreated()) m_pPage->SetModified(modified);
}

// ---- CConfigDlg

CConfigDlg::CConfigDlg(CameraLookup lookup, IUserInterface* ui)
    : CDialog(IDD_CONFIG_DIALOG), m_Lookup(lookup), m_pUserInterface(ui) {}

driver::GrabPort* CConfigDlg::GetSelectedCamera() {
    IListBox& list = Controls().ListBox(IDC_CAMERA_LIST);
    const int selected = list.GetCurSel();
    if (selected == -1) return nullptr;
    const std::string name = list.GetText(selected);
    driver::GrabPort* camera = nullptr;
    if (m_Lookup) m_Lookup(name.c_str(), &camera);
    return camera;
}

bool CConfigDlg::OnInitDialog() {
    std::list<std::string> names;
    try {
        names = Bcam::CBcam::DeviceNames();
    } catch (const Bvc::Exception& e) {
        // Nothing to choose from: the dialog ends as after Close, and configure still saves.
        driver::ReportException("", e);
        Controls().EndDialog(1);
        return true;
    }
    IListBox& list = Controls().ListBox(IDC_CAMERA_LIST);
    for (const std::string& name : names) list.AddString(name);
    list.SetCurSel(0);
    OnSelChangeList();
    return true;
}

void CConfigDlg::OnSelChangeList() {
    Controls().Button(IDC_CONFIGURE).Enable(GetSelectedCamera() != nullptr);
}

void CConfigDlg::OnConfigure() {
    driver::GrabPort* camera = GetSelectedCamera();
    if (!camera || !m_pUserInterface) return;
    try {
        // Declared in tab order, so destroyed last added first, after the sheet.
        CInfoPage info(camera);
        CFormatPage format(camera);
        CBcamPropPage properties(camera);
        CTriggerPage trigger(camera);
        CPropertySheet sheet(IDS_CAMERA_CONFIGURATION);
        for (CPropertyPage* page : {static_cast<CPropertyPage*>(&info),
                                    static_cast<CPropertyPage*>(&format),
                                    static_cast<CPropertyPage*>(&properties),
                                    static_cast<CPropertyPage*>(&trigger)})
            sheet.AddPage(*page);
        // What the pages applied stays applied, whatever the sheet's result.
        m_pUserInterface->RunPropertySheet(sheet);
    } catch (...) {
        // the list dialog stays open
    }
}

bool CConfigDlg::OnNotify(int controlId, Notification code) {
    if (controlId == IDC_CAMERA_LIST && code == Notification::SelChange) {
        OnSelChangeList();
        return true;
    }
    if (controlId == IDC_CONFIGURE && code == Notification::Clicked) {
        OnConfigure();
        return true;
    }
    return false;
}

// ---- configure

int Configure(IUserInterface* ui) {
    // The first call of a host may be this one: the library, and with it the driver backend
    // that the list is read from, is made before the dialog asks for the cameras.
    driver::EnsureCameraTable();
    if (ui) {
        try {
            CConfigDlg dialog(driver::FindOpenPort, ui);
            ui->RunConfigDialog(dialog);
        } catch (...) {
            // the open cameras are saved all the same
        }
    }
    driver::SaveOpenCameras();
    return 1;
}

}  // namespace fennex::ui

extern "C" FENNEX_API int FENNEX_CALL configure(void) {
    return fennex::ui::Configure(fennex::ui::PlatformUserInterface());
}
