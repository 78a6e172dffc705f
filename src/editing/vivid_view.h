// CVividView: the image view as a controller without a toolkit.
//
// One CVividView per view of a document. It takes pointer presses, moves,
// releases and double clicks in view coordinates (pixels of the client
// area) with button and modifier flags, key presses with repeat counts and
// timer ticks; it owns the view's zoom, scroll position and client size, the
// rubber bands, the tool state and its working planes, and composes what the
// view shows into an RGB buffer of the client area, which a window paints.
// The selection, the floater and the undo record belong to the document
// (CVividDoc), so every view of one document shares them; each view has its
// own zoom.
//
// Every edit follows one frame (RunEdit): stop the outline, record undo for
// exactly what may change, set the busy flag, do the work, clear the flag,
// report the result code, mark the document modified and tell its views,
// restart the outline. While the busy flag is set every command is disabled
// and pointer events are ignored.
//
// The implementation is split by concern: vivid_view.cpp (events, commands,
// the edit frame), view_selection.cpp and selection_file.cpp (selection
// tools and the Select menu), view_outline.cpp (the animated outline),
// floater.cpp and view_floater.cpp (the floater, clipboard and transform
// commands, the floater tools), view_zoom.cpp (zoom, scroll, layout),
// view_display.cpp (composing the buffer).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "document/vivid_doc.h"
#include "editing/display_patches.h"
#include "editing/operation_table.h"
#include "editing/view_commands.h"
#include "editing/zoom_model.h"
#include "platform/region.h"

class ScriptRecorder;

enum ModifierFlags : unsigned {
  kModShift = 1,
  kModCtrl = 2,
  kModAlt = 4,
};

enum class PointerButton { Left, Right };
enum class ViewKey { Left, Right, Up, Down, Escape, Delete };

// A picture of the client area: rows from the top, 3 bytes red, green, blue
// per pixel, no padding.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
  uint8_t* Row(int y) { return pixels.data() + static_cast<size_t>(y) * width * 3; }
  const uint8_t* Row(int y) const { return pixels.data() + static_cast<size_t>(y) * width * 3; }
};

struct PointF {
  double x = 0;
  double y = 0;
};

// Result of a command or gesture step: 1 done; 0 nothing done (refused with
// a message, cancelled, or a dialog value that does nothing); negative a
// library result code (reported with its table text).
using EditResult = int;

// What the selection tools draw while a gesture runs (view coordinates).
struct RubberBand {
  enum class Kind { None, Rectangle, RoundRectangle, Ellipse, Polyline, Segment } kind = Kind::None;
  // Rectangle, RoundRectangle: two corners; Ellipse: centre and radii point;
  // Polyline: the freehand points so far; Segment: last point and pointer.
  std::vector<platform::Point> points;
};

class CVividView final : public CDocumentView {
 public:
  explicit CVividView(CVividDoc& document);
  ~CVividView() override;
  CVividView(const CVividView&) = delete;
  CVividView& operator=(const CVividView&) = delete;

  CVividDoc& GetDocument() const { return document_; }
  CDIBitmap& GetImage() const { return *document_.GetTargetImage(); }

  // --- events (view coordinates) ---
  void OnPointerPress(platform::Point point, PointerButton button, unsigned modifiers);
  void OnPointerMove(platform::Point point, unsigned modifiers);
  void OnPointerRelease(platform::Point point, PointerButton button, unsigned modifiers);
  void OnDoubleClick(platform::Point point, PointerButton button, unsigned modifiers);
  void OnKey(ViewKey key, int repeat, unsigned modifiers);
  // Modifier keys changed without a pointer event (Alt turns the zoom tool
  // around).
  void OnModifiers(unsigned modifiers);
  // Advances the view's timers by `ms`: the outline every 300 ms (100 ms
  // retries while it must skip), the air brush every 100 ms.
  void OnTimer(int ms);

  // --- commands ---
  CommandState GetCommandState(ViewCommand id) const;
  // Runs a command as the menu does, with the dialog's answers in `args`
  // (parsed against the command's params). A disabled command does nothing
  // and returns 0 with `*disabled` set.
  EditResult RunCommand(ViewCommand id, const OperationArgs& args, bool* disabled = nullptr);
  // Runs an Image or Filter menu command: the transform commands on the
  // floater when a selection exists, on the canvas otherwise.
  EditResult RunEffect(const ParsedOperation& operation);

