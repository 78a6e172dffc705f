#include "image/color_modes.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "image/color_convert.h"
#include "image/threads.h"
#include "image/dibitmap.h"
#include "image/octree_quantizer.h"
#include "image/services.h"
#include "platform/messages.h"
#include "platform/progress.h"

namespace {

// ------------------------------------------------------------ luminance

// Y = (306 R + 601 G + 117 B + 512) / 1024. The imaging layer's tone tables
// use the same formula; the image layer cannot include them, and the
// expression is one line.
inline uint8_t Luminance(int red, int green, int blue) {
  return static_cast<uint8_t>((306 * red + 601 * green + 117 * blue + 512) >> 10);
}

void LuminanceRow(const uint8_t* bgr, uint8_t* out, int count) {
  for (int x = 0; x < count; ++x) out[x] = Luminance(bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x]);
}

inline int GetBit(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// Luminance of every colour-table entry (1 and 8 bits).
void TableLuminance(const CDIBitmap& source, uint8_t lut[256]) {
  std::memset(lut, 0, 256);
  const uint8_t* table = source.GetColorTablePointer();
  const int entries = source.GetPaletteSize();
  if (!table) return;
  for (int i = 0; i < entries; ++i) lut[i] = Luminance(table[4 * i + 2], table[4 * i + 1], table[4 * i]);
}

// ------------------------------------------------------------ source rows

// Per-band scratch rows.
struct Scratch {
  explicit Scratch(int width) : bgr(static_cast<size_t>(width) * 3 + 16), row(static_cast<size_t>(width) * 4 + 16) {}
  std::vector<uint8_t> bgr;
  std::vector<uint8_t> row;
};

// Row y of the source as blue, green, red triples: the source row itself at
// 24 bits, otherwise expanded into `scratch`.
const uint8_t* SourceRowBGR(const CDIBitmap& source, int y, uint8_t* scratch) {
  switch (source.GetBitCount()) {
    case 24:
      return source.RowPointer(y);
    case 32:
      GL_CMYKRowToRGB(source.RowPointer(y), scratch, source.GetWidth());
      return scratch;
    default:
      source.GetRowRGB(scratch, y);
      return scratch;
  }
}

// Row y of the source as luminance bytes; `lut` gives the luminance of the
// table entries for 1 and 8 bits.
void SourceRowLuminance(const CDIBitmap& source, int y, uint8_t* out, const uint8_t lut[256], Scratch& scratch) {
  const int width = source.GetWidth();
  const uint8_t* row = source.RowPointer(y);
  switch (source.GetBitCount()) {
    case 1:
      for (int x = 0; x < width; ++x) out[x] = lut[GetBit(row, x)];
      break;
    case 8:
      for (int x = 0; x < width; ++x) out[x] = lut[row[x]];
      break;
    case 24:
      LuminanceRow(row, out, width);
      break;
    case 32:
      GL_CMYKRowToRGB(row, scratch.bgr.data(), width);
      LuminanceRow(scratch.bgr.data(), out, width);
      break;
    default:
      break;
  }
}

bool ValidSourceBits(int bits) { return bits == 1 || bits == 8 || bits == 24 || bits == 32; }

// ------------------------------------------------------------ target rows

// Where to build row y of the target: the stored row itself, or (when the
// target's writes go through a selection mask) `buffer`, committed by
// CommitRow.
inline uint8_t* TargetRow(CDIBitmap& target, int y, uint8_t* buffer) {
  return target.WritesMasked() ? buffer : target.RowPointer(y);
}

inline void CommitRow(CDIBitmap& target, int y, const uint8_t* buffer) {
  if (target.WritesMasked()) target.PutRow(buffer, y);
}

// ------------------------------------------------------------ row driver

// Below this many bytes of work a second thread costs more than it saves.
constexpr int64_t kBandBytes = int64_t{1} << 20;

// Drives body(first, last) over rows [0, rows). While progress reporting is
// on, rows run one at a time in order, each reported as `base + span x row /
// rows` percent; false means cancelled. Otherwise the rows run in two bands
// on two threads when `banded` and the work is large enough, else in one.
template <typename Body>
bool RunRows(int rows, int64_t bytesPerRow, bool banded, int base, int span, Body&& body) {
  if (rows <= 0) return true;
  if (ProgressEnabled()) {
    for (int y = 0; y < rows; ++y) {
      body(y, y + 1);
      if (ProgressStep(base + static_cast<int>(int64_t{span} * y / rows)) == kProgressCancelled) return false;
    }
    return true;
  }
  if (banded && GL_GetThreadCount() > 1 && rows >= 2 && int64_t{rows} * bytesPerRow >= kBandBytes) {
    const int split = rows / 2;
    std::thread second([&] { body(split, rows); });
    body(0, split);
    second.join();
    return true;
  }
  body(0, rows);
  return true;
}

void BeginProgress() {
  if (ProgressEnabled()) ProgressBegin(0, 100);
}

// Bands are safe unless a colour transform (whose thread safety is its own
// business) converts CMYK rows.
bool BandsAllowed(const CDIBitmap& source) { return source.GetBitCount() != 32 || !GL_HasColorTransform(); }

bool SameSize(const CDIBitmap& a, const CDIBitmap& b) {
  return a.GetWidth() == b.GetWidth() && a.GetHeight() == b.GetHeight();
}

// ------------------------------------------------------------ ordered dither

constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

struct OrderedDither {
  explicit OrderedDither(int levels) : values(16 * 16 * 256) {
    const double step = 255.0 / (levels - 1);
    const int istep = static_cast<int>(step);
    uint8_t matrix[16][16];
    GL_OrderedDitherMatrix(levels, matrix);
    int q[256], rem[256];
    for (int v = 0; v < 256; ++v) {
      q[v] = static_cast<int>(v / step);
      rem[v] = v - static_cast<int>(q[v] * step);
    }
    for (int r = 0; r < 16; ++r)
      for (int c = 0; c < 16; ++c)
        for (int v = 0; v < 256; ++v)
          values[(static_cast<size_t>(c) * 16 + static_cast<size_t>(r)) * 256 + static_cast<size_t>(v)] =
              static_cast<uint8_t>(std::min(255, (q[v] + (rem[v] > matrix[r][c] ? 1 : 0)) * istep));
  }
  // Dithered values for row y: RowTable(y)[x mod 16][v].
  const uint8_t (*RowTable(int y) const)[256] {
    return reinterpret_cast<const uint8_t(*)[256]>(values.data() + static_cast<size_t>(y & 15) * 16 * 256);
  }
  // Indexed [y mod 16][x mod 16][v]; the matrix is M[x mod 16][y mod 16].
  std::vector<uint8_t> values;
};

// ------------------------------------------------------------ error diffusion

inline int Spread(int old, int error, int k) { return std::clamp((old * 16 + error * k) / 16, 0, 255); }

// Spreads `error` of the pixel at x of one channel; `stride` is the distance
// between a pixel's values in the buffers (1 or 3).
inline void Diffuse(int* current, int* next, int x, int width, int stride, bool hasNext, int error) {
  if (x + 1 < width) current[(x + 1) * stride] = Spread(current[(x + 1) * stride], error, 7);
  if (!hasNext) return;
  if (x > 0) next[(x - 1) * stride] = Spread(next[(x - 1) * stride], error, 3);
  next[x * stride] = Spread(next[x * stride], error, 5);
  if (x + 1 < width) next[(x + 1) * stride] = Spread(next[(x + 1) * stride], error, 1);
}

// ------------------------------------------------------------ 1-bit rows

// Packs `bits` (one 0/1 byte per pixel) into a 1-bit row, most significant
// bit first; the unused bits of the last byte are zero.
void PackBits(const uint8_t* bits, uint8_t* out, int width) {
  const int whole = width / 8;
  for (int i = 0; i < whole; ++i) {
    const uint8_t* b = bits + 8 * i;
    out[i] = static_cast<uint8_t>((b[0] << 7) | (b[1] << 6) | (b[2] << 5) | (b[3] << 4) | (b[4] << 3) | (b[5] << 2) |
                                  (b[6] << 1) | b[7]);
  }
  if (width % 8) {
    uint8_t last = 0;
    for (int x = whole * 8; x < width; ++x) last = static_cast<uint8_t>(last | (bits[x] << (7 - (x & 7))));
    out[whole] = last;
  }
}

// ------------------------------------------------------------ fixed palettes

void SetEntry(uint8_t* table, int index, int red, int green, int blue) {
  table[4 * index] = static_cast<uint8_t>(blue);
  table[4 * index + 1] = static_cast<uint8_t>(green);
  table[4 * index + 2] = static_cast<uint8_t>(red);
  table[4 * index + 3] = 0;
}

// The 6 x 6 x 6 cube from `first`, blue fastest, then green, then red.
void PutCube(uint8_t* table, int first) {
  int i = first;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) SetEntry(table, i++, 51 * r, 51 * g, 51 * b);
}

