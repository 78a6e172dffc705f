// PNG adapter on a 6000 x 4000 picture, 24-bit and 8-bit, next to a plain
// libpng loop over the same file (the library alone: default settings, every
// row decoded into a newly created bitmap's rows: a program reading a picture
// must allocate one, and the bitmap's allocator is the one the adapter uses,
// so only the adapter's own work differs) as the yardstick the adapter is
// held to.
#include <benchmark/benchmark.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "document/codecs/png.h"
#include "image/dibitmap.h"

namespace {

using bench::kHeight;
using bench::kWidth;

using bench::BenchFile;
const CDIBitmap& Picture(int bits) { return bench::PhotoPicture(bits); }

int64_t ImageBytes(int bits) { return int64_t{kWidth} * kHeight * (bits / 8); }

void Write(benchmark::State& state, int bits) {
  const CDIBitmap& source = Picture(bits);
  const std::string path = BenchFile("vivid-bench.png");
  for (auto _ : state)
    if (!PNGWrite(path, source)) state.SkipWithError("PNGWrite failed");
  state.SetBytesProcessed(state.iterations() * ImageBytes(bits));
  std::remove(path.c_str());
}

void Read(benchmark::State& state, int bits) {
  const std::string path = BenchFile("vivid-bench-read.png");
  if (!PNGWrite(path, Picture(bits))) {
    state.SkipWithError("PNGWrite failed");
    return;
  }
  CDIBitmap image;
  for (auto _ : state)
    if (!PNGRead(path, image)) state.SkipWithError("PNGRead failed");
  state.SetBytesProcessed(state.iterations() * ImageBytes(bits));
  std::remove(path.c_str());
}

// The library alone: decode every row of the file, as the file holds it,
// into a newly created bitmap of the same size. The bitmap and row table
// belong to the caller, so a jump back to the setjmp here leaves them in a
// known state.
bool LibpngDecode(png_structp png, png_infop info, std::FILE* file, CDIBitmap& image, std::vector<png_bytep>& rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_read_info(png, info);
  const int channels = png_get_channels(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  if (png_get_bit_depth(png, info) != 8 || (channels != 1 && channels != 3) ||
      !image.Create(static_cast<int>(png_get_image_width(png, info)), static_cast<int>(height), channels * 8, 0))
    return false;
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = image.RowPointer(static_cast<int>(y));
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  benchmark::DoNotOptimize(image.GetPixels());
  return true;
}

// The new bitmap replaces `previous` only once it is filled, as the
// adapter's result replaces the caller's image: both loops keep the same
// memory alive.
bool LibpngRead(const std::string& path, CDIBitmap& previous) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  CDIBitmap image;
  std::vector<png_bytep> rows;
  const bool ok = LibpngDecode(png, info, file, image, rows);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  if (ok) previous.Attach(image);
  return ok;
}

// The library alone: the bitmap's rows, as stored, through default settings.
bool LibpngWrite(const std::string& path, const CDIBitmap& image) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  bool ok = false;
  if (!setjmp(png_jmpbuf(png))) {
    png_init_io(png, file);
    // 8 bits as a palette file of the gray ramp, the same file kind the adapter writes.
    const bool indexed = image.GetBitCount() == 8;
    png_set_IHDR(png, info, image.GetWidth(), image.GetHeight(), 8, indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color ramp[256];
    for (int i = 0; i < 256; ++i) ramp[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
    if (indexed) png_set_PLTE(png, info, ramp, 256);
    png_write_info(png, info);
    for (int y = 0; y < image.GetHeight(); ++y) png_write_row(png, image.RowPointer(y));
    png_write_end(png, info);
    ok = true;
  }
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0 && ok;
}

void BM_PNGWrite(benchmark::State& state) { Write(state, 24); }
BENCHMARK(BM_PNGWrite)->Unit(benchmark::kMillisecond);
void BM_PNGWrite8(benchmark::State& state) { Write(state, 8); }
BENCHMARK(BM_PNGWrite8)->Unit(benchmark::kMillisecond);
void BM_PNGRead(benchmark::State& state) { Read(state, 24); }
BENCHMARK(BM_PNGRead)->Unit(benchmark::kMillisecond);
void BM_PNGRead8(benchmark::State& state) { Read(state, 8); }
BENCHMARK(BM_PNGRead8)->Unit(benchmark::kMillisecond);

void BM_PNGReadLibpngAlone(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const std::string path = BenchFile("vivid-bench-read.png");
  if (!PNGWrite(path, Picture(bits))) {
    state.SkipWithError("PNGWrite failed");
    return;
  }
  CDIBitmap image;
  for (auto _ : state)
    if (!LibpngRead(path, image)) state.SkipWithError("libpng read failed");
  state.SetBytesProcessed(state.iterations() * ImageBytes(bits));
  std::remove(path.c_str());
}
BENCHMARK(BM_PNGReadLibpngAlone)->Arg(24)->Arg(8)->Unit(benchmark::kMillisecond);

void BM_PNGWriteLibpngAlone(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const std::string path = BenchFile("vivid-bench.png");
  for (auto _ : state)
    if (!LibpngWrite(path, Picture(bits))) state.SkipWithError("libpng write failed");
  state.SetBytesProcessed(state.iterations() * ImageBytes(bits));
  std::remove(path.c_str());
}
BENCHMARK(BM_PNGWriteLibpngAlone)->Arg(24)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace
