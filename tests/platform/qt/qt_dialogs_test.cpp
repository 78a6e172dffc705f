// The message box, the option dialogs and the file dialog, each answered by
// a timer that finds the modal dialog and presses its buttons as a user
// would; and the parsing of filter strings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "platform/qt/qt_messages.h"
#include "platform/qt/qt_prompts.h"

namespace {

// Runs `act` on the modal dialog of type T once it is shown.
template <typename T>
void WhenShown(std::function<void(T*)> act) {
  QTimer::singleShot(0, [act] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr) << "no modal dialog";
    act(dialog);
  });
}

TEST(QtMessageSink, ButtonsIconAndAnswers) {
  using platform::MsgAnswer;
  using platform::MsgButtons;
  struct Case {
    MsgButtons buttons;
    QMessageBox::StandardButtons qtButtons;
    bool pressDefault;  // else the box is closed with Esc
    MsgAnswer answer;
  };
  const Case cases[] = {
      {MsgButtons::Ok, QMessageBox::Ok, true, MsgAnswer::Ok},
      {MsgButtons::Ok, QMessageBox::Ok, false, MsgAnswer::Ok},
      {MsgButtons::OkCancel, QMessageBox::Ok | QMessageBox::Cancel, true, MsgAnswer::Ok},
      {MsgButtons::OkCancel, QMessageBox::Ok | QMessageBox::Cancel, false, MsgAnswer::Cancel},
      {MsgButtons::YesNo, QMessageBox::Yes | QMessageBox::No, true, MsgAnswer::Yes},
      {MsgButtons::YesNo, QMessageBox::Yes | QMessageBox::No, false, MsgAnswer::No},
      {MsgButtons::YesNoCancel, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, true, MsgAnswer::Yes},
      {MsgButtons::YesNoCancel, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, false, MsgAnswer::Cancel},
  };
  QApplication::setApplicationDisplayName("Vividrome Test");
  platform::QtMessageSink sink;
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.buttons) * 2 + c.pressDefault);
    QString text, title;
    QMessageBox::StandardButtons shownButtons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhenShown<QMessageBox>([&](QMessageBox* box) {
      text = box->text();
      title = box->windowTitle();
      shownButtons = box->standardButtons();
      icon = box->icon();
      if (c.pressDefault)
        box->defaultButton()->click();
      else
        box->reject();
    });
    const MsgAnswer answer = sink.Show({"<b>a.bmp</b> is Exist", "", platform::MsgIcon::Exclamation, c.buttons});
    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(text, "<b>a.bmp</b> is Exist");
    EXPECT_EQ(title, "Vividrome Test");
    EXPECT_EQ(shownButtons, c.qtButtons);
    EXPECT_EQ(icon, QMessageBox::Warning);
  }
}

TEST(QtPrompts, OptionDialogsOfferTheirListsAndReturnTheChoice) {
  platform::QtPrompts prompts;
  struct Case {
    const char* title;
    std::function<std::optional<int>()> open;
    std::vector<QString> items;
    int preset;
  };
  const Case cases[] = {
      {"TIFF Option", [&] { return prompts.TiffOptions(true); }, {"None", "PackBits", "CCITT Fax3", "CCITT Fax4"}, 0},
      {"TIFF Option", [&] { return prompts.TiffOptions(false); }, {"None", "PackBits"}, 0},
      {"TGA Option", [&] { return prompts.TgaOptions(); }, {"NONE", "RLE"}, 0},
      {"Photo CD Option",
       [&] {
         const auto choice = prompts.PhotoCDOptions({"x.pcd", 3, 2});
         return choice ? std::optional<int>(choice->resolution) : std::nullopt;
       },
       {"192x128", "384x256", "768x512"},
       2},
      // An out-of-range request is brought into the list's range.
      {"Photo CD Option",
       [&] {
         const auto choice = prompts.PhotoCDOptions({"x.pcd", 9, 7});
         return choice ? std::optional<int>(choice->resolution) : std::nullopt;
       },
       {"192x128", "384x256", "768x512", "1536x1024", "3072x1048"},
       4},
  };
  for (const Case& c : cases) {
    for (const bool accept : {true, false}) {
      SCOPED_TRACE(std::string(c.title) + (accept ? " ok" : " cancel") + " " + std::to_string(c.items.size()));
      std::vector<QString> items;
      int preset = -1;
      QString title;
      WhenShown<QDialog>([&](QDialog* dialog) {
        title = dialog->windowTitle();
        auto* combo = dialog->findChild<QComboBox*>();
        ASSERT_NE(combo, nullptr);
        for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i));
        preset = combo->currentIndex();
        combo->setCurrentIndex(combo->count() - 1);
        accept ? dialog->accept() : dialog->reject();
      });
      const std::optional<int> answer = c.open();
      EXPECT_EQ(title, c.title);
      EXPECT_EQ(items, c.items);
      EXPECT_EQ(preset, c.preset);
      EXPECT_EQ(answer, accept ? std::optional<int>(static_cast<int>(c.items.size()) - 1) : std::nullopt);
    }
  }
}

