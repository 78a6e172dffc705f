// The print pipeline: band heights, visibility, whole EPSON and DesignJet
// pages decoded back into dots and compared with planes computed here over
// the whole page, cancel and failure endings, the progress texts, and the
// PDF device rendered by Ghostscript.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "color/color_converter.h"
#include "image/result_codes.h"
#include "platform/messages.h"
#include "platform/progress.h"
#include "print/auto_reset_event.h"
#include "print/halftone.h"
#include "print/print_pipeline.h"
#include "print/printer_device.h"
#include "print/rescale.h"
#include "print/separation.h"
#include "stream_decoder.h"
#include "test_support.h"

namespace {

using print::PrinterInfo;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;

TEST(BandHeight, DirectAndDevicePathsKeepBandsUnderThreeMebibytes) {
  const struct {
    int width, direct, device;
  } cases[] = {
      {1, 240, 300},       {13107, 240, 240},  // 13107 x 240 = 3,145,680
      {13108, 216, 239},   {20000, 144, 157},  // 20000 x 144 <= 3 MiB < 20000 x 168
      {131072, 24, 24},    {131073, 24, 23},  {200000, 24, 15}, {4000000, 24, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(print::DirectBandHeight(c.width), c.direct) << c.width;
    EXPECT_EQ(print::DeviceBandHeight(c.width), c.device) << c.width;
    // Invariants of the rule: within the limit unless at the floor.
    if (c.direct > 24) {
      EXPECT_LE(static_cast<int64_t>(c.width) * c.direct, 3145728);
    }
    if (c.device > 1) {
      EXPECT_LE(static_cast<int64_t>(c.width) * c.device, 3145728);
    }
  }
}

TEST(AutoResetEvent, OneSetReleasesOneWait) {
  print::AutoResetEvent event(true);
  event.Wait();  // initially signalled
  event.Set();
  event.Set();  // two sets before a wait count as one
  event.Wait();
  // The event is reset now: a waiter on another thread needs a new Set.
  std::atomic<bool> released{false};
  std::thread waiter([&] {
    event.Wait();
    released = true;
  });
  event.Set();
  waiter.join();
  EXPECT_TRUE(released);
}

TEST(Progress, TextsFromElapsedAndRows) {
  struct Recorder : print::PrintProgressSink {
    std::vector<print::PrintProgressUpdate> updates;
    void Update(const print::PrintProgressUpdate& u) override { updates.push_back(u); }
  } recorder;
  print::PrintProgress progress(&recorder);
  const auto start = print::PrintClock::time_point{};
  progress.Report(100, 25, start, start + std::chrono::seconds(3725), "Band Transferd", true);
  progress.Report(100, 0, start, start + std::chrono::seconds(90061), nullptr, true);  // 25 h 1 min 1 s
  progress.Report(0, 0, start, start + std::chrono::seconds(59), "Rescale Image", true);
  ASSERT_EQ(recorder.updates.size(), 3u);
  const auto& a = recorder.updates[0];
  EXPECT_EQ(*a.stage, "Band Transferd");
  EXPECT_EQ(a.elapsed, "Elapsed Time : 01:02:05");
  EXPECT_EQ(*a.processed, "Processed 25% ");
  EXPECT_EQ(*a.bar, 2500);
  EXPECT_EQ(*a.estimated, "Estimated Time : 04:08:20");  // 3725 x 100 / 25 = 14900 s
  const auto& b = recorder.updates[1];
  EXPECT_FALSE(b.stage.has_value());
  EXPECT_EQ(b.elapsed, "Elapsed Time : 01:01:01");  // hours modulo 24
  EXPECT_EQ(*b.processed, "Processed 0% ");
  EXPECT_FALSE(b.estimated.has_value());  // nothing done: no estimate
  const auto& c = recorder.updates[2];
  EXPECT_FALSE(c.processed.has_value());  // no total: no percentage
  EXPECT_FALSE(c.bar.has_value());
}

// ---- whole pages ----

struct Recorder : print::PrintProgressSink {
  std::vector<std::string> stages;
  std::string cancelAt;  // request a cancel when this stage is shown
  void Update(const print::PrintProgressUpdate& u) override {
    if (!u.stage) return;
    stages.push_back(*u.stage);
    if (!cancelAt.empty() && *u.stage == cancelAt) platform::RequestCancel();
  }
  bool Saw(const std::string& text) const { return std::find(stages.begin(), stages.end(), text) != stages.end(); }
};

void RandomImage(CDIBitmap& image, int w, int h, uint32_t seed) {
  ASSERT_TRUE(image.Create(w, h, 24, 0));
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x) image.RowPointer(y)[x] = static_cast<uint8_t>(rng());
}

// A small page: 400 x 700 dots at 360 dpi, printable everywhere.
PrinterInfo SmallPrinter(int type) {
  PrinterInfo p;
  p.type = type;
  p.dpiX = type == print::kPrinterEpson ? 360 : 300;
  p.dpiY = 360;
  p.pageWidthDots = p.printableWidthDots = 400;
  p.pageHeightDots = p.printableHeightDots = 700;
  p.pageWidthMm = 400 * 25.4 / p.dpiX;
  p.pageHeightMm = 700 * 25.4 / 360;
  p.paperCode = 256;
  return p;
}

// Destination (13, 7) - (163, 537) in dots: 150 x 530, three EPSON bands.
print::PageLayout SmallLayout(const PrinterInfo& p) {
  // Twips rounded up so that converting back (truncating) gives the dots.
  auto twips = [](int dots, int dpi) { return (dots * 1440 + dpi - 1) / dpi; };
  print::PageLayout layout;
  layout.imageRect = {twips(13, p.dpiX), twips(7, 360), twips(163, p.dpiX), twips(537, 360)};
  return layout;
}
constexpr int kLeft = 13, kTop = 7, kW = 150, kH = 530;

// The four planes of the whole visible page: rescaled (plus the row below,
// a copy of the last), toned, separated.
struct PagePlanes {
  std::vector<uint8_t> store;
  uint8_t* planes[4];
  explicit PagePlanes(int rows) : store(static_cast<size_t>(kW) * rows * 4) {
    for (int c = 0; c < 4; ++c) planes[c] = store.data() + static_cast<size_t>(kW) * rows * c;
  }
  bool Dot(int c, int y, int x) const { return planes[c][static_cast<size_t>(y) * kW + x] == 255; }
};

void Tone(CDIBitmap& band, const print::PrintSettings& s, int rows) {
  if (s.outputColor == 1) print::GrayBand(band, kW, rows);
  if (s.invert) print::InvertBand(band, kW, rows);
}

void SeparateWholePage(const CDIBitmap& image, const print::PrintSettings& s, PagePlanes& out,
                       const print::SeparationGrid* grid = nullptr) {
  print::Rescaler rescaler;
  ASSERT_EQ(rescaler.Init(image, {0, 0, image.GetWidth(), image.GetHeight()}, kW, kH, 0, kW), 1);
  CDIBitmap page;
  ASSERT_TRUE(page.Create(kW, kH + 1, 24, 0));
  ASSERT_EQ(rescaler.RescaleRows(0, kH + 1, page), 1);
  Tone(page, s, kH + 1);
  ASSERT_EQ(print::SeparateBand(page, out.planes, kW, kH + 1, false, s.flip, s.curves, grid), 1);
}

// The EPSON page primes the halftoning with the first row repeated, read
// bottom-up, 25 rows, before the first band.
void Prime(const CDIBitmap& image, const print::PrintSettings& s, print::HalftoneState& state,
           const print::SeparationGrid* grid = nullptr) {
  print::Rescaler rescaler;
  ASSERT_EQ(rescaler.Init(image, {0, 0, image.GetWidth(), image.GetHeight()}, kW, kH, 0, kW), 1);
  CDIBitmap first;
  ASSERT_TRUE(first.Create(kW, 26, 24, 0));
  ASSERT_EQ(rescaler.RescaleRows(0, 1, first), 1);
  for (int y = 1; y < 26; ++y) std::copy_n(first.RowPointer(0), kW * 3, first.RowPointer(y));
  Tone(first, s, 26);
  PagePlanes scratch(26);
  ASSERT_EQ(print::SeparateBand(first, scratch.planes, kW, 26, true, s.flip, s.curves, grid), 1);
  ASSERT_EQ(print::DitherBand(state, scratch.planes, kTop, kW, 25), 1);
}

struct DirectCase {
  int type;
  bool gray, invert, flip;
};

class DirectPage : public ::testing::TestWithParam<DirectCase> {
 protected:
  void TearDown() override { platform::ResetCancel(); }
};

// The bytes on the wire decode to exactly the dots of the page halftoned
// here as one piece (EPSON: bands of 240 rows join without seams and the
// writer thread does not change a dot; DesignJet: bands of B - 1 rows).
TEST_P(DirectPage, DecodedDotsEqualThePageComputedWhole) {
  const DirectCase c = GetParam();
  CDIBitmap image;
  RandomImage(image, 41, 29, 99);
  print::PrintSettings settings;
  settings.printerType = c.type;
  settings.outputColor = c.gray ? 1 : 2;
  settings.invert = c.invert;
  settings.flip = c.flip;
  for (int i = 0; i < 256; ++i) settings.curves.table[1][i] = static_cast<uint8_t>(i * 3 / 4);  // magenta curve
  settings.curves.table[3][0] = 40;                                                             // a black tint
  const PrinterInfo printer = SmallPrinter(c.type);
  print::MemorySpooler spooler;
  Recorder recorder;
  print::PrintProgress progress(&recorder);
  ASSERT_EQ(print::PrintJobDirect(spooler, settings, printer, SmallLayout(printer), image, &progress), 0);
  EXPECT_TRUE(spooler.Ended());

  PagePlanes expected(kH + 1);
  SeparateWholePage(image, settings, expected);
  print::HalftoneState state;
  if (c.type == print::kPrinterEpson) {
    ASSERT_EQ(state.Allocate(kW, kH), 1);
    Prime(image, settings, state);
    ASSERT_EQ(print::DitherBand(state, expected.planes, kTop, kW, kH), 1);
  } else {
    const int rowsPerBand = print::DirectBandHeight(kW) - 1;
    ASSERT_EQ(state.Allocate(kW, rowsPerBand), 1);
    for (int top = 0; top < kH; top += rowsPerBand) {
      uint8_t* band[4];
      for (int p = 0; p < 4; ++p) band[p] = expected.planes[p] + static_cast<size_t>(top) * kW;
      ASSERT_EQ(print::DitherBand(state, band, kTop + top, kW, std::min(rowsPerBand, kH - top)), 1);
    }
  }

  const std::vector<uint8_t>& bytes = spooler.Bytes();
  const streamcheck::DotBitmap* decoded[4];
  streamcheck::EpsonDecode epson;
  streamcheck::RtlDecode rtl;
  if (c.type == print::kPrinterEpson) {
    epson = streamcheck::DecodeEpson(bytes.data(), bytes.size());
    ASSERT_TRUE(epson.ok) << epson.error;
    decoded[0] = &epson.colors[2];
    decoded[1] = &epson.colors[1];
    decoded[2] = &epson.colors[4];
    decoded[3] = &epson.colors[0];
    EXPECT_EQ(epson.formFeeds, 1);
    EXPECT_EQ(epson.Find("ESC ( V").at(0)->params.at(0), kTop);
  } else {
    rtl = streamcheck::DecodeRtl(bytes.data(), bytes.size());
    ASSERT_TRUE(rtl.ok) << rtl.error;
    for (int p = 0; p < 4; ++p) decoded[p] = &rtl.planes[p];
    EXPECT_EQ(rtl.Find("PG").size(), 1u);
  }
  for (int p = 0; p < 4; ++p) {
    long count = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        count += expected.Dot(p, y, x);
        ASSERT_EQ(decoded[p]->Get(kTop + y, kLeft + x), expected.Dot(p, y, x))
            << "plane " << p << " page row " << kTop + y << " column " << kLeft + x;
      }
    EXPECT_EQ(decoded[p]->Count(), count) << "dots outside the image, plane " << p;
  }

  // Stages and the row reports of each path.
  EXPECT_TRUE(recorder.Saw("Page 1"));
  EXPECT_TRUE(recorder.Saw("Rescale Image"));
  EXPECT_TRUE(recorder.Saw("Dither Planes"));
  const int every = c.type == print::kPrinterEpson ? 24 : 10;
  for (int row = kTop; row < kTop + kH; ++row)
    EXPECT_EQ(recorder.Saw(std::to_string(row) + "th line Transferd"), row % every == 0) << row;
  EXPECT_EQ(recorder.Saw("Separate Planes"), c.type == print::kPrinterDesignJet);
  EXPECT_EQ(recorder.Saw("Transfer to Printer"), c.type == print::kPrinterDesignJet);
}

INSTANTIATE_TEST_SUITE_P(Paths, DirectPage,
                         ::testing::Values(DirectCase{1, false, false, false}, DirectCase{1, true, true, true},
                                           DirectCase{2, false, false, false}, DirectCase{2, true, true, false}));

// With colour matching on, the inks come from the grid of the profile
// conversion at the channel values 0, 18, ..., 252 (red slowest, blue
// fastest), filled here point by point from the converter, whose agreement
// with LittleCMS the colour tests check.
TEST(DirectPageColorManaged, InksComeFromTheProfileGrid) {
  CDIBitmap image;
  RandomImage(image, 41, 29, 7);
  print::PrintSettings settings;
  settings.printerType = print::kPrinterEpson;
  settings.colorManagement.enabled = true;
  settings.colorManagement.inputProfile = testing_support::DataPath("third_party/debian/argyll-ref/sRGB.icm");
  settings.colorManagement.separationProfile = testing_support::DataPath("third_party/lcms2-testbed/test1.icc");
  const PrinterInfo printer = SmallPrinter(settings.printerType);
  print::MemorySpooler spooler;
  ASSERT_EQ(print::PrintJobDirect(spooler, settings, printer, SmallLayout(printer), image, nullptr), 0);

  color::ColorConverter converter;
  ASSERT_TRUE(converter.Build(settings.colorManagement.inputProfile, settings.colorManagement.separationProfile, 0));
  auto grid = std::make_unique<print::SeparationGrid>();
  for (int r = 0; r < 15; ++r)
    for (int g = 0; g < 15; ++g)
      for (int b = 0; b < 15; ++b) {
        const uint8_t rgb[3] = {static_cast<uint8_t>(18 * r), static_cast<uint8_t>(18 * g),
                                static_cast<uint8_t>(18 * b)};
        converter.RgbToCmyk(rgb, &grid->cmyk[static_cast<size_t>(r) * 900 + g * 60 + b * 4]);
      }
  PagePlanes expected(kH + 1);
  SeparateWholePage(image, settings, expected, grid.get());
  print::HalftoneState state;
  ASSERT_EQ(state.Allocate(kW, kH), 1);
  Prime(image, settings, state, grid.get());
  ASSERT_EQ(print::DitherBand(state, expected.planes, kTop, kW, kH), 1);

  const auto epson = streamcheck::DecodeEpson(spooler.Bytes().data(), spooler.Bytes().size());
  ASSERT_TRUE(epson.ok) << epson.error;
  const int escR[4] = {2, 1, 4, 0};  // cyan, magenta, yellow, black
  long blackDots = 0;
  for (int p = 0; p < 4; ++p) {
    const auto& decoded = epson.colors.at(escR[p]);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        blackDots += p == 3 && expected.Dot(p, y, x);
        ASSERT_EQ(decoded.Get(kTop + y, kLeft + x), expected.Dot(p, y, x)) << "plane " << p << " row " << y;
      }
  }
  // Unlike the curve method, the profile lays black ink.
  EXPECT_GT(blackDots, 0);
}

