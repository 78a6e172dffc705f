// The text rasteriser over Qt (QFont, QFontMetrics, QPainter on a gray
// QImage) and the lazily made application that Qt's fonts need.
#include "platform/qt/qt_text_rasterizer.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QMessageLogContext>
#include <QPainter>
#include <QString>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

namespace platform {
namespace {

// The application made here lives until the process ends: destroying it
// during static destruction would race Qt's own global teardown.
QGuiApplication* g_ownApplication = nullptr;

// Qt's own notices (a missing runtime folder, plugin remarks) would mix into
// the command line's output; only critical and fatal ones pass on.
QtMessageHandler g_defaultHandler = nullptr;
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtCriticalMsg && type != QtFatalMsg) return;
  if (g_defaultHandler)
    g_defaultHandler(type, context, text);
  else
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

QFont MakeFont(const FontSpec& spec) {
  QFont font(QString::fromStdString(spec.family));
  font.setPixelSize(spec.PixelSize());
  font.setBold(spec.bold);
  font.setItalic(spec.italic);
  font.setUnderline(spec.underline);
  // Without anti-aliasing the glyphs are rendered bilevel by the font
  // engine itself (hinted outlines, whole-pixel underline), which keeps thin
  // strokes that a cut of smooth coverage would break up.
  if (!spec.antialias) font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

bool Ready(const FontSpec& spec) { return spec.PixelSize() > 0 && EnsureGuiApplication(); }

}  // namespace

bool EnsureGuiApplication() {
  if (QCoreApplication* app = QCoreApplication::instance()) return qobject_cast<QGuiApplication*>(app) != nullptr;
  // "-platform offscreen" on the command line wins over QT_QPA_PLATFORM, so
  // a display in the environment is never contacted. Qt keeps argc and argv
  // for the application's life.
  static int argc = 3;
  static char name[] = "vividrome";
  static char option[] = "-platform";
  static char platformName[] = "offscreen";
  static char* argv[] = {name, option, platformName, nullptr};
  g_defaultHandler = qInstallMessageHandler(QuietHandler);
  // Qt's application takes the environment's C locale; the process keeps
  // the one it had, so numbers read and written later do not change form.
  const std::string locale = std::setlocale(LC_ALL, nullptr);
  g_ownApplication = new QGuiApplication(argc, argv);
  std::setlocale(LC_ALL, locale.c_str());
  return true;
}

std::optional<TextExtent> QtTextRasterizer::MeasureLine(const FontSpec& spec, std::string_view line) {
  if (!Ready(spec)) return std::nullopt;
  const QFontMetrics metrics(MakeFont(spec));
  const QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
  return TextExtent{metrics.horizontalAdvance(text), metrics.ascent() + metrics.descent()};
}

bool QtTextRasterizer::DrawLines(const FontSpec& spec, std::span<const std::string> lines, uint8_t* pixels, int width,
                                 int height, int stride) {
  if (width < 1 || height < 1 || stride < width || !pixels || !Ready(spec)) return false;
  for (int y = 0; y < height; ++y) std::memset(pixels + static_cast<size_t>(y) * stride, 0, width);
  QImage image(pixels, width, height, stride, QImage::Format_Grayscale8);
  const QFont font = MakeFont(spec);
  const QFontMetrics metrics(font);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::TextAntialiasing, spec.antialias);
  painter.setFont(font);
  painter.setPen(QColor(255, 255, 255));
  const int lineHeight = metrics.ascent() + metrics.descent();
  int top = 0;
  for (const std::string& line : lines) {
    if (top >= height) break;
    painter.drawText(QPoint(0, top + metrics.ascent()), QString::fromStdString(line));
    top += lineHeight;
  }
  painter.end();
  return true;
}

void InstallQtTextRasterizer() {
  static QtTextRasterizer rasterizer;
  SetTextRasterizer(&rasterizer);
}

}  // namespace platform
