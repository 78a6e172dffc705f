#include "app/cmyk_setup_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <array>
#include <optional>

#include "app/curve_editor.h"
#include "image/result_codes.h"
#include "platform/messages.h"
#include "platform/prompts.h"
#include "print/separation.h"

namespace app {

namespace {
constexpr int kInks = 4;
constexpr int kColumns = 11;
}  // namespace

color::CurveSet& CurrentSeparationCurves() {
  static color::CurveSet curves;
  return curves;
}

void FillSeparationCurves(print::SeparationCurves& curves) {
  print::SetSeparationCurves(curves, CurrentSeparationCurves());
}

struct CmykSetupDialog::Private {
  color::CurveSet curves = CurrentSeparationCurves();
  int current = 0;
  QComboBox* channel = nullptr;
  CurveEditor* editor = nullptr;
  QCheckBox* allSame = nullptr;
  std::array<QSpinBox*, kColumns> percents{};

  // The current ink to the editor and the percentage fields.
  void Show() {
    editor->SetChannel(curves.channels[current]);
    for (int i = 0; i < kColumns; ++i) {
      const QSignalBlocker block(percents[static_cast<size_t>(i)]);
      percents[static_cast<size_t>(i)]->setValue(
          color::PercentAt(curves.channels[current].table[color::kSeparationPercentInputs[i]]));
    }
  }
  void CopyToAll() {
    if (!allSame->isChecked()) return;
    for (int c = 0; c < kInks; ++c)
      if (c != current) curves.CopyChannel(c, current);
  }
};

CmykSetupDialog::CmykSetupDialog(QWidget* parent) : QDialog(parent), d_(std::make_unique<Private>()) {
  setWindowTitle("CMYK Separation ");
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel("Channel:"));
  d_->channel = new QComboBox;
  d_->channel->setObjectName("channel");
  d_->channel->addItems({"Cyan", "Magenta", "Yellow", "Black"});
  top->addWidget(d_->channel);
  d_->allSame = new QCheckBox("Set All Same");
  d_->allSame->setObjectName("allSame");
  top->addWidget(d_->allSame);
  top->addStretch(1);
  layout->addLayout(top);

  auto* middle = new QHBoxLayout;
  d_->editor = new CurveEditor;
  middle->addWidget(d_->editor);
  auto* side = new QVBoxLayout;
  auto* load = new QPushButton("Load...");
  load->setObjectName("load");
  auto* save = new QPushButton("Save...");
  save->setObjectName("save");
  side->addWidget(load);
  side->addWidget(save);
  side->addStretch(1);
  middle->addLayout(side);
  layout->addLayout(middle);

  auto* grid = new QGridLayout;
  for (int i = 0; i < kColumns; ++i) {
    grid->addWidget(new QLabel(QString::number(i * 10)), 0, i, Qt::AlignCenter);
    auto* box = new QSpinBox;
    box->setObjectName(QString("percent%1").arg(i * 10));
    box->setRange(0, 100);
    box->setButtonSymbols(QAbstractSpinBox::NoButtons);
    grid->addWidget(box, 1, i);
    d_->percents[static_cast<size_t>(i)] = box;
    QObject::connect(box, &QSpinBox::valueChanged, this, [this, i](int percent) {
      color::CurveChannel& c = d_->curves.channels[d_->current];
      if (!SetCurvePoint(c, color::kSeparationPercentInputs[i], color::OutputForPercent(percent))) {
        platform::ShowMessage("A curve holds at most 17 points.");
      }
      d_->CopyToAll();
      d_->Show();
    });
  }
  layout->addLayout(grid);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  d_->Show();

  d_->editor->SetOnChanged([this] {
    d_->curves.channels[d_->current] = d_->editor->Channel();
    d_->CopyToAll();
    for (int i = 0; i < kColumns; ++i) {
      const QSignalBlocker block(d_->percents[static_cast<size_t>(i)]);
      d_->percents[static_cast<size_t>(i)]->setValue(
          color::PercentAt(d_->curves.channels[d_->current].table[color::kSeparationPercentInputs[i]]));
    }
  });
  QObject::connect(d_->channel, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index < 0) return;
    d_->current = index;
    d_->Show();
  });
  QObject::connect(d_->allSame, &QCheckBox::toggled, this, [this](bool) { d_->CopyToAll(); });
  QObject::connect(load, &QPushButton::clicked, this, [this] {
    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Open;
    request.title = "Load CMYK Curve";
    request.filter = "CMYK Curve Files (*.CCK)|*.CCK|RGB Curve Files (*.CRB)|*.CRB||";
    const std::optional<platform::FileDialogResult> chosen = platform::CurrentPrompts().FileDialog(request);
    if (!chosen) return;
    const int result = color::LoadSeparationCurveFile(chosen->path, d_->curves);
    if (result != kResultOk)
      platform::ShowMessage("Cannot read the curve file " + chosen->path + ": " + FormatErrorCode(result));
    d_->Show();
  });
  QObject::connect(save, &QPushButton::clicked, this, [this] {
    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Save;
    request.title = "Save CMYK Curve";
    request.filter = "CMYK Curve Files (*.CCK)|*.CCK||";
    request.defaultExtension = "cck";
    const std::optional<platform::FileDialogResult> chosen = platform::CurrentPrompts().FileDialog(request);
    if (!chosen) return;
    const int result = color::SaveCurveFile(chosen->path, d_->curves, kInks, color::kSeparationCurveExtension);
    if (result != kResultOk)
      platform::ShowMessage("Cannot save the curve file " + chosen->path + ": " + FormatErrorCode(result));
  });
}

CmykSetupDialog::~CmykSetupDialog() = default;

const color::CurveSet& CmykSetupDialog::Curves() const { return d_->curves; }

namespace {
std::string& CurvesFile() {
  static std::string path;
  return path;
}
}  // namespace

void SetSeparationCurvesFile(const std::string& path) {
  CurvesFile() = path;
  if (path.empty() || !QFileInfo::exists(QString::fromStdString(path))) return;
  color::CurveSet stored = CurrentSeparationCurves();
  if (color::LoadSeparationCurveFile(path, stored) == 1) CurrentSeparationCurves() = stored;
}

void CmykSetupDialog::done(int result) {
  if (result == QDialog::Accepted) {
    CurrentSeparationCurves() = d_->curves;
    // Kept for the next run; a failed write keeps the earlier file.
    if (!CurvesFile().empty()) {
      QDir().mkpath(QFileInfo(QString::fromStdString(CurvesFile())).absolutePath());
      color::SaveCurveFile(CurvesFile(), CurrentSeparationCurves(), 4, ".cck");
    }
  }
  QDialog::done(result);
}

bool RunCmykSetup(QWidget* parent) {
  CmykSetupDialog dialog(parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace app
