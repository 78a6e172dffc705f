// vividrome: the editor's window. `vividrome [FILE]` opens FILE, or starts
// with no document.
#include <QApplication>
#include <QStringList>

#include "app/main_window.h"
#include "platform/qt/qt_text_rasterizer.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setOrganizationName("Morvane");
  QApplication::setApplicationName("Vividrome");
  // Fonts for the text tool through Qt.
  platform::InstallQtTextRasterizer();
  app::MainWindow window;
  window.show();
  const QStringList arguments = QApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) window.OpenFile(arguments[i]);
  return QApplication::exec();
}
