#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>
#include <map>
#include <vector>

#include "app/argument_dialogs.h"
#include "app/color_bar.h"
#include "app/histogram_bar.h"
#include "app/image_view_widget.h"
#include "app/option_pages.h"
#include "document/vivid_doc.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "platform/main_window.h"

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
const std::vector<int> kImageMenu = {kCmdRotate90, kCmdRotate180, kCmdRotate270, 0, kCmdFlipHorizontal, kCmdFlipVertical,
                                     0,            kCmdResize,    kCmdAnyAngle,  kCmdShear, 0, kCmdChannelSeparate};
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

}  // namespace

struct OpenDoc {
  std::unique_ptr<CVividDoc> doc;
  int views = 0;
  int nextNumber = 1;
  // Set while Close closes every view after asking once.
  bool closing = false;
};

class ViewFrame;

struct MainWindowImpl : platform::MainWindowSink {
  MainWindow* self = nullptr;
  QMdiArea* area = nullptr;
  QLabel* position = nullptr;
  std::vector<std::unique_ptr<OpenDoc>> docs;
  std::map<int, QAction*> commandActions;  // view commands and tool commands
  std::vector<QAction*> operationActions;
  QAction* saveAction = nullptr;
  QAction* saveAsAction = nullptr;
  QAction* closeAction = nullptr;
  QAction* newWindowAction = nullptr;
  platform::MainWindowSink* previousSink = nullptr;
  std::function<MainWindow::SaveAnswer(const QString&)> saveQuestion;
  // The control bars: option pages, colours, histogram.
  OptionPages* optionPages = nullptr;
  ColorBar* colorBar = nullptr;
  HistogramBar* histogramBar = nullptr;

  ViewFrame* ActiveFrame() const;
  std::vector<ViewFrame*> Frames() const;
  void AddView(OpenDoc& doc);
  void ViewGone(OpenDoc& doc);
  bool MayCloseView(ViewFrame& frame);
  bool AskSave(OpenDoc& doc);
  bool Save(OpenDoc& doc);
  bool SaveAs(OpenDoc& doc);
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

  // platform::MainWindowSink
  void StatusText(std::string_view text) override { self->statusBar()->showMessage(FromStd(text)); }
  void ProgressPosition(int position, std::string_view text) override {
    self->statusBar()->showMessage(QString("%1 %2%").arg(FromStd(text)).arg(position));
  }
  void Ready() override { self->statusBar()->showMessage("Ready !"); }
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
    view_.reset();
    owner_.ViewGone(doc_);
  }
  OpenDoc& Doc() const { return doc_; }
  CVividView& View() const { return *view_; }
  ImageViewWidget* Widget() const { return widget_; }
  int Number() const { return number_; }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (!owner_.MayCloseView(*this)) {
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
  UpdateTitles();
  return saved;
}

