#include "imaging/underlay.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/dibitmap.h"
#include "image/result_codes.h"
#include "imaging/vector_loop.h"
#include "platform/messages.h"

namespace {

constexpr char kRefusal[] =
    "Underlay needs a gray, RGB or CMYK image: convert the image to Grayscale(8BIT) or RGB(24BIT) first.";

// (a x b + 127) / 255 for each channel byte; `under` holds one pattern value
// per pixel.
template <int BPP>
VIVID_VECTOR_LOOP void MultiplyRow(uint8_t* __restrict row, const uint8_t* __restrict under, int width) {
  for (int x = 0; x < width; ++x)
    for (int c = 0; c < BPP; ++c) {
      uint8_t& v = row[x * BPP + c];
      v = static_cast<uint8_t>((v * under[x] + 127) / 255);
    }
}

// CMYK: the lightness 255 - ink is multiplied.
VIVID_VECTOR_LOOP void MultiplyInkRow(uint8_t* __restrict row, const uint8_t* __restrict under, int width) {
  for (int x = 0; x < width; ++x)
    for (int c = 0; c < 4; ++c) {
      uint8_t& v = row[x * 4 + c];
      v = static_cast<uint8_t>(255 - ((255 - v) * under[x] + 127) / 255);
    }
}

// A fixed scramble of a lattice point: the patterns' grain, the same on
// every run.
uint32_t Grain(int x, int y) {
  uint32_t h = static_cast<uint32_t>(x) * 0x9E3779B1u ^ static_cast<uint32_t>(y) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}

// A plain weave of threads `thread` pixels wide; the threads going over are
// lighter in their middle. With `gap`, the last pixel of every thread is a
// darker hole between the threads.
uint8_t Weave(int x, int y, int thread, bool gap, int base, int relief, uint32_t grain) {
  if (gap && (x % thread == thread - 1 || y % thread == thread - 1)) return static_cast<uint8_t>(base - 50 + grain % 8);
  const bool across = ((x / thread + y / thread) & 1) != 0;
  const int t = across ? y % thread : x % thread;
  const int span = gap ? thread - 1 : thread;
  // 0 at the thread's edges, `relief` in its middle.
  const int shade = relief - relief * std::abs(2 * t + 1 - span) / span;
  return static_cast<uint8_t>(std::min(255, base + shade + static_cast<int>(grain % 12)));
}

uint8_t Brick(int x, int y) {
  constexpr int kHigh = 16, kLong = 32, kMortar = 2;
  const int course = y / kHigh;
  const int shifted = x + (course & 1) * (kLong / 2);
  const int along = shifted % kLong;
  if (y % kHigh < kMortar || along < kMortar) return static_cast<uint8_t>(160 + Grain(x, y) % 8);
  // Each brick its own shade, then the grain.
  const int brick = (shifted / kLong) % (128 / kLong);
  return static_cast<uint8_t>(212 + Grain(brick, course) % 16 + Grain(x, y) % 16);
}

// Smooth blotches (bilinear between lattice values every 8 pixels, the
// lattice wrapping at 128) plus a fine grain.
uint8_t Paper(int x, int y) {
  constexpr int kCell = 8, kCells = 128 / kCell;
  const int i = x / kCell, j = y / kCell, fx = x % kCell, fy = y % kCell;
  const auto at = [](int a, int b) { return static_cast<int>(Grain(a % kCells, b % kCells + 1000) % 32); };
  const int top = at(i, j) * (kCell - fx) + at(i + 1, j) * fx;
  const int bottom = at(i, j + 1) * (kCell - fx) + at(i + 1, j + 1) * fx;
  const int blotch = (top * (kCell - fy) + bottom * fy) / (kCell * kCell);
  return static_cast<uint8_t>(214 + blotch + static_cast<int>(Grain(x, y) % 8));
}

uint8_t Stripes(int x, int y) { return ((x + y) / 8) % 2 ? 250 : 190; }

}  // namespace

int GL_UnderlayBitmap(CDIBitmap& bitmap, const CDIBitmap& pattern, int fit) {
  if (!pattern.IsAllocated() || pattern.GetBitCount() != 8 || !pattern.IsGray() || pattern.GetWidth() < 1 ||
      pattern.GetHeight() < 1 || (fit != kUnderlayTile && fit != kUnderlayStretch))
    return kResultInvalidParameter;
  const int width = bitmap.GetWidth(), height = bitmap.GetHeight();
  if (!bitmap.IsAllocated() || width < 1 || height < 1) return kResultOk;
  const int bits = bitmap.GetBitCount();
  if (bits != 24 && bits != 32 && !(bits == 8 && bitmap.IsGray())) {
    platform::ShowMessage(kRefusal);
    return kResultRefused;
  }
  const int64_t pw = pattern.GetWidth(), ph = pattern.GetHeight();
  const bool tile = fit == kUnderlayTile;
  // The pattern column under each bitmap column.
  std::vector<int> column(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x)
    column[static_cast<size_t>(x)] = static_cast<int>(tile ? x % pw : (2 * int64_t{x} + 1) * pw / (2 * int64_t{width}));
  std::vector<uint8_t> patternRow(static_cast<size_t>(pw));
  std::vector<uint8_t> under(static_cast<size_t>(width));
  std::vector<uint8_t> row(static_cast<size_t>(bitmap.GetRowBytes()));
  for (int y = 0; y < height; ++y) {
    const int py = static_cast<int>(tile ? y % ph : (2 * int64_t{y} + 1) * ph / (2 * int64_t{height}));
    pattern.GetRow(patternRow.data(), py);
    for (int x = 0; x < width; ++x) under[static_cast<size_t>(x)] = patternRow[static_cast<size_t>(column[static_cast<size_t>(x)])];
    bitmap.GetRow(row.data(), y);
    switch (bits) {
      case 8: MultiplyRow<1>(row.data(), under.data(), width); break;
      case 24: MultiplyRow<3>(row.data(), under.data(), width); break;
      default: MultiplyInkRow(row.data(), under.data(), width); break;
    }
    bitmap.PutRow(row.data(), y);
  }
  return kResultOk;
}

const std::vector<std::string_view>& GL_UnderlayPatternNames() {
  static const std::vector<std::string_view> names = {"Canvas", "Brick", "Paper", "Burlap", "Stripes"};
  return names;
}

int GL_MakeUnderlayPattern(CDIBitmap& pattern, std::string_view name) {
  const auto& names = GL_UnderlayPatternNames();
  const auto found = std::find(names.begin(), names.end(), name);
  if (found == names.end()) return kResultRefused;
  const size_t which = static_cast<size_t>(found - names.begin());
  const int side = which == 1 || which == 2 ? 128 : 64;
  if (!pattern.Create(side, side, 8, 1)) return kResultOutOfMemory;
  std::vector<uint8_t> row(static_cast<size_t>(side));
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      uint8_t& v = row[static_cast<size_t>(x)];
      switch (which) {
        case 0: v = Weave(x, y, 4, false, 196, 16, Grain(x, y)); break;
        case 1: v = Brick(x, y); break;
        case 2: v = Paper(x, y); break;
        case 3: v = Weave(x, y, 8, true, 178, 40, Grain(x, y)); break;
        default: v = Stripes(x, y); break;
      }
    }
    pattern.PutRow(row.data(), y);
  }
  return kResultOk;
}
