#include "app/shell_print.h"

#include <cups/cups.h>

#include "document/vivid_doc.h"
#include "platform/messages.h"
#include "print/print_job.h"

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

std::string PrintImageOnQueue(const CDIBitmap& image, const std::string& printer) {
  print::PrintRequest request;
  request.printer = print::PrinterKind::PdfDevice;
  request.queue = printer;
  print::PrintJob job;
  const print::PrintRequestCheck check = print::PreparePrintJob(request, job);
  if (!check.Accepted()) return check.text;
  const print::PrintOutcome printed = print::PrintImage(job, image);
  return printed.result == 0 ? std::string() : printed.message;
}

ShellPrintOutcome PrintFileOnQueue(const std::string& file, const std::string& printer) {
  ShellPrintOutcome outcome;
  const std::string queue = printer.empty() ? DefaultPrinterName() : printer;
  if (queue.empty()) {
    outcome.message = "Cannot print " + file +
                      ": there is no default printer. Choose one with /pt FILE PRINTER DRIVER PORT, or set a "
                      "default printer (lpoptions -d NAME).";
    return outcome;
  }
  print::PrintRequest request;
  request.printer = print::PrinterKind::PdfDevice;
  request.queue = queue;
  print::PrintJob job;
  const print::PrintRequestCheck check = print::PreparePrintJob(request, job);
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
