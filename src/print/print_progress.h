// The print progress panel: stage line, elapsed time, percentage, bar and
// estimated time, updated by the job thread and the EPSON writer thread under
// one job lock. The panel itself is a sink: the GUI draws a dialog, the
// command line a bar on stderr, tests record the texts.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>

namespace print {

using PrintClock = std::chrono::steady_clock;

// One update of the panel. Fields left empty keep what the panel shows.
struct PrintProgressUpdate {
  std::optional<std::string> stage;      // the stage line, when given
  std::string elapsed;                   // "Elapsed Time : %02d:%02d:%02d"
  std::optional<std::string> processed;  // "Processed %d%% "
  std::optional<int> bar;                // 0..10000
  std::optional<std::string> estimated;  // "Estimated Time : %02d:%02d:%02d"
};

class PrintProgressSink {
 public:
  virtual ~PrintProgressSink() = default;
  virtual void Update(const PrintProgressUpdate& update) = 0;
};

// The panel of one print job with its job lock. Without a sink the updates
// are computed and dropped.
class PrintProgress {
 public:
  explicit PrintProgress(PrintProgressSink* sink = nullptr) : sink_(sink) {}

  // ReportPrintProgress: under the job lock builds the update and hands it to
  // the sink. elapsed = now - start in whole seconds, shown as hours (modulo
  // 24), minutes and seconds. With showPercent: "Processed %d%% " with
  // done x 100 / total, bar done x 10000 / total, and the estimated total
  // time elapsed x total / done seconds. total <= 0 gives no percentage,
  // bar or estimate; done <= 0 gives no estimate (nothing is divided by 0).
  void Report(int64_t total, int64_t done, PrintClock::time_point start, PrintClock::time_point now,
              const char* stageText, bool showPercent);
  // A stage text alone (elapsed from `start`).
  void Stage(const std::string& text, PrintClock::time_point start);

  static std::string FormatDuration(const char* label, int64_t seconds);

 private:
  std::mutex lock_;
  PrintProgressSink* sink_;
};

}  // namespace print
