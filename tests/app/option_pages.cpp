// The control bars: option pages follow the tool and write the shared
// settings, the colour bar writes and shows the colours, the histogram bar
// counts luminance by the formula and follows the active document.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QMdiArea>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>
#include <variant>

#include "app/color_bar.h"
#include "app/histogram_bar.h"
#include "app/main_window.h"
#include "app/option_pages.h"
#include "document/vivid_doc.h"
#include "editing/tool_settings.h"
#include "editing/view_commands.h"
#include "editing/vivid_view.h"
#include "image/color_convert.h"
#include "image/dibitmap.h"
#include "imaging/combine.h"
#include "platform/region.h"

namespace {

// The settings are one per process: each test starts from the defaults and
// leaves them as it found them.
class ControlBars : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = ToolSettings();
    ToolSettings() = CToolSettings();
  }
  void TearDown() override { ToolSettings() = saved_; }

 private:
  CToolSettings saved_;
};

struct Window {
  app::MainWindow window;
  Window() {
    window.SetSaveQuestion([](const QString&) { return app::MainWindow::SaveAnswer::No; });
    window.show();
    QApplication::processEvents();
  }
  // The bars declare no meta-object of their own, so findChild<T> cannot
  // tell them apart from other widgets.
  template <typename T>
  T* Bar() const {
    for (QWidget* child : window.findChildren<QWidget*>())
      if (auto* bar = dynamic_cast<T*>(child)) return bar;
    return nullptr;
  }
  app::OptionPages* Pages() const { return Bar<app::OptionPages>(); }
  app::HistogramBar* Histogram() const { return Bar<app::HistogramBar>(); }
};

template <typename T>
T* Field(app::OptionPages& pages, const char* page, const char* option) {
  QWidget* widget = pages.Page(page);
  return widget ? widget->findChild<T*>(option) : nullptr;
}

