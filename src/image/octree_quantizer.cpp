#include "image/octree_quantizer.h"

#include <algorithm>
#include <cstdlib>

namespace {

inline int ChildIndex(uint8_t red, uint8_t green, uint8_t blue, int level) {
  const int shift = 7 - level;
  return (((red >> shift) & 1) << 2) | (((green >> shift) & 1) << 1) | ((blue >> shift) & 1);
}

// Min-heap order on (count, order): the smallest count, the earliest record
// on ties.
template <typename Item>
bool HeapAfter(const Item& a, const Item& b) {
  return a.count != b.count ? a.count > b.count : a.order > b.order;
}

constexpr size_t kCacheSize = 4096;
constexpr uint32_t kCacheValid = 0x80000000u;

}  // namespace

OctreeQuantizer::Cache::Cache() : keys(kCacheSize, 0), values(kCacheSize, 0) {}

OctreeQuantizer::OctreeQuantizer() {
  nodes_.reserve(1024);
  NewNode(-1, -1);  // the root; index 0 also means "no child"
}

int32_t OctreeQuantizer::NewNode(int level, int32_t parent) {
  Node node{};
  node.level = static_cast<int8_t>(level);
  node.leaf = level == 7;
  node.entry = -1;
  node.parent = parent;
  node.record = -1;
  if (!freeNodes_.empty()) {
    const int32_t index = freeNodes_.back();
    freeNodes_.pop_back();
    nodes_[static_cast<size_t>(index)] = node;
    return index;
  }
  nodes_.push_back(node);
  return static_cast<int32_t>(nodes_.size() - 1);
}

void OctreeQuantizer::RecordLeaf(int32_t index, uint8_t red, uint8_t green, uint8_t blue) {
  Node& node = nodes_[static_cast<size_t>(index)];
  const int level = node.level;
  std::vector<Record>& list = records_[level];
  const uint64_t order = nextOrder_++;
  node.record = static_cast<int32_t>(list.size());
  list.push_back({index, red, green, blue, order});
  ++liveRecords_[level];
  std::vector<HeapItem>& heap = heaps_[level];
  heap.push_back({node.count, order, index});
  std::push_heap(heap.begin(), heap.end(), HeapAfter<HeapItem>);
}

int32_t OctreeQuantizer::Insert(uint8_t red, uint8_t green, uint8_t blue) {
  int32_t current = 0;
  for (int level = 0; level < 8; ++level) {
    const int c = ChildIndex(red, green, blue, level);
    int32_t next = nodes_[static_cast<size_t>(current)].child[c];
    if (!next) {
      next = NewNode(level, current);
      nodes_[static_cast<size_t>(current)].child[c] = next;
    }
    current = next;
    if (nodes_[static_cast<size_t>(current)].leaf) break;
  }
  Node& leaf = nodes_[static_cast<size_t>(current)];
  ++leaf.count;
  leaf.sumRed += red;
  leaf.sumGreen += green;
  leaf.sumBlue += blue;
  if (leaf.count == 1) {
    ++leafCount_;
    RecordLeaf(current, red, green, blue);
  }
  return current;
}

void OctreeQuantizer::AddColor(uint8_t red, uint8_t green, uint8_t blue) {
  Insert(red, green, blue);
  while (leafCount_ > kMaxLeaves) ReduceOnce();
}

void OctreeQuantizer::AddPaletteColor(uint8_t red, uint8_t green, uint8_t blue, int index) {
  const int32_t leaf = Insert(red, green, blue);
  Node& node = nodes_[static_cast<size_t>(leaf)];
  if (node.entry < 0) node.entry = static_cast<int16_t>(index);
}

void OctreeQuantizer::ReduceTo(int leaves) {
  while (leafCount_ > leaves) {
    // Leaves directly below the root cannot fold further.
    int deepest = 7;
    while (deepest >= 0 && liveRecords_[deepest] == 0) --deepest;
    if (deepest <= 0) break;
    ReduceOnce();
  }
}

