// Selection files (to be written).
#include "editing/vivid_view.h"

EditResult CVividView::OnSaveSelection(const std::string&) { return 0; }
EditResult CVividView::OnLoadSelection(const std::string&, SelectionCombine) { return 0; }
