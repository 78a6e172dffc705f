// vividrome-cli apply, run as a separate program: the named operations,
// the selection and the usage errors. Expected pixels come from
// ImageMagick's decode of the input and the operation's formula.
#include <gtest/gtest.h>

#include <algorithm>
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
// operations after it.
TEST(CliApply, SelectionOutlivesAModeChange) {
  TempDir dir;
  const std::string in = MakePicture(dir);
  const std::string gray = dir.File("gray.bmp");
  const std::string out = dir.File("out.bmp");
  ASSERT_EQ(Cli("apply " + ShellQuote(in) + " " + ShellQuote(gray) + " mode:gray").exitCode, 0);
  const CommandResult result =
      Cli("apply " + ShellQuote(in) + " " + ShellQuote(out) + " mode:gray invert-color --select 4,2,7,5");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::vector<uint8_t> plain = DecodeRGB(gray);
  const std::vector<uint8_t> after = DecodeRGB(out);
  ASSERT_EQ(plain.size(), size_t{kWidth} * kHeight * 3);
  ASSERT_EQ(after.size(), plain.size());
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const bool inside = x >= 4 && x < 11 && y >= 2 && y < 7;
      const size_t i = (static_cast<size_t>(y) * kWidth + x) * 3;
      ASSERT_EQ(after[i], inside ? 255 - plain[i] : plain[i]) << x << "," << y;
    }
}

// With a selection the turns and flips move the selected piece alone: it is
// lifted, transformed, centred on the rectangle (left = floor((l + r) / 2)
// - width / 2, likewise down) and dropped back over the untouched picture;
// the operations after a turn work on the piece. Each case maps an output
// pixel inside the piece's new place to its source pixel; every other pixel
// keeps its own.
TEST(CliApply, SelectionTurnsAndFlipsMoveOnlyThePiece) {
  struct Source {
    int x, y;
    bool inverted;
  };
  struct TurnCase {
    const char* operations;
    const char* select;
    int left, top, width, height;  // the piece's place afterwards
    Source (*from)(int x, int y);  // output pixel inside it -> source pixel
  };
  const TurnCase cases[] = {
      // Mirrored inside the rectangle 4..10 x 2..6.
      {"flip-horizontal", "4,2,7,5", 4, 2, 7, 5, [](int x, int y) { return Source{14 - x, y, false}; }},
      // 4 x 2 at (0, 0) turns clockwise into 2 x 4 at (1, -1): output (1 + c,
      // -1 + r) takes source column r, row 1 - c.
      {"rotate-90", "0,0,4,2", 1, -1, 2, 4, [](int x, int y) { return Source{y + 1, 1 - (x - 1), false}; }},
      // A quarter turn, an invert and the opposite turn put the inverted
      // piece back in its place.
      {"rotate-90 invert-color rotate-270", "4,2,7,5", 4, 2, 7, 5, [](int x, int y) { return Source{x, y, true}; }},
      // A half turn reaching past the picture's corner: the part inside,
      // 21..22 x 6..8, turns in place.
      {"rotate-180", "21,6,9,9", 21, 6, 2, 3, [](int x, int y) { return Source{43 - x, 14 - y, false}; }},
  };
  TempDir dir;
  const std::string in = MakePicture(dir);
  const std::string out = dir.File("out.bmp");
  const std::vector<uint8_t> before = DecodeRGB(in);
  ASSERT_EQ(before.size(), size_t{kWidth} * kHeight * 3);
  for (const TurnCase& c : cases) {
    SCOPED_TRACE(c.operations);
    const CommandResult result = Cli("apply " + ShellQuote(in) + " " + ShellQuote(out) + " " + c.operations +
                                     " --select " + c.select);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::vector<uint8_t> after = DecodeRGB(out);
    ASSERT_EQ(after.size(), before.size());
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const bool moved = x >= c.left && x < c.left + c.width && y >= c.top && y < c.top + c.height;
        const Source s = moved ? c.from(x, y) : Source{x, y, false};
        for (int k = 0; k < 3; ++k) {
          const uint8_t source = before[(static_cast<size_t>(s.y) * kWidth + s.x) * 3 + k];
          ASSERT_EQ(after[(static_cast<size_t>(y) * kWidth + x) * 3 + k], s.inverted ? 255 - source : source)
              << x << "," << y;
        }
      }
  }
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

// An operation that fails exits 1 with one line of explanation (the
// operation's own message), with or without a selection, and writes nothing.
TEST(CliApply, FailedOperationsExplainOnceAndWriteNothing) {
  struct FailCase {
    const char* arguments;
    const char* message;
  };
  const FailCase cases[] = {
      {"crop:50,50,4,4", "GL_CropBitmap ::rectangle Should overlap the image"},
      {"mode:gray hue-saturation:10,0,0", "GL_ChangeHSL ::pdbmDest Should be a 24bit image"},
      {"mode:gray hue-saturation:10,0,0 --select 1,1,3,3", "GL_ChangeHSL ::pdbmDest Should be a 24bit image"},
      {"rotate-90 mode:bw brightness-contrast:5,5 --select 2,2,4,4", "brightness-contrast:5,5: a selection cannot hold"},
  };
  TempDir dir;
  const std::string in = MakePicture(dir);
  const std::string out = dir.File("out.bmp");
  for (const FailCase& c : cases) {
    SCOPED_TRACE(c.arguments);
    const CommandResult result = Cli("apply " + ShellQuote(in) + " " + ShellQuote(out) + " " + c.arguments);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_FALSE(std::filesystem::exists(out));
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
