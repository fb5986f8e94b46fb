// The controls and the user-interface backend in memory, for tests: the dialogs of resource.h
// with their controls' observable rules (a sorted list box sorts as entries are added, a combo
// box selects by index and answers -1 for none, a slider keeps its position inside its range,
// a disabled control keeps its value) and a sheet that creates a page when it is first shown,
// applies every page created so far on Apply and OK, and on Cancel applies none.
//
// A test plays the user: MemoryUserInterface calls its scripts while a dialog or sheet is up.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fixture.h"
#include "ui/dialog.h"
#include "ui/pages.h"
#include "ui/resource.h"

namespace fennex::test {

using namespace fennex::ui;

class MemoryControl : public virtual IControl {
public:
    virtual ~MemoryControl() = default;
    void Enable(bool enable) override { m_Enabled = enable; }
    bool IsEnabled() const override { return m_Enabled; }

private:
    bool m_Enabled = true;
};

// What a list box and a combo box share: their entries and the selection. `Interface` is
// IListBox or IComboBox.
template <class Interface>
class MemoryList : public MemoryControl, public Interface {
public:
    void ResetContent() override {
        m_Entries.clear();
        m_Selected = -1;
    }
    int GetCount() const override { return static_cast<int>(m_Entries.size()); }
    int GetCurSel() const override { return m_Selected; }
    void SetCurSel(int index) override { m_Selected = Valid(index) ? index : -1; }

protected:
    struct Entry {
        std::string text;
        std::intptr_t data = 0;
    };

    bool Valid(int index) const { return index >= 0 && index < GetCount(); }
    std::string Text(int index) const { return Valid(index) ? m_Entries[index].text : std::string(); }
    // Inserts an entry before `index`; the selection stays on its entry.
    int Insert(int index, const std::string& text) {
        m_Entries.insert(m_Entries.begin() + index, Entry{text});
        if (m_Selected >= index) ++m_Selected;
        return index;
    }

    std::vector<Entry> m_Entries;

private:
    int m_Selected = -1;
};

class MemoryListBox final : public MemoryList<IListBox> {
public:
    explicit MemoryListBox(bool sorted) : m_Sorted(sorted) {}
    int AddString(const std::string& text) override;
    std::string GetText(int index) const override { return Text(index); }

private:
    bool m_Sorted;
};

class MemoryComboBox final : public MemoryList<IComboBox> {
public:
    int AddString(const std::string& text) override { return Insert(GetCount(), text); }
    std::intptr_t GetItemData(int index) const override {
        return Valid(index) ? m_Entries[index].data : -1;
    }
    void SetItemData(int index, std::intptr_t data) override {
        if (Valid(index)) m_Entries[index].data = data;
    }
    std::string GetLBText(int index) const override { return Text(index); }

    // The entries' texts, in list order.
    std::vector<std::string> Texts() const;
};

// A trackbar's defaults: range 0 to 100, position 0.
class MemorySlider final : public MemoryControl, public ISlider {
public:
    void SetRange(int minimum, int maximum, bool redraw) override;
    int GetRangeMin() const override { return m_Min; }
    int GetRangeMax() const override { return m_Max; }
    void SetPos(int position, bool redraw) override;
    int GetPos() const override { return m_Pos; }

private:
    int m_Min = 0, m_Max = 100, m_Pos = 0;
};

class MemoryCheckBox final : public MemoryControl, public ICheckBox {
public:
    bool GetCheck() const override { return m_Checked; }
    void SetCheck(bool checked) override { m_Checked = checked; }

private:
    bool m_Checked = false;
};

class MemoryTextField final : public MemoryControl, public ITextField {
public:
    explicit MemoryTextField(std::string text = {}) : m_Text(std::move(text)) {}
    void SetText(const std::string& text) override { m_Text = text; }
    std::string GetText() const override { return m_Text; }

private:
    std::string m_Text;
};

// One dialog of resource.h with its controls in their initial state.
class MemoryDialog final : public IPageControls {
public:
    // Raises std::invalid_argument for a dialog id that resource.h does not have.
    explicit MemoryDialog(int dialogId);

    IListBox& ListBox(int id) override { return Find<MemoryListBox>(id); }
    IComboBox& ComboBox(int id) override { return Find<MemoryComboBox>(id); }
    ISlider& Slider(int id) override { return Find<MemorySlider>(id); }
    ICheckBox& CheckBox(int id) override { return Find<MemoryCheckBox>(id); }
    ITextField& TextField(int id) override { return Find<MemoryTextField>(id); }
    IControl& Button(int id) override { return Find<MemoryControl>(id); }
    std::string ResourceString(int id) const override;
    void EndDialog(int result) override { m_Result = result; }
    void SetModified(bool modified) override { m_Modified = modified; }

    // The concrete controls, for the test's side of the screen.
    MemoryComboBox& Combo(int id) { return Find<MemoryComboBox>(id); }
    MemoryListBox& List(int id) { return Find<MemoryListBox>(id); }
    std::string Text(int id) { return Find<MemoryTextField>(id).GetText(); }
    bool Enabled(int id) { return Find<MemoryControl>(id).IsEnabled(); }

