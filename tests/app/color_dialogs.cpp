// The curve editor, the Curves and Levels dialogs with their preview, the
// curve files through the dialogs, and the Color Management dialog's stored
// settings. Expected tables come from the straight-segment rule and the
// levels rule computed here.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>
#include <memory>
#include <vector>

#include "app/app_settings.h"
#include "app/cmyk_setup_dialog.h"
#include "app/color_management_dialog.h"
#include "app/curve_editor.h"
#include "app/curves_dialog.h"
#include "color/color_settings.h"
#include "editing/display_color.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "platform/messages.h"
#include "platform/prompts.h"
#include "platform/settings.h"
#include "print/separation.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using Table = std::array<int, 256>;
struct Point {
  int input, output;
};

void Mouse(QWidget* w, QEvent::Type type, QPoint at) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton, held, Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}

// A press at `from`, moves through `path`, a release at the last point.
void Drag(QWidget* w, QPoint from, const std::vector<QPoint>& path) {
  Mouse(w, QEvent::MouseButtonPress, from);
  for (const QPoint& p : path) Mouse(w, QEvent::MouseMove, p);
  Mouse(w, QEvent::MouseButtonRelease, path.empty() ? from : path.back());
}

QPoint At(int input, int output) { return app::CurveEditor::PixelOf(input, output); }

// Straight segments through the points (input order), held flat beyond
// the ends; outputs truncated in the curve's y = 255 - output terms.
Table Straight(const std::vector<Point>& points) {
  Table t{};
  for (int v = 0; v < 256; ++v) {
    double y = 255 - points.front().output;
    if (v >= points.back().input) y = 255 - points.back().output;
    for (size_t i = 0; i + 1 < points.size(); ++i) {
      const double x0 = points[i].input, x1 = points[i + 1].input;
      const double y0 = 255 - points[i].output, y1 = 255 - points[i + 1].output;
      if (v >= x0 && v <= x1) y = y0 + (y1 - y0) * (v - x0) / (x1 - x0);
    }
    t[v] = 255 - static_cast<int>(std::clamp(y, 0.0, 255.0));
  }
  return t;
}

// The natural cubic spline through three points (zero curvature at both
// ends), in the curve's y = 255 - output terms, truncated.
Table Spline3(const std::array<Point, 3>& p) {
  double x[3], y[3];
  for (int i = 0; i < 3; ++i) x[i] = p[i].input, y[i] = 255 - p[i].output;
  const double h0 = x[1] - x[0], h1 = x[2] - x[1];
  const double m[3] = {0, 6 * ((y[2] - y[1]) / h1 - (y[1] - y[0]) / h0) / (2 * (h0 + h1)), 0};
  Table t{};
  for (int v = 0; v < 256; ++v) {
    const int i = v < x[1] ? 0 : 1;
    const double a = x[i], b = x[i + 1], h = b - a;
    const double yv = ((y[i] * 6 - m[i] * h * h) * (b - v) + (y[i + 1] * 6 - m[i + 1] * h * h) * (v - a) +
                       m[i + 1] * std::pow(v - a, 3) + m[i] * std::pow(b - v, 3)) /
                      (6 * h);
    t[v] = 255 - static_cast<int>(std::clamp(yv, 0.0, 255.0));
  }
  return t;
}

Table TableOf(const color::CurveChannel& c) {
  Table t{};
  for (int v = 0; v < 256; ++v) t[v] = c.table[v];
  return t;
}

std::vector<Point> PointsOf(const color::CurveChannel& c) {
  std::vector<Point> points;
  for (const color::CurvePoint& p : c.points)
    if (p.used) points.push_back({p.x, 255 - p.y});
  return points;
}

bool operator==(const Point& a, const Point& b) { return a.input == b.input && a.output == b.output; }

