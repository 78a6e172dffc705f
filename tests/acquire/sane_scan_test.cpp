// The real path: SANE's test backend through the source manager and the
// acquisition, each picture compared with what scanimage writes for the
// same options.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "acquire/acquisition.h"
#include "acquire/sane_source.h"
#include "image/dibitmap.h"
#include "platform/main_window.h"
#include "platform/messages.h"
#include "platform/progress.h"
#include "platform/settings.h"
#include "test_support.h"

namespace acquire {
namespace {

namespace fs = std::filesystem;

// A private SANE configuration with only the test backend, one device.
class SaneTestBackend : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v scanimage >/dev/null 2>&1") != 0) GTEST_SKIP() << "scanimage not installed";
    dir_ = fs::temp_directory_path() / ("vivid_sane_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    std::ofstream(dir_ / "dll.conf") << "test\n";
    std::ofstream(dir_ / "test.conf") << "number_of_devices 1\n";
    ::setenv("SANE_CONFIG_DIR", dir_.c_str(), 1);
    testing_support::KeepSaneTestBackendLoaded();
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  struct Pnm {
    char kind = 0;
    int width = 0, height = 0, maxval = 1;
    std::vector<uint8_t> data;
  };
  Pnm ScanImage(const std::string& args) {
    const fs::path out = dir_ / "oracle.pnm";
    const std::string command = "scanimage -d test:0 --format=pnm " + args + " > " + out.string() + " 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(out, std::ios::binary);
    Pnm pnm;
    std::string magic, line;
    in >> magic;
    pnm.kind = magic.size() == 2 ? magic[1] : 0;
    // Skip comments between the fields.
    const auto next = [&] {
      in >> std::ws;
      while (in.peek() == '#') std::getline(in, line), in >> std::ws;
      int v = 0;
      in >> v;
      return v;
    };
    pnm.width = next();
    pnm.height = next();
    if (pnm.kind != '4') pnm.maxval = next();
    in.get();
    pnm.data.assign(std::istreambuf_iterator<char>(in), {});
    return pnm;
  }

  int Scan(ScanOptions options, CDIBitmap& bitmap) {
    platform::MemorySettings settings;
    Acquisition acquisition([&] {
      return MakeSaneManager(&settings, {}, [options](const ScanRequest&, ScanOptions& chosen) {
        chosen = options;
        return true;
      });
    });
    ImageDescriptor descriptor;
    return acquisition.Acquire(bitmap, descriptor);
  }

  fs::path dir_;
};

ScanOptions Options(TW_UINT16 type, std::vector<std::pair<std::string, std::string>> extra) {
  ScanOptions o;
  o.pixelType = type;
  o.dpi = 50;
  o.area = ScanArea{0, 0, 20, 10};
  o.deviceOptions = std::move(extra);
  return o;
}

TEST_F(SaneTestBackend, ScansMatchScanimage) {
  struct Case {
    const char* name;
    ScanOptions options;
    std::string scanimage;
    int bits;
    int lineBytes;  // bytes a line takes in the oracle's data (0: the picture's own)
  } cases[] = {
      {"colour", Options(TWPT_RGB, {{"test-picture", "Color pattern"}}),
       "--mode Color --test-picture 'Color pattern'", 24, 0},
      {"gray", Options(TWPT_GRAY, {{"test-picture", "Color pattern"}}),
       "--mode Gray --test-picture 'Color pattern'", 8, 0},
      {"lineart", Options(TWPT_BW, {{"test-picture", "Grid"}}), "--mode Gray --depth 1 --test-picture Grid", 1, 0},
      {"three-pass", Options(TWPT_RGB, {{"three-pass", "yes"}, {"three-pass-order", "GBR"}, {"test-picture", "Color pattern"}}),
       "--mode Color --test-picture 'Color pattern'", 24, 0},
      {"read limit below a row", Options(TWPT_RGB, {{"read-limit", "yes"}, {"read-limit-size", "50"}, {"test-picture", "Color pattern"}}),
       "--mode Color --test-picture 'Color pattern'", 24, 0},
      // scanimage writes the padded lines as they come: (36 + 3) pixels a line.
      {"padded lines", Options(TWPT_RGB, {{"ppl-loss", "3"}, {"test-picture", "Color pattern"}}),
       "--mode Color --ppl-loss 3 --test-picture 'Color pattern'", 24, 39 * 3},
      {"16-bit gray", Options(TWPT_GRAY, {{"depth", "16"}, {"test-picture", "Color pattern"}}),
       "--mode Gray --depth 16 --test-picture 'Color pattern'", 8, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CDIBitmap bitmap;
    platform::RecordingMessageSink sink;
    ASSERT_EQ(Scan(c.options, bitmap), 1) << (sink.shown.empty() ? "" : sink.shown[0].text);
    const Pnm pnm = ScanImage(c.scanimage + " --resolution 50 -l 0 -t 0 -x 20 -y 10");
    ASSERT_EQ(bitmap.GetWidth(), pnm.width);
    ASSERT_EQ(bitmap.GetHeight(), pnm.height);
    ASSERT_EQ(bitmap.GetBitCount(), c.bits);
    EXPECT_EQ(bitmap.GetXResolution(), 50);
    const int sampleBytes = pnm.maxval > 255 ? 2 : 1;
    const int channels = pnm.kind == '6' ? 3 : 1;
    const size_t line = c.lineBytes ? c.lineBytes
                        : pnm.kind == '4' ? (pnm.width + 7) / 8
                                          : static_cast<size_t>(pnm.width) * channels * sampleBytes;
    ASSERT_GE(pnm.data.size(), line * pnm.height);
    int mismatches = 0;
    for (int y = 0; y < pnm.height; ++y) {
      const uint8_t* in = pnm.data.data() + y * line;
      const uint8_t* row = bitmap.RowPointer(y);
      for (int x = 0; x < pnm.width; ++x) {
        if (pnm.kind == '4') {
          // PBM: 1 is black; the bitmap's index 0 is black.
          const int black = (in[x / 8] >> (7 - x % 8)) & 1;
          const int index = (row[x / 8] >> (7 - x % 8)) & 1;
          mismatches += index != 1 - black;
        } else {
          for (int ch = 0; ch < channels; ++ch) {
            // 16-bit PNM samples are big-endian: their high byte first.
            const uint8_t want = in[(x * channels + ch) * sampleBytes];
            const uint8_t got = channels == 3 ? row[3 * x + 2 - ch] : row[x];
            mismatches += want != got;
          }
        }
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

TEST_F(SaneTestBackend, UnknownLengthIsRefusedAndTheDeviceIsListed) {
  CDIBitmap bitmap;
  platform::RecordingMessageSink sink;
  ScanOptions hand = Options(TWPT_GRAY, {{"hand-scanner", "yes"}});
  hand.area.reset();  // a hand scanner has no bed
  EXPECT_EQ(Scan(hand, bitmap), 0);
  ASSERT_EQ(sink.shown.size(), 1u);
  EXPECT_EQ(sink.shown[0].text, "TransferImage - Software does not support unbuffered devices.");
  EXPECT_EQ(sink.shown[0].caption, "TWAIN Error");
  EXPECT_FALSE(bitmap.IsAllocated());
  // The oracle does scan it, so the device did deliver an image of unknown length.
  EXPECT_GT(ScanImage("--hand-scanner=yes --resolution 50").height, 0);

  platform::MemorySettings settings;
  Acquisition lister([&] { return MakeSaneManager(&settings, {}, {}); });
  const std::vector<TW_IDENTITY> sources = lister.ListSources();
  ASSERT_EQ(sources.size(), 1u);
  EXPECT_STREQ(sources[0].ProductName, "test:0");
  EXPECT_STREQ(sources[0].Manufacturer, "Noname");
  EXPECT_STREQ(sources[0].ProductFamily, "frontend-tester");

  // Selecting remembers the choice; a cancelled selection is silent.
  Acquisition chooser([&] {
    return MakeSaneManager(&settings, [](const std::vector<TW_IDENTITY>&, size_t) { return std::optional<size_t>(0); },
                           {});
  });
  EXPECT_EQ(chooser.SelectSource(), 1);
  EXPECT_EQ(settings.GetString(kSourceSettingsSection, kSourceSettingsKey, ""), "test:0");
  Acquisition cancel([&] {
    return MakeSaneManager(&settings, [](const std::vector<TW_IDENTITY>&, size_t) { return std::optional<size_t>(); },
                           {});
  });
  EXPECT_EQ(cancel.SelectSource(), 1);
  EXPECT_EQ(sink.shown.size(), 1u);
}

TEST_F(SaneTestBackend, DeviceErrorsAndRefusedModesEndWithoutAnImage) {
  struct Case {
    ScanOptions options;
    std::string message;
  } cases[] = {
      {Options(TWPT_RGB, {{"read-return-value", "SANE_STATUS_JAMMED"}}), "test:0: Document feeder jammed"},
      {Options(TWPT_RGB, {{"no-such-option", "1"}}), "test:0: no option \"no-such-option\""},
      {Options(TWPT_PALETTE, {}), "test:0: no palette scan is offered"},
  };
  for (const Case& c : cases) {
    CDIBitmap bitmap;
    platform::RecordingMessageSink sink;
    EXPECT_EQ(Scan(c.options, bitmap), 0);
    ASSERT_EQ(sink.shown.size(), 1u) << c.message;  // the source's own box, no second one
    EXPECT_EQ(sink.shown[0].text, c.message);
  }
}

// With progress reporting on, the transfer reports its rows; a cancel asked
// for while it runs stops the scanner and leaves no image and no message.
TEST_F(SaneTestBackend, TheTransferReportsProgressAndStopsOnCancel) {
  platform::RecordingMainWindow window;
  platform::RecordingMessageSink sink;
  ScanOptions options = Options(TWPT_RGB, {});
  options.area = ScanArea{0, 0, 100, 150};
  options.dpi = 300;  // 1181 x 1771: many strips
  int pumped = 0;
  platform::SetProgressPump([&] { ++pumped; });
  ProgressEnable(true);
  ProgressBegin(0, 100);
  CDIBitmap bitmap;
  ASSERT_EQ(Scan(options, bitmap), 1);
  std::vector<int> positions;
  for (const std::string& e : window.events)
    if (e.rfind("progress ", 0) == 0) positions.push_back(std::stoi(e.substr(9)));
  ASSERT_GT(positions.size(), 2u);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_EQ(positions.back(), 100);
  EXPECT_EQ(pumped, static_cast<int>(positions.size()));

  // Cancelled from the pump after the first strip.
  platform::ResetCancel();
  platform::SetProgressPump([] { platform::RequestCancel(); });
  CDIBitmap cancelled;
  EXPECT_EQ(Scan(options, cancelled), 0);
  EXPECT_FALSE(cancelled.IsAllocated());
  EXPECT_TRUE(sink.shown.empty()) << sink.shown.front().text;
  ProgressEnable(false);
  platform::SetProgressPump(nullptr);
  platform::ResetCancel();
  // The device is free again afterwards.
  CDIBitmap again;
  EXPECT_EQ(Scan(Options(TWPT_GRAY, {}), again), 1);
}

// The dialog is given what scanimage -A says the device allows, and its
// preview is the whole bed at a low resolution, as scanimage scans it. The
// preview leaves the device's resolution and area as they were.
TEST_F(SaneTestBackend, TheDialogGetsTheDeviceLimitsAndAPreviewOfTheBed) {
  std::ofstream(dir_ / "test.conf") << "number_of_devices 1\nresolution 40\ntest-picture \"Color pattern\"\n";
  const fs::path listing = dir_ / "options.txt";
  ASSERT_EQ(std::system(("scanimage -d test:0 -A > " + listing.string() + " 2>/dev/null").c_str()), 0);
  std::ifstream in(listing);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  const auto rangeOf = [&](const std::string& option, const std::string& unit) {
    // "    -x 0..200mm (in steps of 1) [80]"
    const size_t at = text.find("    " + option + " ");
    const size_t dots = text.find("..", at);
    if (at == std::string::npos || dots == std::string::npos) return std::pair(-1.0, -1.0);
    const size_t from = at + 5 + option.size();
    const double lo = std::stod(text.substr(from, dots - from));
    const size_t end = text.find(unit, dots);
    return std::pair(lo, std::stod(text.substr(dots + 2, end - dots - 2)));
  };
  const auto [dpiLo, dpiHi] = rangeOf("--resolution", "dpi");
  const auto [xLo, xHi] = rangeOf("-x", "mm");
  const auto [yLo, yHi] = rangeOf("-y", "mm");
  ASSERT_GT(dpiHi, 0);
  ASSERT_GT(xHi, 0);

  ScanRequest seen;
  PreviewImage gray, colour;
  bool previewed = false;
  platform::MemorySettings settings;
  CDIBitmap bitmap;
  platform::RecordingMessageSink sink;
  Acquisition acquisition([&] {
    return MakeSaneManager(&settings, {}, [&](const ScanRequest& request, ScanOptions& chosen) {
      seen = request;
      previewed = request.preview(TWPT_GRAY, gray) && request.preview(TWPT_RGB, colour);
      chosen.pixelType = TWPT_RGB;  // resolution and area: the device's own
      return true;
    });
  });
  ImageDescriptor descriptor;
  ASSERT_EQ(acquisition.Acquire(bitmap, descriptor), 1) << (sink.shown.empty() ? "" : sink.shown[0].text);
  ASSERT_TRUE(previewed) << (sink.shown.empty() ? "" : sink.shown[0].text);
  EXPECT_EQ(seen.device, "test:0");
  EXPECT_EQ(seen.allowedTypes, (std::vector<TW_UINT16>{TWPT_BW, TWPT_GRAY, TWPT_RGB}));
  EXPECT_EQ(seen.limits.minDpi, static_cast<int>(dpiLo));
  EXPECT_EQ(seen.limits.maxDpi, static_cast<int>(dpiHi));
  EXPECT_DOUBLE_EQ(seen.limits.bedWidth, xHi);
  EXPECT_DOUBLE_EQ(seen.limits.bedHeight, yHi);
  EXPECT_EQ(seen.limits.dpi, 40);  // from test.conf
  ASSERT_TRUE(seen.limits.area.has_value());
  EXPECT_EQ(seen.limits.area->x, xLo);
  EXPECT_EQ(seen.limits.area->y, yLo);

  // About 400 pixels across the bed's longer side.
  const int dpi = static_cast<int>(std::lround(400 * 25.4 / std::max(xHi, yHi)));
  for (const PreviewImage* preview : {&gray, &colour}) {
    SCOPED_TRACE(preview->channels);
    EXPECT_EQ(preview->dpi, dpi);
    const Pnm pnm = ScanImage(std::string(preview->channels == 3 ? "--mode Color" : "--mode Gray") +
                              " --resolution " + std::to_string(dpi) + " -l 0 -t 0 -x " + std::to_string(xHi) +
                              " -y " + std::to_string(yHi));
    ASSERT_EQ(preview->width, pnm.width);
    ASSERT_EQ(preview->height, pnm.height);
    ASSERT_EQ(pnm.data.size(), preview->pixels.size());
    EXPECT_TRUE(pnm.data == preview->pixels);
  }
  // The scan itself used the device's own resolution and area again.
  const Pnm pnm = ScanImage("--mode Color");
  ASSERT_EQ(bitmap.GetWidth(), pnm.width);
  ASSERT_EQ(bitmap.GetHeight(), pnm.height);
  int mismatches = 0;
  for (int y = 0; y < pnm.height; ++y)
    for (int x = 0; x < pnm.width; ++x)
      for (int ch = 0; ch < 3; ++ch)
        mismatches += pnm.data[(static_cast<size_t>(y) * pnm.width + x) * 3 + ch] != bitmap.RowPointer(y)[3 * x + 2 - ch];
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace acquire
