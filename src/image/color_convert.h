// Per-pixel conversion between RGB and CMYK, and the rectangle forms the
// display and the colour-mode commands use.
//
// Without a colour transform the simple formulas hold:
//   RGB to CMYK: C = 255 - R, M = 255 - G, Y = 255 - B, K = 0
//   CMYK to RGB: R = max(0, 255 - C - K), G = max(0, 255 - M - K),
//                B = max(0, 255 - Y - K)
// A colour-managed transform may be installed in the process-wide slot;
// while one is installed every conversion goes through it.
#pragma once

#include <cstdint>
#include <memory>

class CDIBitmap;

// A colour transform for the two directions, installed by colour management.
// Rows are `count` pixels: RGB rows in pixel order blue, green, red; CMYK
// rows cyan, magenta, yellow, black.
class CColorTransform {
 public:
  virtual ~CColorTransform() = default;
  virtual void RGBToCMYK(const uint8_t* bgr, uint8_t* cmyk, int count) const = 0;
  virtual void CMYKToRGB(const uint8_t* cmyk, uint8_t* bgr, int count) const = 0;
};

// Installs the transform (nullptr: back to the simple formulas); returns the
// previous one. The slot shares ownership: a conversion holds the transform
// for the rows it converts, so replacing or removing it while another thread
// converts is safe (the old transform lives until that thread lets go).
std::shared_ptr<const CColorTransform> GL_SetColorTransform(std::shared_ptr<const CColorTransform> transform);
std::shared_ptr<const CColorTransform> GL_GetColorTransform();
// True while a transform is installed.
bool GL_HasColorTransform();

void GL_RGBToCMYK(uint8_t red, uint8_t green, uint8_t blue, uint8_t cmyk[4]);
void GL_CMYKToRGB(const uint8_t cmyk[4], uint8_t& red, uint8_t& green, uint8_t& blue);

// Row forms of the two conversions (same results as the per-pixel ones).
void GL_RGBRowToCMYK(const uint8_t* bgr, uint8_t* cmyk, int count);
void GL_CMYKRowToRGB(const uint8_t* cmyk, uint8_t* bgr, int count);

// Converts the rectangle (x, y, width, height) of a CMYK source into a
// 24-bit target from the target's row 0 and column 0. Rows beyond the
// source's last row end the loop; columns are cut at both bitmaps' right
// edges. Refuses (message, 0) when the kinds are wrong.
int GL_CMYKToRGBRect(CDIBitmap& target, const CDIBitmap& source, int x, int y, int width, int height);
// The same from a 24-bit source into a CMYK target.
int GL_RGBToCMYKRect(CDIBitmap& target, const CDIBitmap& source, int x, int y, int width, int height);
