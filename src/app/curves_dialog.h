// "Curves..." and "&Levels...": the tone dialogs with a live preview.
//
// Both drive the view's preview: the preview opens with the dialog (while
// its "Preview" box is checked), every change of a curve or a level updates
// it, OK applies the effect through the preview (undo "Color Curve" or
// "Color Level"), Cancel, Escape, closing and destroying the dialog end it.
// Unchecking "Preview" only hides it: the dialog keeps the preview, and so
// the modal flag, until it is finished. The dialogs are modeless and share
// the one-at-a-time rule of the effect dialogs (CurrentPreviewDialog).
//
// "Curve": the "Channel:" list by the image's kind (gray "Gray"; CMYK
// "CMYK", "Cyan", "Magenta", "Yellow", "Black"; otherwise "RGB", "Red",
// "Green", "Blue"), the curve editor of the chosen channel, the curve kind
// ("Smooth", "Straight"), "Reset", and the curve files: "Load Curves"
// (".crb" and ".cck"; a file's channels go to the dialog's channels in
// order, those beyond the dialog's count are ignored) and "Save Curves"
// (".crb", the dialog's channels). The effect applies each channel whose
// table is not the identity, the composite last, through the in-memory
// curves operation (CurvesFromTables).
//
// "Levels": "Channel" ("RGB", "Red", "Green", "Blue"), "Input low" 0..254,
// "Input high" 1..255, "Output low" and "Output high" 0..255, applied by the
// "levels" operation.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string_view>

#include "color/curves.h"
#include "editing/operation_table.h"

class CVividView;
class QBoxLayout;

namespace app {

// What the two dialogs share: the preview driving.
class ToneDialog : public QDialog {
 public:
  ~ToneDialog() override;
  // False when the view refused the preview at the start (busy, a palette
  // image with a selection, ...): the dialog is not to be shown.
  bool Started() const;
  // Started and neither finished nor left without its view.
  bool IsOpen() const;
  // When `widget` (the view's window) is destroyed, the dialog closes and
  // deletes itself without reaching the view again (the controller ends its
  // own preview). For dialogs made with new.
  void FollowWidget(QObject& widget);
  // Called after the preview changed, so the windows repaint.
  void SetOnPreviewChanged(std::function<void()> callback);
  // Accepted: applies through the preview; otherwise ends it.
  void done(int result) override;
  // The operation for the current parameters.
  virtual ParsedOperation Operation() const = 0;

 protected:
  ToneDialog(CVividView& view, QWidget* parent);
  // Opens the preview (subclasses call it once their fields exist) and adds
  // the "Preview" box and OK / Cancel at the bottom of `layout`.
  void Finish(QBoxLayout* layout);
  // The parameters changed.
  void Changed();

 private:
  struct Private;
  std::unique_ptr<Private> d_;
};

class CurvesDialog final : public ToneDialog {
 public:
  CurvesDialog(CVividView& view, QWidget* parent = nullptr);
  ~CurvesDialog() override;
  ParsedOperation Operation() const override;
  const color::CurveSet& Curves() const;
  int ChannelCount() const;

 private:
  struct Private;
  std::unique_ptr<Private> p_;
};

class LevelsDialog final : public ToneDialog {
 public:
  LevelsDialog(CVividView& view, QWidget* parent = nullptr);
  ~LevelsDialog() override;
  ParsedOperation Operation() const override;

 private:
  struct Private;
  std::unique_ptr<Private> p_;
};

// Shows the Curves or Levels dialog for `operation` ("curves" or "levels")
// on `view`, modeless, and returns at once; false for any other operation
// (nothing done). While another preview dialog is open that one is raised
// instead. The dialog follows `view`'s widget found under `parent` (closing
// with it) and deletes itself when finished; `onPreviewChanged` runs after
// each step.
bool RunToneDialog(QWidget* parent, CVividView& view, std::string_view operation,
                   std::function<void()> onPreviewChanged);

}  // namespace app
