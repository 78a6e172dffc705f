#include "print/halftone.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "image/result_codes.h"
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

constexpr int kInvalidParameter = -13;

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

// A pixel whose eight neighbours all lie inside the band (x in 1..W-2, y in
// 1..H-2): taken exactly when the state is not 0.
template <bool kRightToLeft>
inline void InteriorPixel(const Plane& p, int x, int y) {
  constexpr int w0 = 7, w2 = 5, w4 = 7, w6 = 5;
  constexpr int w1 = kRightToLeft ? 1 : 3, w3 = kRightToLeft ? 3 : 1;
  constexpr int w5 = kRightToLeft ? 1 : 3, w7 = kRightToLeft ? 3 : 1;
  const size_t width = static_cast<size_t>(p.width);
  const size_t mid = (static_cast<size_t>(y) + 1) * width + x;
  const size_t up = mid - width, down = mid + width;
  const int16_t* E = p.errors;
  const uint8_t* S = p.states;
  const int e[8] = {E[mid + 1], E[up + 1], E[up], E[up - 1], E[mid - 1], E[down - 1], E[down], E[down + 1]};
  const int s[8] = {S[mid + 1], S[up + 1], S[up], S[up - 1], S[mid - 1], S[down - 1], S[down], S[down + 1]};
  constexpr int w[8] = {w0, w1, w2, w3, w4, w5, w6, w7};
  int T = 0;
  for (int k = 0; k < 8; ++k) T += s[k] != 0 ? w[k] : 0;
  // One division per neighbour: by 32 - s into pull when it has taken its
  // share, by 32 - T into bias when it has not.
  const uint64_t biasMagic = p.biasMagic[T];
  int pull = 0, bias = 0;
  for (int k = 0; k < 8; ++k) {
    const uint64_t magic = s[k] != 0 ? p.pullMagic[s[k]] : biasMagic;
    const int term = DivideTrunc(e[k] * w[k], magic);
    pull += s[k] != 0 ? term : 0;
    bias -= s[k] != 0 ? 0 : term;
  }
  Finish(p, x, y, T, pull, bias);
}

template <bool kRightToLeft>
inline void AnyPixel(const Plane& p, int x, int y) {
  if (x < 0 || x >= p.width || y >= p.rows) return;
  if (x == 0 || x == p.width - 1 || y == 0 || y == p.rows - 1)
    EdgePixel<kRightToLeft>(p, x, y);
  else
    InteriorPixel<kRightToLeft>(p, x, y);
}

// One pair of rows r, r + 1. Cells whose four pixels are all interior take
// the fast path; the rest go through the edge checks.
template <bool kRightToLeft>
void DitherPair(const Plane& p, int r) {
  const int width = p.width;
  const bool interiorRows = r >= 1 && r + 1 <= p.rows - 2;
  if (!kRightToLeft) {
    int c = 0;
    for (; c < width; c += 2) {
      if (interiorRows && c >= 1 && c + 1 <= width - 2) {
        InteriorPixel<false>(p, c, r);
        InteriorPixel<false>(p, c, r + 1);
        InteriorPixel<false>(p, c + 1, r);
        InteriorPixel<false>(p, c + 1, r + 1);
      } else {
        AnyPixel<false>(p, c, r);
        AnyPixel<false>(p, c, r + 1);
        AnyPixel<false>(p, c + 1, r);
        AnyPixel<false>(p, c + 1, r + 1);
      }
    }
  } else {
    const int width2 = (width + 1) & ~1;
    for (int c = width2 - 1; c >= 0; c -= 2) {
      if (interiorRows && c <= width - 2 && c - 1 >= 1) {
        InteriorPixel<true>(p, c, r);
        InteriorPixel<true>(p, c, r + 1);
        InteriorPixel<true>(p, c - 1, r);
        InteriorPixel<true>(p, c - 1, r + 1);
      } else {
        AnyPixel<true>(p, c, r);
        AnyPixel<true>(p, c, r + 1);
        AnyPixel<true>(p, c - 1, r);
        AnyPixel<true>(p, c - 1, r + 1);
      }
    }
  }
}

}  // namespace

int HalftoneState::Allocate(int newWidth, int newBandHeight) {
  if (newWidth < 1 || newBandHeight < 1) return kInvalidParameter;
  try {
    const size_t rowsTotal = static_cast<size_t>(newBandHeight) + 2;
    const size_t entries = rowsTotal * static_cast<size_t>(newWidth);
    errors.assign(entries, 0);
    states.assign(entries, 0);
    for (int p = 0; p < 4; ++p) {
      carriedErrors[p].assign(2 * static_cast<size_t>(newWidth), 0);
      carriedStates[p].assign(2 * static_cast<size_t>(newWidth), 4);
    }
  } catch (const std::bad_alloc&) {
    width = bandHeight = 0;
    return -1;
  }
  width = newWidth;
  bandHeight = newBandHeight;
  ResetPage();
  return 1;
}

void HalftoneState::ResetPage() {
  for (int p = 0; p < 4; ++p) {
    std::fill(carriedErrors[p].begin(), carriedErrors[p].end(), 0);
    std::fill(carriedStates[p].begin(), carriedStates[p].end(), 4);
  }
}

void DitherPlane(uint8_t* plane, int16_t* errors, uint8_t* states, int pageTop, int width, int rows) {
  if (!plane || !errors || !states || width < 1 || rows < 1) return;
  const DivisionTables& tables = Tables();
  const Plane p{plane, errors, states, width, rows, tables.pull, tables.bias};
  for (int r = 0; r < rows; r += 2) {
    if ((((pageTop + r) / 2) & 1) == 0)
      DitherPair<false>(p, r);
    else
      DitherPair<true>(p, r);
  }
}

int DitherBand(HalftoneState& state, uint8_t* const planes[4], int pageTop, int width, int rows) {
  if (!planes || width < 1 || width != state.width || rows < 1 || rows > state.bandHeight) return kInvalidParameter;
  for (int p = 0; p < 4; ++p)
    if (!planes[p]) return kInvalidParameter;
  const size_t W = static_cast<size_t>(width);
  const size_t H = static_cast<size_t>(rows);
  int16_t* errors = state.errors.data();
  uint8_t* states = state.states.data();
  static constexpr int kOrder[4] = {3, 2, 0, 1};  // K, Y, C, M
  for (int index : kOrder) {
    uint8_t* plane = planes[index];
    // Rows 2..H+1 of the buffers: band rows 1..H as unprocessed pixels.
    for (size_t i = 1; i <= H; ++i) {
      const uint8_t* src = plane + i * W;
      int16_t* dst = errors + (i + 1) * W;
      for (size_t x = 0; x < W; ++x) dst[x] = src[x];
    }
    std::memset(states + 2 * W, 0, H * W);
    std::copy(state.carriedErrors[index].begin(), state.carriedErrors[index].end(), errors);
    std::copy(state.carriedStates[index].begin(), state.carriedStates[index].end(), states);
    DitherPlane(plane, errors, states, pageTop, width, rows);
    std::copy(errors + H * W, errors + (H + 2) * W, state.carriedErrors[index].begin());
    std::copy(states + H * W, states + (H + 2) * W, state.carriedStates[index].begin());
    if (PrintPumpCancelled()) return kResultCodeCancelled;
  }
  return 1;
}

}  // namespace print
