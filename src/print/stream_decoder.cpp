#include "print/stream_decoder.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>

#include "print/printer_types.h"

namespace print {

void DotBitmap::Set(long row, long x) {
  if (row < 0 || x < 0) return;
  if (rows.size() <= static_cast<size_t>(row)) rows.resize(static_cast<size_t>(row) + 1);
  auto& r = rows[static_cast<size_t>(row)];
  const size_t byte = static_cast<size_t>(x) / 8;
  if (r.size() <= byte) r.resize(byte + 1, 0);
  r[byte] |= static_cast<uint8_t>(0x80 >> (x % 8));
  width = std::max(width, x + 1);
}

bool DotBitmap::Get(long row, long x) const {
  if (row < 0 || x < 0 || static_cast<size_t>(row) >= rows.size()) return false;
  const auto& r = rows[static_cast<size_t>(row)];
  const size_t byte = static_cast<size_t>(x) / 8;
  return byte < r.size() && (r[byte] & (0x80 >> (x % 8))) != 0;
}

long DotBitmap::Count() const {
  long n = 0;
  for (const auto& r : rows)
    for (uint8_t d : r) n += std::popcount(d);
  return n;
}

void DotBitmap::SetRun(long row, long x, const uint8_t* bits, long count) {
  for (long i = 0; i < count; ++i)
    if (bits[i / 8] & (0x80 >> (i % 8))) Set(row, x + i);
}

std::vector<const StreamCommand*> StreamDecode::Find(const std::string& name) const {
  std::vector<const StreamCommand*> found;
  for (const auto& c : commands)
    if (c.name == name) found.push_back(&c);
  return found;
}

std::string StreamDecode::Names() const {
  std::string s;
  for (const auto& c : commands) {
    if (!s.empty()) s += '|';
    s += c.name;
  }
  return s;
}

bool UnpackTiff(const uint8_t* in, size_t n, std::vector<uint8_t>& out) {
  size_t i = 0;
  while (i < n) {
    const int code = in[i++];
    if (code < 128) {
      const size_t count = static_cast<size_t>(code) + 1;
      if (n - i < count) return false;
      out.insert(out.end(), in + i, in + i + count);
      i += count;
    } else if (code > 128) {
      if (i >= n) return false;
      out.insert(out.end(), static_cast<size_t>(257 - code), in[i++]);
    }
  }
  return true;
}

namespace {

// ESC/P2 run-length: as TIFF, but a counter of 128 repeats 129 times.
bool UnpackEscp(const uint8_t* in, size_t n, std::vector<uint8_t>& out) {
  size_t i = 0;
  while (i < n) {
    const int code = in[i++];
    if (code < 128) {
      const size_t count = static_cast<size_t>(code) + 1;
      if (n - i < count) return false;
      out.insert(out.end(), in + i, in + i + count);
      i += count;
    } else {
      if (i >= n) return false;
      out.insert(out.end(), static_cast<size_t>(257 - code), in[i++]);
    }
  }
  return true;
}

std::string At(size_t offset, const std::string& what) {
  return "at byte " + std::to_string(offset) + ": " + what;
}

std::string Hex(uint8_t b) {
  char text[8];
  snprintf(text, sizeof text, "0x%02X", b);
  return text;
}

class EpsonParser {
 public:
  EpsonParser(const uint8_t* data, size_t size, EpsonDecode& out) : d_(data), n_(size), out_(out) {}

  void Run() {
    while (p_ < n_ && out_.ok) Step();
  }

 private:
  void Fail(size_t at, const std::string& what) {
    if (!out_.ok) return;
    out_.ok = false;
    out_.error = At(at, what);
  }
  bool Need(size_t count, size_t start) {
    if (n_ - p_ < count) {
      Fail(start, "command truncated");
      return false;
    }
    return true;
  }
  void Record(const char* name, std::vector<long> params, size_t at) {
    out_.commands.push_back(StreamCommand{name, std::move(params), at});
  }
  static long U16(const uint8_t* b) { return b[0] | (b[1] << 8); }
  static long S16(const uint8_t* b) { return static_cast<int16_t>(b[0] | (b[1] << 8)); }

