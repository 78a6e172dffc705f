#include "app/argument_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QString>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>
#include <cctype>
#include <cmath>
#include <sstream>

#include "document/vivid_doc.h"
#include "editing/effect_dialogs.h"
#include "image/dibitmap.h"
#include "platform/messages.h"
#include "platform/prompts.h"

namespace app {

namespace {

QString FromStd(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string NumberText(double value) {
  if (value == std::floor(value) && std::fabs(value) < 1e9) return std::to_string(static_cast<long long>(value));
  std::ostringstream out;
  out << value;
  return out.str();
}

QString Title(std::string_view menuText) {
  QString title = FromStd(menuText).section('\t', 0, 0);
  title.remove('&');
  if (title.endsWith("...")) title.chop(3);
  return title;
}

// Spin boxes whose Page Up and Page Down move by a page step of their own
// (Qt's move by ten line steps).
template <typename SpinBox>
class Paged final : public SpinBox {
 public:
  decltype(std::declval<SpinBox&>().value()) page = 10;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
      this->setValue(this->value() + (event->key() == Qt::Key_PageUp ? page : -page));
      event->accept();
      return;
    }
    SpinBox::keyPressEvent(event);
  }
};
using PagedSpinBox = Paged<QSpinBox>;
using PagedDoubleSpinBox = Paged<QDoubleSpinBox>;

// One field of a form: what it shows and where it starts.
struct FieldSpec {
  QString label;
  double lineStep = 1;
  double pageStep = 10;
  double initial = 0;
  bool fractional = false;
  bool check = false;     // a check box (a choice of two)
  bool inverted = false;  // the parameter's index is 1 - the box's state
  QStringList choices;    // display texts of a choice
};

// The file dialog of a Text parameter.
struct FileSpec {
  platform::FileDialogMode mode = platform::FileDialogMode::Open;
  std::string title;
  std::string filter = "All Files|*.*||";
  std::string extension;
};

struct FormSpec {
  QString title;
  std::vector<FieldSpec> fields;
  FileSpec file;
  // OK with the first field below this is Cancel (the selection sizes).
  std::optional<int> proceedFrom;
  // A "Keep Aspect Ratio" box linking the fields "width" and "height".
  bool keepAspect = false;
};

constexpr char kSelectionFilter[] = "Selection Files (*.sel)|*.sel||";

QString FieldLabel(std::string_view text) {
  QString label = FromStd(text).section('\t', 0, 0);
  return label;
}

// The plain form of a parameter: its name as label, its own range and
// choices, the default (or the image's size) as start.
FieldSpec PlainField(const OperationParam& param, const CDIBitmap* image) {
  FieldSpec f;
  QString name = FromStd(param.name);
  if (!name.isEmpty()) name[0] = name[0].toUpper();
  f.label = name + ":";
  f.fractional = param.kind == ParamKind::Real;
  for (std::string_view c : param.choices) f.choices << FromStd(c);
  const std::string start = DefaultArgumentText(param, image);
  if (param.kind == ParamKind::Choice) {
    const auto it = std::find(param.choices.begin(), param.choices.end(), start);
    f.initial = it == param.choices.end() ? 0 : static_cast<double>(it - param.choices.begin());
  } else if (!start.empty() && param.kind != ParamKind::Text) {
    f.initial = std::stod(start);
  } else {
    f.initial = std::clamp(0.0, param.min, param.max);
  }
  const auto isOnOff = [](const QStringList& c) { return c.size() == 2 && c[0] == "off" && c[1] == "on"; };
  f.check = isOnOff(f.choices);
  return f;
}

// The form of `params`: plain fields, the model's where it has one for
// every parameter, and the commands' own dialogs.
FormSpec MakeForm(QString title, std::string_view operation, std::optional<ViewCommand> command,
                  const std::vector<OperationParam>& params, const CDIBitmap* image) {
  FormSpec form;
  form.title = std::move(title);
  for (const OperationParam& p : params) form.fields.push_back(PlainField(p, image));

  const EffectDialogModel* model = operation.empty() ? nullptr : FindEffectDialog(operation);
  if (model && model->fields.size() == params.size()) {
    form.title = FromStd(model->title);
    for (size_t i = 0; i < params.size(); ++i) {
      const DialogField& m = model->fields[i];
      FieldSpec& f = form.fields[i];
      f.label = FieldLabel(m.label);
      f.lineStep = m.lineStep;
      f.pageStep = m.pageStep;
      f.fractional = params[i].kind == ParamKind::Real && m.fractional;
      // The image's size is where a size field starts (Canvas Size).
      const bool side = (params[i].name == "width" || params[i].name == "height") && image && image->IsAllocated();
      if (!side) f.initial = m.initial;
      if (params[i].kind == ParamKind::Choice && m.choices.size() == params[i].choices.size()) {
        f.choices.clear();
        for (std::string_view c : m.choices) f.choices << FromStd(c);
        f.check = m.choices.size() == 2 && m.choices[0] == "off" && m.choices[1] == "on";
        f.inverted = m.inverted;
      }
    }
  }
  if (operation == "resize") {
    form.title = "Image Size";
    form.fields[0].label = "&Width:";
    form.fields[1].label = "&Height:";
    form.keepAspect = true;
  } else if (operation == "curves") {
    form.file.filter = "Curve Files (*.crb)|*.crb|All Files|*.*||";
    form.file.extension = "crb";
  }
  if (!command) return form;
  switch (*command) {
    case kCmdSelectBorder:
    case kCmdSelectExpand:
    case kCmdSelectContract: {
      form.title = *command == kCmdSelectBorder   ? "Selection Border"
                   : *command == kCmdSelectExpand ? "Expand Selection"
                                                  : "Contract Selection";
      FieldSpec& size = form.fields.at(0);
      size.label = "&Size (Pixels)";
      size.initial = 0;
      size.pageStep = *command == kCmdSelectBorder ? 2 : 1;
      form.proceedFrom = 1;
      break;
    }
    case kCmdSaveSelection:
    case kCmdLoadSelection:
      form.file.mode = *command == kCmdSaveSelection ? platform::FileDialogMode::Save : platform::FileDialogMode::Open;
      form.file.title = *command == kCmdSaveSelection ? "Save Selection Mask" : "Load Selection Mask";
      form.file.filter = kSelectionFilter;
      form.file.extension = "sel";
      if (*command == kCmdLoadSelection) {
        form.title = "Load Selection ";
        form.fields.at(0).label = "File:";
        form.fields.at(1).label = "Combine:";
        form.fields.at(1).choices = {"New Selection ", "Add Selection", "Subtract Selection", "Intersect Selection"};
      }
      break;
    default: break;
  }
  return form;
}

// Asks the file name of a Text parameter; nullopt for Cancel.
std::optional<std::string> AskFile(const FileSpec& spec, const std::string& current) {
  platform::FileDialogRequest request;
  request.mode = spec.mode;
  request.title = spec.title;
  request.filter = spec.filter;
  request.defaultExtension = spec.extension;
  request.initialName = current;
  request.initialFolder = CVividDoc::GetLastDirectory();
  const std::optional<platform::FileDialogResult> result = platform::CurrentPrompts().FileDialog(request);
  if (!result) return std::nullopt;
  return result->path;
}

// The form as a dialog: one editor per parameter, named after it.
class Form {
 public:
  Form(QWidget* parent, const FormSpec& spec, const std::vector<OperationParam>& params,
       const std::vector<std::string>& files, const CDIBitmap* image)
      : dialog_(parent), spec_(spec), params_(params) {
    dialog_.setWindowTitle(spec.title);
    dialog_.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QFormLayout;
    size_t file = 0;
    for (size_t i = 0; i < params.size(); ++i) {
      QWidget* editor = MakeEditor(params[i], spec.fields[i], file < files.size() ? files[file] : std::string());
      if (params[i].kind == ParamKind::Text) ++file;
      editor->setObjectName(FromStd(params[i].name));
      editors_.push_back(editor);
      if (spec.fields[i].check) {
        layout->addRow(editor);
      } else {
        auto* label = new QLabel(spec.fields[i].label);
        label->setBuddy(editor->focusProxy() ? editor->focusProxy() : editor);
        layout->addRow(label, editor);
      }
    }
    if (spec.keepAspect) AddKeepAspect(*layout, image);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons_, &QDialogButtonBox::accepted, &dialog_, &QDialog::accept);
    QObject::connect(buttons_, &QDialogButtonBox::rejected, &dialog_, &QDialog::reject);
    auto* outer = new QVBoxLayout(&dialog_);
    outer->addLayout(layout);
    outer->addWidget(buttons_);
    UpdateOk();
  }

