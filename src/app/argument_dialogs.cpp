#include "app/argument_dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QString>
#include <cctype>
#include <cmath>
#include <sstream>

#include "image/dibitmap.h"

namespace app {

namespace {

std::string NumberText(double value) {
  if (value == std::floor(value) && std::fabs(value) < 1e9) return std::to_string(static_cast<long long>(value));
  std::ostringstream out;
  out << value;
  return out.str();
}

std::vector<std::string> SplitLine(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  for (const char c : line) {
    if (c == ',') {
      words.push_back(word);
      word.clear();
    } else if (!std::isspace(static_cast<unsigned char>(c))) {
      word += c;
    }
  }
  if (!word.empty() || !words.empty()) words.push_back(word);
  // Trailing empty fields leave their arguments to the defaults.
  while (!words.empty() && words.back().empty()) words.pop_back();
  return words;
}

std::string ParamNames(const std::vector<OperationParam>& params) {
  std::string names;
  for (const OperationParam& p : params) {
    if (p.kind == ParamKind::Text) continue;
    if (!names.empty()) names += ", ";
    names += std::string(p.name);
    if (p.kind == ParamKind::Choice) {
      names += " (";
      for (size_t i = 0; i < p.choices.size(); ++i) names += (i ? "|" : "") + std::string(p.choices[i]);
      names += ")";
    } else if (p.kind != ParamKind::Text) {
      names += " [" + NumberText(p.min) + ".." + NumberText(p.max) + "]";
    }
  }
  return names;
}

QString Title(std::string_view menuText) {
  QString title = QString::fromUtf8(menuText.data(), static_cast<qsizetype>(menuText.size()));
  title = title.section('\t', 0, 0);
  title.remove('&');
  if (title.endsWith("...")) title.chop(3);
  return title;
}

// Asks for the file names, then the line of the other arguments; returns
// the words in parameter order.
std::optional<std::vector<std::string>> AskWords(QWidget* parent, const QString& title,
                                                 const std::vector<OperationParam>& params, bool saving,
                                                 std::string& line) {
  std::vector<std::string> files;
  bool others = false;
  for (const OperationParam& p : params) {
    if (p.kind != ParamKind::Text) {
      others = true;
      continue;
    }
    const QString path = saving ? QFileDialog::getSaveFileName(parent, title) : QFileDialog::getOpenFileName(parent, title);
    if (path.isEmpty()) return std::nullopt;
    files.push_back(path.toStdString());
  }
  std::vector<std::string> rest;
  if (others) {
    bool ok = false;
    const QString text = QInputDialog::getText(parent, title, QString::fromStdString(ParamNames(params) + ":"),
                                               QLineEdit::Normal, QString::fromStdString(line), &ok);
    if (!ok) return std::nullopt;
    line = text.toStdString();
    rest = SplitLine(line);
  }
  // Put the words back in parameter order: file names where the Text
  // parameters stand, the line's words for the others.
  std::vector<std::string> words;
  size_t file = 0;
  size_t other = 0;
  for (const OperationParam& p : params) {
    if (p.kind == ParamKind::Text) {
      words.push_back(files[file++]);
    } else if (other < rest.size()) {
      words.push_back(rest[other++]);
    } else {
      break;
    }
  }
  // Extra words are kept so that the parser reports them.
  while (other < rest.size()) words.push_back(rest[other++]);
  return words;
}

void ShowParseError(QWidget* parent, const QString& title, const std::string& error) {
  QMessageBox::warning(parent, title, QString::fromStdString(error));
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
  const QString title = Title(command.menuText);
  std::string line = DefaultArgumentLine(command.params, image);
  const bool saving = command.id == kCmdSaveSelection;
  for (;;) {
    const std::optional<std::vector<std::string>> words = AskWords(parent, title, command.params, saving, line);
    if (!words) return std::nullopt;
    std::string error;
    if (std::optional<OperationArgs> args = ParseArguments(command.scriptName, command.params, *words, error))
      return args;
    ShowParseError(parent, title, error);
  }
}

std::optional<ParsedOperation> AskOperation(QWidget* parent, const OperationDef& operation, const CDIBitmap* image) {
  const QString title = QString::fromStdString(OperationMenuText(operation));
  std::string line = DefaultArgumentLine(operation.params, image);
  for (;;) {
    std::string text(operation.name);
    if (!operation.params.empty()) {
      const std::optional<std::vector<std::string>> words = AskWords(parent, title, operation.params, false, line);
      if (!words) return std::nullopt;
      for (size_t i = 0; i < words->size(); ++i) text += (i ? "," : ":") + (*words)[i];
    }
    std::string error;
    if (std::optional<ParsedOperation> parsed = ParseOperation(text, error)) return parsed;
    ShowParseError(parent, title, error);
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
