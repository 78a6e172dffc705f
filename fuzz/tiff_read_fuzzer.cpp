// Feeds arbitrary bytes to the TIFF reader as a file image in memory.
// Messages are dropped; the reader must never crash, hang or touch memory
// outside its buffers, whatever it decides about the file. Seed corpus:
// fuzz/corpus/tiff_read (small files of tests/data/tiff, libtiff's and
// Pillow's test images).
#include <cstdint>
#include <vector>

#include "document/codecs/tiff.h"
#include "image/dibitmap.h"
#include "platform/messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::SilentMessageSink sink;
  static platform::MessageSink* const previous [[maybe_unused]] = platform::SetMessageSink(&sink);
  CDIBitmap image;
  if (TIFReadMemory(data, size, image)) {
    // The first and last rows must lie inside the pixel block.
    std::vector<uint8_t> row(static_cast<size_t>(image.GetStride()));
    image.GetRow(row.data(), 0);
    image.GetRow(row.data(), image.GetHeight() - 1);
  }
  return 0;
}
