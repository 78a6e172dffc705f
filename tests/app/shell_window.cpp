// The shell around the window: forwarded commands through the instance
// socket, recent files, placement, the size pane and the file-type
// registration files.
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

#include "app/app_settings.h"
#include "app/file_types.h"
#include "app/main_window.h"
#include "app/shell_print.h"
#include "app/single_instance.h"
#include "document/vivid_doc.h"
#include "test_support.h"

namespace {

using testing_support::TempDir;

// Pumps events until `done` or five seconds pass.
template <typename Done>
bool PumpUntil(Done done) {
  QDeadlineTimer deadline(5000);
  while (!done() && !deadline.hasExpired()) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

std::string WritePng(const TempDir& dir, const std::string& name, int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  image.fill(QColor(10, 200, 30));
  const std::string path = dir.File(name);
  EXPECT_TRUE(image.save(QString::fromStdString(path), "PNG"));
  return path;
}

std::string ReadText(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string("<missing>");
}

QStringList FileMenuTexts(app::MainWindow& window) {
  QStringList texts;
  for (QAction* menu : window.menuBar()->actions())
    if (menu->text() == "&File")
      for (QAction* action : menu->menu()->actions())
        if (action->isVisible() && !action->isSeparator()) texts << action->text();
  return texts;
}

TEST(ShellInstance, ASecondInstanceDeliversItsStringToTheFirst) {
  TempDir dir;
  const QString name = QString::fromStdString(dir.File("instance.socket"));
  // What a dead instance leaves behind: the socket path already taken.
  QFile stale(name);
  ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
  stale.close();

  app::SingleInstance first(name);
  ASSERT_EQ(first.Claim(QString()), app::SingleInstance::Role::First) << first.ErrorText().toStdString();
  struct stat st {};
  ASSERT_EQ(stat(name.toLocal8Bit().constData(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 077, 0u) << "the socket must be its owner's only";

  QStringList received;
  first.SetHandler([&](const QString& text) { received << text; });
  // The second instance blocks until the first answers, so it runs on a
  // thread while this one serves the socket.
  const QString message = QString::fromUtf8("[open(\"/tmp/\xc3\xa9t\xc3\xa9 \"\"q\"\".png\")]");
  for (const QString& text : {message, QString()}) {
    std::atomic<int> role{-1};
    std::thread second([&] {
      app::SingleInstance other(name);
      role = static_cast<int>(other.Claim(text, 5000));
    });
    EXPECT_TRUE(PumpUntil([&] { return role >= 0; }));
    second.join();
    EXPECT_EQ(role, static_cast<int>(app::SingleInstance::Role::Second));
  }
  PumpUntil([&] { return !received.isEmpty(); });
  QApplication::processEvents();
  // The empty start only knocked: nothing was handed over for it.
  EXPECT_EQ(received, QStringList{message});
}

TEST(ShellInstance, NobodyListeningMeansNoDelivery) {
  TempDir dir;
  app::SingleInstance alone(QString::fromStdString(dir.File("none.socket")));
  EXPECT_FALSE(alone.Send("[open(\"/a\")]", 200));
}

TEST(ShellWindow, ForwardedStringsOpenAndPrint) {
  TempDir dir;
  const std::string a = WritePng(dir, "a \"1\".png", 12, 10);
  app::MainWindow window;
  window.show();
  std::vector<std::pair<std::string, std::string>> printed;
  window.SetShellPrinter([&](const std::string& file, const std::string& printer) {
    printed.emplace_back(file, printer);
    return app::ShellPrintOutcome{true, ""};
  });
  const QString open = QString::fromStdString("[open(\"" + std::string(dir.File("a \"\"1\"\".png")) + "\")]");
  EXPECT_TRUE(window.ExecuteShellCommand(open));
  EXPECT_EQ(window.DocumentCount(), 1);
  EXPECT_TRUE(window.ExecuteShellCommand("[print(\"/x.png\")] [printto(\"/y.png\",\"Office\",\"drv\",\"usb\")]"));
  EXPECT_EQ(printed, (std::vector<std::pair<std::string, std::string>>{{"/x.png", ""}, {"/y.png", "Office"}}));
  for (const char* bad : {"", "[open(\"", "[open(\"/a\")", "[format(\"/\")]"}) EXPECT_FALSE(window.ExecuteShellCommand(bad));
  EXPECT_EQ(window.DocumentCount(), 1);
  EXPECT_EQ(printed.size(), 2u);
}

TEST(ShellWindow, SizePaneOfTheActiveImage) {
  TempDir dir;
  app::MainWindow window;
  window.show();
  EXPECT_EQ(window.SizePaneText(), "");
  // 24-bit rows are padded to four bytes: 10 pixels take 32 bytes, x 10 rows.
  ASSERT_TRUE(window.OpenFile(QString::fromStdString(WritePng(dir, "s.png", 10, 10))));
  EXPECT_EQ(window.SizePaneText().toStdString(), "10 x 10 - 320.000000 Bytes");
  // 500 pixels: 1500 bytes a row, x 400 = 600000 bytes = 585.9375 KBytes.
  ASSERT_TRUE(window.OpenFile(QString::fromStdString(WritePng(dir, "k.png", 500, 400))));
  EXPECT_EQ(window.SizePaneText().toStdString(), "500 x 400 - 585.94 KBytes");
  // 700 x 600: 1260000 bytes = 1.2016 MBytes.
  ASSERT_TRUE(window.OpenFile(QString::fromStdString(WritePng(dir, "m.png", 700, 600))));
  EXPECT_EQ(window.SizePaneText().toStdString(), "700 x 600 -  1.20 MBytes");
  EXPECT_EQ(window.statusBar()->currentMessage(), "Ready !");
}

TEST(ShellWindow, RecentFilesFollowOpensAndDropFilesThatAreGone) {
  TempDir dir;
  const std::string a = WritePng(dir, "a&b.png", 4, 4);
  const std::string b = WritePng(dir, "b.png", 4, 4);
  platform::MemorySettings settings;
  settings.SetString("Recent File List", "File1", "/old/one.png");
  app::MainWindow window;
  window.SetRecentFileSettings(&settings);
  EXPECT_EQ(window.RecentFiles(), QStringList() << "/old/one.png");
  ASSERT_TRUE(window.OpenFile(QString::fromStdString(a)));
  ASSERT_TRUE(window.OpenFile(QString::fromStdString(b)));
  const QStringList expected = {QString::fromStdString(b), QString::fromStdString(a), "/old/one.png"};
  EXPECT_EQ(window.RecentFiles(), expected);
  EXPECT_EQ(settings.GetString("Recent File List", "File2", ""), a);
  EXPECT_EQ(CVividDoc::GetLastDirectory(), dir.Path().string());
  const QStringList menu = FileMenuTexts(window);
  const qsizetype first = menu.indexOf("&1 " + QString::fromStdString(b));
  ASSERT_GE(first, 0) << menu.join(" | ").toStdString();
  EXPECT_EQ(menu.mid(first, 4), (QStringList{"&1 " + QString::fromStdString(b),
                                             "&2 " + QString::fromStdString(dir.File("a&&b.png")),
                                             "&3 /old/one.png", "E&xit"}));

  // Opening the oldest again moves it to the front...
  EXPECT_TRUE(window.OpenRecentFile(1));
  EXPECT_EQ(window.RecentFiles().front(), QString::fromStdString(a));
  // ...and one that no longer opens leaves the list and the settings.
  EXPECT_FALSE(window.OpenRecentFile(2));
  EXPECT_EQ(window.RecentFiles(), (QStringList{QString::fromStdString(a), QString::fromStdString(b)}));
  EXPECT_FALSE(settings.HasKey("Recent File List", "File3"));
  window.SetRecentFileSettings(nullptr);
}

TEST(ShellWindow, PlacementComesBackAndOffScreenIsIgnored) {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  {
    app::MainWindow window;
    const app::WindowPlacement stored{0, app::kShowNormal, -1, -1, -1, -1, 40, 30, 40 + 700, 30 + 500};
    window.ApplyPlacement(stored);
    window.show();
    PumpUntil([&] { return window.isVisible(); });
    EXPECT_EQ(window.CurrentPlacement(), stored);
    EXPECT_EQ(app::FormatWindowPlacement(window.CurrentPlacement()), "0,1,-1,-1,-1,-1,40,30,740,530");
  }
  {
    app::MainWindow window;
    const QRect before = window.geometry();
    window.ApplyPlacement({0, app::kShowNormal, -1, -1, -1, -1, screen.right() + 100, 0, screen.right() + 900, 600});
    EXPECT_EQ(window.geometry(), before);
  }
  {
    app::MainWindow window;
    window.ApplyPlacement({0, app::kShowMaximized, -1, -1, -1, -1, 10, 20, 610, 420});
    window.show();
    PumpUntil([&] { return window.isMaximized(); });
    const app::WindowPlacement current = window.CurrentPlacement();
    EXPECT_EQ(current.showCommand, app::kShowMaximized);
    EXPECT_EQ(current.left, 10);
    EXPECT_EQ(current.bottom, 420);
  }
}

TEST(ShellFileTypes, DesktopEntryAndMimePackage) {
  TempDir dir;
  const QString data = QString::fromStdString(dir.Path().string());
  // '$' is escaped inside the quotes and the backslash then doubled by the
  // value escapes; '%' is doubled.
  const QString executable = "/opt/My Apps/$x/vivid%rome";
  const app::RegistrationResult result = app::RegisterFileTypes(data, executable);
  EXPECT_EQ(result.error.toStdString(), "");
  EXPECT_EQ(result.filesWritten, 2);
  const std::string desktop = ReadText(data + "/applications/com.morvane.Vividrome.desktop");
  EXPECT_NE(desktop.find("\nExec=\"/opt/My Apps/\\\\$x/vivid%%rome\" %F\n"), std::string::npos) << desktop;
  EXPECT_NE(desktop.find("\nExec=\"/opt/My Apps/\\\\$x/vivid%%rome\" /pt %f \"\" \"\" \"\"\n"), std::string::npos);
  EXPECT_NE(desktop.find("\nActions=printto;\n"), std::string::npos);
  EXPECT_NE(desktop.find("\n[Desktop Action printto]\n"), std::string::npos);
  for (const char* type : {"image/jpeg;", "image/png;", "image/tiff;", "image/bmp;", "image/x-pcx;", "image/x-tga;",
                           "image/x-photo-cd;", "application/x-vividrome-document;", "image/x-cmp;"})
    EXPECT_NE(desktop.find(type), std::string::npos) << type;

  // The second run finds everything in place and writes nothing.
  EXPECT_EQ(app::RegisterFileTypes(data, executable).filesWritten, 0);

  // The desktop's own tool reads the package: its glob table maps every
  // extension to the type, and its per-type file keeps the comment.
  if (QFile::exists("/usr/bin/update-mime-database")) {
    const std::string globs = ReadText(data + "/mime/globs2");
    for (const char* line : {":image/jpeg:*.jpg", ":image/png:*.png", ":image/tiff:*.tif", ":image/x-cmp:*.cmp",
                             ":application/x-vividrome-document:*.vvd"})
      EXPECT_NE(globs.find(line), std::string::npos) << line << "\n" << globs;
    struct Row {
      const char* file;
      const char* comment;
    };
    for (const Row& row : {Row{"/mime/image/jpeg.xml", "JPEG Image"}, Row{"/mime/image/png.xml", "PNG Image"},
                           Row{"/mime/image/tiff.xml", "TIFF Image"}, Row{"/mime/image/x-cmp.xml", "LeadTools Image"},
                           Row{"/mime/application/x-vividrome-document.xml", "Vividrome Document"}})
      EXPECT_NE(ReadText(data + row.file).find(std::string("<comment>") + row.comment + "</comment>"),
                std::string::npos)
          << row.file;
  }
}

}  // namespace
