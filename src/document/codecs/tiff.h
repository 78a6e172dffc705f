// TIFF adapter: libtiff decodes and encodes the strips and tiles; the
// conversion between the file's samples and the bitmap's rows is our own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CDIBitmap;

// Reads the first image of a ".tif" file into image. 1 on success, 0 on
// failure; a failure leaves the image as it was.
//
// Accepted: 1, 2, 4, 8 or 16 bits per sample; 1, 3 or 4 samples per pixel;
// any compression libtiff decodes; strips or tiles; contiguous or separate
// planes (separate when planar configuration is 2 and there are at least 2
// samples). By photometric interpretation (missing: min-is-black for 1
// sample, RGB for 3 or 4):
// - min-is-white (0), min-is-black (1), 1 sample: 1 bit gives a 1-bit image,
//   otherwise an 8-bit gray image that keeps the raw sample values (2 and 4
//   bits unpacked one pixel per byte, most significant first). The colour
//   table holds the gray levels: with range = MaxSampleValue -
//   MinSampleValue (1 for 1-bit data; 2^bits - 1 when the tags give a range
//   of 0 or less or one above 2^bits - 1), entry i <= range is
//   i x 255 / range (min-is-black) or (range - i) x 255 / range
//   (min-is-white), integer division; entries above the range are i or
//   255 - i. Only the first 2^bits entries (at most 256) are set; the rest
//   stay the ascending ramp. 16-bit samples are first reduced to 8 bits as
//   v x 255 / 65535 (integer division), and the levels are then those of
//   8-bit data over the full range 0..255.
// - palette (3), 1 sample of 1 to 8 bits: a 1-bit image for 1 bit, else an
//   8-bit palette image; the table is the colour map's first 2^bits entries.
//   A map whose values are all below 256 is taken as 8-bit values, otherwise
//   each 16-bit value v becomes v x 255 / 65535 (integer division).
// - RGB (2), 3 samples, or 4 with the fourth (alpha or other extra sample)
//   dropped, 8 or 16 bits: 24-bit blue, green, red.
// - separated (5), ink set CMYK, 4 samples of 8 or 16 bits: 32-bit CMYK.
// - YCbCr (6), 3 samples of 8 bits: 24-bit. JPEG-compressed data is
//   converted to RGB by libtiff's JPEG codec; other data is read as packed
//   subsampling blocks (horizontal and vertical factors 1, 2 or 4,
//   contiguous planes only) and converted with the file's coefficients and
//   reference black and white (libtiff's YCbCr tables; positioning is not
//   used).
// 16-bit samples of RGB and CMYK are reduced like gray ones. Extra samples
// are dropped as they are, associated (premultiplied) alpha included.
// Orientation: 1 (or missing), 2, 5, 6 and other values are read top-left;
// 4, 3, 7 and 8 bottom-left (the first stored row becomes the bottom row);
// no mirroring or transposition.
//
// Failures: a file libtiff cannot open shows "error opening TIFF file %s".
// Once open, a file we cannot convert fails with one message, the error
// that stopped the read: our own texts ("Sorry, can not handle %d-bit pictures",
// "Sorry, can not handle %d-channel images", "Missing needed
// "PhotometricInterpretation" tag", "Not Supported
// PhotometricInterpretation", "Missing required "Colormap" tag", "Can not
// handle format", "Sorry, can not handle %u x %u pictures" for a size of 0
// or pixel storage above 1 GiB, "No space for strip buffer" and "No space
// for tile buffer" for a strip or tile above 1 GiB) or libtiff's error as
// "module: text" (a damaged directory, a strip or tile that does not
// decode). libtiff's warnings are dropped, and nothing is ever printed.
int TIFRead(const std::string& path, CDIBitmap& image);
// The same from a file image held in memory (the fuzzer's entry).
int TIFReadMemory(const uint8_t* data, size_t size, CDIBitmap& image);

// Compression choices of the "TIFF Option" dialog, by list index.
enum TIFCompressionIndex { kTifNone = 0, kTifPackBits = 1, kTifFax3 = 2, kTifFax4 = 3 };

// Writes image as a single-image TIFF, contiguous samples, top-left, fill
// order 1, MinSampleValue 0, MaxSampleValue 255, rows per strip 8192 /
// row bytes (at least 1). 1-bit: palette photometric, 1 bit, 2-entry
// colour map; 8-bit: min-is-black for the ascending gray ramp,
// min-is-white for the descending one, otherwise palette with a 256-entry
// map (16-bit values c x 65535 / 255), raw indices as samples; 24-bit: RGB,
// 3 samples of 8 bits; 32-bit: separated, 4 samples (C, M, Y, K).
// compression: 0 none, 1 PackBits, 2 CCITT Group 3 with Group3Options 1
// (two-dimensional), 3 CCITT Group 4 with Group4Options 2; the fax codes
// take 1-bit images only (others fail at the first row). 1 on success;
// 0 with "error opening TIFF file %s" when the file cannot be created,
// "failed a scanline write on row %d" when a row is refused (writing stops
// there), "error writing TIFF file %s" when the final flush fails, and 0
// without a message for an image without pixels, a bit count other than
// 1, 8, 24, 32 or a compression index outside 0..3.
int TIFWrite(const std::string& path, const CDIBitmap& image, int compression);
