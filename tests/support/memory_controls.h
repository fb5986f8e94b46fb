// The dialogs in memory, for tests. One control type serves every kind and keeps the rules the
// pages rely on: a sorted list box sorts as entries are added (ignoring case), a combo box
// selects by index and answers -1 for none, a slider keeps its position inside its range, a
// disabled control keeps its value. A sheet creates a page when it is first shown, applies
// every page created so far on Apply and OK, and none on Cancel. A test plays the user.
#pragma once

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <memory>

#include "feature_tables.h"
#include "fixture.h"
#include "ui/dialog.h"
#include "ui/pages.h"
#include "ui/resource.h"
#include "ui/slider_rows.h"

namespace fennex::test {

using namespace fennex::ui;
using Strings = std::vector<std::string>;

class MemoryControl final : public IListBox, public IComboBox, public ISlider, public ICheckBox,
                            public ITextField {
public:
    explicit MemoryControl(bool sorted) : sorted_(sorted) {}
    void Enable(bool enable) override { enabled_ = enable; }
    bool IsEnabled() const override { return enabled_; }

    int AddString(const std::string& text) override {
        const auto less = [](const std::string& a, const std::string& b) {
            return std::ranges::lexicographical_compare(a, b, {}, ::tolower, ::tolower);
        };
        const auto at = sorted_ ? std::ranges::upper_bound(entries_, text, less) : entries_.end();
        const int index = static_cast<int>(at - entries_.begin());
        entries_.insert(at, text);
        data_.insert(data_.begin() + index, 0);
        if (selected_ >= index) ++selected_;
        return index;
    }
    void ResetContent() override {
        entries_.clear();
        data_.clear();
        selected_ = -1;
    }
    int GetCount() const override { return static_cast<int>(entries_.size()); }
    int GetCurSel() const override { return selected_; }
    void SetCurSel(int index) override { selected_ = Valid(index) ? index : -1; }
    std::string GetText(int index) const override { return Valid(index) ? entries_[index] : ""; }
    std::string GetLBText(int index) const override { return GetText(index); }
    std::intptr_t GetItemData(int index) const override { return Valid(index) ? data_[index] : -1; }
    void SetItemData(int index, std::intptr_t data) override {
        if (Valid(index)) data_[index] = data;
    }
    const Strings& Entries() const { return entries_; }

    void SetRange(int minimum, int maximum, bool) override {
        min_ = minimum;
        max_ = maximum;
        SetPos(pos_, false);
    }
    int GetRangeMin() const override { return min_; }
    int GetRangeMax() const override { return max_; }
    void SetPos(int position, bool) override {
        pos_ = std::clamp(position, min_, std::max(min_, max_));
    }
    int GetPos() const override { return pos_; }

    bool GetCheck() const override { return checked_; }
    void SetCheck(bool checked) override { checked_ = checked; }
    void SetText(const std::string& text) override { text_ = text; }
    std::string GetText() const override { return text_; }

private:
    bool Valid(int index) const { return index >= 0 && index < GetCount(); }

    bool enabled_ = true, sorted_;
    std::string text_;
    Strings entries_;
    std::vector<std::intptr_t> data_;
    int selected_ = -1, min_ = 0, max_ = 100, pos_ = 0;  // a trackbar's defaults
    bool checked_ = false;
};

// A dialog of resource.h; each control is made, enabled and empty, when first asked for.
class MemoryDialog final : public IPageControls {
public:
    explicit MemoryDialog(int id) : dialogId(id) {}
    const int dialogId;

    IListBox& ListBox(int id) override { return (*this)[id]; }
    IComboBox& ComboBox(int id) override { return (*this)[id]; }
    ISlider& Slider(int id) override { return (*this)[id]; }
    ICheckBox& CheckBox(int id) override { return (*this)[id]; }
    ITextField& TextField(int id) override { return (*this)[id]; }
    IControl& Button(int id) override { return (*this)[id]; }
    std::string ResourceString(int id) const override {
        const std::map<int, std::string> strings{{IDS_TRIGGER_MODE, "Trigger Mode %d"},
                                                 {IDS_LOW_ACTIVE, "Low Active"},
                                                 {IDS_HIGH_ACTIVE, "High Active"}};
        return strings.contains(id) ? strings.at(id) : "";
    }
    void EndDialog(int) override { ended = true; }
    void SetModified(bool on) override { modified = on; }

    // Only the camera list sorts its entries.
    MemoryControl& operator[](int id) {
        return controls_.try_emplace(id, id == IDC_CAMERA_LIST).first->second;
    }
    std::string Text(int id) { return (*this)[id].GetText(); }
    bool Enabled(int id) { return (*this)[id].IsEnabled(); }
    bool modified = false, ended = false;

private:
    std::map<int, MemoryControl> controls_;
};

// The user's side of a running property sheet; it opens on its first page.
class MemorySheet {
public:
    explicit MemorySheet(CPropertySheet& sheet) : pages_(sheet.Pages()), dialogs_(pages_.size()) {
        Show(0);
    }
    // Shows page `index` (tab order), creating it the first time.
    MemoryDialog& Show(int index) {
        if (!dialogs_.at(index)) {
            dialogs_[index] = std::make_unique<MemoryDialog>(pages_[index]->DialogId());
            pages_[index]->Create(*dialogs_[index]);
        }
        shown_ = index;
        return *dialogs_[index];
    }
    MemoryDialog& Page(int index) { return *dialogs_.at(index); }
    bool ApplyEnabled() const {
        return std::ranges::any_of(dialogs_, [](const auto& d) { return d && d->modified; });
    }

