#include "app/curves_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/curve_editor.h"
#include "app/effect_dialog.h"
#include "app/image_view_widget.h"
#include "editing/vivid_view.h"
#include "image/dibitmap.h"
#include "image/result_codes.h"
#include "imaging/tone.h"
#include "platform/messages.h"
#include "platform/prompts.h"

namespace app {

namespace {

const OperationDef* FindOperation(std::string_view name) {
  for (const OperationDef& def : AllOperations())
    if (def.name == name) return &def;
  return nullptr;
}

bool IsIdentity(const uint8_t table[256]) {
  for (int v = 0; v < 256; ++v)
    if (table[v] != v) return false;
  return true;
}

}  // namespace

// --- the preview driving ---

struct ToneDialog::Private {
  CVividView* view = nullptr;
  QCheckBox* preview = nullptr;
  bool started = false;  // OpenPreview accepted the dialog
  bool ended = false;    // finished, refused, or left without its view
  std::function<void()> onPreviewChanged;

  void Notify() {
    if (onPreviewChanged) onPreviewChanged();
  }
};

ToneDialog::ToneDialog(CVividView& view, QWidget* parent) : QDialog(parent), d_(std::make_unique<Private>()) {
  d_->view = &view;
  setModal(false);
}

ToneDialog::~ToneDialog() {
  // Destroyed while open: the preview ends without repainting through a
  // window that may be going too.
  if (!d_->ended) d_->view->PreviewCancel();
  if (CurrentPreviewDialog() == this) SetCurrentPreviewDialog(nullptr);
}

bool ToneDialog::Started() const { return d_->started; }

bool ToneDialog::IsOpen() const { return d_->started && !d_->ended; }

void ToneDialog::SetOnPreviewChanged(std::function<void()> callback) { d_->onPreviewChanged = std::move(callback); }

void ToneDialog::FollowWidget(QObject& widget) {
  QObject::connect(&widget, &QObject::destroyed, this, [this] {
    d_->ended = true;
    if (CurrentPreviewDialog() == this) SetCurrentPreviewDialog(nullptr);
    hide();
    deleteLater();
  });
}

void ToneDialog::Finish(QBoxLayout* layout) {
  d_->preview = new QCheckBox("Preview");
  d_->preview->setObjectName("preview");
  d_->preview->setChecked(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(d_->preview);
  bottom->addStretch(1);
  bottom->addWidget(buttons);
  layout->addLayout(bottom);
  // The switch only hides the preview: the dialog keeps it (and the modal
  // flag) until OK or Cancel.
  QObject::connect(d_->preview, &QCheckBox::toggled, this, [this](bool on) {
    if (d_->ended) return;
    d_->view->SetPreviewShown(on);
    d_->Notify();
  });
  d_->started = d_->view->OpenPreview(Operation()) == 1;
  d_->ended = !d_->started;
  d_->Notify();
}

void ToneDialog::Changed() {
  if (d_->ended) return;
  d_->view->UpdatePreview(Operation());
  d_->Notify();
}

void ToneDialog::done(int result) {
  if (!d_->ended) {
    d_->ended = true;
    if (result == QDialog::Accepted) {
      // The preview goes off before the effect is applied.
      {
        const QSignalBlocker block(d_->preview);
        d_->preview->setChecked(false);
      }
      d_->view->SetPreviewShown(false);
      d_->view->PreviewOk();
    } else {
      d_->view->PreviewCancel();
    }
    d_->Notify();
  }
  if (CurrentPreviewDialog() == this) SetCurrentPreviewDialog(nullptr);
  QDialog::done(result);
}

// --- "Curve" ---

struct CurvesDialog::Private {
  color::CurveSet curves;
  std::vector<QString> names;
  QComboBox* channel = nullptr;
  QComboBox* kind = nullptr;
  CurveEditor* editor = nullptr;
  int current = 0;

  void Show() {
    editor->SetChannel(curves.channels[current]);
    const QSignalBlocker block(kind);
    const int k = curves.channels[current].kind;
    kind->setCurrentIndex(k == color::kCurveStraight ? 1 : k == color::kCurveFreehand ? 2 : 0);
  }
};

CurvesDialog::CurvesDialog(CVividView& view, QWidget* parent) : ToneDialog(view, parent), p_(std::make_unique<Private>()) {
  setWindowTitle("Curve");
  const CDIBitmap& image = view.GetImage();
  if (image.GetBitCount() == 8 && image.IsGray())
    p_->names = {"Gray"};
  else if (image.GetBitCount() == 32)
    p_->names = {"CMYK", "Cyan", "Magenta", "Yellow", "Black"};
  else
    p_->names = {"RGB", "Red", "Green", "Blue"};

  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel("Channel:"));
  p_->channel = new QComboBox;
  p_->channel->setObjectName("channel");
  for (const QString& name : p_->names) p_->channel->addItem(name);
  top->addWidget(p_->channel);
  p_->kind = new QComboBox;
  p_->kind->setObjectName("curveKind");
  p_->kind->addItems({"Smooth", "Straight", "Freehand"});
  top->addWidget(p_->kind);
  top->addStretch(1);
  layout->addLayout(top);
  auto* middle = new QHBoxLayout;
  p_->editor = new CurveEditor;
  middle->addWidget(p_->editor);
  auto* side = new QVBoxLayout;
  auto* reset = new QPushButton("Reset");
  reset->setObjectName("reset");
  auto* load = new QPushButton("Load...");
  load->setObjectName("load");
  auto* save = new QPushButton("Save...");
  save->setObjectName("save");
  side->addWidget(reset);
  side->addWidget(load);
  side->addWidget(save);
  side->addStretch(1);
  middle->addLayout(side);
  layout->addLayout(middle);
  p_->Show();

  p_->editor->SetOnChanged([this] {
    p_->curves.channels[p_->current] = p_->editor->Channel();
    Changed();
  });
  QObject::connect(p_->channel, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index < 0) return;
    p_->current = index;
    p_->Show();
  });
  QObject::connect(p_->kind, &QComboBox::currentIndexChanged, this, [this](int index) {
    color::CurveChannel& c = p_->curves.channels[p_->current];
    const int kind = index == 1 ? color::kCurveStraight : index == 2 ? color::kCurveFreehand : color::kCurveSmooth;
    if (kind == c.kind) return;
    c.kind = kind;
    // A freehand channel keeps its table; the others follow their points.
    if (kind != color::kCurveFreehand) {
      c.tableGiven = false;
      p_->curves.Evaluate(p_->current);
    }
    p_->Show();
    Changed();
  });
  QObject::connect(reset, &QPushButton::clicked, this, [this] {
    p_->curves.ResetChannel(p_->current);
    p_->Show();
    Changed();
  });
  QObject::connect(load, &QPushButton::clicked, this, [this] {
    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Open;
    request.title = "Load Curves";
    request.filter = "Curve Files (*.CRB)|*.CRB|CMYK Curve Files (*.CCK)|*.CCK||";
    const std::optional<platform::FileDialogResult> chosen = platform::CurrentPrompts().FileDialog(request);
    if (!chosen) return;
    // The file is read into a copy; only the dialog's channels are taken.
    color::CurveSet loaded = p_->curves;
    const int result = color::LoadCurveFile(chosen->path, loaded);
    for (int c = 0; c < ChannelCount(); ++c) p_->curves.channels[c] = loaded.channels[c];
    if (result != kResultOk) platform::ShowMessage("Cannot read the curve file " + chosen->path + ": " +
                                                   FormatErrorCode(result));
    p_->Show();
    Changed();
  });
  QObject::connect(save, &QPushButton::clicked, this, [this] {
    platform::FileDialogRequest request;
    request.mode = platform::FileDialogMode::Save;
    request.title = "Save Curves";
    request.filter = "Curve Files (*.CRB)|*.CRB||";
    request.defaultExtension = "crb";
    const std::optional<platform::FileDialogResult> chosen = platform::CurrentPrompts().FileDialog(request);
    if (!chosen) return;
    const int result = color::SaveCurveFile(chosen->path, p_->curves, ChannelCount(), color::kCurveExtension);
    if (result != kResultOk)
      platform::ShowMessage("Cannot save the curve file " + chosen->path + ": " + FormatErrorCode(result));
  });
  Finish(layout);
}