bool MainWindowImpl::SaveAs(OpenDoc& doc) {
  // The file dialog of the toolkit; the chosen name's extension picks the
  // format (a name without one gets the first save type's).
  const QString path = QFileDialog::getSaveFileName(self, "Save As", FromStd(doc.doc->GetTitle()));
  if (path.isEmpty()) return false;
  const bool saved = doc.doc->SaveAsChosen(path.toStdString(), 1);
  UpdateTitles();
  return saved;
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

void MainWindowImpl::BuildMenus() {
  QMenuBar* bar = self->menuBar();
  QMenu* file = bar->addMenu("&File");
  QObject::connect(file->addAction("&New Image"), &QAction::triggered, self, [this] { self->NewImage(); });
  QAction* open = file->addAction("&Open...");
  open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  QObject::connect(open, &QAction::triggered, self, [this] {
    const QString path = QFileDialog::getOpenFileName(self, "Open");
    if (!path.isEmpty()) self->OpenFile(path);
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
  closeAction = file->addAction("&Close");
  QObject::connect(closeAction, &QAction::triggered, self, [this] {
    if (ViewFrame* f = ActiveFrame()) CloseDocument(f->Doc());
  });
  file->addSeparator();
  QObject::connect(file->addAction("E&xit"), &QAction::triggered, self, [this] { self->close(); });

  QMenu* edit = bar->addMenu("&Edit");
  for (int id : kEditMenu) AddCommand(edit, id);
  QMenu* select = bar->addMenu("&Select");
  for (int id : kSelectMenu) AddCommand(select, id);
  QMenu* image = bar->addMenu("&Image");
  for (int id : kImageMenu) AddCommand(image, id);
  image->addSeparator();
  QMenu* tone = image->addMenu("&Adjust");
  QMenu* geometry = image->addMenu("&Geometry");
  QMenu* mode = image->addMenu("&Mode");
  QMenu* filter = bar->addMenu("Fil&ter");
  for (const OperationDef& def : AllOperations()) {
    QMenu* menu = def.family == OperationFamily::Filter     ? filter
                  : def.family == OperationFamily::Tone     ? tone
                  : def.family == OperationFamily::Geometry ? geometry
                                                            : mode;
    QAction* action = menu->addAction(FromStd(OperationMenuText(def)));
    const OperationDef* op = &def;
    QObject::connect(action, &QAction::triggered, self, [this, op] { RunOperation(*op); });
    operationActions.push_back(action);
  }
  QMenu* view = bar->addMenu("&View");
  for (int id : kViewMenu) AddCommand(view, id);
  QMenu* window = bar->addMenu("&Window");
  newWindowAction = AddCommand(window, kCmdNewWindow);
  window->addSeparator();
  QObject::connect(window->addAction("&Cascade"), &QAction::triggered, area, &QMdiArea::cascadeSubWindows);
  QObject::connect(window->addAction("&Tile"), &QAction::triggered, area, &QMdiArea::tileSubWindows);

  for (QMenu* menu : {file, edit, select, image, tone, geometry, mode, filter, view, window})
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
  d_->area = new QMdiArea(this);
  d_->area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  d_->area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(d_->area);
  d_->position = new QLabel(this);
  d_->position->setMinimumWidth(90);
  statusBar()->addPermanentWidget(d_->position);
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
  options->setWidget(d_->optionPages);
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
  CVividView::SetNewDocumentSink({});
  platform::SetMainWindow(d_->previousSink);
  // The frames (and with them the views and documents) go while the
  // window's state they report to still exists.
  // Closed frames waiting for their deferred deletion count too.
  for (QMdiSubWindow* w : d_->area->findChildren<QMdiSubWindow*>()) delete w;
}

void MainWindow::NewImage() {
  auto doc = std::make_unique<OpenDoc>();
  doc->doc = std::make_unique<CVividDoc>();
  if (!doc->doc->OnNewDocument()) return;
  static int untitled = 0;
  if (doc->doc->GetTitle().empty()) doc->doc->SetTitle("Untitled" + std::to_string(++untitled));
  d_->docs.push_back(std::move(doc));
  d_->AddView(*d_->docs.back());
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
  d_->closeAction->setEnabled(doc != nullptr);
  // The control bars follow the settings (a script, the picker) and the
  // active document.
  d_->optionPages->Refresh();
  d_->colorBar->Refresh();
  d_->histogramBar->SetDocument(doc ? doc->doc.get() : nullptr, ActiveViewWidget());
  d_->UpdateTitles();
}

void MainWindow::SetSaveQuestion(std::function<SaveAnswer(const QString& title)> question) {
  d_->saveQuestion = std::move(question);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Every document is asked about once; Cancel keeps the window open.
  for (const auto& doc : d_->docs)
    if (!d_->AskSave(*doc)) {
      event->ignore();
      return;
    }
  for (const auto& doc : d_->docs) doc->closing = true;
  d_->area->closeAllSubWindows();
  event->accept();
}

}  // namespace app
