// PCX codec: ZSoft PCX files, and the first page of DCX multi-page files.
#pragma once

#include <cstdio>
#include <string>

class CDIBitmap;

// Reads a ".pcx" file, or the first page of a ".dcx" file, into image.
// 1 on success, 0 on failure after a message; a failed read leaves the
// image as it was.
//
// DCX: a path whose last four characters are exactly ".dcx" (no case
// folding, so "FAX.DCX" is read as a plain PCX file and fails as one) must
// start with the magic 0x3ADE68B1, else "DcxHead: %s is not a DCX-format
// file!\n". The page-offset list that follows is read up to its terminating
// 0, at most 1023 entries, and never past the end of the file; a list
// without any page gives "DcxHead: %s holds no page!\n". Only the first page
// is read. That page ends where the next page starts (the smallest listed
// offset beyond it) or at the end of the file, and its VGA palette is looked
// for at the end of the page, not of the file.
//
// Header: 128 bytes, 16-bit fields little-endian. A short header gives
// "PcxHead: Error reading header information!\n", a first byte other than 10
// "PcxHead: %s is not a PCX-format file!\n". Size: xmax - xmin + 1 by
// ymax - ymin + 1. Pixel layouts and the images they give:
//   1 bit, 1 plane         1-bit image;
//   2 or 4 bits, 1 plane   8-bit palette image (indices unchanged);
//   1 bit, 2 to 4 planes   8-bit palette image, index = sum of plane p's bit
//                          << p (16-colour planar files and their kin);
//   8 bits, 1 plane        8-bit palette image, or 8-bit gray when the
//                          palette-info field is 2 (the index is the level);
//   8 bits, 3 or 4 planes  24-bit RGB from planes red, green, blue (a
//                          fourth, alpha, plane is dropped).
// Colour table, for versions 2 and 5 only (other versions keep the default
// black and white of a 1-bit image and a zero table otherwise): 1 to 4 bits
// per pixel take 2^(bits x planes) entries from the header's 16-entry map;
// a 1-bit single-plane map whose two entries are equal (writers that leave
// the map empty) gives black and white instead. 8 bits on one plane take
// the 256 entries after the marker byte 12 that starts 769 bytes before the
// end; another marker shows the warning "PCXREAD: Not Proper Palette !" and
// the entries are used all the same; a file too short to hold them gives
// "PcxHead: Error reading VGA color map information!\n". Gray files do not
// need the trailing palette.
//
// Pixel data: the run-length line code (a byte of 0xC0 or more is a count of
// its low 6 bits for the next byte; anything else is a literal), one line
// of planes x bytes-per-line bytes per row, top row first. A run that
// crosses the end of a line continues into the next line; a run left over
// after the last line is ignored. A line the data cannot complete gives
// "PCXCODE: Bad scan line length (was %d should be %d)\n" with the decoded
// and the expected length.
//
// Refused with a message: an empty or negative size ("PCXREAD: Invalid image
// size %d x %d\n"), a layout not listed above ("PCXREAD: Unsupported pixel
// layout (%d bits per pixel, %d planes)\n"), bytes per line too few for the
// width ("PCXREAD: Bytes per line %d too small for width %d\n"), pixel
// storage above 1 GiB ("PCXREAD: Image too large (%d x %d)\n"), or storage
// that cannot be had ("PCXREAD: Not enough memory for a %d x %d image\n").
int PCXRead(const std::string& path, CDIBitmap& image);
// The same from an open, seekable stream positioned at the start of the
// file. `path` is used only to tell DCX from PCX and in the messages (the
// fuzzers feed memory through fmemopen).
int PCXReadStream(std::FILE* file, const std::string& path, CDIBitmap& image);

// Writes image as a version-5 run-length encoded PCX file at 72 dots per
// inch: 1-bit images as 1 plane of 1 bit (bytes per line (width + 7) / 8,
// the two table entries in the header's map); 8-bit images as 1 plane of 8
// bits (bytes per line = width; palette info 2 for gray images, else 0),
// followed by the byte 12 and the 256 table entries as red, green, blue;
// 24-bit images as 3 planes of 8 bits, red, green, blue (bytes per line =
// width). Runs are at most 63 bytes and never cross a line; a single byte
// below 0x40 is written as itself, every other byte with a count.
// 1 on success, 0 on failure after a message: "Can't open file for
// writing", "PcxHead: Error writing header information!\n", "PCXCODE:
// Error writing image data!\n" (any later write or the final flush),
// "PCXCODE: Cannot write a %d-bit image as PCX\n" (32-bit images), "PCXCODE:
// Image too large for PCX (%d x %d)\n" (wider than 65535 or taller than
// 65536 pixels, which the header's 16-bit fields cannot hold).
int PCXWrite(const std::string& path, const CDIBitmap& image);
