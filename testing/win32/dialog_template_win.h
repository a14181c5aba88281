// A dialog template built in memory: a window laid out in dialog units,
// "MS Shell Dlg" at 8 points, with controls of the predefined classes, for
// a dialog that has no template among the resources.
#pragma once

#include <windows.h>

#include "base/list.h"

namespace korvelt {

class DialogTemplate {
 public:
  // Predefined control classes.
  static constexpr WORD kButton = 0x80;
  static constexpr WORD kEdit = 0x81;
  static constexpr WORD kStatic = 0x82;
  static constexpr WORD kListBox = 0x83;

  DialogTemplate(DWORD style, short width, short height, const char* title);

  // Adds a visible child control of a predefined class.
  DialogTemplate& Add(WORD id, WORD classAtom, const char* text, short x, short y, short width, short height,
                      DWORD style = 0);

  // The template, or null when memory ran out while it was built.
  const DLGTEMPLATE* Get() const;

 private:
  void Word(WORD value);
  void Dword(DWORD value);
  void Text(const char* text);

  List<WORD> words_;
  bool failed_ = false;
};

}  // namespace korvelt
