// CupsSpooler against a real, private CUPS daemon with a pass-through queue
// (tests/print/cups_daemon.sh): the job's bytes must arrive unchanged.
#include <cups/cups.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "print/epson_stream.h"
#include "print/packbits.h"
#include "print/spooler.h"
#include "private_cups.h"
#include "stream_decoder.h"
#include "test_support.h"

namespace {

using streamtest::Bytes;
using testing_support::RunCommand;
using testing_support::ShellQuote;

class CupsSpoolerTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string failure = cups_.Start(dir_.Path());
    ASSERT_EQ(failure, "");
    setenv("CUPS_SERVER", cups_.Server().c_str(), 1);
    cupsSetServer(nullptr);  // forget a server looked up before: read CUPS_SERVER again
  }

  void TearDown() override {
    cups_.Stop();
    unsetenv("CUPS_SERVER");
    cupsSetServer(nullptr);
  }

  bool WaitUntilQueueEmpty() { return cups_.WaitUntilQueueEmpty(); }

  // The queue and the daemon's error log, for failure messages.
  std::string Diagnostics() {
    auto jobs = RunCommand(cups_.Env() + "lpstat -l -o vivid-raw; " + cups_.Env() + "lpstat -l -p vivid-raw");
    auto log = RunCommand("tail -n 30 " + ShellQuote(cups_.Folder() + "/log/error_log"));
    return "queue:\n" + jobs.out + jobs.err + "error log:\n" + log.out;
  }

  std::string OutputFile() const { return cups_.OutputFile(); }

  testing_support::TempDir dir_;
  cups_test::PrivateCups cups_;
};

// One EPSON page of random planes written to `spooler`.
void PrintPage(print::Spooler& spooler, const streamtest::Planes& planes, int leftOffset) {
  print::EpsonStream stream(spooler);
  stream.StartPage(360, 279.0, 41);
  const int w = planes.width + leftOffset;
  Bytes line(w), packed(print::PackedSize(w)), compressed(2 * print::PackedSize(w) + 6);
  for (int y = 0; y < planes.rows; ++y) {
    const uint8_t* rows[4] = {planes.Row(0, y), planes.Row(1, y), planes.Row(2, y), planes.Row(3, y)};
    stream.WriteRasterLine(rows, planes.width, leftOffset, line.data(), packed.data(), compressed.data());
  }
  stream.EndPage();
  EXPECT_FALSE(stream.Failed());
}

TEST_F(CupsSpoolerTest, RawJobArrivesByteForByte) {
  std::mt19937 rng(17);
  streamtest::Planes planes(700, 40, rng);
  print::MemorySpooler memory;
  ASSERT_TRUE(memory.StartDocument("expected"));
  PrintPage(memory, planes, 9);

  print::CupsSpooler cups("vivid-raw");
  ASSERT_TRUE(cups.StartDocument("Vividrome test page")) << cups.LastErrorText();
  ASSERT_TRUE(cups.StartPage());
  PrintPage(cups, planes, 9);
  ASSERT_TRUE(cups.EndPage());
  ASSERT_TRUE(cups.EndDocument()) << cups.LastErrorText();

  ASSERT_TRUE(WaitUntilQueueEmpty()) << "the job did not finish within 30 s\n" << Diagnostics();
  const Bytes delivered = testing_support::ReadBytes(OutputFile());
  ASSERT_EQ(delivered.size(), memory.Bytes().size());
  EXPECT_TRUE(delivered == memory.Bytes()) << "the delivered bytes differ";
  // And they are the page: decode the delivered file.
  const auto decoded = streamcheck::DecodeEpson(delivered.data(), delivered.size());
  ASSERT_TRUE(decoded.ok) << decoded.error;
  EXPECT_EQ(streamtest::CompareBitmap(decoded.colors.at(0), planes, 3, 41, 9), "");
}

TEST_F(CupsSpoolerTest, AbortedJobDeliversNothing) {
  print::CupsSpooler cups("vivid-raw");
  ASSERT_TRUE(cups.StartDocument("aborted")) << cups.LastErrorText();
  const Bytes data(5000, 0x1B);
  EXPECT_EQ(print::WriteAll(cups, data.data(), data.size(), false), 0);
  cups.AbortDocument();
  ASSERT_TRUE(WaitUntilQueueEmpty()) << Diagnostics();
  EXPECT_FALSE(std::filesystem::exists(OutputFile()) && std::filesystem::file_size(OutputFile()) > 0);
}

TEST_F(CupsSpoolerTest, UnknownQueueCannotStart) {
  print::CupsSpooler cups("no-such-queue");
  EXPECT_FALSE(cups.StartDocument("job"));
  EXPECT_GE(cups.LastError(), 0x0400);
  EXPECT_FALSE(cups.LastErrorText().empty());
  size_t written = 0;
  const uint8_t byte = 0;
  EXPECT_NE(cups.Write(&byte, 1, written), 0);
  EXPECT_EQ(written, 0u);
}

}  // namespace
