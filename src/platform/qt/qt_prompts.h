// The dialogs of platform::Prompts over Qt widgets: the file dialog is Qt's
// own QFileDialog (not the desktop's, so that the name field can follow type
// changes the same way everywhere), questions go through the message sink,
// and the codec option dialogs are small QDialogs with the captions and
// labels of prompts.h.
//
// Dialogs need a QApplication. Without one (a process that runs only a
// QGuiApplication, or none) every dialog answers as the headless default
// does: the file dialog is cancelled and the option dialogs confirm their
// preset values.
//
// This header stays free of Qt's headers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/prompts.h"

namespace platform {

class QtPrompts final : public Prompts {
 public:
  // Opens the file dialog with the request's filter entries as its types,
  // entry typeIndex selected (the first when out of range), the initial name
  // and folder, and the default extension added to a name typed without one.
  // Opening asks for an existing file; saving accepts any name and leaves
  // the question about an existing file to the caller.
  std::optional<FileDialogResult> FileDialog(const FileDialogRequest& request) override;
  std::optional<int> TiffOptions(bool oneBit) override;
  // The spin box takes kJpegQualityMin..kJpegQualityMax; `quality` outside
  // that range starts at the nearest end.
  std::optional<int> JpegOptions(int quality) override;
  std::optional<int> TgaOptions() override;
  // Offers the first resolutionCount entries, limited to 1..5, with the
  // preselected one brought into that range.
  std::optional<PhotoCDChoice> PhotoCDOptions(const PhotoCDRequest& request) override;
};

struct FileFilterEntry {
  std::string name;                   // the display name, as given
  std::vector<std::string> patterns;  // "*.jpg", "*.jpeg"
};

// The entries of a filter string "Name|pat1;pat2|Name2|pat3||": display
// names alternating with ';'-separated patterns. Reading stops at the empty
// field that ends the list; a name without its patterns is dropped, and so
// are empty patterns and blanks around them.
std::vector<FileFilterEntry> ParseFileFilter(std::string_view filter);

}  // namespace platform