CurvesDialog::~CurvesDialog() = default;

const color::CurveSet& CurvesDialog::Curves() const { return p_->curves; }

int CurvesDialog::ChannelCount() const { return static_cast<int>(p_->names.size()); }

ParsedOperation CurvesDialog::Operation() const {
  ToneTableSet set;
  for (int c = 0; c < ChannelCount(); ++c) {
    const uint8_t* table = p_->curves.channels[c].table;
    set.inUse[static_cast<size_t>(c)] = !IsIdentity(table);
    std::memcpy(set.tables[static_cast<size_t>(c)].data(), table, 256);
  }
  return CurvesFromTables(set);
}

// --- "Levels" ---

struct LevelsDialog::Private {
  QComboBox* channel = nullptr;
  QSpinBox* inLow = nullptr;
  QSpinBox* inHigh = nullptr;
  QSpinBox* outLow = nullptr;
  QSpinBox* outHigh = nullptr;
};

LevelsDialog::LevelsDialog(CVividView& view, QWidget* parent) : ToneDialog(view, parent), p_(std::make_unique<Private>()) {
  setWindowTitle("Levels");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  p_->channel = new QComboBox;
  p_->channel->setObjectName("channel");
  p_->channel->addItems({"RGB", "Red", "Green", "Blue"});
  form->addRow("Channel", p_->channel);
  const auto spin = [&](const char* name, const char* label, int min, int max, int value) {
    auto* box = new QSpinBox;
    box->setObjectName(name);
    box->setRange(min, max);
    box->setValue(value);
    form->addRow(label, box);
    QObject::connect(box, &QSpinBox::valueChanged, this, [this] { Changed(); });
    return box;
  };
  p_->inLow = spin("inputLow", "Input low", 0, 254, 0);
  p_->inHigh = spin("inputHigh", "Input high", 1, 255, 255);
  p_->outLow = spin("outputLow", "Output low", 0, 255, 0);
  p_->outHigh = spin("outputHigh", "Output high", 0, 255, 255);
  layout->addLayout(form);
  QObject::connect(p_->channel, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
  Finish(layout);
}

LevelsDialog::~LevelsDialog() = default;

ParsedOperation LevelsDialog::Operation() const {
  ParsedOperation operation;
  operation.def = FindOperation("levels");
  const int values[5] = {p_->channel->currentIndex(), p_->inLow->value(), p_->inHigh->value(), p_->outLow->value(),
                         p_->outHigh->value()};
  for (const int v : values) {
    operation.args.values.push_back(v);
    operation.args.texts.push_back(std::to_string(v));
  }
  return operation;
}

namespace {

// The image view widget of `view` among `parent`'s descendants.
ImageViewWidget* WidgetOf(QWidget* parent, const CVividView& view) {
  if (!parent) return nullptr;
  for (QAbstractScrollArea* area : parent->findChildren<QAbstractScrollArea*>())
    if (auto* widget = dynamic_cast<ImageViewWidget*>(area); widget && &widget->View() == &view) return widget;
  return nullptr;
}

}  // namespace

bool RunToneDialog(QWidget* parent, CVividView& view, std::string_view operation,
                   std::function<void()> onPreviewChanged) {
  if (operation != "curves" && operation != "levels") return false;
  if (QDialog* open = CurrentPreviewDialog()) {
    open->raise();
    open->activateWindow();
    return true;
  }
  ToneDialog* dialog = nullptr;
  if (operation == "curves")
    dialog = new CurvesDialog(view, parent);
  else
    dialog = new LevelsDialog(view, parent);
  if (onPreviewChanged) onPreviewChanged();  // the preview opened with the dialog
  if (!dialog->Started()) {
    delete dialog;
    return true;
  }
  dialog->SetOnPreviewChanged(std::move(onPreviewChanged));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  if (ImageViewWidget* widget = WidgetOf(parent, view)) dialog->FollowWidget(*widget);
  SetCurrentPreviewDialog(dialog);
  dialog->show();
  return true;
}

}  // namespace app
