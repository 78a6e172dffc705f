#include "app/option_pages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <vector>

#include "editing/view_commands.h"
#include "editing/vivid_view.h"

namespace app {

namespace {

// --- the pages' fields ---

enum class FieldKind { Number, List, Switch, Font };

// Reads a field's value for the page of a tool: a number, a list entry, or
// 0/1 for a switch.
using FieldReader = int (*)(const CToolSettings& settings, ViewTool tool);

struct FieldDef {
  QString label;
  const char* option;  // SetOption's name, also the widget's object name
  FieldKind kind;
  int min = 0;
  int max = 0;
  QStringList entries;  // list texts as written
  QStringList values;   // what a list writes where it differs from the text
  FieldReader read = nullptr;
};

struct PageDef {
  QString name;
  ViewTool tool;  // the tool whose options the page writes
  std::vector<FieldDef> fields;
};

BrushOwner BrushOwnerOf(ViewTool tool) {
  switch (tool) {
    case ViewTool::Brush: return BrushOwner::Brush;
    case ViewTool::Airbrush: return BrushOwner::Airbrush;
    case ViewTool::Eraser: return BrushOwner::Eraser;
    case ViewTool::Retouch: return BrushOwner::Retouch;
    case ViewTool::PaintSelection: return BrushOwner::PaintSelection;
    case ViewTool::EditAlpha: return BrushOwner::EditAlpha;
    default: return BrushOwner::Pen;
  }
}

template <size_t N>
QStringList ListOf(const char* const (&names)[N]) {
  QStringList list;
  for (const char* name : names) list << QString::fromUtf8(name);
  return list;
}

QStringList MergeModeList() {
  QStringList list;
  for (std::string_view name : MergeModeNames())
    list << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  return list;
}

std::vector<FieldDef> BrushFields(bool softness) {
  std::vector<FieldDef> fields;
  fields.push_back({"Shape", "shape", FieldKind::List, 0, 0, {"Square", "Circle"}, {},
                    [](const CToolSettings& s, ViewTool t) { return s.BrushOf(BrushOwnerOf(t)).shape; }});
  fields.push_back({"Size  (Pixels)", "size", FieldKind::Number, 0, 100, {}, {},
                    [](const CToolSettings& s, ViewTool t) { return s.BrushOf(BrushOwnerOf(t)).size; }});
  if (softness)
    fields.push_back({"Softness (%)", "softness", FieldKind::Number, 0, 100, {}, {},
                      [](const CToolSettings& s, ViewTool t) { return s.BrushOf(BrushOwnerOf(t)).softness; }});
  fields.push_back({"Spacing (%)", "spacing", FieldKind::Number, 0, 100, {}, {},
                    [](const CToolSettings& s, ViewTool t) { return s.BrushOf(BrushOwnerOf(t)).spacing; }});
  return fields;
}

// A paint page's "Merge mode" (only "Normal" on the Text page) and its
// transparency ("Pressure (%)" on the Air Brush page).
void AddPaintFields(std::vector<FieldDef>& fields, ViewTool tool) {
  const bool text = tool == ViewTool::Text;
  fields.push_back({"Merge mode", "merge-mode", FieldKind::List, 0, 0,
                    text ? QStringList{"Normal"} : MergeModeList(), {},
                    [](const CToolSettings& s, ViewTool t) { return MergeModeEntry(s.PaintOf(t).mergeMode); }});
  const bool air = tool == ViewTool::Airbrush;
  fields.push_back({air ? "Pressure (%)" : "Transparency (%)", air ? "pressure" : "transparency", FieldKind::Number,
                    0, 100, {}, {}, [](const CToolSettings& s, ViewTool t) { return s.PaintOf(t).transparency; }});
}

std::vector<FieldDef> PaintPage(ViewTool tool, bool brush, std::vector<FieldDef> own = {}) {
  std::vector<FieldDef> fields = brush ? BrushFields(true) : std::vector<FieldDef>{};
  for (FieldDef& field : own) fields.push_back(std::move(field));
  AddPaintFields(fields, tool);
  return fields;
}

FieldDef ToleranceField() {
  return {"Tolerance", "tolerance", FieldKind::Number, 0, 255, {}, {},
          [](const CToolSettings& s, ViewTool) { return s.fillTolerance; }};
}

const std::vector<PageDef>& PageDefs() {
  static const std::vector<PageDef> pages = [] {
    std::vector<PageDef> p;
    p.push_back({"Pen", ViewTool::Pen, PaintPage(ViewTool::Pen, true)});
    p.push_back({"Brush", ViewTool::Brush, PaintPage(ViewTool::Brush, true)});
    p.push_back({"Airbrush", ViewTool::Airbrush, PaintPage(ViewTool::Airbrush, true)});
    p.push_back({"Erase", ViewTool::Eraser,
                 PaintPage(ViewTool::Eraser, true,
                           {{"Fill Mode", "fill-mode", FieldKind::List, 0, 0, ListOf(kEraserModeNames), {},
                             [](const CToolSettings& s, ViewTool) { return s.eraserMode; }}})});
    p.push_back({"Retouch", ViewTool::Retouch,
                 PaintPage(ViewTool::Retouch, true,
                           {{"Retouch Mode", "retouch-mode", FieldKind::List, 0, 0, ListOf(kRetouchModeNames), {},
                             [](const CToolSettings& s, ViewTool) { return s.retouchMode; }}})});
    p.push_back({"Stamp", ViewTool::Stamp, PaintPage(ViewTool::Stamp, false)});
    p.push_back({"Fill", ViewTool::FloodFill, PaintPage(ViewTool::FloodFill, false, {ToleranceField()})});
    p.push_back({"Line", ViewTool::Line,
                 PaintPage(ViewTool::Line, false,
                           {{"Width", "width", FieldKind::Number, 0, 100, {}, {},
                             [](const CToolSettings& s, ViewTool) { return s.lineWidth; }},
                            {"AntiAlias", "antialias", FieldKind::Switch, 0, 1, {}, {},
                             [](const CToolSettings& s, ViewTool) { return int{s.antialias}; }}})});
    p.push_back({"Shape", ViewTool::Shape,
                 PaintPage(ViewTool::Shape, false,
                           {{"Shape", "shape", FieldKind::List, 0, 0, ListOf(kShapeNames), {},
                             [](const CToolSettings& s, ViewTool) { return s.shapeKind; }},
                            {"Fill Style", "fill-style", FieldKind::List, 0, 0, ListOf(kFillStyleNames), {},
                             [](const CToolSettings& s, ViewTool) { return s.fillStyle; }},
                            {"Border Width", "border-width", FieldKind::Number, 0, 100, {}, {},
                             [](const CToolSettings& s, ViewTool) { return s.borderWidth; }},
                            {"AntiAlias", "antialias", FieldKind::Switch, 0, 1, {}, {},
                             [](const CToolSettings& s, ViewTool) { return int{s.shapeAntialias}; }}})});
    p.push_back(
        {"Text", ViewTool::Text,
         PaintPage(ViewTool::Text, false,
                   {{"AntiAlias", "antialias", FieldKind::Switch, 0, 1, {}, {},
                     [](const CToolSettings& s, ViewTool) { return int{s.antialias}; }},
                    {"Mask Only", "mask-only", FieldKind::Switch, 0, 1, {}, {},
                     [](const CToolSettings& s, ViewTool) { return int{s.textSettings.maskOnly}; }},
                    {"&Font:", "font", FieldKind::Font, 0, 0, {}, {}, nullptr},
                    {"&Size:", "font-size", FieldKind::Number, 1, 1000, {}, {},
                     [](const CToolSettings& s, ViewTool) { return s.textSettings.size; }},
                    {"Unit", "size-unit", FieldKind::List, 0, 0, {"Pixels", "Points"}, {"pixels", "points"},
                     [](const CToolSettings& s, ViewTool) { return int{s.textSettings.sizeInPoints}; }},
                    {"&B", "bold", FieldKind::Switch, 0, 1, {}, {},
                     [](const CToolSettings& s, ViewTool) { return int{s.textSettings.bold}; }},
                    {"&I", "italic", FieldKind::Switch, 0, 1, {}, {},
                     [](const CToolSettings& s, ViewTool) { return int{s.textSettings.italic}; }},
                    {"&U", "underline", FieldKind::Switch, 0, 1, {}, {},
                     [](const CToolSettings& s, ViewTool) { return int{s.textSettings.underline}; }}})});
    p.push_back({"Wandselect", ViewTool::MagicWand, {ToleranceField()}});
    std::vector<FieldDef> brushSelect = BrushFields(false);
    p.push_back({"Brushselect", ViewTool::PaintSelection, std::move(brushSelect)});
    p.push_back({"Floater",
                 ViewTool::MoveFloater,
                 {{"Feather", "feather", FieldKind::Number, 0, 20, {}, {},
                   [](const CToolSettings& s, ViewTool) { return s.feather; }},
                  {"Merge mode", "merge-mode", FieldKind::List, 0, 0, MergeModeList(), {},
                   [](const CToolSettings& s, ViewTool) { return MergeModeEntry(s.floaterMergeMode); }},
                  {"Transparency (%)", "transparency", FieldKind::Number, 0, 100, {}, {},
                   [](const CToolSettings& s, ViewTool) { return s.floaterTransparency; }}}});
    return p;
  }();
  return pages;
}

constexpr const char* kViewPage = "View";

// The View page's "Scale" list: 1:16 .. 1:1, then 2:1 .. 16:1.
constexpr int kScaleEntries = 31;
ZoomRatio ScaleRatio(int entry) { return entry < 15 ? ZoomRatio{1, 16 - entry} : ZoomRatio{entry - 14, 1}; }
int ScaleEntry(ZoomRatio ratio) {
  for (int i = 0; i < kScaleEntries; ++i)
    if (ScaleRatio(i) == ratio) return i;
  return 15;
}

// The view switches the View page offers, by command.
constexpr ViewCommand kViewSwitches[] = {kCmdRuler, kCmdDisplayMode, kCmdFitWindowToImage, kCmdPreviewPrintedColors};

// A menu text without its mnemonic and shortcut.
QString PlainMenuText(std::string_view text) {
  QString plain = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  plain = plain.section('\t', 0, 0);
  plain.remove('&');
  return plain;
}

}  // namespace

struct OptionPages::Impl {
  OptionPages* self = nullptr;
  QComboBox* pageList = nullptr;
  QStackedWidget* stack = nullptr;
  // The table pages and their editors, in field order.
  struct Page {
    const PageDef* def;
    QWidget* widget;
    std::vector<QWidget*> editors;
  };
  std::vector<Page> pages;
  // The View page.
  QWidget* viewPage = nullptr;
  QPushButton* zoomOne = nullptr;
  QComboBox* scale = nullptr;
  QComboBox* direction = nullptr;
  std::vector<std::pair<ViewCommand, QCheckBox*>> switches;
  std::function<CVividView*()> activeView;
  std::function<void()> viewChanged;

