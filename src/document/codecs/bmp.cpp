#include "document/codecs/bmp.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <vector>

#include "image/dib_bitfields.h"
#include "image/dib_header.h"
#include "image/dib_rle.h"
#include "image/dibitmap.h"
#include "image/result_codes.h"
#include "platform/byte_order.h"
#include "platform/messages.h"

namespace {

constexpr uint16_t kBitmapType = 0x4D42;  // "BM"
constexpr int kFileHeaderSize = 14;
constexpr int kWindowsHeaderSize = 40;
constexpr int kOs2v1HeaderSize = 12;
constexpr int kOs2v2HeaderSize = 64;
constexpr int kMaxHeaderSize = 124;
// Largest pixel block the reader allocates.
constexpr int64_t kMaxPixelBytes = int64_t{1} << 30;
// Pixel data is read and written in bands of about this many bytes.
constexpr int64_t kBandBytes = int64_t{1} << 20;

enum class HeaderKind { kOs2v1, kWindows, kOs2v2 };

using platform::LoadLE16;
using platform::LoadLE32;
using platform::StoreLE16;
using platform::StoreLE32;

bool KnownHeaderSize(uint32_t size) {
  switch (size) {
    case 12: case 40: case 52: case 56: case 64: case 108: case 124:
      return true;
    default:
      return false;
  }
}

// The file header's pixel offset beside the information header, and which
// of the header variants the file has.
struct BmpHeader : DIBInfoHeader {
  uint32_t pixelOffset = 0;
  HeaderKind kind = HeaderKind::kWindows;
};

// The read-error text of the header variant, as "BMPREAD: Error reading BMP 24 uncompressed\n".
std::string ReadErrorText(const BmpHeader& h) {
  switch (h.kind) {
    case HeaderKind::kOs2v1:
      return platform::FormatText("BMPREAD: Error reading BMP OS2 1.0 %d  uncompressed\n", h.bitCount);
    case HeaderKind::kOs2v2:
      return platform::FormatText("BMPREAD: Error reading BMP OS2 2.0  %d uncompressed\n", h.bitCount);
    case HeaderKind::kWindows:
      break;
  }
  return platform::FormatText("BMPREAD: Error reading BMP %d uncompressed\n", h.bitCount);
}

// Blue, green, red, unused to blue, green, red.
void BgrxRow(const uint8_t* src, uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x, src += 4, dst += 3) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
  }
}

// Packed 2- or 4-bit indices, leftmost pixel in the high bits, to one byte each.
template <int Bits>
void UnpackIndexRow(const uint8_t* src, uint8_t* dst, int width) {
  constexpr int kPerByte = 8 / Bits;
  constexpr uint8_t kMask = (1u << Bits) - 1;
  for (int x = 0; x < width; ++x) {
    const int shift = 8 - Bits * (x % kPerByte + 1);
    dst[x] = (src[x / kPerByte] >> shift) & kMask;
  }
}

enum class RowKind { kCopy, kUnpack2, kUnpack4, kBitFields16, kBitFields32, kBgrx };

class BmpReader {
 public:
  BmpReader(std::FILE* file, CDIBitmap& image) : file_(file), image_(image) {}
  int Read();

 private:
  bool ReadHeaders();
  bool Validate();
  bool ReadColorTable();
  bool ReadUncompressed(CDIBitmap& out);
  void ReadRle(CDIBitmap& out);
  bool ReadAt(int64_t offset, void* buffer, size_t size);
  int ImageRow(int64_t fileRow) const {
    return static_cast<int>(topDown_ ? fileRow : rows_ - 1 - fileRow);
  }

  std::FILE* file_;
  CDIBitmap& image_;
  int64_t base_ = 0;      // stream position of the file header
  int64_t fileSize_ = 0;  // bytes from the file header to the end
  BmpHeader h_;
  int64_t rows_ = 0;
  bool topDown_ = false;
  bool cmyk_ = false;
  int outBits_ = 0;
  std::vector<uint8_t> table_ = std::vector<uint8_t>(256 * 4, 0);
};

bool BmpReader::ReadAt(int64_t offset, void* buffer, size_t size) {
  if (std::fseek(file_, static_cast<long>(base_ + offset), SEEK_SET) != 0) return false;
  return std::fread(buffer, 1, size, file_) == size;
}

