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

// out = in with its `width` pixels in reverse order (in != out).
template <int Bpp>
void ReverseRow(const uint8_t* in, uint8_t* out, int width) {
  if constexpr (Bpp == 0) {
    // 1 bit: reverse the bytes and their bits, then shift out the unused
    // low bits of the last byte, which came first.
    const int bytes = (width + 7) / 8;
    const int pad = bytes * 8 - width;
    for (int j = 0; j < bytes; ++j) out[j] = kReversed.table[in[bytes - 1 - j]];
    if (pad) {
      for (int j = 0; j < bytes; ++j) {
        const int next = j + 1 < bytes ? out[j + 1] : 0;
        out[j] = static_cast<uint8_t>((out[j] << pad) | (next >> (8 - pad)));
      }
    }
  } else {
    const uint8_t* p = in + static_cast<int64_t>(width - 1) * Bpp;
    for (int x = 0; x < width; ++x, out += Bpp, p -= Bpp) std::memcpy(out, p, Bpp);
  }
}

void ReverseRowAny(int bits, const uint8_t* in, uint8_t* out, int width) {
  switch (bits) {
    case 1: ReverseRow<0>(in, out, width); break;
    case 8: ReverseRow<1>(in, out, width); break;
    case 24: ReverseRow<3>(in, out, width); break;
    default: ReverseRow<4>(in, out, width); break;
  }
}

// Builds a same-size result whose row y is made from source row
// sourceRow(y), reversed or copied.
template <typename SourceRow>
int Remap(CDIBitmap& image, bool reverse, SourceRow sourceRow) {
  if (!Valid(image)) return 0;
  CDIBitmap result;
  if (!result.CreateCompatible(image, image.GetWidth(), image.GetHeight())) return 0;
  const int bits = image.GetBitCount();
  const int width = image.GetWidth();
  const size_t rowBytes = static_cast<size_t>(image.GetRowBytes());
  const bool done = RunRows(image.GetHeight(), static_cast<int64_t>(rowBytes), 1, [&](int first, int last) {
    for (int y = first; y < last; ++y) {
      const uint8_t* in = image.RowPointer(sourceRow(y));
      if (reverse)
        ReverseRowAny(bits, in, result.RowPointer(y), width);
      else
        std::memcpy(result.RowPointer(y), in, rowBytes);
    }
  });
  if (!done) return kResultCancelled;
  Replace(image, result);
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

int GL_Rotate180(CDIBitmap& image) {
  const int h = image.GetHeight();
  return Remap(image, true, [h](int y) { return h - 1 - y; });
}

int GL_FlipBitmap(CDIBitmap& image, int vertical) {
  const int h = image.GetHeight();
  if (vertical) return Remap(image, false, [h](int y) { return h - 1 - y; });
  return Remap(image, true, [](int y) { return y; });
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
