#include "document/codecs/gif.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "image/color_modes.h"
#include "image/dibitmap.h"
#include "image/result_codes.h"
#include "platform/byte_order.h"
#include "platform/messages.h"

namespace {

// Largest pixel block the reader allocates.
constexpr int64_t kMaxPixelBytes = int64_t{1} << 30;
// Largest width and height the format's 16-bit fields hold.
constexpr int kMaxSide = 0xFFFF;

constexpr int kMaxCodeBits = 12;
constexpr int kMaxCodes = 1 << kMaxCodeBits;  // 4096
// Longest string a code can stand for: one literal plus one character for
// every table entry after it.
constexpr int kMaxStringLength = kMaxCodes;

constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTrailer = 0x3B;

// Shows the reason of a failed read and gives the read's result.
int Fail(const std::string& text) {
  platform::ShowMessage(text);
  return 0;
}

using platform::LoadLE16;
using platform::StoreLE16;

bool ReadExact(std::FILE* file, void* buffer, size_t size) { return std::fread(buffer, 1, size, file) == size; }

// Reads `count` red, green, blue entries into a table of blue, green, red, 0.
bool ReadColorTable(std::FILE* file, int count, std::array<uint8_t, 256 * 4>& table) {
  uint8_t rgb[256 * 3];
  if (!ReadExact(file, rgb, static_cast<size_t>(count) * 3)) return false;
  for (int i = 0; i < count; ++i) {
    table[i * 4 + 0] = rgb[i * 3 + 2];
    table[i * 4 + 1] = rgb[i * 3 + 1];
    table[i * 4 + 2] = rgb[i * 3 + 0];
    table[i * 4 + 3] = 0;
  }
  return true;
}

// Skips data sub-blocks up to and including the zero-length one (or the end
// of the file).
void SkipSubBlocks(std::FILE* file) {
  uint8_t block[255];
  for (;;) {
    const int length = std::getc(file);
    if (length <= 0) return;
    if (!ReadExact(file, block, static_cast<size_t>(length))) return;
  }
}

// The bytes of an image's data sub-blocks, one after another. The data ends
// at the zero-length sub-block, at the end of the file, or inside a
// sub-block that the file cuts short.
class SubBlockSource {
 public:
  explicit SubBlockSource(std::FILE* file) : file_(file) {}

  // The next data byte, or -1 at the end of the data.
  int Next() {
    if (pos_ < length_) return block_[pos_++];
    return Refill() ? block_[pos_++] : -1;
  }

 private:
  bool Refill() {
    if (ended_) return false;
    const int length = std::getc(file_);
    if (length <= 0) {
      ended_ = true;
      return false;
    }
    length_ = static_cast<int>(std::fread(block_, 1, static_cast<size_t>(length), file_));
    pos_ = 0;
    if (length_ < length) ended_ = true;
    return length_ > 0;
  }

  std::FILE* file_;
  uint8_t block_[255];
  int pos_ = 0;
  int length_ = 0;
  bool ended_ = false;
};

// GIF LZW decoder: codes packed least significant bit first, clear code
// 2^c, end code 2^c + 1, first width c + 1, widths up to 12 bits. Fill hands
// out the decoded indices in order, however the strings fall across rows.
class LzwDecoder {
 public:
  LzwDecoder(std::FILE* file, int minCodeSize)
      : source_(file), minCodeSize_(minCodeSize), clear_(1 << minCodeSize), end_(clear_ + 1) {
    for (int code = 0; code < clear_; ++code) {
      suffix_[code] = static_cast<uint8_t>(code);
      first_[code] = static_cast<uint8_t>(code);
      length_[code] = 1;
    }
    Reset();
  }

