// The script language's lexer and parser.

#include "editing/script/script.h"
#include "editing/operation_table.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"

bool SplitScriptLine(std::string_view line, std::vector<std::string>& words, std::string& error) {
  words.clear();
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == '#') break;
    std::string word;
    if (c == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        const char q = line[i++];
        if (q == '"') {
          closed = true;
          break;
        }
        if (q != '\\') {
          word += q;
          continue;
        }
        if (i >= line.size()) break;
        const char e = line[i++];
        if (e == 'n') word += '\n';
        else if (e == '\\' || e == '"') word += e;
        else {
          error = std::string("unknown escape \\") + e + " in a quoted word";
          return false;
        }
      }
      if (!closed) {
        error = "a quoted word is not closed";
        return false;
      }
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
    }
    words.push_back(std::move(word));
  }
  return true;
}

namespace {


// Coordinates are bounded far beyond any view so that arithmetic on them
// never overflows.
constexpr int kCoordinateLimit = 1 << 20;

bool ParsePoint(std::string_view text, platform::Point& out) {
  const size_t comma = text.find(',');
  if (comma == std::string_view::npos) return false;
  return ParseInteger(text.substr(0, comma), -kCoordinateLimit, kCoordinateLimit, out.x) &&
         ParseInteger(text.substr(comma + 1), -kCoordinateLimit, kCoordinateLimit, out.y);
}

bool ParseModifier(std::string_view word, ScriptStep& step) {
  if (word == "shift") step.modifiers |= kModShift;
  else if (word == "ctrl") step.modifiers |= kModCtrl;
  else if (word == "alt") step.modifiers |= kModAlt;
  else if (word == "right") step.rightButton = true;
  else return false;
  return true;
}

constexpr std::string_view kKeys[] = {"left", "right", "up", "down", "escape", "delete"};
constexpr std::string_view kKinds[] = {"rgb", "gray", "palette", "bw", "cmyk"};
constexpr std::string_view kFills[] = {"white", "black", "background"};

int IndexOf(std::span<const std::string_view> list, std::string_view word) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i] == word) return static_cast<int>(i);
  return -1;
}

