// vividrome-cli info and convert, run as a separate program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../document/doc_test_images.h"
#include "test_support.h"

namespace {

using doc_test::DecodeRGB;
using testing_support::CommandResult;
using testing_support::ReadBytes;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;
using testing_support::WriteBytes;

CommandResult Cli(const std::string& arguments) {
  return RunCommand(ShellQuote(testing_support::CliPath()) + " " + arguments);
}

void MakeBmp(const std::string& arguments, const std::string& path) {
  ASSERT_TRUE(doc_test::MakeWithImageMagick(arguments, "BMP3:" + path));
}

std::set<std::string> FolderEntries(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

const std::string kUnsupported = "\n\n Sorry, File Format is not supported now !\n";

// Samples of each kind ImageMagick writes as BMP.
const char* const kSamples[] = {
    "-size 13x37 gradient:yellow-navy -type Palette",        // 8 bits
    "-size 17x5 gradient:red-blue -type TrueColor",          // 24 bits
    "-size 11x6 pattern:checkerboard -type Bilevel",         // 1 bit
    "-size 9x9 gradient:red-blue -colors 12 -type Palette",  // 4 bits
    "-size 9x40 gradient: -type Palette",                    // 8 bits of gray
};

TEST(CliInfo, PrintsWidthHeightBitCountAndKind) {
  for (const char* sample : kSamples) {
    SCOPED_TRACE(sample);
    TempDir dir;
    const std::string path = dir.File("in.bmp");
    MakeBmp(sample, path);
    const CommandResult size = RunCommand("/usr/bin/identify -format '%w %h' " + ShellQuote(path));
    ASSERT_EQ(size.exitCode, 0) << size.err;
    // The file's own bit count; 4-bit files become 8-bit images, and up to
    // 8 bits the reader makes palette images.
    const std::vector<uint8_t> bytes = ReadBytes(path);
    ASSERT_GT(bytes.size(), 30u);
    int bitCount = bytes[28] | bytes[29] << 8;
    if (bitCount == 4) bitCount = 8;
    const std::string kind = bitCount <= 8 ? "INDEX" : "RGB";

    const CommandResult info = Cli("info " + ShellQuote(path));
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(info.out, size.out + " " + std::to_string(bitCount) + " " + kind + "\n");
    EXPECT_EQ(info.err, "");
  }
}

// Options for other formats are accepted and ignored; a name without '.'
// gets the extension of the type Save As preselects, the input's.
TEST(CliConvert, BmpToBmpKeepsEveryPixel) {
  for (const char* sample : kSamples) {
    SCOPED_TRACE(sample);
    TempDir dir;
    const std::string in = dir.File("in.bmp");
    MakeBmp(sample, in);
    for (const char* out : {"out.BMP", "plain"}) {
      const CommandResult converted = Cli("convert " + ShellQuote(in) + " " + ShellQuote(dir.File(out)) +
                                          " --jpeg-quality=50 --tga-compression rle --pcd-resolution 4");
      EXPECT_EQ(converted.exitCode, 0) << converted.err;
      EXPECT_EQ(converted.out + converted.err, "");
    }
    EXPECT_EQ(FolderEntries(dir.Path()), (std::set<std::string>{"in.bmp", "out.BMP", "plain.bmp"}));
    EXPECT_EQ(DecodeRGB(dir.File("out.BMP")), DecodeRGB(in));
    EXPECT_EQ(DecodeRGB(dir.File("plain.bmp")), DecodeRGB(in));
  }
}

// --help lists every verb; VERB --help that verb's usage alone.
TEST(Cli, HelpGoesToStdoutAndNoArgumentsIsAUsageError) {
  const CommandResult all = Cli("--help");
  EXPECT_EQ(all.exitCode, 0);
  EXPECT_NE(all.out.find("convert IN OUT"), std::string::npos);
  EXPECT_NE(all.out.find("print IN"), std::string::npos);
  EXPECT_EQ(all.err, "");
  for (const char* arguments : {"convert --help", "convert IN OUT --help"}) {
    const CommandResult help = Cli(arguments);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("convert IN OUT"), std::string::npos);
    EXPECT_EQ(help.out.find("print IN"), std::string::npos);
    EXPECT_EQ(help.err, "");
  }

  const CommandResult none = Cli("");
  EXPECT_EQ(none.exitCode, 2);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "vividrome-cli: a verb is needed (see 'vividrome-cli --help')\n");
}

