// Compositing: raster combines, alpha and mask combines, additive and
// conditional combines, the blend-mode dispatcher and the alpha helpers.
//
// Every operation validates its bitmaps once, clips its rectangle so that
// the destination, source and alpha positions of every processed pixel lie
// inside their bitmaps, picks a row kernel for the pixel kind (and the
// operator or blend mode) once per call, and then runs the rows: on one
// thread with progress while reporting is on, otherwise in two bands.
#include "imaging/combine.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "image/dibitmap.h"
#include "imaging/hsl.h"
#include "imaging/row_job.h"
#include "imaging/vector_loop.h"
#include "imaging/vector_pixels.h"
#include "platform/messages.h"

namespace {

constexpr char kAlphaMemory[] = "GL_CombineBitmapWithAlpha :: memory insufficient.";

// x / 255 truncated, exact for 0 <= x <= 65025 (every product of two bytes).
inline unsigned Div255(unsigned x) { return (x + 1 + (x >> 8)) >> 8; }

bool ValidKind(const CDIBitmap& b) {
  const int bits = b.GetBitCount();
  return b.IsAllocated() && (bits == 1 || bits == 8 || bits == 24 || bits == 32);
}

// Writes that must stay on one thread: the source (or alpha) is the
// destination itself, so a row may read what an earlier row wrote.
bool SharesPixels(const CDIBitmap& a, const CDIBitmap& b) { return &a == &b || a.GetPixels() == b.GetPixels(); }

// The rectangle of an operation: destination, source and auxiliary (alpha
// or mask) origins with one size.
struct Area {
  int dx, dy, sx, sy, ax, ay, width, height;
};

// Keeps the columns c and rows r of the area whose destination, source and
// (when given) auxiliary positions all lie inside their bitmaps. False when
// nothing is left.
bool ClipArea(Area& area, const CDIBitmap& dst, const CDIBitmap& src, const CDIBitmap* aux) {
  auto range = [](int64_t& lo, int64_t& hi, int64_t origin, int64_t extent) {
    lo = std::max(lo, -origin);
    hi = std::min(hi, extent - origin);
  };
  int64_t c0 = 0, c1 = area.width, r0 = 0, r1 = area.height;
  range(c0, c1, area.dx, dst.GetWidth());
  range(r0, r1, area.dy, dst.GetHeight());
  range(c0, c1, area.sx, src.GetWidth());
  range(r0, r1, area.sy, src.GetHeight());
  if (aux) {
    range(c0, c1, area.ax, aux->GetWidth());
    range(r0, r1, area.ay, aux->GetHeight());
  }
  if (c1 <= c0 || r1 <= r0) return false;
  area.dx += static_cast<int>(c0);
  area.sx += static_cast<int>(c0);
  area.ax += static_cast<int>(c0);
  area.dy += static_cast<int>(r0);
  area.sy += static_cast<int>(r0);
  area.ay += static_cast<int>(r0);
  area.width = static_cast<int>(c1 - c0);
  area.height = static_cast<int>(r1 - r0);
  return true;
}

// Row buffers of one band.
struct Scratch {
  std::vector<uint8_t> a, b, c;
};

// Runs row(r, scratch) for r in [0, rows): with progress and cancel on this
// thread while reporting is on (or when `threads` is false), else in bands.
// The buffers (three of `bufferBytes` each per band) are taken first; when
// they cannot be, `memoryMessage` is shown and 0 returned.
template <typename Row>
int RunRows(CDIBitmap& dst, int rows, int64_t rowBytes, size_t bufferBytes, bool threads, const char* memoryMessage,
            Row&& row) {
  Scratch scratch[2];
  try {
    for (Scratch& s : scratch) {
      s.a.resize(bufferBytes);
      s.b.resize(bufferBytes);
      s.c.resize(bufferBytes);
    }
  } catch (const std::bad_alloc&) {
    platform::ShowMessage(memoryMessage);
    return 0;
  }
  CRowJob job(dst, rows);
  if (job.Reporting() || !threads) {
    for (int r = 0; r < rows; ++r) {
      row(r, scratch[0]);
      if (!job.Step(r)) return kResultCancelled;
    }
    return 1;
  }
  GL_ParallelRows(rows, rowBytes, [&](int first, int last) {
    Scratch& s = scratch[first == 0 ? 0 : 1];
    for (int r = first; r < last; ++r) row(r, s);
  });
  return 1;
}

size_t BufferBytes(int width) { return static_cast<size_t>(width) * 4 + 16; }

int64_t RowBytes(int width, int bitCount) {
  return bitCount == 1 ? (int64_t{width} + 7) / 8 : int64_t{width} * (bitCount / 8);
}

// ------------------------------------------------------------ raster combine

// The operand of a nibble as (value AND andMask) XOR xorMask.
struct Operand {
  uint8_t andMask, xorMask;
};

Operand OperandOf(int nibble) {
  switch (nibble) {
    case 1:
      return {0xFF, 0xFF};  // 255 - value (NOT for 1-bit bytes)
    case 2:
      return {0x00, 0x00};  // zero
    case 3:
      return {0x00, 0xFF};  // 255
    default:
      return {0xFF, 0x00};  // the value
  }
}

template <int Operator>
inline uint8_t OperateBytes(unsigned d, unsigned s) {
  if constexpr (Operator == 0) return static_cast<uint8_t>(d & s);
  if constexpr (Operator == 1) return static_cast<uint8_t>(d | s);
  if constexpr (Operator == 2) return static_cast<uint8_t>(d ^ s);
  if constexpr (Operator == 3) return static_cast<uint8_t>(std::min(d + s, 255u));
  if constexpr (Operator == 4) return static_cast<uint8_t>(d > s ? d - s : 0);
  if constexpr (Operator == 5) return static_cast<uint8_t>(s > d ? s - d : 0);
  if constexpr (Operator == 6) return static_cast<uint8_t>(Div255(d * s));
  if constexpr (Operator == 7) return static_cast<uint8_t>(s == 0 ? (d > 0 ? 255 : 0) : std::min(d * 255 / s, 255u));
  if constexpr (Operator == 8) return static_cast<uint8_t>(d == 0 ? (s > 0 ? 255 : 0) : std::min(s * 255 / d, 255u));
}

template <int Operator>
inline uint8_t OperateBits(unsigned d, unsigned s) {
  if constexpr (Operator == 0 || Operator == 6) return static_cast<uint8_t>(d & s);
  if constexpr (Operator == 1 || Operator == 3) return static_cast<uint8_t>(d | s);
  if constexpr (Operator == 2) return static_cast<uint8_t>(d ^ s);
  if constexpr (Operator == 4) return static_cast<uint8_t>(d & ~s);
  if constexpr (Operator == 5) return static_cast<uint8_t>(s & ~d);
  if constexpr (Operator == 7) return static_cast<uint8_t>(d);
  if constexpr (Operator == 8) return static_cast<uint8_t>(s);
}

using CombineKernel = void (*)(uint8_t* out, const uint8_t* d, const uint8_t* s, int n, Operand od, Operand os);

// `out` may be `d` (the destination row itself when nothing masks the writes).
template <int Operator, bool Bits>
VIVID_VECTOR_LOOP void CombineKernelOf(uint8_t* out, const uint8_t* d, const uint8_t* s, int n, Operand od,
                                       Operand os) {
  for (int i = 0; i < n; ++i) {
    const unsigned dv = static_cast<uint8_t>((d[i] & od.andMask) ^ od.xorMask);
    const unsigned sv = static_cast<uint8_t>((s[i] & os.andMask) ^ os.xorMask);
    out[i] = Bits ? OperateBits<Operator>(dv, sv) : OperateBytes<Operator>(dv, sv);
  }
}

template <bool Bits>
CombineKernel PickCombineKernel(int op) {
  switch (op) {
    case 0:
      return CombineKernelOf<0, Bits>;
    case 1:
      return CombineKernelOf<1, Bits>;
    case 2:
      return CombineKernelOf<2, Bits>;
    case 3:
      return CombineKernelOf<3, Bits>;
    case 4:
      return CombineKernelOf<4, Bits>;
    case 5:
      return CombineKernelOf<5, Bits>;
    case 6:
      return CombineKernelOf<6, Bits>;
    case 7:
      return CombineKernelOf<7, Bits>;
    case 8:
      return CombineKernelOf<8, Bits>;
    default:
      return nullptr;
  }
}

// ------------------------------------------------------------ blend functions

// T = f(destination, source) of the byte-wise blend modes; Bits is the same
// on eight 1-bit pixels.
struct BlendNormal {
  static uint8_t Byte(unsigned, unsigned s) { return static_cast<uint8_t>(s); }
  static uint8_t Bits(unsigned, unsigned s) { return static_cast<uint8_t>(s); }
};
struct BlendMultiply {
  static uint8_t Byte(unsigned d, unsigned s) { return static_cast<uint8_t>(Div255(d * s)); }
  static uint8_t Bits(unsigned d, unsigned s) { return static_cast<uint8_t>(d & s); }
};
struct BlendScreen {
  static uint8_t Byte(unsigned d, unsigned s) { return static_cast<uint8_t>(255 - Div255((255 - d) * (255 - s))); }
  static uint8_t Bits(unsigned d, unsigned s) { return static_cast<uint8_t>(d | s); }
};
struct BlendDifference {
  static uint8_t Byte(unsigned d, unsigned s) { return static_cast<uint8_t>(d > s ? d - s : s - d); }
  static uint8_t Bits(unsigned d, unsigned s) { return static_cast<uint8_t>(d ^ s); }
};

// The per-byte alpha a = A x opacity / 255 for every A.
struct AlphaTable {
  uint8_t a[256];
  explicit AlphaTable(int opacity) {
    for (unsigned v = 0; v < 256; ++v) a[v] = static_cast<uint8_t>(v * static_cast<unsigned>(opacity) / 255);
  }
};

// The scaled alpha a = A x opacity / 255 of each pixel, repeated for its Bpp
// bytes. A x opacity is at most 255 x 255, where Div255 is exact; the sums
// stay in 16 bits, so the loop runs in 16-bit lanes.
template <int Bpp>
VIVID_VECTOR_LOOP void ExpandAlpha(uint8_t* __restrict out, const uint8_t* __restrict alpha, int width,
                                   unsigned opacity) {
  const uint16_t o = static_cast<uint16_t>(opacity);
  for (int c = 0; c < width; ++c) {
    const uint16_t x = static_cast<uint16_t>(alpha[c] * o);
    const uint8_t a = static_cast<uint8_t>(static_cast<uint16_t>(x + 1 + (x >> 8)) >> 8);
    for (int k = 0; k < Bpp; ++k) out[c * Bpp + k] = a;
  }
}

// out = (T x a + d x (255 - a)) / 255 per byte with T = F(d, s): the sum is
// at most 255 x 255 and Div255's x + 1 + (x >> 8) at most 65280, so every
// step fits a 16-bit lane.
template <typename F>
__attribute__((always_inline)) inline uint8_t MixByte(unsigned d, unsigned s, unsigned a) {
  const uint16_t x = static_cast<uint16_t>(F::Byte(d, s) * a + d * (255 - a));
  return static_cast<uint8_t>(static_cast<uint16_t>(x + 1 + (x >> 8)) >> 8);
}

template <typename F>
VIVID_VECTOR_LOOP void MixBytes(uint8_t* __restrict out, const uint8_t* __restrict d, const uint8_t* __restrict s,
                                const uint8_t* __restrict a, int n) {
  for (int i = 0; i < n; ++i) out[i] = MixByte<F>(static_cast<uint16_t>(d[i]), s[i], static_cast<uint16_t>(a[i]));
}

// The same written over the destination bytes themselves.
template <typename F>
VIVID_VECTOR_LOOP void MixBytesInPlace(uint8_t* __restrict d, const uint8_t* __restrict s,
                                       const uint8_t* __restrict a, int n) {
  for (int i = 0; i < n; ++i) d[i] = MixByte<F>(static_cast<uint16_t>(d[i]), s[i], static_cast<uint16_t>(a[i]));
}

// Gray, 24-bit and 32-bit rows: out = (T x a + d x (255 - a)) / 255 with
// T = F(d, s) and a the scaled alpha of the byte's pixel. `out` may be `d`.
template <typename F, int Bpp>
void BlendAlphaRow(uint8_t* out, const uint8_t* d, const uint8_t* s, const uint8_t* alpha, int width,
                   unsigned opacity, uint8_t* expanded) {
  ExpandAlpha<Bpp>(expanded, alpha, width, opacity);
  if (out == d)
    MixBytesInPlace<F>(out, s, expanded, width * Bpp);
  else
    MixBytes<F>(out, d, s, expanded, width * Bpp);
}

// Palette rows: T replaces the index where A is non-zero.
template <typename F>
void ReplaceAlphaRow(uint8_t* out, const uint8_t* d, const uint8_t* s, const uint8_t* alpha, int width) {
  for (int c = 0; c < width; ++c) out[c] = alpha[c] ? F::Byte(d[c], s[c]) : d[c];
}

// 1-bit rows (bit-aligned buffers): T replaces the bits whose A is non-zero.
template <typename F>
void ReplaceAlphaBits(uint8_t* out, const uint8_t* d, const uint8_t* s, const uint8_t* alpha, int width) {
  const int bytes = (width + 7) / 8;
  for (int i = 0; i < bytes; ++i) {
    unsigned m = 0;
    const int n = std::min(8, width - i * 8);
    for (int k = 0; k < n; ++k)
      if (alpha[i * 8 + k]) m |= 0x80u >> k;
    out[i] = static_cast<uint8_t>((d[i] & ~m) | (F::Bits(d[i], s[i]) & m));
  }
}

// Takes the source pixel where the mask bit is set (bit-aligned mask row).
// Whole mask bytes of 0 or 0xFF skip or copy eight pixels; mixed bytes
// select per byte without branching on the bit.
template <int Bpp>
void SelectByMask(uint8_t* out, const uint8_t* s, const uint8_t* mask, int width) {
  for (int c0 = 0; c0 < width; c0 += 8) {
    const unsigned m = mask[c0 >> 3];
    const int n = std::min(8, width - c0);
    if (m == 0) continue;
    uint8_t* o = out + static_cast<size_t>(c0) * Bpp;
    const uint8_t* p = s + static_cast<size_t>(c0) * Bpp;
    if (m == 0xFF && n == 8) {
      std::memcpy(o, p, 8 * Bpp);
      continue;
    }
    for (int k = 0; k < n; ++k) {
      const uint8_t select = static_cast<uint8_t>(0u - ((m >> (7 - k)) & 1u));
      for (int b = 0; b < Bpp; ++b)
        o[k * Bpp + b] = static_cast<uint8_t>((o[k * Bpp + b] & ~select) | (p[k * Bpp + b] & select));
    }
  }
}

// ------------------------------------------------------------ HSL blends

// Eight pixels at a time: the vector forms of imaging/hsl.h.
namespace hsl_vector {
using namespace vector_pixels;

template <int Mode>
__attribute__((always_inline)) inline void HslBlock(uint8_t* out, const uint8_t* d, const uint8_t* s) {
  constexpr bool kSrcH = Mode == kBlendHue || Mode == kBlendColor;
  constexpr bool kSrcS = Mode == kBlendSaturation || Mode == kBlendColor;
  VInt dB, dG, dR, sB, sG, sR;
  Load8(d, dB, dG, dR);
  Load8(s, sB, sG, sR);
  const hsl::VHsl hd = hsl::ToHsl<!kSrcH, !kSrcS>(dB, dG, dR);
  const hsl::VHsl hs = hsl::ToHsl<kSrcH, kSrcS>(sB, sG, sR);
  VInt b, g, r;
  if constexpr (Mode == kBlendHue) hsl::FromHsl(hs.h, hd.s, hd.l, hs.gray, b, g, r);
  if constexpr (Mode == kBlendSaturation) hsl::FromHsl(hd.h, hs.s, hd.l, hd.gray, b, g, r);
  if constexpr (Mode == kBlendColor) hsl::FromHsl(hs.h, hs.s, hd.l, hs.gray, b, g, r);
  if constexpr (Mode == kBlendLuminosity) hsl::FromHsl(hd.h, hd.s, hs.l, hd.gray, b, g, r);
  Store8(out, b, g, r);
  if constexpr (Mode == kBlendHue || Mode == kBlendSaturation) {
    // A destination pixel without hue stays as it is.
    if (VInt any = hd.gray; any[0] | any[1] | any[2] | any[3] | any[4] | any[5] | any[6] | any[7])
      for (int k = 0; k < kLanes; ++k)
        if (hd.gray[k]) std::memcpy(out + 3 * k, d + 3 * k, 3);
  }
}

// Whole blocks of eight pixels up to kBlockReach before the row's end;
// returns the number of pixels done. Built for AVX2 and the baseline.
#define VIVID_HSL_BLOCKS(Name, Mode)                                                          \
  VIVID_TARGET_CLONES int Name(uint8_t* out, const uint8_t* d, const uint8_t* s, int width) { \
    int x = 0;                                                                                \
    for (; x + kBlockReach <= width; x += kLanes) HslBlock<Mode>(out + 3 * x, d + 3 * x, s + 3 * x); \
    return x;                                                                                 \
  }
VIVID_HSL_BLOCKS(HueBlocks, kBlendHue)
VIVID_HSL_BLOCKS(SaturationBlocks, kBlendSaturation)
VIVID_HSL_BLOCKS(ColorBlocks, kBlendColor)
VIVID_HSL_BLOCKS(LuminosityBlocks, kBlendLuminosity)
#undef VIVID_HSL_BLOCKS

}  // namespace hsl_vector

template <int Mode>
int HslBlocks(uint8_t* out, const uint8_t* d, const uint8_t* s, int width) {
  if constexpr (Mode == kBlendHue) return hsl_vector::HueBlocks(out, d, s, width);
  if constexpr (Mode == kBlendSaturation) return hsl_vector::SaturationBlocks(out, d, s, width);
  if constexpr (Mode == kBlendColor) return hsl_vector::ColorBlocks(out, d, s, width);
  if constexpr (Mode == kBlendLuminosity) return hsl_vector::LuminosityBlocks(out, d, s, width);
}

// One 24-bit row of an HSL blend (Mode 7..10) into out.
template <int Mode>
void HslRow(uint8_t* out, const uint8_t* d, const uint8_t* s, int width) {
  // Which components each side gives.
  constexpr bool kSrcH = Mode == kBlendHue || Mode == kBlendColor;
  constexpr bool kSrcS = Mode == kBlendSaturation || Mode == kBlendColor;
  const int done = HslBlocks<Mode>(out, d, s, width);
  d += 3 * done;
  s += 3 * done;
  out += 3 * done;
  for (int c = done; c < width; ++c, d += 3, s += 3, out += 3) {
    const hsl::Hsl hd = hsl::ToHsl<!kSrcH, !kSrcS>(d);
    if constexpr (Mode == kBlendHue || Mode == kBlendSaturation) {
      if (hd.h < 0.0f) {
        std::memcpy(out, d, 3);
        continue;
      }
    }
    const hsl::Hsl hs = hsl::ToHsl<kSrcH, kSrcS>(s);
    if constexpr (Mode == kBlendHue) hsl::FromHsl(out, hs.h, hd.s, hd.l);
    if constexpr (Mode == kBlendSaturation) hsl::FromHsl(out, hd.h, hs.s, hd.l);
    if constexpr (Mode == kBlendColor) hsl::FromHsl(out, hs.h, hs.s, hd.l);
    if constexpr (Mode == kBlendLuminosity) hsl::FromHsl(out, hd.h, hd.s, hs.l);
  }
}

using HslKernel = void (*)(uint8_t*, const uint8_t*, const uint8_t*, int);

HslKernel PickHslKernel(int mode) {
  switch (mode) {
    case kBlendHue:
      return HslRow<kBlendHue>;
    case kBlendSaturation:
      return HslRow<kBlendSaturation>;
    case kBlendColor:
      return HslRow<kBlendColor>;
    default:
      return HslRow<kBlendLuminosity>;
  }
}

// ------------------------------------------------------------ shared checks

constexpr char kHslNot24[] = "GL_CombineSaturation :: pdbmSrc pdbmDest Should be a 24bit image";
constexpr char kAlphaNot8[] = "GL_CombineBitmapWithAlpha :: pdbmAlpha Should be a 8bit image";
constexpr char kAlphaBpp[] = "GL_CombineBitmapWithAlpha :: pdbmSrc , pdbmDst Should be a same bpp";
constexpr char kAlphaInvalid[] = "GL_CombineBitmapWithAlpha :: Invalid image";

int Refuse(const char* text) {
  platform::ShowMessage(text);
  return 0;
}

bool IsAlpha8(const CDIBitmap& alpha) { return alpha.IsAllocated() && alpha.GetBitCount() == 8; }

// Puts T = F(destination, source) on the destination through the alpha:
// blended on gray, 24-bit and 32-bit images, replacing on palette and 1-bit
// images. Bitmaps are valid and of one bit count; the area is clipped.
template <typename F>
int BlendThroughAlpha(CDIBitmap& dst, const CDIBitmap& src, const CDIBitmap& alpha, Area area, int opacity) {
  const int bits = dst.GetBitCount();
  const bool gray = bits == 8 && dst.IsGray();
  const unsigned scaled = static_cast<unsigned>(std::clamp(opacity, 0, 255));
  const bool threads = !SharesPixels(dst, src) && !SharesPixels(dst, alpha);
  // Without a mask and with separate bitmaps, each row is blended where it
  // lies (each byte reads only its own destination byte).
  const bool inPlace = !dst.WritesMasked() && threads;
  return RunRows(dst, area.height, RowBytes(area.width, bits), BufferBytes(area.width), threads, kAlphaMemory,
                 [&](int r, Scratch& sc) {
                   const uint8_t* a = alpha.RowPointer(area.ay + r) + area.ax;
                   const int y = area.dy + r;
                   if (bits == 1) {
                     src.GetRowPart(sc.b.data(), area.sy + r, area.sx, area.width);
                     dst.GetRowPart(sc.a.data(), y, area.dx, area.width);
                     ReplaceAlphaBits<F>(sc.a.data(), sc.a.data(), sc.b.data(), a, area.width);
                     dst.PutRowPart(sc.a.data(), y, area.dx, area.width);
                     return;
                   }
                   const int bpp = bits / 8;
                   uint8_t* d = dst.RowPointer(y) + static_cast<size_t>(area.dx) * bpp;
                   const uint8_t* s = src.RowPointer(area.sy + r) + static_cast<size_t>(area.sx) * bpp;
                   uint8_t* out = inPlace ? d : sc.a.data();
                   if (bits == 8 && !gray)
                     ReplaceAlphaRow<F>(out, d, s, a, area.width);
                   else if (bits == 8)
                     BlendAlphaRow<F, 1>(out, d, s, a, area.width, scaled, sc.c.data());
                   else if (bits == 24)
                     BlendAlphaRow<F, 3>(out, d, s, a, area.width, scaled, sc.c.data());
                   else
                     BlendAlphaRow<F, 4>(out, d, s, a, area.width, scaled, sc.c.data());
                   if (!inPlace) dst.PutRowPart(out, y, area.dx, area.width);
                 });
}

// The HSL blend of `mode` put on the destination through the alpha (24-bit
// bitmaps, clipped area).
int HslThroughAlpha(CDIBitmap& dst, const CDIBitmap& src, const CDIBitmap& alpha, Area area, int mode, int opacity) {
  const HslKernel kernel = PickHslKernel(mode);
  const unsigned scaled = static_cast<unsigned>(std::clamp(opacity, 0, 255));
  const bool threads = !SharesPixels(dst, src) && !SharesPixels(dst, alpha);
  return RunRows(dst, area.height, RowBytes(area.width, 24), BufferBytes(area.width), threads, kAlphaMemory,
                 [&](int r, Scratch& sc) {
                   const int y = area.dy + r;
                   const uint8_t* d = dst.RowPointer(y) + static_cast<size_t>(area.dx) * 3;
                   const uint8_t* s = src.RowPointer(area.sy + r) + static_cast<size_t>(area.sx) * 3;
                   const uint8_t* a = alpha.RowPointer(area.ay + r) + area.ax;
                   kernel(sc.b.data(), d, s, area.width);
                   BlendAlphaRow<BlendNormal, 3>(sc.a.data(), d, sc.b.data(), a, area.width, scaled, sc.c.data());
                   dst.PutRowPart(sc.a.data(), y, area.dx, area.width);
                 });
}

// The HSL blend of `mode` written straight onto the destination.
int CombineHsl(CDIBitmap& dst, const CDIBitmap& src, int mode) {
  if (!dst.IsAllocated() || !src.IsAllocated() || dst.GetBitCount() != 24 || src.GetBitCount() != 24)
    return Refuse(kHslNot24);
  Area area{0, 0, 0, 0, 0, 0, dst.GetWidth(), dst.GetHeight()};
  if (!ClipArea(area, dst, src, nullptr)) return 1;
  const HslKernel kernel = PickHslKernel(mode);
  return RunRows(dst, area.height, RowBytes(area.width, 24), BufferBytes(area.width), !SharesPixels(dst, src),
                 kAlphaMemory, [&](int r, Scratch& sc) {
                   kernel(sc.a.data(), dst.RowPointer(r), src.RowPointer(r), area.width);
                   dst.PutRowPart(sc.a.data(), r, 0, area.width);
                 });
}

// Luminance of 24-bit pixels, the reading of a 24-bit alpha.
void LuminanceRow(uint8_t* out, const uint8_t* bgr, int width) {
  for (int c = 0; c < width; ++c, bgr += 3)
    out[c] = static_cast<uint8_t>((306u * bgr[2] + 601u * bgr[1] + 117u * bgr[0] + 512u) / 1024u);
}

template <bool Darker>
void AlphaTransRow8(uint8_t* out, const uint8_t* d, const uint8_t* s, const uint8_t* alpha, int width,
                    const AlphaTable& table) {
  for (int c = 0; c < width; ++c) {
    const unsigned dv = d[c], sv = s[c];
    const bool apply = Darker ? dv < sv : dv > sv;
    // Without the condition the byte is blended at a = 0, which keeps it;
    // masking instead of branching keeps the loop free of mispredictions.
    const unsigned a = table.a[alpha[c]] & (0u - static_cast<unsigned>(apply));
    out[c] = static_cast<uint8_t>(Div255(sv * a + dv * (255 - a)));
  }
}

inline unsigned LightnessSum(const uint8_t* p) {
  // Whole-register comparisons compile to conditional moves; the bytes of a
  // photograph would mispredict branches half of the time.
  const unsigned b = p[0], g = p[1], r = p[2];
  const unsigned hi = b > g ? b : g, lo = b > g ? g : b;
  const unsigned mx = hi > r ? hi : r, mn = lo < r ? lo : r;
  return (mx + mn) & ~1u;
}

template <bool Darker>
void AlphaTransRow24(uint8_t* out, const uint8_t* d, const uint8_t* s, const uint8_t* alpha, int width,
                     const AlphaTable& table) {
  for (int c = 0; c < width; ++c, d += 3, s += 3, out += 3) {
    const unsigned ld = LightnessSum(d), ls = LightnessSum(s);
    const bool apply = Darker ? ld < ls : ld > ls;
    // Without the condition the pixel is blended at a = 0, which keeps it.
    const unsigned a = table.a[alpha[c]] & (0u - static_cast<unsigned>(apply));
    for (int k = 0; k < 3; ++k) out[k] = static_cast<uint8_t>(Div255(s[k] * a + d[k] * (255 - a)));
  }
}

}  // namespace

