// The ESC/P2 stream: page start bytes, raster lines decoded back into dot
// planes by the independent decoder, buffering, and the error behaviour.
#include <gtest/gtest.h>

#include <random>

#include "platform/messages.h"
#include "platform/progress.h"
#include "print/epson_stream.h"
#include "print/printer_types.h"
#include "print/packbits.h"
#include "print/spooler.h"
#include "stream_decoder.h"

namespace {

using streamtest::Bytes;
using streamtest::Cat;
using streamtest::Planes;

constexpr uint8_t ESC = 0x1B;

// Writes a page: page start, then `bands` bands of `planes` (each band the
// same planes, one after the other), then page end.
void WritePage(print::EpsonStream& stream, int resolution, double heightMm, int top,
               const Planes& planes, int leftOffset, int bands = 1) {
  stream.StartPage(resolution, heightMm, top);
  const int w = planes.width + std::max(leftOffset, 0);
  Bytes line(w), packed(print::PackedSize(w)), compressed(2 * print::PackedSize(w) + 6);
  for (int band = 0; band < bands; ++band)
    for (int y = 0; y < planes.rows; ++y) {
      const uint8_t* rows[4] = {planes.Row(0, y), planes.Row(1, y), planes.Row(2, y), planes.Row(3, y)};
      stream.WriteRasterLine(rows, planes.width, leftOffset, line.data(), packed.data(), compressed.data());
    }
  stream.EndPage();
}

Bytes Le16(int v) { return {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>(v >> 8)}; }

TEST(EpsonStream, PageStartSendsTheSetupCommandsInOrder) {
  struct Case {
    int resolution;
    double heightMm;
    int top;
    uint8_t unit;
    int length;
    int vertical;
  };
  const Case cases[] = {
      {360, 279.0, 100, 10, 3954, 100},    // 279 x 360 / 25.4 = 3954.3
      {720, 297.0, -5, 10, 4209, 0},       // the unit stays 1/360 inch; top clamps to 0
      {360, 355.6, 0, 10, 5040, 0},        // Legal: 5040 exactly
  };
  for (const Case& c : cases) {
    print::MemorySpooler spooler;
    print::EpsonStream stream(spooler);
    stream.StartPage(c.resolution, c.heightMm, c.top);
    const Bytes expected = Cat({{ESC, '@'},
                                {ESC, '(', 'i', 1, 0, 1},
                                {ESC, '(', 'U', 1, 0, c.unit},
                                {ESC, 'U', 0},
                                {ESC, '(', 'C', 2, 0},
                                Le16(c.length),
                                {ESC, '(', 'c', 4, 0},
                                Le16(41),
                                Le16(c.length - 198),
                                {ESC, '(', 'V', 2, 0},
                                Le16(c.vertical)});
    EXPECT_EQ(spooler.Bytes(), expected) << c.resolution << " dpi, " << c.heightMm << " mm";
    // ESC ( G waits in the buffer and leads the first flushed line.
    stream.Flush();
    const Bytes& all = spooler.Bytes();
    ASSERT_EQ(all.size(), expected.size() + 6);
    EXPECT_EQ(Bytes(all.end() - 6, all.end()), (Bytes{ESC, '(', 'G', 1, 0, 1}));
  }
}

TEST(EpsonStream, RasterLinesDecodeToThePlanes) {
  struct Case {
    int resolution, width, rows, leftOffset, top;
    size_t capacity;
  };
  const Case cases[] = {
      {360, 61, 9, 13, 41, print::EpsonStream::kDefaultCapacity},
      {720, 200, 5, 0, 0, print::EpsonStream::kDefaultCapacity},
      {360, 1500, 3, 7, 3, print::EpsonStream::kDefaultCapacity},  // more than one 127-byte chunk
      {360, 300, 6, 5, 10, 64},  // a buffer smaller than one line: flushes and direct sends
      {360, 40, 4, -3, 2, 16},   // negative left offset counts as none
  };
  std::mt19937 rng(42);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "width " << c.width << " offset " << c.leftOffset << " capacity " << c.capacity);
    Planes planes(c.width, c.rows, rng);
    print::MemorySpooler spooler;
    print::EpsonStream stream(spooler, c.capacity);
    WritePage(stream, c.resolution, 279.0, c.top, planes, c.leftOffset, 2);
    ASSERT_FALSE(stream.Failed());
    const auto decoded = streamcheck::DecodeEpson(spooler.Bytes().data(), spooler.Bytes().size());
    ASSERT_TRUE(decoded.ok) << decoded.error;
    ASSERT_EQ(decoded.Find("ESC ( U").size(), 1u);
    EXPECT_EQ(decoded.Find("ESC ( U")[0]->params[0], 10);  // rows are 1/360 inch at every resolution
    EXPECT_EQ(decoded.formFeeds, 1);
    const int left = std::max(c.leftOffset, 0);
    // Both bands: the second continues below the first.
    Planes twice(c.width, 2 * c.rows, rng);
    for (int p = 0; p < 4; ++p) {
      twice.plane[p] = planes.plane[p];
      twice.plane[p].insert(twice.plane[p].end(), planes.plane[p].begin(), planes.plane[p].end());
    }
    const int escR[4] = {2, 1, 4, 0};  // cyan, magenta, yellow, black
    for (int p = 0; p < 4; ++p) {
      auto it = decoded.colors.find(escR[p]);
      ASSERT_NE(it, decoded.colors.end()) << "no data for plane " << p;
      EXPECT_EQ(streamtest::CompareBitmap(it->second, twice, p, std::max(c.top, 0), left), "");
    }
    // Every line: yellow, magenta, cyan, black, each with a one-row header
    // of the full width; then one step down.
    std::string line = "ESC r|ESC .|CR|ESC r|ESC .|CR|ESC r|ESC .|CR|ESC r|ESC .|CR|ESC ( v";
    std::string names = "ESC @|ESC ( i|ESC ( U|ESC U|ESC ( C|ESC ( c|ESC ( V|ESC ( G";
    for (int y = 0; y < 2 * c.rows; ++y) names += "|" + line;
    names += "|FF|ESC @";
    EXPECT_EQ(decoded.Names(), names);
    const auto colors = decoded.Find("ESC r");
    const long order[4] = {4, 1, 2, 0};  // yellow, magenta, cyan, black
    for (size_t i = 0; i < colors.size(); ++i) EXPECT_EQ(colors[i]->params[0], order[i % 4]);
    for (const auto* header : decoded.Find("ESC .")) {
      EXPECT_EQ(header->params[0], 1);  // compressed
      EXPECT_EQ(header->params[3], 1);  // one row
      EXPECT_EQ(header->params[4], c.width + left);
    }
    for (const auto* step : decoded.Find("ESC ( v")) EXPECT_EQ(step->params[0], 1);
  }
}

