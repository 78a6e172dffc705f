#include "image/dibitmap.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "image/color_convert.h"
#include "image/dib_bitfields.h"
#include "image/dib_rle.h"
#include "platform/byte_order.h"
#include "platform/messages.h"
#include "platform/palette.h"

namespace {

// Pixel blocks above this many bytes are refused: row offsets and buffer
// sizes stay well inside size_t arithmetic and allocations stay sane.
constexpr int64_t kMaxPixelBytes = int64_t{1} << 34;
// Blocks from outside (clipboard, archives) describing more than 1 GiB of
// pixels are refused as damaged rather than allocated.
constexpr int64_t kMaxImportBytes = int64_t{1} << 30;

#if defined(__SANITIZE_ADDRESS__)
#define VIVID_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VIVID_ADDRESS_SANITIZER 1
#endif
#endif

// Large pixel blocks are mapped directly, aligned to 2 MiB and marked for
// transparent huge pages: a new 6000 x 4000 image then costs a few dozen
// page faults instead of eighteen thousand. Under AddressSanitizer every
// block comes from malloc so that overruns stay detectable.
constexpr size_t kHugePage = size_t{2} << 20;

bool MappedBlock(size_t bytes) {
#ifdef VIVID_ADDRESS_SANITIZER
  (void)bytes;
  return false;
#else
  return bytes >= kHugePage;
#endif
}

size_t MappedLength(size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

// A block of `bytes` pixel bytes, zeroed when asked (mapped blocks always are).
uint8_t* AllocatePixels(size_t bytes, bool zero) {
  if (!MappedBlock(bytes)) return static_cast<uint8_t*>(zero ? std::calloc(1, bytes) : std::malloc(bytes));
  const size_t length = MappedLength(bytes);
  void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  // Trim to a 2 MiB aligned window of `length` bytes.
  const auto start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) munmap(raw, aligned - start);
  const uintptr_t end = start + length + kHugePage;
  if (end > aligned + length) munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
  madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
  return reinterpret_cast<uint8_t*>(aligned);
}

void FreePixels(uint8_t* pixels, size_t bytes) {
  if (!pixels) return;
  if (MappedBlock(bytes))
    munmap(pixels, MappedLength(bytes));
  else
    std::free(pixels);
}

inline int GetBit(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

inline void SetBit(uint8_t* row, int x, int value) {
  const uint8_t bit = static_cast<uint8_t>(0x80u >> (x & 7));
  if (value)
    row[x >> 3] |= bit;
  else
    row[x >> 3] &= static_cast<uint8_t>(~bit);
}

using platform::LoadLE16;
using platform::LoadLE32;
using platform::StoreLE16;
using platform::StoreLE32;

void InvalidBitCount() { platform::ShowMessage("Invalid Bit Count"); }

bool ValidBitCount(int bits) { return bits == 1 || bits == 8 || bits == 24 || bits == 32; }

// Copies `count` bits from src (starting at bit srcBit) to dst (starting at
// bit dstBit), most significant bit first.
void CopyBits(uint8_t* dst, int64_t dstBit, const uint8_t* src, int64_t srcBit, int count) {
  if (((dstBit | srcBit) & 7) == 0) {
    const int whole = count / 8;
    std::memcpy(dst + dstBit / 8, src + srcBit / 8, static_cast<size_t>(whole));
    dstBit += int64_t{whole} * 8;
    srcBit += int64_t{whole} * 8;
    count -= whole * 8;
  }
  for (int i = 0; i < count; ++i) {
    const int64_t s = srcBit + i;
    const int64_t d = dstBit + i;
    const int bit = (src[s >> 3] >> (7 - (s & 7))) & 1;
    const uint8_t m = static_cast<uint8_t>(0x80u >> (d & 7));
    if (bit)
      dst[d >> 3] |= m;
    else
      dst[d >> 3] &= static_cast<uint8_t>(~m);
  }
}

// Masked copy of `count` pixels of `Bpp` bytes each: pixel i of src goes to
// pixel i of dst when mask bit (maskBit0 + i) is set. Whole mask bytes of
// 0xFF and 0x00 are handled in one step, which keeps selections with large
// solid areas close to plain copy speed.
template <int Bpp>
void MaskedCopy(uint8_t* dst, const uint8_t* src, const uint8_t* mask, int maskBit0, int count) {
  int i = 0;
  // Walk single pixels until the mask position is byte aligned.
  while (i < count && ((maskBit0 + i) & 7) != 0) {
    if (GetBit(mask, maskBit0 + i)) std::memcpy(dst + i * Bpp, src + i * Bpp, Bpp);
    ++i;
  }
  // Runs of whole 0xFF mask bytes become one copy, runs of 0x00 one skip.
  const int whole = i + (count - i) / 8 * 8;
  while (i < whole) {
    const uint8_t* m = mask + ((maskBit0 + i) >> 3);
    const int bytesLeft = (whole - i) / 8;
    if (*m == 0xFF || *m == 0x00) {
      const uint8_t value = *m;
      int run = 1;
      while (run < bytesLeft && m[run] == value) ++run;
      if (value) std::memcpy(dst + i * Bpp, src + i * Bpp, static_cast<size_t>(run) * 8 * Bpp);
      i += run * 8;
      continue;
    }
    for (int b = 0; b < 8; ++b)
      if (*m & (0x80u >> b)) std::memcpy(dst + (i + b) * Bpp, src + (i + b) * Bpp, Bpp);
    i += 8;
  }
  for (; i < count; ++i)
    if (GetBit(mask, maskBit0 + i)) std::memcpy(dst + i * Bpp, src + i * Bpp, Bpp);
}

// Nearest entry of a 4-byte (blue, green, red, 0) colour table: least sum of
// squared differences, lowest index on ties.
int NearestTableIndex(const uint8_t* table, int entries, uint32_t color) {
  const int red = static_cast<int>(color & 0xFF);
  const int green = static_cast<int>((color >> 8) & 0xFF);
  const int blue = static_cast<int>((color >> 16) & 0xFF);
  int best = 0;
  int bestDistance = std::numeric_limits<int>::max();
  for (int i = 0; i < entries; ++i) {
    const uint8_t* e = table + i * 4;
    const int db = e[0] - blue;
    const int dg = e[1] - green;
    const int dr = e[2] - red;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
      if (distance == 0) break;
    }
  }
  return best;
}

}  // namespace

