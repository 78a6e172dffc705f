#include "document/codecs/tga.h"

#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include "image/color_convert.h"
#include "image/dibitmap.h"
#include "platform/byte_order.h"
#include "platform/messages.h"

namespace {

constexpr int kHeaderSize = 18;
// Largest pixel block the reader allocates.
constexpr int64_t kMaxPixelBytes = int64_t{1} << 30;
// Bytes the reader keeps from the file at a time, and the writer's chunk.
constexpr size_t kBufferBytes = size_t{1} << 18;
// Pieces handed to one system write.
constexpr size_t kMaxPieces = IOV_MAX;

constexpr char kHeaderError[] = "TGACODE: Error reading header information!\n";
constexpr char kDataError[] = "TGACODE: Error reading image data!\n";
constexpr char kWriteError[] = "TGACODE: Error writing header information!\n";

enum ImageType : int { kMapped = 1, kTrueColor = 2, kGray = 3, kRle = 8 };
constexpr uint8_t kTopFirst = 0x20;
constexpr uint8_t kRightToLeft = 0x10;

using platform::LoadLE16;
using platform::StoreLE16;

struct TgaHeader {
  int idLength = 0;
  int mapType = 0;
  int imageType = 0;
  int mapFirst = 0;
  int mapLength = 0;
  int mapEntryBits = 0;
  int width = 0;
  int height = 0;
  int depth = 0;
  int descriptor = 0;
};

// 5-5-5 with blue in the low bits to blue, green, red, each channel times 8.
inline void Bgr555(uint16_t v, uint8_t* bgr) {
  bgr[0] = static_cast<uint8_t>((v & 0x1F) << 3);
  bgr[1] = static_cast<uint8_t>(((v >> 5) & 0x1F) << 3);
  bgr[2] = static_cast<uint8_t>(((v >> 10) & 0x1F) << 3);
}

// How one file row becomes one image row.
enum class RowKind {
  kCopy,        // same bytes (8-bit gray or index without offset, 24-bit, 1-bit)
  kIndex8,      // 8-bit index minus the first map entry
  kIndex16,     // 16-bit index minus the first map entry, kept to 8 bits
  kMap8,        // 8-bit index through a long map to blue, green, red
  kMap16,       // 16-bit index through a long map
  kBgra,        // blue, green, red, alpha to blue, green, red
  kBgr555,      // 5-5-5 to blue, green, red
  kGrayAlpha,   // gray, alpha to gray
};

// Reads the file through one buffer: whole blocks for raw rows, single
// bytes for packet headers.
class ByteSource {
 public:
  explicit ByteSource(std::FILE* file) : file_(file), buffer_(kBufferBytes) {}

  bool Read(uint8_t* dst, size_t n) {
    while (n > 0) {
      if (pos_ == end_ && !Fill()) return false;
      const size_t take = std::min(n, end_ - pos_);
      std::memcpy(dst, buffer_.data() + pos_, take);
      pos_ += take, dst += take, n -= take;
    }
    return true;
  }
  int Get() {
    if (pos_ == end_ && !Fill()) return -1;
    return buffer_[pos_++];
  }
  // The bytes buffered and not yet taken, for decoding in place; Skip takes
  // n of them.
  const uint8_t* Window(size_t& available) const {
    available = end_ - pos_;
    return buffer_.data() + pos_;
  }
  void Skip(size_t n) { pos_ += n; }

 private:
  bool Fill() {
    pos_ = 0;
    end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    return end_ > 0;
  }

  std::FILE* file_;
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
};

// Run-length decoder over units of `unit` bytes (a pixel, or for 1-bit
// rows a byte of 8 pixels). A packet left unfinished at the end of a row
// carries on into the next.
class RleDecoder {
 public:
  RleDecoder(ByteSource& source, int unit) : source_(source), unit_(unit) {}

