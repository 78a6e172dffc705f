// Feeds arbitrary bytes to the packed-DIB import (the clipboard's bitmap and
// the native archive's image stream) and, when it is accepted, exercises the
// export and the row reads of the result.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/dibitmap.h"
#include "platform/messages.h"

namespace {

class SilentSink final : public platform::MessageSink {
 public:
  platform::MsgAnswer Show(const platform::Message&) override { return platform::MsgAnswer::Ok; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SilentSink sink;
  platform::SetMessageSink(&sink);
  CDIBitmap image;
  if (image.FromPackedDIB(data, size)) {
    const std::vector<uint8_t> block = image.ToPackedDIB();
    std::vector<uint8_t> row(static_cast<size_t>(image.GetStride()) * 3 + 16);
    for (int y = 0; y < image.GetHeight() && y < 64; ++y) {
      image.GetRow(row.data(), y);
      if (image.GetBitCount() <= 24) image.GetRowRGB(row.data(), y);
    }
    CDIBitmap again;
    if (!again.FromPackedDIB(block.data(), block.size())) __builtin_trap();
  }
  return 0;
}
