#include "print/print_job.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

#include "color/curves.h"
#include "image/result_codes.h"
#include "platform/messages.h"
#include "print/printer_device.h"
#include "print/spooler.h"

namespace print {
namespace {

constexpr MarginUnit kUnit = MarginUnit::Millimetre;

const char* PrinterName(PrinterKind printer) {
  switch (printer) {
    case PrinterKind::Epson: return "The EPSON printer";
    case PrinterKind::DesignJet: return "The DesignJet printer";
    case PrinterKind::PdfDevice: return "The PDF device";
  }
  return "";
}

PrintRequestCheck Refuse(PrintRefusal refusal, std::string text, int result = kResultInvalidParameter) {
  return {refusal, result, std::move(text)};
}

// A whole number of dots from 0 to below `limit` (NaN is none).
bool WholeDotsBelow(double dots, int limit) { return dots >= 0 && dots < limit && dots == std::trunc(dots); }

int MmToTwips(double mm) { return static_cast<int>(std::lround(mm * kTwipsPerInch / 25.4)); }

// Passes every message on to the sink that was current and counts them, so
// that a job's outcome can tell whether its reason was already shown.
class CountingMessages final : public platform::MessageSink {
 public:
  CountingMessages() : previous_(platform::SetMessageSink(this)) {}
  ~CountingMessages() override { platform::SetMessageSink(previous_); }
  CountingMessages(const CountingMessages&) = delete;
  CountingMessages& operator=(const CountingMessages&) = delete;

  platform::MsgAnswer Show(const platform::Message& message) override {
    ++count_;
    return previous_ ? previous_->Show(message) : platform::StderrMessageSink().Show(message);
  }
  int Count() const { return count_; }

