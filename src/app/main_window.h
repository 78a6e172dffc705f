// MainWindow: the editor's frame. A multiple-document area with one child
// frame per view, the File, Edit, Select, Image, Filter, View and Window
// menus, the tools' tool bar and the status bar.
//
// The view commands' menus come from ViewCommands(): their texts, and their
// enabled, checked and current text from the active view's GetCommandState
// whenever a menu is about to show and after every event in a view. The
// Image and Filter menus also list every named operation (AllOperations()).
// Commands and operations that take arguments ask for them before they run.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>

class CDIBitmap;

class QAction;
class QMdiArea;
class CVividDoc;
class CVividView;

namespace app {

class ImageViewWidget;
struct MainWindowImpl;

class MainWindow final : public QMainWindow {
 public:
  MainWindow();
  ~MainWindow() override;

  // A blank document (100 x 100, 24-bit, white, not modified) with one view.
  void NewImage();
  // "New Image...": the New Image dialog; OK makes the image it describes
  // and a new document (modified) that takes it, titled with the dialog's
  // file name. False for Cancel or when the image cannot be made.
  bool NewImageFromDialog();
  // "Paste On &New": a new document made from the clipboard's image, pasted
  // as the document does for a paste as new; "The Clipboard holds no image."
  // when there is none. False when no document was made.
  bool PasteOnNew();
  // "Cap&ture Screen": hides the window for `delayMs`, makes a new
  // (modified) document of the primary screen's picture (white where the
  // platform gives no pixels) and shows the window again.
  bool CaptureScreenDocument(int delayMs = 1000);
  // "Channel Co&mbine...": the "Color Combine" dialog over the open
  // documents; a new RGB or CMYK document merged from the chosen 8-bit gray
  // documents. False for Cancel or a refused choice (no document made).
  bool ChannelCombine();
  // Opens a file as a new document with one view; false (with the
  // document's message shown) when it cannot be read.
  bool OpenFile(const QString& path);
  // Opens a new document (modified, no file) with a view for `image`: the
  // documents a command makes (Channel Separate).
  void AddImageDocument(std::unique_ptr<CDIBitmap> image, const std::string& title);
  // Another view of the active view's document in a new child frame.
  void NewWindow();

  QMdiArea* Area() const;
  ImageViewWidget* ActiveViewWidget() const;
  CVividView* ActiveView() const;
  int DocumentCount() const;
  // The menu action of a view command, or of a tool command (by its id);
  // nullptr for an unknown id.
  QAction* CommandAction(int id) const;
  // Sets every command action from the active view's command state (all
  // disabled without a view) and the tool buttons from the tool settings.
  void RefreshCommands();

  // The question asked before a modified document closes (its last view,
  // Close, Exit): Yes saves it first (a failed save keeps it open), No
  // drops the changes, Cancel keeps it. The default is a message box.
  enum class SaveAnswer { Yes, No, Cancel };
  void SetSaveQuestion(std::function<SaveAnswer(const QString& title)> question);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::unique_ptr<MainWindowImpl> d_;
};

}  // namespace app
