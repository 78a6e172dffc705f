// The Monitor Gamma dialog driven through its widgets (keys on the slider,
// typing in the field, the OK and Cancel buttons), and the profile dumps of
// the "save ICM" commands against the command line's `icc dump`.
#include <QApplication>
#include <QDialogButtonBox>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/app_settings.h"
#include "app/color_commands.h"
#include "app/monitor_gamma_dialog.h"
#include "color/color_settings.h"
#include "platform/messages.h"
#include "test_support.h"

namespace {

using testing_support::DataPath;
using testing_support::ShellQuote;

void SendKey(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QApplication::sendEvent(widget, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
  QApplication::sendEvent(widget, &release);
}

// Replaces the field's text as a user would: select all, then type.
void Type(QLineEdit* edit, const QString& text) {
  SendKey(edit, Qt::Key_A, Qt::ControlModifier);
  SendKey(edit, Qt::Key_Backspace);
  for (const QChar c : text) SendKey(edit, Qt::Key_unknown, Qt::NoModifier, QString(c));
}

// One user step: a key on the slider, or text typed into the field.
struct Step {
  int sliderKey = 0;
  const char* typed = nullptr;
  int settingAfter;  // CurrentAppSettings().gamma right after the step
};

TEST(MonitorGamma, MovingStoresTruncatedHundredthsOkRoundsCancelRestores) {
  const struct Case {
    const char* name;
    int start;
    std::vector<Step> steps;
    bool ok;
    int final;
  } cases[] = {
      // Line step 0.01, page step 0.1; Cancel puts the start back.
      {"slider keys, cancel", 180, {{Qt::Key_Right, nullptr, 181}, {Qt::Key_PageUp, nullptr, 191},
                                   {Qt::Key_End, nullptr, 500}}, false, 180},
      {"slider keys, ok", 180, {{Qt::Key_Left, nullptr, 179}, {Qt::Key_PageDown, nullptr, 169}}, true, 169},
      // 2.237 x 100 = 223.7: 223 while typing, 224 on OK; 2.234 stays 223.
      {"typed thousandths round up on ok", 100, {{0, "2.237", 223}}, true, 224},
      {"typed thousandths round down on ok", 100, {{0, "2.234", 223}}, true, 223},
      // 1.15, 0.29 and 1.005 are below their decimal value in binary.
      {"typed hundredths are exact", 100, {{0, "1.15", 115}, {0, "0.29", 29}}, true, 29},
      {"half a hundredth rounds up", 100, {{0, "1.005", 100}}, true, 101},
      // Out of range is clamped; text that is no number leaves the value.
      {"clamped and ignored", 100, {{0, "9", 500}, {0, "x1", 500}, {0, "-1", 0}, {0, "", 0}}, true, 0},
      {"typing then slider", 100, {{0, "2.237", 223}, {Qt::Key_Right, nullptr, 225}}, true, 225},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app::CurrentAppSettings().gamma = c.start;
    app::MonitorGammaDialog dialog;
    auto* slider = dialog.findChild<QSlider*>("gammaSlider");
    auto* edit = dialog.findChild<QLineEdit*>("gammaEdit");
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_TRUE(slider && edit && buttons);
    EXPECT_EQ(slider->value(), c.start);
    EXPECT_DOUBLE_EQ(edit->text().toDouble(), c.start / 100.0);
    for (const Step& step : c.steps) {
      if (step.sliderKey) {
        SendKey(slider, step.sliderKey);
        EXPECT_DOUBLE_EQ(edit->text().toDouble(), slider->value() / 100.0);
      } else {
        Type(edit, step.typed);
        EXPECT_EQ(edit->text(), step.typed);
      }
      EXPECT_EQ(app::CurrentAppSettings().gamma, step.settingAfter) << (step.typed ? step.typed : "key");
    }
    buttons->button(c.ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    EXPECT_EQ(dialog.result(), c.ok ? QDialog::Accepted : QDialog::Rejected);
    EXPECT_EQ(app::CurrentAppSettings().gamma, c.final);
  }
  app::CurrentAppSettings().gamma = 100;
}

// Each band: black on its first row, the full colour on the next, and a
// solid patch of 255 x 0.5^(1/gamma) in the middle, repainted as the slider moves.
TEST(MonitorGamma, TestPictureShowsStripesAndTheMatchingSolidLevel) {
  app::CurrentAppSettings().gamma = 100;
  app::MonitorGammaDialog dialog;
  auto* slider = dialog.findChild<QSlider*>("gammaSlider");
  auto* picture = dialog.findChild<QWidget*>("testPicture");
  ASSERT_TRUE(slider && picture);
  dialog.resize(400, 360);
  dialog.show();
  const int masks[4][3] = {{1, 1, 1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (const int hundredths : {220, 100, 45, 0}) {
    SCOPED_TRACE(hundredths);
    slider->setValue(hundredths);
    const double gamma = hundredths / 100.0;
    const int level = gamma > 0 ? static_cast<int>(std::lround(255 * std::pow(0.5, 1 / gamma))) : 0;
    const QImage image = picture->grab().toImage();
    const int bandHeight = image.height() / 4;
    for (int band = 0; band < 4; ++band) {
      const int top = band * image.height() / 4;
      const auto& m = masks[band];
      EXPECT_EQ(image.pixelColor(image.width() / 2, top + bandHeight / 2), QColor(level * m[0], level * m[1], level * m[2]));
      EXPECT_EQ(image.pixelColor(2, top), QColor(Qt::black));
      EXPECT_EQ(image.pixelColor(2, top + 1), QColor(255 * m[0], 255 * m[1], 255 * m[2]));
    }
  }
  dialog.reject();
}

// Run modally, Escape answers false and puts the start value back; so does
// destroying a dialog that is still open.
TEST(MonitorGamma, EscapeOrDestroyingAnOpenDialogRestoresTheStartValue) {
  app::CurrentAppSettings().gamma = 120;
  QTimer::singleShot(0, [] {
    QWidget* dialog = QApplication::activeModalWidget();
    SendKey(dialog->findChild<QSlider*>("gammaSlider"), Qt::Key_PageUp);
    EXPECT_EQ(app::CurrentAppSettings().gamma, 130);
    SendKey(dialog, Qt::Key_Escape);
  });
  EXPECT_FALSE(app::RunMonitorGamma(nullptr));
  EXPECT_EQ(app::CurrentAppSettings().gamma, 120);
  {
    app::MonitorGammaDialog dialog;
    dialog.findChild<QSlider*>("gammaSlider")->setValue(300);
    EXPECT_EQ(app::CurrentAppSettings().gamma, 300);
  }
  EXPECT_EQ(app::CurrentAppSettings().gamma, 120);
  app::CurrentAppSettings().gamma = 100;
}

TEST(SaveIcm, WritesTheCommandLinesDumpOverAnyOlderFile) {
  const struct {
    const char* profile;
    int intent;
    bool printer;
  } cases[] = {
      {"third_party/lcms2-testbed/test1.icc", 1, true},
      {"third_party/lcms2-testbed/test2.icc", 2, true},
      {"third_party/debian/argyll-ref/sRGB.icm", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    testing_support::TempDir dir;
    const std::string expectedPath = dir.File("expected.txt");
    const auto cli = testing_support::RunCommand(
        ShellQuote(testing_support::CliPath()) + " icc dump " + ShellQuote(DataPath(c.profile)) + " --intent " +
        std::to_string(c.intent) + " --output " + ShellQuote(expectedPath));
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    const std::string target = dir.File(c.printer ? "VIVIDICM_prn.txt" : "VIVIDICM_mntr.txt");
    testing_support::WriteBytes(target, std::vector<uint8_t>(100000, 'x'));

    color::ColorManagementSettings settings;
    settings.intent = c.intent;
    // The other role's profile is the wrong one to dump.
    settings.outputPath = c.printer ? DataPath(c.profile) : DataPath("third_party/lcms2-testbed/test1.icc");
    settings.displayPath = c.printer ? DataPath("third_party/debian/argyll-ref/sRGB.icm") : DataPath(c.profile);
    platform::RecordingMessageSink messages;
    const auto written = c.printer ? app::SavePrinterIcm(settings, dir.Path().string())
                                   : app::SaveMonitorIcm(settings, dir.Path().string());
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, target);
    EXPECT_EQ(testing_support::ReadBytes(target), testing_support::ReadBytes(expectedPath));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2) << "temporary left behind";
  }
}

TEST(SaveIcm, RefusesWithAMessageAndWritesNothing) {
  testing_support::TempDir dir;
  const struct {
    const char* name;
    std::string profile;
    std::string folder;
    const char* messageStart;
  } cases[] = {
      {"no profile", "", dir.Path().string(), "No "},
      {"missing file", dir.File("absent.icc"), dir.Path().string(), "Cannot read the profile "},
      {"damaged file", DataPath("third_party/lcms2-testbed/toosmall.icc"), dir.Path().string(), "Cannot read the profile "},
      {"missing folder", DataPath("third_party/debian/argyll-ref/sRGB.icm"), dir.File("none"), "Cannot write "},
  };
  for (const auto& c : cases) {
    for (const bool printer : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (printer ? " printer" : " monitor"));
      color::ColorManagementSettings settings;
      (printer ? settings.outputPath : settings.displayPath) = c.profile;
      platform::RecordingMessageSink messages;
      const auto written = printer ? app::SavePrinterIcm(settings, c.folder) : app::SaveMonitorIcm(settings, c.folder);
      EXPECT_FALSE(written);
      ASSERT_EQ(messages.shown.size(), 1u);
      EXPECT_EQ(messages.shown[0].text.rfind(c.messageStart, 0), 0u) << messages.shown[0].text;
      if (c.profile.empty()) {
        EXPECT_NE(messages.shown[0].text.find(printer ? "printer" : "monitor"), std::string::npos);
      }
      EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    }
  }
}

}  // namespace