  void Step() {
    const size_t at = p_;
    const uint8_t b = d_[p_++];
    if (b == 0x0D) {
      x_ = 0;
      Record("CR", {}, at);
      return;
    }
    if (b == 0x0C) {
      ++out_.formFeeds;
      x_ = 0;
      y_ = 0;
      Record("FF", {}, at);
      return;
    }
    if (b != 0x1B) return Fail(at, "unexpected byte " + Hex(b));
    if (!Need(1, at)) return;
    const uint8_t c = d_[p_++];
    switch (c) {
      case '@':
        graphics_ = false;
        out_.unit = 10;
        x_ = 0;
        Record("ESC @", {}, at);
        return;
      case 'U': {
        if (!Need(1, at)) return;
        Record("ESC U", {d_[p_++]}, at);
        return;
      }
      case 'r': {
        if (!Need(1, at)) return;
        const int color = d_[p_++];
        if (color > 6) return Fail(at, "ESC r with colour " + std::to_string(color));
        color_ = color;
        Record("ESC r", {color}, at);
        return;
      }
      case '(':
        return Extended(at);
      case '.':
        return Raster(at);
      default:
        return Fail(at, "unknown command ESC " + Hex(c));
    }
  }

  // ESC ( X nL nH data: the length must be the one the command defines.
  void Extended(size_t at) {
    if (!Need(3, at)) return;
    const uint8_t letter = d_[p_];
    const long length = U16(d_ + p_ + 1);
    p_ += 3;
    if (!Need(static_cast<size_t>(length), at)) return;
    const uint8_t* a = d_ + p_;
    p_ += length;
    auto expect = [&](long wanted) {
      if (length == wanted) return true;
      Fail(at, std::string("ESC ( ") + static_cast<char>(letter) + " with length " +
                   std::to_string(length));
      return false;
    };
    switch (letter) {
      case 'G':
        if (!expect(1)) return;
        if (a[0] != 1) return Fail(at, "ESC ( G with mode " + std::to_string(a[0]));
        graphics_ = true;
        Record("ESC ( G", {a[0]}, at);
        return;
      case 'i':
        if (!expect(1)) return;
        Record("ESC ( i", {a[0]}, at);
        return;
      case 'U':
        if (!expect(1)) return;
        if (a[0] == 0 || 3600 % a[0] != 0) return Fail(at, "ESC ( U with unit " + std::to_string(a[0]));
        out_.unit = a[0];
        Record("ESC ( U", {a[0]}, at);
        return;
      case 'C':
        if (!expect(2)) return;
        Record("ESC ( C", {U16(a)}, at);
        return;
      case 'c':
        if (!expect(4)) return;
        if (U16(a + 2) <= U16(a)) return Fail(at, "ESC ( c with bottom above top");
        Record("ESC ( c", {U16(a), U16(a + 2)}, at);
        return;
      case 'V':
        if (!expect(2)) return;
        y_ = U16(a);
        Record("ESC ( V", {U16(a)}, at);
        return;
      case 'v':
        if (!expect(2)) return;
        y_ += S16(a);
        if (y_ < 0) return Fail(at, "ESC ( v moves above the top margin");
        Record("ESC ( v", {S16(a)}, at);
        return;
      default:
        return Fail(at, std::string("unknown command ESC ( ") + Hex(letter));
    }
  }

  // ESC . c v h m nL nH, then m rows of (width + 7) / 8 bytes, compressed
  // with run-length coding when c = 1.
  void Raster(size_t at) {
    if (!Need(6, at)) return;
    const int mode = d_[p_], v = d_[p_ + 1], h = d_[p_ + 2], m = d_[p_ + 3];
    const long width = U16(d_ + p_ + 4);
    p_ += 6;
    if (!graphics_) return Fail(at, "raster data before ESC ( G");
    if (mode != 1 && mode != 0) return Fail(at, "ESC . with mode " + std::to_string(mode));
    if (v != out_.unit) return Fail(at, "ESC . vertical density differs from the ESC ( U unit");
    if (h == 0 || 3600 % h != 0) return Fail(at, "ESC . with horizontal density " + std::to_string(h));
    if (m == 0) return Fail(at, "ESC . with no rows");
    const size_t rowBytes = static_cast<size_t>((width + 7) / 8);
    const size_t total = rowBytes * static_cast<size_t>(m);
    std::vector<uint8_t> bits;
    const size_t start = p_;
    if (mode == 0) {
      if (!Need(total, at)) return;
      bits.assign(d_ + p_, d_ + p_ + total);
      p_ += total;
    } else {
      // Decode counter by counter until the rows are complete; a counter
      // that would run past them is an error.
      while (bits.size() < total) {
        if (p_ >= n_) return Fail(at, "raster data truncated");
        const int code = d_[p_];
        const size_t count = code < 128 ? static_cast<size_t>(code) + 1 : static_cast<size_t>(257 - code);
        const size_t used = code < 128 ? 1 + count : 2;
        if (n_ - p_ < used) return Fail(at, "raster data truncated");
        if (bits.size() + count > total) return Fail(p_, "run-length data runs past the raster");
        if (!UnpackEscp(d_ + p_, used, bits)) return Fail(p_, "bad run-length data");
        p_ += used;
      }
    }
    const int stepsPerRow = v / out_.unit;
    auto& plane = out_.colors[color_];
    for (int row = 0; row < m; ++row)
      for (long x = 0; x < width; ++x)
        if (bits[row * rowBytes + x / 8] & (0x80 >> (x % 8)))
          plane.Set(y_ + row * stepsPerRow, x_ + x);
    Record("ESC .", {mode, v, h, m, width, static_cast<long>(p_ - start)}, at);
    x_ += width;  // the carriage ends right of the graphics
  }