  // Writes up to `count` indices to dst and returns how many: fewer only
  // when the data has ended (end code, end of data or a damaged code).
  int Fill(uint8_t* dst, int count) {
    int done = 0;
    if (pendingLeft_ > 0) {
      const int n = std::min(pendingLeft_, count);
      std::memcpy(dst, pending_ + pendingPos_, static_cast<size_t>(n));
      pendingPos_ += n;
      pendingLeft_ -= n;
      done = n;
    }
    while (done < count && !finished_) {
      const int code = NextCode();
      if (code < 0 || code == end_) {
        finished_ = true;
        break;
      }
      if (code == clear_) {
        Reset();
        continue;
      }
      if (previous_ < 0) {
        // The first code after a clear must be a literal.
        if (code > end_) {
          finished_ = true;
          break;
        }
        dst[done++] = static_cast<uint8_t>(code);
        previous_ = code;
        continue;
      }
      if (code > next_) {
        // Beyond the table: the data is damaged.
        finished_ = true;
        break;
      }
      if (next_ < kMaxCodes) {
        // The new entry is the previous string plus the first character of
        // this one; for code == next_ that is the previous string's own first
        // character.
        const int firstOfCode = code == next_ ? first_[previous_] : first_[code];
        prefix_[next_] = static_cast<uint16_t>(previous_);
        suffix_[next_] = static_cast<uint8_t>(firstOfCode);
        first_[next_] = first_[previous_];
        length_[next_] = static_cast<uint16_t>(length_[previous_] + 1);
        ++next_;
        if (next_ >= (1 << width_) && width_ < kMaxCodeBits) ++width_;
      }
      previous_ = code;
      const int length = length_[code];
      if (length <= count - done) {
        WriteString(code, length, dst + done);
        done += length;
      } else {
        WriteString(code, length, pending_);
        const int n = count - done;
        std::memcpy(dst + done, pending_, static_cast<size_t>(n));
        done = count;
        pendingPos_ = n;
        pendingLeft_ = length - n;
      }
    }
    return done;
  }

 private:
  void Reset() {
    width_ = minCodeSize_ + 1;
    next_ = clear_ + 2;
    previous_ = -1;
  }

  int NextCode() {
    while (bits_ < width_) {
      const int byte = source_.Next();
      if (byte < 0) return -1;
      accumulator_ |= static_cast<uint32_t>(byte) << bits_;
      bits_ += 8;
    }
    const int code = static_cast<int>(accumulator_ & ((1u << width_) - 1));
    accumulator_ >>= width_;
    bits_ -= width_;
    return code;
  }

  // The string of `code` (of `length` characters) written forwards at out.
  void WriteString(int code, int length, uint8_t* out) const {
    for (int i = length - 1; i > 0; --i) {
      out[i] = suffix_[code];
      code = prefix_[code];
    }
    out[0] = static_cast<uint8_t>(code);
  }

  SubBlockSource source_;
  const int minCodeSize_;
  const int clear_;
  const int end_;
  int width_ = 0;
  int next_ = 0;
  int previous_ = -1;
  bool finished_ = false;
  uint32_t accumulator_ = 0;
  int bits_ = 0;
  uint16_t prefix_[kMaxCodes] = {};
  uint8_t suffix_[kMaxCodes] = {};
  uint8_t first_[kMaxCodes] = {};
  uint16_t length_[kMaxCodes] = {};
  uint8_t pending_[kMaxStringLength];
  int pendingPos_ = 0;
  int pendingLeft_ = 0;
};

// Row order of an image: top to bottom, or the four interlace passes.
class RowOrder {
 public:
  RowOrder(int height, bool interlaced) : height_(height), interlaced_(interlaced) {}
  int Next() {
    const int y = y_;
    if (!interlaced_) {
      ++y_;
      return y;
    }
    static constexpr int kStart[] = {0, 4, 2, 1};
    static constexpr int kStep[] = {8, 8, 4, 2};
    y_ += kStep[pass_];
    while (y_ >= height_ && pass_ < 3) y_ = kStart[++pass_];
    return y;
  }

