// Bit packing and the two run-length (PackBits) variants of the printer
// streams.
//
// Both compressors cut the input into chunks of at most 127 bytes and encode
// each chunk on its own as runs of equal bytes and literal groups:
//   literal group of n bytes (1..127): the byte n - 1, then the n bytes;
//   run of r equal bytes (2..127):     the byte 257 - r (1 - r), then the byte.
// A literal group never crosses a chunk boundary.
//   CompressEpson: every run of length >= 2 is written as a run.
//   CompressRtl:   as CompressEpson, except that a run of exactly 2 that
//                  follows a single byte and is followed by a single byte is
//                  merged into the literal group with that following byte.
//
// Worst-case output: a chunk of c bytes gives at most c + (c + 2) / 3 bytes
// (alternating single bytes and pairs), so at most CompressedBound(n) for n
// input bytes, which never exceeds 2 * n (and so fits the print pipeline's
// 2 * packed + 6 byte buffer for every width).
#pragma once

#include <cstddef>
#include <cstdint>

namespace print {

// Longest chunk, run and literal group of the compressors.
inline constexpr size_t kPackBitsChunk = 127;

// An upper bound of the compressed size of `n` bytes, for both variants.
constexpr size_t CompressedBound(size_t n) {
  return n + (n + 2 * ((n + kPackBitsChunk - 1) / kPackBitsChunk)) / 3;
}

// The number of bytes PackDots writes for `width` dots.
constexpr size_t PackedSize(int width) {
  return width > 0 ? (static_cast<size_t>(width) + 7) / 8 : 0;
}

// Packs `width` dot bytes into bits, most significant bit first: a bit is 1
// when its dot byte is above 254. Writes PackedSize(width) bytes, the unused
// low bits of the last byte 0, and returns that count.
size_t PackDots(const uint8_t* dots, int width, uint8_t* bits);

// Compresses `n` bytes into `out` (room for CompressedBound(n) bytes) and
// returns the compressed length.
size_t CompressEpson(const uint8_t* in, size_t n, uint8_t* out);
size_t CompressRtl(const uint8_t* in, size_t n, uint8_t* out);

}  // namespace print
