// The configuration dialogs on Windows: the dialog and string resources of this module, the
// real controls behind the control interface, and the procedures that hand the controls'
// notifications to the portable dialogs. No exception leaves a procedure: it would unwind
// through the system's own frames.
#include <windows.h>

#include <commctrl.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "errors/error_codes.h"
#include "errors/exception.h"
#include "ui/dialog.h"
#include "ui/resource.h"

namespace fennex::ui {

namespace {

// The module that holds this code and so the resources: fennex.dll for a host, the test
// executable when the code is linked into it. The host's own module would not have them.
HINSTANCE OwnModule() {
    static const HINSTANCE module = [] {
        HMODULE handle = nullptr;
        ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                 GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                             reinterpret_cast<LPCSTR>(&OwnModule), &handle);
        return handle;
    }();
    return module;
}

// Trackbars and property sheets need their classes registered on Windows (Wine does without).
void InitCommonControlsOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_BAR_CLASSES | ICC_TAB_CLASSES};
        ::InitCommonControlsEx(&init);
    });
}

// ---- the controls -----------------------------------------------------------------------

class Win32Control {
public:
    explicit Win32Control(HWND window) : m_hWnd(window) {}
    virtual ~Win32Control() = default;
    Win32Control(const Win32Control&) = delete;
    Win32Control& operator=(const Win32Control&) = delete;

protected:
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    void EnableWindow(bool enable) { ::EnableWindow(m_hWnd, enable); }
    bool IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    std::string WindowText() const {
        std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(m_hWnd)) + 1, '\0');
        text.resize(static_cast<std::size_t>(::GetWindowTextA(m_hWnd, text.data(),
                                                              static_cast<int>(text.size()))));
        return text;
    }

    HWND m_hWnd;
};

// Enable and IsEnabled for every kind of control.
template <class Interface>
class Control : public Win32Control, public Interface {
public:
    using Win32Control::Win32Control;
    void Enable(bool enable) override { EnableWindow(enable); }
    bool IsEnabled() const override { return IsWindowEnabled(); }
};

// The messages in which a list box and a combo box differ only by name.
struct ListBoxMessages {
    static constexpr UINT add = LB_ADDSTRING, reset = LB_RESETCONTENT, count = LB_GETCOUNT,
                          getSelection = LB_GETCURSEL, setSelection = LB_SETCURSEL,
                          textLength = LB_GETTEXTLEN, text = LB_GETTEXT;
};
struct ComboBoxMessages {
    static constexpr UINT add = CB_ADDSTRING, reset = CB_RESETCONTENT, count = CB_GETCOUNT,
                          getSelection = CB_GETCURSEL, setSelection = CB_SETCURSEL,
                          textLength = CB_GETLBTEXTLEN, text = CB_GETLBTEXT;
};

// What list and combo boxes share: entries, selection and an entry's text.
template <class Interface, class Messages>
class ItemControl : public Control<Interface> {
public:
    using Control<Interface>::Control;
    int AddString(const std::string& text) override {
        const auto entry = reinterpret_cast<LPARAM>(text.c_str());
        return static_cast<int>(this->Send(Messages::add, 0, entry));
    }
    void ResetContent() override { this->Send(Messages::reset); }
    int GetCount() const override { return static_cast<int>(this->Send(Messages::count)); }
    int GetCurSel() const override { return static_cast<int>(this->Send(Messages::getSelection)); }
    void SetCurSel(int index) override {
        this->Send(Messages::setSelection, static_cast<WPARAM>(index));
    }

protected:
    // An entry's text (both kinds answer -1 for a bad index); empty for none.
    std::string ItemText(int index) const {
        static_assert(LB_ERR == -1 && CB_ERR == -1);
        const LRESULT length = this->Send(Messages::textLength, static_cast<WPARAM>(index));
        if (length == -1) return {};
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        const LRESULT copied = this->Send(Messages::text, static_cast<WPARAM>(index),
                                          reinterpret_cast<LPARAM>(text.data()));
        text.resize(copied == -1 ? 0 : static_cast<std::size_t>(copied));
        return text;
    }
};

class ListBox final : public ItemControl<IListBox, ListBoxMessages> {
public:
    using ItemControl::ItemControl;
    std::string GetText(int index) const override { return ItemText(index); }
};

class ComboBox final : public ItemControl<IComboBox, ComboBoxMessages> {
public:
    using ItemControl::ItemControl;
    std::intptr_t GetItemData(int index) const override {
        return static_cast<std::intptr_t>(Send(CB_GETITEMDATA, static_cast<WPARAM>(index)));
    }
    void SetItemData(int index, std::intptr_t data) override {
        Send(CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data));
    }
    std::string GetLBText(int index) const override { return ItemText(index); }
};