 private:
  platform::MessageSink* previous_;
  std::atomic<int> count_{0};  // the EPSON writer thread shows its stream errors
};

}  // namespace

ResolutionRange ResolutionsOf(PrinterKind printer) {
  switch (printer) {
    case PrinterKind::Epson: return {360, 720, 360, true};
    case PrinterKind::DesignJet: return {300, 600, 300, true};
    case PrinterKind::PdfDevice: return {72, 1200, 300, false};
  }
  return {};
}

double MarginLimitMm(int paperCode) {
  PaperSizeMm paper{};
  if (!PaperSizeForCode(paperCode, paper)) return 0;
  return std::min(paper.width, paper.height) / 2;
}

PrintRequestCheck PreparePrintJob(const PrintRequest& request, PrintJob& job) {
  job = {};
  const bool device = request.printer == PrinterKind::PdfDevice;
  if (request.outputFile.empty() == request.queue.empty())
    return Refuse(PrintRefusal::NoTarget, "A print job goes to either an output file or a queue");

  const ResolutionRange resolutions = ResolutionsOf(request.printer);
  const int dpi = request.dpi == 0 ? resolutions.standard : request.dpi;
  const bool dpiTaken = resolutions.onlyEnds ? dpi == resolutions.low || dpi == resolutions.high
                                             : dpi >= resolutions.low && dpi <= resolutions.high;
  if (!dpiTaken)
    return Refuse(PrintRefusal::Resolution,
                  platform::FormatText("%s prints at %d %s %d dpi", PrinterName(request.printer), resolutions.low,
                                       resolutions.onlyEnds ? "or" : "to", resolutions.high));
  PaperSizeMm paper{};
  if (!PaperSizeForCode(request.paperCode, paper))
    return Refuse(PrintRefusal::Paper, platform::FormatText("Paper codes go from 1 to %d", kPaperCodeCount));
  if (request.scalePercent < 0 || request.scalePercent > kScalePercentMax)
    return Refuse(PrintRefusal::Scale, platform::FormatText("The scale goes from 1 to %d %%", kScalePercentMax));

  PrintSettings& settings = job.settings;
  if (request.curvesFile) {
    if (device)
      return Refuse(PrintRefusal::CurvesOnDevice, "Separation curves apply to the EPSON and DesignJet printers only");
    color::CurveSet curves;
    const int loaded = color::LoadSeparationCurveFile(*request.curvesFile, curves);
    if (loaded != kResultOk)
      return Refuse(PrintRefusal::CurveFile, *request.curvesFile + ": " + FormatErrorCode(loaded), loaded);
    SetSeparationCurves(settings.curves, curves);
  }
  if (request.profiles) {
    if (device)
      return Refuse(PrintRefusal::ProfilesOnDevice, "Colour profiles apply to the EPSON and DesignJet printers only");
    if (request.profiles->intent < 0 || request.profiles->intent > 3)
      return Refuse(PrintRefusal::Intent, "The rendering intent goes from 0 to 3");
    settings.colorManagement = {true, request.profiles->input, request.profiles->separation,
                                request.profiles->intent};
  }

  // The printer's facts, with the offset.
  PrinterInfo& printer = job.printer;
  if (device) {
    if (request.offsetDots)
      return Refuse(PrintRefusal::OffsetOnDevice, "A printing offset applies to the EPSON and DesignJet printers only");
    printer = DescribePdfPage(paper.width, paper.height, dpi);
  } else {
    printer = DescribePrinter(request.printer == PrinterKind::Epson ? kPrinterEpson : kPrinterDesignJet, dpi,
                              request.paperCode);
    if (request.offsetDots) {
      const auto [x, y] = *request.offsetDots;
      if (!WholeDotsBelow(x, printer.pageWidthDots) || !WholeDotsBelow(y, printer.pageHeightDots))
        return Refuse(PrintRefusal::Offset,
                      platform::FormatText("The printing offset must be whole dots inside the page (%d x %d dots)",
                                           printer.pageWidthDots, printer.pageHeightDots));
      printer.offsetX = static_cast<int>(x);
      printer.offsetY = static_cast<int>(y);
      printer.printableWidthDots = std::min(printer.printableWidthDots, printer.pageWidthDots - printer.offsetX);
      printer.printableHeightDots = std::min(printer.printableHeightDots, printer.pageHeightDots - printer.offsetY);
    }
  }

  // Margins: at least the printer's minimum ones.
  const PrinterGeometry geometry{printer.dpiX,          printer.dpiY,          printer.offsetX,
                                 printer.offsetY,       printer.pageWidthDots, printer.pageHeightDots,
                                 printer.printableWidthDots, printer.printableHeightDots};
  Margins minimum;
  MinimumMargins(geometry, kUnit, minimum);
  Margins margins = minimum;
  if (request.marginsMm) {
    const double limit = std::min(printer.pageWidthMm, printer.pageHeightMm) / 2;
    for (const double mm : *request.marginsMm)
      if (!(mm >= 0 && mm <= limit))
        return Refuse(PrintRefusal::Margins, platform::FormatText("Margins go from 0 to %g mm on this paper", limit));
    const auto& mm = *request.marginsMm;
    const auto hundredths = [](double value) { return static_cast<int>(std::lround(value * 100)); };
    margins = CheckMargins({hundredths(mm[0]), hundredths(mm[1]), hundredths(mm[2]), hundredths(mm[3])}, minimum,
                           kUnit)
                  .margins;
  }

  PageSetup& setup = job.setup;
  setup.paperWidthTwips = MmToTwips(printer.pageWidthMm);
  setup.paperHeightTwips = MmToTwips(printer.pageHeightMm);
  setup.marginsTwips = {MarginToTwips(margins.left, kUnit), MarginToTwips(margins.top, kUnit),
                        MarginToTwips(margins.right, kUnit), MarginToTwips(margins.bottom, kUnit)};
  if (request.scalePercent > 0) {
    setup.scaleMode = ScaleMode::UserDefined;
    setup.sizeUnit = EntryUnit::Percent;
    setup.width = setup.height = request.scalePercent;
  }
  setup.positionMode = PositionMode::Center;

  settings.printToPort = !device;
  settings.printerType = device ? 0 : request.printer == PrinterKind::Epson ? kPrinterEpson : kPrinterDesignJet;
  settings.printToFile = request.outputFile;
  settings.queue = request.queue;
  settings.outputColor = request.gray ? 1 : 2;
  settings.invert = request.invert;
  settings.flip = request.flip;
  return {};
}

PrintOutcome PrintImage(const PrintJob& job, const CDIBitmap& image, PrintProgressSink* progress) {
  ImageFacts facts{image.GetWidth(), image.GetHeight(), image.GetXResolution(), image.GetYResolution()};
  if (facts.dpiX <= 0 || facts.dpiY <= 0) facts.dpiX = facts.dpiY = kDefaultImageDpi;
  PageLayout layout;
  int result = ComputePageLayout(job.setup, facts, layout);
  if (result != kResultOk) return {result, FormatErrorCode(result)};

  const PrintSettings& settings = job.settings;
  PrintProgress panel(progress);
  CountingMessages messages;
  std::string reason;
  if (!settings.printToPort) {
    PdfPrinterDevice device(settings.printToFile, settings.queue, job.printer.pageWidthMm, job.printer.pageHeightMm,
                            job.printer.dpiX);
    result = PrintJobBands(device, settings, layout, image, &panel);
    reason = device.LastError();
  } else {
    const std::unique_ptr<Spooler> spooler = OpenSpooler(settings);
    result = PrintJobDirect(*spooler, settings, job.printer, layout, image, &panel);
    reason = spooler->LastErrorText();
  }
  if (result == 0) return {};

  if (result == kPrintCannotStart) {
    const std::string target = settings.printToFile.empty() ? "queue " + settings.queue : settings.printToFile;
    return {result, "cannot start the print job on " + target + (reason.empty() ? "" : ": " + reason)};
  }
  if (messages.Count() > 0 && result != kResultCancelled) return {result, ""};
  return {result, FormatErrorCode(result) + (reason.empty() ? "" : " " + reason)};
}

}  // namespace print
