// The colour-managed PhotoYCC conversion.
#include "document/photo_ycc_profile.h"

#include <cstring>

std::unique_ptr<PhotoYCCProfileTransform> PhotoYCCProfileTransform::Create(const color::ColorProfile& photoCd,
                                                                           const color::ColorProfile& display,
                                                                           std::string* error) {
  const auto fail = [&](const std::string& text) {
    if (error) *error = text;
    return nullptr;
  };
  if (!photoCd.IsOpen() || !display.IsOpen()) return fail("the profiles are not open");
  if (photoCd.Header().deviceClass != color::kClassInput) return fail(photoCd.Path() + " is not an input profile");
  const uint32_t pcs = photoCd.Header().pcs;
  if (pcs != color::kSpaceLab && pcs != color::kSpaceXYZ)
    return fail(photoCd.Path() + " has a PCS that is neither Lab nor XYZ");
  auto lut = photoCd.ReadLut(color::Signature("A2B0"));
  if (!lut || lut->inputChannels != 3 || lut->outputChannels != 3)
    return fail(photoCd.Path() + " has no usable A2B0 table (3 inputs, 3 outputs)");
  if (display.Header().colorSpace != color::kSpaceRGB) return fail(display.Path() + " is not an RGB profile");
  color::ColorProfile screen = display;
  screen.Prepare(0);
  std::unique_ptr<PhotoYCCProfileTransform> transform(new PhotoYCCProfileTransform());
  if (!transform->display_.Init(screen))
    return fail(display.Path() + " has no usable red, green and blue TRCs and colorants");
  transform->lut_ = color::LutEvaluator(std::move(*lut), false);
  transform->pcs_ = pcs;
  return transform;
}

std::unique_ptr<PhotoYCCProfileTransform> PhotoYCCProfileTransform::Create(const std::string& photoCdPath,
                                                                           const std::string& displayPath,
                                                                           std::string* error) {
  color::ColorProfile photoCd, display;
  if (!photoCd.Open(photoCdPath)) {
    if (error) *error = photoCd.LastError();
    return nullptr;
  }
  if (!display.Open(displayPath)) {
    if (error) *error = display.LastError();
    return nullptr;
  }
  return Create(photoCd, display, error);
}

void PhotoYCCProfileTransform::Convert(uint8_t y, uint8_t c1, uint8_t c2, uint8_t rgb[3]) const {
  const double in[3] = {y / 255.0, c1 / 255.0, c2 / 255.0};
  double pcs[3], xyzn[3];
  lut_.Evaluate(in, pcs);
  color::DecodePcs(pcs, pcs_, lut_.Lut().is16, xyzn);
  display_.FromXyz(xyzn, rgb);
}

void PhotoYCCProfileTransform::ConvertRow(const uint8_t* y, const uint8_t* c1, const uint8_t* c2, uint8_t* bgr,
                                          int width) const {
  if (width <= 0) return;
  // Neighbouring pixels often repeat; the last result is reused.
  uint8_t last[3] = {y[0], c1[0], c2[0]};
  uint8_t rgb[3];
  Convert(last[0], last[1], last[2], rgb);
  for (int x = 0; x < width; ++x, bgr += 3) {
    if (y[x] != last[0] || c1[x] != last[1] || c2[x] != last[2]) {
      last[0] = y[x];
      last[1] = c1[x];
      last[2] = c2[x];
      Convert(last[0], last[1], last[2], rgb);
    }
    bgr[0] = rgb[2];
    bgr[1] = rgb[1];
    bgr[2] = rgb[0];
  }
}