TEST(CurveEditor, MouseEditsGiveTheStraightSegmentTable) {
  const struct Case {
    const char* name;
    std::function<void(QWidget*)> gesture;
    std::vector<Point> points;  // afterwards
  } cases[] = {
      {"click adds a point", [](QWidget* w) { Drag(w, At(128, 200), {}); }, {{0, 0}, {128, 200}, {255, 255}}},
      {"added point dragged", [](QWidget* w) { Drag(w, At(128, 200), {At(90, 150), At(64, 32)}); },
       {{0, 0}, {64, 32}, {255, 255}}},
      {"end point raised", [](QWidget* w) { Drag(w, At(0, 0), {At(0, 60)}); }, {{0, 60}, {255, 255}}},
      {"press near a point takes it",
       [](QWidget* w) {
         Drag(w, At(100, 100), {});
         Drag(w, At(102, 97), {At(102, 180)});
       },
       {{0, 0}, {102, 180}, {255, 255}}},
      {"point stops before its neighbour",
       [](QWidget* w) { Drag(w, At(100, 100), {At(255, 120), At(262, 130)}); }, {{0, 0}, {254, 130}, {255, 255}}},
      {"dragged out below is removed",
       [](QWidget* w) { Drag(w, At(100, 40), {At(100, -5), At(100, -20)}); }, {{0, 0}, {255, 255}}},
      {"dragged out and back stays", [](QWidget* w) { Drag(w, At(100, 40), {At(100, -20), At(100, 90)}); },
       {{0, 0}, {100, 90}, {255, 255}}},
      {"with two points an end cannot be dragged out", [](QWidget* w) { Drag(w, At(255, 255), {At(255, 300)}); },
       {{0, 0}, {255, 255}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app::CurveEditor editor;
    color::CurveSet set;
    set.channels[0].kind = color::kCurveStraight;
    editor.SetChannel(set.channels[0]);
    int changes = 0;
    editor.SetOnChanged([&] { ++changes; });
    c.gesture(&editor);
    EXPECT_EQ(PointsOf(editor.Channel()), c.points);
    EXPECT_EQ(TableOf(editor.Channel()), Straight(c.points));
    EXPECT_GT(changes, 0);
  }
}

// A document of a 24-bit picture with its view.
struct Picture {
  std::unique_ptr<CVividDoc> doc;
  std::unique_ptr<CVividView> view;
  static constexpr int kSize = 16;
  static int Value(int x, int y, int c) { return (x * 16 + y * 5 + c * 85) & 255; }
  Picture() {
    auto image = std::make_unique<CDIBitmap>();
    image->Create(kSize, kSize, 24, 0);
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x)
        for (int c = 0; c < 3; ++c) image->RowPointer(y)[3 * x + 2 - c] = static_cast<uint8_t>(Value(x, y, c));
    CVividDoc::SetCreationMode(CM_BLANK);
    CVividDoc::SetPreparedImage(std::move(image));
    doc = std::make_unique<CVividDoc>();
    EXPECT_TRUE(doc->OnNewDocument());
    view = std::make_unique<CVividView>(*doc);
    view->SetClientSize(kSize, kSize);
  }
  // Image pixel (x, y), channel c = 0 red .. 2 blue.
  int At(int x, int y, int c) const { return view->GetImage().RowPointer(y)[3 * x + 2 - c]; }
  // Every pixel against `map(channel, value)`: of the document, or as shown.
  void Expect(const std::function<int(int, int)>& map, bool shown) const {
    RgbImage out;
    view->Render(out);
    int bad = 0;
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x)
        for (int c = 0; c < 3; ++c) {
          const int got = shown ? out.Row(y)[3 * x + c] : At(x, y, c);
          if (got != map(c, Value(x, y, c)) && ++bad < 4) ADD_FAILURE() << x << "," << y << " channel " << c;
        }
    EXPECT_EQ(bad, 0);
  }
};

template <typename T>
T* Child(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(name);
  EXPECT_TRUE(child) << name;
  return child;
}

