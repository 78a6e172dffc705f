// The tone and colour adjustments as named operations, with the parameters,
// ranges and defaults of their dialogs and the dialog-to-operation
// conversions.
#include <cstdio>
#include <cstring>
#include <string>

#include "image/dibitmap.h"
#include "imaging/operation_table.h"
#include "imaging/tone.h"
#include "platform/messages.h"

namespace {

OperationParam Slider(std::string_view name, int min, int max, int initial) {
  return {name, ParamKind::Integer, double(min), double(max), {}, double(initial)};
}

// Reads the tables of a curve file (".crb" or ".cck"): a 32-byte text, the
// channel count n (32-bit little-endian) and n tables of 256 bytes. The point
// records that follow only matter to the curve editor. Table i goes to
// channel i (0 the composite curve); all loaded tables are in use.
bool ReadCurveTables(const std::string& path, ToneTableSet& set) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  uint8_t header[36];
  bool ok = std::fread(header, 1, sizeof header, file) == sizeof header;
  const uint32_t n = ok ? header[32] | header[33] << 8 | header[34] << 16 | uint32_t{header[35]} << 24 : 0;
  ok = ok && n >= 1 && n <= 5;
  for (uint32_t c = 0; ok && c < n; ++c) {
    ok = std::fread(set.tables[c].data(), 1, 256, file) == 256;
    set.inUse[c] = ok;
  }
  std::fclose(file);
  return ok;
}

}  // namespace

std::vector<OperationSpec> GL_ToneOperations() {
  std::vector<OperationSpec> ops;
  ops.push_back({"brightness-contrast",
                 {Slider("Brightness", -100, 100, 0), Slider("Contrast", -100, 100, 0)},
                 [](CDIBitmap& image, const OperationArgs& a) {
                   ToneTableSet set;
                   set.tables[0] = GL_BrightnessContrastTable(a.Int(0), a.Int(1));
                   set.inUse[0] = true;
                   return GL_ApplyToneTables(image, set);
                 }});
  ops.push_back({"hue-saturation",
                 {Slider("Hue", -180, 180, 0), Slider("Saturation", -100, 100, 0), Slider("Lightness", -100, 100, 0)},
                 [](CDIBitmap& image, const OperationArgs& a) {
                   return GL_ApplyHueSaturation(image, a.Int(0), a.Int(1), a.Int(2));
                 }});
  ops.push_back({"color-balance",
                 {Slider("Red", -100, 100, 0), Slider("Green", -100, 100, 0), Slider("Blue", -100, 100, 0)},
                 [](CDIBitmap& image, const OperationArgs& a) {
                   const std::array<int, 3> d = GL_ColorBalanceOffsets(a.Int(0), a.Int(1), a.Int(2));
                   return GL_ColorBalance(image, d[0], d[1], d[2]);
                 }});
  ops.push_back({"threshold", {Slider("Level", 1, 255, 128)}, [](CDIBitmap& image, const OperationArgs& a) {
                   ToneTableSet set;
                   set.tables[0] = GL_ThresholdTable(a.Int(0));
                   set.inUse[0] = true;
                   return GL_ApplyToneTables(image, set);
                 }});
  ops.push_back({"curves",
                 {{"FILE", ParamKind::Text, 0, 0, {}, std::nullopt}},
                 [](CDIBitmap& image, const OperationArgs& a) {
                   ToneTableSet set;
                   if (!ReadCurveTables(a.texts.at(0), set)) {
                     platform::ShowMessage("Cannot read the curve file " + a.texts.at(0));
                     return 0;
                   }
                   return GL_ApplyToneTables(image, set);
                 }});
  ops.push_back({"equalize", {}, [](CDIBitmap& image, const OperationArgs&) { return GL_EqualizeBitmap(image); }});
  ops.push_back({"stretch-intensity", {},
                 [](CDIBitmap& image, const OperationArgs&) { return GL_StretchIntensity(image); }});
  ops.push_back({"invert-color", {}, [](CDIBitmap& image, const OperationArgs&) { return GL_InvertBitmap(image); }});
  ops.push_back({"invert-bgr", {}, [](CDIBitmap& image, const OperationArgs&) { return GL_SwapRedBlue(image); }});
  return ops;
}
