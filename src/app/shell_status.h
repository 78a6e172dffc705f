// The texts of the main window's status panes, without the toolkit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace app {

// The idle text of the status line.
inline constexpr char kReadyText[] = "Ready !";

// The memory size of an image: "%5.2f MBytes" of size / 1048576 when size
// is above 1048576 bytes, "%5.2f KBytes" of size / 1024 when above 1024,
// else "%f Bytes" (1000 bytes: "1000.000000 Bytes").
std::string FormatMemorySize(uint64_t bytes);

// The size pane: "%d x %d - %s" with the width, the height and the memory
// size of bytesPerRow x height.
std::string FormatSizePane(int width, int height, uint64_t bytesPerRow);

// The progress pane: "%d%%" of the position, after the stage's text and a
// blank when there is one ("Loading File 40%").
std::string FormatProgress(int position, std::string_view text);

// What the progress pane shows last. Row loops report once per row, and
// most rows fall on the percentage shown already: the status line is
// rewritten (and redrawn) only when the position or the stage's text
// changes.
class ProgressPane {
 public:
  // True, and remembered as shown, when `position` with `text` differs from
  // what was shown last (always after Forget).
  bool Changed(int position, std::string_view text);
  // Something else was written on the status line.
  void Forget() { shown_ = false; }

 private:
  bool shown_ = false;
  int position_ = 0;
  std::string text_;
};

}  // namespace app