class DirectJob : public ::testing::Test {
 protected:
  void SetUp() override { RandomImage(image, 30, 20, 5); }
  void TearDown() override { platform::ResetCancel(); }
  CDIBitmap image;
};

TEST_F(DirectJob, DestinationOutsideThePrintableAreaSendsNothing) {
  for (int type : {print::kPrinterEpson, print::kPrinterDesignJet}) {
    const PrinterInfo printer = SmallPrinter(type);
    print::PageLayout layout;
    layout.imageRect = {0, 800 * 4, 400 * 4, 900 * 4};  // below the page's 700 rows
    print::PrintSettings settings;
    settings.printerType = type;
    print::MemorySpooler spooler;
    EXPECT_EQ(print::PrintJobDirect(spooler, settings, printer, layout, image), 0);
    EXPECT_TRUE(spooler.Bytes().empty());
    print::PrintProgress progress;
    EXPECT_EQ(print::PrintImageDirect(spooler, settings, printer, image, nullptr, {10, 10, 50, 50}, {60, 0, 100, 100},
                                      progress),
              0);
    EXPECT_TRUE(spooler.Bytes().empty());
  }
}

TEST_F(DirectJob, OtherPrinterTypesPrintNothingAndReturnTheType) {
  print::PrintSettings settings;
  settings.printerType = 7;
  print::MemorySpooler spooler;
  const PrinterInfo printer = SmallPrinter(print::kPrinterEpson);
  EXPECT_EQ(print::PrintJobDirect(spooler, settings, printer, SmallLayout(printer), image), 7);
  EXPECT_TRUE(spooler.Bytes().empty());
}

