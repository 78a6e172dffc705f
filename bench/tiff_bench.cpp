// Throughput of the TIFF adapter on a 6000 x 4000 image, 24-bit RGB and
// 8-bit gray, uncompressed, next to libtiff alone on the same files: a plain
// loop of TIFFReadEncodedStrip into a newly created bitmap's rows (a program
// reading a picture must allocate one; the bitmap's allocator is the one the
// adapter uses, so only the adapter's own work differs), and of
// TIFFWriteEncodedStrip from rows already in the file's sample order.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "document/codecs/tiff.h"
#include "image/dibitmap.h"

namespace {

CDIBitmap& Picture(int bits) {
  static CDIBitmap rgb, gray;
  CDIBitmap& image = bits == 24 ? rgb : gray;
  if (!image.IsAllocated()) {
    image.Create(bench::kWidth, bench::kHeight, bits, bits == 8 ? 1 : 0);
    bench::FillNoise(image);
  }
  return image;
}

std::string BenchFile(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/" + name;
}

int64_t ImageBytes(int bits) { return int64_t{bench::kWidth} * bench::kHeight * (bits / 8); }

void TIFWriteBench(benchmark::State& state, int bits) {
  const CDIBitmap& source = Picture(bits);
  const std::string path = BenchFile("vivid-bench-w.tif");
  for (auto _ : state)
    if (!TIFWrite(path, source, kTifNone)) state.SkipWithError("TIFWrite failed");
  state.SetBytesProcessed(state.iterations() * ImageBytes(bits));
  std::remove(path.c_str());
}

void TIFReadBench(benchmark::State& state, int bits) {
  const std::string path = BenchFile("vivid-bench-r.tif");
  if (!TIFWrite(path, Picture(bits), kTifNone)) {
    state.SkipWithError("TIFWrite failed");
    return;
  }
  CDIBitmap image;
  for (auto _ : state)
    if (!TIFRead(path, image)) state.SkipWithError("TIFRead failed");
  state.SetBytesProcessed(state.iterations() * ImageBytes(bits));
  std::remove(path.c_str());
}

// libtiff alone: the same tags and strips as our writer, rows given in the
// file's order.
void LibTiffWriteBench(benchmark::State& state, int bits) {
  const CDIBitmap& source = Picture(bits);
  const int64_t rowBytes = source.GetRowBytes();
  std::vector<uint8_t> pixels(static_cast<size_t>(rowBytes * bench::kHeight));
  for (int y = 0; y < bench::kHeight; ++y) source.GetRow(pixels.data() + y * rowBytes, y);
  const std::string path = BenchFile("vivid-bench-lw.tif");
  const uint32_t rowsPerStrip = static_cast<uint32_t>(std::max<int64_t>(1, 8192 / rowBytes));
  for (auto _ : state) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) {
      state.SkipWithError("TIFFOpen failed");
      break;
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t{bench::kWidth});
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t{bench::kHeight});
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, bits / 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, bits == 24 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    const uint32_t strips = (bench::kHeight + rowsPerStrip - 1) / rowsPerStrip;
    for (uint32_t s = 0; s < strips; ++s) {
      const uint32_t rows = std::min<uint32_t>(rowsPerStrip, bench::kHeight - s * rowsPerStrip);
      TIFFWriteEncodedStrip(tif, s, pixels.data() + s * rowsPerStrip * rowBytes, rows * rowBytes);
    }
    TIFFClose(tif);
  }
  state.SetBytesProcessed(state.iterations() * ImageBytes(bits));
  std::remove(path.c_str());
}

void LibTiffReadBench(benchmark::State& state, int bits) {
  const std::string path = BenchFile("vivid-bench-lr.tif");
  if (!TIFWrite(path, Picture(bits), kTifNone)) {
    state.SkipWithError("TIFWrite failed");
    return;
  }
  // Each new bitmap replaces the previous one only once it is filled, as
  // the adapter's result replaces the caller's image: both loops keep the
  // same memory alive.
  CDIBitmap previous;
  for (auto _ : state) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) {
      state.SkipWithError("TIFFOpen failed");
      break;
    }
    // Strips of one row each (as our writer makes them at this width), in
    // the file's sample order, one to a bitmap row.
    CDIBitmap image;
    image.Create(bench::kWidth, bench::kHeight, bits, bits == 8 ? 1 : 0);
    const uint32_t strips = TIFFNumberOfStrips(tif);
    for (uint32_t s = 0; s < strips && s < uint32_t{bench::kHeight}; ++s)
      if (TIFFReadEncodedStrip(tif, s, image.RowPointer(static_cast<int>(s)), image.GetRowBytes()) < 0) break;
    TIFFClose(tif);
    benchmark::DoNotOptimize(image.GetPixels());
    previous.Attach(image);
  }
  state.SetBytesProcessed(state.iterations() * ImageBytes(bits));
  std::remove(path.c_str());
}

void BM_TiffWrite(benchmark::State& state) { TIFWriteBench(state, 24); }
void BM_TiffWrite8(benchmark::State& state) { TIFWriteBench(state, 8); }
void BM_TiffRead(benchmark::State& state) { TIFReadBench(state, 24); }
void BM_TiffRead8(benchmark::State& state) { TIFReadBench(state, 8); }
void BM_TiffLibtiffWrite(benchmark::State& state) { LibTiffWriteBench(state, 24); }
void BM_TiffLibtiffWrite8(benchmark::State& state) { LibTiffWriteBench(state, 8); }
void BM_TiffLibtiffRead(benchmark::State& state) { LibTiffReadBench(state, 24); }
void BM_TiffLibtiffRead8(benchmark::State& state) { LibTiffReadBench(state, 8); }
BENCHMARK(BM_TiffWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffLibtiffWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffLibtiffRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffWrite8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffLibtiffWrite8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffRead8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffLibtiffRead8)->Unit(benchmark::kMillisecond);

}  // namespace
