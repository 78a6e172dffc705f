/* Writes the codec benchmark pictures for bench/peers, byte for byte the
 * pixels vivid_bench fills its bitmaps with (bench/bench_support.h and the
 * codec benchmarks), so that the peers encode the same content:
 *
 *   noise24.bmp   24-bit noise (BMP, PCX, TGA, TIFF benchmarks)
 *   noise8.tif    8-bit gray noise (TIFF 8-bit)
 *   gif8.bmp      8-bit palette noise with the GIF benchmark's table
 *   pcx8.bmp      8-bit palette noise with the PCX benchmark's colour cube
 *   tga8.bmp      8-bit palette noise with the TGA benchmark's falling ramp
 *   photo24.bmp   24-bit photograph-like picture (PNG, JPEG)
 *   photo8.tif    8-bit gray photograph-like picture (PNG, JPEG)
 *
 * Usage: peers_pictures DIR [WIDTH HEIGHT]
 * Plain C without libraries, so that bench/peers can compile it anywhere. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int width = 6000, height = 4000;

/* Pixels are kept as the bitmap keeps them: rows from the top, 24-bit as
 * blue, green, red; rows packed (the benchmark widths need no padding). */

static void fill_noise(uint8_t* pixels, int channels) {
  uint32_t seed = 12345;
  const size_t count = (size_t)width * height * channels;
  for (size_t i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    pixels[i] = (uint8_t)(seed >> 24);
  }
}

static void fill_photo(uint8_t* pixels, int channels) {
  uint32_t seed = 12345;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = pixels + (size_t)y * width * channels;
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c) {
        seed = seed * 1664525u + 1013904223u;
        const int base = c == 0 ? x * 255 / width : c == 1 ? y * 255 / height : (x + y) * 255 / (width + height);
        const int v = base + (int)(seed >> 29) - 4;
        row[x * channels + c] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
      }
  }
}

static void put16(uint8_t* p, uint32_t v) { p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); }
static void put32(uint8_t* p, uint32_t v) { put16(p, v & 0xFFFF); put16(p + 2, v >> 16); }

static FILE* create(const char* dir, const char* name) {
  char path[4096];
  snprintf(path, sizeof path, "%s/%s", dir, name);
  FILE* f = fopen(path, "wb");
  if (!f) {
    perror(path);
    exit(1);
  }
  return f;
}

static void finish(FILE* f) {
  if (ferror(f) || fclose(f) != 0) {
    fprintf(stderr, "peers_pictures: write failed\n");
    exit(1);
  }
}

/* An uncompressed BMP: 24-bit (table null) or 8-bit with 256 entries of
 * blue, green, red, 0. Rows bottom-up, padded to 4 bytes. */
static void write_bmp(const char* dir, const char* name, const uint8_t* pixels, int channels, const uint8_t* table) {
  const uint32_t rowBytes = (uint32_t)width * channels, stride = (rowBytes + 3) & ~3u;
  const uint32_t tableBytes = table ? 1024 : 0, offset = 54 + tableBytes;
  uint8_t header[54] = {'B', 'M'};
  put32(header + 2, offset + stride * height);
  put32(header + 10, offset);
  put32(header + 14, 40);
  put32(header + 18, (uint32_t)width);
  put32(header + 22, (uint32_t)height);
  put16(header + 26, 1);
  put16(header + 28, (uint32_t)channels * 8);
  put32(header + 34, stride * height);
  put32(header + 38, 2835);
  put32(header + 42, 2835);
  put32(header + 46, table ? 256 : 0);
  FILE* f = create(dir, name);
  fwrite(header, 1, sizeof header, f);
  if (table) fwrite(table, 1, 1024, f);
  const uint8_t pad[4] = {0};
  for (int y = height - 1; y >= 0; --y) {
    fwrite(pixels + (size_t)y * rowBytes, 1, rowBytes, f);
    fwrite(pad, 1, stride - rowBytes, f);
  }
  finish(f);
}

