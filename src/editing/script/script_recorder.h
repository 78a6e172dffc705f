// ScriptRecorder: writes what the user does in the editor's views as a
// script (editing/script/script.h) that replays the session through the
// same controllers, in the window or with `vividrome-cli script`.
//
// The views report their public entry points (pointer, key, timer, command,
// effect, preview and text-dialog steps) through a Scope at the top of each;
// only the outermost entry of a call chain is written (a Delete key that
// runs the Delete command is one `key delete` step). The window reports the
// documents (open, new, save, close) and the views it adds and closes, and
// the answers given to questions during a step.
//
// What changes between steps without a step of its own is written as it
// matters, before the next step: the active document and view (`document N`,
// `window N`), the view's client size, zoom and scroll position, the active
// tool and the colours. Option changes come from CToolSettings' option
// observer as `set NAME VALUE` (with a `tool` switch around it when an
// option page writes another tool's options).
//
// Gestures are written compactly: a press, its moves and a release at the
// last point with the same modifiers become one `drag` (a press and release
// at one point a `click`, a click followed by a double click a
// `double-click`). Pointer moves with no button down only matter right
// before a press (the last one is written there); timer ticks only while a
// button is down (the air brush), consecutive ticks summed.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editing/operation_table.h"
#include "editing/tool_settings.h"
#include "editing/view_commands.h"
#include "editing/zoom_model.h"
#include "platform/messages.h"
#include "platform/region.h"

class CVividDoc;
class CVividView;
enum class PointerButton;
enum class ViewKey;

class ScriptRecorder {
 public:
  // Starts a recording: installs the option observer and writes the
  // settings as they are now (the active tool, the colours and every tool's
  // options), so that a replay in a fresh session starts from the same
  // state.
  ScriptRecorder();
  ~ScriptRecorder();
  ScriptRecorder(const ScriptRecorder&) = delete;
  ScriptRecorder& operator=(const ScriptRecorder&) = delete;

  // Marks an entry point. Only the outermost scope of a call chain lets the
  // step be written (operator bool); its end takes the state the step left
  // (tool, colours, the view's geometry) as the replay's.
  class Scope {
   public:
    explicit Scope(ScriptRecorder* recorder)
        : owner_(recorder), active_(recorder && recorder->depth_ == 0 ? recorder : nullptr) {
      if (owner_) owner_->Enter();
    }
    ~Scope() {
      if (owner_) owner_->Leave();
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    explicit operator bool() const { return active_ != nullptr; }
    ScriptRecorder* operator->() const { return active_; }

   private:
    ScriptRecorder* owner_;
    ScriptRecorder* active_;
  };

  // --- documents and views (the window) ---
  // A document that is open when the recording starts: `open PATH` when it
  // has a file (a comment notes changes not saved yet), else a `new` of its
  // size and kind (with a comment: its pixels cannot be replayed).
  void ExistingDocument(const CVividDoc& document);
  // `open PATH` for a document just opened (before its first view).
  void DocumentOpened(const CVividDoc& document, const std::string& path);
  // `new W H KIND FILL` for a new document's image (the fill read from its
  // first pixel: white, black, or the background colour).
  void DocumentCreated(const CVividDoc& document);
  // A view was added: the first of a document the recorder knows takes its
  // place; another is `command new-window`; the first of an unknown
  // document is one the running step made (Channel Separate), or, outside a
  // step, one no script can make (a comment and a placeholder `new`).
  void ViewAdded(const CVividView& view);
  // A view closes; the last of its document writes `close`.
  void ViewClosed(const CVividView& view);
  // `save PATH` after the document was written there.
  void DocumentSaved(const CVividDoc& document, const std::string& path);
  // An answer given to a question during the running step: `answer WORD`
  // before the step's lines.
  void Answer(platform::MsgAnswer answer);

