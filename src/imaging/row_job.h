// Progress, cancellation and two-core banding shared by the GL_ operations.
//
// An operation that changes a bitmap in place row by row brackets its loop
// with a CRowJob: the bitmap is locked for the job's life, every finished row
// reports progress (ProgressStep(100 * row / rows) while reporting is on), and
// a cancel restores the bitmap to what it was before the job (a snapshot of
// the pixel block is taken when reporting is on, which is the only time a
// cancel can happen, unless the caller restores it itself: see
// GL_SetCancelRestoredByCaller). A cancelled operation returns
// kResultCancelled.
#pragma once

#include <cstdint>
#include <type_traits>
#include <vector>

#include "image/dibitmap.h"
#include "image/result_codes.h"
#include "image/threads.h"

class CRowJob {
 public:
  CRowJob(CDIBitmap& image, int rows);
  ~CRowJob();
  CRowJob(const CRowJob&) = delete;
  CRowJob& operator=(const CRowJob&) = delete;

  // Reports row `index` (0-based) as finished. False when the user has
  // cancelled: the bitmap has then been restored and the caller returns
  // kResultCancelled at once.
  bool Step(int index);
  // True while per-row progress runs (the loop must then stay on this
  // thread, row by row).
  bool Reporting() const { return reporting_; }

 private:
  CDIBitmap& image_;
  int rows_;
  bool reporting_;
  std::vector<uint8_t> snapshot_;
};

// While on, jobs take no snapshot and a cancelled job leaves the bitmap as
// far as it got: the caller puts it back itself (the editor restores from
// the undo record it took before the command), which spares copying the
// whole image first. Returns the previous setting. Off at start.
bool GL_SetCancelRestoredByCaller(bool on);

// Progress for a job that builds a new bitmap: false when cancelled (the
// caller drops what it built).
bool GL_RowProgress(int index, int rows);

// Runs body(first, last) over the rows [0, rows) split into contiguous bands,
// on two threads when the work (rows x bytesPerRow) is large enough and
// progress reporting is off, else on this thread in one band. Each band must
// compute exactly what the single-threaded loop computes for its rows, so the
// result never depends on the number of threads.
template <typename Body>
void GL_ParallelRows(int rows, int64_t bytesPerRow, Body&& body);

// GL_ParallelRows uses GL_GetThreadCount() threads for large work.

namespace row_job_detail {
void RunBands(int rows, int threads, void (*thunk)(void*, int, int), void* context);
bool UseThreads(int rows, int64_t bytesPerRow);
}  // namespace row_job_detail

template <typename Body>
void GL_ParallelRows(int rows, int64_t bytesPerRow, Body&& body) {
  if (rows <= 0) return;
  if (!row_job_detail::UseThreads(rows, bytesPerRow)) {
    body(0, rows);
    return;
  }
  using Callable = std::remove_reference_t<Body>;
  auto thunk = [](void* context, int first, int last) { (*static_cast<Callable*>(context))(first, last); };
  row_job_detail::RunBands(rows, GL_GetThreadCount(), thunk, const_cast<void*>(static_cast<const void*>(&body)));
}
