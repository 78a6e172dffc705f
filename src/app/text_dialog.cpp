#include "app/text_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/image_view_widget.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"

namespace app {

namespace {

constexpr int kSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 32, 36, 48, 64, 72, 96};
constexpr int kLargestSize = 999;

// A switch of the text's style, its letter shown in that style.
QPushButton* StyleButton(const QString& text, const char* name, bool on, QWidget* parent,
                         void (QFont::*style)(bool)) {
  auto* button = new QPushButton(text, parent);
  QFont font = button->font();
  (font.*style)(true);
  button->setFont(font);
  button->setObjectName(name);
  button->setCheckable(true);
  button->setChecked(on);
  button->setFixedWidth(button->fontMetrics().horizontalAdvance("WW") + 16);
  return button;
}

QPointer<TextDialog>& Current() {
  static QPointer<TextDialog> current;
  return current;
}

}  // namespace

struct TextDialog::Private {
  QPlainTextEdit* text = nullptr;
  QComboBox* font = nullptr;
  QComboBox* size = nullptr;
  QComboBox* unit = nullptr;
  QPushButton* bold = nullptr;
  QPushButton* italic = nullptr;
  QPushButton* underline = nullptr;
  QLabel* sample = nullptr;
  TextSettings initial;
  // The view whose Text dialog this is (none for a dialog of its own).
  QPointer<ImageViewWidget> view;
  std::function<void()> after;
  bool owned = false;  // opened by OpenTextDialog: deletes itself when done
  bool ended = false;

  int Size() const {
    bool ok = false;
    const int value = size->currentText().trimmed().toInt(&ok);
    return ok && value >= 1 && value <= kLargestSize ? value : initial.size;
  }

  void ShowSample() const {
    QFont shown(font->currentText());
    if (unit->currentIndex() == 1)
      shown.setPointSize(Size());
    else
      shown.setPixelSize(Size());
    shown.setBold(bold->isChecked());
    shown.setItalic(italic->isChecked());
    shown.setUnderline(underline->isChecked());
    sample->setFont(shown);
  }
};

TextDialog::TextDialog(QWidget* parent) : QDialog(parent), d_(std::make_unique<Private>()) {
  d_->initial = ToolSettings().textSettings;
  const TextSettings& initial = d_->initial;
  setWindowTitle("Text");

  auto* layout = new QVBoxLayout(this);
  d_->text = new QPlainTextEdit(this);
  d_->text->setObjectName("text");
  d_->text->setPlainText(QString::fromStdString(initial.text).replace("\r\n", "\n"));
  layout->addWidget(d_->text);

  auto* grid = new QGridLayout;
  layout->addLayout(grid);
  auto* fontLabel = new QLabel("&Font:", this);
  d_->font = new QComboBox(this);
  d_->font->setObjectName("font");
  const QStringList families = QFontDatabase::families();
  const QString family = QString::fromStdString(initial.font);
  if (!family.isEmpty() && !families.contains(family)) d_->font->addItem(family);
  d_->font->addItems(families);
  d_->font->setCurrentText(family);
  fontLabel->setBuddy(d_->font);
  grid->addWidget(fontLabel, 0, 0);
  grid->addWidget(d_->font, 0, 1, 1, 3);

  auto* sizeLabel = new QLabel("&Size:", this);
  d_->size = new QComboBox(this);
  d_->size->setObjectName("size");
  d_->size->setEditable(true);
  d_->size->setInsertPolicy(QComboBox::NoInsert);
  d_->size->setValidator(new QIntValidator(1, kLargestSize, d_->size));
  for (int size : kSizes) d_->size->addItem(QString::number(size));
  d_->size->setCurrentText(QString::number(initial.size));
  sizeLabel->setBuddy(d_->size);
  d_->unit = new QComboBox(this);
  d_->unit->setObjectName("unit");
  d_->unit->addItems({"Pixels", "Points"});
  d_->unit->setCurrentIndex(initial.sizeInPoints ? 1 : 0);
  grid->addWidget(sizeLabel, 1, 0);
  grid->addWidget(d_->size, 1, 1);
  grid->addWidget(d_->unit, 1, 2);

  auto* styles = new QHBoxLayout;
  d_->bold = StyleButton("&B", "bold", initial.bold, this, &QFont::setBold);
  d_->italic = StyleButton("&I", "italic", initial.italic, this, &QFont::setItalic);
  d_->underline = StyleButton("&U", "underline", initial.underline, this, &QFont::setUnderline);
  styles->addWidget(d_->bold);
  styles->addWidget(d_->italic);
  styles->addWidget(d_->underline);
  styles->addStretch();
  grid->addLayout(styles, 2, 1, 1, 3);

  d_->sample = new QLabel("AaBbYyZz", this);
  d_->sample->setObjectName("sample");
  d_->sample->setAlignment(Qt::AlignCenter);
  d_->sample->setFrameShape(QFrame::StyledPanel);
  d_->sample->setMinimumHeight(60);
  layout->addWidget(d_->sample);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  const auto sample = [this] { d_->ShowSample(); };
  connect(d_->font, &QComboBox::currentTextChanged, this, sample);
  connect(d_->size, &QComboBox::currentTextChanged, this, sample);
  connect(d_->unit, &QComboBox::currentIndexChanged, this, sample);
  for (QPushButton* button : {d_->bold, d_->italic, d_->underline}) connect(button, &QPushButton::toggled, this, sample);
  d_->ShowSample();
  d_->text->setFocus();
}

