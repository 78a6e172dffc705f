// The dot preview of the direct printers: the page as the EPSON or DesignJet
// printer will put its dots, decoded from the very stream the job would
// send. The stream is made in memory by the same pipeline (PrintJobDirect on
// a MemorySpooler, with the layout PrintImage computes) and read back by
// print::DecodeInkDots.
//
// The window [dotCanvas] draws the page white with the inks subtracted
// (cyan takes red, magenta green, yellow blue, black all three), each screen
// pixel the share of the dots it covers, dots as wide as 1/dpiX and as high
// as 1/dpiY inch. "Fit" shows the whole page; "Zoom &In" doubles the scale
// up to kMaxPixelsPerDot screen pixels per dot across, "Zoom &Out" halves it.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "print/print_job.h"
#include "print/stream_decoder.h"

class CDIBitmap;

namespace app {

struct DotPage {
  print::InkDots dots;
  int dpiX = 0, dpiY = 0;                  // dots per inch across and down
  long pageWidth = 0, pageHeight = 0;      // the page in dots
  long originX = 0, originY = 0;           // the page position of the stream's dot (0, 0)
  std::string error;                       // why there is no page
};

// Makes `job`'s stream for `image` in memory and decodes it. False (with
// `page.error`) when the job is not for a direct printer, the layout or the
// job fails, or the stream does not decode.
bool RenderDotPage(const print::PrintJob& job, const CDIBitmap& image, DotPage& page);

inline constexpr int kMaxPixelsPerDot = 16;

class DotPreviewDialog : public QDialog {
 public:
  explicit DotPreviewDialog(DotPage page, QWidget* parent = nullptr);
  ~DotPreviewDialog() override;

  // Screen pixels per dot across, at most kMaxPixelsPerDot; a dot is
  // zoom x dpiX / dpiY pixels high.
  double Zoom() const;
  void SetZoom(double pixelsPerDot);
  void ZoomToFit();

 protected:
  // The first showing fits the page into the window as it is laid out.
  void showEvent(QShowEvent* event) override;

 private:
  struct Private;
  std::unique_ptr<Private> d_;
};

// Renders the preview of `job` for `image` and shows it modally; a failure
// is shown as a message.
void ShowDotPreview(QWidget* parent, const print::PrintJob& job, const CDIBitmap& image);

}  // namespace app
