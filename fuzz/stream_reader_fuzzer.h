// What the fuzz targets of the readers share: a reader run over the input
// as a memory stream (messages dropped; when the reader accepts the input,
// its first and last rows must lie inside the pixel block), and the
// comparison of two bitmaps' rows that the round-trip targets make.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
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

// Same size, bit count and row bytes.
inline bool SameRows(const CDIBitmap& a, const CDIBitmap& b) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetBitCount() != b.GetBitCount())
    return false;
  for (int y = 0; y < a.GetHeight(); ++y)
    if (std::memcmp(a.RowPointer(y), b.RowPointer(y), static_cast<size_t>(a.GetRowBytes())) != 0) return false;
  return true;
}

}  // namespace fuzz_support
