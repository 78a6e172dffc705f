// The progress pump over Qt's event loop.
//
// While a long operation runs on the user-interface thread, each
// ProgressStep runs this pump: pending events are processed, so the status
// bar repaints with the new percentage and windows stay drawn. User input is
// held back meanwhile, because a click or key reaching the editor would start
// another edit on the document being changed: Esc (pressed or as a shortcut)
// requests a cancel (platform::RequestCancel) and every other key, mouse,
// wheel, touch, tablet, shortcut and window-close event is dropped (a close
// is refused, so the window stays open).
//
// The pump does nothing on any thread but the application's own, when no Qt
// application exists, or when called again from inside itself.
//
// This header stays free of Qt's headers.
#pragma once

namespace platform {

// The least time between two dispatches of the installed hook.
inline constexpr int kPumpIntervalMs = 20;

// Installs the pump as the progress hook (SetProgressPump), dispatching
// events at most every kPumpIntervalMs milliseconds (the steady clock).
void InstallQtProgressPump();

// One run of the pump, as installed (for callers that pump by hand).
void PumpQtEvents();

}  // namespace platform
