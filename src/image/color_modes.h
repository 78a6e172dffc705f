// Colour-mode conversion: gray, RGB, CMYK, black-and-white and 8-bit palette
// images, the three palettes and the three dithering modes, and the merge of
// gray planes into a colour image.
//
// Luminance everywhere is Y = (306 R + 601 G + 117 B + 512) / 1024 (integer
// division). RGB and CMYK pixels are converted with GL_RGBToCMYK and
// GL_CMYKToRGB (color_convert.h), so an installed colour transform applies.
// Every 32-bit source is read as CMYK.
//
// The building blocks (GL_ConvertToRGB, GL_ConvertToBW, GL_ConvertToIndexed)
// fill a target the caller created with the source's width and height; rows
// are written through the target's selection mask, if it has one. The
// commands (GL_ConvertToGray and GL_ConvertImageTo...) build a new bitmap of
// the target kind and then replace the image (Attach), so references to the
// image stay valid; the image's resolution is kept and its selection mask is
// dropped.
//
// Progress: while reporting is on, every conversion reports each finished
// row (ProgressStep(100 x row / height); the palette conversion gives its
// first pass the first half of the range). A cancel leaves the image
// unchanged and the result is kResultCancelled. Result codes: kResultOk (1)
// success, kResultRefused (0) refused or out of memory (the image
// unchanged), kResultCancelled.
//
// Row-independent conversions run on two threads in two bands of rows when
// reporting is off and no colour transform is involved; the result is
// identical to one thread. Error diffusion always runs on one thread.
#pragma once

#include "image/result_codes.h"

#include <cstdint>
#include <span>

class CDIBitmap;

// Dithering method of the "Black/White 1BIT" and "Palette 8Bit " dialogs.
enum DitherMode : int {
  kDitherNone = 0,
  kDitherOrdered = 1,
  kDitherDiffusion = 2,
};

// Palette of the "Palette 8Bit " dialog, in the order of its list.
enum PaletteChoice : int {
  kPaletteSystem = 0,
  kPaletteAdaptive = 1,
  kPaletteNetscape = 2,
};

// The fixed palettes as colour tables (256 entries of blue, green, red, 0).
//
// "Netscape": the 216 colours with red, green, blue in 0, 51, 102, 153, 204,
// 255 (blue varying fastest, then green, then red), then 40 entries of black.
//
// "System": the 256-colour palette a paletted display shows by default:
// entries 0-9 and 246-255 are the twenty static colours of that palette
// (black, the eight dark primaries and mixes at 128, silver 192, money green
// 192,220,192, sky blue 166,202,240, cream 255,251,240, medium gray
// 160,160,164, gray 128 and the bright primaries and mixes at 255, white);
// entries 10-225 are the 6 x 6 x 6 cube in the Netscape order, so that
// ordered dithering to six levels finds every colour it makes; entries
// 226-245 are twenty grays (four between each pair of the cube's gray
// levels, 51 i + round(51 j / 5) for j = 1..4), which make the gray axis
// steps of about 10. Returns 256, or 0 for kPaletteAdaptive (table zeroed).
int GL_GetFixedPalette(PaletteChoice choice, uint8_t table[1024]);

// The ordered-dither threshold matrix for `levels` levels per channel:
// step = 255.0 / (levels - 1); M[r][c] = trunc((B[r div 4][c div 4] / 16 +
// B[r mod 4][c mod 4]) x (step - 1) / 16 + 0.5) with the 4 x 4 base
// 0 8 2 10 / 12 4 14 6 / 3 11 1 9 / 15 7 13 5. A value v at column x of row
// y becomes level q(v) + (1 when rem(v) > M[x mod 16][y mod 16]), where
// q(v) = trunc(v / step) and rem(v) = v - trunc(q(v) x step), and the
// dithered channel value is level x trunc(step). levels is 2 to 256.
void GL_OrderedDitherMatrix(int levels, uint8_t matrix[16][16]);

// "&Grayscale(8BIT)": replaces the image by an 8-bit gray image of the same
// size: 1 bit gives 255 for a set bit and 0 otherwise (the colour table is
// not consulted), 8-bit palette Y of the pixel's table entry, 24 bits Y of
// the pixel, 32 bits Y of the pixel converted to RGB. A gray image, and a
// bit count the kinds do not include, are left unchanged (result 1).
int GL_ConvertToGray(CDIBitmap& bitmap);

// Fills a 24-bit target of the source's size: 1-bit and 8-bit sources
// through their colour table, 32-bit sources converted from CMYK. A 24-bit
// source is not copied (result 1, target untouched). Refuses a target of
// another kind ("GL_ConvertToRGB ::pdbmDest Should be a 24bit image") or
// size ("GL_ConvertToRGB ::pdbmDest Should be the size of pdbmSrc").
int GL_ConvertToRGB(CDIBitmap& target, const CDIBitmap& source);

