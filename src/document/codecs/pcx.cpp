#include "document/codecs/pcx.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "image/dibitmap.h"
#include "platform/byte_order.h"
#include "platform/messages.h"

namespace {

constexpr int kHeaderSize = 128;
constexpr uint8_t kManufacturer = 10;
constexpr uint32_t kDcxMagic = 0x3ADE68B1;
constexpr int kDcxMaxPages = 1023;
constexpr uint8_t kVgaPaletteMarker = 12;
constexpr int kVgaPaletteBytes = 1 + 256 * 3;
constexpr int kPaletteInfoGray = 2;
// Largest pixel block the reader allocates.
constexpr int64_t kMaxPixelBytes = int64_t{1} << 30;
// The run-length data is read in chunks of this size.
constexpr size_t kInputChunk = 64 * 1024;
// Encoded output is gathered into writes of about this size.
constexpr size_t kOutputChunk = 1 << 20;
// Longest run one count byte can express.
constexpr int kMaxRun = 63;

using platform::LoadLE16;
using platform::LoadLE32;
using platform::StoreLE16;

struct PcxHeader {
  int version = 0;
  int bitsPerPixel = 0;
  int width = 0;
  int height = 0;
  int planes = 0;
  int bytesPerLine = 0;
  int paletteInfo = 0;
  uint8_t colorMap[48] = {};
};

// How one decoded line becomes an image row.
enum class RowKind { kMono, kUnpack2, kUnpack4, kPlanar1, kIndex8, kRgb };

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

// Bit planes of 1 bit per pixel to one index byte per pixel: plane p gives bit p.
void CombinePlanesRow(const uint8_t* line, int bytesPerLine, int planes, uint8_t* dst, int width) {
  std::memset(dst, 0, static_cast<size_t>(width));
  for (int p = 0; p < planes; ++p) {
    const uint8_t* plane = line + static_cast<size_t>(p) * bytesPerLine;
    for (int x = 0; x < width; ++x) dst[x] |= ((plane[x >> 3] >> (7 - (x & 7))) & 1) << p;
  }
}

// Planes red, green, blue (each bytesPerLine long) to blue, green, red pixels.
void InterleaveRgbRow(const uint8_t* line, int bytesPerLine, uint8_t* dst, int width) {
  const uint8_t* r = line;
  const uint8_t* g = line + bytesPerLine;
  const uint8_t* b = g + bytesPerLine;
  for (int x = 0; x < width; ++x, dst += 3) {
    dst[0] = b[x];
    dst[1] = g[x];
    dst[2] = r[x];
  }
}

class PcxReader {
 public:
  PcxReader(std::FILE* file, const std::string& path, CDIBitmap& image) : file_(file), path_(path), image_(image) {}
  int Read();

 private:
  bool LocatePage();
  bool ReadHeader();
  bool Validate();
  bool ReadPalette();
  bool DecodeRows(CDIBitmap* out);
  size_t DecodeLine(uint8_t* dst, size_t size);
  void Refill();
  bool ReadAt(int64_t offset, void* buffer, size_t size);

  std::FILE* file_;
  const std::string& path_;
  CDIBitmap& image_;
  int64_t base_ = 0;      // stream position of the start of the file
  int64_t fileSize_ = 0;  // bytes from there to the end
  int64_t pageStart_ = 0;
  int64_t pageEnd_ = 0;
  PcxHeader h_;
  RowKind kind_ = RowKind::kIndex8;
  int outBits_ = 8;
  bool gray_ = false;
  int tableEntries_ = 0;
  std::array<uint8_t, 256 * 4> table_{};

