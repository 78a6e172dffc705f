#include "editing/effect_dialogs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

DialogField Number(std::string_view label, double minimum, double maximum, double initial, double page = 10) {
  return {label, minimum, maximum, initial, 1, page, false, {}, false};
}

DialogField Choice(std::string_view label, std::vector<std::string_view> choices, double initial = 0) {
  const double last = static_cast<double>(choices.size()) - 1;
  return {label, 0, last, initial, 1, 1, false, std::move(choices), false};
}

const std::vector<std::string_view> kDirections = {"North", "North-East", "East",  "South-East",
                                                   "South", "South-West", "West", "North-West"};

std::vector<EffectDialogModel> MakeModels() {
  std::vector<EffectDialogModel> m;
  // Preview effects.
  m.push_back({"brightness-contrast", "Brightness/Contrast",
               {Number("Brightness", -100, 100, 0), Number("Contrast", -100, 100, 0)}});
  m.push_back({"threshold", "Threshold", {Number("Level:", 1, 255, 128)}});
  m.push_back({"levels", "Levels",
               {Choice("Channel", {"RGB", "Red", "Green", "Blue"}), Number("Input low", 0, 254, 0),
                Number("Input high", 1, 255, 255), Number("Output low", 0, 255, 0), Number("Output high", 0, 255, 255)}});
  m.push_back({"hue-saturation", "Hue/Saturation",
               {Number("&Hue", -180, 180, 0), Number("&Saturation", -100, 100, 0), Number("&Lightness", -100, 100, 0)}});
  m.push_back({"color-balance", "Color Balance",
               {Number("&Red", -100, 100, 0), Number("&Green", -100, 100, 0), Number("&Blue", -100, 100, 0)}});
  m.push_back({"add-noise", "Add Noise", {Number("&Level", 0, 100, 0, 1)}});
  m.push_back({"average", "Average", {Number("&Size", 0, 50, 0, 1)}});
  m.push_back({"median", "Median", {Number("&Size", 0, 10, 0, 1)}});
  m.push_back({"minimum", "Minimum", {Number("&Size", 0, 10, 0, 1)}});
  m.push_back({"maximum", "Maximum", {Number("&Size", 0, 10, 0, 1)}});
  m.push_back({"despeckle", "Despeckle", {Number("&Size", 0, 10, 0, 1)}});
  m.push_back({"mosaic", "Mosaic", {Number("&Size", 2, 64, 2, 2)}});
  m.push_back({"posterize", "Posterize", {Number("&Levels", 2, 64, 2, 2)}});
  m.push_back({"emboss", "Emboss", {Number("&Level", 0, 100, 50), Choice("&Direction", kDirections)}});
  m.push_back({"edge-enhance", "Edge Enhance", {Number("&Level", 0, 100, 50)}});
  m.push_back({"solarize", "Solarize", {Number("&Threshold\t", 0, 255, 127)}});
  m.push_back({"unsharp-mask", "Unsharp Mask",
               {Number("Amount", 1, 500, 250), Number("Radius", 0, 10, 2), Number("Threshold", 0, 255, 2)}});
  DialogField radius = Number("&Radius", 0, 10, 0);
  radius.fractional = true;
  m.push_back({"gaussian-blur", "Gaussian Blur", {radius}});
  m.push_back({"rotate", "Rotate", {Number("&Angle", -180, 180, 0)}});
  // The check box reads "Horizontal"; the operation's direction 0 is
  // horizontal.
  DialogField horizontal = Choice("&Horizontal", {"off", "on"}, 1);
  horizontal.inverted = true;
  m.push_back({"shear", "Skew", {Number("&Angle", -45, 45, 0), horizontal}});
  // Direct effects that ask for a choice.
  const std::vector<std::string_view> elements = {"Omnidirectional", "Horizontal", "Vertical", "Crosss", "Diagonal"};
  m.push_back({"dilation", "Dilation", {Choice("&Filter Type", elements)}});
  m.push_back({"erosion", "Erosion", {Choice("&Filter Type", elements)}});
  m.push_back({"laplacian", "Laplacian", {Choice("Filter", {"Filter 1", "Filter 2", "Filter 3"})}});
  m.push_back({"line-segment", "Line Segment",
               {Choice("Filter", {"Horizontal", "Vertical", "Left to Right", "Right to Left"})}});
  m.push_back({"prewitt", "Prewitt", {Choice("Filter", kDirections)}});
  m.push_back({"shift-difference", "Shift and Difference", {Choice("Filter", {"Diagonal", "Horizontal", "Vertical"})}});
  m.push_back({"sobel", "Sobel", {Choice("Filter", {"Up", "Down", "Left", "Top"})}});
  // The pattern list is the operation's own (the built-in patterns and the
  // files found in the pattern folder), so the field names no entries.
  m.push_back({"underlay", "Underlay", {{"&Pattern", 0, 0, 0, 1, 1, false, {}, false}, Choice("&Fit", {"Tile", "Stretch"})}});
  // Canvas Size: the window puts the image's size into the first two
  // fields when it opens.
  m.push_back({"canvas-size", "Canvas Size",
               {Number("Width", 1, 32767, 1), Number("Height", 1, 32767, 1),
                {"Image Position", 1, 9, 5, 1, 1, false, {}, false},
                Choice("Fill Background", {"White", "Black", "Background Color"})}});
  m.push_back({"mode:bw", "Black/White 1BIT", {Choice("Dithering Method:", {"None", "Ordered", "Diffusion"}, 2)}});
  m.push_back({"mode:palette", "Palette 8Bit ",
               {Choice("Palette:", {"System", "Adaptive", "Netscape"}, 1),
                Choice("Dithering Method:", {"None", "Ordered", "Diffusion"}, 1)}});
  return m;
}

std::string FormatNumber(double value, bool fractional) {
  if (!fractional) return std::to_string(static_cast<long long>(value));
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace

const std::vector<EffectDialogModel>& EffectDialogModels() {
  static const std::vector<EffectDialogModel> models = MakeModels();
  return models;
}

const EffectDialogModel* FindEffectDialog(std::string_view operation) {
  for (const EffectDialogModel& model : EffectDialogModels())
    if (model.operation == operation) return &model;
  return nullptr;
}

EffectDialogState::EffectDialogState(const EffectDialogModel& model) : model_(&model) {
  for (const DialogField& field : model.fields) values_.push_back(field.initial);
}

void EffectDialogState::Set(size_t field, double value) {
  const DialogField& f = model_->fields.at(field);
  if (std::isnan(value)) value = f.initial;
  if (!f.fractional) value = std::trunc(value);
  values_.at(field) = std::clamp(value, f.minimum, f.maximum);
}

void EffectDialogState::StepLines(size_t field, int lines) {
  Set(field, values_.at(field) + lines * model_->fields.at(field).lineStep);
}

void EffectDialogState::StepPages(size_t field, int pages) {
  Set(field, values_.at(field) + pages * model_->fields.at(field).pageStep);
}

void EffectDialogState::Home(size_t field) { Set(field, model_->fields.at(field).minimum); }
void EffectDialogState::End(size_t field) { Set(field, model_->fields.at(field).maximum); }

std::string EffectDialogState::OperationText() const {
  std::string text(model_->operation);
  for (size_t i = 0; i < values_.size(); ++i) {
    const DialogField& f = model_->fields[i];
    const double value = f.inverted ? f.maximum - values_[i] : values_[i];
    text += i == 0 ? ':' : ',';
    text += FormatNumber(value, f.fractional);
  }
  return text;
}
