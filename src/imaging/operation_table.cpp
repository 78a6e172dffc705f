#include "imaging/operation_table.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

const std::vector<OperationSpec>& GL_Operations() {
  static const std::vector<OperationSpec> all = [] {
    std::vector<OperationSpec> ops;
    for (auto family : {GL_FilterOperations, GL_ToneOperations, GL_GeometryOperations, GL_ColorModeOperations}) {
      std::vector<OperationSpec> part = family();
      for (OperationSpec& op : part) ops.push_back(std::move(op));
    }
    return ops;
  }();
  return all;
}

namespace {

std::vector<std::string> SplitArguments(std::string_view text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ':' || text[i] == ',') {
      parts.emplace_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

bool ParseNumber(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(out);
}

std::string FormatRange(const OperationParam& p) {
  auto number = [](double v) {
    std::string s = std::to_string(v);
    s.erase(s.find_last_not_of('0') + 1);
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
  };
  if (p.kind == ParamKind::Choice) {
    std::string list;
    for (std::string_view c : p.choices) list += (list.empty() ? "" : "|") + std::string(c);
    return list;
  }
  return number(p.min) + ".." + number(p.max);
}

}  // namespace

std::optional<ParsedOperation> GL_ParseOperation(std::string_view text, std::string& error) {
  std::vector<std::string> parts = SplitArguments(text);
  const OperationSpec* spec = nullptr;
  size_t firstArg = 1;
  for (const OperationSpec& op : GL_Operations()) {
    if (parts.size() >= 2 && op.name == parts[0] + ":" + parts[1]) {
      spec = &op;
      firstArg = 2;
      break;
    }
  }
  if (!spec)
    for (const OperationSpec& op : GL_Operations())
      if (op.name == parts[0]) spec = &op;
  if (!spec) {
    error = "unknown operation \"" + std::string(text) + "\"";
    return std::nullopt;
  }
  // "name:" with nothing after it has no arguments.
  if (parts.size() == firstArg + 1 && parts.back().empty()) parts.pop_back();
  const size_t given = parts.size() - firstArg;
  if (given > spec->params.size()) {
    error = std::string(spec->name) + ": too many arguments";
    return std::nullopt;
  }
  ParsedOperation parsed;
  parsed.spec = spec;
  for (size_t i = 0; i < spec->params.size(); ++i) {
    const OperationParam& p = spec->params[i];
    if (i >= given) {
      if (!p.defaultValue) {
        error = std::string(spec->name) + ": missing " + std::string(p.name);
        return std::nullopt;
      }
      parsed.args.values.push_back(*p.defaultValue);
      parsed.args.texts.emplace_back();
      continue;
    }
    const std::string& arg = parts[firstArg + i];
    double value = 0;
    bool ok = false;
    switch (p.kind) {
      case ParamKind::Text:
        ok = !arg.empty();
        break;
      case ParamKind::Choice:
        for (size_t c = 0; c < p.choices.size() && !ok; ++c)
          if (p.choices[c] == arg) {
            value = static_cast<double>(c);
            ok = true;
          }
        if (!ok && ParseNumber(arg, value) && value == std::floor(value) && value >= 0 &&
            value < static_cast<double>(p.choices.size()))
          ok = true;
        break;
      case ParamKind::Integer:
        ok = ParseNumber(arg, value) && value == std::floor(value) && value >= p.min && value <= p.max;
        break;
      case ParamKind::Real:
        ok = ParseNumber(arg, value) && value >= p.min && value <= p.max;
        break;
    }
    if (!ok) {
      error = std::string(spec->name) + ": " + std::string(p.name) + " must be " +
              (p.kind == ParamKind::Text ? std::string("given") : FormatRange(p)) + ", not \"" + arg + "\"";
      return std::nullopt;
    }
    parsed.args.values.push_back(value);
    parsed.args.texts.push_back(arg);
  }
  return parsed;
}