constexpr uint8_t kStaticLow[10][3] = {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
                                       {128, 0, 128}, {0, 128, 128}, {192, 192, 192}, {192, 220, 192}, {166, 202, 240}};
constexpr uint8_t kStaticHigh[10][3] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},
                                        {0, 255, 0},     {255, 255, 0},   {0, 0, 255},     {255, 0, 255},
                                        {0, 255, 255},   {255, 255, 255}};

// Builds the colour-to-entry octree for a palette choice; for "Adaptive" it
// is fed by the source. Returns false when cancelled.
bool BuildPalette(const CDIBitmap& source, PaletteChoice palette, DitherMode dither, int colors, uint8_t table[1024],
                  OctreeQuantizer& octree) {
  octree.SetMappedPixels(int64_t{source.GetWidth()} * source.GetHeight());
  if (palette != kPaletteAdaptive) {
    GL_GetFixedPalette(palette, table);
    for (int i = 0; i < 256; ++i) octree.AddPaletteColor(table[4 * i + 2], table[4 * i + 1], table[4 * i], i);
    octree.FinishFixedPalette();
    return true;
  }
  const int width = source.GetWidth();
  const int height = source.GetHeight();
  Scratch scratch(width);
  std::vector<uint8_t> dithered(static_cast<size_t>(width) * 3);
  const bool ordered = dither == kDitherOrdered;
  const OrderedDither levels18(18);
  const bool ok = RunRows(height, 0, false, 0, 50, [&](int first, int last) {
    for (int y = first; y < last; ++y) {
      const uint8_t* bgr = SourceRowBGR(source, y, scratch.bgr.data());
      if (ordered) {
        const auto rowTable = levels18.RowTable(y);
        for (int x = 0; x < width; ++x) {
          const uint8_t* t = rowTable[x & 15];
          dithered[3 * x] = t[bgr[3 * x]];
          dithered[3 * x + 1] = t[bgr[3 * x + 1]];
          dithered[3 * x + 2] = t[bgr[3 * x + 2]];
        }
        bgr = dithered.data();
      }
      // Runs of one colour go in pixel by pixel: each insertion may reduce.
      for (int x = 0; x < width; ++x) octree.AddColor(bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x]);
    }
  });
  if (!ok) return false;
  octree.ReduceTo(std::clamp(colors, 8, 256));
  std::memset(table, 0, 1024);
  octree.BuildPalette(table, 256);
  return true;
}

}  // namespace

