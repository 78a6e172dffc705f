// CDIBitmap storage: creation, release, transfer between bitmaps and copies.
#include "image/dibitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "image/dibitmap_bits.h"
#include "image/pixel_block.h"
#include "platform/byte_order.h"
#include "platform/messages.h"

namespace {

// Pixel blocks above this many bytes are refused: row offsets and buffer
// sizes stay well inside size_t arithmetic and allocations stay sane.
constexpr int64_t kMaxPixelBytes = int64_t{1} << 34;

}  // namespace

CDIBitmap::CDIBitmap() = default;

CDIBitmap::~CDIBitmap() {
  // Release storage even if the owner forgot Free: a destroyed bitmap never
  // leaks its pixels.
  lockCount_ = 0;
  Free();
}

void CDIBitmap::ResetFields() {
  info_ = nullptr;
  colorTable_ = nullptr;
  pixels_ = nullptr;
  maskBits_ = nullptr;
  region_.Reset();
  flags_ &= ~BF_FREE_CLEARS;
}

void CDIBitmap::Free() {
  if (lockCount_ != 0) {
    --lockCount_;
    return;
  }
  FreePixelBlock(pixels_, static_cast<size_t>(stride_) * static_cast<size_t>(height_));
  std::free(info_);
  std::free(maskBits_);
  ResetFields();
}

int CDIBitmap::Create(int width, int height, int bitCount, int options) {
  return CreateStorage(width, height, bitCount, options, true);
}

int CDIBitmap::CreateStorage(int width, int height, int bitCount, int options, bool zeroPixels) {
  // A pixel block of exactly the new size is kept instead of being released
  // and allocated again: its pages are already mapped.
  uint8_t* oldPixels = pixels_;
  const size_t oldBytes = pixels_ ? static_cast<size_t>(stride_) * static_cast<size_t>(height_) : 0;
  pixels_ = nullptr;
  const uint32_t lock = lockCount_;
  lockCount_ = 0;
  Free();
  lockCount_ = lock;

  int bits = bitCount_;
  uint32_t colorType = colorType_;
  uint32_t kindFlags = 0;
  if (bitCount == 1) {
    bits = 1;
    colorType = CT_PALETTE;
  } else if (bitCount >= 2 && bitCount <= 8) {
    bits = 8;
    if (options & 1) {
      colorType = CT_GRAY;
      kindFlags = BF_GRAY;
    } else {
      colorType = CT_PALETTE;
    }
  } else if (bitCount >= 9 && bitCount <= 24) {
    bits = 24;
    colorType = CT_RGB;
  } else if (bitCount == 32) {
    bits = 32;
    if (options & 3) {
      colorType = CT_CMYK;
      kindFlags = BF_CMYK;
    } else {
      colorType = CT_RGB32;
    }
  } else if (bits == 8 && colorType == CT_GRAY) {
    kindFlags = BF_GRAY;
  } else if (bits == 32 && colorType == CT_CMYK) {
    kindFlags = BF_CMYK;
  }
  const int64_t stride = DIBStride(width, bits);
  const int64_t pixelBytes = stride * height;
  if (!DIBValidBitCount(bits) || width < 1 || height < 1 || pixelBytes > kMaxPixelBytes) {
    FreePixelBlock(oldPixels, oldBytes);
    return 0;
  }
  const int entries = bits == 1 ? 2 : bits == 8 ? 256 : 0;

  auto* info = static_cast<uint8_t*>(std::calloc(1, kInfoHeaderSize + 4 * entries));
  uint8_t* pixels = nullptr;
  if (oldPixels && oldBytes == static_cast<size_t>(pixelBytes)) {
    pixels = oldPixels;
    if (zeroPixels) std::memset(pixels, 0, oldBytes);
  } else {
    FreePixelBlock(oldPixels, oldBytes);
    pixels = AllocatePixelBlock(static_cast<size_t>(pixelBytes), zeroPixels);
  }
  if (!info || !pixels) {
    std::free(info);
    FreePixelBlock(pixels, static_cast<size_t>(pixelBytes));
    return 0;
  }
  info_ = info;
  pixels_ = pixels;
  colorTable_ = entries ? info_ + kInfoHeaderSize : nullptr;
  width_ = width;
  height_ = height;
  bitCount_ = bits;
  stride_ = static_cast<int>(stride);
  colorType_ = colorType;
  flags_ = (flags_ & ~(BF_GRAY | BF_CMYK)) | kindFlags | BF_ALLOCATED;
  WriteHeader();

  if (bits == 1) {
    uint8_t* white = colorTable_ + 4;
    white[0] = white[1] = white[2] = 255;
  } else if (kindFlags & BF_GRAY) {
    for (int i = 0; i < 256; ++i) {
      uint8_t* e = colorTable_ + 4 * i;
      e[0] = e[1] = e[2] = static_cast<uint8_t>(i);
    }
  }
  return 1;
}

