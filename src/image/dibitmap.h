// CDIBitmap: the one in-memory image type.
//
// Laid out as a packed device-independent bitmap: a 40-byte information
// header followed by the colour table (2 entries for 1 bit, 256 for 8 bits,
// none above), and bottom-up pixel rows padded to 4 bytes. Pixel kinds:
// 1-bit palette, 8-bit palette, 8-bit gray (BF_GRAY), 24-bit blue-green-red
// and 32-bit cyan-magenta-yellow-black (BF_CMYK; 0 = no ink). Every row and
// pixel operation takes y counted from the top row.
//
// An optional 1-bit selection mask limits every write (SetPixel,
// SetPixelColor, PutRow, PutRowPart, PutColumn and everything built on them)
// while BF_HAS_MASK is set and the mask is enabled. Reads ignore the mask.
//
// Storage is released by Free (deferred while the bitmap is locked) and by
// the destructor. Attach moves storage from another bitmap, leaving that one
// empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/region.h"

namespace platform {
class Palette;
}

// State flags.
inline constexpr uint32_t BF_ALLOCATED = 0x01;
inline constexpr uint32_t BF_HAS_REGION = 0x04;
inline constexpr uint32_t BF_HAS_MASK = 0x08;
inline constexpr uint32_t BF_GRAY = 0x20;
inline constexpr uint32_t BF_CMYK = 0x40;
// The bits Free clears.
inline constexpr uint32_t BF_FREE_CLEARS = 0x46F;

// Colour-type codes stored by Create; undo records compare them.
enum ColorType : uint32_t {
  CT_RGB = 1,
  CT_RGB32 = 2,
  CT_GRAY = 3,
  CT_PALETTE = 5,
  CT_CMYK = 6,
};

inline constexpr int kInfoHeaderSize = 40;

// A raster in the platform's drawing form: top-down rows of 1, 4, 8, 24
// (blue, green, red) or 32 (blue, green, red, unused) bits per pixel, rows
// padded to 4 bytes, and a palette for 8 bits or fewer. The GUI paints and
// captures these; FromDDB and Draw convert to and from them.
struct Raster {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 24;
  int stride = 0;
  std::vector<uint8_t> pixels;
  std::vector<uint8_t> paletteBGRX;  // 4 bytes per entry: blue, green, red, 0

  // Allocates zeroed pixels with the padded stride.
  void Allocate(int width, int height, int bitsPerPixel);
  uint8_t* Row(int y) { return pixels.data() + static_cast<size_t>(y) * stride; }
  const uint8_t* Row(int y) const { return pixels.data() + static_cast<size_t>(y) * stride; }
};

class CDIBitmap {
 public:
  CDIBitmap();
  ~CDIBitmap();
  CDIBitmap(const CDIBitmap&) = delete;
  CDIBitmap& operator=(const CDIBitmap&) = delete;

  // --- creation and storage (1 on success, 0 on failure) ---

  // Frees previous storage and creates a zeroed bitmap. bitCount 1 gives
  // 1 bit, 2..8 gives 8 bits, 9..24 gives 24 bits, 32 gives 32 bits; any
  // other value keeps the previous bit count and colour type. options bit 0
  // makes an 8-bit bitmap gray; bit 0 or 1 makes a 32-bit bitmap CMYK. The
  // 1-bit table is black, white; the gray table is the ramp; the 8-bit
  // palette table is left zero for the caller. Width or height below 1, or a
  // pixel block that cannot be allocated, fails without a message.
  int Create(int width, int height, int bitCount, int options);
  // Creates a zeroed bitmap of the given size with source's kind and colour
  // table. Fails with "cannot Create Compatible Bitmpap".
  int CreateCompatible(const CDIBitmap& source, int width, int height);
  // Releases all storage and the mask, unless locked: then only one lock is
  // dropped.
  void Free();
  // Frees own storage and takes over other's storage and description
  // (pointers moved, not copied); other is left empty.
  void Attach(CDIBitmap& other);
  // A complete copy of source (without its mask).
  int CopyFrom(const CDIBitmap& source);
  // Makes this a compatible bitmap of width x height filled from the
  // rectangle at (x, y) of source. clamp 0: the rectangle is clipped to the
  // source and pixels outside the source stay zero; clamp non-zero: every
  // row is read with edge clamping (GetRowPartClamped).
  int CopyRect(const CDIBitmap& source, int x, int y, int width, int height, int clamp);
  void Lock() { ++lockCount_; }
  void Unlock() { if (lockCount_ > 0) --lockCount_; }

