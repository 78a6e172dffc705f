#include "app/color_management_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>
#include <array>
#include <string>
#include <vector>

#include "app/app_settings.h"
#include "editing/display_color.h"
#include "platform/settings.h"

namespace app {

namespace {

QString FromStd(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Fills `box` with "None" and the profiles of `list`, each holding its path
// as item data, and chooses `path` (added as an extra entry when the list
// does not hold it).
void FillProfiles(QComboBox* box, const std::vector<color::ProfileEntry>& list, const std::string& path) {
  box->addItem("None", QString());
  for (const color::ProfileEntry& entry : list)
    box->addItem(FromStd(entry.displayName.empty() ? entry.fileName : entry.displayName), FromStd(entry.path));
  int index = 0;
  if (!path.empty()) {
    index = color::ProfileCatalogue::IndexOf(list, path);
    if (index == 0) {
      box->addItem(FromStd(path), FromStd(path));
      index = box->count() - 1;
    }
  }
  box->setCurrentIndex(index);
}

std::string ChosenPath(const QComboBox* box) { return box->currentData().toString().toStdString(); }

QString DescriptionText(int intent) {
  QString text = FromStd(color::IntentDescription(intent));
  text.replace("\r\n", "\n");
  return text;
}

}  // namespace

void ApplyColorManagement(const color::ColorManagementSettings& settings) {
  SetDisplayColorSettings(settings);
  MachinePaths& paths = CurrentAppSettings().paths;
  paths.icmScanner = settings.inputPath;
  paths.icmMonitor = settings.displayPath;
  paths.icmPrinter = settings.outputPath;
  paths.icmSeparate = settings.separationPath;
}

struct ColorManagementDialog::Private {
  QCheckBox* enable = nullptr;
  QComboBox* input = nullptr;
  QComboBox* display = nullptr;
  QComboBox* output = nullptr;
  QComboBox* separation = nullptr;
  QComboBox* intent = nullptr;
  QLabel* description = nullptr;
};

ColorManagementDialog::ColorManagementDialog(const color::ProfileCatalogue& catalogue,
                                             const color::ColorManagementSettings& initial, QWidget* parent)
    : QDialog(parent), d_(std::make_unique<Private>()) {
  setWindowTitle("Color Management");
  auto* layout = new QVBoxLayout(this);
  d_->enable = new QCheckBox("Enable Color Matching");
  d_->enable->setObjectName("enable");
  d_->enable->setChecked(initial.enabled);
  layout->addWidget(d_->enable);

  auto* form = new QFormLayout;
  const auto list = [&](const char* name, const char* label, const std::vector<color::ProfileEntry>& entries,
                        const std::string& path) {
    auto* box = new QComboBox;
    box->setObjectName(name);
    FillProfiles(box, entries, path);
    form->addRow(label, box);
    return box;
  };
  d_->input = list("input", "Input:", catalogue.Input(), initial.inputPath);
  d_->display = list("display", "Display:", catalogue.Display(), initial.displayPath);
  d_->output = list("output", "Output:", catalogue.Output(), initial.outputPath);
  d_->separation = list("separation", "Separation:", catalogue.Separation(), initial.separationPath);
  d_->intent = new QComboBox;
  d_->intent->setObjectName("intent");
  for (int i = 0; i < 4; ++i) d_->intent->addItem(FromStd(color::IntentName(i)));
  d_->intent->setCurrentIndex(initial.intent >= 0 && initial.intent <= 3 ? initial.intent : 0);
  form->addRow("Intent:", d_->intent);
  layout->addLayout(form);

  auto* group = new QGroupBox("Description");
  auto* groupLayout = new QVBoxLayout(group);
  d_->description = new QLabel(DescriptionText(d_->intent->currentIndex()));
  d_->description->setObjectName("description");
  d_->description->setWordWrap(true);
  groupLayout->addWidget(d_->description);
  layout->addWidget(group);
  QObject::connect(d_->intent, &QComboBox::currentIndexChanged, this,
                   [this](int index) { d_->description->setText(DescriptionText(index)); });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

ColorManagementDialog::~ColorManagementDialog() = default;

color::ColorManagementSettings ColorManagementDialog::Settings() const {
  color::ColorManagementSettings settings;
  settings.enabled = d_->enable->isChecked();
  settings.inputPath = ChosenPath(d_->input);
  settings.displayPath = ChosenPath(d_->display);
  settings.outputPath = ChosenPath(d_->output);
  settings.separationPath = ChosenPath(d_->separation);
  settings.intent = d_->intent->currentIndex();
  return settings;
}

bool RunColorManagement(QWidget* parent, platform::Settings& settings) {
  color::ProfileCatalogue catalogue;
  catalogue.ScanProfiles();
  color::ColorManagementSettings current;
  current.Load(settings);
  ColorManagementDialog dialog(catalogue, current, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  const color::ColorManagementSettings chosen = dialog.Settings();
  chosen.Save(settings);
  ApplyColorManagement(chosen);
  return true;
}

}  // namespace app
