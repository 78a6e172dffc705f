// The catalogue of installed ICC profiles, by use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace color {

// One catalogued profile.
struct ProfileEntry {
  std::string path;         // full path
  std::string fileName;     // the last path component
  std::string description;  // cut at the first carriage return
  std::string displayName;  // cut at the first carriage return
  std::string version;      // "Ver %d.%2d" (major, minor)
  std::string copyright;
  uint32_t colorSpace = 0;  // data colour space signature
  uint32_t pcs = 0;         // PCS signature
};

// The five lists, at most kMaxEntries each:
//   input:      "scnr" profiles whose description does not contain
//               "KODAK Photo CD";
//   photoCd:    "scnr" profiles whose description contains it;
//   display:    "mntr";
//   output:     "prtr";
//   separation: "prtr" whose data colour space is "CMYK" (also in output).
// Profiles of other classes, and files that are not profiles, are left out.
class ProfileCatalogue {
 public:
  static constexpr size_t kMaxEntries = 200;

  // The folders searched: $XDG_DATA_HOME/icc (when set), ~/.local/share/icc,
  // ~/.color/icc, /usr/share/color/icc, /usr/local/share/color/icc,
  // /var/lib/colord/icc. VIVID_ICC_PATH, when set, replaces them with its
  // colon-separated folders.
  static std::vector<std::string> DefaultFolders();

  // Empties the catalogue and fills it from every "*.icc" and "*.icm" file
  // (any letter case) in `folders` and their subfolders. A file reached
  // twice (the same folder listed twice, a link) is taken once. Each list
  // is sorted by file name (then path); when more than kMaxEntries qualify,
  // the first kMaxEntries in that order are kept.
  void ScanProfiles(const std::vector<std::string>& folders);
  void ScanProfiles() { ScanProfiles(DefaultFolders()); }

  const std::vector<ProfileEntry>& Input() const { return input_; }
  const std::vector<ProfileEntry>& PhotoCd() const { return photoCd_; }
  const std::vector<ProfileEntry>& Display() const { return display_; }
  const std::vector<ProfileEntry>& Output() const { return output_; }
  const std::vector<ProfileEntry>& Separation() const { return separation_; }

  // The 1-based index of `path` in `list`, 0 (none) when it is not there.
  static int IndexOf(const std::vector<ProfileEntry>& list, const std::string& path);

 private:
  std::vector<ProfileEntry> input_, photoCd_, display_, output_, separation_;
};

// "Color Space: RGB Data" and the like for a data colour space signature
// ("Color Space: 2 Color Data" .. "Color Space: 15 Color Data" for "2CLR"
// .. "FCLR"); "" for one without a name.
std::string ColorSpaceName(uint32_t signature);
// "PCS: XYZ Data", "PCS: Lab Data"; "" otherwise.
std::string PcsName(uint32_t signature);

}  // namespace color
