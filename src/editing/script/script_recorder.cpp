// Recording the editor's session as a script.
#include "editing/script/script_recorder.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <utility>

#include "document/format_dispatch.h"
#include "document/vivid_doc.h"
#include "editing/vivid_view.h"

namespace {

constexpr std::string_view kKeyNames[] = {"left", "right", "up", "down", "escape", "delete"};

std::string PointText(platform::Point p) { return std::to_string(p.x) + "," + std::to_string(p.y); }

std::string ModifierWords(bool right, unsigned modifiers) {
  std::string words;
  if (right) words += " right";
  if (modifiers & kModShift) words += " shift";
  if (modifiers & kModCtrl) words += " ctrl";
  if (modifiers & kModAlt) words += " alt";
  return words;
}

std::string ColorText(uint32_t color) {
  return std::to_string(color & 0xFF) + "," + std::to_string((color >> 8) & 0xFF) + "," +
         std::to_string((color >> 16) & 0xFF);
}

// A number as the argument parser reads it back exactly: whole numbers
// without a fraction, others with enough digits to round-trip.
std::string NumberText(double value) {
  if (value == std::floor(value) && std::fabs(value) < 1e15) return std::to_string(static_cast<long long>(value));
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

// One argument: a choice by its name where the name is a plain word, else
// by its position; text as given.
std::string ArgumentText(const OperationParam& param, const OperationArgs& args, size_t i) {
  if (param.kind == ParamKind::Text) return i < args.texts.size() ? args.texts[i] : std::string();
  const double value = args.values.at(i);
  if (param.kind == ParamKind::Choice) {
    const size_t index = static_cast<size_t>(value);
    if (index < param.choices.size()) {
      const std::string_view name = param.choices[index];
      if (!name.empty() && name.find_first_of(" \t,:\"#\\\n") == std::string_view::npos) return std::string(name);
    }
  }
  return NumberText(value);
}

bool IsToggleTool(ViewTool tool) {
  return tool == ViewTool::Zoom || tool == ViewTool::Scroll || tool == ViewTool::Picker ||
         tool == ViewTool::EditAlpha;
}

// `new` words of an image's kind.
std::string_view KindWord(const CDIBitmap& image) {
  if (image.IsCMYK()) return "cmyk";
  switch (image.GetBitCount()) {
    case 1: return "bw";
    case 8: return image.IsGray() ? "gray" : "palette";
    default: return "rgb";
  }
}

}  // namespace

std::string QuoteScriptWord(std::string_view text) {
  if (!text.empty() && text.find_first_of(" \t\r\"\\#\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '"' || c == '\\') (out += '\\') += c;
    else out += c;
  }
  return out + '"';
}

std::string FormatOperation(const ParsedOperation& operation) {
  std::string text(operation.def->name);
  const std::vector<OperationParam>& params = operation.def->params;
  for (size_t i = 0; i < params.size() && i < operation.args.values.size(); ++i)
    text += (i == 0 ? ":" : ",") + ArgumentText(params[i], operation.args, i);
  return text;
}

ScriptRecorder::ScriptRecorder() {
  Emit("# recorded by Vividrome");
  WriteSettingsPreamble();
  ToolSettings().SetOptionObserver(
      [this](ViewTool tool, std::string_view name, std::string_view value) { Option(tool, name, value); });
}

ScriptRecorder::~ScriptRecorder() { ToolSettings().SetOptionObserver({}); }

// Every tool's options as they stand, each page under its own tool, then the
// active tool and the colours.
void ScriptRecorder::WriteSettingsPreamble() {
  const CToolSettings& s = ToolSettings();
  auto set = [&](std::string_view name, const std::string& value) {
    Emit("set " + std::string(name) + " " + QuoteScriptWord(value));
  };
  auto brush = [&](BrushOwner owner) {
    const BrushSettings& b = s.BrushOf(owner);
    set("shape", b.shape == 1 ? "Circle" : "Square");
    set("size", std::to_string(b.size));
    set("softness", std::to_string(b.softness));
    set("spacing", std::to_string(b.spacing));
  };
  auto paint = [&](ViewTool tool, std::string_view transparencyName) {
    const PaintSettings& p = s.PaintOf(tool);
    set(transparencyName, std::to_string(p.transparency));
    if (tool != ViewTool::Text) set("merge-mode", std::string(MergeModeNames()[MergeModeEntry(p.mergeMode)]));
  };
  auto onOff = [](bool on) { return std::string(on ? "on" : "off"); };
  struct BrushTool {
    ViewTool tool;
    BrushOwner owner;
  };
  static constexpr BrushTool kBrushTools[] = {
      {ViewTool::Pen, BrushOwner::Pen},         {ViewTool::Brush, BrushOwner::Brush},
      {ViewTool::Airbrush, BrushOwner::Airbrush}, {ViewTool::Eraser, BrushOwner::Eraser},
      {ViewTool::Retouch, BrushOwner::Retouch}, {ViewTool::PaintSelection, BrushOwner::PaintSelection}};
  for (const BrushTool& t : kBrushTools) {
    Emit("tool " + std::string(ToolScriptName(t.tool)));
    brush(t.owner);
    if (t.tool == ViewTool::PaintSelection) continue;
    paint(t.tool, t.tool == ViewTool::Airbrush ? "pressure" : "transparency");
    if (t.tool == ViewTool::Eraser) set("fill-mode", kEraserModeNames[s.eraserMode]);
    if (t.tool == ViewTool::Retouch) set("retouch-mode", kRetouchModeNames[s.retouchMode]);
  }
  for (const ViewTool tool : {ViewTool::Stamp, ViewTool::FloodFill}) {
    Emit("tool " + std::string(ToolScriptName(tool)));
    paint(tool, "transparency");
  }
  Emit("tool line");
  paint(ViewTool::Line, "transparency");
  set("width", std::to_string(s.lineWidth));
  Emit("tool shape");
  paint(ViewTool::Shape, "transparency");
  set("shape", kShapeNames[s.shapeKind]);
  std::string fillStyle = kFillStyleNames[s.fillStyle];
  if (!fillStyle.empty() && fillStyle.back() == '\t') fillStyle.pop_back();
  set("fill-style", fillStyle);
  set("border-width", std::to_string(s.borderWidth));
  set("antialias", onOff(s.shapeAntialias));
  Emit("tool text");
  paint(ViewTool::Text, "transparency");
  const TextSettings& t = s.textSettings;
  set("text", t.text);
  set("font", t.font);
  set("font-size", std::to_string(t.size));
  set("size-unit", t.sizeInPoints ? "points" : "pixels");
  set("bold", onOff(t.bold));
  set("italic", onOff(t.italic));
  set("underline", onOff(t.underline));
  set("mask-only", onOff(t.maskOnly));
  // The Line and Text pages share one switch.
  set("antialias", onOff(s.antialias));
  Emit("tool edit-alpha");
  brush(BrushOwner::EditAlpha);
  set("transparency", std::to_string(s.editAlphaTransparency));
  // The floater page and the shared tolerance, under a tool with no page of
  // its own for them.
  Emit("tool move-floater");
  set("feather", std::to_string(s.feather));
  set("transparency", std::to_string(s.floaterTransparency));
  set("merge-mode", std::string(MergeModeNames()[MergeModeEntry(s.floaterMergeMode)]));
  set("tolerance", std::to_string(s.fillTolerance));
  set("foreground", ColorText(s.foreground));
  set("background", ColorText(s.background));
  // The active tool last; choosing a toggle tool twice leaves none.
  const ViewTool active = s.ActiveTool();
  if (active == ViewTool::None) {
    Emit("tool zoom");
    Emit("tool zoom");
  } else if (active != ViewTool::MoveFloater) {
    Emit("tool " + std::string(ToolScriptName(active)));
  }
  TakeSettings();
}

void ScriptRecorder::Emit(std::string line) {
  if (gesture_ && lines_.size() > gesture_->pressLine) gesture_->intact = false;
  lines_.push_back(std::move(line));
}

void ScriptRecorder::Enter() {
  if (depth_++ == 0) stepStart_ = lines_.size();
}

void ScriptRecorder::Leave() {
  if (--depth_ != 0 || !stepView_) return;
  // A step was written: the replay's step changed the same as this one did.
  TakeSettings();
  if (FindView(*stepView_)) TakeGeometry(*stepView_);
  stepView_ = nullptr;
}

void ScriptRecorder::TakeSettings() {
  const CToolSettings& s = ToolSettings();
  tool_ = s.ActiveTool();
  foreground_ = s.foreground;
  background_ = s.background;
  text_ = s.textSettings.text;
}

void ScriptRecorder::TakeGeometry(const CVividView& view) {
  ViewState* state = FindView(view);
  if (!state) return;
  state->known = true;
  state->width = view.ClientWidth();
  state->height = view.ClientHeight();
  state->zoom = view.Zoom();
  state->scroll = view.Scroll();
}

ScriptRecorder::Document* ScriptRecorder::FindDocument(const CVividDoc& doc, size_t* index) {
  for (size_t i = 0; i < docs_.size(); ++i)
    if (docs_[i].doc == &doc) {
      if (index) *index = i;
      return &docs_[i];
    }
  return nullptr;
}

ScriptRecorder::ViewState* ScriptRecorder::FindView(const CVividView& view, size_t* docIndex, size_t* viewIndex) {
  for (size_t d = 0; d < docs_.size(); ++d)
    for (size_t v = 0; v < docs_[d].views.size(); ++v)
      if (docs_[d].views[v].view == &view) {
        if (docIndex) *docIndex = d;
        if (viewIndex) *viewIndex = v;
        return &docs_[d].views[v];
      }
  return nullptr;
}

void ScriptRecorder::SyncSettings() {
  const CToolSettings& s = ToolSettings();
  if (s.ActiveTool() != tool_) {
    if (s.ActiveTool() != ViewTool::None)
      Emit("tool " + std::string(ToolScriptName(s.ActiveTool())));
    else if (IsToggleTool(tool_))
      Emit("tool " + std::string(ToolScriptName(tool_)));
    else
      Emit("# no tool is active here; a script cannot choose none after " + std::string(ToolScriptName(tool_)));
  }
  if (s.foreground != foreground_) Emit("set foreground " + ColorText(s.foreground));
  if (s.background != background_) Emit("set background " + ColorText(s.background));
  TakeSettings();
}

bool ScriptRecorder::Select(const CVividView& view) {
  size_t d = 0, v = 0;
  ViewState* state = FindView(view, &d, &v);
  if (!state) return false;
  if (d != activeDoc_) {
    Emit("document " + std::to_string(d + 1));
    activeDoc_ = d;
  }
  if (v != docs_[d].activeView) {
    Emit("window " + std::to_string(v + 1));
    docs_[d].activeView = v;
  }
  if (!state->known || state->width != view.ClientWidth() || state->height != view.ClientHeight()) {
    Emit("view " + std::to_string(view.ClientWidth()) + " " + std::to_string(view.ClientHeight()));
    sessionWidth_ = view.ClientWidth();
    sessionHeight_ = view.ClientHeight();
  }
  if (!state->known || !(state->zoom == view.Zoom()))
    Emit("zoom " + std::to_string(view.Zoom().n) + ":" + std::to_string(view.Zoom().d));
  if (!state->known || !(state->scroll == view.Scroll()))
    Emit("scroll " + std::to_string(view.Scroll().x) + " " + std::to_string(view.Scroll().y));
  TakeGeometry(view);
  SyncSettings();
  stepView_ = &view;
  return true;
}

// --- documents ---

void ScriptRecorder::AddDocument(const CVividDoc& doc) {
  docs_.push_back({&doc, {}, 0});
  activeDoc_ = docs_.size() - 1;
}

void ScriptRecorder::ExistingDocument(const CVividDoc& document) {
  if (document.HasFile()) {
    if (document.IsModified())
      Emit("# " + QuoteScriptWord(document.GetTitle()) + " had changes not saved when the recording began");
    Emit("open " + QuoteScriptWord(document.GetPathName()));
  } else {
    Emit("# " + QuoteScriptWord(document.GetTitle()) + " has no file: a blank image of its size stands in");
    const CDIBitmap& image = document.GetImage();
    Emit("new " + std::to_string(image.GetWidth()) + " " + std::to_string(image.GetHeight()) + " " +
         std::string(KindWord(image)) + " white");
  }
  AddDocument(document);
}

void ScriptRecorder::DocumentOpened(const CVividDoc& document, const std::string& path) {
  hover_.reset();
  Emit("open " + QuoteScriptWord(path));
  AddDocument(document);
}

void ScriptRecorder::DocumentCreated(const CVividDoc& document) {
  hover_.reset();
  const CDIBitmap& image = document.GetImage();
  const uint32_t first = image.GetPixelColor(0, 0);
  const std::string fill = first == 0xFFFFFFu ? "white" : first == 0 ? "black" : "background";
  if (fill == "background") SyncSettings();
  Emit("new " + std::to_string(image.GetWidth()) + " " + std::to_string(image.GetHeight()) + " " +
       std::string(KindWord(image)) + " " + fill);
  AddDocument(document);
}

void ScriptRecorder::ViewAdded(const CVividView& view) {
  size_t d = 0;
  Document* doc = FindDocument(view.GetDocument(), &d);
  if (!doc) {
    if (depth_ == 0) {
      // No step made it: a script cannot make it either.
      ExistingDocument(view.GetDocument());
    } else {
      AddDocument(view.GetDocument());
    }
    doc = &docs_.back();
    d = docs_.size() - 1;
  } else if (!doc->views.empty()) {
    if (d != activeDoc_) Emit("document " + std::to_string(d + 1));
    activeDoc_ = d;
    Emit("command new-window");
  }
  // A replay's new view takes the session's client size.
  ViewState state;
  state.view = &view;
  doc->views.push_back(state);
  doc->activeView = doc->views.size() - 1;
  activeDoc_ = d;
}

void ScriptRecorder::ViewClosed(const CVividView& view) {
  size_t d = 0, v = 0;
  ViewState* state = FindView(view, &d, &v);
  if (!state) return;
  if (gesture_ && gesture_->view == &view) gesture_.reset();
  if (hover_ && hover_->view == &view) hover_.reset();
  if (pressedView_ == &view) pressedView_ = nullptr;
  state->view = nullptr;
  for (const ViewState& other : docs_[d].views)
    if (other.view) return;
  // The last view: the document closes.
  if (d != activeDoc_) Emit("document " + std::to_string(d + 1));
  Emit("close");
  docs_.erase(docs_.begin() + static_cast<std::ptrdiff_t>(d));
  activeDoc_ = docs_.empty() ? 0 : docs_.size() - 1;
}

void ScriptRecorder::DocumentSaved(const CVividDoc& document, const std::string& path) {
  size_t d = 0;
  if (!FindDocument(document, &d)) return;
  hover_.reset();
  if (d != activeDoc_) {
    Emit("document " + std::to_string(d + 1));
    activeDoc_ = d;
  }
  Emit("save " + QuoteScriptWord(path));
}

void ScriptRecorder::Answer(platform::MsgAnswer answer) {
  if (depth_ == 0) return;
  const char* word = answer == platform::MsgAnswer::Yes  ? "yes"
                     : answer == platform::MsgAnswer::No ? "no"
                                                         : "cancel";
  if (gesture_ && gesture_->pressLine >= stepStart_) gesture_->intact = false;
  if (gesture_ && gesture_->pressLine >= stepStart_) ++gesture_->pressLine;
  if (tickLine_ && *tickLine_ >= stepStart_) ++*tickLine_;
  if (lastClick_ && lastClick_->line >= stepStart_) ++lastClick_->line;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(stepStart_), std::string("answer ") + word);
  ++stepStart_;
}

// --- gestures ---

void ScriptRecorder::Press(const CVividView& view, platform::Point point, PointerButton button,
                           unsigned modifiers) {
  const std::optional<Hover> hover = std::exchange(hover_, std::nullopt);
  if (!Select(view)) return;
  if (hover && hover->view == &view)
    Emit("move " + PointText(hover->point) + ModifierWords(false, hover->modifiers));
  const bool right = button == PointerButton::Right;
  tickLine_.reset();
  lastClick_.reset();
  gesture_ = Gesture{&view, lines_.size(), {point}, modifiers, right, true};
  lines_.push_back("press " + PointText(point) + ModifierWords(right, modifiers));
  pressedView_ = &view;
}

void ScriptRecorder::Move(const CVividView& view, platform::Point point, unsigned modifiers) {
  if (pressedView_ != &view) {
    hover_ = Hover{&view, point, modifiers};
    return;
  }
  if (!Select(view)) return;
  tickLine_.reset();
  const std::string line = "move " + PointText(point) + ModifierWords(false, modifiers);
  if (gesture_ && gesture_->view == &view && gesture_->intact && modifiers == gesture_->modifiers) {
    lines_.push_back(line);
    gesture_->points.push_back(point);
  } else {
    Emit(line);
  }
}

void ScriptRecorder::Release(const CVividView& view, platform::Point point, PointerButton button,
                             unsigned modifiers) {
  hover_.reset();
  if (swallowRelease_ == &view) {
    swallowRelease_ = nullptr;
    return;
  }
  if (!Select(view)) return;
  pressedView_ = nullptr;
  tickLine_.reset();
  const bool right = button == PointerButton::Right;
  const std::optional<Gesture> g = std::exchange(gesture_, std::nullopt);
  const bool whole = g && g->view == &view && g->intact && g->right == right && g->modifiers == modifiers &&
                     lines_.size() == g->pressLine + g->points.size() && g->points.back().x == point.x &&
                     g->points.back().y == point.y;
  if (!whole) {
    Emit("release " + PointText(point) + ModifierWords(right, modifiers));
    return;
  }
  // Press, moves and a release at the last point: one step.
  lines_.resize(g->pressLine);
  std::string line;
  if (g->points.size() == 1) {
    line = "click " + PointText(point);
    lastClick_ = Click{&view, lines_.size(), point, modifiers, right};
  } else {
    line = "drag";
    for (const platform::Point& p : g->points) line += " " + PointText(p);
  }
  lines_.push_back(line + ModifierWords(right, modifiers));
}

void ScriptRecorder::DoubleClick(const CVividView& view, platform::Point point, PointerButton button,
                                 unsigned modifiers) {
  hover_.reset();
  const bool right = button == PointerButton::Right;
  const std::optional<Click> click = std::exchange(lastClick_, std::nullopt);
  const std::string line = "double-click " + PointText(point) + ModifierWords(right, modifiers);
  // The window reports press, release, double click, release; the step
  // `double-click` is all four.
  swallowRelease_ = &view;
  if (click && click->view == &view && click->line + 1 == lines_.size() && click->point.x == point.x &&
      click->point.y == point.y && click->modifiers == modifiers && click->right == right) {
    lines_.back() = line;
    return;
  }
  if (!Select(view)) return;
  Emit(line);
}

void ScriptRecorder::Key(const CVividView& view, ViewKey key, int repeat, unsigned modifiers) {
  hover_.reset();
  if (!Select(view)) return;
  tickLine_.reset();
  std::string line = "key " + std::string(kKeyNames[static_cast<int>(key)]);
  if (repeat > 1) line += " " + std::to_string(repeat);
  Emit(line + ModifierWords(false, modifiers));
}

void ScriptRecorder::Tick(const CVividView& view, int ms) {
  // Only a gesture in progress (the air brush) needs the timer's ticks.
  if (pressedView_ != &view || ms <= 0) return;
  if (!Select(view)) return;
  if (tickLine_ && *tickLine_ + 1 == lines_.size()) {
    tickTotal_ += ms;
    lines_.back() = "tick " + std::to_string(tickTotal_);
    return;
  }
  tickTotal_ = ms;
  Emit("tick " + std::to_string(ms));
  tickLine_ = lines_.size() - 1;
}

// --- commands and effects ---

void ScriptRecorder::Command(const CVividView& view, ViewCommand id, const OperationArgs& args) {
  hover_.reset();
  const CommandDef* def = FindCommand(id);
  if (!def || !Select(view)) return;
  std::string line = "command " + std::string(def->scriptName);
  for (size_t i = 0; i < def->params.size() && i < args.values.size(); ++i)
    line += " " + QuoteScriptWord(ArgumentText(def->params[i], args, i));
  Emit(line);
}

void ScriptRecorder::Effect(const CVividView& view, const ParsedOperation& operation) {
  hover_.reset();
  if (!operation.def || !Select(view)) return;
  Emit("effect " + QuoteScriptWord(FormatOperation(operation)));
}

void ScriptRecorder::Preview(const CVividView& view, const ParsedOperation& operation) {
  hover_.reset();
  if (!operation.def || !Select(view)) return;
  Emit("preview " + QuoteScriptWord(FormatOperation(operation)));
}

void ScriptRecorder::PreviewOk(const CVividView& view) {
  hover_.reset();
  if (!Select(view)) return;
  // The Text dialog's text is typed into the shared settings directly.
  const std::string& text = ToolSettings().textSettings.text;
  if (view.TextDialogOpen() && text != text_) {
    Emit("set text " + QuoteScriptWord(text));
    text_ = text;
  }
  Emit("preview-ok");
}

void ScriptRecorder::PreviewCancel(const CVividView& view) {
  hover_.reset();
  if (!Select(view)) return;
  Emit("preview-cancel");
}

void ScriptRecorder::Option(ViewTool pageTool, std::string_view name, std::string_view value) {
  if (depth_ > 0) return;
  hover_.reset();
  // A tool chosen since the last step comes first.
  SyncSettings();
  const std::string line = "set " + std::string(name) + " " + QuoteScriptWord(value);
  ViewTool replayTool = tool_;
  if (name == "foreground" || name == "background" || pageTool == tool_) {
    Emit(line);
  } else {
    // Another tool's page: that tool for the moment, then back.
    Emit("tool " + std::string(ToolScriptName(pageTool)));
    Emit(line);
    if (tool_ != ViewTool::None)
      Emit("tool " + std::string(ToolScriptName(tool_)));
    else if (IsToggleTool(pageTool))
      Emit("tool " + std::string(ToolScriptName(pageTool)));
    else
      replayTool = pageTool;  // the replay cannot go back to no tool
  }
  TakeSettings();
  tool_ = replayTool;
}

std::string ScriptRecorder::Text() const {
  std::string text;
  for (const std::string& line : lines_) (text += line) += '\n';
  return text;
}

bool ScriptRecorder::WriteTo(const std::string& path) const {
  const std::string text = Text();
  return WriteFileAtomically(path, [&](const std::string& file) {
           std::FILE* out = std::fopen(file.c_str(), "wb");
           if (!out) return 0;
           const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
           return (std::fclose(out) == 0 && written) ? 1 : 0;
         }) != 0;
}
