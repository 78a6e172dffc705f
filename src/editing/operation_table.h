// The named imaging operations with their dialog parameters and ranges: one
// table shared by the command line ("vividrome-cli apply") and the effect
// commands of the editor, and the rules a selection follows through a run of
// them.
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

#include "platform/region.h"

class CDIBitmap;

// The menu family an operation belongs to; the selection rules go by it.
enum class OperationFamily {
  Filter,     // neighbourhood filters
  Tone,       // tone and colour adjustments (a palette image changes its colour table)
  Geometry,   // turns, flips, resizing, rotation, shear, canvas size, crop (the pixels move)
  ColorMode,  // mode:gray, mode:rgb, mode:cmyk, mode:bw, mode:palette (the bitmap is rebuilt)
};

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

struct OperationDef {
  std::string_view name;
  std::vector<OperationParam> params;
  // Applies the operation with the dialog's own parameters (the dialog-to-
  // operation conversions happen inside). Returns the library result code:
  // 1 success, 0 refused (message shown), negative error code.
  std::function<int(CDIBitmap&, const OperationArgs&)> apply;
  OperationFamily family = OperationFamily::Filter;  // set by AllOperations
};

// Every operation, in menu order: the filters, the tone adjustments, the
// geometry, the colour modes.
const std::vector<OperationDef>& AllOperations();

// Each family contributes its entries (AllOperations tags them).
std::vector<OperationDef> FilterOperations();
std::vector<OperationDef> ToneOperations();
std::vector<OperationDef> GeometryOperations();
std::vector<OperationDef> ColorModeOperations();

struct ParsedOperation {
  const OperationDef* def = nullptr;
  OperationArgs args;
};

struct ToneTableSet;

// "curves" with its tables given in memory rather than in a file (the
// "Curve" dialog's preview and apply). The operation is not listed in
// AllOperations (nor parsed from text); its one Text argument holds five
// records of 257 bytes, channel 0 (all channels) then 1..4: an in-use byte
// (0 or 1) and the 256 table bytes. It applies the tables in use as
// GL_ApplyToneTables does and refuses (kResultInvalidParameter) an argument
// of any other length or an in-use byte other than 0 or 1.
ParsedOperation CurvesFromTables(const ToneTableSet& tables);

// Parses one `name[:args]` text. On failure returns nullopt and sets `error`
// to a one-line explanation (unknown name, missing or extra argument, value
// out of range).
std::optional<ParsedOperation> ParseOperation(std::string_view text, std::string& error);
// A whole decimal number in min..max, the whole text (no blanks, no sign
// but '-').
bool ParseInteger(std::string_view text, int min, int max, int& out);

// Parses argument words against `params` (the same rules for the commands
// of the view): a missing argument takes its default, else is an error, as
// are extra arguments and values out of range. `owner` starts the error.
std::optional<OperationArgs> ParseArguments(std::string_view owner, const std::vector<OperationParam>& params,
                                            std::span<const std::string> given, std::string& error);

// --- a selection through a run of operations ---
//
// A rectangular selection limits every operation that keeps the pixels where
// they are: the image's mask is set from it before the first operation, and
// put back after an operation that rebuilt the bitmap without its mask (a
// colour-mode change). An operation that moves the pixels (the geometry
// family) works on the whole image and ends the selection, since the
// rectangle no longer covers the same picture. A tone adjustment of a
// palette image changes its colour table, which every pixel shares, so no
// selection can hold it in: with a selection it is refused before it runs.

// True when `def` on `image` cannot be held in by a selection.
bool SelectionCannotHold(const OperationDef& def, const CDIBitmap& image);

inline constexpr char kSelectionCannotHoldText[] =
    "a selection cannot hold in a change of the colour table of a palette image; convert it first with mode:rgb "
    "or mode:gray";

struct OperationRunResult {
  int code = 1;            // 1, or the failing operation's result code (0: refused, message shown)
  size_t failedAt = 0;     // index of the failing operation
  bool selectionRefused = false;  // that operation was refused by the rule above, without running
};

// Applies `operations` in order to `image`, limited to `selection` (none:
// the whole image) by the rules above, and stops at the first that does not
// return 1. The image's mask is cleared at the end.
OperationRunResult RunOperations(CDIBitmap& image, std::span<const ParsedOperation> operations,
                                 const std::optional<platform::Rect>& selection);
