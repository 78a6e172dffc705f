#include "print/halftone.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "image/result_codes.h"
#include "image/threads.h"
#include "print/separation.h"

// Range of the stored error. A pixel without a dot stores v*128 + pull with
// v*128 + pull + bias <= 0 (bias in -255..0), a pixel with a dot
// v*128 + pull - 32640 with v*128 + pull + bias > 0, so an error leaves
// -32640..255 only through a strongly negative pull. That happens:
//  - in the first rows of a page, where the carried state 4 marks the
//    unprocessed band row 0 as taken: a pixel there leaves its right
//    neighbour out of what it owes (32 - T) while that neighbour still pulls
//    its 7, so up to 13/6 of an error is pulled and grows along the row;
//  - rarely in the interior, where one pixel may gather more than a whole
//    error from several dotted neighbours.
// With noise or low flat tints the unsaturated error reaches about -53,000.
// The error is therefore saturated to the int16 range: wrapping would turn
// such an error into a large positive one and lay a burst of wrong dots.

namespace print {

namespace {

// Exact truncating division by d = 1..32 for |n| < 2^27 as a multiply and
// shift: m = floor(2^32 / d) + 1 gives floor(n / d) for 0 <= n < 2^27
// because the error term n (d - 2^32 mod d) / (d 2^32) stays below 1 / d.
// Errors are int16 and weights at most 7, so |n| <= 229,376.
constexpr uint64_t MagicFor(int d) { return (uint64_t{1} << 32) / static_cast<uint64_t>(d) + 1; }

struct DivisionTables {
  DivisionTables() {
    for (int s = 0; s < 256; ++s) pull[s] = (s >= 1 && s <= 31) ? MagicFor(32 - s) : 0;
    for (int t = 0; t < 33; ++t) bias[t] = t <= 31 ? MagicFor(32 - t) : 0;
  }
  // Indexed by a neighbour's state: 0 for unprocessed neighbours (no pull)
  // and for states of 32 and more (which would divide by zero or less).
  uint64_t pull[256];
  // Indexed by T; T = 32 leaves no untaken neighbour, so no bias term.
  uint64_t bias[33];
};

const DivisionTables& Tables() {
  static const DivisionTables tables;
  return tables;
}

// trunc(n / d) for the divisor whose magic number is `magic` (0: result 0).
inline int DivideTrunc(int n, uint64_t magic) {
  const uint32_t sign = static_cast<uint32_t>(n >> 31);  // all ones when negative
  const uint32_t magnitude = (static_cast<uint32_t>(n) ^ sign) - sign;
  const uint32_t q = static_cast<uint32_t>((magnitude * magic) >> 32);
  return static_cast<int>((q ^ sign) - sign);
}

inline int16_t SaturateError(int error) { return static_cast<int16_t>(std::clamp(error, -32768, 32767)); }

struct Plane {
  uint8_t* plane;
  int16_t* errors;
  uint8_t* states;
  int width;
  int rows;
  const uint64_t* pullMagic;
  const uint64_t* biasMagic;
};

// Decides the pixel and stores its dot, error and state.
inline void Finish(const Plane& p, int x, int y, int taken, int pull, int bias) {
  const size_t at = static_cast<size_t>(y) * p.width + x;
  const size_t buffer = at + p.width;
  const int v = p.plane[at];
  const int value = v * 128 + pull;
  int error;
  if (v > 0 && value + bias > 0) {
    p.plane[at] = 255;
    error = value - 32640;
  } else {
    p.plane[at] = 0;
    error = value;
  }
  p.errors[buffer] = SaturateError(error);
  p.states[buffer] = static_cast<uint8_t>(static_cast<int8_t>(taken));
}

// Any pixel, with every neighbour rule (band edges, the carried row above,
// the row below).
template <bool kRightToLeft>
void EdgePixel(const Plane& p, int x, int y) {
  const int* w = kRightToLeft ? kHalftoneWeightsB : kHalftoneWeightsA;
  const int width = p.width;
  int e[8], s[8];
  bool taken[8];
  int T = 0;
  for (int k = 0; k < 8; ++k) {
    const int nx = x + kHalftoneDx[k], ny = y + kHalftoneDy[k];
    if (nx < 0 || nx >= width) {
      e[k] = 0;
      s[k] = 1;
      taken[k] = true;
    } else if (ny >= 0 && ny < p.rows) {
      const size_t at = static_cast<size_t>(ny + 1) * width + nx;
      e[k] = p.errors[at];
      s[k] = p.states[at];
      taken[k] = s[k] != 0;
    } else if (ny == -1) {
      e[k] = p.errors[nx];
      s[k] = p.states[nx];
      taken[k] = true;
    } else {  // ny == rows: the row below the band
      e[k] = p.errors[static_cast<size_t>(p.rows + 1) * width + nx];
      s[k] = 0;
      taken[k] = false;
    }
    if (taken[k]) T += w[k];
  }
  int pull = 0, bias = 0;
  const uint64_t biasMagic = p.biasMagic[T];
  for (int k = 0; k < 8; ++k) {
    if (s[k] != 0)
      pull += DivideTrunc(e[k] * w[k], p.pullMagic[s[k]]);
    else
      bias -= DivideTrunc(e[k] * w[k], biasMagic);
  }
  Finish(p, x, y, T, pull, bias);
}

// The interior cell, with its rule fixed at compile time.
//
// Weights A left to right and B right to left are one table in terms of
// the direction of travel d (+1 or -1 in x): ahead 7, up-ahead 3, up 5,
// up-behind 1, behind 7, down-behind 3, down 5, down-ahead 1. Take the cell
// of a pair r, r + 1 at columns c and c + d, with columns c - d and c + 2d
// inside the band too, and suppose that before the cell the states read in
// the window of columns c - d .. c + 2d are:
//   row r - 1 (a band row or the carried row): 13, 13, 13, 13
//   row r:     19, 0, 0, 0
//   row r + 1: 13, 0, 0, 0
//   row r + 2: 0, 0, 0, 0 (not read when it is the row below the band,
//              whose neighbours have s = 0 by rule)
// (listed from c - d to c + 2d). Then for the top pixel (c, r) the taken
// neighbours are the up row (state 13; the carried row is taken by rule,
// and has s = 13 as well), behind (19) and down-behind (13), while ahead,
// down and down-ahead have state 0: T = 3 + 5 + 1 + 7 + 3 = 19, the pull
// divides by 32 - 13 = 19 for the up row and down-behind and by
// 32 - 19 = 13 for behind, the bias divides by 32 - T = 13. It stores 19.
// For the bottom pixel (c, r + 1) up (now 19), up-behind (19) and behind
// (13) are taken, up-ahead, ahead and the row r + 2 are not: T = 13, pull
// divisors 13, 13, 19, bias divisor 19. It stores 13. The pixels at c + d
// then see the same window shifted by d (behind: the 19 and 13 just stored,
// ahead still 0), so they follow the same two rules. Every term is the
// generic rule's own term (a term of e = 0 is 0 either way), and integer
// division by a constant truncates toward zero for every int value just as
// the generic division does. So checking the 16 states of the window before
// each cell makes the cell equal to four generic pixels.
//
// The pattern is what the path itself leaves: a pair's rows end with states
// 19 (top) and 13 (bottom) away from the band's side columns, and the rows
// below are still unprocessed. The check fails near the side columns of
// odd-width bands, in the first band of a page (carried state 4) and with
// buffers not prepared by DitherBand; those cells take the generic path.
struct PairRows {
  const int16_t* e0;  // row r - 1
  int16_t* e1;        // row r
  int16_t* e2;        // row r + 1
  const int16_t* e3;  // row r + 2 or the row below the band
  const uint8_t* s0;
  uint8_t* s1;
  uint8_t* s2;
  const uint8_t* s3;
  uint8_t* q1;  // plane row r
  uint8_t* q2;  // plane row r + 1
};

constexpr uint32_t kStateTop = 19;     // state of an interior top-row pixel
constexpr uint32_t kStateBottom = 13;  // state of an interior bottom-row pixel

constexpr uint32_t PackStates(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  return std::bit_cast<uint32_t>(std::array<uint8_t, 4>{a, b, c, d});
}

inline uint32_t LoadStates(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// The window of a cell. Rows r - 1 and r + 2 are loaded from column
// min(c - d, c + 2d), four columns. Rows r and r + 1 are loaded without
// column c - d, which the previous cell has just stored (a wide load over a
// fresh narrow store stalls): four bytes whose three inner columns c, c + d,
// c + 2d must be 0; the fourth byte (column c + 3 or c - 3, at most one
// entry past the row, still inside the buffer) is masked off. Column c - d
// of rows r and r + 1 is checked only after a generic cell: after an
// interior cell it holds 19 and 13 by construction.
template <int d>
struct CellWindow {
  static constexpr int kStart = d > 0 ? -1 : -2;       // offset of the 4-column window from c
  static constexpr int kOwnStart = d > 0 ? 0 : -3;     // offset of the own-columns load from c
  static constexpr uint32_t kOwnMask = d > 0 ? PackStates(255, 255, 255, 0) : PackStates(0, 255, 255, 255);
  static constexpr uint32_t kAbove = PackStates(13, 13, 13, 13);
};

template <int d>
inline bool CellPatternHolds(const PairRows& rows, int c, bool readBelow, bool behindKnown) {
  using Window = CellWindow<d>;
  const int at = c + Window::kStart;
  const int own = c + Window::kOwnStart;
  uint32_t mismatch = (LoadStates(rows.s0 + at) ^ Window::kAbove) |
                      ((LoadStates(rows.s1 + own) | LoadStates(rows.s2 + own)) & Window::kOwnMask);
  if (readBelow) mismatch |= LoadStates(rows.s3 + at);
  if (!behindKnown) mismatch |= (rows.s1[c - d] ^ kStateTop) | (rows.s2[c - d] ^ kStateBottom);
  return mismatch == 0;
}

// trunc(e * w / d) for an int16 error e, weight w = 1..7 and d = 13 or 19,
// with one multiply: m = floor(2^24 / d) + 1 gives floor(n / d) =
// floor(n m / 2^24) for 0 <= n = w |e| <= 229,376 because
// n (m d - 2^24) / (d 2^24) <= n / 2^24 < 1 / d; for n < 0 the same
// product lies just below n / d, so floor + 1 is the quotient toward zero
// (d is not a power of two, so m d > 2^24). w m < 2^31 fits an immediate.
// The static_assert below checks every e and every (w, d) used.
template <int w, int d>
inline constexpr int Term(int e) {
  constexpr int64_t magic = w * ((int64_t{1} << 24) / d + 1);
  return static_cast<int>((e * magic) >> 24) - (e >> 31);
}

template <int w, int d>
constexpr bool TermExact() {
  for (int high = -128; high < 128; ++high)
    for (int low = 0; low < 256; ++low) {
      const int e = high * 256 + low;
      if (Term<w, d>(e) != e * w / d) return false;
    }
  return true;
}

// One pair per assertion: each check stays within clang's constant
// evaluation step limit.
static_assert(TermExact<1, 13>());
static_assert(TermExact<3, 13>());
static_assert(TermExact<5, 13>());
static_assert(TermExact<7, 13>());
static_assert(TermExact<1, 19>());
static_assert(TermExact<3, 19>());
static_assert(TermExact<5, 19>());
static_assert(TermExact<7, 19>());

// Dot decision and stored error of a pixel with value v, v*128 + pull =
// value and bias -biasSum; the plane byte is overwritten with the dot.
inline int Decide(uint8_t& dot, int v, int value, int biasSum) {
  const bool on = (v > 0) & (value > biasSum);
  dot = on ? 255 : 0;
  return std::clamp(on ? value - 32640 : value, -32768, 32767);
}

// One interior cell (columns c, c + d) whose window passed CellPatternHolds.
// top and bottom hold the stored errors of column c - d (rows r and r + 1)
// on entry, those of column c + d on return. The terms of the previous
// column are added last: they are the only ones on the chain from pixel to
// pixel.
template <int d>
inline void InteriorCell(const PairRows& rows, int c, int& top, int& bottom) {
  for (int x = c; x != c + 2 * d; x += d) {
    const int topBehind = top, bottomBehind = bottom;
    const int vTop = rows.q1[x], vBottom = rows.q2[x];
    const int topBase =
        vTop * 128 + Term<3, 19>(rows.e0[x + d]) + Term<5, 19>(rows.e0[x]) + Term<1, 19>(rows.e0[x - d]);
    const int topBias = Term<7, 13>(rows.e1[x + d]) + Term<5, 13>(rows.e2[x]) + Term<1, 13>(rows.e2[x + d]);
    const int bottomBias = Term<3, 19>(rows.e1[x + d]) + Term<7, 19>(rows.e2[x + d]) + Term<3, 19>(rows.e3[x - d]) +
                           Term<5, 19>(rows.e3[x]) + Term<1, 19>(rows.e3[x + d]);
    const int bottomBase = vBottom * 128 + Term<1, 13>(topBehind) + Term<7, 19>(bottomBehind);
    top = Decide(rows.q1[x], vTop, topBase + (Term<7, 13>(topBehind) + Term<3, 19>(bottomBehind)), topBias);
    rows.e1[x] = static_cast<int16_t>(top);
    rows.s1[x] = kStateTop;
    bottom = Decide(rows.q2[x], vBottom, bottomBase + Term<5, 13>(top), bottomBias);
    rows.e2[x] = static_cast<int16_t>(bottom);
    rows.s2[x] = kStateBottom;
  }
}

template <bool kRightToLeft>
inline void AnyPixel(const Plane& p, int x, int y) {
  if (x < 0 || x >= p.width || y >= p.rows) return;
  EdgePixel<kRightToLeft>(p, x, y);
}

template <bool kRightToLeft>
inline void GenericCell(const Plane& p, int c, int r) {
  constexpr int d = kRightToLeft ? -1 : 1;
  AnyPixel<kRightToLeft>(p, c, r);
  AnyPixel<kRightToLeft>(p, c, r + 1);
  AnyPixel<kRightToLeft>(p, c + d, r);
  AnyPixel<kRightToLeft>(p, c + d, r + 1);
}

// One pair of rows r, r + 1: interior cells whose state window has the
// expected pattern take InteriorCell, every other cell the generic rule.
template <bool kRightToLeft>
void DitherPair(const Plane& p, int r) {
  constexpr int d = kRightToLeft ? -1 : 1;
  const int width = p.width;
  const int width2 = (width + 1) & ~1;
  const int cells = width2 / 2;
  if (r + 1 >= p.rows) {  // a single last row: no interior cells
    for (int i = 0; i < cells; ++i) GenericCell<kRightToLeft>(p, kRightToLeft ? width2 - 1 - 2 * i : 2 * i, r);
    return;
  }
  const size_t W = static_cast<size_t>(width);
  const size_t above = static_cast<size_t>(r) * W;  // buffer row of band row r - 1
  const PairRows rows{p.errors + above,          p.errors + above + W, p.errors + above + 2 * W,
                      p.errors + above + 3 * W,  p.states + above,     p.states + above + W,
                      p.states + above + 2 * W,  p.states + above + 3 * W,
                      p.plane + above,           p.plane + above + W};
  const bool readBelow = r + 2 < p.rows;
  bool haveBehind = false;  // top/bottom hold the errors of column c - d
  int top = 0, bottom = 0;
  for (int i = 0; i < cells; ++i) {
    const int c = kRightToLeft ? width2 - 1 - 2 * i : 2 * i;
    const bool inside = kRightToLeft ? (c >= 2 && c + 1 < width) : (c >= 1 && c + 2 < width);
    if (inside && CellPatternHolds<d>(rows, c, readBelow, haveBehind)) {
      if (!haveBehind) {
        top = rows.e1[c - d];
        bottom = rows.e2[c - d];
        haveBehind = true;
      }
      InteriorCell<d>(rows, c, top, bottom);
    } else {
      GenericCell<kRightToLeft>(p, c, r);
      haveBehind = false;
    }
  }
}

}  // namespace

int HalftoneState::Allocate(int newWidth, int newBandHeight) {
  if (newWidth < 1 || newBandHeight < 1) return kResultInvalidParameter;
  try {
    const size_t rowsTotal = static_cast<size_t>(newBandHeight) + 2;
    const size_t entries = rowsTotal * static_cast<size_t>(newWidth);
    errors.assign(entries, 0);
    states.assign(entries, 0);
    workerErrors.assign(entries, 0);
    workerStates.assign(entries, 0);
    for (int p = 0; p < 4; ++p) {
      carriedErrors[p].assign(2 * static_cast<size_t>(newWidth), 0);
      carriedStates[p].assign(2 * static_cast<size_t>(newWidth), 4);
    }
  } catch (const std::bad_alloc&) {
    width = bandHeight = 0;
    return kResultOutOfMemory;
  }
  width = newWidth;
  bandHeight = newBandHeight;
  ResetPage();
  return kResultOk;
}

void HalftoneState::ResetPage() {
  for (int p = 0; p < 4; ++p) {
    std::fill(carriedErrors[p].begin(), carriedErrors[p].end(), 0);
    std::fill(carriedStates[p].begin(), carriedStates[p].end(), 4);
  }
}

namespace {

// The pairs of DitherPlane. With `fill`, buffer rows 2..H+1 are loaded from
// plane rows 1..H (errors the raw values, states 0) just before the first
// pair that reads them, so that the rows are still in cache when they are
// used: pair r reads buffer rows r..r+3, and plane row i is overwritten only
// by the pair that holds it, after buffer row i + 1 was loaded.
void DitherPairs(const Plane& p, int pageTop, bool fill) {
  const size_t W = static_cast<size_t>(p.width);
  int loaded = 1;  // buffer rows 0..loaded are ready
  for (int r = 0; r < p.rows; r += 2) {
    for (const int need = std::min(r + 3, p.rows + 1); fill && loaded < need;) {
      ++loaded;
      const uint8_t* src = p.plane + static_cast<size_t>(loaded - 1) * W;
      int16_t* dst = p.errors + static_cast<size_t>(loaded) * W;
      for (size_t x = 0; x < W; ++x) dst[x] = src[x];
      std::memset(p.states + static_cast<size_t>(loaded) * W, 0, W);
    }
    if ((((pageTop + r) / 2) & 1) == 0)
      DitherPair<false>(p, r);
    else
      DitherPair<true>(p, r);
  }
}

}  // namespace

void DitherPlane(uint8_t* plane, int16_t* errors, uint8_t* states, int pageTop, int width, int rows) {
  if (!plane || !errors || !states || width < 1 || rows < 1) return;
  const DivisionTables& tables = Tables();
  DitherPairs(Plane{plane, errors, states, width, rows, tables.pull, tables.bias}, pageTop, false);
}

namespace {

// Below this many pixels per plane a second thread costs more than it saves.
constexpr size_t kParallelPixels = size_t{1} << 16;

// The band step of one plane (see DitherBand) with the given buffers.
void DitherBandPlane(HalftoneState& state, int index, uint8_t* plane, int16_t* errors, uint8_t* states, int pageTop,
                     int width, int rows) {
  const size_t W = static_cast<size_t>(width);
  const size_t H = static_cast<size_t>(rows);
  // Rows 0 and 1 from the carried block; rows 2..H+1 (band rows 1..H as
  // unprocessed pixels) are loaded pair by pair.
  std::copy(state.carriedErrors[index].begin(), state.carriedErrors[index].end(), errors);
  std::copy(state.carriedStates[index].begin(), state.carriedStates[index].end(), states);
  const DivisionTables& tables = Tables();
  DitherPairs(Plane{plane, errors, states, width, rows, tables.pull, tables.bias}, pageTop, true);
  std::copy(errors + H * W, errors + (H + 2) * W, state.carriedErrors[index].begin());
  std::copy(states + H * W, states + (H + 2) * W, state.carriedStates[index].begin());
}

}  // namespace

int DitherBand(HalftoneState& state, uint8_t* const planes[4], int pageTop, int width, int rows) {
  if (!planes || width < 1 || width != state.width || rows < 1 || rows > state.bandHeight)
    return kResultInvalidParameter;
  for (int p = 0; p < 4; ++p)
    if (!planes[p]) return kResultInvalidParameter;
  const size_t entries = (static_cast<size_t>(rows) + 2) * static_cast<size_t>(width);
  if (state.errors.size() < entries || state.states.size() < entries) return kResultInvalidParameter;
  auto run = [&](int index, bool worker) {
    DitherBandPlane(state, index, planes[index], worker ? state.workerErrors.data() : state.errors.data(),
                    worker ? state.workerStates.data() : state.states.data(), pageTop, width, rows);
  };
  const bool twoThreads = GL_GetThreadCount() > 1 && static_cast<size_t>(width) * rows >= kParallelPixels &&
                          state.workerErrors.size() >= entries && state.workerStates.size() >= entries;
  if (twoThreads) {
    // K and C here, Y and M on the second thread; the print pump stays on
    // this (the job) thread.
    std::atomic<bool> stop{false};
    std::thread second;
    try {
      second = std::thread([&] {
        for (int index : {2, 1}) {
          if (stop.load(std::memory_order_relaxed)) return;
          run(index, true);
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: every plane on this thread below.
    }
    if (second.joinable()) {
      for (int index : {3, 0}) {
        run(index, false);
        if (PrintPumpCancelled()) {
          stop.store(true, std::memory_order_relaxed);
          second.join();
          return kResultCancelled;
        }
      }
      second.join();
      return kResultOk;
    }
  }
  static constexpr int kOrder[4] = {3, 2, 0, 1};  // K, Y, C, M
  for (int index : kOrder) {
    run(index, false);
    if (PrintPumpCancelled()) return kResultCancelled;
  }
  return kResultOk;
}

}  // namespace print
