#include "app/app_settings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <limits>

namespace app {

namespace {

constexpr char kSettingsSection[] = "Settings";
constexpr char kWindowPosKey[] = "WindowPos";
constexpr char kRecentSection[] = "Recent File List";
constexpr char kCalibrateSection[] = "Calibrate";
constexpr char kGammaKey[] = "Gamma";
constexpr int kDefaultGamma = 100;

std::string RecentKey(size_t index) { return "File" + std::to_string(index + 1); }

// One number of a placement: optional blanks, an optional '-' when signed,
// digits, optional blanks; in range.
std::optional<int64_t> ParseField(std::string_view field, bool isSigned) {
  auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!field.empty() && blank(field.front())) field.remove_prefix(1);
  while (!field.empty() && blank(field.back())) field.remove_suffix(1);
  if (field.empty() || field.front() == '+') return std::nullopt;
  if (field.front() == '-' && !isSigned) return std::nullopt;
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (ec != std::errc() || end != field.data() + field.size()) return std::nullopt;
  const int64_t low = isSigned ? std::numeric_limits<int32_t>::min() : 0;
  const int64_t high = isSigned ? std::numeric_limits<int32_t>::max() : std::numeric_limits<uint32_t>::max();
  if (value < low || value > high) return std::nullopt;
  return value;
}

}  // namespace

std::string FormatWindowPlacement(const WindowPlacement& p) {
  std::string out = std::to_string(p.flags) + "," + std::to_string(p.showCommand);
  for (int v : {p.minX, p.minY, p.maxX, p.maxY, p.left, p.top, p.right, p.bottom}) out += "," + std::to_string(v);
  return out;
}

std::optional<WindowPlacement> ParseWindowPlacement(std::string_view text) {
  int64_t values[10];
  size_t count = 0;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const std::string_view field = text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
    if (count == 10) return std::nullopt;
    const std::optional<int64_t> value = ParseField(field, count >= 2);
    if (!value) return std::nullopt;
    values[count++] = *value;
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (count != 10) return std::nullopt;
  WindowPlacement p;
  p.flags = static_cast<unsigned>(values[0]);
  p.showCommand = static_cast<unsigned>(values[1]);
  int* const fields[] = {&p.minX, &p.minY, &p.maxX, &p.maxY, &p.left, &p.top, &p.right, &p.bottom};
  for (size_t i = 0; i < 8; ++i) *fields[i] = static_cast<int>(values[i + 2]);
  if (p.right <= p.left || p.bottom <= p.top) return std::nullopt;
  return p;
}

std::optional<WindowPlacement> LoadWindowPlacement(const platform::Settings& settings) {
  return ParseWindowPlacement(settings.GetString(kSettingsSection, kWindowPosKey, ""));
}

void SaveWindowPlacement(platform::Settings& settings, const WindowPlacement& placement) {
  settings.SetString(kSettingsSection, kWindowPosKey, FormatWindowPlacement(placement));
}

void RecentFileList::Load(const platform::Settings& settings) {
  items_.clear();
  for (size_t i = 0; i < kMaxRecentFiles; ++i) {
    std::string path = settings.GetString(kRecentSection, RecentKey(i), "");
    if (path.empty()) break;
    if (std::find(items_.begin(), items_.end(), path) == items_.end()) items_.push_back(std::move(path));
  }
}

void RecentFileList::Save(platform::Settings& settings) const {
  for (size_t i = 0; i < kMaxRecentFiles; ++i) {
    if (i < items_.size())
      settings.SetString(kRecentSection, RecentKey(i), items_[i]);
    else if (settings.HasKey(kRecentSection, RecentKey(i)))
      settings.Remove(kRecentSection, RecentKey(i));
  }
}

void RecentFileList::Add(const std::string& path) {
  if (path.empty()) return;
  Remove(path);
  items_.insert(items_.begin(), path);
  if (items_.size() > kMaxRecentFiles) items_.resize(kMaxRecentFiles);
}

bool RecentFileList::Remove(const std::string& path) {
  const auto it = std::find(items_.begin(), items_.end(), path);
  if (it == items_.end()) return false;
  items_.erase(it);
  return true;
}

std::string RecentFileMenuText(size_t index, std::string_view path) {
  const size_t number = index + 1;
  std::string text = number < 10 ? "&" + std::to_string(number) : std::to_string(number / 10) + "&" + std::to_string(number % 10);
  text += ' ';
  for (char c : path) {
    if (c == '&') text += '&';
    text += c;
  }
  return text;
}

int LoadGamma(const platform::Settings& settings) {
  return settings.GetInt(kCalibrateSection, kGammaKey, kDefaultGamma);
}

void SaveGamma(platform::Settings& settings, int gamma) { settings.SetInt(kCalibrateSection, kGammaKey, gamma); }

namespace {

struct MachineKey {
  const char* key;
  std::string MachinePaths::*field;
  bool folder;  // defaults to the folder, else to empty
};
constexpr MachineKey kMachineKeys[] = {
    {"WorkPath", &MachinePaths::workPath, true},
    {"ImagePath", &MachinePaths::imagePath, true},
    {"ICMPathMonitor", &MachinePaths::icmMonitor, false},
    {"ICMPathPrinter", &MachinePaths::icmPrinter, false},
    {"ICMPathScanner", &MachinePaths::icmScanner, false},
    {"ICMPathSeparate", &MachinePaths::icmSeparate, false},
};

}  // namespace

MachinePaths LoadMachinePaths(platform::Settings& settings, const std::string& defaultFolder) {
  MachinePaths paths;
  for (const MachineKey& k : kMachineKeys) {
    std::string value = settings.GetString(kMachineSection, k.key, "");
    if (value.empty()) {
      value = k.folder ? defaultFolder : std::string();
      settings.SetString(kMachineSection, k.key, value);
    }
    paths.*k.field = std::move(value);
  }
  return paths;
}

void SaveMachinePaths(platform::Settings& settings, const MachinePaths& paths) {
  for (const MachineKey& k : kMachineKeys) settings.SetString(kMachineSection, k.key, paths.*k.field);
}

AppSettings& CurrentAppSettings() {
  static AppSettings settings;
  return settings;
}

}  // namespace app
