// The colour-managed separation of the direct paths: the separation grid
// built from the chosen input and separation profiles through the ICC
// converter, once per job.
#include <string>

#include "color/color_converter.h"
#include "image/result_codes.h"
#include "platform/messages.h"
#include "print/print_pipeline.h"

namespace print {

int BuildProfileSeparationGrid(const PrintColorManagement& management, SeparationGrid& grid) {
  if (!management.enabled || management.inputProfile.empty() || management.separationProfile.empty()) return 0;
  color::ColorConverter converter;
  std::string error;
  if (!converter.Build(management.inputProfile, management.separationProfile, management.intent, &error)) {
    platform::ShowMessage(error.empty() ? std::string("Invalid file format!") : error);
    return kResultInvalidFormat;
  }
  BuildSeparationGrid(
      grid, [&converter](const uint8_t rgb[3], uint8_t cmyk[4]) { converter.RgbToCmyk(rgb, cmyk); },
      [&converter](const uint8_t cmyk[4], uint8_t rgb[3]) { converter.CmykToRgb(cmyk, rgb); });
  return kResultOk;
}

}  // namespace print