void OctreeQuantizer::ReduceOnce() {
  int level = 7;
  while (level > 0 && liveRecords_[level] == 0) --level;
  if (level <= 0) return;
  std::vector<Record>& list = records_[level];
  std::vector<HeapItem>& heap = heaps_[level];

  // The live record with the smallest (count, order). Heap items carry the
  // count at push time; counts only grow, so an item whose count is stale is
  // pushed again with the current one.
  int32_t chosen = -1;
  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), HeapAfter<HeapItem>);
    const HeapItem item = heap.back();
    heap.pop_back();
    const Node& node = nodes_[static_cast<size_t>(item.node)];
    if (node.level != level || !node.leaf || node.record < 0 ||
        list[static_cast<size_t>(node.record)].order != item.order || list[static_cast<size_t>(node.record)].node < 0)
      continue;
    if (node.count != item.count) {
      heap.push_back({node.count, item.order, item.node});
      std::push_heap(heap.begin(), heap.end(), HeapAfter<HeapItem>);
      continue;
    }
    chosen = item.node;
    break;
  }
  if (chosen < 0) return;

  const int32_t parentIndex = nodes_[static_cast<size_t>(chosen)].parent;
  Node& parent = nodes_[static_cast<size_t>(parentIndex)];
  int folded = 0;
  for (int32_t& childIndex : parent.child) {
    if (!childIndex) continue;
    Node& child = nodes_[static_cast<size_t>(childIndex)];
    parent.count += child.count;
    parent.sumRed += child.sumRed;
    parent.sumGreen += child.sumGreen;
    parent.sumBlue += child.sumBlue;
    if (child.record >= 0) {
      list[static_cast<size_t>(child.record)].node = -1;
      --liveRecords_[level];
    }
    ++folded;
    freeNodes_.push_back(childIndex);
    childIndex = 0;
  }
  parent.leaf = true;
  leafCount_ -= folded - 1;
  const uint32_t count = parent.count;
  RecordLeaf(parentIndex, static_cast<uint8_t>(parent.sumRed / count), static_cast<uint8_t>(parent.sumGreen / count),
             static_cast<uint8_t>(parent.sumBlue / count));

  // Keep the lists and heaps of dropped records from growing without bound.
  if (list.size() > 1024 && list.size() > 4 * static_cast<size_t>(liveRecords_[level])) {
    std::vector<Record> live;
    live.reserve(static_cast<size_t>(liveRecords_[level]));
    heap.clear();
    for (const Record& r : list) {
      if (r.node < 0) continue;
      nodes_[static_cast<size_t>(r.node)].record = static_cast<int32_t>(live.size());
      live.push_back(r);
      heap.push_back({nodes_[static_cast<size_t>(r.node)].count, r.order, r.node});
    }
    std::make_heap(heap.begin(), heap.end(), HeapAfter<HeapItem>);
    list.swap(live);
  }
}

int OctreeQuantizer::BuildPalette(uint8_t* table, int capacity) {
  int next = 0;
  // Depth-first, child index 0..7; the tree is at most nine nodes deep.
  auto visit = [&](auto& self, int32_t index) -> void {
    Node& node = nodes_[static_cast<size_t>(index)];
    if (node.leaf && node.count > 0) {
      if (next < capacity) {
        uint8_t* e = table + 4 * next;
        e[0] = static_cast<uint8_t>(node.sumBlue / node.count);
        e[1] = static_cast<uint8_t>(node.sumGreen / node.count);
        e[2] = static_cast<uint8_t>(node.sumRed / node.count);
        e[3] = 0;
      }
      node.entry = static_cast<int16_t>(std::min(next, 255));
      ++next;
      return;
    }
    for (int32_t child : node.child)
      if (child) self(self, child);
  };
  visit(visit, 0);
  BuildCandidates();
  return std::min(next, capacity);
}

void OctreeQuantizer::FinishFixedPalette() {
  fixedPalette_ = true;
  BuildCandidates();
}