// Fills a 1-bit target of the source's size, whose table becomes entry 0
// black and entry 1 white, from the luminance v of each source pixel:
// kDitherNone sets the bit when v >= 128; kDitherOrdered sets it when the
// ordered level for two levels is non-zero; kDitherDiffusion sets it when
// the diffused value is >= 128 and spreads the error v - (0 or 255) (see
// below). Refuses a target of another kind ("GL_ConvertToBW ::pdbmDest
// Should be a 1bit image") or size ("GL_ConvertToBW ::pdbmDest Should be
// the size of pdbmSrc"), and a source of another bit count than 1, 8, 24,
// 32 ("GL_ConvertToBW ::pdbmSrc Invalid Bit Count").
//
// Error diffusion (also used by GL_ConvertToIndexed, per channel): rows are
// scanned top to bottom, pixels left to right; the error e = wanted -
// chosen goes to the neighbours as new = clamp((old x 16 + e x k) / 16, 0,
// 255) (integer division truncating towards zero) with k = 7 for (x + 1, y),
// 3 for (x - 1, y + 1), 5 for (x, y + 1) and 1 for (x + 1, y + 1), each only
// when the neighbour is inside the image.
int GL_ConvertToBW(CDIBitmap& target, const CDIBitmap& source, DitherMode dither);

// Fills an 8-bit target of the source's size with palette indices and
// stores the palette in the target's colour table (and in `tableOut`, 1024
// bytes, when given).
//
// "Adaptive": an OctreeQuantizer is fed every source pixel (pre-dithered to
// 18 levels per channel under kDitherOrdered), reduced to at most `colors`
// leaves (8 to 256, default 256) and read as the palette; the remaining
// entries are zero. "System" and "Netscape": the fixed table's colours are
// put into the octree, one leaf per colour, the first index of a repeated
// colour winning. Each pixel is then mapped by the octree (see
// octree_quantizer.h) with its colour: the source colour (kDitherNone), the
// colour pre-dithered to 18 levels ("Adaptive") or 6 levels (fixed
// palettes) (kDitherOrdered), or the diffused colour, the difference to the
// chosen entry's colour being spread per channel (kDitherDiffusion). For
// the fixed palettes the mapping is the nearest entry (least sum of squared
// differences, the lowest index on ties).
//
// Refuses a target of another kind ("GL_ConvertToIndexed ::pdbmDest Should
// be a 8bit image") or size ("GL_ConvertToIndexed ::pdbmDest Should be the
// size of pdbmSrc"), and a source of another bit count than 1, 8, 24, 32
// ("GL_ConvertToIndexed ::pdbmSrc Invalid Bit Count").
int GL_ConvertToIndexed(CDIBitmap& target, const CDIBitmap& source, PaletteChoice palette, DitherMode dither,
                        int colors = 256, uint8_t* tableOut = nullptr);

// "RGB(24BIT)": replaces the image by a 24-bit image filled by
// GL_ConvertToRGB; a 24-bit image is left unchanged.
int GL_ConvertImageToRGB(CDIBitmap& image);
// "CMYK(32BIT)": replaces the image by a CMYK image, each pixel (read as RGB
// through the colour table below 24 bits) converted by GL_RGBToCMYK; a
// 32-bit image is left unchanged.
int GL_ConvertImageToCMYK(CDIBitmap& image);
// "&Black/White(1BIT)...": replaces the image by a 1-bit image filled by
// GL_ConvertToBW.
int GL_ConvertImageToBW(CDIBitmap& image, DitherMode dither);
// "Palette(8BIT)...": replaces the image by an 8-bit palette image filled by
// GL_ConvertToIndexed with 256 colours.
int GL_ConvertImageToIndexed(CDIBitmap& image, PaletteChoice palette, DitherMode dither);

// The plane merge of "Channel Co&mbine...": three 8-bit gray planes (red,
// green, blue) make a 24-bit target, four (cyan, magenta, yellow, black) a
// CMYK target; pixel x of row y takes the plane's level at (x, y) as that
// channel. The target is rebuilt (Attach). Refuses another plane count
// ("GL_MergePlanes ::nPlanes Should be 3 or 4"), a plane that is missing or
// not 8-bit gray ("GL_MergePlanes ::pdbmSrc Should be a 8bit Gray image") and
// planes of different sizes ("GL_MergePlanes ::pdbmSrc Should be the same
// size").
int GL_MergePlanes(CDIBitmap& target, std::span<const CDIBitmap* const> planes);

