// GIF codec: reads the first image of a GIF file, writes single-image
// "GIF87a" files with LZW compression. Every failure shows its reason
// through platform::ShowMessage, as the other codecs do.
#pragma once

#include <cstdio>
#include <string>

class CDIBitmap;

// Reads the first image of a GIF file (versions "87a" and "89a") into a
// palette image the size of the logical screen. 1 when an image was read, 0
// otherwise, with the reason shown as a message; on failure the caller's
// image is left as it was.
//
// Colour table and bit count: the image takes the colour table its first
// image uses, the local table when that image has one, else the global
// table (entries red, green, blue stored as blue, green, red, 0). A 2-entry
// table gives a 1-bit image, any larger one an 8-bit palette image whose
// entries beyond the file's table are black. (Deciding by the table in use,
// not by the screen descriptor's global-table size, keeps every colour of a
// file whose images carry their own larger tables, or that has no global
// table at all.) A file with no table anywhere gives an 8-bit image whose
// table is the gray ramp, so every index shows as its own gray level.
// Index v in a 1-bit image sets the pixel's bit when v is not 0.
//
// The image is placed at its left and top offset on the screen; pixels it
// does not cover are index 0, and pixels of an image reaching past the
// screen are dropped (decoding stops once no later row can fall inside the
// screen). Interlaced images fill rows 0, 8, 16 ..., then 4, 12 ..., then
// 2, 6 ..., then 1, 3 .... Extensions (graphic control, comment, plain
// text, application) are skipped and do not change the image: the
// transparent index keeps its table colour. Later images of an animation
// are not read. Bytes between blocks that are not '!', ',' or ';' are
// skipped.
//
// Damaged LZW data (a code beyond the next free table entry, a first code
// after a clear that is not a literal, data ending early, a missing end
// code) ends decoding at that point: the rows decoded so far stay, the rest
// is index 0, and the read succeeds.
//
// Messages of a failed read:
// - "No Name Given" (empty path), "Cant open GIF :\nPATH";
// - "Error reading GIF Magic #\nPATH", "PATH is not a valid .GIF file",
//   "Error, Unsupported GIF Version number";
// - "Error, failed to GIF read screen descriptor.\nGiving up",
//   "Error reading GIF colormap" (global table);
// - "Unexpected EOF in GIF." (no image before the end of the file),
//   "Error on extension read.", "Error on dimension read\nGiving up" (the
//   image descriptor is cut short, or the trailer ';' comes before any
//   image), "Error reading GIF colormap\nGiving up" (local table);
// - "Error reading GIF file\nLocalColorMap\nGiving up" or
//   "Error reading GIF file\ngifScr Colormap\nGiving up" (by the table in
//   use) when the LZW minimum code size is missing or outside 1..8;
// - "Error, invalid GIF screen size W x H.\nGiving up" (width or height 0),
//   "Error, GIF screen too large (W x H).\nGiving up" (more than 1 GiB of
//   pixels), "Error, not enough memory for a W x H GIF image.\nGiving up"
//   and "Error, not enough memory for the GIF image.\nGiving up".
// A successful read shows nothing: an aspect byte other than 0 and 49
// (non-square pixels) and unknown extensions are ignored.
int GIFRead(const std::string& path, CDIBitmap& image);
// The same from an open stream positioned at the signature (the fuzzer feeds
// memory through fmemopen); `name` stands for the path in the texts that
// carry one.
int GIFReadStream(std::FILE* file, CDIBitmap& image, const std::string& name = "");

// Writes image as a single-image "GIF87a" file: the screen and the image both
// width x height, a global colour table and no local one, not interlaced,
// background and aspect 0. A 1-bit image gives packed byte 0x80, a 2-entry
// table and LZW minimum code size 2; an 8-bit image (palette or gray) packed
// byte 0xF7, its 256-entry table and code size 8. The LZW data starts with a
// clear code, uses codes of up to 12 bits, clears the table when it is full
// (next free code 4096), and ends with the end code; sub-blocks hold at most
// 254 bytes. Pixels go from the top row down, left to right.
//
// A 24-bit or 32-bit (CMYK) image is written through a copy reduced to an
// adaptive palette of at most 256 colours (GL_ConvertToIndexed, adaptive,
// error diffusion); the image itself is not changed. An image of 256
// colours or fewer keeps its exact colours.
//
// 1 when the file was written. 0, with a message, when it cannot be created
// ("Can't open GIF for writing"), when any write or the final flush fails
// ("Write Error in GIF file"), when the image is wider or higher than the
// format's 65535 ("GIF can't hold a W x H image"), when there is no memory
// for the reduced copy ("Not enough memory to reduce the image for GIF"),
// or when the reduction of a 24-bit or 32-bit image fails (its own
// message).
int GIFWrite(const std::string& path, const CDIBitmap& image);
