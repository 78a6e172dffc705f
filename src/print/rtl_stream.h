// The HP-GL/2 set-up and HP RTL raster stream of HP DesignJet compatible
// printers.
//
// Every command is ASCII text (decimal numbers) written straight to the
// spooler through WriteAll (a full queue is retried after 1 ms). The first
// failing write shows "Error code %d !!!\n At %s", %s being at most the first
// 20 characters of the data being written up to its first zero byte; after
// that the stream is failed and drops every later write.
//
// Raster rows are sent as four bit planes (cyan, magenta, yellow, black) in
// the indexed-by-plane encoding, 4 bits per pixel, through a 16-entry palette
// (index bit 0 cyan, 1 magenta, 2 yellow, 3 black), each plane row
// compressed with CompressRtl (mode 1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "print/spooler.h"

namespace print {

struct RtlRgb {
  uint8_t red, green, blue;
};

// The palette the stream defines, by index.
extern const RtlRgb kRtlPalette[16];

class RtlStream {
 public:
  explicit RtlStream(Spooler& spooler);
  RtlStream(const RtlStream&) = delete;
  RtlStream& operator=(const RtlStream&) = delete;

  void Reset();                                   // ESC E
  void EnterHpgl2(int n);                         // ESC %nB
  void InitPlot();                                // IN;SP1;
  void PlotSize(long length, long width);         // PS<length x 40>,<width x 40>;
  void Cutter(bool on);                           // EC1 / EC0
  void BeginPlot();                               // BP5,1;
  void PenUp();                                   // PU;
  void EnterRtl(int n);                           // ESC %nA
  void NegativeMotion(bool allowed);              // ESC &a0N allowed, ESC &a1N not
  void ConfigureImageData(bool indexed, int bitsPerIndex);  // ESC *v6W + 6 bytes
  void AssignColor(int index, RtlRgb rgb);        // ESC *v<r>a<g>b<b>c<index>I
  void SetResolution(int dpi);                    // ESC *t<dpi>R; remembered
  void SourceWidth(long n);                       // ESC *r<n>S
  void SourceHeight(long n);                      // ESC *r<n>T
  // ESC *t<d>H / ESC *t<d>V with d = trunc(n x 720 / resolution + 0.5).
  void DestinationWidth(long n);
  void DestinationHeight(long n);
  void SetCompression(int mode);                  // ESC *b<m>M
  void StartRaster(bool atCurrentPosition);       // ESC *r2A / ESC *r0A
  void EndRaster();                               // ESC *rC
  void YOffset(long n);                           // ESC *b<n>Y
  // Compresses the bytes (`compressed` has room for
  // CompressedBound(byteCount)) and sends ESC *b2m<len>V (W when last)
  // followed by the compressed bytes in one write.
  void TransferPlane(const uint8_t* bits, size_t byteCount, bool last, uint8_t* compressed);
  void AdvancePage();                             // PG;

  // Page start: Reset, EnterHpgl2(0), InitPlot;
  // PlotSize(trunc(pageHeightMm x 720 / 25.4), trunc(pageWidthMm x 720 / 25.4));
  // Cutter(false), BeginPlot, PenUp; EnterRtl(1), NegativeMotion(false),
  // ConfigureImageData(true, 4); AssignColor 0..15; SetResolution(resolution),
  // YOffset(max(yOffset, 0)).
  void StartPage(int resolution, double pageWidthMm, double pageHeightMm, int yOffset);
  // Band start for `rows` rows of `width` dots (including the left offset):
  // SourceWidth, SourceHeight, DestinationWidth, DestinationHeight,
  // StartRaster(false), SetCompression(1).
  void BeginBand(int width, int rows);
  // One raster row: the cyan, magenta and yellow rows (last = false) and the
  // black row (last = true), each behind leftOffset zero dots, packed and
  // compressed. Buffers: `lineBuffer` holds width + leftOffset bytes,
  // `packed` PackedSize(width + leftOffset), `compressed`
  // CompressedBound(that) bytes + 16 (2 x packed + 6 is enough for the data,
  // the header is formatted separately). A negative leftOffset counts as 0.
  void WriteRasterRow(const uint8_t* const planeRows[4], int width, int leftOffset,
                      uint8_t* lineBuffer, uint8_t* packed, uint8_t* compressed);
  void EndBand();                                 // EndRaster
  // Page end: EnterHpgl2(0), AdvancePage unless cancelled, Reset.
  void EndPage(bool cancelled);

  bool Failed() const { return failed_; }
  int Resolution() const { return resolution_; }

 private:
  void Send(const void* data, size_t size);
  void SendText(const char* format, ...) __attribute__((format(printf, 2, 3)));

  Spooler& spooler_;
  bool failed_ = false;
  int resolution_ = 300;
  std::string message_;  // one write of header + data
};

}  // namespace print
