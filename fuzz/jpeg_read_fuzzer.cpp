// Feeds arbitrary bytes to the JPEG reader through a memory stream. Messages
// are dropped; the reader must never crash, hang or touch memory outside
// its buffers, whatever it decides about the file. Seed corpus:
// fuzz/corpus/jpeg_read (small files of tests/data/jpeg, see SOURCES.md).
#include <cstdint>
#include <cstdio>

#include "document/codecs/jpeg.h"
#include "stream_reader_fuzzer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz_support::ReadFromMemory(data, size,
                                      [](std::FILE* file, CDIBitmap& image) { return JPEGReadStream(file, image); });
}
