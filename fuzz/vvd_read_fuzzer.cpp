// Feeds arbitrary bytes to the document's archive loading (the ".vvd"
// stream: a BMP file image) and stores every image it accepts again: the
// stored stream must load back to the same rows. Messages are dropped.
// Seed corpus: fuzz/corpus/vvd_read (streams stored by the document and BMP
// files of tests/data/bmp).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "document/vivid_doc.h"
#include "image/dibitmap.h"
#include "platform/messages.h"
#include "stream_reader_fuzzer.h"

namespace {

uint32_t Le(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// Images above 4 Mi pixels are legal but make each run take seconds; the
// size limits themselves are covered by the unit tests.
bool TooLargeForARun(const uint8_t* data, size_t size) {
  if (size < 26) return false;
  int64_t width, height;
  if (Le(data + 14, 4) == 12) {
    width = Le(data + 18, 2);
    height = Le(data + 20, 2);
  } else {
    width = static_cast<int32_t>(Le(data + 18, 4));
    height = static_cast<int32_t>(Le(data + 22, 4));
  }
  if (height < 0) height = -height;
  return width * height > (int64_t{1} << 22);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::SilentMessageSink sink;
  static platform::MessageSink* const previous [[maybe_unused]] = platform::SetMessageSink(&sink);
  if (TooLargeForARun(data, size)) return 0;

  CVividDoc document;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  CArchive loading = CArchive::Loading(in);
  if (!document.Serialize(loading)) return 0;

  std::ostringstream out;
  CArchive storing = CArchive::Storing(out);
  if (!document.Serialize(storing)) __builtin_trap();
  CVividDoc again;
  std::istringstream stored(out.str());
  CArchive reloading = CArchive::Loading(stored);
  if (!again.Serialize(reloading) || !fuzz_support::SameRows(document.GetImage(), again.GetImage())) __builtin_trap();
  return 0;
}
