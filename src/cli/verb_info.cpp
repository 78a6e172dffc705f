// info FILE: prints "WIDTH HEIGHT BITCOUNT KIND" of the image as Open reads it.
#include <cstdio>

#include "cli/cli.h"
#include "document/vivid_doc.h"

namespace cli {

int RunInfo(std::span<const std::string> args) {
  const ParsedArgs parsed = ParseArgs(args, {});
  ExpectPositionals(parsed, 1, "info");

  CliPrompts prompts;
  const PromptsScope scope(prompts);
  CVividDoc document;
  if (!OpenDocument(document, parsed.positional[0])) return kExitFailed;

  const CDIBitmap& image = document.GetImage();
  std::printf("%d %d %d %s\n", image.GetWidth(), image.GetHeight(), image.GetBitCount(), image.GetKindName());
  return kExitOk;
}

}  // namespace cli