 private:
  int height_;
  bool interlaced_;
  int pass_ = 0;
  int y_ = 0;
};

// Index bytes to 1-bit pixels, most significant bit first: any index but 0
// sets the bit.
void PackBits(const uint8_t* indices, int count, uint8_t* bits) {
  int x = 0;
  for (; x + 8 <= count; x += 8) {
    const uint8_t* p = indices + x;
    bits[x / 8] = static_cast<uint8_t>((p[0] != 0) << 7 | (p[1] != 0) << 6 | (p[2] != 0) << 5 | (p[3] != 0) << 4 |
                                       (p[4] != 0) << 3 | (p[5] != 0) << 2 | (p[6] != 0) << 1 | (p[7] != 0));
  }
  if (x < count) {
    uint8_t last = 0;
    for (int i = 0; x + i < count; ++i)
      if (indices[x + i]) last |= static_cast<uint8_t>(0x80 >> i);
    bits[x / 8] = last;
  }
}

struct ImageDescriptor {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool interlaced = false;
};

// Decodes one image's LZW data onto `out` (a fresh bitmap without a mask)
// at the descriptor's offset. Pixels outside the bitmap are dropped and
// decoding stops once every row that can land inside it has been written.
void DecodeImage(std::FILE* file, int minCodeSize, const ImageDescriptor& d, CDIBitmap& out) {
  const int screenWidth = out.GetWidth();
  const int screenHeight = out.GetHeight();
  const int visibleRows = d.top < screenHeight ? std::min(d.height, screenHeight - d.top) : 0;
  const int visibleColumns = d.left < screenWidth ? std::min(d.width, screenWidth - d.left) : 0;
  if (visibleRows <= 0 || visibleColumns <= 0) return;

  auto decoder = std::make_unique<LzwDecoder>(file, minCodeSize);
  std::vector<uint8_t> line(static_cast<size_t>(d.width));
  std::vector<uint8_t> packed(out.GetBitCount() == 1 ? static_cast<size_t>(d.width + 7) / 8 : 0);
  const bool oneBit = out.GetBitCount() == 1;
  RowOrder order(d.height, d.interlaced);
  int written = 0;
  for (int i = 0; i < d.height && written < visibleRows; ++i) {
    const int y = d.top + order.Next();
    if (y >= screenHeight) {
      if (decoder->Fill(line.data(), d.width) < d.width) return;
      continue;
    }
    ++written;
    if (oneBit) {
      const int got = decoder->Fill(line.data(), d.width);
      PackBits(line.data(), std::min(got, visibleColumns), packed.data());
      out.PutRowPart(packed.data(), y, d.left, std::min(got, visibleColumns));
      if (got < d.width) return;
      continue;
    }
    // 8 bits: straight into the row; the part beyond the screen is dropped.
    uint8_t* row = out.RowPointer(y) + d.left;
    if (decoder->Fill(row, visibleColumns) < visibleColumns) return;
    const int rest = d.width - visibleColumns;
    if (rest > 0 && decoder->Fill(line.data(), rest) < rest) return;
  }
}

class GifReader {
 public:
  GifReader(std::FILE* file, CDIBitmap& image, const std::string& name) : file_(file), image_(image), name_(name) {}
  int Read();

