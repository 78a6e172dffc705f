// The undo record of a whole image against copying the image once.
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "document/vivid_doc.h"

namespace {

// A copy into a new bitmap, as the undo record saves into new memory.
void BM_CopyImage(benchmark::State& state) {
  CDIBitmap image;
  image.Create(bench::kWidth, bench::kHeight, 24, 0);
  bench::FillNoise(image);
  for (auto _ : state) {
    CDIBitmap copy;
    copy.CopyFrom(image);
    benchmark::DoNotOptimize(copy.GetPixels());
    state.PauseTiming();
    copy.Free();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CopyImage)->Unit(benchmark::kMillisecond);

CVividDoc& Document() {
  static CVividDoc* doc = [] {
    auto* d = new CVividDoc;
    d->GetImage().Create(bench::kWidth, bench::kHeight, 24, 0);
    bench::FillNoise(d->GetImage());
    return d;
  }();
  return *doc;
}

// Kind 50 without a selection saves every tile.
void BM_UndoRecordWholeImage(benchmark::State& state) {
  CVividDoc& doc = Document();
  for (auto _ : state) {
    doc.RecordUndo(50, nullptr, "Rotate 90 Canvas");
    benchmark::DoNotOptimize(doc.GetUndoRecord().pixels.get());
    state.PauseTiming();
    doc.DiscardUndo();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_UndoRecordWholeImage)->Unit(benchmark::kMillisecond);

void BM_UndoRestoreWholeImage(benchmark::State& state) {
  CVividDoc& doc = Document();
  for (auto _ : state) {
    state.PauseTiming();
    doc.RecordUndo(50, nullptr, "Rotate 90 Canvas");
    state.ResumeTiming();
    doc.RestoreUndo();
  }
}
BENCHMARK(BM_UndoRestoreWholeImage)->Unit(benchmark::kMillisecond);

}  // namespace
