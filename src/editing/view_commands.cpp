// The view's command table.
#include "editing/view_commands.h"

namespace {

OperationParam Size(double max) { return {"size", ParamKind::Integer, 0, max, {}, std::nullopt}; }
OperationParam Path() { return {"path", ParamKind::Text, 0, 0, {}, std::nullopt}; }

std::vector<CommandDef> MakeCommands() {
  return {
      {kCmdSelectAll, "select-all", "Select &All", {}, {}},
      {kCmdSelectNone, "none", "&None", {}, {}},
      {kCmdSelectInverse, "inverse", "&Inverse", {}, {}},
      {kCmdSelectBorder, "border", "Border...", {Size(20)}, {}},
      {kCmdSelectExpand, "expand", "Expand...", {Size(10)}, {}},
      {kCmdSelectContract, "contract", "Contract...", {Size(10)}, {}},
      {kCmdHideSelection, "hide-selection", "&Hide Selection", {}, {}},
      {kCmdSaveSelection, "save-selection", "&Save Selection...", {Path()}, {}},
      {kCmdLoadSelection,
       "load-selection",
       "&Load Selction...",
       {Path(), {"combine", ParamKind::Choice, 0, 0, {"new", "add", "subtract", "intersect"}, std::nullopt}},
       {}},
      {kCmdFloat, "float", "&Float", {}, {}},
      {kCmdDefloat, "defloat", "&Defloat", {}, {}},
      {kCmdCopy, "copy", "&Copy\tCtrl+C", {}, {}},
      {kCmdCut, "cut", "Cu&t\tCtrl+X", {}, {}},
      {kCmdDelete, "delete", "&Delete\tDel", {}, {}},
      {kCmdFill, "fill", "&Fill", {}, {}},
      {kCmdPaste, "paste", "&Paste\tCtrl+V", {}, {}},
      {kCmdDefineStamp, "define-stamp", "Define &Stamp", {}, {}},
      {kCmdTrim, "trim", "&Trim", {}, {}},
      {kCmdUndo, "undo", "Undo\tCtrl+Z", {}, {}},
      {kCmdNormalView, "normal-view", "&Normal View\tCtrl *", {}, {}},
      {kCmdZoomIn, "zoom-in", "Zoom &In", {}, {}},
      {kCmdZoomOut, "zoom-out", "Zooom &Out", {}, {}},
      {kCmdFitToImage, "fit-to-image", "Fit to im&age", {}, {}},
      {kCmdFitWindowToImage, "fit-window-to-image", "Fit &Window to Image", {}, {}},
      {kCmdDisplayMode, "display-mask", "Display &Mask", {}, {}},
      {kCmdRuler, "ruler", "&Ruler", {}, {}},
      {kCmdPreviewPrintedColors, "preview-printed-colors", "Preview Printed Colors", {}, {}},
      {kCmdNewWindow, "new-window", "&New Window", {}, {}},
      {kCmdRotate90, "90-cw", "90 CW", {}, "rotate-90"},
      {kCmdRotate180, "180-cw", "180 CW", {}, "rotate-180"},
      {kCmdRotate270, "90-ccw", "90 CCW", {}, "rotate-270"},
      {kCmdFlipHorizontal, "horizontal", "&Horizontal", {}, "flip-horizontal"},
      {kCmdFlipVertical, "vertical", "&Vertical", {}, "flip-vertical"},
      {kCmdResize,
       "resize",
       "Re&size...",
       {{"width", ParamKind::Integer, 1, 32767, {}, std::nullopt}, {"height", ParamKind::Integer, 1, 32767, {}, std::nullopt}},
       "resize"},
      {kCmdAnyAngle, "any-angle", "&Any Angle...", {{"angle", ParamKind::Real, -180, 180, {}, std::nullopt}}, "rotate"},
      {kCmdShear,
       "shear",
       "S&hear...",
       {{"angle", ParamKind::Real, -45, 45, {}, std::nullopt},
        {"direction", ParamKind::Choice, 0, 0, {"horizontal", "vertical"}, 0.0}},
       "shear"},
      {kCmdChannelSeparate, "channel-separate", "Channel &Separate", {}, {}},
      {kCmdUnitCentimeter, "centimeter", "&Centimeter", {}, {}},
      {kCmdUnitInch, "inch", "&Inch", {}, {}},
      {kCmdUnitPixels, "pixels", "&Pixels", {}, {}},
      {kCmdHalftoneErrorDiffusion, "error-diffusion", "&Error Diffusion", {}, {}},
      {kCmdHalftoneOrdered, "ordered", "&Ordered", {}, {}},
      {kCmdHalftoneAuto, "auto", "&Auto", {}, {}},
      {kCmdHalftoneFixed, "fixed", "&Fixed", {}, {}},
      {kCmdHalftoneFavorBlack, "favor-black", "&Favor Black", {}, {}},
      {kCmdHalftoneNormal, "normal", "&Normal", {}, {}},
      {kCmdHalftoneScaleToGray, "scale-to-gray", "&Scale To Gray", {}, {}},
  };
}

}  // namespace

const std::vector<CommandDef>& ViewCommands() {
  static const std::vector<CommandDef> commands = MakeCommands();
  return commands;
}

const CommandDef* FindCommand(std::string_view scriptName) {
  for (const CommandDef& def : ViewCommands())
    if (def.scriptName == scriptName) return &def;
  return nullptr;
}

const CommandDef* FindCommand(ViewCommand id) {
  for (const CommandDef& def : ViewCommands())
    if (def.id == id) return &def;
  return nullptr;
}