class Slider final : public Control<ISlider> {
public:
    using Control::Control;
    void SetRange(int minimum, int maximum, bool redraw) override {
        Send(TBM_SETRANGEMIN, FALSE, minimum);
        Send(TBM_SETRANGEMAX, redraw, maximum);
    }
    int GetRangeMin() const override { return static_cast<int>(Send(TBM_GETRANGEMIN)); }
    int GetRangeMax() const override { return static_cast<int>(Send(TBM_GETRANGEMAX)); }
    void SetPos(int position, bool redraw) override { Send(TBM_SETPOS, redraw, position); }
    int GetPos() const override { return static_cast<int>(Send(TBM_GETPOS)); }
};

class CheckBox final : public Control<ICheckBox> {
public:
    using Control::Control;
    bool GetCheck() const override { return Send(BM_GETCHECK) == BST_CHECKED; }
    void SetCheck(bool checked) override {
        Send(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED);
    }
};

class TextField final : public Control<ITextField> {
public:
    using Control::Control;
    void SetText(const std::string& text) override { ::SetWindowTextA(m_hWnd, text.c_str()); }
    std::string GetText() const override { return WindowText(); }
};

class Button final : public Control<IControl> {
public:
    using Control::Control;
};

enum class Kind { ListBox, ComboBox, Slider, CheckBox, TextField, Button };

// The window classes that a control of each kind may have.
bool HasClassOf(HWND window, Kind kind) {
    char name[32] = {};
    ::GetClassNameA(window, name, sizeof name);
    const auto is = [&](const char* className) { return ::lstrcmpiA(name, className) == 0; };
    switch (kind) {
    case Kind::ListBox: return is("ListBox");
    case Kind::ComboBox: return is("ComboBox");
    case Kind::Slider: return is(TRACKBAR_CLASSA);
    case Kind::CheckBox:
    case Kind::Button: return is("Button");
    case Kind::TextField: return is("Static") || is("Edit");
    }
    return false;
}

// The controls of one dialog window, made on first use and kept while the window exists.
class DialogControls : public IPageControls {
public:
    explicit DialogControls(HWND dialog) : m_hDialog(dialog) {}
    virtual ~DialogControls() = default;

    IListBox& ListBox(int id) override { return Get<class ListBox>(id, Kind::ListBox); }
    IComboBox& ComboBox(int id) override { return Get<class ComboBox>(id, Kind::ComboBox); }
    ISlider& Slider(int id) override { return Get<class Slider>(id, Kind::Slider); }
    ICheckBox& CheckBox(int id) override { return Get<class CheckBox>(id, Kind::CheckBox); }
    ITextField& TextField(int id) override { return Get<class TextField>(id, Kind::TextField); }
    IControl& Button(int id) override { return Get<class Button>(id, Kind::Button); }

    std::string ResourceString(int id) const override {
        char text[256];
        const int length = ::LoadStringA(OwnModule(), static_cast<UINT>(id), text, sizeof text);
        return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
    }

    void EndDialog(int result) override { ::EndDialog(m_hDialog, result); }

    // A dialog outside a sheet has no Apply button to enable.
    void SetModified(bool) override {}

protected:
    HWND m_hDialog;

private:
    template <class T>
    T& Get(int id, Kind kind) {
        std::unique_ptr<Win32Control>& control = m_Controls[{kind, id}];
        if (!control) {
            HWND window = ::GetDlgItem(m_hDialog, id);
            if (!window || !HasClassOf(window, kind))
                throw Bcam::BcamException(Bcam::codes::kInvalidArg, "DialogControls::Get()",
                                          {static_cast<std::uintptr_t>(id)});
            control = std::make_unique<T>(window);
        }
        return static_cast<T&>(*control);
    }

    std::map<std::pair<Kind, int>, std::unique_ptr<Win32Control>> m_Controls;
};

class PageControls final : public DialogControls {
public:
    using DialogControls::DialogControls;
    void SetModified(bool modified) override {
        HWND sheet = ::GetParent(m_hDialog);
        if (modified)
            PropSheet_Changed(sheet, m_hDialog);
        else
            PropSheet_UnChanged(sheet, m_hDialog);
    }
};

// ---- the procedures ---------------------------------------------------------------------

// WM_COMMAND from a control as the dialogs' notification; false for anything else.
bool CommandNotification(WPARAM wParam, LPARAM lParam, Notification* code) {
    if (!lParam) return false;  // a menu or an accelerator
    switch (HIWORD(wParam)) {
    case BN_CLICKED: *code = Notification::Clicked; return true;
    case LBN_SELCHANGE: *code = Notification::SelChange; return true;  // CBN_SELCHANGE alike
    default: return false;
    }
}

