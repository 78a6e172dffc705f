// Library services shared by every GL_ operation: creation of bitmaps of
// each kind, copies and crops, fills, and display transfer.
#pragma once

#include <cstdint>

#include "image/dibitmap.h"
#include "platform/palette.h"

// Free, returns 1.
int GL_FreeBitmap(CDIBitmap& bitmap);
// CreateCompatible.
int GL_CreateCompatibleBitmap(CDIBitmap& target, const CDIBitmap& source, int width, int height);
// Create (width, height, 32, 3).
int GL_CreateCMYKBitmap(CDIBitmap& target, int width, int height);
// Create (width, height, 24, 0).
int GL_CreateRGBBitmap(CDIBitmap& target, int width, int height);
// Create (width, height, 8, 1).
int GL_CreateGrayBitmap(CDIBitmap& target, int width, int height);
// Create (width, height, bitCount, 2), then, when a table is given, its
// first 2 entries (1 bit) or 256 entries (otherwise) as the colour table.
int GL_CreateIndexedBitmap(CDIBitmap& target, int width, int height, int bitCount, const uint8_t* table);
// ClearMask, returns 1.
int GL_FreeMask(CDIBitmap& bitmap);
// The 256-entry gray-ramp display palette.
platform::Palette GL_CreateGrayPalette();
// CopyRect with clamp 0; returns 1.
int GL_CopyBitmapRect(CDIBitmap& target, const CDIBitmap& source, int x, int y, int width, int height);
// Replaces the bitmap by its rectangle (x, y, width, height); nothing when
// the rectangle is the whole bitmap. The object stays the same (Attach).
int GL_CropBitmap(CDIBitmap& bitmap, int x, int y, int width, int height);
// Draws the bitmap onto a 24-bit raster; CMYK bitmaps go through a
// temporary 24-bit copy of the source rectangle (GL_CMYKToRGBRect).
int GL_DrawBitmap(Raster& target, const CDIBitmap& bitmap, const platform::Rect* sourceRect,
                  const platform::Rect* destRect);
// Fills every row through the mask with one colour (0x00BBGGRR): 1 bit all
// bits 1 or 0 as the nearest table entry is non-zero or zero, 8 bits the
// nearest table index, 24 bits blue, green, red, 32 bits the colour
// converted to CMYK. Returns 1.
int GL_FillBitmap(CDIBitmap& bitmap, uint32_t color);
// Fills with a table index through the mask: 1 bit all bits 1 for a
// non-zero index, else 0; 8 bits the index. Other bit counts are refused
// with "GL_FillBitmapIndex :: pdbmDest Should be a  8bit or 1 image".
int GL_FillBitmapIndex(CDIBitmap& bitmap, int index);
