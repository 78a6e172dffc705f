#include "app/shell_print.h"

#include <cups/cups.h>

#include <algorithm>
#include <utility>

#include "app/cmyk_setup_dialog.h"
#include "color/color_settings.h"
#include "document/vivid_doc.h"
#include "editing/display_color.h"
#include "platform/messages.h"

namespace app {

std::string DefaultPrinterName() {
  // With a null name libcups looks up the user's default (lpoptions, then
  // the server's); it returns null when there is none.
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
  if (!dest) return {};
  std::string name = dest->name ? dest->name : "";
  cupsFreeDests(1, dest);
  return name;
}

std::vector<std::string> PrinterNames() {
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    std::string name = dests[i].name ? dests[i].name : "";
    if (dests[i].instance) name += std::string("/") + dests[i].instance;
    if (!name.empty()) names.push_back(std::move(name));
  }
  cupsFreeDests(count, dests);
  return names;
}

PrintChoices& CurrentPrintChoices() {
  static PrintChoices choices;
  return choices;
}

PageChoices& CurrentPageChoices() {
  static PageChoices choices;
  return choices;
}

print::PrinterKind KindOf(const PrintChoices& choices) {
  if (!choices.printToPort) return print::PrinterKind::PdfDevice;
  return choices.printerType == print::kPrinterDesignJet ? print::PrinterKind::DesignJet : print::PrinterKind::Epson;
}

print::PrintRequestCheck PreparePrint(const PrintChoices& choices, const PageChoices& page, print::PrintJob& job) {
  print::PrintRequest request;
  request.printer = KindOf(choices);
  request.dpi = choices.dpi;
  request.paperCode = page.paperCode;
  request.marginsMm = page.marginsMm;
  request.gray = choices.outputColor == 1;
  request.invert = choices.invert;
  request.flip = page.layout.flip;
  // Colour matching by profiles, as the command line's --input-profile,
  // --separation-profile and --intent give it: the direct printers only (the
  // request refuses profiles for the PDF device), and only with both an
  // input and a separation profile chosen.
  const color::ColorManagementSettings& matching = GetDisplayColorSettings();
  const bool direct = request.printer != print::PrinterKind::PdfDevice;
  if (direct && matching.enabled && !matching.inputPath.empty() && !matching.separationPath.empty())
    request.profiles = print::PrintProfiles{matching.inputPath, matching.separationPath, matching.intent};
  if (choices.printToFile) {
    request.outputFile = choices.file;
    if (request.outputFile.empty())
      return {print::PrintRefusal::NoTarget, kResultInvalidParameter, "Choose the file to print to."};
  } else {
    request.queue = choices.queue.empty() ? DefaultPrinterName() : choices.queue;
    if (request.queue.empty())
      return {print::PrintRefusal::NoTarget, kResultInvalidParameter,
              "There is no default printer. Choose one under Printer Setup, or set a default printer (lpoptions -d "
              "NAME)."};
  }
  print::PrintRequestCheck check = print::PreparePrintJob(request, job);
  if (!check.Accepted()) return check;

  // What the request has no field for.
  print::PageSetup& setup = job.setup;
  const print::PageSetup& chosen = page.layout;
  setup.scaleMode = chosen.scaleMode;
  setup.allowDistortion = chosen.allowDistortion;
  setup.width = chosen.width;
  setup.height = chosen.height;
  setup.sizeUnit = chosen.sizeUnit;
  setup.positionMode = chosen.positionMode;
  setup.left = chosen.left;
  setup.top = chosen.top;
  setup.positionUnit = chosen.positionUnit;
  setup.flip = chosen.flip;
  setup.flipVertical = chosen.flipVertical;
  if (page.landscape && request.printer == print::PrinterKind::PdfDevice) {
    print::PrinterInfo& printer = job.printer;
    std::swap(printer.pageWidthMm, printer.pageHeightMm);
    std::swap(printer.pageWidthDots, printer.pageHeightDots);
    std::swap(printer.printableWidthDots, printer.printableHeightDots);
    std::swap(printer.offsetX, printer.offsetY);
    std::swap(setup.paperWidthTwips, setup.paperHeightTwips);
  }
  print::PrintSettings& settings = job.settings;
  // The CMYK Setup curves (identity, the pipeline's default, until the
  // dialog stores others), copied as a --curves file's are.
  if (direct) FillSeparationCurves(settings.curves);
  if (choices.outputColor == 3) settings.outputColor = 3;
  settings.duplex = choices.duplex;
  settings.minPage = 1;
  settings.maxPage = kMaxPrintPages;
  settings.firstPage = std::clamp(choices.firstPage, 1, kMaxPrintPages);
  settings.lastPage = std::clamp(choices.lastPage, 1, kMaxPrintPages);
  return check;
}

ShellPrintOutcome PrintFileOnQueue(const std::string& file, const std::string& printer) {
  ShellPrintOutcome outcome;
  PrintChoices choices = CurrentPrintChoices();
  choices.printToFile = false;
  if (!printer.empty()) choices.queue = printer;
  if (choices.queue.empty() && DefaultPrinterName().empty()) {
    outcome.message = "Cannot print " + file +
                      ": there is no default printer. Choose one with /pt FILE PRINTER DRIVER PORT, or set a "
                      "default printer (lpoptions -d NAME).";
    return outcome;
  }
  print::PrintJob job;
  const print::PrintRequestCheck check = PreparePrint(choices, CurrentPageChoices(), job);
  if (!check.Accepted()) {
    outcome.message = check.text;
    return outcome;
  }
  CVividDoc document;
  if (!document.OnOpenDocument(file)) {
    outcome.message = "Cannot print " + file + ": the file cannot be read.";
    return outcome;
  }
  const print::PrintOutcome printed = print::PrintImage(job, document.GetImage());
  outcome.printed = printed.result == 0;
  if (!outcome.printed) outcome.message = printed.message;
  return outcome;
}

}  // namespace app
