// Selection tools and the Select menu (to be written).
#include "editing/vivid_view.h"

EditResult CVividView::OnSelectAll() { return 0; }
EditResult CVividView::OnSelectNone() { return 0; }
EditResult CVividView::OnSelectInverse() { return 0; }
EditResult CVividView::OnSelectBorder(int) { return 0; }
EditResult CVividView::OnSelectExpand(int) { return 0; }
EditResult CVividView::OnSelectContract(int) { return 0; }
EditResult CVividView::OnHideSelection() { return 0; }
bool CVividView::HitSelection(platform::Point) const { return false; }
EditResult CVividView::RunSelectionCommand(int, std::string_view, const std::function<std::optional<platform::Region>()>&,
                                           SelectionCombine) {
  return 0;
}
void CVividView::MoveSelectionBy(int, int, int, std::string_view) {}
void CVividView::SelectionPress(platform::Point, PointerButton, unsigned) {}
void CVividView::SelectionMove(platform::Point, unsigned) {}
void CVividView::SelectionRelease(platform::Point, PointerButton, unsigned) {}
void CVividView::SelectionDoubleClick(platform::Point, unsigned) {}
void CVividView::SelectionKey(ViewKey, int, unsigned) {}
