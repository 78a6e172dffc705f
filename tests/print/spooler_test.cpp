// The byte sinks: "Print to file" never leaves a half-written file, and the
// retry helper's handling of full queues, short writes and errors.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/progress.h"
#include "print/spooler.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

int FilesIn(const fs::path& dir) {
  int n = 0;
  for (const auto& entry : fs::directory_iterator(dir)) n += entry.is_regular_file();
  return n;
}

TEST(FileSpooler, FinishedJobAppearsWholeOnlyAtTheEnd) {
  testing_support::TempDir dir;
  const std::string target = dir.File("page.prn");
  print::FileSpooler spooler(target);
  ASSERT_TRUE(spooler.StartDocument("job"));
  ASSERT_TRUE(spooler.StartPage());
  Bytes data(100000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(print::WriteAll(spooler, data.data(), data.size(), false), 0);
  EXPECT_FALSE(fs::exists(target)) << "the target exists before the job is complete";
  ASSERT_TRUE(spooler.EndPage());
  ASSERT_TRUE(spooler.EndDocument());
  EXPECT_EQ(testing_support::ReadBytes(target), data);
  EXPECT_EQ(FilesIn(dir.Path()), 1) << "a temporary file was left behind";
}

TEST(FileSpooler, AbortOrDestructionKeepsTheOldFileAndLeavesNoTemporary) {
  for (bool explicitAbort : {true, false}) {
    testing_support::TempDir dir;
    const std::string target = dir.File("page.prn");
    const Bytes old = {'o', 'l', 'd'};
    testing_support::WriteBytes(target, old);
    {
      print::FileSpooler spooler(target);
      ASSERT_TRUE(spooler.StartDocument("job"));
      const Bytes part(5000, 0x1B);
      ASSERT_EQ(print::WriteAll(spooler, part.data(), part.size(), false), 0);
      if (explicitAbort) spooler.AbortDocument();
    }
    EXPECT_EQ(testing_support::ReadBytes(target), old) << explicitAbort;
    EXPECT_EQ(FilesIn(dir.Path()), 1) << explicitAbort;
  }
}

TEST(FileSpooler, ErrorsAreErrnoNumbers) {
  testing_support::TempDir dir;
  print::FileSpooler missingFolder(dir.File("no/such/folder/page.prn"));
  const print::Spooler& spooler = missingFolder;
  EXPECT_EQ(spooler.LastErrorText(), "");
  EXPECT_FALSE(missingFolder.StartDocument("job"));
  EXPECT_EQ(missingFolder.LastError(), ENOENT);
  EXPECT_EQ(spooler.LastErrorText(), std::strerror(ENOENT));

  print::FileSpooler notStarted(dir.File("page.prn"));
  size_t written = 99;
  const uint8_t byte = 1;
  EXPECT_EQ(notStarted.Write(&byte, 1, written), EBADF);
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(notStarted.EndDocument());
}

TEST(WriteAll, RetriesFullQueuesAndShortWritesAndStopsAtErrors) {
  struct Case {
    const char* name;
    int queueFull;
    size_t maxWrite;
    size_t failAfter;  // 0: no failure
    int error;
    int expected;
    size_t delivered;
  };
  const Case cases[] = {
      {"plain", 0, 0, 0, 0, 0, 1000},
      {"queue full", 40, 0, 0, 0, 0, 1000},
      {"short writes", 0, 3, 0, 0, 0, 1000},
      {"both", 7, 64, 0, 0, 0, 1000},
      {"error midway", 0, 100, 450, 28, 28, 450},
      {"queue full then error", 3, 0, 10, 1803, 1803, 10},
  };
  Bytes data(1000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  for (const Case& c : cases) {
    for (bool wait : {false, true}) {
      print::MemorySpooler spooler;
      spooler.FailNextWritesQueueFull(c.queueFull);
      spooler.LimitWriteSize(c.maxWrite);
      if (c.failAfter) spooler.FailAfter(c.failAfter, c.error);
      EXPECT_EQ(print::WriteAll(spooler, data.data(), data.size(), wait), c.expected) << c.name;
      EXPECT_EQ(spooler.Bytes(), Bytes(data.begin(), data.begin() + c.delivered)) << c.name;
      EXPECT_EQ(spooler.LastErrorText().empty(), c.error == 0) << c.name;
    }
  }
}

TEST(WriteAll, CancelEndsTheRetriesOfAQueueThatStaysFull) {
  for (bool wait : {false, true}) {
    print::MemorySpooler spooler;
    spooler.FailNextWritesQueueFull(1 << 30);
    const Bytes data(10, 1);
    platform::RequestCancel();
    const int result = print::WriteAll(spooler, data.data(), data.size(), wait);
    platform::ResetCancel();
    EXPECT_EQ(result, print::kWriteCancelled);
    EXPECT_TRUE(spooler.Bytes().empty());
  }
}

}  // namespace
