// The effect dialogs with their live preview and the Text dialog, driven
// through their widgets in the editor's window: fields built from the
// dialog's parameters, the preview in the view's painted picture, OK, Cancel,
// Undo, the modal flag, and text placed from the dialog's settings.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "app/curves_dialog.h"
#include "app/effect_dialog.h"
#include "app/image_view_widget.h"
#include "app/main_window.h"
#include "app/text_dialog.h"
#include "document/vivid_doc.h"
#include "editing/effect_dialogs.h"
#include "editing/operation_table.h"
#include "editing/tool_settings.h"
#include "editing/view_commands.h"
#include "editing/vivid_view.h"
#include "platform/qt/qt_text_rasterizer.h"
#include "platform/text_rasterizer.h"

namespace {

constexpr int kWidth = 64, kHeight = 48;

// The test picture's colour at (x, y), red, green and blue.
std::array<uint8_t, 3> Original(int x, int y) {
  return {uint8_t(x * 4 + y), uint8_t(y * 5 + 3), uint8_t((x * 7 + y * 3) % 256)};
}

// Solarize by its rule: v x t / 128 below 128, (255 - v) x t / 128 from 128.
uint8_t Solarized(uint8_t v, int t) { return uint8_t(std::min(255, (v < 128 ? v : 255 - v) * t / 128)); }

struct Window {
  app::MainWindow window;
  Window() {
    ToolSettings() = CToolSettings();
    window.show();
    auto image = std::make_unique<CDIBitmap>();
    image->Create(kWidth, kHeight, 24, 0);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const auto c = Original(x, y);
        uint8_t* p = image->RowPointer(y) + 3 * x;
        p[0] = c[2], p[1] = c[1], p[2] = c[0];  // stored blue, green, red
      }
    window.AddImageDocument(std::move(image), "picture");
    QApplication::processEvents();
  }
  ~Window() {
    if (QDialog* dialog = app::CurrentPreviewDialog()) dialog->reject();
    if (app::TextDialog* dialog = app::CurrentTextDialog()) dialog->reject();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ToolSettings() = CToolSettings();
  }
  CVividView& View() const { return *window.ActiveView(); }
  CVividDoc& Doc() const { return View().GetDocument(); }
  QAction* Menu(const QString& text) const {
    for (QAction* action : window.findChildren<QAction*>())
      if (action->text() == text) return action;
    return nullptr;
  }
  // Counts the image pixels whose painted colour (at 1:1) differs from
  // `expected` applied to the original colour.
  int PaintedDiffering(const std::function<uint8_t(uint8_t)>& expected) const {
    QApplication::processEvents();
    const QImage shown =
        window.ActiveViewWidget()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB888);
    const platform::Rect at = View().DisplayedImageRect();
    int differing = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const uint8_t* p = shown.constScanLine(at.top + y) + 3 * (at.left + x);
        const auto c = Original(x, y);
        differing += p[0] != expected(c[0]) || p[1] != expected(c[1]) || p[2] != expected(c[2]);
      }
    return differing;
  }
  // The same for the document's image.
  int ImageDiffering(const std::function<uint8_t(uint8_t)>& expected) const {
    const CDIBitmap& image = Doc().GetImage();
    if (image.GetWidth() != kWidth || image.GetHeight() != kHeight) return -1;
    int differing = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const uint32_t color = image.GetPixelColor(y, x);  // 0x00BBGGRR
        const auto c = Original(x, y);
        differing += (color & 0xFF) != expected(c[0]) || (color >> 8 & 0xFF) != expected(c[1]) ||
                     (color >> 16 & 0xFF) != expected(c[2]);
      }
    return differing;
  }
};

const OperationDef& Named(std::string_view name) {
  for (const OperationDef& def : AllOperations())
    if (def.name == name) return def;
  throw std::invalid_argument(std::string(name));
}

const auto kUnchanged = [](uint8_t v) { return v; };

void SendKey(QWidget* target, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
}

