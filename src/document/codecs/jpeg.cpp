#include "document/codecs/jpeg.h"

// jpeglib.h needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
// After jpeglib.h, which it builds on.
#include <jerror.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <new>
#include <vector>

#include "image/dibitmap.h"
#include "platform/messages.h"

// libjpeg reports errors through error_exit, which here shows the message
// and longjmps back to the setjmp in Decode/Encode. Those functions keep no
// local object with a destructor: every buffer lives in the reader or
// writer object, which outlives the jump.

namespace {

constexpr int64_t kMaxPixelBytes = int64_t{1} << 30;
// libjpeg's own working memory (a progressive file keeps every coefficient).
constexpr long kMaxLibraryMemory = 2L << 30;
constexpr int kMaxScans = 1000;
constexpr char kFatalCaption[] = "JPEG Fatal Error";

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void ShowLibraryMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  platform::ShowMessage(text, kFatalCaption, platform::MsgIcon::Stop);
}

[[noreturn]] void OnError(j_common_ptr cinfo) {
  ShowLibraryMessage(cinfo);
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings (level -1) and trace messages (0 and above). A warning that
// means lost image data ends the read like an error; the others are
// dropped. Nothing is printed.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
      if (cinfo->is_decompressor) OnError(cinfo);
      break;
    default:
      break;
  }
  ++cinfo->err->num_warnings;
}

void OnOutput(j_common_ptr) {}

void InstallErrorHandling(ErrorManager& errors) {
  jpeg_std_error(&errors.pub);
  errors.pub.error_exit = OnError;
  errors.pub.emit_message = OnMessage;
  errors.pub.output_message = OnOutput;
}

// Ends the read of a progressive file with an endless chain of scans.
void OnProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    platform::ShowMessage("JPEGREAD: Too many scans\n", kFatalCaption, platform::MsgIcon::Stop);
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
  }
}

class JpegReader {
 public:
  explicit JpegReader(std::FILE* file) : file_(file) {}
  ~JpegReader() {
    if (created_) jpeg_destroy_decompress(&cinfo_);
    decoded_.Free();
  }
  JpegReader(const JpegReader&) = delete;
  JpegReader& operator=(const JpegReader&) = delete;

  int Read(CDIBitmap& image) {
    if (!Decode()) return 0;
    image.Attach(decoded_);
    return 1;
  }

 private:
  bool Decode();
  bool CreateImage();
  void ConvertRows(int first, int count);

  std::FILE* file_;
  jpeg_decompress_struct cinfo_{};
  ErrorManager errors_{};
  jpeg_progress_mgr progress_{};
  bool created_ = false;
  bool directBgr_ = false;  // libjpeg delivers blue, green, red itself
  bool invert_ = false;     // CMYK: stored values are inverted (Adobe's form)
  CDIBitmap decoded_;
  std::vector<JSAMPROW> rows_;
};

bool JpegReader::Decode() {
  cinfo_.err = &errors_.pub;
  InstallErrorHandling(errors_);
  if (setjmp(errors_.jump)) return false;
  jpeg_create_decompress(&cinfo_);
  created_ = true;
  cinfo_.mem->max_memory_to_use = kMaxLibraryMemory;
  progress_.progress_monitor = OnProgress;
  cinfo_.progress = &progress_;
  jpeg_stdio_src(&cinfo_, file_);
  jpeg_read_header(&cinfo_, TRUE);
#ifdef JCS_EXTENSIONS
  if (cinfo_.out_color_space == JCS_RGB) {
    cinfo_.out_color_space = JCS_EXT_BGR;
    directBgr_ = true;
  }
#endif
  jpeg_calc_output_dimensions(&cinfo_);
  const int components = cinfo_.output_components;
  if (components != 1 && components != 3 && components != 4) {
    platform::ShowMessage(platform::FormatText("JPEG :\nCan't read %d-component images\n", components));
    return false;
  }
  const int bits = components * 8;
  if (DIBStride(cinfo_.output_width, bits) * static_cast<int64_t>(cinfo_.output_height) > kMaxPixelBytes) {
    platform::ShowMessage(platform::FormatText("JPEGREAD: Image too large (%u x %u)\n", cinfo_.output_width,
                                               cinfo_.output_height));
    return false;
  }
  invert_ = components == 4;
  // A progressive file is read completely here, so a damaged one fails
  // before the pixels are allocated.
  jpeg_start_decompress(&cinfo_);
  if (!CreateImage()) return false;

  // Scanlines are decoded straight into the bitmap's rows and converted
  // there: the bitmap is new, so no mask stands in the way.
  const int height = decoded_.GetHeight();
  rows_.resize(static_cast<size_t>(std::max(1, cinfo_.rec_outbuf_height)));
  while (static_cast<int>(cinfo_.output_scanline) < height) {
    const int first = static_cast<int>(cinfo_.output_scanline);
    const int want = std::min(static_cast<int>(rows_.size()), height - first);
    for (int i = 0; i < want; ++i) rows_[static_cast<size_t>(i)] = decoded_.RowPointer(first + i);
    const int got = static_cast<int>(jpeg_read_scanlines(&cinfo_, rows_.data(), static_cast<JDIMENSION>(want)));
    ConvertRows(first, got);
  }
  jpeg_finish_decompress(&cinfo_);
  return true;
}

