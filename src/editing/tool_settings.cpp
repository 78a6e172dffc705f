// The application-wide tool settings and editing flags.
#include "editing/operation_table.h"
#include "editing/tool_settings.h"

#include <algorithm>
#include <atomic>

#include "imaging/combine.h"

namespace {

struct ToolName {
  ViewTool tool;
  std::string_view name;
  int group;
};

constexpr ToolName kTools[] = {
    {ViewTool::Rectangle, "rectangle", kGroupSelection},
    {ViewTool::RoundRectangle, "round-rectangle", kGroupSelection},
    {ViewTool::Ellipse, "ellipse", kGroupSelection},
    {ViewTool::Freehand, "freehand", kGroupSelection},
    {ViewTool::PointToPoint, "point-to-point", kGroupSelection},
    {ViewTool::MagicWand, "magic-wand", kGroupSelection},
    {ViewTool::PaintSelection, "paint-selection", kGroupSelection},
    {ViewTool::MoveFloater, "move-floater", kGroupFloater},
    {ViewTool::Scale, "scale", kGroupFloater},
    {ViewTool::Rotate, "rotate", kGroupFloater},
    {ViewTool::Distort, "distort", kGroupFloater},
    {ViewTool::EditAlpha, "edit-alpha", kGroupEditAlpha},
    {ViewTool::Pen, "pen", kGroupPaint},
    {ViewTool::Brush, "brush", kGroupPaint},
    {ViewTool::Airbrush, "airbrush", kGroupPaint},
    {ViewTool::Eraser, "eraser", kGroupPaint},
    {ViewTool::Retouch, "retouch", kGroupPaint},
    {ViewTool::Stamp, "stamp", kGroupPaint},
    {ViewTool::FloodFill, "flood-fill", kGroupPaint},
    {ViewTool::Line, "line", kGroupPaint},
    {ViewTool::Shape, "shape", kGroupPaint},
    {ViewTool::Text, "text", kGroupPaint},
    {ViewTool::Picker, "picker", kGroupPicker},
    {ViewTool::Zoom, "zoom", kGroupZoom},
    {ViewTool::Scroll, "scroll", kGroupScroll},
};

std::atomic<bool> g_busy{false};
std::atomic<bool> g_modal{false};


// "R,G,B" with each 0..255, as 0x00BBGGRR.
bool ParseColor(std::string_view text, uint32_t& out) {
  int channel[3];
  for (int i = 0; i < 3; ++i) {
    const size_t comma = i < 2 ? text.find(',') : text.size();
    if (comma == std::string_view::npos || !ParseInteger(text.substr(0, comma), 0, 255, channel[i])) return false;
    text = i < 2 ? text.substr(comma + 1) : std::string_view();
  }
  out = static_cast<uint32_t>(channel[0]) | static_cast<uint32_t>(channel[1]) << 8 |
        static_cast<uint32_t>(channel[2]) << 16;
  return true;
}

std::string Range(std::string_view name, int min, int max) {
  return std::string(name) + " must be " + std::to_string(min) + ".." + std::to_string(max);
}

}  // namespace

int ToolGroupOf(ViewTool tool) {
  for (const ToolName& entry : kTools)
    if (entry.tool == tool) return entry.group;
  return kGroupNone;
}

int SelectionToolNumber(ViewTool tool) {
  const int number = static_cast<int>(tool) - static_cast<int>(ViewTool::Rectangle) + 1;
  return number >= 1 && number <= 7 ? number : 0;
}

std::string_view ToolScriptName(ViewTool tool) {
  for (const ToolName& entry : kTools)
    if (entry.tool == tool) return entry.name;
  return {};
}

std::optional<ViewTool> ToolFromScriptName(std::string_view name) {
  for (const ToolName& entry : kTools)
    if (entry.name == name) return entry.tool;
  return std::nullopt;
}

void CToolSettings::SelectTool(ViewTool tool) {
  const bool toggles = tool == ViewTool::Zoom || tool == ViewTool::Scroll || tool == ViewTool::Picker ||
                       tool == ViewTool::EditAlpha;
  if (toggles && tool_ == tool) {
    tool_ = ViewTool::None;
    return;
  }
  tool_ = tool;
  if (const int number = SelectionToolNumber(tool)) {
    selectionTool = number;
    if (number <= 3) shapeChoice = number - 1;
    if (number == 4 || number == 5) freehandChoice = number - 4;
  }
}

