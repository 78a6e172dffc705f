// convert IN OUT [options]: Open IN, then Save As OUT. The options answer
// the codec option dialogs; without them the dialogs' presets apply.
#include <cstdio>

#include "cli/cli.h"
#include "document/vivid_doc.h"

namespace cli {
namespace {

constexpr std::string_view kTiffChoices[] = {"none", "packbits", "fax3", "fax4"};
constexpr std::string_view kTgaChoices[] = {"none", "rle"};

constexpr OptionDef kConvertOptions[] = {
    {"--jpeg-quality"}, {"--tiff-compression"}, {"--tga-compression"}, {"--pcd-resolution"}};

}  // namespace

int RunConvert(std::span<const std::string> args) {
  const ParsedArgs parsed = ParseArgs(args, kConvertOptions);
  ExpectPositionals(parsed, 2, "convert");

  CliPrompts prompts;
  if (auto value = parsed.Option("--jpeg-quality"))
    prompts.jpegQuality = ParseIntOption("--jpeg-quality", *value, platform::kJpegQualityMin, platform::kJpegQualityMax);
  if (auto value = parsed.Option("--tiff-compression"))
    prompts.tiffCompression = ParseChoiceOption("--tiff-compression", *value, kTiffChoices);
  if (auto value = parsed.Option("--tga-compression"))
    prompts.tgaCompression = ParseChoiceOption("--tga-compression", *value, kTgaChoices);
  if (auto value = parsed.Option("--pcd-resolution"))
    prompts.pcdResolution = ParseIntOption("--pcd-resolution", *value, 0,
                                           static_cast<int>(std::size(platform::kPhotoCDResolutionNames)) - 1);

  const PromptsScope scope(prompts);
  CVividDoc document;
  if (!OpenDocument(document, parsed.positional[0]) || !SaveDocument(document, parsed.positional[1]))
    return kExitFailed;
  return kExitOk;
}

}  // namespace cli
