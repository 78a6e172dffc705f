// "Channel Co&mbine...": the "Color Combine" dialog and the merge of the
// chosen gray documents into one colour image.
//
// The dialog offers the colour space [colorSpace] "RGB" or "CMYK" and one
// list per plane [plane0 .. plane3] ("Red", "Green", "Blue" or "Cyan",
// "Magenta", "Yellow", "Black") of the open documents' titles; plane i
// starts at document i (the last one where there are fewer). The fourth
// list shows only for CMYK.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

class QWidget;
class CDIBitmap;

namespace app {

struct ChannelChoice {
  bool cmyk = false;
  std::vector<int> documents;  // index into the titles, one per plane (3 or 4)
};

// Runs the dialog over the open documents' titles; nullopt for Cancel or
// when there is no document.
std::optional<ChannelChoice> AskChannelCombine(QWidget* parent, const std::vector<std::string>& titles);

// Merges the planes (3: red, green, blue into a 24-bit image; 4: cyan,
// magenta, yellow, black into CMYK) into `target` with GL_MergePlanes. A
// plane that is not 8-bit gray shows "All channel need to be a 8bit
// grayscale image !" and leaves `target` alone; the merge's own refusals
// (planes of different sizes) show its messages. True when merged.
bool CombineChannels(CDIBitmap& target, std::span<const CDIBitmap* const> planes);

}  // namespace app