TextDialog::~TextDialog() = default;

TextSettings TextDialog::Settings() const {
  TextSettings settings = d_->initial;
  settings.text = d_->text->toPlainText().toStdString();
  settings.font = d_->font->currentText().toStdString();
  settings.size = d_->Size();
  settings.sizeInPoints = d_->unit->currentIndex() == 1;
  settings.bold = d_->bold->isChecked();
  settings.italic = d_->italic->isChecked();
  settings.underline = d_->underline->isChecked();
  return settings;
}

void TextDialog::done(int result) {
  // Mask Only belongs to the Text page, which may have changed meanwhile.
  if (result == QDialog::Accepted) {
    const bool maskOnly = ToolSettings().textSettings.maskOnly;
    ToolSettings().textSettings = Settings();
    ToolSettings().textSettings.maskOnly = maskOnly;
  }
  if (!d_->ended && d_->view) {
    d_->ended = true;
    CVividView& view = d_->view->View();
    if (view.TextDialogOpen()) {
      if (result == QDialog::Accepted)
        view.OnTextDialogOk();
      else
        view.OnTextDialogCancel();
    }
    if (d_->after) d_->after();
  }
  QDialog::done(result);
  // The keys go back to the window the dialog worked on.
  if (d_->view) d_->view->window()->activateWindow();
  if (d_->owned) deleteLater();
}

TextDialog* OpenTextDialog(ImageViewWidget& view, std::function<void()> after) {
  if (CurrentTextDialog() || !view.View().TextDialogOpen()) return nullptr;
  // A child of the view's widget: it goes with the widget at the latest.
  auto* dialog = new TextDialog(&view);
  dialog->d_->view = &view;
  dialog->d_->owned = true;
  dialog->d_->after = std::move(after);
  QObject::connect(&view, &QObject::destroyed, dialog, [dialog] {
    dialog->d_->view = nullptr;
    dialog->d_->ended = true;
    dialog->hide();
    dialog->deleteLater();
  });
  Current() = dialog;
  dialog->show();
  // The keys (Esc, Return, the fields' steps) go to the dialog from the
  // start, also where no window manager hands it the focus.
  dialog->raise();
  dialog->activateWindow();
  return dialog;
}

TextDialog* CurrentTextDialog() {
  TextDialog* dialog = Current();
  return dialog && !dialog->d_->ended ? dialog : nullptr;
}

}  // namespace app
