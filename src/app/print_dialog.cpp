#include "app/print_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "app/dot_preview.h"
#include "app/print_progress_panel.h"
#include "image/dibitmap.h"
#include "platform/messages.h"

namespace app {
namespace {

QString FromStd(const std::string& text) { return QString::fromStdString(text); }

// The resolutions offered for a printer kind: both ends, or a choice of the
// usual ones inside the range.
std::vector<int> OfferedResolutions(print::PrinterKind kind) {
  const print::ResolutionRange range = print::ResolutionsOf(kind);
  if (range.onlyEnds) return {range.low, range.high};
  std::vector<int> offered;
  for (int dpi : {72, 150, 200, 300, 360, 600, 720, 1200})
    if (dpi >= range.low && dpi <= range.high) offered.push_back(dpi);
  return offered;
}

}  // namespace

struct PrintDialog::Private {
  PrintDialog* self = nullptr;
  PrintChoices start;
  const CDIBitmap* image = nullptr;
  QComboBox* queue = nullptr;
  QCheckBox* printToPort = nullptr;
  QComboBox* printerType = nullptr;
  QComboBox* resolution = nullptr;
  QCheckBox* printToFile = nullptr;
  QLineEdit* file = nullptr;
  QPushButton* browse = nullptr;
  QRadioButton* gray = nullptr;
  QRadioButton* color = nullptr;
  QRadioButton* cmyk = nullptr;
  QCheckBox* invert = nullptr;
  QCheckBox* duplex = nullptr;
  QSpinBox* firstPage = nullptr;
  QSpinBox* lastPage = nullptr;
  QPushButton* previewDots = nullptr;

  void FillResolutions(int wanted) {
    PrintChoices now = start;
    now.printToPort = printToPort->isChecked();
    now.printerType = printerType->currentData().toInt();
    const print::PrinterKind kind = KindOf(now);
    const int standard = print::ResolutionsOf(kind).standard;
    resolution->clear();
    for (int dpi : OfferedResolutions(kind)) resolution->addItem(QString("%1 dpi").arg(dpi), dpi);
    int at = resolution->findData(wanted);
    if (at < 0) at = resolution->findData(standard);
    resolution->setCurrentIndex(std::max(0, at));
  }

