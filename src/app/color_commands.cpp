#include "app/color_commands.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "color/color_settings.h"
#include "color/icc_profile.h"
#include "platform/messages.h"

namespace app {

namespace {

std::optional<std::string> SaveDump(const std::string& profilePath, int intent, const char* role,
                                    const std::string& folder, const char* fileName) {
  if (profilePath.empty()) {
    platform::ShowMessage(platform::FormatText("No %s profile is chosen. Choose one under Color Management ...", role),
                          {}, platform::MsgIcon::Exclamation);
    return std::nullopt;
  }
  color::ColorProfile profile;
  if (!profile.Open(profilePath)) {
    platform::ShowMessage(platform::FormatText("Cannot read the profile %s: %s.", profilePath.c_str(),
                                               profile.LastError().c_str()),
                          {}, platform::MsgIcon::Exclamation);
    return std::nullopt;
  }
  const std::string target =
      folder.empty() ? std::string(fileName) : (std::filesystem::path(folder) / fileName).string();
  errno = 0;
  if (!profile.Dump(target, intent)) {
    const int error = errno;
    platform::ShowMessage(platform::FormatText("Cannot write %s: %s.", target.c_str(),
                                               error ? std::strerror(error) : "write failed"),
                          {}, platform::MsgIcon::Exclamation);
    return std::nullopt;
  }
  return target;
}

}  // namespace

std::optional<std::string> SavePrinterIcm(const color::ColorManagementSettings& settings, const std::string& folder) {
  return SaveDump(settings.outputPath, settings.intent, "printer", folder, kPrinterDumpName);
}

std::optional<std::string> SaveMonitorIcm(const color::ColorManagementSettings& settings, const std::string& folder) {
  return SaveDump(settings.displayPath, settings.intent, "monitor", folder, kMonitorDumpName);
}

}  // namespace app
