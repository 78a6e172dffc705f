// Tone and colour adjustments: point operations on a CDIBitmap (every output
// pixel depends only on the same input pixel), the histogram the adjustment
// dialogs show, the luminance shared with the gray conversions, and the
// table builders of the adjustment dialogs.
//
// Common rules of the in-place operations below:
// - Rows are read, transformed and written back with PutRow, so writes honour
//   the selection mask: unselected pixels keep their value.
// - While progress reporting is on, every finished row is reported
//   (ProgressStep(100 * row / height)); a cancel restores the bitmap and the
//   operation returns kResultCancelled (-29). With reporting off, large
//   images run in two row bands on two threads; the result is the same.
// - Return 1 on success and 0 after showing the refusal message (bitmap
//   unchanged). An operation on a bitmap without pixels does nothing and
//   returns 1.
// - 24-bit pixels are stored blue, green, red; 32-bit CMYK pixels cyan,
//   magenta, yellow, black (0 = no ink).
#pragma once

#include <array>
#include <cstdint>

class CDIBitmap;

// ---------------------------------------------------------------------------
// Luminance

// Y = (306 R + 601 G + 117 B + 512) / 1024, in 0..255. The weights sum to
// 1024, so a gray pixel (R = G = B = v) has Y = v.
constexpr int GL_Luminance(int red, int green, int blue) {
  return (306 * red + 601 * green + 117 * blue + 512) >> 10;
}

// Fixed-point products for the luminance and the YIQ chroma, for v = 0..255:
// Y = yr[R] + yg[G] + yb[B] (306 v, 601 v, 117 v), I = ir - ig - ib
// (610 v, 281 v, 330 v), Q = qr - qg + qb (216 v, 536 v, 319 v); each sum is
// then (sum + 512) / 1024, truncated toward zero.
struct YIQTables {
  int32_t yr[256], yg[256], yb[256];
  int32_t ir[256], ig[256], ib[256];
  int32_t qr[256], qg[256], qb[256];
};
// The tables, built once (at compile time).
const YIQTables& GL_GetYIQTables();

// Converts `count` pixels of a 24-bit row (blue, green, red) to gray levels Y.
void GL_LuminanceRow(const uint8_t* bgr, uint8_t* gray, int count);

// ---------------------------------------------------------------------------
// Channels shared by GL_RemapBitmapIntensity and GL_GetHistogram: 0 all
// channels; 24-bit images 1 red (byte 2), 2 green (byte 1), 3 blue (byte 0);
// 32-bit images 1 cyan (byte 0), 2 magenta (byte 1), 3 yellow (byte 2),
// 4 black (byte 3); -1 (histogram only) luminance.
inline constexpr int kChannelAll = 0;
inline constexpr int kChannelLuminance = -1;

// A 256-entry lookup table: entry v is the output for input v.
using ToneTable = std::array<uint8_t, 256>;

// Replaces pixel values through `table`:
// - 8 bits: every byte (gray level or palette index) becomes table[byte];
// - 24 bits: channel 1, 2 or 3 remaps only red, green or blue, any other
//   value all three bytes;
// - 32 bits: channel 1..4 remaps only that ink, any other value all four.
// Refuses 1-bit images with
// "GL_RemapBitmapIntensity :: pdbmDest cannot  be a 16bit or  below 8 bit gray image".
int GL_RemapBitmapIntensity(CDIBitmap& bitmap, const ToneTable& table, int channel);

// Table form: 8-bit bytes and all three 24-bit channels go through `table`;
// a 32-bit ink x becomes 255 - table[255 - x] (the table is meant for light
// values). Refuses 1-bit images with
// "GL_ChangeIntensity :: pdbmDest Should be a 24bit a 8 bit gray image".
int GL_ChangeIntensity(CDIBitmap& bitmap, const ToneTable& table);

// Amount form, amount in thousandths of full scale (the retouch brush uses
// +100 to lighten, -100 to darken). In single precision:
// - 8 bits: v becomes trunc(255 * clamp(v * 0.003921569 + amount * 0.001, 0, 1));
// - 24 bits: per pixel in HSL (as GL_ChangeHSL), L becomes
//   clamp(L + amount * 0.001, 0, 1) with H and S kept; a pixel without hue
//   becomes gray trunc(L' * 255);
// - 32 bits: the pixel goes to RGB (GL_CMYKToRGB), is changed as for 24
//   bits and goes back (GL_RGBToCMYK).
// Refuses 1-bit images with the message of the table form.
int GL_ChangeIntensity(CDIBitmap& bitmap, int amount);

