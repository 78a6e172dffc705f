// Feeds arbitrary clipboard contents to the floater paste: the standard
// bitmap, "Vividrome Data A" (alpha) and "Vividrome Data B" (outline), with
// or without "Vividrome Data C". Input layout: byte 0 says which blocks are
// present (bit 0 bitmap, bit 1 alpha, bit 2 outline, bit 3 marker), bytes
// 1-4 and 5-8 give the bitmap's and the alpha's lengths (little-endian, cut
// to what is left), then come the bitmap, the alpha and, as the rest, the
// outline. A pasted floater must be whole: an 8-bit gray alpha of the
// image's size, an outline inside the image, a position not below 0; copied
// and pasted again it must come back the same. Messages are dropped. Seed
// corpus: fuzz/corpus/clipboard_read (floaters copied by the tests' shapes).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "document/clipboard_formats.h"
#include "image/dibitmap.h"
#include "platform/clipboard.h"
#include "platform/messages.h"
#include "stream_reader_fuzzer.h"

namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }

// Bitmaps above 4 Mi pixels are legal but make each run take seconds.
bool TooLargeForARun(const std::vector<uint8_t>& dib) {
  if (dib.size() < 12) return false;
  int64_t width, height;
  if (Le32(dib.data()) == 12) {
    width = dib[4] | dib[5] << 8;
    height = dib[6] | dib[7] << 8;
  } else {
    width = static_cast<int32_t>(Le32(dib.data() + 4));
    height = static_cast<int32_t>(Le32(dib.data() + 8));
  }
  if (height < 0) height = -height;
  return width * height > (int64_t{1} << 22);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::SilentMessageSink sink;
  static platform::MessageSink* const previous [[maybe_unused]] = platform::SetMessageSink(&sink);
  static const ClipboardFormats& formats = RegisterClipboardFormats();
  if (size < 9) return 0;
  const uint8_t present = data[0];
  size_t left = size - 9;
  const uint8_t* p = data + 9;
  const size_t dibSize = std::min<size_t>(Le32(data + 1), left);
  std::vector<uint8_t> dib(p, p + dibSize);
  p += dibSize;
  left -= dibSize;
  const size_t alphaSize = std::min<size_t>(Le32(data + 5), left);
  std::vector<uint8_t> alpha(p, p + alphaSize);
  p += alphaSize;
  left -= alphaSize;
  std::vector<uint8_t> outline(p, p + left);
  if (TooLargeForARun(dib) || TooLargeForARun(alpha)) return 0;

  platform::MemoryClipboard clipboard;
  clipboard.Open();
  if (present & 1) clipboard.SetData(platform::kClipboardDIB, std::move(dib));
  if (present & 2) clipboard.SetData(formats.dataA, std::move(alpha));
  if (present & 4) clipboard.SetData(formats.dataB, std::move(outline));
  if (present & 8) clipboard.SetData(formats.dataC, std::vector<uint8_t>(4, 0));
  clipboard.Close();

  FloaterParts floater;
  const int x = static_cast<int8_t>(present);
  if (!RegionBitmapsFromClipboard(floater, {x, -x}, clipboard)) {
    if (clipboard.IsOpen() || floater.image.IsAllocated()) __builtin_trap();
    return 0;
  }
  const int w = floater.image.GetWidth();
  const int h = floater.image.GetHeight();
  const platform::Rect box = floater.outline.Box();
  if (clipboard.IsOpen() || !floater.alpha.IsGray() || floater.alpha.GetWidth() != w ||
      floater.alpha.GetHeight() != h || floater.outline.IsEmpty() || box.left < 0 || box.top < 0 ||
      box.right > w || box.bottom > h || floater.position.x < 0 || floater.position.y < 0)
    __builtin_trap();

  // Copy and paste again: everything comes back.
  if (RegionBitmapsToClipboard(floater, clipboard) != 1) __builtin_trap();
  FloaterParts again;
  if (RegionBitmapsFromClipboard(again, floater.position, clipboard) != 1 ||
      !fuzz_support::SameRows(again.image, floater.image) || !fuzz_support::SameRows(again.alpha, floater.alpha) ||
      !(again.outline == floater.outline))
    __builtin_trap();
  return 0;
}