// ------------------------------------------------------------ public


int GL_GetFixedPalette(PaletteChoice choice, uint8_t table[1024]) {
  std::memset(table, 0, 1024);
  if (choice == kPaletteNetscape) {
    PutCube(table, 0);  // entries 216..255 stay black
    return 256;
  }
  if (choice != kPaletteSystem) return 0;
  for (int i = 0; i < 10; ++i) {
    SetEntry(table, i, kStaticLow[i][0], kStaticLow[i][1], kStaticLow[i][2]);
    SetEntry(table, 246 + i, kStaticHigh[i][0], kStaticHigh[i][1], kStaticHigh[i][2]);
  }
  PutCube(table, 10);
  int index = 226;
  for (int i = 0; i < 5; ++i)
    for (int j = 1; j <= 4; ++j) {
      const int level = 51 * i + (51 * j + 2) / 5;
      SetEntry(table, index++, level, level, level);
    }
  return 256;
}

void GL_OrderedDitherMatrix(int levels, uint8_t matrix[16][16]) {
  levels = std::clamp(levels, 2, 256);
  const double step = 255.0 / (levels - 1);
  for (int r = 0; r < 16; ++r)
    for (int c = 0; c < 16; ++c) {
      const double base = kBayer[r / 4][c / 4] / 16.0 + kBayer[r % 4][c % 4];
      matrix[r][c] = static_cast<uint8_t>(std::trunc(base * (step - 1) / 16 + 0.5));
    }
}

