// Printing from the window: the print dialog's and Page Setup's fields as
// they reach the print job, a print through the dialog into a private CUPS
// queue against `vividrome-cli print`, cancelling from the progress panel,
// and the dot preview against planes halftoned here.
#include <cups/cups.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>

#include "../print/private_cups.h"
#include "app/cmyk_setup_dialog.h"
#include "app/dot_preview.h"
#include "app/page_setup_dialog.h"
#include "app/print_dialog.h"
#include "app/print_progress_panel.h"
#include "color/curves.h"
#include "document/vivid_doc.h"
#include "editing/display_color.h"
#include "image/dibitmap.h"
#include "image/result_codes.h"
#include "platform/messages.h"
#include "print/halftone.h"
#include "print/rescale.h"
#include "print/separation.h"
#include "test_support.h"

namespace {

using testing_support::ShellQuote;
using testing_support::TempDir;

template <typename W>
W* Field(QWidget& dialog, const char* name) {
  W* widget = dialog.findChild<W*>(name);
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

// Runs the event loop until `done` or 60 s have passed.
template <typename F>
bool WaitFor(F done) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < 60000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

// Runs `job` on the progress panel and waits for its outcome; `onFirst`
// runs with the panel at its first report.
print::PrintOutcome RunOnPanel(const print::PrintJob& job, const CDIBitmap& image,
                               const std::function<void(app::PrintProgressPanel&)>& onFirst = nullptr) {
  std::optional<print::PrintOutcome> outcome;
  app::PrintProgressPanel* panel =
      app::PrintProgressPanel::Start(nullptr, job, image, [&](const print::PrintOutcome& o) { outcome = o; });
  EXPECT_NE(panel, nullptr);
  if (onFirst && panel) {
    QLabel* elapsed = Field<QLabel>(*panel, "elapsed");
    if (WaitFor([&] { return outcome || !elapsed->text().isEmpty(); }) && !outcome) onFirst(*panel);
  }
  EXPECT_TRUE(WaitFor([&] { return outcome.has_value(); }));
  return outcome.value_or(print::PrintOutcome{-999, "no outcome"});
}

// The CMYK Setup curves at identity and colour matching off while it lives
// and after: prints compared with plain command lines must not see what
// another test left stored.
struct PlainColourChoices {
  PlainColourChoices() { Reset(); }
  ~PlainColourChoices() { Reset(); }
  static void Reset() {
    app::CurrentSeparationCurves() = color::CurveSet{};
    SetDisplayColorSettings(color::ColorManagementSettings{});
  }
};

struct DialogCase {
  bool port;
  int typeIndex;  // in the printer-type list
  int resolutionIndex;
  const char* colorButton;
  bool invert, duplex;
  int firstPage, lastPage;
  // Expected settings.
  int printerType, dpi, outputColor;
};

// Every field of the print dialog lands in the job's settings and printer.
TEST(PrintDialog, FieldsReachThePrintJob) {
  const DialogCase cases[] = {
      // The list: "HP Design Jet Compatible" (2) first, then EPSON (1).
      {true, 1, 1, "color", false, false, 1, 1, print::kPrinterEpson, 720, 2},
      {true, 0, 0, "cmyk", true, true, 3, 2, print::kPrinterDesignJet, 300, 3},
      {true, 0, 1, "gray", false, false, 1, 4, print::kPrinterDesignJet, 600, 1},
      // The PDF device: 72, 150, 200, 300, 360, 600, 720, 1200 offered.
      {false, 1, 1, "gray", true, false, 2, 2, 0, 150, 1},
  };
  TempDir dir;
  for (const DialogCase& c : cases) {
    SCOPED_TRACE(std::string(c.colorButton) + " type " + std::to_string(c.printerType));
    app::PrintDialog dialog(app::PrintChoices{}, app::PrintDialog::Mode::Print, nullptr);
    Field<QCheckBox>(dialog, "printToPort")->setChecked(c.port);
    auto* type = Field<QComboBox>(dialog, "printerType");
    EXPECT_EQ(type->isEnabled(), c.port);
    type->setCurrentIndex(c.typeIndex);
    Field<QComboBox>(dialog, "resolution")->setCurrentIndex(c.resolutionIndex);
    Field<QCheckBox>(dialog, "printToFile")->setChecked(true);
    Field<QLineEdit>(dialog, "file")->setText(QString::fromStdString(dir.File("out.prn")));
    Field<QRadioButton>(dialog, c.colorButton)->setChecked(true);
    Field<QCheckBox>(dialog, "invert")->setChecked(c.invert);
    Field<QCheckBox>(dialog, "duplex")->setChecked(c.duplex);
    Field<QSpinBox>(dialog, "firstPage")->setValue(c.firstPage);
    Field<QSpinBox>(dialog, "lastPage")->setValue(c.lastPage);

    app::PageChoices page;
    page.layout.flip = true;
    print::PrintJob job;
    const print::PrintRequestCheck check = app::PreparePrint(dialog.Choices(), page, job);
    ASSERT_TRUE(check.Accepted()) << check.text;
    const print::PrintSettings& s = job.settings;
    EXPECT_EQ(s.printToPort, c.port);
    EXPECT_EQ(s.printerType, c.printerType);
    EXPECT_EQ(job.printer.dpiX, c.dpi);
    EXPECT_EQ(s.outputColor, c.outputColor);
    EXPECT_EQ(s.invert, c.invert);
    EXPECT_EQ(s.duplex, c.duplex);
    EXPECT_TRUE(s.flip);
    EXPECT_EQ(s.printToFile, dir.File("out.prn"));
    EXPECT_EQ(s.firstPage, c.firstPage);
    EXPECT_EQ(s.lastPage, c.lastPage);
  }
}

// A 1000 x 800 image at 100 dpi: 14400 x 11520 twips natural size.
class PageSetupFields : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(image_.Create(1000, 800, 24, 0));
    image_.SetResolution(100, 100);
  }
  CDIBitmap image_;
  const double natW_ = 14400, natH_ = 11520;
};

