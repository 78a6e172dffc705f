// The animated selection outline (to be written).
#include "editing/vivid_view.h"

void CVividView::StopOutline() { outlineRunning_ = false; }
void CVividView::StartOutline() {}
void CVividView::OutlineTick(int) {}
