// CVividDoc: the document of one image.
//
// The document owns its image (a CDIBitmap, never replaced while views hold
// the target-image pointer except by taking a prepared image), the display
// palette made from the image's colour table, an optional saved copy of the
// image as last opened or saved, and the framework's state: path name, title,
// modified flag, has-file flag. Images enter and leave here: Open, Save,
// Save As, Save Copy As and Revert read and write through LoadImageFile and
// SaveImageFile (format_dispatch.h), which pick the codec by extension.
//
// The texts the user sees are the system's own; the file dialog, questions
// and option dialogs go through platform::CurrentPrompts(), messages through
// platform::ShowMessage and status-line notices through
// platform::MainWindow().
//
// Everything runs on the user-interface thread. The file-busy flag is not a
// lock: it only disables commands while a file is read or written.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/edit_state.h"
#include "image/dibitmap.h"
#include "platform/palette.h"
#include "platform/region.h"

// How the next new document is made; set by the application before it asks
// for a new document. Values outside the list count as CM_BLANK.
enum CreationMode : int {
  CM_BLANK = 0,       // take the prepared image if any, else 100 x 100 24-bit white
  CM_ACQUIRE = 1,     // scan
  CM_CAPTURE = 2,     // screen capture
  CM_PASTE = 3,       // the clipboard's bitmap
  CM_COMBINE = 4,     // combine open gray documents
  CM_TAKE_IMAGE = 5,  // take the prepared image
};

// View update hints.
inline constexpr int kHintRedraw = 1;
inline constexpr int kHintSizeChanged = 4;
inline constexpr int kHintColorTableChanged = 8;
inline constexpr int kHintRevert = 15;

class CVividDoc;

// The byte stream a document is stored into or loaded from as a whole (the
// framework's archive). Loading takes the stream from its current position
// to its end.
class CArchive {
 public:
  static CArchive Storing(std::ostream& out) { return CArchive(nullptr, &out); }
  static CArchive Loading(std::istream& in) { return CArchive(&in, nullptr); }
  bool IsStoring() const { return out_ != nullptr; }
  bool IsLoading() const { return in_ != nullptr; }
  std::istream& In() const { return *in_; }
  std::ostream& Out() const { return *out_; }

 private:
  CArchive(std::istream* in, std::ostream* out) : in_(in), out_(out) {}
  std::istream* in_;
  std::ostream* out_;
};

// Largest archive stream Serialize loads: the largest image the BMP reader
// accepts (1 GiB of pixels) stored at 32 bits per pixel, with room for the
// headers and colour table.
inline constexpr int64_t kMaxArchiveBytes = (int64_t{1} << 30) / 3 * 4 + (int64_t{1} << 20);

// A view of a document; told what to refresh after the document changed.
class CDocumentView {
 public:
  virtual ~CDocumentView() = default;
  virtual void OnDocumentUpdate(CVividDoc& document, int hint) = 0;
};

class CVividDoc {
 public:
  CVividDoc();
  virtual ~CVividDoc();
  CVividDoc(const CVividDoc&) = delete;
  CVividDoc& operator=(const CVividDoc&) = delete;

  // --- framework operations ---

