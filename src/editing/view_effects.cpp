// Effect commands with their preview (to be written).
#include "editing/vivid_view.h"

void CVividView::PrepareDisplayPatches() {}
