// sources: the scan sources, one a line. scan OUT: a new document by
// scanning, saved as OUT. Both go through the acquisition object over the
// SANE source manager; the source's user interface is answered from the
// options.
#include <cstdio>
#include <memory>
#include <string>

#include "cli/cli.h"
#include "document/vivid_doc.h"

#ifdef VIVID_HAVE_ACQUIRE
#include "acquire/acquisition.h"
#include "acquire/sane_source.h"
#include "platform/settings.h"
#ifdef VIVID_HAVE_QT_TEXT
#include "platform/qt/qt_settings.h"
#endif
#endif

namespace cli {

#ifdef VIVID_HAVE_ACQUIRE
namespace {

// The user's settings (the last chosen source) where the Qt settings are
// built, else none kept.
std::unique_ptr<platform::Settings> UserSettings() {
#ifdef VIVID_HAVE_QT_TEXT
  return std::make_unique<platform::QtSettings>();
#else
  return std::make_unique<platform::MemorySettings>();
#endif
}

// Installs the SANE manager whose source dialog answers with `options`.
class SaneLoaderScope {
 public:
  explicit SaneLoaderScope(const acquire::ScanOptions& options) : settings_(UserSettings()) {
    previous_ = acquire::SetManagerLoader([this, options] {
      return acquire::MakeSaneManager(
          settings_.get(), {},
          [options](const acquire::ScanRequest&, acquire::ScanOptions& chosen) {
            chosen = options;
            return true;
          });
    });
  }
  ~SaneLoaderScope() { acquire::SetManagerLoader(std::move(previous_)); }
  SaneLoaderScope(const SaneLoaderScope&) = delete;
  SaneLoaderScope& operator=(const SaneLoaderScope&) = delete;

 private:
  std::unique_ptr<platform::Settings> settings_;
  acquire::ManagerLoader previous_;
};

acquire::ScanArea ParseArea(const std::string& text) {
  double v[4];
  char tail = 0;
  if (std::sscanf(text.c_str(), "%lf,%lf,%lf,%lf%c", &v[0], &v[1], &v[2], &v[3], &tail) != 4 || v[0] < 0 ||
      v[1] < 0 || v[2] <= 0 || v[3] <= 0)
    throw UsageError("--area needs X,Y,W,H in millimetres (W and H above 0)");
  return {v[0], v[1], v[2], v[3]};
}

// NAME=VALUE[,NAME=VALUE...]
std::vector<std::pair<std::string, std::string>> ParseDeviceOptions(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> list;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find(',', start), text.size());
    const std::string item = text.substr(start, end - start);
    const size_t eq = item.find('=');
    if (eq == std::string::npos || eq == 0) throw UsageError("--device-option needs NAME=VALUE[,NAME=VALUE...]");
    list.emplace_back(item.substr(0, eq), item.substr(eq + 1));
    start = end + 1;
  }
  return list;
}

}  // namespace

int RunSources(std::span<const std::string> args) {
  const ParsedArgs parsed = ParseArgs(args, {});
  ExpectPositionals(parsed, 0, "sources");
  const SaneLoaderScope loader({});
  acquire::Acquisition acquisition;
  const int before = Messages().Count();
  const std::vector<acquire::TW_IDENTITY> sources = acquisition.ListSources();
  if (Messages().Count() != before) return kExitFailed;
  for (const acquire::TW_IDENTITY& source : sources)
    std::printf("%s\t%s %s\n", source.ProductName, source.Manufacturer, source.ProductFamily);
  return kExitOk;
}

int RunScan(std::span<const std::string> args) {
  static constexpr OptionDef kOptions[] = {
      {"--device"}, {"--mode"}, {"--dpi"}, {"--area"}, {"--device-option"}};
  const ParsedArgs parsed = ParseArgs(args, kOptions);
  ExpectPositionals(parsed, 1, "scan");
  acquire::ScanOptions options;
  if (const auto mode = parsed.Option("--mode")) {
    static constexpr std::string_view kModes[] = {"lineart", "gray", "color"};
    options.pixelType = static_cast<acquire::TW_UINT16>(ParseChoiceOption("--mode", *mode, kModes));
  }
  if (const auto dpi = parsed.Option("--dpi")) options.dpi = ParseIntOption("--dpi", *dpi, 1, 9600);
  if (const auto area = parsed.Option("--area")) options.area = ParseArea(*area);
  if (const auto extra = parsed.Option("--device-option")) options.deviceOptions = ParseDeviceOptions(*extra);

  const SaneLoaderScope loader(options);
  const std::optional<std::string> device = parsed.Option("--device");
  CVividDoc::SetNewDocumentSource(CM_ACQUIRE, [&device](CVividDoc& document) {
    CVividDoc::SetScanBusy(true);
    acquire::Acquisition acquisition;
    if (device) acquisition.UseSource(*device);
    acquire::ImageDescriptor descriptor;
    const int acquired = acquisition.Acquire(document.GetImage(), descriptor);
    CVividDoc::SetScanBusy(false);
    return acquired != 0;
  });
  CVividDoc::SetCreationMode(CM_ACQUIRE);
  CliPrompts prompts;
  const PromptsScope scope(prompts);
  CVividDoc document;
  const int before = Messages().Count();
  const bool made = document.OnNewDocument();
  CVividDoc::SetCreationMode(CM_BLANK);
  CVividDoc::SetNewDocumentSource(CM_ACQUIRE, {});
  if (!made) {
    if (Messages().Count() == before) std::fprintf(stderr, "%s: nothing was scanned\n", kProgram);
    return kExitFailed;
  }
  return SaveDocument(document, parsed.positional[0]) ? kExitOk : kExitFailed;
}

#else

int RunSources(std::span<const std::string>) {
  std::fprintf(stderr, "%s: scanning is not available in this build\n", kProgram);
  return kExitFailed;
}

int RunScan(std::span<const std::string>) {
  std::fprintf(stderr, "%s: scanning is not available in this build\n", kProgram);
  return kExitFailed;
}

#endif

}  // namespace cli