  // --- description ---
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  int GetBitCount() const { return bitCount_; }
  int GetStride() const { return stride_; }
  uint32_t GetColorType() const { return colorType_; }
  uint32_t GetFlags() const { return flags_; }
  bool IsAllocated() const { return (flags_ & BF_ALLOCATED) != 0; }
  bool IsGray() const { return (flags_ & BF_GRAY) != 0; }
  bool IsCMYK() const { return (flags_ & BF_CMYK) != 0; }
  bool HasMask() const { return (flags_ & BF_HAS_MASK) != 0; }
  uint32_t GetLockCount() const { return lockCount_; }
  // Bytes of pixel data in one packed row: (bit count x width + 7) / 8.
  int GetRowBytes() const { return static_cast<int>((static_cast<int64_t>(bitCount_) * width_ + 7) / 8); }
  // "RGB", "GRAY", "INDEX", "MONO" or "CMYK".
  const char* GetKindName() const;
  int GetXResolution() const { return xResolution_; }
  int GetYResolution() const { return yResolution_; }
  void SetResolution(int x, int y) { xResolution_ = x; yResolution_ = y; }
  uint32_t GetColorsUsed() const { return colorsUsed_; }
  void SetColorsUsed(uint32_t count);
  int GetMaskEnabled() const { return maskEnabled_; }
  void SetMaskEnabled(int enabled) { maskEnabled_ = enabled; }

  // Raw storage: the information header (followed by the colour table), the
  // colour table (null without one) and the bottom-up pixel block.
  const uint8_t* GetInfoHeader() const { return info_; }
  uint8_t* GetColorTablePointer() { return colorTable_; }
  const uint8_t* GetColorTablePointer() const { return colorTable_; }
  uint8_t* GetPixels() { return pixels_; }
  const uint8_t* GetPixels() const { return pixels_; }
  // Start of the stored row holding image row y (0 = top); y is not checked.
  uint8_t* RowPointer(int y) { return pixels_ + static_cast<size_t>(height_ - 1 - y) * stride_; }
  const uint8_t* RowPointer(int y) const { return pixels_ + static_cast<size_t>(height_ - 1 - y) * stride_; }
  // Start of the mask row for image row y; null without a mask.
  const uint8_t* MaskRowPointer(int y) const {
    return maskBits_ ? maskBits_ + static_cast<size_t>(height_ - 1 - y) * MaskStride() : nullptr;
  }
  int MaskStride() const { return ((width_ + 7) / 8 + 3) / 4 * 4; }
  // True while writes go through the mask.
  bool WritesMasked() const { return (flags_ & BF_HAS_MASK) && maskEnabled_ && maskBits_; }

  // --- pixels (y from the top) ---

  // Raw value: the pixel's bytes read big-endian (24 bits: 0x00BBGGRR);
  // 0 outside the bitmap.
  uint32_t GetPixel(int y, int x) const;
  void SetPixel(int y, int x, uint32_t value);
  // Colour value 0x00BBGGRR; 1 and 8 bits through the colour table, 32 bits
  // the CMYK pixel converted to RGB.
  uint32_t GetPixelColor(int y, int x) const;
  // 8 bits or fewer: the nearest table entry; 24 bits: the colour; 32 bits:
  // nothing.
  void SetPixelColor(int y, int x, uint32_t color);
  uint8_t* GetPixelAddress(int y, int x);