bool BmpReader::ReadHeaders() {
  base_ = std::ftell(file_);
  if (base_ < 0 || std::fseek(file_, 0, SEEK_END) != 0) return false;
  fileSize_ = std::ftell(file_) - base_;
  if (fileSize_ < 0) return false;

  uint8_t b[kFileHeaderSize + kMaxHeaderSize + 12];
  if (!ReadAt(0, b, kFileHeaderSize + 4)) return false;
  if (LoadLE16(b) != kBitmapType) return false;
  h_.pixelOffset = LoadLE32(b + 10);
  const uint32_t headerSize = LoadLE32(b + 14);
  if (!KnownHeaderSize(headerSize)) return false;
  if (std::fread(b + 18, 1, headerSize - 4, file_) != headerSize - 4) return false;

  const uint8_t* ih = b + kFileHeaderSize;
  DIBInfoHeader& info = h_;
  info = ReadDIBInfoHeader({ih, headerSize});
  h_.kind = headerSize == kOs2v1HeaderSize   ? HeaderKind::kOs2v1
            : headerSize == kOs2v2HeaderSize ? HeaderKind::kOs2v2
                                             : HeaderKind::kWindows;
  if (h_.kind == HeaderKind::kWindows && h_.compression == kBiBitFields && headerSize == kWindowsHeaderSize) {
    // The masks follow the header.
    if (std::fread(b + 54, 1, 12, file_) != 12) return false;
    info = ReadDIBInfoHeader({ih, headerSize + 12});
  }
  return true;
}

bool BmpReader::Validate() {
  using platform::FormatText;
  using platform::ShowMessage;
  const int bits = h_.bitCount;
  const auto unsupportedCompression = [&] {
    ShowMessage(FormatText("BMPREAD: Unsupported compression %u with %d bits per pixel\n", h_.compression, bits));
    return false;
  };
  // OS/2 1.x files are never compressed. Huffman (3) and RLE24 (4) of the
  // OS/2 2.x header, JPEG (4) and PNG (5) payloads and the rest are not
  // supported.
  if (h_.compression > kBiBitFields || (h_.compression == kBiBitFields && h_.kind != HeaderKind::kWindows))
    return unsupportedCompression();
  switch (bits) {
    case 1: case 2: case 4: case 8: case 16: case 24: case 32:
      break;
    default:
      ShowMessage(FormatText("BMPREAD: Unsupported bit count %d\n", bits));
      return false;
  }
  if ((h_.compression == kBiRle8 && bits != 8) || (h_.compression == kBiRle4 && bits != 4) ||
      (h_.compression == kBiBitFields && bits != 16 && bits != 32))
    return unsupportedCompression();

  rows_ = h_.height < 0 ? -h_.height : h_.height;
  topDown_ = h_.height < 0;
  if (h_.width <= 0 || rows_ <= 0) {
    ShowMessage(FormatText("BMPREAD: Invalid image size %lld x %lld\n", static_cast<long long>(h_.width),
                           static_cast<long long>(h_.height)));
    return false;
  }

  // Our own writer stores CMYK images as 32-bit files whose image size and
  // resolutions are all 0; other writers fill those fields in.
  cmyk_ = bits == 32 && h_.size == kWindowsHeaderSize && h_.compression == kBiRgb && h_.imageSize == 0 &&
          h_.xPelsPerMeter == 0 && h_.yPelsPerMeter == 0;
  outBits_ = bits == 1 ? 1 : bits <= 8 ? 8 : (cmyk_ ? 32 : 24);
  if (DIBStride(h_.width, outBits_) * rows_ > kMaxPixelBytes) {
    ShowMessage(FormatText("BMPREAD: Image too large (%lld x %lld)\n", static_cast<long long>(h_.width),
                           static_cast<long long>(rows_)));
    return false;
  }
  return true;
}

bool BmpReader::ReadColorTable() {
  if (h_.bitCount > 8) return true;
  const bool os2v1 = h_.kind == HeaderKind::kOs2v1;
  const int64_t entrySize = os2v1 ? 3 : 4;
  const int64_t nominal = int64_t{1} << h_.bitCount;
  int64_t count = (!os2v1 && h_.colorsUsed > 0 && h_.colorsUsed < nominal) ? h_.colorsUsed : nominal;
  const int64_t start = kFileHeaderSize + h_.size;
  // A table cut short by the pixel data holds only the entries before it.
  if (h_.pixelOffset >= start) count = std::min(count, (h_.pixelOffset - start) / entrySize);
  if (start + count * entrySize > fileSize_) {
    platform::ShowMessage("BMPREAD: Colour table past the end of the file\n");
    return false;
  }
  uint8_t raw[256 * 4];
  if (count > 0 && !ReadAt(start, raw, static_cast<size_t>(count * entrySize))) {
    platform::ShowMessage("BMPREAD: Colour table past the end of the file\n");
    return false;
  }
  for (int64_t i = 0; i < count; ++i) {
    std::memcpy(&table_[i * 4], &raw[i * entrySize], 3);
    table_[i * 4 + 3] = 0;
  }
  return true;
}