struct LayoutCase {
  const char* name;
  bool landscape, userScale, distortion, userPosition;
  double width, height;
  int sizeUnit, positionUnit;  // list indexes: "%", "cm", "inch" / "cm", "inch"
  double left, top;
};

TEST_F(PageSetupFields, FieldsGiveTheLayoutOfTheScaleAndPositionRules) {
  // A4 on the PDF device (no minimum margins), 10 mm margins:
  // 1000 hundredths of a millimetre = 1000 x 1440 / 2540 = 566 twips.
  const int paperW = static_cast<int>(std::lround(210 * 1440 / 25.4));
  const int paperH = static_cast<int>(std::lround(297 * 1440 / 25.4));
  const int margin = 1000 * 1440 / 2540;
  const LayoutCase cases[] = {
      {"fit", false, false, false, false, 0, 0, 0, 0, 0, 0},
      {"fit landscape", true, false, false, false, 0, 0, 0, 0, 0, 0},
      {"fit distorted", false, false, true, false, 0, 0, 0, 0, 0, 0},
      {"40% placed", false, true, false, true, 40, 40, 0, 0, 2, 2.54},
      {"cm distorted", false, true, true, false, 10, 5, 1, 0, 0, 0},
      {"inch placed in inch", false, true, true, true, 3, 2, 2, 1, 0.5, 1},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    app::PageChoices start;
    start.marginsMm = std::array<double, 4>{10, 10, 10, 10};
    app::PageSetupDialog dialog(start, app::PrintChoices{}, &image_);
    Field<QRadioButton>(dialog, c.landscape ? "landscape" : "portrait")->setChecked(true);
    Field<QRadioButton>(dialog, c.userScale ? "userScale" : "fitToPage")->setChecked(true);
    Field<QCheckBox>(dialog, "allowDistortion")->setChecked(c.distortion);
    Field<QComboBox>(dialog, "sizeUnit")->setCurrentIndex(c.sizeUnit);
    Field<QDoubleSpinBox>(dialog, "width")->setValue(c.width);
    Field<QDoubleSpinBox>(dialog, "height")->setValue(c.height);
    Field<QRadioButton>(dialog, c.userPosition ? "userPosition" : "center")->setChecked(true);
    Field<QComboBox>(dialog, "positionUnit")->setCurrentIndex(c.positionUnit);
    Field<QDoubleSpinBox>(dialog, "left")->setValue(c.left);
    Field<QDoubleSpinBox>(dialog, "top")->setValue(c.top);
    ASSERT_EQ(dialog.LayoutResult(), kResultOk);

    const int pw = c.landscape ? paperH : paperW, ph = c.landscape ? paperW : paperH;
    const int wp = pw - 2 * margin, hp = ph - 2 * margin;
    float sx, sy;
    if (!c.userScale && c.distortion) {
      sx = static_cast<float>(wp / natW_);
      sy = static_cast<float>(hp / natH_);
    } else if (!c.userScale) {
      sx = sy = static_cast<float>(std::min(wp / natW_, hp / natH_));
    } else {
      const double perUnit[] = {0, 1440 / 2.54, 1440};
      auto twips = [&](double v, double natural) {
        return c.sizeUnit == 0 ? std::trunc(natural * v * 0.01 + 0.5) : std::trunc(v * perUnit[c.sizeUnit] + 0.5);
      };
      sx = static_cast<float>(twips(c.width, natW_) / natW_);
      sy = static_cast<float>(twips(c.height, natH_) / natH_);
    }
    const int w = static_cast<int>(natW_ * sx + 0.5), h = static_cast<int>(natH_ * sy + 0.5);
    int x = std::max(0, (wp - w) / 2), y = std::max(0, (hp - h) / 2);
    if (c.userPosition) {
      const double perUnit = c.positionUnit == 0 ? 1440 / 2.54 : 1440;
      x = static_cast<int>(c.left * perUnit + 0.5);
      y = static_cast<int>(c.top * perUnit + 0.5);
    }
    const print::PageLayout& layout = dialog.Layout();
    EXPECT_EQ(layout.scaleX, sx);
    EXPECT_EQ(layout.scaleY, sy);
    EXPECT_EQ(layout.marginsTwips, (print::Margins{margin, margin, margin, margin}));
    EXPECT_EQ(layout.imageRect.left, x);
    EXPECT_EQ(layout.imageRect.top, y);
    EXPECT_EQ(layout.imageRect.right, x + w);
    EXPECT_EQ(layout.imageRect.bottom, y + h);
  }
}

