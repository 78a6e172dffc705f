// Throughput of the bitmap's row interface and the BMP codec on a
// 6000 x 4000 24-bit image, each next to a memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "document/codecs/bmp.h"
#include "image/dibitmap.h"
#include "platform/region.h"
#include "bench_support.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int64_t kRowBytes = int64_t{kWidth} * 3;
constexpr int64_t kImageBytes = kRowBytes * kHeight;

// A deterministic picture so that every run touches the same data.
void FillPicture(CDIBitmap& image) {
  image.Create(kWidth, kHeight, 24, 0);
  bench::FillNoise(image);
}

CDIBitmap& Picture() {
  static CDIBitmap image;
  if (!image.IsAllocated()) FillPicture(image);
  return image;
}

// Mask of 64-pixel squares in a checkerboard: half the image selected.
platform::Region Checkerboard() {
  std::vector<platform::Rect> rects;
  for (int y = 0; y < kHeight; y += 64)
    for (int x = ((y / 64) % 2) * 64; x < kWidth; x += 128) rects.push_back({x, y, x + 64, y + 64});
  return platform::Region::FromRects(rects);
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<uint8_t> a(static_cast<size_t>(kImageBytes), 1), b(static_cast<size_t>(kImageBytes));
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y)
      std::memcpy(b.data() + y * kRowBytes, a.data() + y * kRowBytes, static_cast<size_t>(kRowBytes));
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kImageBytes);
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

void BM_GetRow(benchmark::State& state) {
  CDIBitmap& image = Picture();
  std::vector<uint8_t> row(static_cast<size_t>(image.GetStride()));
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y) image.GetRow(row.data(), y);
    benchmark::DoNotOptimize(row.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kImageBytes);
}
BENCHMARK(BM_GetRow)->Unit(benchmark::kMillisecond);

void PutRows(benchmark::State& state, bool masked) {
  CDIBitmap target;
  target.Create(kWidth, kHeight, 24, 0);
  // Touch every page first, as the memcpy yardstick's buffers are: the
  // first-touch page faults are not the row interface's cost.
  std::memset(target.GetPixels(), 1, static_cast<size_t>(target.GetStride()) * kHeight);
  if (masked) {
    const platform::Region region = Checkerboard();
    target.SetMaskRgn(&region);
  }
  const CDIBitmap& source = Picture();
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y) target.PutRow(source.RowPointer(y), y);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kImageBytes);
}

void BM_PutRow(benchmark::State& state) { PutRows(state, false); }
BENCHMARK(BM_PutRow)->Unit(benchmark::kMillisecond);

void BM_PutRowMasked(benchmark::State& state) { PutRows(state, true); }
BENCHMARK(BM_PutRowMasked)->Unit(benchmark::kMillisecond);

void BM_CopyRect(benchmark::State& state) {
  const CDIBitmap& source = Picture();
  CDIBitmap target;
  for (auto _ : state) {
    target.CopyRect(source, 0, 0, kWidth, kHeight, 0);
    benchmark::DoNotOptimize(target.GetPixels());
  }
  state.SetBytesProcessed(state.iterations() * kImageBytes);
}
BENCHMARK(BM_CopyRect)->Unit(benchmark::kMillisecond);

std::string BenchFile() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/vivid-bench.bmp";
}

void BM_BMPWrite(benchmark::State& state) {
  const CDIBitmap& source = Picture();
  const std::string path = BenchFile();
  for (auto _ : state) {
    if (!BMPWrite(path, source)) state.SkipWithError("BMPWrite failed");
  }
  state.SetBytesProcessed(state.iterations() * kImageBytes);
}
BENCHMARK(BM_BMPWrite)->Unit(benchmark::kMillisecond);

void BM_BMPRead(benchmark::State& state) {
  const std::string path = BenchFile();
  if (!BMPWrite(path, Picture())) {
    state.SkipWithError("BMPWrite failed");
    return;
  }
  // A new bitmap each time, as opening a file makes one: its memory is
  // part of the cost.
  for (auto _ : state) {
    CDIBitmap image;
    if (!BMPRead(path, image)) state.SkipWithError("BMPRead failed");
  }
  state.SetBytesProcessed(state.iterations() * kImageBytes);
  std::remove(path.c_str());
}
BENCHMARK(BM_BMPRead)->Unit(benchmark::kMillisecond);

}  // namespace
