// The shell's text rules: the command line, the forwarded execute strings,
// the status panes' texts and the stored window placement.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/app_settings.h"
#include "app/shell_command.h"
#include "app/shell_status.h"

namespace {

using app::ShellAction;
using app::ShellCommand;

ShellCommand Open(std::string file) { return {ShellAction::Open, std::move(file), {}, {}, {}}; }

TEST(ShellCommandLine, FilesAndPrintSwitches) {
  struct Case {
    std::vector<std::string> words;
    std::vector<ShellCommand> commands;
  };
  const Case cases[] = {
      {{}, {}},
      {{"a.png"}, {Open("a.png")}},
      {{"/tmp/a b.png", "c.jpg"}, {Open("/tmp/a b.png"), Open("c.jpg")}},
      // A path with a '/' or a dot after the slash is a file, not a switch.
      {{"/image.png"}, {Open("/image.png")}},
      {{"--", "-p"}, {Open("-p")}},
      {{"/p", "x.tif"}, {{ShellAction::Print, "x.tif", {}, {}, {}}}},
      {{"-P", "x.tif"}, {{ShellAction::Print, "x.tif", {}, {}, {}}}},
      {{"/pt", "x.tif", "Office", "drv", "usb:1"}, {{ShellAction::PrintTo, "x.tif", "Office", "drv", "usb:1"}}},
      {{"/PT", "x.tif", "", "", ""}, {{ShellAction::PrintTo, "x.tif", "", "", ""}}},
  };
  for (const Case& c : cases) {
    const app::CommandLine parsed = app::ParseCommandLine(c.words);
    EXPECT_TRUE(parsed.Ok()) << parsed.error;
    EXPECT_EQ(parsed.commands, c.commands) << (c.words.empty() ? "" : c.words[0]);
  }
}

TEST(ShellCommandLine, UsageErrorsNameTheProblem) {
  struct Case {
    std::vector<std::string> words;
    std::string error;
  };
  const Case cases[] = {
      {{"/x", "a.png"}, "Unknown switch /x."},
      {{"a.png", "--embedding"}, "Unknown switch --embedding."},
      {{"/p"}, "/p needs the file to print."},
      {{"/pt", "x.tif", "Office", "drv"}, "/pt needs FILE PRINTER DRIVER PORT."},
      {{"/p", "x.tif", "y.tif"}, "/p and /pt print one file; y.tif is one too many."},
      {{"/p", "x.tif", "/p", "y.tif"}, "Only one of /p and /pt may be given."},
      {{"/p", ""}, "The file to print has no name."},
  };
  for (const Case& c : cases) {
    const app::CommandLine parsed = app::ParseCommandLine(c.words);
    EXPECT_EQ(parsed.error, c.error);
    EXPECT_TRUE(parsed.commands.empty());
  }
}

TEST(ShellExecuteString, BuiltInTheForwardedForm) {
  EXPECT_EQ(app::BuildExecuteString(Open("/home/u/a.png")), "[open(\"/home/u/a.png\")]");
  EXPECT_EQ(app::BuildExecuteString({ShellAction::Print, "/x.tif", {}, {}, {}}), "[print(\"/x.tif\")]");
  EXPECT_EQ(app::BuildExecuteString({ShellAction::PrintTo, "/x.tif", "Office", "drv", "usb:1"}),
            "[printto(\"/x.tif\",\"Office\",\"drv\",\"usb:1\")]");
  // A quote inside a path is doubled.
  EXPECT_EQ(app::BuildExecuteString(Open("/a\"b.png")), "[open(\"/a\"\"b.png\")]");
}

TEST(ShellExecuteString, RoundTripsEveryCharacterOfAPath) {
  const std::vector<ShellCommand> commands = {
      Open("/tmp/say \"hi\"/[x](y),z.png"),
      {ShellAction::Print, "/\"\"\"", {}, {}, {}},
      {ShellAction::PrintTo, "/p q/\nnew line.bmp", "Q \"1\"", "", "]"},
  };
  std::string joined;
  for (const ShellCommand& command : commands) {
    joined += app::BuildExecuteString(command);
    EXPECT_EQ(app::ParseExecuteString(app::BuildExecuteString(command)), std::vector<ShellCommand>{command});
  }
  EXPECT_EQ(app::ParseExecuteString(joined), commands);
}

TEST(ShellExecuteString, AcceptsBlanksAndAnyCaseOfTheName) {
  EXPECT_EQ(app::ParseExecuteString(" [ OPEN ( \"a\" ) ]\n[Print(\"b\")] "),
            (std::vector<ShellCommand>{Open("a"), {ShellAction::Print, "b", {}, {}, {}}}));
}

TEST(ShellExecuteString, MalformedStringsAreRefusedWhole) {
  const char* bad[] = {
      "",
      "   ",
      "open(\"a\")",                         // no brackets
      "[open(\"a\")",                        // no closing bracket
      "[open(\"a)]",                         // open quote
      "[open(a)]",                           // unquoted
      "[open(\"\")]",                        // empty file
      "[open(\"a\",\"b\")]",                 // too many arguments
      "[printto(\"a\",\"b\",\"c\")]",        // too few
      "[close(\"a\")]",                      // unknown command
      "[open(\"a\")] trailing",              // text after the commands
      "[open(\"a\")][open(\"b\"",            // a good command then a broken one
      "[open(\"a\"\")]",                     // a doubled quote leaves the string open
      "\x01\xff[",
  };
  for (const char* text : bad) EXPECT_EQ(app::ParseExecuteString(text), std::nullopt) << text;
}

TEST(ShellStatus, MemorySizeByThePrintfRules) {
  // Expected texts by hand from the printf rules: "%f" gives six decimals,
  // "%5.2f" pads to five characters.
  EXPECT_EQ(app::FormatMemorySize(1000), "1000.000000 Bytes");
  EXPECT_EQ(app::FormatMemorySize(1024), "1024.000000 Bytes");
  EXPECT_EQ(app::FormatMemorySize(2048), " 2.00 KBytes");
  EXPECT_EQ(app::FormatMemorySize(1048576), "1024.00 KBytes");
  EXPECT_EQ(app::FormatMemorySize(3145728), " 3.00 MBytes");
  // Past the width the field grows: 40000 MB.
  EXPECT_EQ(app::FormatMemorySize(40000ull * 1048576), "40000.00 MBytes");
  // 100 rows of 12 bytes = 1200 / 1024 = 1.17; 3000 rows of 7500 bytes = 22500000 / 1048576 = 21.457...
  EXPECT_EQ(app::FormatSizePane(4, 100, 12), "4 x 100 -  1.17 KBytes");
  EXPECT_EQ(app::FormatSizePane(2500, 3000, 7500), "2500 x 3000 - 21.46 MBytes");
  EXPECT_EQ(app::FormatProgress(40, "Loading File"), "Loading File 40%");
  EXPECT_EQ(app::FormatProgress(100, ""), "100%");
}

TEST(ShellPlacement, RoundTripsAndRefusesOtherTexts) {
  const app::WindowPlacement placement{0, app::kShowMaximized, -1, -1, -1, -1, -20, 30, 1004, 750};
  EXPECT_EQ(app::FormatWindowPlacement(placement), "0,3,-1,-1,-1,-1,-20,30,1004,750");
  EXPECT_EQ(app::ParseWindowPlacement("0,3,-1,-1,-1,-1,-20,30,1004,750"), placement);
  EXPECT_EQ(app::ParseWindowPlacement(" 0, 3,-1,-1,-1,-1, -20,30,1004, 750 "), placement);
  EXPECT_EQ(app::ParseWindowPlacement("4294967295,1,0,0,0,0,0,0,10,10")->flags, 4294967295u);
  const char* bad[] = {
      "",
      "0,1,-1,-1,-1,-1,0,0,100",             // nine numbers
      "0,1,-1,-1,-1,-1,0,0,100,100,5",       // eleven
      "0,1,-1,-1,-1,-1,0,0,100,100,",        // empty eleventh
      "0,1,-1,-1,-1,-1,0,,100,100",          // empty field
      "-1,1,-1,-1,-1,-1,0,0,100,100",        // negative flags
      "0,1,-1,-1,-1,-1,0,0,100,1e2",         // not a whole number
      "0,1,-1,-1,-1,-1,0,0,100,100x",        // trailing text
      "0,1,-1,-1,-1,-1,0,0,2147483648,100",  // out of int range
      "4294967296,1,-1,-1,-1,-1,0,0,100,100",
      "0,1,-1,-1,-1,-1,100,0,100,100",       // no width
      "0,1,-1,-1,-1,-1,0,50,100,10",         // bottom above top
  };
  for (const char* text : bad) EXPECT_EQ(app::ParseWindowPlacement(text), std::nullopt) << text;
}

TEST(ShellRecentFiles, NewestFirstAtMostTenEachOnce) {
  app::RecentFileList list;
  for (int i = 1; i <= 12; ++i) list.Add("/f" + std::to_string(i));
  std::vector<std::string> expected;
  for (int i = 12; i >= 3; --i) expected.push_back("/f" + std::to_string(i));
  EXPECT_EQ(list.Items(), expected);
  // Adding a listed path moves it to the front without a copy.
  list.Add("/f7");
  EXPECT_EQ(list.Items().front(), "/f7");
  EXPECT_EQ(list.Items().size(), 10u);
  EXPECT_EQ(std::count(list.Items().begin(), list.Items().end(), "/f7"), 1);
  EXPECT_TRUE(list.Remove("/f12"));
  EXPECT_FALSE(list.Remove("/f12"));
  EXPECT_EQ(list.Items().size(), 9u);

  // Stored and read back; a shorter list removes the keys it no longer uses.
  platform::MemorySettings settings;
  list.Save(settings);
  app::RecentFileList loaded;
  loaded.Load(settings);
  EXPECT_EQ(loaded.Items(), list.Items());
  EXPECT_EQ(settings.GetString("Recent File List", "File1", ""), "/f7");
  app::RecentFileList shorter;
  shorter.Add("/only");
  shorter.Save(settings);
  EXPECT_FALSE(settings.HasKey("Recent File List", "File2"));
  loaded.Load(settings);
  EXPECT_EQ(loaded.Items(), std::vector<std::string>{"/only"});

  EXPECT_EQ(app::RecentFileMenuText(0, "/a&b.png"), "&1 /a&&b.png");
  EXPECT_EQ(app::RecentFileMenuText(8, "/x"), "&9 /x");
  EXPECT_EQ(app::RecentFileMenuText(9, "/x"), "1&0 /x");
}

TEST(ShellMachineStrings, MissingOrEmptyGetTheirDefaultsWrittenBack) {
  platform::MemorySettings settings;
  settings.SetString("1.20", "ImagePath", "");
  settings.SetString("1.20", "ICMPathPrinter", "/icc/printer.icc");
  const app::MachinePaths paths = app::LoadMachinePaths(settings, "/home/u/Pictures/");
  EXPECT_EQ(paths.workPath, "/home/u/Pictures/");
  EXPECT_EQ(paths.imagePath, "/home/u/Pictures/");
  EXPECT_EQ(paths.icmPrinter, "/icc/printer.icc");
  EXPECT_EQ(paths.icmMonitor, "");
  const char* keys[] = {"WorkPath", "ImagePath", "ICMPathMonitor", "ICMPathPrinter", "ICMPathScanner",
                        "ICMPathSeparate"};
  for (const char* key : keys) EXPECT_TRUE(settings.HasKey("1.20", key)) << key;
  EXPECT_EQ(settings.GetString("1.20", "ImagePath", "?"), "/home/u/Pictures/");
  EXPECT_EQ(settings.GetString("1.20", "ICMPathPrinter", "?"), "/icc/printer.icc");
  EXPECT_EQ(settings.GetString("1.20", "ICMPathScanner", "?"), "");

  EXPECT_EQ(app::LoadGamma(settings), 100);
  settings.SetString("Calibrate", "Gamma", "180");
  EXPECT_EQ(app::LoadGamma(settings), 180);
}

}  // namespace