void Raster::Allocate(int w, int h, int bpp) {
  width = w;
  height = h;
  bitsPerPixel = bpp;
  stride = static_cast<int>(DIBStride(w, bpp));
  pixels.assign(static_cast<size_t>(stride) * static_cast<size_t>(std::max(h, 0)), 0);
}

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
  reservedA_ = nullptr;
  reservedB_ = nullptr;
  maskBits_ = nullptr;
  region_.Reset();
  flags_ &= ~BF_FREE_CLEARS;
}

void CDIBitmap::Free() {
  if (lockCount_ != 0) {
    --lockCount_;
    return;
  }
  FreePixels(pixels_, static_cast<size_t>(stride_) * static_cast<size_t>(height_));
  std::free(info_);
  std::free(reservedA_);
  std::free(reservedB_);
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
  if (!ValidBitCount(bits) || width < 1 || height < 1 || pixelBytes > kMaxPixelBytes) {
    FreePixels(oldPixels, oldBytes);
    return 0;
  }
  const int entries = bits == 1 ? 2 : bits == 8 ? 256 : 0;

  auto* info = static_cast<uint8_t*>(std::calloc(1, kInfoHeaderSize + 4 * entries));
  uint8_t* pixels = nullptr;
  if (oldPixels && oldBytes == static_cast<size_t>(pixelBytes)) {
    pixels = oldPixels;
    if (zeroPixels) std::memset(pixels, 0, oldBytes);
  } else {
    FreePixels(oldPixels, oldBytes);
    pixels = AllocatePixels(static_cast<size_t>(pixelBytes), zeroPixels);
  }
  if (!info || !pixels) {
    std::free(info);
    FreePixels(pixels, static_cast<size_t>(pixelBytes));
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
  StoreLE32(h + 0, kInfoHeaderSize);
  StoreLE32(h + 4, static_cast<uint32_t>(width_));
  StoreLE32(h + 8, static_cast<uint32_t>(height_));
  StoreLE16(h + 12, 1);
  StoreLE16(h + 14, static_cast<uint32_t>(bitCount_));
  StoreLE32(h + 16, 0);
  StoreLE32(h + 20, 0);
  StoreLE32(h + 24, 0);
  StoreLE32(h + 28, 0);
  StoreLE32(h + 32, colorsUsed_);
  StoreLE32(h + 36, 0);
}

void CDIBitmap::SetColorsUsed(uint32_t count) {
  colorsUsed_ = count;
  if (info_) StoreLE32(info_ + 32, count);
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
  reservedA_ = other.reservedA_;
  reservedB_ = other.reservedB_;
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
      CopyBits(dst, x0 - x, src, x0, count);
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

// ---------------------------------------------------------------- pixels

bool CDIBitmap::MaskBit(int y, int x) const {
  if (!maskBits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  return GetBit(MaskRowPointer(y), x) != 0;
}

uint32_t CDIBitmap::GetPixel(int y, int x) const {
  if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* row = RowPointer(y);
  switch (bitCount_) {
    case 1:
      return static_cast<uint32_t>(GetBit(row, x));
    case 8:
      return row[x];
    case 24: {
      const uint8_t* p = row + static_cast<size_t>(x) * 3;
      return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
    case 32: {
      const uint8_t* p = row + static_cast<size_t>(x) * 4;
      return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    }
    default:
      return 0;
  }
}

void CDIBitmap::SetPixel(int y, int x, uint32_t value) {
  if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_) return;
  if (WritesMasked() && !GetBit(MaskRowPointer(y), x)) return;
  uint8_t* row = RowPointer(y);
  switch (bitCount_) {
    case 1:
      SetBit(row, x, value & 1);
      break;
    case 8:
      row[x] = static_cast<uint8_t>(value);
      break;
    case 24: {
      uint8_t* p = row + static_cast<size_t>(x) * 3;
      p[0] = static_cast<uint8_t>(value >> 16);
      p[1] = static_cast<uint8_t>(value >> 8);
      p[2] = static_cast<uint8_t>(value);
      break;
    }
    case 32: {
      uint8_t* p = row + static_cast<size_t>(x) * 4;
      p[0] = static_cast<uint8_t>(value >> 24);
      p[1] = static_cast<uint8_t>(value >> 16);
      p[2] = static_cast<uint8_t>(value >> 8);
      p[3] = static_cast<uint8_t>(value);
      break;
    }
    default:
      break;
  }
}

uint32_t CDIBitmap::GetPixelColor(int y, int x) const {
  if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* row = RowPointer(y);
  auto fromTable = [this](int index) -> uint32_t {
    const uint8_t* e = colorTable_ + 4 * index;
    return e[2] | (uint32_t{e[1]} << 8) | (uint32_t{e[0]} << 16);
  };
  switch (bitCount_) {
    case 1:
      return fromTable(GetBit(row, x));
    case 8:
      return fromTable(row[x]);
    case 24: {
      const uint8_t* p = row + static_cast<size_t>(x) * 3;
      return p[2] | (uint32_t{p[1]} << 8) | (uint32_t{p[0]} << 16);
    }
    case 32: {
      uint8_t red, green, blue;
      GL_CMYKToRGB(row + static_cast<size_t>(x) * 4, red, green, blue);
      return red | (uint32_t{green} << 8) | (uint32_t{blue} << 16);
    }
    default:
      return 0;
  }
}

int CDIBitmap::NearestIndex(uint32_t color) const {
  const int entries = GetPaletteSize();
  if (!entries || !colorTable_) return 0;
  return NearestTableIndex(colorTable_, entries, color);
}

void CDIBitmap::SetPixelColor(int y, int x, uint32_t color) {
  if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_) return;
  switch (bitCount_) {
    case 1:
    case 8:
      SetPixel(y, x, static_cast<uint32_t>(NearestIndex(color)));
      break;
    case 24:
      // The raw value of a 24-bit pixel is the colour value itself.
      SetPixel(y, x, color & 0xFFFFFF);
      break;
    default:
      break;
  }
}

uint8_t* CDIBitmap::GetPixelAddress(int y, int x) {
  if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_) return nullptr;
  return RowPointer(y) + (static_cast<int64_t>(x) * bitCount_) / 8;
}

// ---------------------------------------------------------------- rows

int CDIBitmap::GetRow(uint8_t* buffer, int y) const {
  if (!ValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || y < 0 || y >= height_) return 0;
  std::memcpy(buffer, RowPointer(y), static_cast<size_t>(GetRowBytes()));
  return 1;
}

void CDIBitmap::PutRowMasked(const uint8_t* src, int y, int x, int count) {
  uint8_t* dst = RowPointer(y);
  const uint8_t* mask = MaskRowPointer(y);
  switch (bitCount_) {
    case 1:
      for (int i = 0; i < count; ++i)
        if (GetBit(mask, x + i)) SetBit(dst, x + i, GetBit(src, i));
      break;
    case 8:
      MaskedCopy<1>(dst + x, src, mask, x, count);
      break;
    case 24:
      MaskedCopy<3>(dst + static_cast<size_t>(x) * 3, src, mask, x, count);
      break;
    case 32:
      MaskedCopy<4>(dst + static_cast<size_t>(x) * 4, src, mask, x, count);
      break;
    default:
      break;
  }
}

int CDIBitmap::PutRow(const uint8_t* buffer, int y) {
  if (!ValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || y < 0 || y >= height_) return 0;
  if (!WritesMasked()) {
    std::memcpy(RowPointer(y), buffer, static_cast<size_t>(GetRowBytes()));
    return 1;
  }
  if (bitCount_ == 1) {
    // Whole bytes: keep the old bits where the mask is clear.
    uint8_t* dst = RowPointer(y);
    const uint8_t* mask = MaskRowPointer(y);
    const int bytes = GetRowBytes();
    for (int i = 0; i < bytes; ++i) dst[i] = static_cast<uint8_t>((dst[i] & ~mask[i]) | (buffer[i] & mask[i]));
    return 1;
  }
  PutRowMasked(buffer, y, 0, width_);
  return 1;
}

int CDIBitmap::GetRowRGB(uint8_t* buffer, int y) const {
  if (bitCount_ != 1 && bitCount_ != 8 && bitCount_ != 24) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || y < 0 || y >= height_) return 0;
  const uint8_t* row = RowPointer(y);
  if (bitCount_ == 24) {
    std::memcpy(buffer, row, static_cast<size_t>(width_) * 3);
    return 1;
  }
  const uint8_t* table = colorTable_;
  if (bitCount_ == 8) {
    for (int x = 0; x < width_; ++x) {
      const uint8_t* e = table + 4 * row[x];
      buffer[3 * x] = e[0];
      buffer[3 * x + 1] = e[1];
      buffer[3 * x + 2] = e[2];
    }
  } else {
    for (int x = 0; x < width_; ++x) {
      const uint8_t* e = table + 4 * GetBit(row, x);
      buffer[3 * x] = e[0];
      buffer[3 * x + 1] = e[1];
      buffer[3 * x + 2] = e[2];
    }
  }
  return 1;
}

