// The profile catalogue: scanning the colour folders and classifying.
#include "color/profile_catalogue.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "color/icc_profile.h"

namespace color {
namespace {

namespace fs = std::filesystem;

std::string CutAtReturn(const std::string& text) { return text.substr(0, text.find('\r')); }

bool IsProfileName(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return extension == ".icc" || extension == ".icm";
}

// Every profile file under `folder`, unreadable subfolders skipped.
void CollectFiles(const std::string& folder, std::vector<fs::path>& files) {
  std::error_code code;
  if (!fs::is_directory(folder, code)) return;
  fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, code), end;
  for (; !code && it != end; it.increment(code)) {
    std::error_code entryCode;
    if (it->is_regular_file(entryCode) && IsProfileName(it->path())) files.push_back(it->path());
  }
}

void SortAndLimit(std::vector<ProfileEntry>& list) {
  std::sort(list.begin(), list.end(), [](const ProfileEntry& a, const ProfileEntry& b) {
    return a.fileName != b.fileName ? a.fileName < b.fileName : a.path < b.path;
  });
  if (list.size() > ProfileCatalogue::kMaxEntries) list.resize(ProfileCatalogue::kMaxEntries);
}

}  // namespace

std::vector<std::string> ProfileCatalogue::DefaultFolders() {
  std::vector<std::string> folders;
  if (const char* list = std::getenv("VIVID_ICC_PATH")) {
    std::string text = list;
    size_t start = 0;
    while (start <= text.size()) {
      const size_t end = std::min(text.find(':', start), text.size());
      if (end > start) folders.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return folders;
  }
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) folders.push_back(std::string(data) + "/icc");
  if (const char* home = std::getenv("HOME"); home && *home) {
    folders.push_back(std::string(home) + "/.local/share/icc");
    folders.push_back(std::string(home) + "/.color/icc");
  }
  folders.push_back("/usr/share/color/icc");
  folders.push_back("/usr/local/share/color/icc");
  folders.push_back("/var/lib/colord/icc");
  return folders;
}

void ProfileCatalogue::ScanProfiles(const std::vector<std::string>& folders) {
  input_.clear();
  photoCd_.clear();
  display_.clear();
  output_.clear();
  separation_.clear();
  std::vector<fs::path> files;
  for (const std::string& folder : folders) CollectFiles(folder, files);
  std::set<std::string> seen;
  for (const fs::path& file : files) {
    std::error_code code;
    const fs::path canonical = fs::canonical(file, code);
    if (!seen.insert(code ? file.string() : canonical.string()).second) continue;
    ColorProfile profile;
    if (!profile.Open(file.string())) continue;
    const IccHeader& header = profile.Header();
    ProfileEntry entry;
    entry.path = file.string();
    entry.fileName = file.filename().string();
    entry.description = CutAtReturn(profile.Description());
    entry.displayName = CutAtReturn(profile.DisplayName());
    char version[32];
    std::snprintf(version, sizeof version, "Ver %d.%2d", header.versionMajor, header.versionMinor);
    entry.version = version;
    entry.copyright = profile.Copyright();
    entry.colorSpace = header.colorSpace;
    entry.pcs = header.pcs;
    switch (header.deviceClass) {
      case kClassInput:
        (profile.Description().find("KODAK Photo CD") != std::string::npos ? photoCd_ : input_).push_back(entry);
        break;
      case kClassMonitor:
        display_.push_back(entry);
        break;
      case kClassOutput:
        if (header.colorSpace == kSpaceCMYK) separation_.push_back(entry);
        output_.push_back(std::move(entry));
        break;
      default:
        break;
    }
  }
  for (auto* list : {&input_, &photoCd_, &display_, &output_, &separation_}) SortAndLimit(*list);
}

int ProfileCatalogue::IndexOf(const std::vector<ProfileEntry>& list, const std::string& path) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].path == path) return int(i) + 1;
  return 0;
}

std::string ColorSpaceName(uint32_t signature) {
  static const struct {
    uint32_t signature;
    const char* name;
  } kNames[] = {
      {Signature("XYZ "), "XYZ"},   {Signature("Lab "), "Lab"},   {Signature("Luv "), "Luv"},
      {Signature("YCbr"), "YCbCr"}, {Signature("Yxy "), "Yxy"},   {Signature("RGB "), "RGB"},
      {Signature("GRAY"), "Gray"},  {Signature("HSV "), "HSV"},   {Signature("HLS "), "HLS"},
      {Signature("CMYK"), "CMYK"},  {Signature("CMY "), "CMY"},
  };
  for (const auto& name : kNames)
    if (name.signature == signature) return std::string("Color Space: ") + name.name + " Data";
  // "2CLR" .. "9CLR", "ACLR" .. "FCLR": 2 to 15 colours.
  if ((signature & 0x00FFFFFF) == (Signature("0CLR") & 0x00FFFFFF)) {
    const char first = char(signature >> 24);
    int colours = -1;
    if (first >= '2' && first <= '9') colours = first - '0';
    if (first >= 'A' && first <= 'F') colours = first - 'A' + 10;
    if (colours > 0) return "Color Space: " + std::to_string(colours) + " Color Data";
  }
  return "";
}

std::string PcsName(uint32_t signature) {
  if (signature == kSpaceXYZ) return "PCS: XYZ Data";
  if (signature == kSpaceLab) return "PCS: Lab Data";
  return "";
}

}  // namespace color
