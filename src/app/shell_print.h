// The editor's print choices and how they become a print job, and printing
// a file as the shell asks for it (/p, /pt, and the [print] and [printto]
// execute strings).
//
// The print dialog, Printer Setup and Page Setup fill PrintChoices and
// PageChoices, kept for the next print. PreparePrint turns them into a
// print::PrintRequest, the very structure the command line's `print` verb
// fills from its options, checks it with print::PreparePrintJob, and then
// adds what the command line has no option for (the page setup's sizes and
// position, landscape, CMYK output, duplex, the page range). The shell's
// prints go through the same function with the choices as they stand.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "print/print_job.h"

class CDIBitmap;

namespace app {

// The largest page number of a print range; every page carries the image.
inline constexpr int kMaxPrintPages = 99;

// The print dialog's and Printer Setup's choices.
struct PrintChoices {
  // "Print to Port": a direct printer stream (printerType) instead of the
  // PDF device.
  bool printToPort = false;
  int printerType = print::kPrinterEpson;  // kPrinterEpson or kPrinterDesignJet
  int dpi = 0;                             // 0: the printer's standard resolution
  // The CUPS queue; "" the system's default destination.
  std::string queue;
  // "Print to fi&le": the job goes to `file` instead of a queue.
  bool printToFile = false;
  std::string file;
  int outputColor = 2;  // 1 "&Grayscale", 2 "Colo&r", 3 "CMYK Se&paration"
  bool invert = false;
  bool duplex = false;
  int firstPage = 1, lastPage = 1;  // 1..kMaxPrintPages; counts down when first > last
};

// The Page Setup dialog's choices. `layout` carries the scale, size,
// position and flip choices (its paper and margin fields are filled by
// PreparePrint).
struct PageChoices {
  int paperCode = print::kPaperA4;
  // Landscape swaps the paper's width and height; the PDF device only (the
  // direct printers feed their paper one way).
  bool landscape = false;
  // Left, top, right, bottom in millimetres; unset: the printer's minimum.
  std::optional<std::array<double, 4>> marginsMm;
  print::PageSetup layout;
};

// The choices kept in the running editor.
PrintChoices& CurrentPrintChoices();
PageChoices& CurrentPageChoices();

// The printer kind the choices print on.
print::PrinterKind KindOf(const PrintChoices& choices);

// Builds and checks the job of `print` and `page`. The request: the kind
// (KindOf), dpi, paper, margins, grey when outputColor is 1, invert, flip,
// the output file when printToFile, else the queue (the default destination
// when empty: NoTarget refused with "There is no default printer ..." when
// there is none); for the direct printers, the Color Management profiles
// (input, separation, intent) when matching is enabled with both chosen.
// After PreparePrintJob accepts it: the CMYK Setup curves (direct printers
// only, as the command line's --curves gives them), the page setup's scale
// and position choices replace the request's fit-and-centre, landscape swaps
// the page (PDF device), outputColor 3 stays 3, duplex, and the page range
// clamped into 1..kMaxPrintPages.
print::PrintRequestCheck PreparePrint(const PrintChoices& print, const PageChoices& page, print::PrintJob& job);

// The name of the CUPS default destination; "" when there is none.
std::string DefaultPrinterName();

struct ShellPrintOutcome {
  bool printed = false;
  // Why nothing was printed, in words ("" when printed, or when opening the
  // file already told the user through a message).
  std::string message;
};

// The CUPS destinations (queues and instances as "queue/instance"), in
// the server's order.
std::vector<std::string> PrinterNames();

// Prints `file` on the queue `printer`, or on the queue of the current
// choices (the default destination when none is chosen) when `printer` is
// empty, through PreparePrint with the current print and page choices ("Print
// to fi&le" left out: the shell names a queue). Refused with a message when
// there is no queue.
ShellPrintOutcome PrintFileOnQueue(const std::string& file, const std::string& printer);

}  // namespace app
