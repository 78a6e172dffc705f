#include "document/vivid_doc.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <istream>
#include <map>
#include <ostream>
#include <span>

#include "document/clipboard_formats.h"
#include "document/codecs/bmp.h"
#include "document/format_dispatch.h"
#include "document/format_tables.h"
#include "image/dib_header.h"
#include "image/result_codes.h"
#include "imaging/combine.h"
#include "platform/main_window.h"
#include "platform/messages.h"
#include "platform/prompts.h"

namespace {

bool g_fileBusy = false;
bool g_scanBusy = false;
std::string g_lastDirectory;
CreationMode g_creationMode = CM_BLANK;
std::unique_ptr<CDIBitmap> g_preparedImage;
bool g_keepSavedCopy = false;
bool g_warnReadOnlyOnOpen = true;
std::map<int, CVividDoc::NewDocumentSource> g_sources;
std::function<void(const std::string&)> g_recentFileHandler;

// Holds the file-busy flag for the lifetime of a read or write.
class FileBusyScope {
 public:
  FileBusyScope() : previous_(g_fileBusy) { g_fileBusy = true; }
  ~FileBusyScope() { g_fileBusy = previous_; }
  FileBusyScope(const FileBusyScope&) = delete;
  FileBusyScope& operator=(const FileBusyScope&) = delete;

