// Floater, clipboard and transform commands; the floater tools (to be written).
#include "editing/vivid_view.h"

EditResult CVividView::OnFloat() { return 0; }
EditResult CVividView::OnDefloat() { return 0; }
EditResult CVividView::OnCopy() { return 0; }
EditResult CVividView::OnCut() { return 0; }
EditResult CVividView::OnDelete() { return 0; }
EditResult CVividView::OnFill() { return 0; }
EditResult CVividView::OnPaste() { return 0; }
EditResult CVividView::OnDefineStamp() { return 0; }
EditResult CVividView::OnTrim() { return 0; }
EditResult CVividView::RunTransform(const ParsedOperation&) { return 0; }
const CDIBitmap& CVividView::StampImage() const { return stampImage_; }
const CDIBitmap& CVividView::StampAlpha() const { return stampAlpha_; }
void CVividView::FloaterPress(platform::Point, PointerButton, unsigned) {}
void CVividView::FloaterMove(platform::Point, unsigned) {}
void CVividView::FloaterRelease(platform::Point, PointerButton, unsigned) {}
void CVividView::FloaterKey(ViewKey, int, unsigned) {}
