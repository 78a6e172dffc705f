// Decoders of the printer command streams: ESC/P2 raster streams (EPSON) and
// HP-GL/2 + RTL streams (DesignJet), written from the printers' command
// definitions and sharing no code with the stream writers. The dot preview
// shows what a direct job would print by decoding the very bytes it would
// send; the print tests use the same decoders as their oracle.
//
// A decoder walks the whole stream, records every command with its numeric
// parameters, and renders the raster data into one dot bitmap per colour.
// Any byte sequence it does not know, a truncated command or data that does
// not fit its raster is a decode error: the result then carries the offset
// and a description.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace print {

// A page bitmap that grows as dots are set: one bit per dot, most
// significant bit first, rows of different lengths. Dots at negative
// positions are dropped.
struct DotBitmap {
  std::vector<std::vector<uint8_t>> rows;
  long width = 0;  // one past the rightmost dot set

  void Set(long row, long x);
  bool Get(long row, long x) const;
  // Sets the dots of `count` packed bits (MSB first) from (row, x) on.
  void SetRun(long row, long x, const uint8_t* bits, long count);
  long Height() const { return static_cast<long>(rows.size()); }
  // The number of set dots.
  long Count() const;
};

struct StreamCommand {
  std::string name;          // e.g. "ESC ( C", "ESC .", "CR", "ESC *r S", "PS"
  std::vector<long> params;  // numeric parameters in the order of the command
  size_t offset = 0;         // where the command starts in the stream
};

struct StreamDecode {
  bool ok = true;
  std::string error;  // with the offset, when !ok
  std::vector<StreamCommand> commands;

  // The commands with the given name, in order.
  std::vector<const StreamCommand*> Find(const std::string& name) const;
  // The names of all commands joined by "|".
  std::string Names() const;
};

// ESC/P2: bitmaps keyed by the ESC r colour value (2 cyan, 1 magenta,
// 4 yellow, 0 black). Rows are vertical positions in ESC ( U units counted
// from the top margin (ESC ( V / ESC ( v); columns are dots from the left
// margin, the carriage returning to 0 on CR.
struct EpsonDecode : StreamDecode {
  std::map<int, DotBitmap> colors;
  int unit = 10;  // ESC ( U, in 1/3600 inch
  int formFeeds = 0;
};
EpsonDecode DecodeEpson(const uint8_t* data, size_t size);

// HP-GL/2 + RTL: plane bitmaps by index bit (0 cyan, 1 magenta, 2 yellow,
// 3 black). Rows count from the first raster row, Y offsets included.
struct RtlDecode : StreamDecode {
  DotBitmap planes[4];
  int palette[16][3] = {};  // from ESC *v..I
  bool paletteSet[16] = {};
};
RtlDecode DecodeRtl(const uint8_t* data, size_t size);

// TIFF PackBits (n 0..127: n + 1 literal bytes; n 129..255: the next byte
// 257 - n times; 128: no operation). Appends to `out`; false when the input
// ends inside a literal group or run.
bool UnpackTiff(const uint8_t* in, size_t n, std::vector<uint8_t>& out);

// The dots of a direct job's stream in ink order cyan, magenta, yellow,
// black: DecodeEpson's colours 2, 1, 4, 0 for kPrinterEpson, DecodeRtl's
// planes for kPrinterDesignJet. False (with `error`) for any other type or a
// stream that does not decode.
struct InkDots {
  DotBitmap inks[4];
  std::string error;
};
bool DecodeInkDots(int printerType, const std::vector<uint8_t>& stream, InkDots& dots);

}  // namespace print
