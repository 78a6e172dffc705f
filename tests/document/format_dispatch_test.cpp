// Choosing the codec by file name, the option dialogs that come first, and
// the atomic replacement of a saved file. (A writer failing part-way through
// a real save is covered end to end by the command-line tests.)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "doc_test_images.h"
#include "document/format_dispatch.h"
#include "platform/messages.h"
#include "platform/prompts.h"

namespace {

using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

std::string Unsupported(const std::string& path) { return path + "\n\n Sorry, File Format is not supported now !"; }

std::set<std::string> FolderEntries(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

TEST(LoadImageFile, DispatchIsByLowerCasedEndingAndAlwaysLeaves72Dpi) {
  struct Case {
    const char* name;
    bool readable;  // a BMP is written under this name
  };
  const Case cases[] = {{"PHOTO.BMP", true}, {"Mixed.Bmp", true}, {"photo.jpe", false},
                        {"scan.tiff", false}, {"noext", false},    {"picture.vvd", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File(c.name);
    ASSERT_TRUE(doc_test::MakeWithImageMagick("-size 9x4 gradient:red-blue -density 300 -units PixelsPerInch",
                                              "BMP3:" + path));
    platform::RecordingMessageSink sink;
    CDIBitmap image;
    EXPECT_EQ(LoadImageFile(image, path) != 0, c.readable);
    EXPECT_EQ(sink.Texts(), c.readable ? std::vector<std::string>{} : std::vector<std::string>{Unsupported(path)});
    EXPECT_EQ(image.GetXResolution(), 72);
    EXPECT_EQ(image.GetYResolution(), 72);
    if (c.readable) {
      EXPECT_EQ(doc_test::BitmapRGB(image), doc_test::DecodeRGB(path));
    }
  }
}

TEST(LoadImageFile, PhotoCDAsksForTheResolutionFirstAndCancelReadsNothing) {
  TempDir dir;
  const std::string path = dir.File("disc.PCD");
  WriteBytes(path, std::vector<uint8_t>(4096, 0));
  // Cancel, and answers the dialog cannot give: a file too short for the
  // 4Base sector offers only the three base resolutions.
  for (std::optional<int> answer : {std::optional<int>(), std::optional<int>(-1), std::optional<int>(3)}) {
    platform::ScriptedPrompts prompts;
    platform::RecordingMessageSink sink;
    if (answer) prompts.photoCDAnswers.push_back(platform::PhotoCDChoice{*answer});
    CDIBitmap image;
    EXPECT_EQ(LoadImageFile(image, path), 0);
    EXPECT_EQ(prompts.requests, std::vector<std::string>{"photocd 3 2"});
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_FALSE(image.IsAllocated());
  }
}

TEST(SaveImageFile, OptionDialogsComeFirstAndCancelOrABadAnswerWritesNothing) {
  struct Case {
    const char* name;
    int bitCount;
    std::optional<int> answer;           // to whichever option dialog is asked; nullopt: Cancel
    std::vector<std::string> requests;  // the dialogs asked
    bool unsupported;                    // refused by name, before any dialog
  };
  const Case cases[] = {
      {"out.tif", 24, {}, {"tiff"}, false},          {"out.tif", 1, {}, {"tiff 1bit"}, false},
      {"OUT.TIF", 24, 2, {"tiff"}, false},           {"out.tif", 1, 4, {"tiff 1bit"}, false},
      {"out.jpg", 24, {}, {"jpeg 75"}, false},       {"PHOTO.JPEG", 24, 1, {"jpeg 75"}, false},
      {"out.jpeg", 24, 101, {"jpeg 75"}, false},     {"out.tga", 24, {}, {"tga"}, false},
      {"out.tga", 24, 2, {"tga"}, false},            {"out.jpe", 24, {}, {}, true},
      {"out.dcx", 24, {}, {}, true},                 {"out.pcd", 24, {}, {}, true},
      {"out", 24, {}, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << " " << c.bitCount << " bits");
    TempDir dir;
    CDIBitmap image;
    ASSERT_TRUE(image.Create(4, 3, c.bitCount, 0));
    platform::ScriptedPrompts prompts;
    prompts.tiffAnswers = prompts.jpegAnswers = prompts.tgaAnswers = {c.answer};
    platform::RecordingMessageSink sink;
    const std::string path = dir.File(c.name);
    EXPECT_EQ(SaveImageFile(image, path), 0);
    EXPECT_EQ(prompts.requests, c.requests);
    EXPECT_EQ(sink.Texts(), c.unsupported ? std::vector<std::string>{Unsupported(path)} : std::vector<std::string>{});
    EXPECT_TRUE(FolderEntries(dir.Path()).empty());
  }
}

TEST(WriteFileAtomically, FailureOrExceptionLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  const std::string path = dir.File("data.sel");
  const std::vector<uint8_t> old = {1, 2, 3, 4};
  WriteBytes(path, old);
  std::string seen;
  const auto failing = [&](const std::string& file) {
    seen = file;
    WriteBytes(file, std::vector<uint8_t>(50, 9));  // half-written
    return 0;
  };
  const auto throwing = [](const std::string& file) -> int {
    WriteBytes(file, {7});
    throw std::runtime_error("codec gave up");
  };
  EXPECT_EQ(WriteFileAtomically(path, failing), 0);
  EXPECT_EQ(std::filesystem::path(seen).parent_path(), dir.Path());
  EXPECT_THROW(WriteFileAtomically(path, throwing), std::runtime_error);
  EXPECT_EQ(WriteFileAtomically(dir.File("new.sel"), failing), 0);
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_EQ(FolderEntries(dir.Path()), std::set<std::string>{"data.sel"});
}

TEST(WriteFileAtomically, ReplacementKeepsPermissionsAndSymbolicLinks) {
  TempDir dir;
  const std::vector<uint8_t> fresh = {'n', 'e', 'w'};
  const auto writer = [&](const std::string& file) {
    WriteBytes(file, fresh);
    return 1;
  };
  const auto mode = [](const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
  };
  std::filesystem::create_directory(dir.Path() / "real");
  const std::string existing = dir.File("real/old.bmp"), link = dir.File("link.bmp");
  WriteBytes(existing, {'o'});
  ASSERT_EQ(chmod(existing.c_str(), 0640), 0);
  std::filesystem::create_symlink(existing, link);

  EXPECT_EQ(WriteFileAtomically(link, writer), 1);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadBytes(existing), fresh);
  EXPECT_EQ(mode(existing), 0640u);
  EXPECT_EQ(FolderEntries(dir.Path() / "real"), std::set<std::string>{"old.bmp"});

  const mode_t previousMask = umask(027);
  const std::string created = dir.File("created.bmp");
  EXPECT_EQ(WriteFileAtomically(created, writer), 1);
  umask(previousMask);
  EXPECT_EQ(mode(created), 0666u & ~027u);
}

}  // namespace
