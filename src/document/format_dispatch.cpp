#include "document/format_dispatch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "document/codecs/bmp.h"
#include "document/codecs/gif.h"
#include "document/codecs/tiff.h"
#include "document/codecs/tga.h"
#include "document/codecs/photocd.h"
#include "document/codecs/pcx.h"
#include "document/codecs/jpeg.h"
#include "document/codecs/png.h"
#include "image/dibitmap.h"
#include "platform/atomic_file.h"
#include "platform/main_window.h"
#include "platform/messages.h"
#include "platform/prompts.h"

namespace {

enum class ReadDialog { None, PhotoCD };
enum class WriteDialog { None, Tiff, Jpeg, Tga };

// `option` carries the option dialog's answer: the Photo CD resolution, the
// TIFF or TGA compression index, the JPEG quality; 0 for formats without one.
using ReadFn = int (*)(const std::string& path, CDIBitmap& image, int option);
using WriteFn = int (*)(const std::string& path, const CDIBitmap& image, int option);
// Number of Photo CD resolutions present in a file.
using ProbeFn = int (*)(const std::string& path);

int ReadBmp(const std::string& path, CDIBitmap& image, int) { return BMPRead(path, image); }
int WriteBmp(const std::string& path, const CDIBitmap& image, int) { return BMPWrite(path, image); }
int ReadGif(const std::string& path, CDIBitmap& image, int) { return GIFRead(path, image); }
int WriteGif(const std::string& path, const CDIBitmap& image, int) { return GIFWrite(path, image); }
int ReadTif(const std::string& path, CDIBitmap& image, int) { return TIFRead(path, image); }
int WriteTif(const std::string& path, const CDIBitmap& image, int compression) {
  return TIFWrite(path, image, compression);
}
int ReadTga(const std::string& path, CDIBitmap& image, int) { return TGARead(path, image); }
int WriteTga(const std::string& path, const CDIBitmap& image, int compression) {
  return TGAWrite(path, image, compression, 0);
}
// The fixed YCC conversion; the colour-managed one will pass its transform here.
int ReadPhotoCDFile(const std::string& path, CDIBitmap& image, int resolution) {
  return PhotoCDRead(path, image, resolution);
}
int ReadPcx(const std::string& path, CDIBitmap& image, int) { return PCXRead(path, image); }
int WritePcx(const std::string& path, const CDIBitmap& image, int) { return PCXWrite(path, image); }
int ReadPng(const std::string& path, CDIBitmap& image, int) { return PNGRead(path, image); }
int WritePng(const std::string& path, const CDIBitmap& image, int) { return PNGWrite(path, image); }
int ReadJpeg(const std::string& path, CDIBitmap& image, int) { return JPEGRead(path, image); }
int WriteJpeg(const std::string& path, const CDIBitmap& image, int quality) { return JPEGWrite(path, image, quality); }

struct CodecLine {
  std::string_view ending;  // lower-case end of the file name
  ReadDialog readDialog;
  ReadFn read;  // null: the format is recognised but cannot be read in this build
  WriteDialog writeDialog;
  WriteFn write;  // null: not writable (".dcx", ".pcd"), or no writer in this build
  ProbeFn probe;  // ".pcd" only; null offers all five resolutions
};

// The one place where a file-name ending meets its codec. A codec joins by
// filling in its reader and writer here; the option dialogs already run, so
// the user sees the complete flow before the codec lands.
constexpr CodecLine kCodecs[] = {
    // ending  read dialog          reader    write dialog        writer    probe
    {".jpg", ReadDialog::None, ReadJpeg, WriteDialog::Jpeg, WriteJpeg, nullptr},
    {".jpeg", ReadDialog::None, ReadJpeg, WriteDialog::Jpeg, WriteJpeg, nullptr},
    {".gif", ReadDialog::None, ReadGif, WriteDialog::None, WriteGif, nullptr},
    {".bmp", ReadDialog::None, ReadBmp, WriteDialog::None, WriteBmp, nullptr},
    {".dcx", ReadDialog::None, ReadPcx, WriteDialog::None, nullptr, nullptr},
    {".pcx", ReadDialog::None, ReadPcx, WriteDialog::None, WritePcx, nullptr},
    {".tif", ReadDialog::None, ReadTif, WriteDialog::Tiff, WriteTif, nullptr},
    {".tga", ReadDialog::None, ReadTga, WriteDialog::Tga, WriteTga, nullptr},
    {".png", ReadDialog::None, ReadPng, WriteDialog::None, WritePng, nullptr},
    {".pcd", ReadDialog::PhotoCD, ReadPhotoCDFile, WriteDialog::None, nullptr, ProbePhotoCD},
};

const CodecLine* FindCodec(const std::string& path) {
  std::string lower = path;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  for (const CodecLine& line : kCodecs)
    if (std::string_view(lower).ends_with(line.ending)) return &line;
  return nullptr;
}

void ShowUnsupported(const std::string& path) {
  platform::ShowMessage(platform::FormatText("%s\n\n Sorry, File Format is not supported now !", path.c_str()));
}

// Asks the write options of `dialog`; nullopt on Cancel or an answer outside
// the dialog's choices.
std::optional<int> AskWriteOption(WriteDialog dialog, const CDIBitmap& image) {
  platform::Prompts& prompts = platform::CurrentPrompts();
  switch (dialog) {
    case WriteDialog::None:
      return 0;
    case WriteDialog::Tiff: {
      const bool oneBit = image.GetBitCount() == 1;
      std::optional<int> index = prompts.TiffOptions(oneBit);
      if (!index || *index < 0 || *index >= platform::TiffCompressionCount(oneBit)) return std::nullopt;
      platform::MainWindow().Repaint();
      return index;
    }
    case WriteDialog::Jpeg: {
      std::optional<int> quality = prompts.JpegOptions(platform::kJpegQualityDefault);
      if (!quality || *quality < platform::kJpegQualityMin || *quality > platform::kJpegQualityMax)
        return std::nullopt;
      return quality;
    }
    case WriteDialog::Tga: {
      std::optional<int> index = prompts.TgaOptions();
      if (!index || *index < 0 || *index >= static_cast<int>(std::size(platform::kTgaCompressionNames)))
        return std::nullopt;
      return index;
    }
  }
  return std::nullopt;
}

std::optional<int> AskReadOption(const CodecLine& line, const std::string& path) {
  if (line.readDialog == ReadDialog::None) return 0;
  platform::PhotoCDRequest request;
  request.path = path;
  request.resolutionCount = line.probe ? line.probe(path) : static_cast<int>(std::size(platform::kPhotoCDResolutionNames));
  std::optional<platform::PhotoCDChoice> choice = platform::CurrentPrompts().PhotoCDOptions(request);
  if (!choice || choice->resolution < 0 || choice->resolution >= request.resolutionCount) return std::nullopt;
  return choice->resolution;
}

}  // namespace

