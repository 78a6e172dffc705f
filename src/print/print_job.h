// The print job as the print dialog and the command line start it: the
// user's choices (PrintRequest) are checked once and completed into the
// pipeline's settings, the printer's facts and the page setup (PrintJob);
// PrintImage then prints one image with them and tells the outcome in words.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "image/dibitmap.h"
#include "image/result_codes.h"
#include "print/page_setup.h"
#include "print/print_pipeline.h"
#include "print/print_progress.h"
#include "print/printer_types.h"

namespace print {

// Where a job is printed: the EPSON or DesignJet raster stream (the direct
// paths) or the PDF device (the band path).
enum class PrinterKind { Epson, DesignJet, PdfDevice };

// The resolutions a printer takes: `low` and `high` only (onlyEnds), or every
// whole dpi from `low` to `high`; `standard` when none is chosen.
//   EPSON 360 or 720 (360), DesignJet 300 or 600 (300), PDF 72..1200 (300).
struct ResolutionRange {
  int low = 0;
  int high = 0;
  int standard = 0;
  bool onlyEnds = false;
};
ResolutionRange ResolutionsOf(PrinterKind printer);

// The percentages a scaled print takes: 1..kScalePercentMax of the image's
// natural size.
inline constexpr int kScalePercentMax = 1000;

// The largest margin on a paper, in millimetres: half its shorter side
// (0 for a code outside 1..kPaperCodeCount).
double MarginLimitMm(int paperCode);

// The image's resolution when it has none (0 or below): 72 dpi both ways,
// as documents take it.
inline constexpr int kDefaultImageDpi = 72;

// Colour management by profiles for a direct job.
struct PrintProfiles {
  std::string input;
  std::string separation;
  int intent = 0;  // 0..3
};

// The choices of one job.
struct PrintRequest {
  PrinterKind printer = PrinterKind::Epson;
  int dpi = 0;                     // 0: the printer's standard resolution
  int paperCode = kPaperA4;        // 1..kPaperCodeCount
  // The printer's printing offset (x, y) in dots, replacing its own; direct
  // printers only.
  std::optional<std::array<double, 2>> offsetDots;
  // Left, top, right, bottom in millimetres, 0..MarginLimitMm; raised to the
  // printer's minimum margins (with its message). Unset: the minimum margins.
  std::optional<std::array<double, 4>> marginsMm;
  int scalePercent = 0;            // 1..kScalePercentMax; 0: fit to the page
  bool gray = false;
  bool invert = false;
  bool flip = false;               // mirrored; direct printers only
  std::optional<std::string> curvesFile;      // separation curves (.cck); direct printers only
  std::optional<PrintProfiles> profiles;      // direct printers only
  std::string outputFile;          // exactly one of an output file...
  std::string queue;               // ...and a CUPS queue
};

// What PreparePrintJob refused, in the order it checks.
enum class PrintRefusal {
  None,
  NoTarget,          // neither or both of outputFile and queue
  Resolution,        // a resolution the printer does not take
  Paper,             // a paper code outside 1..kPaperCodeCount
  Scale,             // a percentage outside 0..kScalePercentMax
  CurvesOnDevice,    // curves for the PDF device
  CurveFile,         // the curve file cannot be loaded
  ProfilesOnDevice,  // profiles for the PDF device
  Intent,            // an intent outside 0..3
  OffsetOnDevice,    // an offset for the PDF device
  Offset,            // an offset not in whole dots inside the page
  Margins,           // a margin outside 0..MarginLimitMm
};

struct PrintRequestCheck {
  PrintRefusal refusal = PrintRefusal::None;
  // kResultOk when accepted; the curve file's load result for CurveFile,
  // else kResultInvalidParameter.
  int result = kResultOk;
  std::string text;  // the refusal in words ("" when accepted)
  bool Accepted() const { return refusal == PrintRefusal::None; }
};

// A checked job: what the pipeline reads.
struct PrintJob {
  PrintSettings settings;  // printToPort, printerType, colour, flip, curves, profiles, target
  PrinterInfo printer;     // the printer's facts at the resolution and paper, with the offset
  PageSetup setup;         // paper, margins (twips), scale, centred
};

// Checks `request` and completes `job`. The checks run in the order of
// PrintRefusal and the first that fails is returned (job then undefined).
// Completion:
//   - the printer's facts: DescribePrinter at the resolution and paper, or
//     DescribePdfPage of the paper's size; an offset replaces the printer's,
//     cutting the printable size to what is left of the page;
//   - the minimum margins (MinimumMargins, millimetres) from those facts;
//     requested margins are rounded to hundredths of a millimetre and put
//     through CheckMargins (which shows kMarginsCorrectedText when it raises
//     one); then converted to twips (MarginToTwips), as is the paper
//     (round(mm x 1440 / 25.4));
//   - fit to the page, or the percentage for both sides; always centred;
//   - settings: grey output colour (1) or colour (2), invert, flip, the
//     loaded curves (SetSeparationCurves), the profiles, the output file or
//     the queue; printerType 1, 2, or 0 with printToPort off for the PDF.
PrintRequestCheck PreparePrintJob(const PrintRequest& request, PrintJob& job);

// How a job ended.
struct PrintOutcome {
  // 0 printed; else the layout's or the job's result code (kPrintCannotStart,
  // kResultPrinterError, kResultCancelled, ...).
  int result = 0;
  // What the user still needs to be told ("" when printed, or when the job
  // already showed its reason through platform::ShowMessage):
  //   kPrintCannotStart: "cannot start the print job on TARGET[: REASON]",
  //   TARGET the output file or "queue NAME", REASON the spooler's or the
  //   device's last error; otherwise FormatErrorCode(result), followed by
  //   " REASON" when there is one. A cancelled job always gets its text.
  std::string message;
};

// Prints `image` as `job` says: the layout (ComputePageLayout) of the
// image's size at its resolution (kDefaultImageDpi when it has none), then
// the direct job on OpenSpooler's spooler or the band job on a
// PdfPrinterDevice of the job's page, reporting to `progress` (may be null).
// A layout that fails prints nothing; a cancelled job leaves the output file
// as it was (a file there before stays). Messages the job shows pass on to
// the current message sink.
PrintOutcome PrintImage(const PrintJob& job, const CDIBitmap& image, PrintProgressSink* progress = nullptr);

}  // namespace print
