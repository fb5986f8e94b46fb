// The controls the configuration dialogs drive. Each operation is one control message, so that
// the Win32 controls implement them one for one; the tests' in-memory controls
// (tests/support/memory_controls.h) keep the same observable rules.
//
// Indices are 0-based; -1 means "none" (LB_ERR / CB_ERR) wherever an index or item data is
// returned. Controls are owned by their dialog and live as long as it does.
#pragma once

#include <cstdint>
#include <string>

namespace fennex::ui {

// Any control: EnableWindow / IsWindowEnabled. Buttons need nothing more. The control kinds
// below derive from it virtually, so that one implementation of it can serve them all.
class IControl {
public:
    virtual void Enable(bool enable) = 0;
    virtual bool IsEnabled() const = 0;

protected:
    ~IControl() = default;
};

// List box (LB_*). A list box with LBS_SORT inserts each new entry at its sorted place.
class IListBox : public virtual IControl {
public:
    virtual int AddString(const std::string& text) = 0;  // LB_ADDSTRING: the entry's index
    virtual void ResetContent() = 0;                      // LB_RESETCONTENT
    virtual int GetCount() const = 0;                     // LB_GETCOUNT
    virtual int GetCurSel() const = 0;                    // LB_GETCURSEL: -1 when none
    virtual void SetCurSel(int index) = 0;                // LB_SETCURSEL: -1 clears
    virtual std::string GetText(int index) const = 0;     // LB_GETTEXT: empty for a bad index

protected:
    ~IListBox() = default;
};

// Drop-down list combo box (CB_*), unsorted: entries keep the order they were added in.
class IComboBox : public virtual IControl {
public:
    virtual int AddString(const std::string& text) = 0;           // CB_ADDSTRING
    virtual void ResetContent() = 0;                               // CB_RESETCONTENT
    virtual int GetCount() const = 0;                              // CB_GETCOUNT
    virtual int GetCurSel() const = 0;                             // CB_GETCURSEL: -1 when none
    virtual void SetCurSel(int index) = 0;                         // CB_SETCURSEL: -1 clears
    virtual std::intptr_t GetItemData(int index) const = 0;        // CB_GETITEMDATA: -1 for a bad index
    virtual void SetItemData(int index, std::intptr_t data) = 0;  // CB_SETITEMDATA
    virtual std::string GetLBText(int index) const = 0;           // CB_GETLBTEXT

protected:
    ~IComboBox() = default;
};

// Trackbar (TBM_*). The position is always kept inside the range.
class ISlider : public virtual IControl {
public:
    virtual void SetRange(int minimum, int maximum, bool redraw) = 0;  // TBM_SETRANGEMIN, TBM_SETRANGEMAX
    virtual int GetRangeMin() const = 0;                               // TBM_GETRANGEMIN
    virtual int GetRangeMax() const = 0;                               // TBM_GETRANGEMAX
    virtual void SetPos(int position, bool redraw) = 0;                // TBM_SETPOS
    virtual int GetPos() const = 0;                                    // TBM_GETPOS

protected:
    ~ISlider() = default;
};

// Auto check box (BM_GETCHECK / BM_SETCHECK).
class ICheckBox : public virtual IControl {
public:
    virtual bool GetCheck() const = 0;
    virtual void SetCheck(bool checked) = 0;

protected:
    ~ICheckBox() = default;
};

// Static or edit control, by its window text (WM_SETTEXT / WM_GETTEXT).
class ITextField : public virtual IControl {
public:
    virtual void SetText(const std::string& text) = 0;
    virtual std::string GetText() const = 0;

protected:
    ~ITextField() = default;
};

// The controls of one dialog or property page, found by control id (GetDlgItem), and the
// library's string resources (LoadStringA on its own module). An id that names no control of
// the asked class in the dialog resource is a programming error: the lookup throws.
class IDialogControls {
public:
    virtual IListBox& ListBox(int id) = 0;
    virtual IComboBox& ComboBox(int id) = 0;
    virtual ISlider& Slider(int id) = 0;
    virtual ICheckBox& CheckBox(int id) = 0;
    virtual ITextField& TextField(int id) = 0;
    virtual IControl& Button(int id) = 0;
    // String resource `id`; empty when there is none.
    virtual std::string ResourceString(int id) const = 0;
    // Ends a modal dialog (EndDialog) as its Close button would; used by the list dialog when
    // it cannot be filled.
    virtual void EndDialog(int result) = 0;

protected:
    ~IDialogControls() = default;
};

// A property page's controls, and its link to the sheet: SetModified(true) enables the sheet's
// Apply button (PropSheet_Changed), SetModified(false) withdraws this page's claim
// (PropSheet_UnChanged).
class IPageControls : public IDialogControls {
public:
    virtual void SetModified(bool modified) = 0;

protected:
    ~IPageControls() = default;
};

}  // namespace fennex::ui