int LoadImageFile(CDIBitmap& image, const std::string& path, int /*flag*/) {
  int result = 0;
  const CodecLine* line = FindCodec(path);
  if (!line || (!line->read && line->readDialog == ReadDialog::None)) {
    ShowUnsupported(path);
  } else if (std::optional<int> option = AskReadOption(*line, path)) {
    if (line->read)
      result = line->read(path, image, *option);
    else
      ShowUnsupported(path);
  }
  image.SetResolution(72, 72);
  return result;
}

int SaveImageFile(const CDIBitmap& image, const std::string& path, int /*flag*/) {
  if (!image.IsAllocated()) return 0;
  const CodecLine* line = FindCodec(path);
  if (!line || (!line->write && line->writeDialog == WriteDialog::None)) {
    ShowUnsupported(path);
    return 0;
  }
  const std::optional<int> option = AskWriteOption(line->writeDialog, image);
  if (!option) return 0;
  if (!line->write) {
    ShowUnsupported(path);
    return 0;
  }
  if (IsReadOnlyFile(path)) {
    platform::ShowMessage(platform::FormatText("%s is ReadOnly File, Cannot be saved !", path.c_str()));
    return 0;
  }
  const WriteFn write = line->write;
  return WriteFileAtomically(path, [&](const std::string& file) { return write(file, image, *option); });
}

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path.c_str(), W_OK) != 0;
}

int WriteFileAtomically(const std::string& path, const std::function<int(const std::string& file)>& write) {
  if (path.empty()) return 0;
  struct stat old;
  if (stat(path.c_str(), &old) == 0 && !S_ISREG(old.st_mode)) return write(path);
  // The file's identity survives the save: a symbolic link keeps pointing to
  // it, and it keeps its permissions and owner. An exception from `write`
  // passes on; the file's destruction removes the temporary.
  platform::AtomicFile file(path, platform::AtomicFile::Existing::Keep);
  if (!file.Open()) return 0;
  const int result = write(file.TemporaryPath());
  if (result == 0 || !file.Commit()) return 0;
  return result;
}
