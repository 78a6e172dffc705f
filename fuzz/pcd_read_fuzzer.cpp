// Feeds arbitrary bytes to the Photo CD reader through a memory stream.
// Messages are dropped; the reader must never crash, hang or touch memory
// outside its buffers, whatever it decides about the file.
//
// The first byte picks how the rest is used. Even: the rest is placed at
// sector 388 of an image pack whose first 388 sectors are zero, so that
// small inputs reach the Huffman table and residual stream, and 4Base is
// read. (16Base shares that code but costs four times the fixed pixel work
// of 4Base per run, which makes the instrumented build too slow to explore.)
// Odd: the rest is the whole file and resolution (byte / 2) % 3 is read. Seed corpus: fuzz/corpus/pcd_read
// (the table and stream sectors of tests/data/pcd samples, and short files).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "document/codecs/photocd.h"
#include "image/dibitmap.h"
#include "platform/messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::SilentMessageSink sink;
  static platform::MessageSink* const previous [[maybe_unused]] = platform::SetMessageSink(&sink);
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  std::vector<uint8_t> file;
  int resolution = 0;
  if (mode & 1) {
    file.assign(data + 1, data + size);
    resolution = (mode / 2) % 3;
  } else {
    constexpr size_t kPrefix = 388 * 2048;
    file.assign(kPrefix + size - 1, 0);
    std::memcpy(file.data() + kPrefix, data + 1, size - 1);
    resolution = 3;
  }
  if (file.empty()) return 0;
  std::FILE* stream = fmemopen(file.data(), file.size(), "rb");
  if (!stream) return 0;
  ProbePhotoCDStream(stream);
  CDIBitmap image;
  if (PhotoCDReadStream(stream, image, resolution)) {
    // The first and last rows must lie inside the pixel block.
    std::vector<uint8_t> row(static_cast<size_t>(image.GetStride()));
    image.GetRow(row.data(), 0);
    image.GetRow(row.data(), image.GetHeight() - 1);
  }
  std::fclose(stream);
  return 0;
}
