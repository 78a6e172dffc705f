// Right-angle turns, mirror flips and the canvas size (see geometry.h).
//
// The quarter turns walk the result in square tiles: inside a tile the source
// rows it reads and the result rows it writes stay in the cache, instead of
// one strided column per result row.
#include "imaging/geometry.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "image/dibitmap.h"
#include "image/services.h"
#include "imaging/geometry_support.h"
#include "imaging/row_job.h"
#include "platform/messages.h"
#include "platform/progress.h"

namespace {

using geometry_detail::Replace;
using geometry_detail::Valid;

// Runs body(first, last) over the result rows [0, rows): on two threads when
// progress is off, else in chunks of `chunk` rows with a progress step after
// each. False when cancelled.
template <typename Body>
bool RunRows(int rows, int64_t bytesPerRow, int chunk, Body&& body) {
  if (!ProgressEnabled()) {
    GL_ParallelRows(rows, bytesPerRow, [&body](int first, int last) { body(first, last); });
    return true;
  }
  ProgressBegin(0, 100);
  for (int y = 0; y < rows; y += chunk) {
    const int last = std::min(rows, y + chunk);
    body(y, last);
    if (!GL_RowProgress(last - 1, rows)) return false;
  }
  return true;
}

inline int GetBit(const uint8_t* row, int64_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

inline void OrBit(uint8_t* row, int64_t x) { row[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7)); }

// ---------------------------------------------------------------- turns

enum class Turn { Quarter, ThreeQuarters };

constexpr int kTile = 32;

// Result rows [first, last) of a quarter turn of src into dst (dst is
// src height x src width). Quarter (clockwise): dst(x, y) = src(y, h-1-x);
// ThreeQuarters: dst(x, y) = src(w-1-y, x).
template <int Bpp, Turn kTurn>
void TurnBytes(const CDIBitmap& src, CDIBitmap& dst, int first, int last) {
  const int dw = dst.GetWidth();
  const int sw = src.GetWidth();
  const int sh = src.GetHeight();
  // Stored rows are bottom-up: image row r + 1 lies one stride lower.
  const uint8_t* top = src.RowPointer(0);
  const int64_t down = -static_cast<int64_t>(src.GetStride());
  for (int y0 = first; y0 < last; y0 += kTile) {
    const int y1 = std::min(last, y0 + kTile);
    for (int x0 = 0; x0 < dw; x0 += kTile) {
      const int x1 = std::min(dw, x0 + kTile);
      for (int y = y0; y < y1; ++y) {
        uint8_t* out = dst.RowPointer(y) + static_cast<int64_t>(x0) * Bpp;
        if constexpr (kTurn == Turn::Quarter) {
          // Source column y, rows h-1-x going up as x goes right.
          const uint8_t* in = top + (sh - 1 - x0) * down + static_cast<int64_t>(y) * Bpp;
          for (int x = x0; x < x1; ++x, out += Bpp, in -= down) std::memcpy(out, in, Bpp);
        } else {
          // Source column w-1-y, rows x going down as x goes right.
          const uint8_t* in = top + x0 * down + static_cast<int64_t>(sw - 1 - y) * Bpp;
          for (int x = x0; x < x1; ++x, out += Bpp, in += down) std::memcpy(out, in, Bpp);
        }
      }
    }
  }
}

template <Turn kTurn>
void TurnBits(const CDIBitmap& src, CDIBitmap& dst, int first, int last) {
  const int dw = dst.GetWidth();
  const int sw = src.GetWidth();
  const int sh = src.GetHeight();
  for (int y0 = first; y0 < last; y0 += kTile) {
    const int y1 = std::min(last, y0 + kTile);
    for (int x0 = 0; x0 < dw; x0 += kTile) {
      const int x1 = std::min(dw, x0 + kTile);
      for (int y = y0; y < y1; ++y) {
        uint8_t* out = dst.RowPointer(y);
        for (int x = x0; x < x1; ++x) {
          const int bit = kTurn == Turn::Quarter ? GetBit(src.RowPointer(sh - 1 - x), y)
                                                 : GetBit(src.RowPointer(x), sw - 1 - y);
          if (bit) OrBit(out, x);
        }
      }
    }
  }
}

template <Turn kTurn>
void TurnRows(const CDIBitmap& src, CDIBitmap& dst, int first, int last) {
  switch (src.GetBitCount()) {
    case 1: TurnBits<kTurn>(src, dst, first, last); break;
    case 8: TurnBytes<1, kTurn>(src, dst, first, last); break;
    case 24: TurnBytes<3, kTurn>(src, dst, first, last); break;
    default: TurnBytes<4, kTurn>(src, dst, first, last); break;
  }
}

// Bit-reversal of every byte value.
struct ReversedBytes {
  uint8_t table[256];
  constexpr ReversedBytes() : table() {
    for (int v = 0; v < 256; ++v) {
      int r = 0;
      for (int b = 0; b < 8; ++b)
        if (v & (1 << b)) r |= 0x80 >> b;
      table[v] = static_cast<uint8_t>(r);
    }
  }
};
constexpr ReversedBytes kReversed;

// out = in with its `width` 1-bit pixels in reverse order (in != out):
// reverse the bytes and their bits, then shift out the unused low bits of the
// last byte, which came first.
void ReverseBits(const uint8_t* in, uint8_t* out, int width) {
  const int bytes = (width + 7) / 8;
  const int pad = bytes * 8 - width;
  for (int j = 0; j < bytes; ++j) out[j] = kReversed.table[in[bytes - 1 - j]];
  if (pad) {
    for (int j = 0; j < bytes; ++j) {
      const int next = j + 1 < bytes ? out[j + 1] : 0;
      out[j] = static_cast<uint8_t>((out[j] << pad) | (next >> (8 - pad)));
    }
  }
}

// ---------------------------------------------------------------- mirrored swaps
//
// Flips and the half turn work in place, as exchanges of mirrored pixel
// pairs: pixel x of row a with pixel w-1-x of row b (a == b for a row's own
// mirror). Each exchange is its own inverse, so a cancelled job undoes the
// rows it did by doing them again.
//
// The block forms take the pixels of both ends 16 bytes at a time and
// reverse them with one byte shuffle (SSSE3); both ends are loaded before
// either is stored, and 24-bit blocks store only their four whole pixels.

typedef uint8_t VBytes __attribute__((vector_size(16)));

inline VBytes Load16(const uint8_t* p) {
  VBytes v;
  std::memcpy(&v, p, 16);
  return v;
}

// Pixel pairs (x, w-1-x) of rows a and b for x in [from, to): the plain form.
template <int Bpp>
void SwapMirroredScalar(uint8_t* a, uint8_t* b, int width, int from, int to) {
  for (int x = from; x < to; ++x) {
    uint8_t* p = a + static_cast<int64_t>(x) * Bpp;
    uint8_t* q = b + static_cast<int64_t>(width - 1 - x) * Bpp;
    uint8_t t[Bpp];
    std::memcpy(t, p, Bpp);
    std::memmove(p, q, Bpp);
    std::memcpy(q, t, Bpp);
  }
}

// Blocks of whole pixels from the ends inwards; returns the first x left
// to the plain form. For a == b the blocks stop before they would meet.
template <int Bpp>
__attribute__((target("ssse3"))) int SwapMirroredBlocks(uint8_t* a, uint8_t* b, int width) {
  constexpr int kPixels = Bpp == 3 ? 4 : 16 / Bpp;  // pixels per block
  // Within one row the two ends stop before they meet; between two rows a
  // 16-byte load must stay inside the row.
  const bool oneRow = a == b;
  int x = 0;
  for (; oneRow ? 2 * (x + kPixels) <= width : int64_t{x} * Bpp + 16 <= int64_t{width} * Bpp; x += kPixels) {
    uint8_t* p = a + static_cast<int64_t>(x) * Bpp;
    uint8_t* qEnd = b + static_cast<int64_t>(width - x) * Bpp;  // just past the mirrored block
    if constexpr (Bpp == 1) {
      const VBytes left = Load16(p), right = Load16(qEnd - 16);
      const VBytes l = __builtin_shufflevector(left, left, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
      const VBytes r = __builtin_shufflevector(right, right, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
      std::memcpy(p, &r, 16);
      std::memcpy(qEnd - 16, &l, 16);
    } else if constexpr (Bpp == 4) {
      const VBytes left = Load16(p), right = Load16(qEnd - 16);
      const VBytes l = __builtin_shufflevector(left, left, 12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
      const VBytes r = __builtin_shufflevector(right, right, 12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
      std::memcpy(p, &r, 16);
      std::memcpy(qEnd - 16, &l, 16);
    } else {
      // Four pixels: the left block's bytes 0..11 of a load from its start,
      // the right block's bytes 4..15 of a load ending at its end.
      const VBytes left = Load16(p), right = Load16(qEnd - 16);
      const VBytes l = __builtin_shufflevector(left, left, 9, 10, 11, 6, 7, 8, 3, 4, 5, 0, 1, 2, 0, 0, 0, 0);
      const VBytes r = __builtin_shufflevector(right, right, 13, 14, 15, 10, 11, 12, 7, 8, 9, 4, 5, 6, 0, 0, 0, 0);
      std::memcpy(p, &r, 12);
      std::memcpy(qEnd - 12, &l, 12);
    }
  }
  return x;
}

template <int Bpp>
void SwapMirrored(uint8_t* a, uint8_t* b, int width, bool blocks) {
  const int to = a == b ? width / 2 : width;
  const int x = blocks ? SwapMirroredBlocks<Bpp>(a, b, width) : 0;
  SwapMirroredScalar<Bpp>(a, b, width, x, to);
}

// Rows a and b (possibly the same row) each replaced by the other reversed.
void SwapMirroredRows(int bits, uint8_t* a, uint8_t* b, int width, std::vector<uint8_t>& scratch) {
  static const bool blocks = __builtin_cpu_supports("ssse3");
  switch (bits) {
    case 1: {
      const size_t bytes = static_cast<size_t>(width + 7) / 8;
      scratch.resize(2 * bytes);
      ReverseBits(a, scratch.data(), width);
      if (a != b) ReverseBits(b, a, width);
      std::memcpy(a == b ? a : b, scratch.data(), bytes);
      break;
    }
    case 8: SwapMirrored<1>(a, b, width, blocks); break;
    case 24: SwapMirrored<3>(a, b, width, blocks); break;
    default: SwapMirrored<4>(a, b, width, blocks); break;
  }
}

// Rows a and b exchanged, a few kilobytes at a time through the cache.
void SwapRows(uint8_t* a, uint8_t* b, size_t bytes) {
  uint8_t buffer[4096];
  for (size_t done = 0; done < bytes; done += sizeof buffer) {
    const size_t n = std::min(sizeof buffer, bytes - done);
    std::memcpy(buffer, a + done, n);
    std::memcpy(a + done, b + done, n);
    std::memcpy(b + done, buffer, n);
  }
}

enum class Mirror { Horizontal, Vertical, Both };

// Row pair i of a mirror: rows i and h-1-i for the vertical and the half
// turn (the middle row of an odd height is its own pair), row i alone for
// the horizontal flip.
void MirrorPair(CDIBitmap& image, Mirror mirror, int i, std::vector<uint8_t>& scratch) {
  const int h = image.GetHeight();
  const int width = image.GetWidth();
  uint8_t* a = image.RowPointer(i);
  switch (mirror) {
    case Mirror::Horizontal: SwapMirroredRows(image.GetBitCount(), a, a, width, scratch); break;
    case Mirror::Vertical:
      if (i != h - 1 - i) SwapRows(a, image.RowPointer(h - 1 - i), static_cast<size_t>(image.GetRowBytes()));
      break;
    case Mirror::Both: SwapMirroredRows(image.GetBitCount(), a, image.RowPointer(h - 1 - i), width, scratch); break;
  }
}

int MirrorImage(CDIBitmap& image, Mirror mirror) {
  if (!Valid(image)) return 0;
  const int h = image.GetHeight();
  const int pairs = mirror == Mirror::Horizontal ? h : (h + 1) / 2;
  const int64_t bytesPerPair = int64_t{image.GetRowBytes()} * (mirror == Mirror::Horizontal ? 1 : 2);
  // Pairs done so far, kept while progress is shown (one thread then).
  const bool tracking = ProgressEnabled();
  int reached = 0;
  const bool done = RunRows(pairs, bytesPerPair, 64, [&](int first, int last) {
    std::vector<uint8_t> scratch;
    for (int i = first; i < last; ++i) MirrorPair(image, mirror, i, scratch);
    if (tracking) reached = last;
  });
  if (!done) {
    std::vector<uint8_t> scratch;
    for (int i = 0; i < reached; ++i) MirrorPair(image, mirror, i, scratch);
    return kResultCancelled;
  }
  // Like every geometry result, the mirrored image has no selection.
  image.ClearMask();
  return 1;
}

template <Turn kTurn>
int TurnImage(CDIBitmap& image) {
  if (!Valid(image)) return 0;
  CDIBitmap result;
  if (!result.CreateCompatible(image, image.GetHeight(), image.GetWidth())) return 0;
  const bool done = RunRows(result.GetHeight(), result.GetRowBytes(), kTile,
                            [&](int first, int last) { TurnRows<kTurn>(image, result, first, last); });
  if (!done) return kResultCancelled;
  Replace(image, result);
  return 1;
}

}  // namespace

int GL_Rotate90(CDIBitmap& image) { return TurnImage<Turn::Quarter>(image); }

int GL_Rotate270(CDIBitmap& image) { return TurnImage<Turn::ThreeQuarters>(image); }

int GL_Rotate180(CDIBitmap& image) { return MirrorImage(image, Mirror::Both); }

int GL_FlipBitmap(CDIBitmap& image, int vertical) {
  return MirrorImage(image, vertical ? Mirror::Vertical : Mirror::Horizontal);
}

int GL_CanvasSize(CDIBitmap& image, int width, int height, int anchor, uint32_t color) {
  if (anchor < 1 || anchor > 9) {
    platform::ShowMessage("GL_CanvasSize ::nAnchor Should be 1 to 9");
    return 0;
  }
  if (!Valid(image)) return 0;
  const int w = image.GetWidth();
  const int h = image.GetHeight();
  if (width == w && height == h) return 1;
  CDIBitmap canvas;
  if (!canvas.CreateCompatible(image, width, height)) return 0;
  const int column = (anchor - 1) / 3;
  const int row = (anchor - 1) % 3;
  const int dx = column == 0 ? 0 : column == 1 ? (width - w) / 2 : width - w;
  const int dy = row == 0 ? 0 : row == 1 ? (height - h) / 2 : height - h;
  // The part of the image that lands on the canvas.
  const int sx = std::max(0, -dx);
  const int count = std::min(w - sx, width - std::max(0, dx));
  const int y0 = std::max(0, dy);
  const int y1 = std::min(height, dy + h);
  const bool copies = count > 0 && y0 < y1;
  if (image.GetBitCount() == 1) {
    GL_FillBitmap(canvas, color);
    if (copies) {
      std::vector<uint8_t> buffer(static_cast<size_t>(image.GetStride()) + 4);
      for (int y = y0; y < y1; ++y) {
        image.GetRowPart(buffer.data(), y - dy, sx, count);
        canvas.PutRowPart(buffer.data(), y, sx + dx, count);
      }
    }
  } else {
    // Every canvas byte is written once: rows of the fill colour (taken from
    // a one-row canvas filled the way the whole one would be), with the
    // image's part copied straight between the fill on either side.
    CDIBitmap fill;
    if (!fill.CreateCompatible(image, width, 1)) return 0;
    GL_FillBitmap(fill, color);
    const size_t bpp = static_cast<size_t>(image.GetBitCount() / 8);
    const uint8_t* pattern = fill.RowPointer(0);
    const size_t rowBytes = static_cast<size_t>(width) * bpp;
    const size_t left = copies ? static_cast<size_t>(sx + dx) * bpp : 0;
    const size_t middle = copies ? static_cast<size_t>(count) * bpp : 0;
    for (int y = 0; y < height; ++y) {
      uint8_t* out = canvas.RowPointer(y);
      if (!copies || y < y0 || y >= y1) {
        std::memcpy(out, pattern, rowBytes);
        continue;
      }
      std::memcpy(out, pattern, left);
      std::memcpy(out + left, image.RowPointer(y - dy) + static_cast<size_t>(sx) * bpp, middle);
      std::memcpy(out + left + middle, pattern + left + middle, rowBytes - left - middle);
    }
  }
  Replace(image, canvas);
  return 1;
}
