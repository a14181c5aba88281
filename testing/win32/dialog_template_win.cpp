#include "testing/win32/dialog_template_win.h"

namespace korvelt {
namespace {

// Where the header keeps its item count, in words.
constexpr size_t kItemCountWord = 4;

}  // namespace

DialogTemplate::DialogTemplate(DWORD style, short width, short height, const char* title) {
  Dword(style | DS_SETFONT);
  Dword(0);  // extended style
  Word(0);   // item count, kept up to date by Add
  for (short value : {short(0), short(0), width, height}) Word(static_cast<WORD>(value));
  Word(0);  // no menu
  Word(0);  // the standard dialog class
  Text(title);
  Word(8);
  Text("MS Shell Dlg");
}

DialogTemplate& DialogTemplate::Add(WORD id, WORD classAtom, const char* text, short x, short y, short width,
                                    short height, DWORD style) {
  // Each item starts on a DWORD boundary.
  if (words_.Count() % 2) Word(0);
  Dword(style | WS_CHILD | WS_VISIBLE);
  Dword(0);
  for (short value : {x, y, width, height}) Word(static_cast<WORD>(value));
  Word(id);
  Word(0xFFFF);
  Word(classAtom);
  Text(text);
  Word(0);  // no creation data
  if (!failed_) ++words_[kItemCountWord];
  return *this;
}

const DLGTEMPLATE* DialogTemplate::Get() const {
  return failed_ ? nullptr : reinterpret_cast<const DLGTEMPLATE*>(words_.begin());
}

void DialogTemplate::Word(WORD value) {
  if (!words_.Push(value)) failed_ = true;
}

void DialogTemplate::Dword(DWORD value) {
  Word(LOWORD(value));
  Word(HIWORD(value));
}

void DialogTemplate::Text(const char* text) {
  for (; *text; ++text) Word(static_cast<unsigned char>(*text));
  Word(0);
}

}  // namespace korvelt
