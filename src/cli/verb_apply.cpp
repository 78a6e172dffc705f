// apply IN OUT OP [OP ...] [--select X,Y,W,H]: opens IN, applies the named
// operations in order with their dialog parameters through the editor's
// effect commands, and saves OUT as Save As does. Every operation is parsed
// before anything is read or written, so a usage error leaves no output
// behind.
//
// The operations run on a view of the document exactly as the Image and
// Filter menus run them: --select installs the rectangle as a rectangle
// gesture does, so the preview effects work on a temporary floater of it,
// the direct effects through its mask, and the turns, flips and resizing on
// the selected piece. A floater the effects leave is dropped into the image
// before the save.
#include <cstdio>

#include "cli/cli.h"
#include "document/vivid_doc.h"
#include "editing/operation_table.h"
#include "editing/vivid_view.h"
#include "image/result_codes.h"
#include "platform/messages.h"
#include "platform/region.h"

namespace cli {
namespace {

constexpr OptionDef kApplyOptions[] = {{"--select"}};

// "X,Y,W,H" with W and H at least 1.
platform::Rect ParseSelection(const std::string& value) {
  int numbers[4];
  int consumed = 0;
  if (std::sscanf(value.c_str(), "%d,%d,%d,%d%n", &numbers[0], &numbers[1], &numbers[2], &numbers[3], &consumed) !=
          4 ||
      static_cast<size_t>(consumed) != value.size() || numbers[2] < 1 || numbers[3] < 1)
    throw UsageError("--select wants X,Y,W,H with W and H at least 1, not \"" + value + "\"");
  return {numbers[0], numbers[1], numbers[0] + numbers[2], numbers[1] + numbers[3]};
}

std::string Number(double v) {
  std::string s = std::to_string(v);
  s.erase(s.find_last_not_of('0') + 1);
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

}  // namespace

void PrintOperations(std::FILE* stream) {
  std::fprintf(stream, "\noperations:\n");
  for (const OperationDef& op : AllOperations()) {
    std::string line = "  " + std::string(op.name);
    for (size_t i = 0; i < op.params.size(); ++i) {
      const OperationParam& p = op.params[i];
      line += i == 0 ? ":" : ",";
      std::string text = std::string(p.name) + "=";
      if (p.kind == ParamKind::Choice) {
        for (size_t c = 0; c < p.choices.size(); ++c) text += (c ? "|" : "") + std::string(p.choices[c]);
      } else if (p.kind == ParamKind::Text) {
        text += "FILE";
      } else {
        text += Number(p.min) + ".." + Number(p.max);
      }
      line += p.defaultValue ? "[" + text + "]" : text;
    }
    std::fprintf(stream, "%s\n", line.c_str());
  }
}

int RunApply(std::span<const std::string> args) {
  const ParsedArgs parsed = ParseArgs(args, kApplyOptions);
  if (parsed.positional.size() < 3) throw UsageError("apply needs IN, OUT and at least one operation");

  std::vector<ParsedOperation> operations;
  for (size_t i = 2; i < parsed.positional.size(); ++i) {
    std::string error;
    std::optional<ParsedOperation> op = ParseOperation(parsed.positional[i], error);
    if (!op) throw UsageError(error);
    operations.push_back(std::move(*op));
  }
  std::optional<platform::Rect> selection;
  if (auto value = parsed.Option("--select")) selection = ParseSelection(*value);

  CliPrompts prompts;
  const PromptsScope scope(prompts);
  CVividDoc document;
  if (!OpenDocument(document, parsed.positional[0])) return kExitFailed;
  // A batch run never undoes: its edits record nothing.
  document.SetUndoEnabled(false);
  CVividView view(document);
  if (selection) {
    document.SetSelectionRegion(platform::Region::FromRect(*selection));
    document.ApplySelectionToImage();
  }
  for (size_t i = 0; i < operations.size(); ++i) {
    const std::string& text = parsed.positional[i + 2];
    EditResult result = 0;
    std::vector<platform::Message> shown;
    {
      // The view reports through message boxes; they are held back so that
      // a failure is explained once, after the operation's text.
      platform::RecordingMessageSink recorder;
      result = view.RunEffect(operations[i]);
      shown = std::move(recorder.shown);
    }
    if (result == 1) {
      for (const platform::Message& message : shown) Messages().Show(message);
      continue;
    }
    const std::string reported = result < 0 && result != kResultCancelled ? FormatErrorCode(result) : std::string();
    bool explained = false;
    bool refusedBySelection = false;
    for (const platform::Message& message : shown) {
      if (message.text == kSelectionCannotHoldText) {
        refusedBySelection = true;
      } else if (reported.empty() || message.text != reported) {
        Messages().Show(message);
        explained = true;
      }
    }
    if (refusedBySelection)
      std::fprintf(stderr, "%s: %s: %s\n", kProgram, text.c_str(), kSelectionCannotHoldText);
    else if (result < 0)
      std::fprintf(stderr, "%s: %s: %s\n", kProgram, text.c_str(), FormatErrorCode(result).c_str());
    else if (!explained)
      std::fprintf(stderr, "%s: %s: the operation was refused\n", kProgram, text.c_str());
    return kExitFailed;
  }
  // A turn, flip, resize, rotation or shear of a selection leaves the piece
  // floating: it goes back into the image as Defloat puts it, and the
  // selection ends.
  if (document.HasFloater() && view.RunCommand(kCmdDefloat, {}) != 1) {
    std::fprintf(stderr, "%s: the floating selection could not be put back into the image\n", kProgram);
    return kExitFailed;
  }
  document.ClearSelection();
  document.SetModifiedFlag(true);
  return SaveDocument(document, parsed.positional[1]) ? kExitOk : kExitFailed;
}

}  // namespace cli
