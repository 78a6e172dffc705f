// print IN ...: prints an image through one of the print paths.
//   direct: --printer epson|designjet (--output FILE | --queue NAME)
//   device: --device (--output FILE.pdf | --queue NAME)
// The page is laid out as the page setup does: paper, margins (at least the
// printer's minimum margins), fit to page or a percentage of the image's
// natural size, centred.
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <memory>

#include "cli/cli.h"
#include "color/curves.h"
#include "document/vivid_doc.h"
#include "image/result_codes.h"
#include "platform/progress.h"
#include "print/page_setup.h"
#include "print/print_pipeline.h"
#include "print/printer_device.h"
#include "print/printer_types.h"

namespace cli {
namespace {

constexpr OptionSpec kPrintOptions[] = {
    {"--printer"},         {"--device", false},   {"--output"},         {"--queue"},
    {"--dpi"},             {"--paper"},           {"--gray", false},    {"--invert", false},
    {"--flip", false},     {"--fit", false},      {"--scale"},          {"--curves"},
    {"--input-profile"},   {"--separation-profile"}, {"--intent"},      {"--offset"},
    {"--margins"},
};
constexpr std::string_view kPrinterChoices[] = {"epson", "designjet"};

// The resolution an image without one is printed at, as documents take it.
constexpr int kDefaultImageDpi = 72;

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
    return ParseIntOption("--paper", value, 1, 41);
  auto lower = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  const std::string wanted = lower(value);
  for (int code = 1; code <= 41; ++code) {
    const std::string name = print::PaperName(code, 0, 0);
    const std::string word = name.substr(0, name.find_first_of(" ,"));
    if (lower(word) == wanted) return code;
  }
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

  print::PrintSettings settings;
  settings.printToPort = !device;
  settings.printerType = device ? 0 : ParseChoiceOption("--printer", *printerOption, kPrinterChoices) + 1;
  if (output) settings.printToFile = *output;
  if (queue) settings.queue = *queue;
  settings.outputColor = parsed.Option("--gray") ? 1 : 2;
  settings.invert = parsed.Option("--invert").has_value();
  settings.flip = parsed.Option("--flip").has_value();

  int dpi = device ? 300 : settings.printerType == print::kPrinterEpson ? 360 : 300;
  if (auto value = parsed.Option("--dpi")) {
    if (device) {
      dpi = ParseIntOption("--dpi", *value, 72, 1200);
    } else {
      const int low = settings.printerType == print::kPrinterEpson ? 360 : 300;
      dpi = ParseIntOption("--dpi", *value, low, 2 * low);
      if (dpi != low && dpi != 2 * low)
        throw UsageError(platform::FormatText("--dpi must be %d or %d for this printer (got '%s')", low, 2 * low,
                                              value->c_str()));
    }
  }
  const int paperCode = parsed.Option("--paper") ? ParsePaper(*parsed.Option("--paper")) : 9;

  print::PageSetup setup;
  if (parsed.Option("--fit") && parsed.Option("--scale")) throw UsageError("--fit and --scale exclude each other");
  if (auto value = parsed.Option("--scale")) {
    setup.scaleMode = print::ScaleMode::UserDefined;
    setup.sizeUnit = print::EntryUnit::Percent;
    setup.width = setup.height = ParseIntOption("--scale", *value, 1, 1000);
  }
  setup.positionMode = print::PositionMode::Center;

  std::optional<color::CurveSet> curveSet;
  if (auto value = parsed.Option("--curves")) {
    if (device) throw UsageError("--curves applies to the direct paths (--printer) only");
    curveSet.emplace();
    const int loaded = color::LoadSeparationCurveFile(*value, *curveSet);
    if (loaded != 1) {
      std::fprintf(stderr, "%s: %s: %s\n", kProgram, value->c_str(), FormatErrorCode(loaded).c_str());
      return kExitFailed;
    }
    print::SetSeparationCurves(settings.curves, *curveSet);
  }
  const auto inputProfile = parsed.Option("--input-profile");
  const auto separationProfile = parsed.Option("--separation-profile");
  if (inputProfile.has_value() != separationProfile.has_value())
    throw UsageError("--input-profile and --separation-profile go together");
  if (inputProfile) {
    if (device) throw UsageError("profiles apply to the direct paths (--printer) only");
    settings.colorManagement.enabled = true;
    settings.colorManagement.inputProfile = *inputProfile;
    settings.colorManagement.separationProfile = *separationProfile;
  }
  if (auto value = parsed.Option("--intent")) {
    if (!inputProfile) throw UsageError("--intent goes with --input-profile and --separation-profile");
    settings.colorManagement.intent = ParseIntOption("--intent", *value, 0, 3);
  }