    bool Modified() const { return m_Modified; }
    void ClearModified() { m_Modified = false; }
    // The result given to EndDialog, 0 while the dialog runs.
    int Result() const { return m_Result; }

private:
    template <class Control>
    Control& Find(int id) {
        auto it = m_Controls.find(id);
        Control* control = it == m_Controls.end() ? nullptr : dynamic_cast<Control*>(it->second.get());
        if (!control) throw std::invalid_argument("no such control: " + std::to_string(id));
        return *control;
    }

    std::map<int, std::unique_ptr<MemoryControl>> m_Controls;
    bool m_Modified = false;
    int m_Result = 0;
};

// The user's side of the running property sheet.
class MemorySheet {
public:
    explicit MemorySheet(CPropertySheet& sheet);
    ~MemorySheet();
    MemorySheet(const MemorySheet&) = delete;
    MemorySheet& operator=(const MemorySheet&) = delete;

    // Shows page `index` (0-based tab order), creating it the first time.
    MemoryDialog& Show(int index);
    // The page's controls; the page must have been shown.
    MemoryDialog& Page(int index);
    bool Created(int index) const { return m_Dialogs.at(index) != nullptr; }
    bool ApplyEnabled() const;

    // What the user does on the shown page; actions on disabled controls do nothing, as the
    // mouse cannot reach them.
    void Select(int control, int index);   // a combo box entry
    void Click(int control);               // toggles a check box
    void Drag(int slider, int position);   // moves a slider with the mouse and lets go
    void Key(int slider, int position);    // moves a slider with the keyboard
    // Apply every created page; false when a page refused (the sheet stays open).
    bool Apply();
    void Ok() { Apply(); }
    void Cancel();

private:
    CPropertySheet& m_Sheet;
    std::vector<std::unique_ptr<MemoryDialog>> m_Dialogs;
    int m_Shown = -1;
};

class MemoryUserInterface final : public IUserInterface {
public:
    // Plays the user while the list dialog is up; the dialog ends when the script returns.
    std::function<void(CConfigDlg&, MemoryDialog&)> onConfigDialog;
    // Plays the user while a property sheet is up (it opens on its first page).
    std::function<void(MemorySheet&)> onSheet;

    void RunConfigDialog(CConfigDlg& dialog) override;
    void RunPropertySheet(CPropertySheet& sheet) override;

    int sheetsRun = 0;
};

// The user's actions in the list dialog.
void SelectCamera(CConfigDlg& dialog, MemoryDialog& controls, int index);
// A click on Configure, if it is enabled.
void ClickConfigure(CConfigDlg& dialog, MemoryDialog& controls);

// --- the sheet's pages on a simulated camera

using Strings = std::vector<std::string>;
using Act = std::function<void(MemorySheet&)>;
constexpr std::uint32_t kNone = CFormatPage::kNone;
constexpr std::uint32_t kOn = drv::kCtlOnOff;

enum PageIndex { kInfo, kFormat, kProperties, kTrigger };

// The sheet as OnConfigure builds it, running in memory.
struct SheetOn {
    explicit SheetOn(Bcam::CBcam* camera)
        : info(camera), format(camera), properties(camera), trigger(camera) {
        for (CPropertyPage* page : std::initializer_list<CPropertyPage*>{&info, &format, &properties, &trigger})
            sheet.AddPage(*page);
        running = std::make_unique<MemorySheet>(sheet);
    }
    CInfoPage info;
    CFormatPage format;
    CBcamPropPage properties;
    CTriggerPage trigger;
    CPropertySheet sheet{IDS_CAMERA_CONFIGURATION};
    std::unique_ptr<MemorySheet> running;
};

// The property sheet of a simulated camera, running in memory, shown on one page.
class PagesTest : public SimCameras {
protected:
    // Opens `name` after `edit` has described it; `fault` fails the camera's next request of
    // that kind, then the sheet opens and shows `page`.
    MemoryDialog& Show(const std::string& name, const Edit& edit, PageIndex page,
                       const sim::Fault* fault = nullptr) {
        Open(name, edit);
        if (fault) sim::InjectFault(sim::Fault(*fault).On(name));
        sheet_ = std::make_unique<SheetOn>(&camera_);
        return sheet_->running->Show(page);
    }
    MemorySheet& Running() { return *sheet_->running; }
    // The requests that change the camera, and the cancels, in order.
    std::vector<Words> Writes() {
        std::vector<Words> writes;
        for (const Words& w : SentTo(name_))
            if (w[0] == drv::kFeatureSet || w[0] == drv::kSetVideoMode || w[0] == drv::kCancelGrabs)
                writes.push_back(w);
        return writes;
    }
    void TearDown() override {
        sheet_.reset();
        SimCameras::TearDown();
    }

    std::unique_ptr<SheetOn> sheet_;
};

}  // namespace fennex::test
