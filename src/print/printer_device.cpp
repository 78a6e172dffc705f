#include "print/printer_device.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <cups/cups.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/messages.h"

namespace print {
namespace {

cairo_status_t WriteToStream(void* closure, const unsigned char* data, unsigned int length) {
  std::FILE* file = static_cast<std::FILE*>(closure);
  return std::fwrite(data, 1, length, file) == length ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

int MmToDots(double mm, int dpi) { return static_cast<int>(std::trunc(mm * dpi / 25.4 + 0.5)); }

}  // namespace

PrinterInfo DescribePdfPage(double pageWidthMm, double pageHeightMm, int dpi, double marginMm) {
  PrinterInfo info;
  info.type = 0;
  info.dpiX = info.dpiY = dpi;
  info.pageWidthMm = pageWidthMm;
  info.pageHeightMm = pageHeightMm;
  info.pageWidthDots = MmToDots(pageWidthMm, dpi);
  info.pageHeightDots = MmToDots(pageHeightMm, dpi);
  info.offsetX = info.offsetY = MmToDots(marginMm, dpi);
  info.printableWidthDots = std::max(0, info.pageWidthDots - 2 * info.offsetX);
  info.printableHeightDots = std::max(0, info.pageHeightDots - 2 * info.offsetY);
  return info;
}

PdfPrinterDevice::PdfPrinterDevice(std::string outputPath, std::string queue, double pageWidthMm,
                                   double pageHeightMm, int dpi, double marginMm)
    : outputPath_(std::move(outputPath)),
      queue_(std::move(queue)),
      info_(DescribePdfPage(pageWidthMm, pageHeightMm, dpi, marginMm)) {}

PdfPrinterDevice::~PdfPrinterDevice() {
  if (file_ || surface_) AbortDocument();
}

bool PdfPrinterDevice::Fail(std::string text) {
  if (!failed_) error_ = std::move(text);
  failed_ = true;
  return false;
}

void PdfPrinterDevice::Release() {
  if (cr_) cairo_destroy(cr_);
  cr_ = nullptr;
  if (surface_) cairo_surface_destroy(surface_);
  surface_ = nullptr;
  file_.reset();  // removes the temporary unless it was committed
}

bool PdfPrinterDevice::StartDocument(std::string_view jobName) {
  jobName_ = std::string(jobName);
  failed_ = false;
  error_.clear();
  if (info_.dpiX <= 0 || info_.pageWidthDots <= 0 || info_.pageHeightDots <= 0)
    return Fail("invalid page size or resolution");
  if (outputPath_.empty() && queue_.empty()) return Fail("no output file or queue");
  // A document for a queue is written to a scratch file that is never
  // committed: it is removed once the queue has it.
  std::string target = outputPath_;
  if (target.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    target = std::string(tmp && *tmp ? tmp : "/tmp") + "/vividrome-pdf";
  }
  file_ = std::make_unique<platform::AtomicFile>(target);
  if (!file_->Open()) {
    const std::string text = "cannot create " + file_->TemporaryPath() + ": " + std::strerror(errno);
    file_.reset();
    return Fail(text);
  }
  std::FILE* stream = file_->Stream();
  if (!stream) {
    const std::string text = std::strerror(errno);
    file_.reset();
    return Fail(text);
  }
  const double widthPt = info_.pageWidthMm * 72.0 / 25.4, heightPt = info_.pageHeightMm * 72.0 / 25.4;
  surface_ = cairo_pdf_surface_create_for_stream(WriteToStream, stream, widthPt, heightPt);
  if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
    const std::string text = cairo_status_to_string(cairo_surface_status(surface_));
    AbortDocument();
    return Fail(text);
  }
  cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_TITLE, jobName_.c_str());
  cr_ = cairo_create(surface_);
  return cairo_status(cr_) == CAIRO_STATUS_SUCCESS || Fail(cairo_status_to_string(cairo_status(cr_)));
}

bool PdfPrinterDevice::StartPage() { return cr_ != nullptr && !failed_; }

