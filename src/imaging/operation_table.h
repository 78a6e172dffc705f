// The named imaging operations with their dialog parameters and ranges: one
// table shared by the command line ("vividrome-cli apply") and the effect
// commands of the editor.
//
// An operation is written `name` or `name:arg,arg,...`; names are the menu
// texts in lower case with words joined by '-'. Some names carry a sub-name
// after a ':' ("mode:gray", "mode:palette"); the parser tries the longest
// name first, and ':' and ',' both separate the arguments that follow.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CDIBitmap;

enum class ParamKind {
  Integer,  // a whole number in [min, max]
  Real,     // a number in [min, max]
  Choice,   // one of `choices` (by name, or by 0-based position), passed as its index
  Text,     // free text (a file name)
};

struct OperationParam {
  std::string_view name;
  ParamKind kind = ParamKind::Integer;
  double min = 0;
  double max = 0;
  std::vector<std::string_view> choices;
  // Value used when the argument is left out; nullopt makes it required.
  std::optional<double> defaultValue;
};

// Parsed arguments, one per parameter in order: numbers (choice index for
// Choice) in `values`, the raw text in `texts`.
struct OperationArgs {
  std::vector<double> values;
  std::vector<std::string> texts;
  int Int(size_t i) const { return static_cast<int>(values.at(i)); }
  double Real(size_t i) const { return values.at(i); }
};

struct OperationSpec {
  std::string_view name;
  std::vector<OperationParam> params;
  // Applies the operation with the dialog's own parameters (the dialog-to-
  // operation conversions happen inside). Returns the library result code:
  // 1 success, 0 refused (message shown), negative error code.
  std::function<int(CDIBitmap&, const OperationArgs&)> apply;
};

// Every operation, in menu order.
const std::vector<OperationSpec>& GL_Operations();

// Each family contributes its entries.
std::vector<OperationSpec> GL_FilterOperations();     // neighbourhood filters
std::vector<OperationSpec> GL_ToneOperations();       // tone and colour adjustments
std::vector<OperationSpec> GL_GeometryOperations();   // rotations, flips, resize, canvas, crop
std::vector<OperationSpec> GL_ColorModeOperations();  // mode:gray, mode:rgb, mode:cmyk, mode:bw, mode:palette

struct ParsedOperation {
  const OperationSpec* spec = nullptr;
  OperationArgs args;
};

// Parses one `name[:args]` text. On failure returns nullopt and sets `error`
// to a one-line explanation (unknown name, missing or extra argument, value
// out of range).
std::optional<ParsedOperation> GL_ParseOperation(std::string_view text, std::string& error);