  // --- steps (the view's entry points, through a Scope) ---
  void Press(const CVividView& view, platform::Point point, PointerButton button, unsigned modifiers);
  void Move(const CVividView& view, platform::Point point, unsigned modifiers);
  void Release(const CVividView& view, platform::Point point, PointerButton button, unsigned modifiers);
  void DoubleClick(const CVividView& view, platform::Point point, PointerButton button, unsigned modifiers);
  void Key(const CVividView& view, ViewKey key, int repeat, unsigned modifiers);
  void Tick(const CVividView& view, int ms);
  void Command(const CVividView& view, ViewCommand id, const OperationArgs& args);
  void Effect(const CVividView& view, const ParsedOperation& operation);
  void Preview(const CVividView& view, const ParsedOperation& operation);
  void PreviewOk(const CVividView& view);
  void PreviewCancel(const CVividView& view);

  // The option observer's report (public for CToolSettings' callback).
  void Option(ViewTool pageTool, std::string_view name, std::string_view value);

  // The script so far, one step a line.
  std::string Text() const;
  // Writes Text() to `path` atomically (a temporary file renamed over it);
  // false, with the file untouched, when it cannot be written.
  bool WriteTo(const std::string& path) const;

 private:
  struct ViewState {
    const CVividView* view = nullptr;  // null: closed in the window, still open in a replay
    bool known = false;                // geometry written
    int width = 0;
    int height = 0;
    ZoomRatio zoom{};
    platform::Point scroll{};
  };
  struct Document {
    const CVividDoc* doc = nullptr;
    std::vector<ViewState> views;
    size_t activeView = 0;
  };
  struct Gesture {
    const CVividView* view = nullptr;
    size_t pressLine = 0;
    std::vector<platform::Point> points;
    unsigned modifiers = 0;
    bool right = false;
    bool intact = true;  // only its own press and moves were written since
  };

  void Enter();
  void Leave();
  void Emit(std::string line);
  // Makes `view` the replay's active view and writes what changed since the
  // last step (document, window, geometry, tool, colours). False for a view
  // the recording does not know (the step is left out).
  bool Select(const CVividView& view);
  void SyncSettings();
  void TakeSettings();
  void TakeGeometry(const CVividView& view);
  Document* FindDocument(const CVividDoc& doc, size_t* index = nullptr);
  ViewState* FindView(const CVividView& view, size_t* docIndex = nullptr, size_t* viewIndex = nullptr);
  void AddDocument(const CVividDoc& doc);
  void WriteSettingsPreamble();

  std::vector<std::string> lines_;
  std::vector<Document> docs_;
  size_t activeDoc_ = 0;
  int depth_ = 0;
  size_t stepStart_ = 0;             // first line of the running step
  const CVividView* stepView_ = nullptr;
  int sessionWidth_ = 1024;          // the replay's client size for new views
  int sessionHeight_ = 768;
  // The settings the replay has now.
  ViewTool tool_ = ViewTool::None;
  uint32_t foreground_ = 0;
  uint32_t background_ = 0;
  std::string text_;
  // Pointer state.
  std::optional<Gesture> gesture_;
  struct Hover {
    const CVividView* view;
    platform::Point point;
    unsigned modifiers;
  };
  std::optional<Hover> hover_;
  struct Click {
    const CVividView* view;
    size_t line;
    platform::Point point;
    unsigned modifiers;
    bool right;
  };
  std::optional<Click> lastClick_;
  const CVividView* swallowRelease_ = nullptr;
  const CVividView* pressedView_ = nullptr;
  std::optional<size_t> tickLine_;   // the `tick` line the next tick adds to
  int tickTotal_ = 0;
};

// The script word for `text`: as it is when it holds no blank, quote,
// backslash, '#' or line break, else double-quoted with "\\", "\"" and "\n"
// escapes.
std::string QuoteScriptWord(std::string_view text);
// `name` or `name:arg,arg,...` as the effect steps write an operation.
std::string FormatOperation(const ParsedOperation& operation);