  // Makes the document's image by the current creation mode:
  // CM_BLANK: nothing when the image already has pixels; else the prepared
  //   image when there is one (as CM_TAKE_IMAGE); else a 100 x 100 24-bit
  //   image filled white, not modified.
  // CM_TAKE_IMAGE: takes over the prepared image and marks the document
  //   modified; without a prepared image it fails.
  // CM_PASTE: runs the source registered for it when there is one; else
  //   makes the image from the current clipboard (platform::
  //   CurrentClipboard()): "Cannot open the Clipboard" and failure when it
  //   cannot be opened; failure without a message when it holds no
  //   device-independent bitmap, or one whose header gives no image to make
  //   (size below 1 x 1, bit count other than 1, 4, 8, 16, 24, 32).
  //   Otherwise the clipboard is pasted as a floater at the top-left corner
  //   (RegionBitmapsFromClipboard: its outline and alpha when the private
  //   formats carry them, else opaque; its messages when it fails, and the
  //   new document fails) and dropped onto a white image of the floater's
  //   kind and size (1-bit or 8-bit with the bitmap's table, 24-bit RGB,
  //   32-bit CMYK) as Defloat drops it with the Normal merge at full
  //   opacity (GL_CombineBitmapWithAlpha): outside the outline the image
  //   stays white; inside it gray, 24-bit and CMYK pixels are blended over
  //   white by the alpha and palette pixels are taken where the alpha is not
  //   0. The document is then modified.
  // CM_ACQUIRE, CM_CAPTURE, CM_COMBINE: run the source registered with
  //   SetNewDocumentSource; without one they fail with a message such as
  //   "Scanning is not available in this build".
  // Returns false when the new document fails (the caller discards it).
  virtual bool OnNewDocument();
  // Opens `path`: repaints the main window, warns "%s is ReadOnly File,
  // Cannot be saved !" (caption "Warnning") for a read-only file and goes on
  // (unless SetWarnReadOnlyOnOpen turned the warning off),
  // shows "Loading File, wait..." and the wait cursor, reads with
  // LoadImageFile. On success the image is replaced, the path name set (and
  // added to the recent files), the document is not modified and has a file.
  // On failure the document keeps the image it had. The file-busy flag is
  // set while reading.
  virtual bool OnOpenDocument(const std::string& path);
  // Writes the image to `path` with SaveImageFile after "Saving File,
  // wait..." and the wait cursor, then "Ready !". On success the document is
  // not modified, has a file, and its saved copy (if any) is refreshed; on
  // failure nothing about the document changes. An empty path fails.
  virtual bool OnSaveDocument(const std::string& path);
  // Drops the saved copy, the selection, the floater and the undo record.
  virtual void DeleteContents();
  // The archive form (".vvd"): the image as a complete BMP file image, a
  // 14-byte file header starting "BM" followed by the packed DIB.
  // Storing writes the image as the BMP writer would (40-byte header with
  // compression, image size, resolutions and colours used 0; the full table
  // of 2 or 256 entries; bottom-up rows of whole strides, so a 32-bit image
  // comes back as CMYK) and fails when there is no image, its file image
  // would exceed 4 GiB, or the stream reports a write error.
  // Loading reads the 14-byte file header (fewer bytes or not "BM": 0 without
  // a message), then the rest of the stream up to its end (at most
  // kMaxArchiveBytes, else "CVividDoc::Serialize : the stream is too long";
  // a stream that ends early fails without a message), and decodes it with
  // the BMP reader, whose messages report a damaged bitmap. Only a decoded
  // image replaces the document's image (saved copy and editing state are
  // dropped, a resolution of 0 becomes 150 dots per inch as for embedded
  // objects, the palette is rebuilt and views are told kHintRevert); on
  // failure the document is unchanged. 1 on success, 0 on failure.
  virtual int Serialize(CArchive& archive);

  // Marking the document modified after an edit also makes its undo record
  // available to the Undo command.
  void SetModifiedFlag(bool modified = true) {
    modified_ = modified;
    if (modified) undoAvailable_ = true;
  }
  bool IsModified() const { return modified_; }
  void SetTitle(const std::string& title) { title_ = title; }
  const std::string& GetTitle() const { return title_; }
  // Sets the path name and the title (the file name), and adds the path to
  // the recent files when `addToRecent`.
  void SetPathName(const std::string& path, bool addToRecent = true);
  const std::string& GetPathName() const { return path_; }
  bool HasFile() const { return hasFile_; }

  // --- commands ---

  // Save: without a path, Save As. A read-only file shows "%s is ReadOnly.\n
  // But You can SaveAs other name or fomat." (caption "Warnning - File
  // Save") and writes nothing. Otherwise OnSaveDocument, then the undo
  // counters are reset.
  bool OnFileSave();
  // Save As: the save file dialog (types for the image's kind), looping on a
  // read-only choice ("%s is ReadOnly File, Cannot be saved !") and on
  // Cancel of "%s is Exist, OvertWrite?"; a name without '.' gets the chosen
  // type's first extension before those checks. On success the document
  // takes the new path.
  bool OnFileSaveAs();
  // Save Copy As: one run of the dialog, OnSaveDocument without changing
  // the path name, then the undo counters are reset.
  bool OnFileSaveCopyAs();
  // Revert: asks "Revert to the previously saved image ?"; on Yes reads the
  // file again. The document changes only when the file was read; then it
  // is not modified, the undo counters are 0, the palette is rebuilt and all
  // views are told kHintRevert.
  bool OnFileRevert();
  // Save is enabled while the document is modified and no file or scan is busy.
  bool CanSave() const;
  // Revert also needs a file.
  bool CanRevert() const;

