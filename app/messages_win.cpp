#include "app/messages_win.h"

#include <stdint.h>
#include <stdlib.h>

#include "resources/resource_ids.h"

namespace korvelt {
namespace {

// Holds a text that is either borrowed from the caller or loaded from the
// string table and then owned.
class MessageText {
 public:
  ~MessageText() { free(owned_); }

  // False when a table string could not be loaded for want of memory.
  bool Resolve(const char* textOrId) {
    if (!textOrId || !IS_INTRESOURCE(textOrId)) {
      text_ = textOrId;
      return true;
    }
    owned_ = LoadResourceText(GetModuleHandleA(nullptr), static_cast<UINT>(reinterpret_cast<uintptr_t>(textOrId)));
    text_ = owned_;
    return owned_ != nullptr;
  }
  const char* Get() const { return text_; }

 private:
  const char* text_ = nullptr;
  char* owned_ = nullptr;
};

}  // namespace

char* LoadResourceText(HMODULE module, UINT id) {
  size_t size = 256;
  for (;;) {
    char* buffer = static_cast<char*>(malloc(size));
    if (!buffer) return nullptr;
    int loaded = LoadStringA(module, id, buffer, static_cast<int>(size));
    if (loaded <= 0) buffer[0] = '\0';
    // A string that fills the buffer may have been cut; load it again into
    // twice the room. Table strings are shorter than 65,536 characters, so
    // this ends long before the size could overflow.
    if (loaded < static_cast<int>(size) - 1) return buffer;
    free(buffer);
    if (size > (static_cast<size_t>(INT32_MAX) / 2)) return nullptr;
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

int ShowPayloadError(PayloadError code) {
  UINT id = IDS_EXTRACT_ERROR;
  switch (code) {
    case PayloadError::Ok:
      return 1;
    case PayloadError::Io:
      id = IDS_READ_ERROR;
      break;
    case PayloadError::Corrupt:
      id = IDS_ARCHIVE_CORRUPT;
      break;
    case PayloadError::BadVersion:
      id = IDS_ARCHIVE_BAD_VERSION;
      break;
    default:
      break;
  }
  ShowStringMessage(nullptr, MAKEINTRESOURCEA(id), nullptr, MB_OK | MB_ICONERROR);
  return 0;
}

}  // namespace korvelt