// ------------------------------------------------------------ blend-mode list

int GL_BlendModeListCount(const CDIBitmap& image) {
  const int bits = image.GetBitCount();
  if (!image.IsAllocated() || bits == 1 || (bits == 8 && !image.IsGray())) return 1;
  return static_cast<int>(kBlendModeListNames.size());
}

BlendMode GL_BlendModeForList(const CDIBitmap& image, int position) {
  static constexpr BlendMode kByPosition[10] = {kBlendNormal,   kBlendMultiply,  kBlendScreen, kBlendDifference,
                                                kBlendIfDarker, kBlendIfLighter, kBlendHue,    kBlendSaturation,
                                                kBlendColor,    kBlendLuminosity};
  if (position < 0 || position >= 10 || !image.IsAllocated()) return kBlendNormal;
  const BlendMode mode = kByPosition[position];
  switch (image.GetBitCount()) {
    case 24:
      return mode;
    case 8:
      if (!image.IsGray()) return kBlendNormal;
      return mode <= kBlendIfLighter ? mode : kBlendNormal;
    case 32:
      return mode <= kBlendDifference ? mode : kBlendNormal;
    default:
      return kBlendNormal;
  }
}

// ------------------------------------------------------------ operations

int GL_CombineBitmap(CDIBitmap& dst, int dx, int dy, int width, int height, const CDIBitmap& src, int sx, int sy,
                     int op) {
  if (dst.GetBitCount() != src.GetBitCount())
    return Refuse("GL_CombineBitmap :: pdbmSrc , pdbmDst Should be a same BitCount");
  if (!ValidKind(dst) || !ValidKind(src)) return Refuse("GL_CombineBitmap :: Invalid image");
  const int bits = dst.GetBitCount();
  const CombineKernel kernel =
      bits == 1 ? PickCombineKernel<true>((op >> 8) & 0xFF) : PickCombineKernel<false>((op >> 8) & 0xFF);
  Area area{dx, dy, sx, sy, 0, 0, width, height};
  if (!kernel || !ClipArea(area, dst, src, nullptr)) return 1;
  const Operand os = OperandOf(op & 0xF), od = OperandOf((op >> 4) & 0xF);
  // Without a mask and a second bitmap, each row is combined where it lies.
  const bool inPlace = !dst.WritesMasked() && !SharesPixels(dst, src);
  return RunRows(dst, area.height, RowBytes(area.width, bits), BufferBytes(area.width), !SharesPixels(dst, src),
                 kAlphaMemory, [&](int r, Scratch& sc) {
                   const int y = area.dy + r;
                   if (bits == 1) {
                     dst.GetRowPart(sc.a.data(), y, area.dx, area.width);
                     src.GetRowPart(sc.b.data(), area.sy + r, area.sx, area.width);
                     kernel(sc.a.data(), sc.a.data(), sc.b.data(), (area.width + 7) / 8, od, os);
                   } else {
                     const int bpp = bits / 8;
                     uint8_t* d = dst.RowPointer(y) + static_cast<size_t>(area.dx) * bpp;
                     const uint8_t* s = src.RowPointer(area.sy + r) + static_cast<size_t>(area.sx) * bpp;
                     if (inPlace) {
                       kernel(d, d, s, area.width * bpp, od, os);
                       return;
                     }
                     kernel(sc.a.data(), d, s, area.width * bpp, od, os);
                   }
                   dst.PutRowPart(sc.a.data(), y, area.dx, area.width);
                 });
}