bool PdfPrinterDevice::EndPage() {
  if (!cr_ || failed_) return false;
  cairo_show_page(cr_);
  return cairo_status(cr_) == CAIRO_STATUS_SUCCESS || Fail(cairo_status_to_string(cairo_status(cr_)));
}

bool PdfPrinterDevice::DrawBand(const CDIBitmap& band, int width, int rows, int x, int y) {
  if (!cr_ || failed_) return false;
  if (band.GetBitCount() != 24 || width <= 0 || rows <= 0 || width > band.GetWidth() || rows > band.GetHeight())
    return Fail("invalid band");
  // cairo keeps the image until the page is written, so each band gets an
  // image surface of its own.
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, rows);
  if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(image);
    return Fail("Not enough memory available !");
  }
  cairo_surface_flush(image);
  unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  for (int row = 0; row < rows; ++row) {
    const uint8_t* in = band.RowPointer(row);
    uint32_t* out = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(row) * stride);
    for (int i = 0; i < width; ++i, in += 3)
      out[i] = (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[1]) << 8) | in[0];
  }
  cairo_surface_mark_dirty(image);
  cairo_save(cr_);
  cairo_scale(cr_, 72.0 / info_.dpiX, 72.0 / info_.dpiY);
  cairo_translate(cr_, x + info_.offsetX, y + info_.offsetY);
  cairo_set_source_surface(cr_, image, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
  cairo_rectangle(cr_, 0, 0, width, rows);
  cairo_fill(cr_);
  cairo_restore(cr_);
  cairo_surface_destroy(image);
  return cairo_status(cr_) == CAIRO_STATUS_SUCCESS || Fail(cairo_status_to_string(cairo_status(cr_)));
}

bool PdfPrinterDevice::SubmitToQueue() {
  std::FILE* in = std::fopen(file_->TemporaryPath().c_str(), "rb");
  if (!in) return Fail(std::strerror(errno));
  bool ok = false;
  const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, queue_.c_str(), jobName_.c_str(), 0, nullptr);
  if (job > 0 && cupsStartDocument(CUPS_HTTP_DEFAULT, queue_.c_str(), job, jobName_.c_str(), CUPS_FORMAT_PDF, 1) ==
                     HTTP_STATUS_CONTINUE) {
    ok = true;
    std::vector<char> chunk(65536);
    size_t got;
    while (ok && (got = std::fread(chunk.data(), 1, chunk.size(), in)) > 0)
      ok = cupsWriteRequestData(CUPS_HTTP_DEFAULT, chunk.data(), got) == HTTP_STATUS_CONTINUE;
    const ipp_status_t status = cupsFinishDocument(CUPS_HTTP_DEFAULT, queue_.c_str());
    ok = ok && status <= IPP_STATUS_OK_EVENTS_COMPLETE;
    if (!ok) cupsCancelJob2(CUPS_HTTP_DEFAULT, queue_.c_str(), job, 0);
  }
  std::fclose(in);
  return ok || Fail(std::string("CUPS queue ") + queue_ + ": " + cupsLastErrorString());
}

bool PdfPrinterDevice::EndDocument() {
  if (!surface_) return false;
  if (failed_) {
    AbortDocument();
    return false;
  }
  cairo_destroy(cr_);
  cr_ = nullptr;
  cairo_surface_finish(surface_);
  const cairo_status_t status = cairo_surface_status(surface_);
  cairo_surface_destroy(surface_);
  surface_ = nullptr;
  bool ok = status == CAIRO_STATUS_SUCCESS && file_->Flush();
  if (!ok) Fail(status != CAIRO_STATUS_SUCCESS ? cairo_status_to_string(status) : std::strerror(errno));
  if (ok && !outputPath_.empty()) {
    ok = file_->Commit();
    if (!ok) Fail(std::string("cannot write ") + outputPath_ + ": " + std::strerror(errno));
  } else if (ok) {
    ok = SubmitToQueue();
  }
  file_.reset();
  return ok;
}

void PdfPrinterDevice::AbortDocument() { Release(); }

}  // namespace print