TEST_F(ControlBars, ChoosingAToolShowsItsPage) {
  Window w;
  app::OptionPages* pages = w.Pages();
  ASSERT_NE(pages, nullptr);
  struct Case {
    int command;
    const char* page;
  };
  // In order: the Picker has no page and keeps the one shown.
  const Case cases[] = {
      {32900, "Pen"},       {32904, "Brush"},      {32905, "Airbrush"},    {32909, "Erase"},
      {32908, "Retouch"},   {32906, "Stamp"},      {32907, "Fill"},        {32901, "Line"},
      {32902, "Shape"},     {32903, "Text"},       {32842, "Text"},        {32894, "Wandselect"},
      {32896, "Brushselect"}, {32843, "Floater"},  {32891, "Floater"},     {32841, "View"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    QAction* tool = w.window.CommandAction(c.command);
    ASSERT_NE(tool, nullptr);
    tool->trigger();
    EXPECT_EQ(pages->CurrentPage(), c.page);
  }
  // The page list shows another tool's page without changing the tool.
  auto* list = pages->findChild<QComboBox*>("pageList");
  ASSERT_NE(list, nullptr);
  list->setCurrentIndex(list->findText("Shape"));
  EXPECT_EQ(pages->CurrentPage(), "Shape");
  EXPECT_EQ(ToolSettings().ActiveTool(), ViewTool::Zoom);
}

TEST_F(ControlBars, ChangingAFieldWritesTheSettingOfItsPage) {
  app::OptionPages pages;
  // Another tool is active: each page writes its own tool's settings.
  ToolSettings().SelectTool(ViewTool::Brush);
  using Value = std::variant<int, const char*, bool>;
  struct Case {
    const char* page;
    const char* option;
    Value value;
    std::function<int(const CToolSettings&)> read;
    int expected;
  };
  const Case cases[] = {
      {"Pen", "size", 37, [](const CToolSettings& s) { return s.BrushOf(BrushOwner::Pen).size; }, 37},
      {"Pen", "shape", "Circle", [](const CToolSettings& s) { return s.BrushOf(BrushOwner::Pen).shape; }, 1},
      {"Brush", "softness", 55, [](const CToolSettings& s) { return s.BrushOf(BrushOwner::Brush).softness; }, 55},
      {"Airbrush", "pressure", 40, [](const CToolSettings& s) { return s.PaintOf(ViewTool::Airbrush).transparency; }, 40},
      {"Erase", "fill-mode", "Saved Image", [](const CToolSettings& s) { return s.eraserMode; }, 3},
      // List entry 3 is blend mode 4: the list skips "none".
      {"Erase", "merge-mode", "Difference", [](const CToolSettings& s) { return s.PaintOf(ViewTool::Eraser).mergeMode; },
       kBlendDifference},
      {"Retouch", "retouch-mode", "Darken", [](const CToolSettings& s) { return s.retouchMode; }, 5},
      {"Retouch", "spacing", 70, [](const CToolSettings& s) { return s.BrushOf(BrushOwner::Retouch).spacing; }, 70},
      {"Stamp", "transparency", 25, [](const CToolSettings& s) { return s.PaintOf(ViewTool::Stamp).transparency; }, 25},
      {"Fill", "tolerance", 90, [](const CToolSettings& s) { return s.fillTolerance; }, 90},
      {"Line", "width", 7, [](const CToolSettings& s) { return s.lineWidth; }, 7},
      {"Line", "antialias", true, [](const CToolSettings& s) { return int{s.antialias}; }, 1},
      {"Shape", "shape", "Circle", [](const CToolSettings& s) { return s.shapeKind; }, 3},
      {"Shape", "fill-style", "Ellipse Center to Out", [](const CToolSettings& s) { return s.fillStyle; }, 5},
      {"Shape", "border-width", 4, [](const CToolSettings& s) { return s.borderWidth; }, 4},
      {"Shape", "antialias", true, [](const CToolSettings& s) { return int{s.shapeAntialias}; }, 1},
      {"Text", "mask-only", true, [](const CToolSettings& s) { return int{s.textSettings.maskOnly}; }, 1},
      {"Text", "bold", true, [](const CToolSettings& s) { return int{s.textSettings.bold}; }, 1},
      {"Text", "size-unit", "Points", [](const CToolSettings& s) { return int{s.textSettings.sizeInPoints}; }, 1},
      {"Text", "font-size", 48, [](const CToolSettings& s) { return s.textSettings.size; }, 48},
      {"Wandselect", "tolerance", 200, [](const CToolSettings& s) { return s.fillTolerance; }, 200},
      {"Brushselect", "shape", "Circle", [](const CToolSettings& s) { return s.BrushOf(BrushOwner::PaintSelection).shape; }, 1},
      {"Brushselect", "size", 12, [](const CToolSettings& s) { return s.BrushOf(BrushOwner::PaintSelection).size; }, 12},
      {"Floater", "feather", 6, [](const CToolSettings& s) { return s.feather; }, 6},
      {"Floater", "merge-mode", "if Lighter", [](const CToolSettings& s) { return s.floaterMergeMode; }, kBlendIfLighter},
      {"Floater", "transparency", 30, [](const CToolSettings& s) { return s.floaterTransparency; }, 30},
      {"View", "zoom-direction", "Zoom Out", [](const CToolSettings& s) { return s.zoomDirection; }, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.page) + " " + c.option);
    pages.ShowPage(c.page);
    ASSERT_EQ(pages.CurrentPage(), c.page);
    if (const int* number = std::get_if<int>(&c.value)) {
      auto* spin = Field<QSpinBox>(pages, c.page, c.option);
      ASSERT_NE(spin, nullptr);
      spin->setValue(*number);
    } else if (const char* const* text = std::get_if<const char*>(&c.value)) {
      auto* list = Field<QComboBox>(pages, c.page, c.option);
      ASSERT_NE(list, nullptr);
      ASSERT_GE(list->findText(*text), 0);
      list->setCurrentIndex(list->findText(*text));
    } else {
      auto* check = Field<QCheckBox>(pages, c.page, c.option);
      ASSERT_NE(check, nullptr);
      check->setChecked(std::get<bool>(c.value));
    }
    EXPECT_EQ(c.read(ToolSettings()), c.expected);
  }
  // The active tool kept its own record and stayed active.
  const BrushSettings defaults;
  EXPECT_EQ(ToolSettings().BrushOf(BrushOwner::Brush).size, defaults.size);
  EXPECT_EQ(ToolSettings().PaintOf(ViewTool::Brush).transparency, 0);
  EXPECT_EQ(ToolSettings().ActiveTool(), ViewTool::Brush);
}

