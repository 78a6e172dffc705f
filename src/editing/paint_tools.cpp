// The paint, line and shape tools and the colour picker (to be written).
#include "editing/vivid_view.h"

void CVividView::PaintPress(platform::Point, PointerButton, unsigned) {}
void CVividView::PaintMove(platform::Point, unsigned) {}
void CVividView::PaintRelease(platform::Point, PointerButton, unsigned) {}
void CVividView::PaintTick(int) {}