  const uint8_t* d_;
  size_t n_;
  size_t p_ = 0;
  EpsonDecode& out_;
  bool graphics_ = false;
  int color_ = 0;
  long x_ = 0;
  long y_ = 0;
};

class RtlParser {
 public:
  RtlParser(const uint8_t* data, size_t size, RtlDecode& out) : d_(data), n_(size), out_(out) {}

  void Run() {
    while (p_ < n_ && out_.ok) {
      if (hpgl_ && d_[p_] != 0x1B)
        Hpgl();
      else
        Escape();
    }
    if (out_.ok && raster_) Fail(n_, "stream ends inside raster graphics");
  }

 private:
  void Fail(size_t at, const std::string& what) {
    if (!out_.ok) return;
    out_.ok = false;
    out_.error = At(at, what);
  }
  void Record(std::string name, std::vector<long> params, size_t at) {
    out_.commands.push_back(StreamCommand{std::move(name), std::move(params), at});
  }

  // Reads an optional signed decimal number (a fraction is an error here:
  // none of the known commands takes one).
  bool Number(long& value, bool& present) {
    present = false;
    value = 0;
    bool negative = false;
    if (p_ < n_ && (d_[p_] == '+' || d_[p_] == '-')) negative = d_[p_++] == '-';
    while (p_ < n_ && d_[p_] >= '0' && d_[p_] <= '9') {
      present = true;
      value = value * 10 + (d_[p_++] - '0');
      if (value > 1000000000L) return false;
    }
    if (negative) value = -value;
    return true;
  }

  // One HP-GL/2 instruction: two capital letters, numbers separated by
  // commas, ended by ';' or by the next instruction.
  void Hpgl() {
    const size_t at = p_;
    const uint8_t b = d_[p_];
    if (b == ';' || b == ' ' || b == '\n' || b == '\r') {
      ++p_;
      return;
    }
    if (n_ - p_ < 2 || b < 'A' || b > 'Z' || d_[p_ + 1] < 'A' || d_[p_ + 1] > 'Z')
      return Fail(at, "bad HP-GL/2 instruction starting with " + Hex(b));
    std::string name{static_cast<char>(b), static_cast<char>(d_[p_ + 1])};
    p_ += 2;
    static const char* const kKnown[] = {"IN", "SP", "PS", "EC", "BP", "PU", "PG"};
    bool known = false;
    for (const char* k : kKnown) known |= name == k;
    if (!known) return Fail(at, "unknown HP-GL/2 instruction " + name);
    std::vector<long> params;
    while (true) {
      long value;
      bool present;
      if (!Number(value, present)) return Fail(at, "number out of range");
      if (present) params.push_back(value);
      if (p_ < n_ && d_[p_] == ',') {
        if (!present) return Fail(at, "empty parameter in " + name);
        ++p_;
        continue;
      }
      break;
    }
    if (p_ < n_ && d_[p_] == ';') ++p_;
    else if (p_ < n_ && !(d_[p_] >= 'A' && d_[p_] <= 'Z') && d_[p_] != 0x1B)
      return Fail(p_, "bad parameter in " + name);
    Record(name, std::move(params), at);
  }

