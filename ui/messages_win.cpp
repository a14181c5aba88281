#include "ui/messages_win.h"

#include <stdint.h>

#include "base/buffer.h"

namespace korvelt {
namespace {

// Holds a text that is either borrowed from the caller or loaded from the
// string table and then owned.
class MessageText {
 public:
  // False when a table string could not be loaded for want of memory.
  bool Resolve(const char* textOrId) {
    if (!textOrId || !IS_INTRESOURCE(textOrId)) {
      text_ = textOrId;
      return true;
    }
    if (!LoadResourceText(GetModuleHandleA(nullptr), static_cast<UINT>(reinterpret_cast<uintptr_t>(textOrId)), &owned_)) {
      return false;
    }
    text_ = owned_.c_str();
    return true;
  }
  const char* Get() const { return text_; }

 private:
  const char* text_ = nullptr;
  String owned_;
};

}  // namespace

bool LoadResourceText(HMODULE module, UINT id, String* text) {
  size_t size = 256;
  for (;;) {
    HeapBuffer buffer(size);
    if (!buffer.Valid()) return false;
    char* chars = reinterpret_cast<char*>(buffer.Bytes());
    int loaded = LoadStringA(module, id, chars, static_cast<int>(size));
    if (loaded < 0) loaded = 0;
    // A string that fills the buffer may have been cut; load it again into
    // twice the room. Table strings are shorter than 65,536 characters, so
    // this ends long before the size could overflow.
    if (loaded < static_cast<int>(size) - 1) return text->Assign(chars, static_cast<size_t>(loaded));
    if (size > (static_cast<size_t>(INT32_MAX) / 2)) return false;
    size *= 2;
  }
}

int ShowStringMessage(HWND owner, const char* text, const char* caption, UINT style) {
  MessageText body;
  if (!body.Resolve(text)) return 0;
  MessageText title;
  if (!title.Resolve(caption)) return 0;
  return MessageBoxA(owner, body.Get(), title.Get(), style);
}

}  // namespace korvelt