TEST(QtPrompts, JpegQualityRangeAndStart) {
  platform::QtPrompts prompts;
  const struct {
    int quality, start;
  } cases[] = {{75, 75}, {150, 100}, {0, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.quality);
    int start = -1, low = -1, high = -1;
    WhenShown<QDialog>([&](QDialog* dialog) {
      auto* spin = dialog->findChild<QSpinBox*>();
      ASSERT_NE(spin, nullptr);
      start = spin->value();
      low = spin->minimum();
      high = spin->maximum();
      spin->setValue(33);
      dialog->accept();
    });
    EXPECT_EQ(prompts.JpegOptions(c.quality), 33);
    EXPECT_EQ(start, c.start);
    EXPECT_EQ(low, platform::kJpegQualityMin);
    EXPECT_EQ(high, platform::kJpegQualityMax);
  }
}

TEST(QtPrompts, FileFilterStrings) {
  using Entries = std::vector<std::pair<std::string, std::vector<std::string>>>;
  const struct {
    const char* filter;
    Entries expected;
  } cases[] = {
      {"JPEG(*.jpg;*.jpeg)|*.jpg;*.jpeg||", {{"JPEG(*.jpg;*.jpeg)", {"*.jpg", "*.jpeg"}}}},
      {"BMP|*.bmp|All Files (*.*)|*.*||", {{"BMP", {"*.bmp"}}, {"All Files (*.*)", {"*.*"}}}},
      {"A|*.a||B|*.b||", {{"A", {"*.a"}}}},          // the list ends at the empty field
      {"A|*.a|B", {{"A", {"*.a"}}}},                 // a name without patterns
      {"A| *.a ;; *.b|", {{"A", {"*.a", "*.b"}}}},   // blanks and empty patterns
      {"A||", {}},
      {"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter);
    Entries got;
    for (const auto& e : platform::ParseFileFilter(c.filter)) got.emplace_back(e.name, e.patterns);
    EXPECT_EQ(got, c.expected);
  }
}

TEST(QtPrompts, FileDialogTypeChangeRenamesAndResultCarriesType) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  platform::QtPrompts prompts;
  platform::FileDialogRequest request;
  request.mode = platform::FileDialogMode::Save;
  request.initialFolder = folder.path().toStdString();
  request.initialName = "picture.bmp";
  request.filter = "BMP(*.bmp)|*.bmp|PNG(*.png)|*.png||";
  request.typeIndex = 1;
  std::vector<std::pair<int, std::string>> changes;
  request.onTypeChanged = [&](int type, const std::string& name) {
    changes.emplace_back(type, name);
    return std::string("picture.png");
  };
  QString nameAfterChange;
  WhenShown<QFileDialog>([&](QFileDialog* dialog) {
    auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(types, nullptr);
    ASSERT_NE(name, nullptr);
    types->setCurrentIndex(1);
    emit types->activated(1);
    nameAfterChange = name->text();
    static_cast<QDialog*>(dialog)->accept();
  });
  const auto result = prompts.FileDialog(request);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(changes, (std::vector<std::pair<int, std::string>>{{2, "picture.bmp"}}));
  EXPECT_EQ(nameAfterChange, "picture.png");
  EXPECT_EQ(result->path, QDir(folder.path()).filePath("picture.png").toStdString());
  EXPECT_EQ(result->typeIndex, 2);
}

}  // namespace