TEST_F(ControlBars, ASettingChangedByAScriptShowsOnThePage) {
  Window w;
  app::OptionPages* pages = w.Pages();
  w.window.CommandAction(32900)->trigger();  // Pen
  ASSERT_EQ(pages->CurrentPage(), "Pen");
  ASSERT_EQ(ToolSettings().SetOption("size", "63"), "");
  ASSERT_EQ(ToolSettings().SetOption("merge-mode", "Screen"), "");
  // Shown again after another page.
  pages->ShowPage("Fill");
  pages->ShowPage("Pen");
  EXPECT_EQ(Field<QSpinBox>(*pages, "Pen", "size")->value(), 63);
  EXPECT_EQ(Field<QComboBox>(*pages, "Pen", "merge-mode")->currentText(), "Screen");
  // On the page shown, after the window's next refresh (every view event).
  ASSERT_EQ(ToolSettings().SetOption("transparency", "45"), "");
  w.window.RefreshCommands();
  EXPECT_EQ(Field<QSpinBox>(*pages, "Pen", "transparency")->value(), 45);
  // Reading back writes nothing: the other brush records are untouched.
  EXPECT_EQ(ToolSettings().BrushOf(BrushOwner::Brush).size, BrushSettings{}.size);
}

TEST_F(ControlBars, ViewPageScaleListSetsTheZoomOrRefusesIt) {
  Window w;
  w.window.NewImage();  // 100 x 100
  CVividView* view = w.window.ActiveView();
  ASSERT_NE(view, nullptr);
  app::OptionPages* pages = w.Pages();
  pages->ShowPage("View");
  auto* scale = Field<QComboBox>(*pages, "View", "scale");
  ASSERT_NE(scale, nullptr);
  ASSERT_EQ(scale->count(), 31);
  EXPECT_EQ(scale->itemText(0), "  1 : 16");
  EXPECT_EQ(scale->itemText(30), " 16 :  1");
  scale->setCurrentIndex(scale->findText("  3 :  1"));
  EXPECT_EQ(view->Zoom(), (ZoomRatio{3, 1}));
  // 100 / 16 is below 16 pixels: refused, the list shows the ratio kept.
  scale->setCurrentIndex(scale->findText("  1 : 16"));
  EXPECT_EQ(view->Zoom(), (ZoomRatio{3, 1}));
  EXPECT_EQ(scale->currentText(), "  3 :  1");
  Field<QPushButton>(*pages, "View", "zoom-1-1")->click();
  EXPECT_EQ(view->Zoom(), (ZoomRatio{1, 1}));
  EXPECT_EQ(scale->currentText(), "  1 :  1");
  // A display switch runs the view's toggle once.
  Field<QCheckBox>(*pages, "View", "ruler")->setChecked(true);
  EXPECT_TRUE(view->RulersShown());
}

TEST_F(ControlBars, ColorBarWritesAndShowsTheColors) {
  app::ColorBar bar;
  std::optional<QColor> answer = QColor(10, 20, 30);
  bar.SetChooser([&](const QColor&, const QString&) { return answer; });
  auto* fore = bar.findChild<QToolButton*>("foreground");
  auto* back = bar.findChild<QToolButton*>("background");
  ASSERT_TRUE(fore && back);
  fore->click();
  EXPECT_EQ(ToolSettings().foreground, 30u << 16 | 20u << 8 | 10u);
  answer.reset();  // cancelled
  back->click();
  EXPECT_EQ(ToolSettings().background, 0xFFFFFFu);
  bar.findChild<QToolButton*>("swap")->click();
  EXPECT_EQ(ToolSettings().foreground, 0xFFFFFFu);
  EXPECT_EQ(ToolSettings().background, 30u << 16 | 20u << 8 | 10u);
  bar.findChild<QToolButton*>("reset")->click();
  EXPECT_EQ(ToolSettings().foreground, 0u);
  EXPECT_EQ(ToolSettings().background, 0xFFFFFFu);
  // A colour set elsewhere (a script, the picker) shows after Refresh.
  ASSERT_EQ(ToolSettings().SetOption("foreground", "200,100,50"), "");
  bar.Refresh();
  const QImage swatch = fore->icon().pixmap(QSize(16, 16)).toImage();
  EXPECT_EQ(swatch.pixelColor(8, 8), QColor(200, 100, 50));
}

