// The clipboard over the desktop's, through QClipboard.
//
// Formats travel as MIME types:
// - the bitmap (kClipboardDIB) as "image/bmp", a BMP file made of the 14-byte
//   file header and the packed DIB, and as "image/png", encoded only when a
//   program asks for it, so that other programs can paste it;
// - a registered format as "application/x-" followed by its name in lower
//   case with every character other than a letter or digit turned into '-'
//   ("Vividrome Data A" becomes "application/x-vividrome-data-a");
// - any other number N as "application/x-vividrome-format-N".
//
// Reading the bitmap back takes, in this order: the packed DIB of an
// "image/bmp" whose header is the plain 40-byte one with the colour table and
// rows following it directly; else any image another program offered, decoded
// by QImage and handed over as a 24-bit packed DIB (bottom-up rows, no
// colour table), composited over white where it has transparency.
//
// Empty starts a new set of blocks; SetData adds to it and Close puts it on
// the desktop's clipboard in one go. Between Empty and Close, reads see the
// blocks being built. SetData without Empty adds to a copy of what this
// program last put there (or to nothing when another program owns it).
//
// Needs a QGuiApplication; without one, Open fails.
//
// This header stays free of Qt's headers.
#pragma once

#include <memory>
#include <string>

#include "platform/clipboard.h"

namespace platform {

class QtClipboard final : public Clipboard {
 public:
  QtClipboard();
  ~QtClipboard() override;
  QtClipboard(const QtClipboard&) = delete;
  QtClipboard& operator=(const QtClipboard&) = delete;

  bool Open() override;
  bool Close() override;
  bool Empty() override;
  bool SetData(ClipboardFormat format, std::vector<uint8_t> block) override;
  std::optional<std::span<const uint8_t>> GetData(ClipboardFormat format) const override;
  size_t GetDataSize(ClipboardFormat format) const override;
  bool IsFormatAvailable(ClipboardFormat format) const override;
  std::vector<ClipboardFormat> AvailableFormats() const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The MIME type that carries `format` (see above).
std::string ClipboardMimeType(ClipboardFormat format);

// A BMP file of a packed DIB: the 14-byte file header ("BM", file size, two
// reserved words, offset of the rows) followed by the DIB. The offset counts
// the information header, the three BI_BITFIELDS masks of a 40-byte header
// and the colour table (biClrUsed entries, or 2^bits for 1 to 8 bits). Empty
// when the block is shorter than a 40-byte header, its header size is below
// 40 or beyond the block, or the offset lies beyond the block.
std::vector<uint8_t> BmpFileFromPackedDIB(std::span<const uint8_t> dib);

}  // namespace platform
