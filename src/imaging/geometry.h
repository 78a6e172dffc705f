// Geometry: operations that change the shape of a bitmap.
//
// Every operation builds its result in a new bitmap of the image's own kind
// (CreateCompatible: bit count, gray/palette/CMYK kind and colour table are
// kept) and then moves it into the caller's object (Attach), so references to
// the object stay valid. The resolution is kept. The whole image is
// transformed whatever its selection mask says, and the result carries no
// mask: a selection no longer fits a turned, resized or re-cut image, and the
// document re-installs its selection afterwards.
//
// Every operation returns 1 on success. When the new bitmap cannot be
// created (a size below 1, or too much memory) the message "cannot Create
// Compatible Bitmpap" is shown, 0 is returned and the image is left as it
// was. An image without pixels, or of a bit count other than 1, 8, 24 or 32,
// gives 0 ("Invalid Bit Count" for the latter). While progress reporting is on
// the operations report per row and a cancel returns kResultCancelled (-29)
// with the image unchanged.
//
// Coordinates are pixels with (0, 0) at the top-left. Positive angles turn
// clockwise on the screen (x to the right, y downwards).
#pragma once

#include <cstdint>

class CDIBitmap;

// Quarter turn clockwise: the result is height x width; source row y becomes
// result column height - 1 - y read from the top, so the top row becomes the
// rightmost column. Exact for 1, 8, 24 and 32 bits.
int GL_Rotate90(CDIBitmap& bitmap);
// Half turn: source row y read right to left becomes result row
// height - 1 - y. Exact for every bit count.
int GL_Rotate180(CDIBitmap& bitmap);
// Quarter turn counter-clockwise: source row y read right to left becomes
// result column y, so the top row becomes the leftmost column with its right
// end at the top. Exact for every bit count.
int GL_Rotate270(CDIBitmap& bitmap);

// Mirror. vertical non-zero: row y becomes row height - 1 - y (top to
// bottom); vertical 0: every row is reversed (left to right). Exact.
int GL_FlipBitmap(CDIBitmap& bitmap, int vertical);

// Resamples a w x h image to width x height, first along the columns
// (h -> height), then along the rows (w -> width); an axis whose length does
// not change is copied. Along one axis with the ratio r = source length /
// target length computed as a float:
//  - shrinking (target shorter): target position i covers the source
//    positions start = trunc(i * r) (at most the last position) up to but not
//    including end = trunc((i + 1) * r) (at most the length, and at least
//    start + 1); each channel is the truncated integer mean of the covered
//    pixels;
//  - enlarging: s = i * r, i0 = trunc(s) and i1 = i0 + 1, both at most the
//    last position, f = s - i0 (float); each channel is
//    trunc(v(i0) * (1 - f) + v(i1) * f + 0.5).
// 8-bit gray, 24-bit and 32-bit images are resampled per channel; 1-bit and
// palette images take the pixel at start (shrinking) or i0 (enlarging).
// Resizing to the same size leaves every pixel as it was.
int GL_ResizeBitmap(CDIBitmap& bitmap, int width, int height);

// Nearest-pixel scaling of source into target (already created at the wanted
// size, the same bit count): result pixel (x, y) is source pixel
// (min(x * w / W, w - 1), y * h / H) in integer arithmetic, with w x h the
// source and W x H the target size. Pixel bytes, indices and bits are copied
// unchanged; the target's colour table is left alone; writes go through the
// target's mask. A target of another bit count is refused with
// "GL_ScaleNearest ::pdbmDest Should have the bit count of pdbmSrc".
int GL_ScaleNearest(const CDIBitmap& source, CDIBitmap& target);

// Rotates (x, y) about (cx, cy) by `angle` radians, clockwise on the screen:
//   x' = round((1 - cos a) cx + cy sin a + x cos a - y sin a)
//   y' = round(cy - (cy cos a + cx sin a) + y cos a + x sin a)
// with round(v) = floor(v + 0.5), so that negative results round like
// positive ones.
void GL_RotatePoint(int& x, int& y, int cx, int cy, double angle);

