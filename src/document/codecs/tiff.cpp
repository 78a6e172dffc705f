#include "document/codecs/tiff.h"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <climits>
#include <memory>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "document/codecs/png_tiff_rows.h"
#include "image/dibitmap.h"
#include "platform/messages.h"

namespace {

using codec_rows::SwapRgbRow;

// Largest pixel block, strip or tile the reader allocates.
constexpr int64_t kMaxBufferBytes = int64_t{1} << 30;
// libtiff's own allocations are held to the same bound, plus room for its tables.
constexpr tmsize_t kMaxLibraryAlloc = (tmsize_t{1} << 30) + (tmsize_t{1} << 24);

// Keeps the latest error libtiff or the converter reports for one open
// file: the one that stopped the read (libtiff also reports tags it skips
// and goes on). Warnings are dropped. Nothing reaches stderr.
struct TiffMessages {
  std::string lastError;

  void Record(const std::string& text) { lastError = text; }
};

std::string FormatArgs(const char* format, va_list args) {
  char buffer[1024];
  std::vsnprintf(buffer, sizeof buffer, format ? format : "", args);
  return buffer;
}

int ErrorHandler(TIFF*, void* user, const char* module, const char* format, va_list args) {
  const std::string text = FormatArgs(format, args);
  static_cast<TiffMessages*>(user)->Record(module && *module ? std::string(module) + ": " + text : text);
  return 1;  // handled: the process-wide handlers never see it
}

int WarningHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Per-file handlers and an allocation bound, given to libtiff at open.
class OpenOptions {
 public:
  explicit OpenOptions(TiffMessages& messages) : options_(TIFFOpenOptionsAlloc()) {
    TIFFOpenOptionsSetErrorHandlerExtR(options_, ErrorHandler, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options_, WarningHandler, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options_, kMaxLibraryAlloc);
  }
  ~OpenOptions() { TIFFOpenOptionsFree(options_); }
  OpenOptions(const OpenOptions&) = delete;
  OpenOptions& operator=(const OpenOptions&) = delete;
  TIFFOpenOptions* get() const { return options_; }

 private:
  TIFFOpenOptions* options_;
};

// A file image in memory, read through libtiff's client interface.
struct MemoryFile {
  const uint8_t* data;
  uint64_t size;
  uint64_t pos = 0;
};

tmsize_t MemoryRead(thandle_t handle, void* buffer, tmsize_t size) {
  auto* m = static_cast<MemoryFile*>(handle);
  if (size <= 0 || m->pos >= m->size) return 0;
  const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(size), m->size - m->pos);
  std::memcpy(buffer, m->data + m->pos, n);
  m->pos += n;
  return static_cast<tmsize_t>(n);
}
tmsize_t MemoryWrite(thandle_t, void*, tmsize_t) { return 0; }
toff_t MemorySeek(thandle_t handle, toff_t offset, int whence) {
  auto* m = static_cast<MemoryFile*>(handle);
  uint64_t base = 0;
  if (whence == SEEK_CUR) base = m->pos;
  if (whence == SEEK_END) base = m->size;
  // Offsets are unsigned; a negative relative seek arrives wrapped around.
  const uint64_t target = base + offset;
  if (whence != SEEK_SET && static_cast<int64_t>(offset) < 0 && target > base) return static_cast<toff_t>(-1);
  m->pos = target;
  return target;
}
int MemoryClose(thandle_t) { return 0; }
toff_t MemorySize(thandle_t handle) { return static_cast<MemoryFile*>(handle)->size; }
int MemoryMap(thandle_t handle, void** base, toff_t* size) {
  auto* m = static_cast<MemoryFile*>(handle);
  *base = const_cast<uint8_t*>(m->data);
  *size = m->size;
  return 1;
}
void MemoryUnmap(thandle_t, void*, toff_t) {}

// How decoded samples become bitmap rows; chosen once per image.
enum class RowKind {
  kBits1,    // 1 bit, 1 sample: copied
  kUnpack2,  // 2 bits, 1 sample: one byte per pixel through the unpacking table
  kUnpack4,  // 4 bits, 1 sample
  kCopy8,    // 8 bits, 1 sample
  kGray16,   // 16 bits, 1 sample: reduced
  kRgb8,     // 8 bits, 3 or 4 samples: red, green, blue (, extra) to blue, green, red
  kRgb16,
  kCmyk8,    // 8 bits, 4 samples: copied
  kCmyk16,
  kYCbCr,    // packed YCbCr blocks, converted a block row at a time
};