int GL_ConvertToGray(CDIBitmap& bitmap) {
  if (!bitmap.IsAllocated()) return kResultRefused;
  const int bits = bitmap.GetBitCount();
  if ((bits == 8 && bitmap.IsGray()) || !ValidSourceBits(bits)) return kResultOk;
  const int width = bitmap.GetWidth();
  const int height = bitmap.GetHeight();
  CDIBitmap gray;
  if (!GL_CreateGrayBitmap(gray, width, height)) return kResultRefused;
  uint8_t lut[256];
  if (bits == 1) {
    std::memset(lut, 0, sizeof lut);
    lut[1] = 255;
  } else {
    TableLuminance(bitmap, lut);
  }
  BeginProgress();
  const bool ok = RunRows(height, int64_t{width} * 4, BandsAllowed(bitmap), 0, 100, [&](int first, int last) {
    Scratch scratch(width);
    for (int y = first; y < last; ++y) SourceRowLuminance(bitmap, y, gray.RowPointer(y), lut, scratch);
  });
  if (!ok) return kResultCancelled;
  bitmap.Attach(gray);
  return kResultOk;
}

int GL_ConvertToRGB(CDIBitmap& target, const CDIBitmap& source) {
  if (!target.IsAllocated() || target.GetBitCount() != 24) {
    platform::ShowMessage("GL_ConvertToRGB ::pdbmDest Should be a 24bit image");
    return kResultRefused;
  }
  if (!SameSize(target, source)) {
    platform::ShowMessage("GL_ConvertToRGB ::pdbmDest Should be the size of pdbmSrc");
    return kResultRefused;
  }
  const int bits = source.GetBitCount();
  if (bits == 24 || !ValidSourceBits(bits)) return kResultOk;
  const int width = source.GetWidth();
  BeginProgress();
  const bool ok =
      RunRows(source.GetHeight(), int64_t{width} * 4, BandsAllowed(source), 0, 100, [&](int first, int last) {
        std::vector<uint8_t> buffer(static_cast<size_t>(target.GetStride()));
        for (int y = first; y < last; ++y) {
          uint8_t* out = TargetRow(target, y, buffer.data());
          if (bits == 32)
            GL_CMYKRowToRGB(source.RowPointer(y), out, width);
          else
            source.GetRowRGB(out, y);
          CommitRow(target, y, buffer.data());
        }
      });
  return ok ? kResultOk : kResultCancelled;
}

