// vividrome-cli print: usage errors, the direct paths to a file and to a
// private CUPS queue (the same bytes), the PDF device, failures leaving no
// file.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "../print/private_cups.h"
#include "test_support.h"

namespace {

using testing_support::CommandResult;
using testing_support::ReadBytes;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;

CommandResult Cli(const std::string& arguments, const std::string& environment = "") {
  return RunCommand(environment + ShellQuote(testing_support::CliPath()) + " " + arguments);
}

size_t Entries(const std::filesystem::path& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

class PrintCli : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = dir_.File("in.png");
    auto made = RunCommand(std::string(testing_support::kImageMagick) + " -size 90x60 gradient:orange-navy " +
                           ShellQuote(image_));
    ASSERT_EQ(made.exitCode, 0) << made.err;
  }
  TempDir dir_;
  std::string image_;
};

TEST_F(PrintCli, UsageErrorsExitTwoWithTheirMessageAndWriteNothing) {
  const std::string out = ShellQuote(dir_.File("out.prn"));
  const std::string both = "print takes exactly one of --printer and --device";
  const std::string target = "print takes exactly one of --output and --queue";
  const struct {
    std::string arguments;
    std::string message;
  } bad[] = {
      {"--printer epson", target},  // neither --output nor --queue
      {"--printer epson --output " + out + " --queue q", target},
      {"--output " + out, both},
      {"--printer epson --device --output " + out, both},
      {"--printer hp --output " + out, "--printer must be one of epson|designjet (got 'hp')"},
      {"--printer epson --dpi 500 --output " + out, "--dpi must be 360 or 720 for this printer (got '500')"},
      {"--printer designjet --dpi 360 --output " + out, "--dpi must be 300 or 600 for this printer (got '360')"},
      {"--device --dpi 5000 --output " + out, "--dpi must be an integer from 72 to 1200 (got '5000')"},
      {"--printer epson --paper 42 --output " + out, "--paper must be an integer from 1 to 41 (got '42')"},
      {"--printer epson --paper Tabloidish --output " + out,
       "--paper must be a paper code 1-41 or a paper name such as A4, A3, A5, Letter, Legal (got 'Tabloidish')"},
      {"--printer epson --scale 0 --output " + out, "--scale must be an integer from 1 to 1000 (got '0')"},
      {"--printer epson --scale 50 --fit --output " + out, "--fit and --scale exclude each other"},
      {"--printer epson --margins 1,2,3 --output " + out,
       "--margins takes 4 numbers separated by commas (got '1,2,3')"},
      {"--printer epson --margins 1,2,3,x --output " + out,
       "--margins takes 4 numbers from 0 to 105 separated by commas (got '1,2,3,x')"},
      {"--printer epson --margins 1,2,3,500 --output " + out,
       "--margins takes 4 numbers from 0 to 105 separated by commas (got '1,2,3,500')"},
      {"--device --paper A5 --margins 1,2,3,75 --output " + out,
       "--margins takes 4 numbers from 0 to 74 separated by commas (got '1,2,3,75')"},
      {"--printer epson --offset -1,0 --output " + out,
       "--offset takes 2 numbers from 0 to 10000 separated by commas (got '-1,0')"},
      {"--printer epson --offset 0,99999 --output " + out,
       "--offset takes 2 numbers from 0 to 10000 separated by commas (got '0,99999')"},
      {"--printer epson --offset 0.5,0 --output " + out, "--offset takes whole dots inside the page (got '0.5,0')"},
      {"--printer epson --offset 0,4209 --output " + out, "--offset takes whole dots inside the page (got '0,4209')"},
      {"--printer epson --input-profile a.icc --output " + out, "--input-profile and --separation-profile go together"},
      {"--printer epson --intent 2 --output " + out, "--intent goes with --input-profile and --separation-profile"},
      {"--device --curves c.cck --output " + out, "--curves applies to the direct paths (--printer) only"},
      {"--device --input-profile a --separation-profile b --output " + out,
       "profiles apply to the direct paths (--printer) only"},
      {"--device --offset 1,1 --output " + out, "--offset applies to the direct paths (--printer) only"},
  };
  for (const auto& c : bad) {
    const auto result = Cli("print " + ShellQuote(image_) + " " + c.arguments);
    EXPECT_EQ(result.exitCode, 2) << c.arguments << "\n" << result.err;
    EXPECT_EQ(result.err, "vividrome-cli: " + c.message + " (see 'vividrome-cli print --help')\n") << c.arguments;
    EXPECT_EQ(Entries(dir_.Path()), 1u) << c.arguments;  // only the input
  }
}

TEST_F(PrintCli, DirectPathsWriteWholeStreams) {
  const struct {
    const char* arguments;
    std::string head, tail;
  } cases[] = {
      {"--printer epson", std::string("\x1b@\x1b(i\x01\x00\x01\x1b(U\x01\x00\x0a", 13), std::string("\x0c\x1b@")},
      {"--printer epson --dpi 720 --gray --invert --flip", std::string("\x1b@\x1b(i\x01\x00\x01\x1b(U\x01\x00\x0a", 13),
       std::string("\x0c\x1b@")},
      {"--printer designjet --paper A3", "\x1b" "E\x1b%0BIN;SP1;PS", "PG;\x1b" "E"},
      {"--printer designjet --dpi 600 --scale 40", "\x1b" "E\x1b%0BIN;SP1;PS", "PG;\x1b" "E"},
  };
  for (const auto& c : cases) {
    const std::string out = dir_.File("out.prn");
    const auto result = Cli("print " + ShellQuote(image_) + " " + c.arguments + " --output " + ShellQuote(out));
    ASSERT_EQ(result.exitCode, 0) << c.arguments << "\n" << result.err;
    EXPECT_EQ(result.err, "") << c.arguments;  // no progress bar when stderr is not a terminal
    const std::vector<uint8_t> bytes = ReadBytes(out);
    ASSERT_GT(bytes.size(), c.head.size() + c.tail.size());
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + static_cast<long>(c.head.size())), c.head) << c.arguments;
    EXPECT_EQ(std::string(bytes.end() - static_cast<long>(c.tail.size()), bytes.end()), c.tail) << c.arguments;
    EXPECT_EQ(Entries(dir_.Path()), 2u) << "a temporary file was left";
    std::filesystem::remove(out);
  }
}

