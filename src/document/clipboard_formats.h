// The clipboard form of a floater: how a lifted piece of image travels
// between documents, and between running instances, through the clipboard.
//
// A floater goes on the clipboard in up to four blocks:
//
//   standard bitmap   the floater image as a packed DIB (CDIBitmap::
//                     ToPackedDIB: 40-byte header, colour table of 2 or 256
//                     entries for 1 and 8 bits, bottom-up rows). Any other
//                     program can paste it.
//   "Vividrome Data A" the floater alpha as a packed DIB of the same form
//                     (8-bit gray; 255 opaque, 0 transparent).
//   "Vividrome Data B" the floater outline as region data: a 32-byte header
//                     (header size 32, type 1, rectangle count n, n x 16,
//                     bounding box left, top, right, bottom) and n 16-byte
//                     rectangles (left, top, right, bottom), all signed
//                     32-bit little-endian, in floater coordinates (0, 0 is
//                     the floater's top-left pixel): (n + 2) x 16 bytes.
//   "Vividrome Data C" 4 bytes holding the unsigned 32-bit value 0.
//
// The floater and the views belong to the editing layer. The functions here
// work on FloaterParts, the floater's pieces, and take the paste position
// (the image point under the top-left corner of the view's visible area)
// as input, so that the view's Copy, Cut and Paste commands can call them
// with the document's floater. Converting a pasted image to the document
// image's pixel kind, applying the outline as selection and refreshing the
// view stay with those commands.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "image/dibitmap.h"
#include "platform/clipboard.h"
#include "platform/region.h"

inline constexpr char kClipboardDataAName[] = "Vividrome Data A";
inline constexpr char kClipboardDataBName[] = "Vividrome Data B";
inline constexpr char kClipboardDataCName[] = "Vividrome Data C";

struct ClipboardFormats {
  platform::ClipboardFormat dataA = 0;  // floater alpha
  platform::ClipboardFormat dataB = 0;  // floater outline
  platform::ClipboardFormat dataC = 0;  // a 4-byte zero
};

// Registers the three private formats by name (the first call does; later
// calls return the same numbers) and gives their numbers. The first
// document constructed calls it.
const ClipboardFormats& RegisterClipboardFormats();

// A floater's pieces, as the document holds them.
struct FloaterParts {
  // The lifted pixels; not allocated when there is no floater image.
  CDIBitmap image;
  // 8-bit gray opacity of the same size (255 opaque); not allocated when
  // there is none.
  CDIBitmap alpha;
  // The outline in floater coordinates; without a handle (IsValid() false)
  // when there is none.
  platform::Region outline;
  // The floater's top-left corner in image coordinates.
  platform::Point position;
};

// The outline as a Data B block: Region::ToBytes, (n + 2) x 16 bytes.
std::vector<uint8_t> OutlineToDataB(const platform::Region& outline);
// The outline of a Data B block. The block holds (n + 2) x 16 bytes with n
// read from its header; a longer block is read only that far (platform
// blocks may be rounded up). nullopt, without reading past the block, when
// the block is shorter than its count says, the header is not that of
// rectangle data (header size 32, type 1, size field n x 16 or 0) or a
// rectangle is inverted.
std::optional<platform::Region> OutlineFromDataB(std::span<const uint8_t> block);

// Puts the floater on the clipboard (the view's Copy and Cut, once they
// have made sure a floater exists). Steps and messages:
//  1. Open; failure: close, "Cannot open the Clipboard", 0.
//  2. Empty; failure: close, "Cannot open the Clipboard", 0.
//  3. The image as the standard bitmap; refused: "Unable to set Clipboard
//     data A", close, 0. Without an image: "RegionBitmapsToClipboard:need
//     floater " (two blanks before "floater", one after), and on.
//  4. The alpha as Data A (refused: "Unable to set Clipboard data A", close,
//     0), then Data C (refused: "Unable to set Clipboard data C", close, 0).
//     Without an alpha: "RegionBitmapsToClipboard:need  floater alpha", and
//     on.
//  5. The outline as Data B; refused: "Unable to set Clipboard data B",
//     close, 0. Without an outline, or with an empty one, there is no
//     region data to put: close and 0 without a message (what was put
//     stays on the clipboard).
//  6. Close, 1.
// A block too large to copy into memory counts as refused.
int RegionBitmapsToClipboard(const FloaterParts& floater,
                             platform::Clipboard& clipboard = platform::CurrentClipboard());

// Builds the floater from the clipboard (the view's Paste, when the
// standard bitmap is on the clipboard). `pastePosition` is the image point
// under the top-left corner of the view's visible area; each coordinate is
// raised to at least 0 and becomes the floater's position.
//  1. Open; failure: "Cannot open the Clipboard", 0.
//  2. Without the standard bitmap: close, "Error allocating clipcopy
//     bitmaps", 0. Otherwise the image comes from it (CDIBitmap::
//     FromPackedDIB, in the bitmap's own kind: 1, 8, 24 or 32 bits); a block
//     FromPackedDIB refuses (with its message) closes the clipboard and
//     gives 0.
//  3. Data B, when present and sound (OutlineFromDataB), gives the outline,
//     clipped to the floater's rectangle 0, 0, width, height. A block that
//     is not sound, or an outline with nothing left inside the floater, is
//     ignored.
//  4. Data A, when present, gives the alpha if it is an 8-bit bitmap of the
//     floater image's width and height; its bytes are taken as opacity
//     levels in an 8-bit gray bitmap. An alpha of another size or kind is
//     ignored (a wrong-sized alpha would be read outside its rows when the
//     floater is blended).
//  5. Data C is read and ignored; the clipboard is closed.
//  6. Without an alpha from the clipboard: an 8-bit gray alpha of the
//     floater's size, all 255 (opaque). Without an outline from the
//     clipboard: the rectangle 0, 0, width, height.
// On success the floater's image, alpha, outline and position are replaced
// and 1 is returned. On failure the floater is left as it was (an alpha that
// cannot be allocated also gives "Error allocating clipcopy bitmaps").
int RegionBitmapsFromClipboard(FloaterParts& floater, platform::Point pastePosition,
                               platform::Clipboard& clipboard = platform::CurrentClipboard());