TEST(ToneDialogs, CurvesPreviewThenApplyTheTablesWithUndo) {
  for (const bool ok : {true, false}) {
    SCOPED_TRACE(ok ? "OK" : "Cancel");
    Picture picture;
    int repaints = 0;
    {
      app::CurvesDialog dialog(*picture.view);
      dialog.SetOnPreviewChanged([&] { ++repaints; });
      ASSERT_TRUE(dialog.Started());
      EXPECT_TRUE(picture.view->PreviewOpen());
      auto* editor = Child<app::CurveEditor>(&dialog, "curveEditor");
      auto* channel = Child<QComboBox>(&dialog, "channel");
      auto* kind = Child<QComboBox>(&dialog, "curveKind");
      // Red: straight through (128, 64); composite: straight through (64, 200).
      channel->setCurrentIndex(1);
      kind->setCurrentIndex(1);
      Drag(editor, At(128, 64), {});
      channel->setCurrentIndex(0);
      kind->setCurrentIndex(1);
      Drag(editor, At(64, 200), {});
      const Table red = Straight({{0, 0}, {128, 64}, {255, 255}});
      const Table all = Straight({{0, 0}, {64, 200}, {255, 255}});
      const auto mapped = [&](int c, int v) { return all[c == 0 ? red[v] : v]; };
      picture.Expect(mapped, true);                                // the view previews
      picture.Expect([](int, int v) { return v; }, false);       // the document is untouched
      EXPECT_GT(repaints, 0);
      if (ok) {
        dialog.accept();
        picture.Expect(mapped, false);
      } else {
        dialog.reject();
        picture.Expect([](int, int v) { return v; }, false);
      }
      EXPECT_FALSE(picture.view->PreviewOpen());
    }
    if (ok) {
      EXPECT_EQ(picture.view->OnUndo(), 1);
      picture.Expect([](int, int v) { return v; }, false);
    }
  }
}

TEST(ToneDialogs, LevelsMapsTheChosenChannelAndPreviewCanBeSwitchedOff) {
  Picture picture;
  app::LevelsDialog dialog(*picture.view);
  ASSERT_TRUE(dialog.Started());
  Child<QComboBox>(&dialog, "channel")->setCurrentIndex(2);  // green
  Child<QSpinBox>(&dialog, "inputLow")->setValue(30);
  Child<QSpinBox>(&dialog, "inputHigh")->setValue(200);
  Child<QSpinBox>(&dialog, "outputLow")->setValue(10);
  Child<QSpinBox>(&dialog, "outputHigh")->setValue(240);
  const auto levels = [](int c, int v) {
    if (c != 1) return v;
    const int x = std::clamp(v, 30, 200);
    return 10 + (x - 30) * (240 - 10) / (200 - 30);
  };
  picture.Expect(levels, true);
  // Preview off shows the image (the dialog keeps the preview and the
  // modal flag); OK still applies.
  Child<QCheckBox>(&dialog, "preview")->setChecked(false);
  EXPECT_TRUE(picture.view->PreviewOpen());
  EXPECT_FALSE(picture.view->PreviewShown());
  EXPECT_TRUE(IsModalRunning());
  picture.Expect([](int, int v) { return v; }, true);
  dialog.accept();
  picture.Expect(levels, false);
  EXPECT_FALSE(picture.view->PreviewOpen());
}

