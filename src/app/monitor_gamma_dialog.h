// "&Monitor Gamma...": the display gamma dialog.
//
// One slider [gammaSlider] (0..500, line step 1, page step 10) and one edit
// field [gammaEdit] hold the display gamma as a decimal number 0 to 5.00 in
// steps of 0.01, starting at CurrentAppSettings().gamma / 100. Every change
// of either stores trunc(gamma x 100) in CurrentAppSettings().gamma at once
// (so the views can follow while the user judges) and repaints the test
// picture [testPicture]. OK stores round(gamma x 100), i.e. trunc(gamma x
// 100 + 0.5); Cancel (also Escape or closing the window) puts back the value
// the dialog started with, and so does destroying the dialog while it is
// still open.
//
// The field takes typed decimals ("1.8", "2.237"); a value outside 0..5 is
// clamped, text that is not a number is ignored (the held gamma stays), and
// when editing ends the field shows the held value again. The hundredths are
// taken with a tolerance far below 0.01, so a typed "1.15" stores 115 even
// though 1.15 x 100 is 114.999... in binary floating point.
//
// The test picture has four bands, gray, red, green and blue. Each band is
// filled with alternating 1-pixel rows of black and the full colour (black
// on the band's first row) and carries in its middle half a solid patch of
// level GammaTestLevel(gamma) of the same colour. Half the rows lit give half
// the light, so the solid patch matches the stripes by eye exactly when the
// display's own gamma is the one set.
#pragma once

#include <QDialog>
#include <memory>

namespace app {

// The solid patch's level: round(255 x 0.5^(1 / gamma)), 0 for gamma <= 0.
int GammaTestLevel(double gamma);

class MonitorGammaDialog : public QDialog {
 public:
  explicit MonitorGammaDialog(QWidget* parent = nullptr);
  ~MonitorGammaDialog() override;

  // The gamma the dialog holds (0..5).
  double Gamma() const;

  // Accepted: stores round(gamma x 100); anything else restores the value
  // the dialog started with. Then closes as QDialog does.
  void done(int result) override;

 private:
  struct Private;
  std::unique_ptr<Private> d_;
};

// Runs the dialog modally; true on OK (the caller then redraws the views).
bool RunMonitorGamma(QWidget* parent);

}  // namespace app