bool BmpReader::ReadUncompressed(CDIBitmap& out) {
  const int width = static_cast<int>(h_.width);
  const int64_t fileStride = DIBStride(h_.width, h_.bitCount);
  const int64_t rowBytes = (h_.width * h_.bitCount + 7) / 8;

  RowKind kind = RowKind::kCopy;
  DIBBitFields fields;
  if (h_.bitCount == 2) kind = RowKind::kUnpack2;
  if (h_.bitCount == 4) kind = RowKind::kUnpack4;
  if (h_.bitCount == 16 || (h_.bitCount == 32 && !cmyk_)) {
    std::array<uint32_t, 3> masks = h_.masks;
    if (h_.compression != kBiBitFields) {
      masks = h_.bitCount == 16 ? std::array<uint32_t, 3>{0x7C00, 0x03E0, 0x001F}
                                : std::array<uint32_t, 3>{0xFF0000, 0x00FF00, 0x0000FF};
    }
    fields = {MakeDIBChannel(masks[0]), MakeDIBChannel(masks[1]), MakeDIBChannel(masks[2])};
    if (h_.bitCount == 16)
      kind = RowKind::kBitFields16;
    else if (masks == std::array<uint32_t, 3>{0xFF0000, 0x00FF00, 0x0000FF})
      kind = RowKind::kBgrx;
    else
      kind = RowKind::kBitFields32;
  }

  // The last row may lack its padding; anything shorter is a damaged file.
  if (h_.pixelOffset + fileStride * (rows_ - 1) + rowBytes > fileSize_) {
    platform::ShowMessage(ReadErrorText(h_));
    return false;
  }
  if (std::fseek(file_, static_cast<long>(base_ + h_.pixelOffset), SEEK_SET) != 0) {
    platform::ShowMessage(ReadErrorText(h_));
    return false;
  }

  const int64_t bandRows = std::clamp<int64_t>(kBandBytes / fileStride, 1, rows_);
  std::vector<uint8_t> band(static_cast<size_t>(bandRows * fileStride));
  std::vector<uint8_t> converted(kind == RowKind::kCopy ? 0 : static_cast<size_t>(out.GetStride()));
  for (int64_t first = 0; first < rows_; first += bandRows) {
    const int64_t n = std::min(bandRows, rows_ - first);
    const size_t want = static_cast<size_t>(n * fileStride);
    const size_t got = std::fread(band.data(), 1, want, file_);
    if (got < want) {
      const bool lastBand = first + n == rows_;
      if (!lastBand || got + static_cast<size_t>(fileStride - rowBytes) < want) {
        platform::ShowMessage(ReadErrorText(h_));
        return false;
      }
      std::memset(band.data() + got, 0, want - got);
    }
    for (int64_t r = 0; r < n; ++r) {
      const uint8_t* src = band.data() + r * fileStride;
      const int y = ImageRow(first + r);
      switch (kind) {
        case RowKind::kCopy:
          out.PutRow(src, y);
          continue;
        case RowKind::kUnpack2: UnpackIndexRow<2>(src, converted.data(), width); break;
        case RowKind::kUnpack4: UnpackIndexRow<4>(src, converted.data(), width); break;
        case RowKind::kBitFields16: DIBBitFieldRow<2>(src, converted.data(), width, fields); break;
        case RowKind::kBitFields32: DIBBitFieldRow<4>(src, converted.data(), width, fields); break;
        case RowKind::kBgrx: BgrxRow(src, converted.data(), width); break;
      }
      out.PutRow(converted.data(), y);
    }
  }
  return true;
}

void BmpReader::ReadRle(CDIBitmap& out) {
  // Everything from the pixel offset to the end is run-length data; a short
  // read is treated like data that ends early (the rest stays index 0).
  std::vector<uint8_t> data(static_cast<size_t>(fileSize_ - h_.pixelOffset));
  size_t got = 0;
  if (!data.empty() && std::fseek(file_, static_cast<long>(base_ + h_.pixelOffset), SEEK_SET) == 0)
    got = std::fread(data.data(), 1, data.size(), file_);
  CDIBRleDecoder decoder(std::span<const uint8_t>(data.data(), got), static_cast<int>(h_.width),
                         h_.compression == kBiRle4);
  std::vector<uint8_t> row(static_cast<size_t>(h_.width));
  // The new bitmap is all index 0 already: empty rows (skipped, or after the
  // end of the data) are not written, and decoding stops once nothing more
  // can come, so a tiny file declaring a huge image costs little.
  for (int64_t i = 0; i < rows_ && !decoder.Finished(); ++i) {
    decoder.NextRow(row.data());
    if (std::any_of(row.begin(), row.end(), [](uint8_t v) { return v != 0; })) out.PutRow(row.data(), ImageRow(i));
  }
}