TEST_F(PageSetupFields, UnitsConvertProportionsFollowAndMarginsAreRaised) {
  app::PrintChoices epson;
  epson.printToPort = true;
  epson.printerType = print::kPrinterEpson;
  app::PageSetupDialog dialog(app::PageChoices{}, epson, &image_);
  // The direct printers feed one way.
  EXPECT_FALSE(Field<QRadioButton>(dialog, "landscape")->isEnabled());

  Field<QRadioButton>(dialog, "userScale")->setChecked(true);
  auto* width = Field<QDoubleSpinBox>(dialog, "width");
  auto* height = Field<QDoubleSpinBox>(dialog, "height");
  width->setValue(50);  // % of 10 inch; the height follows: 50 % of 8 inch
  EXPECT_DOUBLE_EQ(height->value(), 50);
  Field<QComboBox>(dialog, "sizeUnit")->setCurrentIndex(2);  // inch: 7200 / 1440, 5760 / 1440
  EXPECT_DOUBLE_EQ(width->value(), 5);
  EXPECT_DOUBLE_EQ(height->value(), 4);
  width->setValue(2.5);  // 3600 twips: the height 3600 x 0.8 = 2880 = 2 inch
  EXPECT_DOUBLE_EQ(height->value(), 2);

  // The EPSON printer's top margin is 41/360 inch: trunc(41 x 2540 / 360 +
  // 0.5) = 289 hundredths of a millimetre.
  auto* top = Field<QLineEdit>(dialog, "marginTop");
  top->setText("1.00");
  platform::RecordingMessageSink messages;
  dialog.accept();
  EXPECT_EQ(top->text(), "2.89");
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{print::kMarginsCorrectedText});
  ASSERT_TRUE(dialog.Choices().marginsMm.has_value());
  EXPECT_DOUBLE_EQ((*dialog.Choices().marginsMm)[1], 2.89);
}

