// The argument dialogs of the view commands and the named operations: one
// form per command or operation with a field per parameter, in parameter
// order.
//
// Each field is built from the parameter (operation_table.h) and, where the
// operation has an effect dialog model (effect_dialogs.h), from the model's
// field of the same position: its label, line and page steps, initial value
// and the display texts of its choices.
//   Integer  a spin box over [min, max] (Page Up/Down step by the page step)
//   Real     a spin box with two decimals over [min, max]
//   Choice   a combo box of the choices; a check box where the model's field
//            is one (choices "off"/"on"), read the other way round when the
//            model marks it inverted
//   Text     a line with a "Browse..." button opening the file dialog
//            (platform::CurrentPrompts()); OK stays disabled while it is empty
// A field starts at the model's initial value, else the parameter's default,
// else the image's width or height for "width" and "height", else the
// nearest value of its range to 0.
//
// Border, Expand and Contract have dialogs of their own ("Selection Border",
// "Expand Selection", "Contract Selection", one field "&Size (Pixels)"
// starting at 0); OK with 0 changes nothing and counts as Cancel. Resize is
// "Image Size" with a "Keep Aspect Ratio" check box that, while checked,
// makes each side follow the other in the image's proportion. Load Selection
// asks the file and "Load Selection "'s combine choice in one form.
//
// The words of the fields are parsed with the rules of the script language
// (ParseArguments, ParseOperation), so the result is what the script would
// give; a parse error is shown and the form asked again.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "editing/operation_table.h"
#include "editing/view_commands.h"

class QWidget;
class CDIBitmap;

namespace app {

// The text a parameter's field starts with: its default (a choice by its
// name), the image's width or height for "width" and "height", else empty.
std::string DefaultArgumentText(const OperationParam& param, const CDIBitmap* image);
// The default texts of `params` without the file names, joined by ','.
std::string DefaultArgumentLine(const std::vector<OperationParam>& params, const CDIBitmap* image);

// Asks for a command's arguments; nullopt when the user cancels.
std::optional<OperationArgs> AskCommandArguments(QWidget* parent, const CommandDef& command,
                                                 const CDIBitmap* image);
// Asks for an operation's arguments and parses "name:args"; nullopt when the
// user cancels. An operation without parameters parses at once.
std::optional<ParsedOperation> AskOperation(QWidget* parent, const OperationDef& operation,
                                            const CDIBitmap* image);

// "gaussian-blur" -> "Gaussian Blur", with "..." when it asks for arguments.
std::string OperationMenuText(const OperationDef& operation);

}  // namespace app