namespace {

int CombineWithAlphaChecked(CDIBitmap& dst, int dx, int dy, int width, int height, const CDIBitmap& src, int sx, int sy,
                            const CDIBitmap& alpha, int ax, int ay, int opacity) {
  if (!ValidKind(dst) || !ValidKind(src)) return Refuse(kAlphaInvalid);
  Area area{dx, dy, sx, sy, ax, ay, width, height};
  if (!ClipArea(area, dst, src, &alpha)) return 1;
  return BlendThroughAlpha<BlendNormal>(dst, src, alpha, area, opacity);
}

}  // namespace

int GL_CombineBitmapWithAlpha(CDIBitmap& dst, int dx, int dy, int width, int height, const CDIBitmap& src, int sx,
                              int sy, const CDIBitmap& alpha, int ax, int ay, int opacity) {
  if (!IsAlpha8(alpha)) return Refuse(kAlphaNot8);
  if (dst.GetBitCount() != src.GetBitCount()) return Refuse(kAlphaBpp);
  return CombineWithAlphaChecked(dst, dx, dy, width, height, src, sx, sy, alpha, ax, ay, opacity);
}

int GL_CombineBitmapWithAlpha(CDIBitmap& dst, int dx, int dy, int width, int height, const CDIBitmap& src, int sx,
                              int sy, const CDIBitmap& alpha, int ax, int ay) {
  if (dst.GetBitCount() != src.GetBitCount()) return Refuse(kAlphaBpp);
  if (!IsAlpha8(alpha)) return Refuse(kAlphaNot8);
  return CombineWithAlphaChecked(dst, dx, dy, width, height, src, sx, sy, alpha, ax, ay, 255);
}

