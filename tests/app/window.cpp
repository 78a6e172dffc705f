// The editor's window against its controller: events reach CVividView,
// menus follow the command states, and the view paints the controller's
// picture.
#include <QAction>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QApplication>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <cstring>
#include <gtest/gtest.h>

#include "app/argument_dialogs.h"
#include "app/image_view_widget.h"
#include "app/main_window.h"
#include "document/vivid_doc.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "platform/settings.h"
#include "test_support.h"

namespace {

void SendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

void Drag(QWidget* target, QPoint from, QPoint to) {
  SendMouse(target, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  SendMouse(target, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
  SendMouse(target, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  SendMouse(target, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

// Sizes the active frame so that its viewport is `client` (before scroll
// bars take their share).
void SetViewportSize(app::ImageViewWidget* widget, QSize client) {
  QWidget* frame = widget->parentWidget();
  frame->resize(frame->size() + client - widget->viewport()->size());
  QCoreApplication::sendPostedEvents();
  QApplication::processEvents();
}

struct Window {
  app::MainWindow window;
  Window() {
    window.show();
    QApplication::processEvents();
  }
  app::ImageViewWidget* Widget() const { return window.ActiveViewWidget(); }
  CVividView* View() const { return window.ActiveView(); }
};

// Image point of a view point by the view's rule: the offset from the
// displayed image's top-left corner (minus the scroll position) scaled by
// image size / displayed size, plus 0.5, truncated.
int ToImage(int viewCoordinate, int scroll, int imageSize, int displayedSize) {
  return static_cast<int>((viewCoordinate + scroll) * static_cast<double>(imageSize) / displayedSize + 0.5);
}

TEST(AppWindow, RectangleDragSelectsTheBoxUnderThePointer) {
  struct Case {
    const char* name;
    int zoomN, zoomD;
    QPoint scroll;
    QPoint press, release;
  };
  const Case cases[] = {
      {"1:1", 1, 1, {0, 0}, {10, 12}, {60, 45}},
      {"2:1 scrolled", 2, 1, {30, 40}, {10, 10}, {70, 50}},
      {"2:1 dragged up-left", 2, 1, {17, 9}, {90, 80}, {21, 33}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    w.window.NewImage();
    ASSERT_NE(w.View(), nullptr);
    ToolSettings().SelectTool(ViewTool::Rectangle);
    w.View()->OnToolChanged();
    // A zoom may ask for a window size of its own; the frame is sized after it.
    ASSERT_TRUE(w.View()->SetZoom({c.zoomN, c.zoomD}));
    w.Widget()->SyncFromView();
    SetViewportSize(w.Widget(), {150, 150});
    // Scrolling through the scroll bars moves the controller.
    w.Widget()->horizontalScrollBar()->setValue(c.scroll.x());
    w.Widget()->verticalScrollBar()->setValue(c.scroll.y());
    ASSERT_EQ(w.View()->Scroll(), (platform::Point{c.scroll.x(), c.scroll.y()}));
    // The controller's client size is the viewport's.
    EXPECT_EQ(w.View()->ClientWidth(), w.Widget()->viewport()->width());
    EXPECT_EQ(w.View()->ClientHeight(), w.Widget()->viewport()->height());

    Drag(w.Widget()->viewport(), c.press, c.release);

    const int displayed = 100 * c.zoomN / c.zoomD;
    const int x0 = ToImage(c.press.x(), c.scroll.x(), 100, displayed);
    const int y0 = ToImage(c.press.y(), c.scroll.y(), 100, displayed);
    const int x1 = ToImage(c.release.x(), c.scroll.x(), 100, displayed);
    const int y1 = ToImage(c.release.y(), c.scroll.y(), 100, displayed);
    const CVividDoc& doc = w.View()->GetDocument();
    ASSERT_TRUE(doc.HasSelection());
    const platform::Rect box = doc.SelectionBox();
    EXPECT_EQ(box.left, std::min(x0, x1));
    EXPECT_EQ(box.top, std::min(y0, y1));
    EXPECT_EQ(box.right, std::max(x0, x1));
    EXPECT_EQ(box.bottom, std::max(y0, y1));
  }
}

TEST(AppWindow, MenuStatesFollowTheActiveView) {
  Window w;
  // Without a view every view command is disabled.
  w.window.RefreshCommands();
  for (const CommandDef& def : ViewCommands()) {
    SCOPED_TRACE(std::string(def.scriptName));
    ASSERT_NE(w.window.CommandAction(def.id), nullptr);
    EXPECT_FALSE(w.window.CommandAction(def.id)->isEnabled());
  }

  w.window.NewImage();
  struct Step {
    const char* name;
    ViewCommand run;  // 0: nothing, the state right after New Image
    bool floatOn, defloatOn, copyOn, noneOn;
  };
  const Step steps[] = {
      {"new image", ViewCommand(0), false, false, false, false},
      {"select all", kCmdSelectAll, true, false, true, true},
      {"float", kCmdFloat, false, true, true, true},
      {"defloat", kCmdDefloat, true, false, true, true},
      {"select none", kCmdSelectNone, false, false, false, false},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    if (s.run != 0) {
      QAction* action = w.window.CommandAction(s.run);
      ASSERT_TRUE(action->isEnabled());
      action->trigger();
    }
    w.window.RefreshCommands();
    EXPECT_EQ(w.window.CommandAction(kCmdFloat)->isEnabled(), s.floatOn);
    EXPECT_EQ(w.window.CommandAction(kCmdDefloat)->isEnabled(), s.defloatOn);
    EXPECT_EQ(w.window.CommandAction(kCmdCopy)->isEnabled(), s.copyOn);
    EXPECT_EQ(w.window.CommandAction(kCmdSelectNone)->isEnabled(), s.noneOn);
  }
}

TEST(AppWindow, ToolButtonsSelectTheToolAndShowIt) {
  Window w;
  w.window.NewImage();
  const struct {
    int id;
    ViewTool tool;
  } tools[] = {{32900, ViewTool::Pen}, {32894, ViewTool::MagicWand}, {32891, ViewTool::Rectangle}};
  for (const auto& t : tools) {
    w.window.CommandAction(t.id)->trigger();
    EXPECT_EQ(ToolSettings().ActiveTool(), t.tool) << t.id;
    for (const ToolCommandDef& def : ToolCommands())
      EXPECT_EQ(w.window.CommandAction(def.id)->isChecked(), def.id == t.id) << def.id;
  }
}

TEST(AppWindow, PaintShowsTheControllersPicture) {
  Window w;
  ASSERT_TRUE(w.window.OpenFile(QString::fromStdString(testing_support::DataPath("png/im_rgb8_default.png"))));
  CVividView& view = *w.View();
  SetViewportSize(w.Widget(), {90, 70});
  ASSERT_TRUE(view.SetZoom({4, 1}));
  ASSERT_EQ(view.RunCommand(kCmdSelectAll, {}), 1);
  w.Widget()->SyncFromView();
  const QImage shown = w.Widget()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB888);

  RgbImage expected;
  view.Render(expected);
  ASSERT_EQ(shown.width(), expected.width);
  ASSERT_EQ(shown.height(), expected.height);
  int differing = 0;
  for (int y = 0; y < expected.height; ++y)
    differing += std::memcmp(shown.constScanLine(y), expected.Row(y), static_cast<size_t>(expected.width) * 3) != 0;
  EXPECT_EQ(differing, 0) << "rows differing from the controller's picture";
}

TEST(AppWindow, FittingTheWindowToALargeImageStaysInsideTheArea) {
  Window w;
  auto image = std::make_unique<CDIBitmap>();
  ASSERT_TRUE(image->Create(3000, 2000, 24, 0));
  w.window.AddImageDocument(std::move(image), "large");
  QApplication::processEvents();
  ASSERT_EQ(w.View()->RunCommand(kCmdFitToImage, {}), 1);
  w.Widget()->SyncFromView();
  QApplication::processEvents();
  const QRect room = w.window.Area()->viewport()->rect();
  const QRect frame = w.window.Area()->activeSubWindow()->geometry();
  EXPECT_TRUE(room.contains(frame)) << "frame " << frame.width() << "x" << frame.height() << " in an area of "
                                    << room.width() << "x" << room.height();
  EXPECT_GT(w.Widget()->horizontalScrollBar()->maximum(), 0);

  // A picture that fits the area, in a frame near its bottom-right corner:
  // the frame moves up and left and shows the picture whole.
  auto small = std::make_unique<CDIBitmap>();
  ASSERT_TRUE(small->Create(300, 200, 24, 0));
  w.window.AddImageDocument(std::move(small), "small");
  QMdiSubWindow* frameOfSmall = w.window.Area()->activeSubWindow();
  frameOfSmall->move(room.width() - 120, room.height() - 90);
  ASSERT_EQ(w.View()->RunCommand(kCmdFitToImage, {}), 1);
  w.Widget()->SyncFromView();
  QApplication::processEvents();
  EXPECT_TRUE(room.contains(frameOfSmall->geometry()));
  EXPECT_EQ(w.Widget()->horizontalScrollBar()->maximum(), 0);
  EXPECT_EQ(w.Widget()->verticalScrollBar()->maximum(), 0);
}

TEST(AppWindow, DroppedFilesOpenAndControlBarsComeBack) {
  platform::MemorySettings settings;
  {
    Window w;
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(QString::fromStdString(testing_support::DataPath("png/im_rgb8_default.png"))),
                   QUrl("https://example.org/remote.png")});
    QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w.window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(200, 200), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w.window, &drop);
    EXPECT_EQ(w.window.DocumentCount(), 1);  // the local file; the remote one is not a file
    delete data;

    auto* histogram = w.window.findChild<QDockWidget*>("Histogram");
    ASSERT_NE(histogram, nullptr);
    histogram->hide();
    w.window.SaveControlBars(settings);
  }
  Window again;
  auto* histogram = again.window.findChild<QDockWidget*>("Histogram");
  ASSERT_TRUE(histogram->isVisible());
  again.window.RestoreControlBars(settings);
  EXPECT_FALSE(histogram->isVisible());
}

TEST(AppWindow, AModifiedDocumentIsAskedAboutWhenItsLastViewCloses) {
  Window w;
  std::vector<QString> asked;
  app::MainWindow::SaveAnswer answer = app::MainWindow::SaveAnswer::Cancel;
  w.window.SetSaveQuestion([&](const QString& title) {
    asked.push_back(title);
    return answer;
  });
  auto closeFirst = [&] {
    w.window.Area()->subWindowList().front()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  };
  w.window.NewImage();
  w.window.NewWindow();
  ASSERT_EQ(w.window.Area()->subWindowList().size(), 2);
  EXPECT_EQ(w.window.DocumentCount(), 1);
  // An edit through the second view modifies the one document.
  ASSERT_EQ(w.View()->RunCommand(kCmdSelectAll, {}), 1);
  ASSERT_TRUE(w.View()->GetDocument().IsModified());
  const QString title = QString::fromStdString(w.View()->GetDocument().GetTitle());

  // Another view remains: no question.
  closeFirst();
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(w.window.Area()->subWindowList().size(), 1);
  // The last view asks; Cancel keeps it open.
  closeFirst();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], title);
  EXPECT_EQ(w.window.Area()->subWindowList().size(), 1);
  EXPECT_EQ(w.window.DocumentCount(), 1);
  // No drops the changes and the document.
  answer = app::MainWindow::SaveAnswer::No;
  closeFirst();
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(w.window.Area()->subWindowList().size(), 0);
  EXPECT_EQ(w.window.DocumentCount(), 0);
}

TEST(AppWindow, ArgumentLineStartsFromTheDefaults) {
  CDIBitmap image;
  ASSERT_TRUE(image.Create(37, 21, 24, 0));
  const struct {
    ViewCommand id;
    const char* line;
  } cases[] = {
      {kCmdResize, "37,21"},         // the image's size
      {kCmdShear, ",horizontal"},    // no default angle, the first direction
      {kCmdSelectBorder, ""},        // no default size
      {kCmdLoadSelection, ""},       // the file name comes from a file dialog
  };
  for (const auto& c : cases) {
    const CommandDef* def = FindCommand(c.id);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(app::DefaultArgumentLine(def->params, &image), c.line) << def->scriptName;
  }
}

}  // namespace
