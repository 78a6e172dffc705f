// TextDialog: the "Text" dialog of the Text tool.
//
// Fields (object names in brackets), filled from ToolSettings().textSettings
// when the dialog opens:
//   [text]       the text, several lines
//   [font]       "&Font:" the font families of the system (QFontDatabase),
//                the setting's family added at the top when the system
//                lacks it, so that OK never changes it unasked
//   [size]       "&Size:" an editable list of common sizes (1 .. 999)
//   [unit]       "Pixels" or "Points"
//   [bold] [italic] [underline]  the "&B", "&I", "&U" switches
//   [sample]     "AaBbYyZz" drawn in the chosen face, size and style (pixels
//                as pixels, points as points of the screen)
// OK writes the fields back into the settings (lines joined by "\n"); Cancel
// leaves them.
//
// OpenTextDialog shows it modeless for a view whose Text dialog is open (a
// click with the Text tool): OK writes the settings and places the text
// (OnTextDialogOk), Cancel or closing drops it (OnTextDialogCancel); then
// `after` runs (the widget repaints). One Text dialog at a time. When the
// view's widget goes first, the dialog closes without reaching the view (the
// controller ends its dialog itself).
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

struct TextSettings;

namespace app {

class ImageViewWidget;
class TextDialog;

TextDialog* OpenTextDialog(ImageViewWidget& view, std::function<void()> after);
TextDialog* CurrentTextDialog();

class TextDialog final : public QDialog {
 public:
  explicit TextDialog(QWidget* parent = nullptr);
  ~TextDialog() override;

  // The settings the fields describe (the Text page's Mask Only kept).
  TextSettings Settings() const;
  // Accepted: the fields go into ToolSettings().textSettings.
  void done(int result) override;

 private:
  friend TextDialog* OpenTextDialog(ImageViewWidget& view, std::function<void()> after);
  friend TextDialog* CurrentTextDialog();
  struct Private;
  std::unique_ptr<Private> d_;
};

// Shows the Text dialog for `view` (see above); nullptr while another Text
// dialog is open or when the view has no Text dialog open.
TextDialog* OpenTextDialog(ImageViewWidget& view, std::function<void()> after);
// The open Text dialog, or nullptr.
TextDialog* CurrentTextDialog();

}  // namespace app
