// The document's selection and floater storage.
#include "document/vivid_doc.h"

platform::Rect CVividDoc::SelectionBox() const {
  if (!HasSelection()) return {};
  return {selection_.left, selection_.top, selection_.left + selection_.width, selection_.top + selection_.height};
}

platform::Region CVividDoc::SelectionRegionInImage() const {
  if (!HasSelection()) return {};
  platform::Region region = selection_.region;
  region.Offset(selection_.left, selection_.top);
  return region;
}

void CVividDoc::CombineSelection(const platform::Region& region, SelectionCombine mode) {
  const platform::Region added = region.IsValid() ? region : platform::Region::Empty();
  platform::Region result;
  if (!HasSelection()) {
    if (mode == SelectionCombine::Subtract || mode == SelectionCombine::Intersect) return;
    result = added;
  } else {
    const platform::Region current = SelectionRegionInImage();
    switch (mode) {
      case SelectionCombine::Replace: result = added; break;
      case SelectionCombine::Add: result = current.Union(added); break;
      case SelectionCombine::Subtract: result = current.Subtract(added); break;
      case SelectionCombine::Intersect: result = current.Intersect(added); break;
    }
  }
  result = result.Intersect(platform::Region::FromRect(0, 0, image_->GetWidth(), image_->GetHeight()));
  const platform::Rect box = result.Box();
  result.Offset(-box.left, -box.top);
  selection_.region = std::move(result);
  selection_.left = box.left;
  selection_.top = box.top;
  selection_.width = box.Width();
  selection_.height = box.Height();
  ApplySelectionToImage();
}

void CVividDoc::SetSelection(platform::Region boxRelative, const platform::Rect& box) {
  selection_.region = boxRelative.IsValid() ? std::move(boxRelative) : platform::Region::Empty();
  selection_.left = box.left;
  selection_.top = box.top;
  selection_.width = box.Width();
  selection_.height = box.Height();
}

void CVividDoc::MoveSelectionTo(int32_t left, int32_t top) {
  selection_.left = left;
  selection_.top = top;
}

void CVividDoc::ApplySelectionToImage() {
  if (!HasSelection()) {
    image_->ClearMask();
    return;
  }
  const platform::Region region = SelectionRegionInImage();
  image_->SetMaskRgn(&region);
}

void CVividDoc::ClearSelection() {
  selection_ = SelectionState{};
  image_->ClearMask();
}

void CVividDoc::FreeFloaterBitmaps() {
  floaterImage_.Free();
  floaterAlpha_.Free();
}
