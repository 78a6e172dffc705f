// The HP-GL/2 + RTL stream: page start text, bands decoded back into dot
// planes by the independent decoder, page end and the error behaviour.
#include <gtest/gtest.h>

#include <random>

#include "platform/messages.h"
#include "print/packbits.h"
#include "print/rtl_stream.h"
#include "print/spooler.h"
#include "stream_decoder.h"

namespace {

using streamtest::Bytes;
using streamtest::Cat;
using streamtest::Planes;
using streamtest::Text;

const std::string E = "\x1b";

struct RowBuffers {
  Bytes line, packed, compressed;
  explicit RowBuffers(int w)
      : line(w), packed(print::PackedSize(w)), compressed(2 * print::PackedSize(w) + 6) {}
};

// A page of `bands` bands, each the given planes.
void WritePage(print::RtlStream& stream, int resolution, const Planes& planes, int leftOffset,
               int yOffset, int bands, bool cancelled = false) {
  stream.StartPage(resolution, 210.0, 297.0, yOffset);
  const int w = planes.width + std::max(leftOffset, 0);
  RowBuffers buffers(w);
  for (int band = 0; band < bands; ++band) {
    stream.BeginBand(w, planes.rows);
    for (int y = 0; y < planes.rows; ++y) {
      const uint8_t* rows[4] = {planes.Row(0, y), planes.Row(1, y), planes.Row(2, y), planes.Row(3, y)};
      stream.WriteRasterRow(rows, planes.width, leftOffset, buffers.line.data(), buffers.packed.data(),
                            buffers.compressed.data());
    }
    stream.EndBand();
  }
  stream.EndPage(cancelled);
}

TEST(RtlStream, PageStartText) {
  print::MemorySpooler spooler;
  print::RtlStream stream(spooler);
  stream.StartPage(300, 210.0, 297.0, 59);
  // Plot size: 297 mm and 210 mm at 720 per inch, truncated, times 40.
  std::string palette;
  const int rgb[16][3] = {{255, 255, 255}, {0, 255, 255}, {255, 0, 255}, {0, 0, 255},
                          {255, 255, 0},   {0, 255, 0},   {255, 0, 0}};
  for (int i = 0; i < 16; ++i)
    palette += E + "*v" + std::to_string(rgb[i][0]) + "a" + std::to_string(rgb[i][1]) + "b" +
               std::to_string(rgb[i][2]) + "c" + std::to_string(i) + "I";
  const Bytes expected = Cat({Text(E + "E" + E + "%0BIN;SP1;PS336720,238080;EC0BP5,1;PU;" + E + "%1A" + E +
                                   "&a1N" + E + "*v6W"),
                              {0, 0, 4, 8, 8, 8},
                              Text(palette + E + "*t300R" + E + "*b59Y")});
  EXPECT_EQ(spooler.Bytes(), expected);

  const auto decoded = streamcheck::DecodeRtl(spooler.Bytes().data(), spooler.Bytes().size());
  ASSERT_TRUE(decoded.ok) << decoded.error;
  for (int i = 0; i < 16; ++i) {
    EXPECT_TRUE(decoded.paletteSet[i]);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(decoded.palette[i][k], rgb[i][k]) << i;
  }
}

TEST(RtlStream, BandHeaderAndDestinationSizes) {
  struct Case {
    int resolution, width, rows;
    long destWidth, destHeight;  // trunc(n x 720 / dpi + 0.5)
  };
  const Case cases[] = {
      {300, 2480, 239, 5952, 574},  // 239 x 2.4 + 0.5 = 574.1
      {600, 4961, 101, 5953, 121},  // 4961 x 1.2 + 0.5 = 5953.7; 101 x 1.2 + 0.5 = 121.7
      {300, 1, 1, 2, 2},            // 2.4 + 0.5
  };
  for (const Case& c : cases) {
    print::MemorySpooler spooler;
    print::RtlStream stream(spooler);
    stream.SetResolution(c.resolution);
    const size_t before = spooler.Bytes().size();
    stream.BeginBand(c.width, c.rows);
    const std::string expected = E + "*r" + std::to_string(c.width) + "S" + E + "*r" + std::to_string(c.rows) +
                                 "T" + E + "*t" + std::to_string(c.destWidth) + "H" + E + "*t" +
                                 std::to_string(c.destHeight) + "V" + E + "*r0A" + E + "*b1M";
    EXPECT_EQ(Bytes(spooler.Bytes().begin() + before, spooler.Bytes().end()), Text(expected)) << c.resolution;
  }
}

TEST(RtlStream, BandsDecodeToThePlanes) {
  struct Case {
    int resolution, width, rows, leftOffset, yOffset, bands;
  };
  const Case cases[] = {
      {300, 77, 9, 21, 59, 3},
      {600, 1100, 4, 0, 0, 2},  // more than one chunk per plane row
      {300, 16, 5, -4, -8, 1},  // negative offsets count as none
  };
  std::mt19937 rng(8);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "width " << c.width << " offset " << c.leftOffset);
    Planes planes(c.width, c.rows, rng, 40);
    print::MemorySpooler spooler;
    print::RtlStream stream(spooler);
    WritePage(stream, c.resolution, planes, c.leftOffset, c.yOffset, c.bands);
    ASSERT_FALSE(stream.Failed());
    const auto decoded = streamcheck::DecodeRtl(spooler.Bytes().data(), spooler.Bytes().size());
    ASSERT_TRUE(decoded.ok) << decoded.error;
    Planes all(c.width, c.rows * c.bands, rng);
    for (int p = 0; p < 4; ++p) {
      all.plane[p].clear();
      for (int b = 0; b < c.bands; ++b) all.plane[p].insert(all.plane[p].end(), planes.plane[p].begin(), planes.plane[p].end());
      EXPECT_EQ(streamtest::CompareBitmap(decoded.planes[p], all, p, std::max(c.yOffset, 0), std::max(c.leftOffset, 0)), "");
    }
    // Each band ends after exactly its rows; the page ends with PG; and a reset.
    for (const auto* end : decoded.Find("ESC *r C")) EXPECT_EQ(end->params[0], c.rows);
    const auto& cmds = decoded.commands;
    ASSERT_GE(cmds.size(), 3u);
    EXPECT_EQ(cmds[cmds.size() - 3].name, "ESC %B");
    EXPECT_EQ(cmds[cmds.size() - 2].name, "PG");
    EXPECT_EQ(cmds.back().name, "ESC E");
  }
}

