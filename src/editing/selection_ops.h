// The selection's region arithmetic, apart from any view: the shapes the
// selection tools draw, the paint-selection dab and its stepping, the
// magic wand's region, and the one-pixel growing and shrinking behind
// Border, Expand and Contract.
//
// Regions are in image coordinates (half-open rectangles, platform::Region).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/region.h"

class CDIBitmap;

// --- shapes of the drag tools (two image points each) ---

// The rectangle spanned by two corners in either order: left = smaller x,
// right = larger x (exclusive), the same vertically. A zero width or height
// gives an empty region.
platform::Region SelectionRectangle(platform::Point a, platform::Point b);
// The rounded rectangle (left, top, right + 1, bottom + 1) of the ordered
// corners, with corner ellipses of width |b.x - a.x| div 4 and height
// |b.y - a.y| div 4.
platform::Region SelectionRoundRectangle(platform::Point a, platform::Point b);
// The ellipse around `centre` with radii rx = |radius.x - centre.x|,
// ry = |radius.y - centre.y|: the one inscribed in (cx - rx, cy - ry,
// cx + rx + 1, cy + ry + 1), so it spans 2 rx + 1 columns and 2 ry + 1 rows.
platform::Region SelectionEllipse(platform::Point centre, platform::Point radius);

// --- moving the outline ---

// The box origin after moving `box` by (dx, dy) so that it keeps touching
// an image of width x height: a left edge at or past the image's right edge
// becomes width - box width, a right edge at or left of 0 puts the left edge
// at 0; the same vertically.
platform::Point MovedSelectionOrigin(const platform::Rect& box, int64_t dx, int64_t dy, int width, int height);

// --- paint selection ---

// The footprint of one dab of size s at image point (x, y): the square
// (x - s div 2, y - s div 2) of side s (shape 0), or for the circle (shape
// 1) the ellipse inscribed in that square grown by one pixel right and down.
platform::Region DabFootprint(platform::Point centre, int size, int shape);
// The dab distance in view pixels: trunc(displayed width x size x spacing %
// / image width + 0.5), at least 1.
int DabSpacing(int displayedWidth, int imageWidth, int size, int spacingPercent);
// Dabs from `last` toward `pointer` (view pixels): with d the distance
// between them, nothing when d < spacing; else n = trunc(d / spacing) dabs,
// the k-th at trunc(last + k x (pointer - last) / d x spacing + 0.5) each
// way. `last` becomes the final dab.
std::vector<platform::Point> StepDabs(platform::Point& last, platform::Point pointer, int spacing);

// --- magic wand ---

// The pixels four-way connected to `seed` that match it within `tolerance`
// (the tolerance fills of fill.h: OrderedFillMaskRGB for 24 and 32 bits,
// OrderedFillMaskGray for 8-bit gray, OrderedFillMaskIndex for 8-bit
// palette and 1-bit images, where only equal indices match). A seed outside
// the image gives an empty region. nullopt after a message when the plane
// cannot be made or the fill refuses the image.
std::optional<platform::Region> MagicWandRegion(const CDIBitmap& image, platform::Point seed, int tolerance);

// --- growing and shrinking ---
//
// Each works on an 8-bit plane holding 255 inside the region (clipped to
// the image, width x height) and 0 elsewhere, applies the 3 x 3 square
// element `times` times (GL_Dilate: maximum, positions outside the image
// count 0; GL_Erode: minimum, positions outside count 255, so shrinking
// never eats in from the image border) and turns the plane back into a
// region. Only the part of the image around the region that the steps can
// reach is worked on. nullopt when the plane cannot be made ("Not enough
// memory available !" shown) or the user cancelled.

std::optional<platform::Region> DilateRegion(const platform::Region& region, int width, int height, int times);
std::optional<platform::Region> ErodeRegion(const platform::Region& region, int width, int height, int times);
// The border of size n >= 1: the region dilated n div 2 times (the region
// itself when that is 0) minus the region eroded n - n div 2 times.
std::optional<platform::Region> BorderRegion(const platform::Region& region, int width, int height, int size);
