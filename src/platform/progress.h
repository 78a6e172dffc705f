// Progress reporting and cancellation for long operations.
//
// Row loops call ProgressStep(100 * row / height) after each row while
// reporting is on. ProgressStep first runs the pump hook (the GUI dispatches
// pending events there, which lets the user press Cancel), then tells the main
// window the position start + (end - start) * percent / 100 (integer
// division) with the status text "Process Completed, ", and returns -100 when
// a cancel has been requested, 1 otherwise.
#pragma once

#include <functional>

inline constexpr char kProgressText[] = "Process Completed, ";
inline constexpr int kProgressCancelled = -100;

// Switches reporting on or off (one process-wide flag, initially off).
void ProgressEnable(bool on);
bool ProgressEnabled();
// Sets the range of the indicator that the next operation covers.
void ProgressBegin(int start, int end);
// Reports `percent` of the current range; returns kProgressCancelled (-100)
// when the cancel count is above 0, else 1.
int ProgressStep(int percent);

namespace platform {

// The hook run at the start of every ProgressStep (nullptr: none).
void SetProgressPump(std::function<void()> pump);

// The process-wide cancel count. RequestCancel may be called from any thread.
void RequestCancel();
void ResetCancel();
int CancelCount();

}  // namespace platform