 private:
  std::FILE* file_;
  CDIBitmap& image_;
  const std::string& name_;
};


int GifReader::Read() {
  uint8_t signature[6];
  if (!ReadExact(file_, signature, sizeof signature)) return Fail("Error reading GIF Magic #\n" + name_);
  if (std::memcmp(signature, "GIF", 3) != 0) return Fail(name_ + " is not a valid .GIF file");
  if (std::memcmp(signature + 3, "87a", 3) != 0 && std::memcmp(signature + 3, "89a", 3) != 0)
    return Fail("Error, Unsupported GIF Version number");

  uint8_t screen[7];
  if (!ReadExact(file_, screen, sizeof screen)) return Fail("Error, failed to GIF read screen descriptor.\nGiving up");
  const int screenWidth = LoadLE16(screen);
  const int screenHeight = LoadLE16(screen + 2);
  const uint8_t packed = screen[4];
  std::array<uint8_t, 256 * 4> globalTable{};
  const int globalCount = (packed & 0x80) ? 2 << (packed & 7) : 0;
  if (globalCount && !ReadColorTable(file_, globalCount, globalTable)) return Fail("Error reading GIF colormap");
  if (screenWidth == 0 || screenHeight == 0)
    return Fail(platform::FormatText("Error, invalid GIF screen size %d x %d.\nGiving up", screenWidth, screenHeight));

  for (;;) {
    const int block = std::getc(file_);
    if (block == EOF) return Fail("Unexpected EOF in GIF.");
    if (block == kExtensionIntroducer) {
      const int label = std::getc(file_);
      if (label == EOF) return Fail("Error on extension read.");
      // Graphic control, comment, plain text, application or unknown: none
      // changes the first image.
      SkipSubBlocks(file_);
      continue;
    }
    if (block == kImageSeparator) break;
    // The trailer ends the file: there is no image to describe.
    if (block == kTrailer) return Fail("Error on dimension read\nGiving up");
  }

  uint8_t raw[9];
  if (!ReadExact(file_, raw, sizeof raw)) return Fail("Error on dimension read\nGiving up");
  ImageDescriptor descriptor;
  descriptor.left = LoadLE16(raw);
  descriptor.top = LoadLE16(raw + 2);
  descriptor.width = LoadLE16(raw + 4);
  descriptor.height = LoadLE16(raw + 6);
  descriptor.interlaced = (raw[8] & 0x40) != 0;
  const bool hasLocal = (raw[8] & 0x80) != 0;
  std::array<uint8_t, 256 * 4> localTable{};
  const int localCount = hasLocal ? 2 << (raw[8] & 7) : 0;
  if (hasLocal && !ReadColorTable(file_, localCount, localTable)) return Fail("Error reading GIF colormap\nGiving up");

  // The image takes the table its first image uses.
  const std::array<uint8_t, 256 * 4>& table = hasLocal ? localTable : globalTable;
  const int tableCount = hasLocal ? localCount : globalCount;
  const int bits = tableCount == 2 ? 1 : 8;
  if (DIBStride(screenWidth, bits) * screenHeight > kMaxPixelBytes)
    return Fail(platform::FormatText("Error, GIF screen too large (%d x %d).\nGiving up", screenWidth, screenHeight));

  const int minCodeSize = std::getc(file_);
  if (minCodeSize < 1 || minCodeSize > 8)
    return Fail(hasLocal ? "Error reading GIF file\nLocalColorMap\nGiving up"
                         : "Error reading GIF file\ngifScr Colormap\nGiving up");

  // Decode into a bitmap of our own so that a failure leaves the caller's
  // image untouched.
  CDIBitmap decoded;
  if (!decoded.Create(screenWidth, screenHeight, bits, 2))
    return Fail(platform::FormatText("Error, not enough memory for a %d x %d GIF image.\nGiving up", screenWidth,
                                     screenHeight));
  if (tableCount > 0) {
    decoded.SetColorTable(table.data(), std::min(tableCount, decoded.GetPaletteSize()));
  } else {
    // No colour table anywhere: show every index as its gray level.
    std::array<uint8_t, 256 * 4> ramp{};
    for (int i = 0; i < 256; ++i) ramp[i * 4] = ramp[i * 4 + 1] = ramp[i * 4 + 2] = static_cast<uint8_t>(i);
    decoded.SetColorTable(ramp.data(), decoded.GetPaletteSize());
  }
  DecodeImage(file_, minCodeSize, descriptor, decoded);
  image_.Attach(decoded);
  return 1;
}

// Output of the LZW encoder: bytes gathered into sub-blocks of at most 254
// bytes (a length byte, then the bytes) in a buffer written out in large
// pieces.
class BlockWriter {
 public:
  explicit BlockWriter(std::FILE* file) : file_(file), buffer_(kBufferSize) {}

  void Raw(const uint8_t* bytes, size_t size) {
    if (used_ + size > buffer_.size()) Flush();
    if (size > buffer_.size()) {
      Write(bytes, size);
      return;
    }
    std::memcpy(buffer_.data() + used_, bytes, size);
    used_ += size;
  }

  void Byte(uint8_t byte) {
    if (blockLength_ == 0) {
      if (used_ + kMaxBlock + 1 > buffer_.size()) Flush();
      lengthAt_ = used_++;
    }
    buffer_[used_++] = byte;
    if (++blockLength_ == kMaxBlock) EndBlock();
  }

  // Closes the sub-block being filled, if any.
  void EndBlock() {
    if (blockLength_ == 0) return;
    buffer_[lengthAt_] = static_cast<uint8_t>(blockLength_);
    blockLength_ = 0;
  }

  void Flush() {
    if (used_ > 0) Write(buffer_.data(), used_);
    used_ = 0;
  }

  bool Ok() const { return ok_; }

 private:
  static constexpr size_t kBufferSize = size_t{1} << 16;
  static constexpr int kMaxBlock = 254;

