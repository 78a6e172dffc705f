#include "editing/operation_table.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "image/dibitmap.h"

const std::vector<OperationDef>& AllOperations() {
  static const std::vector<OperationDef> all = [] {
    std::vector<OperationDef> ops;
    const std::pair<std::vector<OperationDef> (*)(), OperationFamily> families[] = {
        {FilterOperations, OperationFamily::Filter},
        {ToneOperations, OperationFamily::Tone},
        {GeometryOperations, OperationFamily::Geometry},
        {ColorModeOperations, OperationFamily::ColorMode},
    };
    for (const auto& [make, family] : families) {
      for (OperationDef& op : make()) {
        op.family = family;
        ops.push_back(std::move(op));
      }
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

std::optional<ParsedOperation> ParseOperation(std::string_view text, std::string& error) {
  std::vector<std::string> parts = SplitArguments(text);
  const OperationDef* def = nullptr;
  size_t firstArg = 1;
  for (const OperationDef& op : AllOperations()) {
    if (parts.size() >= 2 && op.name == parts[0] + ":" + parts[1]) {
      def = &op;
      firstArg = 2;
      break;
    }
  }
  if (!def)
    for (const OperationDef& op : AllOperations())
      if (op.name == parts[0]) def = &op;
  if (!def) {
    error = "unknown operation \"" + std::string(text) + "\"";
    return std::nullopt;
  }
  // "name:" with nothing after it has no arguments.
  if (parts.size() == firstArg + 1 && parts.back().empty()) parts.pop_back();
  std::optional<OperationArgs> args =
      ParseArguments(def->name, def->params, std::span<const std::string>(parts).subspan(firstArg), error);
  if (!args) return std::nullopt;
  return ParsedOperation{def, std::move(*args)};
}

bool ParseInteger(std::string_view text, int min, int max, int& out) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < min || value > max) return false;
  out = value;
  return true;
}

std::optional<OperationArgs> ParseArguments(std::string_view owner, const std::vector<OperationParam>& params,
                                            std::span<const std::string> given, std::string& error) {
  if (given.size() > params.size()) {
    error = std::string(owner) + ": too many arguments";
    return std::nullopt;
  }
  OperationArgs parsed;
  for (size_t i = 0; i < params.size(); ++i) {
    const OperationParam& p = params[i];
    if (i >= given.size()) {
      if (!p.defaultValue) {
        error = std::string(owner) + ": missing " + std::string(p.name);
        return std::nullopt;
      }
      parsed.values.push_back(*p.defaultValue);
      parsed.texts.emplace_back();
      continue;
    }
    const std::string& arg = given[i];
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
      error = std::string(owner) + ": " + std::string(p.name) + " must be " +
              (p.kind == ParamKind::Text ? std::string("given") : FormatRange(p)) + ", not \"" + arg + "\"";
      return std::nullopt;
    }
    parsed.values.push_back(value);
    parsed.texts.push_back(arg);
  }
  return parsed;
}

bool SelectionCannotHold(const OperationDef& def, const CDIBitmap& image) {
  return def.family == OperationFamily::Tone && image.GetBitCount() <= 8 && !image.IsGray();
}

OperationRunResult RunOperations(CDIBitmap& image, std::span<const ParsedOperation> operations,
                                 const std::optional<platform::Rect>& selection) {
  OperationRunResult result;
  const platform::Region region = platform::Region::FromRect(selection.value_or(platform::Rect{}));
  bool selected = selection.has_value();
  if (selected) image.SetMaskRgn(&region);
  for (size_t i = 0; i < operations.size(); ++i) {
    if (selected && i > 0 && !image.HasMask()) {
      if (operations[i - 1].def->family == OperationFamily::Geometry)
        selected = false;
      else
        image.SetMaskRgn(&region);
    }
    result.failedAt = i;
    if (selected && SelectionCannotHold(*operations[i].def, image)) {
      result.code = 0;
      result.selectionRefused = true;
      break;
    }
    result.code = operations[i].def->apply(image, operations[i].args);
    if (result.code != 1) break;
  }
  image.ClearMask();
  return result;
}