int GL_CombineBitmapWithMask(CDIBitmap& dst, int dx, int dy, int width, int height, const CDIBitmap& src, int sx,
                             int sy, const CDIBitmap& mask, int mx, int my) {
  if (!mask.IsAllocated() || mask.GetBitCount() != 1)
    return Refuse("GL_CombineBitmapWithMask :: pdbmMask Should be a 1 bit image or 8 bit");
  if (dst.GetBitCount() != src.GetBitCount())
    return Refuse("GL_CombineBitmapWithMask :: pdbmSrc , pdbmDst Should be a same bpp");
  if (!ValidKind(dst) || !ValidKind(src)) return Refuse("GL_CombineBitmapWithMask :: Invalid image");
  Area area{dx, dy, sx, sy, mx, my, width, height};
  if (!ClipArea(area, dst, src, &mask)) return 1;
  const int bits = dst.GetBitCount();
  const bool threads = !SharesPixels(dst, src) && !SharesPixels(dst, mask);
  return RunRows(dst, area.height, RowBytes(area.width, bits), BufferBytes(area.width), threads,
                 "GL_CombineBitmapWithMask :: memory insufficient.", [&](int r, Scratch& sc) {
                   const int y = area.dy + r;
                   uint8_t* m = sc.c.data();
                   mask.GetRowPart(m, area.ay + r, area.ax, area.width);
                   uint8_t* out = sc.a.data();
                   dst.GetRowPart(out, y, area.dx, area.width);
                   if (bits == 1) {
                     const uint8_t* s = sc.b.data();
                     src.GetRowPart(sc.b.data(), area.sy + r, area.sx, area.width);
                     const int bytes = (area.width + 7) / 8;
                     for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>((out[i] & ~m[i]) | (s[i] & m[i]));
                   } else {
                     const size_t bpp = static_cast<size_t>(bits / 8);
                     const uint8_t* s = src.RowPointer(area.sy + r) + area.sx * bpp;
                     if (bits == 8)
                       SelectByMask<1>(out, s, m, area.width);
                     else if (bits == 24)
                       SelectByMask<3>(out, s, m, area.width);
                     else
                       SelectByMask<4>(out, s, m, area.width);
                   }
                   dst.PutRowPart(out, y, area.dx, area.width);
                 });
}

