#include "imaging/row_job.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/main_window.h"
#include "platform/progress.h"

namespace {

// Turns progress reporting on for one test and restores the defaults after.
class ReportingScope {
 public:
  ReportingScope() { ProgressEnable(true); }
  ~ReportingScope() {
    ProgressEnable(false);
    platform::SetProgressPump(nullptr);
    platform::ResetCancel();
  }
};

TEST(RowJobTest, CancelRestoresTheBitmapAndStopsTheLoop) {
  ReportingScope reporting;
  platform::RecordingMainWindow window;
  CDIBitmap image;
  ASSERT_EQ(image.Create(5, 10, 8, 1), 1);
  for (int y = 0; y < 10; ++y) image.SetPixel(y, 0, static_cast<uint32_t>(y));
  // The user presses Cancel while the fourth row is being reported.
  int pumped = 0;
  platform::SetProgressPump([&] {
    if (++pumped == 4) platform::RequestCancel();
  });
  int rowsDone = 0;
  int result = 1;
  {
    CRowJob job(image, 10);
    EXPECT_TRUE(job.Reporting());
    for (int y = 0; y < 10; ++y) {
      std::vector<uint8_t> row(static_cast<size_t>(image.GetStride()), 200);
      image.PutRow(row.data(), y);
      ++rowsDone;
      if (!job.Step(y)) {
        result = kResultCancelled;
        break;
      }
    }
    EXPECT_EQ(image.GetLockCount(), 1u);
  }
  EXPECT_EQ(result, -29);
  EXPECT_EQ(rowsDone, 4);
  EXPECT_EQ(image.GetLockCount(), 0u);
  for (int y = 0; y < 10; ++y) EXPECT_EQ(image.GetPixel(y, 0), static_cast<uint32_t>(y)) << "row " << y;
  ASSERT_GE(window.events.size(), 3u);
  // Rows 0..2 reported 0, 10 and 20 percent of the 0..100 range.
  EXPECT_EQ(window.events[2], "progress 20 Process Completed, ");
}

TEST(RowJobTest, WithoutReportingNothingIsSnapshottedOrCancelled) {
  platform::RequestCancel();
  CDIBitmap image;
  ASSERT_EQ(image.Create(3, 3, 24, 0), 1);
  CRowJob job(image, 3);
  EXPECT_FALSE(job.Reporting());
  EXPECT_TRUE(job.Step(0)) << "a cancel is only seen while progress is reported";
  platform::ResetCancel();
}

TEST(RowJobTest, ParallelBandsCoverEveryRowOnceWhateverTheThreadCount) {
  for (int threads : {1, 2}) {
    GL_SetThreadCount(threads);
    for (int rows : {1, 2, 3, 999, 4000}) {
      std::vector<std::atomic<int>> seen(static_cast<size_t>(rows));
      GL_ParallelRows(rows, int64_t{1} << 20, [&](int first, int last) {
        for (int y = first; y < last; ++y) seen[static_cast<size_t>(y)].fetch_add(1);
      });
      for (int y = 0; y < rows; ++y) ASSERT_EQ(seen[static_cast<size_t>(y)].load(), 1) << threads << " " << rows;
    }
  }
  GL_SetThreadCount(2);
}

}  // namespace
