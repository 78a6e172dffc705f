// Progress service: the position posted to the main window, the pump hook and
// the cancel count.
#include "platform/progress.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>

#include "platform/main_window.h"

namespace platform {
namespace {

class ProgressTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ResetCancel();
    SetProgressPump(nullptr);
    ProgressBegin(0, 100);
  }
  RecordingMainWindow window_;
};

std::string Posted(int64_t position) { return "progress " + std::to_string(position) + " Process Completed, "; }

TEST_F(ProgressTest, PositionIsStartPlusRangeTimesPercentOverHundred) {
  const struct {
    int start, end, percent;
  } cases[] = {{0, 100, 37}, {10, 30, 50}, {0, 7, 50}, {20, 80, 33}, {100, 0, 33},
               {0, -7, 50},  {5, 5, 70},   {INT_MIN, INT_MAX, 50}};
  for (const auto& c : cases) {
    window_.events.clear();
    ProgressBegin(c.start, c.end);
    EXPECT_EQ(ProgressStep(c.percent), 1);
    const int64_t expected = c.start + (int64_t{c.end} - c.start) * c.percent / 100;
    EXPECT_EQ(window_.events, std::vector<std::string>{Posted(expected)}) << c.start << ".." << c.end;
  }
}

TEST_F(ProgressTest, PumpRunsFirstAndCanCancelTheSameStep) {
  SetProgressPump([] { MainWindow().StatusText("pump"); });
  ProgressStep(10);
  EXPECT_EQ(window_.events, (std::vector<std::string>{"status pump", Posted(10)}));

  SetProgressPump([] { RequestCancel(); });  // the user presses Cancel while events run
  EXPECT_EQ(ProgressStep(20), -100);
  SetProgressPump(nullptr);
  EXPECT_EQ(ProgressStep(30), -100);
  ResetCancel();
  EXPECT_EQ(ProgressStep(40), 1);
}

TEST_F(ProgressTest, CancelRequestsFromOtherThreadsAreCounted) {
  auto cancel = [] {
    for (int i = 0; i < 1000; ++i) RequestCancel();
  };
  std::thread a(cancel), b(cancel);
  a.join();
  b.join();
  EXPECT_EQ(CancelCount(), 2000);
}

}  // namespace
}  // namespace platform
