#include "print/print_progress.h"

#include "platform/messages.h"

namespace print {

std::string PrintProgress::FormatDuration(const char* label, int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const int hours = static_cast<int>((seconds / 3600) % 24);
  const int minutes = static_cast<int>((seconds / 60) % 60);
  const int secs = static_cast<int>(seconds % 60);
  return platform::FormatText("%s : %02d:%02d:%02d", label, hours, minutes, secs);
}

void PrintProgress::Report(int64_t total, int64_t done, PrintClock::time_point start, PrintClock::time_point now,
                           const char* stageText, bool showPercent) {
  std::lock_guard<std::mutex> guard(lock_);
  PrintProgressUpdate update;
  if (stageText) update.stage = stageText;
  const int64_t elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - start).count();
  update.elapsed = FormatDuration("Elapsed Time", elapsed);
  if (showPercent && total > 0) {
    update.processed = platform::FormatText("Processed %d%% ", static_cast<int>(done * 100 / total));
    update.bar = static_cast<int>(done * 10000 / total);
    if (done > 0) update.estimated = FormatDuration("Estimated Time", elapsed * total / done);
  }
  if (sink_) sink_->Update(update);
}

void PrintProgress::Stage(const std::string& text, PrintClock::time_point start) {
  Report(0, 0, start, PrintClock::now(), text.c_str(), false);
}

}  // namespace print