/* An uncompressed little-endian TIFF of 8-bit gray (0 black), one strip. */
static void write_gray_tiff(const char* dir, const char* name, const uint8_t* pixels) {
  enum { kEntries = 9 };
  const uint32_t ifd = 8, data = ifd + 2 + kEntries * 12 + 4;
  const uint32_t bytes = (uint32_t)width * height;
  const uint16_t tags[kEntries][2] = {{256, 4}, {257, 4}, {258, 3}, {259, 3}, {262, 3},
                                      {273, 4}, {277, 3}, {278, 4}, {279, 4}};
  const uint32_t values[kEntries] = {(uint32_t)width, (uint32_t)height, 8, 1, 1, data, 1, (uint32_t)height, bytes};
  uint8_t head[8 + 2 + kEntries * 12 + 4] = {'I', 'I', 42, 0};
  put32(head + 4, ifd);
  put16(head + ifd, kEntries);
  for (int i = 0; i < kEntries; ++i) {
    uint8_t* e = head + ifd + 2 + i * 12;
    put16(e, tags[i][0]);
    put16(e + 2, tags[i][1]);
    put32(e + 4, 1);
    if (tags[i][1] == 3)
      put16(e + 8, values[i]);
    else
      put32(e + 8, values[i]);
  }
  FILE* f = create(dir, name);
  fwrite(head, 1, sizeof head, f);
  fwrite(pixels, 1, bytes, f);
  finish(f);
}

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    fprintf(stderr, "usage: peers_pictures DIR [WIDTH HEIGHT]\n");
    return 2;
  }
  const char* dir = argv[1];
  if (argc == 4) {
    width = atoi(argv[2]);
    height = atoi(argv[3]);
    if (width <= 0 || height <= 0 || width % 4 != 0) {
      fprintf(stderr, "peers_pictures: WIDTH must be a positive multiple of 4\n");
      return 2;
    }
  }
  uint8_t* rgb = malloc((size_t)width * height * 3);
  uint8_t* gray = malloc((size_t)width * height);
  if (!rgb || !gray) {
    fprintf(stderr, "peers_pictures: out of memory\n");
    return 1;
  }
  uint8_t table[1024];

  fill_noise(rgb, 3);
  write_bmp(dir, "noise24.bmp", rgb, 3, NULL);
  fill_noise(gray, 1);
  write_gray_tiff(dir, "noise8.tif", gray);
  memset(table, 0, sizeof table);
  for (int i = 0; i < 256; ++i) { /* blue, green, red as the GIF benchmark sets them */
    table[i * 4 + 0] = (uint8_t)i;
    table[i * 4 + 1] = (uint8_t)(255 - i);
    table[i * 4 + 2] = (uint8_t)(i * 7);
  }
  write_bmp(dir, "gif8.bmp", gray, 1, table);
  memset(table, 0, sizeof table);
  for (int i = 0; i < 256; ++i) { /* the PCX benchmark's colour cube */
    table[i * 4 + 0] = (uint8_t)((i & 3) * 85);
    table[i * 4 + 1] = (uint8_t)(((i >> 2) & 7) * 36);
    table[i * 4 + 2] = (uint8_t)((i >> 5) * 36);
  }
  write_bmp(dir, "pcx8.bmp", gray, 1, table);
  memset(table, 0, sizeof table);
  for (int i = 0; i < 256; ++i) table[i * 4] = table[i * 4 + 1] = table[i * 4 + 2] = (uint8_t)(255 - i);
  write_bmp(dir, "tga8.bmp", gray, 1, table);

  fill_photo(rgb, 3);
  write_bmp(dir, "photo24.bmp", rgb, 3, NULL);
  fill_photo(gray, 1);
  write_gray_tiff(dir, "photo8.tif", gray);

  free(rgb);
  free(gray);
  return 0;
}
