#include "app/effect_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "app/image_view_widget.h"
#include "editing/effect_dialogs.h"
#include "editing/operation_table.h"
#include "editing/vivid_view.h"

namespace app {

namespace {

QString FromView(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

bool IsCheckBox(const DialogField& field) {
  return field.choices.size() == 2 && field.choices[0] == "off" && field.choices[1] == "on";
}

// A fractional field moves in hundredths on the slider.
int SliderScale(const DialogField& field) { return field.fractional ? 100 : 1; }

// Page Up and Page Down on a spin box step by the field's page step (the
// spin box alone would step ten line steps).
class PageKeys final : public QObject {
 public:
  PageKeys(QObject* parent, std::function<void(int)> page) : QObject(parent), page_(std::move(page)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
        page_(key == Qt::Key_PageUp ? 1 : -1);
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void(int)> page_;
};

QPointer<QDialog>& Current() {
  static QPointer<QDialog> current;
  return current;
}

}  // namespace

struct EffectDialog::Private {
  QPointer<ImageViewWidget> view;
  EffectDialogState state;
  std::function<void()> refresh;
  bool started = false;
  bool ended = false;
  // Per field: the widgets that show it (those it does not use stay null).
  struct Row {
    QSlider* slider = nullptr;
    QAbstractSpinBox* spin = nullptr;
    QComboBox* combo = nullptr;
    QCheckBox* check = nullptr;
  };
  std::vector<Row> rows;
  QCheckBox* preview = nullptr;

  explicit Private(const EffectDialogModel& model) : state(model) {}

  void Refresh() const {
    if (refresh) refresh();
  }

  // Puts the state's value of field `i` into its widgets without echoing.
  void Show(size_t i) {
    const Row& row = rows[i];
    const DialogField& field = state.Model().fields[i];
    const double value = state.Value(i);
    if (row.slider) {
      const QSignalBlocker block(row.slider);
      row.slider->setValue(static_cast<int>(std::lround(value * SliderScale(field))));
    }
    if (auto* whole = qobject_cast<QSpinBox*>(row.spin)) {
      const QSignalBlocker block(whole);
      whole->setValue(static_cast<int>(value));
    } else if (auto* fraction = qobject_cast<QDoubleSpinBox*>(row.spin)) {
      const QSignalBlocker block(fraction);
      fraction->setValue(value);
    }
    if (row.combo) {
      const QSignalBlocker block(row.combo);
      row.combo->setCurrentIndex(static_cast<int>(value));
    }
    if (row.check) {
      const QSignalBlocker block(row.check);
      row.check->setChecked(value != 0);
    }
  }

  std::optional<ParsedOperation> Operation() const {
    std::string error;
    return ParseOperation(state.OperationText(), error);
  }

  // After field `i` changed in the state (from `before`): every widget of
  // the field shows the new value, and the preview restarts when it moved.
  void Changed(size_t i, double before) {
    Show(i);
    if (state.Value(i) == before || ended || !view) return;
    if (const std::optional<ParsedOperation> operation = Operation()) view->View().UpdatePreview(*operation);
    Refresh();
  }
  // A field's widget asked for `value` (truncated and clamped).
  void Take(size_t i, double value) {
    const double before = state.Value(i);
    state.Set(i, value);
    Changed(i, before);
  }
  void Page(size_t i, int pages) {
    const double before = state.Value(i);
    state.StepPages(i, pages);
    Changed(i, before);
  }
};

EffectDialog::EffectDialog(ImageViewWidget& view, const EffectDialogModel& model, std::function<void()> refresh,
                           QWidget* parent)
    : QDialog(parent), d_(std::make_unique<Private>(model)) {
  d_->view = &view;
  d_->refresh = std::move(refresh);
  setWindowTitle(FromView(model.title));
  setModal(false);

  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  layout->addLayout(grid);
  for (size_t i = 0; i < model.fields.size(); ++i) {
    const DialogField& field = model.fields[i];
    const QString index = QString::number(i);
    Private::Row row;
    const int line = static_cast<int>(i);
    if (IsCheckBox(field)) {
      row.check = new QCheckBox(FromView(field.label), this);
      row.check->setObjectName("check" + index);
      grid->addWidget(row.check, line, 0, 1, 3);
      connect(row.check, &QCheckBox::toggled, this, [this, i](bool on) { d_->Take(i, on ? 1 : 0); });
    } else if (!field.choices.empty()) {
      auto* label = new QLabel(FromView(field.label), this);
      row.combo = new QComboBox(this);
      row.combo->setObjectName("choice" + index);
      for (std::string_view choice : field.choices) row.combo->addItem(FromView(choice));
      label->setBuddy(row.combo);
      grid->addWidget(label, line, 0);
      grid->addWidget(row.combo, line, 1, 1, 2);
      connect(row.combo, &QComboBox::currentIndexChanged, this, [this, i](int entry) { d_->Take(i, entry); });
    } else {
      auto* label = new QLabel(FromView(field.label), this);
      const int scale = SliderScale(field);
      row.slider = new QSlider(Qt::Horizontal, this);
      row.slider->setObjectName("slider" + index);
      row.slider->setRange(static_cast<int>(std::lround(field.minimum * scale)),
                           static_cast<int>(std::lround(field.maximum * scale)));
      row.slider->setSingleStep(static_cast<int>(std::lround(field.lineStep * scale)));
      row.slider->setPageStep(static_cast<int>(std::lround(field.pageStep * scale)));
      row.slider->setMinimumWidth(200);
      connect(row.slider, &QSlider::valueChanged, this,
              [this, i, scale](int value) { d_->Take(i, static_cast<double>(value) / scale); });
      if (field.fractional) {
        auto* spin = new QDoubleSpinBox(this);
        spin->setDecimals(2);
        spin->setRange(field.minimum, field.maximum);
        spin->setSingleStep(field.lineStep);
        connect(spin, &QDoubleSpinBox::valueChanged, this, [this, i](double value) { d_->Take(i, value); });
        row.spin = spin;
      } else {
        auto* spin = new QSpinBox(this);
        spin->setRange(static_cast<int>(field.minimum), static_cast<int>(field.maximum));
        spin->setSingleStep(static_cast<int>(field.lineStep));
        connect(spin, &QSpinBox::valueChanged, this, [this, i](int value) { d_->Take(i, value); });
        row.spin = spin;
      }
      row.spin->setObjectName("spin" + index);
      row.spin->installEventFilter(new PageKeys(row.spin, [this, i](int pages) { d_->Page(i, pages); }));
      label->setBuddy(row.spin);
      grid->addWidget(label, line, 0);
      grid->addWidget(row.slider, line, 1);
      grid->addWidget(row.spin, line, 2);
    }
    d_->rows.push_back(row);
    d_->Show(i);
  }

  d_->preview = new QCheckBox("Preview", this);
  d_->preview->setObjectName("preview");
  d_->preview->setChecked(true);
  layout->addWidget(d_->preview);
  connect(d_->preview, &QCheckBox::toggled, this, [this](bool on) {
    if (d_->ended || !d_->view) return;
    d_->view->View().SetPreviewShown(on);
    d_->Refresh();
  });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  // The view's widget goes with its frame (and the document with its last
  // frame): the dialog closes and never reaches the view again; the
  // controller ends its preview itself.
  connect(&view, &QObject::destroyed, this, [this] {
    d_->view = nullptr;
    d_->ended = true;
    hide();
    deleteLater();
  });

  // Opening registers this view as the preview target and starts the
  // preview with the initial values.
  if (const std::optional<ParsedOperation> operation = d_->Operation())
    d_->started = view.View().OpenPreview(*operation) == 1;
  if (!d_->started) d_->ended = true;
  d_->Refresh();
}

EffectDialog::~EffectDialog() {
  // Destroyed while still open (its parent went): the preview ends without
  // repainting through a window that may be going too.
  if (!d_->ended && d_->view) d_->view->View().PreviewCancel();
}

bool EffectDialog::Started() const { return d_->started; }

bool EffectDialog::IsOpen() const { return d_->started && !d_->ended; }

const EffectDialogState& EffectDialog::State() const { return d_->state; }

void EffectDialog::done(int result) {
  if (!d_->ended && d_->view) {
    d_->ended = true;
    CVividView& view = d_->view->View();
    if (result == QDialog::Accepted) {
      // The preview goes off before the effect is applied.
      {
        const QSignalBlocker block(d_->preview);
        d_->preview->setChecked(false);
      }
      view.SetPreviewShown(false);
      view.PreviewOk();
    } else {
      view.PreviewCancel();
    }
    d_->Refresh();
  }
  QDialog::done(result);
  // The keys go back to the window the dialog worked on.
  if (d_->view) d_->view->window()->activateWindow();
  deleteLater();
}

EffectDialog* OpenEffectDialog(QWidget* parent, ImageViewWidget& view, const OperationDef& operation,
                               std::function<void()> refresh) {
  if (QDialog* open = CurrentPreviewDialog()) {
    open->raise();
    open->activateWindow();
    return nullptr;
  }
  const EffectDialogModel* model = FindEffectDialog(operation.name);
  if (!model) return nullptr;
  auto* dialog = new EffectDialog(view, *model, std::move(refresh), parent);
  if (!dialog->Started()) {
    delete dialog;
    return nullptr;
  }
  Current() = dialog;
  dialog->show();
  // The keys (Esc, Return, the fields' steps) go to the dialog from the
  // start, also where no window manager hands it the focus.
  dialog->raise();
  dialog->activateWindow();
  return dialog;
}

EffectDialog* CurrentEffectDialog() { return dynamic_cast<EffectDialog*>(CurrentPreviewDialog()); }

QDialog* CurrentPreviewDialog() {
  QDialog* dialog = Current();
  // An effect dialog that has finished and waits for its deletion counts as
  // gone.
  if (const auto* effect = dynamic_cast<EffectDialog*>(dialog); effect && !effect->IsOpen()) return nullptr;
  return dialog;
}

void SetCurrentPreviewDialog(QDialog* dialog) { Current() = dialog; }

}  // namespace app
