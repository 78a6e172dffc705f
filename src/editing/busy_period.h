// The busy period of a long edit.
//
// An edit that runs imaging operations over the image or the floater (the
// effects, filters and adjustments, the colour modes, the canvas changes,
// turns, flips, resizes and shears) can take seconds on a large image. For
// its duration the editing layer sets the edit-busy flag (every command is
// disabled and pointer input is ignored), tells the main window that it may
// not close, clears the cancel count and switches progress reporting on, so
// that the operations' row loops report their position and run the progress
// pump (the window repaints and Esc requests a cancel). At the end reporting
// is switched off, the status line shows "Ready !", the window may close
// again and the busy flag is cleared, in that order.
//
// Without a main window (the command line) nothing is reported: nobody sees
// it and no pump can bring a cancel, while reporting would hold the
// operations to one thread and make them copy the image for a cancel.
#pragma once

inline constexpr char kBusyStartText[] = "Process Start, wait...";
inline constexpr char kStatusEnabledAlreadyText[] = "Status Enabled Already!";
inline constexpr char kStatusDisabledAlreadyText[] = "Debug: Status Disabled Already!";

// Switches progress reporting for an edit. On: shows kBusyStartText, sets
// the range 0..100 (ProgressBegin(0, 100)) and turns reporting on; when
// reporting is on already it only shows kStatusEnabledAlreadyText. Off: turns
// reporting off; when it is off already it only shows
// kStatusDisabledAlreadyText. (The library's ProgressEnable switches without
// any text.)
void SwitchProgressStatus(bool on);

// Whether an edit of undo kind `kind` runs imaging operations over the image
// and so runs in a reporting busy period: 19 (fills and the floater's turns,
// flips and resizes), 50 (effects and canvas transforms) and 99 (colour
// modes, Crop, Canvas Size, Trim). Selection commands, paint strokes, paste
// and text pump no events and keep the plain busy flag.
bool EditReportsProgress(int undoKind);

// The busy period for its life (see above). With `report` false, or
// without a main window, only the busy flag is set and the cancel count
// cleared: a short edit that pumps no events needs neither the window's
// notice nor progress.
class BusyPeriod {
 public:
  explicit BusyPeriod(bool report);
  ~BusyPeriod();
  BusyPeriod(const BusyPeriod&) = delete;
  BusyPeriod& operator=(const BusyPeriod&) = delete;

 private:
  bool report_;
};

// Holds progress reporting off for its life, silently: for a step inside a
// reporting edit that must not be cancelled halfway. Blending the floater
// back into the image is one: a cancelled blend puts the image back but its
// caller goes on and frees the floater, so the edit's work would be lost
// while the edit reports success (and while reporting, the blend would also
// restart the indicator and copy the whole image first).
class ProgressPause {
 public:
  ProgressPause();
  ~ProgressPause();
  ProgressPause(const ProgressPause&) = delete;
  ProgressPause& operator=(const ProgressPause&) = delete;

 private:
  bool was_;
};
