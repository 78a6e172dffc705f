// The views' colour matching: the composed picture shown through the display
// profile, or through a simulation of the printer.
//
// The settings come from the "Color Management" dialog (one set for the
// process, matching off until it is set). With matching on and a display
// profile chosen, every composed row of image pixels goes through one
// LittleCMS transform from the image's profile (the chosen input profile
// when it is an RGB profile, else sRGB) to the display profile with the
// chosen intent. With "Preview Printed Colors" on and an output profile
// chosen, the transform is a proof: image profile to the output profile with
// the chosen intent, then the output profile to the display, relative
// colorimetric (the simulation shows the printer's gamut mapped onto the
// display's white). Otherwise the picture is drawn as it is, unchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "color/color_settings.h"

// Replaces the settings the views draw with; views compose anew at their
// next repaint (DisplayColorGeneration changes).
void SetDisplayColorSettings(const color::ColorManagementSettings& settings);
const color::ColorManagementSettings& GetDisplayColorSettings();
// Changes with every SetDisplayColorSettings.
unsigned DisplayColorGeneration();

// An 8-bit RGB to RGB transform (3 bytes red, green, blue a pixel, no
// padding) built by LittleCMS.
class DisplayColorTransform {
 public:
  // The transform `settings` call for (above), or nullptr when the picture is
  // shown as it is: matching off, no display profile, or a profile that
  // cannot be used (then `error` says which and why).
  static std::unique_ptr<DisplayColorTransform> Build(const color::ColorManagementSettings& settings, bool printed,
                                                      std::string* error = nullptr);
  ~DisplayColorTransform();
  DisplayColorTransform(const DisplayColorTransform&) = delete;
  DisplayColorTransform& operator=(const DisplayColorTransform&) = delete;

  // Converts `count` pixels of `rgb` in place, one LittleCMS call.
  void ApplyRow(uint8_t* rgb, int count) const;

 private:
  explicit DisplayColorTransform(void* handle) : handle_(handle) {}
  void* handle_;
};

// The transform for the current settings and `printed`, built at the first
// call after the settings changed and kept; nullptr when the picture is
// shown as it is. Not thread-safe: the views compose on one thread.
const DisplayColorTransform* CurrentDisplayTransform(bool printed);
// Why the last build for the current settings gave no transform though
// matching is on ("" when it did or was not asked to).
const std::string& DisplayColorError();
