// The commands of the image view: one table the menus, the tool bars and
// the script language read, with each command's id, script name, menu text
// and arguments. Whether a command is enabled, its current text and whether
// it is checked come from CVividView::GetCommandState.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "editing/operation_table.h"

enum ViewCommand : int {
  // Select menu
  kCmdSelectAll = 32897,
  kCmdSelectNone = 32898,
  kCmdSelectInverse = 32899,
  kCmdSelectBorder = 32788,
  kCmdSelectExpand = 32785,
  kCmdSelectContract = 32786,
  kCmdHideSelection = 32790,
  kCmdSaveSelection = 32784,
  kCmdLoadSelection = 32783,
  // floater and clipboard
  kCmdFloat = 32781,
  kCmdDefloat = 32782,
  kCmdCopy = 57634,
  kCmdCut = 57635,
  kCmdDelete = 57632,
  kCmdFill = 32822,
  kCmdPaste = 57637,
  kCmdDefineStamp = 32827,
  kCmdTrim = 32823,
  // Edit
  kCmdUndo = 57643,
  // View
  kCmdNormalView = 32875,
  kCmdZoomIn = 32877,
  kCmdZoomOut = 32878,
  kCmdFitToImage = 32883,
  kCmdFitWindowToImage = 32886,
  kCmdDisplayMode = 32888,
  kCmdRuler = 59398,
  kCmdPreviewPrintedColors = 33005,
  kCmdNewWindow = 57648,
  // Image menu transforms: on the floater with a selection, else the canvas
  kCmdRotate90 = 32924,
  kCmdRotate180 = 32925,
  kCmdRotate270 = 32926,
  kCmdFlipHorizontal = 32921,
  kCmdFlipVertical = 32920,
  kCmdResize = 32923,
  kCmdAnyAngle = 32927,
  kCmdShear = 32928,
  // Image menu: each channel of a 24-bit or CMYK image as a new document
  kCmdChannelSeparate = 32992,
  // Application-wide choices, each a radio group: the measuring unit of the
  // rulers and dialogs, and the print path's halftoning.
  kCmdUnitCentimeter = 32867,
  kCmdUnitInch = 32868,
  kCmdUnitPixels = 32869,
  kCmdHalftoneErrorDiffusion = 32863,
  kCmdHalftoneOrdered = 32862,
  kCmdHalftoneAuto = 32860,
  kCmdHalftoneFixed = 32861,
  kCmdHalftoneFavorBlack = 32865,
  kCmdHalftoneNormal = 32864,
  kCmdHalftoneScaleToGray = 32866,
};

struct CommandDef {
  ViewCommand id;
  // Menu text in lower case without '&' and "...", words joined by '-'.
  std::string_view scriptName;
  // The menu's own text (the state may replace it: Undo, Hide Selection).
  std::string_view menuText;
  // Arguments the dialog would ask for, in order (script words).
  std::vector<OperationParam> params;
  // For the Image menu's transforms: the operation (editing/operation_table.h)
  // the command runs with its arguments; empty for the others.
  std::string_view operation;
};

const std::vector<CommandDef>& ViewCommands();
const CommandDef* FindCommand(std::string_view scriptName);
const CommandDef* FindCommand(ViewCommand id);

// What the menus show for a command now.
struct CommandState {
  bool enabled = false;
  bool checked = false;
  std::string text;
};
