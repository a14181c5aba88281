// Lead-byte tests of real code pages, for tests of whole-character stepping.
#pragma once

namespace korvelt::testing {

// Code page 932 (Shift-JIS): 0x81-0x9F and 0xE0-0xFC open a double-byte
// character whose second byte may look like a backslash, as in 0x95 0x5C.
inline bool CodePage932Lead(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

}  // namespace korvelt::testing