void Click(QWidget* target, QPoint at) {
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(target->mapToGlobal(at)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), QPointF(target->mapToGlobal(at)), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(target, &release);
}

void Press(QDialog* dialog, QDialogButtonBox::StandardButton which) {
  dialog->findChild<QDialogButtonBox*>()->button(which)->click();
}

// Each dialog's rows carry the title, ranges and steps of its effect; the
// slider's Home/End and the spin box's Page keys step as the effect says.
TEST(EffectDialog, FieldsRangesAndStepsFollowTheEffect) {
  struct Case {
    const char* operation;
    const char* title;
    const char* label;
    int minimum, maximum, page;
    const char* atEnd;  // the operation text after End on the slider
  };
  const Case cases[] = {
      {"median", "Median", "&Size", 0, 10, 1, "median:10"},
      {"mosaic", "Mosaic", "&Size", 2, 64, 2, "mosaic:64"},
      {"solarize", "Solarize", "&Threshold\t", 0, 255, 10, "solarize:255"},
      {"hue-saturation", "Hue/Saturation", "&Hue", -180, 180, 10, "hue-saturation:180,0,0"},
      {"rotate", "Rotate", "&Angle", -180, 180, 10, "rotate:180"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    Window w;
    app::EffectDialog* dialog =
        app::OpenEffectDialog(&w.window, *w.window.ActiveViewWidget(), Named(c.operation), {});
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), c.title);
    EXPECT_FALSE(dialog->isModal());
    auto* slider = dialog->findChild<QSlider*>("slider0");
    auto* spin = dialog->findChild<QSpinBox*>("spin0");
    ASSERT_TRUE(slider && spin);
    EXPECT_EQ(dialog->findChild<QLabel*>()->text(), c.label);
    EXPECT_EQ(slider->minimum(), c.minimum);
    EXPECT_EQ(slider->maximum(), c.maximum);
    EXPECT_EQ(slider->singleStep(), 1);
    EXPECT_EQ(slider->pageStep(), c.page);
    EXPECT_EQ(spin->minimum(), c.minimum);
    EXPECT_EQ(spin->maximum(), c.maximum);
    // Home: the minimum; Page Up on the spin box: one page further; End:
    // the maximum, where Page Up stays.
    SendKey(slider, Qt::Key_Home);
    EXPECT_EQ(spin->value(), c.minimum);
    SendKey(spin, Qt::Key_PageUp);
    EXPECT_EQ(slider->value(), c.minimum + c.page);
    SendKey(slider, Qt::Key_End);
    SendKey(spin, Qt::Key_PageUp);
    EXPECT_EQ(spin->value(), c.maximum);
    EXPECT_EQ(dialog->State().OperationText(), c.atEnd);
    dialog->reject();
    EXPECT_FALSE(IsModalRunning());
  }

  // A fractional field moves in hundredths; a direction is a list; Skew's
  // "&Horizontal" is a check box, checked (direction 0) at first.
  Window w;
  app::ImageViewWidget& view = *w.window.ActiveViewWidget();
  app::EffectDialog* blur = app::OpenEffectDialog(&w.window, view, Named("gaussian-blur"), {});
  ASSERT_NE(blur, nullptr);
  EXPECT_EQ(blur->findChild<QSlider*>("slider0")->maximum(), 1000);
  blur->findChild<QDoubleSpinBox*>("spin0")->setValue(2.5);
  EXPECT_EQ(blur->findChild<QSlider*>("slider0")->value(), 250);
  EXPECT_EQ(blur->State().OperationText(), "gaussian-blur:2.5");
  blur->reject();
  app::EffectDialog* emboss = app::OpenEffectDialog(&w.window, view, Named("emboss"), {});
  ASSERT_NE(emboss, nullptr);
  auto* direction = emboss->findChild<QComboBox*>("choice1");
  ASSERT_NE(direction, nullptr);
  EXPECT_EQ(direction->count(), 8);
  EXPECT_EQ(direction->itemText(7), "North-West");
  direction->setCurrentIndex(3);
  EXPECT_EQ(emboss->State().OperationText(), "emboss:50,3");
  emboss->reject();
  app::EffectDialog* skew = app::OpenEffectDialog(&w.window, view, Named("shear"), {});
  ASSERT_NE(skew, nullptr);
  EXPECT_EQ(skew->windowTitle(), "Skew");
  auto* horizontal = skew->findChild<QCheckBox*>("check1");
  ASSERT_NE(horizontal, nullptr);
  EXPECT_EQ(horizontal->text(), "&Horizontal");
  EXPECT_TRUE(horizontal->isChecked());
  horizontal->setChecked(false);
  EXPECT_EQ(skew->State().OperationText(), "shear:0,1");
  skew->reject();
}