// 16-bit sample to 8 bits: v x 255 / 65535, integer division (as colour maps).
const std::array<uint8_t, 65536>& Reduce16Table() {
  static const std::array<uint8_t, 65536> table = [] {
    std::array<uint8_t, 65536> t{};
    for (uint32_t v = 0; v < 65536; ++v) t[v] = static_cast<uint8_t>(v * 255 / 65535);
    return t;
  }();
  return table;
}

// Bytes of `pixels` pixels stored as whole units of `unitPixels` pixels
// and `unitBits` bits each, rounded up to a byte.
int64_t LineBytes(int64_t pixels, int64_t unitPixels, int64_t unitBits) {
  return ((pixels + unitPixels - 1) / unitPixels * unitBits + 7) / 8;
}

class TiffReader {
 public:
  TiffReader(TIFF* tif, TiffMessages& messages) : tif_(tif), messages_(messages) {}
  // Decodes into a bitmap of its own and attaches it to image on success.
  bool Read(CDIBitmap& image);

 private:
  bool Fail(const std::string& text) {
    messages_.Record(text);
    return false;
  }
  // A strip or tile libtiff refused: its own error says why, when it gave one.
  bool FailLibrary() { return messages_.lastError.empty() ? Fail("Can not handle format") : false; }
  bool ReadTags();
  bool ChooseKind();
  void SetGrayTable(CDIBitmap& out) const;
  bool SetPaletteTable(CDIBitmap& out);
  bool ReadStrips(CDIBitmap& out);
  bool ReadTiles(CDIBitmap& out);
  void Interleave(const std::vector<uint8_t*>& planes, int64_t lines, uint8_t* band) const;
  void ConvertBand(const uint8_t* band, int64_t firstRow, int64_t rows, CDIBitmap& out) const;
  void ConvertRow(const uint8_t* src, uint8_t* dst) const;
  void ConvertRowInPlace(uint8_t* row) const;
  void ConvertYCbCrBand(const uint8_t* band, int64_t firstRow, int64_t rows, CDIBitmap& out) const;
  int ImageRow(int64_t fileRow) const { return static_cast<int>(bottomUp_ ? height_ - 1 - fileRow : fileRow); }
  // Bytes of one chunky line (lineRows_ image rows) across the whole image.
  int64_t ImageLineBytes() const { return LineBytes(width_, unitPixels_, unitBits_); }

  TIFF* tif_;
  TiffMessages& messages_;
  uint16_t bits_ = 1;
  uint16_t samples_ = 1;
  uint16_t photometric_ = PHOTOMETRIC_MINISBLACK;
  uint16_t compression_ = COMPRESSION_NONE;
  int64_t width_ = 0;
  int64_t height_ = 0;
  bool separate_ = false;
  bool bottomUp_ = false;
  RowKind kind_ = RowKind::kCopy8;
  int outBits_ = 8;
  int outOptions_ = 0;
  // Chunky layout: lines of lineRows_ rows, made of units of unitPixels_
  // pixels and unitBits_ bits (one pixel of all samples, or one YCbCr block).
  int64_t lineRows_ = 1;
  int64_t unitPixels_ = 1;
  int64_t unitBits_ = 8;
  uint16_t subH_ = 1, subV_ = 1;
  std::vector<uint8_t> unpack_;          // per byte value, its 8 / bits pixels
  std::vector<int64_t> ycbcrStorage_;    // libtiff's YCbCr conversion tables
  TIFFYCbCrToRGB* ycbcr_ = nullptr;
};

