// The document's single undo record: what an edit may change, saved before
// it, and put back by Undo.
#include <algorithm>
#include <cstring>

#include "document/vivid_doc.h"
#include "image/result_codes.h"
#include "platform/main_window.h"
#include "platform/messages.h"

unsigned UndoPartsFor(int kind, bool selection, bool floater) {
  constexpr unsigned F = kUndoFloaterPixels, A = kUndoFloaterAlpha, R = kUndoSelection, I = kUndoImage;
  struct Row {
    unsigned both, selectionOnly, none;
  };
  Row row;
  switch (kind) {
    case 11: row = {F | A | R | I, R, 0}; break;
    case 12:
    case 13: row = {F | A | R, R, 0}; break;
    case 15: row = {F | A | R, R | I, 0}; break;
    case 16: row = {0, R, 0}; break;
    case 17: row = {F | A | R | I, 0, 0}; break;
    case 18:
    case 30: row = {F | A | R | I, R, 0}; break;
    case 99: row = {F | A | R | I, R | I, I}; break;
    default: row = {F | A | R, R | I, I}; break;  // 19, 40-45, 50 and unknown kinds
  }
  if (!selection) return row.none;
  return floater ? row.both : row.selectionOnly;
}

namespace {

// Saves the tiles of `image` whose 32 x 32 square touches `region` (every
// tile without one) as runs of neighbouring tiles per band.
bool SaveTiles(const CDIBitmap& image, const platform::Region* region, UndoRecord& record) {
  const int width = image.GetWidth(), height = image.GetHeight(), bits = image.GetBitCount();
  const int tilesAcross = (width + kUndoTileSize - 1) / kUndoTileSize;
  std::vector<platform::Rect> rects;
  if (region) rects = region->Rects();
  size_t rectStart = 0;
  std::vector<uint8_t> wanted(static_cast<size_t>(tilesAcross));
  size_t bytes = 0;
  for (int y = 0; y < height; y += kUndoTileSize) {
    const int h = std::min(kUndoTileSize, height - y);
    if (!region) {
      std::fill(wanted.begin(), wanted.end(), 1);
    } else {
      std::fill(wanted.begin(), wanted.end(), 0);
      // Rectangles come in band order: skip those ending above this band.
      while (rectStart < rects.size() && rects[rectStart].bottom <= y) ++rectStart;
      for (size_t i = rectStart; i < rects.size() && rects[i].top < y + kUndoTileSize; ++i) {
        if (rects[i].bottom <= y) continue;
        const int first = std::max(0, rects[i].left) / kUndoTileSize;
        const int last = std::min(width - 1, rects[i].right - 1);
        if (rects[i].right <= 0 || rects[i].left >= width) continue;
        for (int t = first; t <= last / kUndoTileSize; ++t) wanted[static_cast<size_t>(t)] = 1;
      }
    }
    for (int t = 0; t < tilesAcross;) {
      if (!wanted[static_cast<size_t>(t)]) {
        ++t;
        continue;
      }
      int end = t;
      while (end < tilesAcross && wanted[static_cast<size_t>(end)]) ++end;
      UndoRecord::Run run;
      run.x = t * kUndoTileSize;
      run.y = y;
      run.w = std::min(end * kUndoTileSize, width) - run.x;
      run.h = h;
      run.offset = bytes;
      bytes += static_cast<size_t>((static_cast<int64_t>(run.w) * bits + 7) / 8) * static_cast<size_t>(h);
      record.runs.push_back(run);
      record.tileCount += end - t;
      t = end;
    }
  }
  if (!record.pixels.Allocate(bytes)) {
    record.runs.clear();
    record.tileCount = 0;
    return false;
  }
  for (const UndoRecord::Run& run : record.runs) {
    const size_t rowBytes = static_cast<size_t>((static_cast<int64_t>(run.w) * bits + 7) / 8);
    const size_t start = static_cast<size_t>(static_cast<int64_t>(run.x) * bits / 8);
    uint8_t* out = record.pixels.get() + run.offset;
    for (int r = 0; r < run.h; ++r, out += rowBytes) std::memcpy(out, image.RowPointer(run.y + r) + start, rowBytes);
  }
  return true;
}

std::unique_ptr<CDIBitmap> CopyOf(const CDIBitmap& bitmap) {
  auto copy = std::make_unique<CDIBitmap>();
  if (!copy->CopyFrom(bitmap)) return nullptr;
  return copy;
}

}  // namespace

