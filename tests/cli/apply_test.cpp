// vividrome-cli apply, run as a separate program: the named operations,
// the selection and the usage errors. Expected pixels come from
// ImageMagick's decode of the input and the operation's formula.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../document/doc_test_images.h"
#include "test_support.h"

namespace {

using doc_test::DecodeRGB;
using testing_support::CommandResult;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;

CommandResult Cli(const std::string& arguments) {
  return RunCommand(ShellQuote(testing_support::CliPath()) + " " + arguments);
}

constexpr int kWidth = 23;
constexpr int kHeight = 9;

// A 24-bit picture with every channel varying.
std::string MakePicture(const TempDir& dir) {
  const std::string path = dir.File("in.bmp");
  EXPECT_TRUE(doc_test::MakeWithImageMagick("-size 23x9 gradient:orange-navy -seed 3 -attenuate 0.4 +noise Uniform "
                                            "-type TrueColor",
                                            "BMP3:" + path));
  return path;
}

TEST(CliApply, InvertColorInvertsEveryChannel) {
  TempDir dir;
  const std::string in = MakePicture(dir);
  const std::string out = dir.File("out.bmp");
  const CommandResult result = Cli("apply " + ShellQuote(in) + " " + ShellQuote(out) + " invert-color");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::vector<uint8_t> before = DecodeRGB(in);
  const std::vector<uint8_t> after = DecodeRGB(out);
  ASSERT_EQ(before.size(), size_t{kWidth} * kHeight * 3);
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) ASSERT_EQ(after[i], 255 - before[i]) << "byte " << i;
}

TEST(CliApply, SelectionLimitsTheChangeAndOperationsRunInOrder) {
  TempDir dir;
  const std::string in = MakePicture(dir);
  const std::string out = dir.File("out.bmp");
  // Inverting twice inside the selection and once outside it is not possible
  // with one selection: the second invert must undo the first only inside.
  const CommandResult result =
      Cli("apply " + ShellQuote(in) + " " + ShellQuote(out) + " invert-color invert-color invert-color --select 4,2,7,5");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::vector<uint8_t> before = DecodeRGB(in);
  const std::vector<uint8_t> after = DecodeRGB(out);
  ASSERT_EQ(after.size(), before.size());
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const bool inside = x >= 4 && x < 11 && y >= 2 && y < 7;
      for (int c = 0; c < 3; ++c) {
        const size_t i = (size_t{static_cast<size_t>(y)} * kWidth + x) * 3 + c;
        ASSERT_EQ(after[i], inside ? 255 - before[i] : before[i]) << x << "," << y;
      }
    }
}

TEST(CliApply, QuarterTurnsAndFlipsComposeToTheOriginal) {
  TempDir dir;
  const std::string in = MakePicture(dir);
  const std::string out = dir.File("out.bmp");
  const CommandResult result = Cli("apply " + ShellQuote(in) + " " + ShellQuote(out) +
                                   " rotate-90 rotate-90 flip-horizontal flip-vertical");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(DecodeRGB(out), DecodeRGB(in));
}

// A mode change rebuilds the bitmap; the selection must still hold for the
// operations after it, and end with the first operation that moves pixels.
TEST(CliApply, SelectionOutlivesAModeChangeAndEndsWithGeometry) {
  TempDir dir;
  const std::string in = MakePicture(dir);
  const std::string gray = dir.File("gray.bmp");
  const std::string out = dir.File("out.bmp");
  ASSERT_EQ(Cli("apply " + ShellQuote(in) + " " + ShellQuote(gray) + " mode:gray").exitCode, 0);
  CommandResult result =
      Cli("apply " + ShellQuote(in) + " " + ShellQuote(out) + " mode:gray invert-color --select 4,2,7,5");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::vector<uint8_t> plain = DecodeRGB(gray);
  std::vector<uint8_t> after = DecodeRGB(out);
  ASSERT_EQ(plain.size(), size_t{kWidth} * kHeight * 3);
  ASSERT_EQ(after.size(), plain.size());
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const bool inside = x >= 4 && x < 11 && y >= 2 && y < 7;
      const size_t i = (static_cast<size_t>(y) * kWidth + x) * 3;
      ASSERT_EQ(after[i], inside ? 255 - plain[i] : plain[i]) << x << "," << y;
    }

  // After a quarter turn the whole picture is inverted.
  result = Cli("apply " + ShellQuote(in) + " " + ShellQuote(out) + " rotate-90 invert-color rotate-270 --select 0,0,1,1");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::vector<uint8_t> before = DecodeRGB(in);
  after = DecodeRGB(out);
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) ASSERT_EQ(after[i], 255 - before[i]) << "byte " << i;
}

// A tone change of a palette image goes to its colour table, which no
// selection can hold in: refused, and nothing written. As gray or RGB the
// same change stays inside the selection.
TEST(CliApply, SelectionRefusesColourTableChangesOfPaletteImages) {
  TempDir dir;
  const std::string in = dir.File("palette.bmp");
  ASSERT_TRUE(doc_test::MakeWithImageMagick("-size 23x9 gradient:orange-navy -colors 16 -type Palette", "BMP3:" + in));
  const std::string out = dir.File("out.bmp");
  CommandResult result = Cli("apply " + ShellQuote(in) + " " + ShellQuote(out) + " invert-color --select 4,2,7,5");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("mode:rgb"), std::string::npos) << result.err;
  EXPECT_FALSE(std::filesystem::exists(out));

  result = Cli("apply " + ShellQuote(in) + " " + ShellQuote(out) + " mode:rgb invert-color --select 4,2,7,5");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::vector<uint8_t> before = DecodeRGB(in);
  const std::vector<uint8_t> after = DecodeRGB(out);
  ASSERT_EQ(after.size(), before.size());
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const bool inside = x >= 4 && x < 11 && y >= 2 && y < 7;
      const size_t i = (static_cast<size_t>(y) * kWidth + x) * 3;
      ASSERT_EQ(after[i], inside ? 255 - before[i] : before[i]) << x << "," << y;
    }
}

TEST(CliApply, UsageErrorsWriteNothing) {
  TempDir dir;
  const std::string in = MakePicture(dir);
  const std::string out = dir.File("out.bmp");
  const char* const bad[] = {
      "",                          // no operation
      "no-such-operation",         // unknown name
      "invert-color:5",            // an argument where none is taken
      "posterize:1",               // below the dialog's range
      "posterize:65",              // above it
      "posterize:2.5",             // not a whole number
      "crop:1,2",                  // required arguments missing
      "mode:palette:sepia",        // not one of the choices
      "invert-color --select 1,1,0,4",  // empty selection
      "invert-color --select 1,1,4",    // malformed selection
  };
  for (const char* operations : bad) {
    SCOPED_TRACE(operations);
    const CommandResult result = Cli("apply " + ShellQuote(in) + " " + ShellQuote(out) + " " + operations);
    EXPECT_EQ(result.exitCode, 2) << result.err;
    EXPECT_FALSE(std::filesystem::exists(out));
    std::filesystem::remove(out);
  }
}

TEST(CliApply, HelpListsEveryOperationNamedOnTheCommandLine) {
  const CommandResult result = Cli("apply --help");
  ASSERT_EQ(result.exitCode, 0);
  for (const char* name : {"blur", "median", "gaussian-blur", "brightness-contrast", "equalize", "invert-bgr",
                           "rotate-90", "canvas-size", "crop", "mode:gray", "mode:palette"})
    EXPECT_NE(result.out.find(std::string("\n  ") + name), std::string::npos) << name;
}

}  // namespace