// HSL adjustment of a 24-bit image; saturation and lightness in thousandths,
// hue in degrees. Per pixel, in single precision, with channels scaled by
// 0.003921569: L = (max + min) / 2; a pixel with max = min has no hue;
// otherwise S = (max - min) / (max + min) for L < 0.5, else
// (max - min) / (2 - max - min), and H = 60 * ((G - B) / (max - min)) when R
// is the maximum, 60 * ((B - R) / (max - min) + 2) when G is, 60 * ((R - G) /
// (max - min) + 4) when B is, plus 360 when negative. Then
// L' = clamp(L + lightness * 0.001, 0, 1); a pixel without hue becomes gray
// R = G = B = trunc(L' * 255); otherwise H' = H + hue (plus 360 below 0,
// minus 360 above 360), S' = clamp(S + saturation * 0.001, 0, 1), and RGB
// comes back through m2 = L' (1 + S') for L' <= 0.5, else L' + S' - L' S';
// m1 = 2 L' - m2; R = HueToRGB(H' + 120), G = HueToRGB(H'),
// B = HueToRGB(H' - 120), where HueToRGB(h) wraps h once into 0..360 and is
// m1 + (m2 - m1) h / 60 below 60, m2 below 180, m1 + (m2 - m1) (240 - h) / 60
// below 240, else m1, times 255, clamped to 0..255 and truncated.
// Refuses other bit counts with "GL_ChangeHSL ::pdbmDest Should be a 24bit image".
int GL_ChangeHSL(CDIBitmap& bitmap, int hue, int saturation, int lightness);

// GL_ChangeHSL with hue 0 and lightness 0, except that pixels without hue are
// left unchanged (the retouch brush uses +250 to saturate, -250 to
// desaturate). Refuses other bit counts with
// "GL_ChangeSaturation :: pdbmDest Should be a 24bit image".
int GL_ChangeSaturation(CDIBitmap& bitmap, int amount);

// Level offsets per channel: 24 bits R = clamp(R + red, 0, 255), G and B
// likewise; 32-bit CMYK cyan = clamp(cyan - red), magenta = clamp(magenta -
// green), yellow = clamp(yellow - blue), black unchanged. 8-bit images are
// accepted and left unchanged. Refuses 1-bit images with
// "GL_ColorBalance :: pdbmDest cannot  be a 16bit or  below 8 bit gray image".
int GL_ColorBalance(CDIBitmap& bitmap, int red, int green, int blue);

// Negative: 1-bit, 8-bit gray, 24-bit and 32-bit images have every byte
// replaced by 255 - byte (all four inks for CMYK). An 8-bit palette image
// keeps its indices and has each colour-table entry's red, green and blue
// inverted, once (the table is shared by every pixel, so the selection does
// not limit it). Returns 1.
int GL_InvertBitmap(CDIBitmap& bitmap);

// "Invert BGR order": 24-bit pixels exchange bytes 0 and 2; an 8-bit palette
// image exchanges red and blue in each colour-table entry, once; gray and
// other images are unchanged. Returns 1.
int GL_SwapRedBlue(CDIBitmap& bitmap);

// Histogram: 256 counts.
using Histogram = std::array<uint32_t, 256>;

// Clears `histogram` and counts the selected pixels (all pixels without a
// selection mask):
// - 8-bit gray and 1-bit: the value (1-bit pixels count as 0 or 1);
// - 8-bit palette: the table entry's red, green or blue for channel 1, 2, 3;
//   channel -1 the entry's luminance; any other channel one count to each of
//   its red, green and blue;
// - 24 bits: channel 1, 2, 3 red, green, blue; -1 Y; any other channel all
//   three (three counts per pixel);
// - 32 bits: channel 1..4 the inks; -1 the luminance of R = 255 - C - K,
//   G = 255 - M - K, B = 255 - Y - K (each clamped at 0); any other channel
//   all four inks.
// Returns 1 (0 for a bitmap of another bit count, histogram cleared).
int GL_GetHistogram(const CDIBitmap& bitmap, Histogram& histogram, int channel);

// Histogram equalisation on the luminance. With the channel -1 histogram of
// the selected pixels and N their number, table[i] = trunc(c(i) * 255.0 / N
// + 0.5) where c(i) is the count of levels 0..i. 8-bit gray: v becomes
// table[v]. 24 bits: per pixel I = (610 R - 281 G - 330 B + 512) / 1024,
// Q = (216 R - 536 G + 319 B + 512) / 1024 (truncated toward zero), Y' =
// table[Y]; R = (1024 Y' + 979 I + 636 Q + 512) / 1024, G = (1024 Y' - 280 I
// - 663 Q + 512) / 1024, B = (1024 Y' + 2 (871 Q - 565 I) + 512) / 1024, each
// truncated toward zero and clamped to 0..255. Palette and other images, and
// an empty selection, are left unchanged. Returns 1.
int GL_EqualizeBitmap(CDIBitmap& bitmap);

