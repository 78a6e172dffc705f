// The editing state a document keeps beside its image: the selection (with
// the floater flag) and the single undo record. The views' tools and
// commands (the editing layer) change them; the document stores them so that
// every view of it shares one selection, one floater and one undo record.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/dibitmap.h"
#include "image/pixel_block.h"
#include "platform/region.h"

// How a new region joins the current selection (modifier keys at the press:
// none Replace, Shift Add, Ctrl Subtract, Alt Intersect).
enum class SelectionCombine { Replace = 0, Add = 1, Subtract = 2, Intersect = 3 };

struct SelectionState {
  // Relative to the box's top-left corner; no handle = no selection.
  platform::Region region;
  // The box in image coordinates (left, top, width, height).
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  // The selection's pixels float (the document's floater bitmaps).
  bool floaterPresent = false;
};

// The parts an undo record can hold.
enum UndoPart : unsigned {
  kUndoFloaterPixels = 1,  // F
  kUndoFloaterAlpha = 2,   // A
  kUndoSelection = 4,      // R: region and box
  kUndoImage = 8,          // I: geometry, colour table, tiles
  kUndoAllParts = 15,
};

// The parts an edit of `kind` saves, given whether a selection exists and a
// floater is present:
//
//   kind  S and F   S only   no S     edits
//   11    F A R I   R        -        Delete Selection (None)
//   12    F A R     R        -        dragging the outline or the floater
//   13    F A R     R        -        arrow-key moves (merged)
//   15    F A R     R I      -        cut, clear
//   16    -         R        -        Float Selection
//   17    F A R I   -        -        Defloat Floater
//   18    F A R I   R        -        selection commands, Edit Floater Alpha
//   19    F A R     R I      I        fill, floater rotations, flips, resize
//   30    F A R I   R        -        paste, placing text
//   40-45 F A R     R I      I        paint, fill colour, line, shape
//   50    F A R     R I      I        canvas changes, effects
//   99    F A R I   R I      I        Trim Selection, Cavas Size
//
// Any other kind behaves as 40 to 45.
unsigned UndoPartsFor(int kind, bool selection, bool floater);

// Tiles are 32 x 32 pixels aligned to the image's top-left corner.
inline constexpr int kUndoTileSize = 32;

struct UndoRecord {
  int kind = 0;
  std::string name;
  std::unique_ptr<CDIBitmap> floaterPixels;
  std::unique_ptr<CDIBitmap> floaterAlpha;
  // Box-relative, with the box, when saved.
  std::optional<platform::Region> region;
  int32_t boxLeft = 0, boxTop = 0, boxWidth = 0, boxHeight = 0;
  // Image part: geometry and colour table.
  bool hasImage = false;
  int width = 0, height = 0, bitCount = 0;
  uint32_t colorType = 0;
  std::vector<uint8_t> colorTable;  // 4 bytes per entry, for 8 bits or fewer
  // The saved tiles, stored as runs of neighbouring saved tiles in one band
  // of 32 rows: the pixel bytes of columns x .. x + w of rows y .. y + h,
  // row after row, at `offset` in `pixels`. A tile's column starts on a byte
  // at every bit count (32 x bits is a whole number of bytes).
  struct Run {
    int x = 0, y = 0, w = 0, h = 0;
    size_t offset = 0;
  };
  std::vector<Run> runs;
  PixelBlock pixels;
  // How many 32 x 32 tiles the runs hold.
  int64_t tileCount = 0;
};