bool CVividDoc::RecordUndo(int kind, const platform::Region* region, std::string_view name) {
  if (!undoEnabled_) {
    DiscardUndo(kUndoAllParts);
    return true;
  }
  platform::MainWindowSink& window = platform::MainWindow();
  if (kind == 13 && undo_.kind == 13) {
    undo_.name = std::string(name.substr(0, 255));
    return true;
  }
  window.WaitCursor(true);
  DiscardUndo(kUndoAllParts);
  const bool selection = HasSelection();
  const bool floater = HasFloater();
  const unsigned parts = UndoPartsFor(kind, selection, floater);

  bool ok = true;
  if ((parts & kUndoFloaterPixels) && floater && floaterImage_.IsAllocated())
    ok = (undo_.floaterPixels = CopyOf(floaterImage_)) != nullptr;
  if (ok && (parts & kUndoFloaterAlpha) && floater && floaterAlpha_.IsAllocated())
    ok = (undo_.floaterAlpha = CopyOf(floaterAlpha_)) != nullptr;
  if (ok && (parts & kUndoSelection) && selection) {
    undo_.region = selection_.region;
    undo_.boxLeft = selection_.left;
    undo_.boxTop = selection_.top;
    undo_.boxWidth = selection_.width;
    undo_.boxHeight = selection_.height;
  }
  if (ok && (parts & kUndoImage) && image_->IsAllocated()) {
    undo_.hasImage = true;
    undo_.width = image_->GetWidth();
    undo_.height = image_->GetHeight();
    undo_.bitCount = image_->GetBitCount();
    undo_.colorType = image_->GetColorType();
    if (undo_.bitCount <= 8) {
      undo_.colorTable.resize(static_cast<size_t>(image_->GetPaletteSize()) * 4);
      image_->GetColorTable(undo_.colorTable.data(), image_->GetPaletteSize());
    }
    // Trim and Canvas Size change the image's size, so every pixel must come
    // back: those kinds save every tile whatever region they were given.
    platform::Region limit;
    const platform::Region* tilesOf = nullptr;
    if (kind != 99) {
      if (region && region->IsValid()) {
        tilesOf = region;
      } else if (selection) {
        limit = SelectionRegionInImage();
        tilesOf = &limit;
      }
    }
    ok = SaveTiles(*image_, tilesOf, undo_);
  }
  if (!ok) {
    DiscardUndo(kUndoAllParts);
    window.WaitCursor(false);
    platform::ShowMessage(FormatErrorCode(kResultOutOfMemory));
    return false;
  }
  undo_.name = std::string(name.substr(0, 255));
  undo_.kind = kind;
  window.WaitCursor(false);
  return true;
}

void CVividDoc::RestoreUndo() {
  if (undo_.hasImage) {
    if (image_->GetWidth() != undo_.width || image_->GetHeight() != undo_.height ||
        image_->GetBitCount() != undo_.bitCount || image_->GetColorType() != undo_.colorType) {
      CDIBitmap rebuilt;
      const int options = (undo_.colorType == CT_GRAY || undo_.colorType == CT_CMYK) ? 1 : 0;
      if (rebuilt.Create(undo_.width, undo_.height, undo_.bitCount, options)) {
        rebuilt.SetResolution(image_->GetXResolution(), image_->GetYResolution());
        image_->Free();
        image_->Attach(rebuilt);
      }
    }
    if (undo_.bitCount <= 8 && !undo_.colorTable.empty())
      image_->SetColorTable(undo_.colorTable.data(), static_cast<int>(undo_.colorTable.size() / 4));
    if (image_->GetWidth() == undo_.width && image_->GetHeight() == undo_.height &&
        image_->GetBitCount() == undo_.bitCount) {
      const int bits = undo_.bitCount;
      for (const UndoRecord::Run& run : undo_.runs) {
        const size_t rowBytes = static_cast<size_t>((static_cast<int64_t>(run.w) * bits + 7) / 8);
        const size_t start = static_cast<size_t>(static_cast<int64_t>(run.x) * bits / 8);
        const uint8_t* in = undo_.pixels.get() + run.offset;
        for (int r = 0; r < run.h; ++r, in += rowBytes)
          std::memcpy(image_->RowPointer(run.y + r) + start, in, rowBytes);
      }
    }
    if (undo_.bitCount <= 8) RebuildPalette();
  }
  if (undo_.floaterPixels) {
    floaterImage_.Free();
    floaterImage_.Attach(*undo_.floaterPixels);
    selection_.floaterPresent = true;
  } else {
    selection_.floaterPresent = false;
  }
  if (undo_.floaterAlpha) {
    floaterAlpha_.Free();
    floaterAlpha_.Attach(*undo_.floaterAlpha);
  }
  if (undo_.region) {
    SetSelection(std::move(*undo_.region), {undo_.boxLeft, undo_.boxTop, undo_.boxLeft + undo_.boxWidth,
                                            undo_.boxTop + undo_.boxHeight});
  }
  DiscardUndo(kUndoAllParts);
  undoAvailable_ = false;
}

void CVividDoc::DiscardUndo(unsigned parts) {
  if (parts & kUndoFloaterPixels) undo_.floaterPixels.reset();
  if (parts & kUndoFloaterAlpha) undo_.floaterAlpha.reset();
  if (parts & kUndoSelection) undo_.region.reset();
  if (parts & kUndoImage) {
    undo_.hasImage = false;
    undo_.colorTable.clear();
    undo_.runs.clear();
    undo_.pixels.Reset();
    undo_.tileCount = 0;
  }
  undo_.kind = 0;
  undo_.name.clear();
}

std::string CVividDoc::UndoMenuText() const {
  if (undo_.name.empty()) return "Undo\tCtrl+Z";
  return "Undo " + undo_.name + "\tCtrl+Z";
}