  // The printer's facts, with the overrides.
  print::PrinterInfo printer;
  std::unique_ptr<print::PdfPrinterDevice> pdf;
  if (device) {
    if (parsed.Option("--offset")) throw UsageError("--offset applies to the direct paths (--printer) only");
    print::PaperSizeMm paper{};
    print::PaperSizeForCode(paperCode, paper);
    pdf = std::make_unique<print::PdfPrinterDevice>(settings.printToFile, settings.queue, paper.width, paper.height,
                                                    dpi);
    printer = pdf->Info();
  } else {
    printer = print::DescribePrinter(settings.printerType, dpi, paperCode);
    if (auto value = parsed.Option("--offset")) {
      const std::vector<double> offset = ParseNumberList("--offset", *value, 2, 0, 10000);
      if (offset[0] != std::trunc(offset[0]) || offset[1] != std::trunc(offset[1]) ||
          offset[0] >= printer.pageWidthDots || offset[1] >= printer.pageHeightDots)
        throw UsageError("--offset takes whole dots inside the page (got '" + *value + "')");
      printer.offsetX = static_cast<int>(offset[0]);
      printer.offsetY = static_cast<int>(offset[1]);
      printer.printableWidthDots = std::min(printer.printableWidthDots, printer.pageWidthDots - printer.offsetX);
      printer.printableHeightDots = std::min(printer.printableHeightDots, printer.pageHeightDots - printer.offsetY);
    }
  }

  const print::MarginUnit unit = print::MarginUnit::Millimetre;
  print::PrinterGeometry geometry{printer.dpiX,          printer.dpiY,          printer.offsetX,
                                  printer.offsetY,       printer.pageWidthDots, printer.pageHeightDots,
                                  printer.printableWidthDots, printer.printableHeightDots};
  print::Margins minimum;
  print::MinimumMargins(geometry, unit, minimum);
  print::Margins margins = minimum;
  if (auto value = parsed.Option("--margins")) {
    const double shorter = std::min(printer.pageWidthMm, printer.pageHeightMm);
    const std::vector<double> mm = ParseNumberList("--margins", *value, 4, 0, shorter / 2);
    margins = {static_cast<int>(std::lround(mm[0] * 100)), static_cast<int>(std::lround(mm[1] * 100)),
               static_cast<int>(std::lround(mm[2] * 100)), static_cast<int>(std::lround(mm[3] * 100))};
    margins = print::CheckMargins(margins, minimum, unit).margins;
  }
  setup.paperWidthTwips = static_cast<int>(std::lround(printer.pageWidthMm * print::kTwipsPerInch / 25.4));
  setup.paperHeightTwips = static_cast<int>(std::lround(printer.pageHeightMm * print::kTwipsPerInch / 25.4));
  setup.marginsTwips = {print::MarginToTwips(margins.left, unit), print::MarginToTwips(margins.top, unit),
                        print::MarginToTwips(margins.right, unit), print::MarginToTwips(margins.bottom, unit)};

  CliPrompts prompts;
  platform::Prompts* previous = platform::SetPrompts(&prompts);
  CVividDoc document;
  const bool opened = OpenDocument(document, parsed.positional[0]);
  platform::SetPrompts(previous);
  if (!opened) return kExitFailed;
  const CDIBitmap& image = document.GetImage();

  print::ImageFacts facts{image.GetWidth(), image.GetHeight(), image.GetXResolution(), image.GetYResolution()};
  if (facts.dpiX <= 0 || facts.dpiY <= 0) facts.dpiX = facts.dpiY = kDefaultImageDpi;
  print::PageLayout layout;
  int result = print::ComputePageLayout(setup, facts, layout);
  if (result != 1) {
    std::fprintf(stderr, "%s: %s\n", kProgram, FormatErrorCode(result).c_str());
    return kExitFailed;
  }

  TerminalProgress terminal;
  const bool showProgress = isatty(STDERR_FILENO) != 0;
  print::PrintProgress progress(showProgress ? &terminal : nullptr);
  platform::ResetCancel();
  auto previousInt = std::signal(SIGINT, CancelOnSignal);
  auto previousTerm = std::signal(SIGTERM, CancelOnSignal);
  const int before = Messages().Count();
  std::string startError;
  if (device) {
    result = print::PrintJobBands(*pdf, settings, layout, image, &progress);
    startError = pdf->LastError();
  } else {
    std::unique_ptr<print::Spooler> spooler = print::OpenSpooler(settings);
    result = print::PrintJobDirect(*spooler, settings, printer, layout, image, &progress);
    startError = spooler->LastErrorText();
  }
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
  if (result == 0) return kExitOk;
  // An interrupted run leaves no output file: the job ended its page for a
  // printer's sake, but a partial page is no use as a file.
  if (result == kResultCancelled && output) std::remove(output->c_str());

  const std::string target = output ? *output : "queue " + *queue;
  if (result == -1) {
    std::fprintf(stderr, "%s: cannot start the print job on %s%s%s\n", kProgram, target.c_str(),
                 startError.empty() ? "" : ": ", startError.c_str());
  } else if (Messages().Count() == before || result == kResultCancelled) {
    std::fprintf(stderr, "%s: %s%s%s\n", kProgram, FormatErrorCode(result).c_str(), startError.empty() ? "" : " ",
                 startError.c_str());
  }
  return kExitFailed;
}

}  // namespace cli