  void Escape() {
    const size_t at = p_;
    if (d_[p_] != 0x1B) return Fail(at, "unexpected byte " + Hex(d_[p_]) + " in RTL mode");
    if (n_ - p_ < 2) return Fail(at, "escape truncated");
    const uint8_t c = d_[p_ + 1];
    p_ += 2;
    if (c == 'E') {
      if (raster_) return Fail(at, "reset inside raster graphics");
      hpgl_ = false;
      Record("ESC E", {}, at);
      return;
    }
    if (c == '%') {
      long value;
      bool present;
      if (!Number(value, present) || !present || p_ >= n_) return Fail(at, "bad ESC %");
      const uint8_t letter = d_[p_++];
      if (letter == 'B') {
        if (raster_) return Fail(at, "HP-GL/2 inside raster graphics");
        hpgl_ = true;
        Record("ESC %B", {value}, at);
      } else if (letter == 'A') {
        hpgl_ = false;
        Record("ESC %A", {value}, at);
      } else {
        return Fail(at, "unknown ESC % command");
      }
      return;
    }
    if (c != '*' && c != '&') return Fail(at, "unknown escape " + Hex(c));
    if (p_ >= n_) return Fail(at, "escape truncated");
    const uint8_t group = d_[p_++];
    // Parameterised sequence: value + letter pairs; lower-case letters
    // continue the sequence, a capital ends it.
    while (out_.ok) {
      const size_t partAt = p_;
      long value;
      bool present;
      if (!Number(value, present)) return Fail(partAt, "number out of range");
      if (p_ >= n_) return Fail(at, "escape truncated");
      const uint8_t letter = d_[p_++];
      const bool more = letter >= 'a' && letter <= 'z';
      const char upper = static_cast<char>(more ? letter - 32 : letter);
      if (upper < 'A' || upper > 'Z') return Fail(partAt, "bad escape letter " + Hex(letter));
      Parameter(static_cast<char>(c), static_cast<char>(group), upper, value, present, at);
      if (!more) break;
    }
  }

  void Parameter(char family, char group, char letter, long v, bool present, size_t at) {
    std::string name = std::string("ESC ") + family + group + " " + letter;
    auto need = [&]() {
      if (!present) Fail(at, name + " without a value");
      return present;
    };
    if (family == '&' && group == 'a' && letter == 'N') {
      if (!need()) return;
      return Record(name, {v}, at);
    }
    if (family != '*') return Fail(at, "unknown escape " + name);
    if (group == 'v') {
      if (letter == 'W') {
        if (!need()) return;
        if (v != 6 || n_ - p_ < 6) return Fail(at, "ESC *v W needs 6 bytes");
        const uint8_t* a = d_ + p_;
        p_ += 6;
        if (a[0] != 0 || (a[1] != 0 && a[1] != 4)) return Fail(at, "unsupported image data configuration");
        bitsPerIndex_ = a[2];
        byPlane_ = a[1] == 0;
        return Record(name, {a[0], a[1], a[2], a[3], a[4], a[5]}, at);
      }
      if (letter == 'A' || letter == 'B' || letter == 'C') {
        if (!need()) return;
        color_[letter - 'A'] = v;
        return Record(name, {v}, at);
      }
      if (letter == 'I') {
        if (!need() ) return;
        if (v < 0 || v > 15) return Fail(at, "palette index out of range");
        for (int k = 0; k < 3; ++k) out_.palette[v][k] = static_cast<int>(color_[k]);
        out_.paletteSet[v] = true;
        return Record(name, {v}, at);
      }
    } else if (group == 't') {
      if (letter == 'R' || letter == 'H' || letter == 'V') {
        if (!need()) return;
        return Record(name, {v}, at);
      }
    } else if (group == 'r') {
      if (letter == 'S' || letter == 'T') {
        if (!need()) return;
        if (raster_) return Fail(at, "source size set inside raster graphics");
        (letter == 'S' ? sourceWidth_ : sourceHeight_) = v;
        return Record(name, {v}, at);
      }
      if (letter == 'A') {
        if (raster_) return Fail(at, "raster graphics started twice");
        if (sourceWidth_ <= 0) return Fail(at, "raster graphics without a source width");
        raster_ = true;
        rows_ = 0;
        plane_ = 0;
        return Record(name, {present ? v : 0}, at);
      }
      if (letter == 'C') {
        if (!raster_) return Fail(at, "end of raster graphics outside raster graphics");
        if (plane_ != 0) return Fail(at, "end of raster graphics inside a row");
        raster_ = false;
        return Record(name, {rows_}, at);
      }
    } else if (group == 'b') {
      if (letter == 'M') {
        if (!need()) return;
        if (v < 0 || v > 2) return Fail(at, "unsupported compression " + std::to_string(v));
        compression_ = static_cast<int>(v);
        return Record(name, {v}, at);
      }
      if (letter == 'Y') {
        if (!need()) return;
        if (v < 0) return Fail(at, "negative Y offset");
        y_ += v;
        return Record(name, {v}, at);
      }
      if (letter == 'V' || letter == 'W') {
        if (!need()) return;
        return Transfer(name, letter == 'W', v, at);
      }
    }
    Fail(at, "unknown escape " + name);
  }

