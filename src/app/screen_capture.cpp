#include "app/screen_capture.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cstring>

#include "image/dibitmap.h"

namespace app {

namespace {

// Platforms whose screen grab holds no picture of a real screen.
bool GrabGivesNoPixels() {
  const QString name = QGuiApplication::platformName();
  return name == "offscreen" || name == "minimal" || name.startsWith("wayland");
}

}  // namespace

std::unique_ptr<CDIBitmap> CaptureScreen(QWidget* window, int delayMs) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return nullptr;
  const bool wasVisible = window && window->isVisible();
  if (wasVisible) window->hide();
  QEventLoop wait;
  QTimer::singleShot(delayMs, &wait, &QEventLoop::quit);
  wait.exec();

  QImage shot;
  if (!GrabGivesNoPixels()) shot = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_BGR888);
  if (wasVisible) window->show();

  const QSize size = shot.isNull() ? screen->geometry().size() : shot.size();
  auto image = std::make_unique<CDIBitmap>();
  if (!image->Create(size.width(), size.height(), 24, 0)) return nullptr;
  const size_t rowBytes = static_cast<size_t>(image->GetRowBytes());
  for (int y = 0; y < size.height(); ++y) {
    if (shot.isNull())
      std::memset(image->RowPointer(y), 0xFF, rowBytes);
    else
      std::memcpy(image->RowPointer(y), shot.constScanLine(y), rowBytes);
  }
  return image;
}

}  // namespace app