// The list dialog of this thread while it runs: the sheet opened from it is modal over it.
thread_local HWND t_listDialog = nullptr;

struct ConfigDialogState {
    CConfigDlg* dialog;
    std::optional<DialogControls> controls;
};

INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_INITDIALOG) {
            auto* state = reinterpret_cast<ConfigDialogState*>(lParam);
            ::SetWindowLongPtrA(window, DWLP_USER, lParam);
            state->controls.emplace(window);
            t_listDialog = window;
            return state->dialog->Create(*state->controls);
        }
        auto* state = reinterpret_cast<ConfigDialogState*>(::GetWindowLongPtrA(window, DWLP_USER));
        if (!state) return FALSE;
        switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (id == IDOK || id == IDCANCEL) {
                ::EndDialog(window, id);
                return TRUE;
            }
            Notification code;
            return CommandNotification(wParam, lParam, &code) && state->dialog->Notify(id, code);
        }
        case WM_DESTROY:
            t_listDialog = nullptr;
            state->dialog->Destroy();
            return FALSE;
        default:
            return FALSE;
        }
    } catch (...) {
        return FALSE;  // out of memory making a control wrapper: the message goes unhandled
    }
}

struct PageState {
    CPropertyPage* page = nullptr;
    std::optional<PageControls> controls;
};

INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_INITDIALOG) {
            const auto* sheetPage = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
            auto* state = reinterpret_cast<PageState*>(sheetPage->lParam);
            ::SetWindowLongPtrA(window, DWLP_USER, sheetPage->lParam);
            state->controls.emplace(window);
            return state->page->Create(*state->controls);
        }
        auto* state = reinterpret_cast<PageState*>(::GetWindowLongPtrA(window, DWLP_USER));
        if (!state) return FALSE;
        switch (message) {
        case WM_COMMAND: {
            Notification code;
            return CommandNotification(wParam, lParam, &code) &&
                   state->page->Notify(LOWORD(wParam), code);
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            LONG_PTR result = 0;
            switch (header->code) {
            case NM_RELEASEDCAPTURE:
                if (!state->page->Notify(static_cast<int>(header->idFrom),
                                         Notification::ReleasedCapture))
                    return FALSE;
                break;
            case PSN_APPLY:
                result = state->page->Apply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
                break;
            case PSN_RESET:
                state->page->Reset();
                break;
            default:
                return FALSE;
            }
            ::SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
            return TRUE;
        }
        case WM_DESTROY:
            state->page->Destroy();
            return FALSE;
        default:
            return FALSE;
        }
    } catch (...) {
        return FALSE;
    }
}

// ---- the backend ------------------------------------------------------------------------

class Win32UserInterface final : public IUserInterface {
public:
    void RunConfigDialog(CConfigDlg& dialog) override {
        InitCommonControlsOnce();
        ConfigDialogState state{&dialog, std::nullopt};
        ::DialogBoxParamA(OwnModule(), MAKEINTRESOURCEA(dialog.DialogId()), nullptr,
                          ConfigDialogProc, reinterpret_cast<LPARAM>(&state));
    }

    void RunPropertySheet(CPropertySheet& sheet) override {
        InitCommonControlsOnce();
        const std::vector<CPropertyPage*>& pages = sheet.Pages();
        // Both stay in place while the sheet runs: the procedures hold pointers into them.
        std::vector<PageState> states(pages.size());
        std::vector<PROPSHEETPAGEA> sheetPages(pages.size());
        for (std::size_t i = 0; i < pages.size(); ++i) {
            states[i].page = pages[i];
            PROPSHEETPAGEA& sheetPage = sheetPages[i];
            sheetPage.dwSize = sizeof sheetPage;
            sheetPage.dwFlags = PSP_DEFAULT;
            sheetPage.hInstance = OwnModule();
            sheetPage.pszTemplate = MAKEINTRESOURCEA(pages[i]->DialogId());
            sheetPage.pfnDlgProc = PageProc;
            sheetPage.lParam = reinterpret_cast<LPARAM>(&states[i]);
        }
        PROPSHEETHEADERA header{};
        header.dwSize = sizeof header;
        header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOCONTEXTHELP;
        // No parent of its own: like any modal window without one it is owned by the window
        // it was opened from, which stays disabled until it closes.
        header.hwndParent = t_listDialog;
        header.hInstance = OwnModule();
        header.pszCaption = MAKEINTRESOURCEA(sheet.CaptionId());
        header.nPages = static_cast<UINT>(sheetPages.size());
        header.nStartPage = 0;
        header.ppsp = sheetPages.data();
        ::PropertySheetA(&header);
    }
};

}  // namespace

IUserInterface* PlatformUserInterface() {
    static Win32UserInterface userInterface;
    return &userInterface;
}

}  // namespace fennex::ui
