// The text tool (to be written).
#include "editing/vivid_view.h"

void CVividView::TextPress(platform::Point, PointerButton, unsigned) {}
bool CVividView::TextDialogOpen() const { return false; }
EditResult CVividView::OnTextDialogOk() { return 0; }
void CVividView::OnTextDialogCancel() {}
