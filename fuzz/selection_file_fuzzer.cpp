// Feeds arbitrary bytes to Load Selection through a temporary file, with
// each combine mode in turn over a selection already made. The loader must
// never read past the file or trust its counts, and whatever it installs
// must be a selection inside the image.
// Seed corpus: fuzz/corpus/selection_file (selection files of one, a few
// and many rectangles, and damaged ones).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "document/vivid_doc.h"
#include "editing/vivid_view.h"
#include "platform/messages.h"

namespace {

const std::string& ScratchPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/selection_file_fuzzer_" + std::to_string(getpid()) + ".sel";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::SilentMessageSink silent;
  platform::SetMessageSink(&silent);
  const std::string& path = ScratchPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  const bool written = std::fwrite(data, 1, size, file) == size;
  std::fclose(file);
  if (!written) return 0;

  CVividDoc doc;
  if (!doc.GetImage().Create(300, 200, 24, 0)) return 0;
  CVividView view(doc);
  const SelectionCombine modes[] = {SelectionCombine::Replace, SelectionCombine::Add, SelectionCombine::Subtract,
                                    SelectionCombine::Intersect};
  for (SelectionCombine mode : modes) {
    doc.SetSelectionRegion(platform::Region::FromRect(20, 30, 120, 90));
    view.OnLoadSelection(path, mode);
    if (doc.HasSelection()) {
      const platform::Rect box = doc.SelectionBox();
      if (box.left < 0 || box.top < 0 || box.right > 300 || box.bottom > 200) std::abort();
    }
  }
  return 0;
}