// Contrast stretch over all channels: with lo and hi the lowest and highest
// levels of the channel-0 histogram of the selected pixels, table[i] = 0 below
// lo, 255 above hi, trunc((i - lo) * (255.0 / (hi - lo)) + 0.5) between; every
// byte of 8-bit gray, 24-bit and 32-bit images goes through it. Nothing is
// done when every counted value is one level (lo = hi: there is no range to
// stretch, so the image is left as it is) or nothing is selected. Palette and
// 1-bit images are unchanged. Returns 1.
int GL_StretchIntensity(CDIBitmap& bitmap);

// Splits a colour image into 8-bit gray images of its size, one per channel:
// mode 0 a 24-bit source into targets[0..2] (red, green, blue), mode 1 a
// 32-bit source into targets[0..3] (cyan, magenta, yellow, black). Each
// target is created anew (Create with options 1). Returns 1; 0 without a
// message when the source does not fit the mode or a target cannot be
// created (targets made so far are freed).
int GL_SeparateChannels(const CDIBitmap& source, CDIBitmap* const* targets, int mode);

// ---------------------------------------------------------------------------
// Table sets of the adjustment dialogs

// One table per channel with an in-use flag: index 0 the table for all
// channels, then 1..3 for red, green, blue or 1..4 for cyan .. black.
struct ToneTableSet {
  std::array<bool, 5> inUse{};
  std::array<ToneTable, 5> tables{};
};

// The identity table (entry v is v).
ToneTable GL_IdentityTable();

// Applies a dialog's table set as GL_RemapBitmapIntensity would from the
// highest channel number down to 0, each only when in use: each byte goes
// first through its channel's table, then through the all-channel table
// (done in one pass over the image). 8-bit gray images use only table 0.
// 8-bit palette images have the tables applied to their colour table
// (entries' red, green, blue as channels 1, 2, 3) instead of to the indices,
// so that the colours change as they do in an RGB image. Returns 1, or the
// refusal of GL_RemapBitmapIntensity for 1-bit images.
int GL_ApplyToneTables(CDIBitmap& bitmap, const ToneTableSet& set);

// Brightness/contrast table, both in -100..100. With b = 1.275 brightness,
// c = 1.275 contrast and d = 255 - 2c: when |d| >= 0.5, slope = 255 / d,
// offset = b - slope c, top = 255 slope + offset; input low = 0 and output
// low = trunc(offset) when offset >= 0, else input low = trunc(-offset /
// slope) and output low = 0; input high = trunc((255 - offset) / slope) and
// output high = 255 when top >= 255, else input high = 255 and output high =
// trunc(top). Otherwise (contrast 100) input low = trunc(c), input high =
// input low + 1, outputs 0 and 255. Entry v is output low below input low,
// output high above input high, and in between output low + trunc((v -
// input low) / (input high - input low) * (output high - output low)) (output
// low for an empty span).
ToneTable GL_BrightnessContrastTable(int brightness, int contrast);

// Threshold table: 0 for v < level, 255 for v >= level (level 1..255; 128
// splits the range in halves).
ToneTable GL_ThresholdTable(int level);

// Levels table: inputs at or below inLow give outLow, at or above inHigh give
// outHigh, and in between t = (v - inLow) / (inHigh - inLow) gives
// outLow + floor(t^(1/gamma) * (outHigh - outLow) + 0.5). Output high may be
// below output low (an inverted ramp). inLow >= inHigh gives a step at inLow
// (outLow at or below, outHigh above); gamma <= 0 is taken as 1.
ToneTable GL_LevelsTable(int inLow, int inHigh, double gamma, int outLow, int outHigh);

// The "Hue/Saturation" dialog's values (hue -180..180 degrees, saturation
// and lightness -100..100) applied as GL_ChangeHSL (hue, saturation * 10,
// lightness * 10). All three 0 does nothing and returns 1.
int GL_ApplyHueSaturation(CDIBitmap& bitmap, int hue, int saturation, int lightness);

// The "Color Balance" dialog's sliders (each -100..100) as the offsets of
// GL_ColorBalance: (R - G/2 - B/2, G - R/2 - B/2, B - R/2 - G/2), halves
// truncated toward zero.
std::array<int, 3> GL_ColorBalanceOffsets(int red, int green, int blue);
