#include "document/clipboard_formats.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "image/dib_header.h"
#include "platform/byte_order.h"
#include "platform/messages.h"

namespace {

constexpr size_t kRegionHeaderSize = 32;
constexpr size_t kRegionRectSize = 16;
constexpr size_t kDataCSize = 4;

// The packed form of a bitmap (ToPackedDIB: the full table, colours used
// 0), or nullopt when there is no memory for it.
std::optional<std::vector<uint8_t>> PackedCopy(const CDIBitmap& bitmap) {
  try {
    std::vector<uint8_t> block = bitmap.ToPackedDIB();
    if (block.size() < static_cast<size_t>(kInfoHeaderSize)) return std::nullopt;
    return block;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

// Puts `block` under `format`; false when there is no block or it is refused.
bool Put(platform::Clipboard& clipboard, platform::ClipboardFormat format,
         std::optional<std::vector<uint8_t>> block) {
  return block && clipboard.SetData(format, std::move(*block));
}

int Refused(platform::Clipboard& clipboard, const char* text) {
  platform::ShowMessage(text);
  clipboard.Close();
  return 0;
}

// Whether a packed DIB's header gives width x height (rows either way up).
bool PackedDIBHasSize(std::span<const uint8_t> block, int width, int height) {
  if (block.size() < kCoreHeaderSize) return false;
  const DIBInfoHeader header = ReadDIBInfoHeader(block);
  return header.width == width && (header.height == height || header.height == -int64_t{height});
}

// The alpha of a Data A block: an 8-bit gray bitmap of width x height, or
// false when the block is not an 8-bit bitmap of that size. The size is
// checked before anything is decoded, so a block describing a huge bitmap
// costs nothing.
bool AlphaFromDataA(std::span<const uint8_t> block, int width, int height, CDIBitmap& alpha) {
  if (!PackedDIBHasSize(block, width, height)) return false;
  CDIBitmap packed;
  if (!packed.FromPackedDIB(block.data(), block.size())) return false;
  if (packed.GetBitCount() != 8 || packed.GetWidth() != width || packed.GetHeight() != height) return false;
  if (!alpha.Create(width, height, 8, 1)) return false;
  const size_t bytes = static_cast<size_t>(width);
  for (int y = 0; y < height; ++y) std::memcpy(alpha.RowPointer(y), packed.RowPointer(y), bytes);
  return true;
}

}  // namespace

const ClipboardFormats& RegisterClipboardFormats() {
  static const ClipboardFormats formats{platform::RegisterClipboardFormat(kClipboardDataAName),
                                        platform::RegisterClipboardFormat(kClipboardDataBName),
                                        platform::RegisterClipboardFormat(kClipboardDataCName)};
  return formats;
}

std::vector<uint8_t> OutlineToDataB(const platform::Region& outline) { return outline.ToBytes(); }

std::optional<platform::Region> OutlineFromDataB(std::span<const uint8_t> block) {
  if (block.size() < kRegionHeaderSize) return std::nullopt;
  // The count alone decides how much is read; it must fit in the block.
  const uint64_t count = platform::LoadLE32(block.data() + 8);
  const uint64_t size = kRegionHeaderSize + count * kRegionRectSize;
  if (size > block.size()) return std::nullopt;
  return platform::Region::FromBytes(block.first(static_cast<size_t>(size)));
}

int RegionBitmapsToClipboard(const FloaterParts& floater, platform::Clipboard& clipboard) {
  const ClipboardFormats& formats = RegisterClipboardFormats();
  if (!clipboard.Open()) return Refused(clipboard, "Cannot open the Clipboard");
  if (!clipboard.Empty()) return Refused(clipboard, "Cannot open the Clipboard");

  if (floater.image.IsAllocated()) {
    if (!Put(clipboard, platform::kClipboardDIB, PackedCopy(floater.image)))
      return Refused(clipboard, "Unable to set Clipboard data A");
  } else {
    platform::ShowMessage("RegionBitmapsToClipboard:need  floater ");
  }

  if (floater.alpha.IsAllocated()) {
    if (!Put(clipboard, formats.dataA, PackedCopy(floater.alpha)))
      return Refused(clipboard, "Unable to set Clipboard data A");
    if (!clipboard.SetData(formats.dataC, std::vector<uint8_t>(kDataCSize, 0)))
      return Refused(clipboard, "Unable to set Clipboard data C");
  } else {
    platform::ShowMessage("RegionBitmapsToClipboard:need  floater alpha");
  }

  if (!floater.outline.IsValid() || floater.outline.IsEmpty()) {
    clipboard.Close();
    return 0;
  }
  if (!clipboard.SetData(formats.dataB, OutlineToDataB(floater.outline)))
    return Refused(clipboard, "Unable to set Clipboard data B");
  clipboard.Close();
  return 1;
}

int RegionBitmapsFromClipboard(FloaterParts& floater, platform::Point pastePosition, platform::Clipboard& clipboard) {
  const ClipboardFormats& formats = RegisterClipboardFormats();
  const platform::Point position{std::max(pastePosition.x, 0), std::max(pastePosition.y, 0)};
  if (!clipboard.Open()) {
    platform::ShowMessage("Cannot open the Clipboard");
    return 0;
  }

  // Everything is built aside and handed over at the end, so a paste that
  // fails leaves the floater as it was.
  CDIBitmap image;
  const auto dib = clipboard.GetData(platform::kClipboardDIB);
  if (!dib) {
    clipboard.Close();
    platform::ShowMessage("Error allocating clipcopy bitmaps");
    return 0;
  }
  if (!image.FromPackedDIB(dib->data(), dib->size())) {
    clipboard.Close();
    return 0;
  }
  const int width = image.GetWidth();
  const int height = image.GetHeight();

  std::optional<platform::Region> outline;
  if (const auto block = clipboard.GetData(formats.dataB)) {
    if (auto rebuilt = OutlineFromDataB(*block)) {
      *rebuilt = rebuilt->Intersect(platform::Region::FromRect(0, 0, width, height));
      if (!rebuilt->IsEmpty()) outline = std::move(*rebuilt);
    }
  }

  CDIBitmap alpha;
  bool alphaSupplied = false;
  if (const auto block = clipboard.GetData(formats.dataA)) alphaSupplied = AlphaFromDataA(*block, width, height, alpha);

  // Data C carries nothing; it is only looked at.
  (void)clipboard.GetData(formats.dataC);
  clipboard.Close();

  if (!alphaSupplied) {
    if (!alpha.Create(width, height, 8, 1)) {
      platform::ShowMessage("Error allocating clipcopy bitmaps");
      return 0;
    }
    for (int y = 0; y < height; ++y) std::memset(alpha.RowPointer(y), 0xFF, static_cast<size_t>(width));
  }
  if (!outline) outline = platform::Region::FromRect(0, 0, width, height);

  floater.image.Attach(image);
  floater.alpha.Attach(alpha);
  floater.outline = std::move(*outline);
  floater.position = position;
  return 1;
}
