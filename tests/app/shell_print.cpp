// `vividrome /p` and `/pt` without a running editor: the file goes to a CUPS
// queue of a private daemon through the band path, byte for byte the PDF
// that `vividrome-cli print --device` makes of it.
#include <gtest/gtest.h>

#include <string>

#include "../print/private_cups.h"
#include "test_support.h"

namespace {

using testing_support::ReadBytes;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;

class ShellPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(cups_.Start(dir_.Path()), "");
    image_ = testing_support::DataPath("png/im_rgb8.png");
    ASSERT_TRUE(std::filesystem::exists(image_)) << image_;
    // A home and runtime folder of its own: no running editor to forward
    // to, no user default printer.
    for (const char* sub : {"home", "runtime"}) std::filesystem::create_directory(dir_.Path() / sub);
    std::filesystem::permissions(dir_.Path() / "runtime", std::filesystem::perms::owner_all);
  }
  testing_support::CommandResult Editor(const std::string& args) {
    return RunCommand(cups_.Env() + "HOME=" + ShellQuote(dir_.File("home")) +
                      " XDG_RUNTIME_DIR=" + ShellQuote(dir_.File("runtime")) + " QT_QPA_PLATFORM=offscreen " +
                      ShellQuote(VIVIDROME_APP) + " " + args);
  }
  // The PDF without its creation time.
  std::string Pdf(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    std::string text(bytes.begin(), bytes.end());
    const size_t at = text.find("/CreationDate (");
    if (at != std::string::npos) text.erase(at, text.find(')', at) - at);
    return text;
  }

  TempDir dir_;
  cups_test::PrivateCups cups_;
  std::string image_;
};

TEST_F(ShellPrint, PrintToAQueueAndToTheDefaultOne) {
  const std::string expected = dir_.File("expected.pdf");
  const auto made = RunCommand(ShellQuote(VIVID_CLI) + " print " + ShellQuote(image_) + " --device --output " +
                               ShellQuote(expected));
  ASSERT_EQ(made.exitCode, 0) << made.err;
  ASSERT_EQ(Pdf(expected).rfind("%PDF-", 0), 0u);

  auto result = Editor("/pt " + ShellQuote(image_) + " vivid-raw driver port");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  ASSERT_TRUE(cups_.WaitUntilQueueEmpty());
  EXPECT_TRUE(Pdf(cups_.OutputFile()) == Pdf(expected));

  // No default destination yet: /p refuses with its reason.
  result = Editor("/p " + ShellQuote(image_));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("there is no default printer"), std::string::npos) << result.err;

  std::filesystem::remove(cups_.OutputFile());
  ASSERT_EQ(RunCommand(cups_.Env() + "lpadmin -d vivid-raw").exitCode, 0);
  result = Editor("/p " + ShellQuote(image_));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  ASSERT_TRUE(cups_.WaitUntilQueueEmpty());
  EXPECT_TRUE(Pdf(cups_.OutputFile()) == Pdf(expected));

  // A switch it does not know: a usage error naming it.
  result = Editor("/q " + ShellQuote(image_));
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("Unknown switch /q."), std::string::npos) << result.err;
}

}  // namespace
