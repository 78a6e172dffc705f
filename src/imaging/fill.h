// Fills, masks and regions: the tolerance flood fills behind the magic wand
// and the fill tool, the conversion between mask bitmaps and regions, and
// filling a region or a rectangle with one colour.
//
// A mask bitmap is 1 bit (a set bit is selected) or 8 bits (non-zero is
// selected), in document coordinates. Regions are platform::Region values
// (half-open rectangles).
#pragma once

#include <cstdint>

#include "platform/region.h"

class CDIBitmap;

// The tolerance of the magic wand and the fill tool, 0..255 (values outside
// are taken as the nearest end). One process-wide value, set by the tool
// options.
extern int FillTolerance;

// Tolerance flood fills. The source bitmap lies at (ox, oy) in the document
// (a floating selection need not lie at 0, 0); (x, y) is the clicked
// document position and `seed` the clicked source pixel: for RGB its colour
// 0x00BBGGRR (GetPixelColor), for gray its level, for palette and 1-bit
// images its raw index (GetPixel).
//
// A source pixel matches when
//   RGB:   max(|R - seed R|, |G - seed G|, |B - seed B|) <= FillTolerance,
//   gray:  |v - seed| <= FillTolerance,
//   index: the index equals the seed exactly.
// CMYK sources are compared by their colours converted to RGB
// (GL_CMYKToRGB), the same colour GetPixelColor gives for the seed, so the
// tolerance means the same thing on every kind of image.
//
// The fill marks with 1 (SetPixel, so the mask bitmap's own selection limits
// the marking) the mask pixel at (column + ox, row + oy) of every source
// pixel four-way connected to (x - ox, y - oy) through pixels that are taken.
// A pixel is taken when it matches, its document position lies inside the
// mask bitmap and is not already marked (non-zero), and, when the mask
// bitmap holds a selection region (BF_HAS_REGION), that position lies in the
// region. Nothing is marked when the clicked pixel itself is not taken.
//
// `bounds` receives the bounding rectangle of the taken pixels in document
// coordinates (left = min x + ox, top = min y + oy, right = max x + ox + 1,
// bottom = max y + oy + 1), or all zero when nothing was taken. Returns 1,
// or 0 after showing the message for a source of another kind:
//   "OrderedFillMaskRGB: pdbmSrc Should be a 24bit image" (24 or 32 bits),
//   "OrderedFillMaskGray: pdbmSrc Should be a 8bit Gray image",
//   "OrderedFillMaskIndex: pdbmSrc Should be a indexed palette image"
//   (8-bit palette or 1 bit).
// The fill keeps its own record of the pixels it has taken, so it ends even
// where the mask bitmap's selection keeps a mark from being written.
int OrderedFillMaskRGB(const CDIBitmap& source, int ox, int oy, CDIBitmap& mask, int x, int y, uint32_t seed,
                       platform::Rect& bounds);
int OrderedFillMaskGray(const CDIBitmap& source, int ox, int oy, CDIBitmap& mask, int x, int y, uint32_t seed,
                        platform::Rect& bounds);
int OrderedFillMaskIndex(const CDIBitmap& source, int ox, int oy, CDIBitmap& mask, int x, int y, uint32_t seed,
                         platform::Rect& bounds);

// The region of the non-zero pixels of a 1- or 8-bit mask inside `rect`
// (the whole bitmap when null; the rectangle is clipped to the bitmap).
// `region` first loses whatever it held. Another bit count is refused with
// "GL_GetRgnFromBitmap :: pdbmDst should  be a 1bit, 8bit image" (0; the
// region is then left without a handle, which reads as empty).
int GL_GetRgnFromBitmap(const CDIBitmap& mask, platform::Region& region, const platform::Rect* rect);

// Makes `target` an 8-bit gray bitmap of width x height, 255 inside the
// region and 0 elsewhere. 0 when the bitmap cannot be created.
int GL_CreateMaskFromRgn(CDIBitmap& target, int width, int height, const platform::Region& region);

// Fills every rectangle of the region with a colour 0x00BBGGRR: at 8 bits or
// fewer the nearest colour-table index (least squared distance, lowest index
// on ties), at 24 bits blue, green, red, at 32 bits the colour converted by
// GL_RGBToCMYK. Through the bitmap's selection mask. Returns 0 with nothing
// filled for a region without a handle or a bitmap without pixels.
int GL_FillRgn(CDIBitmap& bitmap, const platform::Region& region, uint32_t color);

// Fills one rectangle (clipped to the bitmap; a rectangle wholly outside is
// skipped) through the bitmap's selection mask. `value` is a colour-table
// index at 8 bits or fewer (1 bit: every bit 1 for a non-zero index), a
// colour 0x00BBGGRR at 24 bits, and a colour converted by GL_RGBToCMYK at 32
// bits. Returns 0 for a bitmap without pixels or of another bit count.
int GL_FillRect(CDIBitmap& bitmap, const platform::Rect& rect, uint32_t value);
