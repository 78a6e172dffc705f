// vividrome: the editor's window. `vividrome [FILE]` opens FILE, or starts
// with no document.
#include <QApplication>
#include <QStringList>

#include "app/main_window.h"
#include "platform/clipboard.h"
#include "platform/messages.h"
#include "platform/prompts.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_messages.h"
#include "platform/qt/qt_progress.h"
#include "platform/qt/qt_prompts.h"
#include "platform/qt/qt_text_rasterizer.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setOrganizationName("Morvane");
  QApplication::setApplicationName("Vividrome");
  QApplication::setApplicationDisplayName("Vividrome");
  // The platform services through Qt: message boxes, the file and option
  // dialogs, the desktop's clipboard, events pumped while long operations
  // report progress, and fonts for the text tool.
  static platform::QtMessageSink messages;
  platform::SetMessageSink(&messages);
  static platform::QtPrompts prompts;
  platform::SetPrompts(&prompts);
  static platform::QtClipboard clipboard;
  platform::SetClipboard(&clipboard);
  platform::InstallQtProgressPump();
  platform::InstallQtTextRasterizer();
  app::MainWindow window;
  window.show();
  const QStringList arguments = QApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) window.OpenFile(arguments[i]);
  const int status = QApplication::exec();
  platform::SetClipboard(nullptr);
  platform::SetPrompts(nullptr);
  platform::SetMessageSink(nullptr);
  return status;
}