// Checks one step; returns an explanation, empty when it is sound.
std::string ParseStep(ScriptStep& step) {
  const std::vector<std::string>& w = step.words;
  const std::string& verb = step.verb;
  auto count = [&](size_t min, size_t max) -> std::string {
    if (w.size() < min) return verb + ": too few words";
    if (w.size() > max) return verb + ": too many words";
    return {};
  };
  auto number = [&](size_t i, int min, int max, std::string_view what) -> std::string {
    int value = 0;
    if (!ParseInteger(w[i], min, max, value))
      return verb + ": " + std::string(what) + " must be a whole number " + std::to_string(min) + ".." +
             std::to_string(max) + ", not \"" + w[i] + "\"";
    step.numbers.push_back(value);
    return {};
  };
  std::string e;
  if (verb == "open" || verb == "save" || verb == "render") return count(1, 1);
  if (verb == "close" || verb == "preview-ok" || verb == "preview-cancel") return count(0, 0);
  if (verb == "document" || verb == "window") {
    if (!(e = count(1, 1)).empty()) return e;
    return number(0, 1, 1 << 20, "N");
  }
  if (verb == "new") {
    if (!(e = count(3, 4)).empty()) return e;
    if (!(e = number(0, 1, 65535, "WIDTH")).empty() || !(e = number(1, 1, 65535, "HEIGHT")).empty()) return e;
    const int kind = IndexOf(kKinds, w[2]);
    if (kind < 0) return "new: the kind must be rgb, gray, palette, bw or cmyk, not \"" + w[2] + "\"";
    step.numbers.push_back(kind);
    const int fill = w.size() > 3 ? IndexOf(kFills, w[3]) : 0;
    if (fill < 0) return "new: the fill must be white, black or background, not \"" + w[3] + "\"";
    step.numbers.push_back(fill);
    return {};
  }
  if (verb == "view") {
    if (!(e = count(2, 2)).empty()) return e;
    if (!(e = number(0, 1, 16384, "WIDTH")).empty()) return e;
    return number(1, 1, 16384, "HEIGHT");
  }
  if (verb == "zoom") {
    if (!(e = count(1, 1)).empty()) return e;
    const size_t colon = w[0].find(':');
    int n = 0, d = 0;
    if (colon == std::string::npos || !ParseInteger(std::string_view(w[0]).substr(0, colon), 1, 16, n) ||
        !ParseInteger(std::string_view(w[0]).substr(colon + 1), 1, 16, d))
      return "zoom: the ratio must be N:D with each 1..16, not \"" + w[0] + "\"";
    step.numbers = {n, d};
    return {};
  }
  if (verb == "scroll") {
    if (!(e = count(2, 2)).empty()) return e;
    if (!(e = number(0, 0, kCoordinateLimit, "X")).empty()) return e;
    return number(1, 0, kCoordinateLimit, "Y");
  }
  if (verb == "tick") {
    if (!(e = count(1, 1)).empty()) return e;
    return number(0, 0, 3600 * 1000, "MS");
  }
  if (verb == "tool") {
    if (!(e = count(1, 1)).empty()) return e;
    if (!ToolFromScriptName(w[0])) return "tool: unknown tool \"" + w[0] + "\"";
    return {};
  }
  if (verb == "set") return count(2, 2);
  if (verb == "answer") {
    if (!(e = count(1, 1)).empty()) return e;
    if (w[0] != "yes" && w[0] != "no" && w[0] != "cancel") return "answer: must be yes, no or cancel";
    return {};
  }
  if (verb == "press" || verb == "move" || verb == "release" || verb == "click" || verb == "double-click" ||
      verb == "drag") {
    size_t i = 0;
    for (; i < w.size(); ++i) {
      platform::Point point;
      if (!ParsePoint(w[i], point)) break;
      step.points.push_back(point);
    }
    const size_t wanted = verb == "drag" ? 2 : 1;
    if (step.points.size() < wanted || (verb != "drag" && step.points.size() > 1))
      return verb + (verb == "drag" ? ": needs at least two points X,Y" : ": needs one point X,Y");
    for (; i < w.size(); ++i)
      if (!ParseModifier(w[i], step)) return verb + ": unknown word \"" + w[i] + "\"";
    return {};
  }
  if (verb == "key") {
    if (w.empty()) return "key: needs a key name";
    const int key = IndexOf(kKeys, w[0]);
    if (key < 0) return "key: unknown key \"" + w[0] + "\"";
    step.numbers = {key, 1};
    size_t i = 1;
    if (i < w.size() && !w[i].empty() && w[i][0] >= '0' && w[i][0] <= '9') {
      if (!ParseInteger(w[i], 1, 10000, step.numbers[1])) return "key: the count must be 1..10000";
      ++i;
    }
    for (; i < w.size(); ++i)
      if (w[i] == "right" || !ParseModifier(w[i], step)) return "key: unknown word \"" + w[i] + "\"";
    return {};
  }
  if (verb == "command") {
    if (w.empty()) return "command: needs a command name";
    step.command = FindCommand(w[0]);
    if (!step.command) return "command: unknown command \"" + w[0] + "\"";
    std::string error;
    auto args = ParseArguments(step.command->scriptName, step.command->params,
                               std::span<const std::string>(w).subspan(1), error);
    if (!args) return "command " + error;
    step.commandArgs = std::move(*args);
    return {};
  }
  if (verb == "effect" || verb == "preview") {
    if (!(e = count(1, 1)).empty()) return e;
    std::string error;
    step.operation = ParseOperation(w[0], error);
    if (!step.operation) return verb + ": " + error;
    return {};
  }
  return "unknown step \"" + verb + "\"";
}

}  // namespace

bool ParseScript(std::string_view text, std::vector<ScriptStep>& steps, ScriptError& error) {
  steps.clear();
  int line = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view raw = text.substr(start, end - start);
    ++line;
    std::vector<std::string> words;
    std::string problem;
    if (!SplitScriptLine(raw, words, problem)) {
      error = {line, problem};
      return false;
    }
    if (!words.empty()) {
      ScriptStep step;
      step.line = line;
      step.text = std::string(raw);
      if (const size_t hash = step.text.find(" #"); hash != std::string::npos) step.text.resize(hash);
      step.verb = words.front();
      step.words.assign(words.begin() + 1, words.end());
      problem = ParseStep(step);
      if (!problem.empty()) {
        error = {line, problem};
        return false;
      }
      steps.push_back(std::move(step));
    }
    if (end == text.size()) break;
    start = end + 1;
  }
  return true;
}
