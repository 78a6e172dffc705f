// Feeds arbitrary bytes to the PCX reader as a DCX file (a ".dcx" name) through a
// memory stream. Messages are dropped; the reader must never crash, hang or
// touch memory outside its buffers, whatever it decides about the file.
// Seed corpus: fuzz/corpus/dcx_read (see fuzz/corpus/SOURCES.md).
#include <cstdint>
#include <cstdio>

#include "document/codecs/pcx.h"
#include "stream_reader_fuzzer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz_support::ReadFromMemory(data, size, [](std::FILE* file, CDIBitmap& image) {
    return PCXReadStream(file, "fuzz.dcx", image);
  });
}
