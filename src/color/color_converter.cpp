// Colour conversion through ICC profiles: lut evaluation, PCS encodings,
// the matrix-and-TRC step, the RGB <-> CMYK converter and its installation.
#include "color/color_converter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "color/color_settings.h"

namespace color {
namespace {

constexpr double kWhiteX = 0.9642;
constexpr double kWhiteZ = 0.8249;

// A table of `entries` values at `table`, linearly interpolated at x in 0..1.
double Interpolate(const uint16_t* table, int entries, double x) {
  const double position = std::clamp(x, 0.0, 1.0) * (entries - 1);
  int index = static_cast<int>(position);
  if (index >= entries - 1) index = entries - 2;
  const double fraction = position - index;
  return table[index] + fraction * (double(table[index + 1]) - double(table[index]));
}

}  // namespace

LutEvaluator::LutEvaluator(IccLut lut, bool matrixOnInput)
    : lut_(std::move(lut)), matrixOnInput_(matrixOnInput), scale_(lut_.is16 ? 1.0 / 65535.0 : 1.0 / 255.0) {
  // Grid strides: the last input varies fastest.
  size_t stride = size_t(lut_.outputChannels);
  for (int i = lut_.inputChannels - 1; i >= 0; --i) {
    strides_[i] = stride;
    stride *= size_t(lut_.gridPoints);
  }
}

void LutEvaluator::Evaluate(const double* in, double* out) const {
  const int inputs = lut_.inputChannels;
  const int outputs = lut_.outputChannels;
  double x[16];
  for (int i = 0; i < inputs; ++i) x[i] = std::clamp(in[i], 0.0, 1.0);
  if (matrixOnInput_ && inputs == 3) {
    double y[3];
    for (int row = 0; row < 3; ++row)
      y[row] = (lut_.matrix[row * 3] * x[0] + lut_.matrix[row * 3 + 1] * x[1] + lut_.matrix[row * 3 + 2] * x[2]) /
               65536.0;
    for (int i = 0; i < 3; ++i) x[i] = std::clamp(y[i], 0.0, 1.0);
  }
  for (int i = 0; i < inputs; ++i)
    x[i] = Interpolate(&lut_.inputTables[size_t(i) * lut_.inputEntries], lut_.inputEntries, x[i]) * scale_;

  // The grid cell holding the point and the fraction along each axis.
  size_t base = 0;
  double fraction[16];
  for (int i = 0; i < inputs; ++i) {
    const double position = std::clamp(x[i], 0.0, 1.0) * (lut_.gridPoints - 1);
    int index = static_cast<int>(position);
    if (index >= lut_.gridPoints - 1) index = lut_.gridPoints - 2;
    fraction[i] = position - index;
    base += size_t(index) * strides_[i];
  }
  double sum[16] = {};
  const unsigned corners = 1u << inputs;
  for (unsigned corner = 0; corner < corners; ++corner) {
    double weight = 1.0;
    size_t offset = base;
    for (int i = 0; i < inputs; ++i) {
      if (corner & (1u << i)) {
        weight *= fraction[i];
        offset += strides_[i];
      } else {
        weight *= 1.0 - fraction[i];
      }
    }
    if (weight == 0.0) continue;
    const uint16_t* node = &lut_.clut[offset];
    for (int o = 0; o < outputs; ++o) sum[o] += weight * node[o];
  }
  for (int o = 0; o < outputs; ++o)
    out[o] = Interpolate(&lut_.outputTables[size_t(o) * lut_.outputEntries], lut_.outputEntries, sum[o] * scale_) *
             scale_;
}

double LabF(double t) {
  if (t >= 581) return std::cbrt(t / 65536.0) * 65536.0;
  return 510328.0 * t / 65536.0 + 9039.0;
}

void EncodePcs(const int32_t xyz[3], uint32_t pcs, bool lut16, double out[3]) {
  if (pcs == kSpaceXYZ) {
    const double white[3] = {kWhiteX, 1.0, kWhiteZ};
    for (int i = 0; i < 3; ++i) {
      const double value = std::clamp(std::round(xyz[i] / 65536.0 * white[i] * 32768.0), 0.0, 65535.0);
      out[i] = value / 65535.0;
    }
    return;
  }
  const double fx = LabF(xyz[0]) / 65536.0;
  const double fy = LabF(xyz[1]) / 65536.0;
  const double fz = LabF(xyz[2]) / 65536.0;
  const double L = 116.0 * fy - 16.0;
  const double a = 500.0 * (fx - fy);
  const double b = 200.0 * (fy - fz);
  if (lut16) {
    out[0] = std::clamp(std::round(L * 65280.0 / 100.0), 0.0, 65280.0) / 65535.0;
    out[1] = std::clamp(std::round(a * 256.0 + 32768.0), 0.0, 65535.0) / 65535.0;
    out[2] = std::clamp(std::round(b * 256.0 + 32768.0), 0.0, 65535.0) / 65535.0;
  } else {
    out[0] = std::clamp(std::round(L * 2.55), 0.0, 255.0) / 255.0;
    out[1] = std::clamp(std::round(a + 128.0), 0.0, 255.0) / 255.0;
    out[2] = std::clamp(std::round(b + 128.0), 0.0, 255.0) / 255.0;
  }
}

void DecodePcs(const double in[3], uint32_t pcs, bool lut16, double xyzn[3]) {
  if (pcs == kSpaceXYZ) {
    const double white[3] = {kWhiteX, 1.0, kWhiteZ};
    for (int i = 0; i < 3; ++i) xyzn[i] = in[i] * 65535.0 / 32768.0 / white[i];
    return;
  }
  double L, a, b;
  if (lut16) {
    L = in[0] * 65535.0 * 100.0 / 65280.0;
    a = in[1] * 65535.0 / 256.0 - 128.0;
    b = in[2] * 65535.0 / 256.0 - 128.0;
  } else {
    L = in[0] * 100.0;
    a = in[1] * 255.0 - 128.0;
    b = in[2] * 255.0 - 128.0;
  }
  const double fy = (L + 16.0) / 116.0;
  const double f[3] = {fy + a / 500.0, fy, fy - b / 200.0};
  for (int i = 0; i < 3; ++i) {
    const double cube = f[i] * f[i] * f[i];
    xyzn[i] = cube > 0.008856 ? cube : (f[i] - 16.0 / 116.0) / 7.787;
  }
}

bool MatrixShaper::Init(const ColorProfile& profile) {
  if (!profile.HasChannelTables()) return false;
  channelXYZ_ = profile.ChannelXYZ();
  trc_ = profile.Trc();
  const auto& m = profile.ColorantMatrix();
  const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                     m[2] * (m[3] * m[7] - m[4] * m[6]);
  if (!std::isfinite(det) || std::fabs(det) < 1e-9) return false;
  inverse_ = {(m[4] * m[8] - m[5] * m[7]) / det, (m[2] * m[7] - m[1] * m[8]) / det, (m[1] * m[5] - m[2] * m[4]) / det,
              (m[5] * m[6] - m[3] * m[8]) / det, (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
              (m[3] * m[7] - m[4] * m[6]) / det, (m[1] * m[6] - m[0] * m[7]) / det, (m[0] * m[4] - m[1] * m[3]) / det};
  return true;
}

void MatrixShaper::ToXyz(uint8_t red, uint8_t green, uint8_t blue, int32_t xyz[3]) const {
  for (int k = 0; k < 3; ++k) {
    const int64_t sum = int64_t(channelXYZ_[0][k][red]) + channelXYZ_[1][k][green] + channelXYZ_[2][k][blue];
    xyz[k] = static_cast<int32_t>(std::clamp<int64_t>(sum, INT32_MIN, INT32_MAX));
  }
}

double MatrixShaper::InverseCurve(int channel, double y) const {
  const ToneCurve& curve = trc_[channel];
  if (curve.count == 0) return y;
  if (curve.count == 1) {
    const double gamma = curve.data[0] / 256.0;
    return gamma > 0 ? std::pow(y, 1.0 / gamma) : 1.0;
  }
  // Bisection keeps table[lo] and table[hi] on either side of the value, so
  // it finds a segment that holds it even in a curve that is not monotonic.
  const std::vector<uint16_t>& table = curve.data;
  const double target = y * 65535.0;
  const size_t last = table.size() - 1;
  const bool rising = table[last] >= table[0];
  const auto below = [&](double value) { return rising ? value <= target : value >= target; };
  if (!below(table[0])) return 0.0;
  if (below(table[last])) return 1.0;
  size_t lo = 0, hi = last;
  while (hi - lo > 1) {
    const size_t mid = (lo + hi) / 2;
    (below(table[mid]) ? lo : hi) = mid;
  }
  const double span = double(table[hi]) - double(table[lo]);
  const double fraction = span != 0 ? (target - table[lo]) / span : 0.0;
  return (lo + fraction) / double(last);
}

void MatrixShaper::FromXyz(const double xyzn[3], uint8_t rgb[3]) const {
  const double pcs[3] = {xyzn[0] * kWhiteX, xyzn[1], xyzn[2] * kWhiteZ};
  for (int c = 0; c < 3; ++c) {
    const double linear =
        std::clamp(inverse_[c * 3] * pcs[0] + inverse_[c * 3 + 1] * pcs[1] + inverse_[c * 3 + 2] * pcs[2], 0.0, 1.0);
    const double value = std::clamp(InverseCurve(c, linear), 0.0, 1.0);
    rgb[c] = static_cast<uint8_t>(std::lround(value * 255.0));
  }
}

bool ColorConverter::Build(const ColorProfile& input, const ColorProfile& output, int intent, std::string* error) {
  const auto fail = [&](const std::string& text) {
    if (error) *error = text;
    return false;
  };
  if (!input.IsOpen() || !output.IsOpen()) return fail("the profiles are not open");
  if (input.Header().colorSpace != kSpaceRGB) return fail(input.Path() + " is not an RGB profile");
  ColorProfile source = input;
  source.Prepare(intent);
  if (!shaper_.Init(source))
    return fail(input.Path() + " has no usable red, green and blue TRCs and colorants");
  if (output.Header().colorSpace != kSpaceCMYK) return fail(output.Path() + " is not a CMYK profile");
  pcs_ = output.Header().pcs;
  if (pcs_ != kSpaceLab && pcs_ != kSpaceXYZ) return fail(output.Path() + " has a PCS that is neither Lab nor XYZ");
  // A profile without tables for the intent is used through its
  // perceptual ones, as ICC.1 prescribes.
  const auto tagFor = [&](bool toPcs) {
    const uint32_t tag = LutTagForIntent(intent, toPcs);
    return output.HasTag(tag) ? tag : LutTagForIntent(0, toPcs);
  };
  const uint32_t toDeviceTag = tagFor(false);
  const uint32_t toPcsTag = tagFor(true);
  auto toDevice = output.ReadLut(toDeviceTag);
  if (!toDevice || toDevice->inputChannels != 3 || toDevice->outputChannels != 4)
    return fail(output.Path() + " has no usable " + SignatureText(toDeviceTag) + " table (3 inputs, 4 outputs)");
  auto toPcs = output.ReadLut(toPcsTag);
  if (!toPcs || toPcs->inputChannels != 4 || toPcs->outputChannels != 3)
    return fail(output.Path() + " has no usable " + SignatureText(toPcsTag) + " table (4 inputs, 3 outputs)");
  toDevice_ = LutEvaluator(std::move(*toDevice), pcs_ == kSpaceXYZ);
  toPcs_ = LutEvaluator(std::move(*toPcs), false);
  return true;
}

bool ColorConverter::Build(const std::string& inputPath, const std::string& outputPath, int intent,
                           std::string* error) {
  ColorProfile input, output;
  if (!input.Open(inputPath)) {
    if (error) *error = input.LastError();
    return false;
  }
  if (!output.Open(outputPath)) {
    if (error) *error = output.LastError();
    return false;
  }
  return Build(input, output, intent, error);
}

void ColorConverter::RgbToCmyk(const uint8_t rgb[3], uint8_t cmyk[4]) const {
  int32_t xyz[3];
  shaper_.ToXyz(rgb[0], rgb[1], rgb[2], xyz);
  const bool lut16 = toDevice_.Lut().is16;
  double in[3], out[4];
  EncodePcs(xyz, pcs_, lut16, in);
  toDevice_.Evaluate(in, out);
  for (int i = 0; i < 4; ++i) {
    if (lut16) {
      const int64_t o = std::lround(out[i] * 65535.0);
      cmyk[i] = static_cast<uint8_t>(o * 255 / 65535);
    } else {
      cmyk[i] = static_cast<uint8_t>(std::lround(out[i] * 255.0));
    }
  }
}

void ColorConverter::CmykToRgb(const uint8_t cmyk[4], uint8_t rgb[3]) const {
  const double scale = 1.0 / 255.0;
  const double in[4] = {cmyk[0] * scale, cmyk[1] * scale, cmyk[2] * scale, cmyk[3] * scale};
  double pcs[3], xyzn[3];
  toPcs_.Evaluate(in, pcs);
  DecodePcs(pcs, pcs_, toPcs_.Lut().is16, xyzn);
  shaper_.FromXyz(xyzn, rgb);
}

void ColorConverter::RGBToCMYK(const uint8_t* bgr, uint8_t* cmyk, int count) const {
  uint8_t lastRgb[3] = {0, 0, 0};
  uint8_t lastCmyk[4];
  RgbToCmyk(lastRgb, lastCmyk);
  for (int i = 0; i < count; ++i, bgr += 3, cmyk += 4) {
    const uint8_t rgb[3] = {bgr[2], bgr[1], bgr[0]};
    if (std::memcmp(rgb, lastRgb, 3) != 0) {
      std::memcpy(lastRgb, rgb, 3);
      RgbToCmyk(lastRgb, lastCmyk);
    }
    std::memcpy(cmyk, lastCmyk, 4);
  }
}

void ColorConverter::CMYKToRGB(const uint8_t* cmyk, uint8_t* bgr, int count) const {
  uint8_t lastCmyk[4] = {0, 0, 0, 0};
  uint8_t lastRgb[3];
  CmykToRgb(lastCmyk, lastRgb);
  for (int i = 0; i < count; ++i, cmyk += 4, bgr += 3) {
    if (std::memcmp(cmyk, lastCmyk, 4) != 0) {
      std::memcpy(lastCmyk, cmyk, 4);
      CmykToRgb(lastCmyk, lastRgb);
    }
    bgr[0] = lastRgb[2];
    bgr[1] = lastRgb[1];
    bgr[2] = lastRgb[0];
  }
}

namespace {
// The converter InstallColorTransform put in the process-wide slot.
std::shared_ptr<const ColorConverter>& InstalledConverter() {
  static std::shared_ptr<const ColorConverter> installed;
  return installed;
}
}  // namespace

void UninstallColorTransform() {
  if (GL_GetColorTransform() == InstalledConverter()) GL_SetColorTransform(nullptr);
  InstalledConverter().reset();
}

bool InstallColorTransform(const ColorManagementSettings& settings, std::string* error) {
  UninstallColorTransform();
  if (!settings.enabled || settings.inputPath.empty() || settings.separationPath.empty()) return true;
  auto converter = std::make_shared<ColorConverter>();
  if (!converter->Build(settings.inputPath, settings.separationPath, settings.intent, error)) return false;
  InstalledConverter() = converter;
  GL_SetColorTransform(std::move(converter));
  return true;
}

}  // namespace color
