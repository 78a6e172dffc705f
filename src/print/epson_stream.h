// The ESC/P2 raster command stream of EPSON Stylus Color compatible printers.
//
// One EpsonStream per page. Commands either go straight to the spooler
// (SendNow) or wait in a buffer (Append) that is sent by Flush or when it
// would fill up. Multi-byte numbers are little-endian. Every write goes
// through WriteAll (a full queue is retried at once). The first failing write
// shows "Invalid Command Error !!!\n At %s" (error 1803) or
// "Error code %d !!!\n At %s" (any other), %s being at most the first 20
// characters of the data being written up to its first zero byte; after that
// the stream is failed and drops every later write.
//
// A stream without a buffer (capacity 0, or the buffer could not be
// allocated) cannot hold appended commands: it fails at once with
// "Not enough memory available !" and sends nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "print/spooler.h"

namespace print {

// The error number the spooler gives for a command the printer rejects.
inline constexpr int kInvalidCommandError = 1803;

// Colour codes of SelectColor.
enum EpsonColor : int {
  kEpsonCyan = 1,
  kEpsonMagenta = 2,
  kEpsonYellow = 3,
  kEpsonBlack = 4,
};

class EpsonStream {
 public:
  static constexpr size_t kDefaultCapacity = 1u << 20;

  explicit EpsonStream(Spooler& spooler, size_t capacity = kDefaultCapacity);
  EpsonStream(const EpsonStream&) = delete;
  EpsonStream& operator=(const EpsonStream&) = delete;

  // ESC @ (sent now).
  void Reset();
  // ESC ( G 01 00 01 (appended).
  void SelectGraphics();
  // ESC ( i 01 00 n (n = 1 with micro weave), ESC ( U 01 00 0A (the unit
  // of vertical movement: 1/360 inch, the height of a row, at every
  // resolution), ESC U 00; each sent now, separately. Remembers
  // the resolution for the raster headers of WriteRasterLine. Resolutions
  // outside 1..3600 are clamped into that range.
  void SetModes(int resolution, bool microWeave);
  // ESC ( C 02 00 nL nH (sent now).
  void SetPageLength(int n);
  // ESC ( c 04 00 tL tH bL bH (sent now).
  void SetPageFormat(int top, int bottom);
  // ESC ( V 02 00 nL nH, absolute (sent now).
  void SetVerticalPosition(int n);
  // ESC ( v 02 00 nL nH, relative (sent now).
  void AdvanceVertical(int n);
  // ESC r n for the colour codes 1..7 (cyan 2, magenta 1, yellow 4, black 0,
  // 5 -> 5, 6 -> 6, 7 -> 3) (appended). Other codes select black.
  void SelectColor(int color);
  // ESC . 1 v h m nL nH with v = 10 (rows 1/360 inch apart), h = 3600 /
  // resolution, m = rows,
  // n = width in dots (appended).
  void RasterHeader(int resolution, int width, int rows);
  // The bytes compressed with CompressEpson (appended).
  void RasterData(const uint8_t* bits, size_t byteCount);
  // CR (appended).
  void CarriageReturn();
  // FF (sent now).
  void FormFeed();

  // Writes straight to the spooler; the buffer is not flushed first.
  void SendNow(const uint8_t* data, size_t size);
  // Puts the bytes in the buffer, flushing it first when used + size would
  // reach the capacity; data that cannot fit an empty buffer is sent now.
  void Append(const uint8_t* data, size_t size);
  // Sends the buffer and empties it.
  void Flush();

  bool Failed() const { return failed_; }
  int Resolution() const { return resolution_; }
  size_t Capacity() const { return capacity_; }
  size_t Used() const { return used_; }

  // Page start: Reset, SelectGraphics, SetModes(resolution, true),
  // SetPageLength(L) with L = trunc(pageHeightMm x 360 / 25.4),
  // SetPageFormat(41, L - 198), SetVerticalPosition(max(verticalStart, 0)).
  void StartPage(int resolution, double pageHeightMm, int verticalStart);
  // One raster line: for yellow, magenta, cyan, black: SelectColor,
  // RasterHeader(resolution, w, 1) with w = width + leftOffset, the colour's
  // row behind leftOffset zero dots, packed and compressed, CR; then Flush and
  // AdvanceVertical(1). `planeRows` are the cyan, magenta, yellow and black
  // dot rows of `width` bytes each. Buffers: `lineBuffer` holds w bytes,
  // `packed` PackedSize(w), `compressed` CompressedBound(PackedSize(w))
  // (2 x PackedSize(w) + 6 is enough). A negative leftOffset counts as 0.
  void WriteRasterLine(const uint8_t* const planeRows[4], int width, int leftOffset,
                       uint8_t* lineBuffer, uint8_t* packed, uint8_t* compressed);
  // Page end: FormFeed, then Reset.
  void EndPage();

 private:
  void Write(const uint8_t* data, size_t size);
  void Fail(int error, const uint8_t* data, size_t size);
  void AppendCompressed(const uint8_t* bits, size_t byteCount, uint8_t* scratch);

  Spooler& spooler_;
  bool failed_ = false;
  int resolution_ = 360;
  size_t capacity_ = 0;
  size_t used_ = 0;
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> scratch_;  // compression output of RasterData
};

}  // namespace print