TEST(Cli, UsageErrorsExitTwoAndTouchNothing) {
  struct Case {
    std::string arguments;  // IN and OUT stand for the sample and the output
    std::string error;      // the one line on stderr, before the pointer to the verb's help
  };
  const Case cases[] = {
      {"frobnicate IN", "vividrome-cli: unknown verb 'frobnicate'"},
      {"info", "vividrome-cli: info: missing argument"},
      {"info IN IN", "vividrome-cli: info: unexpected argument"},
      {"convert IN", "vividrome-cli: convert: missing argument"},
      {"convert IN OUT extra", "vividrome-cli: convert: unexpected argument extra"},
      {"convert IN OUT --bogus", "vividrome-cli: unknown option --bogus"},
      {"convert IN OUT --jpeg-quality 1", "vividrome-cli: --jpeg-quality must be an integer from 2 to 100"},
      {"convert IN OUT --jpeg-quality 101", "vividrome-cli: --jpeg-quality must be an integer from 2 to 100"},
      {"convert IN OUT --jpeg-quality 7x", "vividrome-cli: --jpeg-quality must be an integer from 2 to 100"},
      {"convert IN OUT --pcd-resolution 5", "vividrome-cli: --pcd-resolution must be an integer from 0 to 4"},
      {"convert IN OUT --pcd-resolution -1", "vividrome-cli: --pcd-resolution must be an integer from 0 to 4"},
      {"convert IN OUT --tiff-compression lzw", "vividrome-cli: --tiff-compression must be one of none|packbits|fax3|fax4"},
      {"convert IN OUT --tga-compression rle8", "vividrome-cli: --tga-compression must be one of none|rle"},
      {"convert IN OUT --tga-compression", "vividrome-cli: option --tga-compression needs a value"},
  };
  TempDir dir;
  const std::string in = dir.File("in.bmp"), out = dir.File("out.bmp");
  MakeBmp(kSamples[0], in);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    std::string arguments;
    std::istringstream words(c.arguments);
    for (std::string word; words >> word;)
      arguments += " " + ShellQuote(word == "IN" ? in : word == "OUT" ? out : word);
    const CommandResult result = Cli(arguments);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    const std::string verb = c.arguments.substr(0, c.arguments.find(' '));
    const std::string help = verb == "frobnicate" ? "vividrome-cli --help" : "vividrome-cli " + verb + " --help";
    EXPECT_TRUE(result.err.starts_with(c.error)) << result.err;
    EXPECT_TRUE(result.err.ends_with(" (see '" + help + "')\n")) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(FolderEntries(dir.Path()), std::set<std::string>{"in.bmp"});
  }
}

TEST(CliConvert, FailuresExitOneWithTheMessageAndLeaveNoOutput) {
  struct Case {
    const char* input;   // a sample BMP, "junk" bytes, a folder or nothing under this name
    const char* output;
    const char* options;
    std::string expectedErr;  // IN and OUT stand for the full paths
  };
  const Case cases[] = {
      {"missing.bmp", "out.bmp", "", "vividrome-cli: cannot read IN: No such file or directory\n"},
      {"junk.bmp", "out.bmp", "", "vividrome-cli: cannot read IN: not a valid image file\n"},
      {"folder.bmp", "out.bmp", "", "vividrome-cli: cannot read IN: Is a directory\n"},
      {"in.txt", "out.bmp", "", "IN" + kUnsupported},
      {"photo.jpe", "out.bmp", "", "IN" + kUnsupported},
      {"in.bmp", "out.dcx", "", "OUT" + kUnsupported},
      {"in.bmp", "out.pcd", "", "OUT" + kUnsupported},
      {"in.bmp", "out.tif", "--tiff-compression fax3", "vividrome-cli: TIFF compression CCITT Fax3 needs a 1-bit image\n"},
      {"in.bmp", "out.tif", "--tiff-compression fax4", "vividrome-cli: TIFF compression CCITT Fax4 needs a 1-bit image\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.input << " -> " << c.output << " " << c.options);
    TempDir dir;
    const std::string in = dir.File(c.input), out = dir.File(c.output);
    const std::string name = c.input;
    if (name == "junk.bmp")
      WriteBytes(in, {'h', 'e', 'l', 'l', 'o'});
    else if (name == "folder.bmp")
      std::filesystem::create_directory(in);
    else if (name != "missing.bmp")
      MakeBmp(kSamples[0], in);
    const auto before = FolderEntries(dir.Path());

    const CommandResult result =
        Cli("convert " + ShellQuote(in) + " " + ShellQuote(out) + " " + c.options);
    std::string expected = c.expectedErr;
    if (expected.starts_with("IN")) expected.replace(0, 2, in);
    if (expected.starts_with("OUT")) expected.replace(0, 3, out);
    if (size_t at = expected.find(" IN:"); at != std::string::npos) expected.replace(at + 1, 2, in);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, expected);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(FolderEntries(dir.Path()), before);
  }
}

