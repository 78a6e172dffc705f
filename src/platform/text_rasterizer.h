// Fonts and text drawing for the text tool.
//
// A TextRasterizer measures one line of text in a font and draws lines of
// text white on black into an 8-bit coverage buffer. Fonts are named by
// family and found by the system's font catalogue; a family it does not
// know is replaced by the catalogue's nearest match, so every family draws.
//
// One TextRasterizer is current for the process, like the clipboard and the
// prompts. The editor and the command line install the toolkit's
// implementation (platform/qt); without one installed there are no fonts:
// CurrentTextRasterizer() is null and the text tool says so and fails.
//
// Everything runs on the user-interface thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// A font as the Text dialog chooses it.
struct FontSpec {
  std::string family;
  // The size in pixels, or in points when `sizeInPoints`: then the pixel
  // size is round(size x dpi / 72) (half away from zero), at least 1.
  double size = 24;
  bool sizeInPoints = false;
  double dpi = 72;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  // Smooth glyph edges; off, every pixel DrawLines writes is 0 or 255.
  bool antialias = true;

  // The pixel size the font is drawn at, by the rule above; 0 for a size
  // that is not positive or not finite; at most 65536.
  int PixelSize() const;
};

struct TextExtent {
  int width = 0;   // the advance of the whole line, whole pixels
  int height = 0;  // the font's line height (ascent + descent), whole pixels
};

class TextRasterizer {
 public:
  virtual ~TextRasterizer() = default;

  // The extent of `line` (UTF-8, no line breaks) in `font`. nullopt when the
  // font cannot be made (a pixel size of 0) or fonts cannot be reached.
  virtual std::optional<TextExtent> MeasureLine(const FontSpec& font, std::string_view line) = 0;

  // Draws `lines` (UTF-8) into `pixels`, an 8-bit buffer of width x height
  // with rows of `stride` bytes from the top, which the call first fills
  // with 0: line i starts at x = 0 with its top at the sum of the heights
  // MeasureLine gives for lines 0 .. i-1, and is drawn with coverage 0..255
  // (255 fully inside a glyph; edges anti-aliased unless the font's
  // `antialias` is off). Whatever falls outside
  // the buffer is clipped. False, with the buffer untouched, when the font
  // cannot be made or fonts cannot be reached.
  virtual bool DrawLines(const FontSpec& font, std::span<const std::string> lines, uint8_t* pixels, int width,
                         int height, int stride) = 0;
};

// The installed rasteriser; null when there is none.
TextRasterizer* CurrentTextRasterizer();
// Installs `rasterizer` (nullptr removes it) and returns the old one.
TextRasterizer* SetTextRasterizer(TextRasterizer* rasterizer);

}  // namespace platform
