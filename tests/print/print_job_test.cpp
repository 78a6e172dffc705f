// The print job from the user's choices: every refusal, the completed
// printer facts and page setup, and the outcome told in words.
#include "print/print_job.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

#include "image/result_codes.h"
#include "platform/messages.h"
#include "platform/progress.h"
#include "test_support.h"

namespace {

using print::PrinterKind;
using print::PrintRefusal;
using print::PrintRequest;

PrintRequest ToFile(PrinterKind printer) {
  PrintRequest request;
  request.printer = printer;
  request.outputFile = "/nonexistent/out.prn";
  return request;
}

TEST(PreparePrintJob, RefusesEachChoiceThePrinterDoesNotTake) {
  testing_support::TempDir dir;
  const std::string missing = dir.File("none.cck");
  using K = PrinterKind;
  using R = PrintRequest&;
  const struct {
    const char* name;
    PrinterKind printer;
    std::function<void(PrintRequest&)> change;
    PrintRefusal refusal;
    int result;
  } cases[] = {
      {"both targets", K::Epson, [](R r) { r.queue = "q"; }, PrintRefusal::NoTarget, kResultInvalidParameter},
      {"EPSON at 500 dpi", K::Epson, [](R r) { r.dpi = 500; }, PrintRefusal::Resolution, kResultInvalidParameter},
      {"PDF at 1201 dpi", K::PdfDevice, [](R r) { r.dpi = 1201; }, PrintRefusal::Resolution, kResultInvalidParameter},
      {"paper 42", K::DesignJet, [](R r) { r.paperCode = 42; }, PrintRefusal::Paper, kResultInvalidParameter},
      {"scale 1001", K::Epson, [](R r) { r.scalePercent = 1001; }, PrintRefusal::Scale, kResultInvalidParameter},
      {"curves on PDF", K::PdfDevice, [](R r) { r.curvesFile = "c.cck"; }, PrintRefusal::CurvesOnDevice,
       kResultInvalidParameter},
      {"missing curves", K::Epson, [&](R r) { r.curvesFile = missing; }, PrintRefusal::CurveFile, kResultCannotOpen},
      {"profiles on PDF", K::PdfDevice, [](R r) { r.profiles = print::PrintProfiles{"a", "b", 0}; },
       PrintRefusal::ProfilesOnDevice, kResultInvalidParameter},
      {"intent 4", K::Epson, [](R r) { r.profiles = print::PrintProfiles{"a", "b", 4}; }, PrintRefusal::Intent,
       kResultInvalidParameter},
      {"offset on PDF", K::PdfDevice, [](R r) { r.offsetDots = {{0, 0}}; }, PrintRefusal::OffsetOnDevice,
       kResultInvalidParameter},
      // A4 at 360 dpi is trunc(210 x 360 / 25.4) = 2976 dots wide.
      {"offset off the page", K::Epson, [](R r) { r.offsetDots = {{2976, 0}}; }, PrintRefusal::Offset,
       kResultInvalidParameter},
      {"half a dot", K::Epson, [](R r) { r.offsetDots = {{0, 0.5}}; }, PrintRefusal::Offset, kResultInvalidParameter},
      {"over half of A5's 148 mm", K::DesignJet, [](R r) { r.paperCode = 11; r.marginsMm = {{0, 0, 74.01, 0}}; },
       PrintRefusal::Margins, kResultInvalidParameter},
  };
  for (const auto& c : cases) {
    PrintRequest request = ToFile(c.printer);
    c.change(request);
    print::PrintJob job;
    const print::PrintRequestCheck check = print::PreparePrintJob(request, job);
    EXPECT_EQ(check.refusal, c.refusal) << c.name;
    EXPECT_EQ(check.result, c.result) << c.name;
    EXPECT_FALSE(check.text.empty()) << c.name;
  }
  EXPECT_EQ(print::MarginLimitMm(11), 74.0);
  EXPECT_EQ(print::MarginLimitMm(4), 279.4 / 2);  // Ledger lies on its side
  EXPECT_EQ(print::MarginLimitMm(0), 0.0);
}

// The completed job against the formulas: dots = trunc(mm x dpi / 25.4),
// twips = round(mm x 1440 / 25.4), a margin in hundredths of a millimetre
// is value x 1440 / 2540 twips.
TEST(PreparePrintJob, CompletesTheSettingsPrinterAndPageSetup) {
  platform::RecordingMessageSink messages;
  PrintRequest request = ToFile(PrinterKind::Epson);
  request.dpi = 720;
  request.paperCode = 5;  // Legal, 215.9 x 355.6 mm
  request.offsetDots = {{100, 40}};
  request.marginsMm = {{20, 0.5, 10.004, 15}};  // the top below the offset's 40/360 inch
  request.scalePercent = 150;
  request.gray = request.flip = true;
  print::PrintJob job;
  ASSERT_TRUE(print::PreparePrintJob(request, job).Accepted());

  const print::PrinterInfo& p = job.printer;
  EXPECT_EQ(p.dpiX, 720);
  EXPECT_EQ(p.pageWidthDots, static_cast<int>(215.9 * 720 / 25.4));
  EXPECT_EQ(p.offsetX, 100);
  EXPECT_EQ(p.offsetY, 40);
  const int sideDots = static_cast<int>(3.0 * 720 / 25.4 + 0.5);
  EXPECT_EQ(p.printableWidthDots, p.pageWidthDots - 2 * sideDots);  // the offset leaves more than that
  EXPECT_EQ(p.printableHeightDots, p.pageHeightDots - 41 - 198);

  const print::PageSetup& setup = job.setup;
  EXPECT_EQ(setup.paperWidthTwips, static_cast<int>(std::lround(215.9 * 1440 / 25.4)));
  EXPECT_EQ(setup.paperHeightTwips, static_cast<int>(std::lround(355.6 * 1440 / 25.4)));
  const int raisedTop = static_cast<int>(std::trunc(40 * 2540.0 / 360 + 0.5));  // 282 hundredths of a mm
  EXPECT_EQ(setup.marginsTwips,
            (print::Margins{2000 * 1440 / 2540, raisedTop * 1440 / 2540, 1000 * 1440 / 2540, 1500 * 1440 / 2540}));
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{print::kMarginsCorrectedText});
  EXPECT_EQ(setup.scaleMode, print::ScaleMode::UserDefined);
  EXPECT_EQ(setup.sizeUnit, print::EntryUnit::Percent);
  EXPECT_EQ(setup.width, 150);
  EXPECT_EQ(setup.positionMode, print::PositionMode::Center);