  // --- the view's geometry ---
  void SetClientSize(int width, int height);
  int ClientWidth() const { return clientWidth_; }
  int ClientHeight() const { return clientHeight_; }
  // Absolute scroll position in view pixels, clamped to the scroll range.
  void SetScroll(int x, int y);
  platform::Point Scroll() const { return scroll_; }
  ZoomRatio Zoom() const { return zoom_; }
  // Sets N : D (each 1..16) directly, as the View page's Scale list does;
  // false, nothing changed, when the list would refuse it.
  bool SetZoom(ZoomRatio ratio);
  bool RulersShown() const { return rulers_; }
  int DisplayMode() const { return displayMode_; }
  // The image's displayed rectangle at the current zoom, in client
  // coordinates (offset by the scroll position and the rulers band).
  platform::Rect DisplayedImageRect() const;
  // The scrollable size: the displayed size, at least 16 x 16, plus 20 each
  // way while rulers are shown.
  platform::Point ScrollSize() const;
  // View point to image point: trunc(offset x image size / displayed size +
  // 0.5) each way, the offset measured from the displayed image's top-left
  // corner; `round` false truncates without adding 0.5.
  platform::Point ViewToImage(platform::Point point, bool round = true) const;
  PointF ImageToView(PointF point) const;
  // The client size the window should take so that the image fits (fit to
  // image, fit window to image): the scroll size plus 4 each way. The window
  // applies it and calls SetClientSize.
  std::optional<platform::Point> TakeWantedClientSize();
  // The image point under the pointer after its last move (status bar).
  std::optional<platform::Point> PointerImagePosition() const { return pointerImage_; }

  // --- display ---
  // Composes the whole client area: the background outside the image, the
  // image at the zoom (CMYK as RGB, the floater blended as Defloat would),
  // the selection outline at its current phase, the rubber bands, the zoom
  // rectangle, the transform frame and the rulers.
  void Render(RgbImage& out);
  // Recomposes only the pixels of `only` (view coordinates) in `out`, which
  // holds the previous picture of this view at the client size (else the
  // whole picture is composed). What did not change since the last Render
  // comes from the cached picture, so a repaint after an outline tick only
  // draws the outline's pixels.
  void Render(RgbImage& out, const platform::Region& only);
  // Pixels shown in place of the image's (image coordinates) and the
  // floater's (floater coordinates) own; whoever changes them invalidates
  // the area (InvalidateImageArea).
  DisplayPatches& ImagePatches() { return imagePatches_; }
  DisplayPatches& FloaterPatches() { return floaterPatches_; }
  // Marks the view area over an image rectangle for repaint, composed anew.
  void InvalidateImageArea(const platform::Rect& imageRect);
  // The parts of the client area that changed since the last call (view
  // coordinates); the window repaints them with Render.
  platform::Region TakeInvalidRegion();
  // True while an outline is running in this view (a selection exists, the
  // outline is shown, and no edit stopped it).
  bool OutlineRunning() const { return outlineRunning_; }
  int OutlinePhase() const { return outlinePhase_; }

  // The application-wide tool changed (ToolSettings().SelectTool): the
  // transform tools' frame appears or goes. The window calls it for every
  // view.
  void OnToolChanged();

  // --- document notifications ---
  void OnDocumentUpdate(CVividDoc& document, int hint) override;

  // --- the edit frame ---
  // Stops the outline, records undo (kind, region, name; a refusal returns
  // 0 before any change), sets busy, runs `work`, clears busy, reports a
  // negative result (not -29), marks the document modified and updates all
  // views with `hint`, restarts the outline. Returns work's result.
  // Kinds 19, 50 and 99 run `work` in a reporting busy period
  // (editing/busy_period.h). When `work` returns a cancel (-29 or -100), or
  // throws std::bad_alloc (then reported as -1), the record just taken is
  // restored and dropped instead: the document is as before the command,
  // not marked modified, and Undo is unavailable.
  EditResult RunEdit(int undoKind, const platform::Region* undoRegion, std::string_view undoName, int hint,
                     const std::function<EditResult()>& work);
  // Shows a negative result code's text (1, 0 and -29 are silent).
  static void ReportResult(EditResult result);