int CDIBitmap::GetRowBytes(uint8_t* buffer, int y) const {
  if (bitCount_ != 1 && bitCount_ != 8) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || y < 0 || y >= height_) return 0;
  const uint8_t* row = RowPointer(y);
  if (bitCount_ == 8) {
    std::memcpy(buffer, row, static_cast<size_t>(width_));
  } else {
    for (int x = 0; x < width_; ++x) buffer[x] = static_cast<uint8_t>(GetBit(row, x));
  }
  return 1;
}

int CDIBitmap::GetRowReversed(uint8_t* buffer, int y) const {
  if (!ValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || y < 0 || y >= height_) return 0;
  const uint8_t* row = RowPointer(y);
  const int w = width_;
  switch (bitCount_) {
    case 1:
      std::memset(buffer, 0, static_cast<size_t>(GetRowBytes()));
      for (int x = 0; x < w; ++x)
        if (GetBit(row, w - 1 - x)) buffer[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
      break;
    case 8:
      for (int x = 0; x < w; ++x) buffer[x] = row[w - 1 - x];
      break;
    case 24:
      for (int x = 0; x < w; ++x) std::memcpy(buffer + 3 * x, row + 3 * (w - 1 - x), 3);
      break;
    case 32:
      for (int x = 0; x < w; ++x) std::memcpy(buffer + 4 * x, row + 4 * (w - 1 - x), 4);
      break;
  }
  return 1;
}

int CDIBitmap::GetRowPart(uint8_t* buffer, int y, int x, int count) const {
  if (!ValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || y < 0 || y >= height_ || count <= 0) return 0;
  // The count is cut at the right edge.
  if (int64_t{x} + count > width_) count = static_cast<int>(std::max<int64_t>(int64_t{width_} - x, 0));
  if (count <= 0) return 1;
  const uint8_t* row = RowPointer(y);
  // Pixels left of column 0 read as zero.
  const int lead = x < 0 ? std::min(-x, count) : 0;
  if (bitCount_ == 1) {
    std::memset(buffer, 0, static_cast<size_t>((count + 7) / 8));
    if (count > lead) CopyBits(buffer, lead, row, x + lead, count - lead);
    return 1;
  }
  const int bpp = bitCount_ / 8;
  std::memset(buffer, 0, static_cast<size_t>(lead) * bpp);
  if (count > lead)
    std::memcpy(buffer + static_cast<size_t>(lead) * bpp, row + static_cast<size_t>(x + lead) * bpp,
                static_cast<size_t>(count - lead) * bpp);
  return 1;
}

int CDIBitmap::GetRowPartClamped(uint8_t* buffer, int y, int x, int count) const {
  if (!ValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || count <= 0) return 0;
  y = std::clamp(y, 0, height_ - 1);
  const uint8_t* row = RowPointer(y);
  const int64_t end = int64_t{x} + count;
  const int lead = static_cast<int>(std::clamp<int64_t>(-int64_t{x}, 0, count));
  const int inside0 = std::max(x, 0);
  const int inside1 = static_cast<int>(std::min<int64_t>(end, width_));
  const int inside = std::max(inside1 - inside0, 0);
  const int trail = count - lead - inside;
  if (bitCount_ == 1) {
    // Pixels outside the row read as 0.
    std::memset(buffer, 0, static_cast<size_t>((count + 7) / 8));
    if (inside) CopyBits(buffer, lead, row, inside0, inside);
    return 1;
  }
  const int bpp = bitCount_ / 8;
  const uint8_t* first = row;
  const uint8_t* last = row + static_cast<size_t>(width_ - 1) * bpp;
  uint8_t* out = buffer;
  for (int i = 0; i < lead; ++i, out += bpp) std::memcpy(out, first, static_cast<size_t>(bpp));
  if (inside) {
    std::memcpy(out, row + static_cast<size_t>(inside0) * bpp, static_cast<size_t>(inside) * bpp);
    out += static_cast<size_t>(inside) * bpp;
  }
  for (int i = 0; i < trail; ++i, out += bpp) std::memcpy(out, last, static_cast<size_t>(bpp));
  return 1;
}

int CDIBitmap::PutRowPart(const uint8_t* buffer, int y, int x, int count) {
  if (!ValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || y < 0 || y >= height_ || count <= 0) return 0;
  // Skip the pixels outside the row.
  const int skip = x < 0 ? static_cast<int>(std::min<int64_t>(-int64_t{x}, count)) : 0;
  const int x0 = x + skip;
  const int x1 = static_cast<int>(std::min<int64_t>(int64_t{x} + count, width_));
  if (x0 >= x1) return 1;
  const int n = x1 - x0;
  if (WritesMasked()) {
    if (bitCount_ == 1) {
      const uint8_t* mask = MaskRowPointer(y);
      uint8_t* dst = RowPointer(y);
      for (int i = 0; i < n; ++i)
        if (GetBit(mask, x0 + i)) SetBit(dst, x0 + i, GetBit(buffer, skip + i));
    } else {
      PutRowMasked(buffer + static_cast<size_t>(skip) * (bitCount_ / 8), y, x0, n);
    }
    return 1;
  }
  uint8_t* dst = RowPointer(y);
  if (bitCount_ == 1) {
    CopyBits(dst, x0, buffer, skip, n);
  } else {
    const int bpp = bitCount_ / 8;
    std::memcpy(dst + static_cast<size_t>(x0) * bpp, buffer + static_cast<size_t>(skip) * bpp,
                static_cast<size_t>(n) * bpp);
  }
  return 1;
}

int CDIBitmap::GetColumn(uint8_t* buffer, int x) const {
  if (!ValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || x < 0 || x >= width_) return 0;
  if (bitCount_ == 1) {
    std::memset(buffer, 0, static_cast<size_t>((height_ + 7) / 8));
    for (int y = 0; y < height_; ++y)
      if (GetBit(RowPointer(y), x)) buffer[y >> 3] |= static_cast<uint8_t>(0x80u >> (y & 7));
    return 1;
  }
  const int bpp = bitCount_ / 8;
  for (int y = 0; y < height_; ++y)
    std::memcpy(buffer + static_cast<size_t>(y) * bpp, RowPointer(y) + static_cast<size_t>(x) * bpp,
                static_cast<size_t>(bpp));
  return 1;
}

int CDIBitmap::PutColumn(const uint8_t* buffer, int x) {
  if (!ValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || x < 0 || x >= width_) return 0;
  const bool masked = WritesMasked();
  const int bpp = bitCount_ / 8;
  for (int y = 0; y < height_; ++y) {
    if (masked && !GetBit(MaskRowPointer(y), x)) continue;
    if (bitCount_ == 1)
      SetBit(RowPointer(y), x, GetBit(buffer, y));
    else
      std::memcpy(RowPointer(y) + static_cast<size_t>(x) * bpp, buffer + static_cast<size_t>(y) * bpp,
                  static_cast<size_t>(bpp));
  }
  return 1;
}

int CDIBitmap::ReplicateRow(int firstRow, int sourceRow, int count) {
  if (!pixels_ || sourceRow < 0 || sourceRow >= height_) return 0;
  std::vector<uint8_t> row(static_cast<size_t>(stride_));
  std::memcpy(row.data(), RowPointer(sourceRow), row.size());
  for (int64_t r = std::max(firstRow, 0); r < std::min<int64_t>(int64_t{firstRow} + count, height_); ++r)
    PutRow(row.data(), static_cast<int>(r));
  return 1;
}

// ---------------------------------------------------------------- colour table

int CDIBitmap::GetPaletteSize() const { return bitCount_ == 1 ? 2 : bitCount_ == 8 ? 256 : 0; }

int CDIBitmap::SetColorTable(const uint8_t* entries, int count) {
  if (count < 1) return 0;
  const int n = std::min(count, colorTable_ ? GetPaletteSize() : 0);
  if (n > 0) std::memcpy(colorTable_, entries, static_cast<size_t>(n) * 4);
  return count;
}

int CDIBitmap::GetColorTable(uint8_t* entries, int count) const {
  if (count < 1) return 0;
  const int n = std::min(count, colorTable_ ? GetPaletteSize() : 0);
  if (n > 0) std::memcpy(entries, colorTable_, static_cast<size_t>(n) * 4);
  if (n < count) std::memset(entries + static_cast<size_t>(n) * 4, 0, static_cast<size_t>(count - n) * 4);
  return count;
}

platform::Palette CDIBitmap::CreateLogPalette() const {
  const int entries = GetPaletteSize();
  if (!entries || !colorTable_) return {};
  return platform::Palette::FromColorTable({colorTable_, static_cast<size_t>(entries) * 4}, entries);
}

int CDIBitmap::GetGrayRampType() const {
  if (!colorTable_ || GetPaletteSize() != 256) return 0;
  bool ramp = true;
  bool reversed = true;
  for (int i = 0; i < 256; ++i) {
    const uint8_t* e = colorTable_ + 4 * i;
    const int r = 255 - i;
    ramp = ramp && e[0] == i && e[1] == i && e[2] == i;
    reversed = reversed && e[0] == r && e[1] == r && e[2] == r;
  }
  return ramp ? 1 : reversed ? 2 : 0;
}

// ---------------------------------------------------------------- mask

void CDIBitmap::BuildMaskFromRegion() {
  const int mstride = MaskStride();
  maskBits_ = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(mstride), static_cast<size_t>(height_)));
  if (!maskBits_) return;
  for (const platform::Rect& r : region_.Rects()) {
    const int left = std::max(r.left, 0);
    const int right = std::min(r.right, width_);
    const int top = std::max(r.top, 0);
    const int bottom = std::min(r.bottom, height_);
    if (left >= right || top >= bottom) continue;
    for (int y = top; y < bottom; ++y) {
      uint8_t* row = maskBits_ + static_cast<size_t>(height_ - 1 - y) * mstride;
      const int firstByte = left >> 3;
      const int lastByte = (right - 1) >> 3;
      const auto head = static_cast<uint8_t>(0xFFu >> (left & 7));
      const auto tail = static_cast<uint8_t>(0xFFu << (7 - ((right - 1) & 7)));
      if (firstByte == lastByte) {
        row[firstByte] |= static_cast<uint8_t>(head & tail);
      } else {
        row[firstByte] |= head;
        std::memset(row + firstByte + 1, 0xFF, static_cast<size_t>(lastByte - firstByte - 1));
        row[lastByte] |= tail;
      }
    }
  }
}