int GL_ConvertToBW(CDIBitmap& target, const CDIBitmap& source, DitherMode dither) {
  if (!target.IsAllocated() || target.GetBitCount() != 1) {
    platform::ShowMessage("GL_ConvertToBW ::pdbmDest Should be a 1bit image");
    return kResultRefused;
  }
  if (!SameSize(target, source)) {
    platform::ShowMessage("GL_ConvertToBW ::pdbmDest Should be the size of pdbmSrc");
    return kResultRefused;
  }
  if (!ValidSourceBits(source.GetBitCount())) {
    platform::ShowMessage("GL_ConvertToBW ::pdbmSrc Invalid Bit Count");
    return kResultRefused;
  }
  const uint8_t blackWhite[8] = {0, 0, 0, 0, 255, 255, 255, 0};
  target.SetColorTable(blackWhite, 2);
  const int width = source.GetWidth();
  const int height = source.GetHeight();
  uint8_t lut[256];
  TableLuminance(source, lut);
  BeginProgress();

  if (dither == kDitherDiffusion) {
    Scratch scratch(width);
    std::vector<uint8_t> luminance(static_cast<size_t>(width));
    std::vector<int> current(static_cast<size_t>(width)), next(static_cast<size_t>(width));
    std::vector<uint8_t> bits(static_cast<size_t>(width)), buffer(static_cast<size_t>(target.GetStride()));
    auto load = [&](int y, std::vector<int>& into) {
      SourceRowLuminance(source, y, luminance.data(), lut, scratch);
      std::copy(luminance.begin(), luminance.end(), into.begin());
    };
    load(0, current);
    const bool ok = RunRows(height, 0, false, 0, 100, [&](int first, int last) {
      for (int y = first; y < last; ++y) {
        const bool hasNext = y + 1 < height;
        if (hasNext) load(y + 1, next);
        for (int x = 0; x < width; ++x) {
          const int v = current[static_cast<size_t>(x)];
          const int chosen = v >= 128 ? 255 : 0;
          bits[static_cast<size_t>(x)] = chosen ? 1 : 0;
          Diffuse(current.data(), next.data(), x, width, 1, hasNext, v - chosen);
        }
        PackBits(bits.data(), TargetRow(target, y, buffer.data()), width);
        CommitRow(target, y, buffer.data());
        current.swap(next);
      }
    });
    return ok ? kResultOk : kResultCancelled;
  }

  const bool ordered = dither == kDitherOrdered;
  const OrderedDither twoLevels(2);
  const bool ok = RunRows(height, int64_t{width} * 4, BandsAllowed(source), 0, 100, [&](int first, int last) {
    Scratch scratch(width);
    std::vector<uint8_t> luminance(static_cast<size_t>(width)), bits(static_cast<size_t>(width));
    std::vector<uint8_t> buffer(static_cast<size_t>(target.GetStride()));
    for (int y = first; y < last; ++y) {
      SourceRowLuminance(source, y, luminance.data(), lut, scratch);
      if (ordered) {
        const auto rowTable = twoLevels.RowTable(y);
        for (int x = 0; x < width; ++x) bits[static_cast<size_t>(x)] = rowTable[x & 15][luminance[static_cast<size_t>(x)]] ? 1 : 0;
      } else {
        for (int x = 0; x < width; ++x) bits[static_cast<size_t>(x)] = luminance[static_cast<size_t>(x)] >= 128 ? 1 : 0;
      }
      PackBits(bits.data(), TargetRow(target, y, buffer.data()), width);
      CommitRow(target, y, buffer.data());
    }
  });
  return ok ? kResultOk : kResultCancelled;
}

