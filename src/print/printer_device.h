// The printer device of the band path: a page of the given size and
// resolution onto which 24-bit bands are drawn at device positions.
//
// Device coordinates are dots of the device's resolution measured from the
// printable area's top-left corner (the physical printing offset away from
// the paper's corner), as a printer device context's are.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "image/dibitmap.h"
#include "print/printer_types.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace platform {
class AtomicFile;
}

namespace print {

class PrinterDevice {
 public:
  virtual ~PrinterDevice() = default;
  virtual bool StartDocument(std::string_view jobName) = 0;
  virtual bool StartPage() = 0;
  virtual bool EndPage() = 0;
  // The document is complete and delivered.
  virtual bool EndDocument() = 0;
  // Nothing of the document is delivered.
  virtual void AbortDocument() = 0;
  // Draws the first `width` x `rows` pixels of a 24-bit band with its
  // top-left corner at device position (x, y). False when the device failed.
  virtual bool DrawBand(const CDIBitmap& band, int width, int rows, int x, int y) = 0;
  // Page size, printable area, offsets and resolutions (dots).
  virtual PrinterInfo Info() const = 0;
  // Why the last call failed ("" when it did not).
  virtual std::string LastError() const = 0;
};

// The facts of a PDF page of pageWidthMm x pageHeightMm at dpi x dpi,
// printable everywhere except `marginMm` on every side: type 0, page and
// offsets in dots as trunc(mm x dpi / 25.4 + 0.5), printable size the page
// less both offsets (at least 0).
PrinterInfo DescribePdfPage(double pageWidthMm, double pageHeightMm, int dpi, double marginMm = 0.0);

// A PDF printer on cairo: one PDF page per page, of the paper's size in
// points, bands drawn as images at their device position scaled to points
// (72 / dpi). The document goes to `outputPath` (a platform::AtomicFile:
// written to a temporary file beside it that replaces it with the umask's
// permissions when the document ends, removed when it is aborted) or,
// with an empty path, to the CUPS queue `queue` as an "application/pdf" job
// through libcups (cupsCreateJob, cupsStartDocument, cupsWriteRequestData,
// cupsFinishDocument) on the default server (CUPS_SERVER is honoured).
class PdfPrinterDevice final : public PrinterDevice {
 public:
  // Page of pageWidthMm x pageHeightMm at dpi x dpi, printable everywhere
  // except `marginMm` on every side (DescribePdfPage).
  PdfPrinterDevice(std::string outputPath, std::string queue, double pageWidthMm, double pageHeightMm, int dpi,
                   double marginMm = 0.0);
  ~PdfPrinterDevice() override;
  PdfPrinterDevice(const PdfPrinterDevice&) = delete;
  PdfPrinterDevice& operator=(const PdfPrinterDevice&) = delete;

  bool StartDocument(std::string_view jobName) override;
  bool StartPage() override;
  bool EndPage() override;
  bool EndDocument() override;
  void AbortDocument() override;
  bool DrawBand(const CDIBitmap& band, int width, int rows, int x, int y) override;
  PrinterInfo Info() const override { return info_; }
  std::string LastError() const override { return error_; }

 private:
  bool Fail(std::string text);
  void Release();
  bool SubmitToQueue();

  std::string outputPath_;
  std::string queue_;
  std::string jobName_;
  PrinterInfo info_;
  std::unique_ptr<platform::AtomicFile> file_;  // the document being written
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  bool failed_ = false;
  std::string error_;
};

}  // namespace print