  // --- rows and columns ---
  //
  // Buffers hold pixels in the bitmap's own packing, without padding: 1 bit
  // per pixel with the first pixel in the most significant bit of byte 0,
  // one index or gray byte, three bytes blue, green, red, or four bytes
  // cyan, magenta, yellow, black. Rows are counted from the top (y = 0),
  // columns from the left. Reads ignore the selection mask; writes go
  // through it while WritesMasked() is true, changing only the pixels whose
  // mask bit is set. The functions return 1 when they did their work and 0
  // when there was nothing to do: no pixels, or the row or column named lies
  // outside the bitmap. Except for GetRowRGB, GetRowBytes and ReplicateRow
  // they accept the bit counts 1, 8, 24 and 32 and refuse any other (also
  // the 0 of a bitmap never created) with the message "Invalid Bit Count"
  // and 0, before looking at the row or column.

  // Copies row y into buffer: GetRowBytes() bytes, as stored.
  int GetRow(uint8_t* buffer, int y) const;
  // Writes GetRowBytes() bytes of buffer into row y; through the mask,
  // 1-bit rows keep every bit whose mask bit is clear.
  int PutRow(const uint8_t* buffer, int y);
  // Row y as width blue, green, red triples: 24-bit rows as stored, 1-bit
  // and 8-bit rows through the colour table. Refuses every other bit count,
  // 32 included, with "Invalid Bit Count".
  int GetRowRGB(uint8_t* buffer, int y) const;
  // Row y as one byte per pixel: the index or gray level of an 8-bit row,
  // 0 or 1 for a 1-bit row. Refuses every other bit count with
  // "Invalid Bit Count".
  int GetRowBytes(uint8_t* buffer, int y) const;
  // Row y mirrored: buffer pixel i is pixel width - 1 - i. A 1-bit buffer's
  // GetRowBytes() bytes are cleared first, so its bits past the width are 0.
  int GetRowReversed(uint8_t* buffer, int y) const;
  // Pixels x .. x + count - 1 of row y into buffer pixels 0 .. count - 1.
  // The count is cut at the right edge: nothing is written for pixels past
  // it (x at or past the width writes nothing and returns 1). Pixels left of
  // column 0 read as 0. For 1 bit the (cut count + 7) / 8 buffer bytes are
  // cleared first. 0 also for count < 1.
  int GetRowPart(uint8_t* buffer, int y, int x, int count) const;
  // The same with edge clamping: y is brought into 0 .. height - 1, the
  // count is never cut, and pixels left of column 0 or right of the last
  // column repeat the first or last pixel of the row; for 1 bit they read
  // as 0 instead (the (count + 7) / 8 buffer bytes are cleared first). No
  // row is outside; 0 only for count < 1 or no pixels.
  int GetRowPartClamped(uint8_t* buffer, int y, int x, int count) const;
  // Buffer pixels 0 .. count - 1 into pixels x .. x + count - 1 of row y,
  // through the mask; those falling left of column 0 or past the right edge
  // are skipped. 0 also for count < 1.
  int PutRowPart(const uint8_t* buffer, int y, int x, int count);
  // Column x from the top row down: height pixels packed as a row of that
  // length (for 1 bit the (height + 7) / 8 bytes are cleared first).
  int GetColumn(uint8_t* buffer, int x) const;
  // The inverse of GetColumn, through the mask.
  int PutColumn(const uint8_t* buffer, int x);
  // Copies row sourceRow onto rows firstRow .. firstRow + count - 1 with
  // PutRow (so through the mask); rows outside the bitmap are skipped and
  // sourceRow itself may be among them. 0 when sourceRow lies outside the
  // bitmap or there are no pixels; the bit count is checked by PutRow.
  int ReplicateRow(int firstRow, int sourceRow, int count);

