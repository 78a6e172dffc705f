// PNG adapter on a 6000 x 4000 picture, 24-bit and 8-bit, next to a plain
// libpng loop over the same file (the library alone: one row buffer, no
// bitmap) as the yardstick the adapter is held to.
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

// The library alone: decode every row of the file into one buffer.
bool LibpngRead(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  static std::vector<uint8_t> row;
  bool ok = false;
  if (!setjmp(png_jmpbuf(png))) {
    png_init_io(png, file);
    png_read_info(png, info);
    row.resize(png_get_rowbytes(png, info));
    const png_uint_32 height = png_get_image_height(png, info);
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, row.data(), nullptr);
    png_read_end(png, nullptr);
    ok = true;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
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
  for (auto _ : state)
    if (!LibpngRead(path)) state.SkipWithError("libpng read failed");
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
