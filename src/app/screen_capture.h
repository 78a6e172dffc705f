// "Cap&ture Screen": the picture of the primary screen for a new document.
#pragma once

#include <memory>

class QWidget;
class CDIBitmap;

namespace app {

// Hides `window` (when given), lets events run for `delayMs` so that the
// windows below it repaint, grabs the primary screen and shows `window`
// again. The result is a 24-bit image of the grabbed pixels; where the
// platform gives none (no screen to read on the offscreen and minimal
// platforms, none for clients on Wayland, or an empty grab) it is white, of
// the screen's size. nullptr without a screen or when the image cannot be
// created.
std::unique_ptr<CDIBitmap> CaptureScreen(QWidget* window, int delayMs);

}  // namespace app