// A file that cannot be read is explained once, by the reader's own text
// where it has one: the message a reader shows, or the GIF reader's
// last-error text (that reader shows no message); the program's generic
// line only when the reader said nothing. Every verb that opens a file does
// the same, and exits 1 without writing anything.
TEST(CliOpen, FailedReadShowsTheReadersOwnTextOnce) {
  struct Case {
    const char* sample;  // under tests/data
    std::string expectedErr;  // IN stands for the full path
  };
  const Case cases[] = {
      {"gif/bad/trailer_first.gif", "Error on dimension read\nGiving up\n"},
      {"gif/bad/not_gif.gif", "IN is not a valid .GIF file\n"},
      {"gif/bad/zero_screen.gif", "Error, invalid GIF screen size 0 x 11.\nGiving up\n"},
      {"bmp/bad/zero_width.bmp", "BMPREAD: Invalid image size 0 x 11\n"},
      {"tga/bad/zero_width.tga", "TGACODE: Invalid image size 0 x 11\n"},
      {"bmp/bad/not_bm.bmp", "vividrome-cli: cannot read IN: not a valid image file\n"},
  };
  TempDir dir;
  const std::string out = dir.File("out.bmp");
  for (const Case& c : cases) {
    const std::string in = testing_support::DataPath(c.sample);
    std::string expected = c.expectedErr;
    if (size_t at = expected.find("IN"); at != std::string::npos) expected.replace(at, 2, in);
    for (const std::string& verb : {"info " + ShellQuote(in), "convert " + ShellQuote(in) + " " + ShellQuote(out),
                                   "apply " + ShellQuote(in) + " " + ShellQuote(out) + " flip-horizontal"}) {
      SCOPED_TRACE(verb);
      const CommandResult result = Cli(verb);
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_EQ(result.err, expected);
      EXPECT_EQ(result.out, "");
      EXPECT_FALSE(std::filesystem::exists(out));
    }
  }

  // A GIF that cannot be opened at all: the reader's text names the file.
  const std::string missing = dir.File("missing.gif");
  const CommandResult result = Cli("info " + ShellQuote(missing));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "Cant open GIF :\n" + missing + "\n");

  // A GIF read that succeeds prints nothing on stderr.
  const CommandResult good = Cli("info " + ShellQuote(testing_support::DataPath("gif/im_pal8.gif")));
  EXPECT_EQ(good.exitCode, 0) << good.err;
  EXPECT_EQ(good.err, "");
}

// The existing output survives a refused write (read-only file) and a writer
// failing part-way (a file-size limit, as a full disk would), and no
// temporary file is left behind.
TEST(CliConvert, ExistingOutputSurvivesARefusedOrFailedWrite) {
  struct Case {
    const char* shellPrefix;
    mode_t outputMode;
    const char* error;  // after the output path; null: any message
  };
  const Case cases[] = {{"", 0444, " is ReadOnly File, Cannot be saved !\n"},
                        {"ulimit -f 16; trap '' XFSZ; ", 0644, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shellPrefix);
    TempDir dir;
    const std::string in = dir.File("big.bmp"), out = dir.File("out.bmp");
    MakeBmp("-size 300x300 gradient:red-blue -type TrueColor", in);
    MakeBmp("-size 2x2 xc:blue", out);
    ASSERT_EQ(chmod(out.c_str(), c.outputMode), 0);
    const std::vector<uint8_t> before = ReadBytes(out);
    const CommandResult result = RunCommand(c.shellPrefix + ShellQuote(testing_support::CliPath()) + " convert " +
                                            ShellQuote(in) + " " + ShellQuote(out));
    EXPECT_EQ(result.exitCode, 1) << result.err;
    if (c.error) {
      EXPECT_EQ(result.err, out + c.error);
    } else {
      EXPECT_FALSE(result.err.empty());
    }
    EXPECT_EQ(ReadBytes(out), before);
    EXPECT_EQ(FolderEntries(dir.Path()), (std::set<std::string>{"big.bmp", "out.bmp"}));
  }
}

}  // namespace