  // --- colour table ---
  int GetPaletteSize() const;
  int SetColorTable(const uint8_t* entries, int count);
  int GetColorTable(uint8_t* entries, int count) const;
  // The table as a display palette (empty above 8 bits).
  platform::Palette CreateLogPalette() const;
  // 1 for the gray ramp, 2 for the reversed ramp, 0 otherwise.
  int GetGrayRampType() const;
  // Index of the table entry nearest to `color` (0x00BBGGRR); 0 without a table.
  int NearestIndex(uint32_t color) const;

  // --- mask ---
  void SetMaskRgn(const platform::Region* region);
  void GetMaskRgn(platform::Region& out) const;
  void ClearMask();
  int64_t GetBitmapMaskArea() const;
  int MakeMaskBitmap(CDIBitmap& target) const;
  bool MaskBit(int y, int x) const;

  // --- platform transfer ---
  // Reads a packed DIB of `size` bytes: a 12-byte core header (3-byte table
  // entries) or an information header of 40 to 124 bytes (4-byte entries;
  // the bit-field masks of compression 3 after a 40-byte header), the colour
  // table and the rows (ReadDIBInfoHeader, dib_header.h). The depth is
  // planes times bit count. RLE8 and RLE4 blocks are decoded; 4-bit blocks
  // become 8-bit and 16-bit blocks 24-bit. Fails (0, the bitmap unchanged,
  // with a message "FromPackedDIB: " and the fault) on a block that is
  // short, inconsistent, above 1 GiB of pixels or of an unsupported kind.
  int FromPackedDIB(const uint8_t* block, size_t size);
  // A packed DIB: the 40-byte header with colours used 0 (the block always
  // holds the full table, and a reader that honours a smaller count would
  // look for the pixels too early), the table of 2 or 256 entries (none
  // above 8 bits) and the rows as stored, bottom-up. Empty without pixels.
  std::vector<uint8_t> ToPackedDIB() const;
  // Reads a platform raster through `palette` (the raster's own palette
  // when null). 1 bit gives a palette kind; 4 or 8 bits give gray when the
  // palette is the 256-entry gray ramp, palette kind otherwise; deeper
  // rasters give 24-bit RGB.
  int FromDDB(const Raster& raster, const platform::Palette* palette);
  // Stretch-draws sourceRect of this bitmap onto destRect of a 24-bit
  // raster (area averaging when shrinking, nearest pixel when enlarging).
  // Null rectangles mean the whole bitmap and the source rectangle.
  int Draw(Raster& target, const platform::Rect* sourceRect, const platform::Rect* destRect) const;

 private:
  int CreateStorage(int width, int height, int bitCount, int options, bool zeroPixels);
  int CreateCompatibleStorage(const CDIBitmap& source, int width, int height, bool zeroPixels);
  void ResetFields();
  void WriteHeader();
  void BuildMaskFromRegion();
  void PutRowMasked(const uint8_t* src, int y, int x, int count);

  uint32_t lockCount_ = 0;
  uint8_t* info_ = nullptr;         // header followed by the colour table
  uint8_t* colorTable_ = nullptr;   // info_ + 40, or null
  uint32_t colorsUsed_ = 0;
  uint8_t* pixels_ = nullptr;
  int maskEnabled_ = 1;
  uint8_t* maskBits_ = nullptr;
  platform::Region region_;
  int width_ = 0;
  int height_ = 0;
  int bitCount_ = 0;
  int xResolution_ = 0;
  int yResolution_ = 0;
  int stride_ = 0;
  uint32_t colorType_ = 0;
  uint32_t flags_ = 0;
};

// Stride of a row of `width` pixels at `bitCount`: rounded up to whole bytes,
// then to a multiple of 4.
inline int64_t DIBStride(int64_t width, int bitCount) { return ((bitCount * width + 7) / 8 + 3) / 4 * 4; }
