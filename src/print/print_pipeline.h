// The print pipeline: one image onto one printed page at the place and size
// the page setup fixed, by one of three paths:
//   EPSON direct     (printToPort, printerType 1): rescale, CMYK separation,
//                    halftoning, ESC/P2 raster stream; a writer thread packs,
//                    compresses and sends each band while the job thread
//                    prepares the next one;
//   DesignJet direct (printToPort, printerType 2): the same stages and the
//                    HP-GL/2 + RTL stream, sent inline by the job thread;
//   device bands     (printToPort off): rescaled 24-bit bands drawn into a
//                    PrinterDevice (a PDF on cairo).
// Every stage reports through a PrintProgress panel and polls the print
// cancel flag (platform::RequestCancel / CancelCount), which the job clears
// when it ends.
#pragma once

#include <memory>
#include <string>

#include "image/dibitmap.h"
#include "platform/region.h"
#include "print/page_setup.h"
#include "print/print_progress.h"
#include "print/printer_types.h"
#include "print/separation.h"
#include "print/spooler.h"

namespace print {

class PrinterDevice;

// Colour management of a direct job: when enabled and both profiles are
// given, the separation uses a grid built from the two profiles.
struct PrintColorManagement {
  bool enabled = false;
  std::string inputProfile;
  std::string separationProfile;
  int intent = 0;  // 0..3
};

struct PrintSettings {
  int outputColor = 2;     // 1 "&Grayscale", 2 "Colo&r", 3 "CMYK Se&paration"
  bool invert = false;     // print the negative
  bool printToPort = true; // a direct path
  int printerType = kPrinterEpson;
  bool duplex = false;
  bool flip = false;       // mirrored left to right (direct paths only)
  // Page range, clamped into minPage..maxPage; counts down when
  // firstPage > lastPage. Every page carries the same image.
  int firstPage = 1, lastPage = 1, minPage = 1, maxPage = 1;
  SeparationCurves curves;
  PrintColorManagement colorManagement;
  // "Print to fi&le": the output file (a cancelled job leaves it as it
  // was), else the CUPS queue.
  std::string printToFile;
  std::string queue;
  std::string jobName = "Vividrome";
};

// Band heights. Direct paths: 240, lowered by 24 while W x B > 3,145,728,
// at least 24. Device path: 300, lowered by 1 while W x B > 3,145,728, at
// least 1.
int DirectBandHeight(int visibleWidth);
int DeviceBandHeight(int visibleWidth);

// Result codes (image/result_codes.h, texts by FormatErrorCode): kResultOk
// (1) or 0 success as documented per function, kPrintCannotStart the
// printer or document cannot start, kResultPrinterError ("Printer error!")
// the printer stream or device failed, kResultCancelled, kResultInvalidSize
// / kResultInvalidParameter for an image or layout that cannot be printed,
// kResultInvalidFormat ("Invalid file format!") a colour profile that cannot
// be used, kResultOutOfMemory when memory runs out.

// A job whose printer or document cannot start (StartDocument refused).
// The number is kResultOutOfMemory's, and a page that runs out of memory
// ends its job with that very number, so a job's -1 cannot tell the two
// apart; it is reported as "cannot start".
inline constexpr int kPrintCannotStart = -1;

// The page geometry of a direct path (vertical units 360 per inch) or of the
// device path (the device's vertical resolution): units = dpiX across and
// `unitsY` down; twips convert as twips x units / 1440 (truncated). The
// origin is (left margin - offsetX, top margin - offsetY), each clamped at 0;
// the destination is the layout's image rectangle converted and moved by the
// origin; the clip rectangle is the printable area (0, 0, printable width,
// printable height).
struct PageGeometry {
  platform::Rect dest;
  platform::Rect clip;
};
PageGeometry ComputePageGeometry(const PrinterInfo& printer, int unitsY, const PageLayout& layout);

// dest intersected with clip (empty when they do not meet).
platform::Rect VisibleRect(const platform::Rect& dest, const platform::Rect& clip);

// A whole direct job on `spooler`: start the document (kPrintCannotStart
// when it cannot start), every page of the range through PrintPageDirect
// between StartPage and EndPage, then end the document. A page that fails
// marks the job aborted: the document is aborted (nothing of it is
// delivered, no file is left) and the page's code (kResultPrinterError for a
// stream that failed) is returned. A cancel stops after the current band;
// the page still ends (the printer gets its page end) and the document is
// ended, or aborted when settings.printToFile is set (no partial page
// replaces a file), and kResultCancelled is returned. The cancel flag is cleared at the
// end. Returns 0 on success. Any printer type other than 1 or 2 prints
// nothing on each page and the job returns that type value.
int PrintJobDirect(Spooler& spooler, const PrintSettings& settings, const PrinterInfo& printer,
                   const PageLayout& layout, const CDIBitmap& image, PrintProgress* progress = nullptr);

// The page geometry of the direct paths, then PrintImageDirect.
int PrintPageDirect(Spooler& spooler, const PrintSettings& settings, const PrinterInfo& printer,
                    const PageLayout& layout, const CDIBitmap& image, PrintProgress& progress);

// Dispatches on settings.printerType: 1 the EPSON path, 2 the DesignJet path,
// any other value prints nothing and returns it. sourceRect null means the
// whole image. Nothing is sent (no stream at all) when dest and clip do not
// intersect. Returns kResultOk when the page was sent, 0 when nothing was
// visible, or a negative code.
int PrintImageDirect(Spooler& spooler, const PrintSettings& settings, const PrinterInfo& printer,
                     const CDIBitmap& image, const platform::Rect* sourceRect, const platform::Rect& dest,
                     const platform::Rect& clip, PrintProgress& progress);

// The device path: start the document on the device, per page "Page %d",
// StartPage, PrintPageBands, EndPage; end the document (also after a
// cancel, unless settings.printToFile is set), or abort it after a failure.
// Returns 0, kPrintCannotStart when the document cannot start,
// kResultPrinterError when the device failed, kResultCancelled when
// cancelled.
int PrintJobBands(PrinterDevice& device, const PrintSettings& settings, const PageLayout& layout,
                  const CDIBitmap& image, PrintProgress* progress = nullptr);
int PrintPageBands(PrinterDevice& device, const PrintSettings& settings, const PageLayout& layout,
                   const CDIBitmap& image, PrintProgress& progress);
// Per band of DeviceBandHeight rows: "Rescale Image" (band filled white and
// rescaled), "Band Transfering ", gray and invert, drawn at its place unless
// cancelled, "Band Transferd" with the percentage.
int PrintImageBands(PrinterDevice& device, const PrintSettings& settings, const CDIBitmap& image,
                    const platform::Rect* sourceRect, const platform::Rect& dest, const platform::Rect& clip,
                    PrintProgress& progress);

// Opens the spooler a direct job writes to: a FileSpooler for
// settings.printToFile, else a CupsSpooler for settings.queue.
std::unique_ptr<Spooler> OpenSpooler(const PrintSettings& settings);

// Builds the separation grid from the colour-management profiles: 1 when
// built, 0 when colour management is off or a profile is missing (the curve
// method applies), kResultInvalidFormat with a message shown when a profile
// cannot be used.
int BuildProfileSeparationGrid(const PrintColorManagement& management, SeparationGrid& grid);

}  // namespace print