  void Follow() {
    const bool port = printToPort->isChecked();
    printerType->setEnabled(port);
    if (file) {
      file->setEnabled(printToFile->isChecked());
      browse->setEnabled(printToFile->isChecked());
      queue->setEnabled(!printToFile->isChecked());
    }
    if (previewDots) previewDots->setEnabled(port && image && !PrintProgressPanel::Running());
  }
};

PrintDialog::PrintDialog(const PrintChoices& choices, Mode mode, const CDIBitmap* image, QWidget* parent)
    : QDialog(parent), d_(std::make_unique<Private>()) {
  Private& d = *d_;
  d.self = this;
  d.start = choices;
  d.image = image;
  const bool full = mode == Mode::Print;
  setWindowTitle(full ? "Print" : "Printer Setup");
  auto* layout = new QVBoxLayout(this);

  auto* printerBox = new QGroupBox("Printer", this);
  auto* printerForm = new QFormLayout(printerBox);
  d.queue = new QComboBox(printerBox);
  d.queue->setObjectName("queue");
  d.queue->addItem("(default printer)", QString());
  for (const std::string& name : PrinterNames()) d.queue->addItem(FromStd(name), FromStd(name));
  if (!choices.queue.empty() && d.queue->findData(FromStd(choices.queue)) < 0)
    d.queue->addItem(FromStd(choices.queue), FromStd(choices.queue));
  d.queue->setCurrentIndex(std::max(0, d.queue->findData(FromStd(choices.queue))));
  printerForm->addRow("&Printer:", d.queue);
  d.printToPort = new QCheckBox("Print to Port", printerBox);
  d.printToPort->setObjectName("printToPort");
  d.printToPort->setChecked(choices.printToPort);
  printerForm->addRow(d.printToPort);
  d.printerType = new QComboBox(printerBox);
  d.printerType->setObjectName("printerType");
  d.printerType->addItem("HP Design Jet Compatible", print::kPrinterDesignJet);
  d.printerType->addItem("EPSON Stylus Color Compatible", print::kPrinterEpson);
  d.printerType->setCurrentIndex(std::max(0, d.printerType->findData(choices.printerType)));
  printerForm->addRow("Printer &type:", d.printerType);
  d.resolution = new QComboBox(printerBox);
  d.resolution->setObjectName("resolution");
  printerForm->addRow("&Resolution:", d.resolution);
  layout->addWidget(printerBox);
  d.FillResolutions(choices.dpi);

  if (full) {
    auto* fileRow = new QHBoxLayout;
    d.printToFile = new QCheckBox("Print to fi&le", this);
    d.printToFile->setObjectName("printToFile");
    d.printToFile->setChecked(choices.printToFile);
    d.file = new QLineEdit(FromStd(choices.file), this);
    d.file->setObjectName("file");
    d.browse = new QPushButton("&Browse...", this);
    d.browse->setObjectName("browse");
    d.browse->setAutoDefault(false);
    fileRow->addWidget(d.printToFile);
    fileRow->addWidget(d.file, 1);
    fileRow->addWidget(d.browse);
    layout->addLayout(fileRow);

    auto* colorBox = new QGroupBox("Output Color", this);
    auto* colorRow = new QHBoxLayout(colorBox);
    d.gray = new QRadioButton("&Grayscale", colorBox);
    d.gray->setObjectName("gray");
    d.color = new QRadioButton("Colo&r", colorBox);
    d.color->setObjectName("color");
    d.cmyk = new QRadioButton("CMYK Se&paration", colorBox);
    d.cmyk->setObjectName("cmyk");
    for (QRadioButton* b : {d.gray, d.color, d.cmyk}) colorRow->addWidget(b);
    (choices.outputColor == 1 ? d.gray : choices.outputColor == 3 ? d.cmyk : d.color)->setChecked(true);
    layout->addWidget(colorBox);

    auto* optionRow = new QHBoxLayout;
    d.invert = new QCheckBox("Invert", this);
    d.invert->setObjectName("invert");
    d.invert->setChecked(choices.invert);
    d.duplex = new QCheckBox("Duplex Printing", this);
    d.duplex->setObjectName("duplex");
    d.duplex->setChecked(choices.duplex);
    optionRow->addWidget(d.invert);
    optionRow->addWidget(d.duplex);
    optionRow->addStretch(1);
    layout->addLayout(optionRow);

    auto* pageRow = new QHBoxLayout;
    auto spin = [&](const char* name, int value) {
      auto* s = new QSpinBox(this);
      s->setObjectName(name);
      s->setRange(1, kMaxPrintPages);
      s->setValue(std::clamp(value, 1, kMaxPrintPages));
      return s;
    };
    d.firstPage = spin("firstPage", choices.firstPage);
    d.lastPage = spin("lastPage", choices.lastPage);
    auto* fromLabel = new QLabel("Pages &From:", this);
    fromLabel->setBuddy(d.firstPage);
    auto* toLabel = new QLabel("&To:", this);
    toLabel->setBuddy(d.lastPage);
    pageRow->addWidget(fromLabel);
    pageRow->addWidget(d.firstPage);
    pageRow->addWidget(toLabel);
    pageRow->addWidget(d.lastPage);
    pageRow->addStretch(1);
    layout->addLayout(pageRow);
  }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  if (full) {
    buttons->button(QDialogButtonBox::Ok)->setText("&Print");
    d.previewDots = buttons->addButton("Preview &Dots...", QDialogButtonBox::ActionRole);
    d.previewDots->setObjectName("previewDots");
  }
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto follow = [this] { d_->Follow(); };
  connect(d.printToPort, &QCheckBox::toggled, this, [this] {
    d_->FillResolutions(d_->resolution->currentData().toInt());
    d_->Follow();
  });
  connect(d.printerType, &QComboBox::currentIndexChanged, this,
          [this] { d_->FillResolutions(d_->resolution->currentData().toInt()); });
  if (full) {
    connect(d.printToFile, &QCheckBox::toggled, this, follow);
    connect(d.browse, &QPushButton::clicked, this, [this] {
      const QString chosen = QFileDialog::getSaveFileName(this, "Print to File", d_->file->text());
      if (!chosen.isEmpty()) d_->file->setText(chosen);
    });
    connect(d.previewDots, &QPushButton::clicked, this, [this] {
      print::PrintJob job;
      const print::PrintRequestCheck check = PreparePrint(Choices(), CurrentPageChoices(), job);
      if (!check.Accepted()) {
        platform::ShowMessage(check.text, "Dot Preview");
        return;
      }
      ShowDotPreview(this, job, *d_->image);
    });
  }
  d.Follow();
}

PrintDialog::~PrintDialog() = default;

PrintChoices PrintDialog::Choices() const {
  const Private& d = *d_;
  PrintChoices choices = d.start;
  choices.queue = d.queue->currentData().toString().toStdString();
  choices.printToPort = d.printToPort->isChecked();
  choices.printerType = d.printerType->currentData().toInt();
  choices.dpi = d.resolution->currentData().toInt();
  if (d.printToFile) {
    choices.printToFile = d.printToFile->isChecked();
    choices.file = d.file->text().toStdString();
    choices.outputColor = d.gray->isChecked() ? 1 : d.cmyk->isChecked() ? 3 : 2;
    choices.invert = d.invert->isChecked();
    choices.duplex = d.duplex->isChecked();
    choices.firstPage = d.firstPage->value();
    choices.lastPage = d.lastPage->value();
  }
  return choices;
}

bool RunPrinterSetup(QWidget* parent) {
  PrintDialog dialog(CurrentPrintChoices(), PrintDialog::Mode::PrinterSetup, nullptr, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  const PrintChoices chosen = dialog.Choices();
  PrintChoices& kept = CurrentPrintChoices();
  kept.queue = chosen.queue;
  kept.printToPort = chosen.printToPort;
  kept.printerType = chosen.printerType;
  kept.dpi = chosen.dpi;
  return true;
}

void RunPrintCommand(QWidget* parent, const CDIBitmap& image, std::function<void(const std::string&)> finished) {
  if (PrintProgressPanel* running = PrintProgressPanel::Running()) {
    running->raise();
    running->activateWindow();
    return;
  }
  PrintDialog dialog(CurrentPrintChoices(), PrintDialog::Mode::Print, &image, parent);
  if (dialog.exec() != QDialog::Accepted) return;
  CurrentPrintChoices() = dialog.Choices();
  print::PrintJob job;
  const print::PrintRequestCheck check = PreparePrint(CurrentPrintChoices(), CurrentPageChoices(), job);
  if (!check.Accepted()) {
    platform::ShowMessage(check.text, "Print");
    return;
  }
  PrintProgressPanel::Start(parent, job, image, [finished](const print::PrintOutcome& outcome) {
    if (!outcome.message.empty() && outcome.result != kResultCancelled) platform::ShowMessage(outcome.message, "Print");
    if (finished) finished(outcome.result == 0 ? std::string() : outcome.message.empty() ? "Not printed" : outcome.message);
  });
}

}  // namespace app
