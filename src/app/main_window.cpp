#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "app/app_settings.h"
#ifdef VIVID_HAVE_ACQUIRE
#include "acquire/acquisition.h"
#include "acquire/sane_source.h"
#include "app/scan_dialog.h"
#include "platform/settings.h"
#endif
#include "app/argument_dialogs.h"
#include "app/effect_dialog.h"
#include "app/channel_combine_dialog.h"
#include "app/cmyk_setup_dialog.h"
#include "app/color_commands.h"
#include "app/color_management_dialog.h"
#include "app/curves_dialog.h"
#include "app/color_bar.h"
#include "app/histogram_bar.h"
#include "app/image_view_widget.h"
#include "app/monitor_gamma_dialog.h"
#include "app/new_image_dialog.h"
#include "app/option_pages.h"
#include "app/page_setup_dialog.h"
#include "app/print_dialog.h"
#include "app/recovery.h"
#include "app/screen_capture.h"
#include "app/shell_command.h"
#include "app/shell_print.h"
#include "app/shell_status.h"
#include "color/color_settings.h"
#include "document/format_tables.h"
#include "document/vivid_doc.h"
#include "editing/effect_dialogs.h"
#include "editing/effect_menu.h"
#include "editing/effect_record.h"
#include "editing/script/script.h"
#include "editing/script/script_recorder.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "platform/clipboard.h"
#include "platform/main_window.h"
#include "platform/progress.h"
#include "platform/messages.h"
#include "platform/prompts.h"
#include "platform/settings.h"

namespace app {

namespace {

QString FromStd(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The keys of the commands that have one.
QList<QKeySequence> ShortcutsOf(int id) {
  switch (id) {
    case kCmdUndo: return {QKeySequence(Qt::CTRL | Qt::Key_Z)};
    case kCmdCopy: return {QKeySequence(Qt::CTRL | Qt::Key_C)};
    case kCmdCut: return {QKeySequence(Qt::CTRL | Qt::Key_X)};
    case kCmdPaste: return {QKeySequence(Qt::CTRL | Qt::Key_V)};
    case kCmdSelectAll: return {QKeySequence(Qt::CTRL | Qt::Key_A)};
    case kCmdDelete: return {QKeySequence(Qt::Key_Delete)};
    case kCmdZoomIn: return {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)};
    case kCmdZoomOut: return {QKeySequence(Qt::CTRL | Qt::Key_Minus)};
    case kCmdNormalView: return {QKeySequence(Qt::CTRL | Qt::Key_Asterisk)};
    default: return {};
  }
}

// The view commands of each menu, in menu order; 0 is a separator.
const std::vector<int> kEditMenu = {kCmdUndo, 0,        kCmdCut,   kCmdCopy,        kCmdPaste, kCmdDelete, kCmdFill, 0,
                                    kCmdFloat, kCmdDefloat, 0,      kCmdDefineStamp, kCmdTrim};
const std::vector<int> kSelectMenu = {kCmdSelectAll,      kCmdSelectNone,    kCmdSelectInverse, 0,
                                      kCmdSelectBorder,   kCmdSelectExpand,  kCmdSelectContract, 0,
                                      kCmdHideSelection,  0,                 kCmdSaveSelection, kCmdLoadSelection};
const std::vector<int> kRotateMenu = {kCmdRotate90, kCmdRotate180, kCmdRotate270, 0, kCmdAnyAngle};
const std::vector<int> kFlipMenu = {kCmdFlipHorizontal, kCmdFlipVertical};
const std::vector<int> kImageMenu = {kCmdResize, kCmdShear};
// The measuring unit ("&Centimeter", "&Inch", pixels) and the halftoning
// choices: application-wide commands of the command table.
const std::vector<int> kUnitsMenu = {32867, 32868, 32869};
const std::vector<int> kHalftoneMenu = {32863, 32862, 0, 32860, 32861, 0, 32865, 32864, 32866};

const OperationDef* FindOperationNamed(std::string_view name) {
  for (const OperationDef& def : AllOperations())
    if (def.name == name) return &def;
  return nullptr;
}
const std::vector<int> kViewMenu = {kCmdNormalView, kCmdZoomIn,      kCmdZoomOut,
                                    kCmdFitToImage, kCmdFitWindowToImage, 0,
                                    kCmdDisplayMode, kCmdRuler,      kCmdPreviewPrintedColors};

// A short label for a tool button (the tool tip where it is short).
QString ToolLabel(const ToolCommandDef& def) {
  if (def.id == 32891) return "Selection";
  if (def.id == 32895) return "Free Hand";
  if (!def.toolTip.empty() && def.toolTip.size() <= 16) return FromStd(def.toolTip);
  QString name = FromStd(ToolScriptName(def.tool));
  name.replace('-', ' ');
  if (!name.isEmpty()) name[0] = name[0].toUpper();
  return name;
}

// "Untitled1", "Untitled2", ... for the documents made without a name.
std::string UntitledName() {
  static int untitled = 0;
  return "Untitled" + std::to_string(++untitled);
}

}  // namespace

struct OpenDoc {
  std::unique_ptr<CVividDoc> doc;
  int views = 0;
  int nextNumber = 1;
  // Set while Close closes every view after asking once.
  bool closing = false;
};

class ViewFrame;

// While a script is recorded: every answer given to a question goes into
// the script before the step that asked. Installed for the window's life,
// so that it never dangles in the sink chain.
class AnswerRecordingSink final : public platform::MessageSink {
 public:
  platform::MessageSink* previous = nullptr;
  ScriptRecorder* recorder = nullptr;
  platform::MsgAnswer Show(const platform::Message& message) override {
    platform::MsgAnswer answer = platform::MsgAnswer::Ok;
    if (previous) {
      answer = previous->Show(message);
    } else {
      platform::StderrMessageSink stderrSink;
      answer = stderrSink.Show(message);
    }
    if (recorder && message.buttons != platform::MsgButtons::Ok) recorder->Answer(answer);
    return answer;
  }
};

struct MainWindowImpl : platform::MainWindowSink {
  MainWindow* self = nullptr;
  QMdiArea* area = nullptr;
  QLabel* position = nullptr;
  std::vector<std::unique_ptr<OpenDoc>> docs;
  std::map<int, QAction*> commandActions;  // view commands and tool commands
  std::vector<QAction*> operationActions;
  QAction* saveAction = nullptr;
  QAction* saveAsAction = nullptr;
  QAction* saveCopyAction = nullptr;
  QAction* revertAction = nullptr;
  QAction* printAction = nullptr;
  QAction* scanAction = nullptr;
  QAction* selectSourceAction = nullptr;
  bool selectingSource = false;
  QAction* closeAction = nullptr;
  QAction* exitAction = nullptr;
  QAction* newWindowAction = nullptr;
  // Off while a long edit runs (EnableClose): the window, its child frames,
  // Close and Exit stay as they are. Execute strings a second instance
  // forwards meanwhile wait for the end of the edit.
  bool closeEnabled = true;
  QStringList deferredShellCommands;
  ProgressPane progressPane;
  platform::MainWindowSink* previousSink = nullptr;
  std::function<MainWindow::SaveAnswer(const QString&)> saveQuestion;
  // Shell: the recent files (kept in recentSettings) and their File menu
  // entries, the size pane, and how a forwarded print is done.
  platform::Settings* recentSettings = nullptr;
  RecentFileList recentFiles;
  std::vector<QAction*> recentActions;
  QLabel* sizePane = nullptr;
  std::function<ShellPrintOutcome(const std::string&, const std::string&)> shellPrinter = PrintFileOnQueue;
  // The control bars: option pages, colours, histogram.
  OptionPages* optionPages = nullptr;
  ColorBar* colorBar = nullptr;
  HistogramBar* histogramBar = nullptr;
  // Record Script and Play Script.
  QAction* recordAction = nullptr;
  std::unique_ptr<ScriptRecorder> recorder;
  AnswerRecordingSink answerSink;
  bool answerSinkInstalled = false;
  void ToggleRecording(bool on);
  // The answer sink goes back out only while it is the current sink (a sink
  // installed after it keeps its place).
  void UninstallAnswerSink() {
    if (!answerSinkInstalled) return;
    platform::MessageSink* current = platform::SetMessageSink(answerSink.previous);
    if (current == &answerSink) {
      answerSinkInstalled = false;
    } else {
      platform::SetMessageSink(current);
    }
  }
  void AskPlayScript();
  // Crash recovery.
  std::unique_ptr<Recovery> recovery;
  QTimer* recoveryTimer = nullptr;