TEST(EpsonStream, BufferSizeDoesNotChangeTheBytes) {
  std::mt19937 rng(7);
  Planes planes(333, 12, rng, 30);
  // Any buffer that holds the largest appended piece (a compressed colour
  // row of 42 packed bytes) gives the same stream as the full buffer.
  print::MemorySpooler large, small;
  print::EpsonStream a(large), b(small, 100);
  WritePage(a, 360, 200.0, 5, planes, 11);
  WritePage(b, 360, 200.0, 5, planes, 11);
  EXPECT_EQ(small.Bytes(), large.Bytes());
  EXPECT_GT(small.WriteCalls(), large.WriteCalls());
}

// Rows are 1/360 inch at both resolutions: the vertical density of the
// raster header stays 10 (1/360 inch) while the horizontal one follows the
// resolution.
TEST(EpsonStream, BlankLineStillSendsEveryColour) {
  // 2032 dots = 254 packed bytes = two full chunks of zeros.
  const int width = 2032;
  for (const int resolution : {360, 720}) {
    Bytes blank(width, 0), line(width), packed(print::PackedSize(width)), compressed(2 * 254 + 6);
    print::MemorySpooler spooler;
    print::EpsonStream stream(spooler);
    stream.SetModes(resolution, true);
    const size_t setup = spooler.Bytes().size();
    const uint8_t* rows[4] = {blank.data(), blank.data(), blank.data(), blank.data()};
    stream.WriteRasterLine(rows, width, 0, line.data(), packed.data(), compressed.data());
    const uint8_t horizontal = static_cast<uint8_t>(3600 / resolution);
    Bytes expected;
    for (uint8_t color : {4, 1, 2, 0})
      expected = Cat({expected, {ESC, 'r', color, ESC, '.', 1, 10, horizontal, 1}, Le16(width),
                      {0x82, 0, 0x82, 0, 0x0D}});
    expected = Cat({expected, {ESC, '(', 'v', 2, 0, 1, 0}});
    EXPECT_EQ(Bytes(spooler.Bytes().begin() + setup, spooler.Bytes().end()), expected) << resolution;
  }
}

TEST(EpsonStream, SelectColorCodes) {
  print::MemorySpooler spooler;
  print::EpsonStream stream(spooler);
  for (int c = 1; c <= 7; ++c) stream.SelectColor(c);
  stream.Flush();
  EXPECT_EQ(spooler.Bytes(), (Bytes{ESC, 'r', 2, ESC, 'r', 1, ESC, 'r', 4, ESC, 'r', 0, ESC, 'r', 5,
                                    ESC, 'r', 6, ESC, 'r', 3}));
}

TEST(EpsonStream, QueueFullAndShortWritesAreRetriedWithoutChangingTheOutput) {
  std::mt19937 rng(3);
  Planes planes(150, 6, rng);
  print::MemorySpooler clean, busy;
  busy.FailNextWritesQueueFull(25);
  busy.LimitWriteSize(7);
  platform::RecordingMessageSink messages;
  print::EpsonStream a(clean), b(busy);
  WritePage(a, 360, 279.0, 0, planes, 4);
  WritePage(b, 360, 279.0, 0, planes, 4);
  EXPECT_FALSE(b.Failed());
  EXPECT_EQ(busy.Bytes(), clean.Bytes());
  EXPECT_TRUE(messages.Texts().empty());
}

