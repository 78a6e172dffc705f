#include "platform/progress.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>

#include "platform/main_window.h"

namespace {

bool g_enabled = false;
int g_start = 0;
int g_end = 100;
std::function<void()> g_pump;
std::atomic<int> g_cancelCount{0};

}  // namespace

void ProgressEnable(bool on) { g_enabled = on; }
bool ProgressEnabled() { return g_enabled; }

void ProgressBegin(int start, int end) {
  g_start = start;
  g_end = end;
}

int ProgressStep(int percent) {
  if (g_pump) g_pump();
  // In 64 bits: |end - start| < 2^32 and |percent| <= 2^31, so the product
  // fits; the position is clamped to int for out-of-range percentages.
  const int64_t range = static_cast<int64_t>(g_end) - g_start;
  const int64_t position = g_start + range * percent / 100;
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
