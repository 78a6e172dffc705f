// The print progress panel: a modeless window with the stage line [stage],
// "Elapsed Time : hh:mm:ss" [elapsed], "Processed n% " [processed], a bar
// 0..10000 [bar], "Estimated Time : hh:mm:ss" [estimated] and a Cancel
// button [cancel] that sets the print cancel flag.
//
// The job runs on a worker thread of its own (and the EPSON path's writer
// thread); their reports reach the panel through queued calls, so the
// window stays responsive while the job works. Messages a job shows from
// those threads are carried to the GUI thread and shown there.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "print/print_job.h"

class CDIBitmap;

namespace app {

class PrintProgressPanel : public QWidget {
 public:
  using Finished = std::function<void(const print::PrintOutcome&)>;

  // Clears the cancel flag, copies `image`, shows the panel and starts
  // print::PrintImage(job, copy) on a worker thread. When the job ends,
  // `finished` runs on the GUI thread with its outcome and the panel closes
  // and deletes itself. Null when the image cannot be copied (out of memory;
  // `finished` then gets kResultOutOfMemory).
  static PrintProgressPanel* Start(QWidget* parent, const print::PrintJob& job, const CDIBitmap& image,
                                   Finished finished);
  // The panel of the job that runs now, or null.
  static PrintProgressPanel* Running();

  // Destroying a panel whose job runs cancels the job and waits for it.
  ~PrintProgressPanel() override;

  // What the Cancel button does: sets the cancel flag.
  void Cancel();

 private:
  PrintProgressPanel(QWidget* parent, Finished finished);
  void closeEvent(class QCloseEvent* event) override;
  struct Private;
  std::unique_ptr<Private> d_;
};

}  // namespace app
