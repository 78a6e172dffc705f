#include "editing/underlay_patterns.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "document/format_dispatch.h"
#include "image/color_modes.h"
#include "image/dibitmap.h"
#include "image/result_codes.h"
#include "imaging/underlay.h"

namespace fs = std::filesystem;

namespace {

bool IsBuiltIn(const std::string& name) {
  const auto& names = GL_UnderlayPatternNames();
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Photo CD is left out: reading it asks for a resolution.
bool Readable(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  static constexpr const char* kKnown[] = {".bmp", ".gif", ".jpg", ".jpeg", ".pcx", ".dcx", ".png", ".tga", ".tif"};
  return std::any_of(std::begin(kKnown), std::end(kKnown), [&](const char* known) { return ext == known; });
}

}  // namespace

std::string UnderlayPatternFolder() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return std::string(data) + "/vividrome/patterns";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.local/share/vividrome/patterns";
}

std::vector<std::string> ListUnderlayPatterns(const std::string& folder) {
  std::vector<std::string> names(GL_UnderlayPatternNames().begin(), GL_UnderlayPatternNames().end());
  std::vector<std::string> files;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (!it->is_regular_file(error) || !Readable(it->path())) continue;
    const std::string name = it->path().filename().string();
    if (name.find_first_of(",:") != std::string::npos || IsBuiltIn(name)) continue;
    files.push_back(name);
  }
  std::sort(files.begin(), files.end());
  names.insert(names.end(), files.begin(), files.end());
  return names;
}

int LoadUnderlayPattern(CDIBitmap& pattern, const std::string& name, const std::string& folder) {
  if (IsBuiltIn(name)) return GL_MakeUnderlayPattern(pattern, name);
  const fs::path path = fs::path(folder) / name;
  std::error_code error;
  if (name.empty() || name.find('/') != std::string::npos || !fs::is_regular_file(path, error))
    return kResultFileNotFound;
  const int read = LoadImageFile(pattern, path.string());
  if (read <= 0) return read;
  const int gray = GL_ConvertToGray(pattern);
  if (gray != kResultOk) return gray;
  return pattern.GetBitCount() == 8 && pattern.IsGray() ? kResultOk : kResultInvalidFormat;
}