  // Fills `units` units of dst; false when the data ends first.
  bool Row(uint8_t* dst, int64_t units) {
    int64_t x = 0;
    while (x < units) {
      if (left_ == 0) x = WholePackets(dst, x, units);
      if (x == units) break;
      if (left_ == 0) {
        const int h = source_.Get();
        if (h < 0) return false;
        left_ = (h & 0x7F) + 1;
        run_ = (h & 0x80) != 0;
        if (run_ && !source_.Read(pixel_.data(), static_cast<size_t>(unit_))) return false;
      }
      const int64_t n = std::min<int64_t>(left_, units - x);
      uint8_t* out = dst + x * unit_;
      if (!run_) {
        if (!source_.Read(out, static_cast<size_t>(n * unit_))) return false;
      } else if (unit_ == 1) {
        std::memset(out, pixel_[0], static_cast<size_t>(n));
      } else {
        for (int64_t i = 0; i < n; ++i, out += unit_) std::memcpy(out, pixel_.data(), static_cast<size_t>(unit_));
      }
      x += n;
      left_ -= static_cast<int>(n);
    }
    return true;
  }

 private:
  // Decodes packets straight from the buffered bytes while a whole packet
  // (header and up to 128 units) is sure to be there: photographs written
  // by run-length coders are mostly packets of one or a few pixels, whose
  // cost is their header. A packet that runs past the row end is left to
  // the general loop of Row with its remaining units. Returns the new x.
  int64_t WholePackets(uint8_t* dst, int64_t x, int64_t units) {
    size_t available = 0;
    const uint8_t* p = source_.Window(available);
    const size_t unit = static_cast<size_t>(unit_);
    const size_t reach = 1 + 128 * unit;
    size_t used = 0;
    while (x < units && available - used >= reach) {
      const int h = p[used];
      const int64_t count = (h & 0x7F) + 1;
      if (count > units - x) break;  // crosses the row end
      uint8_t* out = dst + x * unit_;
      const uint8_t* data = p + used + 1;
      if (h & 0x80) {
        if (unit == 1)
          std::memset(out, data[0], static_cast<size_t>(count));
        else
          for (int64_t i = 0; i < count; ++i, out += unit) std::memcpy(out, data, unit);
        used += 1 + unit;
      } else {
        const size_t bytes = static_cast<size_t>(count) * unit;
        if (bytes <= 4)
          for (size_t i = 0; i < bytes; ++i) out[i] = data[i];
        else
          std::memcpy(out, data, bytes);
        used += 1 + bytes;
      }
      x += count;
    }
    source_.Skip(used);
    return x;
  }

