// Decoders of the printer command streams for tests, written from the
// printers' command definitions and sharing no code with the writers: ESC/P2
// raster streams (EPSON) and HP-GL/2 + HP RTL streams (DesignJet).
//
// A decoder walks the whole stream, records every command with its numeric
// parameters, and renders the raster data into one dot bitmap per colour.
// Any byte sequence it does not know, a truncated command or data that does
// not fit its raster is a decode error: the result then carries the offset
// and a description.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace streamcheck {

// A page bitmap that grows as dots are set; every dot 0 or 1.
struct DotBitmap {
  std::vector<std::vector<uint8_t>> rows;

  void Set(long row, long x);
  bool Get(long row, long x) const;
  // The number of set dots.
  long Count() const;
};

struct Command {
  std::string name;          // e.g. "ESC ( C", "ESC .", "CR", "ESC *r S", "PS"
  std::vector<long> params;  // numeric parameters in the order of the command
  size_t offset = 0;         // where the command starts in the stream
};

struct DecodeResult {
  bool ok = true;
  std::string error;  // with the offset, when !ok
  std::vector<Command> commands;

  // The commands with the given name, in order.
  std::vector<const Command*> Find(const std::string& name) const;
  // The names of all commands joined by a space-separated "|".
  std::string Names() const;
};

// ESC/P2: bitmaps keyed by the ESC r colour value (2 cyan, 1 magenta,
// 4 yellow, 0 black). Rows are vertical positions in ESC ( U units counted
// from the top margin (ESC ( V / ESC ( v); columns are dots from the left
// margin, the carriage returning to 0 on CR.
struct EpsonDecode : DecodeResult {
  std::map<int, DotBitmap> colors;
  int unit = 10;        // ESC ( U, in 1/3600 inch
  int formFeeds = 0;
};
EpsonDecode DecodeEpson(const uint8_t* data, size_t size);

// HP-GL/2 + RTL: plane bitmaps by index bit (0 cyan, 1 magenta, 2 yellow,
// 3 black). Rows count from the first raster row, Y offsets included.
struct RtlDecode : DecodeResult {
  DotBitmap planes[4];
  int palette[16][3] = {};  // from ESC *v..I
  bool paletteSet[16] = {};
};
RtlDecode DecodeRtl(const uint8_t* data, size_t size);

// TIFF PackBits (n 0..127: n + 1 literal bytes; n 129..255: the next byte
// 257 - n times; 128: no operation). Appends to `out`; false when the input
// ends inside a literal group or run.
bool UnpackTiff(const uint8_t* in, size_t n, std::vector<uint8_t>& out);

}  // namespace streamcheck

// Random dot planes and expectations shared by the stream tests.

namespace streamtest {

using Bytes = std::vector<uint8_t>;

// Four planes (cyan, magenta, yellow, black) of rows x width dot bytes. Dots
// are 255 (printed) or one of the values just below (not printed).
struct Planes {
  int width = 0, rows = 0;
  Bytes plane[4];

  Planes(int w, int h, std::mt19937& rng, int density = 50) : width(w), rows(h) {
    const uint8_t blanks[] = {0, 1, 128, 254};
    for (auto& p : plane) {
      p.resize(static_cast<size_t>(w) * h);
      for (auto& d : p) d = static_cast<int>(rng() % 100) < density ? 255 : blanks[rng() % 4];
    }
  }
  const uint8_t* Row(int c, int y) const { return plane[c].data() + static_cast<size_t>(y) * width; }
};

// Compares a decoded bitmap with a plane placed at (top, left): every dot
// of the plane at its place, and no other dot anywhere.
inline std::string CompareBitmap(const streamcheck::DotBitmap& bitmap, const Planes& planes, int c,
                                 long top, long left) {
  long expected = 0;
  for (int y = 0; y < planes.rows; ++y)
    for (int x = 0; x < planes.width; ++x) {
      const bool want = planes.Row(c, y)[x] == 255;
      expected += want;
      if (bitmap.Get(top + y, left + x) != want)
        return "plane " + std::to_string(c) + " differs at row " + std::to_string(y) + " dot " +
               std::to_string(x);
    }
  if (bitmap.Count() != expected)
    return "plane " + std::to_string(c) + " has " + std::to_string(bitmap.Count() - expected) +
           " dots outside the image";
  return {};
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace streamtest
