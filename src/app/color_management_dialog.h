// "Color Management ...": colour matching on or off, the four profiles by
// use and the rendering intent.
//
// "Enable Color Matching"; the lists "Input:", "Display:", "Output:" and
// "Separation:", each "None" followed by the catalogue's profiles of that
// use (shown by display name), the settings' current path chosen; a current
// path the catalogue does not list (a profile installed elsewhere) is shown
// as an extra entry by its path, so OK keeps it. "Intent:" with the four
// intents and the chosen one's text under "Description".
//
// OK writes the settings into the given platform::Settings
// (ColorManagementSettings::Save), the profile paths into
// CurrentAppSettings().paths, and makes the views draw with them
// (ApplyColorManagement).
#pragma once

#include <QDialog>
#include <memory>

#include "color/color_settings.h"
#include "color/profile_catalogue.h"

namespace platform {
class Settings;
}

namespace app {

// Hands `settings` to the views' display (SetDisplayColorSettings) and
// copies the profile paths into CurrentAppSettings().paths.
void ApplyColorManagement(const color::ColorManagementSettings& settings);

class ColorManagementDialog : public QDialog {
 public:
  ColorManagementDialog(const color::ProfileCatalogue& catalogue, const color::ColorManagementSettings& initial,
                        QWidget* parent = nullptr);
  ~ColorManagementDialog() override;
  // The settings as the fields hold them.
  color::ColorManagementSettings Settings() const;

 private:
  struct Private;
  std::unique_ptr<Private> d_;
};

// Scans the installed profiles, runs the dialog with the settings read from
// `settings` and, on OK, stores and applies them. True on OK.
bool RunColorManagement(QWidget* parent, platform::Settings& settings);

}  // namespace app
