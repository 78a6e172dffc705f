#include "app/shell_command.h"

#include <algorithm>
#include <cctype>

namespace app {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// "/p", "-PT", "--name": '/', '-' or "--" followed by letters only.
bool IsSwitch(std::string_view word) {
  if (word.size() < 2 || (word[0] != '/' && word[0] != '-')) return false;
  word.remove_prefix(word.size() > 2 && word[0] == '-' && word[1] == '-' ? 2 : 1);
  return std::all_of(word.begin(), word.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
}

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// A cursor over an execute string.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}
  void SkipBlanks() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }
  bool AtEnd() {
    SkipBlanks();
    return pos_ == text_.size();
  }
  bool Take(char c) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  std::string Name() {
    SkipBlanks();
    std::string name;
    while (pos_ < text_.size() && std::isalpha(static_cast<unsigned char>(text_[pos_]))) name += text_[pos_++];
    return Lower(name);
  }
  // A quoted argument with doubled quotes inside; nullopt without a closing
  // quote.
  std::optional<std::string> Quoted() {
    if (!Take('"')) return std::nullopt;
    std::string value;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c != '"') {
        value += c;
        continue;
      }
      if (pos_ < text_.size() && text_[pos_] == '"') {
        value += '"';
        ++pos_;
        continue;
      }
      return value;
    }
    return std::nullopt;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

const char kCommandLineUsage[] = "usage: vividrome [FILE ...] | /p FILE | /pt FILE PRINTER DRIVER PORT";

CommandLine ParseCommandLine(std::span<const std::string> words) {
  CommandLine result;
  std::vector<std::string> files;
  std::optional<ShellCommand> print;
  bool switchesOver = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (!switchesOver && word == "--") {
      switchesOver = true;
      continue;
    }
    if (switchesOver || !IsSwitch(word)) {
      files.push_back(word);
      continue;
    }
    const std::string name = Lower(std::string_view(word).substr(word[1] == '-' ? 2 : 1));
    const size_t needed = name == "p" ? 1 : name == "pt" ? 4 : 0;
    if (needed == 0) {
      result.error = "Unknown switch " + word + ".";
      return result;
    }
    if (print) {
      result.error = "Only one of /p and /pt may be given.";
      return result;
    }
    if (words.size() - i - 1 < needed) {
      result.error = name == "p" ? "/p needs the file to print." : "/pt needs FILE PRINTER DRIVER PORT.";
      return result;
    }
    ShellCommand command;
    command.action = name == "p" ? ShellAction::Print : ShellAction::PrintTo;
    command.file = words[++i];
    if (command.action == ShellAction::PrintTo) {
      command.printer = words[++i];
      command.driver = words[++i];
      command.port = words[++i];
    }
    print = std::move(command);
  }
  if (print) {
    if (!files.empty()) {
      result.error = "/p and /pt print one file; " + files.front() + " is one too many.";
      return result;
    }
    if (print->file.empty()) {
      result.error = "The file to print has no name.";
      return result;
    }
    result.commands.push_back(std::move(*print));
    return result;
  }
  for (std::string& file : files) {
    if (file.empty()) continue;  // an empty word names no file
    result.commands.push_back({ShellAction::Open, std::move(file), {}, {}, {}});
  }
  return result;
}

std::string BuildExecuteString(const ShellCommand& command) {
  std::string out;
  switch (command.action) {
    case ShellAction::Open: out = "[open("; break;
    case ShellAction::Print: out = "[print("; break;
    case ShellAction::PrintTo: out = "[printto("; break;
  }
  AppendQuoted(out, command.file);
  if (command.action == ShellAction::PrintTo) {
    for (const std::string* part : {&command.printer, &command.driver, &command.port}) {
      out += ',';
      AppendQuoted(out, *part);
    }
  }
  out += ")]";
  return out;
}

std::optional<std::vector<ShellCommand>> ParseExecuteString(std::string_view text) {
  std::vector<ShellCommand> commands;
  Reader reader(text);
  while (!reader.AtEnd()) {
    if (!reader.Take('[')) return std::nullopt;
    const std::string name = reader.Name();
    ShellCommand command;
    size_t count = 1;
    if (name == "open") {
      command.action = ShellAction::Open;
    } else if (name == "print") {
      command.action = ShellAction::Print;
    } else if (name == "printto") {
      command.action = ShellAction::PrintTo;
      count = 4;
    } else {
      return std::nullopt;
    }
    if (!reader.Take('(')) return std::nullopt;
    std::vector<std::string> args;
    for (size_t i = 0; i < count; ++i) {
      if (i > 0 && !reader.Take(',')) return std::nullopt;
      std::optional<std::string> arg = reader.Quoted();
      if (!arg) return std::nullopt;
      args.push_back(std::move(*arg));
    }
    if (!reader.Take(')') || !reader.Take(']')) return std::nullopt;
    if (args[0].empty()) return std::nullopt;
    command.file = std::move(args[0]);
    if (count == 4) {
      command.printer = std::move(args[1]);
      command.driver = std::move(args[2]);
      command.port = std::move(args[3]);
    }
    commands.push_back(std::move(command));
  }
  if (commands.empty()) return std::nullopt;
  return commands;
}

}  // namespace app