// Y by the formula, written out here.
int Luma(int r, int g, int b) { return (306 * r + 601 * g + 117 * b + 512) / 1024; }

TEST(HistogramBar, CountsEachPixelKindByTheLuminanceFormula) {
  constexpr int kWidth = 13, kHeight = 7;
  auto sample = [](int x, int y, int channel) { return (x * 53 + y * 29 + channel * 71 + x * y * 7) & 0xFF; };
  struct Case {
    const char* name;
    int bits;
    int options;
  };
  const Case cases[] = {{"rgb", 24, 0}, {"gray", 8, 1}, {"palette", 8, 0}, {"mono", 1, 0}, {"cmyk", 32, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CDIBitmap image;
    ASSERT_EQ(image.Create(kWidth, kHeight, c.bits, c.options), 1);
    std::array<uint8_t, 1024> table{};
    if (std::string(c.name) == "palette") {
      for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) table[4 * i + k] = static_cast<uint8_t>(sample(i, 3, k));
      image.SetColorTable(table.data(), 256);
    }
    app::LuminanceCounts expected{};
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* row = image.RowPointer(y);
      for (int x = 0; x < kWidth; ++x) {
        const uint8_t v[4] = {static_cast<uint8_t>(sample(x, y, 0)), static_cast<uint8_t>(sample(x, y, 1)),
                              static_cast<uint8_t>(sample(x, y, 2)), static_cast<uint8_t>(sample(x, y, 3))};
        switch (c.bits) {
          case 24:  // blue, green, red
            std::copy(v, v + 3, row + 3 * x);
            ++expected[Luma(v[2], v[1], v[0])];
            break;
          case 8:
            row[x] = v[0];
            ++expected[std::string(c.name) == "gray"
                           ? v[0]
                           : Luma(table[4 * v[0] + 2], table[4 * v[0] + 1], table[4 * v[0]])];
            break;
          case 1: {  // the default table: 0 black, 1 white
            const int bit = v[0] & 1;
            row[x >> 3] = static_cast<uint8_t>(row[x >> 3] | bit << (7 - (x & 7)));
            ++expected[bit ? 255 : 0];
            break;
          }
          default: {  // cyan, magenta, yellow, black
            std::copy(v, v + 4, row + 4 * x);
            uint8_t r, g, b;
            GL_CMYKToRGB(v, r, g, b);
            ++expected[Luma(r, g, b)];
          }
        }
      }
    }
    // A selection mask does not limit the counts.
    const platform::Region part = platform::Region::FromRect(2, 2, 5, 4);
    image.SetMaskRgn(&part);
    app::LuminanceCounts counts{};
    app::CountLuminance(image, counts);
    EXPECT_EQ(counts, expected);
  }
}

TEST_F(ControlBars, HistogramFollowsTheActiveDocument) {
  Window w;
  app::HistogramBar* bar = w.Histogram();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->Counts()[255], 0u);  // no document
  w.window.NewImage();                // 100 x 100 white
  EXPECT_EQ(bar->Counts()[255], 10000u);
  // An edit: fill the whole image with the black foreground.
  w.window.CommandAction(kCmdSelectAll)->trigger();
  w.window.CommandAction(kCmdFill)->trigger();
  EXPECT_EQ(bar->Counts()[0], 10000u);
  w.window.CommandAction(kCmdUndo)->trigger();
  EXPECT_EQ(bar->Counts()[255], 10000u);
  // Another document becomes active, then every window goes.
  ToolSettings().foreground = 0x808080;
  w.window.NewImage();
  w.window.CommandAction(kCmdSelectAll)->trigger();
  w.window.CommandAction(kCmdFill)->trigger();
  EXPECT_EQ(bar->Counts()[0x80], 10000u);
  w.window.Area()->closeAllSubWindows();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QApplication::processEvents();
  EXPECT_EQ(bar->Document(), nullptr);
  for (uint64_t count : bar->Counts()) ASSERT_EQ(count, 0u);
}

}  // namespace
