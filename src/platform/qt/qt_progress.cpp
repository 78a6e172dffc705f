// The progress pump: processEvents with user input held back, Esc cancels.
#include "platform/qt/qt_progress.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QObject>
#include <QShortcutEvent>
#include <QThread>
#include <atomic>
#include <chrono>

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
    // A close request is refused, not just swallowed: QWidget::close()
    // takes an undelivered close event as accepted and would close the
    // widget (a child frame with its view) under the running operation.
    if (event->type() == QEvent::Close) event->ignore();
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

void InstallQtProgressPump() {
  // Row loops call the hook once per row, thousands of times a second:
  // events are dispatched at most every kPumpIntervalMs of the steady clock
  // (the first call always pumps), which keeps the window drawn and Esc
  // noticed within a frame while costing the loop one clock read per row.
  // The hook may also run on a worker thread (where PumpQtEvents does
  // nothing): the time of the last dispatch is atomic.
  SetProgressPump([] {
    using Clock = std::chrono::steady_clock;
    constexpr Clock::rep kInterval =
        std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(kPumpIntervalMs)).count();
    static std::atomic<Clock::rep> last{0};  // 0: never pumped
    const Clock::rep now = Clock::now().time_since_epoch().count();
    const Clock::rep previous = last.load(std::memory_order_relaxed);
    if (previous != 0 && now - previous < kInterval) return;
    last.store(now, std::memory_order_relaxed);
    PumpQtEvents();
  });
}

}  // namespace platform
