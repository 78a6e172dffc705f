#include "document/codecs/photocd.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "image/dibitmap.h"
#include "platform/byte_order.h"
#include "platform/messages.h"

namespace {

constexpr int64_t kSector = 2048;
constexpr int64_t kBaseSectors[3] = {4, 23, 96};  // Base/16, Base/4, Base
constexpr const char* kBaseNames[3] = {"Base/16", "Base/4", "Base"};
constexpr int64_t k4BaseTableSector = 388;
constexpr int64_t k4BaseDataSector = 389;
constexpr int64_t k16BaseProbeSector = 396;
// The 16Base tables and data lie this many sectors after the 4Base stream.
constexpr int64_t k16BaseTableGap = 12;
constexpr int64_t k16BaseDataGap = 14;
constexpr uint32_t kSync = 0xFFFFFE;
// Residual data is read in chunks of this many sectors.
constexpr int64_t kChunkSectors = 32;

// Conversion tables in units of 1/4096, built once.
struct YccTables {
  std::array<int32_t, 256> ty, tr2, tg1, tg2, tb1;
  YccTables() {
    for (int i = 0; i < 256; ++i) {
      ty[i] = 2048 + 5564 * i;
      tr2[i] = -1022138 + 7461 * i;
      tg1[i] = 274934 - 1762 * i;
      tg2[i] = 520268 - 3798 * i;
      tb1[i] = -1417185 + 9085 * i;
    }
  }
};

const YccTables& Tables() {
  static const YccTables tables;
  return tables;
}

uint8_t Clamp255(int32_t v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

class FixedYccTransform final : public PhotoYCCTransform {
 public:
  void ConvertRow(const uint8_t* y, const uint8_t* c1, const uint8_t* c2, uint8_t* bgr, int width) const override {
    PhotoYCCToBGRRow(y, c1, c2, bgr, width);
  }
};

// One byte plane: allocated at the final size, `width` x `height` in use.
struct Plane {
  std::vector<uint8_t> data;
  int stride = 0;
  int width = 0;
  int height = 0;

  void Allocate(int w, int h) {
    data.assign(static_cast<size_t>(w) * h, 0);
    stride = w;
  }
  uint8_t* Row(int y) { return data.data() + static_cast<size_t>(y) * stride; }
  void Double() {
    PhotoCDDoublePlane(data.data(), stride, width, height);
    width *= 2;
    height *= 2;
  }
};

// A 16-bit window value to (code length, value); length 0: no entry.
struct HuffmanTable {
  std::vector<uint8_t> length = std::vector<uint8_t>(65536, 0);
  std::vector<int8_t> value = std::vector<int8_t>(65536, 0);
};

enum class StreamEnd { kComplete, kEndsEarly, kNoSync, kNoEntry, kBadHeader };

// Bits of the residual stream, most significant first, read from the file in
// whole sectors.
class BitReader {
 public:
  BitReader(std::FILE* file, int64_t base, int64_t fileSize, int64_t startSector)
      : file_(file), base_(base), fileSize_(fileSize), startSector_(startSector), next_(startSector * kSector) {}

  // Tops the window up to at least 57 bits while data lasts.
  void Fill() {
    while (bits_ <= 56) {
      if (pos_ == len_ && !Refill()) return;
      acc_ |= static_cast<uint64_t>(buffer_[pos_++]) << (56 - bits_);
      bits_ += 8;
    }
  }
  int Available() const { return bits_; }
  // The top n (1 .. 32) bits of the window; missing bits read as 0.
  uint32_t Peek(int n) const { return static_cast<uint32_t>(acc_ >> (64 - n)); }
  void Skip(int n) {
    acc_ <<= n;
    bits_ -= n;
    consumed_ += static_cast<uint64_t>(n);
  }
  // The sector after the one holding the last bit taken.
  int64_t EndSector() const {
    return startSector_ + static_cast<int64_t>((consumed_ + kSector * 8 - 1) / (kSector * 8));
  }

 private:
  bool Refill() {
    if (next_ >= fileSize_) return false;
    const int64_t want = std::min(kChunkSectors * kSector, fileSize_ - next_);
    buffer_.resize(static_cast<size_t>(want));
    if (std::fseek(file_, static_cast<long>(base_ + next_), SEEK_SET) != 0) return false;
    len_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    pos_ = 0;
    next_ += want;
    if (len_ < buffer_.size()) next_ = fileSize_;  // nothing more can come
    return len_ > 0;
  }

  std::FILE* file_;
  int64_t base_;
  int64_t fileSize_;
  int64_t startSector_;
  int64_t next_;  // file offset of the next chunk
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0;
  size_t len_ = 0;
  uint64_t acc_ = 0;
  int bits_ = 0;
  uint64_t consumed_ = 0;
};

class PhotoCDReader {
 public:
  PhotoCDReader(std::FILE* file, int resolution, const PhotoYCCTransform& transform)
      : file_(file), resolution_(resolution), transform_(transform) {}
  int Read(CDIBitmap& image);

 private:
  bool Open();
  bool ReadAt(int64_t offset, void* buffer, size_t size);
  bool ReadBase(int level, int width, int height);
  // Parses `count` tables from the sector at `sector`; false with a message.
  bool ReadTables(int64_t sector, int count, const char* name, HuffmanTable* tables);
  // Decodes one residual stream; the sector after its end goes to *endSector.
  StreamEnd DecodeResiduals(int64_t sector, int height, bool chroma, const HuffmanTable* tables,
                            int64_t* endSector);
  void ReportStream(StreamEnd end, const char* name);

  std::FILE* file_;
  int resolution_;
  const PhotoYCCTransform& transform_;
  int64_t base_ = 0;
  int64_t fileSize_ = 0;
  Plane y_, c1_, c2_;
};

bool PhotoCDReader::Open() {
  base_ = std::ftell(file_);
  if (base_ < 0 || std::fseek(file_, 0, SEEK_END) != 0) return false;
  fileSize_ = std::ftell(file_) - base_;
  return fileSize_ >= 0;
}

bool PhotoCDReader::ReadAt(int64_t offset, void* buffer, size_t size) {
  if (offset + static_cast<int64_t>(size) > fileSize_) return false;
  if (std::fseek(file_, static_cast<long>(base_ + offset), SEEK_SET) != 0) return false;
  return std::fread(buffer, 1, size, file_) == size;
}

// Reads the groups of two luma rows, one C1 row and one C2 row.
bool PhotoCDReader::ReadBase(int level, int width, int height) {
  const int half = width / 2;
  const size_t groupBytes = static_cast<size_t>(width) * 3;
  std::vector<uint8_t> block(groupBytes * static_cast<size_t>(height / 2));
  if (!ReadAt(kBaseSectors[level] * kSector, block.data(), block.size())) {
    platform::ShowMessage(
        platform::FormatText("PCDREAD: %s image data past the end of the file\n", kBaseNames[level]));
    return false;
  }
  const uint8_t* p = block.data();
  for (int g = 0; g < height / 2; ++g, p += groupBytes) {
    std::memcpy(y_.Row(2 * g), p, static_cast<size_t>(width));
    std::memcpy(y_.Row(2 * g + 1), p + width, static_cast<size_t>(width));
    std::memcpy(c1_.Row(g), p + 2 * width, static_cast<size_t>(half));
    std::memcpy(c2_.Row(g), p + 2 * width + half, static_cast<size_t>(half));
  }
  y_.width = width;
  y_.height = height;
  c1_.width = c2_.width = half;
  c1_.height = c2_.height = height / 2;
  return true;
}

bool PhotoCDReader::ReadTables(int64_t sector, int count, const char* name, HuffmanTable* tables) {
  uint8_t raw[kSector];
  if (!ReadAt(sector * kSector, raw, sizeof raw)) {
    platform::ShowMessage(platform::FormatText("PCDREAD: %s Huffman table past the end of the file\n", name));
    return false;
  }
  size_t at = 0;
  for (int t = 0; t < count; ++t) {
    const size_t entries = at < sizeof raw ? size_t{raw[at]} + 1 : 0;
    if (entries == 0 || at + 1 + 4 * entries > sizeof raw) {
      platform::ShowMessage(platform::FormatText("PCDREAD: Bad %s Huffman table\n", name));
      return false;
    }
    HuffmanTable& table = tables[t];
    for (size_t i = 0; i < entries; ++i) {
      const uint8_t* e = raw + at + 1 + 4 * i;
      const int length = e[0] + 1;
      if (length > 16) {
        platform::ShowMessage(platform::FormatText("PCDREAD: Bad %s Huffman table\n", name));
        return false;
      }
      // Every window whose top `length` bits are the code; earlier entries win.
      const uint32_t span = 1u << (16 - length);
      const uint32_t first = platform::LoadBE16(e + 1) & ~(span - 1);
      for (uint32_t w = first; w < first + span; ++w) {
        if (table.length[w] != 0) continue;
        table.length[w] = static_cast<uint8_t>(length);
        table.value[w] = static_cast<int8_t>(e[3]);
      }
    }
    at += 1 + 4 * entries;
  }
  return true;
}

StreamEnd PhotoCDReader::DecodeResiduals(int64_t sector, int height, bool chroma, const HuffmanTable* tables,
                                         int64_t* endSector) {
  BitReader bits(file_, base_, fileSize_, sector);
  bool first = true;
  for (;;) {
    // At a row start: the sync pattern and the row header.
    bits.Fill();
    if (bits.Available() < 24) return StreamEnd::kEndsEarly;
    if (bits.Peek(24) != kSync) return first ? StreamEnd::kNoSync : StreamEnd::kEndsEarly;
    first = false;
    bits.Skip(24);
    if (bits.Available() < 16) return StreamEnd::kEndsEarly;
    const uint32_t header = bits.Peek(16);
    bits.Skip(16);
    const int plane = static_cast<int>(header >> 14);
    const int row = static_cast<int>((header >> 1) & 0x1FFF);
    if (row == height) {
      *endSector = bits.EndSector();
      return StreamEnd::kComplete;
    }
    if (row > height || plane == 1 || (plane != 0 && !chroma)) return StreamEnd::kBadHeader;
    Plane& target = plane == 0 ? y_ : plane == 2 ? c1_ : c2_;
    const HuffmanTable& table = tables[plane == 0 ? 0 : plane - 1];
    uint8_t* out = target.Row(plane == 0 ? row : row / 2);
    const int width = target.width;

    // Codes up to the next sync; those past the row's end are dropped.
    int x = 0;
    for (;;) {
      bits.Fill();
      const int available = bits.Available();
      if (available >= 24 && bits.Peek(24) == kSync) break;
      if (available == 0) return StreamEnd::kEndsEarly;
      const uint32_t window = bits.Peek(16);
      const int length = table.length[window];
      if (length == 0) return StreamEnd::kNoEntry;
      if (length > available) return StreamEnd::kEndsEarly;
      bits.Skip(length);
      if (x < width) {
        out[x] = Clamp255(out[x] + table.value[window]);
        ++x;
      }
    }
  }
}

void PhotoCDReader::ReportStream(StreamEnd end, const char* name) {
  using platform::FormatText;
  switch (end) {
    case StreamEnd::kComplete:
      return;
    case StreamEnd::kEndsEarly:
      platform::ShowMessage(FormatText("PCDREAD: %s residual data ends early\n", name));
      return;
    case StreamEnd::kNoSync:
      platform::ShowMessage(FormatText("PCDREAD: %s residual data does not start with a sync\n", name));
      return;
    case StreamEnd::kNoEntry:
      platform::ShowMessage(FormatText("PCDREAD: %s residual code without a table entry\n", name));
      return;
    case StreamEnd::kBadHeader:
      platform::ShowMessage(FormatText("PCDREAD: %s residual row header out of range\n", name));
      return;
  }
}

int PhotoCDReader::Read(CDIBitmap& image) {
  if (resolution_ < 0 || resolution_ >= kPhotoCDResolutionCount) {
    platform::ShowMessage(platform::FormatText("PCDREAD: Invalid resolution %d\n", resolution_));
    return 0;
  }
  if (!Open()) return 0;
  const int width = kPhotoCDWidths[resolution_];
  const int height = kPhotoCDHeights[resolution_];
  y_.Allocate(width, height);
  c1_.Allocate(width, height);
  c2_.Allocate(width, height);

  if (resolution_ <= 2) {
    if (!ReadBase(resolution_, width, height)) return 0;
    c1_.Double();
    c2_.Double();
  } else {
    if (!ReadBase(2, kPhotoCDWidths[2], kPhotoCDHeights[2])) return 0;
    y_.Double();
    for (Plane* c : {&c1_, &c2_}) c->Double(), c->Double();
    int64_t end4Base = 0;
    bool have4Base = false;
    {
      HuffmanTable luma;
      if (ReadTables(k4BaseTableSector, 1, "4Base", &luma)) {
        const StreamEnd end = DecodeResiduals(k4BaseDataSector, kPhotoCDHeights[3], false, &luma, &end4Base);
        ReportStream(end, "4Base");
        have4Base = end == StreamEnd::kComplete;
      }
    }
    if (resolution_ == 4) {
      y_.Double();
      if (have4Base) {
        std::vector<HuffmanTable> tables(3);
        if (ReadTables(end4Base + k16BaseTableGap, 3, "16Base", tables.data())) {
          int64_t ignored = 0;
          ReportStream(DecodeResiduals(end4Base + k16BaseDataGap, height, true, tables.data(), &ignored), "16Base");
        }
      }
      c1_.Double();
      c2_.Double();
    }
  }

  // Decode into a bitmap of our own so that a failure leaves the caller's
  // image untouched.
  CDIBitmap decoded;
  if (!decoded.Create(width, height, 24, 0)) {
    platform::ShowMessage("PCDREAD: Not enough memory\n");
    return 0;
  }
  for (int row = 0; row < height; ++row)
    transform_.ConvertRow(y_.Row(row), c1_.Row(row), c2_.Row(row), decoded.RowPointer(row), width);
  image.Attach(decoded);
  return 1;
}

}  // namespace

void PhotoYCCToBGRRow(const uint8_t* y, const uint8_t* c1, const uint8_t* c2, uint8_t* bgr, int width) {
  const YccTables& t = Tables();
  for (int x = 0; x < width; ++x, bgr += 3) {
    const int32_t luma = t.ty[y[x]];
    bgr[2] = Clamp255((luma + t.tr2[c2[x]]) >> 12);
    bgr[1] = Clamp255((luma + t.tg1[c1[x]] + t.tg2[c2[x]]) >> 12);
    bgr[0] = Clamp255((luma + t.tb1[c1[x]]) >> 12);
  }
}

void PhotoCDDoublePlane(uint8_t* plane, int stride, int width, int height) {
  if (width < 1 || height < 1) return;
  const int outWidth = 2 * width;
  // Even rows, from the last up and right to left, so that nothing is
  // overwritten before it has been read.
  for (int r = height - 1; r >= 0; --r) {
    const uint8_t* in = plane + static_cast<size_t>(r) * stride;
    uint8_t* out = plane + static_cast<size_t>(2 * r) * stride;
    const uint8_t last = in[width - 1];
    out[outWidth - 1] = last;
    out[outWidth - 2] = last;
    for (int x = width - 2; x >= 0; --x) {
      const int a = in[x], b = in[x + 1];
      out[2 * x + 1] = static_cast<uint8_t>((a + b + 1) / 2);
      out[2 * x] = static_cast<uint8_t>(a);
    }
  }
  // Odd rows between two even ones.
  for (int k = 0; k + 1 < height; ++k) {
    const uint8_t* a = plane + static_cast<size_t>(2 * k) * stride;
    const uint8_t* b = a + 2 * static_cast<size_t>(stride);
    uint8_t* out = plane + static_cast<size_t>(2 * k + 1) * stride;
    for (int j = 0; j + 2 < outWidth; j += 2) {
      out[j] = static_cast<uint8_t>((a[j] + b[j] + 1) / 2);
      out[j + 1] = static_cast<uint8_t>((a[j] + a[j + 2] + b[j] + b[j + 2] + 2) / 4);
    }
    out[outWidth - 2] = static_cast<uint8_t>((a[outWidth - 2] + b[outWidth - 2] + 1) / 2);
    out[outWidth - 1] = static_cast<uint8_t>((a[outWidth - 1] + b[outWidth - 1] + 1) / 2);
  }
  std::memcpy(plane + static_cast<size_t>(2 * height - 1) * stride,
              plane + static_cast<size_t>(2 * height - 2) * stride, static_cast<size_t>(outWidth));
}

int ProbePhotoCDStream(std::FILE* file) {
  if (!file) return 0;
  const long start = std::ftell(file);
  if (start < 0 || std::fseek(file, 0, SEEK_END) != 0) return 0;
  const int64_t size = std::ftell(file) - start;
  std::fseek(file, start, SEEK_SET);
  if (size < (k4BaseTableSector + 1) * kSector) return 3;
  if (size < (k16BaseProbeSector + 1) * kSector) return 4;
  return 5;
}

int ProbePhotoCD(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return 0;
  const int count = ProbePhotoCDStream(file);
  std::fclose(file);
  return count;
}

int PhotoCDReadStream(std::FILE* file, CDIBitmap& image, int resolution, const PhotoYCCTransform* transform) {
  if (!file) return 0;
  static const FixedYccTransform fixed;
  try {
    return PhotoCDReader(file, resolution, transform ? *transform : fixed).Read(image);
  } catch (const std::bad_alloc&) {
    platform::ShowMessage("PCDREAD: Not enough memory\n");
    return 0;
  }
}

int PhotoCDRead(const std::string& path, CDIBitmap& image, int resolution, const PhotoYCCTransform* transform) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return 0;
  const int result = PhotoCDReadStream(file, image, resolution, transform);
  std::fclose(file);
  return result;
}