// A cancel during the first band still ends the page (EPSON: FF, ESC @;
// DesignJet: ESC %0B, ESC E without PG;) and the document, sends no raster
// line, reports the cancel and clears the flag.
TEST_F(DirectJob, CancelDuringTheFirstBandStillEndsThePage) {
  for (int type : {print::kPrinterEpson, print::kPrinterDesignJet}) {
    print::PrintSettings settings;
    settings.printerType = type;
    const PrinterInfo printer = SmallPrinter(type);
    print::MemorySpooler spooler;
    Recorder recorder;
    recorder.cancelAt = "Dither Planes";
    print::PrintProgress progress(&recorder);
    EXPECT_EQ(print::PrintJobDirect(spooler, settings, printer, SmallLayout(printer), image, &progress),
              kResultCancelled);
    EXPECT_EQ(platform::CancelCount(), 0);
    EXPECT_TRUE(spooler.Ended());
    const std::vector<uint8_t>& bytes = spooler.Bytes();
    ASSERT_GE(bytes.size(), 6u);
    if (type == print::kPrinterEpson) {
      const std::vector<uint8_t> tail(bytes.end() - 3, bytes.end());
      EXPECT_EQ(tail, (std::vector<uint8_t>{0x0C, 0x1B, 0x40}));
      const auto decoded = streamcheck::DecodeEpson(bytes.data(), bytes.size());
      ASSERT_TRUE(decoded.ok) << decoded.error;
      EXPECT_TRUE(decoded.Find("ESC .").empty());
    } else {
      const std::string tail(bytes.end() - 6, bytes.end());
      EXPECT_EQ(tail, "\x1b%0B\x1b" "E");
      const auto decoded = streamcheck::DecodeRtl(bytes.data(), bytes.size());
      ASSERT_TRUE(decoded.ok) << decoded.error;
      EXPECT_TRUE(decoded.Find("PG").empty());
    }
  }
}

