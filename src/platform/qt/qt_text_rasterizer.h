// The text rasteriser over Qt: QFont, QFontMetrics and QPainter drawing into
// an 8-bit gray QImage. Fonts come from the system's catalogue through
// fontconfig, text is shaped by Qt (ligatures, kerning, combining marks,
// right-to-left runs), and bold, italic and underline are Qt's own.
//
// Qt's font machinery needs a QGuiApplication. The rasteriser makes one the
// first time it measures or draws, when the process has none (the command
// line), on the "offscreen" platform, so no display is needed and a process
// that never draws text never starts Qt. The editor already has its
// application, which the rasteriser then uses.
//
// This header stays free of Qt's headers so that the layers above include it
// cheaply.
#pragma once

#include "platform/text_rasterizer.h"

namespace platform {

// Makes sure a QGuiApplication exists: when the process has no Qt
// application, creates one on the "offscreen" platform that lives until the
// process ends. False when the process runs a Qt application that is not a
// QGuiApplication (a QCoreApplication), which cannot reach fonts.
bool EnsureGuiApplication();

class QtTextRasterizer final : public TextRasterizer {
 public:
  // Measures with QFontMetrics: the width is horizontalAdvance of the line,
  // the height is ascent + descent, both in whole pixels.
  std::optional<TextExtent> MeasureLine(const FontSpec& font, std::string_view line) override;
  // Draws each line with its baseline at its top plus the font's ascent,
  // white on black; with the font's `antialias` off, Qt's bilevel glyphs
  // (QFont::NoAntialias).
  bool DrawLines(const FontSpec& font, std::span<const std::string> lines, uint8_t* pixels, int width, int height,
                 int stride) override;
};

// Installs a process-wide QtTextRasterizer as the current rasteriser (no Qt
// application is made until text is first measured or drawn).
void InstallQtTextRasterizer();

}  // namespace platform
