// The application-wide tool settings: one set shared by every view, written
// by the option pages (and the script's `set`), read by the tools.
//
// Also the process-wide editing flags: busy (an edit is running: every
// command and all mouse handling are disabled) and modal running (a modal
// dialog is up).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Every tool of the view, by the name the script language gives it.
enum class ViewTool {
  None,
  // selection tools (group 1), numbered as the selection tool setting 1..7
  Rectangle,
  RoundRectangle,
  Ellipse,
  Freehand,
  PointToPoint,
  MagicWand,
  PaintSelection,
  // floater tools (group 2)
  MoveFloater,
  Scale,
  Rotate,
  Distort,
  EditAlpha,  // a toggle tool of its own (group 7)
  // paint tools (group 6)
  Pen,
  Brush,
  Airbrush,
  Eraser,
  Retouch,
  Stamp,
  FloodFill,
  Line,
  Shape,
  Text,
  Picker,  // group 5, a toggle
  Zoom,    // group 3, a toggle
  Scroll,  // group 4, a toggle
};

// Tool groups.
inline constexpr int kGroupNone = 0;
inline constexpr int kGroupSelection = 1;
inline constexpr int kGroupFloater = 2;
inline constexpr int kGroupZoom = 3;
inline constexpr int kGroupScroll = 4;
inline constexpr int kGroupPicker = 5;
inline constexpr int kGroupPaint = 6;
inline constexpr int kGroupEditAlpha = 7;

int ToolGroupOf(ViewTool tool);
// The selection tool number 1..7 of a selection tool; 0 for the others.
int SelectionToolNumber(ViewTool tool);
// "rectangle", "move-floater", ...; empty for None.
std::string_view ToolScriptName(ViewTool tool);
std::optional<ViewTool> ToolFromScriptName(std::string_view name);

// The tool bar's tool commands. Selection (32891) chooses the rectangle,
// round rectangle or ellipse by the shape choice, Free Hand (32895) the
// freehand or point-to-point tool by the freehand choice; the others name
// one tool. Zoom, Scroll, the Picker and Edit Alpha toggle.
struct ToolCommandDef {
  int id;
  ViewTool tool;             // for 32891 and 32895: the first of their tools
  std::string_view toolTip;  // empty where the tool bar shows none
};
const std::vector<ToolCommandDef>& ToolCommands();

// A brush record's settings (the tip itself is built from them by the
// stroke engine).
struct BrushSettings {
  int shape = 0;      // 0 "Square", 1 "Circle"
  int size = 10;      // 0..100 image pixels
  int softness = 0;   // 0..100 %
  int spacing = 20;   // 0..100 % of the size
};

// The tools that keep a brush record of their own.
enum class BrushOwner { Pen, Brush, Airbrush, Eraser, Retouch, PaintSelection, EditAlpha, Count };

// Each paint, line, shape and text tool keeps its own merge mode and
// transparency (the Air Brush page calls the transparency "Pressure (%)").
struct PaintSettings {
  int mergeMode = 0;     // BlendMode (combine.h)
  int transparency = 0;  // 0..100 %
  // Opacity = 255 - T x 255 div 100.
  int Opacity() const { return 255 - transparency * 255 / 100; }
};

// The eraser's "Fill Mode" list and the retouch modes, in list order.
inline constexpr const char* kEraserModeNames[] = {"Back Color", "White", "Black", "Saved Image"};
inline constexpr const char* kRetouchModeNames[] = {"Blur", "Sharpen", "Saturate", "Desaturate", "Lighten", "Darken"};
// The Shape page's lists, in list order ("Left to Right" carries a tab in
// the list; the script may leave it out).
inline constexpr const char* kShapeNames[] = {"Rectangle", "Round Rectangle", "Ellipse", "Circle"};
inline constexpr const char* kFillStyleNames[] = {"Left to Right\t", "Top to Bottom", "NW to SE",
                                                  "NE to SW",        "Rect Center to Out", "Ellipse Center to Out"};

// The option pages' "Merge mode" list, in list order ("Normal" ..
// "Luminosity"), and the list entry of a BlendMode (0 for a mode the list
// does not hold).
const std::vector<std::string_view>& MergeModeNames();
int MergeModeEntry(int blendMode);

// The Text dialog's fields.
struct TextSettings {
  std::string text;
  std::string font = "DejaVu Sans";
  int size = 24;
  bool sizeInPoints = false;  // "Pixels" or "Points"
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool maskOnly = false;  // the Text page's "Mask Only"
};

// The measuring unit of the rulers and the dialogs (application-wide).
enum class MeasureUnit { Pixels, Centimeter, Inch };
// The print path's halftoning choices. They are kept for the print dialog;
// printing itself always diffuses the error.
enum class HalftoneMethod { ErrorDiffusion, Ordered };
enum class HalftoneSetting { Auto, Fixed };
enum class HalftoneBlack { Normal, FavorBlack, ScaleToGray };

