#include "platform/progress.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>

#include "platform/main_window.h"

namespace {

// Read by worker threads (a job decides whether it may run in bands) while
// the user-interface thread switches reporting: every shared flag is atomic.
std::atomic<bool> g_enabled{false};
std::atomic<int> g_start{0};
std::atomic<int> g_end{100};
std::function<void()> g_pump;  // set by the user-interface thread before any job runs
std::atomic<int> g_cancelCount{0};

}  // namespace

void ProgressEnable(bool on) { g_enabled.store(on, std::memory_order_relaxed); }
bool ProgressEnabled() { return g_enabled.load(std::memory_order_relaxed); }

void ProgressBegin(int start, int end) {
  g_start.store(start, std::memory_order_relaxed);
  g_end.store(end, std::memory_order_relaxed);
}

int ProgressStep(int percent) {
  if (g_pump) g_pump();
  // In 64 bits: |end - start| < 2^32 and |percent| <= 2^31, so the product
  // fits; the position is clamped to int for out-of-range percentages.
  const int64_t start = g_start.load(std::memory_order_relaxed);
  const int64_t range = g_end.load(std::memory_order_relaxed) - start;
  const int64_t position = start + range * percent / 100;
  platform::MainWindow().ProgressPosition(static_cast<int>(std::clamp<int64_t>(position, INT_MIN, INT_MAX)),
                                          kProgressText);
  return g_cancelCount.load(std::memory_order_relaxed) > 0 ? kProgressCancelled : 1;
}

namespace platform {

void SetProgressPump(std::function<void()> pump) { g_pump = std::move(pump); }
void RequestCancel() { g_cancelCount.fetch_add(1, std::memory_order_relaxed); }
void ResetCancel() { g_cancelCount.store(0, std::memory_order_relaxed); }
int CancelCount() { return g_cancelCount.load(std::memory_order_relaxed); }

}  // namespace platform
