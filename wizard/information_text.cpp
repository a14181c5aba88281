#include "wizard/information_text.h"

#include <string.h>

namespace korvelt {

int32_t ReadInfoText(InfoTextReader& reader, unsigned char* buffer, int32_t wanted) {
  if (wanted <= 0 || reader.position < 0 || reader.position >= reader.length) return 0;
  int32_t left = reader.length - reader.position;
  int32_t count = wanted < left ? wanted : left;
  memcpy(buffer, reader.text + reader.position, static_cast<size_t>(count));
  reader.position += count;
  return count;
}

}  // namespace korvelt
