// The floater: making, feathering and dropping it (to be written).
#include "editing/vivid_view.h"

bool CVividView::CreateFloaterBitmaps(bool) { return false; }
void CVividView::Defloat() {}