  // --- outline (view_outline.cpp) ---
  void StopOutline();
  // Starts the outline when a selection exists and it is shown; takes the
  // document's phase and advances it.
  void StartOutline();
  // Marks the whole client area for repaint (and the outline for redraw).
  void InvalidateAll();
  void Invalidate(const platform::Rect& viewRect);

  // --- selection (view_selection.cpp, selection_file.cpp) ---
  EditResult OnSelectAll();
  EditResult OnSelectNone();
  EditResult OnSelectInverse();
  EditResult OnSelectBorder(int size);
  EditResult OnSelectExpand(int size);
  EditResult OnSelectContract(int size);
  EditResult OnHideSelection();
  EditResult OnSaveSelection(const std::string& path);
  EditResult OnLoadSelection(const std::string& path, SelectionCombine mode);
  // Whether a view point lies inside the selection.
  bool HitSelection(platform::Point viewPoint) const;
  // The common frame of the selection commands: record `name` (kind 18 or
  // 11), busy, drop a floater into the image first, install what `compute`
  // makes (it may return nullopt to leave the selection as it is), update.
  EditResult RunSelectionCommand(int kind, std::string_view name,
                                 const std::function<std::optional<platform::Region>()>& compute,
                                 SelectionCombine mode);
  // Moves the box by (dx, dy) clamped so that it keeps touching the image.
  void MoveSelectionBy(int dx, int dy, int undoKind, std::string_view undoName);
  const RubberBand& GetRubberBand() const { return rubberBand_; }

  // --- floater (floater.cpp, view_floater.cpp) ---
  // Makes the floater from the selection if there is none yet; true when
  // floater pixels and alpha exist afterwards. An empty selection makes
  // none, without a message.
  bool CreateFloaterBitmaps(bool allowFeather);
  // Blends the floater into the image in 64 x 64 cells and frees it.
  void Defloat();
  EditResult OnFloat();
  EditResult OnDefloat();
  EditResult OnCopy();
  EditResult OnCut();
  EditResult OnDelete();
  EditResult OnFill();
  EditResult OnPaste();
  EditResult OnDefineStamp();
  EditResult OnTrim();
  // The turn, flip and resize commands and the parameter transforms, on the
  // floater with a selection, else on the canvas.
  EditResult RunTransform(const ParsedOperation& operation);
  // The transform tools' frame (image coordinates) while one is shown.
  const std::optional<std::array<PointF, 4>>& TransformFrame() const { return transformFrame_; }
  // The stamp Define Stamp made (pixels and alpha), for the stamp tool.
  const CDIBitmap& StampImage() const;
  const CDIBitmap& StampAlpha() const;

  // --- effects (view_effects.cpp) ---
  // Opens an effect's dialog with its preview on (the modal flag is set);
  // the view shows the effect computed for the visible blocks until
  // PreviewOk applies it or PreviewCancel drops it.
  EditResult OpenPreview(const ParsedOperation& operation);
  EditResult PreviewOk();
  void PreviewCancel();
  bool PreviewOpen() const;
  // Changes the open preview's parameters (the dialog's fields changed):
  // pending blocks of the old parameters are abandoned.
  EditResult UpdatePreview(const ParsedOperation& operation);
  // The dialog's Preview switch (on when the dialog opens): off shows the
  // image and floater unchanged while the dialog stays open, on restarts
  // the preview; parameters changed while it is off show when it is on.
  void SetPreviewShown(bool shown);
  bool PreviewShown() const;
  // Channel Separate: a 24-bit image into three and a CMYK image into four
  // 8-bit gray documents named after the document's title with "_R", "_G",
  // "_B" or "_C", "_M", "_Y", "_K" (through the new-document sink). 0 with a
  // message for another kind of image or without a sink.
  EditResult OnChannelSeparate();

  // --- text (text_tool.cpp) ---
  // A press with the Text tool opens the Text dialog; OK places the text
  // from the shared text settings, Cancel drops it.
  bool TextDialogOpen() const;
  EditResult OnTextDialogOk();
  void OnTextDialogCancel();

