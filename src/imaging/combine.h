// Compositing: putting one bitmap onto another.
//
// A raster combine with arithmetic and logical operators, combines through an
// 8-bit alpha bitmap (with an opacity), through a 1-bit mask, an additive or
// subtractive combine with an amount, the conditional "If Darker" and
// "If Lighter" combines, the four HSL blends and the blend-mode dispatcher
// used by the paint tools and the floater. Two helpers prepare alpha and
// transparency (SetAlphaValue, VividSetBitmapTransparency).
//
// Common rules:
// - Rectangles are a destination origin (dx, dy), a size (width, height), a
//   source origin (sx, sy) and, where there is one, an alpha or mask origin
//   (ax, ay). Row r, column c of the operation reads source pixel
//   (sx + c, sy + r), alpha pixel (ax + c, ay + r) and writes destination
//   pixel (dx + c, dy + r).
// - Clipping keeps that correspondence: only the pixels whose destination,
//   source and alpha (or mask) positions all lie inside their bitmaps are
//   touched; the rest of the destination stays as it was. A negative source
//   origin therefore moves the work right or down in the destination and
//   makes it narrower. Nothing left after clipping is a success (1).
// - Channel arithmetic is on bytes 0..255; "/ 255" truncates. Opacity,
//   amount and transparency values are taken clamped to 0..255.
// - Every write goes through PutRowPart/PutRow, so the destination's
//   selection mask limits every change.
// - Results: 1 success; 0 refused after a message (the destination is left
//   unchanged); kResultCancelled (-29) when the user cancelled while
//   progress reporting was on (the destination is restored).
#pragma once

#include <array>
#include <cstdint>

class CDIBitmap;

// The blend-mode numbers stored in the tool settings and passed to
// GL_CombineBitmapByMode.
enum BlendMode : int {
  kBlendNormal = 0,       // source over destination through alpha
  kBlendMultiply = 1,     // destination x source / 255
  kBlendScreen = 2,       // 255 - (255 - destination) x (255 - source) / 255
  kBlendNone = 3,         // nothing is drawn
  kBlendDifference = 4,   // |destination - source|
  kBlendIfDarker = 5,     // source applied only where the destination is darker
  kBlendIfLighter = 6,    // source applied only where the destination is lighter
  kBlendHue = 7,          // hue of source; saturation, lightness of destination
  kBlendSaturation = 8,   // saturation of source; hue, lightness of destination
  kBlendColor = 9,        // hue and saturation of source; lightness of destination
  kBlendLuminosity = 10,  // lightness of source; hue and saturation of destination
};

// The names of the tool options' blend-mode list, in list order.
inline constexpr std::array<const char*, 10> kBlendModeListNames = {"Normal",    "Multiply",   "Screen", "Difference",
                                                                    "If Darker", "If Lighter", "Hue",    "Saturation",
                                                                    "Color",     "Luminosity"};

// How many entries of kBlendModeListNames the list shows for `image`: 1
// ("Normal" only) for 8-bit palette and 1-bit images, 10 otherwise.
int GL_BlendModeListCount(const CDIBitmap& image);

// The BlendMode of list position `position` for the active image:
//   position   24-bit  8-bit gray  32-bit  palette/1-bit
//   0 Normal        0       0         0        0
//   1 Multiply      1       1         1        0
//   2 Screen        2       2         2        0
//   3 Difference    4       4         4        0
//   4 If Darker     5       5         0        0
//   5 If Lighter    6       6         0        0
//   6..9 Hue..Lum  7..10    0         0        0
// A position outside 0..9 gives kBlendNormal.
BlendMode GL_BlendModeForList(const CDIBitmap& image, int position);

// Operation codes of GL_CombineBitmap: bits 0-3 choose the source operand S
// (0 the source value, 1 255 - source, 2 zero, 3 255, others the source
// value), bits 4-7 the destination operand D (0x00 the value, 0x10
// 255 - value, 0x20 zero, 0x30 255, others the value), bits 8-15 the
// operator:
//   operator  8/24/32-bit bytes (clamped 0..255)          1-bit bytes
//   0x00      D AND S                                     D AND S
//   0x01      D OR S                                      D OR S
//   0x02      D XOR S                                     D XOR S
//   0x03      D + S                                       D OR S
//   0x04      D - S                                       D AND NOT S
//   0x05      S - D                                       S AND NOT D
//   0x06      D x S / 255                                 D AND S
//   0x07      D x 255 / S; S = 0: 255 if D > 0, else 0    D
//   0x08      S x 255 / D; D = 0: 255 if S > 0, else 0    S
//   other     destination unchanged                       unchanged
inline constexpr int kCombineCopyOr = 0x0120;   // OR with a zero destination
inline constexpr int kCombineCopyAdd = 0x0320;  // add to a zero destination
inline constexpr int kCombineAdd = 0x0300;
inline constexpr int kCombineSubtract = 0x0500;  // source minus destination
inline constexpr int kCombineMultiply = 0x0600;
inline constexpr int kCombineMultiplyInverted = 0x0611;  // both operands inverted (Screen)