int GL_ConvertToIndexed(CDIBitmap& target, const CDIBitmap& source, PaletteChoice palette, DitherMode dither,
                        int colors, uint8_t* tableOut) {
  if (!target.IsAllocated() || target.GetBitCount() != 8) {
    platform::ShowMessage("GL_ConvertToIndexed ::pdbmDest Should be a 8bit image");
    return kResultRefused;
  }
  if (!SameSize(target, source)) {
    platform::ShowMessage("GL_ConvertToIndexed ::pdbmDest Should be the size of pdbmSrc");
    return kResultRefused;
  }
  if (!ValidSourceBits(source.GetBitCount())) {
    platform::ShowMessage("GL_ConvertToIndexed ::pdbmSrc Invalid Bit Count");
    return kResultRefused;
  }
  const int width = source.GetWidth();
  const int height = source.GetHeight();
  BeginProgress();
  uint8_t table[1024];
  OctreeQuantizer octree;
  if (!BuildPalette(source, palette, dither, colors, table, octree)) return kResultCancelled;
  // The fixed palettes were not fed by the source: their half of the range
  // is reported by the mapping.
  const int base = palette == kPaletteAdaptive ? 50 : 0;
  const int span = 100 - base;

  bool ok;
  if (dither == kDitherDiffusion) {
    Scratch scratch(width);
    OctreeQuantizer::Cache cache;
    const size_t values = static_cast<size_t>(width) * 3;
    std::vector<int> current(values), next(values);
    std::vector<uint8_t> buffer(static_cast<size_t>(target.GetStride()));
    auto load = [&](int y, std::vector<int>& into) {
      const uint8_t* bgr = SourceRowBGR(source, y, scratch.bgr.data());
      std::copy(bgr, bgr + values, into.begin());
    };
    load(0, current);
    ok = RunRows(height, 0, false, base, span, [&](int first, int last) {
      for (int y = first; y < last; ++y) {
        const bool hasNext = y + 1 < height;
        if (hasNext) load(y + 1, next);
        uint8_t* out = TargetRow(target, y, buffer.data());
        for (int x = 0; x < width; ++x) {
          int* pixel = current.data() + 3 * x;
          const int index = octree.Map(static_cast<uint8_t>(pixel[2]), static_cast<uint8_t>(pixel[1]),
                                       static_cast<uint8_t>(pixel[0]), cache);
          out[x] = static_cast<uint8_t>(index);
          const uint8_t* chosen = table + 4 * index;
          for (int c = 0; c < 3; ++c)
            Diffuse(current.data() + c, next.data() + c, x, width, 3, hasNext, pixel[c] - chosen[c]);
        }
        CommitRow(target, y, buffer.data());
        current.swap(next);
      }
    });
  } else {
    const bool ordered = dither == kDitherOrdered;
    const OrderedDither predither(palette == kPaletteAdaptive ? 18 : 6);
    ok = RunRows(height, int64_t{width} * 4, BandsAllowed(source), base, span, [&](int first, int last) {
      Scratch scratch(width);
      OctreeQuantizer::Cache cache;
      std::vector<uint8_t> buffer(static_cast<size_t>(target.GetStride()));
      for (int y = first; y < last; ++y) {
        const uint8_t* bgr = SourceRowBGR(source, y, scratch.bgr.data());
        uint8_t* out = TargetRow(target, y, buffer.data());
        if (ordered) {
          const auto rowTable = predither.RowTable(y);
          for (int x = 0; x < width; ++x) {
            const uint8_t* t = rowTable[x & 15];
            out[x] = static_cast<uint8_t>(octree.Map(t[bgr[3 * x + 2]], t[bgr[3 * x + 1]], t[bgr[3 * x]], cache));
          }
        } else {
          for (int x = 0; x < width; ++x)
            out[x] = static_cast<uint8_t>(octree.Map(bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x], cache));
        }
        CommitRow(target, y, buffer.data());
      }
    });
  }
  if (!ok) return kResultCancelled;
  target.SetColorTable(table, 256);
  if (tableOut) std::memcpy(tableOut, table, sizeof table);
  return kResultOk;
}

int GL_ConvertImageToRGB(CDIBitmap& image) {
  if (!image.IsAllocated()) return kResultRefused;
  if (image.GetBitCount() == 24 || !ValidSourceBits(image.GetBitCount())) return kResultOk;
  CDIBitmap rgb;
  if (!GL_CreateRGBBitmap(rgb, image.GetWidth(), image.GetHeight())) return kResultRefused;
  const int result = GL_ConvertToRGB(rgb, image);
  if (result != kResultOk) return result;
  image.Attach(rgb);
  return kResultOk;
}

int GL_ConvertImageToCMYK(CDIBitmap& image) {
  if (!image.IsAllocated()) return kResultRefused;
  if (image.GetBitCount() == 32 || !ValidSourceBits(image.GetBitCount())) return kResultOk;
  const int width = image.GetWidth();
  CDIBitmap cmyk;
  if (!GL_CreateCMYKBitmap(cmyk, width, image.GetHeight())) return kResultRefused;
  BeginProgress();
  const bool banded = !GL_HasColorTransform();
  const bool ok = RunRows(image.GetHeight(), int64_t{width} * 4, banded, 0, 100, [&](int first, int last) {
    Scratch scratch(width);
    for (int y = first; y < last; ++y)
      GL_RGBRowToCMYK(SourceRowBGR(image, y, scratch.bgr.data()), cmyk.RowPointer(y), width);
  });
  if (!ok) return kResultCancelled;
  image.Attach(cmyk);
  return kResultOk;
}

