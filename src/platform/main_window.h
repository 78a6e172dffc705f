// Notifications from the library and documents to the application's main
// window: the status-line text, the progress position, "Ready !", repaint,
// the wait cursor and whether the window may close. The GUI installs its frame as the sink; without one every
// notification is dropped. Tests install a RecordingMainWindow.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

class MainWindowSink {
 public:
  virtual ~MainWindowSink() = default;
  // Shows a text on the status line and resets the progress indicator.
  virtual void StatusText(std::string_view text) = 0;
  // Moves the progress indicator to `position` and shows `text`.
  virtual void ProgressPosition(int position, std::string_view text) = 0;
  // Shows "Ready !" on the status line.
  virtual void Ready() = 0;
  virtual void Repaint() = 0;
  virtual void WaitCursor(bool on) = 0;
  // Off while a long edit runs on the document: the window's Close and Exit
  // commands and its close button do nothing until it is on again.
  virtual void EnableClose(bool /*on*/) {}
};

// The current sink; a no-op sink when none is installed.
MainWindowSink& MainWindow();
// Installs a sink (nullptr restores the no-op sink) and returns the old one.
MainWindowSink* SetMainWindow(MainWindowSink* sink);
// Whether a sink is installed (the command line has none).
bool HasMainWindow();

// Records every notification as a line ("status TEXT", "progress N TEXT",
// "ready", "repaint", "wait 1", "wait 0", "close 1", "close 0"). Installs itself on construction.
class RecordingMainWindow final : public MainWindowSink {
 public:
  RecordingMainWindow();
  ~RecordingMainWindow() override;
  RecordingMainWindow(const RecordingMainWindow&) = delete;
  RecordingMainWindow& operator=(const RecordingMainWindow&) = delete;

  void StatusText(std::string_view text) override;
  void ProgressPosition(int position, std::string_view text) override;
  void Ready() override;
  void Repaint() override;
  void WaitCursor(bool on) override;
  void EnableClose(bool on) override;

  std::vector<std::string> events;

 private:
  MainWindowSink* previous_;
};

}  // namespace platform