// A spooler error is not reported as success: the message is shown once,
// the job is aborted and fails with "Printer error!".
TEST_F(DirectJob, SpoolerErrorFailsTheJob) {
  for (int type : {print::kPrinterEpson, print::kPrinterDesignJet}) {
    platform::RecordingMessageSink messages;
    print::PrintSettings settings;
    settings.printerType = type;
    const PrinterInfo printer = SmallPrinter(type);
    print::MemorySpooler spooler;
    spooler.FailAfter(500, 28);
    EXPECT_EQ(print::PrintJobDirect(spooler, settings, printer, SmallLayout(printer), image), kResultPrinterError);
    EXPECT_TRUE(spooler.Aborted());
    ASSERT_EQ(messages.Texts().size(), 1u);
    EXPECT_EQ(messages.Texts()[0].rfind("Error code 28 !!!\n At ", 0), 0u) << messages.Texts()[0];
  }
}

TEST_F(DirectJob, DocumentThatCannotStartReturnsMinusOne) {
  print::MemorySpooler spooler;
  spooler.FailStartDocument();
  print::PrintSettings settings;
  const PrinterInfo printer = SmallPrinter(print::kPrinterEpson);
  EXPECT_EQ(print::PrintJobDirect(spooler, settings, printer, SmallLayout(printer), image), print::kPrintCannotStart);
  EXPECT_TRUE(spooler.Bytes().empty());
}

// ---- the device path ----

struct Ppm {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* At(int x, int y) const { return rgb.data() + (static_cast<size_t>(y) * width + x) * 3; }
};
bool ReadPpm(const std::string& path, Ppm& out) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int fields[3] = {};
  in >> magic;
  for (int& field : fields) {
    while (in >> std::ws && in.peek() == '#') in.ignore(1 << 20, '\n');  // comment lines
    in >> field;
  }
  in.get();
  out.width = fields[0];
  out.height = fields[1];
  const int maxValue = fields[2];
  if (magic != "P6" || maxValue != 255) return false;
  out.rgb.resize(static_cast<size_t>(out.width) * out.height * 3);
  in.read(reinterpret_cast<char*>(out.rgb.data()), static_cast<std::streamsize>(out.rgb.size()));
  return static_cast<bool>(in);
}