// Through the dialog onto the private queue as a raw EPSON stream: the bytes
// the command line writes for the same options.
TEST(PrintOnQueue, DialogPrintSendsTheCommandLinesBytes) {
  const PlainColourChoices plain;
  TempDir dir;
  cups_test::PrivateCups cups;
  ASSERT_EQ(cups.Start(dir.Path()), "");
  setenv("CUPS_SERVER", cups.Server().c_str(), 1);
  cupsSetServer(cups.Server().c_str());
  const std::string image = testing_support::DataPath("png/im_rgb8.png");
  const std::string expected = dir.File("expected.prn");
  const auto made = testing_support::RunCommand(ShellQuote(VIVID_CLI) + " print " + ShellQuote(image) +
                                                " --printer epson --dpi 720 --gray --invert --output " +
                                                ShellQuote(expected));
  ASSERT_EQ(made.exitCode, 0) << made.err;

  app::PrintDialog dialog(app::PrintChoices{}, app::PrintDialog::Mode::Print, nullptr);
  auto* queue = Field<QComboBox>(dialog, "queue");
  const int at = queue->findData(QString(cups_test::kQueue));
  ASSERT_GE(at, 0) << "the private queue is not listed";
  queue->setCurrentIndex(at);
  Field<QCheckBox>(dialog, "printToPort")->setChecked(true);
  Field<QComboBox>(dialog, "printerType")->setCurrentIndex(1);  // EPSON
  auto* resolution = Field<QComboBox>(dialog, "resolution");
  resolution->setCurrentIndex(resolution->findData(720));
  Field<QRadioButton>(dialog, "gray")->setChecked(true);
  Field<QCheckBox>(dialog, "invert")->setChecked(true);

  CVividDoc document;
  ASSERT_TRUE(document.OnOpenDocument(image));
  print::PrintJob job;
  const print::PrintRequestCheck check = app::PreparePrint(dialog.Choices(), app::PageChoices{}, job);
  ASSERT_TRUE(check.Accepted()) << check.text;
  const print::PrintOutcome outcome = RunOnPanel(job, document.GetImage());
  EXPECT_EQ(outcome.result, 0) << outcome.message;
  ASSERT_TRUE(cups.WaitUntilQueueEmpty());
  const std::vector<uint8_t> sent = testing_support::ReadBytes(cups.OutputFile());
  EXPECT_GT(sent.size(), 1000u);
  EXPECT_TRUE(sent == testing_support::ReadBytes(expected)) << sent.size() << " bytes differ from the command line's";
  unsetenv("CUPS_SERVER");
  cupsSetServer(nullptr);
}

// A ".cck" file of `tables`, written byte by byte: the header, 4, the four
// tables, 17, then per ink mode 2, four zero bytes and 17 unused points.
void WriteCck(const std::string& path, const uint8_t (&tables)[4][256]) {
  std::string bytes(color::kCurveFileHeader, color::kCurveFileHeaderSize);
  auto put = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  put(4);
  for (const auto& table : tables) bytes.append(reinterpret_cast<const char*>(table), 256);
  put(17);
  for (int ink = 0; ink < 4; ++ink) {
    put(2);
    put(0);
    for (int point = 0; point < 3 * 17; ++point) put(0);
  }
  ASSERT_EQ(bytes.size(), 1912u);
  std::ofstream(path, std::ios::binary) << bytes;
}