TEST_F(PrintCli, MarginsBelowThePrintersMinimumAreCorrectedWithTheMessage) {
  const auto result = Cli("print " + ShellQuote(image_) + " --printer epson --margins 0,0,20,20 --output " +
                          ShellQuote(dir_.File("out.prn")));
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("Margins smaller than min margins will be corrected !"), std::string::npos) << result.err;
}

TEST_F(PrintCli, FailuresExitOneAndLeaveNoFile) {
  const std::string missing = dir_.File("no/such/folder/out.prn");
  auto result = Cli("print " + ShellQuote(image_) + " --printer epson --output " + ShellQuote(missing));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("cannot start the print job"), std::string::npos) << result.err;
  result = Cli("print " + ShellQuote(image_) + " --device --output " + ShellQuote(missing));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_FALSE(result.err.empty());

  const std::string notImage = dir_.File("text.png");
  testing_support::WriteBytes(notImage, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
  result = Cli("print " + ShellQuote(notImage) + " --printer epson --output " + ShellQuote(dir_.File("out.prn")));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("out.prn")));

  // A separation profile that is not a profile fails the job, with no file.
  result = Cli("print " + ShellQuote(image_) + " --printer epson --input-profile " + ShellQuote(notImage) +
               " --separation-profile " + ShellQuote(notImage) + " --output " + ShellQuote(dir_.File("out.prn")));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("out.prn")));
}

TEST_F(PrintCli, DeviceWritesAOnePagePdfOfThePaper) {
  const std::string pdf = dir_.File("page.pdf");
  const auto result = Cli("print " + ShellQuote(image_) + " --device --paper Letter --output " + ShellQuote(pdf));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto info = RunCommand("pdfinfo " + ShellQuote(pdf));
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("Pages:           1"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Page size:       612 x 792 pts"), std::string::npos) << info.out;
}

// ---- a private CUPS queue ----

class PrintCliQueue : public PrintCli {
 protected:
  void SetUp() override {
    PrintCli::SetUp();
    const std::string failure = cups_.Start(dir_.Path());
    ASSERT_EQ(failure, "");
  }
  void TearDown() override { cups_.Stop(); }
  std::string Env() const { return cups_.Env(); }
  bool WaitUntilQueueEmpty() { return cups_.WaitUntilQueueEmpty(); }
  std::string OutputFile() const { return cups_.OutputFile(); }
  cups_test::PrivateCups cups_;
};

TEST_F(PrintCliQueue, QueueReceivesExactlyTheBytesOfTheFileOutput) {
  for (const char* printer : {"epson", "designjet"}) {
    const std::string file = dir_.File(std::string(printer) + ".prn");
    const std::string common = "print " + ShellQuote(image_) + " --printer " + printer + " --paper A5";
    auto result = Cli(common + " --output " + ShellQuote(file));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    result = Cli(common + " --queue vivid-raw", Env());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_TRUE(WaitUntilQueueEmpty()) << "the job did not complete";
    const std::vector<uint8_t> expected = ReadBytes(file);
    const std::vector<uint8_t> delivered = ReadBytes(OutputFile());
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(delivered == expected) << printer << ": " << delivered.size() << " bytes delivered, "
                                       << expected.size() << " written to the file";
  }
}

// The band path hands its finished PDF to the queue: the same document as
// the one written to a file, but for the time of its making.
TEST_F(PrintCliQueue, DeviceQueueReceivesThePdfOfTheFileOutput) {
  const std::string file = dir_.File("page.pdf");
  const std::string common = "print " + ShellQuote(image_) + " --device --paper A5";
  auto result = Cli(common + " --output " + ShellQuote(file));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  result = Cli(common + " --queue vivid-raw", Env());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  ASSERT_TRUE(WaitUntilQueueEmpty()) << "the job did not complete";
  auto withoutDate = [](std::vector<uint8_t> bytes) {
    std::string text(bytes.begin(), bytes.end());
    const size_t at = text.find("/CreationDate (");
    if (at != std::string::npos) text.erase(at, text.find(')', at) - at);
    return text;
  };
  const std::string expected = withoutDate(ReadBytes(file));
  const std::string delivered = withoutDate(ReadBytes(OutputFile()));
  ASSERT_EQ(expected.rfind("%PDF-", 0), 0u);
  EXPECT_TRUE(delivered == expected) << delivered.size() << " bytes delivered, " << expected.size()
                                     << " written to the file";
}

TEST_F(PrintCliQueue, UnknownQueueFailsWithTheSystemsMessage) {
  const auto result = Cli("print " + ShellQuote(image_) + " --printer epson --queue no-such-queue", Env());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_FALSE(result.err.empty());
}

}  // namespace
