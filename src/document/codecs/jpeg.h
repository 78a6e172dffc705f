// JPEG adapter: reading and writing JPEG files through libjpeg (its
// version-6 interface, libjpeg-turbo).
#pragma once

#include <cstdio>
#include <string>

class CDIBitmap;

// Reads a ".jpg"/".jpeg" file into image with libjpeg's default decoding
// (accurate integer DCT, smooth upsampling), baseline or progressive, any
// subsampling. 1 on success, 0 on failure.
//
// By the number of decoded components: 1 gives an 8-bit gray image; 3 gives
// 24-bit RGB (YCbCr converted by libjpeg); 4 gives a 32-bit CMYK image
// (YCCK converted to CMYK by libjpeg). CMYK files store inverted values
// (0 = full ink) in the form Adobe's programs and our own writer use, and
// are inverted on reading (a stored 0, 0, 0, 0 reads as 255, 255, 255, 255);
// files without Adobe's marker are taken the same way, as ImageMagick and
// Pillow do.
// Other component counts fail with
// "JPEG :\nCan't read %d-component images\n".
//
// Failures: a file that cannot be opened shows "JPEG :\nCan't open %s\n"
// (the path). Every libjpeg error shows libjpeg's message in a box captioned
// "JPEG Fatal Error" (stop icon) and fails the read; so do the warnings
// that mean lost image data (premature end of the file or of a data
// segment, bad Huffman or arithmetic codes, lost restart markers), so a
// damaged file never gives a partly grey image reported as success. Other
// warnings (extraneous bytes between markers, unknown JFIF revision) are
// dropped: the picture is intact. Nothing goes to stderr. An image whose
// pixel storage would exceed 1 GiB fails with "JPEGREAD: Image too large
// (W x H)\n"; libjpeg's own buffers are limited to 2 GiB (beyond that its
// "Backing store not supported" error) and a progressive file to 1000 scans
// ("JPEGREAD: Too many scans\n"). On failure the caller's image is left as
// it was.
int JPEGRead(const std::string& path, CDIBitmap& image);
// The same from an open stream positioned at the start of the JPEG data
// (the fuzzer feeds memory through fmemopen).
int JPEGReadStream(std::FILE* file, CDIBitmap& image);

// Writes image as a baseline JFIF/Adobe JPEG with libjpeg's defaults
// (YCbCr with 2x2 chroma subsampling for colour, Huffman tables optimised
// off) at `quality` (2..100; values outside are clamped), quantisation
// tables forced to baseline-compatible values:
// - 24-bit: 3 components, RGB;
// - 8-bit gray images and 8-bit palette images whose colour table holds
//   only grays: 1 component, gray, each pixel written as its table entry's
//   level (the gray ramp gives the index itself);
// - 8-bit palette images with any coloured entry, and 1-bit images: the
//   pixels' table colours as 3-component RGB (1-bit images whose two
//   entries are gray as 1-component gray), so the picture keeps its
//   colours instead of becoming its index values;
// - 32-bit (CMYK): 4 components, CMYK, every byte inverted (Adobe's form,
//   which JPEGRead inverts back); libjpeg writes the Adobe marker.
// 1 on success; 0 when the file cannot be created ("JpegFile :\nCan't open
// %s\n") or libjpeg fails, also on a failed write (its message captioned
// "JPEG Fatal Error").
int JPEGWrite(const std::string& path, const CDIBitmap& image, int quality);
