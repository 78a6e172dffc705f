// The colour-managed PhotoYCC conversion for the Photo CD reader: a Photo CD
// input profile's A2B0 table to the PCS, then the display profile's
// matrix-and-TRC step backwards to RGB.
#pragma once

#include <memory>
#include <string>

#include "color/color_converter.h"
#include "document/codecs/photocd.h"

// Per pixel: the bytes Y, C1, C2, each divided by 255, go through the
// "scnr" profile's A2B0 lut (color::LutEvaluator; a PCS-XYZ lut's matrix is
// not applied, its input being YCC), the PCS result is decoded
// (color::DecodePcs) and the display profile turns it into red, green and
// blue (color::MatrixShaper::FromXyz).
class PhotoYCCProfileTransform final : public PhotoYCCTransform {
 public:
  // Builds from the two profiles. Null with `error` set when `photoCd` is
  // not an input ("scnr") profile with an A2B0 table of 3 inputs and 3
  // outputs and a Lab or XYZ PCS, or `display` is not an RGB profile with
  // TRCs and colorants.
  static std::unique_ptr<PhotoYCCProfileTransform> Create(const color::ColorProfile& photoCd,
                                                           const color::ColorProfile& display,
                                                           std::string* error = nullptr);
  // The same from the two files.
  static std::unique_ptr<PhotoYCCProfileTransform> Create(const std::string& photoCdPath,
                                                           const std::string& displayPath,
                                                           std::string* error = nullptr);

  void ConvertRow(const uint8_t* y, const uint8_t* c1, const uint8_t* c2, uint8_t* bgr, int width) const override;
  // One pixel: rgb = red, green, blue.
  void Convert(uint8_t y, uint8_t c1, uint8_t c2, uint8_t rgb[3]) const;

 private:
  PhotoYCCProfileTransform() = default;

  color::LutEvaluator lut_;
  color::MatrixShaper display_;
  uint32_t pcs_ = 0;
};