int GL_CombineBitmapWithTrans(CDIBitmap& dst, int dx, int dy, int width, int height, const CDIBitmap& src, int sx,
                              int sy, int amount, int flags) {
  if (dst.GetBitCount() != src.GetBitCount())
    return Refuse("GL_CombineBitmapWithTrans :: pdbmSrc , pdbmDst Should be a same bpp");
  if (!ValidKind(dst) || !ValidKind(src)) return 1;
  Area area{dx, dy, sx, sy, 0, 0, width, height};
  if (!ClipArea(area, dst, src, nullptr)) return 1;
  const unsigned scaled = static_cast<unsigned>(std::clamp(amount, 0, 255));
  const bool subtract = (flags & kTransSubtract) != 0;
  const int bits = dst.GetBitCount();
  // 1-bit pixels are 0 or 255: the result is 255 (set) or a value below 128
  // only where the source is set and the amount reaches 128.
  const bool bitsChange = scaled >= 128;
  return RunRows(dst, area.height, RowBytes(area.width, bits), BufferBytes(area.width), !SharesPixels(dst, src),
                 "GL_CombineBitmapWithTrans :: memory insufficient.", [&](int r, Scratch& sc) {
                   const int y = area.dy + r;
                   uint8_t* out = sc.a.data();
                   if (bits == 1) {
                     if (!bitsChange) return;
                     dst.GetRowPart(out, y, area.dx, area.width);
                     src.GetRowPart(sc.b.data(), area.sy + r, area.sx, area.width);
                     const uint8_t* s = sc.b.data();
                     const int bytes = (area.width + 7) / 8;
                     for (int i = 0; i < bytes; ++i)
                       out[i] = static_cast<uint8_t>(subtract ? out[i] & ~s[i] : out[i] | s[i]);
                   } else {
                     const size_t bpp = static_cast<size_t>(bits / 8);
                     const uint8_t* d = dst.RowPointer(y) + area.dx * bpp;
                     const uint8_t* s = src.RowPointer(area.sy + r) + area.sx * bpp;
                     const int n = static_cast<int>(area.width * bpp);
                     if (subtract) {
                       for (int i = 0; i < n; ++i) {
                         const unsigned t = Div255(s[i] * scaled);
                         out[i] = static_cast<uint8_t>(d[i] > t ? d[i] - t : 0);
                       }
                     } else {
                       for (int i = 0; i < n; ++i)
                         out[i] = static_cast<uint8_t>(std::min(d[i] + Div255(s[i] * scaled), 255u));
                     }
                   }
                   dst.PutRowPart(out, y, area.dx, area.width);
                 });
}

