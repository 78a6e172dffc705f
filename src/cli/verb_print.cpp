// print IN ...: prints an image through one of the print paths.
//   direct: --printer epson|designjet (--output FILE | --queue NAME)
//   device: --device (--output FILE.pdf | --queue NAME)
// The options become a print::PrintRequest, which print::PreparePrintJob
// checks and completes as the print dialog's choices are (resolutions,
// paper, offset, margins, page layout); print::PrintImage prints it. Here
// only the option syntax is judged, and a refusal is told in option words.
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>

#include "cli/cli.h"
#include "document/vivid_doc.h"
#include "platform/progress.h"
#include "print/print_job.h"

namespace cli {
namespace {

constexpr OptionDef kPrintOptions[] = {
    {"--printer"},         {"--device", false},   {"--output"},         {"--queue"},
    {"--dpi"},             {"--paper"},           {"--gray", false},    {"--invert", false},
    {"--flip", false},     {"--fit", false},      {"--scale"},          {"--curves"},
    {"--input-profile"},   {"--separation-profile"}, {"--intent"},      {"--offset"},
    {"--margins"},
};
constexpr std::string_view kPrinterChoices[] = {"epson", "designjet"};
constexpr print::PrinterKind kPrinterKinds[] = {print::PrinterKind::Epson, print::PrinterKind::DesignJet};

// Splits "a,b,..." into exactly `count` numbers in min..max.
std::vector<double> ParseNumberList(std::string_view option, const std::string& value, size_t count, double min,
                                    double max) {
  std::vector<double> numbers;
  size_t start = 0;
  while (start <= value.size()) {
    const size_t comma = value.find(',', start);
    const std::string part = value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    double number = 0;
    const auto [ptr, ec] = std::from_chars(part.data(), part.data() + part.size(), number);
    if (part.empty() || ec != std::errc() || ptr != part.data() + part.size() || !std::isfinite(number) ||
        number < min || number > max)
      throw UsageError(std::string(option) + " takes " + std::to_string(count) + " numbers from " +
                       platform::FormatText("%g to %g", min, max) + " separated by commas (got '" + value + "')");
    numbers.push_back(number);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (numbers.size() != count)
    throw UsageError(std::string(option) + " takes " + std::to_string(count) + " numbers separated by commas (got '" +
                     value + "')");
  return numbers;
}

// A paper code 1..41, or a name matched (ignoring case) against the first
// word of the printer's paper names ("A4", "Letter", "Legal", ...).
int ParsePaper(const std::string& value) {
  if (!value.empty() && std::isdigit(static_cast<unsigned char>(value[0])))
    return ParseIntOption("--paper", value, 1, print::kPaperCodeCount);
  if (const std::optional<int> code = print::PaperCodeByName(value)) return *code;
  throw UsageError("--paper must be a paper code 1-41 or a paper name such as A4, A3, A5, Letter, Legal (got '" +
                   value + "')");
}

// Draws the progress on stderr as one line: bar, percentage and stage.
class TerminalProgress final : public print::PrintProgressSink {
 public:
  void Update(const print::PrintProgressUpdate& update) override {
    if (update.stage) stage_ = *update.stage;
    if (update.bar) bar_ = *update.bar;
    const int filled = bar_ * 30 / 10000;
    std::fprintf(stderr, "\r[%-30.*s] %3d%% %-30.30s", filled, "##############################", bar_ / 100,
                 stage_.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }
  ~TerminalProgress() override {
    if (drawn_) std::fputc('\n', stderr);
  }

 private:
  std::string stage_;
  int bar_ = 0;
  bool drawn_ = false;
};

extern "C" void CancelOnSignal(int) { platform::RequestCancel(); }

}  // namespace

int RunPrint(std::span<const std::string> args) {
  const ParsedArgs parsed = ParseArgs(args, kPrintOptions);
  ExpectPositionals(parsed, 1, "print");

  const bool device = parsed.Option("--device").has_value();
  const auto printerOption = parsed.Option("--printer");
  if (device == printerOption.has_value()) throw UsageError("print takes exactly one of --printer and --device");
  const auto output = parsed.Option("--output");
  const auto queue = parsed.Option("--queue");
  if (output.has_value() == queue.has_value()) throw UsageError("print takes exactly one of --output and --queue");
  if ((output && output->empty()) || (queue && queue->empty())) throw UsageError("--output and --queue need a name");

  print::PrintRequest request;
  request.printer = device ? print::PrinterKind::PdfDevice
                           : kPrinterKinds[ParseChoiceOption("--printer", *printerOption, kPrinterChoices)];
  request.outputFile = output.value_or("");
  request.queue = queue.value_or("");
  request.gray = parsed.Option("--gray").has_value();
  request.invert = parsed.Option("--invert").has_value();
  request.flip = parsed.Option("--flip").has_value();

  const print::ResolutionRange resolutions = print::ResolutionsOf(request.printer);
  const auto dpi = parsed.Option("--dpi");
  if (dpi) request.dpi = ParseIntOption("--dpi", *dpi, resolutions.low, resolutions.high);
  if (auto value = parsed.Option("--paper")) request.paperCode = ParsePaper(*value);
  if (parsed.Option("--fit") && parsed.Option("--scale")) throw UsageError("--fit and --scale exclude each other");
  if (auto value = parsed.Option("--scale"))
    request.scalePercent = ParseIntOption("--scale", *value, 1, print::kScalePercentMax);
  request.curvesFile = parsed.Option("--curves");
  const auto inputProfile = parsed.Option("--input-profile");
  const auto separationProfile = parsed.Option("--separation-profile");
  if (inputProfile.has_value() != separationProfile.has_value())
    throw UsageError("--input-profile and --separation-profile go together");
  if (inputProfile) request.profiles = print::PrintProfiles{*inputProfile, *separationProfile, 0};
  if (auto value = parsed.Option("--intent")) {
    if (!inputProfile) throw UsageError("--intent goes with --input-profile and --separation-profile");
    request.profiles->intent = ParseIntOption("--intent", *value, 0, 3);
  }
  const auto offset = parsed.Option("--offset");
  if (offset) {
    const std::vector<double> dots = ParseNumberList("--offset", *offset, 2, 0, 10000);
    request.offsetDots = {dots[0], dots[1]};
  }
  if (auto value = parsed.Option("--margins")) {
    const std::vector<double> mm = ParseNumberList("--margins", *value, 4, 0, print::MarginLimitMm(request.paperCode));
    request.marginsMm = {mm[0], mm[1], mm[2], mm[3]};
  }

  print::PrintJob job;
  const print::PrintRequestCheck check = print::PreparePrintJob(request, job);
  switch (check.refusal) {
    case print::PrintRefusal::None:
      break;
    case print::PrintRefusal::Resolution:
      throw UsageError(platform::FormatText("--dpi must be %d or %d for this printer (got '%s')", resolutions.low,
                                            resolutions.high, dpi->c_str()));
    case print::PrintRefusal::CurvesOnDevice:
      throw UsageError("--curves applies to the direct paths (--printer) only");
    case print::PrintRefusal::CurveFile:
      std::fprintf(stderr, "%s: %s\n", kProgram, check.text.c_str());
      return kExitFailed;
    case print::PrintRefusal::ProfilesOnDevice:
      throw UsageError("profiles apply to the direct paths (--printer) only");
    case print::PrintRefusal::OffsetOnDevice:
      throw UsageError("--offset applies to the direct paths (--printer) only");
    case print::PrintRefusal::Offset:
      throw UsageError("--offset takes whole dots inside the page (got '" + *offset + "')");
    default:  // the choices the options above already keep in range
      throw UsageError(check.text);
  }

  CliPrompts prompts;
  CVividDoc document;
  {
    const PromptsScope scope(prompts);
    if (!OpenDocument(document, parsed.positional[0])) return kExitFailed;
  }

  TerminalProgress terminal;
  platform::ResetCancel();
  auto previousInt = std::signal(SIGINT, CancelOnSignal);
  auto previousTerm = std::signal(SIGTERM, CancelOnSignal);
  const print::PrintOutcome outcome =
      print::PrintImage(job, document.GetImage(), isatty(STDERR_FILENO) != 0 ? &terminal : nullptr);
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
  if (outcome.result == 0) return kExitOk;
  if (!outcome.message.empty()) std::fprintf(stderr, "%s: %s\n", kProgram, outcome.message.c_str());
  return kExitFailed;
}

}  // namespace cli
