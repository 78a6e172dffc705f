// vividrome-cli icc list and icc dump, run as a separate program.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "../color/icc_profile_writer.h"
#include "test_support.h"

namespace {

using testing_support::CommandResult;
using testing_support::ReadBytes;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;

// Runs the program in `folder` with VIVID_ICC_PATH set to `iccPath`.
CommandResult CliIn(const std::filesystem::path& folder, const std::string& arguments,
                    const std::string& iccPath = "") {
  return RunCommand("cd " + ShellQuote(folder.string()) + " && VIVID_ICC_PATH=" + ShellQuote(iccPath) + " " +
                    ShellQuote(testing_support::CliPath()) + " " + arguments);
}

void WriteProfile(const std::filesystem::path& path, const std::string& deviceClass, const std::string& space,
                  const std::string& description) {
  std::filesystem::create_directories(path.parent_path());
  icc_test::Header header;
  header.deviceClass = deviceClass;
  header.colorSpace = space;
  header.pcs = "Lab ";
  testing_support::WriteBytes(path.string(), icc_test::BuildProfile(header, {{"desc", icc_test::DescTag(description)}}));
}

std::string Text(const std::string& path) {
  const auto bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::set<std::string> Entries(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

TEST(CliIcc, DumpWritesTheDefaultFileInTheWorkingFolder) {
  TempDir dir;
  WriteProfile(dir.Path() / "profiles" / "screen.icc", "mntr", "RGB ", "Screen");
  WriteProfile(dir.Path() / "profiles" / "press.icc", "prtr", "CMYK", "Press");
  const auto work = dir.Path() / "work";
  std::filesystem::create_directories(work);

  CommandResult result = CliIn(work, "icc dump ../profiles/screen.icc");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Text((work / "VIVIDICM_mntr.txt").string()).rfind("\n Description : Screen  \nRGB  ColorSpace\nLab  PCS\n", 0),
            0u);
  result = CliIn(work, "icc dump ../profiles/press.icc --intent 2");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Text((work / "VIVIDICM_prn.txt").string()).rfind("\n Description : Press  \nCMYK ColorSpace\n", 0), 0u);
  EXPECT_EQ(Entries(work), (std::set<std::string>{"VIVIDICM_mntr.txt", "VIVIDICM_prn.txt"}));

  result = CliIn(work, "icc dump ../profiles/press.icc --output ../named.txt");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Text((dir.Path() / "named.txt").string()).rfind("\n Description : Press  \n", 0), 0u);
}

TEST(CliIcc, DumpFailures) {
  TempDir dir;
  WriteProfile(dir.Path() / "screen.icc", "mntr", "RGB ", "Screen");
  testing_support::WriteBytes(dir.File("notes.icc"), std::vector<uint8_t>(300, 'x'));
  struct Case {
    std::string arguments;
    int exitCode;
    std::string message;
  } cases[] = {
      {"icc dump notes.icc", 1, "not an ICC profile"},
      {"icc dump missing.icc", 1, "cannot open"},
      {"icc dump screen.icc --intent 4", 2, "--intent"},
      {"icc dump screen.icc --intent x", 2, "--intent"},
      {"icc dump screen.icc --output no/such/folder/out.txt", 1, "cannot write"},
      {"icc dump", 2, "missing argument"},
      {"icc frobnicate", 2, "unknown icc action"},
  };
  for (const Case& c : cases) {
    const CommandResult result = CliIn(dir.Path(), c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments << "\n" << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << c.arguments << "\n" << result.err;
  }
  // No dump file, and no temporary one, was left behind.
  EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"notes.icc", "screen.icc"}));
}

TEST(CliIcc, ListUsesTheFoldersOfVividIccPath) {
  TempDir dir;
  WriteProfile(dir.Path() / "one" / "b_screen.icm", "mntr", "RGB ", "Screen");
  WriteProfile(dir.Path() / "one" / "sub" / "press.icc", "prtr", "CMYK", "Press");
  WriteProfile(dir.Path() / "two" / "a_scan.icc", "scnr", "RGB ", "Scanner");
  WriteProfile(dir.Path() / "three" / "elsewhere.icc", "mntr", "RGB ", "Not listed");
  const std::string folders = (dir.Path() / "one").string() + ":" + (dir.Path() / "two").string();
  const CommandResult result = CliIn(dir.Path(), "icc list", folders);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string one = (dir.Path() / "one").string(), two = (dir.Path() / "two").string();
  EXPECT_EQ(result.out,
            "input\ta_scan.icc\tScanner\tVer 2.10\tColor Space: RGB Data\t" + two + "/a_scan.icc\n"
            "display\tb_screen.icm\tScreen\tVer 2.10\tColor Space: RGB Data\t" + one + "/b_screen.icm\n"
            "output\tpress.icc\tPress\tVer 2.10\tColor Space: CMYK Data\t" + one + "/sub/press.icc\n"
            "separation\tpress.icc\tPress\tVer 2.10\tColor Space: CMYK Data\t" + one + "/sub/press.icc\n");
  EXPECT_EQ(CliIn(dir.Path(), "icc list --intent 1", folders).exitCode, 2);
}

}  // namespace
