// The Information page's document as the rich-text control reads it: the
// stored text handed over in as many chunks as the control asks for.
#pragma once

#include <stdint.h>

namespace korvelt {

// The document, its length (its terminating zero byte included) and how
// far the control has read. The text is not owned.
struct InfoTextReader {
  const char* text = nullptr;
  int32_t length = 0;
  int32_t position = 0;
};

// Copies up to `wanted` bytes from the read position into `buffer` and
// advances the position past them; returns how many were copied, 0 once
// the whole length has been read, which ends the stream.
int32_t ReadInfoText(InfoTextReader& reader, unsigned char* buffer, int32_t wanted);

}  // namespace korvelt
