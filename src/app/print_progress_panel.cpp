#include "app/print_progress_panel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <atomic>
#include <thread>

#include "image/dibitmap.h"
#include "image/result_codes.h"
#include "platform/messages.h"
#include "platform/progress.h"

namespace app {
namespace {

PrintProgressPanel* g_running = nullptr;

// Shows the messages of the job's threads on the GUI thread, the others
// directly, through the sink that was current. Installed for the job's
// lifetime; the job's own counting sink stacks on top of it.
class GuiThreadMessages final : public platform::MessageSink {
 public:
  GuiThreadMessages() : previous_(platform::SetMessageSink(this)) {}
  ~GuiThreadMessages() override { platform::SetMessageSink(previous_); }
  GuiThreadMessages(const GuiThreadMessages&) = delete;
  GuiThreadMessages& operator=(const GuiThreadMessages&) = delete;

  platform::MsgAnswer Show(const platform::Message& message) override {
    auto show = [&] {
      return previous_ ? previous_->Show(message) : platform::StderrMessageSink().Show(message);
    };
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) return show();
    platform::MsgAnswer answer = platform::MsgAnswer::Ok;
    QMetaObject::invokeMethod(app, [&] { answer = show(); }, Qt::BlockingQueuedConnection);
    return answer;
  }

 private:
  platform::MessageSink* previous_;
};

}  // namespace

struct PrintProgressPanel::Private : print::PrintProgressSink {
  PrintProgressPanel* self = nullptr;
  Finished finished;
  QLabel* stage = nullptr;
  QLabel* elapsed = nullptr;
  QLabel* processed = nullptr;
  QProgressBar* bar = nullptr;
  QLabel* estimated = nullptr;
  QPushButton* cancel = nullptr;
  CDIBitmap image;
  print::PrintJob job;
  std::thread worker;
  std::atomic<bool> done{false};
  std::unique_ptr<GuiThreadMessages> messages;

  // Called on the job's threads: hand the update to the GUI thread.
  void Update(const print::PrintProgressUpdate& update) override {
    QPointer<PrintProgressPanel> panel(self);
    QMetaObject::invokeMethod(
        self,
        [panel, update] {
          if (panel) panel->d_->Show(update);
        },
        Qt::QueuedConnection);
  }

  void Show(const print::PrintProgressUpdate& update) {
    if (update.stage) stage->setText(QString::fromStdString(*update.stage));
    elapsed->setText(QString::fromStdString(update.elapsed));
    if (update.processed) processed->setText(QString::fromStdString(*update.processed));
    if (update.bar) bar->setValue(*update.bar);
    if (update.estimated) estimated->setText(QString::fromStdString(*update.estimated));
  }

  void Ended(const print::PrintOutcome& outcome) {
    if (worker.joinable()) worker.join();
    messages.reset();
    if (g_running == self) g_running = nullptr;
    Finished callback = std::move(finished);
    finished = nullptr;
    self->hide();
    // The keys go back to the window the job was started from.
    if (QWidget* owner = self->parentWidget()) owner->window()->activateWindow();
    self->deleteLater();
    if (callback) callback(outcome);
  }
};

PrintProgressPanel::PrintProgressPanel(QWidget* parent, Finished finished)
    : QWidget(parent, Qt::Tool), d_(std::make_unique<Private>()) {
  d_->self = this;
  d_->finished = std::move(finished);
  setWindowTitle("Printing");
  setAttribute(Qt::WA_DeleteOnClose, false);
  auto* layout = new QVBoxLayout(this);
  auto label = [&](const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(name);
    l->setMinimumWidth(260);
    layout->addWidget(l);
    return l;
  };
  d_->stage = label("stage");
  d_->elapsed = label("elapsed");
  d_->processed = label("processed");
  d_->bar = new QProgressBar(this);
  d_->bar->setObjectName("bar");
  d_->bar->setRange(0, 10000);
  d_->bar->setTextVisible(false);
  layout->addWidget(d_->bar);
  d_->estimated = label("estimated");
  d_->cancel = new QPushButton("Cancel", this);
  d_->cancel->setObjectName("cancel");
  layout->addWidget(d_->cancel, 0, Qt::AlignHCenter);
  connect(d_->cancel, &QPushButton::clicked, this, [this] { Cancel(); });
}

PrintProgressPanel* PrintProgressPanel::Start(QWidget* parent, const print::PrintJob& job, const CDIBitmap& image,
                                              Finished finished) {
  auto* panel = new PrintProgressPanel(parent, std::move(finished));
  Private& d = *panel->d_;
  if (!d.image.CopyFrom(image)) {
    d.Ended({kResultOutOfMemory, FormatErrorCode(kResultOutOfMemory)});
    return nullptr;
  }
  d.job = job;
  g_running = panel;
  panel->show();
  panel->raise();
  panel->activateWindow();
  platform::ResetCancel();
  d.messages = std::make_unique<GuiThreadMessages>();
  d.worker = std::thread([panel, &d] {
    const print::PrintOutcome outcome = print::PrintImage(d.job, d.image, &d);
    d.done = true;
    // The panel lives until Ended runs: its destructor waits for the worker.
    QMetaObject::invokeMethod(panel, [panel, outcome] { panel->d_->Ended(outcome); }, Qt::QueuedConnection);
  });
  return panel;
}

PrintProgressPanel* PrintProgressPanel::Running() { return g_running; }

PrintProgressPanel::~PrintProgressPanel() {
  d_->finished = nullptr;
  if (d_->worker.joinable()) {
    platform::RequestCancel();
    // The worker may wait for a message box on this thread: keep serving
    // the queued calls until it is done.
    while (!d_->done) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (d_->worker.joinable()) d_->worker.join();
  }
  d_->messages.reset();
  if (g_running == this) g_running = nullptr;
}

void PrintProgressPanel::Cancel() {
  platform::RequestCancel();
  d_->cancel->setEnabled(false);
  d_->stage->setText("Cancelling...");
}

void PrintProgressPanel::closeEvent(QCloseEvent* event) {
  // Closing the window cancels the job; the panel goes when the job ends.
  if (d_->worker.joinable()) {
    Cancel();
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

}  // namespace app
