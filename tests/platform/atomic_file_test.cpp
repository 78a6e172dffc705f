// AtomicFile: the target shows its old contents or the complete new ones,
// with the umask's permissions or the replaced file's, and no temporary is
// ever left behind.
#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>

#include "test_support.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Bytes = std::vector<uint8_t>;

std::set<std::string> Entries(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

mode_t Mode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// What a commit leaves at the target for each kind of thing already there,
// written through the descriptor and through the stream.
TEST(AtomicFile, CommitPutsTheWholeFileInPlaceWithTheRightPermissions) {
  enum class Before { Nothing, File0604, LinkToFile0604 };
  const struct {
    Before before;
    AtomicFile::Existing existing;
    bool linkStays;
    bool keepsMode;
  } cases[] = {
      {Before::Nothing, AtomicFile::Existing::Replace, false, false},
      {Before::Nothing, AtomicFile::Existing::Keep, false, false},
      {Before::File0604, AtomicFile::Existing::Replace, false, false},
      {Before::File0604, AtomicFile::Existing::Keep, false, true},
      {Before::LinkToFile0604, AtomicFile::Existing::Replace, false, false},
      {Before::LinkToFile0604, AtomicFile::Existing::Keep, true, true},
  };
  const mode_t previousMask = umask(027);
  for (const auto& c : cases) {
    for (bool stream : {false, true}) {
      SCOPED_TRACE(testing::Message() << static_cast<int>(c.before) << " " << static_cast<int>(c.existing) << " "
                                      << stream);
      TempDir dir;
      const std::string target = dir.File("out.dat"), real = dir.File("real.dat");
      if (c.before != Before::Nothing) {
        WriteBytes(real, {'o', 'l', 'd'});
        ASSERT_EQ(chmod(real.c_str(), 0604), 0);
        if (c.before == Before::File0604) fs::rename(real, target);
        if (c.before == Before::LinkToFile0604) fs::create_symlink(real, target);
      }
      const std::set<std::string> before = Entries(dir.Path());
      const Bytes data(70000, 0x5A);
      AtomicFile file(target, c.existing);
      ASSERT_TRUE(file.Open());
      EXPECT_EQ(fs::path(file.TemporaryPath()).parent_path(), dir.Path());
      if (stream) {
        ASSERT_NE(file.Stream(), nullptr);
        ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), file.Stream()), data.size());
      } else {
        ASSERT_TRUE(file.Write(data.data(), data.size()));
      }
      ASSERT_TRUE(file.Commit());
      EXPECT_EQ(Entries(dir.Path()), before.empty() ? std::set<std::string>{"out.dat"} : before);
      EXPECT_EQ(fs::is_symlink(target), c.linkStays);
      EXPECT_EQ(ReadBytes(target), data);
      EXPECT_EQ(Mode(target), c.keepsMode ? 0604u : 0666u & ~027u);
      EXPECT_EQ(NewFileMode(), 0666u & ~027u);
    }
  }
  umask(previousMask);
}

TEST(AtomicFile, AbortDestructionOrAFailedCommitLeaveTheOldFileAndNoTemporary) {
  TempDir dir;
  const std::string target = dir.File("out.dat");
  const Bytes old = {'o', 'l', 'd'};
  WriteBytes(target, old);
  for (int way = 0; way < 3; ++way) {
    AtomicFile file(target);
    ASSERT_TRUE(file.Open());
    ASSERT_TRUE(file.Write("new", 3));
    ASSERT_TRUE(file.Flush());
    EXPECT_EQ(ReadBytes(file.TemporaryPath()), (Bytes{'n', 'e', 'w'}));  // readable by name once flushed
    if (way == 0) file.Abort();
    if (way == 2) {
      fs::remove(target);
      fs::create_directory(target);  // rename cannot replace a folder
      fs::create_directory(dir.Path() / "out.dat" / "inside");
      EXPECT_FALSE(file.Commit());
      EXPECT_TRUE(file.TemporaryPath().empty());
      fs::remove_all(target);
      WriteBytes(target, old);
    }
  }
  EXPECT_EQ(ReadBytes(target), old);
  EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"out.dat"});

  AtomicFile missing(dir.File("no/such/folder/out.dat"));
  EXPECT_FALSE(missing.Open());
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(missing.TemporaryPath(), dir.File("no/such/folder/.out.dat.XXXXXX"));
  EXPECT_FALSE(missing.Write("x", 1));
  EXPECT_EQ(errno, EBADF);
}

}  // namespace
}  // namespace platform
