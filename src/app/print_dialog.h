// "&Print..." and "Printer Setup ...": the dialogs that fill PrintChoices,
// and the print command that runs a job from them.
//
// The print dialog's fields [object names]:
//   "&Printer:" [queue]            the CUPS queues, first "(default printer)" (data "")
//   "Print to Port" [printToPort]  a direct printer stream; enables the type list
//   printer type [printerType]     "HP Design Jet Compatible" (data 2), "EPSON
//                                  Stylus Color Compatible" (data 1); the stored
//                                  type is reselected, else the first entry
//   "&Resolution:" [resolution]    the kind's resolutions (data dpi)
//   "Print to fi&le" [printToFile] with the file name [file] and [browse]
//   "&Grayscale" [gray], "Colo&r" [color], "CMYK Se&paration" [cmyk]
//   "Invert" [invert], "Duplex Printing" [duplex]
//   "&From:" [firstPage], "&To:" [lastPage]  1..kMaxPrintPages
//   "Preview &Dots..." [previewDots]  the dot preview (direct printers only)
// Printer Setup shows the first four alone.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "app/shell_print.h"

class CDIBitmap;

namespace app {

class PrintDialog : public QDialog {
 public:
  enum class Mode { Print, PrinterSetup };
  // `image` (may be null) is what "Preview &Dots..." shows.
  PrintDialog(const PrintChoices& choices, Mode mode, const CDIBitmap* image, QWidget* parent = nullptr);
  ~PrintDialog() override;

  // The fields as they stand (in Printer Setup only the printer fields
  // differ from the choices the dialog started with).
  PrintChoices Choices() const;

 private:
  struct Private;
  std::unique_ptr<Private> d_;
};

// Printer Setup: on OK the printer fields replace CurrentPrintChoices().
bool RunPrinterSetup(QWidget* parent);

// "&Print...": the print dialog on CurrentPrintChoices(); on OK the choices
// are kept, the job is prepared (PreparePrint with CurrentPageChoices()) and
// started on a copy of `image` with a progress panel. `finished` gets the
// outcome's text ("" printed) when the job ends; a refused job shows its
// reason and ends there.
void RunPrintCommand(QWidget* parent, const CDIBitmap& image, std::function<void(const std::string&)> finished);

}  // namespace app