int GL_CombineBitmapWithAlphaTrans(CDIBitmap& dst, int dx, int dy, int width, int height, const CDIBitmap& src, int sx,
                                   int sy, const CDIBitmap& alpha, int ax, int ay, int opacity, int darker) {
  if (dst.GetBitCount() != src.GetBitCount()) return Refuse(kAlphaBpp);
  if (!alpha.IsAllocated() || (alpha.GetBitCount() != 8 && alpha.GetBitCount() != 24))
    return Refuse("GL_CombineBitmapWithAlpha :: pdbmAlpha Should be a 8bit image or 24 bit");
  const int bits = dst.GetBitCount();
  if (!dst.IsAllocated() || !src.IsAllocated() || (bits != 8 && bits != 24))
    return Refuse("GL_CombineBitmapWithAlphaTrans :: Invalid image");
  Area area{dx, dy, sx, sy, ax, ay, width, height};
  if (!ClipArea(area, dst, src, &alpha)) return 1;
  const AlphaTable table(std::clamp(opacity, 0, 255));
  const bool alpha24 = alpha.GetBitCount() == 24;
  const bool threads = !SharesPixels(dst, src) && !SharesPixels(dst, alpha);
  using Kernel = void (*)(uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*, int, const AlphaTable&);
  const Kernel kernel = bits == 8 ? (darker ? AlphaTransRow8<true> : AlphaTransRow8<false>)
                                  : (darker ? AlphaTransRow24<true> : AlphaTransRow24<false>);
  const size_t bpp = static_cast<size_t>(bits / 8);
  return RunRows(dst, area.height, RowBytes(area.width, bits), BufferBytes(area.width), threads, kAlphaMemory,
                 [&](int r, Scratch& sc) {
                   const int y = area.dy + r;
                   const uint8_t* a;
                   if (alpha24) {
                     LuminanceRow(sc.c.data(), alpha.RowPointer(area.ay + r) + area.ax * size_t{3}, area.width);
                     a = sc.c.data();
                   } else {
                     a = alpha.RowPointer(area.ay + r) + area.ax;
                   }
                   kernel(sc.a.data(), dst.RowPointer(y) + area.dx * bpp, src.RowPointer(area.sy + r) + area.sx * bpp,
                          a, area.width, table);
                   dst.PutRowPart(sc.a.data(), y, area.dx, area.width);
                 });
}