// Rotates the image by `angle` hundredths of a degree, clockwise.
//
// 1. The angle is brought into 0 .. 35999. Angles 4501 .. 13500 become a
//    quarter turn (GL_Rotate90) and the rest angle - 9000; 13501 .. 22500 a
//    half turn and angle - 18000; 22501 .. 31500 three quarter turns and
//    angle - 27000; above 31500, angle - 36000. The remaining angle a lies in
//    -45 .. 45 degrees (radians = hundredths x 0.00017453292519943277), so an
//    angle that is a multiple of 9000 gives exactly the quarter turns.
// 2. The w x h turned image (the source below) is rotated by a. With
//    expand non-zero the result size is the bounding box of the corners
//    (0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1) turned by GL_RotatePoint
//    about (w / 2, h / 2), plus 1 in each direction; with expand 0 it is the
//    original image's size. a = 0 gives w x h.
// 3. Two passes, rows then columns, in double with c = cos a, s = sin a,
//    q = 1 / c, t = s / c, the centres (cxs, cys) = ((w - 1) / 2, (h - 1) / 2)
//    of the source and (cxt, cyt) = ((W - 1) / 2, (H - 1) / 2) of the W x H
//    result. Pass 1 builds a W x h image: its row y, column x samples source
//    row y at X = round((cxs - cxt q) + t (y - cys)) + x round(q).
//    Pass 2 builds the result: its row y, column x samples column x of the
//    pass-1 image at Y = round((cys - c cyt) - s (x - cxt)) + y round(c).
//    Positions are fixed point with 32 fraction bits in 64-bit integers
//    (round(v) = floor(v x 2^32 + 0.5) here): p = P >> 32 (floor) is the
//    left/upper pixel and w8 = ((P mod 2^32) + 2^23) >> 24 its neighbour's
//    weight in 256ths (w8 = 256 moves p on by one with weight 0).
// 4. 8-bit gray, 24-bit and 32-bit images: each channel is
//    (v(p) x (256 - w8) + v(p + 1) x w8 + 128) >> 8; 1-bit and palette
//    images take v(p). Pixels outside the source are 0 (black, index 0, no
//    ink), so a position within one pixel outside the edge blends the edge
//    pixel with black (soft edges). With edgeCopy non-zero such a position
//    takes the edge pixel whole instead (used for a selected piece rotated
//    together with its mask).
// Rotation by 0 leaves the image unchanged.
int GL_RotateBitmap(CDIBitmap& bitmap, int angle, int expand, int edgeCopy = 0);

// Shears the image by `angle` hundredths of a degree. The angle is brought
// into 0 .. 35999 and then, tan having a period of 180 degrees, into
// -8999 .. 9000; t = tan(angle). Angles whose shear would need a result of
// more than 2^30 pixels along one axis (around 90 degrees) are refused with
// "cannot Create Compatible Bitmpap".
//  - horizontal (vertical 0): row y moves right by t x y - min(0, t x (h - 1))
//    pixels; the width grows by ceil(|t| x (h - 1)).
//  - vertical: column x moves down by -t x x - min(0, -t x (w - 1)) (the
//    angle negated); the height grows by ceil(|t| x (w - 1)).
// With the shift d of a row (column), F = -d, p0 = floor(F) and
// w8 = round((F - p0) x 256) (w8 = 256 moves p0 on by one with weight 0),
// result position i blends source positions i + p0 and i + p0 + 1 exactly as
// GL_RotateBitmap does (same weights, same zero background, 1-bit and
// palette images take the pixel at i + p0). Shear by 0 leaves the image
// unchanged.
int GL_ShearBitmap(CDIBitmap& bitmap, int angle, int vertical, int edgeCopy = 0);

// Canvas size: a new width x height bitmap of the image's own kind (colour
// table kept, CMYK stays CMYK) filled with `color` (0x00BBGGRR, through
// GL_FillBitmap: nearest table entry for 8 bits or fewer, converted to CMYK
// for 32 bits), with the image copied in at (dx, dy). anchor 1 .. 9 runs down
// the columns: column (anchor - 1) / 3 (0 left, 1 centre, 2 right) gives
// dx = 0, (width - w) / 2 or width - w, row (anchor - 1) % 3 (0 top,
// 1 centre, 2 bottom) gives dy = 0, (height - h) / 2 or height - h, divisions
// truncating toward zero. A smaller canvas crops. An unchanged size does
// nothing (the mask stays). Another anchor is refused with
// "GL_CanvasSize ::nAnchor Should be 1 to 9".
int GL_CanvasSize(CDIBitmap& bitmap, int width, int height, int anchor, uint32_t color);
