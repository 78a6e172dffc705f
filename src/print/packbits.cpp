#include "print/packbits.h"

#include <cstring>

namespace print {

size_t PackDots(const uint8_t* dots, int width, uint8_t* bits) {
  if (width <= 0) return 0;
  const size_t n = static_cast<size_t>(width);
  const size_t full = n / 8;
  for (size_t k = 0; k < full; ++k) {
    const uint8_t* d = dots + 8 * k;
    bits[k] = static_cast<uint8_t>(((d[0] == 255) << 7) | ((d[1] == 255) << 6) |
                                   ((d[2] == 255) << 5) | ((d[3] == 255) << 4) |
                                   ((d[4] == 255) << 3) | ((d[5] == 255) << 2) |
                                   ((d[6] == 255) << 1) | (d[7] == 255));
  }
  if (size_t rest = n % 8) {
    uint8_t b = 0;
    for (size_t i = 0; i < rest; ++i) b |= static_cast<uint8_t>((dots[8 * full + i] == 255) << (7 - i));
    bits[full] = b;
    return full + 1;
  }
  return full;
}

namespace {

inline size_t PutLiteral(const uint8_t* in, size_t start, size_t end, uint8_t* out, size_t o) {
  const size_t count = end - start;
  out[o++] = static_cast<uint8_t>(count - 1);
  std::memcpy(out + o, in + start, count);
  return o + count;
}

inline size_t PutRun(uint8_t value, size_t length, uint8_t* out, size_t o) {
  out[o++] = static_cast<uint8_t>(257 - length);
  out[o++] = value;
  return o;
}

// Compresses `in` chunk by chunk. With `mergePairs`, a run of two that has a
// single byte on either side (within the chunk) is sent as part of the
// literal group instead of as a run.
template <bool mergePairs>
size_t Compress(const uint8_t* in, size_t n, uint8_t* out) {
  size_t o = 0;
  for (size_t chunk = 0; chunk < n; chunk += kPackBitsChunk) {
    const size_t end = chunk + kPackBitsChunk < n ? chunk + kPackBitsChunk : n;
    size_t literal = end;  // start of the pending literal group; end = none
    size_t previousRun = 0;
    size_t i = chunk;
    while (i < end) {
      const uint8_t value = in[i];
      size_t j = i + 1;
      while (j < end && in[j] == value) ++j;
      const size_t run = j - i;
      bool asLiteral = run == 1;
      if constexpr (mergePairs) {
        if (run == 2 && previousRun == 1 && j < end && (j + 1 == end || in[j + 1] != in[j]))
          asLiteral = true;
      }
      if (asLiteral) {
        if (literal == end) literal = i;
      } else {
        if (literal != end) {
          o = PutLiteral(in, literal, i, out, o);
          literal = end;
        }
        o = PutRun(value, run, out, o);
      }
      previousRun = run;
      i = j;
    }
    if (literal != end) o = PutLiteral(in, literal, end, out, o);
  }
  return o;
}

}  // namespace

size_t CompressEpson(const uint8_t* in, size_t n, uint8_t* out) {
  return Compress<false>(in, n, out);
}

size_t CompressRtl(const uint8_t* in, size_t n, uint8_t* out) {
  return Compress<true>(in, n, out);
}

}  // namespace print
