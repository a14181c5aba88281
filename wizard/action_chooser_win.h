// The action chooser: a drop-down list laid over a row's Action cell that
// applies the user's choice when it loses the keyboard focus, or at once
// on Enter or Tab, and then goes away; Escape takes it away unchanged.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "wizard/page_model.h"

namespace korvelt {

// Who applies the choice.
class ChoiceTarget {
 public:
  // The chooser has gone; `index` is the entry that was selected, or a
  // negative value for none.
  virtual void CommitChoice(int32_t index) = 0;

 protected:
  ~ChoiceTarget() = default;
};

class ActionChooser {
 public:
  explicit ActionChooser(ChoiceTarget& target) : target_(target) {}
  ActionChooser(const ActionChooser&) = delete;
  ActionChooser& operator=(const ActionChooser&) = delete;

  // Opens over the Action cell of `row` of `list`, 200 pixels deeper than
  // the cell to leave room for the dropped list, in `font`, with `entries`
  // and the preselected one shown, and gives it the keyboard focus. False
  // when one is open already or it cannot be made.
  bool Open(HWND list, int32_t row, HFONT font, const ChooserEntries& entries);

  // The open chooser's window, or null.
  HWND window() const { return window_; }

  // Applies the open chooser's choice now, before a sheet button acts on
  // the plan, however that button was pressed; nothing when none is open.
  void Commit();

 private:
  // Hands the focus back to the list, which commits; `keep` false makes
  // the commit change nothing.
  void Leave(bool keep);
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  ChoiceTarget& target_;
  HWND window_ = nullptr;
  WNDPROC original_ = nullptr;
  bool discard_ = false;
};

}  // namespace korvelt
