// The editor's dialogs driven as a user would: each modal dialog is found
// when it shows, its fields are read and set, and it is accepted; the
// results are checked against the parameter lists, the pixel rules and the
// documents that come out.
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "app/argument_dialogs.h"
#include "app/channel_combine_dialog.h"
#include "app/main_window.h"
#include "app/new_image_dialog.h"
#include "document/format_tables.h"
#include "document/vivid_doc.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "image/dibitmap.h"
#include "platform/clipboard.h"
#include "platform/messages.h"
#include "platform/prompts.h"
#include "platform/settings.h"
#include "platform/qt/qt_prompts.h"
#include "test_support.h"

namespace {

// Answers modal dialogs in order: each one that shows gets the next action.
// A dialog with no action left is rejected and reported.
class ModalDriver {
 public:
  using Action = std::function<void(QDialog*)>;
  ModalDriver() { Schedule(); }
  ~ModalDriver() {
    *alive_ = false;
    EXPECT_TRUE(actions_.empty()) << actions_.size() << " dialog(s) expected but not shown";
  }
  void Then(Action action) { actions_.push_back(std::move(action)); }

 private:
  void Schedule() {
    std::shared_ptr<bool> alive = alive_;
    QTimer::singleShot(5, [this, alive] {
      if (*alive) Poll();
    });
  }
  void Poll() {
    // The next poll is due before the action runs: an action may open a
    // dialog of its own and wait in it.
    Schedule();
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    for (const QPointer<QDialog>& seen : handled_)
      if (seen == dialog) return;
    handled_.push_back(dialog);
    if (actions_.empty()) {
      ADD_FAILURE() << "unexpected dialog \"" << dialog->windowTitle().toStdString() << "\"";
      dialog->reject();
      return;
    }
    Action action = std::move(actions_.front());
    actions_.pop_front();
    action(dialog);
  }

  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::deque<Action> actions_;
  std::vector<QPointer<QDialog>> handled_;
};

template <typename T>
T* Field(QDialog* dialog, const char* name) {
  T* field = dialog->findChild<T*>(name);
  EXPECT_NE(field, nullptr) << name;
  return field;
}

QStringList Items(const QComboBox* combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  return items;
}

void PressOk(QDialog* dialog) {
  auto* buttons = dialog->findChild<QDialogButtonBox*>();
  ASSERT_NE(buttons, nullptr);
  buttons->button(QDialogButtonBox::Ok)->click();
}

std::unique_ptr<CDIBitmap> Bitmap(int width, int height, int bits, bool gray) {
  auto image = std::make_unique<CDIBitmap>();
  EXPECT_TRUE(image->Create(width, height, bits, gray ? 1 : 0));
  return image;
}

// Runs `undo` when the scope ends (a platform service put back).
struct Restore {
  std::function<void()> undo;
  ~Restore() { undo(); }
};

const OperationDef& Operation(std::string_view name) {
  for (const OperationDef& def : AllOperations())
    if (def.name == name) return def;
  ADD_FAILURE() << name;
  return AllOperations().front();
}

TEST(ArgumentForms, FieldsFollowTheParametersAndGiveTheirArguments) {
  platform::RecordingMessageSink messages;
  platform::ScriptedPrompts prompts;
  // The Load Selection file, then its form's "Browse..." choice.
  prompts.fileAnswers.push_back({std::string("/tmp/first.sel"), 1, {}});
  prompts.fileAnswers.push_back({std::string("/tmp/kept, with: marks.sel"), 1, {}});
  const std::unique_ptr<CDIBitmap> image = Bitmap(40, 20, 24, false);

  struct Case {
    const char* name;
    ViewCommand command;       // or 0 with `operation`
    const char* operation;
    const char* title;
    std::function<void(QDialog*)> act;  // reads and sets the fields
    std::vector<double> values;         // expected; empty: cancelled
  };
  const Case cases[] = {
      {"border", kCmdSelectBorder, "", "Selection Border",
       [](QDialog* d) {
         auto* size = Field<QSpinBox>(d, "size");
         EXPECT_EQ(size->minimum(), 0);
         EXPECT_EQ(size->maximum(), 20);
         EXPECT_EQ(size->value(), 0);
         // Page Up moves by the border's page step of 2.
         QKeyEvent pageUp(QEvent::KeyPress, Qt::Key_PageUp, Qt::NoModifier);
         QApplication::sendEvent(size, &pageUp);
         QApplication::sendEvent(size, &pageUp);
         EXPECT_EQ(size->value(), 4);
         d->accept();
       },
       {4}},
      {"border of 0 changes nothing", kCmdSelectBorder, "", "Selection Border", [](QDialog* d) { d->accept(); }, {}},
      {"resize keeps the aspect", kCmdResize, "", "Image Size",
       [](QDialog* d) {
         auto* width = Field<QSpinBox>(d, "width");
         auto* height = Field<QSpinBox>(d, "height");
         EXPECT_EQ(width->value(), 40);
         EXPECT_EQ(height->value(), 20);
         EXPECT_EQ(width->maximum(), 32767);
         EXPECT_TRUE(Field<QCheckBox>(d, "keepAspect")->isChecked());
         width->setValue(101);  // 101 x 20 / 40 = 50.5, rounded up
         EXPECT_EQ(height->value(), 51);
         Field<QCheckBox>(d, "keepAspect")->setChecked(false);
         height->setValue(7);
         EXPECT_EQ(width->value(), 101);
         d->accept();
       },
       {101, 7}},
      {"shear's check box", kCmdShear, "", "Skew",
       [](QDialog* d) {
         auto* horizontal = Field<QCheckBox>(d, "direction");
         EXPECT_TRUE(horizontal->isChecked());
         horizontal->setChecked(false);
         Field<QSpinBox>(d, "angle")->setValue(-45);
         d->accept();
       },
       {-45, 1}},
      {"load selection", kCmdLoadSelection, "", "Load Selection ",
       [](QDialog* d) {
         auto* path = Field<QWidget>(d, "path");
         EXPECT_EQ(path->findChild<QLineEdit*>()->text(), "/tmp/first.sel");
         path->findChild<QPushButton*>()->click();
         EXPECT_EQ(path->findChild<QLineEdit*>()->text(), "/tmp/kept, with: marks.sel");
         auto* combine = Field<QComboBox>(d, "combine");
         EXPECT_EQ(Items(combine),
                   (QStringList{"New Selection ", "Add Selection", "Subtract Selection", "Intersect Selection"}));
         combine->setCurrentIndex(2);
         d->accept();
       },
       {0, 2}},
      {"gaussian blur", ViewCommand(0), "gaussian-blur", "Gaussian Blur",
       [](QDialog* d) {
         auto* radius = Field<QDoubleSpinBox>(d, "Radius");
         EXPECT_EQ(radius->maximum(), 10);
         radius->setValue(2.5);
         d->accept();
       },
       {2.5}},
      {"canvas size", ViewCommand(0), "canvas-size", "Canvas Size",
       [](QDialog* d) {
         EXPECT_EQ(Field<QSpinBox>(d, "width")->value(), 40);
         EXPECT_EQ(Field<QSpinBox>(d, "height")->value(), 20);
         EXPECT_EQ(Field<QSpinBox>(d, "anchor")->value(), 5);
         auto* fill = Field<QComboBox>(d, "fill");
         EXPECT_EQ(Items(fill), (QStringList{"White", "Black", "Background Color"}));
         fill->setCurrentIndex(1);
         d->accept();
       },
       {40, 20, 5, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QString title;
    std::vector<double> values;
    bool answered = false;
    {
      ModalDriver driver;
      driver.Then([&](QDialog* d) {
        title = d->windowTitle();
        c.act(d);
      });
      if (c.command != 0) {
        const std::optional<OperationArgs> args = app::AskCommandArguments(nullptr, *FindCommand(c.command), image.get());
        if ((answered = args.has_value())) values = args->values;
        if (c.command == kCmdLoadSelection && args) {
          EXPECT_EQ(args->texts.at(0), "/tmp/kept, with: marks.sel");
        }
      } else {
        const std::optional<ParsedOperation> op = app::AskOperation(nullptr, Operation(c.operation), image.get());
        if ((answered = op.has_value())) {
          EXPECT_EQ(op->def->name, c.operation);
          values = op->args.values;
        }
      }
    }
    EXPECT_EQ(title, c.title);
    EXPECT_EQ(answered, !c.values.empty());
    EXPECT_EQ(values, c.values);
  }
  ASSERT_EQ(prompts.fileRequests.size(), 2u);
  for (const auto& asked : prompts.fileRequests) {
    EXPECT_EQ(asked.request.title, "Load Selection Mask");
    EXPECT_EQ(asked.request.filter, "Selection Files (*.sel)|*.sel||");
    EXPECT_EQ(asked.request.mode, platform::FileDialogMode::Open);
  }
  EXPECT_TRUE(messages.shown.empty());
}

// Every form opens with fields in their parameters' ranges, and its
// starting values are accepted by the parser.
TEST(ArgumentForms, EveryFormStartsValid) {
  platform::RecordingMessageSink messages;
  platform::ScriptedPrompts prompts;
  const std::unique_ptr<CDIBitmap> image = Bitmap(64, 48, 24, false);
  auto checkRanges = [](QDialog* d, const std::vector<OperationParam>& params) {
    for (const OperationParam& p : params) {
      const QString name = QString::fromUtf8(p.name.data(), static_cast<qsizetype>(p.name.size()));
      if (auto* spin = d->findChild<QSpinBox*>(name)) {
        EXPECT_GE(spin->minimum(), p.min) << p.name;
        EXPECT_LE(spin->maximum(), p.max) << p.name;
      } else if (auto* combo = d->findChild<QComboBox*>(name)) {
        EXPECT_EQ(static_cast<size_t>(combo->count()), p.choices.size()) << p.name;
      } else {
        EXPECT_TRUE(d->findChild<QWidget*>(name)) << "no field " << p.name;
      }
    }
    d->accept();
  };
  for (const OperationDef& def : AllOperations()) {
    if (def.params.empty()) continue;
    SCOPED_TRACE(std::string(def.name));
    const bool onlyFiles = def.params.size() == 1 && def.params[0].kind == ParamKind::Text;
    if (onlyFiles) prompts.fileAnswers.push_back({std::string("/tmp/curve.crb"), 1, {}});
    ModalDriver driver;
    if (!onlyFiles) driver.Then([&](QDialog* d) { checkRanges(d, def.params); });
    EXPECT_TRUE(app::AskOperation(nullptr, def, image.get()).has_value());
  }
  for (const CommandDef& def : ViewCommands()) {
    if (def.params.empty()) continue;
    SCOPED_TRACE(std::string(def.scriptName));
    for (const OperationParam& p : def.params)
      if (p.kind == ParamKind::Text) prompts.fileAnswers.push_back({std::string("/tmp/mask.sel"), 1, {}});
    const bool formShown = def.id != kCmdSaveSelection;
    ModalDriver driver;
    if (formShown) driver.Then([&](QDialog* d) { checkRanges(d, def.params); });
    // The selection sizes start at 0, which changes nothing.
    const bool sizeCommand = def.id == kCmdSelectBorder || def.id == kCmdSelectExpand || def.id == kCmdSelectContract;
    EXPECT_EQ(app::AskCommandArguments(nullptr, def, image.get()).has_value(), !sizeCommand);
  }
  EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;
}

struct Window {
  app::MainWindow window;
  Window() {
    window.show();
    QApplication::processEvents();
  }
  ~Window() { CVividDoc::SetLastDirectory({}); }
  const CVividDoc& ActiveDocument() const { return window.ActiveView()->GetDocument(); }
};

// The gray level of a colour by the gray conversion's weights.
int GrayLevel(uint32_t bgr) {
  const int r = bgr & 0xFF, g = (bgr >> 8) & 0xFF, b = (bgr >> 16) & 0xFF;
  return (306 * r + 601 * g + 117 * b + 512) >> 10;
}

TEST(NewImageDialog, MakesTheImageItDescribes) {
  platform::RecordingMessageSink messages;
  const uint32_t background = 0x203040;
  const uint32_t custom = 0x10C080;  // red 0x80, green 0xC0, blue 0x10
  ToolSettings().background = background;
  struct Case {
    const char* name;
    int mode, width, height, fill;
    const char* title;
    int bits;
    uint32_t pixel;  // raw value: 0x00BBGGRR for 24 bits, the level for gray
  };
  const Case cases[] = {
      {"defaults", -1, 100, 100, 0, "Untitled", 24, 0xFFFFFF},
      {"rgb background", 0, 8, 33, 1, "bg", 24, background},
      {"gray custom", 1, 17, 9, 2, "gray custom", 8, static_cast<uint32_t>(GrayLevel(custom))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    ModalDriver driver;
    driver.Then([&](QDialog* d) {
      EXPECT_EQ(d->windowTitle(), "New Image");
      EXPECT_EQ(Items(Field<QComboBox>(d, "colorMode")), (QStringList{"RGB - 24 BPP", "Grayscale - 8 BPP"}));
      EXPECT_EQ(Field<QSpinBox>(d, "width")->minimum(), 8);
      EXPECT_EQ(Field<QSpinBox>(d, "height")->maximum(), 32767);
      EXPECT_EQ(Field<QLineEdit>(d, "filename")->text(), "Untitled");
      if (c.mode >= 0) {
        Field<QComboBox>(d, "colorMode")->setCurrentIndex(c.mode);
        Field<QSpinBox>(d, "width")->setValue(c.width);
        Field<QSpinBox>(d, "height")->setValue(c.height);
        Field<QLineEdit>(d, "filename")->setText(c.title);
      }
      auto* fill = Field<QComboBox>(d, "fillBackground");
      fill->setCurrentIndex(c.fill);
      emit fill->activated(c.fill);  // Custom Color opens the colour dialog here
      PressOk(d);
    });
    if (c.fill == 2)
      driver.Then([&](QDialog* d) {
        auto* colors = qobject_cast<QColorDialog*>(d);
        ASSERT_NE(colors, nullptr);
        colors->setCurrentColor(QColor(custom & 0xFF, (custom >> 8) & 0xFF, custom >> 16));
        colors->accept();
      });
    ASSERT_TRUE(w.window.NewImageFromDialog());
    const CVividDoc& doc = w.ActiveDocument();
    const CDIBitmap& image = doc.GetImage();
    EXPECT_EQ(doc.GetTitle(), c.title);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(image.GetWidth(), c.width);
    EXPECT_EQ(image.GetHeight(), c.height);
    EXPECT_EQ(image.GetBitCount(), c.bits);
    EXPECT_EQ(image.IsGray(), c.bits == 8);
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{c.width - 1, c.height - 1}, std::pair{c.width / 2, 3}})
      EXPECT_EQ(image.GetPixel(y, x), c.pixel) << x << "," << y;
  }
  EXPECT_TRUE(messages.shown.empty());
  ToolSettings().background = 0xFFFFFF;
}

TEST(NewImageDialog, RefusesAnEmptyNameAndWrongParameters) {
  platform::RecordingMessageSink messages;
  Window w;
  {
    ModalDriver driver;
    driver.Then([&](QDialog* d) {
      Field<QLineEdit>(d, "filename")->clear();
      PressOk(d);
      // The dialog stays open after the message.
      EXPECT_TRUE(d->isVisible());
      ASSERT_EQ(messages.Texts(), std::vector<std::string>{"Please enter a Filename"});
      d->reject();
    });
    EXPECT_FALSE(w.window.NewImageFromDialog());
  }
  EXPECT_EQ(w.window.DocumentCount(), 0);
  messages.shown.clear();
  for (const app::NewImageSettings& bad : {app::NewImageSettings{0, 0, 10, "a", 0}, app::NewImageSettings{1, 10, -1, "a", 0},
                                           app::NewImageSettings{0, 10, 10, "", 0}})
    EXPECT_EQ(app::MakeNewImage(bad), nullptr);
  EXPECT_EQ(messages.Texts(), std::vector<std::string>(3, "Cannot create image  with wrong Parameter !"));
}

TEST(ChannelCombine, MergesGrayDocumentsAndRefusesOthers) {
  platform::RecordingMessageSink messages;
  Window w;
  // Three gray planes with different ramps, and one 24-bit image.
  const int width = 5, height = 3;
  auto level = [](int plane, int x, int y) { return static_cast<uint8_t>(plane * 80 + x * 10 + y); };
  for (int plane = 0; plane < 3; ++plane) {
    std::unique_ptr<CDIBitmap> gray = Bitmap(width, height, 8, true);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) gray->RowPointer(y)[x] = level(plane, x, y);
    w.window.AddImageDocument(std::move(gray), "plane" + std::to_string(plane));
  }
  w.window.AddImageDocument(Bitmap(width, height, 24, false), "colour");
  ASSERT_EQ(w.window.DocumentCount(), 4);

  auto choose = [&](std::vector<int> documents) {
    ModalDriver driver;
    driver.Then([documents](QDialog* d) {
      EXPECT_EQ(d->windowTitle(), "Color Combine");
      EXPECT_EQ(Items(Field<QComboBox>(d, "colorSpace")), (QStringList{"RGB", "CMYK"}));
      auto* plane0 = Field<QComboBox>(d, "plane0");
      EXPECT_EQ(Items(plane0), (QStringList{"plane0", "plane1", "plane2", "colour"}));
      EXPECT_FALSE(Field<QComboBox>(d, "plane3")->isVisibleTo(d));
      for (size_t i = 0; i < documents.size(); ++i)
        Field<QComboBox>(d, ("plane" + std::to_string(i)).c_str())->setCurrentIndex(documents[i]);
      d->accept();
    });
    return w.window.ChannelCombine();
  };

  EXPECT_FALSE(choose({0, 1, 3}));
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{"All channel need to be a 8bit grayscale image !"});
  EXPECT_EQ(w.window.DocumentCount(), 4);