TEST(EpsonStream, WriteErrorShowsOneMessageAndStopsThePage) {
  struct Case {
    const char* name;
    size_t failAfter;
    int error;
    std::string message;
  };
  const std::string escAt = "\x1b@";
  const Case cases[] = {
      // The very first write (ESC @) is refused.
      {"invalid command", 0, 1803, "Invalid Command Error !!!\n At " + escAt},
      {"other code", 0, 5, "Error code 5 !!!\n At " + escAt},
      // After the page start the first flushed line fails; its buffer
      // begins ESC ( G 01 00 01, so the excerpt ends at the first zero byte.
      {"first line", 2 + 6 + 6 + 3 + 7 + 9 + 7, 1803, "Invalid Command Error !!!\n At \x1b(G\x01"},
      {"first line, code", 2 + 6 + 6 + 3 + 7 + 9 + 7, 12345, "Error code 12345 !!!\n At \x1b(G\x01"},
  };
  std::mt19937 rng(11);
  Planes planes(64, 5, rng);
  for (const Case& c : cases) {
    platform::RecordingMessageSink messages;
    print::MemorySpooler spooler;
    spooler.FailAfter(c.failAfter, c.error);
    print::EpsonStream stream(spooler);
    WritePage(stream, 360, 279.0, 0, planes, 0);
    EXPECT_TRUE(stream.Failed()) << c.name;
    ASSERT_EQ(messages.Texts().size(), 1u) << c.name;
    EXPECT_EQ(messages.Texts()[0], c.message) << c.name;
    EXPECT_EQ(spooler.Bytes().size(), c.failAfter) << c.name;
    // Nothing more reaches the spooler after the failure.
    const int calls = spooler.WriteCalls();
    stream.Reset();
    stream.FormFeed();
    EXPECT_EQ(spooler.WriteCalls(), calls) << c.name;
  }
}

TEST(EpsonStream, WithoutABufferThePageFailsAtOnce) {
  platform::RecordingMessageSink messages;
  std::mt19937 rng(1);
  Planes planes(32, 3, rng);
  print::MemorySpooler spooler;
  print::EpsonStream stream(spooler, 0);
  EXPECT_TRUE(stream.Failed());
  WritePage(stream, 360, 279.0, 0, planes, 2);
  EXPECT_TRUE(stream.Failed());
  EXPECT_TRUE(spooler.Bytes().empty());
  EXPECT_EQ(spooler.WriteCalls(), 0);
  ASSERT_EQ(messages.Texts().size(), 1u);
  EXPECT_EQ(messages.Texts()[0], "Not enough memory available !");
}

TEST(EpsonStream, CancelWhileTheQueueStaysFullEndsThePageQuietly) {
  platform::RecordingMessageSink messages;
  print::MemorySpooler spooler;
  spooler.FailNextWritesQueueFull(1 << 30);
  print::EpsonStream stream(spooler);
  platform::RequestCancel();
  stream.Reset();
  platform::ResetCancel();
  EXPECT_TRUE(stream.Failed());
  EXPECT_TRUE(messages.Texts().empty());
}

}  // namespace

namespace {

TEST(PrinterTypes, EpsonPageHeightMatchesTheStreamsPageLength) {
  struct Case {
    int paper;
    double widthMm, heightMm;
  };
  const Case cases[] = {{1, 215.9, 279.4}, {9, 210, 297}, {4, 431.8, 279.4}, {41, 215.9, 330.2}};
  for (const Case& c : cases) {
    const print::PrinterInfo info = print::DescribePrinter(print::kPrinterEpson, 720, c.paper);
    EXPECT_DOUBLE_EQ(info.pageWidthMm, c.widthMm);
    EXPECT_DOUBLE_EQ(info.pageHeightMm, c.heightMm);
    EXPECT_EQ(info.dpiX, 720);
    EXPECT_EQ(info.dpiY, 360);
    EXPECT_EQ(info.pageWidthDots, static_cast<int>(c.widthMm * 720 / 25.4));
    // The page length the stream sends for this paper, in the same units.
    print::MemorySpooler spooler;
    print::EpsonStream stream(spooler);
    stream.StartPage(720, info.pageHeightMm, 0);
    const auto decoded = streamcheck::DecodeEpson(spooler.Bytes().data(), spooler.Bytes().size());
    ASSERT_TRUE(decoded.ok) << decoded.error;
    const auto* length = decoded.Find("ESC ( C").at(0);
    const auto* format = decoded.Find("ESC ( c").at(0);
    EXPECT_EQ(info.pageHeightDots, length->params[0]);
    EXPECT_EQ(info.offsetY, format->params[0]);
    EXPECT_EQ(info.offsetY + info.printableHeightDots, format->params[1]);
  }
  EXPECT_EQ(print::DescribePrinter(7, 360, 9).type, 0);
  EXPECT_EQ(print::DescribePrinter(print::kPrinterDesignJet, 600, 999).paperCode, 9);
}

}  // namespace
