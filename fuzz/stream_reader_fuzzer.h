// What the fuzz targets of the file readers share: messages are dropped,
// the input is handed to the reader as a memory stream, and when the reader
// accepts it, its first and last rows must lie inside the pixel block.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "image/dibitmap.h"
#include "platform/messages.h"

namespace fuzz_support {

// read(FILE*, CDIBitmap&) returns 1 when it accepts the file.
template <typename Read>
int ReadFromMemory(const uint8_t* data, size_t size, Read&& read) {
  static platform::SilentMessageSink sink;
  static platform::MessageSink* const previous [[maybe_unused]] = platform::SetMessageSink(&sink);
  if (size == 0) return 0;
  std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!file) return 0;
  CDIBitmap image;
  if (read(file, image)) {
    std::vector<uint8_t> row(static_cast<size_t>(image.GetStride()));
    image.GetRow(row.data(), 0);
    image.GetRow(row.data(), image.GetHeight() - 1);
  }
  std::fclose(file);
  return 0;
}

}  // namespace fuzz_support
