// The dialogs' portable logic and how a user-interface backend runs it.
//
// A backend shows the dialog and page resources (resource.h), gives each dialog its controls
// (controls.h) when its window is made and turns the controls' notifications into the
// operations below. None of these entry points lets an exception out.
//
// What the Win32 backend (src/ui/win32/) implements, and what its procedures call:
//   - PlatformUserInterface(): its IUserInterface.
//   - RunConfigDialog: DialogBoxParamA(dialog 5000, no parent) on the library's module handle.
//     WM_INITDIALOG -> CConfigDlg::Create(controls) (the result is the message's result);
//     WM_COMMAND LBN_SELCHANGE 5000 and BN_CLICKED 5001 -> Notify(id, SelChange / Clicked);
//     IDOK and IDCANCEL end the dialog; so does IDialogControls::EndDialog (EndDialog), which
//     Create may call; WM_DESTROY -> Destroy().
//     OnConfigure runs the sheet from inside Notify through the same backend.
//   - RunPropertySheet: PropertySheetA with caption CaptionId(), no parent, the pages of
//     Pages() in order (dialog DialogId()), the first active. Per page:
//     WM_INITDIALOG (first shown) -> CPropertyPage::Create(controls);
//     WM_COMMAND BN_CLICKED / CBN_SELCHANGE -> Notify(id, Clicked / SelChange);
//     WM_NOTIFY NM_RELEASEDCAPTURE from a trackbar -> Notify(id, ReleasedCapture), message
//     result 0 when it returns true;
//     WM_NOTIFY PSN_APPLY -> Apply(): true gives PSNRET_NOERROR, false
//     PSNRET_INVALID_NOCHANGEPAGE; PSN_RESET -> Reset(); WM_DESTROY -> Destroy().
//     IPageControls::SetModified -> PropSheet_Changed / PropSheet_UnChanged on the sheet.
//   Both run modally on the calling thread, which may be any host thread.
#pragma once

#include <vector>

#include "ui/controls.h"

namespace Bcam {
class CBcam;
}
namespace fennex::driver {
class GrabPort;
}

namespace fennex::ui {

// A control's notification, as the backend reports it.
enum class Notification {
    Clicked,          // BN_CLICKED
    SelChange,        // LBN_SELCHANGE, CBN_SELCHANGE
    ReleasedCapture,  // NM_RELEASEDCAPTURE (a slider let go of the mouse)
};

// Holds a dialog's controls while its window exists.
class CDialog {
public:
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    int DialogId() const { return m_DialogId; }
    // True between Create and Destroy.
    bool IsCreated() const { return m_pControls != nullptr; }
    // True when the notification was handled.
    bool Notify(int controlId, Notification code) noexcept;
    // The window is gone; so are its controls.
    void Destroy() noexcept;

protected:
    explicit CDialog(int dialogId) : m_DialogId(dialogId) {}
    // Binds the controls and runs OnInitDialog.
    bool Create(IDialogControls& controls) noexcept;
    virtual bool OnInitDialog() { return true; }
    virtual bool OnNotify(int controlId, Notification code);
    IDialogControls& Controls() const { return *m_pControls; }

private:
    int m_DialogId;
    IDialogControls* m_pControls = nullptr;
};

class IUserInterface;

// The camera list dialog.
class CConfigDlg : public CDialog {
public:
    // Stores the open camera for a device name, or null.
    using CameraLookup = void (*)(const char* name, driver::GrabPort** camera);

    // `ui` runs the property sheet on Configure; without one Configure does nothing.
    CConfigDlg(CameraLookup lookup, IUserInterface* ui);

    bool Create(IDialogControls& controls) noexcept { return CDialog::Create(controls); }

    // The open camera of the selected entry, or null.
    driver::GrabPort* GetSelectedCamera();
    void OnSelChangeList();
    void OnConfigure();

protected:
    bool OnInitDialog() override;
    bool OnNotify(int controlId, Notification code) override;

private:
    CameraLookup m_Lookup;
    IUserInterface* m_pUserInterface;
};

// A page of the camera property sheet, bound to a camera it does not own.
class CPropertyPage : public CDialog {
public:
    // The run-time class name ("CInfoPage", ...).
    virtual const char* ClassName() const = 0;
    Bcam::CBcam* Camera() const { return m_pBcam; }

    bool Create(IPageControls& controls) noexcept;
    // OK or Apply; false keeps the sheet open on this page.
    bool Apply() noexcept;
    // Cancel: nothing is undone.
    void Reset() noexcept;

protected:
    CPropertyPage(int dialogId, Bcam::CBcam* camera) : CDialog(dialogId), m_pBcam(camera) {}
    virtual bool OnApply() { return true; }
    void SetModified(bool modified);

private:
    Bcam::CBcam* m_pBcam;
    IPageControls* m_pPage = nullptr;
};

// The sheet: a caption and its pages, borrowed, in tab order; the first page is active.
class CPropertySheet {
public:
    explicit CPropertySheet(int captionId) : m_CaptionId(captionId) {}
    void AddPage(CPropertyPage& page) { m_Pages.push_back(&page); }
    int CaptionId() const { return m_CaptionId; }
    const std::vector<CPropertyPage*>& Pages() const { return m_Pages; }

private:
    int m_CaptionId;
    std::vector<CPropertyPage*> m_Pages;
};

// Shows the dialogs. Each Run returns when its dialog has ended.
class IUserInterface {
public:
    virtual void RunConfigDialog(CConfigDlg& dialog) = 0;
    virtual void RunPropertySheet(CPropertySheet& sheet) = 0;

protected:
    ~IUserInterface() = default;
};

// The platform's backend; null where there is none (the configuration is then only saved).
IUserInterface* PlatformUserInterface();

// The host's `configure`: the list dialog through `ui` when there is one, then the
// configuration file of every open camera is saved. Never throws; returns 1.
int Configure(IUserInterface* ui);

}  // namespace fennex::ui
