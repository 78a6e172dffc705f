// Every kind of file the system writes is created with the permissions the
// umask gives, 0666 less the umask, whichever writer makes it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "color/curves.h"
#include "test_support.h"

namespace {

using testing_support::ShellQuote;

mode_t Mode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST(OutputModes, EveryKindOfOutputIsCreatedWithTheUmasksPermissions) {
  const std::string image = ShellQuote(testing_support::DataPath("gif/im_pal8.gif"));
  const std::string profile = ShellQuote(testing_support::DataPath("third_party/lcms2-testbed/test1.icc"));
  const struct {
    const char* file;
    std::string arguments;  // followed by the output file
  } outputs[] = {
      {"converted.png", "convert " + image},
      {"page.prn", "print " + image + " --printer epson --output"},
      {"page.pdf", "print " + image + " --device --output"},
      {"dump.txt", "icc dump " + profile + " --output"},
  };
  const struct {
    mode_t mask;
    const char* octal;
  } masks[] = {{027, "027"}, {022, "022"}};
  for (const auto [mask, octal] : masks) {
    SCOPED_TRACE(octal);
    testing_support::TempDir dir;
    for (const auto& output : outputs) {
      const auto result = testing_support::RunCommand(std::string("umask ") + octal + "; " +
                                                      ShellQuote(testing_support::CliPath()) + " " +
                                                      output.arguments + " " + ShellQuote(dir.File(output.file)));
      ASSERT_EQ(result.exitCode, 0) << output.file << "\n" << result.err;
      EXPECT_EQ(Mode(dir.File(output.file)), 0666 & ~mask) << output.file;
    }
    const mode_t previous = umask(mask);
    const int saved = color::SaveCurveFile(dir.File("curves"), color::CurveSet(), 4);
    umask(previous);
    ASSERT_EQ(saved, 1);
    EXPECT_EQ(Mode(dir.File("curves.crb")), 0666 & ~mask);
  }
}

}  // namespace
