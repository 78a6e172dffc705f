// Feeds arbitrary bytes to the GIF reader through a memory stream. The
// reader must never crash, hang or touch memory outside its buffers,
// whatever it decides about the file. Seed corpus: fuzz/corpus/gif_read
// (small files of tests/data/gif and of the shared test data).
#include <cstdint>
#include <cstdio>
#include <vector>

#include "document/codecs/gif.h"
#include "image/dibitmap.h"
#include "platform/messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::SilentMessageSink sink;
  static platform::MessageSink* const previous [[maybe_unused]] = platform::SetMessageSink(&sink);
  if (size == 0) return 0;
  // Screens of more than 16 M pixels only cost the sanitizer's time to fill
  // and release up to 1 GiB; the reader's bound on them has its own test.
  if (size >= 10 && int64_t{data[6] | data[7] << 8} * (data[8] | data[9] << 8) > (int64_t{1} << 24)) return 0;
  std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!file) return 0;
  CDIBitmap image;
  if (GIFReadStream(file, image)) {
    // The first and last rows must lie inside the pixel block.
    std::vector<uint8_t> row(static_cast<size_t>(image.GetStride()));
    image.GetRow(row.data(), 0);
    image.GetRow(row.data(), image.GetHeight() - 1);
  }
  std::fclose(file);
  return 0;
}
