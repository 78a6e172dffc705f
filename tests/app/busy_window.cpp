// The window while a long effect runs: events are pumped, but the window,
// its frames, Close and Exit refuse to close; Esc cancels; an execute
// string waits for the edit's end.
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

#include "app/image_view_widget.h"
#include "app/main_window.h"
#include "document/vivid_doc.h"
#include "editing/vivid_view.h"
#include "image/result_codes.h"
#include "platform/progress.h"
#include "platform/qt/qt_progress.h"
#include "test_support.h"
#include "editing_support.h"

namespace {

using testing_support::Op;
using testing_support::PixelBytes;

QAction* FileAction(app::MainWindow& window, const QString& text) {
  for (QAction* menu : window.menuBar()->actions())
    if (menu->text() == "&File")
      for (QAction* action : menu->menu()->actions())
        if (action->text() == text) return action;
  return nullptr;
}

// A window with one modified 24-bit document of width x height, whose
// closing question answers No (so a close that gets through closes).
struct BusyWindow {
  app::MainWindow window;
  explicit BusyWindow(int width, int height) {
    auto image = std::make_unique<CDIBitmap>();
    image->Create(width, height, 24, 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < 3 * width; ++x) image->RowPointer(y)[x] = static_cast<uint8_t>(x * 7 + y * 3);
    window.AddImageDocument(std::move(image), "busy");
    window.SetSaveQuestion([](const QString&) { return app::MainWindow::SaveAnswer::No; });
    window.show();
    QApplication::processEvents();
  }
  ~BusyWindow() { platform::SetProgressPump(nullptr); }
  CVividView& View() { return *window.ActiveView(); }
  CDIBitmap& Image() { return View().GetImage(); }
};

// Every way of closing, tried while an invert runs (from inside the
// progress pump): the window and its frame stay, Close and Exit are off
// meanwhile and on again afterwards, and the invert completes
// (each byte 255 - v).
TEST(BusyWindow, CloseIsRefusedWhileALongEffectRuns) {
  struct Case {
    const char* label;
    bool realPump;  // run the attempt inside Qt's pump (its input gate)
    std::function<void(app::MainWindow&)> attempt;
  } cases[] = {
      {"close() from a timer", true, [](app::MainWindow& w) { EXPECT_FALSE(w.close()); }},
      {"the frame's close() from a timer", true,
       [](app::MainWindow& w) { EXPECT_FALSE(w.Area()->activeSubWindow()->close()); }},
      {"a posted close event", true,
       [](app::MainWindow& w) { QCoreApplication::postEvent(&w, new QCloseEvent); }},
      {"close() from the hook", false, [](app::MainWindow& w) { EXPECT_FALSE(w.close()); }},
      {"the frame's close()", false,
       [](app::MainWindow& w) { EXPECT_FALSE(w.Area()->activeSubWindow()->close()); }},
      {"File > Exit", false, [](app::MainWindow& w) { FileAction(w, "E&xit")->trigger(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    BusyWindow busy(64, 600);
    app::MainWindow& window = busy.window;
    QAction* closeAction = FileAction(window, "&Close");
    QAction* exitAction = FileAction(window, "E&xit");
    ASSERT_TRUE(closeAction && exitAction);
    ASSERT_TRUE(closeAction->isEnabled());
    const std::vector<uint8_t> before = PixelBytes(busy.Image());

    bool attempted = false, offMeanwhile = true;
    const auto attempt = [&] {
      if (attempted) return;
      attempted = true;
      offMeanwhile = !closeAction->isEnabled() && !exitAction->isEnabled();
      c.attempt(window);
    };
    if (c.realPump) {
      QTimer::singleShot(0, &window, attempt);
      platform::SetProgressPump([] { platform::PumpQtEvents(); });
    } else {
      platform::SetProgressPump(attempt);
    }
    EXPECT_EQ(busy.View().RunEffect(Op("invert-color")), 1);
    platform::SetProgressPump(nullptr);
    QApplication::processEvents();

    EXPECT_TRUE(attempted);
    EXPECT_TRUE(offMeanwhile);
    EXPECT_TRUE(window.isVisible());
    ASSERT_EQ(window.DocumentCount(), 1);
    EXPECT_TRUE(closeAction->isEnabled());
    EXPECT_TRUE(exitAction->isEnabled());
    std::vector<uint8_t> inverted = before;
    for (uint8_t& v : inverted) v = static_cast<uint8_t>(255 - v);
    EXPECT_TRUE(PixelBytes(busy.Image()) == inverted);
  }
}

// Esc pressed on the view while a blur runs, through the pump main()
// installs: the blur ends cancelled, the image is as it was, the status
// line is back to "Ready !" and the window may close again.
TEST(BusyWindow, EscCancelsThroughTheInstalledPump) {
  BusyWindow busy(64, 600);
  const std::vector<uint8_t> before = PixelBytes(busy.Image());
  platform::InstallQtProgressPump();
  // The pump dispatches at most every 20 ms: let that much pass so that the
  // first report of the blur pumps.
  std::this_thread::sleep_for(std::chrono::milliseconds(25));
  app::ImageViewWidget* widget = busy.window.ActiveViewWidget();
  QCoreApplication::postEvent(widget, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
  EXPECT_EQ(busy.View().RunEffect(Op("blur")), kResultCancelled);
  platform::SetProgressPump(nullptr);
  EXPECT_TRUE(PixelBytes(busy.Image()) == before);
  EXPECT_FALSE(busy.View().GetCommandState(kCmdUndo).enabled);
  EXPECT_EQ(busy.window.statusBar()->currentMessage(), "Ready !");
  EXPECT_TRUE(FileAction(busy.window, "&Close")->isEnabled());
  platform::ResetCancel();
}

// An execute string a second instance forwards during the edit waits for
// its end, then opens its file.
TEST(BusyWindow, ForwardedCommandsWaitForTheEditToEnd) {
  testing_support::TempDir dir;
  const QString path = QString::fromStdString(dir.File("forwarded.png"));
  QImage picture(8, 6, QImage::Format_RGB888);
  picture.fill(Qt::red);
  ASSERT_TRUE(picture.save(path, "PNG"));
  BusyWindow busy(64, 600);
  int documentsDuringEdit = -1;
  platform::SetProgressPump([&] {
    if (documentsDuringEdit >= 0) return;
    EXPECT_TRUE(busy.window.ExecuteShellCommand(QString("[open(\"%1\")]").arg(path)));
    documentsDuringEdit = busy.window.DocumentCount();
  });
  ASSERT_EQ(busy.View().RunEffect(Op("invert-color")), 1);
  platform::SetProgressPump(nullptr);
  EXPECT_EQ(documentsDuringEdit, 1);
  QApplication::processEvents();
  EXPECT_EQ(busy.window.DocumentCount(), 2);
}

}  // namespace
