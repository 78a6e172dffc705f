// The "New Image" dialog and the image it describes.
//
// Fields (object names in brackets): Color Mode [colorMode] "RGB - 24 BPP"
// (the default) or "Grayscale - 8 BPP"; Width [width] and Height [height],
// 8 to 32767, 100 each; Filename [filename], "Untitled"; Fill Background
// [fillBackground] "White" (the default), "Background Color" (the tool
// settings' background) or "Custom Color" (chosen in the colour dialog when
// the entry is picked; Cancel there goes back to the entry before). OK with
// an empty file name shows "Please enter a Filename" and keeps the dialog
// open.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QWidget;
class CDIBitmap;

namespace app {

struct NewImageSettings {
  int colorMode = 0;  // 0 RGB 24 bits, 1 gray 8 bits
  int width = 100;
  int height = 100;
  std::string name = "Untitled";
  uint32_t fill = 0xFFFFFF;  // 0x00BBGGRR
};

// Runs the dialog; nullopt for Cancel.
std::optional<NewImageSettings> AskNewImage(QWidget* parent);

// The image of `settings`: 24-bit RGB filled with the colour, or 8-bit gray
// filled with the colour's gray level (as "&Grayscale(8BIT)" converts it).
// A side below 1, an empty name or an image that cannot be created shows
// "Cannot create image  with wrong Parameter !" and gives nullptr.
std::unique_ptr<CDIBitmap> MakeNewImage(const NewImageSettings& settings);

}  // namespace app