int GL_CombineHue(CDIBitmap& dst, const CDIBitmap& src) { return CombineHsl(dst, src, kBlendHue); }
int GL_CombineSaturation(CDIBitmap& dst, const CDIBitmap& src) { return CombineHsl(dst, src, kBlendSaturation); }
int GL_CombineColor(CDIBitmap& dst, const CDIBitmap& src) { return CombineHsl(dst, src, kBlendColor); }
int GL_CombineLuminosity(CDIBitmap& dst, const CDIBitmap& src) { return CombineHsl(dst, src, kBlendLuminosity); }

int GL_CombineBitmapByMode(CDIBitmap& dst, const CDIBitmap& src, const CDIBitmap& alpha, int ax, int ay, int width,
                           int height, int mode, int opacity) {
  switch (mode) {
    case kBlendNormal:
      return GL_CombineBitmapWithAlpha(dst, 0, 0, width, height, src, 0, 0, alpha, ax, ay, opacity);
    case kBlendIfDarker:
    case kBlendIfLighter:
      return GL_CombineBitmapWithAlphaTrans(dst, 0, 0, width, height, src, 0, 0, alpha, ax, ay, opacity,
                                            mode == kBlendIfDarker ? 1 : 0);
    case kBlendMultiply:
    case kBlendScreen:
    case kBlendDifference:
      if (dst.GetBitCount() != src.GetBitCount())
        return Refuse("GL_CombineBitmap :: pdbmSrc , pdbmDst Should be a same BitCount");
      if (!ValidKind(dst) || !ValidKind(src)) return Refuse("GL_CombineBitmap :: Invalid image");
      break;
    case kBlendHue:
    case kBlendSaturation:
    case kBlendColor:
    case kBlendLuminosity:
      if (!dst.IsAllocated() || !src.IsAllocated() || dst.GetBitCount() != 24 || src.GetBitCount() != 24)
        return Refuse(kHslNot24);
      break;
    default:
      return 1;
  }
  if (!IsAlpha8(alpha)) return Refuse(kAlphaNot8);
  Area area{0, 0, 0, 0, ax, ay, width, height};
  if (!ClipArea(area, dst, src, &alpha)) return 1;
  switch (mode) {
    case kBlendMultiply:
      return BlendThroughAlpha<BlendMultiply>(dst, src, alpha, area, opacity);
    case kBlendScreen:
      return BlendThroughAlpha<BlendScreen>(dst, src, alpha, area, opacity);
    case kBlendDifference:
      return BlendThroughAlpha<BlendDifference>(dst, src, alpha, area, opacity);
    default:
      return HslThroughAlpha(dst, src, alpha, area, mode, opacity);
  }
}