// Combines every byte of the rectangle with the operation `op` (above);
// 1-bit rows are combined a byte of 8 pixels at a time, palette indexes like
// gray levels. Refuses different bit counts ("GL_CombineBitmap :: pdbmSrc ,
// pdbmDst Should be a same BitCount") and bitmaps without pixels
// ("GL_CombineBitmap :: Invalid image").
int GL_CombineBitmap(CDIBitmap& dst, int dx, int dy, int width, int height, const CDIBitmap& src, int sx, int sy,
                     int op);

// Source over destination through the 8-bit `alpha` (alpha pixel A at the
// same column and row of the rectangle):
// - 1-bit and 8-bit palette images: where A is non-zero the source pixel
//   replaces the destination pixel; opacity plays no part.
// - 8-bit gray, 24-bit and 32-bit images: a = A x opacity / 255; each byte
//   of the pixel becomes (source x a + destination x (255 - a)) / 255 (a = 0
//   leaves it unchanged).
// Refuses, in this order: an alpha that is not 8-bit
// ("GL_CombineBitmapWithAlpha :: pdbmAlpha Should be a 8bit image"),
// different bit counts ("GL_CombineBitmapWithAlpha :: pdbmSrc , pdbmDst
// Should be a same bpp"), bitmaps without pixels ("GL_CombineBitmapWithAlpha
// :: Invalid image").
int GL_CombineBitmapWithAlpha(CDIBitmap& dst, int dx, int dy, int width, int height, const CDIBitmap& src, int sx,
                              int sy, const CDIBitmap& alpha, int ax, int ay, int opacity);
// The same with opacity 255; the bit counts are checked before the alpha.
int GL_CombineBitmapWithAlpha(CDIBitmap& dst, int dx, int dy, int width, int height, const CDIBitmap& src, int sx,
                              int sy, const CDIBitmap& alpha, int ax, int ay);

// Where the bit of the 1-bit `mask` at (mx + c, my + r) is set (most
// significant bit first), the source pixel replaces the destination pixel;
// all bit counts. Refuses a mask that is not 1-bit ("GL_CombineBitmapWithMask
// :: pdbmMask Should be a 1 bit image or 8 bit"), different bit counts
// ("GL_CombineBitmapWithMask :: pdbmSrc , pdbmDst Should be a same bpp"),
// bitmaps without pixels ("GL_CombineBitmapWithMask :: Invalid image").
int GL_CombineBitmapWithMask(CDIBitmap& dst, int dx, int dy, int width, int height, const CDIBitmap& src, int sx,
                             int sy, const CDIBitmap& mask, int mx, int my);

// Flag of GL_CombineBitmapWithTrans: subtract instead of add.
inline constexpr int kTransSubtract = 0x400;

// Per byte, with amount 0..255:
// - add (flags without kTransSubtract): destination =
//   min(255, (source x amount + destination x 255) / 255);
// - subtract: destination = max(0, destination - source x amount / 255).
// 1-bit pixels count as 0 or 255 and the result is set when it is 128 or
// more: adding with amount >= 128 sets the pixels set in the source,
// subtracting with amount >= 128 clears them, a smaller amount changes
// nothing. Refuses different bit counts ("GL_CombineBitmapWithTrans ::
// pdbmSrc , pdbmDst Should be a same bpp").
int GL_CombineBitmapWithTrans(CDIBitmap& dst, int dx, int dy, int width, int height, const CDIBitmap& src, int sx,
                              int sy, int amount, int flags);

// "If Darker" (darker = 1) and "If Lighter" (darker = 0) through alpha, with
// a = A x opacity / 255 and the blend (source x a + destination x (255 - a))
// / 255:
// - 8-bit: a byte is blended only where destination < source (darker = 1)
//   or destination > source (darker = 0);
// - 24-bit: all three channels are blended where the lightness sums compare
//   so: L = (max(B,G,R) + min(B,G,R)) AND NOT 1 of each pixel, Ld < Ls for
//   darker = 1, Ld > Ls for darker = 0.
// A 24-bit alpha is read by the luminance of its pixels,
// (306 R + 601 G + 117 B + 512) / 1024.
// Refuses, in this order: different bit counts ("GL_CombineBitmapWithAlpha ::
// pdbmSrc , pdbmDst Should be a same bpp"), an alpha that is neither 8- nor
// 24-bit ("GL_CombineBitmapWithAlpha :: pdbmAlpha Should be a 8bit image or
// 24 bit"), a destination that is neither 8- nor 24-bit
// ("GL_CombineBitmapWithAlphaTrans :: Invalid image").
int GL_CombineBitmapWithAlphaTrans(CDIBitmap& dst, int dx, int dy, int width, int height, const CDIBitmap& src, int sx,
                                   int sy, const CDIBitmap& alpha, int ax, int ay, int opacity, int darker);