// The PDF without its creation time.
std::string PdfText(const std::string& path) {
  const std::vector<uint8_t> bytes = testing_support::ReadBytes(path);
  std::string text(bytes.begin(), bytes.end());
  const size_t at = text.find("/CreationDate (");
  if (at != std::string::npos) text.erase(at, text.find(')', at) - at);
  return text;
}

struct ColourChoiceCase {
  const char* name;
  bool curves, matching;
  int intent;
  bool direct;
  // Whether the command line's print of the same gets --curves and the
  // profile options (never for the PDF device: it takes neither).
  bool cliCurves, cliProfiles;
};

// The CMYK Setup curves and the Color Management profiles reach a direct
// print as the command line's --curves and --input-profile /
// --separation-profile / --intent give them: the same bytes. Matching
// switched off, or the PDF device, prints as without them.
TEST(PrintColourChoices, CurvesAndProfilesPrintAsTheCommandLines) {
  const PlainColourChoices reset;
  TempDir dir;
  const std::string image = testing_support::DataPath("png/im_rgb8.png");
  const std::string input = testing_support::DataPath("third_party/debian/argyll-ref/sRGB.icm");
  const std::string separation = testing_support::DataPath("third_party/lcms2-testbed/test1.icc");
  // Curves unlike the identity in every ink: a lift, a cut, a fold and a
  // black tint (black prints its curve's value at 0).
  uint8_t tables[4][256];
  for (int v = 0; v < 256; ++v) {
    tables[0][v] = static_cast<uint8_t>(40 + v * 215 / 255);
    tables[1][v] = static_cast<uint8_t>(v * 150 / 255);
    tables[2][v] = static_cast<uint8_t>(v < 128 ? 2 * v : 2 * (255 - v));
    tables[3][v] = static_cast<uint8_t>(v == 0 ? 90 : v);
  }
  const std::string cck = dir.File("inks.cck");
  WriteCck(cck, tables);
  const std::string profiles = " --input-profile " + ShellQuote(input) + " --separation-profile " +
                               ShellQuote(separation) + " --intent ";

  const ColourChoiceCase cases[] = {
      {"curves", true, false, 0, true, true, false},
      {"profiles, saturation", false, true, 2, true, false, true},
      {"curves and profiles, relative", true, true, 1, true, true, true},
      {"matching off keeps the profiles out", true, false, 1, true, true, false},
      {"the PDF device takes neither", true, true, 1, false, false, false},
  };
  CVividDoc document;
  ASSERT_TRUE(document.OnOpenDocument(image));
  const std::string plain = dir.File("plain.prn");
  ASSERT_EQ(testing_support::RunCommand(ShellQuote(VIVID_CLI) + " print " + ShellQuote(image) +
                                        " --printer designjet --output " + ShellQuote(plain))
                .exitCode,
            0);
  int n = 0;
  for (const ColourChoiceCase& c : cases) {
    SCOPED_TRACE(c.name);
    color::CurveSet curves;
    if (c.curves)
      for (int ink = 0; ink < 4; ++ink) curves.SetTable(ink, tables[ink]);
    app::CurrentSeparationCurves() = curves;
    color::ColorManagementSettings matching;
    matching.enabled = c.matching;
    matching.inputPath = input;
    matching.separationPath = separation;
    matching.intent = c.intent;
    SetDisplayColorSettings(matching);

    const std::string suffix = std::to_string(n++) + (c.direct ? ".prn" : ".pdf");
    app::PrintChoices choices;
    choices.printToPort = c.direct;
    choices.printerType = print::kPrinterDesignJet;
    choices.printToFile = true;
    choices.file = dir.File("dialog" + suffix);
    print::PrintJob job;
    const print::PrintRequestCheck check = app::PreparePrint(choices, app::PageChoices{}, job);
    ASSERT_TRUE(check.Accepted()) << check.text;
    const print::PrintOutcome outcome = print::PrintImage(job, document.GetImage());
    ASSERT_EQ(outcome.result, 0) << outcome.message;

    std::string options = c.direct ? " --printer designjet" : " --device";
    if (c.cliCurves) options += " --curves " + ShellQuote(cck);
    if (c.cliProfiles) options += profiles + std::to_string(c.intent);
    const std::string expected = dir.File("cli" + suffix);
    const auto made = testing_support::RunCommand(ShellQuote(VIVID_CLI) + " print " + ShellQuote(image) + options +
                                                  " --output " + ShellQuote(expected));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    if (c.direct) {
      const std::vector<uint8_t> sent = testing_support::ReadBytes(choices.file);
      EXPECT_TRUE(sent == testing_support::ReadBytes(expected)) << sent.size() << " bytes differ from the command line's";
      // The choices changed the print: not the plain stream.
      EXPECT_FALSE(sent == testing_support::ReadBytes(plain));
    } else {
      EXPECT_EQ(PdfText(choices.file).rfind("%PDF-", 0), 0u);
      EXPECT_TRUE(PdfText(choices.file) == PdfText(expected));
    }
  }
}

