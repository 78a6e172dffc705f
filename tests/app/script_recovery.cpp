// Record Script against the command line's replay, and crash recovery's
// copies through a session's life.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "app/image_view_widget.h"
#include "app/main_window.h"
#include "app/recovery.h"
#include "document/format_dispatch.h"
#include "document/vivid_doc.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "image/dibitmap.h"
#include "platform/messages.h"
#include "test_support.h"

namespace {

using testing_support::ShellQuote;
using testing_support::TempDir;

void SendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

void Drag(QWidget* target, std::initializer_list<QPoint> points) {
  const QPoint* p = points.begin();
  SendMouse(target, QEvent::MouseButtonPress, *p, Qt::LeftButton, Qt::LeftButton);
  for (++p; p != points.end(); ++p) SendMouse(target, QEvent::MouseMove, *p, Qt::NoButton, Qt::LeftButton);
  SendMouse(target, QEvent::MouseButtonRelease, *(points.end() - 1), Qt::LeftButton, Qt::NoButton);
}

// A picture with a different colour at every pixel of a row and column.
std::string WriteInput(const TempDir& dir, const std::string& name) {
  CDIBitmap image;
  EXPECT_TRUE(image.Create(80, 60, 24, 0));
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x)
      image.SetPixelColor(y, x, static_cast<uint32_t>((x * 3) | (y * 4) << 8 | ((x + y) * 2) << 16));
  const std::string path = dir.File(name);
  EXPECT_NE(SaveImageFile(image, path), 0);
  return path;
}

// Pixels that differ between two images of one size (-1: the sizes differ).
int Differing(const CDIBitmap& a, const CDIBitmap& b) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return -1;
  int count = 0;
  for (int y = 0; y < a.GetHeight(); ++y)
    for (int x = 0; x < a.GetWidth(); ++x) count += a.GetPixelColor(y, x) != b.GetPixelColor(y, x);
  return count;
}

class ScriptWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ToolSettings() = CToolSettings{}; }
  void TearDown() override { ToolSettings() = CToolSettings{}; }
  platform::RecordingMessageSink messages_;
};

TEST_F(ScriptWindowTest, RecordedSessionReplaysOnTheCommandLine) {
  TempDir dir;
  const std::string input = WriteInput(dir, "in.bmp");
  app::MainWindow window;
  window.show();
  ASSERT_TRUE(window.OpenFile(QString::fromStdString(input)));
  QApplication::processEvents();
  window.StartRecording();
  ASSERT_TRUE(window.Recording());
  QWidget* viewport = window.ActiveViewWidget()->viewport();
  CVividView& view = *window.ActiveView();

  window.CommandAction(32891)->trigger();  // Selection: the rectangle
  Drag(viewport, {{10, 10}, {25, 20}, {40, 30}});
  window.CommandAction(kCmdFloat)->trigger();
  window.CommandAction(32843)->trigger();  // Move Floater
  Drag(viewport, {{20, 20}, {28, 24}, {35, 28}});
  window.CommandAction(kCmdDefloat)->trigger();
  window.CommandAction(kCmdSelectNone)->trigger();
  window.CommandAction(32904)->trigger();  // Brush
  Drag(viewport, {{50, 40}, {60, 45}, {70, 50}});
  std::string error;
  view.RunEffect(*ParseOperation("invert-color", error));
  QApplication::processEvents();

  const std::string script = dir.File("session.vscript");
  ASSERT_TRUE(window.StopRecording(QString::fromStdString(script)));
  EXPECT_FALSE(window.Recording());
  // The replay saves where the test looks.
  const std::string output = dir.File("out.bmp");
  std::ofstream(script, std::ios::app) << "save " << output << "\n";
  const testing_support::CommandResult run =
      testing_support::RunCommand(ShellQuote(VIVID_CLI) + " script " + ShellQuote(script));
  ASSERT_EQ(run.exitCode, 0) << run.err;

  CDIBitmap replayed;
  ASSERT_NE(LoadImageFile(replayed, output), 0);
  const CDIBitmap& shown = view.GetImage();
  EXPECT_EQ(Differing(replayed, shown), 0);
  // The session changed the picture: the replay is not the input unchanged.
  CDIBitmap original;
  ASSERT_NE(LoadImageFile(original, input), 0);
  EXPECT_GT(Differing(original, shown), 0);
}

