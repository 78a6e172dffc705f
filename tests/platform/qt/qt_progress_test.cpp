// The progress pump: pending events run during ProgressStep, Esc requests a
// cancel, and other user input never reaches the application meanwhile.
#include "platform/qt/qt_progress.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QObject>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/progress.h"

namespace {

class Recorder final : public QObject {
 public:
  std::vector<QEvent::Type> seen;

 protected:
  bool event(QEvent* e) override {
    seen.push_back(e->type());
    return true;
  }
};

TEST(QtProgressPump, RunsPendingEventsCancelsOnEscAndHoldsBackInput) {
  platform::ResetCancel();
  platform::InstallQtProgressPump();
  Recorder target;
  const QEvent::Type custom = static_cast<QEvent::Type>(QEvent::User + 1);
  QCoreApplication::postEvent(&target, new QEvent(custom));
  QCoreApplication::postEvent(&target, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
  QCoreApplication::postEvent(&target, new QMouseEvent(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1),
                                                       Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
  ProgressBegin(0, 100);
  EXPECT_EQ(ProgressStep(10), 1);
  EXPECT_EQ(target.seen, std::vector<QEvent::Type>{custom});
  EXPECT_EQ(platform::CancelCount(), 0);

  QCoreApplication::postEvent(&target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
  QCoreApplication::postEvent(&target, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier));
  // The installed pump dispatches at most every kPumpIntervalMs.
  std::this_thread::sleep_for(std::chrono::milliseconds(platform::kPumpIntervalMs + 5));
  EXPECT_EQ(ProgressStep(20), kProgressCancelled);
  EXPECT_EQ(platform::CancelCount(), 1);
  EXPECT_EQ(target.seen.size(), 1u);

  // Outside the pump, input flows again.
  QCoreApplication::postEvent(&target, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
  QCoreApplication::processEvents();
  EXPECT_EQ(target.seen.back(), QEvent::KeyPress);

  platform::SetProgressPump(nullptr);
  platform::ResetCancel();
}

}  // namespace