  void Write(const uint8_t* bytes, size_t size) {
    if (ok_ && std::fwrite(bytes, 1, size, file_) != size) ok_ = false;
  }

  std::FILE* file_;
  std::vector<uint8_t> buffer_;
  size_t used_ = 0;
  size_t lengthAt_ = 0;
  int blockLength_ = 0;
  bool ok_ = true;
};

// GIF LZW encoder. Codes go out least significant bit first; the width
// grows when the next free code passes the largest code of the width, and
// the table is cleared (clear code sent) when it is full.
//
// The string table is a hash of (prefix code, pixel) pairs. The codes sent
// depend only on which strings the table holds, not on how it finds them,
// so the table is laid out for speed: 16384 slots (a quarter full at most,
// so a miss rarely probes more than once) found by a multiplicative hash
// and linear probing, each slot tagged with the generation of the table it
// belongs to, so that clearing the table is a counter step rather than a
// pass over every slot.
class LzwEncoder {
 public:
  LzwEncoder(BlockWriter& out, int minCodeSize)
      : out_(out), initBits_(minCodeSize + 1), clear_(1 << minCodeSize), end_(clear_ + 1) {
    width_ = initBits_;
    maxCode_ = (1 << width_) - 1;
    next_ = clear_ + 2;
    std::fill(std::begin(slots_), std::end(slots_), 0u);
    Output(clear_);
  }

  void Feed(const uint8_t* pixels, int count) {
    int i = 0;
    if (current_ < 0 && count > 0) current_ = pixels[i++];
    int current = current_;
    for (; i < count; ++i) {
      const uint32_t key = (uint32_t{pixels[i]} << kMaxCodeBits) | static_cast<uint32_t>(current);
      const uint32_t tagged = generation_ | key;
      uint32_t h = (key * 2654435761u) >> (32 - kHashBits);
      uint32_t slot;
      while ((slot = slots_[h]) >= generation_ && slot != tagged) h = (h + 1) & (kHashSize - 1);
      if (slot == tagged) {
        current = codes_[h];
        continue;
      }
      Output(current);
      current = pixels[i];
      if (next_ < kMaxCodes) {
        codes_[h] = static_cast<uint16_t>(next_++);
        slots_[h] = tagged;
      } else {
        NewGeneration();
        next_ = clear_ + 2;
        clearPending_ = true;
        Output(clear_);
      }
    }
    current_ = current;
  }

  void Finish() {
    if (current_ >= 0) Output(current_);
    Output(end_);
    while (bits_ > 0) {
      out_.Byte(static_cast<uint8_t>(accumulator_));
      accumulator_ >>= 8;
      bits_ -= 8;
    }
    bits_ = 0;
    out_.EndBlock();
  }

 private:
  static constexpr int kHashBits = 14;
  static constexpr uint32_t kHashSize = 1u << kHashBits;
  // A slot holds generation_ | key: keys take 20 bits (pixel << 12 | prefix),
  // generations count up from 1 << 20, so a slot of an older generation is
  // below generation_ and counts as empty.
  static constexpr uint32_t kGenerationStep = 1u << 20;

  void NewGeneration() {
    if (generation_ > UINT32_MAX - kGenerationStep) {
      std::fill(std::begin(slots_), std::end(slots_), 0u);
      generation_ = kGenerationStep;
    } else {
      generation_ += kGenerationStep;
    }
  }

  void Output(int code) {
    accumulator_ |= static_cast<uint32_t>(code) << bits_;
    bits_ += width_;
    while (bits_ >= 8) {
      out_.Byte(static_cast<uint8_t>(accumulator_));
      accumulator_ >>= 8;
      bits_ -= 8;
    }
    if (clearPending_) {
      width_ = initBits_;
      maxCode_ = (1 << width_) - 1;
      clearPending_ = false;
    } else if (next_ > maxCode_) {
      ++width_;
      maxCode_ = width_ == kMaxCodeBits ? kMaxCodes : (1 << width_) - 1;
    }
  }