int GL_ConvertImageToBW(CDIBitmap& image, DitherMode dither) {
  if (!image.IsAllocated()) return kResultRefused;
  if (!ValidSourceBits(image.GetBitCount())) return kResultOk;
  CDIBitmap bw;
  if (!GL_CreateIndexedBitmap(bw, image.GetWidth(), image.GetHeight(), 1, nullptr)) return kResultRefused;
  const int result = GL_ConvertToBW(bw, image, dither);
  if (result != kResultOk) return result;
  image.Attach(bw);
  return kResultOk;
}

int GL_ConvertImageToIndexed(CDIBitmap& image, PaletteChoice palette, DitherMode dither) {
  if (!image.IsAllocated()) return kResultRefused;
  if (!ValidSourceBits(image.GetBitCount())) return kResultOk;
  CDIBitmap indexed;
  if (!GL_CreateIndexedBitmap(indexed, image.GetWidth(), image.GetHeight(), 8, nullptr)) return kResultRefused;
  const int result = GL_ConvertToIndexed(indexed, image, palette, dither, 256, nullptr);
  if (result != kResultOk) return result;
  image.Attach(indexed);
  return kResultOk;
}

int GL_MergePlanes(CDIBitmap& target, std::span<const CDIBitmap* const> planes) {
  if (planes.size() != 3 && planes.size() != 4) {
    platform::ShowMessage("GL_MergePlanes ::nPlanes Should be 3 or 4");
    return kResultRefused;
  }
  for (const CDIBitmap* plane : planes)
    if (!plane || !plane->IsAllocated() || plane->GetBitCount() != 8 || !plane->IsGray()) {
      platform::ShowMessage("GL_MergePlanes ::pdbmSrc Should be a 8bit Gray image");
      return kResultRefused;
    }
  for (const CDIBitmap* plane : planes)
    if (!SameSize(*plane, *planes[0])) {
      platform::ShowMessage("GL_MergePlanes ::pdbmSrc Should be the same size");
      return kResultRefused;
    }
  const int width = planes[0]->GetWidth();
  const int height = planes[0]->GetHeight();
  const bool rgb = planes.size() == 3;
  CDIBitmap merged;
  if (!(rgb ? GL_CreateRGBBitmap(merged, width, height) : GL_CreateCMYKBitmap(merged, width, height))) return kResultRefused;
  BeginProgress();
  const bool ok = RunRows(height, int64_t{width} * 4, true, 0, 100, [&](int first, int last) {
    for (int y = first; y < last; ++y) {
      uint8_t* out = merged.RowPointer(y);
      if (rgb) {
        const uint8_t* r = planes[0]->RowPointer(y);
        const uint8_t* g = planes[1]->RowPointer(y);
        const uint8_t* b = planes[2]->RowPointer(y);
        for (int x = 0; x < width; ++x) {
          out[3 * x] = b[x];
          out[3 * x + 1] = g[x];
          out[3 * x + 2] = r[x];
        }
      } else {
        const uint8_t* c = planes[0]->RowPointer(y);
        const uint8_t* m = planes[1]->RowPointer(y);
        const uint8_t* ye = planes[2]->RowPointer(y);
        const uint8_t* k = planes[3]->RowPointer(y);
        for (int x = 0; x < width; ++x) {
          out[4 * x] = c[x];
          out[4 * x + 1] = m[x];
          out[4 * x + 2] = ye[x];
          out[4 * x + 3] = k[x];
        }
      }
    }
  });
  if (!ok) return kResultCancelled;
  target.Attach(merged);
  return kResultOk;
}
