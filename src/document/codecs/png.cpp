#include "document/codecs/png.h"

#include <png.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include "document/codecs/png_tiff_rows.h"
#include "image/color_convert.h"
#include "image/dibitmap.h"
#include "platform/messages.h"

// libpng reports errors by longjmp back to the setjmp in Decode/Encode.
// Those functions therefore keep no local object with a destructor: every
// buffer lives in the reader or writer object, which outlives the jump.

namespace {

// Largest pixel block the reader allocates.
constexpr int64_t kMaxPixelBytes = int64_t{1} << 30;
constexpr png_alloc_size_t kMaxChunkBytes = 16u << 20;
constexpr png_uint_32 kMaxAncillaryChunks = 1000;

[[noreturn]] void OnPngError(png_structp png, png_const_charp text) {
  platform::ShowMessage(text ? text : "");
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

class PngReader {
 public:
  explicit PngReader(std::FILE* file) : file_(file) {}
  ~PngReader() {
    if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
    decoded_.Free();
  }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  int Read(CDIBitmap& image) {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (png_) info_ = png_create_info_struct(png_);
    if (!png_ || !info_) {
      platform::ShowMessage("PNGREAD: Not enough memory\n");
      return 0;
    }
    if (!Decode()) return 0;
    image.Attach(decoded_);
    return 1;
  }

 private:
  bool Decode();
  bool CreateImage();

  std::FILE* file_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  CDIBitmap decoded_;
  std::vector<png_bytep> rows_;
  int fileDepth_ = 8;
};

bool PngReader::Decode() {
  if (setjmp(png_jmpbuf(png_))) return false;
  png_init_io(png_, file_);
  // Ancillary chunks are bounded: a hostile length or an endless chain of
  // text chunks must not cost gigabytes or minutes.
  png_set_chunk_malloc_max(png_, kMaxChunkBytes);
  png_set_chunk_cache_max(png_, kMaxAncillaryChunks);
  // Chunks that do not change the pixels are skipped unread (libpng would
  // otherwise allocate and clear their declared length first).
  static const png_byte kIgnored[] = "sPLT\0tEXt\0zTXt\0iTXt\0hIST\0pCAL\0sCAL\0eXIf\0tIME\0oFFs\0pHYs\0sBIT";
  png_set_keep_unknown_chunks(png_, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  png_set_keep_unknown_chunks(png_, PNG_HANDLE_CHUNK_NEVER, kIgnored, 12);
  png_read_info(png_, info_);

  const int depth = png_get_bit_depth(png_, info_);
  const int colorType = png_get_color_type(png_, info_);
  fileDepth_ = depth;
  if (depth == 16) png_set_strip_16(png_);
  // Low-depth gray levels are scaled to 0..255; low-depth palette indices
  // are only spread to one byte each.
  if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png_);
  if (colorType == PNG_COLOR_TYPE_PALETTE && depth < 8) png_set_packing(png_);
  // A transparent gray or RGB value becomes an alpha channel, which the
  // composition below removes (libpng would not match the value once
  // low-depth gray is widened). Palette files keep their indices.
  if (colorType != PNG_COLOR_TYPE_PALETTE && png_get_valid(png_, info_, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png_);
  // Composition only where something is transparent: an opaque file's
  // rows then skip libpng's compose pass.
  png_color_16p fileBackground = nullptr;
  const bool transparent =
      (colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png_, info_, PNG_INFO_tRNS) != 0;
  if (!transparent) {
  } else if (png_get_bKGD(png_, info_, &fileBackground)) {
    png_set_background(png_, fileBackground, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
  } else {
    png_color_16 black;
    std::memset(&black, 0, sizeof black);
    png_set_background(png_, &black, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
  }
  // RGB rows become blue, green, red, the bitmap's own order. Rows read in
  // one pass are swapped by us right after libpng writes each one, while it
  // is in the cache (a faster loop than libpng's); interlaced rows, filled
  // over seven passes, have libpng swap them.
  const bool color = (colorType & PNG_COLOR_MASK_COLOR) != 0 && colorType != PNG_COLOR_TYPE_PALETTE;
  const bool swapRows = color && png_get_interlace_type(png_, info_) == PNG_INTERLACE_NONE;
  if (color && !swapRows) png_set_bgr(png_);
  png_set_interlace_handling(png_);
  png_read_update_info(png_, info_);

  if (!CreateImage()) return false;
  // The transformed rows have exactly the bitmap's layout (one byte per
  // index or level, or three per pixel), so libpng writes straight into it.
  const int height = decoded_.GetHeight();
  if (swapRows) {
    const int width = decoded_.GetWidth();
    for (int y = 0; y < height; ++y) {
      uint8_t* row = decoded_.RowPointer(y);
      png_read_row(png_, row, nullptr);
      codec_rows::SwapRgbRow(row, row, width);
    }
  } else {
    rows_.resize(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) rows_[static_cast<size_t>(y)] = decoded_.RowPointer(y);
    png_read_image(png_, rows_.data());
  }
  png_read_end(png_, nullptr);
  return true;
}

bool PngReader::CreateImage() {
  const png_uint_32 width = png_get_image_width(png_, info_);
  const png_uint_32 height = png_get_image_height(png_, info_);
  const int channels = png_get_channels(png_, info_);
  const int colorType = png_get_color_type(png_, info_);
  int bits = 0;
  int options = 0;
  if (colorType == PNG_COLOR_TYPE_GRAY && channels == 1) {
    bits = 8, options = 1;
  } else if (colorType == PNG_COLOR_TYPE_PALETTE && channels == 1) {
    bits = 8;
  } else if (colorType == PNG_COLOR_TYPE_RGB && channels == 3) {
    bits = 24;
  }
  if (bits == 0 || png_get_bit_depth(png_, info_) != 8 ||
      png_get_rowbytes(png_, info_) != static_cast<size_t>(width) * static_cast<size_t>(bits / 8)) {
    platform::ShowMessage("bit-depth not support");
    return false;
  }
  if (width > INT_MAX || height > INT_MAX || DIBStride(width, bits) * static_cast<int64_t>(height) > kMaxPixelBytes) {
    platform::ShowMessage(platform::FormatText("PNGREAD: Image too large (%u x %u)\n", width, height));
    return false;
  }
  // The file's palette entries up to 2^depth; entries above stay zero.
  uint8_t table[256 * 4] = {};
  bool grayRamp = false;
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(png_, info_, &palette, &count) && palette) {
      const int limit = std::min(count, 1 << fileDepth_);
      for (int i = 0; i < limit; ++i) {
        table[i * 4 + 0] = palette[i].blue;
        table[i * 4 + 1] = palette[i].green;
        table[i * 4 + 2] = palette[i].red;
      }
      // A palette of the whole ascending gray ramp is what our writer makes
      // of a gray image: read it back as a gray image.
      grayRamp = limit == 256;
      for (int i = 0; i < limit && grayRamp; ++i)
        grayRamp = palette[i].red == i && palette[i].green == i && palette[i].blue == i;
    }
    if (grayRamp) options = 1;
  }
  if (!decoded_.Create(static_cast<int>(width), static_cast<int>(height), bits, options)) {
    platform::ShowMessage("PNGREAD: Not enough memory\n");
    return false;
  }
  if (colorType == PNG_COLOR_TYPE_PALETTE && !grayRamp) decoded_.SetColorTable(table, 256);
  return true;
}

class PngWriter {
 public:
  PngWriter(std::FILE* file, const CDIBitmap& image) : file_(file), image_(image) {}
  ~PngWriter() {
    if (png_) png_destroy_write_struct(&png_, info_ ? &info_ : nullptr);
  }
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;

  bool Write() {
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (png_) info_ = png_create_info_struct(png_);
    if (!png_ || !info_) {
      platform::ShowMessage("PNGWRITE: Not enough memory\n");
      return false;
    }
    const int entries = image_.GetPaletteSize();
    palette_.resize(static_cast<size_t>(entries));
    std::vector<uint8_t> table(static_cast<size_t>(entries) * 4);
    if (entries > 0) image_.GetColorTable(table.data(), entries);
    for (int i = 0; i < entries; ++i)
      palette_[static_cast<size_t>(i)] = {table[i * 4 + 2], table[i * 4 + 1], table[i * 4]};
    if (image_.GetBitCount() == 32) converted_.resize(static_cast<size_t>(image_.GetWidth()) * 3);
    return Encode();
  }

 private:
  bool Encode();

  std::FILE* file_;
  const CDIBitmap& image_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  std::vector<png_color> palette_;
  std::vector<uint8_t> converted_;  // one RGB row of a CMYK image
};

bool PngWriter::Encode() {
  if (setjmp(png_jmpbuf(png_))) return false;
  png_init_io(png_, file_);
  const int bits = image_.GetBitCount();
  const int width = image_.GetWidth();
  const int height = image_.GetHeight();
  const bool indexed = bits <= 8;
  png_set_IHDR(png_, info_, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bits == 1 ? 1 : 8,
               indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (indexed) png_set_PLTE(png_, info_, palette_.data(), static_cast<int>(palette_.size()));
  png_text text;
  std::memset(&text, 0, sizeof text);
  text.compression = PNG_TEXT_COMPRESSION_zTXt;
  text.key = const_cast<png_charp>("Description");
  text.text = const_cast<png_charp>("Lumatint");
  text.text_length = std::strlen(text.text);
  png_set_text(png_, info_, &text, 1);
  png_write_info(png_, info_);
  // Rows go out as stored: blue, green, red, or packed indices (most
  // significant bit first, PNG's own order).
  png_set_bgr(png_);
  for (int y = 0; y < height; ++y) {
    if (bits == 32) {
      GL_CMYKRowToRGB(image_.RowPointer(y), converted_.data(), width);
      png_write_row(png_, converted_.data());
    } else {
      png_write_row(png_, image_.RowPointer(y));
    }
  }
  png_write_end(png_, info_);
  return true;
}

}  // namespace

int PNGReadStream(std::FILE* file, CDIBitmap& image) {
  if (!file) return 0;
  try {
    return PngReader(file).Read(image);
  } catch (const std::bad_alloc&) {
    platform::ShowMessage("PNGREAD: Not enough memory\n");
    return 0;
  }
}

int PNGRead(const std::string& path, CDIBitmap& image) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return 0;
  const int result = PNGReadStream(file, image);
  std::fclose(file);
  return result;
}

int PNGWrite(const std::string& path, const CDIBitmap& image) {
  if (!image.IsAllocated()) return 0;
  switch (image.GetBitCount()) {
    case 1: case 8: case 24: case 32:
      break;
    default:
      return 0;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  bool ok = false;
  try {
    ok = PngWriter(file, image).Write();
  } catch (const std::bad_alloc&) {
    platform::ShowMessage("PNGWRITE: Not enough memory\n");
  }
  if (std::fclose(file) != 0 && ok) {
    // libpng saw every write succeed; the data still did not reach the file.
    platform::ShowMessage("Write Error");
    ok = false;
  }
  return ok ? 1 : 0;
}
