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
#include <cstring>
#include <vector>

#include "image/color_convert.h"
#include "image/dibitmap.h"
#include "imaging/row_job.h"
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
// HSL in single precision.

constexpr float kScale = 0.003921569f;

struct HSLColor {
  float h, s, l;
  bool hasHue;
};

inline HSLColor ToHSL(int red, int green, int blue) {
  const float r = static_cast<float>(red) * kScale;
  const float g = static_cast<float>(green) * kScale;
  const float b = static_cast<float>(blue) * kScale;
  const float mx = std::max(r, std::max(g, b));
  const float mn = std::min(r, std::min(g, b));
  HSLColor c;
  c.l = (mx + mn) * 0.5f;
  if (mx == mn) {
    c.h = -1.0f;
    c.s = 0.0f;
    c.hasHue = false;
    return c;
  }
  const float delta = mx - mn;
  c.s = c.l < 0.5f ? delta / (mx + mn) : delta / (2.0f - mx - mn);
  float h;
  if (r == mx)
    h = (g - b) / delta;
  else if (g == mx)
    h = (b - r) / delta + 2.0f;
  else
    h = (r - g) / delta + 4.0f;
  h *= 60.0f;
  if (h < 0.0f) h += 360.0f;
  c.h = h;
  c.hasHue = true;
  return c;
}

inline uint8_t HueToRGB(float m1, float m2, float h) {
  if (h < 0.0f) h += 360.0f;
  if (h > 360.0f) h -= 360.0f;
  float v;
  if (h < 60.0f)
    v = m1 + (m2 - m1) * h / 60.0f;
  else if (h < 180.0f)
    v = m2;
  else if (h < 240.0f)
    v = m1 + (m2 - m1) * (240.0f - h) / 60.0f;
  else
    v = m1;
  v *= 255.0f;
  v = std::clamp(v, 0.0f, 255.0f);
  return static_cast<uint8_t>(v);
}

inline float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

// Writes the colour (h, s, l) with a hue as blue, green, red.
inline void FromHSL(float h, float s, float l, uint8_t* bgr) {
  const float m2 = l <= 0.5f ? l * (1.0f + s) : l + s - l * s;
  const float m1 = 2.0f * l - m2;
  bgr[2] = HueToRGB(m1, m2, h + 120.0f);
  bgr[1] = HueToRGB(m1, m2, h);
  bgr[0] = HueToRGB(m1, m2, h - 120.0f);
}

inline void Gray(float l, uint8_t* bgr) { bgr[0] = bgr[1] = bgr[2] = static_cast<uint8_t>(l * 255.0f); }

// The three HSL adjustments as one pixel function each.
struct HSLChange {
  float hue, saturation, lightness;
  void operator()(const uint8_t* src, uint8_t* dst) const {
    const HSLColor c = ToHSL(src[2], src[1], src[0]);
    const float l = Clamp01(c.l + lightness);
    if (!c.hasHue) return Gray(l, dst);
    float h = c.h + hue;
    if (h < 0.0f) h += 360.0f;
    if (h > 360.0f) h -= 360.0f;
    FromHSL(h, Clamp01(c.s + saturation), l, dst);
  }
};

struct SaturationChange {
  float saturation;
  void operator()(const uint8_t* src, uint8_t* dst) const {
    const HSLColor c = ToHSL(src[2], src[1], src[0]);
    if (!c.hasHue) {
      dst[0] = src[0];
      dst[1] = src[1];
      dst[2] = src[2];
      return;
    }
    FromHSL(c.h, Clamp01(c.s + saturation), c.l, dst);
  }
};

struct LightnessChange {
  float lightness;
  void operator()(const uint8_t* src, uint8_t* dst) const {
    const HSLColor c = ToHSL(src[2], src[1], src[0]);
    const float l = Clamp01(c.l + lightness);
    if (!c.hasHue) return Gray(l, dst);
    FromHSL(c.h, c.s, l, dst);
  }
};

