#include "platform/main_window.h"

namespace platform {
namespace {

class NullMainWindow final : public MainWindowSink {
 public:
  void StatusText(std::string_view) override {}
  void ProgressPosition(int, std::string_view) override {}
  void Ready() override {}
  void Repaint() override {}
  void WaitCursor(bool) override {}
};

NullMainWindow g_null;
MainWindowSink* g_window = nullptr;

}  // namespace

MainWindowSink& MainWindow() { return g_window ? *g_window : g_null; }

bool HasMainWindow() { return g_window != nullptr; }

MainWindowSink* SetMainWindow(MainWindowSink* sink) {
  MainWindowSink* old = g_window;
  g_window = sink;
  return old;
}

RecordingMainWindow::RecordingMainWindow() : previous_(SetMainWindow(this)) {}
RecordingMainWindow::~RecordingMainWindow() { SetMainWindow(previous_); }

void RecordingMainWindow::StatusText(std::string_view text) { events.push_back("status " + std::string(text)); }
void RecordingMainWindow::ProgressPosition(int position, std::string_view text) {
  events.push_back("progress " + std::to_string(position) + " " + std::string(text));
}
void RecordingMainWindow::Ready() { events.emplace_back("ready"); }
void RecordingMainWindow::Repaint() { events.emplace_back("repaint"); }
void RecordingMainWindow::WaitCursor(bool on) { events.push_back(on ? "wait 1" : "wait 0"); }
void RecordingMainWindow::EnableClose(bool on) { events.push_back(on ? "close 1" : "close 0"); }

}  // namespace platform