  // Run-length decoder state: the input chunk and the run still pending
  // from the previous line.
  std::vector<uint8_t> input_;
  size_t inputPos_ = 0;
  size_t inputLen_ = 0;
  int pendingCount_ = 0;
  uint8_t pendingValue_ = 0;
};

bool PcxReader::ReadAt(int64_t offset, void* buffer, size_t size) {
  if (offset < 0 || offset > fileSize_) return false;
  if (std::fseek(file_, static_cast<long>(base_ + offset), SEEK_SET) != 0) return false;
  return std::fread(buffer, 1, size, file_) == size;
}

// For ".dcx" names: checks the magic and finds the first page and its end.
bool PcxReader::LocatePage() {
  pageStart_ = 0;
  pageEnd_ = fileSize_;
  if (!std::string_view(path_).ends_with(".dcx")) return true;
  uint8_t magic[4];
  if (!ReadAt(0, magic, 4) || LoadLE32(magic) != kDcxMagic) {
    platform::ShowMessage(platform::FormatText("DcxHead: %s is not a DCX-format file!\n", path_.c_str()));
    return false;
  }
  // The list ends at its 0, after 1023 entries, or where the file ends.
  const int64_t listed = std::min<int64_t>(kDcxMaxPages, (fileSize_ - 4) / 4);
  std::vector<uint8_t> list(static_cast<size_t>(listed) * 4);
  if (!list.empty() && !ReadAt(4, list.data(), list.size())) list.clear();
  std::vector<uint32_t> offsets;
  for (size_t i = 0; i + 4 <= list.size(); i += 4) {
    const uint32_t offset = LoadLE32(&list[i]);
    if (offset == 0) break;
    offsets.push_back(offset);
  }
  if (offsets.empty()) {
    platform::ShowMessage(platform::FormatText("DcxHead: %s holds no page!\n", path_.c_str()));
    return false;
  }
  pageStart_ = offsets[0];
  for (uint32_t offset : offsets)
    if (offset > pageStart_ && offset < pageEnd_) pageEnd_ = offset;
  return true;
}

bool PcxReader::ReadHeader() {
  uint8_t b[kHeaderSize];
  if (!ReadAt(pageStart_, b, kHeaderSize)) {
    platform::ShowMessage("PcxHead: Error reading header information!\n");
    return false;
  }
  if (b[0] != kManufacturer) {
    platform::ShowMessage(platform::FormatText("PcxHead: %s is not a PCX-format file!\n", path_.c_str()));
    return false;
  }
  h_.version = b[1];
  h_.bitsPerPixel = b[3];
  h_.width = LoadLE16(b + 8) - LoadLE16(b + 4) + 1;
  h_.height = LoadLE16(b + 10) - LoadLE16(b + 6) + 1;
  std::memcpy(h_.colorMap, b + 16, sizeof h_.colorMap);
  h_.planes = b[65];
  h_.bytesPerLine = LoadLE16(b + 66);
  h_.paletteInfo = LoadLE16(b + 68);
  return true;
}

bool PcxReader::Validate() {
  using platform::FormatText;
  using platform::ShowMessage;
  if (h_.width <= 0 || h_.height <= 0) {
    ShowMessage(FormatText("PCXREAD: Invalid image size %d x %d\n", h_.width, h_.height));
    return false;
  }
  const int bits = h_.bitsPerPixel;
  const int planes = h_.planes;
  int minBytesPerLine = h_.width;
  if (bits == 1 && planes == 1) {
    kind_ = RowKind::kMono;
    outBits_ = 1;
    minBytesPerLine = (h_.width + 7) / 8;
  } else if ((bits == 2 || bits == 4) && planes == 1) {
    kind_ = bits == 2 ? RowKind::kUnpack2 : RowKind::kUnpack4;
    minBytesPerLine = (h_.width * bits + 7) / 8;
  } else if (bits == 1 && planes >= 2 && planes <= 4) {
    kind_ = RowKind::kPlanar1;
    minBytesPerLine = (h_.width + 7) / 8;
  } else if (bits == 8 && planes == 1) {
    kind_ = RowKind::kIndex8;
    gray_ = h_.paletteInfo == kPaletteInfoGray;
  } else if (bits == 8 && (planes == 3 || planes == 4)) {
    kind_ = RowKind::kRgb;
    outBits_ = 24;
  } else {
    ShowMessage(FormatText("PCXREAD: Unsupported pixel layout (%d bits per pixel, %d planes)\n", bits, planes));
    return false;
  }
  if (h_.bytesPerLine < minBytesPerLine) {
    ShowMessage(FormatText("PCXREAD: Bytes per line %d too small for width %d\n", h_.bytesPerLine, h_.width));
    return false;
  }
  if (DIBStride(h_.width, outBits_) * h_.height > kMaxPixelBytes) {
    ShowMessage(FormatText("PCXREAD: Image too large (%d x %d)\n", h_.width, h_.height));
    return false;
  }
  return true;
}

// Fills table_ (blue, green, red, 0) from the header map or the VGA palette.
bool PcxReader::ReadPalette() {
  if (h_.version != 5 && h_.version != 2) return true;
  if (kind_ == RowKind::kRgb || gray_) return true;
  if (kind_ == RowKind::kIndex8) {
    uint8_t vga[kVgaPaletteBytes];
    const int64_t at = pageEnd_ - kVgaPaletteBytes;
    if (at < pageStart_ || !ReadAt(at, vga, sizeof vga)) {
      platform::ShowMessage("PcxHead: Error reading VGA color map information!\n");
      return false;
    }
    if (vga[0] != kVgaPaletteMarker) platform::ShowMessage("PCXREAD: Not Proper Palette !");
    for (int i = 0; i < 256; ++i) {
      table_[i * 4 + 0] = vga[1 + i * 3 + 2];
      table_[i * 4 + 1] = vga[1 + i * 3 + 1];
      table_[i * 4 + 2] = vga[1 + i * 3 + 0];
    }
    tableEntries_ = 256;
    return true;
  }
  const int indexBits = kind_ == RowKind::kPlanar1 ? h_.planes : h_.bitsPerPixel;
  tableEntries_ = 1 << indexBits;
  for (int i = 0; i < tableEntries_; ++i) {
    table_[i * 4 + 0] = h_.colorMap[i * 3 + 2];
    table_[i * 4 + 1] = h_.colorMap[i * 3 + 1];
    table_[i * 4 + 2] = h_.colorMap[i * 3 + 0];
  }
  // Some writers leave the map of a 1-bit file empty (or fill both entries
  // alike); such a file is meant as black and white.
  if (kind_ == RowKind::kMono && std::memcmp(&table_[0], &table_[4], 3) == 0) {
    table_[0] = table_[1] = table_[2] = 0;
    table_[4] = table_[5] = table_[6] = 255;
  }
  return true;
}

// Moves the unread input to the front of the buffer and reads more after it.
void PcxReader::Refill() {
  const size_t left = inputLen_ - inputPos_;
  std::memmove(input_.data(), input_.data() + inputPos_, left);
  inputPos_ = 0;
  inputLen_ = left + std::fread(input_.data() + left, 1, input_.size() - left, file_);
}

// Decodes up to `size` bytes of run-length data into dst, first the run left
// over from the previous line. Returns the count decoded: `size` unless the
// data ended. A run that does not fit stays pending for the next line.
size_t PcxReader::DecodeLine(uint8_t* dst, size_t size) {
  size_t n = std::min(static_cast<size_t>(pendingCount_), size);
  std::memset(dst, pendingValue_, n);
  pendingCount_ -= static_cast<int>(n);
  const uint8_t* in = input_.data();
  size_t pos = inputPos_;
  size_t len = inputLen_;
  while (n < size) {
    if (len - pos < 2) {
      inputPos_ = pos;
      Refill();
      pos = inputPos_;
      len = inputLen_;
      if (pos == len) break;
    }
    const uint8_t b = in[pos];
    if (b < 0xC0) {
      dst[n++] = b;
      ++pos;
      continue;
    }
    if (len - pos < 2) {  // a count without its value: the data ends
      pos = len;
      break;
    }
    const size_t count = b & 0x3F;
    const uint8_t value = in[pos + 1];
    pos += 2;
    const size_t take = std::min(count, size - n);
    if (take == 1) {
      dst[n++] = value;
    } else {
      std::memset(dst + n, value, take);
      n += take;
    }
    pendingCount_ = static_cast<int>(count - take);
    pendingValue_ = value;
  }
  inputPos_ = pos;
  inputLen_ = len;
  return n;
}

// Decodes every line and, when `out` is given, stores it as an image row.
// Without `out` only the line lengths are checked (used when the file is
// too short for the image, to report the first short line cheaply).
bool PcxReader::DecodeRows(CDIBitmap* out) {
  const int64_t lineSize = int64_t{h_.planes} * h_.bytesPerLine;
  std::vector<uint8_t> line(static_cast<size_t>(lineSize));
  std::vector<uint8_t> row(static_cast<size_t>(std::max<int64_t>(DIBStride(h_.width, outBits_), h_.width)));
  input_.assign(kInputChunk, 0);
  inputPos_ = inputLen_ = 0;
  pendingCount_ = 0;
  pendingValue_ = 0;
  if (std::fseek(file_, static_cast<long>(base_ + pageStart_ + kHeaderSize), SEEK_SET) != 0) {
    platform::ShowMessage(
        platform::FormatText("PCXCODE: Bad scan line length (was 0 should be %d)\n", static_cast<int>(lineSize)));
    return false;
  }

  const int width = h_.width;
  const int monoBytes = (width + 7) / 8;
  const uint8_t monoLastMask = static_cast<uint8_t>(0xFF << ((8 - width % 8) % 8));
  for (int y = 0; y < h_.height; ++y) {
    const size_t got = DecodeLine(line.data(), line.size());
    if (got != line.size()) {
      platform::ShowMessage(platform::FormatText("PCXCODE: Bad scan line length (was %d should be %d)\n",
                                                 static_cast<int>(got), static_cast<int>(lineSize)));
      return false;
    }
    if (!out) continue;
    switch (kind_) {
      case RowKind::kMono:
        std::memcpy(row.data(), line.data(), static_cast<size_t>(monoBytes));
        row[monoBytes - 1] &= monoLastMask;  // bits beyond the width stay clear
        break;
      case RowKind::kUnpack2: UnpackIndexRow<2>(line.data(), row.data(), width); break;
      case RowKind::kUnpack4: UnpackIndexRow<4>(line.data(), row.data(), width); break;
      case RowKind::kPlanar1: CombinePlanesRow(line.data(), h_.bytesPerLine, h_.planes, row.data(), width); break;
      case RowKind::kIndex8: out->PutRow(line.data(), y); continue;
      case RowKind::kRgb: InterleaveRgbRow(line.data(), h_.bytesPerLine, row.data(), width); break;
    }
    out->PutRow(row.data(), y);
  }
  return true;
}

int PcxReader::Read() {
  base_ = std::ftell(file_);
  if (base_ < 0 || std::fseek(file_, 0, SEEK_END) != 0) {
    platform::ShowMessage("PcxHead: Error reading header information!\n");
    return 0;
  }
  fileSize_ = std::ftell(file_) - base_;
  if (!LocatePage() || !ReadHeader() || !Validate() || !ReadPalette()) return 0;

  // Every two bytes of data give at most 63 decoded bytes. A file that
  // cannot hold the lines fails at a short line; find it without
  // allocating the image.
  const int64_t dataBytes = std::max<int64_t>(0, fileSize_ - pageStart_ - kHeaderSize);
  const int64_t needed = int64_t{h_.planes} * h_.bytesPerLine * h_.height;
  if (dataBytes * 32 + kMaxRun < needed) {
    DecodeRows(nullptr);  // stops at the first short line with its message
    return 0;
  }

  // Decode into a bitmap of our own so that a failure leaves the caller's
  // image untouched.
  CDIBitmap decoded;
  const int options = outBits_ == 24 ? 0 : (gray_ ? 1 : 2);
  if (!decoded.Create(h_.width, h_.height, outBits_, options)) {
    platform::ShowMessage(
        platform::FormatText("PCXREAD: Not enough memory for a %d x %d image\n", h_.width, h_.height));
    return 0;
  }
  if (outBits_ == 1 && tableEntries_ == 0) {
    // Create's black and white table stays.
  } else if (outBits_ <= 8 && !gray_) {
    decoded.SetColorTable(table_.data(), decoded.GetPaletteSize());
  }
  if (!DecodeRows(&decoded)) {
    decoded.Free();
    return 0;
  }
  image_.Attach(decoded);
  return 1;
}

// Index of the first byte from `from` on that equals the byte after it (the
// start of a run of 2 or more), or `size` when there is none.
size_t NextRun(const uint8_t* line, size_t from, size_t size) {
  size_t i = from;
#ifdef __SSE2__
  for (; i + 17 <= size; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + i + 1));
    const int equal = _mm_movemask_epi8(_mm_cmpeq_epi8(a, b));
    if (equal) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(equal)));
  }
