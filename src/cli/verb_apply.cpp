// apply IN OUT OP [OP ...] [--select X,Y,W,H]: opens IN, applies the named
// operations in order with their dialog parameters, and saves OUT as Save As
// does. Every operation is parsed before anything is read or written, so a
// usage error leaves no output behind.
#include <cstdio>

#include "cli/cli.h"
#include "document/vivid_doc.h"
#include "image/result_codes.h"
#include "imaging/operation_table.h"
#include "platform/region.h"

namespace cli {
namespace {

constexpr OptionSpec kApplyOptions[] = {{"--select"}};

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

bool InFamily(const std::vector<OperationSpec>& family, const OperationSpec& spec) {
  for (const OperationSpec& member : family)
    if (member.name == spec.name) return true;
  return false;
}

// The geometry family: turns, flips, resizing, canvas, crop.
bool MovesPixels(const OperationSpec& spec) {
  static const std::vector<OperationSpec> geometry = GL_GeometryOperations();
  return InFamily(geometry, spec);
}

// The tone adjustments change a palette image's colour table, which every
// pixel shares, so no selection can hold them in.
bool ChangesColorTable(const OperationSpec& spec, const CDIBitmap& image) {
  static const std::vector<OperationSpec> tone = GL_ToneOperations();
  return image.GetBitCount() <= 8 && !image.IsGray() && InFamily(tone, spec);
}

}  // namespace

void PrintOperations(std::FILE* stream) {
  std::fprintf(stream, "\noperations:\n");
  for (const OperationSpec& op : GL_Operations()) {
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
    std::optional<ParsedOperation> op = GL_ParseOperation(parsed.positional[i], error);
    if (!op) throw UsageError(error);
    operations.push_back(std::move(*op));
  }
  std::optional<platform::Rect> selection;
  if (auto value = parsed.Option("--select")) selection = ParseSelection(*value);

  const std::string& input = parsed.positional[0];
  const std::string& output = parsed.positional[1];
  CliPrompts prompts;
  platform::Prompts* previous = platform::SetPrompts(&prompts);
  int status = kExitOk;
  CVividDoc document;
  if (!OpenDocument(document, input)) {
    status = kExitFailed;
  } else {
    CDIBitmap& image = document.GetImage();
    // The selection holds for every operation that keeps the pixels where
    // they are. A mode change rebuilds the bitmap and drops its mask, so the
    // mask is put back after it; an operation that moves the pixels (the
    // geometry family: turns, flips, resizing, canvas, crop) ends the
    // selection, since the rectangle no longer covers the same picture.
    const platform::Region region = platform::Region::FromRect(selection.value_or(platform::Rect{}));
    bool selected = selection.has_value();
    if (selected) image.SetMaskRgn(&region);
    for (size_t i = 0; i < operations.size() && status == kExitOk; ++i) {
      if (selected && i > 0 && !image.HasMask()) {
        if (MovesPixels(*operations[i - 1].spec))
          selected = false;
        else
          image.SetMaskRgn(&region);
      }
      if (selected && ChangesColorTable(*operations[i].spec, image)) {
        std::fprintf(stderr,
                     "%s: %s: a selection cannot hold in a change of the colour table of a palette image; "
                     "convert it first with mode:rgb or mode:gray\n",
                     kProgram, parsed.positional[i + 2].c_str());
        status = kExitFailed;
        break;
      }
      const int before = Messages().Count();
      const int result = operations[i].spec->apply(image, operations[i].args);
      if (result == 1) continue;
      const std::string& text = parsed.positional[i + 2];
      if (result < 0)
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, text.c_str(), FormatErrorCode(result).c_str());
      else if (Messages().Count() == before)
        std::fprintf(stderr, "%s: %s: the operation was refused\n", kProgram, text.c_str());
      status = kExitFailed;
    }
    if (status == kExitOk) {
      image.ClearMask();
      document.SetModifiedFlag(true);
      const int before = Messages().Count();
      if (!document.SaveAsChosen(output, document.PreselectedSaveType())) {
        if (Messages().Count() == before) std::fprintf(stderr, "%s: cannot write %s\n", kProgram, output.c_str());
        status = kExitFailed;
      }
    }
  }
  platform::SetPrompts(previous);
  return status;
}

}  // namespace cli
