// The "Color Management" settings: whether colour matching is on, the four
// chosen profiles and the rendering intent.
#pragma once

#include <string>
#include <string_view>

namespace platform {
class Settings;
}

namespace color {

// Rendering intents, by number.
inline constexpr int kIntentPerceptual = 0;
inline constexpr int kIntentRelativeColorimetric = 1;
inline constexpr int kIntentSaturation = 2;
inline constexpr int kIntentAbsoluteColorimetric = 3;

struct ColorManagementSettings {
  bool enabled = false;         // "Enable Color Matching"
  std::string inputPath;        // "Input:" profile, "" = none
  std::string displayPath;      // "Display:"
  std::string outputPath;       // "Output:"
  std::string separationPath;   // "Separation:"
  int intent = kIntentPerceptual;  // 0..3

  // Reads the settings from section kSection: "ICMEnable" (0/1),
  // "ICMPathScanner", "ICMPathMonitor", "ICMPathPrinter", "ICMPathSeparate"
  // and "ICMIntent". Missing keys keep the defaults above; an intent outside
  // 0..3 is read as 0.
  void Load(const platform::Settings& settings);
  // Writes the same keys.
  void Save(platform::Settings& settings) const;

  static constexpr std::string_view kSection = "Settings";
};

// The text shown under "Description" for an intent; "" outside 0..3.
std::string_view IntentDescription(int intent);
// The intent's name: "Perceptual", "Relative Colorimetric", "Saturation",
// "Absolute Colorimetric"; "" outside 0..3.
std::string_view IntentName(int intent);

}  // namespace color