namespace {

// The "Merge mode" list of the option pages and the blend mode of each entry.
constexpr const char* kMergeModeNames[] = {"Normal",     "Multiply", "Screen",     "Difference", "if Darker",
                                           "if Lighter", "Hue",      "Saturation", "Color",      "Luminosity"};
constexpr int kMergeModes[] = {kBlendNormal,    kBlendMultiply, kBlendScreen,     kBlendDifference, kBlendIfDarker,
                               kBlendIfLighter, kBlendHue,      kBlendSaturation, kBlendColor,      kBlendLuminosity};

// The slot of each tool that keeps paint settings; -1 for the others.
int PaintSlot(ViewTool tool) {
  switch (tool) {
    case ViewTool::Pen: return 0;
    case ViewTool::Brush: return 1;
    case ViewTool::Airbrush: return 2;
    case ViewTool::Eraser: return 3;
    case ViewTool::Retouch: return 4;
    case ViewTool::Stamp: return 5;
    case ViewTool::FloodFill: return 6;
    case ViewTool::Line: return 7;
    case ViewTool::Shape: return 8;
    case ViewTool::Text: return 9;
    default: return -1;
  }
}

// A list entry by its text (a trailing tab of the entry may be left out).
template <size_t N>
int ListIndex(const char* const (&names)[N], std::string_view value) {
  for (size_t i = 0; i < N; ++i) {
    std::string_view name = names[i];
    if (value == name) return static_cast<int>(i);
    if (!name.empty() && name.back() == '\t' && value == name.substr(0, name.size() - 1)) return static_cast<int>(i);
  }
  return -1;
}

template <size_t N>
std::string ListProblem(std::string_view option, const char* const (&names)[N]) {
  std::string text = std::string(option) + " must be one of";
  for (size_t i = 0; i < N; ++i) {
    std::string_view name = names[i];
    if (!name.empty() && name.back() == '\t') name.remove_suffix(1);
    text += (i ? ", \"" : " \"") + std::string(name) + "\"";
  }
  return text;
}

bool ParseSwitch(std::string_view value, bool& out) {
  if (value == "on") out = true;
  else if (value == "off") out = false;
  else return false;
  return true;
}

}  // namespace

PaintSettings& CToolSettings::PaintOf(ViewTool tool) {
  const int slot = PaintSlot(tool);
  return paint[static_cast<size_t>(slot < 0 ? 0 : slot)];
}

const PaintSettings& CToolSettings::PaintOf(ViewTool tool) const {
  const int slot = PaintSlot(tool);
  return paint[static_cast<size_t>(slot < 0 ? 0 : slot)];
}

const std::vector<std::string_view>& MergeModeNames() {
  static const std::vector<std::string_view> names(std::begin(kMergeModeNames), std::end(kMergeModeNames));
  return names;
}

int MergeModeEntry(int blendMode) {
  for (size_t i = 0; i < std::size(kMergeModes); ++i)
    if (kMergeModes[i] == blendMode) return static_cast<int>(i);
  return 0;
}

std::string CToolSettings::SetOptionFor(ViewTool tool, std::string_view name, std::string_view value) {
  const ViewTool active = tool_;
  tool_ = tool;
  std::string problem = ApplyOption(name, value);
  tool_ = active;
  if (problem.empty() && optionObserver_) optionObserver_(tool, name, value);
  return problem;
}

std::string CToolSettings::SetOption(std::string_view name, std::string_view value) {
  std::string problem = ApplyOption(name, value);
  if (problem.empty() && optionObserver_) optionObserver_(tool_, name, value);
  return problem;
}