bool JpegReader::CreateImage() {
  const int components = cinfo_.output_components;
  const int options = components == 1 ? 1 : components == 4 ? 3 : 0;
  if (!decoded_.Create(static_cast<int>(cinfo_.output_width), static_cast<int>(cinfo_.output_height),
                       components * 8, options)) {
    platform::ShowMessage("JPEGREAD: Not enough memory\n");
    return false;
  }
  return true;
}

// Red, green, blue to blue, green, red, or CMYK inverted, in place.
void JpegReader::ConvertRows(int first, int count) {
  const int width = decoded_.GetWidth();
  if (cinfo_.output_components == 3 && !directBgr_) {
    for (int i = 0; i < count; ++i) {
      uint8_t* p = decoded_.RowPointer(first + i);
      for (int x = 0; x < width; ++x, p += 3) std::swap(p[0], p[2]);
    }
  } else if (invert_) {
    for (int i = 0; i < count; ++i) {
      uint8_t* p = decoded_.RowPointer(first + i);
      for (int x = 0; x < width * 4; ++x) p[x] = static_cast<uint8_t>(255 - p[x]);
    }
  }
}

// How the image's rows become scanlines.
enum class SourceRows { kDirect, kBgrToRgb, kInvert, kGrayLevels, kColours };

class JpegWriter {
 public:
  JpegWriter(std::FILE* file, const CDIBitmap& image, int quality) : file_(file), image_(image), quality_(quality) {}
  ~JpegWriter() {
    if (created_) jpeg_destroy_compress(&cinfo_);
  }
  JpegWriter(const JpegWriter&) = delete;
  JpegWriter& operator=(const JpegWriter&) = delete;

  bool Write() {
    Prepare();
    return Encode();
  }
  // Shows libjpeg's message for a failed write (after a failed fclose).
  void ReportWriteError() {
    errors_.pub.msg_code = JERR_FILE_WRITE;
    ShowLibraryMessage(reinterpret_cast<j_common_ptr>(&cinfo_));
  }

 private:
  void Prepare();
  bool Encode();
  void SourceRow(int y, uint8_t* out);

  std::FILE* file_;
  const CDIBitmap& image_;
  int quality_;
  jpeg_compress_struct cinfo_{};
  ErrorManager errors_{};
  bool created_ = false;
  int components_ = 3;
  J_COLOR_SPACE space_ = JCS_RGB;
  SourceRows kind_ = SourceRows::kDirect;
  std::vector<uint8_t> lut_;    // table index to gray level, or to blue, green, red
  std::vector<uint8_t> index_;  // one row's indices, 1-bit rows unpacked
  std::vector<uint8_t> row_;    // one converted scanline
};

void JpegWriter::Prepare() {
  const int bits = image_.GetBitCount();
  const int width = image_.GetWidth();
  if (bits == 24) {
    components_ = 3;
#ifdef JCS_EXTENSIONS
    space_ = JCS_EXT_BGR;
    kind_ = SourceRows::kDirect;
#else
    space_ = JCS_RGB;
    kind_ = SourceRows::kBgrToRgb;
#endif
  } else if (bits == 32) {
    components_ = 4, space_ = JCS_CMYK, kind_ = SourceRows::kInvert;
  } else {
    // 1 and 8 bits: through the colour table, as gray levels when every
    // entry is a gray.
    const int entries = image_.GetPaletteSize();
    std::vector<uint8_t> table(static_cast<size_t>(entries) * 4);
    image_.GetColorTable(table.data(), entries);
    bool gray = true, ramp = bits == 8;
    for (int i = 0; i < entries; ++i) {
      const uint8_t* e = &table[static_cast<size_t>(i) * 4];
      gray = gray && e[0] == e[1] && e[1] == e[2];
      ramp = ramp && e[0] == i && gray;
    }
    lut_.assign(static_cast<size_t>(entries) * 3, 0);
    for (int i = 0; i < entries; ++i) {
      const uint8_t* e = &table[static_cast<size_t>(i) * 4];
      if (gray) {
        lut_[static_cast<size_t>(i)] = e[0];
      } else {
        lut_[static_cast<size_t>(i) * 3 + 0] = e[0];
        lut_[static_cast<size_t>(i) * 3 + 1] = e[1];
        lut_[static_cast<size_t>(i) * 3 + 2] = e[2];
      }
    }
    components_ = gray ? 1 : 3;
#ifdef JCS_EXTENSIONS
    space_ = gray ? JCS_GRAYSCALE : JCS_EXT_BGR;
#else
    // Without libjpeg-turbo's extra input orders the table is stored as red, green, blue.
    if (!gray)
      for (int i = 0; i < entries; ++i) std::swap(lut_[static_cast<size_t>(i) * 3], lut_[static_cast<size_t>(i) * 3 + 2]);
    space_ = gray ? JCS_GRAYSCALE : JCS_RGB;
#endif
    kind_ = ramp ? SourceRows::kDirect : gray ? SourceRows::kGrayLevels : SourceRows::kColours;
    if (bits == 1) index_.resize(static_cast<size_t>(width));
  }
  if (kind_ != SourceRows::kDirect) row_.resize(static_cast<size_t>(width) * static_cast<size_t>(components_));
}

