#include "tests/support/fake_screen.h"

#include <cstdint>
#include <stdexcept>

#include "resources/resource.h"
#include "resources/strings.h"

namespace su::test {

namespace {

const std::map<int, std::string>& StringTable() {
  static const std::map<int, std::string> table = {
      {29, TEXT_29}, {30, TEXT_30}, {32, TEXT_32}, {34, TEXT_34}, {35, TEXT_35}, {36, TEXT_36},
      {38, TEXT_38}, {39, TEXT_39}, {40, TEXT_40}, {41, TEXT_41}, {42, TEXT_42}, {43, TEXT_43},
      {44, TEXT_44}, {46, TEXT_46}, {47, TEXT_47}, {48, TEXT_48}, {49, TEXT_49}, {50, TEXT_50},
      {52, TEXT_52}, {53, TEXT_53}, {54, TEXT_54}, {55, TEXT_55}, {57, TEXT_57}, {59, TEXT_59},
  };
  return table;
}

int RowIndexOk(const FakeScreen::ListState& list, int row) {
  if (row < 0 || row >= static_cast<int>(list.rows.size())) throw std::out_of_range("no such list row");
  return row;
}

}  // namespace

FakeScreen::Window& FakeScreen::Win(WindowRef window) {
  auto it = windows_.find(window);
  if (it == windows_.end()) throw std::logic_error("unknown window");
  return it->second;
}

bool FakeScreen::IsOpen(WindowRef window) const {
  auto it = windows_.find(window);
  return it != windows_.end() && it->second.open;
}

WindowRef FakeScreen::NewWindow(int dialogId, WindowRef owner) {
  WindowRef ref = reinterpret_cast<WindowRef>(static_cast<std::uintptr_t>(nextWindow_++));
  Window& window = windows_[ref];
  window.dialogId = dialogId;
  window.owner = owner;
  return ref;
}

WindowRef FakeScreen::LastWindowOf(int dialogId) const {
  WindowRef last = nullptr;
  for (const auto& [ref, window] : windows_)
    if (window.dialogId == dialogId) last = ref;
  return last;
}

std::vector<std::string> FakeScreen::BoxTexts() const {
  std::vector<std::string> texts;
  for (const ShownBox& box : boxes) texts.push_back(box.text);
  return texts;
}

std::string FakeScreen::Text(int number) {
  auto it = StringTable().find(number);
  return it == StringTable().end() ? std::string() : it->second;
}

int FakeScreen::Ask(WindowRef owner, const std::string& text, BoxKind kind) {
  boxes.push_back({owner, text, kind});
  if (!answers.empty()) {
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return kind == BoxKind::YesNo ? kAnswerYes : kAnswerOk;
}

bool FakeScreen::AskOpenPath(std::string* chosen) {
  if (openPaths.empty()) return false;
  *chosen = openPaths.front();
  openPaths.pop_front();
  return true;
}

bool FakeScreen::AskSavePath(const std::string& proposedName, std::string* chosen) {
  proposedSaveNames.push_back(proposedName);
  if (savePaths.empty()) return false;
  *chosen = savePaths.front();
  savePaths.pop_front();
  return true;
}

void FakeScreen::RunPosted(WindowRef dialog) {
  // Posted commands run in order, as the dialog's message loop would deliver them, until the dialog ends.
  while (IsOpen(dialog) && !Win(dialog).ended && !Win(dialog).posted.empty()) {
    int control = Win(dialog).posted.front();
    Win(dialog).posted.pop_front();
    Win(dialog).logic->OnCommand(dialog, control);
  }
}

int FakeScreen::RunDialog(int dialogId, DialogLogic& logic) {
  WindowRef dialog = NewWindow(dialogId, nullptr);
  Win(dialog).logic = &logic;
  dialogsRun.push_back(dialogId);
  try {
    logic.OnInit(dialog);
    RunPosted(dialog);
    if (!Win(dialog).ended) {
      auto script = users.find(dialogId);
      if (script == users.end() || script->second.empty())
        throw std::logic_error("dialog " + std::to_string(dialogId) + " ran with no user script");
      User user = script->second.front();
      script->second.pop_front();
      user(*this, dialog);
    }
    if (!Win(dialog).ended)
      throw std::logic_error("dialog " + std::to_string(dialogId) + " was left open by the user script");
  } catch (...) {
    Win(dialog).open = false;
    throw;
  }
  Win(dialog).open = false;
  return Win(dialog).endCode;
}

void FakeScreen::EndDialog(WindowRef dialog, int code) {
  Window& window = Win(dialog);
  window.ended = true;
  window.endCode = code;
}

void FakeScreen::PostCommand(WindowRef dialog, int control) { Win(dialog).posted.push_back(control); }

void FakeScreen::Click(WindowRef dialog, int control) {
  Window& window = Win(dialog);
  if (window.ended) throw std::logic_error("click on a dialog that has ended");
  if (!window.controls[control].enabled) return;  // a disabled button does not answer
  window.logic->OnCommand(dialog, control);
  RunPosted(dialog);
}

void FakeScreen::ClickRow(WindowRef dialog, int control, int row) {
  Window& window = Win(dialog);
  ListState& list = window.controls[control].list;
  if (row >= 0 && row < static_cast<int>(list.rows.size())) {
    for (std::size_t i = 0; i < list.selected.size(); ++i) list.selected[i] = static_cast<int>(i) == row;
  }
  window.logic->OnListClick(dialog, control, row);
  RunPosted(dialog);
}

void FakeScreen::PressSendingCancel(WindowRef box) {
  Window& window = Win(box);
  if (!window.open) throw std::logic_error("Cancel pressed on a closed box");
  if (Ask(box, Text(IDS_CANCEL_QUESTION), BoxKind::YesNo) == kAnswerYes && window.cancelFlag != nullptr)
    *window.cancelFlag = 1;
}

WindowRef FakeScreen::OpenBox(int dialogId, WindowRef owner, int* cancelFlag) {
  if (boxesThatFail.count(dialogId) != 0) return nullptr;
  WindowRef box = NewWindow(dialogId, owner);
  Window& window = Win(box);
  window.visible = true;
  window.cancelFlag = cancelFlag;
  if (cancelFlag != nullptr) *cancelFlag = 0;
  boxesOpened.push_back(dialogId);
  return box;
}

void FakeScreen::CloseBox(WindowRef box) {
  if (box != nullptr) Win(box).open = false;
}

void FakeScreen::SetControlText(WindowRef dialog, int control, const std::string& text) {
  Ctl(dialog, control).text = text;
}

std::string FakeScreen::ControlText(WindowRef dialog, int control) { return Ctl(dialog, control).text; }

void FakeScreen::EnableControl(WindowRef dialog, int control, bool enabled) {
  Ctl(dialog, control).enabled = enabled;
}

void FakeScreen::CheckRadio(WindowRef dialog, int control) { Ctl(dialog, control).checked = true; }

void FakeScreen::ProgressRange(WindowRef dialog, int control, int low, int high) {
  Control& bar = Ctl(dialog, control);
  bar.progressLow = low;
  bar.progressHigh = high;
}

void FakeScreen::ProgressPos(WindowRef dialog, int control, int position) {
  Ctl(dialog, control).progressPos = position;
}

void FakeScreen::ProgressStep(WindowRef dialog, int control, int step) {
  Ctl(dialog, control).progressStep = step;
}

void FakeScreen::ProgressStepIt(WindowRef dialog, int control) {
  // A real bar wraps to its low end when stepped past the high end.
  Control& bar = Ctl(dialog, control);
  ++bar.progressSteps;
  bar.progressPos += bar.progressStep;
  if (bar.progressPos > bar.progressHigh) bar.progressPos = bar.progressLow + (bar.progressPos - bar.progressHigh);
}

void FakeScreen::ComboAdd(WindowRef dialog, int control, const std::string& text) {
  Ctl(dialog, control).comboItems.push_back(text);
}

void FakeScreen::ComboSelect(WindowRef dialog, int control, int position) {
  Control& combo = Ctl(dialog, control);
  combo.comboSelected = (position >= 0 && position < static_cast<int>(combo.comboItems.size())) ? position : -1;
}

int FakeScreen::ComboSelected(WindowRef dialog, int control) { return Ctl(dialog, control).comboSelected; }

void FakeScreen::ListSetup(WindowRef dialog, int control) { Ctl(dialog, control).list.fullRowSelect = true; }

void FakeScreen::ListAddColumn(WindowRef dialog, int control, int column, const std::string& title,
                               int widthPixels) {
  ListState& list = Ctl(dialog, control).list;
  if (column != static_cast<int>(list.columns.size())) throw std::logic_error("columns added out of order");
  list.columns.push_back(title);
  list.columnWidths.push_back(widthPixels);
}

void FakeScreen::ListClear(WindowRef dialog, int control) {
  ListState& list = Ctl(dialog, control).list;
  list.rows.clear();
  list.selected.clear();
}

void FakeScreen::ListInsertRow(WindowRef dialog, int control, int row, const std::string& firstCell) {
  ListState& list = Ctl(dialog, control).list;
  if (row < 0 || row > static_cast<int>(list.rows.size())) row = static_cast<int>(list.rows.size());
  std::vector<std::string> cells(list.columns.empty() ? 1 : list.columns.size());
  cells[0] = firstCell;
  list.rows.insert(list.rows.begin() + row, cells);
  list.selected.insert(list.selected.begin() + row, false);
}

void FakeScreen::ListSetCell(WindowRef dialog, int control, int row, int column, const std::string& text) {
  ListState& list = Ctl(dialog, control).list;
  std::vector<std::string>& cells = list.rows[RowIndexOk(list, row)];
  if (column < 0) throw std::out_of_range("no such list column");
  if (column >= static_cast<int>(cells.size())) cells.resize(column + 1);
  cells[column] = text;
}

void FakeScreen::ListSelectRow(WindowRef dialog, int control, int row) {
  ListState& list = Ctl(dialog, control).list;
  list.selected[RowIndexOk(list, row)] = true;
}

int FakeScreen::ListRowCount(WindowRef dialog, int control) {
  return static_cast<int>(Ctl(dialog, control).list.rows.size());
}

bool FakeScreen::ListRowSelected(WindowRef dialog, int control, int row) {
  ListState& list = Ctl(dialog, control).list;
  return list.selected[RowIndexOk(list, row)];
}

}  // namespace su::test