  void Transfer(const std::string& name, bool last, long length, size_t at) {
    if (!raster_) return Fail(at, "raster data outside raster graphics");
    if (!byPlane_ || bitsPerIndex_ != 4) return Fail(at, "raster data without indexed-by-plane set-up");
    if (length < 0 || n_ - p_ < static_cast<size_t>(length)) return Fail(at, "raster data truncated");
    if (sourceHeight_ > 0 && rows_ >= sourceHeight_) return Fail(at, "more rows than the source height");
    const uint8_t* a = d_ + p_;
    p_ += length;
    std::vector<uint8_t> bits;
    if (compression_ == 0) {
      bits.assign(a, a + length);
    } else if (compression_ == 1) {
      if (length % 2) return Fail(at, "odd run-length data");
      for (long i = 0; i < length; i += 2) bits.insert(bits.end(), a[i] + 1u, a[i + 1]);
    } else if (!UnpackTiff(a, static_cast<size_t>(length), bits)) {
      return Fail(at, "bad PackBits data");
    }
    const size_t rowBytes = static_cast<size_t>((sourceWidth_ + 7) / 8);
    if (bits.size() > rowBytes) return Fail(at, "row data longer than the source width");
    if (last != (plane_ == bitsPerIndex_ - 1))
      return Fail(at, "plane " + std::to_string(plane_) + (last ? " ends" : " does not end") + " the row");
    for (size_t x = 0; x < bits.size() * 8; ++x)
      if (bits[x / 8] & (0x80 >> (x % 8))) out_.planes[plane_].Set(y_, static_cast<long>(x));
    Record(name, {length, static_cast<long>(bits.size())}, at);
    if (last) {
      plane_ = 0;
      ++rows_;
      ++y_;
    } else {
      ++plane_;
    }
  }

  const uint8_t* d_;
  size_t n_;
  size_t p_ = 0;
  RtlDecode& out_;
  bool hpgl_ = false;
  bool raster_ = false;
  bool byPlane_ = false;
  int bitsPerIndex_ = 0;
  int compression_ = 0;
  int plane_ = 0;
  long rows_ = 0;
  long y_ = 0;
  long sourceWidth_ = 0, sourceHeight_ = 0;
  long color_[3] = {};
};

}  // namespace

EpsonDecode DecodeEpson(const uint8_t* data, size_t size) {
  EpsonDecode out;
  EpsonParser(data, size, out).Run();
  return out;
}

RtlDecode DecodeRtl(const uint8_t* data, size_t size) {
  RtlDecode out;
  RtlParser(data, size, out).Run();
  return out;
}

}  // namespace print

namespace print {

bool DecodeInkDots(int printerType, const std::vector<uint8_t>& stream, InkDots& dots) {
  dots = {};
  if (printerType == kPrinterEpson) {
    EpsonDecode decoded = DecodeEpson(stream.data(), stream.size());
    if (!decoded.ok) {
      dots.error = decoded.error;
      return false;
    }
    const int colorOfInk[4] = {2, 1, 4, 0};
    for (int ink = 0; ink < 4; ++ink) dots.inks[ink] = std::move(decoded.colors[colorOfInk[ink]]);
    return true;
  }
  if (printerType == kPrinterDesignJet) {
    RtlDecode decoded = DecodeRtl(stream.data(), stream.size());
    if (!decoded.ok) {
      dots.error = decoded.error;
      return false;
    }
    for (int ink = 0; ink < 4; ++ink) dots.inks[ink] = std::move(decoded.planes[ink]);
    return true;
  }
  dots.error = "no stream decoder for printer type " + std::to_string(printerType);
  return false;
}

}  // namespace print
