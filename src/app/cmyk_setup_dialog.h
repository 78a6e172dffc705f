// "CMYK Setup ...": the "CMYK Separation " dialog, the four ink curves
// (cyan, magenta, yellow, black) the separation applies when printing.
//
// "Channel:" chooses the ink shown in the curve editor. The row of eleven
// fields ("0" .. "100") shows the current ink's table at the inputs
// color::kSeparationPercentInputs as color::PercentAt percentages; entering a
// percentage p sets the point at that input to color::OutputForPercent(p).
// "Set All Same", when switched on, copies the current ink (points and
// table) to the other three at once, and while it is on every change is
// copied likewise. "Load CMYK Curve" takes ".cck" (and ".crb") files with
// four channels, "Save CMYK Curve" writes ".cck". OK stores the four inks as
// the application's separation curves (CurrentSeparationCurves); Cancel
// keeps the stored ones.
#pragma once

#include <string>

#include <QDialog>
#include <memory>

#include "color/curves.h"

namespace print {
struct SeparationCurves;
}

namespace app {

// The separation curves the application holds while it runs (identity until
// the dialog stores others), channels 0..3.
color::CurveSet& CurrentSeparationCurves();
// Their tables, as the print path takes them.
void FillSeparationCurves(print::SeparationCurves& curves);
// Where the curves are kept between runs (a .cck file; empty: nowhere, as
// in the tests). Setting it loads the file when there is one (a damaged file
// leaves the identity curves); the dialog's OK writes it.
void SetSeparationCurvesFile(const std::string& path);

class CmykSetupDialog : public QDialog {
 public:
  explicit CmykSetupDialog(QWidget* parent = nullptr);
  ~CmykSetupDialog() override;
  // The curves being edited.
  const color::CurveSet& Curves() const;
  // Accepted: stores the curves in CurrentSeparationCurves().
  void done(int result) override;

 private:
  struct Private;
  std::unique_ptr<Private> d_;
};

// Runs the dialog modally; true on OK.
bool RunCmykSetup(QWidget* parent);

}  // namespace app
