// Row conversion shared by the PNG and TIFF adapters: the files hold red,
// green, blue; the bitmap holds blue, green, red.
#pragma once

#include <cstdint>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VIVID_CODEC_ROW_SHUFFLE 1
#endif

namespace codec_rows {

// Exchanges the first and third byte of each of `width` 3-byte pixels of
// src into dst (red, green, blue to blue, green, red, and back). src and dst
// may be the same row; otherwise they must not overlap. The reference form.
inline void SwapRgbScalar(const uint8_t* src, uint8_t* dst, int64_t width) {
  for (int64_t x = 0; x < width; ++x, src += 3, dst += 3) {
    const uint8_t first = src[0];
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = first;
  }
}

#ifdef VIVID_CODEC_ROW_SHUFFLE
// The same, five pixels per byte shuffle. Each step reads and writes 16
// bytes within the row's 3 x width; the sixteenth is carried through
// unchanged (in place it is rewritten with its own value) and converted by
// the next step. The next block is loaded before the current one is stored:
// in place, a load overlapping the store just made would have to wait for it.
__attribute__((target("ssse3"))) inline void SwapRgbShuffle(const uint8_t* src, uint8_t* dst, int64_t width) {
  if (width < 6) {
    SwapRgbScalar(src, dst, width);
    return;
  }
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  // 16 bytes from pixel x lie within the row while x + 6 <= width.
  __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
  int64_t x = 0;
  for (; x + 11 <= width; x += 5) {
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * (x + 5)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * x), _mm_shuffle_epi8(block, order));
    block = next;
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * x), _mm_shuffle_epi8(block, order));
  x += 5;
  SwapRgbScalar(src + 3 * x, dst + 3 * x, width - x);
}
#endif

// SwapRgbScalar's result, through the byte shuffle where the processor has one.
inline void SwapRgbRow(const uint8_t* src, uint8_t* dst, int64_t width) {
#ifdef VIVID_CODEC_ROW_SHUFFLE
  static const bool shuffle = __builtin_cpu_supports("ssse3");
  if (shuffle) {
    SwapRgbShuffle(src, dst, width);
    return;
  }
#endif
  SwapRgbScalar(src, dst, width);
}

}  // namespace codec_rows
