// CupsSpooler against a real, private CUPS daemon with a pass-through queue
// (tests/print/cups_daemon.sh): the job's bytes must arrive unchanged.
#include <arpa/inet.h>
#include <cups/cups.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <thread>

#include "print/epson_stream.h"
#include "print/packbits.h"
#include "print/spooler.h"
#include "stream_decoder.h"
#include "test_support.h"

namespace {

using streamtest::Bytes;
using testing_support::RunCommand;
using testing_support::ShellQuote;

std::string DaemonScript() {
  return (std::filesystem::path(VIVID_TEST_DATA).parent_path() / "print" / "cups_daemon.sh").string();
}

// A port nobody listens on right now.
int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

class CupsSpoolerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists("/usr/sbin/cupsd"))
        << "/usr/sbin/cupsd is missing: install cups-daemon, cups-client and cups-core-drivers";
    dir_ = std::make_unique<testing_support::TempDir>();
    // The queue's filter runs as user lp when the daemon runs as root: it
    // must be able to pass through the temporary folder.
    std::filesystem::permissions(dir_->Path(), std::filesystem::perms::others_exec | std::filesystem::perms::group_exec,
                                 std::filesystem::perm_options::add);
    daemonDir_ = dir_->File("cups");
    // The daemon outlives the shell that starts it; as its subreaper this
    // process can reap it after the stop, so no zombie is left behind.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    const int port = FreePort();
    ASSERT_GT(port, 0);
    auto result = RunCommand(ShellQuote(DaemonScript()) + " start " + ShellQuote(daemonDir_) + " " +
                             std::to_string(port));
    started_ = true;
    ASSERT_EQ(result.exitCode, 0) << result.err;
    server_ = result.out.substr(0, result.out.find('\n'));
    ASSERT_FALSE(server_.empty());
    setenv("CUPS_SERVER", server_.c_str(), 1);
    cupsSetServer(nullptr);  // forget a server looked up before: read CUPS_SERVER again
  }

  void TearDown() override {
    if (started_) RunCommand(ShellQuote(DaemonScript()) + " stop " + ShellQuote(daemonDir_));
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    unsetenv("CUPS_SERVER");
    cupsSetServer(nullptr);
  }

  // Waits (at most 30 s) until the queue holds no job; false on time-out.
  bool WaitUntilQueueEmpty() {
    for (int i = 0; i < 300; ++i) {
      auto result = RunCommand("CUPS_SERVER=" + ShellQuote(server_) + " lpstat -o vivid-raw");
      if (result.exitCode == 0 && result.out.empty()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  // The queue and the daemon's error log, for failure messages.
  std::string Diagnostics() {
    auto jobs = RunCommand("CUPS_SERVER=" + ShellQuote(server_) + " lpstat -l -o vivid-raw; CUPS_SERVER=" +
                           ShellQuote(server_) + " lpstat -l -p vivid-raw");
    auto log = RunCommand("tail -n 30 " + ShellQuote(daemonDir_ + "/log/error_log"));
    return "queue:\n" + jobs.out + jobs.err + "error log:\n" + log.out;
  }

  std::string OutputFile() const { return daemonDir_ + "/out/job.prn"; }

  std::unique_ptr<testing_support::TempDir> dir_;
  std::string daemonDir_, server_;
  bool started_ = false;
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
  size_t written = 0;
  const uint8_t byte = 0;
  EXPECT_NE(cups.Write(&byte, 1, written), 0);
  EXPECT_EQ(written, 0u);
}

}  // namespace