std::string CToolSettings::ApplyOption(std::string_view name, std::string_view value) {
  if (name == "foreground" || name == "background") {
    uint32_t color = 0;
    if (!ParseColor(value, color)) return std::string(name) + " must be R,G,B with each 0..255";
    (name == "foreground" ? foreground : background) = color;
    return {};
  }
  // The brush record of the active tool, when it has one.
  BrushSettings* brush = nullptr;
  switch (tool_) {
    case ViewTool::PaintSelection: brush = &BrushOf(BrushOwner::PaintSelection); break;
    case ViewTool::EditAlpha: brush = &BrushOf(BrushOwner::EditAlpha); break;
    case ViewTool::Pen: brush = &BrushOf(BrushOwner::Pen); break;
    case ViewTool::Brush: brush = &BrushOf(BrushOwner::Brush); break;
    case ViewTool::Airbrush: brush = &BrushOf(BrushOwner::Airbrush); break;
    case ViewTool::Eraser: brush = &BrushOf(BrushOwner::Eraser); break;
    case ViewTool::Retouch: brush = &BrushOf(BrushOwner::Retouch); break;
    default: break;
  }
  if (brush) {
    if (name == "shape") {
      if (value == "Square") brush->shape = 0;
      else if (value == "Circle") brush->shape = 1;
      else return "shape must be \"Square\" or \"Circle\"";
      return {};
    }
    if (name == "size") return ParseInteger(value, 0, 100, brush->size) ? std::string() : Range(name, 0, 100);
    if (name == "softness") return ParseInteger(value, 0, 100, brush->softness) ? std::string() : Range(name, 0, 100);
    if (name == "spacing") return ParseInteger(value, 0, 100, brush->spacing) ? std::string() : Range(name, 0, 100);
  }
  // The selection pages' "Copy Image" and "AntiAlias" switches and their
  // "Match Mode" list (whose one entry is "RGB") are offered but change
  // nothing.
  if (ToolGroupOf(tool_) == kGroupSelection) {
    if (name == "copy-image" || name == "antialias") {
      if (value == "on" || value == "off") return {};
      return std::string(name) + " must be on or off";
    }
    if (name == "match-mode") return value == "RGB" ? std::string() : "match-mode must be \"RGB\"";
  }
  if (tool_ == ViewTool::EditAlpha && name == "transparency")
    return ParseInteger(value, 0, 100, editAlphaTransparency) ? std::string() : Range(name, 0, 100);
  // The paint, line, shape and text pages.
  if (PaintSlot(tool_) >= 0) {
    PaintSettings& own = PaintOf(tool_);
    if (name == "transparency" || (name == "pressure" && tool_ == ViewTool::Airbrush))
      return ParseInteger(value, 0, 100, own.transparency) ? std::string() : Range(name, 0, 100);
    if (name == "merge-mode") {
      const int index = ListIndex(kMergeModeNames, value);
      if (index < 0 || (tool_ == ViewTool::Text && index != 0))
        return tool_ == ViewTool::Text ? "merge-mode must be \"Normal\"" : ListProblem(name, kMergeModeNames);
      own.mergeMode = kMergeModes[index];
      return {};
    }
  }
  if (tool_ == ViewTool::Eraser && name == "fill-mode") {
    const int index = ListIndex(kEraserModeNames, value);
    if (index < 0) return ListProblem(name, kEraserModeNames);
    eraserMode = index;
    return {};
  }
  if (tool_ == ViewTool::Retouch && name == "retouch-mode") {
    const int index = ListIndex(kRetouchModeNames, value);
    if (index < 0) return ListProblem(name, kRetouchModeNames);
    retouchMode = index;
    return {};
  }
  if (tool_ == ViewTool::Line) {
    if (name == "width") return ParseInteger(value, 0, 100, lineWidth) ? std::string() : Range(name, 0, 100);
    if (name == "antialias") return ParseSwitch(value, antialias) ? std::string() : "antialias must be on or off";
    if (name == "line-type") return {};  // offered, without effect
  }
  if (tool_ == ViewTool::Shape) {
    if (name == "shape") {
      const int index = ListIndex(kShapeNames, value);
      if (index < 0) return ListProblem(name, kShapeNames);
      shapeKind = index;
      return {};
    }
    if (name == "fill-style") {
      const int index = ListIndex(kFillStyleNames, value);
      if (index < 0) return ListProblem(name, kFillStyleNames);
      fillStyle = index;
      return {};
    }
    if (name == "border-width") return ParseInteger(value, 0, 100, borderWidth) ? std::string() : Range(name, 0, 100);
    if (name == "antialias")
      return ParseSwitch(value, shapeAntialias) ? std::string() : "antialias must be on or off";
  }
  if (tool_ == ViewTool::Text) {
    TextSettings& t = textSettings;
    if (name == "antialias") return ParseSwitch(value, antialias) ? std::string() : "antialias must be on or off";
    if (name == "mask-only") return ParseSwitch(value, t.maskOnly) ? std::string() : "mask-only must be on or off";
    if (name == "text") {
      t.text = std::string(value);
      return {};
    }
    if (name == "font") {
      if (value.empty()) return "font must name a font family";
      t.font = std::string(value);
      return {};
    }
    if (name == "font-size") return ParseInteger(value, 1, 1000, t.size) ? std::string() : Range(name, 1, 1000);
    if (name == "size-unit") {
      if (value == "pixels") t.sizeInPoints = false;
      else if (value == "points") t.sizeInPoints = true;
      else return "size-unit must be pixels or points";
      return {};
    }
    if (name == "bold") return ParseSwitch(value, t.bold) ? std::string() : "bold must be on or off";
    if (name == "italic") return ParseSwitch(value, t.italic) ? std::string() : "italic must be on or off";
    if (name == "underline") return ParseSwitch(value, t.underline) ? std::string() : "underline must be on or off";
  }
  if (name == "tolerance") return ParseInteger(value, 0, 255, fillTolerance) ? std::string() : Range(name, 0, 255);
  if (name == "feather") return ParseInteger(value, 0, 20, feather) ? std::string() : Range(name, 0, 20);
  if (name == "transparency")
    return ParseInteger(value, 0, 100, floaterTransparency) ? std::string() : Range(name, 0, 100);
  if (name == "merge-mode") {
    const int index = ListIndex(kMergeModeNames, value);
    if (index < 0) return ListProblem(name, kMergeModeNames);
    floaterMergeMode = kMergeModes[index];
    return {};
  }
  return "no option \"" + std::string(name) + "\" for the tool \"" + std::string(ToolScriptName(tool_)) + "\"";
}