// Scanline y in the order the compressor was given; `out` is row_ unless
// the stored row can be handed over as it is.
void JpegWriter::SourceRow(int y, uint8_t* out) {
  const int width = image_.GetWidth();
  const uint8_t* src = image_.RowPointer(y);
  if (image_.GetBitCount() == 1) {
    for (int x = 0; x < width; ++x) index_[static_cast<size_t>(x)] = (src[x >> 3] >> (7 - (x & 7))) & 1;
    src = index_.data();
  }
  switch (kind_) {
    case SourceRows::kDirect:
      break;
    case SourceRows::kBgrToRgb:
      for (int x = 0; x < width * 3; x += 3) out[x] = src[x + 2], out[x + 1] = src[x + 1], out[x + 2] = src[x];
      break;
    case SourceRows::kInvert:
      for (int x = 0; x < width * 4; ++x) out[x] = static_cast<uint8_t>(255 - src[x]);
      break;
    case SourceRows::kGrayLevels:
      for (int x = 0; x < width; ++x) out[x] = lut_[src[x]];
      break;
    case SourceRows::kColours:
      for (int x = 0; x < width; ++x) {
        const uint8_t* c = &lut_[static_cast<size_t>(src[x]) * 3];
        out[x * 3] = c[0], out[x * 3 + 1] = c[1], out[x * 3 + 2] = c[2];
      }
      break;
  }
}

bool JpegWriter::Encode() {
  cinfo_.err = &errors_.pub;
  InstallErrorHandling(errors_);
  if (setjmp(errors_.jump)) return false;
  jpeg_create_compress(&cinfo_);
  created_ = true;
  jpeg_stdio_dest(&cinfo_, file_);
  cinfo_.image_width = static_cast<JDIMENSION>(image_.GetWidth());
  cinfo_.image_height = static_cast<JDIMENSION>(image_.GetHeight());
  cinfo_.input_components = components_;
  cinfo_.in_color_space = space_;
  jpeg_set_defaults(&cinfo_);
  jpeg_set_quality(&cinfo_, quality_, TRUE);
  jpeg_start_compress(&cinfo_, TRUE);
  const int height = image_.GetHeight();
  for (int y = 0; y < height; ++y) {
    JSAMPROW row;
    if (kind_ == SourceRows::kDirect) {
      // The 1-bit case never takes this path; 8-bit ramps and BGR rows do.
      row = const_cast<JSAMPROW>(image_.RowPointer(y));
    } else {
      SourceRow(y, row_.data());
      row = row_.data();
    }
    jpeg_write_scanlines(&cinfo_, &row, 1);
  }
  jpeg_finish_compress(&cinfo_);
  return true;
}

}  // namespace

int JPEGReadStream(std::FILE* file, CDIBitmap& image) {
  if (!file) return 0;
  try {
    return JpegReader(file).Read(image);
  } catch (const std::bad_alloc&) {
    platform::ShowMessage("JPEGREAD: Not enough memory\n");
    return 0;
  }
}

int JPEGRead(const std::string& path, CDIBitmap& image) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    platform::ShowMessage(platform::FormatText("JPEG :\nCan't open %s\n", path.c_str()));
    return 0;
  }
  const int result = JPEGReadStream(file, image);
  std::fclose(file);
  return result;
}

int JPEGWrite(const std::string& path, const CDIBitmap& image, int quality) {
  if (!image.IsAllocated()) return 0;
  switch (image.GetBitCount()) {
    case 1: case 8: case 24: case 32:
      break;
    default:
      return 0;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    platform::ShowMessage(platform::FormatText("JpegFile :\nCan't open %s\n", path.c_str()));
    return 0;
  }
  bool ok = false;
  try {
    JpegWriter writer(file, image, std::clamp(quality, 2, 100));
    ok = writer.Write();
    if (std::fclose(file) != 0 && ok) {
      writer.ReportWriteError();
      ok = false;
    }
    file = nullptr;
  } catch (const std::bad_alloc&) {
    platform::ShowMessage("JPEGWRITE: Not enough memory\n");
  }
  if (file) std::fclose(file);
  return ok ? 1 : 0;
}
