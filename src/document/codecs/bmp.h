// BMP codec: Windows and OS/2 bitmap files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>

class CDIBitmap;

// Reads a ".bmp" file into image. 1 on success, 0 on failure (a damaged
// file is reported with a "BMPREAD:" message; a file that is not a bitmap
// at all fails silently).
//
// Headers: OS/2 1.x (12 bytes, 3-byte table entries), Windows (40 bytes)
// and its later forms (52, 56, 108, 124 bytes, which add bit-field masks),
// OS/2 2.x (64 bytes); 4-byte table entries for all but OS/2 1.x. The table
// holds colours-used entries, or 2^bits when that is 0 or larger, and never
// reaches into the pixel data; the rest of the image's table is zero.
// Rows are bottom-up, or top-down when the height is negative.
//
// Pixel kinds: 1 bit gives a 1-bit image; 2, 4 and 8 bits give an 8-bit
// palette image (indices unchanged); RLE8 and RLE4 (Windows and OS/2 2.x
// headers) are decoded by CDIBRleDecoder, data that ends early leaving the
// remaining rows at index 0. 16 and 32 bits give 24-bit RGB: 16 bits without
// compression are 5-5-5, 32 bits blue, green, red, unused; compression 3
// (bit fields) takes the masks from the header, or from the 12 bytes after
// a 40-byte header. Each channel keeps at most the top 8 bits under its mask
// and is widened by bit replication (a 5-bit v becomes v << 3 | v >> 2), so
// the channel maximum gives 255; alpha is dropped. The one exception is the
// form our own writer gives CMYK images: a 32-bit file with a 40-byte
// header, no compression, and image size and both resolutions 0 is read as
// a 32-bit CMYK image, bytes as stored. The resolution fields are ignored.
//
// Refused with a message (and the image left as it was): a bit count other
// than 1, 2, 4, 8, 16, 24, 32; a compression that does not fit the bit
// count or is not supported (Huffman, RLE24, JPEG, PNG); width or height 0
// or a negative width; pixel storage above 1 GiB; a colour table or pixel
// offset past the end of the file; uncompressed pixel data that the file
// does not hold (only the padding of the last row may be missing), with the
// variant's text, as "BMPREAD: Error reading BMP 24 uncompressed\n". Not
// "BM", an unreadable header or another header size: 0 without a message.
int BMPRead(const std::string& path, CDIBitmap& image);
// The same from an open, seekable stream positioned at the file header (the
// fuzzer feeds memory through fmemopen).
int BMPReadStream(std::FILE* file, CDIBitmap& image);
// Writes image as a Windows bitmap: 40-byte header with compression, image
// size, resolutions, colours used and important all 0; the table of 2 or
// 256 entries for 1 and 8 bits; rows bottom-up, each a whole stride with
// zero padding. A 32-bit (CMYK) image is stored as its four bytes per
// pixel, which BMPRead reads back as CMYK. 1 on success; 0 when the file
// cannot be created (silently), when the file would be larger than its
// 32-bit size field holds ("BMPWRITE: Image too large for BMP (W x H)\n",
// no file is created), or when any write, including the final flush, fails
// ("fwrite error\nGiving up").
int BMPWrite(const std::string& path, const CDIBitmap& image);

// Takes the next piece of a file being written; false stops the writing.
using BMPByteSink = std::function<bool(std::span<const uint8_t> bytes)>;
// The bytes BMPWrite puts in a file, handed to `sink` in order: the file
// header, information header and colour table in one piece, then bands of
// whole rows of about 1 MiB. No messages. kResultOk when every piece was
// taken; kResultInvalidBitmap for an image without pixels and
// kResultInvalidSize for one whose file would exceed 4 GiB - 1 bytes, both
// before any piece; kResultWriteError when the sink refused a piece (no
// more follow).
int BMPWriteStream(const CDIBitmap& image, const BMPByteSink& sink);