bool TiffReader::ReadTags() {
  TIFFGetFieldDefaulted(tif_, TIFFTAG_BITSPERSAMPLE, &bits_);
  switch (bits_) {
    case 1: case 2: case 4: case 8: case 16:
      break;
    default:
      return Fail(platform::FormatText("Sorry, can not handle %d-bit pictures", bits_));
  }
  TIFFGetFieldDefaulted(tif_, TIFFTAG_SAMPLESPERPIXEL, &samples_);
  if (samples_ != 1 && samples_ != 3 && samples_ != 4)
    return Fail(platform::FormatText("Sorry, can not handle %d-channel images", samples_));
  uint32_t width = 0, height = 0;
  TIFFGetField(tif_, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif_, TIFFTAG_IMAGELENGTH, &height);
  width_ = width;
  height_ = height;

  if (!TIFFGetField(tif_, TIFFTAG_PHOTOMETRIC, &photometric_)) {
    switch (samples_) {
      case 1: photometric_ = PHOTOMETRIC_MINISBLACK; break;  // warning "assuming min-is-black", dropped
      case 3: case 4: photometric_ = PHOTOMETRIC_RGB; break;  // warning "assuming RGB", dropped
      default: return Fail("Missing needed \"PhotometricInterpretation\" tag");
    }
  }
  uint16_t planar = PLANARCONFIG_CONTIG;
  TIFFGetFieldDefaulted(tif_, TIFFTAG_PLANARCONFIG, &planar);
  separate_ = planar == PLANARCONFIG_SEPARATE && samples_ >= 2;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif_, TIFFTAG_ORIENTATION, &orientation);
  // 3, 7 and 8 are read as bottom-left, 2, 5 and 6 as top-left (warnings dropped).
  bottomUp_ = orientation == ORIENTATION_BOTLEFT || orientation == ORIENTATION_BOTRIGHT ||
              orientation == ORIENTATION_RIGHTBOT || orientation == ORIENTATION_LEFTBOT;
  TIFFGetFieldDefaulted(tif_, TIFFTAG_COMPRESSION, &compression_);
  return true;
}

bool TiffReader::ChooseKind() {
  const auto cannot = [this] { return Fail("Can not handle format"); };
  unitBits_ = int64_t{bits_} * samples_;
  switch (photometric_) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_PALETTE: {
      const bool palette = photometric_ == PHOTOMETRIC_PALETTE;
      if (samples_ != 1 || (palette && bits_ > 8)) return cannot();
      outBits_ = bits_ == 1 ? 1 : 8;
      outOptions_ = palette || bits_ == 1 ? 2 : 1;
      switch (bits_) {
        case 1: kind_ = RowKind::kBits1; break;
        case 2: kind_ = RowKind::kUnpack2; break;
        case 4: kind_ = RowKind::kUnpack4; break;
        case 8: kind_ = RowKind::kCopy8; break;
        default: kind_ = RowKind::kGray16; break;
      }
      break;
    }
    case PHOTOMETRIC_RGB:
      if (samples_ < 3 || bits_ < 8) return cannot();
      kind_ = bits_ == 8 ? RowKind::kRgb8 : RowKind::kRgb16;
      outBits_ = 24;
      break;
    case PHOTOMETRIC_SEPARATED: {
      uint16_t inkSet = INKSET_CMYK;
      TIFFGetFieldDefaulted(tif_, TIFFTAG_INKSET, &inkSet);
      if (samples_ != 4 || bits_ < 8 || inkSet != INKSET_CMYK) return cannot();
      kind_ = bits_ == 8 ? RowKind::kCmyk8 : RowKind::kCmyk16;
      outBits_ = 32;
      outOptions_ = 3;
      break;
    }
    case PHOTOMETRIC_YCBCR: {
      if (samples_ != 3 || bits_ != 8) return cannot();
      outBits_ = 24;
      if (compression_ == COMPRESSION_JPEG) {
        // libtiff's JPEG codec converts to RGB and upsamples.
        if (separate_ || !TIFFSetField(tif_, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB)) return cannot();
        kind_ = RowKind::kRgb8;
        break;
      }
      if (separate_) return cannot();
      TIFFGetFieldDefaulted(tif_, TIFFTAG_YCBCRSUBSAMPLING, &subH_, &subV_);
      const auto valid = [](uint16_t f) { return f == 1 || f == 2 || f == 4; };
      if (!valid(subH_) || !valid(subV_)) return cannot();
      float* coefficients = nullptr;
      float* referenceBlackWhite = nullptr;
      if (!TIFFGetFieldDefaulted(tif_, TIFFTAG_YCBCRCOEFFICIENTS, &coefficients) ||
          !TIFFGetFieldDefaulted(tif_, TIFFTAG_REFERENCEBLACKWHITE, &referenceBlackWhite) || !coefficients ||
          !referenceBlackWhite)
        return cannot();
      // The table block as libtiff lays it out: the header, a 1024-entry clamp
      // table, two int and three int32 tables of 256 entries.
      const size_t bytes = sizeof(TIFFYCbCrToRGB) + sizeof(long) + 4 * 256 * sizeof(TIFFRGBValue) +
                           2 * 256 * sizeof(int) + 3 * 256 * sizeof(int32_t);
      ycbcrStorage_.assign(bytes / sizeof(int64_t) + 1, 0);
      ycbcr_ = reinterpret_cast<TIFFYCbCrToRGB*>(ycbcrStorage_.data());
      if (TIFFYCbCrToRGBInit(ycbcr_, coefficients, referenceBlackWhite) < 0)
        return Fail("No space for photometric conversion table");
      kind_ = RowKind::kYCbCr;
      lineRows_ = subV_;
      unitPixels_ = subH_;
      unitBits_ = (int64_t{subH_} * subV_ + 2) * 8;
      break;
    }
    default:
      return Fail("Not Supported PhotometricInterpretation");
  }
  if (kind_ == RowKind::kUnpack2 || kind_ == RowKind::kUnpack4) {
    const int perByte = 8 / bits_;
    const int mask = (1 << bits_) - 1;
    unpack_.resize(256 * perByte);
    for (int v = 0; v < 256; ++v)
      for (int i = 0; i < perByte; ++i) unpack_[v * perByte + i] = (v >> (8 - bits_ * (i + 1))) & mask;
  }
  return true;
}

