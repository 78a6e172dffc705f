// Compositing: every combine against a per-pixel reference written from its
// definition, Pillow as an independent oracle for the byte blends, the
// refusals with their messages, and results independent of the thread count.
#include "imaging/combine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "image/dibitmap.h"
#include "imaging/row_job.h"
#include "platform/messages.h"
#include "platform/progress.h"
#include "platform/region.h"
#include "test_support.h"

namespace {

struct Kind {
  int bits, options;
  const char* name;
};
constexpr Kind kMono{1, 0, "mono"}, kPalette{8, 0, "palette"}, kGray{8, 1, "gray"}, kRGB{24, 0, "rgb"},
    kCMYK{32, 3, "cmyk"};
constexpr Kind kAllKinds[] = {kMono, kPalette, kGray, kRGB, kCMYK};

// Random bytes; every fourth byte run made gray-ish or extreme so that ties,
// zeros and 255s occur.
void Make(CDIBitmap& b, Kind k, int w, int h, uint32_t seed) {
  ASSERT_EQ(b.Create(w, h, k.bits, k.options), 1);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.RowPointer(y);
    for (int i = 0; i < b.GetStride(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      const uint8_t v = static_cast<uint8_t>(seed >> 24);
      row[i] = (seed & 0x700) == 0 ? 0 : (seed & 0x700) == 0x100 ? 255 : v;
    }
    if (k.bits == 24)  // some gray pixels, which have no hue
      for (int x = 0; x + 3 < w; x += 4) std::fill(row + 3 * x + 1, row + 3 * x + 3, row[3 * x]);
  }
}

// Pixels as plain numbers: `channels` values per pixel (1-bit: one 0/1).
struct Plain {
  int w = 0, h = 0, n = 0;
  std::vector<int> v;
  int* At(int x, int y) { return &v[(static_cast<size_t>(y) * w + x) * n]; }
  const int* At(int x, int y) const { return &v[(static_cast<size_t>(y) * w + x) * n]; }
  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
};

Plain Read(const CDIBitmap& b) {
  Plain p{b.GetWidth(), b.GetHeight(), std::max(1, b.GetBitCount() / 8), {}};
  for (int y = 0; y < p.h; ++y)
    for (int x = 0; x < p.w; ++x)
      for (int k = 0; k < p.n; ++k)
        p.v.push_back(b.GetBitCount() == 1 ? (b.RowPointer(y)[x / 8] >> (7 - x % 8)) & 1
                                           : b.RowPointer(y)[x * p.n + k]);
  return p;
}

std::string Diff(const Plain& got, const Plain& want) {
  for (int y = 0; y < want.h; ++y)
    for (int x = 0; x < want.w; ++x)
      for (int k = 0; k < want.n; ++k)
        if (got.At(x, y)[k] != want.At(x, y)[k])
          return "pixel " + std::to_string(x) + "," + std::to_string(y) + " channel " + std::to_string(k) + ": got " +
                 std::to_string(got.At(x, y)[k]) + " want " + std::to_string(want.At(x, y)[k]);
  return "";
}

// Destination pixel (x, y) changes by f(d, s, a) only where it lies in the
// rectangle and its source and alpha positions lie inside those pictures.
struct Rect6 {
  int dx, dy, w, h, sx, sy, ax, ay;
};
Plain RefArea(const Plain& dst, const Plain& src, const Plain* aux, Rect6 r,
              const std::function<void(int* d, const int* s, const int* a)>& f) {
  Plain out = dst;
  for (int y = 0; y < dst.h; ++y)
    for (int x = 0; x < dst.w; ++x) {
      const int c = x - r.dx, row = y - r.dy;
      if (c < 0 || row < 0 || c >= r.w || row >= r.h || !src.Inside(r.sx + c, r.sy + row)) continue;
      if (aux && !aux->Inside(r.ax + c, r.ay + row)) continue;
      f(out.At(x, y), src.At(r.sx + c, r.sy + row), aux ? aux->At(r.ax + c, r.ay + row) : nullptr);
    }
  return out;
}

constexpr Rect6 kRects[] = {
    {2, 1, 9, 5, 0, 0, 1, 2}, {-2, 3, 40, 40, 1, -1, 0, 0}, {5, 4, 6, 6, -3, 0, -1, 3}, {0, 0, 100, 100, 0, 0, 0, 0}};

// (source x a + destination x (255 - a)) / 255 with a = A x opacity / 255,
// or replacement where A is non-zero for palette and 1-bit pictures.
void RefBlend(Kind k, int* d, const int* t, int alpha, int opacity, int n) {
  const int a = alpha * opacity / 255;
  for (int i = 0; i < n; ++i)
    d[i] = (k.bits == 1 || (k.bits == 8 && !k.options)) ? (alpha ? t[i] : d[i]) : (t[i] * a + d[i] * (255 - a)) / 255;
}

int RefOperator(int op, int D, int S, bool bit) {
  if (bit) {
    const int table[] = {D & S, D | S, D ^ S, D | S, D & !S, S & !D, D & S, D, S};
    return op < 9 ? table[op] : -1;
  }
  switch (op) {
    case 0:
      return D & S;
    case 1:
      return D | S;
    case 2:
      return D ^ S;
    case 3:
      return std::min(255, D + S);
    case 4:
      return std::max(0, D - S);
    case 5:
      return std::max(0, S - D);
    case 6:
      return D * S / 255;
    case 7:
      return S == 0 ? (D > 0 ? 255 : 0) : std::min(255, D * 255 / S);
    case 8:
      return D == 0 ? (S > 0 ? 255 : 0) : std::min(255, S * 255 / D);
    default:
      return -1;
  }
}

int RefOperand(int nibble, int value, bool bit) {
  const int full = bit ? 1 : 255;
  return nibble == 1 ? full - value : nibble == 2 ? 0 : nibble == 3 ? full : value;
}

TEST(CombineBitmapTest, EveryOperatorAndOperandMatchesTheReference) {
  platform::RecordingMessageSink sink;
  for (const Kind& k : kAllKinds)
    for (const Rect6& r : kRects)
      for (int op = 0; op < 10; ++op)
        for (int sn : {0, 1, 2, 3, 7})
          for (int dn : {0, 1, 2, 3, 9}) {
            CDIBitmap dst, src;
            Make(dst, k, 13, 9, 1);
            Make(src, k, 11, 8, 2);
            const Plain want = RefArea(Read(dst), Read(src), nullptr, r, [&](int* d, const int* s, const int*) {
              for (int i = 0; i < std::max(1, k.bits / 8); ++i) {
                const int v =
                    RefOperator(op, RefOperand(dn, d[i], k.bits == 1), RefOperand(sn, s[i], k.bits == 1), k.bits == 1);
                if (v >= 0) d[i] = v;
              }
            });
            const int code = op << 8 | dn << 4 | sn;
            ASSERT_EQ(GL_CombineBitmap(dst, r.dx, r.dy, r.w, r.h, src, r.sx, r.sy, code), 1);
            ASSERT_EQ(Diff(Read(dst), want), "")
                << k.name << " op " << std::hex << code << std::dec << " rect " << r.dx;
          }
  EXPECT_TRUE(sink.shown.empty());
}

TEST(CombineBitmapTest, CopyWithNegativeSourceXLandsFurtherRightAndNarrower) {
  CDIBitmap dst, src;
  ASSERT_EQ(dst.Create(10, 1, 8, 1), 1);
  ASSERT_EQ(src.Create(10, 1, 8, 1), 1);
  for (int x = 0; x < 10; ++x) src.RowPointer(0)[x] = static_cast<uint8_t>(100 + x);
  ASSERT_EQ(GL_CombineBitmap(dst, 0, 0, 6, 1, src, -3, 0, kCombineCopyOr), 1);
  const std::vector<uint8_t> want = {0, 0, 0, 100, 101, 102, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(dst.RowPointer(0), dst.RowPointer(0) + 10), want);
}

TEST(CombineBitmapTest, AlphaAndMaskFormsMatchTheReference) {
  for (const Kind& k : kAllKinds)
    for (const Rect6& r : kRects)
      for (int opacity : {-5, 0, 128, 255, 300}) {
        CDIBitmap dst, src, alpha, mask, dst2;
        Make(dst, k, 13, 9, 3);
        Make(src, k, 11, 8, 4);
        Make(alpha, kGray, 12, 10, 5);
        Make(mask, kMono, 12, 10, 6);
        ASSERT_EQ(dst2.CopyFrom(dst), 1);
        const int n = std::max(1, k.bits / 8);
        const Plain pa = Read(alpha), pm = Read(mask), ps = Read(src);
        const Plain viaAlpha = RefArea(Read(dst), ps, &pa, r, [&](int* d, const int* s, const int* a) {
          RefBlend(k, d, s, a[0], std::clamp(opacity, 0, 255), n);
        });
        ASSERT_EQ(GL_CombineBitmapWithAlpha(dst, r.dx, r.dy, r.w, r.h, src, r.sx, r.sy, alpha, r.ax, r.ay, opacity), 1);
        ASSERT_EQ(Diff(Read(dst), viaAlpha), "") << k.name << " opacity " << opacity << " rect " << r.dx;
        if (opacity != 255) continue;
        // The clipped form is the opacity form at 255.
        ASSERT_EQ(GL_CombineBitmapWithAlpha(dst2, r.dx, r.dy, r.w, r.h, src, r.sx, r.sy, alpha, r.ax, r.ay), 1);
        ASSERT_EQ(Diff(Read(dst2), viaAlpha), "") << k.name << " clipped form, rect " << r.dx;
        const Plain viaMask = RefArea(Read(dst2), ps, &pm, r, [&](int* d, const int* s, const int* m) {
          if (m[0]) std::copy(s, s + n, d);
        });
        ASSERT_EQ(GL_CombineBitmapWithMask(dst2, r.dx, r.dy, r.w, r.h, src, r.sx, r.sy, mask, r.ax, r.ay), 1);
        ASSERT_EQ(Diff(Read(dst2), viaMask), "") << k.name << " mask, rect " << r.dx;
      }
}

TEST(CombineBitmapTest, TransAddsOrSubtractsTheScaledSource) {
  for (const Kind& k : kAllKinds)
    for (int amount : {0, 1, 127, 128, 255})
      for (int flags : {0, kTransSubtract, kTransSubtract | 1}) {
        const Rect6 r = kRects[2];
        CDIBitmap dst, src;
        Make(dst, k, 13, 9, 9);
        Make(src, k, 11, 8, 10);
        const Plain want = RefArea(Read(dst), Read(src), nullptr, r, [&](int* d, const int* s, const int*) {
          if (k.bits == 1) {  // pixels as 0 or 255, set when the result reaches 128
            const int v = flags ? std::max(0, d[0] * 255 - s[0] * 255 * amount / 255)
                                : std::min(255, (s[0] * 255 * amount + d[0] * 255 * 255) / 255);
            d[0] = v >= 128;
            return;
          }
          for (int i = 0; i < k.bits / 8; ++i)
            d[i] = flags ? std::max(0, d[i] - s[i] * amount / 255) : std::min(255, (s[i] * amount + d[i] * 255) / 255);
        });
        ASSERT_EQ(GL_CombineBitmapWithTrans(dst, r.dx, r.dy, r.w, r.h, src, r.sx, r.sy, amount, flags), 1);
        ASSERT_EQ(Diff(Read(dst), want), "") << k.name << " amount " << amount << " flags " << flags;
      }
}

// HSL of a pixel, in single precision as defined: channels scaled by
// 0.003921569, H in degrees or -1 without hue.
struct RefHsl {
  float h, s, l;
};
RefHsl ToRefHsl(const int* bgr) {
  const float r = bgr[2] * 0.003921569f, g = bgr[1] * 0.003921569f, b = bgr[0] * 0.003921569f;
  const float mx = std::max({r, g, b}), mn = std::min({r, g, b});
  RefHsl o{-1.0f, 0.0f, (mx + mn) * 0.5f};
  if (mx == mn) return o;
  o.s = o.l < 0.5f ? (mx - mn) / (mx + mn) : (mx - mn) / (2.0f - mx - mn);
  o.h = r == mx ? (g - b) / (mx - mn) : g == mx ? (b - r) / (mx - mn) + 2.0f : (r - g) / (mx - mn) + 4.0f;
  o.h *= 60.0f;
  if (o.h < 0.0f) o.h += 360.0f;
  return o;
}
int RefHueToRGB(float m1, float m2, float h) {
  if (h < 0.0f) h += 360.0f;
  if (h > 360.0f) h -= 360.0f;
  const float v = h < 60.0f    ? m1 + (m2 - m1) * h / 60.0f
                  : h < 180.0f ? m2
                  : h < 240.0f ? m1 + (m2 - m1) * (240.0f - h) / 60.0f
                               : m1;
  return static_cast<int>(std::clamp(v * 255.0f, 0.0f, 255.0f));
}
// The HSL blend of mode 7..10 on one pixel.
void RefHslBlend(int mode, int* d, const int* s) {
  const RefHsl hd = ToRefHsl(d), hs = ToRefHsl(s);
  if ((mode == kBlendHue || mode == kBlendSaturation) && hd.h < 0) return;
  const float h = mode == kBlendHue || mode == kBlendColor ? hs.h : hd.h;
  const float sat = mode == kBlendSaturation || mode == kBlendColor ? hs.s : hd.s;
  const float l = mode == kBlendLuminosity ? hs.l : hd.l;
  if (h < 0) {
    d[0] = d[1] = d[2] = static_cast<int>(l * 255.0f);
    return;
  }
  const float m2 = l <= 0.5f ? l * (1.0f + sat) : l + sat - l * sat, m1 = 2.0f * l - m2;
  d[2] = RefHueToRGB(m1, m2, h + 120.0f);
  d[1] = RefHueToRGB(m1, m2, h);
  d[0] = RefHueToRGB(m1, m2, h - 120.0f);
}

TEST(CombineHslTest, FourBlendsMatchTheReferenceOverTheCommonPart) {
  const std::function<int(CDIBitmap&, const CDIBitmap&)> blends[] = {GL_CombineHue, GL_CombineSaturation,
                                                                     GL_CombineColor, GL_CombineLuminosity};
  for (int mode = kBlendHue; mode <= kBlendLuminosity; ++mode) {
    CDIBitmap dst, src;
    Make(dst, kRGB, 40, 30, 11);
    Make(src, kRGB, 33, 41, 12);
    const Plain want = RefArea(Read(dst), Read(src), nullptr, {0, 0, 40, 30, 0, 0, 0, 0},
                               [&](int* d, const int* s, const int*) { RefHslBlend(mode, d, s); });
    ASSERT_EQ(blends[mode - kBlendHue](dst, src), 1);
    EXPECT_EQ(Diff(Read(dst), want), "") << "mode " << mode;
  }
}

// Gray pixels (no hue) scattered through whole blocks of eight, on either
// side, take the special paths lane by lane.
TEST(CombineHslTest, GrayPixelsAmongColouredOnesMatchTheReference) {
  const std::function<int(CDIBitmap&, const CDIBitmap&)> blends[] = {GL_CombineHue, GL_CombineSaturation,
                                                                     GL_CombineColor, GL_CombineLuminosity};
  auto sprinkleGray = [](CDIBitmap& image, int every, int offset) {
    for (int y = 0; y < image.GetHeight(); ++y) {
      uint8_t* row = image.RowPointer(y);
      for (int x = (y + offset) % every; x < image.GetWidth(); x += every)
        row[3 * x + 1] = row[3 * x + 2] = row[3 * x];
    }
  };
  for (int mode = kBlendHue; mode <= kBlendLuminosity; ++mode) {
    CDIBitmap dst, src;
    Make(dst, kRGB, 53, 9, 21);
    Make(src, kRGB, 53, 9, 22);
    sprinkleGray(dst, 3, 0);
    sprinkleGray(src, 4, 1);
    const Plain want = RefArea(Read(dst), Read(src), nullptr, {0, 0, 53, 9, 0, 0, 0, 0},
                               [&](int* d, const int* s, const int*) { RefHslBlend(mode, d, s); });
    ASSERT_EQ(blends[mode - kBlendHue](dst, src), 1);
    EXPECT_EQ(Diff(Read(dst), want), "") << "mode " << mode;
  }
}

TEST(CombineHslTest, HueKeepsGrayPixelsAndColorOfGrayGivesGrayAtOwnLightness) {
  CDIBitmap gray, colour, out;
  ASSERT_EQ(gray.Create(1, 1, 24, 0), 1);
  ASSERT_EQ(colour.Create(1, 1, 24, 0), 1);
  std::fill(gray.RowPointer(0), gray.RowPointer(0) + 3, 77);
  const uint8_t bgr[3] = {20, 200, 90};  // L = (200 + 20) / 2 / 255, gray 110
  std::copy(bgr, bgr + 3, colour.RowPointer(0));
  ASSERT_EQ(GL_CombineHue(gray, colour), 1);
  EXPECT_EQ(gray.GetPixel(0, 0), 0x4D4D4Du);
  ASSERT_EQ(GL_CombineColor(colour, gray), 1);
  EXPECT_EQ(gray.GetPixel(0, 0), 0x4D4D4Du);
  EXPECT_EQ(colour.GetPixel(0, 0), 0x6E6E6Eu);
}

// T of the blend modes 0, 1, 2, 4 on one channel (bits: on a 0/1 pixel).
int RefModeValue(int mode, int d, int s, bool bit) {
  if (mode == kBlendMultiply) return bit ? d & s : d * s / 255;
  if (mode == kBlendScreen) return bit ? d | s : 255 - (255 - d) * (255 - s) / 255;
  if (mode == kBlendDifference) return bit ? d ^ s : std::abs(d - s);
  return s;
}

TEST(CombineByModeTest, EveryModeAndKindMatchesTheReference) {
  platform::RecordingMessageSink sink;
  for (const Kind& k : kAllKinds)
    for (int mode = -1; mode <= 11; ++mode)
      for (int opacity : {255, 90}) {
        CDIBitmap dst, src, alpha;
        Make(dst, k, 13, 9, 13);
        Make(src, k, 11, 8, 14);
        Make(alpha, kGray, 12, 10, 15);
        const Plain ps = Read(src), pa = Read(alpha), before = Read(dst);
        const int n = std::max(1, k.bits / 8);
        const bool hsl = mode >= kBlendHue && mode <= kBlendLuminosity;
        const bool trans = mode == kBlendIfDarker || mode == kBlendIfLighter;
        const bool refused = (hsl && k.bits != 24) || (trans && k.bits != 8 && k.bits != 24);
        const bool none = mode < 0 || mode == kBlendNone || mode > kBlendLuminosity || refused;
        const Plain want =
            none
                ? before
                : RefArea(before, ps, &pa, {0, 0, 12, 7, 0, 0, 1, 2}, [&](int* d, const int* s, const int* a) {
                    const int alphaA = a[0] * opacity / 255;
                    if (trans) {
                      auto sum = [&](const int* p) {
                        return (*std::max_element(p, p + n) + *std::min_element(p, p + n)) & ~1;
                      };
                      const bool pixelApplies = mode == kBlendIfDarker ? sum(d) < sum(s) : sum(d) > sum(s);
                      for (int i = 0; i < n; ++i) {
                        const bool apply = n == 1 ? (mode == kBlendIfDarker ? d[i] < s[i] : d[i] > s[i]) : pixelApplies;
                        if (apply) d[i] = (s[i] * alphaA + d[i] * (255 - alphaA)) / 255;
                      }
                      return;
                    }
                    int t[4];
                    std::copy(d, d + n, t);
                    if (hsl)
                      RefHslBlend(mode, t, s);
                    else
                      for (int i = 0; i < n; ++i) t[i] = RefModeValue(mode, d[i], s[i], k.bits == 1);
                    RefBlend(k, d, t, a[0], opacity, n);
                  });
        const int result = GL_CombineBitmapByMode(dst, src, alpha, 1, 2, 12, 7, mode, opacity);
        ASSERT_EQ(result, refused ? 0 : 1) << k.name << " mode " << mode;
        ASSERT_EQ(Diff(Read(dst), want), "") << k.name << " mode " << mode << " opacity " << opacity;
        ASSERT_EQ(Diff(Read(src), ps), "") << "the source changed, " << k.name << " mode " << mode;
      }
}

TEST(CombineAlphaTransTest, LightnessSumsDifferingOnlyInTheLowestBitLeaveThePixel) {
  CDIBitmap dst, src, alpha;
  ASSERT_EQ(dst.Create(2, 1, 24, 0), 1);
  ASSERT_EQ(src.Create(2, 1, 24, 0), 1);
  ASSERT_EQ(alpha.Create(2, 1, 24, 0), 1);  // a 24-bit alpha counts by its luminance
  const uint8_t d[6] = {10, 10, 10, 10, 10, 10}, s[6] = {10, 11, 10, 200, 200, 200}, a[6] = {255, 255, 255, 0, 0, 255};
  std::copy(d, d + 6, dst.RowPointer(0));
  std::copy(s, s + 6, src.RowPointer(0));
  std::copy(a, a + 6, alpha.RowPointer(0));
  // Pixel 0: sums 20 and 21 -> both 20. Pixel 1: lighter source; alpha
  // luminance (306 x 255 + 512) / 1024 = 76.
  for (int darker : {0, 1})
    ASSERT_EQ(GL_CombineBitmapWithAlphaTrans(dst, 0, 0, 2, 1, src, 0, 0, alpha, 0, 0, 255, darker), 1);
  const int v = (200 * 76 + 10 * (255 - 76)) / 255;
  EXPECT_EQ(std::vector<int>(dst.RowPointer(0), dst.RowPointer(0) + 6), (std::vector<int>{10, 10, 10, v, v, v}));
}

// The byte blend divides by 255 as (x + 1 + (x >> 8)) >> 8, exact for every
// x up to 255 x 255; checked here for all of them.
TEST(CombineAlphaTest, DivisionBy255IsExactForEveryProductOfTwoBytes) {
  for (unsigned x = 0; x <= 255u * 255u; ++x) ASSERT_EQ((x + 1 + (x >> 8)) >> 8, x / 255) << x;
}

// Every destination byte d, source byte s and alpha A through the alpha
// blend, rows long enough for the wide kernels and their ends: row r holds
// all 65536 pairs (d, s) with pixel c's alpha (r + c) mod 256, so across the
// 256 rows each pair meets every alpha. Blended where the rows lie and,
// with a selection mask, through row buffers.
TEST(CombineAlphaTest, EveryByteAndAlphaMatchTheDivision) {
  struct Case {
    Kind kind;
    int opacity;
    bool masked;
  } cases[] = {{kRGB, 255, false}, {kRGB, 77, true}, {kGray, 200, false}, {kCMYK, 131, false}};
  for (const Case& c : cases) {
    const int bpp = c.kind.bits / 8, width = (65536 + bpp - 1) / bpp;
    CDIBitmap dst, src, alpha;
    ASSERT_EQ(dst.Create(width, 256, c.kind.bits, c.kind.options), 1);
    ASSERT_EQ(src.Create(width, 256, c.kind.bits, c.kind.options), 1);
    ASSERT_EQ(alpha.Create(width, 256, 8, 1), 1);
    for (int r = 0; r < 256; ++r)
      for (int i = 0; i < 65536; ++i) {
        dst.RowPointer(r)[i] = static_cast<uint8_t>(i & 255);
        src.RowPointer(r)[i] = static_cast<uint8_t>(i >> 8);
        if (i < width) alpha.RowPointer(r)[i] = static_cast<uint8_t>((r + i) & 255);
      }
    const platform::Region all = platform::Region::FromRect(0, 0, width, 256);
    if (c.masked) dst.SetMaskRgn(&all);
    ASSERT_EQ(GL_CombineBitmapWithAlpha(dst, 0, 0, width, 256, src, 0, 0, alpha, 0, 0, c.opacity), 1);
    int64_t wrong = 0;
    std::string first;
    for (int r = 0; r < 256; ++r)
      for (int i = 0; i < 65536; ++i) {
        const int d = i & 255, s = i >> 8, A = (r + i / bpp) & 255, a = A * c.opacity / 255;
        const int want = (s * a + d * (255 - a)) / 255;
        if (dst.RowPointer(r)[i] == want) continue;
        if (wrong++ == 0)
          first = "d " + std::to_string(d) + " s " + std::to_string(s) + " A " + std::to_string(A) + ": got " +
                  std::to_string(dst.RowPointer(r)[i]) + " want " + std::to_string(want);
      }
    EXPECT_EQ(wrong, 0) << c.kind.name << " opacity " << c.opacity << ", first " << first;
  }
}

TEST(CombineAlphaTest, SetAlphaValueWritesWhereAlphaIsFull) {
  CDIBitmap dst, alpha;
  Make(dst, kGray, 13, 9, 16);
  Make(alpha, kGray, 12, 10, 17);
  const Rect6 r = kRects[2];
  const Plain pa = Read(alpha);
  const Plain want =
      RefArea(Read(dst), pa, nullptr, {r.dx, r.dy, r.w, r.h, r.ax, r.ay, 0, 0}, [](int* d, const int* a, const int*) {
        if (a[0] == 255) d[0] = 40;
      });
  ASSERT_EQ(SetAlphaValue(dst, r.dx, r.dy, r.w, r.h, alpha, r.ax, r.ay, 40), 1);
  EXPECT_EQ(Diff(Read(dst), want), "");
}

TEST(CombineAlphaTest, TransparencyScalesEveryByte) {
  for (const Kind& k : {kGray, kRGB})
    for (int value : {0, 1, 128, 254, 255}) {
      CDIBitmap dst;
      Make(dst, k, 7, 5, 18);
      Plain want = Read(dst);
      for (int& v : want.v) v = v * value / 255;
      ASSERT_EQ(VividSetBitmapTransparency(dst, value), 1);
      EXPECT_EQ(Diff(Read(dst), want), "") << k.name << " value " << value;
    }
}

TEST(CombineBitmapTest, SelectionMaskLimitsTheChange) {
  CDIBitmap dst, src, alpha;
  Make(dst, kRGB, 20, 10, 19);
  Make(src, kRGB, 20, 10, 20);
  Make(alpha, kGray, 20, 10, 21);
  const platform::Region region = platform::Region::FromRect(3, 2, 11, 7);
  const Plain before = Read(dst);
  Plain want = RefArea(before, Read(src), nullptr, {0, 0, 20, 10, 0, 0, 0, 0}, [](int* d, const int* s, const int*) {
    for (int i = 0; i < 3; ++i) d[i] = d[i] * s[i] / 255;
  });
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x)
      if (!(x >= 3 && x < 11 && y >= 2 && y < 7)) std::copy(before.At(x, y), before.At(x, y) + 3, want.At(x, y));
  dst.SetMaskRgn(&region);
  ASSERT_EQ(GL_CombineBitmap(dst, 0, 0, 20, 10, src, 0, 0, kCombineMultiply), 1);
  EXPECT_EQ(Diff(Read(dst), want), "");
}

