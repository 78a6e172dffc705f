// Colour conversion between an RGB profile of matrix-and-TRC kind and a
// CMYK output profile's luts, and the pieces it is built from (lut
// evaluation, PCS encodings, the matrix-and-TRC step and its inverse).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "color/icc_profile.h"
#include "image/color_convert.h"

namespace color {

struct ColorManagementSettings;

// Evaluates a lut8 or lut16 table as ICC.1 defines it, in double
// arithmetic on values normalised to 0..1 (a stored value divided by 255
// for lut8, by 65535 for lut16):
//   1. the 3 x 3 matrix, only when `matrixOnInput` (a lut whose input is
//      PCS XYZ) and the lut has three inputs, on the normalised inputs,
//      each result clamped to 0..1;
//   2. each input through its input table, linearly interpolated at
//      x (entries - 1);
//   3. the colour lookup table, multilinearly interpolated (trilinear for
//      three inputs, 4-linear for four: the 2^n grid nodes around the point,
//      weighted by the products of the per-axis fractions) at
//      x (gridPoints - 1) per axis;
//   4. each output through its output table, as in 2.
// Inputs outside 0..1 are clamped. Nothing is rounded inside.
class LutEvaluator {
 public:
  LutEvaluator() = default;
  LutEvaluator(IccLut lut, bool matrixOnInput);
  const IccLut& Lut() const { return lut_; }
  // in: Lut().inputChannels values; out: Lut().outputChannels values.
  void Evaluate(const double* in, double* out) const;

 private:
  IccLut lut_;
  bool matrixOnInput_ = false;
  double scale_ = 1.0;  // 1 / largest stored value
  std::array<size_t, 16> strides_{};
};

// f() of the Lab formulas on a value t in units of 1/65536:
// t^(1/3) x 65536 when t >= 581, else 510328 t / 65536 + 9039.
double LabF(double t);

// The PCS value handed to a PCS-to-device lut, from X / Xn, Y / Yn, Z / Zn
// of the D50 white in units of 1/65536 (as the channel tables give them),
// normalised to 0..1 for LutEvaluator:
//   Lab PCS, lut16: L* = 116 f(Y) - 16, a* = 500 (f(X) - f(Y)),
//     b* = 200 (f(Y) - f(Z)) (f = LabF / 65536), encoded as version-2 Lab:
//     L* x 65280 / 100 rounded and clamped to 0..65280, a* and b* x 256 +
//     32768 rounded and clamped to 0..65535, each then divided by 65535;
//   Lab PCS, lut8: L* x 2.55, a* + 128, b* + 128, rounded and clamped to
//     0..255, divided by 255;
//   XYZ PCS: X = (X / Xn) 0.9642, Y, Z = (Z / Zn) 0.8249 as u1Fixed15
//     (value x 32768 rounded, clamped to 0..65535), divided by 65535.
void EncodePcs(const int32_t xyz[3], uint32_t pcs, bool lut16, double out[3]);
// The inverse: a device-to-PCS lut's normalised outputs to X / Xn, Y / Yn,
// Z / Zn as fractions (Lab through the CIE inverse of f).
void DecodePcs(const double in[3], uint32_t pcs, bool lut16, double xyzn[3]);

// The matrix-and-TRC step of an RGB profile: forward through the profile's
// channel tables, backward through the inverse colorant matrix and the
// inverse tone curves.
class MatrixShaper {
 public:
  // False when the profile has no channel tables (Prepare not run, not an
  // RGB matrix-and-TRC profile) or its colorant matrix is singular.
  bool Init(const ColorProfile& profile);
  // X / Xn, Y / Yn, Z / Zn in units of 1/65536: the sums of the three
  // channels' table entries.
  void ToXyz(uint8_t red, uint8_t green, uint8_t blue, int32_t xyz[3]) const;
  // From X / Xn, Y / Yn, Z / Zn (fractions): linear RGB = inverse colorant
  // matrix x (0.9642 X / Xn, Y / Yn, 0.8249 Z / Zn), clamped to 0..1, then
  // each channel through its inverse curve (identity; x ^ (1 / gamma); the
  // table searched for the segment holding the value and interpolated
  // within it), and to a byte as round(255 v).
  void FromXyz(const double xyzn[3], uint8_t rgb[3]) const;

 private:
  double InverseCurve(int channel, double y) const;

  std::array<std::array<std::array<int32_t, 256>, 3>, 3> channelXYZ_{};
  std::array<double, 9> inverse_{};
  std::array<ToneCurve, 3> trc_{};
};

// RGB <-> CMYK through an RGB input profile (matrix-and-TRC kind) and a
// CMYK output profile (PCS Lab or XYZ):
//   RgbToCmyk: the channel tables give XYZ, EncodePcs, the output profile's
//     PCS-to-device lut for the intent (B2A0, B2A1, B2A2), then each 16-bit
//     output o (the lut value rounded to an integer) becomes the byte
//     o x 255 / 65535 truncated; for a lut8 the output is rounded to a
//     byte directly.
//   CmykToRgb: the device-to-PCS lut (A2B0, A2B1, A2B2), DecodePcs, then
//     MatrixShaper::FromXyz.
// Absolute colorimetric (3) uses the relative tables, as Prepare does; a
// profile without the intent's tables is used through B2A0 / A2B0.
// Also a CColorTransform, so it can be installed with GL_SetColorTransform.
// Conversions are exact per pixel (no precomputed grid); the row forms
// remember the last pixel, which makes flat areas cheap.
class ColorConverter final : public CColorTransform {
 public:
  // Builds from the two profiles (both open). False with `error` set when
  // the input is not an RGB profile with TRCs and colorants, or the output
  // is not a CMYK profile with a PCS-to-device lut of 3 inputs and 4
  // outputs and a device-to-PCS lut of 4 inputs and 3 outputs for the
  // intent, or its PCS is neither Lab nor XYZ.
  bool Build(const ColorProfile& input, const ColorProfile& output, int intent, std::string* error = nullptr);
  // Opens both files and builds.
  bool Build(const std::string& inputPath, const std::string& outputPath, int intent, std::string* error = nullptr);

  void RgbToCmyk(const uint8_t rgb[3], uint8_t cmyk[4]) const;
  void CmykToRgb(const uint8_t cmyk[4], uint8_t rgb[3]) const;

  // Rows: bgr in pixel order blue, green, red.
  void RGBToCMYK(const uint8_t* bgr, uint8_t* cmyk, int count) const override;
  void CMYKToRGB(const uint8_t* cmyk, uint8_t* bgr, int count) const override;

 private:
  MatrixShaper shaper_;
  LutEvaluator toDevice_;
  LutEvaluator toPcs_;
  uint32_t pcs_ = 0;
};

// Builds a converter from the settings' input and separation profiles and
// intent and installs it as the process-wide colour transform, replacing
// one installed before (which is freed once no thread converts with it any
// more). When matching is off or either profile is not chosen, the transform
// is removed (simple formulas again) and true is returned. False with
// `error` set, and the transform removed, when the profiles cannot be used.
bool InstallColorTransform(const ColorManagementSettings& settings, std::string* error = nullptr);
// Removes the transform InstallColorTransform installed.
void UninstallColorTransform();

}  // namespace color
