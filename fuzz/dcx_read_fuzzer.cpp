// Feeds arbitrary bytes to the PCX reader as a DCX file (a ".dcx" name) through a
// memory stream. Messages are dropped; the reader must never crash, hang or
// touch memory outside its buffers, whatever it decides about the file.
// Seed corpus: fuzz/corpus/dcx_read (see fuzz/corpus/SOURCES.md).
#include <cstdint>
#include <cstdio>
#include <vector>

#include "document/codecs/pcx.h"
#include "image/dibitmap.h"
#include "platform/messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::SilentMessageSink sink;
  static platform::MessageSink* const previous [[maybe_unused]] = platform::SetMessageSink(&sink);
  if (size == 0) return 0;
  std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!file) return 0;
  CDIBitmap image;
  if (PCXReadStream(file, "fuzz.dcx", image)) {
    // The first and last rows must lie inside the pixel block.
    std::vector<uint8_t> row(static_cast<size_t>(image.GetStride()));
    image.GetRow(row.data(), 0);
    image.GetRow(row.data(), image.GetHeight() - 1);
  }
  std::fclose(file);
  return 0;
}
