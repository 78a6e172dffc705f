// CDIBitmap to and from packed device-independent bitmaps (the clipboard's
// and the archive's form).
#include "image/dibitmap.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "image/dib_bitfields.h"
#include "image/dib_header.h"
#include "image/dib_rle.h"
#include "platform/messages.h"

namespace {

// Blocks from outside (clipboard, archives) describing more than 1 GiB of
// pixels are refused as damaged rather than allocated.
constexpr int64_t kMaxImportBytes = int64_t{1} << 30;

bool PackedDIBFail(const char* why) {
  platform::ShowMessage(std::string("FromPackedDIB: ") + why);
  return false;
}

}  // namespace

int CDIBitmap::FromPackedDIB(const uint8_t* block, size_t size) {
  if (!block || size < kCoreHeaderSize) return PackedDIBFail("the bitmap header is incomplete");
  const DIBInfoHeader header = ReadDIBInfoHeader({block, size});
  const uint32_t headerSize = header.size;
  int entryBytes = 4;
  if (headerSize == kCoreHeaderSize) {
    entryBytes = 3;
  } else if (headerSize >= 40 && headerSize <= 124) {
    if (size < headerSize) return PackedDIBFail("the bitmap header is incomplete");
  } else {
    return PackedDIBFail("unknown bitmap header size");
  }
  int64_t width = header.width;
  int64_t height = header.height;
  const uint32_t compression = header.compression;
  const uint32_t colorsUsed = header.colorsUsed;
  const bool topDown = height < 0;
  if (topDown) height = -height;
  // Planes times bits per plane; a product beyond int is no valid depth either.
  const int depth = static_cast<int>(std::min<int64_t>(int64_t{header.planes} * header.bitCount, INT_MAX));
  if (width <= 0 || height <= 0 || width > 0x7FFFFFFF / 32 || height > 0x7FFFFFFF)
    return PackedDIBFail("invalid bitmap size");
  const bool rle8 = compression == kBiRle8 && depth == 8;
  const bool rle4 = compression == kBiRle4 && depth == 4;
  const bool bitfields = compression == kBiBitFields && (depth == 16 || depth == 32);
  if (compression != kBiRgb && !rle8 && !rle4 && !bitfields) return PackedDIBFail("unsupported compression");
  if (topDown && (rle8 || rle4)) return PackedDIBFail("a compressed bitmap cannot be top-down");
  if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32)
    return PackedDIBFail("unsupported bit count");
  if (DIBStride(width, depth <= 8 ? 8 : depth == 32 ? 32 : 24) * height > kMaxImportBytes)
    return PackedDIBFail("invalid bitmap size");

  // Colour table (and the three bit-field masks that follow a 40-byte header).
  size_t offset = headerSize;
  std::array<uint32_t, 3> masks = depth == 32 ? std::array<uint32_t, 3>{0xFF0000, 0xFF00, 0xFF}
                                              : std::array<uint32_t, 3>{0x7C00, 0x03E0, 0x001F};
  if (bitfields) {
    if (size < 52) return PackedDIBFail("the bit-field masks are missing");
    masks = header.masks;
    if (headerSize == 40) offset += 12;
  }
  int entries = 0;
  if (depth <= 8) {
    const uint32_t full = 1u << depth;
    entries = static_cast<int>(colorsUsed == 0 || colorsUsed > full ? full : colorsUsed);
  } else if (colorsUsed > 0 && colorsUsed <= 256) {
    entries = static_cast<int>(colorsUsed);  // an optimisation hint; skipped
  }
  if (size < offset + static_cast<size_t>(entries) * entryBytes) return PackedDIBFail("the colour table is incomplete");
  const uint8_t* table = block + offset;
  offset += static_cast<size_t>(entries) * entryBytes;
  const uint8_t* data = block + offset;
  const size_t dataSize = size - offset;

  const int w = static_cast<int>(width);
  const int h = static_cast<int>(height);
  const int targetBits = depth == 4 ? 8 : depth == 16 ? 24 : depth;
  CDIBitmap image;
  if (!image.Create(w, h, targetBits, 0)) return PackedDIBFail("not enough memory");
  if (depth <= 8) {
    std::vector<uint8_t> bgrx(256 * 4, 0);
    for (int i = 0; i < entries; ++i) {
      std::memcpy(&bgrx[static_cast<size_t>(i) * 4], table + static_cast<size_t>(i) * entryBytes, 3);
    }
    image.SetColorTable(bgrx.data(), image.GetPaletteSize());
    image.SetColorsUsed(colorsUsed);
  }

  if (rle8 || rle4) {
    CDIBRleDecoder decoder({data, dataSize}, w, rle4);
    // The new bitmap is already zero: stop once the data is used up.
    for (int i = 0; i < h && !decoder.Finished(); ++i) decoder.NextRow(image.RowPointer(h - 1 - i));
  } else {
    const int64_t srcStride = DIBStride(width, depth);
    if (static_cast<uint64_t>(srcStride * height) > dataSize) return PackedDIBFail("the pixel data is incomplete");
    const DIBBitFields fields{MakeDIBChannel(masks[0]), MakeDIBChannel(masks[1]), MakeDIBChannel(masks[2])};
    std::vector<uint8_t> bgr(depth == 32 ? static_cast<size_t>(w) * 3 : 0);
    for (int i = 0; i < h; ++i) {
      const uint8_t* src = data + static_cast<size_t>(i) * srcStride;
      uint8_t* dst = image.RowPointer(topDown ? i : h - 1 - i);
      if (depth == 4) {
        for (int x = 0; x < w; ++x) dst[x] = static_cast<uint8_t>((x & 1) ? src[x >> 1] & 0x0F : src[x >> 1] >> 4);
      } else if (depth == 16) {
        DIBBitFieldRow<2>(src, dst, w, fields);
      } else if (bitfields) {
        DIBBitFieldRow<4>(src, bgr.data(), w, fields);
        for (int x = 0; x < w; ++x) {
          std::memcpy(dst + 4 * x, &bgr[3 * static_cast<size_t>(x)], 3);
          dst[4 * x + 3] = 0;
        }
      } else {
        std::memcpy(dst, src, static_cast<size_t>(image.GetRowBytes()));
      }
    }
  }
  const int xRes = xResolution_;
  const int yRes = yResolution_;
  Attach(image);
  SetResolution(xRes, yRes);
  return 1;
}

std::vector<uint8_t> CDIBitmap::ToPackedDIB() const {
  if (!info_ || !pixels_) return {};
  const size_t infoBytes = kInfoHeaderSize + 4 * static_cast<size_t>(GetPaletteSize());
  const size_t pixelBytes = static_cast<size_t>(stride_) * static_cast<size_t>(height_);
  std::vector<uint8_t> block(infoBytes + pixelBytes);
  std::memcpy(block.data(), info_, infoBytes);
  // The header may still count the entries of the table an image was read
  // with; the block carries the whole table (2 or 256 entries, or none), which
  // colours-used 0 describes.
  std::memset(block.data() + 32, 0, 4);
  std::memcpy(block.data() + infoBytes, pixels_, pixelBytes);
  return block;
}

