#include "print/print_pipeline.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

#include "image/result_codes.h"
#include "platform/messages.h"
#include "platform/progress.h"
#include "print/auto_reset_event.h"
#include "print/epson_stream.h"
#include "print/halftone.h"
#include "print/packbits.h"
#include "print/printer_device.h"
#include "print/rescale.h"
#include "print/rtl_stream.h"

namespace print {
namespace {

constexpr int64_t kBandBytesLimit = 3145728;  // 3 MiB per band
// Rows halftoned (and thrown away) before the first band of an EPSON page.
constexpr int kPrimingRows = 25;

bool Cancelled() { return platform::CancelCount() > 0; }

int TwipsToUnits(int twips, int units) { return static_cast<int>(static_cast<int64_t>(twips) * units / kTwipsPerInch); }

// The buffers of one direct page: the rescaled band (W x rows, the look-ahead
// row included), two sets of four planes and the halftoning state, sized once.
struct DirectBuffers {
  CDIBitmap band;
  std::vector<uint8_t> planeStore[2];
  uint8_t* planes[2][4] = {};
  HalftoneState halftone;
  std::vector<uint8_t> line, packed, compressed;

  // rows: the most rows a band dithers; width + leftOffset: a line's dots.
  int Allocate(int width, int rows, int leftOffset) {
    try {
      if (!band.Create(width, rows + 1, 24, 0)) return kResultOutOfMemory;
      const size_t planeBytes = static_cast<size_t>(width) * static_cast<size_t>(rows + 1);
      for (int set = 0; set < 2; ++set) {
        planeStore[set].assign(planeBytes * 4, 0);
        for (int c = 0; c < 4; ++c) planes[set][c] = planeStore[set].data() + planeBytes * static_cast<size_t>(c);
      }
      const int result = halftone.Allocate(width, rows);
      if (result != kResultOk) return result;
      const size_t lineDots = static_cast<size_t>(width) + static_cast<size_t>(leftOffset);
      line.assign(lineDots + 4, 0);
      packed.assign((lineDots + 7) / 8 + 4, 0);
      // Room for the worst case of both compressors, and at least the
      // 2 x packed + 6 bytes the streams are documented to need.
      compressed.assign(std::max(CompressedBound(PackedSize(static_cast<int>(lineDots))),
                                 2 * ((lineDots + 7) / 8) + 6) + 16,
                        0);
    } catch (const std::bad_alloc&) {
      return kResultOutOfMemory;
    }
    return kResultOk;
  }
};

// What the band stages share on one direct page.
struct DirectPage {
  const PrintSettings& settings;
  PrintProgress& progress;
  PrintClock::time_point start;
  Rescaler rescaler;
  DirectBuffers buffers;
  platform::Rect dest, visible;
  int width = 0;  // W
  const SeparationGrid* grid = nullptr;

  DirectPage(const PrintSettings& s, PrintProgress& p) : settings(s), progress(p), start(PrintClock::now()) {}

  void Stage(const char* text) { progress.Report(0, 0, start, PrintClock::now(), text, false); }

  // Gray and invert of `rows` band rows.
  void Tone(int rows) {
    if (settings.outputColor == 1) GrayBand(buffers.band, width, rows);
    if (settings.invert) InvertBand(buffers.band, width, rows);
  }

  // Rescales page rows top .. top + rows (the last one the look-ahead row),
  // separates them into plane set `set` and halftones `rows` rows.
  int PrepareBand(int top, int rows, int set, bool showSeparate) {
    Stage("Rescale Image");
    int result = rescaler.RescaleRows(top - dest.top, rows + 1, buffers.band);
    if (result != kResultOk) return result;
    Tone(rows + 1);
    if (Cancelled()) return kResultCancelled;
    if (showSeparate) Stage("Separate Planes");
    result = SeparateBand(buffers.band, buffers.planes[set], width, rows + 1, false, settings.flip, settings.curves,
                          grid);
    if (result != kResultOk) return result;
    Stage("Dither Planes");
    return DitherBand(buffers.halftone, buffers.planes[set], top, width, rows);
  }

