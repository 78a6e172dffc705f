// vividrome-cli: the batch front end. Each verb runs the same document code
// as the menus; exit status 0 on success, 1 when the operation failed (the
// system's message on stderr), 2 for a usage error.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/messages.h"
#include "platform/prompts.h"

class CVividDoc;

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr char kProgram[] = "vividrome-cli";

// A verb of the command line. `usage` is its synopsis line(s) for --help.
struct Verb {
  std::string_view name;
  std::string_view usage;
  int (*run)(std::span<const std::string> args);
};

// Thrown for a usage error; main prints the text on one line with a pointer
// to the verb's --help, exit 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OptionDef {
  std::string_view name;  // with the leading "--"
  bool takesValue = true;
};

struct ParsedArgs {
  std::vector<std::string> positional;
  std::map<std::string, std::string, std::less<>> options;  // name -> value ("" without one)
  std::optional<std::string> Option(std::string_view name) const;
};

// Splits args into positionals and the options of `defs` ("--name value"
// or "--name=value"; "--" ends the options; a later repeat wins). Throws
// UsageError for an unknown option, a missing value, or a value given to an
// option that takes none.
ParsedArgs ParseArgs(std::span<const std::string> args, std::span<const OptionDef> defs);
// Throws UsageError unless exactly `count` positionals were given.
void ExpectPositionals(const ParsedArgs& parsed, size_t count, std::string_view verb);
// A decimal integer in min..max, else UsageError naming the option.
int ParseIntOption(std::string_view option, const std::string& value, int min, int max);
// The index of `value` among `names`, else UsageError listing them.
int ParseChoiceOption(std::string_view option, const std::string& value, std::span<const std::string_view> names);

// Prints every message on stderr through platform::StderrMessageSink and
// counts them, so a verb can tell whether a failure was already explained.
// Installed for the program's lifetime by main.
class CountingStderrSink final : public platform::MessageSink {
 public:
  platform::MsgAnswer Show(const platform::Message& message) override;
  int Count() const { return count_; }

 private:
  platform::StderrMessageSink stderr_;
  int count_ = 0;
};
CountingStderrSink& Messages();

// Answers the codec option dialogs from the command-line options; unset
// options confirm the dialog's preset. A choice the dialog would not offer
// (a fax compression for an image that is not 1-bit, a Photo CD resolution
// the file lacks) is reported and cancels the dialog. No file dialog.
class CliPrompts final : public platform::Prompts {
 public:
  std::optional<int> jpegQuality;
  std::optional<int> tiffCompression;
  std::optional<int> tgaCompression;
  std::optional<int> pcdResolution;

  std::optional<platform::FileDialogResult> FileDialog(const platform::FileDialogRequest&) override {
    return std::nullopt;
  }
  std::optional<int> TiffOptions(bool oneBit) override;
  std::optional<int> JpegOptions(int quality) override;
  std::optional<int> TgaOptions() override;
  std::optional<platform::PhotoCDChoice> PhotoCDOptions(const platform::PhotoCDRequest& request) override;
};

// Answers the codec dialogs with `prompts` for its lifetime.
class PromptsScope {
 public:
  explicit PromptsScope(platform::Prompts& prompts) : previous_(platform::SetPrompts(&prompts)) {}
  ~PromptsScope() { platform::SetPrompts(previous_); }
  PromptsScope(const PromptsScope&) = delete;
  PromptsScope& operator=(const PromptsScope&) = delete;

 private:
  platform::Prompts* previous_;
};

// Opens `path` into document as the Open command does. On failure the user
// sees one explanation and false is returned: the reader's own message when
// it showed one, else "vividrome-cli: cannot read PATH: REASON".
bool OpenDocument(CVividDoc& document, const std::string& path);
// Saves the document to `path` as Save As does, by the name's extension. On
// failure the user sees one explanation (the writer's message, else
// "vividrome-cli: cannot write PATH") and false is returned.
bool SaveDocument(CVividDoc& document, const std::string& path);

// The verbs.
int RunInfo(std::span<const std::string> args);
int RunConvert(std::span<const std::string> args);
int RunApply(std::span<const std::string> args);
int RunPrint(std::span<const std::string> args);
int RunIcc(std::span<const std::string> args);
int RunScript(std::span<const std::string> args);
int RunScan(std::span<const std::string> args);
int RunSources(std::span<const std::string> args);
// Lists the operations `apply` takes, with their parameters and ranges.
void PrintOperations(std::FILE* stream);

}  // namespace cli
