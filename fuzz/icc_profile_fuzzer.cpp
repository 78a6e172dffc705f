// Feeds arbitrary bytes to the ICC profile reader from memory: Open,
// Prepare for every intent and both directions, the text dump (to
// /dev/null), and, when the profile can serve, a converter with a fixed
// companion profile (an RGB profile for a CMYK one and the other way round)
// and a few conversions. Nothing may crash, hang, read outside a buffer or
// allocate beyond the input's size. Seed corpus: fuzz/corpus/icc_profile.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "color/color_converter.h"
#include "color/icc_profile.h"

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}
void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(uint8_t(value >> 8));
  out.push_back(uint8_t(value));
}

// A profile of the given class and space with the tags (signature, data).
std::vector<uint8_t> Assemble(const char* deviceClass, const char* space,
                              const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& tags) {
  std::vector<uint8_t> out(128, 0);
  out[8] = 2;
  out[9] = 0x10;
  for (int i = 0; i < 4; ++i) {
    out[12 + i] = uint8_t(deviceClass[i]);
    out[16 + i] = uint8_t(space[i]);
    out[20 + i] = uint8_t("Lab "[i]);
    out[36 + i] = uint8_t("acsp"[i]);
  }
  Put32(out, uint32_t(tags.size()));
  size_t offset = 132 + 12 * tags.size();
  for (const auto& [signature, data] : tags) {
    Put32(out, signature);
    Put32(out, uint32_t(offset));
    Put32(out, uint32_t(data.size()));
    offset += data.size();
  }
  for (const auto& tag : tags) out.insert(out.end(), tag.second.begin(), tag.second.end());
  return out;
}

std::vector<uint8_t> Xyz(int32_t x, int32_t y, int32_t z) {
  std::vector<uint8_t> out;
  Put32(out, color::Signature("XYZ "));
  Put32(out, 0);
  Put32(out, uint32_t(x));
  Put32(out, uint32_t(y));
  Put32(out, uint32_t(z));
  return out;
}

// A grid-2 lut16 with identity tables and a ramp in its grid.
std::vector<uint8_t> Lut(int inputs, int outputs) {
  std::vector<uint8_t> out;
  Put32(out, color::Signature("mft2"));
  Put32(out, 0);
  out.insert(out.end(), {uint8_t(inputs), uint8_t(outputs), 2, 0});
  for (int i = 0; i < 9; ++i) Put32(out, i % 4 == 0 ? 65536 : 0);
  Put16(out, 2);
  Put16(out, 2);
  for (int i = 0; i < inputs; ++i) Put16(out, 0), Put16(out, 65535);
  for (int node = 0; node < (1 << inputs); ++node)
    for (int o = 0; o < outputs; ++o) Put16(out, uint32_t((node * 7919 + o * 104729) & 0xFFFF));
  for (int o = 0; o < outputs; ++o) Put16(out, 0), Put16(out, 65535);
  return out;
}

color::ColorProfile Companion(bool rgb) {
  std::vector<uint8_t> bytes;
  if (rgb) {
    std::vector<uint8_t> linear;
    Put32(linear, color::Signature("curv"));
    Put32(linear, 0);
    Put32(linear, 0);
    bytes = Assemble("mntr", "RGB ",
                     {{color::Signature("rTRC"), linear},
                      {color::Signature("gTRC"), linear},
                      {color::Signature("bTRC"), linear},
                      {color::Signature("rXYZ"), Xyz(28578, 14575, 912)},
                      {color::Signature("gXYZ"), Xyz(25241, 46983, 6362)},
                      {color::Signature("bXYZ"), Xyz(9376, 3972, 46799)}});
  } else {
    bytes = Assemble("prtr", "CMYK",
                     {{color::Signature("B2A0"), Lut(3, 4)}, {color::Signature("A2B0"), Lut(4, 3)}});
  }
  color::ColorProfile profile;
  profile.OpenMemory(bytes);
  return profile;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::FILE* const null = std::fopen("/dev/null", "w");
  static const color::ColorProfile rgbCompanion = Companion(true);
  static const color::ColorProfile cmykCompanion = Companion(false);
  color::ColorProfile profile;
  if (!profile.OpenMemory({data, size})) return 0;
  for (int intent = 0; intent <= 4; ++intent) {
    profile.Prepare(intent, false);
    profile.Prepare(intent, true);
  }
  if (null) profile.Dump(null, int(size % 5));

  color::ColorConverter converter;
  const bool built = profile.Header().colorSpace == color::kSpaceCMYK
                         ? converter.Build(rgbCompanion, profile, int(size % 4))
                         : converter.Build(profile, cmykCompanion, int(size % 4));
  if (built) {
    const uint8_t rgb[][3] = {{0, 0, 0}, {255, 255, 255}, {200, 30, 90}};
    const uint8_t cmyk[][4] = {{0, 0, 0, 0}, {255, 255, 255, 255}, {10, 200, 30, 90}};
    uint8_t out[4];
    for (const auto& value : rgb) converter.RgbToCmyk(value, out);
    for (const auto& value : cmyk) converter.CmykToRgb(value, out);
  }
  return 0;
}