  void BuildPage(const PageDef& def);
  void BuildViewPage();
  void Write(const Page& page, const FieldDef& field, const QString& value);
  void RefreshPage(const Page& page);
  void RefreshViewPage();
  CVividView* View() const { return activeView ? activeView() : nullptr; }
  void ViewChanged() {
    if (viewChanged) viewChanged();
    RefreshViewPage();
  }
};

void OptionPages::Impl::Write(const Page& page, const FieldDef& field, const QString& value) {
  const std::string problem = ToolSettings().SetOptionFor(page.def->tool, field.option, value.toStdString());
  // A refused value (none the widgets offer) puts the page back as stored.
  if (!problem.empty()) RefreshPage(page);
}

void OptionPages::Impl::BuildPage(const PageDef& def) {
  auto* widget = new QWidget;
  widget->setObjectName(def.name);
  auto* form = new QFormLayout(widget);
  pages.push_back({&def, widget, {}});
  const size_t index = pages.size() - 1;
  for (const FieldDef& field : def.fields) {
    const FieldDef* f = &field;
    QWidget* editor = nullptr;
    switch (field.kind) {
      case FieldKind::Number: {
        auto* spin = new QSpinBox;
        spin->setRange(field.min, field.max);
        QObject::connect(spin, &QSpinBox::valueChanged, self,
                         [this, index, f](int value) { Write(pages[index], *f, QString::number(value)); });
        editor = spin;
        break;
      }
      case FieldKind::List: {
        auto* list = new QComboBox;
        // A tab ending an entry is part of the stored text, not of what shows.
        for (const QString& entry : field.entries) list->addItem(entry.trimmed());
        QObject::connect(list, &QComboBox::currentIndexChanged, self, [this, index, f](int entry) {
          if (entry < 0) return;
          Write(pages[index], *f, entry < f->values.size() ? f->values[entry] : f->entries[entry]);
        });
        editor = list;
        break;
      }
      case FieldKind::Switch: {
        auto* check = new QCheckBox(field.label);
        QObject::connect(check, &QCheckBox::toggled, self,
                         [this, index, f](bool on) { Write(pages[index], *f, on ? "on" : "off"); });
        editor = check;
        break;
      }
      case FieldKind::Font: {
        auto* font = new QFontComboBox;
        QObject::connect(font, &QFontComboBox::currentFontChanged, self,
                         [this, index, f](const QFont& chosen) { Write(pages[index], *f, chosen.family()); });
        editor = font;
        break;
      }
    }
    editor->setObjectName(field.option);
    if (field.kind == FieldKind::Switch)
      form->addRow(editor);
    else
      form->addRow(field.label, editor);
    pages[index].editors.push_back(editor);
  }
  stack->addWidget(widget);
}

void OptionPages::Impl::BuildViewPage() {
  viewPage = new QWidget;
  viewPage->setObjectName(kViewPage);
  auto* form = new QFormLayout(viewPage);
  zoomOne = new QPushButton("zoom 1:1");
  zoomOne->setObjectName("zoom-1-1");
  form->addRow(zoomOne);
  scale = new QComboBox;
  scale->setObjectName("scale");
  for (int i = 0; i < kScaleEntries; ++i) {
    const ZoomRatio ratio = ScaleRatio(i);
    scale->addItem(QString::asprintf("%3d : %2d", ratio.n, ratio.d));
  }
  form->addRow("Scale", scale);
  direction = new QComboBox;
  direction->setObjectName("zoom-direction");
  direction->addItems({"Zoom In", "Zoom Out"});
  form->addRow("Zoom Tool", direction);
  for (ViewCommand id : kViewSwitches) {
    const CommandDef* def = FindCommand(id);
    auto* check = new QCheckBox(def ? PlainMenuText(def->menuText) : QString());
    check->setObjectName(def ? QString::fromUtf8(def->scriptName.data(), static_cast<qsizetype>(def->scriptName.size()))
                             : QString());
    form->addRow(check);
    switches.emplace_back(id, check);
    QObject::connect(check, &QCheckBox::toggled, self, [this, id](bool on) {
      CVividView* view = View();
      // The view's commands toggle: run one only where the state differs.
      if (view && view->GetCommandState(id).checked != on) view->RunCommand(id, {});
      ViewChanged();
    });
  }
  QObject::connect(zoomOne, &QPushButton::clicked, self, [this] {
    if (CVividView* view = View()) view->RunCommand(kCmdNormalView, {});
    ViewChanged();
  });
  QObject::connect(scale, &QComboBox::currentIndexChanged, self, [this](int entry) {
    CVividView* view = View();
    // A refused ratio leaves the view as it is; the list goes back to it.
    if (view && entry >= 0) view->SetZoom(ScaleRatio(entry));
    ViewChanged();
  });
  QObject::connect(direction, &QComboBox::currentIndexChanged, self, [](int entry) {
    if (entry >= 0) ToolSettings().zoomDirection = entry + 1;
  });
  stack->addWidget(viewPage);
}

void OptionPages::Impl::RefreshPage(const Page& page) {
  const CToolSettings& settings = ToolSettings();
  for (size_t i = 0; i < page.def->fields.size(); ++i) {
    const FieldDef& field = page.def->fields[i];
    QWidget* editor = page.editors[i];
    const QSignalBlocker quiet(editor);
    switch (field.kind) {
      case FieldKind::Number:
        static_cast<QSpinBox*>(editor)->setValue(field.read(settings, page.def->tool));
        break;
      case FieldKind::List:
        static_cast<QComboBox*>(editor)->setCurrentIndex(field.read(settings, page.def->tool));
        break;
      case FieldKind::Switch:
        static_cast<QCheckBox*>(editor)->setChecked(field.read(settings, page.def->tool) != 0);
        break;
      case FieldKind::Font: {
        // The font list's lookup is not free; the window refreshes often.
        auto* font = static_cast<QFontComboBox*>(editor);
        const QString family = QString::fromStdString(settings.textSettings.font);
        if (font->currentFont().family() != family) font->setCurrentFont(QFont(family));
        break;
      }
    }
  }
}

void OptionPages::Impl::RefreshViewPage() {
  const CVividView* view = View();
  {
    const QSignalBlocker quiet(scale);
    scale->setCurrentIndex(ScaleEntry(view ? view->Zoom() : ZoomRatio{}));
  }
  {
    const QSignalBlocker quiet(direction);
    direction->setCurrentIndex(ToolSettings().zoomDirection == 2 ? 1 : 0);
  }
  for (auto& [id, check] : switches) {
    const CommandState state = view ? view->GetCommandState(id) : CommandState{};
    const QSignalBlocker quiet(check);
    check->setChecked(state.checked);
    check->setEnabled(state.enabled);
  }
  zoomOne->setEnabled(view != nullptr);
  scale->setEnabled(view != nullptr);
}

OptionPages::OptionPages(QWidget* parent) : QWidget(parent), d_(std::make_unique<Impl>()) {
  d_->self = this;
  auto* layout = new QVBoxLayout(this);
  d_->pageList = new QComboBox;
  d_->pageList->setObjectName("pageList");
  d_->pageList->addItems(PageNames());
  d_->stack = new QStackedWidget;
  layout->addWidget(d_->pageList);
  layout->addWidget(d_->stack);
  layout->addStretch();
  for (const PageDef& def : PageDefs()) d_->BuildPage(def);
  d_->BuildViewPage();
  connect(d_->pageList, &QComboBox::currentIndexChanged, this, [this](int index) {
    d_->stack->setCurrentIndex(index);
    Refresh();
  });
  Refresh();
}

OptionPages::~OptionPages() = default;

QStringList OptionPages::PageNames() {
  QStringList names;
  for (const PageDef& def : PageDefs()) names << def.name;
  names << kViewPage;
  return names;
}

QString OptionPages::PageOfTool(ViewTool tool) {
  switch (tool) {
    case ViewTool::Pen: return "Pen";
    case ViewTool::Brush: return "Brush";
    case ViewTool::Airbrush: return "Airbrush";
    case ViewTool::Eraser: return "Erase";
    case ViewTool::Retouch: return "Retouch";
    case ViewTool::Stamp: return "Stamp";
    case ViewTool::FloodFill: return "Fill";
    case ViewTool::Line: return "Line";
    case ViewTool::Shape: return "Shape";
    case ViewTool::Text: return "Text";
    case ViewTool::MagicWand: return "Wandselect";
    case ViewTool::PaintSelection: return "Brushselect";
    // The other selection tools make what Float lifts: the Feather there.
    case ViewTool::Rectangle:
    case ViewTool::RoundRectangle:
    case ViewTool::Ellipse:
    case ViewTool::Freehand:
    case ViewTool::PointToPoint:
    case ViewTool::MoveFloater:
    case ViewTool::Scale:
    case ViewTool::Rotate:
    case ViewTool::Distort: return "Floater";
    case ViewTool::Zoom:
    case ViewTool::Scroll: return kViewPage;
    default: return {};
  }
}

void OptionPages::FollowTool(ViewTool tool) {
  const QString page = PageOfTool(tool);
  if (page.isEmpty())
    Refresh();
  else
    ShowPage(page);
}

void OptionPages::ShowPage(const QString& name) {
  const int index = PageNames().indexOf(name);
  if (index < 0) return;
  if (d_->pageList->currentIndex() == index) {
    Refresh();
    return;
  }
  // The list's change switches the stack and reads the page back.
  d_->pageList->setCurrentIndex(index);
}

QString OptionPages::CurrentPage() const { return d_->pageList->currentText(); }

QWidget* OptionPages::Page(const QString& name) const {
  const int index = PageNames().indexOf(name);
  return index < 0 ? nullptr : d_->stack->widget(index);
}

void OptionPages::Refresh() {
  const int index = d_->stack->currentIndex();
  if (index >= 0 && static_cast<size_t>(index) < d_->pages.size())
    d_->RefreshPage(d_->pages[static_cast<size_t>(index)]);
  else if (d_->stack->currentWidget() == d_->viewPage)
    d_->RefreshViewPage();
}

void OptionPages::SetViewAccess(std::function<CVividView*()> activeView, std::function<void()> viewChanged) {
  d_->activeView = std::move(activeView);
  d_->viewChanged = std::move(viewChanged);
  Refresh();
}

void OptionPages::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Refresh();
}

}  // namespace app