TEST(CombineBitmapTest, RefusalsShowTheirMessageAndChangeNothing) {
  CDIBitmap rgb, rgb2, gray, gray2, mono, cmyk, none;
  Make(rgb, kRGB, 6, 4, 22);
  Make(rgb2, kRGB, 6, 4, 23);
  Make(gray, kGray, 6, 4, 24);
  Make(gray2, kGray, 6, 4, 25);
  Make(mono, kMono, 6, 4, 26);
  Make(cmyk, kCMYK, 6, 4, 27);
  CDIBitmap none2;
  const std::string alphaNot8 = "GL_CombineBitmapWithAlpha :: pdbmAlpha Should be a 8bit image";
  const std::string alphaBpp = "GL_CombineBitmapWithAlpha :: pdbmSrc , pdbmDst Should be a same bpp";
  const std::string hsl = "GL_CombineSaturation :: pdbmSrc pdbmDest Should be a 24bit image";
  const struct {
    CDIBitmap& dst;
    std::function<int(CDIBitmap&)> call;
    std::string message;
  } cases[] = {
      {rgb, [&](CDIBitmap& d) { return GL_CombineBitmap(d, 0, 0, 6, 4, gray, 0, 0, kCombineAdd); },
       "GL_CombineBitmap :: pdbmSrc , pdbmDst Should be a same BitCount"},
      {none, [&](CDIBitmap& d) { return GL_CombineBitmap(d, 0, 0, 6, 4, none2, 0, 0, kCombineAdd); },
       "GL_CombineBitmap :: Invalid image"},
      {rgb, [&](CDIBitmap& d) { return GL_CombineBitmapWithAlpha(d, 0, 0, 6, 4, gray, 0, 0, rgb2, 0, 0, 255); },
       alphaNot8},
      {rgb, [&](CDIBitmap& d) { return GL_CombineBitmapWithAlpha(d, 0, 0, 6, 4, gray, 0, 0, rgb2, 0, 0); }, alphaBpp},
      {rgb, [&](CDIBitmap& d) { return GL_CombineBitmapWithAlpha(d, 0, 0, 6, 4, rgb2, 0, 0, mono, 0, 0); }, alphaNot8},
      {rgb, [&](CDIBitmap& d) { return GL_CombineBitmapWithMask(d, 0, 0, 6, 4, rgb2, 0, 0, gray, 0, 0); },
       "GL_CombineBitmapWithMask :: pdbmMask Should be a 1 bit image or 8 bit"},
      {rgb, [&](CDIBitmap& d) { return GL_CombineBitmapWithMask(d, 0, 0, 6, 4, gray, 0, 0, mono, 0, 0); },
       "GL_CombineBitmapWithMask :: pdbmSrc , pdbmDst Should be a same bpp"},
      {rgb, [&](CDIBitmap& d) { return GL_CombineBitmapWithTrans(d, 0, 0, 6, 4, cmyk, 0, 0, 255, 0); },
       "GL_CombineBitmapWithTrans :: pdbmSrc , pdbmDst Should be a same bpp"},
      {rgb,
       [&](CDIBitmap& d) { return GL_CombineBitmapWithAlphaTrans(d, 0, 0, 6, 4, gray, 0, 0, gray2, 0, 0, 255, 1); },
       alphaBpp},
      {rgb, [&](CDIBitmap& d) { return GL_CombineBitmapWithAlphaTrans(d, 0, 0, 6, 4, rgb2, 0, 0, mono, 0, 0, 255, 1); },
       "GL_CombineBitmapWithAlpha :: pdbmAlpha Should be a 8bit image or 24 bit"},
      {cmyk,
       [&](CDIBitmap& d) { return GL_CombineBitmapWithAlphaTrans(d, 0, 0, 6, 4, cmyk, 0, 0, gray, 0, 0, 255, 0); },
       "GL_CombineBitmapWithAlphaTrans :: Invalid image"},
      {gray, [&](CDIBitmap& d) { return GL_CombineHue(d, gray2); }, hsl},
      {rgb, [&](CDIBitmap& d) { return GL_CombineSaturation(d, gray); }, hsl},
      {gray, [&](CDIBitmap& d) { return GL_CombineColor(d, rgb2); }, hsl},
      {rgb, [&](CDIBitmap& d) { return GL_CombineLuminosity(d, none2); }, hsl},
      {rgb, [&](CDIBitmap& d) { return GL_CombineBitmapByMode(d, gray, gray2, 0, 0, 6, 4, kBlendMultiply, 255); },
       "GL_CombineBitmap :: pdbmSrc , pdbmDst Should be a same BitCount"},
      {rgb, [&](CDIBitmap& d) { return GL_CombineBitmapByMode(d, rgb2, rgb2, 0, 0, 6, 4, kBlendScreen, 255); },
       alphaNot8},
      {gray, [&](CDIBitmap& d) { return SetAlphaValue(d, 0, 0, 6, 4, rgb, 0, 0, 9); },
       "SetAlphaValue :: plbmAlpha Should be a 8bit image"},
      {rgb, [&](CDIBitmap& d) { return SetAlphaValue(d, 0, 0, 6, 4, gray, 0, 0, 9); },
       "SetAlphaValue :: plbmDst Should be a 8bit image"},
      {cmyk, [&](CDIBitmap& d) { return VividSetBitmapTransparency(d, 9); },
       "VividSetBitmapTransparency :: pdbmDest Should be a 24bit or 8bit image"},
  };
  for (const auto& c : cases) {
    platform::RecordingMessageSink sink;
    const Plain before = Read(c.dst);
    EXPECT_EQ(c.call(c.dst), 0) << c.message;
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{c.message});
    EXPECT_EQ(Diff(Read(c.dst), before), "") << c.message;
  }
}

