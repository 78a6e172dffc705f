// OctreeQuantizer: the adaptive palette builder of the "Palette(8BIT)"
// conversion, and the colour-to-entry mapping shared with the fixed palettes.
//
// The tree has eight levels below the root. A node at level d (0..7) is the
// child of index 4 x bit(7 - d) of red + 2 x bit(7 - d) of green +
// bit(7 - d) of blue of its parent, so a level-7 node holds exactly one
// colour. Every node keeps a pixel count and the sums of red, green, blue.
//
// Inserting a colour walks down, creating nodes, until it reaches a leaf (a
// level-7 node or a node folded by reduction) and adds the pixel there. A
// leaf that receives its first pixel is recorded, with that colour, in the
// list of its level. While more than 512 leaves exist after an insertion,
// one reduction runs: at the deepest level with recorded leaves the one with
// the smallest pixel count (the earliest recorded on ties) is taken and its
// parent folds all its children (counts and sums added, the parent becomes a
// leaf). A folded parent is recorded at its own level, after the leaves
// already there; the records of its children are dropped.
//
// The palette is read depth-first (child index 0..7): each leaf gives one
// entry, sums / count (integer division), and remembers that index.
//
// Mapping a colour walks the tree with it: ending on a leaf gives the leaf's
// entry; a missing child on the way gives the entry of the recorded leaf
// whose colour is nearest (least sum of squared differences of red, green
// and blue; the first in search order on ties). Search order: levels 0 to 7,
// each level's records in the order they were made. A leaf made by folding
// is compared by its palette colour, every other leaf by its one colour.
#pragma once

#include <cstdint>
#include <vector>

class OctreeQuantizer {
 public:
  // Leaves allowed while colours are inserted.
  static constexpr int kMaxLeaves = 512;

  OctreeQuantizer();

  // Inserts one pixel and reduces while more than kMaxLeaves leaves exist.
  void AddColor(uint8_t red, uint8_t green, uint8_t blue);
  // Inserts one colour of a fixed palette (no reduction); a colour seen for
  // the first time gets `index` as its entry, a repeated one keeps the
  // first index.
  void AddPaletteColor(uint8_t red, uint8_t green, uint8_t blue, int index);
  // Reduces (as during insertion) until at most `leaves` leaves remain.
  void ReduceTo(int leaves);
  int LeafCount() const { return leafCount_; }

  // Reads the palette depth-first into `table` (4 bytes per entry: blue,
  // green, red, 0; at most `capacity` entries, the caller reduces first) and
  // returns the number of entries. Entries of leaves beyond the capacity are
  // not written. Call once, after the last insertion and before Map.
  int BuildPalette(uint8_t* table, int capacity);
  // Prepares Map for the entries set by AddPaletteColor (the table is the
  // caller's fixed palette).
  void FinishFixedPalette();

  // A small colour-to-entry memo, one per thread.
  struct Cache {
    Cache();
    std::vector<uint32_t> keys;
    std::vector<uint8_t> values;
  };
  // The entry for a colour (see the header comment). Thread-safe for
  // concurrent callers with their own caches.
  int Map(uint8_t red, uint8_t green, uint8_t blue, Cache& cache) const;

  // Sets how many colours will be mapped: for large counts the nearest
  // search prepares finer cells (more set-up, fewer comparisons per colour).
  // Call before BuildPalette or FinishFixedPalette.
  void SetMappedPixels(int64_t pixels) { fineCells_ = pixels >= (int64_t{1} << 20); }

 private:
  struct Node {
    int32_t child[8];
    uint32_t count;
    uint64_t sumRed, sumGreen, sumBlue;
    int8_t level;
    bool leaf;
    int16_t entry;
    int32_t parent;
    int32_t record;  // index into its level's record list, -1 when none
  };
  struct Record {
    int32_t node;  // -1 once dropped
    uint8_t red, green, blue;
    uint64_t order;
  };
  struct HeapItem {
    uint32_t count;
    uint64_t order;
    int32_t node;
  };
  struct Candidate {
    int red, green, blue;
    int entry;
    int order;
  };

  int32_t NewNode(int level, int32_t parent);
  int32_t Insert(uint8_t red, uint8_t green, uint8_t blue);
  void RecordLeaf(int32_t node, uint8_t red, uint8_t green, uint8_t blue);
  void ReduceOnce();
  void BuildCandidates();
  int Nearest(int red, int green, int blue) const;

  std::vector<Node> nodes_;
  std::vector<int32_t> freeNodes_;
  std::vector<Record> records_[8];
  int liveRecords_[8] = {};
  std::vector<HeapItem> heaps_[8];
  uint64_t nextOrder_ = 0;
  int leafCount_ = 0;
  // Leaves in search order.
  std::vector<Candidate> candidates_;
  // The colour cube cut into cells (16 or, when fine, 32 a side); each
  // cell lists (in search order) the candidates that can be nearest to a
  // colour inside it: those whose distance to the cell is at most the
  // smallest farthest-corner distance of any candidate.
  std::vector<uint32_t> cellStart_;
  std::vector<uint16_t> cellList_;
  bool fineCells_ = false;
  int cellShift_ = 4;
  // True when every leaf is a level-7 leaf entered by AddPaletteColor: the
  // walk then finds only exact colours, which the nearest search finds
  // too, so Map goes straight to the search.
  bool fixedPalette_ = false;
};
