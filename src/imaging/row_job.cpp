#include "imaging/row_job.h"

#include <cstring>
#include <thread>

#include "platform/progress.h"

namespace {

// Below this many bytes a second thread costs more than it saves.
constexpr int64_t kParallelBytes = int64_t{1} << 20;

// Jobs run on the user-interface thread only while reporting, so a plain
// flag serves.
bool g_callerRestores = false;

}  // namespace

CRowJob::CRowJob(CDIBitmap& image, int rows) : image_(image), rows_(rows), reporting_(ProgressEnabled()) {
  image_.Lock();
  if (reporting_) {
    ProgressBegin(0, 100);
    if (g_callerRestores) return;
    const size_t bytes = static_cast<size_t>(image_.GetStride()) * static_cast<size_t>(image_.GetHeight());
    if (image_.GetPixels()) snapshot_.assign(image_.GetPixels(), image_.GetPixels() + bytes);
  }
}

CRowJob::~CRowJob() { image_.Unlock(); }

bool CRowJob::Step(int index) {
  if (!reporting_) return true;
  const int percent = rows_ > 0 ? static_cast<int>(int64_t{100} * index / rows_) : 100;
  if (ProgressStep(percent) != kProgressCancelled) return true;
  if (!snapshot_.empty() && image_.GetPixels()) std::memcpy(image_.GetPixels(), snapshot_.data(), snapshot_.size());
  return false;
}

bool GL_SetCancelRestoredByCaller(bool on) {
  const bool was = g_callerRestores;
  g_callerRestores = on;
  return was;
}

bool GL_RowProgress(int index, int rows) {
  if (!ProgressEnabled()) return true;
  const int percent = rows > 0 ? static_cast<int>(int64_t{100} * index / rows) : 100;
  return ProgressStep(percent) != kProgressCancelled;
}

namespace row_job_detail {

bool UseThreads(int rows, int64_t bytesPerRow) {
  return GL_GetThreadCount() > 1 && rows >= 2 && !ProgressEnabled() && int64_t{rows} * bytesPerRow >= kParallelBytes;
}

void RunBands(int rows, int threads, void (*thunk)(void*, int, int), void* context) {
  const int split = rows / threads;
  std::thread second([&] { thunk(context, split, rows); });
  thunk(context, 0, split);
  second.join();
}

}  // namespace row_job_detail