// Solarize from the menu: the view shows the previewed pixels while the
// document keeps its own; a field change, the Preview switch, Cancel, OK and
// Undo each leave the picture and the document as the rule says.
TEST(EffectDialog, PreviewShowsTheEffectUntilOkAppliesIt) {
  Window w;
  QAction* solarize = w.Menu("Solarize...");
  ASSERT_NE(solarize, nullptr);
  solarize->trigger();
  app::EffectDialog* dialog = app::CurrentEffectDialog();
  ASSERT_NE(dialog, nullptr);
  // Only one effect dialog at a time.
  solarize->trigger();
  EXPECT_EQ(app::CurrentEffectDialog(), dialog);
  // The modal flag: edit commands are off while the dialog is open.
  EXPECT_TRUE(IsModalRunning());
  EXPECT_FALSE(w.window.CommandAction(kCmdSelectAll)->isEnabled());

  const auto at = [](int t) { return [t](uint8_t v) { return Solarized(v, t); }; };
  EXPECT_EQ(w.PaintedDiffering(at(127)), 0);  // the initial threshold
  EXPECT_GT(w.PaintedDiffering(kUnchanged), 0);
  EXPECT_EQ(w.ImageDiffering(kUnchanged), 0);

  dialog->findChild<QSpinBox*>("spin0")->setValue(200);
  EXPECT_EQ(w.PaintedDiffering(at(200)), 0);
  auto* preview = dialog->findChild<QCheckBox*>("preview");
  preview->setChecked(false);
  EXPECT_EQ(w.PaintedDiffering(kUnchanged), 0);
  preview->setChecked(true);
  EXPECT_EQ(w.PaintedDiffering(at(200)), 0);

  Press(dialog, QDialogButtonBox::Cancel);
  EXPECT_EQ(app::CurrentEffectDialog(), nullptr);
  EXPECT_FALSE(IsModalRunning());
  EXPECT_TRUE(w.window.CommandAction(kCmdSelectAll)->isEnabled());
  EXPECT_EQ(w.PaintedDiffering(kUnchanged), 0);
  EXPECT_EQ(w.ImageDiffering(kUnchanged), 0);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  solarize->trigger();
  dialog = app::CurrentEffectDialog();
  ASSERT_NE(dialog, nullptr);
  dialog->findChild<QSlider*>("slider0")->setValue(64);
  Press(dialog, QDialogButtonBox::Ok);
  EXPECT_FALSE(IsModalRunning());
  EXPECT_EQ(w.ImageDiffering(at(64)), 0);
  EXPECT_EQ(w.PaintedDiffering(at(64)), 0);
  w.window.CommandAction(kCmdUndo)->trigger();
  EXPECT_EQ(w.ImageDiffering(kUnchanged), 0);
  EXPECT_EQ(w.PaintedDiffering(kUnchanged), 0);
}