  ByteSource& source_;
  int unit_;
  int left_ = 0;  // units still to come from the current packet
  bool run_ = false;
  std::array<uint8_t, 4> pixel_{};
};

template <RowKind Kind>
void ConvertRow(const uint8_t* src, uint8_t* dst, int width, int first, const uint8_t* lookup) {
  if constexpr (Kind == RowKind::kIndex8) {
    for (int x = 0; x < width; ++x) dst[x] = static_cast<uint8_t>(src[x] - first);
  } else if constexpr (Kind == RowKind::kIndex16) {
    for (int x = 0; x < width; ++x) dst[x] = static_cast<uint8_t>(LoadLE16(src + 2 * x) - first);
  } else if constexpr (Kind == RowKind::kMap8) {
    for (int x = 0; x < width; ++x, dst += 3) std::memcpy(dst, lookup + 3 * src[x], 3);
  } else if constexpr (Kind == RowKind::kMap16) {
    for (int x = 0; x < width; ++x, dst += 3) std::memcpy(dst, lookup + 3 * LoadLE16(src + 2 * x), 3);
  } else if constexpr (Kind == RowKind::kBgra) {
    for (int x = 0; x < width; ++x, src += 4, dst += 3) {
      dst[0] = src[0];
      dst[1] = src[1];
      dst[2] = src[2];
    }
  } else if constexpr (Kind == RowKind::kBgr555) {
    for (int x = 0; x < width; ++x, dst += 3) Bgr555(LoadLE16(src + 2 * x), dst);
  } else if constexpr (Kind == RowKind::kGrayAlpha) {
    for (int x = 0; x < width; ++x) dst[x] = src[2 * x];
  }
}

// Reverses the pixel order of a row stored right to left.
void MirrorRow(uint8_t* row, int width, int bits) {
  if (bits == 8) {
    std::reverse(row, row + width);
  } else if (bits == 24) {
    for (int a = 0, b = width - 1; a < b; ++a, --b) std::swap_ranges(row + 3 * a, row + 3 * a + 3, row + 3 * b);
  } else {
    std::vector<uint8_t> bitsCopy(row, row + (width + 7) / 8);
    std::memset(row, 0, bitsCopy.size());
    for (int x = 0; x < width; ++x) {
      const int from = width - 1 - x;
      if (bitsCopy[from / 8] & (0x80 >> (from % 8))) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
  }
}

class TgaReader {
 public:
  TgaReader(std::FILE* file, CDIBitmap& image) : file_(file), image_(image) {}
  int Read();

 private:
  bool ReadHeader();
  bool Validate();
  void BuildColors();
  bool Decode(CDIBitmap& out);

  std::FILE* file_;
  CDIBitmap& image_;
  TgaHeader h_;
  int64_t dataStart_ = 0;
  int64_t dataBytes_ = 0;  // bytes from the pixel data to the end of the file
  std::vector<uint8_t> map_;  // raw colour map
  int base_ = 0;              // image type without the run-length bit
  bool rle_ = false;
  int unit_ = 0;              // bytes per stored pixel (1-bit: per 8 pixels)
  int64_t rowUnits_ = 0;      // units per file row
  int outBits_ = 0;
  int outOptions_ = 0;
  bool paletteOut_ = false;
  RowKind kind_ = RowKind::kCopy;
  std::vector<uint8_t> table_;   // 256 blue, green, red, 0 entries for a palette image
  std::vector<uint8_t> lookup_;  // stored index to blue, green, red for a long map
};

bool TgaReader::ReadHeader() {
  uint8_t b[kHeaderSize];
  if (std::fread(b, 1, kHeaderSize, file_) != kHeaderSize) return false;
  h_.idLength = b[0];
  h_.mapType = b[1];
  h_.imageType = b[2];
  h_.mapFirst = LoadLE16(b + 3);
  h_.mapLength = LoadLE16(b + 5);
  h_.mapEntryBits = b[7];
  h_.width = LoadLE16(b + 12);
  h_.height = LoadLE16(b + 14);
  h_.depth = b[16];
  h_.descriptor = b[17];
  uint8_t id[255];
  if (h_.idLength > 0 && std::fread(id, 1, static_cast<size_t>(h_.idLength), file_) != static_cast<size_t>(h_.idLength))
    return false;
  if (h_.mapType != 0) {
    map_.resize(static_cast<size_t>(h_.mapLength) * ((h_.mapEntryBits + 7) / 8));
    if (!map_.empty() && std::fread(map_.data(), 1, map_.size(), file_) != map_.size()) return false;
  }
  dataStart_ = std::ftell(file_);
  if (dataStart_ < 0 || std::fseek(file_, 0, SEEK_END) != 0) return false;
  dataBytes_ = std::ftell(file_) - dataStart_;
  return dataBytes_ >= 0 && std::fseek(file_, static_cast<long>(dataStart_), SEEK_SET) == 0;
}

bool TgaReader::Validate() {
  using platform::FormatText;
  using platform::ShowMessage;
  base_ = h_.imageType & ~kRle;
  rle_ = (h_.imageType & kRle) != 0;
  const int depth = h_.depth;
  const auto unsupportedDepth = [&] {
    ShowMessage(FormatText("TGACODE: Unsupported pixel depth %d for image type %d\n", depth, h_.imageType));
    return false;
  };

  switch (base_) {
    case kMapped:
      if (h_.mapType == 0 || h_.mapLength == 0) {
        ShowMessage("TGACODE: Colour-mapped image without a colour map\n");
        return false;
      }
      if (h_.mapEntryBits != 8 && h_.mapEntryBits != 15 && h_.mapEntryBits != 16 && h_.mapEntryBits != 24 &&
          h_.mapEntryBits != 32) {
        ShowMessage(FormatText("TGACODE: Unsupported colour map entry size %d\n", h_.mapEntryBits));
        return false;
      }
      if (depth != 8 && depth != 16) return unsupportedDepth();
      paletteOut_ = h_.mapLength <= 256;
      if (paletteOut_) {
        outBits_ = 8, outOptions_ = 2;
        kind_ = depth == 16 ? RowKind::kIndex16 : (h_.mapFirst % 256 == 0 ? RowKind::kCopy : RowKind::kIndex8);
      } else {
        outBits_ = 24, outOptions_ = 0;
        kind_ = depth == 16 ? RowKind::kMap16 : RowKind::kMap8;
      }
      break;
    case kTrueColor:
      switch (depth) {
        case 8: outBits_ = 8, outOptions_ = 1, kind_ = RowKind::kCopy; break;
        case 15: case 16: outBits_ = 24, kind_ = RowKind::kBgr555; break;
        case 24: outBits_ = 24, kind_ = RowKind::kCopy; break;
        case 32: outBits_ = 24, kind_ = RowKind::kBgra; break;
        default: return unsupportedDepth();
      }
      break;
    case kGray:
      switch (depth) {
        case 1: outBits_ = 1, outOptions_ = 0, kind_ = RowKind::kCopy; break;
        case 8: outBits_ = 8, outOptions_ = 1, kind_ = RowKind::kCopy; break;
        case 16: outBits_ = 8, outOptions_ = 1, kind_ = RowKind::kGrayAlpha; break;
        default: return unsupportedDepth();
      }
      break;
    default:
      return false;  // not a type we read: no message
  }

  if (h_.width == 0 || h_.height == 0) {
    ShowMessage(FormatText("TGACODE: Invalid image size %d x %d\n", h_.width, h_.height));
    return false;
  }
  if (DIBStride(h_.width, outBits_) * h_.height > kMaxPixelBytes) {
    ShowMessage(FormatText("TGACODE: Image too large (%d x %d)\n", h_.width, h_.height));
    return false;
  }

  unit_ = (depth + 7) / 8;
  rowUnits_ = depth == 1 ? (h_.width + 7) / 8 : h_.width;
  // The least data that can fill the image; a shorter file is refused
  // before anything is allocated.
  const int64_t units = rowUnits_ * h_.height;
  const int64_t least = rle_ ? (units + 127) / 128 * (1 + unit_) : units * unit_;
  if (dataBytes_ < least) {
    ShowMessage(kDataError);
    return false;
  }
  return true;
}

// Colour map entries to blue, green, red: the palette table, or the lookup
// by stored index for a map too long for one.
void TgaReader::BuildColors() {
  if (base_ != kMapped) return;
  const int entryBytes = (h_.mapEntryBits + 7) / 8;
  std::vector<uint8_t> bgr(static_cast<size_t>(h_.mapLength) * 3);
  for (int i = 0; i < h_.mapLength; ++i) {
    const uint8_t* e = map_.data() + static_cast<size_t>(i) * entryBytes;
    uint8_t* c = bgr.data() + 3 * i;
    switch (entryBytes) {
      case 1: c[0] = c[1] = c[2] = e[0]; break;
      case 2: Bgr555(LoadLE16(e), c); break;
      default: std::memcpy(c, e, 3); break;
    }
  }
  if (paletteOut_) {
    table_.assign(256 * 4, 0);
    for (int i = 0; i < h_.mapLength; ++i) std::memcpy(&table_[4 * i], &bgr[3 * i], 3);
    return;
  }
  // Stored indices outside first .. first + length - 1 stay black.
  const int indices = h_.depth == 16 ? 65536 : 256;
  lookup_.assign(static_cast<size_t>(indices) * 3, 0);
  for (int i = 0; i < h_.mapLength && h_.mapFirst + i < indices; ++i)
    std::memcpy(&lookup_[3 * (h_.mapFirst + i)], &bgr[3 * i], 3);
}

bool TgaReader::Decode(CDIBitmap& out) {
  const int width = h_.width;
  const int height = h_.height;
  const bool topFirst = (h_.descriptor & kTopFirst) != 0;
  const bool mirror = (h_.descriptor & kRightToLeft) != 0;
  ByteSource source(file_);
  RleDecoder rle(source, unit_);
  const size_t fileRowBytes = static_cast<size_t>(rowUnits_ * unit_);
  // Copied rows go straight into the bitmap; others pass through one buffer.
  std::vector<uint8_t> fileRow(kind_ == RowKind::kCopy ? 0 : fileRowBytes);
  const int first = h_.mapFirst;
  const uint8_t* lookup = lookup_.data();

  for (int r = 0; r < height; ++r) {
    const int y = topFirst ? r : height - 1 - r;
    uint8_t* row = out.RowPointer(y);
    uint8_t* src = kind_ == RowKind::kCopy ? row : fileRow.data();
    if (!(rle_ ? rle.Row(src, rowUnits_) : source.Read(src, fileRowBytes))) {
      platform::ShowMessage(kDataError);
      return false;
    }
    switch (kind_) {
      case RowKind::kCopy: break;
      case RowKind::kIndex8: ConvertRow<RowKind::kIndex8>(src, row, width, first, lookup); break;
      case RowKind::kIndex16: ConvertRow<RowKind::kIndex16>(src, row, width, first, lookup); break;
      case RowKind::kMap8: ConvertRow<RowKind::kMap8>(src, row, width, first, lookup); break;
      case RowKind::kMap16: ConvertRow<RowKind::kMap16>(src, row, width, first, lookup); break;
      case RowKind::kBgra: ConvertRow<RowKind::kBgra>(src, row, width, first, lookup); break;
      case RowKind::kBgr555: ConvertRow<RowKind::kBgr555>(src, row, width, first, lookup); break;
      case RowKind::kGrayAlpha: ConvertRow<RowKind::kGrayAlpha>(src, row, width, first, lookup); break;
    }
    if (mirror) MirrorRow(row, width, outBits_);
  }
  return true;
}

int TgaReader::Read() {
  if (!ReadHeader()) {
    platform::ShowMessage(kHeaderError);
    return 0;
  }
  if (!Validate()) return 0;
  BuildColors();

  // Decode into a bitmap of our own so that a failure leaves the caller's
  // image untouched.
  CDIBitmap decoded;
  if (!decoded.Create(h_.width, h_.height, outBits_, outOptions_)) {
    platform::ShowMessage("TGACODE: Not enough memory\n");
    return 0;
  }
  if (paletteOut_) decoded.SetColorTable(table_.data(), 256);
  if (!Decode(decoded)) {
    decoded.Free();
    return 0;
  }
  image_.Attach(decoded);
  return 1;
}

// True when pixels a and b of a row of Unit-byte pixels are equal.
template <int Unit>
inline bool SamePixel(const uint8_t* src, int a, int b) {
  const uint8_t* p = src + a * Unit;
  const uint8_t* q = src + b * Unit;
  if constexpr (Unit == 1)
    return *p == *q;
  else
    return ((p[0] ^ q[0]) | (p[1] ^ q[1]) | (p[2] ^ q[2])) == 0;
}

// Appends the packets of one row of `width` pixels of Unit bytes.
template <int Unit>
uint8_t* EncodeRow(const uint8_t* src, int width, uint8_t* out) {
  int i = 0;
  while (i < width) {
    // Pixels unlike the next one: a raw packet of one pixel each.
    while (i + 1 < width && !SamePixel<Unit>(src, i, i + 1)) {
      *out = 0;
      std::memcpy(out + 1, src + i * Unit, Unit);
      out += 1 + Unit;
      ++i;
    }
    if (i + 1 >= width) {
      if (i < width) {  // the last pixel, alone
        *out = 0;
        std::memcpy(out + 1, src + i * Unit, Unit);
        out += 1 + Unit;
      }
      break;
    }
    // A group of at least two equal pixels, at most 128.
    int j = i + 2;
    while (j < width && j - i < 128 && SamePixel<Unit>(src, i, j)) ++j;
    const int count = j - i;
    if (count >= 8) {
      *out++ = static_cast<uint8_t>((count - 1) | 0x80);
      std::memcpy(out, src + i * Unit, Unit);
      out += Unit;
    } else {
      *out++ = static_cast<uint8_t>(count - 1);
      for (int k = 0; k < count; ++k, out += Unit) std::memcpy(out, src + i * Unit, Unit);
    }
    i = j;
  }
  return out;
}

// Writes every piece in order, however the system splits the writes.
bool WritePieces(int fd, iovec* pieces, size_t count) {
  while (count > 0) {
    const ssize_t n = ::writev(fd, pieces, static_cast<int>(std::min<size_t>(count, kMaxPieces)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    auto left = static_cast<size_t>(n);
    while (count > 0 && left >= pieces->iov_len) {
      left -= pieces->iov_len;
      ++pieces;
      --count;
    }
    if (count > 0) {
      pieces->iov_base = static_cast<uint8_t*>(pieces->iov_base) + left;
      pieces->iov_len -= left;
    }
  }
  return true;
}

bool WriteBytes(int fd, const uint8_t* data, size_t size) {
  iovec piece{const_cast<uint8_t*>(data), size};
  return WritePieces(fd, &piece, 1);
}

}  // namespace

int TGAReadStream(std::FILE* file, CDIBitmap& image) {
  if (!file) return 0;
  try {
    return TgaReader(file, image).Read();
  } catch (const std::bad_alloc&) {
    platform::ShowMessage("TGACODE: Not enough memory\n");
    return 0;
  }
}

int TGARead(const std::string& path, CDIBitmap& image) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    platform::ShowMessage("TGACODE: Cannot open input file " + path);
    return 0;
  }
  const int result = TGAReadStream(file, image);
  std::fclose(file);
  return result;
}

int TGAWrite(const std::string& path, const CDIBitmap& image, int compression, int /*reserved*/) {
  if (!image.IsAllocated()) return 0;
  const int width = image.GetWidth();
  const int height = image.GetHeight();
  const int bits = image.GetBitCount();
  if (bits != 1 && bits != 8 && bits != 24 && bits != 32) return 0;
  const bool rle = compression == 1;
  const bool mapped = bits == 1 || (bits == 8 && !image.IsGray());
  const int unit = bits <= 8 ? 1 : 3;
  const int entries = bits == 1 ? 2 : 256;

  std::vector<uint8_t> head(kHeaderSize, 0);
  head[2] = static_cast<uint8_t>((mapped ? kMapped : bits == 8 ? kGray : kTrueColor) | (rle ? kRle : 0));
  StoreLE16(&head[12], width);
  StoreLE16(&head[14], height);
  head[16] = static_cast<uint8_t>(unit * 8);
  head[17] = kTopFirst;
  if (mapped) {
    head[1] = 1;
    StoreLE16(&head[5], entries);
    head[7] = 24;
    std::vector<uint8_t> table(static_cast<size_t>(entries) * 4);
    image.GetColorTable(table.data(), entries);
    for (int i = 0; i < entries; ++i) head.insert(head.end(), &table[4 * i], &table[4 * i] + 3);
  }

  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    platform::ShowMessage("TGACODE: Cannot open Output file " + path);
    return 0;
  }
  // The stream only opens and closes the file: the bytes go to its
  // descriptor directly, stored rows without a copy.
  const int fd = fileno(file);
  bool ok = true;
  const size_t rowBytes = static_cast<size_t>(width) * unit;
  if (!rle && (bits == 8 || bits == 24)) {
    // The image's own rows are the file's rows: the header and every row,
    // top first, in as few system writes as possible.
    std::vector<iovec> pieces;
    pieces.reserve(static_cast<size_t>(height) + 1);
    pieces.push_back({head.data(), head.size()});
    for (int y = 0; y < height; ++y)
      pieces.push_back({const_cast<uint8_t*>(image.RowPointer(y)), rowBytes});
    ok = WritePieces(fd, pieces.data(), pieces.size());
  } else {
    // Converted rows and packets are gathered into one buffer, written out
    // whenever it holds a chunk. It has room for the header, one chunk and
    // one more row (at most one header byte per pixel).
    std::vector<uint8_t> row(bits == 1 || bits == 32 ? rowBytes : 0);
    const size_t rowLimit = rle ? rowBytes + static_cast<size_t>(width) : rowBytes;
    std::vector<uint8_t> out(head.size() + kBufferBytes + rowLimit);
    std::memcpy(out.data(), head.data(), head.size());
    uint8_t* end = out.data() + head.size();
    for (int y = 0; y < height && ok; ++y) {
      const uint8_t* src = image.RowPointer(y);
      if (bits == 1) {
        image.GetRowBytes(row.data(), y);
        src = row.data();
      } else if (bits == 32) {
        GL_CMYKRowToRGB(src, row.data(), width);
        src = row.data();
      }
      if (!rle) {
        std::memcpy(end, src, rowBytes);
        end += rowBytes;
      } else if (unit == 1) {
        end = EncodeRow<1>(src, width, end);
      } else {
        end = EncodeRow<3>(src, width, end);
      }
      const size_t used = static_cast<size_t>(end - out.data());
      if (used >= kBufferBytes || y == height - 1) {
        ok = WriteBytes(fd, out.data(), used);
        end = out.data();
      }
    }
  }
  if (std::fclose(file) != 0) ok = false;
  if (!ok) {
    platform::ShowMessage(kWriteError);
    return 0;
  }
  return 1;
}
