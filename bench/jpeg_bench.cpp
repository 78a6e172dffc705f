// JPEG adapter on a 6000 x 4000 picture, 24-bit and 8-bit gray, next to a
// plain libjpeg loop over the same file (the library alone: default output
// decoded into a newly created bitmap's rows: a program reading a picture
// must allocate one, and the bitmap's allocator is the one the adapter uses,
// so only the adapter's own work differs) as the yardstick the adapter is
// held to.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "bench_support.h"
#include "document/codecs/jpeg.h"
#include "image/dibitmap.h"

namespace {

using bench::kHeight;
using bench::kWidth;

constexpr int kQuality = 75;

using bench::BenchFile;
const CDIBitmap& Picture(int bits) { return bench::PhotoPicture(bits); }

int64_t ImageBytes(int bits) { return int64_t{kWidth} * kHeight * (bits / 8); }

void Write(benchmark::State& state, int bits) {
  const CDIBitmap& source = Picture(bits);
  const std::string path = BenchFile("vivid-bench.jpg");
  for (auto _ : state)
    if (!JPEGWrite(path, source, kQuality)) state.SkipWithError("JPEGWrite failed");
  state.SetBytesProcessed(state.iterations() * ImageBytes(bits));
  std::remove(path.c_str());
}

void Read(benchmark::State& state, int bits) {
  const std::string path = BenchFile("vivid-bench-read.jpg");
  if (!JPEGWrite(path, Picture(bits), kQuality)) {
    state.SkipWithError("JPEGWrite failed");
    return;
  }
  CDIBitmap image;
  for (auto _ : state)
    if (!JPEGRead(path, image)) state.SkipWithError("JPEGRead failed");
  state.SetBytesProcessed(state.iterations() * ImageBytes(bits));
  std::remove(path.c_str());
}

// The library alone (its default error manager; the files are sound). The
// new bitmap replaces `previous` only once it is filled, as the adapter's
// result replaces the caller's image: both loops keep the same memory alive.
void LibjpegRead(const std::string& path, CDIBitmap& previous) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return;
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, file);
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  CDIBitmap image;
  image.Create(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
               cinfo.output_components * 8, cinfo.output_components == 1 ? 1 : 0);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = image.RowPointer(static_cast<int>(cinfo.output_scanline));
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  benchmark::DoNotOptimize(image.GetPixels());
  jpeg_finish_decompress(&cinfo);
  previous.Attach(image);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(file);
}

// The library alone: rows already in the library's order (red, green, blue),
// copied out of a prepared buffer.
void LibjpegWrite(const std::string& path, const std::vector<uint8_t>& pixels, int components) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = kWidth;
  cinfo.image_height = kHeight;
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, kQuality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  const size_t rowBytes = static_cast<size_t>(kWidth) * components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + rowBytes * cinfo.next_scanline);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(file);
}

void BM_JPEGWrite(benchmark::State& state) { Write(state, 24); }
BENCHMARK(BM_JPEGWrite)->Unit(benchmark::kMillisecond);
void BM_JPEGWrite8(benchmark::State& state) { Write(state, 8); }
BENCHMARK(BM_JPEGWrite8)->Unit(benchmark::kMillisecond);
void BM_JPEGRead(benchmark::State& state) { Read(state, 24); }
BENCHMARK(BM_JPEGRead)->Unit(benchmark::kMillisecond);
void BM_JPEGRead8(benchmark::State& state) { Read(state, 8); }
BENCHMARK(BM_JPEGRead8)->Unit(benchmark::kMillisecond);

void BM_JPEGReadLibjpegAlone(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const std::string path = BenchFile("vivid-bench-read.jpg");
  if (!JPEGWrite(path, Picture(bits), kQuality)) {
    state.SkipWithError("JPEGWrite failed");
    return;
  }
  CDIBitmap image;
  for (auto _ : state) LibjpegRead(path, image);
  state.SetBytesProcessed(state.iterations() * ImageBytes(bits));
  std::remove(path.c_str());
}
BENCHMARK(BM_JPEGReadLibjpegAlone)->Arg(24)->Arg(8)->Unit(benchmark::kMillisecond);

void BM_JPEGWriteLibjpegAlone(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const CDIBitmap& image = Picture(bits);
  const int components = bits / 8;
  std::vector<uint8_t> pixels(static_cast<size_t>(ImageBytes(bits)));
  for (int y = 0; y < kHeight; ++y) {
    const uint8_t* src = image.RowPointer(y);
    uint8_t* dst = pixels.data() + static_cast<size_t>(y) * kWidth * components;
    for (int x = 0; x < kWidth * components; x += components)
      for (int c = 0; c < components; ++c) dst[x + c] = src[x + components - 1 - c];
  }
  const std::string path = BenchFile("vivid-bench.jpg");
  for (auto _ : state) LibjpegWrite(path, pixels, components);
  state.SetBytesProcessed(state.iterations() * ImageBytes(bits));
  std::remove(path.c_str());
}
BENCHMARK(BM_JPEGWriteLibjpegAlone)->Arg(24)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace
