// Printing a file as the shell asks for it (/p, /pt, and the [print] and
// [printto] execute strings): the file is opened as a document and its image
// printed through the band path (the PDF printer device handed to a CUPS
// queue) with the print dialog's defaults, the same code as the command
// line's `print IN --device --queue NAME`.
#pragma once

#include <string>
#include <vector>

class CDIBitmap;

namespace app {

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

// Prints `image` on the queue `printer` through the band path; "" when it
// was printed, else why not.
std::string PrintImageOnQueue(const CDIBitmap& image, const std::string& printer);

// Prints `file` on the queue `printer`, or on the default destination when
// `printer` is empty (refused with a message when there is none).
ShellPrintOutcome PrintFileOnQueue(const std::string& file, const std::string& printer);

}  // namespace app