  // Primes the halftoning state: the page's first row, repeated, separated
  // as kPrimingRows rows read bottom-up (plus the look-ahead row) and
  // halftoned once into plane set 0; nothing of it is sent.
  int Prime() {
    Stage("Rescale Image");
    int result = rescaler.RescaleRows(visible.top - dest.top, 1, buffers.band);
    if (result != kResultOk) return result;
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    for (int y = 1; y <= kPrimingRows; ++y)
      std::memcpy(buffers.band.RowPointer(y), buffers.band.RowPointer(0), rowBytes);
    Tone(kPrimingRows + 1);
    result = SeparateBand(buffers.band, buffers.planes[0], width, kPrimingRows + 1, true, settings.flip,
                          settings.curves, grid);
    if (result != kResultOk) return result;
    return DitherBand(buffers.halftone, buffers.planes[0], visible.top, width, kPrimingRows);
  }
};

// The band the job thread hands to the EPSON writer (all 0: the writer ends).
struct PublishedBand {
  int set = 0;
  int top = 0, left = 0, bottom = 0, right = 0;
};

int PrintEpson(DirectPage& page, Spooler& spooler, const PrinterInfo& printer) {
  const int leftOffset = std::max(page.visible.left, 0);
  const int bandHeight = DirectBandHeight(page.width);
  const int bufferRows = std::max(bandHeight, kPrimingRows);
  int result = page.buffers.Allocate(page.width, bufferRows, leftOffset);
  if (result != kResultOk) return result;

  EpsonStream stream(spooler);
  stream.StartPage(printer.dpiX, printer.pageHeightMm, std::max(page.visible.top, 0));
  if (stream.Failed()) {
    stream.EndPage();
    return kResultPrinterError;
  }

  result = page.Prime();
  const int visibleHeight = page.visible.Height();
  AutoResetEvent bandReady(false), writerIdle(true);
  PublishedBand published;
  std::thread writer([&] {
    for (;;) {
      bandReady.Wait();
      const PublishedBand band = published;
      if (band.bottom - band.top <= 0) return;
      for (int j = 0; j < band.bottom - band.top && !Cancelled(); ++j) {
        const size_t offset = static_cast<size_t>(j) * static_cast<size_t>(page.width);
        const uint8_t* rows[4];
        for (int c = 0; c < 4; ++c) rows[c] = page.buffers.planes[band.set][c] + offset;
        stream.WriteRasterLine(rows, page.width, leftOffset, page.buffers.line.data(), page.buffers.packed.data(),
                               page.buffers.compressed.data());
        const int row = band.top + j;
        if (row % 24 == 0) {
          const std::string text = platform::FormatText("%dth line Transferd", row);
          page.progress.Report(visibleHeight, row - page.visible.top + 1, page.start, PrintClock::now(),
                               text.c_str(), true);
        }
      }
      writerIdle.Set();
    }
  });

  int set = 1;  // set 0 holds the priming pass
  bool streamFailed = false;
  for (int top = page.visible.top; result == kResultOk && top < page.visible.bottom;) {
    const int bottom = std::min(top + bandHeight, page.visible.bottom);
    result = page.PrepareBand(top, bottom - top, set, false);
    if (result != kResultOk) break;
    writerIdle.Wait();
    streamFailed = stream.Failed();  // read after the writer went idle
    published = {set, top, page.visible.left, bottom, page.visible.right};
    bandReady.Set();
    set ^= 1;
    if (bottom >= page.visible.bottom || Cancelled() || streamFailed) break;
    top = bottom;
  }
  writerIdle.Wait();
  published = {};
  bandReady.Set();
  writer.join();
  stream.EndPage();

  if (Cancelled()) return kResultCancelled;
  if (stream.Failed()) return kResultPrinterError;
  return result;
}

int PrintDesignJet(DirectPage& page, Spooler& spooler, const PrinterInfo& printer) {
  const int leftOffset = std::max(page.visible.left, 0);
  const int bandHeight = DirectBandHeight(page.width);
  int result = page.buffers.Allocate(page.width, bandHeight, leftOffset);
  if (result != kResultOk) return result;

  RtlStream stream(spooler);
  stream.StartPage(printer.dpiX, printer.pageWidthMm, printer.pageHeightMm, std::max(page.visible.top, 0));
  const int visibleHeight = page.visible.Height();
  const int lineWidth = page.width + leftOffset;
  // Each band covers rows top .. bottom - 1 with bottom = min(top + B - 1,
  // visible bottom), so B - 1 rows, and the next band starts at bottom.
  for (int top = page.visible.top; top < page.visible.bottom && !stream.Failed();) {
    const int bottom = std::min(top + bandHeight - 1, page.visible.bottom);
    const int rows = bottom - top;
    result = page.PrepareBand(top, rows, 0, true);
    if (result != kResultOk) break;
    page.Stage("Transfer to Printer");
    stream.BeginBand(lineWidth, rows);
    for (int j = 0; j < rows && !Cancelled(); ++j) {
      const size_t offset = static_cast<size_t>(j) * static_cast<size_t>(page.width);
      const uint8_t* planeRows[4];
      for (int c = 0; c < 4; ++c) planeRows[c] = page.buffers.planes[0][c] + offset;
      stream.WriteRasterRow(planeRows, page.width, leftOffset, page.buffers.line.data(), page.buffers.packed.data(),
                            page.buffers.compressed.data());
      const int row = top + j;
      if (row % 10 == 0) {
        const std::string text = platform::FormatText("%dth line Transferd", row);
        page.progress.Report(visibleHeight, row - page.visible.top + 1, page.start, PrintClock::now(), text.c_str(),
                             true);
      }
    }
    stream.EndBand();
    if (Cancelled()) break;
    top = bottom;
  }
  const bool cancelled = Cancelled();
  stream.EndPage(cancelled);
  if (cancelled) return kResultCancelled;
  if (stream.Failed()) return kResultPrinterError;
  return result;
}

// The pages of the range in printing order.
std::vector<int> PageNumbers(const PrintSettings& settings) {
  const int low = std::min(settings.minPage, settings.maxPage), high = std::max(settings.minPage, settings.maxPage);
  const int first = std::clamp(settings.firstPage, low, high), last = std::clamp(settings.lastPage, low, high);
  std::vector<int> pages;
  const int step = first <= last ? 1 : -1;
  for (int page = first;; page += step) {
    pages.push_back(page);
    if (page == last) break;
  }
  return pages;
}

platform::Rect WholeImage(const CDIBitmap& image) { return {0, 0, image.GetWidth(), image.GetHeight()}; }

}  // namespace

int DirectBandHeight(int visibleWidth) {
  int band = 240;
  while (static_cast<int64_t>(visibleWidth) * band > kBandBytesLimit && band > 24) band -= 24;
  return std::max(band, 24);
}

int DeviceBandHeight(int visibleWidth) {
  int band = 300;
  while (static_cast<int64_t>(visibleWidth) * band > kBandBytesLimit && band > 1) band -= 1;
  return std::max(band, 1);
}

platform::Rect VisibleRect(const platform::Rect& dest, const platform::Rect& clip) {
  platform::Rect visible{std::max(dest.left, clip.left), std::max(dest.top, clip.top), std::min(dest.right, clip.right),
                         std::min(dest.bottom, clip.bottom)};
  if (visible.IsEmpty()) return {};
  return visible;
}

PageGeometry ComputePageGeometry(const PrinterInfo& printer, int unitsY, const PageLayout& layout) {
  const int unitsX = printer.dpiX;
  const int originX = std::max(0, TwipsToUnits(layout.marginsTwips.left, unitsX) - printer.offsetX);
  const int originY = std::max(0, TwipsToUnits(layout.marginsTwips.top, unitsY) - printer.offsetY);
  PageGeometry geometry;
  geometry.dest = {TwipsToUnits(layout.imageRect.left, unitsX) + originX,
                   TwipsToUnits(layout.imageRect.top, unitsY) + originY,
                   TwipsToUnits(layout.imageRect.right, unitsX) + originX,
                   TwipsToUnits(layout.imageRect.bottom, unitsY) + originY};
  geometry.clip = {0, 0, printer.printableWidthDots, printer.printableHeightDots};
  return geometry;
}

int PrintImageDirect(Spooler& spooler, const PrintSettings& settings, const PrinterInfo& printer,
                     const CDIBitmap& image, const platform::Rect* sourceRect, const platform::Rect& dest,
                     const platform::Rect& clip, PrintProgress& progress) {
  if (settings.printerType != kPrinterEpson && settings.printerType != kPrinterDesignJet) return settings.printerType;
  const platform::Rect visible = VisibleRect(dest, clip);
  if (visible.IsEmpty()) return 0;
  if (printer.dpiX <= 0) return kResultInvalidParameter;

  DirectPage page(settings, progress);
  page.dest = dest;
  page.visible = visible;
  page.width = visible.Width();
  int result = page.rescaler.Init(image, sourceRect ? *sourceRect : WholeImage(image), dest.Width(), dest.Height(),
                                  visible.left - dest.left, visible.Width());
  if (result != kResultOk) return result;

  std::unique_ptr<SeparationGrid> grid;
  if (settings.colorManagement.enabled && !settings.colorManagement.inputProfile.empty() &&
      !settings.colorManagement.separationProfile.empty()) {
    try {
      grid = std::make_unique<SeparationGrid>();
    } catch (const std::bad_alloc&) {
      return kResultOutOfMemory;
    }
    result = BuildProfileSeparationGrid(settings.colorManagement, *grid);
    if (result < 0) return result;
    if (result == kResultOk) page.grid = grid.get();
  }

  result = settings.printerType == kPrinterEpson ? PrintEpson(page, spooler, printer)
                                                 : PrintDesignJet(page, spooler, printer);
  return result;
}

int PrintPageDirect(Spooler& spooler, const PrintSettings& settings, const PrinterInfo& printer,
                    const PageLayout& layout, const CDIBitmap& image, PrintProgress& progress) {
  const PageGeometry geometry = ComputePageGeometry(printer, printer.dpiY, layout);
  return PrintImageDirect(spooler, settings, printer, image, nullptr, geometry.dest, geometry.clip, progress);
}

// The page loop of a whole job on a spooler or a printer device (both have
// the same document and page calls): "Page %d" per page of the range, each
// page started, printed by `printPage` and ended; the first failure leaves
// the loop. A failed job is aborted, a finished or cancelled one ended (a
// cancelled page was still ended properly); a cancelled one printing to a
// file is aborted. Returns 0, a negative code, or
// what `printPage` returned when `keepPageResult` says so.
template <typename Target, typename PrintPage, typename KeepResult>
int RunJobPages(Target& target, const PrintSettings& settings, PrintProgress* progress, PrintPage printPage,
                KeepResult keepPageResult) {
  PrintProgress silent;
  PrintProgress& panel = progress ? *progress : silent;
  if (!target.StartDocument(settings.jobName)) {
    platform::ResetCancel();
    return kPrintCannotStart;
  }
  const PrintClock::time_point start = PrintClock::now();
  int result = 0;
  for (const int pageNumber : PageNumbers(settings)) {
    panel.Stage(platform::FormatText("Page %d", pageNumber), start);
    if (!target.StartPage()) {
      result = kResultPrinterError;
      break;
    }
    const int page = printPage(panel);
    const bool ended = target.EndPage();
    if (page < 0) {
      result = page;
      break;
    }
    if (keepPageResult()) result = page;
    if (!ended) {
      result = kResultPrinterError;
      break;
    }
    if (Cancelled()) {
      result = kResultCancelled;
      break;
    }
  }
  // A cancelled document is ended for a printer's sake, except a file's: a
  // partial page is no use as a file, and the file it would replace stays.
  if (result < 0 && (result != kResultCancelled || !settings.printToFile.empty())) {
    target.AbortDocument();
  } else if (!target.EndDocument() && result >= 0) {
    result = kResultPrinterError;
  }
  platform::ResetCancel();
  return result;
}

int PrintJobDirect(Spooler& spooler, const PrintSettings& settings, const PrinterInfo& printer,
                   const PageLayout& layout, const CDIBitmap& image, PrintProgress* progress) {
  // A printer type without a direct path prints nothing and its value is
  // the job's result.
  return RunJobPages(
      spooler, settings, progress,
      [&](PrintProgress& panel) { return PrintPageDirect(spooler, settings, printer, layout, image, panel); },
      [&] { return settings.printerType != kPrinterEpson && settings.printerType != kPrinterDesignJet; });
}

int PrintImageBands(PrinterDevice& device, const PrintSettings& settings, const CDIBitmap& image,
                    const platform::Rect* sourceRect, const platform::Rect& dest, const platform::Rect& clip,
                    PrintProgress& progress) {
  const platform::Rect visible = VisibleRect(dest, clip);
  if (visible.IsEmpty()) return 0;
  const int width = visible.Width();
  const int bandHeight = DeviceBandHeight(width);
  Rescaler rescaler;
  int result = rescaler.Init(image, sourceRect ? *sourceRect : WholeImage(image), dest.Width(), dest.Height(),
                             visible.left - dest.left, width);
  if (result != kResultOk) return result;
  CDIBitmap band;
  if (!band.Create(width, bandHeight, 24, 0)) return kResultOutOfMemory;
  const PrintClock::time_point start = PrintClock::now();
  const int visibleHeight = visible.Height();
  for (int top = visible.top; top < visible.bottom; top += bandHeight) {
    const int rows = std::min(bandHeight, visible.bottom - top);
    progress.Report(0, 0, start, PrintClock::now(), "Rescale Image", false);
    for (int y = 0; y < rows; ++y) std::memset(band.RowPointer(y), 255, static_cast<size_t>(width) * 3);
    result = rescaler.RescaleRows(top - dest.top, rows, band);
    if (result != kResultOk) return result;
    progress.Report(0, 0, start, PrintClock::now(), "Band Transfering ", false);
    if (settings.outputColor == 1) GrayBand(band, width, rows);
    if (settings.invert) InvertBand(band, width, rows);
    if (Cancelled()) return kResultCancelled;
    if (!device.DrawBand(band, width, rows, visible.left, top)) return kResultPrinterError;
    progress.Report(visibleHeight, top + rows - visible.top, start, PrintClock::now(), "Band Transferd", true);
  }
  return kResultOk;
}

int PrintPageBands(PrinterDevice& device, const PrintSettings& settings, const PageLayout& layout,
                   const CDIBitmap& image, PrintProgress& progress) {
  const PrinterInfo info = device.Info();
  const PageGeometry geometry = ComputePageGeometry(info, info.dpiY, layout);
  return PrintImageBands(device, settings, image, nullptr, geometry.dest, geometry.clip, progress);
}

int PrintJobBands(PrinterDevice& device, const PrintSettings& settings, const PageLayout& layout,
                  const CDIBitmap& image, PrintProgress* progress) {
  return RunJobPages(
      device, settings, progress,
      [&](PrintProgress& panel) { return PrintPageBands(device, settings, layout, image, panel); },
      [] { return false; });
}

std::unique_ptr<Spooler> OpenSpooler(const PrintSettings& settings) {
  if (!settings.printToFile.empty()) return std::make_unique<FileSpooler>(settings.printToFile);
  return std::make_unique<CupsSpooler>(settings.queue);
}

}  // namespace print
