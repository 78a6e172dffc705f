// The progress pump: processEvents with user input held back, Esc cancels.
#include "platform/qt/qt_progress.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QObject>
#include <QShortcutEvent>
#include <QThread>

#include "platform/progress.h"

namespace platform {
namespace {

bool IsEscape(QEvent* event) {
  if (event->type() == QEvent::KeyPress) return static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
  if (event->type() == QEvent::Shortcut)
    return static_cast<QShortcutEvent*>(event)->key() == QKeySequence(Qt::Key_Escape);
  return false;
}

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::ContextMenu:
    case QEvent::Drop:
    case QEvent::Close:
      return true;
    default:
      return false;
  }
}

class InputGate final : public QObject {
 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    // Only the press counts: its release, the shortcut override of the same
    // key and autorepeats are swallowed with the rest.
    if (IsEscape(event) && !(event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->isAutoRepeat()))
      RequestCancel();
    return IsUserInput(event->type());
  }
};

bool g_pumping = false;

}  // namespace

void PumpQtEvents() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || g_pumping || QThread::currentThread() != app->thread()) return;
  g_pumping = true;
  InputGate gate;
  app->installEventFilter(&gate);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  app->removeEventFilter(&gate);
  g_pumping = false;
}

void InstallQtProgressPump() { SetProgressPump(&PumpQtEvents); }

}  // namespace platform