TEST_F(ScriptWindowTest, PlayedScriptBringsItsDocumentsIn) {
  TempDir dir;
  const std::string saved = dir.File("saved.bmp");
  std::ofstream(dir.File("play.vscript")) << "new 20 10 rgb black\nsave " << saved
                                          << "\nnew 8 6 gray white\neffect invert-color\n";
  app::MainWindow window;
  ASSERT_TRUE(window.PlayScript(QString::fromStdString(dir.File("play.vscript"))));
  ASSERT_EQ(window.DocumentCount(), 2);
  // The saved one from its file, unchanged; the other modified, black.
  const QList<QMdiSubWindow*> frames = window.Area()->subWindowList();
  ASSERT_EQ(frames.size(), 2);
  window.Area()->setActiveSubWindow(frames[0]);
  EXPECT_EQ(window.ActiveView()->GetDocument().GetPathName(), saved);
  EXPECT_FALSE(window.ActiveView()->GetDocument().IsModified());
  window.Area()->setActiveSubWindow(frames[1]);
  EXPECT_TRUE(window.ActiveView()->GetDocument().IsModified());
  EXPECT_EQ(window.ActiveView()->GetImage().GetPixelColor(3, 3), 0u);

  // A failing step: what ran before it still comes in, and it is told.
  std::ofstream(dir.File("bad.vscript")) << "new 4 4 rgb white\nopen " << dir.File("missing.bmp") << "\n";
  messages_.shown.clear();
  EXPECT_FALSE(window.PlayScript(QString::fromStdString(dir.File("bad.vscript"))));
  EXPECT_EQ(window.DocumentCount(), 3);
  ASSERT_FALSE(messages_.shown.empty());
  EXPECT_NE(messages_.shown.back().text.find("Line 2"), std::string::npos);
}

// The .bmp copies in a recovery folder.
std::vector<std::string> Copies(const std::string& folder) {
  std::vector<std::string> names;
  if (!std::filesystem::exists(folder)) return names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == ".bmp") names.push_back(entry.path().string());
  return names;
}

TEST_F(ScriptWindowTest, RecoveryCopiesFollowTheDocumentsAndComeBackAfterACrash) {
  TempDir dir;
  const std::string input = WriteInput(dir, "photo.bmp");
  const std::string folder = dir.File("recovery");
  const std::string crashed = dir.File("crashed");
  std::string error;
  {
    app::MainWindow window;
    window.show();
    window.SetSaveQuestion([](const QString&) { return app::MainWindow::SaveAnswer::No; });
    window.EnableRecovery(QString::fromStdString(folder), 3600 * 1000);
    ASSERT_TRUE(window.OpenFile(QString::fromStdString(input)));
    window.AutosaveNow();
    EXPECT_TRUE(Copies(folder).empty()) << "an unmodified document has no copy";
    window.ActiveView()->RunEffect(*ParseOperation("invert-color", error));
    window.AutosaveNow();
    const std::vector<std::string> copies = Copies(folder);
    ASSERT_EQ(copies.size(), 1u);
    CDIBitmap copy;
    ASSERT_NE(LoadImageFile(copy, copies[0]), 0);
    EXPECT_EQ(Differing(copy, window.ActiveView()->GetImage()), 0);
    // What a crash would leave: the folder as it is now.
    std::filesystem::copy(folder, crashed);
    // Closing the document (its changes dropped) removes its copy.
    window.Area()->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Copies(folder).empty());
    // A clean end leaves nothing, even with a modified document copied.
    window.NewImage();
    window.ActiveView()->RunEffect(*ParseOperation("invert-color", error));
    window.AutosaveNow();
    EXPECT_EQ(Copies(folder).size(), 1u);
  }
  EXPECT_TRUE(Copies(folder).empty());
  EXPECT_FALSE(std::filesystem::exists(folder + "/index.json"));

  // The next start offers the crashed session's copy: Yes opens it with its
  // title and pixels, modified.
  CDIBitmap inverted;
  ASSERT_NE(LoadImageFile(inverted, Copies(crashed).at(0)), 0);
  std::filesystem::copy(crashed, dir.File("declined"));
  {
    app::MainWindow window;
    window.show();
    window.EnableRecovery(QString::fromStdString(crashed), 3600 * 1000);
    messages_.answers = {platform::MsgAnswer::Yes};
    messages_.shown.clear();
    EXPECT_EQ(window.OfferRecovery(), 1);
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_NE(messages_.shown[0].text.find("Recover 1 unsaved image"), std::string::npos);
    ASSERT_EQ(window.DocumentCount(), 1);
    const CVividDoc& doc = window.ActiveView()->GetDocument();
    EXPECT_EQ(doc.GetTitle(), "photo.bmp");
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(Differing(window.ActiveView()->GetImage(), inverted), 0);
    // Now a copy of this session only.
    EXPECT_EQ(Copies(crashed).size(), 1u);
    EXPECT_EQ(window.OfferRecovery(), 0);
    window.SetSaveQuestion([](const QString&) { return app::MainWindow::SaveAnswer::No; });
  }
  // No deletes the copies and opens nothing.
  {
    app::MainWindow window;
    window.EnableRecovery(QString::fromStdString(dir.File("declined")), 3600 * 1000);
    messages_.answers = {platform::MsgAnswer::No};
    EXPECT_EQ(window.OfferRecovery(), 0);
    EXPECT_EQ(window.DocumentCount(), 0);
    EXPECT_TRUE(Copies(dir.File("declined")).empty());
  }
}

}  // namespace