void CDIBitmap::SetMaskRgn(const platform::Region* region) {
  ClearMask();
  region_ = region && region->IsValid() ? *region : platform::Region::Empty();
  flags_ |= BF_HAS_REGION;
  if (pixels_) {
    BuildMaskFromRegion();
    if (maskBits_) flags_ |= BF_HAS_MASK;
  }
  maskEnabled_ = 1;
}

void CDIBitmap::GetMaskRgn(platform::Region& out) const {
  if ((flags_ & BF_HAS_REGION) && region_.IsValid()) {
    out = region_;
    return;
  }
  if (maskBits_) {
    std::vector<platform::Rect> rects;
    for (int y = 0; y < height_; ++y) {
      const uint8_t* row = MaskRowPointer(y);
      int x = 0;
      while (x < width_) {
        while (x < width_ && !GetBit(row, x)) ++x;
        const int start = x;
        while (x < width_ && GetBit(row, x)) ++x;
        if (x > start) rects.push_back({start, y, x, y + 1});
      }
    }
    out = platform::Region::FromRects(rects);
    return;
  }
  out = platform::Region::FromRect(0, 0, width_, height_);
}

void CDIBitmap::ClearMask() {
  region_.Reset();
  std::free(maskBits_);
  maskBits_ = nullptr;
  flags_ &= ~(BF_HAS_REGION | BF_HAS_MASK);
}

