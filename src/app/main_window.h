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
#include <QStringList>
#include <functional>
#include <memory>
#include <string>

class CDIBitmap;

namespace platform {
class Settings;
}

class QAction;
class QMdiArea;
class CVividDoc;
class CVividView;

namespace app {

struct ShellPrintOutcome;
struct WindowPlacement;
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

  // --- shell: placement, recent files, status panes, forwarded commands ---
  // The placement to store at exit: show command 3 maximised, 2 minimised,
  // else 1; the normal rectangle is the window's normal geometry.
  WindowPlacement CurrentPlacement() const;
  // Takes a stored placement before the window shows: its normal rectangle
  // (ignored when no part of it is on a screen) and the maximised state (a
  // window stored minimised comes back normal). Call show() afterwards.
  void ApplyPlacement(const WindowPlacement& placement);
  // Keeps the recent files in `settings` (not owned; null detaches): loads
  // them, lists them in the File menu before Exit, and adds every path a
  // document opens or is saved as, writing the list at once. The folder of
  // that path becomes the last folder (CVividDoc::SetLastDirectory).
  void SetRecentFileSettings(platform::Settings* settings);
  QStringList RecentFiles() const;
  // Opens recent file `index` (0 = newest); one that does not open any more
  // is dropped from the list.
  bool OpenRecentFile(int index);
  // The size pane's text ("" without an active view).
  QString SizePaneText() const;
  // Runs an execute string a second instance forwarded ([open("F")],
  // [print("F")], [printto("F","P","D","PORT")], one or more): opens the
  // files, prints them (a failure told by a message box), then raises the
  // window. A malformed string is ignored; false then. One that arrives
  // while a long edit runs waits for the edit to end (true).
  bool ExecuteShellCommand(const QString& text);
  // Replaces how a forwarded print is done (the tests; default
  // PrintFileOnQueue).
  void SetShellPrinter(std::function<ShellPrintOutcome(const std::string& file, const std::string& printer)> printer);

  // The positions and visibility of the tool bars and docks ("ControlBars"
  // in the settings): written at exit, read back at start (a state from
  // another version or a damaged one is ignored).
  void SaveControlBars(platform::Settings& settings) const;
  void RestoreControlBars(const platform::Settings& settings);

  // --- Record Script and Play Script (the Edit menu) ---
  // Starts recording the session as a script: the settings and the open
  // documents first, then every step of the views and documents.
  void StartRecording();
  bool Recording() const;
  // The script recorded so far (empty when not recording).
  QString RecordedScript() const;
  // Writes the script to `path` atomically and stops; when it cannot be
  // written (said in a message) recording goes on and false is returned.
  bool StopRecording(const QString& path);
  // Runs a script file in a session of its own with the command line's
  // runner; the documents it leaves open come into the window (those it
  // saved and did not change since, from their files; the others as
  // modified documents). A syntax error stops it before it runs; a failing
  // step stops it there; both are told with the line number. True when
  // every step ran.
  bool PlayScript(const QString& path);

  // --- crash recovery ---
  // Keeps copies of the modified documents in `folder` (Recovery), written
  // every `intervalMs`; reads the copies a previous session left there.
  void EnableRecovery(const QString& folder, int intervalMs);
  // Writes the copies now (the timer's work).
  void AutosaveNow();
  // Offers the copies a crashed session left ("Recover N unsaved
  // images?"): Yes opens them as modified documents with their titles, No
  // deletes them. Returns the number of documents opened.
  int OfferRecovery();

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Files dropped onto the window open as documents.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  std::unique_ptr<MainWindowImpl> d_;
};

}  // namespace app