#endif
  for (; i + 1 < size; ++i)
    if (line[i] == line[i + 1]) return i;
  return size;
}

// Writes the run-length code of `line` at out and returns the end: runs of
// equal bytes up to 63 long, never past the end of the line; a run of 2 or
// more, or a single byte of 0x40 or above, as (0xC0 + length, byte); a
// single byte below 0x40 as itself. At most 2 x size bytes.
uint8_t* EncodeLine(const uint8_t* line, size_t size, uint8_t* out) {
  size_t i = 0;
  while (i < size) {
    // Bytes unlike their successor, each without a branch on its value:
    // both bytes of the pair are stored, and the pointer moves past the
    // count only when there is one.
    const size_t runStart = NextRun(line, i, size);
    for (; i < runStart; ++i) {
      const uint8_t v = line[i];
      const bool counted = v >= 0x40;
      out[0] = counted ? static_cast<uint8_t>(0xC1) : v;
      out[1] = v;
      out += 1 + static_cast<size_t>(counted);
    }
    if (i == size) break;
    const uint8_t v = line[i];
    const size_t limit = std::min<size_t>(kMaxRun, size - i);
    size_t run = 2;
    while (run < limit && line[i + run] == v) ++run;
    *out++ = static_cast<uint8_t>(0xC0 + run);
    *out++ = v;
    i += run;
  }
  return out;
}

}  // namespace