// Any Angle opens "Rotate" with its preview; OK leaves the turned selection
// floating, the box turned a quarter (as wide as the picture was high).
TEST(EffectDialog, AnyAngleFloatsTheTurnedSelection) {
  Window w;
  w.window.CommandAction(kCmdSelectAll)->trigger();
  w.window.CommandAction(kCmdAnyAngle)->trigger();
  app::EffectDialog* dialog = app::CurrentEffectDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), "Rotate");
  dialog->findChild<QSpinBox*>("spin0")->setValue(90);
  EXPECT_GT(w.PaintedDiffering(kUnchanged), 0);
  EXPECT_EQ(w.ImageDiffering(kUnchanged), 0);
  Press(dialog, QDialogButtonBox::Ok);
  ASSERT_TRUE(w.Doc().HasFloater());
  const platform::Rect box = w.Doc().SelectionBox();
  EXPECT_NEAR(box.Width(), kHeight, 1);
  EXPECT_NEAR(box.Height(), kWidth, 1);
}

// Closing the view's frame while its dialog is open ends the dialog and the
// modal flag; nothing reaches the gone view.
TEST(EffectDialog, ClosingTheViewClosesItsDialog) {
  Window w;
  w.Menu("M&edian...")->trigger();
  ASSERT_NE(app::CurrentEffectDialog(), nullptr);
  w.window.SetSaveQuestion([](const QString&) { return app::MainWindow::SaveAnswer::No; });
  w.window.Area()->activeSubWindow()->close();
  for (int round = 0; round < 2; ++round) QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(w.window.DocumentCount(), 0);
  EXPECT_EQ(app::CurrentEffectDialog(), nullptr);
  EXPECT_FALSE(IsModalRunning());
}

// Curves and Levels are modeless too: the menu returns with the dialog open,
// the modal flag held (also with Preview off), no other effect dialog opens
// beside them, OK applies, and closing the frame closes them.
TEST(ToneDialog, ModelessOneAtATimeAndClosedWithTheView) {
  Window w;
  w.Menu("&Levels...")->trigger();
  auto* levels = dynamic_cast<app::LevelsDialog*>(app::CurrentPreviewDialog());
  ASSERT_NE(levels, nullptr);
  EXPECT_TRUE(levels->isVisible());
  EXPECT_FALSE(levels->isModal());
  EXPECT_TRUE(IsModalRunning());
  levels->findChild<QSpinBox*>("outputHigh")->setValue(128);
  const auto halved = [](uint8_t v) { return uint8_t(v * 128 / 255); };
  EXPECT_EQ(w.PaintedDiffering(halved), 0);
  levels->findChild<QCheckBox*>("preview")->setChecked(false);
  EXPECT_TRUE(IsModalRunning());
  EXPECT_EQ(w.PaintedDiffering(kUnchanged), 0);
  // Neither another effect's dialog nor a second tone dialog opens.
  w.Menu("Solarize...")->trigger();
  w.Menu("Curves...")->trigger();
  EXPECT_EQ(app::CurrentEffectDialog(), nullptr);
  EXPECT_EQ(app::CurrentPreviewDialog(), levels);
  Press(levels, QDialogButtonBox::Ok);
  EXPECT_EQ(app::CurrentPreviewDialog(), nullptr);
  EXPECT_FALSE(IsModalRunning());
  EXPECT_EQ(w.ImageDiffering(halved), 0);
  EXPECT_EQ(w.View().GetDocument().GetUndoRecord().name, "Color Level");
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  // Once it is gone another effect opens; then Curves is refused beside it.
  w.Menu("Solarize...")->trigger();
  ASSERT_NE(app::CurrentEffectDialog(), nullptr);
  w.Menu("Curves...")->trigger();
  EXPECT_EQ(app::CurrentPreviewDialog(), app::CurrentEffectDialog());
  Press(app::CurrentEffectDialog(), QDialogButtonBox::Cancel);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  w.Menu("Curves...")->trigger();
  ASSERT_NE(dynamic_cast<app::CurvesDialog*>(app::CurrentPreviewDialog()), nullptr);
  w.window.SetSaveQuestion([](const QString&) { return app::MainWindow::SaveAnswer::No; });
  w.window.Area()->activeSubWindow()->close();
  for (int round = 0; round < 2; ++round) QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(w.window.DocumentCount(), 0);
  EXPECT_EQ(app::CurrentPreviewDialog(), nullptr);
  EXPECT_FALSE(IsModalRunning());
}

