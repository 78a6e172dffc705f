// The busy period of a long edit: busy flag, the window's Close, the cancel
// count and progress reporting.
#include "editing/busy_period.h"

#include "editing/tool_settings.h"
#include "platform/main_window.h"
#include "platform/progress.h"

void SwitchProgressStatus(bool on) {
  platform::MainWindowSink& window = platform::MainWindow();
  if (on == ProgressEnabled()) {
    window.StatusText(on ? kStatusEnabledAlreadyText : kStatusDisabledAlreadyText);
    return;
  }
  if (on) {
    window.StatusText(kBusyStartText);
    ProgressBegin(0, 100);
  }
  ProgressEnable(on);
}

bool EditReportsProgress(int undoKind) { return undoKind == 19 || undoKind == 50 || undoKind == 99; }

BusyPeriod::BusyPeriod(bool report) : report_(report && platform::HasMainWindow()) {
  SetEditBusy(true);
  if (report_) platform::MainWindow().EnableClose(false);
  // An Esc pressed before this edit began does not cancel it.
  platform::ResetCancel();
  if (report_) SwitchProgressStatus(true);
}

BusyPeriod::~BusyPeriod() {
  if (report_) {
    SwitchProgressStatus(false);
    platform::MainWindowSink& window = platform::MainWindow();
    window.Ready();
    window.EnableClose(true);
  }
  SetEditBusy(false);
}

ProgressPause::ProgressPause() : was_(ProgressEnabled()) {
  if (was_) ProgressEnable(false);
}

ProgressPause::~ProgressPause() {
  if (was_) ProgressEnable(true);
}