// Four coloured quadrants printed to a PDF over two bands; Ghostscript's
// rendering shows each colour where the layout put it.
TEST(PdfDevice, WritesAPdfThatRendersLikeTheImage) {
  TempDir dir;
  CDIBitmap image;
  ASSERT_TRUE(image.Create(60, 80, 24, 0));
  const uint8_t colors[4][3] = {{0, 0, 255}, {0, 200, 0}, {255, 0, 0}, {40, 220, 240}};  // BGR
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 60; ++x) std::copy_n(colors[(y >= 40) * 2 + (x >= 30)], 3, image.RowPointer(y) + 3 * x);
  image.SetResolution(72, 72);

  const std::string pdfPath = dir.File("page.pdf");
  print::PdfPrinterDevice device(pdfPath, "", 100, 150, 100);
  print::PageSetup setup;
  setup.paperWidthTwips = static_cast<int>(100 / 25.4 * 1440);
  setup.paperHeightTwips = static_cast<int>(150 / 25.4 * 1440);
  setup.marginsTwips = {720, 720, 720, 720};
  print::PageLayout layout;
  ASSERT_EQ(print::ComputePageLayout(setup, {60, 80, 72, 72}, layout), 1);
  print::PrintSettings settings;
  settings.printToPort = false;
  ASSERT_EQ(print::PrintJobBands(device, settings, layout, image), 0) << device.LastError();
  ASSERT_TRUE(std::filesystem::exists(pdfPath));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);  // no temporary left

  const auto info = RunCommand("pdfinfo " + ShellQuote(pdfPath));
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("Pages:           1"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Page size:       283.465 x 425.197 pts"), std::string::npos) << info.out;  // 100 x 150 mm

  const std::string ppmPath = dir.File("page.ppm");
  const auto gs = RunCommand("/usr/bin/gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -r100 -sOutputFile=" +
                             ShellQuote(ppmPath) + " " + ShellQuote(pdfPath));
  ASSERT_EQ(gs.exitCode, 0) << gs.err;
  Ppm ppm;
  ASSERT_TRUE(ReadPpm(ppmPath, ppm));
  // Destination in device dots (100 dpi): the image rectangle moved by the margins.
  const int left = (layout.marginsTwips.left + layout.imageRect.left) * 100 / 1440;
  const int top = (layout.marginsTwips.top + layout.imageRect.top) * 100 / 1440;
  const int w = layout.imageRect.Width() * 100 / 1440, h = layout.imageRect.Height() * 100 / 1440;
  ASSERT_GT(h, 300);  // more than one band
  for (int q = 0; q < 4; ++q) {
    const int x = left + (q % 2 ? 3 * w / 4 : w / 4), y = top + (q / 2 ? 3 * h / 4 : h / 4);
    const uint8_t* px = ppm.At(x, y);
    for (int ch = 0; ch < 3; ++ch) EXPECT_NEAR(px[ch], colors[q][2 - ch], 6) << "quadrant " << q << " channel " << ch;
  }
  // Outside the image the paper stays white.
  const uint8_t* corner = ppm.At(left / 2, top / 2);
  EXPECT_EQ(corner[0] + corner[1] + corner[2], 3 * 255);
}

// A document that cannot be written leaves no file; a cancelled one ends
// its page and reports the cancel.
TEST(PdfDevice, FailedJobsLeaveNoFileAndCancelIsReported) {
  TempDir dir;
  CDIBitmap image;
  RandomImage(image, 20, 20, 3);
  print::PageLayout layout;
  layout.imageRect = {0, 0, 1440, 1440};
  print::PrintSettings settings;

  print::PdfPrinterDevice missing(dir.File("no/such/folder/page.pdf"), "", 100, 150, 100);
  EXPECT_EQ(print::PrintJobBands(missing, settings, layout, image), print::kPrintCannotStart);
  EXPECT_FALSE(missing.LastError().empty());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 0);

  print::PdfPrinterDevice device(dir.File("page.pdf"), "", 100, 150, 100);
  Recorder recorder;
  recorder.cancelAt = "Band Transfering ";
  print::PrintProgress progress(&recorder);
  EXPECT_EQ(print::PrintJobBands(device, settings, layout, image, &progress), kResultCancelled);
  EXPECT_EQ(platform::CancelCount(), 0);
  EXPECT_FALSE(recorder.Saw("Band Transferd"));  // the band was not drawn
}

}  // namespace