  EXPECT_TRUE(job.settings.printToPort);
  EXPECT_EQ(job.settings.printerType, print::kPrinterEpson);
  EXPECT_EQ(job.settings.outputColor, 1);
  EXPECT_TRUE(job.settings.flip);
  EXPECT_EQ(job.settings.printToFile, request.outputFile);

  // The PDF device with nothing chosen: 300 dpi on A4, printable everywhere,
  // no margins, fitted.
  ASSERT_TRUE(print::PreparePrintJob(ToFile(PrinterKind::PdfDevice), job).Accepted());
  EXPECT_FALSE(job.settings.printToPort);
  EXPECT_EQ(job.printer.dpiX, 300);
  EXPECT_EQ(job.printer.pageWidthDots, static_cast<int>(210 * 300 / 25.4 + 0.5));
  EXPECT_EQ(job.printer.printableWidthDots, job.printer.pageWidthDots);
  EXPECT_EQ(job.setup.marginsTwips, print::Margins{});
  EXPECT_EQ(job.setup.scaleMode, print::ScaleMode::FitToPage);
  EXPECT_EQ(messages.Texts().size(), 1u);
}

TEST(PrintImage, OutcomeTellsWhatTheUserHasNotBeenToldYet) {
  testing_support::TempDir dir;
  CDIBitmap image;
  ASSERT_TRUE(image.Create(30, 20, 24, 0));
  const std::string notAProfile = dir.File("text.icc"), missing = dir.File("no/such/folder/out.prn");
  testing_support::WriteBytes(notAProfile, {'n', 'o'});
  const struct {
    const char* name;
    PrinterKind printer;
    std::string output;
    std::optional<std::array<double, 4>> marginsMm;
    bool badProfiles;
    int result;
    std::string message;
    size_t shown;
  } cases[] = {
      {"printed", PrinterKind::DesignJet, dir.File("out.prn"), {}, false, 0, "", 0},
      {"PDF printed", PrinterKind::PdfDevice, dir.File("out.pdf"), {}, false, 0, "", 0},
      {"cannot start", PrinterKind::Epson, missing, {}, false, print::kPrintCannotStart,
       "cannot start the print job on " + missing + ": " + std::strerror(ENOENT), 0},
      // Letter is 215.9 mm = 12240 twips wide, and so are two 107.95 mm margins.
      {"no room left by the margins", PrinterKind::Epson, dir.File("x.prn"), {{107.95, 20, 107.95, 20}}, false,
       kResultInvalidParameter, "Invalid parmameter!", 0},
      {"profile refused with its own message", PrinterKind::Epson, dir.File("x.prn"), {}, true,
       kResultInvalidFormat, "", 1},
  };
  for (const auto& c : cases) {
    platform::RecordingMessageSink messages;
    PrintRequest request = ToFile(c.printer);
    request.outputFile = c.output;
    request.marginsMm = c.marginsMm;
    if (c.marginsMm) request.paperCode = 1;
    if (c.badProfiles) request.profiles = print::PrintProfiles{notAProfile, notAProfile, 0};
    print::PrintJob job;
    ASSERT_TRUE(print::PreparePrintJob(request, job).Accepted()) << c.name;
    const print::PrintOutcome outcome = print::PrintImage(job, image);
    EXPECT_EQ(outcome.result, c.result) << c.name;
    EXPECT_EQ(outcome.message, c.message) << c.name;
    EXPECT_EQ(messages.Texts().size(), c.shown) << c.name;
    EXPECT_EQ(std::filesystem::exists(c.output), c.result == 0) << c.name;
  }
}

// A cancel ends the printer's page, but a file keeps what it held before.
TEST(PrintImage, CancelLeavesTheOutputFileAsItWas) {
  struct CancelAtOnce final : print::PrintProgressSink {
    void Update(const print::PrintProgressUpdate&) override { platform::RequestCancel(); }
  } cancel;
  CDIBitmap image;
  ASSERT_TRUE(image.Create(30, 20, 24, 0));
  for (PrinterKind printer : {PrinterKind::Epson, PrinterKind::DesignJet, PrinterKind::PdfDevice}) {
    testing_support::TempDir dir;
    PrintRequest request = ToFile(printer);
    request.outputFile = dir.File("out.prn");
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    testing_support::WriteBytes(request.outputFile, old);
    print::PrintJob job;
    ASSERT_TRUE(print::PreparePrintJob(request, job).Accepted());
    const print::PrintOutcome outcome = print::PrintImage(job, image, &cancel);
    EXPECT_EQ(outcome.result, kResultCancelled);
    EXPECT_EQ(outcome.message, FormatErrorCode(kResultCancelled));
    EXPECT_EQ(testing_support::ReadBytes(request.outputFile), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    EXPECT_EQ(platform::CancelCount(), 0);
  }
}

}  // namespace
