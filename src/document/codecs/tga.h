// TGA codec: Truevision Targa files.
#pragma once

#include <cstdio>
#include <string>

class CDIBitmap;

// Reads a ".tga" file into image. 1 on success, 0 on failure.
//
// Header: 18 bytes (16-bit fields little-endian), then the image id (read
// and discarded), then the colour map when the colour-map type is non-zero.
// Image types 1 and 9 (colour-mapped), 2 and 10 (true colour), 3 and 11
// (gray); 9 to 11 are run-length encoded. Descriptor bit 0x20 set means the
// top row comes first, clear the bottom row; bit 0x10 set means pixels run
// right to left, and the row is mirrored. The origin fields, the attribute
// bits, the footer and the extension area are ignored; alpha is dropped.
//
// Kinds:
// - colour-mapped, 8- or 16-bit indices: an 8-bit palette image whose table
//   is the map (entries past its length are black) when the map holds 256
//   entries or fewer; the pixel is the stored index minus the first
//   colour-map entry, kept to 8 bits. A longer map gives a 24-bit image
//   through the map, indices outside it black. The map is used only by
//   these two types; other types skip it.
// - true colour: 8 bits give 8-bit gray; 15 and 16 bits give 24-bit RGB
//   from 5-5-5 (blue in the low bits), each channel times 8 (31 gives 248);
//   24 bits blue, green, red; 32 bits blue, green, red, alpha.
// - gray: 8 bits give 8-bit gray; 16 bits are gray and alpha, the gray byte
//   is kept; 1 bit (rows packed from the high bit, each padded to a byte)
//   gives a 1-bit black and white image.
// Map entries: 8 bits gray, 15 and 16 bits 5-5-5 as above, 24 and 32 bits
// blue, green, red (alpha dropped).
//
// Run-length packets may carry on from one row into the next. A packet
// that runs past the end of the image is cut there and the rest of the
// file is ignored.
//
// Fails with a message (and the image left as it was):
// - "TGACODE: Cannot open input file " followed by the path;
// - "TGACODE: Error reading header information!\n": the header, the id or
//   the colour map is cut short;
// - "TGACODE: Colour-mapped image without a colour map\n";
// - "TGACODE: Unsupported colour map entry size 12\n" (colour-mapped types);
// - "TGACODE: Unsupported pixel depth 24 for image type 3\n";
// - "TGACODE: Invalid image size 0 x 5\n";
// - "TGACODE: Image too large (60000 x 60000)\n": pixel storage above 1 GiB;
// - "TGACODE: Error reading image data!\n": the pixel data ends before the
//   image is complete;
// - "TGACODE: Not enough memory\n".
// Image types other than 1, 2, 3, 9, 10, 11 fail without a message.
int TGARead(const std::string& path, CDIBitmap& image);
// The same from an open, seekable stream positioned at the header (the
// fuzzer feeds memory through fmemopen).
int TGAReadStream(std::FILE* file, CDIBitmap& image);

// Writes image as a Targa file: id length 0, origin 0, 0, descriptor 0x20
// (top row first). compression 1 writes run-length packets (types 9, 10,
// 11), any other value uncompressed rows (types 1, 2, 3). reserved is
// unused.
//
// - 8-bit palette: colour-mapped, a map of 256 24-bit entries from the
//   image's table, 8-bit indices.
// - 8-bit gray: gray type, 8 bits, no map.
// - 24-bit: true colour, 24 bits (blue, green, red).
// - 1-bit: colour-mapped with a map of the image's 2 table entries and
//   one 8-bit index (0 or 1) per pixel, so both colours are kept exactly.
// - 32-bit CMYK: converted row by row to RGB by GL_CMYKRowToRGB (the
//   installed colour transform, if any) and written as 24-bit true colour.
//
// Run-length rows: consecutive equal pixels form groups of at most 128; a
// group of 8 or more is a run packet ((count - 1) | 0x80, the pixel once),
// a smaller group a raw packet ((count - 1), the pixel count times).
// Packets never cross rows.
//
// 1 on success. 0 when the image holds no pixels (silently), when the file
// cannot be created ("TGACODE: Cannot open Output file " followed by the
// path), or when any write, the final flush included, fails
// ("TGACODE: Error writing header information!\n").
int TGAWrite(const std::string& path, const CDIBitmap& image, int compression, int reserved);
