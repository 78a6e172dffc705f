#include "print/rtl_stream.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/messages.h"
#include "print/packbits.h"

namespace print {

const RtlRgb kRtlPalette[16] = {
    {255, 255, 255}, {0, 255, 255}, {255, 0, 255}, {0, 0, 255}, {255, 255, 0}, {0, 255, 0},
    {255, 0, 0},     {0, 0, 0},     {0, 0, 0},     {0, 0, 0},   {0, 0, 0},     {0, 0, 0},
    {0, 0, 0},       {0, 0, 0},     {0, 0, 0},     {0, 0, 0},
};

RtlStream::RtlStream(Spooler& spooler) : spooler_(spooler) {}

void RtlStream::Send(const void* data, size_t size) {
  if (failed_ || size == 0) return;
  const auto* bytes = static_cast<const uint8_t*>(data);
  int error = WriteAll(spooler_, bytes, size, true);
  if (error == 0) return;
  failed_ = true;
  if (error == kWriteCancelled) return;  // the user cancelled: nothing to report
  std::string text = "Error code " + std::to_string(error) + " !!!\n At ";
  for (size_t i = 0; i < size && i < 20 && bytes[i] != 0; ++i) text.push_back(static_cast<char>(bytes[i]));
  platform::ShowMessage(text);
}

void RtlStream::SendText(const char* format, ...) {
  char text[128];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n > 0) Send(text, std::min(static_cast<size_t>(n), sizeof text - 1));
}

void RtlStream::Reset() { SendText("\x1b" "E"); }
void RtlStream::EnterHpgl2(int n) { SendText("\x1b%%%dB", n); }
void RtlStream::InitPlot() { SendText("IN;SP1;"); }
void RtlStream::PlotSize(long length, long width) { SendText("PS%ld,%ld;", length * 40, width * 40); }
void RtlStream::Cutter(bool on) { SendText("EC%d", on ? 1 : 0); }
void RtlStream::BeginPlot() { SendText("BP5,1;"); }
void RtlStream::PenUp() { SendText("PU;"); }
void RtlStream::EnterRtl(int n) { SendText("\x1b%%%dA", n); }
void RtlStream::NegativeMotion(bool allowed) { SendText("\x1b&a%dN", allowed ? 0 : 1); }

void RtlStream::ConfigureImageData(bool indexed, int bitsPerIndex) {
  const uint8_t bytes[] = {0x1B, '*', 'v', '6', 'W', 0, static_cast<uint8_t>(indexed ? 0 : 4),
                           static_cast<uint8_t>(bitsPerIndex), 8, 8, 8};
  Send(bytes, sizeof bytes);
}

void RtlStream::AssignColor(int index, RtlRgb rgb) {
  SendText("\x1b*v%da%db%dc%dI", rgb.red, rgb.green, rgb.blue, index);
}

void RtlStream::SetResolution(int dpi) {
  resolution_ = std::max(dpi, 1);
  SendText("\x1b*t%dR", dpi);
}

void RtlStream::SourceWidth(long n) { SendText("\x1b*r%ldS", n); }
void RtlStream::SourceHeight(long n) { SendText("\x1b*r%ldT", n); }

void RtlStream::DestinationWidth(long n) {
  SendText("\x1b*t%ldH", static_cast<long>(static_cast<double>(n) * 720.0 / resolution_ + 0.5));
}

void RtlStream::DestinationHeight(long n) {
  SendText("\x1b*t%ldV", static_cast<long>(static_cast<double>(n) * 720.0 / resolution_ + 0.5));
}

void RtlStream::SetCompression(int mode) { SendText("\x1b*b%dM", mode); }
void RtlStream::StartRaster(bool atCurrentPosition) { SendText(atCurrentPosition ? "\x1b*r2A" : "\x1b*r0A"); }
void RtlStream::EndRaster() { SendText("\x1b*rC"); }
void RtlStream::YOffset(long n) { SendText("\x1b*b%ldY", n); }
void RtlStream::AdvancePage() { SendText("PG;"); }

void RtlStream::TransferPlane(const uint8_t* bits, size_t byteCount, bool last, uint8_t* compressed) {
  if (failed_) return;
  const size_t length = CompressRtl(bits, byteCount, compressed);
  char header[32];
  int n = snprintf(header, sizeof header, "\x1b*b2m%d%c", static_cast<int>(length), last ? 'W' : 'V');
  // Header and data go in one write so the printer never sees them apart.
  message_.assign(header, static_cast<size_t>(n));
  message_.append(reinterpret_cast<const char*>(compressed), length);
  Send(message_.data(), message_.size());
}

void RtlStream::StartPage(int resolution, double pageWidthMm, double pageHeightMm, int yOffset) {
  Reset();
  EnterHpgl2(0);
  InitPlot();
  PlotSize(static_cast<long>(pageHeightMm * 28.346456692913385),
           static_cast<long>(pageWidthMm * 28.346456692913385));
  Cutter(false);
  BeginPlot();
  PenUp();
  EnterRtl(1);
  NegativeMotion(false);
  ConfigureImageData(true, 4);
  for (int index = 0; index < 16; ++index) AssignColor(index, kRtlPalette[index]);
  SetResolution(resolution);
  YOffset(std::max(yOffset, 0));
}

void RtlStream::BeginBand(int width, int rows) {
  SourceWidth(width);
  SourceHeight(rows);
  DestinationWidth(width);
  DestinationHeight(rows);
  StartRaster(false);
  SetCompression(1);
}

void RtlStream::WriteRasterRow(const uint8_t* const planeRows[4], int width, int leftOffset,
                               uint8_t* lineBuffer, uint8_t* packed, uint8_t* compressed) {
  if (failed_) return;
  width = std::max(width, 0);
  leftOffset = std::max(leftOffset, 0);
  const int w = width + leftOffset;
  std::memset(lineBuffer, 0, static_cast<size_t>(leftOffset));
  for (int plane = 0; plane < 4; ++plane) {
    std::memcpy(lineBuffer + leftOffset, planeRows[plane], static_cast<size_t>(width));
    const size_t bytes = PackDots(lineBuffer, w, packed);
    TransferPlane(packed, bytes, plane == 3, compressed);
  }
}

void RtlStream::EndBand() { EndRaster(); }

void RtlStream::EndPage(bool cancelled) {
  EnterHpgl2(0);
  if (!cancelled) AdvancePage();
  Reset();
}

}  // namespace print
