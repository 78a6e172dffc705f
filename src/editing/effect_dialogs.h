// The parameter models of the effect dialogs: one per dialog of the Image
// and Filter menus, so that a window only shows them.
//
// A field is a number with a minimum, a maximum, a line step (arrow keys,
// slider arrows) and a page step (Page Up/Down, slider track); every step
// clamps to [minimum, maximum], Home and End jump to them. A choice field
// holds the index of its entry; a check box is a choice of two (0 off, 1
// on). A fractional field keeps its fraction; the others hold whole numbers
// (a typed value is truncated).
//
// The fields come in the order of the operation's parameters (operation
// table), so the dialog's answers become the operation's text as they stand;
// a check box that reads the other way round from its parameter is marked
// `inverted`.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct DialogField {
  std::string_view label;
  double minimum = 0;
  double maximum = 0;
  double initial = 0;
  double lineStep = 1;
  double pageStep = 10;
  bool fractional = false;
  std::vector<std::string_view> choices;  // a choice list (or a check box's two states)
  bool inverted = false;                  // the parameter is 1 - the field's value
};

struct EffectDialogModel {
  std::string_view operation;  // the operation table's name
  std::string_view title;
  std::vector<DialogField> fields;
};

// Every dialog, preview effects first, then the direct effects that ask a
// choice, Canvas Size and the colour-mode options.
const std::vector<EffectDialogModel>& EffectDialogModels();
const EffectDialogModel* FindEffectDialog(std::string_view operation);

// The dialog's current values, starting at the initial ones.
class EffectDialogState {
 public:
  explicit EffectDialogState(const EffectDialogModel& model);
  const EffectDialogModel& Model() const { return *model_; }
  double Value(size_t field) const { return values_.at(field); }
  // A typed or chosen value: truncated (unless fractional) and clamped.
  void Set(size_t field, double value);
  // Line and page steps forward (positive) or back (negative), clamped.
  void StepLines(size_t field, int lines);
  void StepPages(size_t field, int pages);
  void Home(size_t field);
  void End(size_t field);
  // The operation with the dialog's answers: "name:v1,v2,..." (ParseOperation).
  std::string OperationText() const;

 private:
  const EffectDialogModel* model_;
  std::vector<double> values_;
};
