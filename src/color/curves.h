// Tone curves: the curve editing data of the "Curve" and "CMYK Separation "
// dialogs, their evaluation into 256-entry tables, and the curve files
// ".crb" (image curves) and ".cck" (CMYK separation curves).
//
// Point coordinates: x is the input 0..255, y is 255 - output. A reset
// channel has the two used points (0, 255) and (255, 0), the identity table.
//
// Curve file layout (both extensions, all numbers 32-bit signed
// little-endian):
//   0..31   "vividrome Curve file 0100" and seven spaces, no terminator
//   32..35  channel count n (1, 4 or 5; 4 for ".cck")
//   then    n tables of 256 bytes in channel order
//   then    point count m, always 17
//   then    per channel: mode (1 freehand, 2 straight, 0 smooth), 4 zero
//           bytes, and m records of 12 bytes: x, y, used
// A file of 4 channels is 36 + 4 x 256 + 4 + 4 x (8 + 17 x 12) = 1912 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace color {

inline constexpr int kCurveChannelsMax = 5;
inline constexpr int kCurvePoints = 17;

// Curve kinds.
inline constexpr int kCurveFreehand = 0;  // the table is kept as drawn or loaded
inline constexpr int kCurveSmooth = 1;    // natural cubic spline through the points
inline constexpr int kCurveStraight = 2;  // straight segments between the points

// The 32 bytes at the start of every curve file.
inline constexpr char kCurveFileHeader[] = "vividrome Curve file 0100       ";
inline constexpr int kCurveFileHeaderSize = 32;

inline constexpr char kCurveExtension[] = ".crb";
inline constexpr char kSeparationCurveExtension[] = ".cck";

struct CurvePoint {
  int32_t x = 0;     // input 0..255
  int32_t y = 0;     // 255 - output, 0..255
  int32_t used = 0;  // 0 or 1
};

struct CurveChannel {
  CurvePoint points[kCurvePoints];
  int kind = kCurveSmooth;
  bool tableGiven = false;  // a freehand table was loaded from a file
  uint8_t table[256];
};

// The curves of one dialog: up to five channels, all reset on construction
// (kind smooth). Channel numbers outside 0..4 are ignored by every member
// (Get* leave their outputs unchanged; Evaluate returns false).
class CurveSet {
 public:
  CurveSet();

  // Copy the 17 slots in and out.
  void SetPoints(int channel, const int x[kCurvePoints], const int y[kCurvePoints], const int used[kCurvePoints]);
  void GetPoints(int channel, int x[kCurvePoints], int y[kCurvePoints], int used[kCurvePoints]) const;
  void SetTable(int channel, const uint8_t table[256]);
  void GetTable(int channel, uint8_t table[256]) const;
  // Identity table, the two default points, all other slots empty; the kind
  // and tableGiven are kept.
  void ResetChannel(int channel);
  // Rebuilds the channel's table from its used points (slot order), for
  // every input v = 0..255, in double precision:
  //  - more than 2 used points, kind smooth: natural cubic spline (second
  //    derivatives M from the tridiagonal system with M = 0 at both ends);
  //    on the interval x0 <= v < x1 (the last one includes its right end),
  //    h = x1 - x0,
  //      y = ((y0*6 - M0*h^2)(x1 - v) + (y1*6 - M1*h^2)(v - x0)
  //           + M1 (v - x0)^3 + M0 (x1 - v)^3) / (6 h);
  //  - more than 2 used points, other kinds: straight segments,
  //      y = y0 + (y1 - y0)(v - x0) / (x1 - x0);
  //  - in both cases inputs left of the first point take its y, inputs right
  //    of the last point take the last point's y;
  //  - exactly 2 used points: the straight line through them, extended to
  //    the whole range (same formula as a segment);
  //  - fewer than 2 used points: the identity (the line through the two
  //    default points).
  // y is clamped to 0..255 and truncated; the table entry is 255 - y.
  // Refuses (returns false, table unchanged) when the used points' x are not
  // strictly increasing or lie outside 0..255, or a used y lies outside
  // 0..255: such points would divide by zero (equal x) or describe no
  // function of the input.
  bool Evaluate(int channel);
  // Copies points, kind, tableGiven and table.
  void CopyChannel(int to, int from);

  CurveChannel channels[kCurveChannelsMax];
};

// The "CMYK Separation " dialog's percentage columns are shown at these
// inputs.
inline constexpr int kSeparationPercentInputs[11] = {0, 25, 51, 76, 102, 127, 153, 178, 204, 229, 255};

// The percentage shown for an output 0..255: trunc(output x 0.39215687 + 0.5),
// the product taken in 32-bit float (the constant is a float), the sum in
// double.
int PercentAt(int output);
// The output for an entered percentage: trunc(p x 255 / 100) in integers,
// p clamped to 0..100 first.
int OutputForPercent(int percent);

// `path`, with `extension` (".crb" or ".cck") appended when the file name
// (the part after the last '/') has no '.'.
std::string CurveFilePath(std::string_view path, std::string_view extension);

// Writes channels 0..channelCount-1 of `set` in the layout above to
// CurveFilePath(path, extension), through a temporary file in the same
// folder that is renamed over the target when complete (a failed save leaves
// any earlier file untouched). Refuses a channel count outside 1..5 (-13).
// Returns 1, -13 (bad parameter), -14 (cannot create the file) or -5 (write
// failed).
int SaveCurveFile(std::string_view path, const CurveSet& set, int channelCount,
                  std::string_view extension = kCurveExtension);

// The "Curve" dialog's load. The header text is not checked. Reads n and
// the n tables (each taken into its channel at once), m, then per channel
// the mode and the m points: mode 1 sets kind freehand and tableGiven, mode
// 2 kind straight, any other mode kind smooth; the points are taken. The
// file is read as given (no extension is added).
// Fails, keeping every table and channel taken before the fault, with:
//   -14 the file cannot be opened, -7 the file ends before the announced
//   data, -9 n outside 1..5, m other than 17, a used value other than 0/1,
//   a used point outside 0..255 or used x not strictly increasing (a
//   channel with such points is not taken).
// Returns 1 on success, with the file's channel count n in `*channelCount`
// when given.
int LoadCurveFile(std::string_view path, CurveSet& set, int* channelCount = nullptr);

// The "CMYK Separation " dialog's load: the header text is not checked; n
// must be 4 (anything else is refused with -9: the four tables would be read
// out of step); the four tables (cyan, magenta, yellow, black) are taken
// into channels 0..3; then m (must be 17) and per channel the 8-byte header,
// ignored (kinds stay), and the points, taken. Failure codes and what stays
// as for LoadCurveFile.
int LoadSeparationCurveFile(std::string_view path, CurveSet& set);

}  // namespace color