// Runs a pixel function over a 24-bit row. Runs of equal pixels (flat areas)
// reuse the previous result.
template <typename PixelFn>
void HSLRow(const uint8_t* src, uint8_t* dst, int width, const PixelFn& fn) {
  uint32_t last = 0xFFFFFFFFu;
  uint8_t out[3] = {0, 0, 0};
  for (int x = 0; x < width; ++x, src += 3, dst += 3) {
    const uint32_t key = src[0] | (uint32_t{src[1]} << 8) | (uint32_t{src[2]} << 16);
    if (key != last) {
      fn(src, out);
      last = key;
    }
    dst[0] = out[0];
    dst[1] = out[1];
    dst[2] = out[2];
  }
}

template <typename PixelFn>
int ApplyHSL24(CDIBitmap& bitmap, const PixelFn& fn) {
  const int width = bitmap.GetWidth();
  return ForEachRow(bitmap, [&](const uint8_t* s, uint8_t* d, int) { HSLRow(s, d, width, fn); });
}

// ---------------------------------------------------------------------------
// Histogram kernels (mask row null: every pixel counts).

inline bool Selected(const uint8_t* mask, int x) { return !mask || (mask[x >> 3] & (0x80 >> (x & 7))); }

void CountRow(const CDIBitmap& bitmap, int y, int channel, const uint32_t* paletteValue, bool paletteAll,
              uint32_t* counts) {
  const uint8_t* row = bitmap.RowPointer(y);
  const uint8_t* mask = bitmap.HasMask() ? bitmap.MaskRowPointer(y) : nullptr;
  const int width = bitmap.GetWidth();
  switch (bitmap.GetBitCount()) {
    case 1:
      for (int x = 0; x < width; ++x)
        if (Selected(mask, x)) ++counts[(row[x >> 3] >> (7 - (x & 7))) & 1];
      return;
    case 8:
      if (paletteValue) {
        for (int x = 0; x < width; ++x) {
          if (!Selected(mask, x)) continue;
          const uint32_t v = paletteValue[row[x]];
          if (paletteAll) {
            ++counts[v & 0xFF];
            ++counts[(v >> 8) & 0xFF];
            ++counts[(v >> 16) & 0xFF];
          } else {
            ++counts[v];
          }
        }
      } else {
        for (int x = 0; x < width; ++x)
          if (Selected(mask, x)) ++counts[row[x]];
      }
      return;
    case 24:
      for (int x = 0; x < width; ++x, row += 3) {
        if (!Selected(mask, x)) continue;
        switch (channel) {
          case 1: ++counts[row[2]]; break;
          case 2: ++counts[row[1]]; break;
          case 3: ++counts[row[0]]; break;
          case kChannelLuminance: ++counts[GL_Luminance(row[2], row[1], row[0])]; break;
          default:
            ++counts[row[0]];
            ++counts[row[1]];
            ++counts[row[2]];
        }
      }
      return;
    case 32:
      for (int x = 0; x < width; ++x, row += 4) {
        if (!Selected(mask, x)) continue;
        if (channel >= 1 && channel <= 4) {
          ++counts[row[channel - 1]];
        } else if (channel == kChannelLuminance) {
          const int k = row[3];
          const int r = std::max(0, 255 - row[0] - k);
          const int g = std::max(0, 255 - row[1] - k);
          const int b = std::max(0, 255 - row[2] - k);
          ++counts[GL_Luminance(r, g, b)];
        } else {
          ++counts[row[0]];
          ++counts[row[1]];
          ++counts[row[2]];
          ++counts[row[3]];
        }
      }
      return;
  }
}

}  // namespace

// ---------------------------------------------------------------------------

const YIQTables& GL_GetYIQTables() { return kYIQ; }

