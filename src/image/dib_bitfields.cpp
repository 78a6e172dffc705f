#include "image/dib_bitfields.h"

#include <algorithm>
#include <bit>

DIBChannel MakeDIBChannel(uint32_t mask) {
  DIBChannel c;
  if (mask == 0) return c;
  const int low = std::countr_zero(mask);
  const int bits = std::bit_width(mask >> low);
  const int kept = std::min(bits, 8);
  c.mask = mask;
  c.shift = low + (bits - kept);
  for (uint32_t v = 0; v < (1u << kept); ++v) {
    uint32_t out = 0;
    for (int s = 8 - kept;; s -= kept) {
      if (s >= 0) {
        out |= v << s;
        if (s == 0) break;
      } else {
        out |= v >> -s;
        break;
      }
    }
    c.widen[v] = static_cast<uint8_t>(out);
  }
  return c;
}
