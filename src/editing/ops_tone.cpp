// The tone and colour adjustments as named operations, with the parameters,
// ranges and defaults of their dialogs and the dialog-to-operation
// conversions.
#include <algorithm>
#include <cstring>
#include <string>

#include "color/curves.h"
#include "editing/operation_table.h"
#include "image/dibitmap.h"
#include "image/result_codes.h"
#include "imaging/tone.h"
#include "platform/messages.h"

namespace {

OperationParam Slider(std::string_view name, int min, int max, int initial) {
  return {name, ParamKind::Integer, double(min), double(max), {}, double(initial)};
}

// The in-memory form of "curves" (CurvesFromTables).
constexpr size_t kCurveRecordBytes = 257;
constexpr size_t kCurveRecords = 5;

const OperationDef& CurveTablesDef() {
  static const OperationDef def = [] {
    OperationDef d{"curves",
                   {{"TABLES", ParamKind::Text, 0, 0, {}, std::nullopt}},
                   [](CDIBitmap& image, const OperationArgs& a) {
                     const std::string& text = a.texts.at(0);
                     if (text.size() != kCurveRecordBytes * kCurveRecords) return kResultInvalidParameter;
                     ToneTableSet set;
                     for (size_t c = 0; c < kCurveRecords; ++c) {
                       const auto* record = reinterpret_cast<const uint8_t*>(text.data()) + c * kCurveRecordBytes;
                       if (record[0] > 1) return kResultInvalidParameter;
                       set.inUse[c] = record[0] == 1;
                       std::memcpy(set.tables[c].data(), record + 1, 256);
                     }
                     return GL_ApplyToneTables(image, set);
                   }};
    d.family = OperationFamily::Tone;
    return d;
  }();
  return def;
}

}  // namespace

ParsedOperation CurvesFromTables(const ToneTableSet& tables) {
  std::string text(kCurveRecordBytes * kCurveRecords, '\0');
  for (size_t c = 0; c < kCurveRecords; ++c) {
    text[c * kCurveRecordBytes] = tables.inUse[c] ? 1 : 0;
    std::memcpy(text.data() + c * kCurveRecordBytes + 1, tables.tables[c].data(), 256);
  }
  ParsedOperation operation;
  operation.def = &CurveTablesDef();
  operation.args.values = {0.0};
  operation.args.texts = {std::move(text)};
  return operation;
}

std::vector<OperationDef> ToneOperations() {
  std::vector<OperationDef> ops;
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
                   // Table i of the file goes to channel i (0 the composite
                   // curve); every table the file holds is in use.
                   color::CurveSet curves;
                   int channels = 0;
                   if (color::LoadCurveFile(a.texts.at(0), curves, &channels) != 1) {
                     platform::ShowMessage("Cannot read the curve file " + a.texts.at(0));
                     return 0;
                   }
                   ToneTableSet set;
                   for (int c = 0; c < channels; ++c) {
                     std::memcpy(set.tables[c].data(), curves.channels[c].table, 256);
                     set.inUse[c] = true;
                   }
                   return GL_ApplyToneTables(image, set);
                 }});
  // "Levels": one channel (the composite or red, green, blue) mapped
  // linearly from its input levels onto its output levels; below the input
  // low level the output low, above the input high the output high:
  // out = out low + trunc((v - in low) x (out high - out low) / (in high -
  // in low)). Output levels may be given reversed (a negative ramp).
  ops.push_back({"levels",
                 {{"Channel", ParamKind::Choice, 0, 0, {"rgb", "red", "green", "blue"}, 0.0},
                  Slider("Input low", 0, 254, 0), Slider("Input high", 1, 255, 255), Slider("Output low", 0, 255, 0),
                  Slider("Output high", 0, 255, 255)},
                 [](CDIBitmap& image, const OperationArgs& a) {
                   const int inLow = a.Int(1), inHigh = std::max(a.Int(2), inLow + 1);
                   const int outLow = a.Int(3), outHigh = a.Int(4);
                   ToneTable table;
                   for (int v = 0; v < 256; ++v) {
                     const int x = std::clamp(v, inLow, inHigh);
                     table[v] = static_cast<uint8_t>(outLow + (x - inLow) * (outHigh - outLow) / (inHigh - inLow));
                   }
                   ToneTableSet set;
                   set.tables[a.Int(0)] = table;
                   set.inUse[a.Int(0)] = true;
                   return GL_ApplyToneTables(image, set);
                 }});
  ops.push_back({"equalize", {}, [](CDIBitmap& image, const OperationArgs&) { return GL_EqualizeBitmap(image); }});
  ops.push_back({"stretch-intensity", {},
                 [](CDIBitmap& image, const OperationArgs&) { return GL_StretchIntensity(image); }});
  ops.push_back({"invert-color", {}, [](CDIBitmap& image, const OperationArgs&) { return GL_InvertBitmap(image); }});
  ops.push_back({"invert-bgr", {}, [](CDIBitmap& image, const OperationArgs&) { return GL_SwapRedBlue(image); }});
  return ops;
}