const std::vector<ToolCommandDef>& ToolCommands() {
  static const std::vector<ToolCommandDef> commands = {
      {32891, ViewTool::Rectangle, "Selection"},
      {32895, ViewTool::Freehand, "Free Hand"},
      {32894, ViewTool::MagicWand, "Magic Wand"},
      {32896, ViewTool::PaintSelection, "Paint Selection"},
      {32843, ViewTool::MoveFloater, "Make Selection Floated and Move"},
      {32844, ViewTool::Scale, ""},
      {32845, ViewTool::Rotate, ""},
      {32846, ViewTool::Distort, ""},
      {33004, ViewTool::EditAlpha, "Edit Alpha  , Shift key to add to Alpha Ctrl key to remove from Alpha"},
      {32841, ViewTool::Zoom, "Zoom in , Alt key to Zoom out"},
      {32840, ViewTool::Scroll, "Scroll Image any dirction"},
      {32842, ViewTool::Picker, ""},
      {32900, ViewTool::Pen, "Pen"},
      {32904, ViewTool::Brush, "Brush"},
      {32905, ViewTool::Airbrush, "Air Brush"},
      {32909, ViewTool::Eraser, "Eraser"},
      {32908, ViewTool::Retouch, "Retouch"},
      {32906, ViewTool::Stamp, "Stamp"},
      {32907, ViewTool::FloodFill, "Flood Fill"},
      {32901, ViewTool::Line, ""},
      {32902, ViewTool::Shape, ""},
      {32903, ViewTool::Text, ""},
  };
  return commands;
}

ViewTool CToolSettings::ToolOfCommand(int id) const {
  if (id == 32891) return static_cast<ViewTool>(static_cast<int>(ViewTool::Rectangle) + std::clamp(shapeChoice, 0, 2));
  if (id == 32895) return freehandChoice == 1 ? ViewTool::PointToPoint : ViewTool::Freehand;
  for (const ToolCommandDef& def : ToolCommands())
    if (def.id == id) return def.tool;
  return ViewTool::None;
}

bool CToolSettings::IsToolCommandChecked(int id) const {
  if (id == 32891) return SelectionToolNumber(tool_) >= 1 && SelectionToolNumber(tool_) <= 3;
  if (id == 32895) return tool_ == ViewTool::Freehand || tool_ == ViewTool::PointToPoint;
  const ViewTool tool = ToolOfCommand(id);
  return tool != ViewTool::None && tool == tool_;
}

CToolSettings& ToolSettings() {
  static CToolSettings settings;
  return settings;
}

bool IsEditBusy() { return g_busy.load(); }
void SetEditBusy(bool busy) { g_busy.store(busy); }
bool IsModalRunning() { return g_modal.load(); }
void SetModalRunning(bool running) { g_modal.store(running); }