class TempDir {
 public:
  TempDir() : path_(fs::temp_directory_path() / ("vivid-q-" + std::to_string(::getpid()) + "-" + std::to_string(++n_))) {
    fs::create_directories(path_);
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
  static inline int n_ = 0;
};

TEST(CurveFiles, SavedThroughOneDialogLoadIntoAnother) {
  platform::RecordingMessageSink messages;
  platform::ScriptedPrompts prompts;
  TempDir dir;
  Picture picture;
  // Curves: save (the name gets ".crb"), load into a fresh dialog.
  color::CurveSet saved;
  {
    app::CurvesDialog dialog(*picture.view);
    Child<QComboBox>(&dialog, "channel")->setCurrentIndex(3);
    Drag(Child<app::CurveEditor>(&dialog, "curveEditor"), At(50, 120), {});
    saved = dialog.Curves();
    prompts.fileAnswers.push_back({dir / "tones", 1, {}});
    Child<QPushButton>(&dialog, "save")->click();
    EXPECT_EQ(fs::file_size(dir / "tones.crb"), 1912u);
    dialog.reject();
  }
  {
    app::CurvesDialog dialog(*picture.view);
    prompts.fileAnswers.push_back({dir / "tones.crb", 1, {}});
    Child<QPushButton>(&dialog, "load")->click();
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(TableOf(dialog.Curves().channels[c]), TableOf(saved.channels[c])) << c;
      EXPECT_EQ(PointsOf(dialog.Curves().channels[c]), PointsOf(saved.channels[c])) << c;
    }
    EXPECT_EQ(PointsOf(dialog.Curves().channels[3]), (std::vector<Point>{{0, 0}, {50, 120}, {255, 255}}));
    dialog.reject();
  }
  EXPECT_EQ(prompts.fileRequests.at(0).request.title, "Save Curves");
  EXPECT_EQ(prompts.fileRequests.at(1).request.title, "Load Curves");

  // CMYK: a percentage entered on magenta with Set All Same, saved as
  // ".cck", loaded into a fresh dialog, stored on OK.
  app::CurrentSeparationCurves() = color::CurveSet();
  {
    app::CmykSetupDialog dialog;
    Child<QComboBox>(&dialog, "channel")->setCurrentIndex(1);
    Child<QCheckBox>(&dialog, "allSame")->setChecked(true);
    Child<QSpinBox>(&dialog, "percent50")->setValue(80);  // input 127 -> output trunc(80 x 255 / 100) = 204
    const std::vector<Point> points = {{0, 0}, {127, 204}, {255, 255}};
    for (int c = 0; c < 4; ++c) EXPECT_EQ(PointsOf(dialog.Curves().channels[c]), points) << c;
    EXPECT_EQ(Child<QSpinBox>(&dialog, "percent50")->value(), 80);
    prompts.fileAnswers.push_back({dir / "inks", 1, {}});
    Child<QPushButton>(&dialog, "save")->click();
    EXPECT_EQ(fs::file_size(dir / "inks.cck"), 1912u);
    dialog.reject();
  }
  EXPECT_EQ(PointsOf(app::CurrentSeparationCurves().channels[1]), (std::vector<Point>{{0, 0}, {255, 255}}));
  {
    app::CmykSetupDialog dialog;
    prompts.fileAnswers.push_back({dir / "inks.cck", 1, {}});
    Child<QPushButton>(&dialog, "load")->click();
    dialog.accept();
  }
  print::SeparationCurves inks;
  app::FillSeparationCurves(inks);
  const Table want = Spline3({{{0, 0}, {127, 204}, {255, 255}}});
  for (int c = 0; c < 4; ++c)
    for (int v = 0; v < 256; ++v) ASSERT_EQ(inks.table[c][v], want[v]) << c << " at " << v;

  // Kept between runs: OK writes the curves file, and the next run reads it.
  const std::string kept = dir / "kept/separation.cck";
  app::SetSeparationCurvesFile(kept);  // none there yet: the curves stay
  EXPECT_EQ(PointsOf(app::CurrentSeparationCurves().channels[1]), (std::vector<Point>{{0, 0}, {127, 204}, {255, 255}}));
  {
    app::CmykSetupDialog dialog;
    dialog.accept();
  }
  ASSERT_TRUE(fs::exists(kept));
  app::CurrentSeparationCurves() = color::CurveSet();
  app::SetSeparationCurvesFile(kept);
  app::SetSeparationCurvesFile("");
  print::SeparationCurves again;
  app::FillSeparationCurves(again);
  for (int c = 0; c < 4; ++c)
    for (int v = 0; v < 256; ++v) ASSERT_EQ(again.table[c][v], want[v]) << c << " at " << v;
  app::CurrentSeparationCurves() = color::CurveSet();
  EXPECT_TRUE(messages.shown.empty());
}

