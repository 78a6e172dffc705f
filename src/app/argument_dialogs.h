// The argument dialogs of the view commands and the named operations, as
// simple placeholders: a file dialog for each file-name argument, then one
// line "a,b,c" prefilled with the defaults for the others, parsed with the
// same rules as the script language and asked again after a parse error.
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
// The prefilled line for `params` without the file names: the default
// texts joined by ','.
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
