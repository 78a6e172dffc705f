// Lookup tables and parameter conversions of the tone adjustment dialogs:
// brightness/contrast, threshold, levels, hue/saturation and colour balance.
#include <algorithm>
#include <cmath>

#include "imaging/tone.h"

namespace {

uint8_t ToByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

ToneTable GL_BrightnessContrastTable(int brightness, int contrast) {
  const double b = brightness * 1.275;
  const double c = contrast * 1.275;
  const double d = 255.0 - 2.0 * c;
  int inLow, inHigh, outLow, outHigh;
  if (std::fabs(d) >= 0.5) {
    const double slope = 255.0 / d;
    const double offset = b - slope * c;
    const double top = slope * 255.0 + offset;
    if (offset >= 0) {
      inLow = 0;
      outLow = static_cast<int>(offset);
    } else {
      inLow = static_cast<int>(-offset / slope);
      outLow = 0;
    }
    if (top >= 255.0) {
      inHigh = static_cast<int>((255.0 - offset) / slope);
      outHigh = 255;
    } else {
      inHigh = 255;
      outHigh = static_cast<int>(top);
    }
  } else {
    // Contrast at its maximum: a step in the middle.
    inLow = static_cast<int>(c);
    inHigh = inLow + 1;
    outLow = 0;
    outHigh = 255;
  }
  ToneTable table;
  for (int v = 0; v < 256; ++v) {
    int out;
    if (v < inLow)
      out = outLow;
    else if (v <= inHigh)
      out = inHigh > inLow ? outLow + static_cast<int>(static_cast<double>(v - inLow) / (inHigh - inLow) *
                                                       (outHigh - outLow))
                           : outLow;
    else
      out = outHigh;
    table[v] = ToByte(out);
  }
  return table;
}

ToneTable GL_ThresholdTable(int level) {
  ToneTable table;
  for (int v = 0; v < 256; ++v) table[v] = v < level ? 0 : 255;
  return table;
}

ToneTable GL_LevelsTable(int inLow, int inHigh, double gamma, int outLow, int outHigh) {
  if (!(gamma > 0)) gamma = 1.0;
  ToneTable table;
  for (int v = 0; v < 256; ++v) {
    int out;
    if (v <= inLow)
      out = outLow;
    else if (v >= inHigh)
      out = outHigh;
    else {
      const double t = std::pow(static_cast<double>(v - inLow) / (inHigh - inLow), 1.0 / gamma);
      out = outLow + static_cast<int>(std::floor(t * (outHigh - outLow) + 0.5));
    }
    table[v] = ToByte(out);
  }
  return table;
}

int GL_ApplyHueSaturation(CDIBitmap& bitmap, int hue, int saturation, int lightness) {
  if (hue == 0 && saturation == 0 && lightness == 0) return 1;
  return GL_ChangeHSL(bitmap, hue, saturation * 10, lightness * 10);
}

std::array<int, 3> GL_ColorBalanceOffsets(int red, int green, int blue) {
  return {red - green / 2 - blue / 2, green - red / 2 - blue / 2, blue - red / 2 - green / 2};
}
