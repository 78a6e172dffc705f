// BMP codec: Windows and OS/2 bitmap files.
#pragma once

#include <cstdio>
#include <string>

class CDIBitmap;

// Reads a ".bmp" file into image. 1 on success, 0 on failure (a damaged
// file is reported with a "BMPREAD:" message; a file that is not a bitmap
// at all fails silently).
int BMPRead(const std::string& path, CDIBitmap& image);
// The same from an open stream positioned at the file header (the fuzzer
// feeds memory through fmemopen).
int BMPReadStream(std::FILE* file, CDIBitmap& image);
// Writes image as a Windows bitmap (40-byte header, uncompressed, the
// image's own bit count). 1 on success, 0 when the file cannot be created or
// a row cannot be written ("fwrite error\nGiving up").
int BMPWrite(const std::string& path, const CDIBitmap& image);
