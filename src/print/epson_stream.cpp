#include "print/epson_stream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "image/result_codes.h"
#include "platform/messages.h"
#include "print/packbits.h"

namespace print {

namespace {

constexpr uint8_t ESC = 0x1B;

// The unit of ESC ( U and of the raster header, in 1/3600 inch, for a
// resolution clamped so that it fits one byte and never divides by zero.
// The vertical unit: 1/360 inch, the height of a row of the direct path.
constexpr uint8_t kVerticalUnit = 10;

uint8_t UnitFor(int resolution) {
  return static_cast<uint8_t>(3600 / std::clamp(resolution, 15, 3600));
}

// At most the first 20 characters of `data`, up to its first zero byte.
std::string Excerpt(const uint8_t* data, size_t size) {
  std::string text;
  for (size_t i = 0; i < size && i < 20 && data[i] != 0; ++i) text.push_back(static_cast<char>(data[i]));
  return text;
}

}  // namespace

EpsonStream::EpsonStream(Spooler& spooler, size_t capacity) : spooler_(spooler) {
  try {
    buffer_.resize(capacity);
    capacity_ = capacity;
  } catch (const std::bad_alloc&) {
    capacity_ = 0;
  }
  if (capacity_ == 0) {
    // Without a buffer the appended commands (graphics mode, every raster
    // line) would be lost while the page still printed: fail the page.
    failed_ = true;
    platform::ShowMessage(FormatErrorCode(kResultOutOfMemory));
  }
}

void EpsonStream::Fail(int error, const uint8_t* data, size_t size) {
  failed_ = true;
  if (error == kWriteCancelled) return;  // the user cancelled: nothing to report
  std::string text = error == kInvalidCommandError
                         ? std::string("Invalid Command Error !!!\n At ")
                         : "Error code " + std::to_string(error) + " !!!\n At ";
  text += Excerpt(data, size);
  platform::ShowMessage(text);
}

void EpsonStream::Write(const uint8_t* data, size_t size) {
  if (failed_ || size == 0) return;
  if (int error = WriteAll(spooler_, data, size, false)) Fail(error, data, size);
}

void EpsonStream::SendNow(const uint8_t* data, size_t size) { Write(data, size); }

void EpsonStream::Append(const uint8_t* data, size_t size) {
  if (failed_ || size == 0) return;
  if (used_ + size >= capacity_) {
    Flush();
    if (size >= capacity_) {  // larger than the whole buffer: send it as it is
      Write(data, size);
      return;
    }
  }
  std::memcpy(buffer_.data() + used_, data, size);
  used_ += size;
}

void EpsonStream::Flush() {
  if (used_ == 0) return;
  Write(buffer_.data(), used_);
  used_ = 0;
}

void EpsonStream::Reset() {
  const uint8_t bytes[] = {ESC, '@'};
  SendNow(bytes, sizeof bytes);
}

void EpsonStream::SelectGraphics() {
  const uint8_t bytes[] = {ESC, '(', 'G', 1, 0, 1};
  Append(bytes, sizeof bytes);
}

void EpsonStream::SetModes(int resolution, bool microWeave) {
  resolution_ = std::clamp(resolution, 15, 3600);
  const uint8_t weave[] = {ESC, '(', 'i', 1, 0, static_cast<uint8_t>(microWeave ? 1 : 0)};
  SendNow(weave, sizeof weave);
  // Rows of the direct path are 1/360 inch whatever the horizontal
  // resolution, and every line advances the paper by one unit: the unit
  // stays 1/360 inch, so a 720 dpi page keeps its height.
  const uint8_t unit[] = {ESC, '(', 'U', 1, 0, kVerticalUnit};
  SendNow(unit, sizeof unit);
  const uint8_t direction[] = {ESC, 'U', 0};
  SendNow(direction, sizeof direction);
}

void EpsonStream::SetPageLength(int n) {
  const uint8_t bytes[] = {ESC, '(', 'C', 2, 0, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
  SendNow(bytes, sizeof bytes);
}

void EpsonStream::SetPageFormat(int top, int bottom) {
  const uint8_t bytes[] = {ESC, '(', 'c', 4, 0,
                           static_cast<uint8_t>(top), static_cast<uint8_t>(top >> 8),
                           static_cast<uint8_t>(bottom), static_cast<uint8_t>(bottom >> 8)};
  SendNow(bytes, sizeof bytes);
}

void EpsonStream::SetVerticalPosition(int n) {
  const uint8_t bytes[] = {ESC, '(', 'V', 2, 0, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
  SendNow(bytes, sizeof bytes);
}

void EpsonStream::AdvanceVertical(int n) {
  const uint8_t bytes[] = {ESC, '(', 'v', 2, 0, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
  SendNow(bytes, sizeof bytes);
}

void EpsonStream::SelectColor(int color) {
  // ESC r values by colour code 1..7.
  static constexpr uint8_t kCodes[8] = {0, 2, 1, 4, 0, 5, 6, 3};
  const uint8_t bytes[] = {ESC, 'r', kCodes[color >= 1 && color <= 7 ? color : 4]};
  Append(bytes, sizeof bytes);
}

void EpsonStream::RasterHeader(int resolution, int width, int rows) {
  const uint8_t bytes[] = {ESC, '.', 1, kVerticalUnit, UnitFor(resolution), static_cast<uint8_t>(rows),
                           static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8)};
  Append(bytes, sizeof bytes);
}

void EpsonStream::AppendCompressed(const uint8_t* bits, size_t byteCount, uint8_t* scratch) {
  if (failed_) return;
  const size_t bound = CompressedBound(byteCount);
  if (used_ + bound < capacity_) {
    // Fits without a flush whatever the compressed length: compress in place.
    used_ += CompressEpson(bits, byteCount, buffer_.data() + used_);
    return;
  }
  Append(scratch, CompressEpson(bits, byteCount, scratch));
}

void EpsonStream::RasterData(const uint8_t* bits, size_t byteCount) {
  if (scratch_.size() < CompressedBound(byteCount)) scratch_.resize(CompressedBound(byteCount));
  AppendCompressed(bits, byteCount, scratch_.data());
}

void EpsonStream::CarriageReturn() {
  const uint8_t cr = 0x0D;
  Append(&cr, 1);
}

void EpsonStream::FormFeed() {
  const uint8_t ff = 0x0C;
  SendNow(&ff, 1);
}

void EpsonStream::StartPage(int resolution, double pageHeightMm, int verticalStart) {
  Reset();
  SelectGraphics();
  SetModes(resolution, true);
  const int length = static_cast<int>(pageHeightMm * 14.173228346456693);
  SetPageLength(length);
  SetPageFormat(41, length - 198);
  SetVerticalPosition(std::max(verticalStart, 0));
}

void EpsonStream::WriteRasterLine(const uint8_t* const planeRows[4], int width, int leftOffset,
                                  uint8_t* lineBuffer, uint8_t* packed, uint8_t* compressed) {
  if (failed_) return;
  width = std::max(width, 0);
  leftOffset = std::max(leftOffset, 0);
  const int w = width + leftOffset;
  // Colour codes in the order the printer receives them: yellow, magenta,
  // cyan, black; the plane rows are given as cyan, magenta, yellow, black.
  static constexpr int kOrder[4] = {kEpsonYellow, kEpsonMagenta, kEpsonCyan, kEpsonBlack};
  std::memset(lineBuffer, 0, static_cast<size_t>(leftOffset));
  for (int color : kOrder) {
    SelectColor(color);
    RasterHeader(resolution_, w, 1);
    std::memcpy(lineBuffer + leftOffset, planeRows[color - 1], static_cast<size_t>(width));
    const size_t bytes = PackDots(lineBuffer, w, packed);
    AppendCompressed(packed, bytes, compressed);
    CarriageReturn();
  }
  Flush();
  AdvanceVertical(1);
}

void EpsonStream::EndPage() {
  FormFeed();
  Reset();
}

}  // namespace print