int64_t CDIBitmap::GetBitmapMaskArea() const {
  if (!(flags_ & BF_HAS_REGION)) return int64_t{width_} * height_;
  if (!region_.IsValid()) {
    platform::ShowMessage("CDIBitmap::GetBitmapMaskArea : Invalid Mask handle");
    return 0;
  }
  return region_.Area();
}

int CDIBitmap::MakeMaskBitmap(CDIBitmap& target) const {
  if (!target.Create(width_, height_, 1, 1)) return 0;
  const int bytes = target.GetRowBytes();
  for (int y = 0; y < height_; ++y) {
    uint8_t* dst = target.RowPointer(y);
    if (maskBits_)
      std::memcpy(dst, MaskRowPointer(y), static_cast<size_t>(bytes));
    else
      std::memset(dst, 0xFF, static_cast<size_t>(bytes));
  }
  return 1;
}

// ---------------------------------------------------------------- transfer

namespace {

bool PackedDIBFail(const char* why) {
  platform::ShowMessage(std::string("FromPackedDIB: ") + why);
  return false;
}

}  // namespace

int CDIBitmap::FromPackedDIB(const uint8_t* block, size_t size) {
  if (!block || size < 12) return PackedDIBFail("the bitmap header is incomplete");
  const uint32_t headerSize = LoadLE32(block);
  int64_t width = 0;
  int64_t height = 0;
  int planes = 1;
  int bits = 0;
  uint32_t compression = 0;
  uint32_t colorsUsed = 0;
  int entryBytes = 4;
  if (headerSize == 12) {
    width = LoadLE16(block + 4);
    height = LoadLE16(block + 6);
    planes = static_cast<int>(LoadLE16(block + 8));
    bits = static_cast<int>(LoadLE16(block + 10));
    entryBytes = 3;
  } else if (headerSize >= 40 && headerSize <= 124) {
    if (size < headerSize) return PackedDIBFail("the bitmap header is incomplete");
    width = static_cast<int32_t>(LoadLE32(block + 4));
    height = static_cast<int32_t>(LoadLE32(block + 8));
    planes = static_cast<int>(LoadLE16(block + 12));
    bits = static_cast<int>(LoadLE16(block + 14));
    compression = LoadLE32(block + 16);
    colorsUsed = LoadLE32(block + 32);
  } else {
    return PackedDIBFail("unknown bitmap header size");
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  const int depth = planes * bits;
  if (width <= 0 || height <= 0 || width > 0x7FFFFFFF / 32 || height > 0x7FFFFFFF)
    return PackedDIBFail("invalid bitmap size");
  const bool rle8 = compression == 1 && depth == 8;
  const bool rle4 = compression == 2 && depth == 4;
  const bool bitfields = compression == 3 && (depth == 16 || depth == 32);
  if (compression != 0 && !rle8 && !rle4 && !bitfields) return PackedDIBFail("unsupported compression");
  if (topDown && (rle8 || rle4)) return PackedDIBFail("a compressed bitmap cannot be top-down");
  if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32)
    return PackedDIBFail("unsupported bit count");
  if (DIBStride(width, depth <= 8 ? 8 : depth == 32 ? 32 : 24) * height > kMaxImportBytes)
    return PackedDIBFail("invalid bitmap size");

  // Colour table (and the three bit-field masks that follow a 40-byte header).
  size_t offset = headerSize;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (depth == 32) {
    masks[0] = 0xFF0000;
    masks[1] = 0xFF00;
    masks[2] = 0xFF;
  }
  if (bitfields) {
    const size_t maskAt = headerSize == 40 ? offset : 40;
    if (size < maskAt + 12) return PackedDIBFail("the bit-field masks are missing");
    for (int i = 0; i < 3; ++i) masks[i] = LoadLE32(block + maskAt + 4 * i);
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

int CDIBitmap::FromDDB(const Raster& raster, const platform::Palette* palette) {
  const int depth = raster.bitsPerPixel;
  if (raster.width <= 0 || raster.height <= 0) return 0;
  if (raster.stride < DIBStride(raster.width, depth) ||
      raster.pixels.size() < static_cast<size_t>(raster.stride) * static_cast<size_t>(raster.height))
    return 0;
  platform::Palette own;
  if (!palette) {
    own = platform::Palette::FromColorTable(raster.paletteBGRX, static_cast<int>(raster.paletteBGRX.size() / 4));
    palette = &own;
  }
  CDIBitmap image;
  const int w = raster.width;
  const int h = raster.height;
  if (depth == 1 || depth == 4 || depth == 8) {
    const bool gray = depth != 1 && *palette == platform::Palette::GrayRamp();
    if (!image.Create(w, h, depth == 1 ? 1 : 8, gray ? 1 : 2)) return 0;
    if (!gray) {
      const int n = std::min(palette->Size(), image.GetPaletteSize());
      for (int i = 0; i < n; ++i) {
        const platform::PaletteEntry& e = palette->Entries()[static_cast<size_t>(i)];
        uint8_t* t = image.colorTable_ + 4 * i;
        t[0] = e.blue;
        t[1] = e.green;
        t[2] = e.red;
        t[3] = 0;
      }
    }
    for (int y = 0; y < h; ++y) {
      const uint8_t* src = raster.Row(y);
      uint8_t* dst = image.RowPointer(y);
      if (depth == 1)
        std::memcpy(dst, src, static_cast<size_t>((w + 7) / 8));
      else if (depth == 8)
        std::memcpy(dst, src, static_cast<size_t>(w));
      else
        for (int x = 0; x < w; ++x) dst[x] = static_cast<uint8_t>((x & 1) ? src[x >> 1] & 0x0F : src[x >> 1] >> 4);
    }
  } else if (depth == 24 || depth == 32) {
    if (!image.Create(w, h, 24, 0)) return 0;
    const int bpp = depth / 8;
    for (int y = 0; y < h; ++y) {
      const uint8_t* src = raster.Row(y);
      uint8_t* dst = image.RowPointer(y);
      if (bpp == 3) {
        std::memcpy(dst, src, static_cast<size_t>(w) * 3);
      } else {
        for (int x = 0; x < w; ++x) std::memcpy(dst + 3 * x, src + 4 * x, 3);
      }
    }
  } else {
    return 0;
  }
  Attach(image);
  return 1;
}

int CDIBitmap::Draw(Raster& target, const platform::Rect* sourceRect, const platform::Rect* destRect) const {
  if (!pixels_ || target.bitsPerPixel != 24) return 0;
  const platform::Rect src = sourceRect ? *sourceRect : platform::Rect{0, 0, width_, height_};
  const platform::Rect dst = destRect ? *destRect : src;
  if (src.IsEmpty() || dst.IsEmpty()) return 1;

  // Source columns and rows covered by each destination pixel: an area
  // average when shrinking, the nearest pixel when enlarging.
  const int dw = dst.Width();
  const int dh = dst.Height();
  auto span = [](int64_t i, int64_t d, int64_t s, int64_t origin) {
    int64_t a = origin + i * s / d;
    int64_t b = origin + ((i + 1) * s + d - 1) / d;
    if (b <= a) b = a + 1;
    return std::pair<int64_t, int64_t>(a, b);
  };
  std::vector<uint8_t> rgbRow(static_cast<size_t>(width_) * 3);
  std::vector<uint32_t> sums;
  std::vector<int> cols0(static_cast<size_t>(dw)), cols1(static_cast<size_t>(dw));
  for (int i = 0; i < dw; ++i) {
    auto [a, b] = span(i, dw, src.Width(), src.left);
    cols0[static_cast<size_t>(i)] = static_cast<int>(std::clamp<int64_t>(a, 0, width_ - 1));
    cols1[static_cast<size_t>(i)] = static_cast<int>(std::clamp<int64_t>(b, 1, width_));
  }
  auto loadRow = [&](int y) {
    if (bitCount_ == 32) {
      GL_CMYKRowToRGB(RowPointer(y), rgbRow.data(), width_);
    } else {
      GetRowRGB(rgbRow.data(), y);
    }
  };
  sums.assign(static_cast<size_t>(dw) * 4, 0);
  for (int j = 0; j < dh; ++j) {
    const int ty = dst.top + j;
    if (ty < 0 || ty >= target.height) continue;
    auto [ya, yb] = span(j, dh, src.Height(), src.top);
    const int y0 = static_cast<int>(std::clamp<int64_t>(ya, 0, height_ - 1));
    const int y1 = static_cast<int>(std::clamp<int64_t>(yb, 1, height_));
    std::fill(sums.begin(), sums.end(), 0);
    for (int y = y0; y < std::max(y1, y0 + 1); ++y) {
      loadRow(y);
      for (int i = 0; i < dw; ++i) {
        uint32_t* s = &sums[static_cast<size_t>(i) * 4];
        for (int x = cols0[static_cast<size_t>(i)]; x < std::max(cols1[static_cast<size_t>(i)], cols0[static_cast<size_t>(i)] + 1); ++x) {
          s[0] += rgbRow[3 * x];
          s[1] += rgbRow[3 * x + 1];
          s[2] += rgbRow[3 * x + 2];
          s[3] += 1;
        }
      }
    }
    uint8_t* out = target.Row(ty);
    for (int i = 0; i < dw; ++i) {
      const int tx = dst.left + i;
      if (tx < 0 || tx >= target.width) continue;
      const uint32_t* s = &sums[static_cast<size_t>(i) * 4];
      for (int c = 0; c < 3; ++c) out[3 * tx + c] = static_cast<uint8_t>((s[c] + s[3] / 2) / s[3]);
    }
  }
  return 1;
}