  ViewFrame* ActiveFrame() const;
  std::vector<ViewFrame*> Frames() const;
  void AddView(OpenDoc& doc);
  void ViewGone(OpenDoc& doc);
  bool MayCloseView(ViewFrame& frame);
  bool AskSave(OpenDoc& doc);
  bool Save(OpenDoc& doc);
  bool SaveAs(OpenDoc& doc);
  void OpenWithDialog();
  void PrintActive();
  void ChoosePrinter();
  void MonitorGamma();
  void SaveIcm(bool printer);
  // The commands whose dialogs are not built yet say so.
  void NotYet(const QString& what) {
    QMessageBox::information(self, "Vividrome", QString("%1 is not available yet.").arg(what));
  }
  bool NewDocumentBy(CreationMode mode, const std::string& title);
#ifdef VIVID_HAVE_ACQUIRE
  void InstallScanning();
#endif
  void CloseDocument(OpenDoc& doc);
  void RunCommand(int id);
  void RunOperation(const OperationDef& def);
  void SelectTool(int id);
  void SyncViews(const CVividDoc* doc);
  void AfterViewEvent();
  void UpdateTitles();
  void BuildMenus();
  void BuildToolBar();
  QAction* AddCommand(QMenu* menu, int id);
  void AddRecentFile(const std::string& path);
  void UpdateRecentMenu();
  void UpdateSizePane();

  // platform::MainWindowSink
  void StatusText(std::string_view text) override {
    progressPane.Forget();
    self->statusBar()->showMessage(FromStd(text));
  }
  void ProgressPosition(int position, std::string_view text) override {
    if (progressPane.Changed(position, text)) self->statusBar()->showMessage(FromStd(FormatProgress(position, text)));
  }
  void Ready() override {
    progressPane.Forget();
    self->statusBar()->showMessage(kReadyText);
  }
  void EnableClose(bool on) override;
  void Repaint() override { self->repaint(); }
  void WaitCursor(bool on) override {
    if (on)
      QApplication::setOverrideCursor(Qt::WaitCursor);
    else
      QApplication::restoreOverrideCursor();
  }
};

// One child frame: one view of a document. The frame owns the view; the
// document belongs to the main window and goes with its last view.
class ViewFrame final : public QMdiSubWindow {
 public:
  ViewFrame(MainWindowImpl& owner, OpenDoc& doc)
      : owner_(owner), doc_(doc), number_(doc.nextNumber++), view_(std::make_unique<CVividView>(*doc.doc)) {
    setAttribute(Qt::WA_DeleteOnClose);
    widget_ = new ImageViewWidget(*view_);
    setWidget(widget_);
    ++doc_.views;
  }
  ~ViewFrame() override {
    // The widget goes before the view it points to, the view before its
    // document.
    delete widget_;
    if (owner_.recorder) owner_.recorder->ViewClosed(*view_);
    view_.reset();
    owner_.ViewGone(doc_);
  }
  OpenDoc& Doc() const { return doc_; }
  CVividView& View() const { return *view_; }
  ImageViewWidget* Widget() const { return widget_; }
  int Number() const { return number_; }

 protected:
  void closeEvent(QCloseEvent* event) override {
    // Not while an edit runs: the view and its document are in use.
    if (!owner_.closeEnabled || !owner_.MayCloseView(*this)) {
      event->ignore();
      return;
    }
    QMdiSubWindow::closeEvent(event);
  }