  bool Run() { return dialog_.exec() == QDialog::Accepted; }

  double Value(size_t i) const {
    if (auto* spin = qobject_cast<QSpinBox*>(editors_[i])) return spin->value();
    if (auto* spin = qobject_cast<QDoubleSpinBox*>(editors_[i])) return spin->value();
    return 0;
  }

  // The words of the fields in parameter order.
  std::vector<std::string> Words() const {
    std::vector<std::string> words;
    for (size_t i = 0; i < params_.size(); ++i) {
      QWidget* editor = editors_[i];
      if (auto* box = qobject_cast<QCheckBox*>(editor)) {
        const int state = box->isChecked() ? 1 : 0;
        words.push_back(std::to_string(spec_.fields[i].inverted ? 1 - state : state));
      } else if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        words.push_back(std::to_string(combo->currentIndex()));
      } else if (auto* spin = qobject_cast<QSpinBox*>(editor)) {
        words.push_back(std::to_string(spin->value()));
      } else if (auto* spin = qobject_cast<QDoubleSpinBox*>(editor)) {
        words.push_back(NumberText(spin->value()));
      } else if (auto* line = editor->findChild<QLineEdit*>()) {
        words.push_back(line->text().toStdString());
      }
    }
    return words;
  }

 private:
  QWidget* MakeEditor(const OperationParam& param, const FieldSpec& field, const std::string& file) {
    switch (param.kind) {
      case ParamKind::Choice: {
        const int index = static_cast<int>(field.initial);
        if (field.check) {
          auto* box = new QCheckBox(field.label);
          box->setChecked(index == 1);
          return box;
        }
        auto* combo = new QComboBox;
        combo->addItems(field.choices);
        combo->setCurrentIndex(std::clamp(index, 0, static_cast<int>(field.choices.size()) - 1));
        return combo;
      }
      case ParamKind::Text: {
        auto* holder = new QWidget;
        auto* row = new QHBoxLayout(holder);
        row->setContentsMargins(0, 0, 0, 0);
        auto* line = new QLineEdit(QString::fromStdString(file));
        auto* browse = new QPushButton("Browse...");
        row->addWidget(line, 1);
        row->addWidget(browse);
        holder->setFocusProxy(line);
        QObject::connect(line, &QLineEdit::textChanged, &dialog_, [this] { UpdateOk(); });
        QObject::connect(browse, &QPushButton::clicked, &dialog_, [this, line] {
          if (const std::optional<std::string> path = AskFile(spec_.file, line->text().toStdString()))
            line->setText(QString::fromStdString(*path));
        });
        return holder;
      }
      case ParamKind::Real:
        if (field.fractional) {
          auto* spin = new PagedDoubleSpinBox;
          spin->setDecimals(2);
          spin->setRange(param.min, param.max);
          spin->setSingleStep(field.lineStep);
          spin->page = field.pageStep;
          spin->setValue(field.initial);
          return spin;
        }
        [[fallthrough]];
      case ParamKind::Integer: {
        auto* spin = new PagedSpinBox;
        spin->setRange(static_cast<int>(std::ceil(param.min)), static_cast<int>(std::floor(param.max)));
        spin->setSingleStep(std::max(1, static_cast<int>(field.lineStep)));
        spin->page = std::max(1, static_cast<int>(field.pageStep));
        spin->setValue(static_cast<int>(field.initial));
        return spin;
      }
    }
    return new QWidget;
  }

  QSpinBox* SpinNamed(std::string_view name) const {
    for (size_t i = 0; i < params_.size(); ++i)
      if (params_[i].name == name) return qobject_cast<QSpinBox*>(editors_[i]);
    return nullptr;
  }

  // While checked, each side follows the other in the proportion of the
  // image (or of the sides the form started with): the other side is
  // round(side x other0 / side0), kept in its range.
  void AddKeepAspect(QFormLayout& layout, const CDIBitmap* image) {
    QSpinBox* width = SpinNamed("width");
    QSpinBox* height = SpinNamed("height");
    if (!width || !height) return;
    auto* keep = new QCheckBox("&Keep Aspect Ratio");
    keep->setObjectName("keepAspect");
    keep->setChecked(true);
    layout.addRow(keep);
    const double w0 = image && image->IsAllocated() ? image->GetWidth() : width->value();
    const double h0 = image && image->IsAllocated() ? image->GetHeight() : height->value();
    auto follow = [this, keep](QSpinBox* from, QSpinBox* to, double ratio) {
      QObject::connect(from, &QSpinBox::valueChanged, &dialog_, [this, keep, to, ratio](int value) {
        if (!keep->isChecked() || linking_) return;
        linking_ = true;
        to->setValue(static_cast<int>(std::floor(value * ratio + 0.5)));
        linking_ = false;
      });
    };
    follow(width, height, h0 / w0);
    follow(height, width, w0 / h0);
  }

  void UpdateOk() {
    if (!buttons_) return;
    bool ready = true;
    for (size_t i = 0; i < params_.size(); ++i)
      if (params_[i].kind == ParamKind::Text)
        if (auto* line = editors_[i]->findChild<QLineEdit*>()) ready = ready && !line->text().isEmpty();
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(ready);
  }

  QDialog dialog_;
  const FormSpec& spec_;
  const std::vector<OperationParam>& params_;
  std::vector<QWidget*> editors_;
  QDialogButtonBox* buttons_ = nullptr;
  bool linking_ = false;
};