  // Save As without the dialog, for a path already chosen (the command line
  // uses it with the type Save As would preselect): a name without '.' gets
  // the first extension of save type `typeIndex`, the folder becomes the
  // last directory, the image is written with OnSaveDocument and on success
  // the document takes the path.
  bool SaveAsChosen(std::string path, int typeIndex);
  // The save type (1-based, in BuildSaveFilter of the image's kind) that the
  // Save As dialog preselects: that of the path's extension (the text after
  // the file name's first '.', "tif" when there is none), else 1.
  int PreselectedSaveType() const;
  // The first extension of the index-th save type for the image's kind;
  // "Index is out of bounds" and "" outside the list.
  std::string GetSaveExtension(int index) const;

  // Makes the saved copy from the file when there is none (the eraser's
  // "Saved Image" mode asks for it). False when the file cannot be read.
  bool LoadSavedCopy();

  // --- state ---
  CDIBitmap& GetImage() { return *image_; }
  const CDIBitmap& GetImage() const { return *image_; }
  // The image the editing Parts work on; the image itself.
  CDIBitmap* GetTargetImage() const { return target_; }
  const CDIBitmap* GetSavedCopy() const { return savedCopy_.get(); }
  // The display palette: the image's colour table for 8 bits or fewer, none above.
  const std::optional<platform::Palette>& GetPalette() const { return palette_; }
  void RebuildPalette();
  int GetUndoCount(int which) const { return undoCounts_[which]; }
  void SetUndoCount(int which, int value) { undoCounts_[which] = value; }
  void ResetUndoCounts() { undoCounts_[0] = undoCounts_[1] = undoCounts_[2] = 0; }

  // --- selection and floater (doc_selection.cpp) ---
  //
  // The selection is a region stored relative to its bounding box plus the
  // box in image coordinates; it exists exactly while the region has a
  // handle. Every change clips the absolute region to the image rectangle,
  // takes its bounding box as the new box and stores the region relative to
  // it, then installs the absolute region as the image's mask (no selection:
  // no mask). The floater (pixels and an 8-bit alpha of the box's size) sits
  // at the box and has the region as its outline.

  bool HasSelection() const { return selection_.region.IsValid(); }
  bool HasFloater() const { return selection_.floaterPresent; }
  const SelectionState& GetSelection() const { return selection_; }
  // Left, top, right, bottom of the box; all 0 without a selection.
  platform::Rect SelectionBox() const;
  // The region in image coordinates; no handle without a selection.
  platform::Region SelectionRegionInImage() const;
  // Installs `region` (image coordinates) by `mode`: with no selection,
  // Replace and Add install it and Subtract and Intersect leave no
  // selection; with one, Replace installs it and the others combine the
  // current absolute region with it (union, current minus new, intersection).
  // A region without a handle counts as empty. Then the storage rules above.
  void CombineSelection(const platform::Region& region, SelectionCombine mode);
  // Installs an absolute region as the selection (the storage rules above).
  void SetSelectionRegion(const platform::Region& region) { CombineSelection(region, SelectionCombine::Replace); }
  // Replaces region (box-relative, not clipped) and box as they are: the
  // floater transforms keep a box that may reach outside the image.
  void SetSelection(platform::Region boxRelative, const platform::Rect& box);
  // Moves the box origin (the region and a floater move with it).
  void MoveSelectionTo(int32_t left, int32_t top);
  // Sets the image's mask from the absolute region, or clears it without a
  // selection.
  void ApplySelectionToImage();
  // Deletes the region, clears floater present and the image's mask.
  void ClearSelection();
  void SetFloaterPresent(bool present) { selection_.floaterPresent = present; }
  CDIBitmap& FloaterImage() { return floaterImage_; }
  CDIBitmap& FloaterAlpha() { return floaterAlpha_; }
  const CDIBitmap& FloaterImage() const { return floaterImage_; }
  const CDIBitmap& FloaterAlpha() const { return floaterAlpha_; }
  // Releases floater pixels and alpha (floater present is not touched).
  void FreeFloaterBitmaps();
  // The phase of the animated selection outline (0..7); advanced by one
  // each time a view's outline starts.
  int OutlinePhase() const { return outlinePhase_; }
  void AdvanceOutlinePhase() { outlinePhase_ = (outlinePhase_ + 1) & 7; }

