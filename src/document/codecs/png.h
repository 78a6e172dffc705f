// PNG adapter: reading and writing PNG files through libpng.
#pragma once

#include <cstdio>
#include <string>

class CDIBitmap;

// Reads a ".png" file into image. 1 on success, 0 on failure; a file that
// cannot be opened gives 0 without a message.
//
// Every colour type and depth is read, interlaced or not, and reduced by
// libpng's transformations to one of three kinds:
// - gray (with or without alpha, 1 to 16 bits) gives an 8-bit gray image;
//   1-, 2- and 4-bit levels are widened to 0..255 by bit replication (a
//   2-bit level 1 becomes 85), so a gray picture keeps its brightness;
// - palette (1, 2, 4, 8 bits) gives an 8-bit palette image with one index
//   byte per pixel; the colour table holds the file's palette (at most
//   2^depth entries, the rest zero); a palette that is exactly the
//   256-entry ascending gray ramp (what PNGWrite makes of a gray image)
//   gives an 8-bit gray image instead, so a gray image survives a save;
// - RGB and RGBA (8 or 16 bits) give 24-bit RGB.
// 16-bit samples keep their high byte. Transparency (an alpha channel or a
// tRNS chunk) is composited over the file's bKGD colour when it has one,
// else over black; for palette files libpng composites the palette entries,
// so the image stays a palette image. No gamma correction is applied to the
// pixels, but a file that declares its gamma (gAMA or sRGB, other than 1.0)
// is composited in linear light, as libpng does for such files.
//
// Every libpng error (bad signature, CRC error in a critical chunk, damaged
// or missing image data, a truncated file, also when it shows only after
// the image data while reading the end of the file) shows libpng's message
// text and fails the read; libpng's warnings are dropped. An image whose
// pixel storage would exceed 1 GiB fails with "PNGREAD: Image too large
// (W x H)\n", an allocation failure with "PNGREAD: Not enough memory\n".
// Chunks that do not change the pixels (text, sPLT, hIST, pCAL, sCAL, eXIf,
// tIME, oFFs, pHYs, sBIT, unknown chunks) are skipped unread; other
// ancillary chunks are limited to 16 MiB each and 1000 in all.
// On failure the caller's image is left as it was.
int PNGRead(const std::string& path, CDIBitmap& image);
// The same from an open stream positioned at the PNG signature (the fuzzer
// feeds memory through fmemopen).
int PNGReadStream(std::FILE* file, CDIBitmap& image);

// Writes image as a non-interlaced PNG with default compression and
// filters, and one compressed text chunk, keyword "Description", text
// "Lumatint":
// - 1-bit: palette type, depth 1, the 2 table entries, rows as the image's
//   packed bits (most significant bit first);
// - 8-bit (palette and gray alike): palette type, depth 8, the 256 table
//   entries (a gray image's palette is the gray ramp);
// - 24-bit: RGB, depth 8;
// - 32-bit (CMYK): a copy converted to RGB row by row with GL_CMYKRowToRGB
//   (the installed colour transform, else R = max(0, 255 - C - K) and so on),
//   since PNG has no CMYK form.
// 1 on success; 0 when the file cannot be created (no message) or libpng or
// a write fails (libpng's message, or "Write Error" when only the final
// flush fails).
int PNGWrite(const std::string& path, const CDIBitmap& image);