// Asks the file names first (each through its file dialog), then the form
// when there is more to ask; the words in parameter order.
std::optional<std::vector<std::string>> AskWords(QWidget* parent, const FormSpec& spec,
                                                 const std::vector<OperationParam>& params, const CDIBitmap* image,
                                                 std::vector<std::string>& files) {
  if (files.empty()) {
    for (const OperationParam& p : params) {
      if (p.kind != ParamKind::Text) continue;
      std::optional<std::string> path = AskFile(spec.file, {});
      if (!path) return std::nullopt;
      files.push_back(std::move(*path));
    }
  }
  const bool others = std::any_of(params.begin(), params.end(), [](const auto& p) { return p.kind != ParamKind::Text; });
  if (!others) {
    // Asked again after a parse error.
    std::vector<std::string> words;
    words.swap(files);
    return words;
  }
  Form form(parent, spec, params, files, image);
  if (!form.Run()) return std::nullopt;
  if (spec.proceedFrom && form.Value(0) < *spec.proceedFrom) return std::nullopt;
  std::vector<std::string> words = form.Words();
  files.clear();
  for (size_t i = 0; i < params.size(); ++i)
    if (params[i].kind == ParamKind::Text) files.push_back(words[i]);
  return words;
}

}  // namespace

std::string DefaultArgumentText(const OperationParam& param, const CDIBitmap* image) {
  if (param.defaultValue) {
    if (param.kind == ParamKind::Choice) {
      const size_t index = static_cast<size_t>(*param.defaultValue);
      if (index < param.choices.size()) return std::string(param.choices[index]);
    }
    return NumberText(*param.defaultValue);
  }
  if (image && image->IsAllocated()) {
    if (param.name == "width") return std::to_string(image->GetWidth());
    if (param.name == "height") return std::to_string(image->GetHeight());
  }
  return {};
}