int PCXReadStream(std::FILE* file, const std::string& path, CDIBitmap& image) {
  if (!file) return 0;
  try {
    return PcxReader(file, path, image).Read();
  } catch (const std::bad_alloc&) {
    platform::ShowMessage("PCXCODE: Cannot allocate scan line buffer.");
    return 0;
  }
}

int PCXRead(const std::string& path, CDIBitmap& image) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    platform::ShowMessage("Can't open file for reading :\n" + path);
    return 0;
  }
  const int result = PCXReadStream(file, path, image);
  std::fclose(file);
  return result;
}

int PCXWrite(const std::string& path, const CDIBitmap& image) {
  if (!image.IsAllocated()) return 0;
  const int width = image.GetWidth();
  const int height = image.GetHeight();
  const int bits = image.GetBitCount();
  if (bits != 1 && bits != 8 && bits != 24) {
    platform::ShowMessage(platform::FormatText("PCXCODE: Cannot write a %d-bit image as PCX\n", bits));
    return 0;
  }
  if (width > 65535 || height > 65536) {
    platform::ShowMessage(platform::FormatText("PCXCODE: Image too large for PCX (%d x %d)\n", width, height));
    return 0;
  }
  const int planes = bits == 24 ? 3 : 1;
  const int bytesPerLine = bits == 1 ? (width + 7) / 8 : width;

  uint8_t head[kHeaderSize] = {};
  head[0] = kManufacturer;
  head[1] = 5;  // version with palettes
  head[2] = 1;  // run-length encoded
  head[3] = static_cast<uint8_t>(bits == 1 ? 1 : 8);
  StoreLE16(head + 8, static_cast<uint32_t>(width - 1));
  StoreLE16(head + 10, static_cast<uint32_t>(height - 1));
  StoreLE16(head + 12, 72);
  StoreLE16(head + 14, 72);
  uint8_t table[256 * 4] = {};
  const int entries = image.GetPaletteSize();
  if (entries > 0) image.GetColorTable(table, entries);
  if (bits == 1) {
    for (int i = 0; i < 2; ++i) {
      head[16 + i * 3 + 0] = table[i * 4 + 2];
      head[16 + i * 3 + 1] = table[i * 4 + 1];
      head[16 + i * 3 + 2] = table[i * 4 + 0];
    }
  }
  head[65] = static_cast<uint8_t>(planes);
  StoreLE16(head + 66, static_cast<uint32_t>(bytesPerLine));
  StoreLE16(head + 68, bits == 8 && image.IsGray() ? kPaletteInfoGray : 0);

  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    platform::ShowMessage("Can't open file for writing");
    return 0;
  }
  if (std::fwrite(head, 1, sizeof head, file) != sizeof head) {
    std::fclose(file);
    platform::ShowMessage("PcxHead: Error writing header information!\n");
    return 0;
  }

  bool ok = true;
  try {
    const size_t lineSize = static_cast<size_t>(planes) * bytesPerLine;
    std::vector<uint8_t> line(bits == 24 ? lineSize : 0);  // the three planes of one row
    // Room for one chunk, one more encoded line and the trailing palette.
    std::vector<uint8_t> out(kOutputChunk + 2 * lineSize + kVgaPaletteBytes);
    uint8_t* end = out.data();
    const auto flush = [&] {
      const size_t used = static_cast<size_t>(end - out.data());
      if (used > 0 && std::fwrite(out.data(), 1, used, file) != used) ok = false;
      end = out.data();
    };
    for (int y = 0; y < height && ok; ++y) {
      // 1- and 8-bit rows are already the file's line; 24-bit rows are split
      // into red, green and blue planes.
      const uint8_t* src = image.RowPointer(y);
      if (bits == 24) {
        uint8_t* r = line.data();
        uint8_t* g = r + bytesPerLine;
        uint8_t* b = g + bytesPerLine;
        for (int x = 0; x < width; ++x, src += 3) {
          b[x] = src[0];
          g[x] = src[1];
          r[x] = src[2];
        }
        src = line.data();
      }
      end = EncodeLine(src, lineSize, end);
      if (static_cast<size_t>(end - out.data()) >= kOutputChunk) flush();
    }
    if (bits == 8) {
      *end++ = kVgaPaletteMarker;
      for (int i = 0; i < 256; ++i) {
        *end++ = table[i * 4 + 2];
        *end++ = table[i * 4 + 1];
        *end++ = table[i * 4 + 0];
      }
    }
    if (ok) flush();
  } catch (const std::bad_alloc&) {
    std::fclose(file);
    platform::ShowMessage("PCXCODE: Cannot allocate scan line buffer.");
    return 0;
  }
  if (std::fclose(file) != 0) ok = false;
  if (!ok) {
    platform::ShowMessage("PCXCODE: Error writing image data!\n");
    return 0;
  }
  return 1;
}
