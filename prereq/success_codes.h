// Which exit codes of a prerequisite's setup program mean that it did its
// work. Without a list of its own: 0, 1638 (another version is already
// installed), 3010 (done, a restart is needed) and 1641 (done, the program
// has started a restart). Whatever the list, 3010 and 1641 still say what
// they say about a restart.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace korvelt {

constexpr uint32_t kProductVersionInstalled = 1638;  // ERROR_PRODUCT_VERSION
constexpr uint32_t kRestartRequired = 3010;          // ERROR_SUCCESS_REBOOT_REQUIRED
constexpr uint32_t kRestartStarted = 1641;           // ERROR_SUCCESS_REBOOT_INITIATED

// A SuccessCodes value read: numbers separated by commas, blanks around
// them allowed. A number is decimal, optionally with a minus sign (an
// exit code such as -1 is 4294967295); 0x and hexadecimal digits are read
// too, as exit codes are often written so.
struct SuccessCodeList {
  static constexpr size_t kMaxCodes = 32;
  uint32_t codes[kMaxCodes];
  size_t count = 0;
  // Entries that are no number, or lie outside 32 bits, or come after the
  // first kMaxCodes: they are passed over.
  size_t unreadable = 0;
};

// Reads `text` into `list`.
void ReadSuccessCodes(const char* text, SuccessCodeList* list);

// Whether `code` is a success for a prerequisite whose SuccessCodes is
// `text`: one of its numbers, or, when it holds none that can be read
// (empty, or nothing but unreadable entries), one of the usual four.
bool IsSuccessCode(const char* text, uint32_t code);

}  // namespace korvelt