// A click with the Text tool shows the Text dialog; OK writes its fields
// into the settings and places the text as a floater at the click, Cancel
// changes neither.
TEST(TextDialog, WritesTheSettingsAndPlacesTheText) {
  platform::TextRasterizer* previous = platform::CurrentTextRasterizer();
  platform::InstallQtTextRasterizer();
  Window w;
  ToolSettings().SelectTool(ViewTool::Text);
  w.View().OnToolChanged();
  ToolSettings().textSettings.text = "old";
  const TextSettings before = ToolSettings().textSettings;
  const platform::Rect shown = w.View().DisplayedImageRect();
  QWidget* viewport = w.window.ActiveViewWidget()->viewport();

  Click(viewport, {shown.left + 5, shown.top + 6});
  app::TextDialog* dialog = app::CurrentTextDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), "Text");
  EXPECT_EQ(dialog->findChild<QPlainTextEdit*>("text")->toPlainText(), "old");
  dialog->findChild<QPlainTextEdit*>("text")->setPlainText("Edit\nme");
  dialog->findChild<QComboBox*>("size")->setCurrentText("20");
  Press(dialog, QDialogButtonBox::Cancel);
  EXPECT_EQ(app::CurrentTextDialog(), nullptr);
  EXPECT_EQ(ToolSettings().textSettings.text, before.text);
  EXPECT_EQ(ToolSettings().textSettings.size, before.size);
  EXPECT_FALSE(w.Doc().HasFloater());
  EXPECT_FALSE(IsModalRunning());
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  Click(viewport, {shown.left + 5, shown.top + 6});
  dialog = app::CurrentTextDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(IsModalRunning());
  dialog->findChild<QPlainTextEdit*>("text")->setPlainText("Ab\nCd");
  dialog->findChild<QComboBox*>("font")->setCurrentText("DejaVu Sans");
  dialog->findChild<QComboBox*>("size")->setCurrentText("20");
  dialog->findChild<QComboBox*>("unit")->setCurrentText("Points");
  dialog->findChild<QPushButton*>("bold")->setChecked(true);
  dialog->findChild<QPushButton*>("underline")->setChecked(true);
  const QFont sample = dialog->findChild<QLabel*>("sample")->font();
  EXPECT_EQ(dialog->findChild<QLabel*>("sample")->text(), "AaBbYyZz");
  EXPECT_EQ(sample.family(), "DejaVu Sans");
  EXPECT_EQ(sample.pointSize(), 20);
  EXPECT_TRUE(sample.bold());
  EXPECT_FALSE(sample.italic());
  EXPECT_TRUE(sample.underline());
  Press(dialog, QDialogButtonBox::Ok);

  const TextSettings& after = ToolSettings().textSettings;
  EXPECT_EQ(after.text, "Ab\nCd");
  EXPECT_EQ(after.font, "DejaVu Sans");
  EXPECT_EQ(after.size, 20);
  EXPECT_TRUE(after.sizeInPoints);
  EXPECT_TRUE(after.bold);
  EXPECT_FALSE(after.italic);
  EXPECT_TRUE(after.underline);
  EXPECT_FALSE(IsModalRunning());
  // The text floats with its box's corner at the click (1:1).
  ASSERT_TRUE(w.Doc().HasFloater());
  EXPECT_EQ(w.Doc().SelectionBox().left, 5);
  EXPECT_EQ(w.Doc().SelectionBox().top, 6);
  EXPECT_EQ(w.Doc().GetUndoRecord().kind, 30);
  // The image under it is unchanged until the floater drops.
  EXPECT_EQ(w.ImageDiffering(kUnchanged), 0);
  platform::SetTextRasterizer(previous);
}

}  // namespace