  // New documents a command makes (Channel Separate): the application takes
  // each image with its title and opens a document with a view for it.
  using NewDocumentSink = std::function<void(std::unique_ptr<CDIBitmap> image, const std::string& title)>;
  static void SetNewDocumentSink(NewDocumentSink sink);
  static const NewDocumentSink& GetNewDocumentSink();

  // --- undo ---
  EditResult OnUndo();

  // --- script recording (editing/script/script_recorder.h) ---
  // While set, the event, command, effect, preview and text-dialog entry
  // points report their steps to `recorder` (not owned; null stops).
  void SetRecorder(ScriptRecorder* recorder) { recorder_ = recorder; }
  ScriptRecorder* Recorder() const { return recorder_; }

  // --- zoom and layout (view_zoom.cpp) ---
  EditResult OnNormalView();
  EditResult OnZoomIn();
  EditResult OnZoomOut();
  EditResult OnFitToImage();
  EditResult OnFitWindowToImage();
  EditResult OnDisplayMode();
  EditResult OnRuler();
  EditResult OnPreviewPrintedColors();
  // Recomputes the displayed rectangle and scroll range after a zoom or size
  // change, keeping the image point in the middle of the client area there.
  void Layout();
  bool FitWindowToImage() const { return fitWindow_; }
  bool PreviewPrintedColors() const { return previewPrinted_; }
  // The zoom tool's rectangle while dragging (view coordinates).
  const std::optional<platform::Rect>& ZoomRectangle() const { return zoomRect_; }

 private:
  // --- event routing by tool group (vivid_view.cpp) ---
  bool PressInsideImage(platform::Point point) const;

  // --- selection tools (view_selection.cpp) ---
  void SelectionPress(platform::Point point, PointerButton button, unsigned modifiers);
  void SelectionMove(platform::Point point, unsigned modifiers);
  void SelectionRelease(platform::Point point, PointerButton button, unsigned modifiers);
  void SelectionDoubleClick(platform::Point point, unsigned modifiers);
  void SelectionKey(ViewKey key, int repeat, unsigned modifiers);
  EditResult LiftAndMoveFloater(int dx, int dy, int undoKind);
  // --- floater tools (view_floater.cpp) ---
  void FloaterPress(platform::Point point, PointerButton button, unsigned modifiers);
  void FloaterMove(platform::Point point, unsigned modifiers);
  void FloaterRelease(platform::Point point, PointerButton button, unsigned modifiers);
  void FloaterKey(ViewKey key, int repeat, unsigned modifiers);
  // The Scale, Rotate and Distort tools and Edit Floater Alpha.
  void TransformToolPress(platform::Point point);
  void TransformToolMove(platform::Point point);
  void TransformToolRelease(platform::Point point);
  void AlphaStrokeDab(PointF imagePoint);
  void AlphaStrokeRelease();
  // Sets transformFrame_ to the box's corners while a transform tool is
  // active and a selection exists (no gesture running); clears it otherwise.
  void UpdateTransformFrame();
  // The frame of every floater transform (commands and tools): records
  // undo kind 19 `undoName`, makes the floater if there is none, applies
  // `op` to the alpha and then to the pixels (so at most one extra copy of
  // the larger bitmap lives at a time), takes the new region from the new
  // alpha and places the new box at `origin`, or centred on the old box.
  EditResult TransformFloater(std::string_view undoName, const std::function<int(CDIBitmap&)>& op,
                              std::optional<platform::Point> origin);
  // --- floater (floater.cpp) ---
  // Blends the floater into the part of the image inside `cell` (image
  // coordinates; clipped to the box and the image), through the image's
  // mask, with the floater page's merge mode and opacity.
  void CombineCellAndFloater(const platform::Rect& cell);
  // The merge mode a drop uses on `image`: the floater page's BlendMode, or
  // Normal where the image's kind has no such blend (If Darker and If
  // Lighter need 24 bits or gray, the HSL blends 24 bits).
  static int FloaterMergeMode(const CDIBitmap& image);
  // --- paint, line and shape tools and the colour picker (paint_tools.cpp) ---
  void PaintPress(platform::Point point, PointerButton button, unsigned modifiers);
  void PaintMove(platform::Point point, unsigned modifiers);
  void PaintRelease(platform::Point point, PointerButton button, unsigned modifiers);
  // The air-brush timer.
  void PaintTick(int ms);
  // --- the text tool (text_tool.cpp) ---
  void TextPress(platform::Point point, PointerButton button, unsigned modifiers);
  // --- zoom and scroll tools (view_zoom.cpp) ---
  void ZoomPress(platform::Point point, PointerButton button, unsigned modifiers);
  void ZoomMove(platform::Point point, unsigned modifiers);
  void ZoomRelease(platform::Point point, PointerButton button, unsigned modifiers);
  // --- outline timer (view_outline.cpp) ---
  void OutlineTick(int ms);

