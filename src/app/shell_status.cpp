#include "app/shell_status.h"

#include <algorithm>
#include <cstdio>

namespace app {

namespace {

template <typename... Args>
std::string Print(const char* format, Args... args) {
  char buffer[128];
  const int n = std::snprintf(buffer, sizeof buffer, format, args...);
  return n < 0 ? std::string() : std::string(buffer, std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1));
}

}  // namespace

std::string FormatMemorySize(uint64_t bytes) {
  const double size = static_cast<double>(bytes);
  if (bytes > 1048576) return Print("%5.2f MBytes", size / 1048576);
  if (bytes > 1024) return Print("%5.2f KBytes", size / 1024);
  return Print("%f Bytes", size);
}

std::string FormatSizePane(int width, int height, uint64_t bytesPerRow) {
  const uint64_t rows = height > 0 ? static_cast<uint64_t>(height) : 0;
  return Print("%d x %d - ", width, height) + FormatMemorySize(bytesPerRow * rows);
}

std::string FormatProgress(int position, std::string_view text) {
  std::string out(text);
  if (!out.empty()) out += ' ';
  return out + Print("%d%%", position);
}

bool ProgressPane::Changed(int position, std::string_view text) {
  if (shown_ && position == position_ && text == text_) return false;
  shown_ = true;
  position_ = position;
  text_.assign(text);
  return true;
}

}  // namespace app