class CToolSettings {
 public:
  // Makes `tool` the active tool (and its group; a selection tool also
  // becomes the selection tool, and the shape or freehand choice follows).
  // Zoom, Scroll, Picker and EditAlpha toggle: choosing the active one again
  // leaves no tool active.
  void SelectTool(ViewTool tool);
  // The tool a tool command selects now; None for another id.
  ViewTool ToolOfCommand(int id) const;
  // Whether a tool command's button shows pressed.
  bool IsToolCommandChecked(int id) const;
  ViewTool ActiveTool() const { return tool_; }
  int ActiveGroup() const { return ToolGroupOf(tool_); }

  // Selection tool state.
  int selectionTool = 1;    // 1..7
  int shapeChoice = 0;      // 0 "Rectangle", 1 "Round Rectangle", 2 "Ellipse"
  int freehandChoice = 0;   // 0 "Freehand", 1 "Point To Point"
  int fillTolerance = 32;   // 0..255, shared by the magic wand and Flood Fill

  std::array<BrushSettings, static_cast<size_t>(BrushOwner::Count)> brushes{};
  BrushSettings& BrushOf(BrushOwner owner) { return brushes[static_cast<size_t>(owner)]; }
  const BrushSettings& BrushOf(BrushOwner owner) const { return brushes[static_cast<size_t>(owner)]; }

  // The floater page.
  int feather = 0;               // 0..20 pixels
  int floaterMergeMode = 0;      // BlendMode (combine.h)
  int floaterTransparency = 0;   // 0..100 %
  // Opacity of a dropped floater: 255 - Transparency x 255 div 100.
  int FloaterOpacity() const { return 255 - floaterTransparency * 255 / 100; }

  // Edit Floater Alpha: the amount of a stroke, 0..100 % transparency.
  int editAlphaTransparency = 0;

  // Colours 0x00BBGGRR.
  uint32_t foreground = 0x000000;
  uint32_t background = 0xFFFFFF;

  // Zoom tool direction: 1 in, 2 out (Alt held makes it 2).
  int zoomDirection = 1;

  // Units and halftoning (the application's radio groups). Every view
  // compares the unit with the one its rulers were drawn in and repaints
  // them when it changed.
  MeasureUnit measureUnit = MeasureUnit::Pixels;
  HalftoneMethod halftoneMethod = HalftoneMethod::ErrorDiffusion;
  HalftoneSetting halftoneSetting = HalftoneSetting::Auto;
  HalftoneBlack halftoneBlack = HalftoneBlack::Normal;

  // The paint, line, shape and text pages' own merge mode and transparency;
  // PaintOf gives the active tool's for those tools (the Pen's otherwise).
  std::array<PaintSettings, 10> paint{};
  PaintSettings& PaintOf(ViewTool tool);
  const PaintSettings& PaintOf(ViewTool tool) const;
  int eraserMode = 0;   // index into kEraserModeNames
  int retouchMode = 0;  // index into kRetouchModeNames (mode 1 + index)
  int lineWidth = 1;    // the Line page's "Width", 0..100
  bool antialias = false;  // the Line and Text pages' one "AntiAlias" switch
  int shapeKind = 0;    // index into kShapeNames
  int fillStyle = 0;    // index into kFillStyleNames
  int borderWidth = 1;  // the Shape page's "Border Width", 0..100
  bool shapeAntialias = false;
  TextSettings textSettings;

  // Writes the option called `name` (label in lower case, words joined by
  // '-', as the script names them) of the active tool's page, or a shared
  // one, from `value`. Returns an empty string on success, else a one-line
  // explanation (unknown name for this tool, value out of range).
  std::string SetOption(std::string_view name, std::string_view value);
  // SetOption as the page of `tool` sees it, whether or not `tool` is the
  // active tool (an option page may show another tool's page). The active
  // tool does not change.
  std::string SetOptionFor(ViewTool tool, std::string_view name, std::string_view value);
  // Told of every option SetOption or SetOptionFor wrote, after it took
  // effect: the page's tool, the name and the value as given (the script
  // recorder listens here). Empty: nobody.
  using OptionObserver = std::function<void(ViewTool pageTool, std::string_view name, std::string_view value)>;
  void SetOptionObserver(OptionObserver observer) { optionObserver_ = std::move(observer); }

 private:
  ViewTool tool_ = ViewTool::None;
  OptionObserver optionObserver_;
  // SetOption's work for the tool in tool_, without telling the observer.
  std::string ApplyOption(std::string_view name, std::string_view value);
};

// The one set of the application.
CToolSettings& ToolSettings();

// --- process-wide editing flags ---

bool IsEditBusy();
void SetEditBusy(bool busy);
bool IsModalRunning();
void SetModalRunning(bool running);

// Sets the busy flag for its life.
class EditBusyScope {
 public:
  EditBusyScope() { SetEditBusy(true); }
  ~EditBusyScope() { SetEditBusy(false); }
  EditBusyScope(const EditBusyScope&) = delete;
  EditBusyScope& operator=(const EditBusyScope&) = delete;
};
