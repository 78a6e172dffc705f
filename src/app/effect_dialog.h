// EffectDialog: the modeless parameter dialog of a preview effect.
//
// Built from the operation's dialog model (editing/effect_dialogs.h): the
// model's title, one row per field in the operation's parameter order
//   number      a slider [slider<i>] and a spin box [spin<i>] over
//               [minimum, maximum]; the slider's arrows and the spin box's
//               arrows step by the line step, Page Up/Down and the slider's
//               track by the page step, the slider's Home/End jump to the
//               ends. A fractional field steps in hundredths on the slider
//               and shows two decimals.
//   choice      a combo box [choice<i>] of the entries
//   two states  a check box [check<i>] (the model's "off"/"on" choices)
// then a "Preview" check box [preview] (on when the dialog opens) and OK and
// Cancel. The dialog's values live in an EffectDialogState, so every step
// clamps as the model says and the operation's text is the state's.
//
// The order of events with the view's controller:
//   open          OpenPreview with the initial values (the modal flag is set,
//                 edit commands are disabled); a refusal closes the dialog
//   field change  UpdatePreview with the new values
//   Preview off   SetPreviewShown(false): the image shows unchanged
//   Preview on    SetPreviewShown(true): the preview restarts
//   OK            the preview is switched off first, then PreviewOk applies
//   Cancel/close  PreviewCancel
// After each step the `refresh` callback repaints (the window syncs its
// views and commands). When the view's widget goes (its frame or document
// closed) the dialog closes without touching the view again: the controller
// ends its own preview when it is destroyed.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

class EffectDialogState;
struct EffectDialogModel;
struct OperationDef;

namespace app {

class ImageViewWidget;

class EffectDialog final : public QDialog {
 public:
  EffectDialog(ImageViewWidget& view, const EffectDialogModel& model, std::function<void()> refresh,
               QWidget* parent = nullptr);
  ~EffectDialog() override;

  // True once OpenPreview accepted the dialog's operation.
  bool Started() const;
  // Started and neither finished nor left without its view.
  bool IsOpen() const;
  const EffectDialogState& State() const;

  // Accepted: Preview off, then apply; otherwise end the preview. The
  // dialog deletes itself afterwards (later, from the event loop).
  void done(int result) override;

 private:
  struct Private;
  std::unique_ptr<Private> d_;
};

// Opens the preview dialog of `operation` on `view` when the operation has a
// dialog model, and shows it (modeless). Only one effect dialog is open at a
// time: while one is, it is raised and nullptr returned. Also nullptr when
// the operation has no model or the view refuses the preview.
EffectDialog* OpenEffectDialog(QWidget* parent, ImageViewWidget& view, const OperationDef& operation,
                               std::function<void()> refresh);
// The open effect dialog, or nullptr.
EffectDialog* CurrentEffectDialog();
// The open preview dialog of any kind (an effect dialog, Curves or Levels),
// or nullptr: only one is open at a time. Curves and Levels register
// themselves with SetCurrentPreviewDialog and clear it when they finish.
QDialog* CurrentPreviewDialog();
void SetCurrentPreviewDialog(QDialog* dialog);

}  // namespace app
