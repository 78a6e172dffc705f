#include "image/threads.h"

#include <atomic>
#include <cstdlib>
#include <thread>

namespace {

int InitialThreadCount() {
  if (const char* env = std::getenv("VIVID_THREADS")) {
    const int n = std::atoi(env);
    if (n >= 1) return n > 2 ? 2 : n;
  }
  return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

std::atomic<int> g_threads{InitialThreadCount()};

}  // namespace

int GL_GetThreadCount() { return g_threads.load(std::memory_order_relaxed); }

void GL_SetThreadCount(int threads) {
  g_threads.store(threads < 1 ? 1 : threads > 2 ? 2 : threads, std::memory_order_relaxed);
}