std::string DefaultArgumentLine(const std::vector<OperationParam>& params, const CDIBitmap* image) {
  std::string line;
  bool first = true;
  for (const OperationParam& p : params) {
    if (p.kind == ParamKind::Text) continue;
    if (!first) line += ',';
    first = false;
    line += DefaultArgumentText(p, image);
  }
  return line;
}

std::optional<OperationArgs> AskCommandArguments(QWidget* parent, const CommandDef& command, const CDIBitmap* image) {
  const FormSpec spec = MakeForm(Title(command.menuText), command.operation, command.id, command.params, image);
  std::vector<std::string> files;
  for (;;) {
    const std::optional<std::vector<std::string>> words = AskWords(parent, spec, command.params, image, files);
    if (!words) return std::nullopt;
    std::string error;
    if (std::optional<OperationArgs> args = ParseArguments(command.scriptName, command.params, *words, error))
      return args;
    platform::ShowMessage(error, spec.title.toStdString());
  }
}

std::optional<ParsedOperation> AskOperation(QWidget* parent, const OperationDef& operation, const CDIBitmap* image) {
  const FormSpec spec = MakeForm(Title(OperationMenuText(operation)), operation.name, std::nullopt, operation.params, image);
  std::vector<std::string> files;
  for (;;) {
    std::vector<std::string> words;
    if (!operation.params.empty()) {
      std::optional<std::vector<std::string>> asked = AskWords(parent, spec, operation.params, image, files);
      if (!asked) return std::nullopt;
      words = std::move(*asked);
    }
    // The words go to the parser as they are, so a file name may hold ':'
    // and ',' (the operation's text form would split there).
    std::string error;
    if (std::optional<OperationArgs> args = ParseArguments(operation.name, operation.params, words, error))
      return ParsedOperation{&operation, std::move(*args)};
    platform::ShowMessage(error, spec.title.toStdString());
    if (operation.params.empty()) return std::nullopt;
  }
}

std::string OperationMenuText(const OperationDef& operation) {
  std::string text;
  bool start = true;
  for (const char c : operation.name) {
    if (c == '-' || c == ':') {
      text += c == '-' ? ' ' : ':';
      if (c == ':') text += ' ';
      start = true;
      continue;
    }
    text += start ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    start = false;
  }
  if (!operation.params.empty()) text += "...";
  return text;
}

}  // namespace app