void OctreeQuantizer::BuildCandidates() {
  candidates_.clear();
  int order = 0;
  for (int level = 0; level < 8; ++level)
    for (const Record& r : records_[level]) {
      if (r.node < 0) continue;
      const Node& node = nodes_[static_cast<size_t>(r.node)];
      Candidate c{r.red, r.green, r.blue, std::max<int>(node.entry, 0), order++};
      if (node.level < 7) {
        // A folded leaf stands for many colours: compare with its entry's colour.
        c.red = static_cast<int>(node.sumRed / node.count);
        c.green = static_cast<int>(node.sumGreen / node.count);
        c.blue = static_cast<int>(node.sumBlue / node.count);
      }
      candidates_.push_back(c);
    }

  cellShift_ = fineCells_ ? 3 : 4;
  const int side = 1 << cellShift_;        // values per cell edge
  const int perAxis = 256 >> cellShift_;  // cells per axis
  const int cells = perAxis * perAxis * perAxis;
  cellStart_.assign(static_cast<size_t>(cells) + 1, 0);
  cellList_.clear();
  std::vector<int> nearDistance(candidates_.size()), farDistance(candidates_.size());
  for (int cell = 0; cell < cells; ++cell) {
    const int lo[3] = {cell / (perAxis * perAxis) * side, cell / perAxis % perAxis * side, cell % perAxis * side};
    int bound = 1 << 30;
    for (size_t i = 0; i < candidates_.size(); ++i) {
      const int value[3] = {candidates_[i].red, candidates_[i].green, candidates_[i].blue};
      int nearSum = 0, farSum = 0;
      for (int c = 0; c < 3; ++c) {
        const int low = lo[c], high = lo[c] + side - 1;
        const int inside = value[c] < low ? low - value[c] : value[c] > high ? value[c] - high : 0;
        const int far = std::max(std::abs(value[c] - low), std::abs(value[c] - high));
        nearSum += inside * inside;
        farSum += far * far;
      }
      nearDistance[i] = nearSum;
      farDistance[i] = farSum;
      bound = std::min(bound, farSum);
    }
    for (size_t i = 0; i < candidates_.size(); ++i)
      if (nearDistance[i] <= bound) cellList_.push_back(static_cast<uint16_t>(i));
    cellStart_[static_cast<size_t>(cell) + 1] = static_cast<uint32_t>(cellList_.size());
  }
}

int OctreeQuantizer::Nearest(int red, int green, int blue) const {
  const int bits = 8 - cellShift_;
  const int cell = ((red >> cellShift_) << (2 * bits)) | ((green >> cellShift_) << bits) | (blue >> cellShift_);
  int bestDistance = 1 << 30;
  int bestEntry = 0;
  // The list is in search order: a strictly smaller distance wins, so the
  // first of equals stays.
  for (uint32_t i = cellStart_[static_cast<size_t>(cell)]; i < cellStart_[static_cast<size_t>(cell) + 1]; ++i) {
    const Candidate& c = candidates_[cellList_[i]];
    const int dr = c.red - red, dg = c.green - green, db = c.blue - blue;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      bestEntry = c.entry;
    }
  }
  return bestEntry;
}

int OctreeQuantizer::Map(uint8_t red, uint8_t green, uint8_t blue, Cache& cache) const {
  const uint32_t key = kCacheValid | (uint32_t{red} << 16) | (uint32_t{green} << 8) | blue;
  const size_t slot = ((key * 2654435761u) >> 20) & (kCacheSize - 1);
  if (cache.keys[slot] == key) return cache.values[slot];
  int entry = -1;
  int32_t current = 0;
  for (int level = fixedPalette_ ? 8 : 0; level < 8; ++level) {
    const int32_t next = nodes_[static_cast<size_t>(current)].child[ChildIndex(red, green, blue, level)];
    if (!next) break;
    current = next;
    if (nodes_[static_cast<size_t>(current)].leaf) {
      entry = std::max<int>(nodes_[static_cast<size_t>(current)].entry, 0);
      break;
    }
  }
  if (entry < 0) entry = Nearest(red, green, blue);
  cache.keys[slot] = key;
  cache.values[slot] = static_cast<uint8_t>(entry);
  return entry;
}
