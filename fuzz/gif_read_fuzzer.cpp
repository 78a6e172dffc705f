// Feeds arbitrary bytes to the GIF reader through a memory stream. The
// reader must never crash, hang or touch memory outside its buffers,
// whatever it decides about the file. Seed corpus: fuzz/corpus/gif_read
// (small files of tests/data/gif and one of image-rs, see its SOURCES.md).
#include <cstdint>
#include <cstdio>

#include "document/codecs/gif.h"
#include "stream_reader_fuzzer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Screens of more than 16 M pixels only cost the sanitizer's time to fill
  // and release up to 1 GiB; the reader's bound on them has its own test.
  if (size >= 10 && int64_t{data[6] | data[7] << 8} * (data[8] | data[9] << 8) > (int64_t{1} << 24)) return 0;
  return fuzz_support::ReadFromMemory(data, size,
                                      [](std::FILE* file, CDIBitmap& image) { return GIFReadStream(file, image); });
}