  messages.shown.clear();
  ASSERT_TRUE(choose({2, 0, 1}));
  EXPECT_TRUE(messages.shown.empty());
  ASSERT_EQ(w.window.DocumentCount(), 5);
  const CVividDoc& doc = w.ActiveDocument();
  const CDIBitmap& rgb = doc.GetImage();
  ASSERT_EQ(rgb.GetBitCount(), 24);
  ASSERT_EQ(rgb.GetWidth(), width);
  ASSERT_EQ(rgb.GetHeight(), height);
  EXPECT_TRUE(doc.IsModified());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t expected = level(2, x, y) | level(0, x, y) << 8 | level(1, x, y) << 16;
      EXPECT_EQ(rgb.GetPixelColor(y, x), expected) << x << "," << y;
    }
}

// A device-independent bitmap block as another program would put it on the
// clipboard: a 40-byte header, then bottom-up rows of blue, green, red
// padded to 4 bytes.
std::vector<uint8_t> DibBlock(int width, int height, const std::function<uint32_t(int, int)>& rgb) {
  const int stride = (width * 3 + 3) / 4 * 4;
  std::vector<uint8_t> block(40 + static_cast<size_t>(stride) * height, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) block[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(0, 40);
  put32(4, static_cast<uint32_t>(width));
  put32(8, static_cast<uint32_t>(height));
  block[12] = 1;
  block[14] = 24;
  put32(20, static_cast<uint32_t>(stride * height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t c = rgb(x, y);
      uint8_t* p = &block[40 + static_cast<size_t>(height - 1 - y) * stride + x * 3];
      p[0] = c & 0xFF, p[1] = (c >> 8) & 0xFF, p[2] = (c >> 16) & 0xFF;  // from 0xRRGGBB
    }
  return block;
}

TEST(PasteOnNew, MakesADocumentOfTheClipboardImage) {
  platform::RecordingMessageSink messages;
  platform::MemoryClipboard clipboard;
  platform::Clipboard* previous = platform::SetClipboard(&clipboard);
  const Restore restore{[previous] { platform::SetClipboard(previous); }};
  Window w;

  EXPECT_FALSE(w.window.PasteOnNew());
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{"The Clipboard holds no image."});
  EXPECT_EQ(w.window.DocumentCount(), 0);

  const int width = 7, height = 4;
  auto rgb = [](int x, int y) { return static_cast<uint32_t>(x * 30) << 16 | static_cast<uint32_t>(y * 60) << 8 | 0x5A; };
  ASSERT_TRUE(clipboard.Open());
  clipboard.Empty();
  ASSERT_TRUE(clipboard.SetData(platform::kClipboardDIB, DibBlock(width, height, rgb)));
  clipboard.Close();
  messages.shown.clear();
  ASSERT_TRUE(w.window.PasteOnNew());
  EXPECT_TRUE(messages.shown.empty());
  const CVividDoc& doc = w.ActiveDocument();
  const CDIBitmap& image = doc.GetImage();
  EXPECT_TRUE(doc.IsModified());
  ASSERT_EQ(image.GetBitCount(), 24);
  ASSERT_EQ(image.GetWidth(), width);
  ASSERT_EQ(image.GetHeight(), height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t c = rgb(x, y);
      const uint32_t bgr = (c >> 16) | (c & 0xFF00) | (c & 0xFF) << 16;
      EXPECT_EQ(image.GetPixelColor(y, x), bgr) << x << "," << y;
    }
}

TEST(CaptureScreen, OffscreenGivesAWhiteScreenSizedModifiedDocument) {
  Window w;
  ASSERT_TRUE(w.window.CaptureScreenDocument(50));
  EXPECT_TRUE(w.window.isVisible());
  const CVividDoc& doc = w.ActiveDocument();
  const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
  const CDIBitmap& image = doc.GetImage();
  EXPECT_TRUE(doc.IsModified());
  ASSERT_EQ(image.GetWidth(), screen.width());
  ASSERT_EQ(image.GetHeight(), screen.height());
  ASSERT_EQ(image.GetBitCount(), 24);
  int notWhite = 0;
  for (int y = 0; y < image.GetHeight(); ++y)
    for (int x = 0; x < image.GetWidth(); ++x) notWhite += image.GetPixel(y, x) != 0xFFFFFF;
  EXPECT_EQ(notWhite, 0);
}

// The 1-based entry of a '|' filter whose patterns include `pattern`.
int FilterEntryWith(const std::string& filter, const std::string& pattern) {
  const std::vector<platform::FileFilterEntry> entries = platform::ParseFileFilter(filter);
  for (size_t i = 0; i < entries.size(); ++i)
    if (std::count(entries[i].patterns.begin(), entries[i].patterns.end(), pattern)) return static_cast<int>(i) + 1;
  return 0;
}

QAction* FileAction(app::MainWindow& window, const QString& text) {
  for (QAction* menu : window.menuBar()->actions())
    if (menu->text() == "&File")
      for (QAction* action : menu->menu()->actions())
        if (action->text() == text) return action;
  ADD_FAILURE() << text.toStdString();
  return nullptr;
}

TEST(FileDialogs, OpenAndSaveAsUseTheFormatFilters) {
  platform::RecordingMessageSink messages;
  platform::ScriptedPrompts prompts;
  testing_support::TempDir folder;
  Window w;
  const std::string sample = testing_support::DataPath("png/im_rgb8_default.png");
  CVividDoc::SetLastDirectory(folder.Path().string());
  prompts.fileAnswers.push_back({sample, 2, {}});
  FileAction(w.window, "&Open...")->trigger();
  ASSERT_EQ(prompts.fileRequests.size(), 1u);
  const platform::FileDialogRequest& open = prompts.fileRequests[0].request;
  EXPECT_EQ(open.mode, platform::FileDialogMode::Open);
  EXPECT_EQ(open.filter, BuildOpenFilter());
  EXPECT_EQ(open.typeIndex, 2);
  EXPECT_EQ(open.initialFolder, folder.Path().string());
  ASSERT_EQ(w.window.DocumentCount(), 1);
  EXPECT_EQ(CVividDoc::GetLastDirectory(), std::filesystem::path(sample).parent_path().string());

  // Save As: a name without an extension takes the chosen type's.
  const CDIBitmap& opened = w.ActiveDocument().GetImage();
  const std::string filter = BuildSaveFilter(opened.GetBitCount(), opened.IsGray());
  const int bmp = FilterEntryWith(filter, "*.bmp");
  ASSERT_GT(bmp, 0);
  prompts.fileAnswers.push_back({folder.File("copy"), bmp, {}});
  FileAction(w.window, "Save &As...")->trigger();
  ASSERT_EQ(prompts.fileRequests.size(), 2u);
  EXPECT_EQ(prompts.fileRequests[1].request.mode, platform::FileDialogMode::Save);
  EXPECT_EQ(prompts.fileRequests[1].request.filter, filter);
  EXPECT_TRUE(std::filesystem::exists(folder.File("copy.bmp")));
  EXPECT_EQ(w.ActiveDocument().GetPathName(), folder.File("copy.bmp"));
  EXPECT_FALSE(w.ActiveDocument().IsModified());
  EXPECT_TRUE(messages.shown.empty());
}

// The toolkit's dialogs: the Open types as Qt name filters with "All
// Images" selected, and a JPEG Save As that asks its quality.
TEST(FileDialogs, QtDialogsShowTheTypesAndTheOptionDialog) {
  platform::RecordingMessageSink messages;
  platform::QtPrompts qtPrompts;
  platform::Prompts* previous = platform::SetPrompts(&qtPrompts);
  const Restore restore{[previous] { platform::SetPrompts(previous); }};
  testing_support::TempDir folder;
  Window w;
  {
    ModalDriver driver;
    driver.Then([](QDialog* d) {
      auto* files = qobject_cast<QFileDialog*>(d);
      ASSERT_NE(files, nullptr);
      EXPECT_EQ(files->windowTitle(), "Open");
      const QStringList filters = files->nameFilters();
      ASSERT_GE(filters.size(), 3);
      EXPECT_EQ(filters[0], "All Files (*)");
      EXPECT_TRUE(filters[1].startsWith("All Images (*.jpg *.jpeg")) << filters[1].toStdString();
      // The names show without their patterns.
      EXPECT_EQ(files->selectedNameFilter(), "All Images");
      d->reject();
    });
    FileAction(w.window, "&Open...")->trigger();
  }
  w.window.NewImage();
  {
    ModalDriver driver;
    driver.Then([&](QDialog* d) {
      auto* name = d->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(name, nullptr);
      name->setText(QString::fromStdString(folder.File("shot.jpg")));
      d->accept();
    });
    QString optionTitle;
    driver.Then([&](QDialog* d) {
      optionTitle = d->windowTitle();
      d->accept();
    });
    FileAction(w.window, "Save &As...")->trigger();
    EXPECT_EQ(optionTitle, "JPEG Option");
  }
  EXPECT_TRUE(std::filesystem::exists(folder.File("shot.jpg")));
  EXPECT_TRUE(messages.shown.empty());
}


#ifdef VIVID_HAVE_ACQUIRE
// Scanning from the window against SANE's test backend (a private
// configuration with one device), scanimage as the oracle.
class WindowScanning : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v scanimage >/dev/null 2>&1") != 0) GTEST_SKIP() << "scanimage not installed";
    dir_ = std::filesystem::temp_directory_path() / ("vivid_app_sane_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ / "dll.conf") << "test\n";
    std::ofstream(dir_ / "test.conf") << "number_of_devices 1\nresolution 50\ntest-picture \"Color pattern\"\n";
    ::setenv("SANE_CONFIG_DIR", dir_.c_str(), 1);
    testing_support::KeepSaneTestBackendLoaded();
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  QImage ScanImage(const std::string& args) const {
    const std::filesystem::path out = dir_ / "oracle.pnm";
    const std::string command = "scanimage -d test:0 --format=pnm " + args + " > " + out.string() + " 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return QImage(QString::fromStdString(out.string()));
  }
  std::filesystem::path dir_;
};

QAction* MenuAction(QMainWindow& window, const QString& text) {
  for (QAction* action : window.findChildren<QAction*>())
    if (action->text() == text) return action;
  ADD_FAILURE() << text.toStdString();
  return nullptr;
}

void Mouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent event(type, at, target->mapToGlobal(at), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

void SetField(QDoubleSpinBox* field, double value) {
  field->setValue(value);
  emit field->editingFinished();
}

TEST_F(WindowScanning, TheDialogChoosesPreviewsAndScansIntoANewDocument) {
  platform::RecordingMessageSink messages;
  platform::MemorySettings settings;
  Window w;
  w.window.SetRecentFileSettings(&settings);
  QAction* scan = MenuAction(w.window, "Image Scan...");
  ASSERT_NE(scan, nullptr);

  bool previewShown = false;
  QRectF drawn;
  {
    ModalDriver driver;
    driver.Then([&](QDialog* d) {
      EXPECT_EQ(d->windowTitle(), "Image Scan - test:0");
      // No second scan or selection while this one runs, and no closing.
      EXPECT_FALSE(MenuAction(w.window, "Image Scan...")->isEnabled());
      EXPECT_FALSE(MenuAction(w.window, "Select Scan Source ...")->isEnabled());
      EXPECT_FALSE(MenuAction(w.window, "E&xit")->isEnabled());
      EXPECT_FALSE(w.window.close());
      EXPECT_TRUE(w.window.isVisible());
      auto* mode = Field<QComboBox>(d, "mode");
      EXPECT_EQ(Items(mode), (QStringList{"Color", "Gray", "Black/White"}));
      auto* resolution = Field<QSpinBox>(d, "resolution");
      EXPECT_EQ(resolution->value(), 50);  // the device's own
      EXPECT_EQ(resolution->maximum(), 1200);
      mode->setCurrentIndex(1);
      // The preview is the whole bed, 200 x 200 mm, at about 400 pixels.
      Field<QPushButton>(d, "preview")->click();
      auto* bed = Field<QWidget>(d, "bed");
      const QImage shown = bed->grab().toImage();
      previewShown = shown.pixelColor(shown.width() / 2, shown.height() / 2) != QColor(Qt::white);
      // A drag on the bed draws the area: the bed fills the widget less 4
      // pixels each side, its proportions kept, centred.
      const double scale = std::min((bed->width() - 8) / 200.0, (bed->height() - 8) / 200.0);
      const QPointF origin((bed->width() - 200 * scale) / 2, (bed->height() - 200 * scale) / 2);
      const QPointF from = origin + QPointF(50, 60) * scale, to = origin + QPointF(150, 100) * scale;
      Mouse(bed, QEvent::MouseButtonPress, from.toPoint(), Qt::LeftButton, Qt::LeftButton);
      Mouse(bed, QEvent::MouseMove, to.toPoint(), Qt::NoButton, Qt::LeftButton);
      Mouse(bed, QEvent::MouseButtonRelease, to.toPoint(), Qt::LeftButton, Qt::NoButton);
      drawn = QRectF(Field<QDoubleSpinBox>(d, "left")->value(), Field<QDoubleSpinBox>(d, "top")->value(),
                     Field<QDoubleSpinBox>(d, "width")->value(), Field<QDoubleSpinBox>(d, "height")->value());
      // Then the fields set exactly.
      SetField(Field<QDoubleSpinBox>(d, "left"), 10);
      SetField(Field<QDoubleSpinBox>(d, "top"), 20);
      SetField(Field<QDoubleSpinBox>(d, "width"), 30);
      SetField(Field<QDoubleSpinBox>(d, "height"), 15);
      resolution->setValue(75);
      EXPECT_EQ(Field<QLabel>(d, "size")->text(), "89 x 44 pixels, 0.00 MBytes");
      PressOk(d);
    });
    scan->trigger();
  }
  EXPECT_TRUE(previewShown);
  EXPECT_NEAR(drawn.left(), 50, 1.5);
  EXPECT_NEAR(drawn.top(), 60, 1.5);
  EXPECT_NEAR(drawn.width(), 100, 1.5);
  EXPECT_NEAR(drawn.height(), 40, 1.5);
  EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;
  ASSERT_EQ(w.window.DocumentCount(), 1);
  const CVividDoc& doc = w.ActiveDocument();
  EXPECT_TRUE(doc.IsModified());
  const CDIBitmap& image = doc.GetImage();
  const QImage oracle = ScanImage("--mode Gray --resolution 75 -l 10 -t 20 -x 30 -y 15");
  ASSERT_EQ(oracle.format(), QImage::Format_Grayscale8);
  ASSERT_EQ(image.GetWidth(), oracle.width());
  ASSERT_EQ(image.GetHeight(), oracle.height());
  ASSERT_EQ(image.GetBitCount(), 8);
  int mismatches = 0;
  for (int y = 0; y < oracle.height(); ++y)
    mismatches += std::memcmp(image.RowPointer(y), oracle.constScanLine(y), static_cast<size_t>(oracle.width())) != 0;
  EXPECT_EQ(mismatches, 0);
  // The choices are remembered for the device.
  EXPECT_EQ(settings.GetInt("Scan", "test:0/Mode", -1), 1);
  EXPECT_EQ(settings.GetInt("Scan", "test:0/Resolution", -1), 75);
  EXPECT_EQ(settings.GetString("Scan", "test:0/Area", ""), "10.0,20.0,30.0,15.0");

  // Next time the dialog starts from them; Cancel makes no document.
  {
    ModalDriver driver;
    driver.Then([&](QDialog* d) {
      EXPECT_EQ(Field<QComboBox>(d, "mode")->currentText(), "Gray");
      EXPECT_EQ(Field<QSpinBox>(d, "resolution")->value(), 75);
      EXPECT_EQ(Field<QDoubleSpinBox>(d, "top")->value(), 20);
      d->reject();
    });
    scan->trigger();
  }
  EXPECT_EQ(w.window.DocumentCount(), 1);
  EXPECT_TRUE(messages.shown.empty());

  // The source chooser lists the device and remembers the choice.
  {
    ModalDriver driver;
    driver.Then([&](QDialog* d) {
      auto* input = qobject_cast<QInputDialog*>(d);
      ASSERT_NE(input, nullptr);
      EXPECT_EQ(input->comboBoxItems(), QStringList{"test:0 (Noname frontend-tester)"});
      EXPECT_FALSE(MenuAction(w.window, "Image Scan...")->isEnabled());
      d->accept();
    });
    MenuAction(w.window, "Select Scan Source ...")->trigger();
  }
  EXPECT_EQ(settings.GetString("Acquire", "Source", ""), "test:0");
  EXPECT_TRUE(MenuAction(w.window, "Image Scan...")->isEnabled());
  EXPECT_TRUE(MenuAction(w.window, "E&xit")->isEnabled());
  w.window.SetRecentFileSettings(nullptr);
}
#endif

}  // namespace