void GL_LuminanceRow(const uint8_t* bgr, uint8_t* gray, int count) {
  for (int x = 0; x < count; ++x, bgr += 3)
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
      lut[v] = static_cast<uint8_t>(255.0f * Clamp01(static_cast<float>(v) * kScale + delta));
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
        std::vector<uint8_t> rgb(static_cast<size_t>(width) * 3), changed(rgb.size());
        GL_CMYKRowToRGB(s, rgb.data(), width);
        HSLRow(rgb.data(), changed.data(), width, fn);
        GL_RGBRowToCMYK(changed.data(), d, width);
      },
      GL_GetColorTransform() == nullptr);
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
  return ForEachRow(bitmap, [bytes](const uint8_t* s, uint8_t* d, int) {
    for (int i = 0; i < bytes; ++i) d[i] = static_cast<uint8_t>(~s[i]);
  });
}

int GL_SwapRedBlue(CDIBitmap& bitmap) {
  if (IsPalette8(bitmap)) {
    ForEachTableEntry(bitmap, [](uint8_t* e) { std::swap(e[0], e[2]); });
    return 1;
  }
  if (bitmap.GetBitCount() != 24) return 1;
  const int width = bitmap.GetWidth();
  return ForEachRow(bitmap, [width](const uint8_t* s, uint8_t* d, int) {
    for (int x = 0; x < width; ++x, s += 3, d += 3) {
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
    }
  });
}

int GL_GetHistogram(const CDIBitmap& bitmap, Histogram& histogram, int channel) {
  histogram.fill(0);
  const int bits = bitmap.GetBitCount();
  if (bits != 1 && bits != 8 && bits != 24 && bits != 32) return 0;
  if (!HasPixels(bitmap)) return 1;
  // Palette images count a value of each pixel's table entry.
  uint32_t paletteValue[256];
  const bool palette = IsPalette8(bitmap) && bitmap.GetColorTablePointer();
  const bool paletteAll = palette && !(channel >= 1 && channel <= 3) && channel != kChannelLuminance;
  if (palette) {
    const uint8_t* table = bitmap.GetColorTablePointer();
    for (int i = 0; i < 256; ++i) {
      const uint8_t b = table[4 * i], g = table[4 * i + 1], r = table[4 * i + 2];
      paletteValue[i] = channel == 1                   ? r
                        : channel == 2                 ? g
                        : channel == 3                 ? b
                        : channel == kChannelLuminance ? static_cast<uint32_t>(GL_Luminance(r, g, b))
                                                       : (r | (uint32_t{g} << 8) | (uint32_t{b} << 16));
    }
  }
  const int rows = bitmap.GetHeight();
  // Each band counts into its own histogram; the sums do not depend on the
  // banding.
  Histogram bandCounts[2] = {};
  GL_ParallelRows(rows, bitmap.GetRowBytes(), [&](int first, int last) {
    // Band starting at row 0 uses slot 0, the other slot 1.
    uint32_t* counts = bandCounts[first == 0 ? 0 : 1].data();
    for (int y = first; y < last; ++y)
      CountRow(bitmap, y, channel, palette ? paletteValue : nullptr, paletteAll, counts);
  });
  for (int i = 0; i < 256; ++i) histogram[i] = bandCounts[0][i] + bandCounts[1][i];
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
  return ForEachRow(bitmap, [&](const uint8_t* s, uint8_t* d, int) {
    const YIQTables& t = kYIQ;
    for (int x = 0; x < width; ++x, s += 3, d += 3) {
      const int b = s[0], g = s[1], r = s[2];
      const int y = (t.yr[r] + t.yg[g] + t.yb[b] + 512) >> 10;
      const int i = (t.ir[r] - t.ig[g] - t.ib[b] + 512) / 1024;
      const int q = (t.qr[r] - t.qg[g] + t.qb[b] + 512) / 1024;
      const int y2 = 1024 * table[y] + 512;
      d[2] = static_cast<uint8_t>(std::clamp((y2 + 979 * i + 636 * q) / 1024, 0, 255));
      d[1] = static_cast<uint8_t>(std::clamp((y2 - 280 * i - 663 * q) / 1024, 0, 255));
      d[0] = static_cast<uint8_t>(std::clamp((y2 + 2 * (871 * q - 565 * i)) / 1024, 0, 255));
    }
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