void CDIBitmap::WriteHeader() {
  uint8_t* h = info_;
  platform::StoreLE32(h + 0, kInfoHeaderSize);
  platform::StoreLE32(h + 4, static_cast<uint32_t>(width_));
  platform::StoreLE32(h + 8, static_cast<uint32_t>(height_));
  platform::StoreLE16(h + 12, 1);
  platform::StoreLE16(h + 14, static_cast<uint32_t>(bitCount_));
  platform::StoreLE32(h + 16, 0);
  platform::StoreLE32(h + 20, 0);
  platform::StoreLE32(h + 24, 0);
  platform::StoreLE32(h + 28, 0);
  platform::StoreLE32(h + 32, colorsUsed_);
  platform::StoreLE32(h + 36, 0);
}

void CDIBitmap::SetColorsUsed(uint32_t count) {
  colorsUsed_ = count;
  if (info_) platform::StoreLE32(info_ + 32, count);
}

int CDIBitmap::CreateCompatible(const CDIBitmap& source, int width, int height) {
  return CreateCompatibleStorage(source, width, height, true);
}

int CDIBitmap::CreateCompatibleStorage(const CDIBitmap& source, int width, int height, bool zeroPixels) {
  int options = 0;
  if (source.bitCount_ <= 8)
    options = (source.flags_ & BF_GRAY) ? 1 : 2;
  else if (source.bitCount_ == 32)
    options = (source.flags_ & BF_CMYK) ? 3 : 0;
  if (!CreateStorage(width, height, source.bitCount_, options, zeroPixels)) {
    platform::ShowMessage("cannot Create Compatible Bitmpap");
    return 0;
  }
  const int entries = GetPaletteSize();
  if (entries && source.colorTable_) std::memcpy(colorTable_, source.colorTable_, static_cast<size_t>(entries) * 4);
  return 1;
}

void CDIBitmap::Attach(CDIBitmap& other) {
  if (&other == this) return;
  const uint32_t lock = lockCount_;
  lockCount_ = 0;
  Free();
  lockCount_ = lock;
  info_ = other.info_;
  colorTable_ = other.colorTable_;
  colorsUsed_ = other.colorsUsed_;
  colorType_ = other.colorType_;
  flags_ = other.flags_;
  pixels_ = other.pixels_;
  maskBits_ = other.maskBits_;
  region_ = std::move(other.region_);
  width_ = other.width_;
  height_ = other.height_;
  bitCount_ = other.bitCount_;
  stride_ = other.stride_;
  maskEnabled_ = other.maskEnabled_;
  other.ResetFields();
}

int CDIBitmap::CopyFrom(const CDIBitmap& source) {
  if (&source == this) return 1;
  if (!CreateCompatibleStorage(source, source.width_, source.height_, false)) return 0;
  std::memcpy(pixels_, source.pixels_, static_cast<size_t>(stride_) * static_cast<size_t>(height_));
  return 1;
}

int CDIBitmap::CopyRect(const CDIBitmap& source, int x, int y, int width, int height, int clamp) {
  if (&source == this) {
    CDIBitmap copy;
    if (!copy.CopyRect(source, x, y, width, height, clamp)) return 0;
    Attach(copy);
    return 1;
  }
  // Every pixel is written below when the rectangle lies inside the source
  // or when clamping; only then may the block skip its zero fill.
  const bool covered = clamp || (x >= 0 && y >= 0 && int64_t{x} + width <= source.width_ &&
                                 int64_t{y} + height <= source.height_);
  if (!CreateCompatibleStorage(source, width, height, !covered)) return 0;
  if (covered) {
    // Clear the row ends (padding and the last partial byte) that the
    // copies below do not fully write.
    const int tail = std::max(GetRowBytes() - 1, 0);
    for (int r = 0; r < height_; ++r) std::memset(RowPointer(r) + tail, 0, static_cast<size_t>(stride_ - tail));
  }
  if (clamp) {
    for (int r = 0; r < height_; ++r) source.GetRowPartClamped(RowPointer(r), y + r, x, width_);
    return 1;
  }
  const int x0 = std::max(x, 0);
  const int x1 = static_cast<int>(std::min<int64_t>(int64_t{x} + width, source.width_));
  const int y0 = std::max(y, 0);
  const int y1 = static_cast<int>(std::min<int64_t>(int64_t{y} + height, source.height_));
  if (x0 >= x1 || y0 >= y1) return 1;
  const int count = x1 - x0;
  for (int sy = y0; sy < y1; ++sy) {
    uint8_t* dst = RowPointer(sy - y);
    const uint8_t* src = source.RowPointer(sy);
    if (bitCount_ == 1) {
      DIBCopyBits(dst, x0 - x, src, x0, count);
    } else {
      const int bpp = bitCount_ / 8;
      std::memcpy(dst + static_cast<size_t>(x0 - x) * bpp, src + static_cast<size_t>(x0) * bpp,
                  static_cast<size_t>(count) * bpp);
    }
  }
  return 1;
}

const char* CDIBitmap::GetKindName() const {
  if (bitCount_ > 8) return bitCount_ == 32 ? "CMYK" : "RGB";
  if (!(flags_ & BF_GRAY)) return "INDEX";
  return bitCount_ == 1 ? "MONO" : "GRAY";
}

