// "Page Set&up...": the "Page Setup" dialog, which fills PageChoices.
//
// Fields [object names]:
//   "Si&ze:" [paper] the 41 paper names (data the code), the size beside it
//     [paperSize] as "%.2fmm/%.2fmm"; "P&ortrait" [portrait], "L&andscape"
//     [landscape] (the PDF device only: the direct printers feed one way)
//   "&Left:" [marginLeft], "&Right:" [marginRight], "&Top:" [marginTop],
//     "&Bottom:" [marginBottom] in millimetres, "%1.2f"; the printer's
//     minimum margins beside them [minimumMargins]
//   "&Fit to Page" [fitToPage], "User Defined Scale" [userScale],
//     "Allow Size &Distorsion" [allowDistortion]; "Width:" [width],
//     "Height:" [height] with the unit [sizeUnit] "%", "cm", "inch"
//   "&Center on Page" [center], "User Define Position" [userPosition];
//     "Left:" [left], "Top:" [top] with the unit [positionUnit] "cm", "inch"
//   "Flip" [flip], "Flip &Vertical" [flipVertical]
//   the page picture [pagePicture]: the paper, the margins and the image at
//     its rectangle (mirrored as the flips say), redrawn at every change.
//
// A unit change converts the entry (the same size in the new unit). Without
// distortion a user-defined width sets the height in the image's
// proportion, and the other way round. The layout is the one the print job
// computes (PreparePrint, then print::ComputePageLayout for the image).
// OK checks the margins against the printer's minimum (print::CheckMargins:
// raised ones are written back after its message) and keeps the choices.
#pragma once

#include <QDialog>
#include <memory>

#include "app/shell_print.h"
#include "print/page_setup.h"

class CDIBitmap;

namespace app {

class PageSetupDialog : public QDialog {
 public:
  // `printer` names the printer whose minimum margins apply; `image` (may be
  // null: a 4 x 3 inch stand-in) is the one the picture places.
  PageSetupDialog(const PageChoices& choices, const PrintChoices& printer, const CDIBitmap* image,
                  QWidget* parent = nullptr);
  ~PageSetupDialog() override;

  // The fields as they stand (margins as typed).
  PageChoices Choices() const;
  // The layout the picture shows; its result code (kResultOk, or why the
  // image cannot be placed).
  const print::PageLayout& Layout() const;
  int LayoutResult() const;

  // OK: the margin check, then accept.
  void accept() override;

 private:
  struct Private;
  std::unique_ptr<Private> d_;
};

// Runs the dialog on CurrentPageChoices() for the printer of
// CurrentPrintChoices(); OK keeps the result.
bool RunPageSetup(QWidget* parent, const CDIBitmap* image);

}  // namespace app
