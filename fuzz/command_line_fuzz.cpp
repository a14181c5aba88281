// Cuts arbitrary command lines and looks for the extract and layout folders
// in them, in a single-byte and a double-byte code page.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "app/command_line.h"

using namespace korvelt;

namespace {

bool DoubleByteLead(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

void Check(const std::string& line, LeadByteTest isLead) {
  const char* tail = CutCommandTail(line.c_str(), isLead);
  if (tail < line.c_str() || tail > line.c_str() + line.size()) __builtin_trap();
  String folder;
  if (!ParseExtractFolder(tail, isLead, &folder)) __builtin_trap();
  if (!folder.Empty() && (!folder.EndsWith('\\') || folder.Length() > strlen(tail))) __builtin_trap();
  String layout;
  if (!ParseLayoutFolder(tail, isLead, &layout)) __builtin_trap();
  if (!layout.Empty() && (strncmp(tail, "/layout:", 8) != 0 || !layout.EndsWith('\\') ||
                          layout.Length() > strlen(tail) - 8 + 1)) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  line = line.substr(0, line.find('\0'));
  Check(line, NoLeadBytes);
  Check(line, DoubleByteLead);
  return 0;
}
