// The editor's own settings over platform::Settings (the per-user INI file
// in the application; memory in the tests):
//   "Settings"/"WindowPos"   the main window's placement, text of
//                            "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d": flags, show
//                            command, minimised x y, maximised x y, normal
//                            rectangle left top right bottom
//   "Recent File List"/"File1".."File10"   the recent files, newest first
//   "Calibrate"/"Gamma"      display gamma x 100 (default 100)
//   "1.20"/"WorkPath", "ImagePath", "ICMPathMonitor", "ICMPathPrinter",
//          "ICMPathScanner", "ICMPathSeparate"   the machine-wide strings
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings.h"

namespace app {

// Show commands of a placement.
inline constexpr unsigned kShowNormal = 1;
inline constexpr unsigned kShowMinimized = 2;
inline constexpr unsigned kShowMaximized = 3;

struct WindowPlacement {
  unsigned flags = 0;
  unsigned showCommand = kShowNormal;
  int minX = -1, minY = -1;
  int maxX = -1, maxY = -1;
  int left = 0, top = 0, right = 0, bottom = 0;  // normal rectangle, right/bottom exclusive
  bool operator==(const WindowPlacement&) const = default;
};

std::string FormatWindowPlacement(const WindowPlacement& placement);
// Exactly ten whole numbers separated by commas (blanks around a number
// allowed, '-' only on the eight signed ones, each in its type's range,
// nothing after the tenth); nullopt for anything else. A normal rectangle
// with no area is refused too: restoring it would make an invisible window.
std::optional<WindowPlacement> ParseWindowPlacement(std::string_view text);

std::optional<WindowPlacement> LoadWindowPlacement(const platform::Settings& settings);
void SaveWindowPlacement(platform::Settings& settings, const WindowPlacement& placement);

// The recent files, newest first, at most kMaxRecentFiles; a path appears
// once (compared exactly).
inline constexpr size_t kMaxRecentFiles = 10;

class RecentFileList {
 public:
  // Reads "File1".. up to the first missing or empty entry.
  void Load(const platform::Settings& settings);
  // Writes the entries and removes the keys of entries no longer there.
  void Save(platform::Settings& settings) const;
  // Moves `path` to the front (adding it); the oldest beyond the limit go.
  void Add(const std::string& path);
  // False when `path` was not listed.
  bool Remove(const std::string& path);
  const std::vector<std::string>& Items() const { return items_; }

 private:
  std::vector<std::string> items_;
};

// The File menu's text of entry `index` (0 = newest): "&1 PATH" .. "&9 PATH",
// "1&0 PATH", with every '&' of the path doubled so it shows as itself.
std::string RecentFileMenuText(size_t index, std::string_view path);

// Display gamma x 100 ("Calibrate"/"Gamma", default 100).
int LoadGamma(const platform::Settings& settings);
void SaveGamma(platform::Settings& settings, int gamma);

// The machine-wide strings.
struct MachinePaths {
  std::string workPath;
  std::string imagePath;
  std::string icmMonitor;
  std::string icmPrinter;
  std::string icmScanner;
  std::string icmSeparate;
};
inline constexpr char kMachineSection[] = "1.20";

// Reads the machine strings; each one missing or empty is written back with
// its default (WorkPath and ImagePath: `defaultFolder`; the profile paths:
// empty) and read as that default.
MachinePaths LoadMachinePaths(platform::Settings& settings, const std::string& defaultFolder);
void SaveMachinePaths(platform::Settings& settings, const MachinePaths& paths);

// What the editor holds while it runs: main() reads it at start and writes
// it back at exit; the dialogs read and change it here (the Monitor Gamma
// dialog the gamma, the colour management dialog the profile paths).
struct AppSettings {
  int gamma = 100;
  MachinePaths paths;
};
AppSettings& CurrentAppSettings();

}  // namespace app