 private:
  bool previous_;
};

// The file name: the text after the last '/'.
std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file name's extension: lower-cased text after its first '.'; nullopt
// when the name has no '.'.
std::optional<std::string> ExtensionOf(const std::string& path) {
  const std::string name = FileNameOf(path);
  const size_t dot = name.find('.');
  if (dot == std::string::npos) return std::nullopt;
  std::string ext = name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

// The file name before its first '.', "NONAME" when that is empty.
std::string BaseNameOf(const std::string& path) {
  const std::string name = FileNameOf(path);
  std::string base = name.substr(0, name.find('.'));
  return base.empty() ? "NONAME" : base;
}

std::string FolderOf(const std::string& path) {
  std::error_code ignored;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
  return absolute.parent_path().string();
}

const char* UnavailableText(CreationMode mode) {
  switch (mode) {
    case CM_ACQUIRE: return "Scanning is not available in this build";
    case CM_CAPTURE: return "Screen capture is not available in this build";
    case CM_COMBINE: return "Channel combine is not available in this build";
    default: return "There is no image to take for the new document";
  }
}

// Whether a packed DIB's header (12-byte core or 40-byte and longer
// information header) gives a size of at least 1 x 1 and a bit count of 1,
// 4, 8, 16, 24 or 32: the shapes a new image can be made for.
bool DibHeaderUsable(std::span<const uint8_t> dib) {
  if (dib.size() < kCoreHeaderSize) return false;
  const DIBInfoHeader header = ReadDIBInfoHeader(dib);
  if (header.size != kCoreHeaderSize && (header.size < 40 || dib.size() < 16)) return false;
  // A negative height marks top-down rows.
  const int64_t height = header.height < 0 ? -header.height : header.height;
  if (header.width < 1 || height < 1) return false;
  const int bits = header.bitCount;
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Drops `floater` onto a new white image of its own kind (1-bit or 8-bit
// with its colour table, 24-bit RGB, 32-bit CMYK) and size, as Defloat drops
// a floater with the Normal merge at full opacity: the image library's alpha
// combine (GL_CombineBitmapWithAlpha) through the outline. Outside the
// outline the image stays white (0xFF for RGB, no ink for CMYK, the whitest
// table entry for palette kinds). False when the image cannot be created.
bool DropOnWhite(const FloaterParts& floater, CDIBitmap& out) {
  const CDIBitmap& source = floater.image;
  CDIBitmap canvas;
  // A 32-bit bitmap's bytes are taken as cyan, magenta, yellow, black.
  const bool made = source.GetBitCount() == 32 ? canvas.Create(source.GetWidth(), source.GetHeight(), 32, 3) != 0
                                               : canvas.CreateCompatible(source, source.GetWidth(), source.GetHeight()) != 0;
  if (!made) return false;
  canvas.SetResolution(source.GetXResolution(), source.GetYResolution());
  const int width = canvas.GetWidth(), height = canvas.GetHeight(), bits = canvas.GetBitCount();
  int white = 0;  // the byte every row starts with; CMYK keeps 0, no ink
  if (bits == 24) white = 0xFF;
  if (bits == 8) white = canvas.NearestIndex(0xFFFFFF);
  if (bits == 1) white = canvas.NearestIndex(0xFFFFFF) ? 0xFF : 0x00;
  for (int y = 0; y < height; ++y) std::memset(canvas.RowPointer(y), white, static_cast<size_t>(canvas.GetRowBytes()));
  canvas.SetMaskRgn(&floater.outline);
  const int result = GL_CombineBitmapWithAlpha(canvas, 0, 0, width, height, source, 0, 0, floater.alpha, 0, 0, 255);
  canvas.ClearMask();
  if (result != 1) return false;
  out.Attach(canvas);
  return true;
}

// A new image from the clipboard's device-independent bitmap. The
// clipboard is opened to look at the bitmap's header; without a bitmap, or
// with a header that gives no image to make, no image is created and the
// new document fails without a message. Otherwise the clipboard is pasted
// as a floater at the top-left corner (with the outline and alpha the
// private formats carry; a plain bitmap pastes fully opaque) and dropped
// onto a white image of the bitmap's kind and size.
bool ImageFromClipboard(CDIBitmap& image) {
  platform::Clipboard& clipboard = platform::CurrentClipboard();
  if (!clipboard.Open()) {
    platform::ShowMessage("Cannot open the Clipboard");
    return false;
  }
  const auto dib = clipboard.GetData(platform::kClipboardDIB);
  const bool usable = dib && DibHeaderUsable(*dib);
  clipboard.Close();
  if (!usable) return false;

  // The paste shows its own messages when it fails.
  FloaterParts floater;
  if (!RegionBitmapsFromClipboard(floater, platform::Point{0, 0}, clipboard)) return false;
  return DropOnWhite(floater, image);
}

}  // namespace

CVividDoc::CVividDoc() : image_(std::make_unique<CDIBitmap>()), target_(image_.get()) {
  // The private clipboard formats are registered once, by the first document.
  RegisterClipboardFormats();
}

CVividDoc::~CVividDoc() = default;

// --- framework operations ---

bool CVividDoc::OnNewDocument() {
  DeleteContents();
  path_.clear();
  hasFile_ = false;
  modified_ = false;

  CreationMode mode = g_creationMode;
  if (mode < CM_BLANK || mode > CM_TAKE_IMAGE) mode = CM_BLANK;
  bool ok = false;
  switch (mode) {
    case CM_BLANK:
      if (image_->IsAllocated()) {
        ok = true;
      } else if (g_preparedImage) {
        ok = TakePreparedImage();
      } else if (image_->Create(100, 100, 24, 0)) {
        for (int y = 0; y < image_->GetHeight(); ++y)
          std::memset(image_->RowPointer(y), 0xFF, static_cast<size_t>(image_->GetRowBytes()));
        ok = true;
      }
      break;
    case CM_TAKE_IMAGE:
      ok = TakePreparedImage();
      if (!ok) platform::ShowMessage(UnavailableText(mode));
      break;
    default: {
      auto source = g_sources.find(mode);
      if (mode == CM_PASTE && (source == g_sources.end() || !source->second)) {
        ok = ImageFromClipboard(*image_);
        if (ok) modified_ = true;
        break;
      }
      if (source == g_sources.end() || !source->second) {
        platform::ShowMessage(UnavailableText(mode));
        break;
      }
      ok = source->second(*this);
      if (ok) modified_ = true;
      break;
    }
  }
  RebuildPalette();
  return ok;
}

bool CVividDoc::TakePreparedImage() {
  if (!g_preparedImage) return false;
  image_ = std::move(g_preparedImage);
  target_ = image_.get();
  modified_ = true;
  return true;
}

bool CVividDoc::OnOpenDocument(const std::string& path) {
  platform::MainWindowSink& window = platform::MainWindow();
  window.Repaint();
  if (g_warnReadOnlyOnOpen && IsReadOnlyFile(path))
    platform::ShowMessage(platform::FormatText("%s is ReadOnly File, Cannot be saved !", path.c_str()), "Warnning",
                          platform::MsgIcon::Exclamation);

  FileBusyScope busy;
  window.StatusText("Loading File, wait...");
  window.WaitCursor(true);
  CDIBitmap loaded;
  const int result = LoadImageFile(loaded, path, 1);
  window.WaitCursor(false);
  if (!result) return false;

  // The storage moves into the document's own image object, so the target
  // image pointer held by the views stays valid.
  DeleteContents();
  image_->Attach(loaded);
  image_->SetResolution(loaded.GetXResolution(), loaded.GetYResolution());
  SetPathName(path);
  modified_ = false;
  hasFile_ = true;
  if (g_keepSavedCopy) {
    savedCopy_ = std::make_unique<CDIBitmap>();
    if (!savedCopy_->CopyFrom(*image_)) savedCopy_.reset();
  }
  RebuildPalette();
  return true;
}

bool CVividDoc::OnSaveDocument(const std::string& path) {
  if (path.empty()) return false;
  platform::MainWindowSink& window = platform::MainWindow();
  int result;
  {
    FileBusyScope busy;
    window.StatusText("Saving File, wait...");
    window.WaitCursor(true);
    result = SaveImageFile(*image_, path, 1);
    window.WaitCursor(false);
  }
  window.Ready();
  if (!result) return false;
  // The saved copy mirrors the file, so it follows only a save that happened.
  if (savedCopy_ && !savedCopy_->CopyFrom(*image_)) savedCopy_.reset();
  modified_ = false;
  hasFile_ = true;
  return true;
}

void CVividDoc::DeleteContents() {
  // The selection, the floater and the undo record hang on the image that
  // is being dropped.
  savedCopy_.reset();
  ClearSelection();
  FreeFloaterBitmaps();
  DiscardUndo(kUndoAllParts);
  undoAvailable_ = false;
}

// --- archive form ---

namespace {

constexpr size_t kBmpFileHeaderSize = 14;
constexpr size_t kArchiveChunk = size_t{1} << 20;

// Writes the image as the bytes of its BMP file (BMPWriteStream); 0 when
// the image has no pixels, its file would exceed 4 GiB - 1 bytes, or the
// stream fails.
int StoreImageStream(const CDIBitmap& image, std::ostream& out) {
  const int result = BMPWriteStream(image, [&out](std::span<const uint8_t> bytes) {
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return out.good();
  });
  if (result != kResultOk) return 0;
  out.flush();
  return out.good() ? 1 : 0;
}

// Appends the rest of the stream to `bytes`: up to its end when the stream
// can tell where that is (a stream that ends early gives false), else until
// no more arrives. False, with a message, when more than kMaxArchiveBytes in
// all would be needed.
bool ReadRestOfStream(std::istream& in, std::vector<uint8_t>& bytes) {
  constexpr uint64_t kLimit = static_cast<uint64_t>(kMaxArchiveBytes);
  std::optional<uint64_t> expected;
  const std::istream::pos_type here = in.tellg();
  if (here != std::istream::pos_type(-1) && in.seekg(0, std::ios::end)) {
    const std::istream::pos_type end = in.tellg();
    in.seekg(here);
    const std::streamoff length = end - here;
    if (end != std::istream::pos_type(-1) && length >= 0) expected = static_cast<uint64_t>(length);
  }
  in.clear();
  const auto tooLong = [] {
    platform::ShowMessage("CVividDoc::Serialize : the stream is too long");
    return false;
  };
  if (expected && bytes.size() + *expected > kLimit) return tooLong();
  if (expected) bytes.reserve(bytes.size() + static_cast<size_t>(*expected));
  // Read in chunks; without a known length memory follows what really arrives.
  for (;;) {
    const size_t want = expected ? static_cast<size_t>(std::min<uint64_t>(*expected, kArchiveChunk)) : kArchiveChunk;
    if (want == 0) return true;
    const size_t before = bytes.size();
    bytes.resize(before + want);
    in.read(reinterpret_cast<char*>(bytes.data() + before), static_cast<std::streamsize>(want));
    const size_t got = static_cast<size_t>(in.gcount());
    bytes.resize(before + got);
    if (bytes.size() > kLimit) return tooLong();
    if (got < want) return !expected;
    if (expected) *expected -= got;
  }
}

}  // namespace

int CVividDoc::Serialize(CArchive& archive) {
  if (archive.IsStoring()) return StoreImageStream(*image_, archive.Out());
  if (!archive.IsLoading()) return 0;

  std::istream& in = archive.In();
  std::vector<uint8_t> bytes(kBmpFileHeaderSize);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(kBmpFileHeaderSize));
  if (static_cast<size_t>(in.gcount()) < kBmpFileHeaderSize || bytes[0] != 'B' || bytes[1] != 'M') return 0;
  if (!ReadRestOfStream(in, bytes)) return 0;

  std::FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
  if (!file) return 0;
  CDIBitmap loaded;
  const int result = BMPReadStream(file, loaded);
  std::fclose(file);
  if (!result) return 0;

  // The storage moves into the document's own image object, so the target
  // image pointer held by the views stays valid.
  DeleteContents();
  const int xResolution = loaded.GetXResolution() ? loaded.GetXResolution() : 150;
  const int yResolution = loaded.GetYResolution() ? loaded.GetYResolution() : 150;
  image_->Free();
  image_->Attach(loaded);
  image_->SetResolution(xResolution, yResolution);
  RebuildPalette();
  UpdateAllViews(kHintRevert);
  return 1;
}

void CVividDoc::SetPathName(const std::string& path, bool addToRecent) {
  path_ = path;
  title_ = FileNameOf(path);
  if (addToRecent && g_recentFileHandler) g_recentFileHandler(path);
}

// --- commands ---

bool CVividDoc::OnFileSave() {
  if (path_.empty()) return OnFileSaveAs();
  if (IsReadOnlyFile(path_)) {
    platform::ShowMessage(
        platform::FormatText("%s is ReadOnly.\n But You can SaveAs other name or fomat.", path_.c_str()),
        "Warnning - File Save", platform::MsgIcon::Exclamation);
    return false;
  }
  const bool ok = OnSaveDocument(path_);
  ResetUndoCounts();
  return ok;
}

bool CVividDoc::OnFileSaveAs() {
  const auto chosen = RunSaveDialog(true);
  if (!chosen) return false;
  return SaveAsChosen(chosen->first, chosen->second);
}

bool CVividDoc::OnFileSaveCopyAs() {
  const auto chosen = RunSaveDialog(false);
  if (!chosen) return false;
  const bool ok = OnSaveDocument(chosen->first);
  ResetUndoCounts();
  return ok;
}

bool CVividDoc::OnFileRevert() {
  if (!CanRevert()) return false;
  if (!platform::CurrentPrompts().AskYesNo("Revert to the previously saved image ?", "")) return false;

  FileBusyScope busy;
  platform::MainWindowSink& window = platform::MainWindow();
  window.WaitCursor(true);
  CDIBitmap loaded;
  const int result = LoadImageFile(loaded, path_, 1);
  window.WaitCursor(false);
  // Reading into a fresh bitmap first: a file that cannot be read any more
  // leaves the document, edits included, as it was.
  if (!result) return false;

  DeleteContents();
  image_->Free();
  image_->Attach(loaded);
  image_->SetResolution(loaded.GetXResolution(), loaded.GetYResolution());
  modified_ = false;
  ResetUndoCounts();
  RebuildPalette();
  UpdateAllViews(kHintRevert);
  return true;
}

bool CVividDoc::CanSave() const { return !g_fileBusy && !g_scanBusy && modified_; }

bool CVividDoc::CanRevert() const { return CanSave() && hasFile_; }

std::optional<std::pair<std::string, int>> CVividDoc::RunSaveDialog(bool checkExisting) {
  const int bitCount = image_->GetBitCount();
  const bool gray = image_->IsGray();

  platform::FileDialogRequest request;
  request.mode = platform::FileDialogMode::Save;
  request.initialName = path_.empty() ? title_ : path_;
  request.initialFolder = g_lastDirectory;
  request.defaultExtension = ExtensionOf(request.initialName).value_or("");
  request.filter = BuildSaveFilter(bitCount, gray);
  request.typeIndex = PreselectedSaveType();
  request.onTypeChanged = [bitCount, gray](int typeIndex, const std::string& currentName) {
    return BaseNameOf(currentName) + "." + ::GetSaveExtension(bitCount, gray, typeIndex);
  };

  for (;;) {
    std::optional<platform::FileDialogResult> result = platform::CurrentPrompts().FileDialog(request);
    if (!result) return std::nullopt;
    // The extension is added before the existence test, so that the file
    // really written is the one checked.
    std::string path = AppendSaveExtension(result->path, result->typeIndex);
    if (checkExisting && FileExists(path)) {
      request.initialName = path;
      if (IsReadOnlyFile(path)) {
        platform::ShowMessage(platform::FormatText("%s is ReadOnly File, Cannot be saved !", path.c_str()));
        continue;
      }
      if (platform::ShowMessage(platform::FormatText("%s is Exist, OvertWrite?", path.c_str()), "Warnning",
                                platform::MsgIcon::Exclamation,
                                platform::MsgButtons::OkCancel) == platform::MsgAnswer::Cancel)
        continue;
    }
    return std::make_pair(path, result->typeIndex);
  }
}

std::string CVividDoc::AppendSaveExtension(std::string path, int typeIndex) const {
  if (FileNameOf(path).find('.') != std::string::npos) return path;
  const std::string ext = GetSaveExtension(typeIndex);
  if (!ext.empty()) path += "." + ext;
  return path;
}

bool CVividDoc::SaveAsChosen(std::string path, int typeIndex) {
  path = AppendSaveExtension(std::move(path), typeIndex);
  g_lastDirectory = FolderOf(path);
  if (!OnSaveDocument(path)) return false;
  SetPathName(path);
  return true;
}

int CVividDoc::PreselectedSaveType() const {
  const std::string name = path_.empty() ? title_ : path_;
  const std::string ext = ExtensionOf(name).value_or("tif");
  const int index = FindSaveExtension(image_->GetBitCount(), image_->IsGray(), ext);
  return index > 0 ? index : 1;
}

std::string CVividDoc::GetSaveExtension(int index) const {
  return ::GetSaveExtension(image_->GetBitCount(), image_->IsGray(), index);
}

bool CVividDoc::LoadSavedCopy() {
  if (savedCopy_) return true;
  if (!hasFile_ || path_.empty()) return false;
  FileBusyScope busy;
  auto copy = std::make_unique<CDIBitmap>();
  if (!LoadImageFile(*copy, path_, 1)) return false;
  savedCopy_ = std::move(copy);
  return true;
}

// --- state ---

void CVividDoc::RebuildPalette() {
  if (image_->IsAllocated() && image_->GetBitCount() <= 8)
    palette_ = image_->CreateLogPalette();
  else
    palette_.reset();
}

void CVividDoc::AddView(CDocumentView* view) {
  if (view && std::find(views_.begin(), views_.end(), view) == views_.end()) views_.push_back(view);
}

void CVividDoc::RemoveView(CDocumentView* view) { std::erase(views_, view); }

void CVividDoc::UpdateAllViews(int hint) {
  // A view may leave the list while it is told; walk a copy.
  const std::vector<CDocumentView*> views = views_;
  for (CDocumentView* view : views) view->OnDocumentUpdate(*this, hint);
}

// --- process-wide state ---

bool CVividDoc::IsFileBusy() { return g_fileBusy; }
bool CVividDoc::IsScanBusy() { return g_scanBusy; }
void CVividDoc::SetScanBusy(bool busy) { g_scanBusy = busy; }
const std::string& CVividDoc::GetLastDirectory() { return g_lastDirectory; }
void CVividDoc::SetLastDirectory(const std::string& folder) { g_lastDirectory = folder; }
CreationMode CVividDoc::GetCreationMode() { return g_creationMode; }
void CVividDoc::SetCreationMode(CreationMode mode) { g_creationMode = mode; }
void CVividDoc::SetPreparedImage(std::unique_ptr<CDIBitmap> image) { g_preparedImage = std::move(image); }
bool CVividDoc::HasPreparedImage() { return g_preparedImage != nullptr; }
void CVividDoc::SetKeepSavedCopy(bool keep) { g_keepSavedCopy = keep; }
void CVividDoc::SetWarnReadOnlyOnOpen(bool warn) { g_warnReadOnlyOnOpen = warn; }

void CVividDoc::SetNewDocumentSource(CreationMode mode, NewDocumentSource source) {
  if (source)
    g_sources[mode] = std::move(source);
  else
    g_sources.erase(mode);
}

void CVividDoc::SetRecentFileHandler(std::function<void(const std::string&)> handler) {
  g_recentFileHandler = std::move(handler);
}