TEST(RtlStream, BlankRowSendsFourCompressedPlanesInOneWriteEach) {
  const int width = 2032;  // 254 packed bytes: two full chunks
  Bytes blank(width, 0);
  RowBuffers buffers(width);
  print::MemorySpooler spooler;
  print::RtlStream stream(spooler);
  const int calls = spooler.WriteCalls();
  const uint8_t* rows[4] = {blank.data(), blank.data(), blank.data(), blank.data()};
  stream.WriteRasterRow(rows, width, 0, buffers.line.data(), buffers.packed.data(), buffers.compressed.data());
  const Bytes plane = {0x82, 0, 0x82, 0};
  const Bytes expected = Cat({Text(E + "*b2m4V"), plane, Text(E + "*b2m4V"), plane, Text(E + "*b2m4V"), plane,
                              Text(E + "*b2m4W"), plane});
  EXPECT_EQ(spooler.Bytes(), expected);
  EXPECT_EQ(spooler.WriteCalls() - calls, 4);
}

TEST(RtlStream, PageEndLeavesOutAdvancePageOnlyWhenCancelled) {
  for (bool cancelled : {false, true}) {
    print::MemorySpooler spooler;
    print::RtlStream stream(spooler);
    stream.EndPage(cancelled);
    EXPECT_EQ(spooler.Bytes(), Text(E + "%0B" + (cancelled ? "" : "PG;") + E + "E")) << cancelled;
  }
}

TEST(RtlStream, QueueFullIsRetriedWithoutChangingTheOutput) {
  std::mt19937 rng(2);
  Planes planes(90, 4, rng);
  print::MemorySpooler clean, busy;
  busy.FailNextWritesQueueFull(5);
  busy.LimitWriteSize(3);
  platform::RecordingMessageSink messages;
  print::RtlStream a(clean), b(busy);
  WritePage(a, 300, planes, 3, 10, 2);
  WritePage(b, 300, planes, 3, 10, 2);
  EXPECT_FALSE(b.Failed());
  EXPECT_EQ(busy.Bytes(), clean.Bytes());
  EXPECT_TRUE(messages.Texts().empty());
}

TEST(RtlStream, WriteErrorShowsOneMessageAndStopsThePage) {
  struct Case {
    size_t failAfter;
    int error;
    std::string message;
  };
  const Case cases[] = {
      {0, 1803, "Error code 1803 !!!\n At " + E + "E"},  // no special text on this path
      {2, 28, "Error code 28 !!!\n At " + E + "%0B"},
      {4, 7, "Error code 7 !!!\n At " + E + "%0B"},  // a part of a command was taken: the excerpt is the whole command
  };
  std::mt19937 rng(4);
  Planes planes(20, 2, rng);
  for (const Case& c : cases) {
    platform::RecordingMessageSink messages;
    print::MemorySpooler spooler;
    spooler.FailAfter(c.failAfter, c.error);
    print::RtlStream stream(spooler);
    WritePage(stream, 300, planes, 0, 0, 1);
    EXPECT_TRUE(stream.Failed());
    ASSERT_EQ(messages.Texts().size(), 1u);
    EXPECT_EQ(messages.Texts()[0], c.message);
    const int calls = spooler.WriteCalls();
    stream.EndPage(false);
    EXPECT_EQ(spooler.WriteCalls(), calls);
  }
}

}  // namespace
