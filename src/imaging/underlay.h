// Pattern underlay: a gray pattern laid under the image, so that it shows
// through the light parts as a texture and vanishes in the dark ones, and
// the built-in patterns.
#pragma once

#include <string_view>
#include <vector>

class CDIBitmap;

// How the pattern covers the image.
enum UnderlayFit {
  kUnderlayTile = 0,     // repeated from the top-left corner
  kUnderlayStretch = 1,  // scaled once over the whole bitmap
};

// Multiplies every pixel of `bitmap` by the pattern value b laid over it:
//   gray and 24-bit channels   v' = (v x b + 127) / 255
//   32-bit CMYK inks           k' = 255 - ((255 - k) x b + 127) / 255
// (the CMYK form multiplies the lightness 255 - ink, so white paper takes
// the pattern and full ink stays full). b for pixel (x, y), counted from the
// top-left of `bitmap`:
//   tile     pattern(x mod pw, y mod ph)
//   stretch  pattern((2x + 1) pw div (2w), (2y + 1) ph div (2h)), the
//            nearest pattern pixel to the centre of the bitmap's pixel
// with w x h the bitmap's and pw x ph the pattern's size. Rows are written
// with PutRow, so the selection mask confines the change.
// Refuses, unchanged: an 8-bit palette or 1-bit bitmap with the message
// "Underlay needs a gray, RGB or CMYK image: convert the image to
// Grayscale(8BIT) or RGB(24BIT) first." (0); a pattern that is not 8-bit
// gray or has no pixels, or a fit other than the two above
// (kResultInvalidParameter). A bitmap without pixels gives 1.
int GL_UnderlayBitmap(CDIBitmap& bitmap, const CDIBitmap& pattern, int fit);

// The built-in patterns, in list order: "Canvas", "Brick", "Paper",
// "Burlap", "Stripes".
const std::vector<std::string_view>& GL_UnderlayPatternNames();

// Makes built-in pattern `name` into `pattern`: an 8-bit gray tile that
// repeats without seams (Canvas, Burlap and Stripes 64 x 64, Brick and Paper
// 128 x 128), the same bytes on every call. 0 for an unknown name (pattern
// untouched), kResultOutOfMemory when it cannot be made.
int GL_MakeUnderlayPattern(CDIBitmap& pattern, std::string_view name);