 private:
  MainWindowImpl& owner_;
  OpenDoc& doc_;
  int number_;
  std::unique_ptr<CVividView> view_;
  ImageViewWidget* widget_ = nullptr;
};

ViewFrame* MainWindowImpl::ActiveFrame() const { return dynamic_cast<ViewFrame*>(area->activeSubWindow()); }

std::vector<ViewFrame*> MainWindowImpl::Frames() const {
  std::vector<ViewFrame*> frames;
  for (QMdiSubWindow* w : area->subWindowList())
    if (auto* frame = dynamic_cast<ViewFrame*>(w)) frames.push_back(frame);
  return frames;
}

void MainWindowImpl::AddView(OpenDoc& doc) {
  auto* frame = new ViewFrame(*this, doc);
  if (recorder) {
    frame->View().SetRecorder(recorder.get());
    recorder->ViewAdded(frame->View());
  }
  area->addSubWindow(frame);
  frame->Widget()->SetAfterEvent([this] { AfterViewEvent(); });
  // Start at the image's size where the area has room for it.
  const CDIBitmap& image = doc.doc->GetImage();
  const QSize room = area->viewport()->size() * 9 / 10;
  const QSize chrome = frame->size() - frame->Widget()->viewport()->size();
  QSize size(image.GetWidth() + 4, image.GetHeight() + 4);
  size = size.expandedTo(QSize(160, 120)) + chrome.expandedTo(QSize(0, 0));
  frame->resize(size.boundedTo(room.expandedTo(QSize(200, 150))));
  frame->show();
  frame->Widget()->setFocus();
  UpdateTitles();
  self->RefreshCommands();
}

void MainWindowImpl::ViewGone(OpenDoc& doc) {
  if (--doc.views > 0) {
    UpdateTitles();
    return;
  }
  if (recovery) recovery->Remove(*doc.doc);
  docs.erase(std::remove_if(docs.begin(), docs.end(), [&](const auto& d) { return d.get() == &doc; }), docs.end());
}

bool MainWindowImpl::AskSave(OpenDoc& doc) {
  if (!doc.doc->IsModified()) return true;
  const MainWindow::SaveAnswer answer = saveQuestion(FromStd(doc.doc->GetTitle()));
  if (answer == MainWindow::SaveAnswer::Cancel) return false;
  if (answer == MainWindow::SaveAnswer::No) return true;
  return Save(doc);
}

bool MainWindowImpl::MayCloseView(ViewFrame& frame) {
  OpenDoc& doc = frame.Doc();
  if (doc.closing || doc.views > 1) return true;
  return AskSave(doc);
}

bool MainWindowImpl::Save(OpenDoc& doc) {
  if (!doc.doc->HasFile()) return SaveAs(doc);
  const bool saved = doc.doc->OnFileSave();
  if (saved && recorder) recorder->DocumentSaved(*doc.doc, doc.doc->GetPathName());
  if (saved && recovery) recovery->Remove(*doc.doc);
  UpdateTitles();
  return saved;
}

bool MainWindowImpl::SaveAs(OpenDoc& doc) {
  // The document's own Save As: its file dialog with the save types of the
  // image's kind, the chosen type's extension for a name without one, and
  // the questions about read-only and existing files.
  const bool saved = doc.doc->OnFileSaveAs();
  if (saved && recorder) recorder->DocumentSaved(*doc.doc, doc.doc->GetPathName());
  if (saved && recovery) recovery->Remove(*doc.doc);
  UpdateTitles();
  return saved;
}

void MainWindowImpl::OpenWithDialog() {
  // The open types of the formats, "All Images" preselected, starting in
  // the folder of the last file chosen.
  platform::FileDialogRequest request;
  request.mode = platform::FileDialogMode::Open;
  request.title = "Open";
  request.filter = BuildOpenFilter();
  request.typeIndex = 2;
  request.initialFolder = CVividDoc::GetLastDirectory();
  const std::optional<platform::FileDialogResult> chosen = platform::CurrentPrompts().FileDialog(request);
  if (!chosen) return;
  const QString path = QString::fromStdString(chosen->path);
  CVividDoc::SetLastDirectory(QFileInfo(path).absolutePath().toStdString());
  self->OpenFile(path);
}

#ifdef VIVID_HAVE_ACQUIRE
void MainWindowImpl::InstallScanning() {
  // The source chooser is a list of the devices; the source's own dialog
  // chooses mode, resolution and area, with a preview of the bed.
  acquire::SetManagerLoader([this] {
    static platform::MemorySettings unsaved;
    return acquire::MakeSaneManager(
        recentSettings ? recentSettings : &unsaved,
        [this](const std::vector<acquire::TW_IDENTITY>& sources, size_t preselected) -> std::optional<size_t> {
          QStringList names;
          for (const acquire::TW_IDENTITY& source : sources)
            names << QString("%1 (%2 %3)").arg(source.ProductName, source.Manufacturer, source.ProductFamily);
          bool ok = false;
          const QString chosen = QInputDialog::getItem(self, "Select Source", "Sources:", names,
                                                       static_cast<int>(preselected), false, &ok);
          if (!ok) return std::nullopt;
          return static_cast<size_t>(names.indexOf(chosen));
        },
        [this](const acquire::ScanRequest& request, acquire::ScanOptions& options) {
          return app::RunScanDialog(self, request, options, recentSettings);
        });
  });
  CVividDoc::SetNewDocumentSource(CM_ACQUIRE, [this](CVividDoc& document) {
    // While the source runs the window may not close; the transfer reports
    // its rows on the status line, and Esc stops it.
    CVividDoc::SetScanBusy(true);
    platform::MainWindow().EnableClose(false);
    self->RefreshCommands();
    platform::ResetCancel();
    ProgressEnable(true);
    ProgressBegin(0, 100);
    acquire::Acquisition acquisition;
    acquire::ImageDescriptor descriptor;
    const int acquired = acquisition.Acquire(document.GetImage(), descriptor);
    ProgressEnable(false);
    platform::MainWindow().Ready();
    platform::MainWindow().EnableClose(true);
    CVividDoc::SetScanBusy(false);
    self->RefreshCommands();
    return acquired != 0;
  });
}
#endif

bool MainWindowImpl::NewDocumentBy(CreationMode mode, const std::string& title) {
  auto doc = std::make_unique<OpenDoc>();
  doc->doc = std::make_unique<CVividDoc>();
  const CreationMode previous = CVividDoc::GetCreationMode();
  CVividDoc::SetCreationMode(mode);
  const bool made = doc->doc->OnNewDocument();
  CVividDoc::SetCreationMode(previous);
  if (!made) return false;
  doc->doc->SetTitle(title);
  // A blank or described image is a script's `new`; the others are noted
  // as the recorder sees their view come.
  if (recorder && (mode == CM_BLANK || mode == CM_TAKE_IMAGE)) recorder->DocumentCreated(*doc->doc);
  docs.push_back(std::move(doc));
  AddView(*docs.back());
  return true;
}

void MainWindowImpl::CloseDocument(OpenDoc& doc) {
  if (!AskSave(doc)) return;
  doc.closing = true;
  // Closing the last frame destroys `doc`; collect the frames first.
  std::vector<ViewFrame*> frames;
  for (ViewFrame* f : Frames())
    if (&f->Doc() == &doc) frames.push_back(f);
  for (ViewFrame* f : frames) f->close();
}

void MainWindowImpl::SyncViews(const CVividDoc* doc) {
  for (ViewFrame* f : Frames())
    if (!doc || f->Doc().doc.get() == doc) f->Widget()->SyncFromView();
}

void MainWindowImpl::RunCommand(int id) {
  if (id == kCmdNewWindow) {
    self->NewWindow();
    return;
  }
  ViewFrame* frame = ActiveFrame();
  const CommandDef* def = FindCommand(static_cast<ViewCommand>(id));
  if (!frame || !def) return;
  // Any Angle and Shear are preview effects: their dialog shows the result.
  if (def->operation == "rotate" || def->operation == "shear") {
    if (const OperationDef* operation = FindOperationNamed(def->operation)) return RunOperation(*operation);
  }
  CVividView& view = frame->View();
  OperationArgs args;
  if (!def->params.empty()) {
    std::optional<OperationArgs> asked = AskCommandArguments(self, *def, &view.GetImage());
    if (!asked) return;
    args = std::move(*asked);
  }
  view.RunCommand(static_cast<ViewCommand>(id), args);
  // A command may change every view of the document (or make documents).
  SyncViews(nullptr);
  UpdateTitles();
  self->RefreshCommands();
}

void MainWindowImpl::RunOperation(const OperationDef& def) {
  ViewFrame* frame = ActiveFrame();
  if (!frame) return;
  CVividView& view = frame->View();
  // Curves and Levels have their own dialogs with a live preview.
  if (RunToneDialog(self, view, def.name, [this] { SyncViews(nullptr); })) {
    SyncViews(nullptr);
    UpdateTitles();
    self->RefreshCommands();
    return;
  }
  // Preview effects with a dialog of their own open it, modeless, with the
  // live preview in this view; it repaints the views after each step.
  const std::optional<EffectRecord> record = FindEffectRecord(def.name, false);
  if (record && record->preview && FindEffectDialog(def.name)) {
    OpenEffectDialog(self, *frame->Widget(), def, [this] {
      SyncViews(nullptr);
      UpdateTitles();
      self->RefreshCommands();
    });
    return;
  }
  const std::optional<ParsedOperation> operation = AskOperation(self, def, &view.GetImage());
  if (!operation) return;
  view.RunEffect(*operation);
  SyncViews(nullptr);
  UpdateTitles();
  self->RefreshCommands();
}

void MainWindowImpl::SelectTool(int id) {
  CToolSettings& tools = ToolSettings();
  tools.SelectTool(tools.ToolOfCommand(id));
  optionPages->FollowTool(tools.ActiveTool());
  for (ViewFrame* f : Frames()) {
    f->View().OnToolChanged();
    f->Widget()->SyncFromView();
  }
  self->RefreshCommands();
}

void MainWindowImpl::AfterViewEvent() {
  const CVividView* view = self->ActiveView();
  const std::optional<platform::Point> at = view ? view->PointerImagePosition() : std::nullopt;
  position->setText(at ? QString::asprintf("%d, %d", at->x, at->y) : QString());
  // A menu's status tips clear the status line; the idle text comes back.
  if (self->statusBar()->currentMessage().isEmpty()) Ready();
  // An edit in one view repaints the others of its document.
  if (view) SyncViews(&view->GetDocument());
  self->RefreshCommands();
}

void MainWindowImpl::UpdateTitles() {
  for (ViewFrame* f : Frames()) {
    QString title = FromStd(f->Doc().doc->GetTitle());
    if (f->Doc().views > 1) title += QString(":%1").arg(f->Number());
    if (f->Doc().doc->IsModified()) title += " *";
    if (f->windowTitle() != title) f->setWindowTitle(title);
  }
}

QAction* MainWindowImpl::AddCommand(QMenu* menu, int id) {
  if (id == 0) {
    menu->addSeparator();
    return nullptr;
  }
  const CommandDef* def = FindCommand(static_cast<ViewCommand>(id));
  if (!def) return nullptr;
  QAction* action = menu->addAction(FromStd(def->menuText));
  action->setShortcuts(ShortcutsOf(id));
  QObject::connect(action, &QAction::triggered, self, [this, id] { RunCommand(id); });
  commandActions[id] = action;
  return action;
}

void MainWindowImpl::ChoosePrinter() { RunPrinterSetup(self); }

void MainWindowImpl::PrintActive() {
  ViewFrame* frame = ActiveFrame();
  if (!frame) return;
  // The print dialog, then the job on a worker thread with its progress
  // panel; the image is copied, so editing may go on meanwhile.
  RunPrintCommand(self, frame->Doc().doc->GetImage(), [this](const std::string& failure) {
    if (failure.empty()) self->statusBar()->showMessage("Printed", 5000);
  });
}

void MainWindowImpl::MonitorGamma() {
  if (!RunMonitorGamma(self)) return;
  // Every view of every document is drawn again.
  for (const auto& doc : docs) doc->doc->UpdateAllViews(kHintRedraw);
  SyncViews(nullptr);
}

void MainWindowImpl::SaveIcm(bool printer) {
  // The profiles chosen under Color Management, else the machine strings.
  color::ColorManagementSettings chosen;
  if (recentSettings) chosen.Load(*recentSettings);
  const MachinePaths& paths = CurrentAppSettings().paths;
  if (chosen.outputPath.empty()) chosen.outputPath = paths.icmPrinter;
  if (chosen.displayPath.empty()) chosen.displayPath = paths.icmMonitor;
  const std::optional<std::string> written =
      printer ? SavePrinterIcm(chosen, paths.workPath) : SaveMonitorIcm(chosen, paths.workPath);
  if (written) self->statusBar()->showMessage(QString("Written %1").arg(FromStd(*written)), 5000);
}

void MainWindowImpl::ToggleRecording(bool on) {
  if (on == (recorder != nullptr)) {
    recordAction->setChecked(on);
    return;
  }
  if (on) {
    self->StartRecording();
    return;
  }
  // Stopping asks where the script goes; Cancel keeps recording.
  platform::FileDialogRequest request;
  request.mode = platform::FileDialogMode::Save;
  request.title = "Save Script";
  request.initialName = "session.vscript";
  request.initialFolder = CVividDoc::GetLastDirectory();
  request.filter = "Scripts(*.vscript;*.txt)|*.vscript;*.txt|All Files(*.*)|*.*||";
  const std::optional<platform::FileDialogResult> chosen = platform::CurrentPrompts().FileDialog(request);
  if (!chosen || !self->StopRecording(QString::fromStdString(chosen->path))) recordAction->setChecked(true);
}

void MainWindowImpl::AskPlayScript() {
  platform::FileDialogRequest request;
  request.mode = platform::FileDialogMode::Open;
  request.title = "Play Script";
  request.initialFolder = CVividDoc::GetLastDirectory();
  request.filter = "Scripts(*.vscript;*.txt)|*.vscript;*.txt|All Files(*.*)|*.*||";
  const std::optional<platform::FileDialogResult> chosen = platform::CurrentPrompts().FileDialog(request);
  if (chosen) self->PlayScript(QString::fromStdString(chosen->path));
}

void MainWindowImpl::BuildMenus() {
  QMenuBar* bar = self->menuBar();
  QMenu* file = bar->addMenu("&File");
  QAction* newImage = file->addAction("New Image...");
  newImage->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  QObject::connect(newImage, &QAction::triggered, self, [this] { self->NewImageFromDialog(); });
  QAction* open = file->addAction("&Open...");
  open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  QObject::connect(open, &QAction::triggered, self, [this] { OpenWithDialog(); });
  QAction* pasteNew = file->addAction("Paste On &New");
  QObject::connect(pasteNew, &QAction::triggered, self, [this] { self->PasteOnNew(); });
  QObject::connect(file->addAction("Cap&ture Screen"), &QAction::triggered, self,
                   [this] { self->CaptureScreenDocument(); });
  QAction* combine = file->addAction("Channel Co&mbine...");
  QObject::connect(combine, &QAction::triggered, self, [this] { self->ChannelCombine(); });
  // Paste On New needs an image on the clipboard, Channel Combine a document.
  QObject::connect(file, &QMenu::aboutToShow, self, [this, pasteNew, combine] {
    pasteNew->setEnabled(platform::CurrentClipboard().IsFormatAvailable(platform::kClipboardDIB));
    combine->setEnabled(!docs.empty());
  });
  saveAction = file->addAction("&Save");
  saveAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  QObject::connect(saveAction, &QAction::triggered, self, [this] {
    if (ViewFrame* f = ActiveFrame()) Save(f->Doc());
    self->RefreshCommands();
  });
  saveAsAction = file->addAction("Save &As...");
  QObject::connect(saveAsAction, &QAction::triggered, self, [this] {
    if (ViewFrame* f = ActiveFrame()) SaveAs(f->Doc());
    self->RefreshCommands();
  });
  saveCopyAction = file->addAction("Save Cop&y As...");
  QObject::connect(saveCopyAction, &QAction::triggered, self, [this] {
    if (ViewFrame* f = ActiveFrame()) f->Doc().doc->OnFileSaveCopyAs();
    self->RefreshCommands();
  });
  revertAction = file->addAction("&Revert");
  QObject::connect(revertAction, &QAction::triggered, self, [this] {
    if (ViewFrame* f = ActiveFrame()) {
      f->Doc().doc->OnFileRevert();
      SyncViews(f->Doc().doc.get());
    }
    self->RefreshCommands();
  });
  closeAction = file->addAction("&Close");
  QObject::connect(closeAction, &QAction::triggered, self, [this] {
    if (ViewFrame* f = ActiveFrame()) CloseDocument(f->Doc());
  });
  file->addSeparator();
  // Scanning comes through its source manager (SANE where it is built);
  // without one the new document says that scanning is not available.
#ifdef VIVID_HAVE_ACQUIRE
  InstallScanning();
#endif
  scanAction = file->addAction("Image Scan...");
  QObject::connect(scanAction, &QAction::triggered, self, [this] { NewDocumentBy(CM_ACQUIRE, UntitledName()); });
  selectSourceAction = file->addAction("Select Scan Source ...");
  QObject::connect(selectSourceAction, &QAction::triggered, self, [this] {
#ifdef VIVID_HAVE_ACQUIRE
    // Neither scanning nor a second selection while the source is chosen.
    selectingSource = true;
    self->RefreshCommands();
    acquire::Acquisition acquisition;
    acquisition.SelectSource();
    selectingSource = false;
    self->RefreshCommands();
#else
    platform::ShowMessage("No scan source is installed.", "Select Scan Source");
#endif
  });
  file->addSeparator();
  printAction = file->addAction("&Print...");
  printAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  QObject::connect(printAction, &QAction::triggered, self, [this] { PrintActive(); });
  QObject::connect(file->addAction("Page Set&up..."), &QAction::triggered, self, [this] {
    ViewFrame* frame = ActiveFrame();
    RunPageSetup(self, frame ? &frame->Doc().doc->GetImage() : nullptr);
  });
  QObject::connect(file->addAction("Printer Setup ..."), &QAction::triggered, self, [this] { ChoosePrinter(); });
  // The recent files, "&1 PATH" .. "1&0 PATH", hidden while unused; the
  // menu collapses the separators around an empty list.
  file->addSeparator();
  for (size_t i = 0; i < kMaxRecentFiles; ++i) {
    QAction* action = file->addAction(QString());
    action->setVisible(false);
    QObject::connect(action, &QAction::triggered, self, [this, i] { self->OpenRecentFile(static_cast<int>(i)); });
    recentActions.push_back(action);
  }
  file->addSeparator();
  exitAction = file->addAction("E&xit");
  QObject::connect(exitAction, &QAction::triggered, self, [this] { self->close(); });

  QMenu* edit = bar->addMenu("&Edit");
  for (int id : kEditMenu) AddCommand(edit, id);
  edit->addSeparator();
  recordAction = edit->addAction("Record Script");
  recordAction->setCheckable(true);
  QObject::connect(recordAction, &QAction::triggered, self, [this](bool on) { ToggleRecording(on); });
  QObject::connect(edit->addAction("Play Script..."), &QAction::triggered, self, [this] { AskPlayScript(); });
  QMenu* select = bar->addMenu("&Select");
  for (int id : kSelectMenu) AddCommand(select, id);
  QMenu* image = bar->addMenu("&Image");
  QMenu* rotate = image->addMenu("&Rotate");
  for (int id : kRotateMenu) AddCommand(rotate, id);
  QMenu* flip = image->addMenu("&Flip");
  for (int id : kFlipMenu) AddCommand(flip, id);
  for (int id : kImageMenu) AddCommand(image, id);
  // The Image menu's own entries (Canvas Size) first, then its submenus and
  // the Filter menu.
  QMenu* tone = nullptr;
  QMenu* mode = nullptr;
  QMenu* filter = nullptr;
  QMenu* edges = nullptr;
  for (const bool imageItself : {true, false}) {
    if (!imageItself) {
      image->addSeparator();
      tone = image->addMenu("&Adjust");
      mode = image->addMenu("&Mode");
      filter = bar->addMenu("Fil&ter");
    }
    for (const EffectMenuEntry& entry : EffectMenuEntries()) {
      if ((entry.menu == EffectMenu::Image) != imageItself) continue;
      QMenu* menu = entry.menu == EffectMenu::Image    ? image
                    : entry.menu == EffectMenu::Adjust ? tone
                    : entry.menu == EffectMenu::Mode   ? mode
                                                       : filter;
      if (entry.menu == EffectMenu::EdgeFilter) {
        if (!edges) {
          filter->addSeparator();
          edges = filter->addMenu("Ed&ge Detection");
        }
        menu = edges;
      }
      if (entry.menuText.empty()) {
        menu->addSeparator();
        continue;
      }
      QAction* action = menu->addAction(FromStd(entry.menuText));
      if (const OperationDef* op = FindOperationNamed(entry.operation)) {
        QObject::connect(action, &QAction::triggered, self, [this, op] { RunOperation(*op); });
      } else {
        // The few entries whose dialogs come later say so instead of doing
        // nothing.
        const QString text = FromStd(entry.menuText).remove('&').remove("...");
        QObject::connect(action, &QAction::triggered, self, [this, text] {
          QMessageBox::information(self, "Vividrome", QString("%1 is not available yet.").arg(text));
        });
      }
      operationActions.push_back(action);
    }
  }
  mode->addSeparator();
  AddCommand(mode, kCmdChannelSeparate);
  QMenu* view = bar->addMenu("&View");
  for (int id : kViewMenu) AddCommand(view, id);
  // The application's options: the measuring unit, the halftoning of the
  // direct print paths, and the colour commands.
  QMenu* options = bar->addMenu("&Options");
  QMenu* units = options->addMenu("&Units");
  for (int id : kUnitsMenu) AddCommand(units, id);
  QMenu* halftone = options->addMenu("&Halftone");
  for (int id : kHalftoneMenu) AddCommand(halftone, id);
  options->addSeparator();
  QObject::connect(options->addAction("&Monitor Gamma..."), &QAction::triggered, self, [this] { MonitorGamma(); });
  QObject::connect(options->addAction("CMYK Setup ..."), &QAction::triggered, self, [this] { RunCmykSetup(self); });
  QObject::connect(options->addAction("Color Management ..."), &QAction::triggered, self, [this] {
    // Without the application's settings file the choice lasts for this run.
    static platform::MemorySettings unsaved;
    if (!RunColorManagement(self, recentSettings ? *recentSettings : unsaved)) return;
    for (const auto& doc : docs) doc->doc->UpdateAllViews(kHintRedraw);
    SyncViews(nullptr);
  });
  QObject::connect(options->addAction("save Printer ICM"), &QAction::triggered, self, [this] { SaveIcm(true); });
  QObject::connect(options->addAction("save Monitor ICM"), &QAction::triggered, self, [this] { SaveIcm(false); });
  QMenu* window = bar->addMenu("&Window");
  newWindowAction = AddCommand(window, kCmdNewWindow);
  window->addSeparator();
  QObject::connect(window->addAction("&Cascade"), &QAction::triggered, area, &QMdiArea::cascadeSubWindows);
  QObject::connect(window->addAction("&Tile"), &QAction::triggered, area, &QMdiArea::tileSubWindows);

  for (QMenu* menu : {file, edit, select, image, rotate, flip, tone, mode, filter, view, options, units, halftone, window})
    QObject::connect(menu, &QMenu::aboutToShow, self, [this] { self->RefreshCommands(); });
}

void MainWindowImpl::BuildToolBar() {
  QToolBar* tools = new QToolBar("Tools", self);
  tools->setObjectName("Tools");
  self->addToolBar(Qt::LeftToolBarArea, tools);
  tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
  for (const ToolCommandDef& def : ToolCommands()) {
    QAction* action = tools->addAction(ToolLabel(def));
    action->setCheckable(true);
    if (!def.toolTip.empty()) action->setToolTip(FromStd(def.toolTip));
    const int id = def.id;
    QObject::connect(action, &QAction::triggered, self, [this, id] { SelectTool(id); });
    commandActions[id] = action;
  }
}

MainWindow::MainWindow() : d_(std::make_unique<MainWindowImpl>()) {
  d_->self = this;
  setWindowTitle("Vividrome");
  setAcceptDrops(true);
  // The theme's icon where the editor is installed, else the built-in one.
  QIcon icon = QIcon::fromTheme("vividrome");
  if (icon.isNull())
    for (const int size : {32, 64, 256}) icon.addFile(QString(":/icons/vividrome-%1.png").arg(size));
  setWindowIcon(icon);
  if (QApplication::windowIcon().isNull()) QApplication::setWindowIcon(icon);
  d_->area = new QMdiArea(this);
  d_->area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  d_->area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(d_->area);
  d_->position = new QLabel(this);
  d_->position->setMinimumWidth(90);
  statusBar()->addPermanentWidget(d_->position);
  // The size pane: the active image's width, height and memory size.
  d_->sizePane = new QLabel(this);
  d_->sizePane->setMinimumWidth(160);
  statusBar()->addPermanentWidget(d_->sizePane);
  statusBar()->showMessage("Ready !");
  d_->BuildMenus();
  d_->BuildToolBar();
  // The control bars, each shown or hidden from View > Control Bars.
  auto* options = new QDockWidget("Options", this);
  options->setObjectName("Options");
  d_->optionPages = new OptionPages(options);
  d_->optionPages->SetViewAccess([this] { return ActiveView(); }, [this] {
    d_->SyncViews(nullptr);
    RefreshCommands();
  });
  // The pages scroll inside the dock, so a short window can still hold it.
  auto* pagesScroller = new QScrollArea(options);
  pagesScroller->setWidgetResizable(true);
  pagesScroller->setFrameShape(QFrame::NoFrame);
  pagesScroller->setWidget(d_->optionPages);
  options->setWidget(pagesScroller);
  addDockWidget(Qt::RightDockWidgetArea, options);
  auto* colors = new QToolBar("Color", this);
  colors->setObjectName("Color");
  d_->colorBar = new ColorBar(colors);
  colors->addWidget(d_->colorBar);
  addToolBar(Qt::TopToolBarArea, colors);
  auto* histogram = new QDockWidget("Histogram", this);
  histogram->setObjectName("Histogram");
  d_->histogramBar = new HistogramBar(histogram);
  histogram->setWidget(d_->histogramBar);
  addDockWidget(Qt::RightDockWidgetArea, histogram);
  for (QAction* menu : menuBar()->actions())
    if (menu->menu() && menu->text() == "&View") {
      menu->menu()->addSeparator();
      QMenu* bars = menu->menu()->addMenu("Control &Bars");
      for (QAction* toggle : {options->toggleViewAction(), colors->toggleViewAction(), histogram->toggleViewAction()})
        bars->addAction(toggle);
    }
  connect(d_->area, &QMdiArea::subWindowActivated, this, [this] { RefreshCommands(); });
  d_->previousSink = platform::SetMainWindow(d_.get());
  d_->saveQuestion = [this](const QString& title) {
    const auto answer =
        QMessageBox::question(this, "Vividrome", QString("Save changes to %1?").arg(title),
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    return answer == QMessageBox::Yes ? SaveAnswer::Yes : answer == QMessageBox::No ? SaveAnswer::No : SaveAnswer::Cancel;
  };
  // Documents a command makes (Channel Separate) open in windows of their own.
  CVividView::SetNewDocumentSink([this](std::unique_ptr<CDIBitmap> image, const std::string& title) {
    AddImageDocument(std::move(image), title);
  });
  resize(1024, 720);
  RefreshCommands();
}

MainWindow::~MainWindow() {
  // A recording not stopped is dropped with the window; the views stop
  // reporting before they go.
  for (ViewFrame* f : d_->Frames()) f->View().SetRecorder(nullptr);
  d_->recorder.reset();
  d_->answerSink.recorder = nullptr;
  d_->UninstallAnswerSink();
  if (d_->recentSettings) CVividDoc::SetRecentFileHandler({});
  CVividView::SetNewDocumentSink({});
#ifdef VIVID_HAVE_ACQUIRE
  // The scanning hooks name this window.
  CVividDoc::SetNewDocumentSource(CM_ACQUIRE, {});
  acquire::SetManagerLoader({});
#endif
  platform::SetMainWindow(d_->previousSink);
  // The frames (and with them the views and documents) go while the
  // window's state they report to still exists.
  // Closed frames waiting for their deferred deletion count too.
  for (QMdiSubWindow* w : d_->area->findChildren<QMdiSubWindow*>()) delete w;
  // A clean end leaves no recovery copy of this session.
  if (d_->recovery) d_->recovery->RemoveAll();
}

// --- Record Script, Play Script ---

void MainWindow::StartRecording() {
  if (d_->recorder) return;
  d_->recorder = std::make_unique<ScriptRecorder>();
  // The documents open now, in opening order, then their views.
  for (const auto& doc : d_->docs) d_->recorder->ExistingDocument(*doc->doc);
  for (ViewFrame* f : d_->Frames()) {
    f->View().SetRecorder(d_->recorder.get());
    d_->recorder->ViewAdded(f->View());
  }
  d_->answerSink.recorder = d_->recorder.get();
  if (!d_->answerSinkInstalled) {
    d_->answerSink.previous = platform::SetMessageSink(&d_->answerSink);
    d_->answerSinkInstalled = true;
  }
  d_->recordAction->setChecked(true);
}

bool MainWindow::Recording() const { return d_->recorder != nullptr; }

QString MainWindow::RecordedScript() const {
  return d_->recorder ? QString::fromStdString(d_->recorder->Text()) : QString();
}

bool MainWindow::StopRecording(const QString& path) {
  if (!d_->recorder) return false;
  if (!d_->recorder->WriteTo(path.toStdString())) {
    platform::ShowMessage(platform::FormatText("The script cannot be written to %s.", path.toStdString().c_str()),
                          "Record Script", platform::MsgIcon::Exclamation);
    return false;  // still recording: nothing is lost
  }
  for (ViewFrame* f : d_->Frames()) f->View().SetRecorder(nullptr);
  d_->answerSink.recorder = nullptr;
  d_->UninstallAnswerSink();
  d_->recorder.reset();
  d_->recordAction->setChecked(false);
  return true;
}

bool MainWindow::PlayScript(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    platform::ShowMessage(platform::FormatText("%s cannot be read.", path.toStdString().c_str()), "Play Script");
    return false;
  }
  const QByteArray text = file.readAll();
  std::vector<ScriptStep> steps;
  ScriptError error;
  if (!ParseScript(std::string_view(text.constData(), static_cast<size_t>(text.size())), steps, error)) {
    platform::ShowMessage(platform::FormatText("Line %d: %s", error.line, error.text.c_str()), "Play Script");
    return false;
  }
  // The script runs in a session of its own, through the same runner as
  // the command line; the documents it leaves open come into the window:
  // those it saved as they stand in their files, the others as modified
  // documents, so nothing it did is lost.
  struct Result {
    std::string savedPath;
    std::unique_ptr<CDIBitmap> image;
    std::string title;
  };
  std::vector<Result> results;
  bool ran = false;
  const CVividView::NewDocumentSink sink = CVividView::GetNewDocumentSink();
  {
    CScriptRunner runner;
    ran = runner.Run(steps, error);
    for (int i = 0; i < runner.DocumentCount(); ++i) {
      CVividDoc& doc = *runner.Document(i);
      Result result;
      result.title = doc.GetTitle();
      if (doc.HasFile() && !doc.IsModified()) {
        result.savedPath = doc.GetPathName();
      } else {
        result.image = std::make_unique<CDIBitmap>();
        if (!result.image->CopyFrom(doc.GetImage())) continue;
      }
      results.push_back(std::move(result));
    }
  }
  CVividView::SetNewDocumentSink(sink);
  for (Result& result : results) {
    if (!result.savedPath.empty())
      OpenFile(QString::fromStdString(result.savedPath));
    else
      AddImageDocument(std::move(result.image), result.title);
  }
  // The script may have chosen tools and options.
  d_->optionPages->FollowTool(ToolSettings().ActiveTool());
  for (ViewFrame* f : d_->Frames()) {
    f->View().OnToolChanged();
    f->Widget()->SyncFromView();
  }
  RefreshCommands();
  if (!ran) platform::ShowMessage(platform::FormatText("Line %d: %s", error.line, error.text.c_str()), "Play Script");
  return ran;
}

// --- crash recovery ---

void MainWindow::EnableRecovery(const QString& folder, int intervalMs) {
  d_->recovery = std::make_unique<Recovery>(folder);
  if (!d_->recoveryTimer) {
    d_->recoveryTimer = new QTimer(this);
    connect(d_->recoveryTimer, &QTimer::timeout, this, [this] { AutosaveNow(); });
  }
  d_->recoveryTimer->start(std::max(1, intervalMs));
}

void MainWindow::AutosaveNow() {
  // Not while an edit runs (a progress pump may bring the timer in).
  if (!d_->recovery || IsEditBusy()) return;
  for (const auto& doc : d_->docs) {
    if (doc->doc->IsModified())
      d_->recovery->Save(*doc->doc);
    else
      d_->recovery->Remove(*doc->doc);
  }
}

int MainWindow::OfferRecovery() {
  if (!d_->recovery || d_->recovery->Leftovers().empty()) return 0;
  const std::vector<Recovery::Entry> leftovers = d_->recovery->Leftovers();
  const platform::MsgAnswer answer = platform::ShowMessage(
      platform::FormatText("Vividrome did not end normally. Recover %d unsaved image%s?",
                           static_cast<int>(leftovers.size()), leftovers.size() == 1 ? "" : "s"),
      "Vividrome", platform::MsgIcon::Question, platform::MsgButtons::YesNo);
  int recovered = 0;
  if (answer == platform::MsgAnswer::Yes) {
    for (const Recovery::Entry& entry : leftovers) {
      std::unique_ptr<CDIBitmap> image = d_->recovery->LoadLeftover(entry);
      if (!image) continue;
      AddImageDocument(std::move(image), entry.title.toStdString());
      ++recovered;
    }
    // The documents are copied again under this session before the old
    // copies go.
    AutosaveNow();
  }
  d_->recovery->DiscardLeftovers();
  return recovered;
}

void MainWindow::NewImage() { d_->NewDocumentBy(CM_BLANK, UntitledName()); }

bool MainWindow::NewImageFromDialog() {
  const std::optional<NewImageSettings> settings = AskNewImage(this);
  if (!settings) return false;
  std::unique_ptr<CDIBitmap> image = MakeNewImage(*settings);
  if (!image) return false;
  CVividDoc::SetPreparedImage(std::move(image));
  const bool made = d_->NewDocumentBy(CM_TAKE_IMAGE, settings->name);
  CVividDoc::SetPreparedImage(nullptr);
  return made;
}

bool MainWindow::PasteOnNew() {
  if (!platform::CurrentClipboard().IsFormatAvailable(platform::kClipboardDIB)) {
    platform::ShowMessage("The Clipboard holds no image.");
    return false;
  }
  const bool made = d_->NewDocumentBy(CM_PASTE, UntitledName());
  RefreshCommands();
  return made;
}

bool MainWindow::CaptureScreenDocument(int delayMs) {
  CVividDoc::SetNewDocumentSource(CM_CAPTURE, [this, delayMs](CVividDoc& document) {
    std::unique_ptr<CDIBitmap> shot = CaptureScreen(this, delayMs);
    if (!shot) return false;
    document.GetImage().Attach(*shot);
    return true;
  });
  const bool made = d_->NewDocumentBy(CM_CAPTURE, UntitledName());
  CVividDoc::SetNewDocumentSource(CM_CAPTURE, {});
  return made;
}

bool MainWindow::ChannelCombine() {
  std::vector<std::string> titles;
  for (const auto& doc : d_->docs) titles.push_back(doc->doc->GetTitle());
  const std::optional<ChannelChoice> choice = AskChannelCombine(this, titles);
  if (!choice) return false;
  std::vector<const CDIBitmap*> planes;
  for (const int index : choice->documents) planes.push_back(&d_->docs.at(static_cast<size_t>(index))->doc->GetImage());
  CVividDoc::SetNewDocumentSource(CM_COMBINE, [&planes](CVividDoc& document) {
    return CombineChannels(document.GetImage(), planes);
  });
  const bool made = d_->NewDocumentBy(CM_COMBINE, UntitledName());
  CVividDoc::SetNewDocumentSource(CM_COMBINE, {});
  return made;
}

void MainWindow::AddImageDocument(std::unique_ptr<CDIBitmap> image, const std::string& title) {
  auto doc = std::make_unique<OpenDoc>();
  doc->doc = std::make_unique<CVividDoc>();
  doc->doc->GetImage().Attach(*image);
  doc->doc->RebuildPalette();
  doc->doc->SetTitle(title);
  doc->doc->SetModifiedFlag(true);
  d_->docs.push_back(std::move(doc));
  d_->AddView(*d_->docs.back());
}

bool MainWindow::OpenFile(const QString& path) {
  auto doc = std::make_unique<OpenDoc>();
  doc->doc = std::make_unique<CVividDoc>();
  if (!doc->doc->OnOpenDocument(path.toStdString())) {
    statusBar()->showMessage(QString("Cannot open %1").arg(path));
    return false;
  }
  // Reading leaves its "Loading File" notice on the status line.
  d_->Ready();
  if (doc->doc->GetTitle().empty()) doc->doc->SetTitle(QFileInfo(path).fileName().toStdString());
  if (d_->recorder)
    d_->recorder->DocumentOpened(*doc->doc, doc->doc->GetPathName().empty() ? path.toStdString()
                                                                             : doc->doc->GetPathName());
  d_->docs.push_back(std::move(doc));
  d_->AddView(*d_->docs.back());
  return true;
}

void MainWindow::NewWindow() {
  if (ViewFrame* frame = d_->ActiveFrame()) d_->AddView(frame->Doc());
}

QMdiArea* MainWindow::Area() const { return d_->area; }

ImageViewWidget* MainWindow::ActiveViewWidget() const {
  ViewFrame* frame = d_->ActiveFrame();
  return frame ? frame->Widget() : nullptr;
}

CVividView* MainWindow::ActiveView() const {
  ViewFrame* frame = d_->ActiveFrame();
  return frame ? &frame->View() : nullptr;
}

int MainWindow::DocumentCount() const { return static_cast<int>(d_->docs.size()); }

QAction* MainWindow::CommandAction(int id) const {
  const auto it = d_->commandActions.find(id);
  return it == d_->commandActions.end() ? nullptr : it->second;
}

void MainWindow::RefreshCommands() {
  const CVividView* view = ActiveView();
  const CToolSettings& tools = ToolSettings();
  for (const auto& [id, action] : d_->commandActions) {
    if (!FindCommand(static_cast<ViewCommand>(id))) {
      // A tool command: always available, pressed while its tool is active.
      action->setChecked(tools.IsToolCommandChecked(id));
      continue;
    }
    const CommandState state = view ? view->GetCommandState(static_cast<ViewCommand>(id)) : CommandState{};
    action->setEnabled(state.enabled);
    action->setCheckable(state.checked);
    action->setChecked(state.checked);
    const QString text = FromStd(state.text);
    if (!text.isEmpty() && action->text() != text) action->setText(text);
  }
  const bool ready = view && !IsEditBusy();
  for (QAction* action : d_->operationActions) action->setEnabled(ready);
  const OpenDoc* doc = d_->ActiveFrame() ? &d_->ActiveFrame()->Doc() : nullptr;
  d_->saveAction->setEnabled(doc && doc->doc->CanSave());
  d_->saveAsAction->setEnabled(doc != nullptr);
  d_->saveCopyAction->setEnabled(doc != nullptr);
  d_->revertAction->setEnabled(doc && doc->doc->CanRevert());
  d_->printAction->setEnabled(doc != nullptr);
  d_->closeAction->setEnabled(doc != nullptr && d_->closeEnabled);
  d_->exitAction->setEnabled(d_->closeEnabled);
  const bool acquiring = CVividDoc::IsScanBusy() || d_->selectingSource;
  d_->scanAction->setEnabled(!acquiring);
  d_->selectSourceAction->setEnabled(!acquiring);
  // The control bars follow the settings (a script, the picker) and the
  // active document.
  d_->optionPages->Refresh();
  d_->colorBar->Refresh();
  d_->histogramBar->SetDocument(doc ? doc->doc.get() : nullptr, ActiveViewWidget());
  d_->UpdateTitles();
  d_->UpdateSizePane();
}

void MainWindow::SetSaveQuestion(std::function<SaveAnswer(const QString& title)> question) {
  d_->saveQuestion = std::move(question);
}

// --- shell ---

void MainWindowImpl::AddRecentFile(const std::string& path) {
  const QFileInfo info(QString::fromStdString(path));
  const std::string absolute = info.absoluteFilePath().toStdString();
  recentFiles.Add(absolute);
  CVividDoc::SetLastDirectory(info.absolutePath().toStdString());
  if (recentSettings) recentFiles.Save(*recentSettings);
  UpdateRecentMenu();
}

void MainWindowImpl::UpdateRecentMenu() {
  const std::vector<std::string>& items = recentFiles.Items();
  for (size_t i = 0; i < recentActions.size(); ++i) {
    const bool used = i < items.size();
    recentActions[i]->setVisible(used);
    recentActions[i]->setText(used ? FromStd(RecentFileMenuText(i, items[i])) : QString());
  }
}

void MainWindowImpl::UpdateSizePane() {
  const CVividView* view = self->ActiveView();
  if (!view) {
    sizePane->clear();
    return;
  }
  const CDIBitmap& image = view->GetImage();
  sizePane->setText(FromStd(FormatSizePane(image.GetWidth(), image.GetHeight(),
                                           static_cast<uint64_t>(std::max(image.GetStride(), 0)))));
}

WindowPlacement MainWindow::CurrentPlacement() const {
  WindowPlacement placement;
  placement.showCommand = isMinimized() ? kShowMinimized : isMaximized() ? kShowMaximized : kShowNormal;
  const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
  placement.left = normal.x();
  placement.top = normal.y();
  placement.right = normal.x() + normal.width();
  placement.bottom = normal.y() + normal.height();
  return placement;
}

void MainWindow::ApplyPlacement(const WindowPlacement& placement) {
  const QRect normal(placement.left, placement.top, placement.right - placement.left,
                     placement.bottom - placement.top);
  bool onScreen = false;
  for (const QScreen* screen : QGuiApplication::screens()) onScreen = onScreen || screen->geometry().intersects(normal);
  if (normal.isValid() && onScreen) setGeometry(normal);
  setWindowState(placement.showCommand == kShowMaximized ? Qt::WindowMaximized : Qt::WindowNoState);
}

void MainWindow::SetRecentFileSettings(platform::Settings* settings) {
  d_->recentSettings = settings;
  if (settings) {
    d_->recentFiles.Load(*settings);
    CVividDoc::SetRecentFileHandler([this](const std::string& path) { d_->AddRecentFile(path); });
  } else {
    CVividDoc::SetRecentFileHandler({});
  }
  d_->UpdateRecentMenu();
}

QStringList MainWindow::RecentFiles() const {
  QStringList list;
  for (const std::string& path : d_->recentFiles.Items()) list << FromStd(path);
  return list;
}

bool MainWindow::OpenRecentFile(int index) {
  const std::vector<std::string>& items = d_->recentFiles.Items();
  if (index < 0 || static_cast<size_t>(index) >= items.size()) return false;
  const std::string path = items[static_cast<size_t>(index)];
  if (OpenFile(FromStd(path))) return true;
  d_->recentFiles.Remove(path);
  if (d_->recentSettings) d_->recentFiles.Save(*d_->recentSettings);
  d_->UpdateRecentMenu();
  return false;
}

QString MainWindow::SizePaneText() const { return d_->sizePane->text(); }

bool MainWindow::ExecuteShellCommand(const QString& text) {
  const std::optional<std::vector<ShellCommand>> commands = ParseExecuteString(text.toStdString());
  if (!commands) return false;
  // A message that arrives while an edit pumps events waits for its end:
  // opening or printing now would run inside the edit.
  if (!d_->closeEnabled) {
    d_->deferredShellCommands << text;
    return true;
  }
  for (const ShellCommand& command : *commands) {
    if (command.action == ShellAction::Open) {
      OpenFile(FromStd(command.file));
      continue;
    }
    const ShellPrintOutcome outcome = d_->shellPrinter(command.file, command.printer);
    if (!outcome.printed && !outcome.message.empty()) platform::ShowMessage(outcome.message);
  }
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
  return true;
}

void MainWindow::SetShellPrinter(
    std::function<ShellPrintOutcome(const std::string& file, const std::string& printer)> printer) {
  d_->shellPrinter = printer ? std::move(printer) : PrintFileOnQueue;
}

namespace {
constexpr int kControlBarsVersion = 1;
constexpr std::string_view kControlBarsSection = "ControlBars";
}  // namespace

void MainWindow::SaveControlBars(platform::Settings& settings) const {
  const QByteArray state = saveState(kControlBarsVersion);
  settings.SetBinary(kControlBarsSection, "State",
                     std::span(reinterpret_cast<const uint8_t*>(state.constData()), static_cast<size_t>(state.size())));
}

void MainWindow::RestoreControlBars(const platform::Settings& settings) {
  const std::optional<std::vector<uint8_t>> state = settings.GetBinary(kControlBarsSection, "State");
  if (!state || state->empty()) return;
  restoreState(QByteArray(reinterpret_cast<const char*>(state->data()), static_cast<qsizetype>(state->size())),
               kControlBarsVersion);
}

namespace {
// The local files among dropped URLs.
QStringList DroppedFiles(const QMimeData* data) {
  QStringList files;
  if (!data || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) files << url.toLocalFile();
  return files;
}
}  // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QStringList files = DroppedFiles(event->mimeData());
  if (files.isEmpty()) return;
  event->acceptProposedAction();
  for (const QString& file : files) OpenFile(file);
}

void MainWindowImpl::EnableClose(bool on) {
  closeEnabled = on;
  closeAction->setEnabled(on && ActiveFrame() != nullptr);
  exitAction->setEnabled(on);
  if (!on || deferredShellCommands.isEmpty()) return;
  // The edit is ending (its frame is still on the stack): the waiting
  // execute strings run from the event loop.
  QTimer::singleShot(0, self, [this] {
    const QStringList waiting = std::exchange(deferredShellCommands, {});
    for (const QString& text : waiting) self->ExecuteShellCommand(text);
  });
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Not while an edit runs: the documents are in use.
  if (!d_->closeEnabled) {
    event->ignore();
    return;
  }
  // Every document is asked about once; Cancel keeps the window open.
  for (const auto& doc : d_->docs)
    if (!d_->AskSave(*doc)) {
      event->ignore();
      return;
    }
  if (d_->recorder) d_->ToggleRecording(false);
  for (const auto& doc : d_->docs) doc->closing = true;
  d_->area->closeAllSubWindows();
  if (d_->recovery) d_->recovery->RemoveAll();
  event->accept();
}

}  // namespace app