  CVividDoc& document_;
  ScriptRecorder* recorder_ = nullptr;

  // Geometry (view_zoom.cpp).
  int clientWidth_ = 1024;
  int clientHeight_ = 768;
  platform::Point scroll_{};
  ZoomRatio zoom_{};
  bool rulers_ = false;
  bool fitWindow_ = false;
  bool laidOutOnce_ = false;
  int displayMode_ = 1;
  bool previewPrinted_ = false;
  std::optional<platform::Point> wantedClientSize_;
  std::optional<platform::Point> pointerImage_;
  std::optional<platform::Rect> zoomRect_;
  platform::Point zoomPress_{};
  platform::Point scrollPress_{};
  bool zoomDragging_ = false;
  // The image point kept in the middle of the view by Layout: the middle of
  // the image's visible part, refreshed whenever the scroll or size changes.
  PointF centreImage_{};
  // Geometry helpers: the ruler band's width, the scroll range, scrolling so
  // that an image point lands in the middle, refreshing centreImage_.
  int RulerBand() const { return rulers_ ? 20 : 0; }
  platform::Point ScrollRange() const;
  void CentreOn(PointF imagePoint);
  void RefreshCentre();
  void GeometryChanged();
  void InvalidateZoomFrame();

  // Pointer state (vivid_view.cpp).
  bool buttonDown_ = false;
  PointerButton pressedButton_ = PointerButton::Left;
  unsigned modifiers_ = 0;

  // Outline (view_outline.cpp).
  bool showOutline_ = true;
  bool outlineRunning_ = false;
  bool outlineNeedsRedraw_ = false;
  int outlinePhase_ = 0;
  int outlineClock_ = 0;  // ms until the next outline frame
  std::vector<platform::Rect> outlineRects_;  // the thread's copy, image coordinates
  platform::Region outlineRegion_;            // outlineRects_ as a region
  // The outline's pixels in view coordinates (visible part only), rebuilt
  // after the geometry or the rectangles changed.
  platform::Region outlineView_;
  bool outlineViewValid_ = false;
  const platform::Region& OutlineViewRegion();
  // The pixels of `area` with a 4-neighbour outside it.
  static platform::Region FrameOf(const platform::Region& area);

  // Repaint bookkeeping (view_display.cpp).
  platform::Region invalid_;
  // What the view shows in place of the image's and the floater's own
  // pixels (a stroke in progress, an effect's preview blocks).
  DisplayPatches imagePatches_;
  DisplayPatches floaterPatches_;
  // Brings the display patches up to date for the visible area before a
  // picture is composed (the effect preview computes its visible pending
  // blocks here).
  void PrepareDisplayPatches();
  // The composed picture without the outline and the overlays, and the parts
  // of it that must be composed again.
  RgbImage base_;
  platform::Region baseStale_;
  // Composes the picture without outline and overlays into `target` inside
  // `area`; draws the outline and the overlays into `out` inside `area`
  // (view_display.cpp).
  void ComposeBase(RgbImage& target, const platform::Region& area);
  void DrawOverlays(RgbImage& out, const platform::Region& area);
  // The measuring unit (MeasureUnit) the rulers show; when the application's
  // unit differs, the ruler bands are marked for repaint and this follows it.
  // True when the bands were marked.
  int rulerUnit_ = 0;
  bool FollowRulerUnit();
  platform::Region RulerBands() const;
  // The display colour settings' generation (display_color.h) the picture
  // was composed with; when they change the whole picture is marked for
  // repaint and this follows. True when it was marked.
  unsigned displayColorGeneration_ = 0;
  bool FollowDisplayColor();