// Cancel on the panel stops the job: a cancelled job, and the file it was
// writing never appears.
TEST(PrintProgressPanel, CancelStopsTheJob) {
  TempDir dir;
  app::PrintChoices choices;
  choices.printToPort = true;
  choices.printerType = print::kPrinterEpson;
  choices.dpi = 720;
  choices.printToFile = true;
  choices.file = dir.File("cancelled.prn");
  app::PageChoices page;
  page.paperCode = 8;  // A3: a long job at 720 dpi
  print::PrintJob job;
  ASSERT_TRUE(app::PreparePrint(choices, page, job).Accepted());
  CDIBitmap image;
  ASSERT_TRUE(image.Create(400, 300, 24, 0));
  std::mt19937 rng(5);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 1200; ++x) image.RowPointer(y)[x] = static_cast<uint8_t>(rng());

  bool clicked = false;
  const print::PrintOutcome outcome = RunOnPanel(job, image, [&](app::PrintProgressPanel& panel) {
    Field<QPushButton>(panel, "cancel")->click();
    clicked = true;
  });
  ASSERT_TRUE(clicked) << "the job ended before its first report";
  EXPECT_EQ(outcome.result, kResultCancelled) << outcome.message;
  EXPECT_FALSE(std::filesystem::exists(choices.file));
  EXPECT_EQ(app::PrintProgressPanel::Running(), nullptr);
}

