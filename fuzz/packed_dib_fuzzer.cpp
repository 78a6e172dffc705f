// Feeds arbitrary bytes to the packed-DIB import (the clipboard's bitmap and
// the native archive's image stream) and, when it is accepted, exercises the
// export and the row reads of the result.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/dibitmap.h"
#include "platform/messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Images above 256 MiB are legal but make each run take seconds; the size
  // limits themselves are covered by the unit tests.
  if (size >= 16 && data[0] == 40) {
    const int64_t width = static_cast<int32_t>(data[4] | data[5] << 8 | data[6] << 16 | uint32_t{data[7]} << 24);
    const int64_t height = static_cast<int32_t>(data[8] | data[9] << 8 | data[10] << 16 | uint32_t{data[11]} << 24);
    if (width * (height < 0 ? -height : height) > (int64_t{1} << 26)) return 0;
  }
  static platform::SilentMessageSink sink;
  platform::SetMessageSink(&sink);
  CDIBitmap image;
  // Keep each run short: a small input may legally describe a large image.
  if (image.FromPackedDIB(data, size) && int64_t{image.GetStride()} * image.GetHeight() <= (int64_t{1} << 26)) {
    const std::vector<uint8_t> block = image.ToPackedDIB();
    std::vector<uint8_t> row(static_cast<size_t>(image.GetStride()) + static_cast<size_t>(image.GetWidth()) * 3 + 16);
    for (int y = 0; y < image.GetHeight() && y < 64; ++y) {
      image.GetRow(row.data(), y);
      if (image.GetBitCount() <= 24) image.GetRowRGB(row.data(), y);
    }
    CDIBitmap again;
    if (!again.FromPackedDIB(block.data(), block.size())) __builtin_trap();
  }
  return 0;
}
