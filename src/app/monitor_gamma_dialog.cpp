#include "app/monitor_gamma_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>

#include "app/app_settings.h"

namespace app {

namespace {

constexpr int kMaxHundredths = 500;
constexpr double kMaxGamma = kMaxHundredths / 100.0;
// Products like 1.15 x 100 land just below the whole number in binary; this
// margin lifts them back without touching any real thousandth.
constexpr double kHundredthsMargin = 1e-6;

int TruncHundredths(double gamma) {
  return std::clamp(static_cast<int>(std::floor(gamma * 100.0 + kHundredthsMargin)), 0, kMaxHundredths);
}

int RoundHundredths(double gamma) {
  return std::clamp(static_cast<int>(std::floor(gamma * 100.0 + 0.5 + kHundredthsMargin)), 0, kMaxHundredths);
}

QString GammaText(double gamma) { return QLocale::c().toString(gamma, 'f', 2); }

// The calibration picture: per colour a band of alternating black and
// full-colour rows with a solid patch of the matching level in its middle.
class GammaPicture final : public QWidget {
 public:
  GammaPicture() {
    setObjectName("testPicture");
    setMinimumSize(256, 192);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }
  void SetGamma(double gamma) {
    level_ = GammaTestLevel(gamma);
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    static constexpr std::array<std::array<int, 3>, 4> kColours = {{{1, 1, 1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    QPainter painter(this);
    const int w = width();
    const int h = height();
    for (int band = 0; band < 4; ++band) {
      const int top = band * h / 4;
      const int bottom = (band + 1) * h / 4;
      const auto& c = kColours[band];
      const QColor full(255 * c[0], 255 * c[1], 255 * c[2]);
      painter.fillRect(0, top, w, bottom - top, Qt::black);
      for (int y = top + 1; y < bottom; y += 2) painter.fillRect(0, y, w, 1, full);
      // The patch keeps a striped margin of a quarter band above and below.
      const int margin = (bottom - top) / 4;
      painter.fillRect(w / 4, top + margin, w / 2, bottom - top - 2 * margin,
                       QColor(level_ * c[0], level_ * c[1], level_ * c[2]));
    }
  }

 private:
  int level_ = 0;
};

}  // namespace

int GammaTestLevel(double gamma) {
  if (!(gamma > 0.0)) return 0;
  return static_cast<int>(std::lround(255.0 * std::pow(0.5, 1.0 / gamma)));
}

struct MonitorGammaDialog::Private {
  int startValue = 100;
  double gamma = 1.0;
  bool finished = false;
  QSlider* slider = nullptr;
  QLineEdit* edit = nullptr;
  GammaPicture* picture = nullptr;

  // Holds `value`, stores its hundredths as the current setting and repaints.
  void Hold(double value) {
    gamma = value;
    CurrentAppSettings().gamma = TruncHundredths(gamma);
    picture->SetGamma(gamma);
  }
};

MonitorGammaDialog::MonitorGammaDialog(QWidget* parent) : QDialog(parent), d_(std::make_unique<Private>()) {
  setWindowTitle("Monitor Gamma");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  d_->startValue = CurrentAppSettings().gamma;
  d_->gamma = std::clamp(d_->startValue / 100.0, 0.0, kMaxGamma);

  d_->slider = new QSlider(Qt::Horizontal);
  d_->slider->setObjectName("gammaSlider");
  d_->slider->setRange(0, kMaxHundredths);
  d_->slider->setSingleStep(1);
  d_->slider->setPageStep(10);
  d_->slider->setValue(RoundHundredths(d_->gamma));
  d_->edit = new QLineEdit(GammaText(d_->gamma));
  d_->edit->setObjectName("gammaEdit");
  d_->edit->setMaximumWidth(d_->edit->fontMetrics().horizontalAdvance("0000.000"));
  d_->picture = new GammaPicture;
  d_->picture->SetGamma(d_->gamma);

  Private* d = d_.get();
  connect(d->slider, &QSlider::valueChanged, this, [d](int value) {
    d->edit->setText(GammaText(value / 100.0));
    d->Hold(value / 100.0);
  });
  // Only the user's typing counts; setText from the slider does not come here.
  connect(d->edit, &QLineEdit::textEdited, this, [d](const QString& text) {
    bool ok = false;
    const double typed = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(typed)) return;
    const double value = std::clamp(typed, 0.0, kMaxGamma);
    const QSignalBlocker blocker(d->slider);
    d->slider->setValue(RoundHundredths(value));
    d->Hold(value);
  });
  connect(d->edit, &QLineEdit::editingFinished, this, [d] {
    bool ok = false;
    const double shown = QLocale::c().toDouble(d->edit->text().trimmed(), &ok);
    if (!ok || shown != d->gamma) d->edit->setText(GammaText(d->gamma));
  });

  auto* row = new QHBoxLayout;
  auto* label = new QLabel("&Gamma:");
  label->setBuddy(d_->edit);
  row->addWidget(label);
  row->addWidget(d_->slider, 1);
  row->addWidget(d_->edit);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(d_->picture, 1);
  layout->addLayout(row);
  layout->addWidget(buttons);
}

// A dialog destroyed while still open (its parent closed under it) counts as
// cancelled, so a half-moved slider never stays the setting.
MonitorGammaDialog::~MonitorGammaDialog() {
  if (!d_->finished) CurrentAppSettings().gamma = d_->startValue;
}

double MonitorGammaDialog::Gamma() const { return d_->gamma; }

void MonitorGammaDialog::done(int result) {
  d_->finished = true;
  CurrentAppSettings().gamma = result == QDialog::Accepted ? RoundHundredths(d_->gamma) : d_->startValue;
  QDialog::done(result);
}

bool RunMonitorGamma(QWidget* parent) {
  MonitorGammaDialog dialog(parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace app
