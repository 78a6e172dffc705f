#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "cli/cli.h"
#include "document/vivid_doc.h"

namespace cli {

std::optional<std::string> ParsedArgs::Option(std::string_view name) const {
  auto it = options.find(name);
  if (it == options.end()) return std::nullopt;
  return it->second;
}

ParsedArgs ParseArgs(std::span<const std::string> args, std::span<const OptionDef> defs) {
  ParsedArgs parsed;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-' || arg[1] != '-') {
      parsed.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const OptionDef* def = nullptr;
    for (const OptionDef& candidate : defs)
      if (candidate.name == name) def = &candidate;
    if (!def) throw UsageError("unknown option " + name);
    std::string value;
    if (equals != std::string::npos) {
      if (!def->takesValue) throw UsageError("option " + name + " takes no value");
      value = arg.substr(equals + 1);
    } else if (def->takesValue) {
      if (i + 1 >= args.size()) throw UsageError("option " + name + " needs a value");
      value = args[++i];
    }
    parsed.options[name] = value;
  }
  return parsed;
}

void ExpectPositionals(const ParsedArgs& parsed, size_t count, std::string_view verb) {
  if (parsed.positional.size() < count) throw UsageError(std::string(verb) + ": missing argument");
  if (parsed.positional.size() > count)
    throw UsageError(std::string(verb) + ": unexpected argument " + parsed.positional[count]);
}

int ParseIntOption(std::string_view option, const std::string& value, int min, int max) {
  int number = 0;
  const char* end = value.data() + value.size();
  const auto [ptr, ec] = std::from_chars(value.data(), end, number);
  if (value.empty() || ec != std::errc() || ptr != end || number < min || number > max)
    throw UsageError(std::string(option) + " must be an integer from " + std::to_string(min) + " to " +
                     std::to_string(max) + " (got '" + value + "')");
  return number;
}

int ParseChoiceOption(std::string_view option, const std::string& value, std::span<const std::string_view> names) {
  std::string list;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == value) return static_cast<int>(i);
    if (i) list += '|';
    list += names[i];
  }
  throw UsageError(std::string(option) + " must be one of " + list + " (got '" + value + "')");
}

platform::MsgAnswer CountingStderrSink::Show(const platform::Message& message) {
  ++count_;
  return stderr_.Show(message);
}

CountingStderrSink& Messages() {
  static CountingStderrSink sink;
  return sink;
}

std::optional<int> CliPrompts::TiffOptions(bool oneBit) {
  const int index = tiffCompression.value_or(0);
  if (index >= platform::TiffCompressionCount(oneBit)) {
    platform::ShowMessage(platform::FormatText("%s: TIFF compression %s needs a 1-bit image", kProgram,
                                               platform::kTiffCompressionNames[index]));
    return std::nullopt;
  }
  return index;
}

std::optional<int> CliPrompts::JpegOptions(int quality) { return jpegQuality.value_or(quality); }

std::optional<int> CliPrompts::TgaOptions() { return tgaCompression.value_or(0); }

std::optional<platform::PhotoCDChoice> CliPrompts::PhotoCDOptions(const platform::PhotoCDRequest& request) {
  const int resolution = pcdResolution.value_or(request.resolution);
  if (resolution >= request.resolutionCount) {
    platform::ShowMessage(platform::FormatText("%s: %s holds only %d resolutions", kProgram, request.path.c_str(),
                                               request.resolutionCount));
    return std::nullopt;
  }
  return platform::PhotoCDChoice{resolution};
}

bool OpenDocument(CVividDoc& document, const std::string& path) {
  const int before = Messages().Count();
  if (document.OnOpenDocument(path)) return true;
  if (Messages().Count() > before) return false;

  std::string reason = "not a valid image file";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0)
    reason = std::strerror(errno);
  else if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
    reason = std::strerror(EISDIR);
  if (fd >= 0) close(fd);
  std::fprintf(stderr, "%s: cannot read %s: %s\n", kProgram, path.c_str(), reason.c_str());
  return false;
}

bool SaveDocument(CVividDoc& document, const std::string& path) {
  const int before = Messages().Count();
  if (document.SaveAsChosen(path, document.PreselectedSaveType())) return true;
  if (Messages().Count() == before) std::fprintf(stderr, "%s: cannot write %s\n", kProgram, path.c_str());
  return false;
}

}  // namespace cli
