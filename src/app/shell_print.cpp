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
