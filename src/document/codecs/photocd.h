// Photo CD reader: Kodak Photo CD image packs (".pcd"). There is no writer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class CDIBitmap;

// The five stored resolutions, by the reader's resolution index: 0 Base/16
// (192 x 128), 1 Base/4 (384 x 256), 2 Base (768 x 512), 3 4Base
// (1536 x 1024), 4 16Base (3072 x 2048).
inline constexpr int kPhotoCDResolutionCount = 5;
inline constexpr int kPhotoCDWidths[kPhotoCDResolutionCount] = {192, 384, 768, 1536, 3072};
inline constexpr int kPhotoCDHeights[kPhotoCDResolutionCount] = {128, 256, 512, 1024, 2048};

// Turns rows of PhotoYCC bytes (luma Y, chroma C1 and C2, one byte each per
// pixel) into blue, green, red triples. The reader sends every row of the
// finished planes through one of these; the colour-managed conversion plugs
// in here (PhotoCDRead's `transform` argument), the fixed formula below is
// the default.
class PhotoYCCTransform {
 public:
  virtual ~PhotoYCCTransform() = default;
  virtual void ConvertRow(const uint8_t* y, const uint8_t* c1, const uint8_t* c2, uint8_t* bgr, int width) const = 0;
};

// The fixed integer conversion, in units of 1/4096:
//   TY = 2048 + 5564 Y, red   = (TY + 7461 C2 - 1022138) >> 12,
//   green = (TY - 1762 C1 + 274934 - 3798 C2 + 520268) >> 12,
//   blue  = (TY + 9085 C1 - 1417185) >> 12,
// each an arithmetic shift, then clamped to 0 .. 255. So (0, 156, 137) is
// black and Y = 188 with the same chroma is white.
void PhotoYCCToBGRRow(const uint8_t* y, const uint8_t* c1, const uint8_t* c2, uint8_t* bgr, int width);

// The number of resolutions a file offers: 0 when it cannot be opened; 3
// when it does not hold the whole 4Base Huffman-table sector (388); 4 when
// it does not hold sector 396 (where 16Base data would lie); 5 otherwise.
// Only the file's length is looked at.
int ProbePhotoCD(const std::string& path);
// The same for an open, seekable stream positioned at the start of the file.
int ProbePhotoCDStream(std::FILE* file);

// Reads the image at `resolution` (0 .. 4, see above) into a 24-bit RGB
// image of that size. 1 on success, 0 on failure; on failure the caller's
// image is left as it was. The information header (sector 1) carries only
// text and is not read; the file's contents are not otherwise checked.
//
// Layout (2048-byte sectors): Base/16 at sector 4, Base/4 at 23, Base at
// 96, each stored as height / 2 groups of two luma rows (width bytes each),
// one C1 and one C2 row (width / 2 bytes each). Chroma is enlarged to full
// size with PhotoCDDoublePlane. 4Base: the Base planes doubled (luma once,
// chroma twice, to 1536 x 1024), then the luma residuals of sector 389 on,
// coded with the table of sector 388. 16Base: as 4Base, luma doubled again
// to 3072 x 2048; the three tables (luma, C1, C2) lie 12 sectors and the
// residual stream 14 sectors after the end of the 4Base stream, where the
// end is the sector after the one holding the last bit of the 4Base
// stream's ending row header; then both chroma planes are doubled.
//
// Huffman tables: byte m, then m + 1 entries of (code length - 1, code high
// byte, code low byte, signed value), code left-aligned in 16 bits; tables
// follow one another in their sector. A code matches when its top length
// bits equal the stream's; the first matching entry wins.
//
// Residual stream, most significant bit first: each row starts with the
// sync pattern 0xFFFFFE (24 bits) and a 16-bit header (2 bits plane: 0
// luma, 2 C1, 3 C2; 13 bits row; 1 reserved bit). Row number == image
// height ends the stream. Chroma rows go to chroma row (row / 2). Each code
// up to the next sync adds its value to the next pixel of the row, clamped
// to 0 .. 255. Codes past the end of a row are decoded and dropped.
//
// Failures: a resolution outside 0 .. 4 ("PCDREAD: Invalid resolution 7\n");
// base image data that the file does not hold in full ("PCDREAD: Base/4
// image data past the end of the file\n", naming "Base/16", "Base/4" or
// "Base"; 4Base and 16Base need the Base image); a file that cannot be
// opened (silently). Damaged residual data does not
// fail the read: decoding of that stream stops at the damage, the residuals
// applied so far stay, the rest of the picture keeps its interpolated
// detail, and one message says what was wrong ("4Base" or "16Base"):
//   "PCDREAD: 4Base Huffman table past the end of the file\n"
//   "PCDREAD: Bad 4Base Huffman table\n"  (length above 16, or the tables
//                                          overrun their sector)
//   "PCDREAD: 4Base residual data ends early\n"  (before the ending row)
//   "PCDREAD: 4Base residual data does not start with a sync\n"
//   "PCDREAD: 4Base residual code without a table entry\n"
//   "PCDREAD: 4Base residual row header out of range\n"  (plane 1, a row
//        beyond the height, or a chroma row in a 4Base stream)
// When the 4Base stream is damaged, the 16Base data cannot be located and
// a 16Base read goes on without its residuals (the 4Base message only).
// `transform` null: the fixed formula (PhotoYCCToBGRRow).
int PhotoCDRead(const std::string& path, CDIBitmap& image, int resolution,
                const PhotoYCCTransform* transform = nullptr);
// The same from an open, seekable stream positioned at the start of the
// file (the fuzzer feeds memory through fmemopen).
int PhotoCDReadStream(std::FILE* file, CDIBitmap& image, int resolution,
                      const PhotoYCCTransform* transform = nullptr);

// Interpolating doubling of a width x height byte plane to 2 width x
// 2 height, in place (rows `stride` bytes apart; the plane must have room
// for the result). Even output rows: out[2x] = in[x], out[2x + 1] =
// (in[x] + in[x + 1] + 1) / 2, the last two both in[width - 1]. Odd row
// 2k + 1 from rows a = 2k and b = 2k + 2: even columns (a + b + 1) / 2,
// odd columns (a[j-1] + a[j+1] + b[j-1] + b[j+1] + 2) / 4, the last two
// columns (a + b + 1) / 2; the last row repeats the one above it.
void PhotoCDDoublePlane(uint8_t* plane, int stride, int width, int height);