int SetAlphaValue(CDIBitmap& dst, int dx, int dy, int width, int height, const CDIBitmap& alpha, int ax, int ay,
                  int value) {
  if (!IsAlpha8(alpha)) return Refuse("SetAlphaValue :: plbmAlpha Should be a 8bit image");
  if (!dst.IsAllocated() || dst.GetBitCount() != 8) return Refuse("SetAlphaValue :: plbmDst Should be a 8bit image");
  // The alpha doubles as the source of the clipping.
  Area area{dx, dy, ax, ay, 0, 0, width, height};
  if (!ClipArea(area, dst, alpha, nullptr)) return 1;
  const uint8_t v = static_cast<uint8_t>(std::clamp(value, 0, 255));
  return RunRows(dst, area.height, area.width, BufferBytes(area.width), !SharesPixels(dst, alpha),
                 "SetAlphaValue :: memory insufficient.", [&](int r, Scratch& sc) {
                   const int y = area.dy + r;
                   const uint8_t* d = dst.RowPointer(y) + area.dx;
                   const uint8_t* a = alpha.RowPointer(area.sy + r) + area.sx;
                   uint8_t* out = sc.a.data();
                   for (int c = 0; c < area.width; ++c) out[c] = a[c] == 255 ? v : d[c];
                   dst.PutRowPart(out, y, area.dx, area.width);
                 });
}

int VividSetBitmapTransparency(CDIBitmap& dst, int value) {
  if (!dst.IsAllocated() || (dst.GetBitCount() != 8 && dst.GetBitCount() != 24))
    return Refuse("VividSetBitmapTransparency :: pdbmDest Should be a 24bit or 8bit image");
  const unsigned v = static_cast<unsigned>(std::clamp(value, 0, 255));
  if (v == 255) return 1;
  const int n = dst.GetRowBytes();
  return RunRows(dst, dst.GetHeight(), n, static_cast<size_t>(n), true, kAlphaMemory, [&](int y, Scratch& sc) {
    const uint8_t* d = dst.RowPointer(y);
    uint8_t* out = sc.a.data();
    for (int i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(Div255(d[i] * v));
    dst.PutRow(out, y);
  });
}