TEST(CombineBlendModeTest, ListPositionsMapByImageKind) {
  const struct {
    Kind kind;
    int count;
    std::vector<int> modes;
  } cases[] = {
      {kRGB, 10, {0, 1, 2, 4, 5, 6, 7, 8, 9, 10}}, {kGray, 10, {0, 1, 2, 4, 5, 6, 0, 0, 0, 0}},
      {kCMYK, 10, {0, 1, 2, 4, 0, 0, 0, 0, 0, 0}}, {kPalette, 1, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {kMono, 1, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    CDIBitmap image;
    ASSERT_EQ(image.Create(2, 2, c.kind.bits, c.kind.options), 1);
    EXPECT_EQ(GL_BlendModeListCount(image), c.count) << c.kind.name;
    std::vector<int> modes;
    for (int position = 0; position < 10; ++position) modes.push_back(GL_BlendModeForList(image, position));
    EXPECT_EQ(modes, c.modes) << c.kind.name;
    EXPECT_EQ(GL_BlendModeForList(image, 10), kBlendNormal);
    EXPECT_EQ(GL_BlendModeForList(image, -1), kBlendNormal);
  }
  EXPECT_STREQ(kBlendModeListNames[3], "Difference");
}

TEST(CombineBitmapTest, TwoThreadsGiveTheOneThreadResult) {
  CDIBitmap src, alpha;
  Make(src, kRGB, 1000, 400, 28);
  Make(alpha, kGray, 1000, 400, 29);
  const std::function<int(CDIBitmap&)> calls[] = {
      [&](CDIBitmap& d) { return GL_CombineBitmap(d, 3, 1, 1000, 400, src, 0, 0, kCombineMultiply); },
      [&](CDIBitmap& d) { return GL_CombineBitmapByMode(d, src, alpha, 0, 0, 1000, 400, kBlendHue, 200); },
      [&](CDIBitmap& d) { return GL_CombineBitmapByMode(d, src, alpha, 0, 0, 1000, 400, kBlendScreen, 200); },
      [&](CDIBitmap& d) { return GL_CombineBitmapWithAlphaTrans(d, 0, 0, 1000, 400, src, 0, 0, alpha, 0, 0, 99, 1); },
  };
  const int saved = GL_GetThreadCount();
  for (const auto& call : calls) {
    CDIBitmap one, two;
    Make(one, kRGB, 1000, 400, 30);
    Make(two, kRGB, 1000, 400, 30);
    GL_SetThreadCount(1);
    ASSERT_EQ(call(one), 1);
    GL_SetThreadCount(2);
    ASSERT_EQ(call(two), 1);
    EXPECT_EQ(Diff(Read(two), Read(one)), "");
  }
  GL_SetThreadCount(saved);
}

TEST(CombineBitmapTest, CancelRestoresTheDestination) {
  CDIBitmap dst, src;
  Make(dst, kRGB, 30, 20, 31);
  Make(src, kRGB, 30, 20, 32);
  const Plain before = Read(dst);
  ProgressEnable(true);
  platform::RequestCancel();
  const int result = GL_CombineBitmap(dst, 0, 0, 30, 20, src, 0, 0, kCombineAdd);
  ProgressEnable(false);
  platform::ResetCancel();
  EXPECT_EQ(result, kResultCancelled);
  EXPECT_EQ(Diff(Read(dst), before), "");
}

// Pillow's ImageChops define multiply, screen, difference, add and subtract
// with the same truncating integer arithmetic.
TEST(CombineBitmapTest, ByteBlendsAgreeWithPillow) {
  constexpr int w = 37, h = 23;
  CDIBitmap dst, src, full;
  Make(dst, kRGB, w, h, 33);
  Make(src, kRGB, w, h, 34);
  ASSERT_EQ(full.Create(w, h, 8, 1), 1);
  std::fill(full.GetPixels(), full.GetPixels() + static_cast<size_t>(full.GetStride()) * h, 255);
  testing_support::TempDir dir;
  auto rgbBytes = [&](const CDIBitmap& b) {
    std::vector<uint8_t> out;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int k = 2; k >= 0; --k) out.push_back(b.RowPointer(y)[3 * x + k]);
    return out;
  };
  testing_support::WriteBytes(dir.File("d"), rgbBytes(dst));
  testing_support::WriteBytes(dir.File("s"), rgbBytes(src));
  const std::string script =
      "import sys\nfrom PIL import Image, ImageChops\n"
      "w, h, p = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]\n"
      "d = Image.frombytes('RGB', (w, h), open(p + '/d', 'rb').read())\n"
      "s = Image.frombytes('RGB', (w, h), open(p + '/s', 'rb').read())\n"
      "for n, i in [('multiply', ImageChops.multiply(d, s)), ('screen', ImageChops.screen(d, s)),\n"
      "             ('difference', ImageChops.difference(d, s)), ('add', ImageChops.add(d, s)),\n"
      "             ('subtract', ImageChops.subtract(s, d))]:\n"
      "    open(p + '/' + n, 'wb').write(i.tobytes())\n";
  testing_support::WriteBytes(dir.File("chops.py"), std::vector<uint8_t>(script.begin(), script.end()));
  const auto run = testing_support::RunCommand(std::string(testing_support::kPython) + " " + dir.File("chops.py") +
                                               " 37 23 " + testing_support::ShellQuote(dir.Path().string()));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const struct {
    const char* name;
    std::function<int(CDIBitmap&)> call;
  } cases[] = {
      {"multiply", [&](CDIBitmap& d) { return GL_CombineBitmap(d, 0, 0, w, h, src, 0, 0, kCombineMultiply); }},
      {"screen", [&](CDIBitmap& d) { return GL_CombineBitmapByMode(d, src, full, 0, 0, w, h, kBlendScreen, 255); }},
      {"difference",
       [&](CDIBitmap& d) { return GL_CombineBitmapByMode(d, src, full, 0, 0, w, h, kBlendDifference, 255); }},
      {"add", [&](CDIBitmap& d) { return GL_CombineBitmap(d, 0, 0, w, h, src, 0, 0, kCombineAdd); }},
      {"subtract", [&](CDIBitmap& d) { return GL_CombineBitmap(d, 0, 0, w, h, src, 0, 0, kCombineSubtract); }},
  };
  for (const auto& c : cases) {
    CDIBitmap out;
    ASSERT_EQ(out.CopyFrom(dst), 1);
    ASSERT_EQ(c.call(out), 1);
    EXPECT_EQ(rgbBytes(out), testing_support::ReadBytes(dir.File(c.name))) << c.name;
  }
}

}  // namespace
