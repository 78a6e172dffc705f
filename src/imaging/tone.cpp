// Tone and colour adjustments: lookup-table remaps, inversion, channel swap,
// colour balance, HSL changes, histogram, equalisation, stretch and channel
// separation.
//
// Every in-place operation runs through ForEachRow: the stored row is read
// directly, the row kernel writes a row buffer, and PutRow puts it back
// through the selection mask. The pixel kind is decided once per call; the
// kernels are templates over the bytes per pixel.
#include "imaging/tone.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#include <immintrin.h>
#endif

#include "image/color_convert.h"
#include "image/dibitmap.h"
#include "imaging/hsl.h"
#include "imaging/row_job.h"
#include "imaging/vector_loop.h"
#include "imaging/vector_pixels.h"
#include "platform/messages.h"

namespace {

constexpr char kRemapRefused[] =
    "GL_RemapBitmapIntensity :: pdbmDest cannot  be a 16bit or  below 8 bit gray image";
constexpr char kIntensityRefused[] = "GL_ChangeIntensity :: pdbmDest Should be a 24bit a 8 bit gray image";
constexpr char kHSLRefused[] = "GL_ChangeHSL ::pdbmDest Should be a 24bit image";
constexpr char kSaturationRefused[] = "GL_ChangeSaturation :: pdbmDest Should be a 24bit image";
constexpr char kBalanceRefused[] =
    "GL_ColorBalance :: pdbmDest cannot  be a 16bit or  below 8 bit gray image";

constexpr YIQTables BuildYIQTables() {
  YIQTables t{};
  for (int v = 0; v < 256; ++v) {
    t.yr[v] = 306 * v;
    t.yg[v] = 601 * v;
    t.yb[v] = 117 * v;
    t.ir[v] = 610 * v;
    t.ig[v] = 281 * v;
    t.ib[v] = 330 * v;
    t.qr[v] = 216 * v;
    t.qg[v] = 536 * v;
    t.qb[v] = 319 * v;
  }
  return t;
}

constexpr YIQTables kYIQ = BuildYIQTables();

bool HasPixels(const CDIBitmap& bitmap) {
  return bitmap.GetPixels() != nullptr && bitmap.GetWidth() > 0 && bitmap.GetHeight() > 0;
}

// Runs kernel(source row, row buffer, y) over every row and puts each buffer
// back with PutRow. With progress on: one thread, a step per row and cancel
// (the bitmap restored); otherwise bands on up to two threads when
// `threads` allows it.
template <typename Kernel>
int ForEachRow(CDIBitmap& bitmap, Kernel&& kernel, bool threads = true) {
  if (!HasPixels(bitmap)) return 1;
  const int rows = bitmap.GetHeight();
  const int bytes = bitmap.GetRowBytes();
  CRowJob job(bitmap, rows);
  if (job.Reporting()) {
    std::vector<uint8_t> buffer(static_cast<size_t>(bytes));
    for (int y = 0; y < rows; ++y) {
      kernel(static_cast<const uint8_t*>(bitmap.RowPointer(y)), buffer.data(), y);
      bitmap.PutRow(buffer.data(), y);
      if (!job.Step(y)) return kResultCancelled;
    }
    return 1;
  }
  auto band = [&](int first, int last) {
    std::vector<uint8_t> buffer(static_cast<size_t>(bytes));
    for (int y = first; y < last; ++y) {
      kernel(static_cast<const uint8_t*>(bitmap.RowPointer(y)), buffer.data(), y);
      bitmap.PutRow(buffer.data(), y);
    }
  };
  if (threads)
    GL_ParallelRows(rows, bytes, [&](int first, int last) { band(first, last); });
  else
    band(0, rows);
  return 1;
}

// ---------------------------------------------------------------------------
// Lookup-table kernels: byte i of a pixel goes through luts[i].

template <int Bpp>
void LutRow(const uint8_t* src, uint8_t* dst, int width, const ToneTable* luts) {
  const uint8_t* l0 = luts[0].data();
  if constexpr (Bpp == 1) {
    for (int x = 0; x < width; ++x) dst[x] = l0[src[x]];
  } else if constexpr (Bpp == 3) {
    const uint8_t* l1 = luts[1].data();
    const uint8_t* l2 = luts[2].data();
    for (int x = 0; x < width; ++x, src += 3, dst += 3) {
      dst[0] = l0[src[0]];
      dst[1] = l1[src[1]];
      dst[2] = l2[src[2]];
    }
  } else {
    const uint8_t* l1 = luts[1].data();
    const uint8_t* l2 = luts[2].data();
    const uint8_t* l3 = luts[3].data();
    for (int x = 0; x < width; ++x, src += 4, dst += 4) {
      dst[0] = l0[src[0]];
      dst[1] = l1[src[1]];
      dst[2] = l2[src[2]];
      dst[3] = l3[src[3]];
    }
  }
}

// Remaps an 8, 24 or 32-bit bitmap with one table per byte of the pixel
// (luts[0] for byte 0, ...).
int ApplyByteTables(CDIBitmap& bitmap, const ToneTable* luts) {
  const int width = bitmap.GetWidth();
  switch (bitmap.GetBitCount()) {
    case 8:
      return ForEachRow(bitmap, [&](const uint8_t* s, uint8_t* d, int) { LutRow<1>(s, d, width, luts); });
    case 24:
      return ForEachRow(bitmap, [&](const uint8_t* s, uint8_t* d, int) { LutRow<3>(s, d, width, luts); });
    case 32:
      return ForEachRow(bitmap, [&](const uint8_t* s, uint8_t* d, int) { LutRow<4>(s, d, width, luts); });
    default:
      return 1;
  }
}

// Channel number of byte `b` of a pixel: 24 bits blue, green, red are
// channels 3, 2, 1; 32 bits cyan .. black are 1 .. 4.
int ChannelOfByte(int bitCount, int b) { return bitCount == 24 ? 3 - b : b + 1; }

bool IsPalette8(const CDIBitmap& bitmap) { return bitmap.GetBitCount() == 8 && !bitmap.IsGray(); }

// Applies `fn` to every colour-table entry (blue, green, red, 0).
template <typename Fn>
void ForEachTableEntry(CDIBitmap& bitmap, Fn&& fn) {
  uint8_t* table = bitmap.GetColorTablePointer();
  if (!table) return;
  const int count = bitmap.GetPaletteSize();
  for (int i = 0; i < count; ++i) fn(table + 4 * i);
}

// ---------------------------------------------------------------------------
// The three HSL adjustments (imaging/hsl.h) as one pixel function each.

inline float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

// Hue turned by `hue` degrees (wrapped once each way), saturation and
// lightness moved and clamped to 0..1; a pixel without hue takes the new
// lightness as its level.
struct HSLChange {
  float hue, saturation, lightness;
  void operator()(const uint8_t* src, uint8_t* dst) const {
    const hsl::Hsl c = hsl::ToHsl(src);
    float h = c.h;
    if (h >= 0.0f) {
      h += hue;
      if (h < 0.0f) h += 360.0f;
      if (h > 360.0f) h -= 360.0f;
    }
    hsl::FromHsl(dst, h, Clamp01(c.s + saturation), Clamp01(c.l + lightness));
  }
};

// Saturation moved and clamped; a pixel without hue stays as it is.
struct SaturationChange {
  float saturation;
  void operator()(const uint8_t* src, uint8_t* dst) const {
    const hsl::Hsl c = hsl::ToHsl(src);
    if (c.h < 0.0f) {
      std::memcpy(dst, src, 3);
      return;
    }
    hsl::FromHsl(dst, c.h, Clamp01(c.s + saturation), c.l);
  }
};

struct LightnessChange {
  float lightness;
  void operator()(const uint8_t* src, uint8_t* dst) const {
    const hsl::Hsl c = hsl::ToHsl(src);
    hsl::FromHsl(dst, c.h, c.s, Clamp01(c.l + lightness));
  }
};

// Runs a pixel function over a 24-bit row, one pixel at a time. This is the
// reference form; the vector rows below must give the same bytes.
template <typename PixelFn>
void HSLRowScalar(const uint8_t* src, uint8_t* dst, int width, const PixelFn& fn) {
  for (int x = 0; x < width; ++x, src += 3, dst += 3) fn(src, dst);
}

// Eight pixels at a time: the vector forms of imaging/hsl.h.
using namespace vector_pixels;

enum class HSLMode { Change, Saturation, Lightness };

template <HSLMode M>
__attribute__((always_inline)) inline void HSLBlock(const uint8_t* src, uint8_t* dst, float dh, float ds,
                                                    float dl) {
  VInt B, G, R;
  Load8(src, B, G, R);
  const hsl::VHsl c = hsl::ToHsl(B, G, R);
  VFloat h = c.h, s = c.s, l = c.l;
  if constexpr (M == HSLMode::Change) {
    h = h + dh;
    h = h < 0.0f ? h + 360.0f : h;
    h = h > 360.0f ? h - 360.0f : h;
  }
  if constexpr (M != HSLMode::Lightness) s = VClamp(s + ds, 0.0f, 1.0f);
  if constexpr (M != HSLMode::Saturation) l = VClamp(l + dl, 0.0f, 1.0f);
  VInt outB, outG, outR;
  hsl::FromHsl(h, s, l, c.gray, outB, outG, outR);
  if constexpr (M == HSLMode::Saturation) {
    outR = c.gray ? R : outR;
    outG = c.gray ? G : outG;
    outB = c.gray ? B : outB;
  }
  Store8(dst, outB, outG, outR);
}

// Whole blocks of eight pixels, stopping kBlockReach pixels before the row's
// end; returns the number of pixels done. Built for AVX2 and for the
// baseline, chosen when the program starts.
#define VIVID_HSL_ROW(Name, Mode)                                                                     \
  VIVID_TARGET_CLONES int Name(const uint8_t* src, uint8_t* dst, int width, float dh, float ds, float dl) { \
    int x = 0;                                                                                        \
    for (; x + kBlockReach <= width; x += kLanes) HSLBlock<Mode>(src + 3 * x, dst + 3 * x, dh, ds, dl); \
    return x;                                                                                         \
  }
VIVID_HSL_ROW(HSLChangeBlocks, HSLMode::Change)
VIVID_HSL_ROW(SaturationBlocks, HSLMode::Saturation)
VIVID_HSL_ROW(LightnessBlocks, HSLMode::Lightness)
#undef VIVID_HSL_ROW

// Equalisation of one 24-bit pixel through the YIQ tables: the reference form
// for the pixels after the last whole block.
inline void EqualizePixel(const uint8_t* s, uint8_t* d, const ToneTable& table) {
  const YIQTables& t = kYIQ;
  const int b = s[0], g = s[1], r = s[2];
  const int y = (t.yr[r] + t.yg[g] + t.yb[b] + 512) >> 10;
  const int i = (t.ir[r] - t.ig[g] - t.ib[b] + 512) / 1024;
  const int q = (t.qr[r] - t.qg[g] + t.qb[b] + 512) / 1024;
  const int y2 = 1024 * table[y] + 512;
  d[2] = static_cast<uint8_t>(std::clamp((y2 + 979 * i + 636 * q) / 1024, 0, 255));
  d[1] = static_cast<uint8_t>(std::clamp((y2 - 280 * i - 663 * q) / 1024, 0, 255));
  d[0] = static_cast<uint8_t>(std::clamp((y2 + 2 * (871 * q - 565 * i)) / 1024, 0, 255));
}

// Eight pixels at a time in 32-bit lanes, giving the same bytes as
// EqualizePixel: i and q truncate toward zero as there, and since
// 1024 * table[y] + 512 is a multiple of 1024 plus 512, the truncated
// division of the output sums equals table[y] plus the floor of
// (512 + chroma term) / 1024 wherever the result is not clamped to 0.
// Reads 16 bytes at the fifth pixel of a block, so it stops 11 pixels before
// the row's end; returns the number of pixels done. LOOKUP(y) gives the
// eight table entries of the luminance lanes y.
#define VIVID_EQUALIZE_BLOCKS(LOOKUP)                                                                       \
  int x = 0;                                                                                               \
  for (; x + 11 <= width; x += kLanes, src += 3 * kLanes, dst += 3 * kLanes) {                             \
    VInt B, G, R;                                                                                          \
    Load8(src, B, G, R);                                                                                   \
    const VInt y = (306 * R + 601 * G + 117 * B + 512) >> 10;                                              \
    const VInt i = (610 * R - 281 * G - 330 * B + 512) / 1024;                                             \
    const VInt q = (216 * R - 536 * G + 319 * B + 512) / 1024;                                             \
    const VInt t = LOOKUP(y);                                                                              \
    const VInt outR = VClampByte(t + ((512 + 979 * i + 636 * q) >> 10));                                   \
    const VInt outG = VClampByte(t + ((512 - 280 * i - 663 * q) >> 10));                                   \
    const VInt outB = VClampByte(t + ((512 + 2 * (871 * q - 565 * i)) >> 10));                             \
    Store8(dst, outB, outG, outR);                                                                         \
  }                                                                                                        \
  return x;

// The equalisation table widened to 32 bits, for the gathering form.
using WideTable = std::array<int32_t, 256>;

// The portable form looks each lane up on its own.
int EqualizeBlocks(const uint8_t* src, uint8_t* dst, int width, const WideTable& table) {
  auto lookup = [&](VInt y) {
    VInt t;
    for (int k = 0; k < kLanes; ++k) t[k] = table[y[k]];
    return t;
  };
  VIVID_EQUALIZE_BLOCKS(lookup)
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
// With AVX2 one gather instruction fetches the eight entries. GCC only, as
// the clones are: clang will not pass the vector helpers' arguments into an
// AVX2 function.
__attribute__((target("avx2"))) int EqualizeBlocksAVX2(const uint8_t* src, uint8_t* dst, int width,
                                                       const WideTable& table) {
  auto lookup = [&](VInt y) __attribute__((target("avx2"))) {
    return reinterpret_cast<VInt>(_mm256_i32gather_epi32(table.data(), reinterpret_cast<__m256i>(y), 4));
  };
  VIVID_EQUALIZE_BLOCKS(lookup)
}
#endif
#undef VIVID_EQUALIZE_BLOCKS

typedef uint8_t VByte8 __attribute__((vector_size(8)));
typedef uint8_t VByte32 __attribute__((vector_size(32)));

// Luminance of eight pixels at a time, in whole blocks stopping 11 pixels
// before the row's end; returns the number of pixels done.
VIVID_TARGET_CLONES int LuminanceBlocks(const uint8_t* src, uint8_t* gray, int width) {
  int x = 0;
  for (; x + 11 <= width; x += kLanes, src += 3 * kLanes) {
    VInt B, G, R;
    Load8(src, B, G, R);
    const VInt y = (306 * R + 601 * G + 117 * B + 512) >> 10;
    VByte32 bytes;
    std::memcpy(&bytes, &y, 32);
    const VByte8 low = __builtin_shufflevector(bytes, bytes, 0, 4, 8, 12, 16, 20, 24, 28);
    std::memcpy(gray + x, &low, 8);
  }
  return x;
}

int VectorBlocks(const HSLChange& f, const uint8_t* s, uint8_t* d, int w) {
  return HSLChangeBlocks(s, d, w, f.hue, f.saturation, f.lightness);
}
int VectorBlocks(const SaturationChange& f, const uint8_t* s, uint8_t* d, int w) {
  return SaturationBlocks(s, d, w, 0.0f, f.saturation, 0.0f);
}
int VectorBlocks(const LightnessChange& f, const uint8_t* s, uint8_t* d, int w) {
  return LightnessBlocks(s, d, w, 0.0f, 0.0f, f.lightness);
}

// The vector blocks, then the scalar function for the last pixels.
template <typename PixelFn>
void HSLRow(const uint8_t* src, uint8_t* dst, int width, const PixelFn& fn) {
  const int done = VectorBlocks(fn, src, dst, width);
  HSLRowScalar(src + 3 * done, dst + 3 * done, width - done, fn);
}

template <typename PixelFn>
int ApplyHSL24(CDIBitmap& bitmap, const PixelFn& fn) {
  const int width = bitmap.GetWidth();
  return ForEachRow(bitmap, [&](const uint8_t* s, uint8_t* d, int) { HSLRow(s, d, width, fn); });
}

// ---------------------------------------------------------------------------
// Byte kernels of the negative and the channel swap, 16 bytes at a time
// (the row buffer and the stored row are different memory, but the compiler
// cannot know it, so the vector form is written out).

void InvertBytes(const uint8_t* s, uint8_t* d, int bytes) {
  int i = 0;
  for (; i + 16 <= bytes; i += 16) {
    VByte16 v;
    std::memcpy(&v, s + i, 16);
    v = ~v;
    std::memcpy(d + i, &v, 16);
  }
  for (; i < bytes; ++i) d[i] = static_cast<uint8_t>(~s[i]);
}

// Exchanges bytes 0 and 2 of every 3-byte pixel: the reference form.
void SwapRedBlueScalar(const uint8_t* s, uint8_t* d, int width) {
  for (int x = 0; x < width; ++x, s += 3, d += 3) {
    d[0] = s[2];
    d[1] = s[1];
    d[2] = s[0];
  }
}

// The same, four pixels per byte shuffle (needs SSSE3).
__attribute__((target("ssse3"))) void SwapRedBlueShuffle(const uint8_t* s, uint8_t* d, int width) {
  int x = 0;
  for (; x + 6 <= width; x += 4, s += 12, d += 12) {  // reads 16 bytes: 5 1/3 pixels
    VByte16 v;
    std::memcpy(&v, s, 16);
    v = __builtin_shufflevector(v, v, 2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
    std::memcpy(d, &v, 12);
  }
  SwapRedBlueScalar(s, d, width - x);
}

void SwapRedBlueRow(const uint8_t* s, uint8_t* d, int width) {
  static const bool shuffle = __builtin_cpu_supports("ssse3");
  if (shuffle)
    SwapRedBlueShuffle(s, d, width);
  else
    SwapRedBlueScalar(s, d, width);
}

// ---------------------------------------------------------------------------
// Histogram kernels. Each row is first turned into the run of values to
// count (perPixel values for every pixel), then counted into four
// interleaved sub-histograms so that repeated values do not wait on each
// other.

struct CountPlan {
  int channel;
  const uint32_t* paletteValue;  // palette images: value(s) of each index
  int perPixel;                  // values counted per pixel
};

using SubCounts = uint32_t[4][256];

// The values of row y, in `scratch` or (when they are the row's own bytes)
// straight from the row.
const uint8_t* RowValues(const CDIBitmap& bitmap, int y, const CountPlan& plan, uint8_t* scratch) {
  const uint8_t* row = bitmap.RowPointer(y);
  const int width = bitmap.GetWidth();
  const int channel = plan.channel;
  switch (bitmap.GetBitCount()) {
    case 1:
      for (int x = 0; x < width; ++x) scratch[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
      return scratch;
    case 8:
      if (!plan.paletteValue) return row;
      if (plan.perPixel == 1) {
        for (int x = 0; x < width; ++x) scratch[x] = static_cast<uint8_t>(plan.paletteValue[row[x]]);
      } else {
        for (int x = 0; x < width; ++x) {
          const uint32_t v = plan.paletteValue[row[x]];
          scratch[3 * x] = static_cast<uint8_t>(v);
          scratch[3 * x + 1] = static_cast<uint8_t>(v >> 8);
          scratch[3 * x + 2] = static_cast<uint8_t>(v >> 16);
        }
      }
      return scratch;
    case 24:
      if (channel == kChannelLuminance) {
        GL_LuminanceRow(row, scratch, width);
      } else if (channel >= 1 && channel <= 3) {
        const uint8_t* p = row + (3 - channel);
        for (int x = 0; x < width; ++x, p += 3) scratch[x] = *p;
      } else {
        return row;
      }
      return scratch;
    default:  // 32
      if (channel == kChannelLuminance) {
        for (int x = 0; x < width; ++x, row += 4) {
          const int k = row[3];
          const int r = std::max(0, 255 - row[0] - k);
          const int g = std::max(0, 255 - row[1] - k);
          const int b = std::max(0, 255 - row[2] - k);
          scratch[x] = static_cast<uint8_t>(GL_Luminance(r, g, b));
        }
      } else if (channel >= 1 && channel <= 4) {
        const uint8_t* p = row + (channel - 1);
        for (int x = 0; x < width; ++x, p += 4) scratch[x] = *p;
      } else {
        return row;
      }
      return scratch;
  }
}

void CountValues(const uint8_t* v, size_t n, SubCounts& c) {
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    ++c[0][v[i]];
    ++c[1][v[i + 1]];
    ++c[2][v[i + 2]];
    ++c[3][v[i + 3]];
  }
  for (; i < n; ++i) ++c[0][v[i]];
}

// Counts the values of the selected pixels only.
void CountSelected(const uint8_t* v, const uint8_t* mask, int width, int perPixel, SubCounts& c) {
  for (int x = 0; x < width; ++x) {
    if (!(mask[x >> 3] & (0x80 >> (x & 7)))) continue;
    for (int k = 0; k < perPixel; ++k) ++c[k][v[x * perPixel + k]];
  }
}

}  // namespace

// ---------------------------------------------------------------------------

const YIQTables& GL_GetYIQTables() { return kYIQ; }

void GL_LuminanceRow(const uint8_t* bgr, uint8_t* gray, int count) {
  const int done = LuminanceBlocks(bgr, gray, count);
  bgr += 3 * done;
  for (int x = done; x < count; ++x, bgr += 3)
    gray[x] = static_cast<uint8_t>((kYIQ.yr[bgr[2]] + kYIQ.yg[bgr[1]] + kYIQ.yb[bgr[0]] + 512) >> 10);
}

ToneTable GL_IdentityTable() {
  ToneTable t;
  for (int v = 0; v < 256; ++v) t[v] = static_cast<uint8_t>(v);
  return t;
}

int GL_RemapBitmapIntensity(CDIBitmap& bitmap, const ToneTable& table, int channel) {
  const int bits = bitmap.GetBitCount();
  if (bits != 8 && bits != 24 && bits != 32) {
    platform::ShowMessage(kRemapRefused);
    return 0;
  }
  ToneTable luts[4];
  for (int b = 0; b < 4; ++b) {
    const int c = ChannelOfByte(bits, b);
    const bool one = (bits == 24 && channel >= 1 && channel <= 3) || (bits == 32 && channel >= 1 && channel <= 4);
    luts[b] = (!one || c == channel) ? table : GL_IdentityTable();
  }
  return ApplyByteTables(bitmap, luts);
}

int GL_ApplyToneTables(CDIBitmap& bitmap, const ToneTableSet& set) {
  const int bits = bitmap.GetBitCount();
  if (bits != 8 && bits != 24 && bits != 32) {
    platform::ShowMessage(kRemapRefused);
    return 0;
  }
  // Table of channel c followed by the all-channel table.
  auto composed = [&](int c) {
    ToneTable t = GL_IdentityTable();
    if (c >= 1 && c <= 4 && set.inUse[c]) t = set.tables[c];
    if (set.inUse[0])
      for (uint8_t& v : t) v = set.tables[0][v];
    return t;
  };
  if (IsPalette8(bitmap)) {
    const ToneTable red = composed(1), green = composed(2), blue = composed(3);
    ForEachTableEntry(bitmap, [&](uint8_t* e) {
      e[0] = blue[e[0]];
      e[1] = green[e[1]];
      e[2] = red[e[2]];
    });
    return 1;
  }
  const bool any = set.inUse[0] || (bits > 8 && (set.inUse[1] || set.inUse[2] || set.inUse[3] ||
                                                  (bits == 32 && set.inUse[4])));
  if (!any) return 1;
  ToneTable luts[4];
  for (int b = 0; b < 4; ++b) luts[b] = composed(bits == 8 ? 0 : ChannelOfByte(bits, b));
  return ApplyByteTables(bitmap, luts);
}

int GL_ChangeIntensity(CDIBitmap& bitmap, const ToneTable& table) {
  const int bits = bitmap.GetBitCount();
  if (bits != 8 && bits != 24 && bits != 32) {
    platform::ShowMessage(kIntensityRefused);
    return 0;
  }
  ToneTable lut = table;
  if (bits == 32)
    for (int x = 0; x < 256; ++x) lut[x] = static_cast<uint8_t>(255 - table[255 - x]);
  const ToneTable luts[4] = {lut, lut, lut, lut};
  return ApplyByteTables(bitmap, luts);
}

int GL_ChangeIntensity(CDIBitmap& bitmap, int amount) {
  const int bits = bitmap.GetBitCount();
  if (bits != 8 && bits != 24 && bits != 32) {
    platform::ShowMessage(kIntensityRefused);
    return 0;
  }
  const float delta = static_cast<float>(amount) * 0.001f;
  if (bits == 8) {
    ToneTable lut;
    for (int v = 0; v < 256; ++v)
      lut[v] = static_cast<uint8_t>(255.0f * Clamp01(static_cast<float>(v) * hsl::kByteScale + delta));
    const ToneTable luts[4] = {lut, lut, lut, lut};
    return ApplyByteTables(bitmap, luts);
  }
  const LightnessChange fn{delta};
  if (bits == 24) return ApplyHSL24(bitmap, fn);
  // CMYK: through RGB and back, with the colour conversion of the colour
  // modes (which may be a colour-managed transform: kept on one thread).
  const int width = bitmap.GetWidth();
  return ForEachRow(
      bitmap,
      [&](const uint8_t* s, uint8_t* d, int) {
        // One pair of RGB rows per thread, kept across rows.
        thread_local std::vector<uint8_t> rgb, changed;
        rgb.resize(static_cast<size_t>(width) * 3);
        changed.resize(rgb.size());
        GL_CMYKRowToRGB(s, rgb.data(), width);
        HSLRow(rgb.data(), changed.data(), width, fn);
        GL_RGBRowToCMYK(changed.data(), d, width);
      },
      !GL_HasColorTransform());
}

int GL_ChangeHSL(CDIBitmap& bitmap, int hue, int saturation, int lightness) {
  if (bitmap.GetBitCount() != 24) {
    platform::ShowMessage(kHSLRefused);
    return 0;
  }
  const HSLChange fn{static_cast<float>(hue), static_cast<float>(saturation) * 0.001f,
                     static_cast<float>(lightness) * 0.001f};
  return ApplyHSL24(bitmap, fn);
}

int GL_ChangeSaturation(CDIBitmap& bitmap, int amount) {
  if (bitmap.GetBitCount() != 24) {
    platform::ShowMessage(kSaturationRefused);
    return 0;
  }
  return ApplyHSL24(bitmap, SaturationChange{static_cast<float>(amount) * 0.001f});
}

int GL_ColorBalance(CDIBitmap& bitmap, int red, int green, int blue) {
  const int bits = bitmap.GetBitCount();
  if (bits != 8 && bits != 24 && bits != 32) {
    platform::ShowMessage(kBalanceRefused);
    return 0;
  }
  if (bits == 8) return 1;
  auto offset = [](int d) {
    ToneTable t;
    for (int v = 0; v < 256; ++v) t[v] = static_cast<uint8_t>(std::clamp(v + d, 0, 255));
    return t;
  };
  if (bits == 24) {
    const ToneTable luts[4] = {offset(blue), offset(green), offset(red), GL_IdentityTable()};
    return ApplyByteTables(bitmap, luts);
  }
  const ToneTable luts[4] = {offset(-red), offset(-green), offset(-blue), GL_IdentityTable()};
  return ApplyByteTables(bitmap, luts);
}

int GL_InvertBitmap(CDIBitmap& bitmap) {
  if (IsPalette8(bitmap)) {
    ForEachTableEntry(bitmap, [](uint8_t* e) {
      e[0] = static_cast<uint8_t>(255 - e[0]);
      e[1] = static_cast<uint8_t>(255 - e[1]);
      e[2] = static_cast<uint8_t>(255 - e[2]);
    });
    return 1;
  }
  const int bits = bitmap.GetBitCount();
  if (bits != 1 && bits != 8 && bits != 24 && bits != 32) return 1;
  const int bytes = bitmap.GetRowBytes();
  return ForEachRow(bitmap, [bytes](const uint8_t* s, uint8_t* d, int) { InvertBytes(s, d, bytes); });
}

int GL_SwapRedBlue(CDIBitmap& bitmap) {
  if (IsPalette8(bitmap)) {
    ForEachTableEntry(bitmap, [](uint8_t* e) { std::swap(e[0], e[2]); });
    return 1;
  }
  if (bitmap.GetBitCount() != 24) return 1;
  const int width = bitmap.GetWidth();
  return ForEachRow(bitmap, [width](const uint8_t* s, uint8_t* d, int) { SwapRedBlueRow(s, d, width); });
}

int GL_GetHistogram(const CDIBitmap& bitmap, Histogram& histogram, int channel) {
  histogram.fill(0);
  const int bits = bitmap.GetBitCount();
  if (bits != 1 && bits != 8 && bits != 24 && bits != 32) return 0;
  if (!HasPixels(bitmap)) return 1;
  CountPlan plan{channel, nullptr, 1};
  // Palette images count a value of each pixel's table entry.
  uint32_t paletteValue[256];
  if (IsPalette8(bitmap) && bitmap.GetColorTablePointer()) {
    const uint8_t* table = bitmap.GetColorTablePointer();
    const bool all = !(channel >= 1 && channel <= 3) && channel != kChannelLuminance;
    for (int i = 0; i < 256; ++i) {
      const uint8_t b = table[4 * i], g = table[4 * i + 1], r = table[4 * i + 2];
      paletteValue[i] = channel == 1                   ? r
                        : channel == 2                 ? g
                        : channel == 3                 ? b
                        : channel == kChannelLuminance ? static_cast<uint32_t>(GL_Luminance(r, g, b))
                                                       : (r | (uint32_t{g} << 8) | (uint32_t{b} << 16));
    }
    plan.paletteValue = paletteValue;
    plan.perPixel = all ? 3 : 1;
  } else if (bits == 24 && !(channel >= 1 && channel <= 3) && channel != kChannelLuminance) {
    plan.perPixel = 3;
  } else if (bits == 32 && !(channel >= 1 && channel <= 4) && channel != kChannelLuminance) {
    plan.perPixel = 4;
  }
  const int rows = bitmap.GetHeight();
  const int width = bitmap.GetWidth();
  const bool masked = bitmap.HasMask() && bitmap.MaskRowPointer(0) != nullptr;
  // Each band counts into its own sub-histograms; the sums do not depend on
  // the banding.
  static_assert(sizeof(SubCounts) == 4 * 256 * sizeof(uint32_t));
  std::vector<uint32_t> bandCounts(2 * 4 * 256, 0);
  GL_ParallelRows(rows, bitmap.GetRowBytes(), [&](int first, int last) {
    // The band starting at row 0 uses the first slot, the other the second.
    SubCounts& counts = *reinterpret_cast<SubCounts*>(bandCounts.data() + (first == 0 ? 0 : 4 * 256));
    std::vector<uint8_t> scratch(static_cast<size_t>(width) * 4);
    for (int y = first; y < last; ++y) {
      const uint8_t* values = RowValues(bitmap, y, plan, scratch.data());
      if (masked)
        CountSelected(values, bitmap.MaskRowPointer(y), width, plan.perPixel, counts);
      else
        CountValues(values, static_cast<size_t>(width) * plan.perPixel, counts);
    }
  });
  for (int k = 0; k < 8; ++k)
    for (int i = 0; i < 256; ++i) histogram[i] += bandCounts[k * 256 + i];
  return 1;
}

int GL_EqualizeBitmap(CDIBitmap& bitmap) {
  const int bits = bitmap.GetBitCount();
  const bool gray = bits == 8 && bitmap.IsGray();
  if (!gray && bits != 24) return 1;
  if (!HasPixels(bitmap)) return 1;
  Histogram histogram;
  GL_GetHistogram(bitmap, histogram, kChannelLuminance);
  // N is the number of pixels counted: the selected pixels inside the image.
  uint64_t total = 0;
  for (uint32_t c : histogram) total += c;
  if (total == 0) return 1;
  ToneTable table;
  uint64_t running = 0;
  for (int i = 0; i < 256; ++i) {
    running += histogram[i];
    table[i] = static_cast<uint8_t>(static_cast<int>(static_cast<double>(running) * 255.0 /
                                                         static_cast<double>(total) +
                                                     0.5));
  }
  if (gray) {
    const ToneTable luts[4] = {table, table, table, table};
    return ApplyByteTables(bitmap, luts);
  }
  const int width = bitmap.GetWidth();
  WideTable wide;
  std::copy(table.begin(), table.end(), wide.begin());
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
  static const bool gather = __builtin_cpu_supports("avx2");
#endif
  return ForEachRow(bitmap, [&](const uint8_t* s, uint8_t* d, int) {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
    const int done = gather ? EqualizeBlocksAVX2(s, d, width, wide) : EqualizeBlocks(s, d, width, wide);
#else
    const int done = EqualizeBlocks(s, d, width, wide);
#endif
    for (int x = done; x < width; ++x) EqualizePixel(s + 3 * x, d + 3 * x, table);
  });
}

int GL_StretchIntensity(CDIBitmap& bitmap) {
  const int bits = bitmap.GetBitCount();
  const bool gray = bits == 8 && bitmap.IsGray();
  if (!gray && bits != 24 && bits != 32) return 1;
  if (!HasPixels(bitmap)) return 1;
  Histogram histogram;
  GL_GetHistogram(bitmap, histogram, kChannelAll);
  int lo = 0;
  while (lo < 256 && histogram[lo] == 0) ++lo;
  if (lo == 256) return 1;  // nothing selected
  int hi = 255;
  while (histogram[hi] == 0) --hi;
  // One level only (this includes all black): nothing to stretch.
  if (lo == hi) return 1;
  ToneTable table;
  const double scale = 255.0 / (hi - lo);
  for (int i = 0; i < 256; ++i)
    table[i] = i < lo ? 0 : i > hi ? 255 : static_cast<uint8_t>(static_cast<int>((i - lo) * scale + 0.5));
  const ToneTable luts[4] = {table, table, table, table};
  return ApplyByteTables(bitmap, luts);
}

int GL_SeparateChannels(const CDIBitmap& source, CDIBitmap* const* targets, int mode) {
  const int bits = source.GetBitCount();
  if (!targets || !HasPixels(source) || (mode == 0 && bits != 24) || (mode == 1 && bits != 32) ||
      (mode != 0 && mode != 1))
    return 0;
  const int count = mode == 0 ? 3 : 4;
  // Byte of the source pixel that each target receives.
  const int byteOf[4] = {mode == 0 ? 2 : 0, 1, mode == 0 ? 0 : 2, 3};
  const int width = source.GetWidth(), height = source.GetHeight();
  for (int c = 0; c < count; ++c) {
    if (!targets[c] || !targets[c]->Create(width, height, 8, 1)) {
      for (int k = 0; k < c; ++k)
        if (targets[k]) targets[k]->Free();
      return 0;
    }
  }
  std::vector<uint8_t> row(static_cast<size_t>(width));
  for (int y = 0; y < height; ++y) {
    const uint8_t* s = source.RowPointer(y);
    for (int c = 0; c < count; ++c) {
      const uint8_t* p = s + byteOf[c];
      for (int x = 0; x < width; ++x, p += count) row[x] = *p;
      targets[c]->PutRow(row.data(), y);
    }
    if (!GL_RowProgress(y, height)) {
      for (int c = 0; c < count; ++c) targets[c]->Free();
      return kResultCancelled;
    }
  }
  return 1;
}
