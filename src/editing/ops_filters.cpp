// The neighbourhood filters as named operations, with the parameters, ranges
// and defaults of their dialogs and the dialog-to-operation conversions
// (integer conversions truncate).
#include <deque>
#include <string>

#include "editing/operation_table.h"
#include "editing/underlay_patterns.h"
#include "image/dibitmap.h"
#include "imaging/filters.h"
#include "imaging/underlay.h"

namespace {

OperationParam Slider(std::string_view name, int min, int max, int initial) {
  return {name, ParamKind::Integer, double(min), double(max), {}, double(initial)};
}

OperationParam List(std::string_view name, std::vector<std::string_view> choices) {
  return {name, ParamKind::Choice, 0, double(choices.size() - 1), std::move(choices), 0.0};
}

OperationDef Plain(std::string_view name, int (*filter)(CDIBitmap&)) {
  return {name, {}, [filter](CDIBitmap& image, const OperationArgs&) { return filter(image); }};
}

OperationDef Edge(std::string_view name, EdgeCommand command, std::vector<std::string_view> entries) {
  return {name, {List("Entry", std::move(entries))}, [command](CDIBitmap& image, const OperationArgs& a) {
            return GL_EdgeFilter(image, GL_EdgeFilterMode(command, a.Int(0)));
          }};
}

// The square-window filters take the dialog's size as their radius, all
// pixels (interior 0).
OperationDef Window(std::string_view name, int max, int (*filter)(CDIBitmap&, int, int)) {
  return {name, {Slider("Size", 0, max, 0)},
          [filter](CDIBitmap& image, const OperationArgs& a) { return filter(image, a.Int(0), 0); }};
}

// "underlay:PATTERN,tile|stretch". The pattern list is read once, with the
// table: the built-in patterns and the files of the pattern folder then.
OperationDef Underlay() {
  static const std::string folder = UnderlayPatternFolder();
  static const std::deque<std::string> names = [] {
    const std::vector<std::string> listed = ListUnderlayPatterns(folder);
    return std::deque<std::string>(listed.begin(), listed.end());
  }();
  std::vector<std::string_view> choices(names.begin(), names.end());
  return {"underlay",
          {List("Pattern", choices), List("Fit", {"tile", "stretch"})},
          [choices](CDIBitmap& image, const OperationArgs& a) {
            CDIBitmap pattern;
            const int loaded = LoadUnderlayPattern(pattern, std::string(choices.at(a.values.at(0))), folder);
            if (loaded != 1) return loaded;
            return GL_UnderlayBitmap(image, pattern, a.Int(1) == 1 ? kUnderlayStretch : kUnderlayTile);
          }};
}

const std::vector<std::string_view> kDirections = {"North", "North-East", "East",  "South-East",
                                                   "South", "South-West", "West", "North-West"};
const std::vector<std::string_view> kElements = {"Omnidirectional", "Horizontal", "Vertical", "Crosss", "Diagonal"};

}  // namespace

std::vector<OperationDef> FilterOperations() {
  std::vector<OperationDef> ops;
  ops.push_back(Plain("blur", GL_BlurBitmap));
  ops.push_back(Plain("blur-more", GL_BlurMoreBitmap));
  ops.push_back(Plain("sharpen", GL_SharpenBitmap));
  ops.push_back(Plain("sharpen-more", GL_SharpenMoreBitmap));
  ops.push_back(Edge("laplacian", EdgeCommand::Laplacian, {"Filter 1", "Filter 2", "Filter 3"}));
  ops.push_back(Edge("sobel", EdgeCommand::Sobel, {"Up", "Down", "Left", "Top"}));
  ops.push_back(Edge("prewitt", EdgeCommand::Prewitt, kDirections));
  ops.push_back(Edge("line-segment", EdgeCommand::LineSegment, {"Horizontal", "Vertical", "Left to Right", "Right to Left"}));
  ops.push_back(Edge("shift-difference", EdgeCommand::ShiftDifference, {"Diagonal", "Horizontal", "Vertical"}));
  ops.push_back({"edge-enhance", {Slider("Level", 0, 100, 50)}, [](CDIBitmap& image, const OperationArgs& a) {
                   return GL_EdgeEnhance(image, 0, a.Int(0) * 255 / 100);
                 }});
  ops.push_back({"emboss",
                 {Slider("Level", 0, 100, 50), List("Direction", kDirections)},
                 [](CDIBitmap& image, const OperationArgs& a) {
                   return GL_Emboss(image, a.Int(1), a.Int(0) * 128 / 100);
                 }});
  ops.push_back({"add-noise", {Slider("Level", 0, 100, 0)}, [](CDIBitmap& image, const OperationArgs& a) {
                   return GL_AddNoise(image, 0, a.Int(0) * 10);
                 }});
  ops.push_back(Window("average", 50, GL_AverageFilter));
  ops.push_back(Window("median", 10, GL_MedianFilter));
  ops.push_back(Window("minimum", 10, GL_MinimumFilter));
  ops.push_back(Window("maximum", 10, GL_MaximumFilter));
  ops.push_back(Window("despeckle", 10, GL_Despeckle));
  ops.push_back({"mosaic", {Slider("Size", 2, 64, 2)},
                 [](CDIBitmap& image, const OperationArgs& a) { return GL_Mosaic(image, a.Int(0), 0); }});
  ops.push_back({"posterize", {Slider("Levels", 2, 64, 2)},
                 [](CDIBitmap& image, const OperationArgs& a) { return GL_Posterize(image, a.Int(0)); }});
  ops.push_back({"solarize", {Slider("Threshold", 0, 255, 127)},
                 [](CDIBitmap& image, const OperationArgs& a) { return GL_Solarize(image, a.Int(0)); }});
  ops.push_back({"unsharp-mask",
                 {Slider("Amount", 1, 500, 250), Slider("Radius", 0, 10, 2), Slider("Threshold", 0, 255, 2)},
                 [](CDIBitmap& image, const OperationArgs& a) {
                   return GL_UnsharpMask(image, a.Int(0), a.Int(1), a.Int(2), 0);
                 }});
  ops.push_back({"gaussian-blur",
                 {{"Radius", ParamKind::Real, 0, 10, {}, 0.0}},
                 [](CDIBitmap& image, const OperationArgs& a) { return GL_GaussianBlur(image, a.Real(0)); }});
  // Dilation counts cells outside the image as 0, erosion as 255, so the
  // image edge neither grows nor erodes.
  ops.push_back({"dilation", {List("Filter Type", kElements)},
                 [](CDIBitmap& image, const OperationArgs& a) { return GL_Dilate(image, 0, 0, a.Int(0)); }});
  ops.push_back({"erosion", {List("Filter Type", kElements)},
                 [](CDIBitmap& image, const OperationArgs& a) { return GL_Erode(image, 255, 255, a.Int(0)); }});
  ops.push_back(Underlay());
  return ops;
}
