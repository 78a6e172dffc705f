// The file dialog and the codec option dialogs over Qt widgets.
#include "platform/qt/qt_prompts.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QString>
#include <QStringList>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

namespace platform {
namespace {

bool HaveWidgets() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Qt's form of an entry: "NAME (PAT1 PAT2)". The dialog shows only NAME
// (HideNameFilterDetails), so the names look as the caller wrote them.
QString QtNameFilter(const FileFilterEntry& entry) {
  // "*.*" means every file, as it does in the '|' lists; Qt's "*.*" would
  // leave out names without a dot.
  QStringList patterns;
  for (const std::string& p : entry.patterns) patterns << (p == "*.*" ? QStringLiteral("*") : QString::fromStdString(p));
  return QString::fromStdString(entry.name) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
         QLatin1Char(')');
}

// A dialog with one labelled field and OK/Cancel buttons.
class OptionDialog {
 public:
  OptionDialog(const char* title, const char* label, QWidget* field) {
    dialog_.setWindowTitle(QString::fromLatin1(title));
    auto* form = new QFormLayout;
    form->addRow(QString::fromLatin1(label), field);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog_, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog_, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog_);
    layout->addLayout(form);
    layout->addWidget(buttons);
    dialog_.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  }
  bool Run() { return dialog_.exec() == QDialog::Accepted; }

 private:
  QDialog dialog_{QApplication::activeWindow()};
};

// A list of `count` entries of `names`, `selected` preselected; the chosen
// index, or nullopt for Cancel.
std::optional<int> ChooseFromList(const char* title, const char* label, const char* const* names, int count,
                                  int selected) {
  auto* combo = new QComboBox;
  for (int i = 0; i < count; ++i) combo->addItem(QString::fromLatin1(names[i]));
  combo->setCurrentIndex(std::clamp(selected, 0, count - 1));
  OptionDialog dialog(title, label, combo);
  if (!dialog.Run()) return std::nullopt;
  return combo->currentIndex();
}

}  // namespace

std::vector<FileFilterEntry> ParseFileFilter(std::string_view filter) {
  std::vector<std::string_view> fields;
  while (!filter.empty()) {
    const size_t bar = filter.find('|');
    fields.push_back(filter.substr(0, bar));
    if (bar == std::string_view::npos) break;
    filter.remove_prefix(bar + 1);
  }
  std::vector<FileFilterEntry> entries;
  for (size_t i = 0; i + 1 < fields.size() && !fields[i].empty(); i += 2) {
    FileFilterEntry entry{std::string(fields[i]), {}};
    std::string_view patterns = fields[i + 1];
    while (true) {
      const size_t semi = patterns.find(';');
      const std::string_view p = Trim(patterns.substr(0, semi));
      if (!p.empty()) entry.patterns.emplace_back(p);
      if (semi == std::string_view::npos) break;
      patterns.remove_prefix(semi + 1);
    }
    if (!entry.patterns.empty()) entries.push_back(std::move(entry));
  }
  return entries;
}

std::optional<FileDialogResult> QtPrompts::FileDialog(const FileDialogRequest& request) {
  if (!HaveWidgets()) return std::nullopt;
  const std::vector<FileFilterEntry> entries = ParseFileFilter(request.filter);
  QStringList filters;
  for (const FileFilterEntry& entry : entries) filters << QtNameFilter(entry);

  QFileDialog dialog(QApplication::activeWindow());
  dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails |
                    QFileDialog::DontConfirmOverwrite);
  const bool save = request.mode == FileDialogMode::Save;
  if (!request.title.empty()) dialog.setWindowTitle(QString::fromStdString(request.title));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!request.initialFolder.empty()) dialog.setDirectory(QString::fromStdString(request.initialFolder));
  if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    const int index = request.typeIndex >= 1 && request.typeIndex <= filters.size() ? request.typeIndex : 1;
    dialog.selectNameFilter(filters[index - 1]);
  }
  if (!request.initialName.empty()) dialog.selectFile(QString::fromStdString(request.initialName));

  // Qt's own dialog keeps the types in the combo box "fileTypeCombo" and
  // the name in the line edit "fileNameEdit". When the user picks a type the
  // combo reports the new index first, then "activated", on which the dialog
  // itself swaps the name's extension; the callback gets the name as it was
  // before that swap, and its answer replaces the name.
  auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  auto* nameField = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  QString nameBeforeChange;
  int shownType = types ? types->currentIndex() : -1;
  if (request.onTypeChanged && types && nameField) {
    QObject::connect(types, &QComboBox::currentIndexChanged, &dialog,
                     [&](int) { nameBeforeChange = nameField->text(); });
    QObject::connect(types, &QComboBox::activated, &dialog, [&](int index) {
      // Picking the type already shown is no change.
      if (index < 0 || index >= filters.size() || index == shownType) return;
      shownType = index;
      const std::string name = request.onTypeChanged(index + 1, nameBeforeChange.toStdString());
      nameField->setText(QString::fromStdString(name));
    });
  }

  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  FileDialogResult result;
  result.path = chosen.front().toStdString();
  const int selected =
      types ? types->currentIndex() : static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
  result.typeIndex = selected >= 0 && selected < filters.size() ? selected + 1 : 1;
  return result;
}

std::optional<int> QtPrompts::TiffOptions(bool oneBit) {
  if (!HaveWidgets()) return 0;
  return ChooseFromList("TIFF Option", "Compression:", kTiffCompressionNames, TiffCompressionCount(oneBit), 0);
}

std::optional<int> QtPrompts::JpegOptions(int quality) {
  const int start = std::clamp(quality, kJpegQualityMin, kJpegQualityMax);
  if (!HaveWidgets()) return start;
  auto* spin = new QSpinBox;
  spin->setRange(kJpegQualityMin, kJpegQualityMax);
  spin->setValue(start);
  OptionDialog dialog("JPEG Option", "Compression Quality:", spin);
  if (!dialog.Run()) return std::nullopt;
  return spin->value();
}

std::optional<int> QtPrompts::TgaOptions() {
  if (!HaveWidgets()) return 0;
  return ChooseFromList("TGA Option", "Compression:", kTgaCompressionNames,
                        static_cast<int>(std::size(kTgaCompressionNames)), 0);
}

std::optional<PhotoCDChoice> QtPrompts::PhotoCDOptions(const PhotoCDRequest& request) {
  const int count =
      std::clamp(request.resolutionCount, 1, static_cast<int>(std::size(kPhotoCDResolutionNames)));
  const int preset = std::clamp(request.resolution, 0, count - 1);
  if (!HaveWidgets()) return PhotoCDChoice{preset};
  const std::optional<int> chosen =
      ChooseFromList("Photo CD Option", "Resolution:", kPhotoCDResolutionNames, count, preset);
  if (!chosen) return std::nullopt;
  return PhotoCDChoice{*chosen};
}

}  // namespace platform
