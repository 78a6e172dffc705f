#include "editing/display_color.h"

#include <lcms2.h>

#include <array>

namespace {

struct Cache {
  color::ColorManagementSettings settings;
  unsigned generation = 1;
  // Per printed flag: built for `builtFor` generation.
  std::array<unsigned, 2> builtFor{0, 0};
  std::array<std::unique_ptr<DisplayColorTransform>, 2> transforms;
  std::string error;
};

Cache& TheCache() {
  static Cache cache;
  return cache;
}

// Closes a profile handle when it goes out of scope.
struct Profile {
  cmsHPROFILE handle = nullptr;
  explicit Profile(cmsHPROFILE h) : handle(h) {}
  ~Profile() {
    if (handle) cmsCloseProfile(handle);
  }
  Profile(const Profile&) = delete;
  Profile& operator=(const Profile&) = delete;
};

cmsHPROFILE OpenProfile(const std::string& path, const char* role, std::string* error) {
  cmsHPROFILE profile = cmsOpenProfileFromFile(path.c_str(), "r");
  if (!profile && error) *error = std::string("Cannot read the ") + role + " profile " + path;
  return profile;
}

}  // namespace

void SetDisplayColorSettings(const color::ColorManagementSettings& settings) {
  Cache& cache = TheCache();
  cache.settings = settings;
  ++cache.generation;
  cache.transforms = {};
  cache.builtFor = {0, 0};
  cache.error.clear();
}

const color::ColorManagementSettings& GetDisplayColorSettings() { return TheCache().settings; }

unsigned DisplayColorGeneration() { return TheCache().generation; }

std::unique_ptr<DisplayColorTransform> DisplayColorTransform::Build(const color::ColorManagementSettings& settings,
                                                                    bool printed, std::string* error) {
  if (error) error->clear();
  if (!settings.enabled || settings.displayPath.empty()) return nullptr;
  const int intent = settings.intent >= 0 && settings.intent <= 3 ? settings.intent : 0;

  Profile display(OpenProfile(settings.displayPath, "display", error));
  if (!display.handle) return nullptr;
  if (cmsGetColorSpace(display.handle) != cmsSigRgbData) {
    if (error) *error = "The display profile " + settings.displayPath + " is not an RGB profile";
    return nullptr;
  }
  // The image's profile: the chosen input profile when it describes RGB.
  Profile source(nullptr);
  if (!settings.inputPath.empty()) {
    source.handle = cmsOpenProfileFromFile(settings.inputPath.c_str(), "r");
    if (source.handle && cmsGetColorSpace(source.handle) != cmsSigRgbData) {
      cmsCloseProfile(source.handle);
      source.handle = nullptr;
    }
  }
  if (!source.handle) source.handle = cmsCreate_sRGBProfile();

  cmsHTRANSFORM transform = nullptr;
  if (printed && !settings.outputPath.empty()) {
    Profile output(OpenProfile(settings.outputPath, "output", error));
    if (!output.handle) return nullptr;
    transform = cmsCreateProofingTransform(source.handle, TYPE_RGB_8, display.handle, TYPE_RGB_8, output.handle,
                                           static_cast<cmsUInt32Number>(intent), INTENT_RELATIVE_COLORIMETRIC,
                                           cmsFLAGS_SOFTPROOFING);
  } else {
    transform = cmsCreateTransform(source.handle, TYPE_RGB_8, display.handle, TYPE_RGB_8,
                                   static_cast<cmsUInt32Number>(intent), 0);
  }
  if (!transform) {
    if (error) *error = "The colour profiles cannot be combined for the display";
    return nullptr;
  }
  return std::unique_ptr<DisplayColorTransform>(new DisplayColorTransform(transform));
}

DisplayColorTransform::~DisplayColorTransform() { cmsDeleteTransform(static_cast<cmsHTRANSFORM>(handle_)); }

void DisplayColorTransform::ApplyRow(uint8_t* rgb, int count) const {
  if (count > 0) cmsDoTransform(static_cast<cmsHTRANSFORM>(handle_), rgb, rgb, static_cast<cmsUInt32Number>(count));
}

const DisplayColorTransform* CurrentDisplayTransform(bool printed) {
  Cache& cache = TheCache();
  if (!cache.settings.enabled || cache.settings.displayPath.empty()) return nullptr;
  const size_t slot = printed ? 1 : 0;
  if (cache.builtFor[slot] != cache.generation) {
    cache.builtFor[slot] = cache.generation;
    cache.transforms[slot] = DisplayColorTransform::Build(cache.settings, printed, &cache.error);
  }
  return cache.transforms[slot].get();
}

const std::string& DisplayColorError() { return TheCache().error; }