  // Selection gesture (view_selection.cpp).
  RubberBand rubberBand_;
  bool gestureActive_ = false;
  bool movingOutline_ = false;
  SelectionCombine gestureMode_ = SelectionCombine::Replace;
  platform::Point gesturePress_{};
  std::vector<platform::Point> freehandPoints_;  // image coordinates
  platform::Region paintStroke_;
  std::optional<platform::Point> lastDab_;
  int gestureTool_ = 0;            // selection tool number (1..7) of the running gesture
  bool bandTrailsPointer_ = false;  // the polyline band's last point is the pointer, not a vertex
  // Replaces the rubber band, invalidating what the old and the new one cover.
  void SetRubberBand(RubberBand band);
  // Ends a gesture without a change (a polygon in progress is discarded).
  void CancelSelectionGesture();
  // Adds an image point to the freehand polygon (skipping a repeat of the
  // last one and anything past 16384 points) and its view point to the band.
  void AddPolygonPoint(platform::Point viewPoint);

  // Floater tools (view_floater.cpp).
  bool draggingFloater_ = false;
  platform::Point floaterPress_{};
  std::optional<std::array<PointF, 4>> transformFrame_;
  int transformHandle_ = -1;
  platform::Point transformPress_{};
  CDIBitmap stampImage_;
  CDIBitmap stampAlpha_;
  platform::Region alphaStroke_;
  CDIBitmap alphaCoverage_;
  platform::Point floaterDrag_{};         // image pixels the Move Floater drag has gone
  bool transformActive_ = false;          // a Scale, Rotate or Distort drag is running
  std::array<PointF, 4> transformStart_{};  // the frame when it began
  double transformAngle_ = 0;             // degrees the Rotate drag has swept, clockwise
  bool alphaStrokeActive_ = false;
  bool alphaRaise_ = false;               // Shift at the press: raise the alpha
  platform::Point alphaOrigin_{};         // the box's top-left corner at the press
  std::optional<PointF> lastAlphaDab_;

  // Text tool (text_tool.cpp).
  bool textDialogOpen_ = false;
  platform::Point textPress_{};  // image coordinates of the press that opened the dialog
  // Renders the shared text settings into a floater (or, with Mask Only, a
  // selection) at textPress_; runs inside the edit frame of OnTextDialogOk.
  EditResult PlaceText();

  // Paint tools (paint_tools.cpp, stroke_engine.cpp).
  // The running paint, line or shape gesture: its coverage, dab stepper,
  // committer and air-brush timer (defined in paint_tools.cpp).
  struct PaintGesture;
  std::shared_ptr<PaintGesture> paint_;
  // Lays dabs at view points, then refreshes the display patches of the
  // cells they touched.
  void LayStrokeDabs(const std::vector<platform::Point>& viewPoints);
  // Drops the stroke's display patches and repaints where they were.
  void ClearStrokePatches();
  void StrokeRelease();
  // Drops a stroke, line or shape in progress without changing anything.
  void CancelPaintGesture();
  void FloodFillAt(platform::Point viewPoint);
  void LineShapeRelease(platform::Point viewPoint);
  void UpdatePaintBand(platform::Point viewPoint);

  // Effects (view_effects.cpp)
  // A palette image's colour table as a previewed tone adjustment makes it
  // (4 bytes an entry); empty when the image's own table is shown.
  std::vector<uint8_t> displayColorTable_;
  struct EffectPreview;
  // The open preview dialog's state; shared_ptr so that the type stays
  // private to view_effects.cpp.
  std::shared_ptr<EffectPreview> preview_;
  // Applying steps 1-5 for `operation` with its effect record (the preview
  // is ended by the caller).
  EditResult ApplyEffect(const ParsedOperation& operation);
  // Rebuilds the preview grid for new parameters, dropping the old patches.
  void RestartPreview();
  void EndPreview();
  // Computes the pending blocks of columns [c0, c1) and rows [r0, r1) of
  // the preview into the display patches.
  void ComputePreviewBlocks(int c0, int c1, int r0, int r1);
  // The free rotation and shear preview: computed once for the whole target.
  void ComputeGeometryPreview();
};