// HSL blends of two whole 24-bit bitmaps, row y and column x of the source
// with the same of the destination, over the part both cover. Single
// precision throughout: channels are scaled by 0.003921569; L = (max + min)
// x 0.5; max = min has no hue (H = -1, S = 0); otherwise S = (max - min) /
// (max + min) for L < 0.5, else (max - min) / (2 - max - min), and H is
// 60 x ((G - B) / (max - min)) when R is the maximum, (B - R) / (max - min)
// + 2 when G is, (R - G) / (max - min) + 4 when B is, plus 360 when
// negative. The result takes H, S, L as follows:
//   Hue:        H source, S and L destination; a destination without hue is
//               left unchanged; a source without hue gives gray at L.
//   Saturation: S source, H and L destination; a destination without hue is
//               left unchanged.
//   Color:      H and S source, L destination; a source without hue gives
//               gray at the destination's L.
//   Luminosity: L source, H and S destination; a destination without hue
//               gives gray at the source's L.
// Gray at L is R = G = B = L x 255. Otherwise m2 = L x (1 + S) when L <= 0.5,
// else L + S - L x S; m1 = 2 L - m2; R, G, B = HueToRGB(m1, m2, H + 120),
// (H), (H - 120), where HueToRGB wraps h into 0..360 once and gives
// m1 + (m2 - m1) x h / 60 below 60, m2 below 180, m1 + (m2 - m1) x
// (240 - h) / 60 below 240, else m1, times 255 clamped to 0..255. Channels
// are stored truncated. Refuses other bit counts ("GL_CombineSaturation ::
// pdbmSrc pdbmDest Should be a 24bit image", the same text for all four).
int GL_CombineHue(CDIBitmap& dst, const CDIBitmap& src);
int GL_CombineSaturation(CDIBitmap& dst, const CDIBitmap& src);
int GL_CombineColor(CDIBitmap& dst, const CDIBitmap& src);
int GL_CombineLuminosity(CDIBitmap& dst, const CDIBitmap& src);

// Blends `src` onto `dst` (both from 0, 0, over width x height) in the given
// BlendMode, through `alpha` at (ax, ay) with `opacity`: the blended value
// T = f(destination, source) of the mode is put on the destination as
// GL_CombineBitmapWithAlpha puts a source (T = source for Normal; Multiply,
// Screen, Difference per byte as in BlendMode; 1-bit bytes AND, OR, XOR;
// Hue..Luminosity as the HSL blends). If Darker and If Lighter are
// GL_CombineBitmapWithAlphaTrans. kBlendNone and unknown modes draw nothing
// and return 1. The source is never changed. Refusals are those of the
// operation the mode stands for (GL_CombineBitmap for Multiply, Screen and
// Difference; the HSL blends' text for modes 7-10), then those of
// GL_CombineBitmapWithAlpha.
int GL_CombineBitmapByMode(CDIBitmap& dst, const CDIBitmap& src, const CDIBitmap& alpha, int ax, int ay, int width,
                           int height, int mode, int opacity);

// For every pixel of the rectangle whose alpha byte is 255 the destination
// byte becomes `value`; the rest stays. Used to build graded alpha edges: a
// copy of the alpha grown in steps by dilation, each step written at a lower
// value. Refuses an alpha that is not 8-bit ("SetAlphaValue :: plbmAlpha
// Should be a 8bit image"), then a destination that is not 8-bit
// ("SetAlphaValue :: plbmDst Should be a 8bit image").
int SetAlphaValue(CDIBitmap& dst, int dx, int dy, int width, int height, const CDIBitmap& alpha, int ax, int ay,
                  int value);

// Makes an 8-bit alpha (or a 24-bit image) partly transparent: every byte
// becomes byte x value / 255; value 255 does nothing, 0 clears. Refuses
// other bit counts ("VividSetBitmapTransparency :: pdbmDest Should be a 24bit
// or 8bit image").
int VividSetBitmapTransparency(CDIBitmap& dst, int value);