void TiffReader::SetGrayTable(CDIBitmap& out) const {
  const bool white = photometric_ == PHOTOMETRIC_MINISWHITE;
  int range = 255;
  int count = 256;
  if (bits_ <= 8) {
    const int full = (1 << bits_) - 1;
    count = full + 1;
    if (bits_ == 1) {
      range = 1;
    } else {
      uint16_t minValue = 0, maxValue = static_cast<uint16_t>(full);
      TIFFGetFieldDefaulted(tif_, TIFFTAG_MINSAMPLEVALUE, &minValue);
      TIFFGetFieldDefaulted(tif_, TIFFTAG_MAXSAMPLEVALUE, &maxValue);
      range = int{maxValue} - int{minValue};
      // A range of nothing would divide by zero; one beyond the samples cannot occur.
      if (range <= 0 || range > full) range = full;
    }
  }
  std::array<uint8_t, 256 * 4> table{};
  for (int i = 0; i < count; ++i) {
    const int level = i <= range ? (white ? range - i : i) * 255 / range : (white ? 255 - i : i);
    table[i * 4] = table[i * 4 + 1] = table[i * 4 + 2] = static_cast<uint8_t>(level);
  }
  out.SetColorTable(table.data(), count);
}

bool TiffReader::SetPaletteTable(CDIBitmap& out) {
  uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (!TIFFGetField(tif_, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
    return Fail("Missing required \"Colormap\" tag");
  const int count = 1 << bits_;  // libtiff holds 2^bits entries per array
  bool eightBit = true;
  for (int i = 0; i < count && eightBit; ++i) eightBit = red[i] < 256 && green[i] < 256 && blue[i] < 256;
  const auto scale = [eightBit](uint16_t v) {
    return static_cast<uint8_t>(eightBit ? v : uint32_t{v} * 255 / 65535);
  };
  std::array<uint8_t, 256 * 4> table{};
  for (int i = 0; i < count; ++i) {
    table[i * 4] = scale(blue[i]);
    table[i * 4 + 1] = scale(green[i]);
    table[i * 4 + 2] = scale(red[i]);
  }
  out.SetColorTable(table.data(), std::min(count, out.GetPaletteSize()));
  return true;
}

template <int Samples>
void RgbRow8(const uint8_t* src, uint8_t* dst, int64_t width) {
  for (int64_t x = 0; x < width; ++x, src += Samples, dst += 3) {
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
  }
}

template <int Samples>
void RgbRow16(const uint16_t* src, uint8_t* dst, int64_t width, const uint8_t* reduce) {
  for (int64_t x = 0; x < width; ++x, src += Samples, dst += 3) {
    dst[0] = reduce[src[2]];
    dst[1] = reduce[src[1]];
    dst[2] = reduce[src[0]];
  }
}

void ReduceRow16(const uint16_t* src, uint8_t* dst, int64_t count, const uint8_t* reduce) {
  for (int64_t i = 0; i < count; ++i) dst[i] = reduce[src[i]];
}

void TiffReader::ConvertRow(const uint8_t* src, uint8_t* dst) const {
  const int64_t w = width_;
  const uint8_t* reduce = Reduce16Table().data();
  // 16-bit samples: the band buffers are 8-byte aligned and every line
  // length is even, so the rows are aligned for 16-bit access.
  const auto* src16 = reinterpret_cast<const uint16_t*>(src);
  switch (kind_) {
    case RowKind::kBits1: {
      const int64_t bytes = (w + 7) / 8;
      std::memcpy(dst, src, static_cast<size_t>(bytes));
      // Bits past the last pixel are not part of the picture.
      if (w % 8) dst[bytes - 1] &= static_cast<uint8_t>(0xFF << (8 - w % 8));
      break;
    }
    case RowKind::kUnpack2:
    case RowKind::kUnpack4: {
      const int perByte = 8 / bits_;
      const int64_t whole = w / perByte;
      for (int64_t i = 0; i < whole; ++i) std::memcpy(dst + i * perByte, &unpack_[src[i] * perByte], perByte);
      const int64_t rest = w - whole * perByte;
      if (rest) std::memcpy(dst + whole * perByte, &unpack_[src[whole] * perByte], static_cast<size_t>(rest));
      break;
    }
    case RowKind::kCopy8: std::memcpy(dst, src, static_cast<size_t>(w)); break;
    case RowKind::kGray16: ReduceRow16(src16, dst, w, reduce); break;
    case RowKind::kRgb8:
      if (samples_ == 3) SwapRgbRow(src, dst, w);
      else RgbRow8<4>(src, dst, w);
      break;
    case RowKind::kRgb16:
      if (samples_ == 3) RgbRow16<3>(src16, dst, w, reduce);
      else RgbRow16<4>(src16, dst, w, reduce);
      break;
    case RowKind::kCmyk8: std::memcpy(dst, src, static_cast<size_t>(w * 4)); break;
    case RowKind::kCmyk16: ReduceRow16(src16, dst, w * 4, reduce); break;
    case RowKind::kYCbCr: break;  // converted a band at a time
  }
}

// A row read straight into the bitmap: the kinds whose samples already
// have the bitmap's size and place (copied, 1-bit and 3-sample RGB rows).
void TiffReader::ConvertRowInPlace(uint8_t* row) const {
  if (kind_ == RowKind::kRgb8) {
    SwapRgbRow(row, row, width_);
  } else if (kind_ == RowKind::kBits1 && width_ % 8) {
    // Bits past the last pixel are not part of the picture.
    row[(width_ + 7) / 8 - 1] &= static_cast<uint8_t>(0xFF << (8 - width_ % 8));
  }
}

void TiffReader::ConvertYCbCrBand(const uint8_t* band, int64_t firstRow, int64_t rows, CDIBitmap& out) const {
  const int64_t blockSamples = int64_t{subH_} * subV_ + 2;
  const int64_t blocks = (width_ + subH_ - 1) / subH_;
  const int64_t lineBytes = ImageLineBytes();
  for (int64_t line = 0; line * subV_ < rows; ++line) {
    const uint8_t* src = band + line * lineBytes;
    for (int64_t j = 0; j < subV_; ++j) {
      const int64_t row = line * subV_ + j;
      if (row >= rows) break;
      uint8_t* dst = out.RowPointer(ImageRow(firstRow + row));
      for (int64_t b = 0; b < blocks; ++b) {
        const uint8_t* block = src + b * blockSamples;
        const int32_t cb = block[blockSamples - 2], cr = block[blockSamples - 1];
        const int64_t count = std::min<int64_t>(subH_, width_ - b * subH_);
        for (int64_t i = 0; i < count; ++i) {
          uint32_t r, g, bl;
          TIFFYCbCrtoRGB(ycbcr_, block[j * subH_ + i], cb, cr, &r, &g, &bl);
          uint8_t* p = dst + (b * subH_ + i) * 3;
          p[0] = static_cast<uint8_t>(bl);
          p[1] = static_cast<uint8_t>(g);
          p[2] = static_cast<uint8_t>(r);
        }
      }
    }
  }
}

void TiffReader::ConvertBand(const uint8_t* band, int64_t firstRow, int64_t rows, CDIBitmap& out) const {
  if (kind_ == RowKind::kYCbCr) {
    ConvertYCbCrBand(band, firstRow, rows, out);
    return;
  }
  const int64_t lineBytes = ImageLineBytes();
  for (int64_t i = 0; i < rows; ++i) ConvertRow(band + i * lineBytes, out.RowPointer(ImageRow(firstRow + i)));
}

// Planes of one band, one sample each, into chunky lines.
void TiffReader::Interleave(const std::vector<uint8_t*>& planes, int64_t lines, uint8_t* band) const {
  const int64_t n = width_ * lines;
  const int spp = samples_;
  if (bits_ == 8) {
    for (int s = 0; s < spp; ++s) {
      const uint8_t* src = planes[s];
      uint8_t* dst = band + s;
      for (int64_t i = 0; i < n; ++i) dst[i * spp] = src[i];
    }
  } else {
    for (int s = 0; s < spp; ++s) {
      const auto* src = reinterpret_cast<const uint16_t*>(planes[s]);
      auto* dst = reinterpret_cast<uint16_t*>(band) + s;
      for (int64_t i = 0; i < n; ++i) dst[i * spp] = src[i];
    }
  }
}

// An 8-byte aligned buffer of `bytes` bytes, left uninitialised: every
// strip or tile read into it is either complete or has its tail cleared.
using Buffer = std::unique_ptr<uint64_t[]>;
uint8_t* AlignedBuffer(Buffer& storage, int64_t bytes) {
  storage.reset(new uint64_t[static_cast<size_t>(bytes / 8 + 1)]);
  return reinterpret_cast<uint8_t*>(storage.get());
}

bool TiffReader::ReadStrips(CDIBitmap& out) {
  uint32_t rowsPerStrip = 0;
  TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  int64_t rps = rowsPerStrip == 0 || rowsPerStrip > height_ ? height_ : rowsPerStrip;
  // Packed YCbCr strips hold whole block rows.
  if (rps % lineRows_ != 0 && rps < height_) return Fail("Can not handle format");
  const int64_t bandLines = (rps + lineRows_ - 1) / lineRows_;
  const int64_t lineBytes = ImageLineBytes();
  const int planes = separate_ ? samples_ : 1;
  const int64_t planeLineBytes = separate_ ? LineBytes(width_, 1, bits_) : lineBytes;
  if (bandLines * lineBytes > kMaxBufferBytes) return Fail("No space for strip buffer");

  Buffer bandStorage;
  uint8_t* band = AlignedBuffer(bandStorage, bandLines * lineBytes);
  std::vector<Buffer> planeStorage(separate_ ? planes : 0);
  std::vector<uint8_t*> planeBands;
  for (Buffer& p : planeStorage) planeBands.push_back(AlignedBuffer(p, bandLines * planeLineBytes));

  const int64_t strips = (height_ + rps - 1) / rps;
  // Strips of one row whose samples fit the bitmap row are read straight
  // into it and converted there, while the row is still in the cache.
  const bool direct = rps == 1 && !separate_ && lineBytes <= out.GetRowBytes() &&
                      (kind_ == RowKind::kCopy8 || kind_ == RowKind::kCmyk8 || kind_ == RowKind::kBits1 ||
                       (kind_ == RowKind::kRgb8 && samples_ == 3));
  for (int64_t s = 0; direct && s < strips; ++s) {
    uint8_t* row = out.RowPointer(ImageRow(s));
    const tmsize_t want = static_cast<tmsize_t>(lineBytes);
    const tmsize_t got = TIFFReadEncodedStrip(tif_, static_cast<uint32_t>(s), row, want);
    if (got < 0) return FailLibrary();
    if (got < want) std::memset(row + got, 0, static_cast<size_t>(want - got));
    ConvertRowInPlace(row);
  }
  for (int64_t s = 0; !direct && s < strips; ++s) {
    const int64_t first = s * rps;
    const int64_t rows = std::min(rps, height_ - first);
    const int64_t lines = (rows + lineRows_ - 1) / lineRows_;
    for (int p = 0; p < planes; ++p) {
      uint8_t* target = separate_ ? planeBands[p] : band;
      const tmsize_t want = static_cast<tmsize_t>(lines * planeLineBytes);
      const tmsize_t got = TIFFReadEncodedStrip(tif_, static_cast<uint32_t>(p * strips + s), target, want);
      if (got < 0) return FailLibrary();
      if (got < want) std::memset(target + got, 0, static_cast<size_t>(want - got));
    }
    if (separate_) Interleave(planeBands, lines, band);
    ConvertBand(band, first, rows, out);
  }
  return true;
}

bool TiffReader::ReadTiles(CDIBitmap& out) {
  uint32_t tileWidth = 0, tileLength = 0;
  TIFFGetField(tif_, TIFFTAG_TILEWIDTH, &tileWidth);
  TIFFGetField(tif_, TIFFTAG_TILELENGTH, &tileLength);
  const int64_t tw = tileWidth, th = tileLength;
  const int64_t bits = separate_ ? bits_ : unitBits_;  // bits per unit within one tile plane
  // Tiles must start on whole units and bytes, and hold whole block rows.
  if (tw == 0 || th == 0 || tw % unitPixels_ != 0 || (tw / unitPixels_ * bits) % 8 != 0 || th % lineRows_ != 0)
    return Fail("Can not handle format");
  const int64_t tileLineBytes = tw / unitPixels_ * bits / 8;
  const int64_t tileLines = th / lineRows_;
  if (tileLines * tileLineBytes > kMaxBufferBytes) return Fail("No space for tile buffer");
  const int64_t bandRows = std::min(th, height_);
  const int64_t bandLines = (bandRows + lineRows_ - 1) / lineRows_;
  const int64_t lineBytes = ImageLineBytes();
  const int planes = separate_ ? samples_ : 1;
  const int64_t planeLineBytes = separate_ ? LineBytes(width_, 1, bits_) : lineBytes;
  if (bandLines * lineBytes > kMaxBufferBytes) return Fail("No space for tile buffer");

  Buffer tileStorage, bandStorage;
  uint8_t* tile = AlignedBuffer(tileStorage, tileLines * tileLineBytes);
  uint8_t* band = AlignedBuffer(bandStorage, bandLines * lineBytes);
  std::vector<Buffer> planeStorage(separate_ ? planes : 0);
  std::vector<uint8_t*> planeBands;
  for (Buffer& p : planeStorage) planeBands.push_back(AlignedBuffer(p, bandLines * planeLineBytes));

  for (int64_t y0 = 0; y0 < height_; y0 += th) {
    const int64_t rows = std::min(th, height_ - y0);
    const int64_t lines = (rows + lineRows_ - 1) / lineRows_;
    for (int p = 0; p < planes; ++p) {
      uint8_t* target = separate_ ? planeBands[p] : band;
      for (int64_t x0 = 0; x0 < width_; x0 += tw) {
        const uint32_t index = TIFFComputeTile(tif_, static_cast<uint32_t>(x0), static_cast<uint32_t>(y0), 0,
                                               static_cast<uint16_t>(p));
        const tmsize_t want = static_cast<tmsize_t>(tileLines * tileLineBytes);
        const tmsize_t got = TIFFReadEncodedTile(tif_, index, tile, want);
        if (got < 0) return FailLibrary();
        if (got < want) std::memset(tile + got, 0, static_cast<size_t>(want - got));
        const int64_t offset = x0 / unitPixels_ * bits / 8;
        const int64_t n = std::min(tileLineBytes, planeLineBytes - offset);
        for (int64_t l = 0; l < lines; ++l)
          std::memcpy(target + l * planeLineBytes + offset, tile + l * tileLineBytes, static_cast<size_t>(n));
      }
    }
    if (separate_) Interleave(planeBands, lines, band);
    ConvertBand(band, y0, rows, out);
  }
  return true;
}

bool TiffReader::Read(CDIBitmap& image) {
  if (!ReadTags() || !ChooseKind()) return false;
  if (width_ <= 0 || height_ <= 0 || width_ > INT_MAX || height_ > INT_MAX ||
      DIBStride(width_, outBits_) * height_ > kMaxBufferBytes)
    return Fail(platform::FormatText("Sorry, can not handle %u x %u pictures", static_cast<unsigned>(width_),
                                     static_cast<unsigned>(height_)));

  CDIBitmap decoded;
  if (!decoded.Create(static_cast<int>(width_), static_cast<int>(height_), outBits_, outOptions_))
    return Fail(platform::FormatText("Sorry, can not handle %u x %u pictures", static_cast<unsigned>(width_),
                                     static_cast<unsigned>(height_)));
  if (photometric_ == PHOTOMETRIC_PALETTE) {
    if (!SetPaletteTable(decoded)) return false;
  } else if (photometric_ == PHOTOMETRIC_MINISWHITE || photometric_ == PHOTOMETRIC_MINISBLACK) {
    SetGrayTable(decoded);
  }
  if (!(TIFFIsTiled(tif_) ? ReadTiles(decoded) : ReadStrips(decoded))) return false;
  image.Attach(decoded);
  return true;
}

// Reads the open file and reports the outcome; closes the file.
int ReadOpened(TIFF* tif, TiffMessages& messages, CDIBitmap& image) {
  bool ok = false;
  try {
    ok = TiffReader(tif, messages).Read(image);
  } catch (const std::bad_alloc&) {
    messages.Record("No space for strip buffer");
  }
  TIFFClose(tif);
  if (!ok) platform::ShowMessage(messages.lastError.empty() ? std::string("Can not handle format")
                                                             : messages.lastError);
  return ok ? 1 : 0;
}

}  // namespace

int TIFRead(const std::string& path, CDIBitmap& image) {
  TiffMessages messages;
  OpenOptions options(messages);
  TIFF* tif = TIFFOpenExt(path.c_str(), "r", options.get());
  if (!tif) {
    platform::ShowMessage(platform::FormatText("error opening TIFF file %s", path.c_str()));
    return 0;
  }
  return ReadOpened(tif, messages, image);
}

int TIFReadMemory(const uint8_t* data, size_t size, CDIBitmap& image) {
  TiffMessages messages;
  OpenOptions options(messages);
  MemoryFile file{data, size};
  TIFF* tif = TIFFClientOpenExt("memory", "r", &file, MemoryRead, MemoryWrite, MemorySeek, MemoryClose, MemorySize,
                                MemoryMap, MemoryUnmap, options.get());
  if (!tif) {
    platform::ShowMessage(platform::FormatText("error opening TIFF file %s", "memory"));
    return 0;
  }
  return ReadOpened(tif, messages, image);
}

int TIFWrite(const std::string& path, const CDIBitmap& image, int compression) {
  if (!image.IsAllocated()) return 0;
  const int bits = image.GetBitCount();
  if (bits != 1 && bits != 8 && bits != 24 && bits != 32) return 0;
  if (compression < kTifNone || compression > kTifFax4) return 0;

  TiffMessages messages;
  OpenOptions options(messages);
  TIFF* tif = TIFFOpenExt(path.c_str(), "w", options.get());
  if (!tif) {
    platform::ShowMessage(platform::FormatText("error opening TIFF file %s", path.c_str()));
    return 0;
  }
  const int width = image.GetWidth();
  const int height = image.GetHeight();
  const int64_t rowBytes = image.GetRowBytes();

  static constexpr uint16_t kCompression[] = {COMPRESSION_NONE, COMPRESSION_PACKBITS, COMPRESSION_CCITTFAX3,
                                              COMPRESSION_CCITTFAX4};
  TIFFSetField(tif, TIFFTAG_COMPRESSION, kCompression[compression]);
  // Group 4 files carry no Group3Options: libtiff knows that tag only for Group 3.
  if (compression == kTifFax3) TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, uint32_t{GROUP3OPT_2DENCODING});
  if (compression == kTifFax4) TIFFSetField(tif, TIFFTAG_GROUP4OPTIONS, uint32_t{GROUP4OPT_UNCOMPRESSED});
  TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
  TIFFSetField(tif, TIFFTAG_MINSAMPLEVALUE, uint16_t{0});
  TIFFSetField(tif, TIFFTAG_MAXSAMPLEVALUE, uint16_t{255});
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(std::max<int64_t>(1, 8192 / rowBytes)));

  uint16_t samples = 1, photometric = PHOTOMETRIC_PALETTE;
  switch (bits) {
    case 1: break;
    case 8: {
      const int ramp = image.GetGrayRampType();
      photometric = ramp == 1 ? PHOTOMETRIC_MINISBLACK : ramp == 2 ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_PALETTE;
      break;
    }
    case 24: samples = 3, photometric = PHOTOMETRIC_RGB; break;
    default: samples = 4, photometric = PHOTOMETRIC_SEPARATED; break;
  }
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(bits <= 8 ? bits : 8));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
  if (photometric == PHOTOMETRIC_PALETTE) {
    const int entries = image.GetPaletteSize();
    std::vector<uint8_t> table(static_cast<size_t>(entries) * 4);
    image.GetColorTable(table.data(), entries);
    std::vector<uint16_t> red(entries), green(entries), blue(entries);
    for (int i = 0; i < entries; ++i) {
      red[i] = static_cast<uint16_t>(table[i * 4 + 2] * 65535 / 255);
      green[i] = static_cast<uint16_t>(table[i * 4 + 1] * 65535 / 255);
      blue[i] = static_cast<uint16_t>(table[i * 4] * 65535 / 255);
    }
    TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
  }

  bool ok = true;
  std::vector<uint8_t> row(static_cast<size_t>(image.GetStride()));
  for (int y = 0; y < height && ok; ++y) {
    // Blue, green, red to the file's red, green, blue in the one copy.
    if (bits == 24)
      SwapRgbRow(image.RowPointer(y), row.data(), width);
    else
      image.GetRow(row.data(), y);
    if (TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) < 0) {
      platform::ShowMessage(platform::FormatText("failed a scanline write on row %d", y));
      ok = false;
    }
  }
  if (ok && TIFFFlush(tif) != 1) {
    platform::ShowMessage(platform::FormatText("error writing TIFF file %s", path.c_str()));
    ok = false;
  }
  TIFFClose(tif);
  return ok ? 1 : 0;
}