  // --- undo (undo_record.cpp) ---

  // Records what an edit of `kind` may change (the parts table of
  // UndoPartsFor), replacing the previous record; a kind-13 record over a
  // kind-13 record only takes the new name. `region` (image coordinates)
  // limits the saved tiles to those whose 32 x 32 square touches it; without
  // one (nullptr) and with a selection, the selection's region limits them;
  // with neither, every tile is saved. False, with the record empty, when a
  // part cannot be copied (the copy's result code is reported).
  bool RecordUndo(int kind, const platform::Region* region, std::string_view name);
  // Whether edits record undo at all (on by default). A batch run that can
  // never undo (`vividrome-cli apply`) turns it off: RecordUndo then drops
  // the previous record and saves nothing, so edits cost no copies.
  void SetUndoEnabled(bool enabled) { undoEnabled_ = enabled; }
  // Brings back what the record holds and clears it: image geometry, colour
  // table and tiles; the floater (present only when saved) and its alpha;
  // the selection when saved. The caller has dropped the floater bitmaps and
  // the selection first.
  void RestoreUndo();
  // Releases the listed parts (UndoPart bits) and clears kind and name.
  void DiscardUndo(unsigned parts = kUndoAllParts);
  const UndoRecord& GetUndoRecord() const { return undo_; }
  // Undo is available after an edit was recorded and marked the document
  // modified, until it is undone.
  bool IsUndoAvailable() const { return undoAvailable_ && undo_.kind != 0; }
  // "Undo %s\tCtrl+Z" with the stored name, "Undo\tCtrl+Z" without one.
  std::string UndoMenuText() const;

  void AddView(CDocumentView* view);
  void RemoveView(CDocumentView* view);
  void UpdateAllViews(int hint);

  // --- process-wide state ---
  static bool IsFileBusy();
  static bool IsScanBusy();
  static void SetScanBusy(bool busy);
  // Folder of the last file chosen in the Open or Save As dialog.
  static const std::string& GetLastDirectory();
  static void SetLastDirectory(const std::string& folder);
  static CreationMode GetCreationMode();
  static void SetCreationMode(CreationMode mode);
  // The image the next new document takes over (CM_BLANK, CM_TAKE_IMAGE).
  static void SetPreparedImage(std::unique_ptr<CDIBitmap> image);
  static bool HasPreparedImage();
  // While set (the eraser's "Saved Image" mode), Open and Save keep a saved copy.
  static void SetKeepSavedCopy(bool keep);
  // Makes the image of a new document for CM_ACQUIRE, CM_CAPTURE, CM_PASTE
  // or CM_COMBINE; returns false when the new document fails (after telling
  // the user why). An empty function removes the source.
  using NewDocumentSource = std::function<bool(CVividDoc& document)>;
  static void SetNewDocumentSource(CreationMode mode, NewDocumentSource source);
  // Whether Open warns that a read-only file cannot be saved (on by default;
  // off for the command line, which never saves over what it opened).
  static void SetWarnReadOnlyOnOpen(bool warn);
  // Called with every path set by Open and Save As, for the recent-file list.
  static void SetRecentFileHandler(std::function<void(const std::string& path)> handler);

 private:
  bool TakePreparedImage();
  // The dialog part shared by Save As and Save Copy As.
  std::optional<std::pair<std::string, int>> RunSaveDialog(bool checkExisting);
  std::string AppendSaveExtension(std::string path, int typeIndex) const;

  std::unique_ptr<CDIBitmap> image_;
  CDIBitmap* target_ = nullptr;
  std::unique_ptr<CDIBitmap> savedCopy_;
  std::optional<platform::Palette> palette_;
  std::string path_;
  std::string title_;
  bool modified_ = false;
  bool hasFile_ = false;
  int undoCounts_[3] = {0, 0, 0};
  std::vector<CDocumentView*> views_;
  SelectionState selection_;
  CDIBitmap floaterImage_;
  CDIBitmap floaterAlpha_;
  int outlinePhase_ = 0;
  UndoRecord undo_;
  bool undoAvailable_ = false;
  bool undoEnabled_ = true;
};