// The preview's dots are the halftoner's: the page rescaled, separated and
// halftoned here as one piece (one band: the EPSON path primes the
// halftoning with 25 copies of the first row read bottom-up).
TEST(DotPreview, DecodesToTheDotsTheHalftonerMade) {
  CDIBitmap image;
  ASSERT_TRUE(image.Create(41, 29, 24, 0));
  image.SetResolution(72, 72);
  std::mt19937 rng(99);
  for (int y = 0; y < 29; ++y)
    for (int x = 0; x < 3 * 41; ++x) image.RowPointer(y)[x] = static_cast<uint8_t>(rng());

  // A 400 x 700 dot page at 360 dpi, printable everywhere; the image at
  // 100 % (820 x 580 twips = 205 x 145 dots) placed 0.1 inch (36 dots) in.
  print::PrintJob job;
  job.settings.printToPort = true;
  job.settings.printerType = print::kPrinterEpson;
  job.settings.curves.table[3][0] = 120;  // black ink is the black curve at 0: a tint
  print::PrinterInfo& p = job.printer;
  p.type = print::kPrinterEpson;
  p.dpiX = p.dpiY = 360;
  p.pageWidthDots = p.printableWidthDots = 400;
  p.pageHeightDots = p.printableHeightDots = 700;
  job.setup.paperWidthTwips = 400 * 4;
  job.setup.paperHeightTwips = 700 * 4;
  job.setup.scaleMode = print::ScaleMode::UserDefined;
  job.setup.positionMode = print::PositionMode::UserDefined;
  job.setup.positionUnit = print::EntryUnit::Inch;
  job.setup.left = job.setup.top = 0.1;
  constexpr int kLeft = 36, kTop = 36, kW = 205, kH = 145;

  app::DotPage page;
  ASSERT_TRUE(app::RenderDotPage(job, image, page)) << page.error;
  EXPECT_EQ(page.pageWidth, 400);
  EXPECT_EQ(page.pageHeight, 700);

  print::Rescaler rescaler;
  ASSERT_EQ(rescaler.Init(image, {0, 0, 41, 29}, kW, kH, 0, kW), 1);
  CDIBitmap band, first;
  ASSERT_TRUE(band.Create(kW, kH + 1, 24, 0));
  ASSERT_EQ(rescaler.RescaleRows(0, kH + 1, band), 1);
  ASSERT_TRUE(first.Create(kW, 26, 24, 0));
  for (int y = 0; y < 26; ++y) std::copy_n(band.RowPointer(0), kW * 3, first.RowPointer(y));
  std::vector<uint8_t> store(static_cast<size_t>(kW) * (kH + 1) * 4), prime(static_cast<size_t>(kW) * 26 * 4);
  uint8_t *planes[4], *primes[4];
  for (int c = 0; c < 4; ++c) {
    planes[c] = store.data() + static_cast<size_t>(kW) * (kH + 1) * c;
    primes[c] = prime.data() + static_cast<size_t>(kW) * 26 * c;
  }
  ASSERT_EQ(print::SeparateBand(band, planes, kW, kH + 1, false, false, job.settings.curves, nullptr), 1);
  ASSERT_EQ(print::SeparateBand(first, primes, kW, 26, true, false, job.settings.curves, nullptr), 1);
  print::HalftoneState state;
  ASSERT_EQ(state.Allocate(kW, kH), 1);
  ASSERT_EQ(print::DitherBand(state, primes, kTop, kW, 25), 1);
  ASSERT_EQ(print::DitherBand(state, planes, kTop, kW, kH), 1);

  for (int c = 0; c < 4; ++c) {
    long expected = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const bool dot = planes[c][static_cast<size_t>(y) * kW + x] == 255;
        expected += dot;
        ASSERT_EQ(page.dots.inks[c].Get(kTop + y, kLeft + x), dot) << "ink " << c << " row " << y << " dot " << x;
      }
    EXPECT_GT(expected, 0);
    EXPECT_EQ(page.dots.inks[c].Count(), expected) << "dots outside the image, ink " << c;
  }

  // Zoomed in to single dots: the first black dot is a block of 16 x 16
  // black screen pixels.
  long fx = -1, fy = -1;
  for (int y = 0; y < kH && fx < 0; ++y)
    for (int x = 0; x < kW && fx < 0; ++x)
      if (planes[3][static_cast<size_t>(y) * kW + x] == 255) fx = kLeft + x, fy = kTop + y;
  app::DotPreviewDialog dialog(page);
  dialog.SetZoom(1000);
  EXPECT_EQ(dialog.Zoom(), app::kMaxPixelsPerDot);
  QWidget* canvas = Field<QWidget>(dialog, "dotCanvas");
  const QImage shot = canvas->grab(QRect(fx * 16, fy * 16, 16, 16)).toImage();
  ASSERT_EQ(shot.size(), QSize(16, 16));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(shot.pixel(x, y) & 0xFFFFFF, 0u) << x << "," << y;
}

}  // namespace