int BmpReader::Read() {
  if (!ReadHeaders()) return 0;
  if (!Validate() || !ReadColorTable()) return 0;
  if (h_.pixelOffset > fileSize_) {
    platform::ShowMessage("BMPREAD: Pixel data offset past the end of the file\n");
    return 0;
  }

  // Decode into a bitmap of our own so that a failure leaves the caller's
  // image untouched.
  CDIBitmap decoded;
  const int options = outBits_ <= 8 ? 2 : (cmyk_ ? 3 : 0);
  if (!decoded.Create(static_cast<int>(h_.width), static_cast<int>(rows_), outBits_, options)) {
    platform::ShowMessage(platform::FormatText("BMPREAD: Not enough memory for a %lld x %lld image\n",
                                               static_cast<long long>(h_.width), static_cast<long long>(rows_)));
    return 0;
  }
  if (outBits_ <= 8) decoded.SetColorTable(table_.data(), decoded.GetPaletteSize());

  if (h_.compression == kBiRle8 || h_.compression == kBiRle4) {
    ReadRle(decoded);
  } else if (!ReadUncompressed(decoded)) {
    decoded.Free();
    return 0;
  }
  image_.Attach(decoded);
  return 1;
}

}  // namespace

int BMPReadStream(std::FILE* file, CDIBitmap& image) {
  if (!file) return 0;
  try {
    return BmpReader(file, image).Read();
  } catch (const std::bad_alloc&) {
    platform::ShowMessage("BMPREAD: Not enough memory\n");
    return 0;
  }
}

int BMPRead(const std::string& path, CDIBitmap& image) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return 0;
  const int result = BMPReadStream(file, image);
  std::fclose(file);
  return result;
}

int BMPWriteStream(const CDIBitmap& image, const BMPByteSink& sink) {
  if (!image.IsAllocated()) return kResultInvalidBitmap;
  const int width = image.GetWidth();
  const int height = image.GetHeight();
  const int64_t stride = image.GetStride();
  const int entries = image.GetPaletteSize();
  const uint32_t offset = kFileHeaderSize + kWindowsHeaderSize + 4 * entries;
  const uint64_t total = offset + static_cast<uint64_t>(stride) * static_cast<uint64_t>(height);
  if (total > UINT32_MAX) return kResultInvalidSize;

  std::vector<uint8_t> head(offset, 0);
  uint8_t* p = head.data();
  StoreLE16(p + 0, kBitmapType);
  StoreLE32(p + 2, static_cast<uint32_t>(total));
  StoreLE32(p + 10, offset);
  uint8_t* ih = p + kFileHeaderSize;
  StoreLE32(ih + 0, kWindowsHeaderSize);
  StoreLE32(ih + 4, static_cast<uint32_t>(width));
  StoreLE32(ih + 8, static_cast<uint32_t>(height));
  StoreLE16(ih + 12, 1);
  StoreLE16(ih + 14, static_cast<uint32_t>(image.GetBitCount()));
  // Compression, image size, resolutions, colours used and important stay 0.
  if (entries > 0) image.GetColorTable(ih + kWindowsHeaderSize, entries);
  if (!sink(head)) return kResultWriteError;

  // Rows bottom-up, whole strides, gathered into bands for fewer writes.
  const int bandRows = static_cast<int>(std::clamp<int64_t>(kBandBytes / stride, 1, height));
  std::vector<uint8_t> band(static_cast<size_t>(bandRows * stride), 0);
  for (int y = height - 1; y >= 0;) {
    int n = 0;
    for (; n < bandRows && y >= 0; ++n, --y) image.GetRow(band.data() + n * stride, y);
    if (!sink({band.data(), static_cast<size_t>(n * stride)})) return kResultWriteError;
  }
  return kResultOk;
}

int BMPWrite(const std::string& path, const CDIBitmap& image) {
  if (!image.IsAllocated()) return 0;
  // The file is created with the first bytes, so an image refused for its
  // size leaves no file behind.
  std::FILE* file = nullptr;
  bool created = true;
  const int result = BMPWriteStream(image, [&](std::span<const uint8_t> bytes) {
    if (!file) file = std::fopen(path.c_str(), "wb");
    if (!file) {
      created = false;
      return false;
    }
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  });
  bool ok = result == kResultOk;
  if (file && std::fclose(file) != 0) ok = false;
  if (result == kResultInvalidSize) {
    platform::ShowMessage(platform::FormatText("BMPWRITE: Image too large for BMP (%d x %d)\n", image.GetWidth(),
                                               image.GetHeight()));
    return 0;
  }
  if (!created) return 0;
  if (!ok) {
    platform::ShowMessage("fwrite error\nGiving up");
    return 0;
  }
  return 1;
}
