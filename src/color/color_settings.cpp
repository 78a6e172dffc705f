// The colour-management settings and the intent texts.
#include "color/color_settings.h"

#include "platform/settings.h"

namespace color {

void ColorManagementSettings::Load(const platform::Settings& settings) {
  enabled = settings.GetInt(kSection, "ICMEnable", enabled ? 1 : 0) != 0;
  inputPath = settings.GetString(kSection, "ICMPathScanner", inputPath);
  displayPath = settings.GetString(kSection, "ICMPathMonitor", displayPath);
  outputPath = settings.GetString(kSection, "ICMPathPrinter", outputPath);
  separationPath = settings.GetString(kSection, "ICMPathSeparate", separationPath);
  intent = settings.GetInt(kSection, "ICMIntent", intent);
  if (intent < 0 || intent > 3) intent = kIntentPerceptual;
}

void ColorManagementSettings::Save(platform::Settings& settings) const {
  settings.SetInt(kSection, "ICMEnable", enabled ? 1 : 0);
  settings.SetString(kSection, "ICMPathScanner", inputPath);
  settings.SetString(kSection, "ICMPathMonitor", displayPath);
  settings.SetString(kSection, "ICMPathPrinter", outputPath);
  settings.SetString(kSection, "ICMPathSeparate", separationPath);
  settings.SetInt(kSection, "ICMIntent", intent);
}

std::string_view IntentDescription(int intent) {
  switch (intent) {
    case 0:
      return "The full gamut of the image is compressed or expanded to fill the gamut of the destination device. "
             "Gray balance is preserved but colorimetric accuracy might not be preserved.";
    case 1:
      return "Does not preserve the white point.\r\nAny colors that fall outside the range that the output device "
             "can render are adjusted to the closest color that can be rendered, while other colors are left "
             "unchanged.";
    case 2:
      return "The saturation of the pixels in the image is preserved perhaps at the expense of accuracy in hue and "
             "lightness.";
    case 3:
      return "Preserve the white point.\r\nAny colors that fall outside the range that the output device can render "
             "are adjusted to the closest color that can be rendered, while other colors are left unchanged.";
    default:
      return "";
  }
}

std::string_view IntentName(int intent) {
  switch (intent) {
    case 0: return "Perceptual";
    case 1: return "Relative Colorimetric";
    case 2: return "Saturation";
    case 3: return "Absolute Colorimetric";
    default: return "";
  }
}

}  // namespace color