  BlockWriter& out_;
  const int initBits_;
  const int clear_;
  const int end_;
  int width_ = 0;
  int maxCode_ = 0;
  int next_ = 0;
  bool clearPending_ = false;
  int current_ = -1;
  uint32_t accumulator_ = 0;
  int bits_ = 0;
  uint32_t generation_ = kGenerationStep;
  uint32_t slots_[kHashSize];
  uint16_t codes_[kHashSize];
};

int WriteIndexed(std::FILE* file, const CDIBitmap& image) {
  const int width = image.GetWidth();
  const int height = image.GetHeight();
  const int bits = image.GetBitCount();
  const int minCodeSize = std::max(bits, 2);
  const int entries = 1 << bits;

  BlockWriter out(file);
  uint8_t head[13 + 256 * 3 + 10 + 1];
  size_t size = 0;
  std::memcpy(head, "GIF87a", 6);
  StoreLE16(head + 6, width);
  StoreLE16(head + 8, height);
  head[10] = static_cast<uint8_t>(0x80 | ((bits - 1) << 4) | (bits - 1));
  head[11] = 0;  // background
  head[12] = 0;  // aspect
  size = 13;
  uint8_t table[256 * 4];
  image.GetColorTable(table, entries);
  for (int i = 0; i < entries; ++i) {
    head[size++] = table[i * 4 + 2];
    head[size++] = table[i * 4 + 1];
    head[size++] = table[i * 4 + 0];
  }
  head[size++] = kImageSeparator;
  StoreLE16(head + size, 0);
  StoreLE16(head + size + 2, 0);
  StoreLE16(head + size + 4, width);
  StoreLE16(head + size + 6, height);
  head[size + 8] = 0;  // no local table, not interlaced
  size += 9;
  head[size++] = static_cast<uint8_t>(minCodeSize);
  out.Raw(head, size);

  auto encoder = std::make_unique<LzwEncoder>(out, minCodeSize);
  std::vector<uint8_t> indices(bits == 1 ? static_cast<size_t>(width) : 0);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = image.RowPointer(y);
    if (bits == 1) {
      for (int x = 0; x < width; ++x) indices[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
      row = indices.data();
    }
    encoder->Feed(row, width);
  }
  encoder->Finish();
  const uint8_t tail[] = {0, kTrailer};
  out.Raw(tail, sizeof tail);
  out.Flush();
  return out.Ok() ? 1 : 0;
}

}  // namespace

int GIFReadStream(std::FILE* file, CDIBitmap& image, const std::string& name) {
  if (!file) return 0;
  try {
    return GifReader(file, image, name).Read();
  } catch (const std::bad_alloc&) {
    return Fail("Error, not enough memory for the GIF image.\nGiving up");
  }
}

int GIFRead(const std::string& path, CDIBitmap& image) {
  if (path.empty()) return Fail("No Name Given");
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return Fail("Cant open GIF :\n" + path);
  const int result = GIFReadStream(file, image, path);
  std::fclose(file);
  return result;
}

int GIFWrite(const std::string& path, const CDIBitmap& image) {
  if (!image.IsAllocated()) return 0;
  const int width = image.GetWidth();
  const int height = image.GetHeight();
  if (width > kMaxSide || height > kMaxSide) {
    platform::ShowMessage(platform::FormatText("GIF can't hold a %d x %d image", width, height));
    return 0;
  }

  // Deeper images go out through a palette copy; the image stays as it is.
  CDIBitmap reduced;
  const CDIBitmap* source = &image;
  if (image.GetBitCount() != 1 && image.GetBitCount() != 8) {
    if (!reduced.Create(width, height, 8, 2)) {
      platform::ShowMessage("Not enough memory to reduce the image for GIF");
      return 0;
    }
    if (GL_ConvertToIndexed(reduced, image, kPaletteAdaptive, kDitherDiffusion) != kResultOk) return 0;
    source = &reduced;
  }

  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    platform::ShowMessage("Can't open GIF for writing");
    return 0;
  }
  int ok = 0;
  try {
    ok = WriteIndexed(file, *source);
  } catch (const std::bad_alloc&) {
    ok = 0;
  }
  if (std::fflush(file) != 0 || std::ferror(file)) ok = 0;
  if (std::fclose(file) != 0) ok = 0;
  if (!ok) {
    platform::ShowMessage("Write Error in GIF file");
    return 0;
  }
  return 1;
}