// Runs `drive` on the next modal dialog shown.
void PollForDialog(std::function<void(QDialog*)> drive) {
  auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
  if (!dialog || !dialog->isVisible()) {
    QTimer::singleShot(5, [drive = std::move(drive)]() mutable { PollForDialog(std::move(drive)); });
    return;
  }
  drive(dialog);
}

void WhenShown(std::function<void(QDialog*)> drive) {
  QTimer::singleShot(5, [drive = std::move(drive)]() mutable { PollForDialog(std::move(drive)); });
}

TEST(ColorManagementDialog, OkStoresTheChoicesInTheSettingsAndTheViews) {
  TempDir dir;
  const std::string display = dir / "wide.icc", printer = dir / "press.icc";
  fs::copy_file("/usr/share/color/icc/ghostscript/a98.icc", display);
  fs::copy_file(testing_support::DataPath("third_party/lcms2-testbed/test1.icc"), printer);
  const std::string folder = dir / "";
  setenv("VIVID_ICC_PATH", folder.c_str(), 1);

  platform::MemorySettings settings;
  settings.SetString("Settings", "ICMPathScanner", "/elsewhere/scanner.icc");  // not catalogued: kept
  QString description;
  WhenShown([&](QDialog* d) {
    Child<QCheckBox>(d, "enable")->setChecked(true);
    auto* displayBox = Child<QComboBox>(d, "display");
    displayBox->setCurrentIndex(displayBox->findData(QString::fromStdString(display)));
    auto* output = Child<QComboBox>(d, "output");
    output->setCurrentIndex(output->findData(QString::fromStdString(printer)));
    auto* separation = Child<QComboBox>(d, "separation");
    separation->setCurrentIndex(separation->findData(QString::fromStdString(printer)));
    Child<QComboBox>(d, "intent")->setCurrentIndex(3);
    description = Child<QLabel>(d, "description")->text();
    d->accept();
  });
  ASSERT_TRUE(app::RunColorManagement(nullptr, settings));
  unsetenv("VIVID_ICC_PATH");

  EXPECT_EQ(settings.GetInt("Settings", "ICMEnable", 0), 1);
  EXPECT_EQ(settings.GetInt("Settings", "ICMIntent", 0), 3);
  EXPECT_EQ(settings.GetString("Settings", "ICMPathScanner", ""), "/elsewhere/scanner.icc");
  EXPECT_EQ(settings.GetString("Settings", "ICMPathMonitor", ""), display);
  EXPECT_EQ(settings.GetString("Settings", "ICMPathPrinter", ""), printer);
  EXPECT_EQ(settings.GetString("Settings", "ICMPathSeparate", ""), printer);
  const app::MachinePaths& paths = app::CurrentAppSettings().paths;
  EXPECT_EQ(paths.icmMonitor, display);
  EXPECT_EQ(paths.icmPrinter, printer);
  EXPECT_EQ(paths.icmSeparate, printer);
  EXPECT_EQ(paths.icmScanner, "/elsewhere/scanner.icc");
  EXPECT_TRUE(GetDisplayColorSettings().enabled);
  EXPECT_EQ(GetDisplayColorSettings().displayPath, display);
  EXPECT_EQ(description.toStdString(), "Preserve the white point.\nAny colors that fall outside the range that the "
                                       "output device can render are adjusted to the closest color that can be "
                                       "rendered, while other colors are left unchanged.");
  // Cancel changes nothing.
  WhenShown([](QDialog* d) {
    Child<QCheckBox>(d, "enable")->setChecked(false);
    d->reject();
  });
  EXPECT_FALSE(app::RunColorManagement(nullptr, settings));
  EXPECT_EQ(settings.GetInt("Settings", "ICMEnable", 0), 1);
  SetDisplayColorSettings({});
  app::CurrentAppSettings().paths = {};
}

}  // namespace