    // What the user does on the shown page; the mouse cannot reach a disabled control.
    void Select(int combo, int index) {
        Act(combo, Notification::SelChange, [&](MemoryControl& c) { c.SetCurSel(index); });
    }
    void Click(int box) {
        Act(box, Notification::Clicked, [](MemoryControl& c) { c.SetCheck(!c.GetCheck()); });
    }
    void Drag(int slider, int position) {  // with the mouse, then let go
        Act(slider, Notification::ReleasedCapture,
            [&](MemoryControl& c) { c.SetPos(position, true); });
    }
    // Applies every created page, as OK does too; false when one refused (the sheet stays open).
    bool Apply() {
        for (std::size_t i = 0; i < pages_.size(); ++i)
            if (dialogs_[i] && !pages_[i]->Apply()) return false;
        for (auto& dialog : dialogs_)
            if (dialog) dialog->modified = false;
        return true;
    }
    void Cancel() {
        for (std::size_t i = 0; i < pages_.size(); ++i)
            if (dialogs_[i]) pages_[i]->Reset();
    }

private:
    void Act(int id, Notification code, const std::function<void(MemoryControl&)>& change) {
        if (!Page(shown_).Enabled(id)) return;
        change(Page(shown_)[id]);
        pages_[shown_]->Notify(id, code);
    }

    std::vector<CPropertyPage*> pages_;
    std::vector<std::unique_ptr<MemoryDialog>> dialogs_;
    int shown_ = 0;
};

// Plays the user while the list dialog (then the dialog ends) or a property sheet is up.
struct MemoryUserInterface final : IUserInterface {
    std::function<void(CConfigDlg&, MemoryDialog&)> onConfigDialog;
    std::function<void(MemorySheet&)> onSheet;

    void RunConfigDialog(CConfigDlg& dialog) override {
        MemoryDialog controls(IDD_CONFIG_DIALOG);
        dialog.Create(controls);
        if (!controls.ended && onConfigDialog) onConfigDialog(dialog, controls);
        dialog.Destroy();
    }
    void RunPropertySheet(CPropertySheet& sheet) override {
        MemorySheet running(sheet);
        if (onSheet) onSheet(running);
    }
};

using Act = std::function<void(MemorySheet&)>;
constexpr std::uint32_t kNone = CFormatPage::kNone;
enum PageIndex { kInfo, kFormat, kProperties, kTrigger };

// A row of a page's table: the camera as `edit` describes it, its next request of code `fault`
// (with first word `selecting`) failing, and what the user does on the page; then what the
// page shows, as its test puts it, the requests that changed the camera (and the cancels), in
// order, and whether Apply is enabled.
struct PageRow {
    const char* name = "";
    std::string camera = kColour;
    Edit edit = {};
    std::uint32_t fault = 0;
    std::int64_t selecting = -1;
    Act act = {};
    Strings shown = {};
    std::vector<Words> writes = {};
    bool applyEnabled = false;
};

// The property sheet of a simulated camera as the list dialog builds it, running in memory,
// shown on one page.
class PagesTest : public SimCameras {
protected:
    // Runs `row` on `page`; `shown` puts what the page shows.
    void Check(const PageRow& row, PageIndex page,
               const std::function<Strings(MemoryDialog&)>& shown) {
        Open(row.camera, row.edit);
        sim::Fault once = sim::Fault(row.fault).On(name_);
        once.firstWord = row.selecting;
        if (row.fault) sim::InjectFault(once);
        for (CPropertyPage* p :
             std::initializer_list<CPropertyPage*>{&info_, &format_, &props_, &trigger_})
            sheet_.AddPage(*p);
        running_ = std::make_unique<MemorySheet>(sheet_);
        MemoryDialog& dialog = running_->Show(page);
        if (row.act) row.act(*running_);
        EXPECT_EQ(shown(dialog), row.shown);
        EXPECT_EQ(WritesTo(name_, true), row.writes);
        EXPECT_EQ(running_->ApplyEnabled(), row.applyEnabled);
    }
    void TearDown() override {
        running_.reset();
        SimCameras::TearDown();
    }

    CInfoPage info_{&camera_};
    CFormatPage format_{&camera_};
    CBcamPropPage props_{&camera_};
    CTriggerPage trigger_{&camera_};
    CPropertySheet sheet_{IDS_CAMERA_CONFIGURATION};
    std::unique_ptr<MemorySheet> running_;
};

// The entries of a list, "|" between them.
inline std::string Joined(const Strings& entries) {
    std::string joined;
    for (const std::string& entry : entries) joined += (joined.empty() ? "" : "|") + entry;
    return joined;
}

}  // namespace fennex::test
