// The acquisition: manager and source life, capability negotiation, the
// event loop, memory-strip transfer and the bitmap built from it.
#include "acquire/acquisition.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <strings.h>

#include "image/dibitmap.h"
#include "platform/main_window.h"
#include "platform/messages.h"

namespace acquire {

namespace {

ManagerLoader& Loader() {
  static ManagerLoader loader;
  return loader;
}

constexpr uint32_t kStripLimit = 125000;
constexpr size_t kMaxErrorText = 255;

}  // namespace

ManagerLoader SetManagerLoader(ManagerLoader loader) {
  ManagerLoader previous = std::move(Loader());
  Loader() = std::move(loader);
  return previous;
}

const ManagerLoader& CurrentManagerLoader() { return Loader(); }

const char* TwainErrorText(int code) {
  switch (code) {
    case 112: return "Operation was successful";
    case 113: return "Failure due to unknown cause. Possibly no Source(s) found.";
    case 114: return "Not enough memory to perform operation";
    case 115: return "No TWAIN Source(s) found in the TWAIN directory. Please reinstall software.";
    case 116: return "TWAIN Source already in use.";
    case 117: return "Unknown capability requested.";
    case 118: return "Unrecognized MSG DG DAT combination";
    case 119: return "Parameter out of range.";
    case 120: return "Twain message received out of sequence.";
    case 121: return "Unknown destination App/Src in DSM_Entry";
    case 122: return "Could not get detailed Error Code.";
    case 123:
      return "Sorry, could not find the TWAIN_32 Source Manager (TWAIN_32.DLL).  Please copy the TWAIN_32 Source "
             "Manager from your Program Disk to your Windows directory.";
    case 124: return "Source already open. Close it before selecting another.";
    case 125: return "Software does not support unbuffered devices.";
    default: return "";
  }
}

int ErrorCodeForCondition(TW_UINT16 condition) {
  switch (condition) {
    case TWCC_SUCCESS: return 112;
    case TWCC_LOWMEMORY: return 114;
    case TWCC_NODS: return 115;
    case TWCC_MAXCONNECTIONS: return 116;
    case TWCC_OPERATIONERROR: return 0;
    case TWCC_BADCAP: return 117;
    case TWCC_BADPROTOCOL: return 118;
    case TWCC_BADVALUE: return 119;
    case TWCC_SEQERROR: return 120;
    case TWCC_BADDEST: return 121;
    default: return 113;
  }
}

Acquisition::Acquisition(ManagerLoader loader) : loader_(loader ? std::move(loader) : CurrentManagerLoader()) {
  app_.Id = 0;
  app_.Version.MajorNum = 1;
  app_.Version.MinorNum = 703;
  app_.Version.Language = TWLG_USA;
  app_.Version.Country = TWCY_USA;
  CopyTwainString(app_.Version.Info, "Vividrome 1.20");
  app_.ProtocolMajor = 1;
  app_.ProtocolMinor = 7;
  app_.SupportedGroups = DG_CONTROL | DG_IMAGE;
  CopyTwainString(app_.Manufacturer, "Morvane");
  CopyTwainString(app_.ProductFamily, "Vivid Imaging");
  CopyTwainString(app_.ProductName, "Vividrome");
}

Acquisition::~Acquisition() {
  Unwind();
  FreeImageBuffer();
}

TW_UINT16 Acquisition::Call(TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (!manager_) return TWRC_FAILURE;
  return manager_->Entry(&app_, dest, dg, dat, msg, data);
}

void Acquisition::ReportError(const char* prefix, int code, TW_IDENTITY* dest) {
  if (code <= 0) {
    if (!manager_) {
      code = 123;
    } else {
      TW_STATUS status{};
      if (Call(dest, DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS) {
        code = 122;
      } else {
        code = ErrorCodeForCondition(status.ConditionCode);
        if (code == 0) return;  // an operation error: the source has told the user itself
      }
    }
  }
  std::string text = std::string(prefix) + TwainErrorText(code);
  if (text.size() > kMaxErrorText) text.resize(kMaxErrorText);
  platform::ShowMessage(text, "TWAIN Error");
}

// --- manager and source ---

bool Acquisition::OpenManager() {
  if (managerOpen_) return true;
  if (!manager_) {
    if (loader_) manager_ = loader_();
    if (!manager_) {
      ReportError("OpenDSM - ", 123);
      return false;
    }
  }
  if (Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, ui_.hParent) != TWRC_SUCCESS) {
    ReportError("OpenDSM - ");
    return false;
  }
  managerOpen_ = true;
  return true;
}

bool Acquisition::CloseManager() {
  if (!managerOpen_) return true;
  if (Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, ui_.hParent) != TWRC_SUCCESS) {
    ReportError("CloseDSM - ");
    return false;
  }
  managerOpen_ = false;
  manager_.reset();  // frees the manager as unloading its library would
  ui_.hParent = nullptr;
  return true;
}

bool Acquisition::OpenSource() {
  if (sourceOpen_) return true;
  source_.Id = 0;
  if (Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_) != TWRC_SUCCESS) {
    ReportError("OpenDS - ");
    return false;
  }
  sourceOpen_ = true;
  return true;
}

bool Acquisition::CloseSource() {
  if (!sourceOpen_) return true;
  if (Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_) != TWRC_SUCCESS) {
    ReportError("CloseDS - ");
    return false;
  }
  sourceOpen_ = false;
  return true;
}

bool Acquisition::EnableSource() {
  ui_.ShowUI = 1;
  ui_.ModalUI = 1;
  if (Call(&source_, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui_) != TWRC_SUCCESS) {
    ReportError("EnableDS - ", 0, &source_);
    return false;
  }
  sourceEnabled_ = true;
  return true;
}

bool Acquisition::DisableSource() {
  if (!sourceEnabled_) return true;
  // Asked once: a source that refuses is closed next, not asked again (a
  // second try, after the manager has gone, would report a wrong cause).
  sourceEnabled_ = false;
  if (Call(&source_, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui_) != TWRC_SUCCESS) {
    ReportError("DisableDS - ", 0, &source_);
    return false;
  }
  return true;
}

void Acquisition::Unwind() {
  DisableSource();
  CloseSource();
  CloseManager();
  if (sourceOpen_ || managerOpen_) {
    // A source or manager that would not close is not asked again (each try
    // would show its error once more): freeing the manager frees the source
    // with it, as unloading the manager's library would.
    sourceOpen_ = false;
    managerOpen_ = false;
    manager_.reset();
    ui_.hParent = nullptr;
  }
}

// --- capabilities ---

bool Acquisition::SetTransferCount() {
  if (strncasecmp(source_.ProductName, "Canon CJ10 Scan", sizeof(source_.ProductName)) == 0) return true;
  TW_CAPABILITY cap{CAP_XFERCOUNT, TWON_ONEVALUE, MakeOneValue(TWTY_INT16, 1)};
  if (cap.hContainer == nullptr) {
    ReportError("SetImageXferCount - ", 114);
    return false;
  }
  const TW_UINT16 rc = Call(&source_, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
  FreeContainer(cap.hContainer);
  if (rc != TWRC_SUCCESS) {
    ReportError("SetImageXferCount - ", 0, &source_);
    return false;
  }
  return true;
}

bool Acquisition::SetTransferMechanism() {
  TW_CAPABILITY cap{ICAP_XFERMECH, TWON_ONEVALUE, MakeOneValue(TWTY_UINT16, TWSX_MEMORY)};
  if (cap.hContainer == nullptr) {
    ReportError("SetXferMechanism - ", 114);
    return false;
  }
  const TW_UINT16 rc = Call(&source_, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
  FreeContainer(cap.hContainer);
  if (rc != TWRC_SUCCESS) {
    ReportError("SetXferMechanism - ", 0, &source_);
    return false;
  }
  return true;
}

bool Acquisition::SetPixelTypes() {
  TW_CAPABILITY cap{ICAP_PIXELTYPE, TWON_DONTCARE16, nullptr};
  if (Call(&source_, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap) != TWRC_SUCCESS) {
    ReportError("SetPixelTypes - ", 0, &source_);
    return false;
  }
  struct Answer {
    TW_HANDLE container;
    ~Answer() { FreeContainer(container); }
  } answer{cap.hContainer};
  if (cap.hContainer == nullptr) return false;

  if (cap.ConType == TWON_ONEVALUE) {
    const auto* one = static_cast<const TW_ONEVALUE*>(cap.hContainer);
    return one->Item <= TWPT_PALETTE;
  }
  if (cap.ConType != TWON_ENUMERATION) return false;

  const auto* offered = static_cast<const TW_ENUMERATION*>(cap.hContainer);
  if (ItemSize(offered->ItemType) == 0) return false;
  std::vector<TW_UINT32> kept;
  for (TW_UINT32 i = 0; i < offered->NumItems && i < 64; ++i) {
    const TW_UINT32 type = EnumerationItem(*offered, i);
    if (type <= TWPT_PALETTE) kept.push_back(type);
  }
  if (kept.empty()) return false;
  TW_UINT32 current = 0;
  for (const TW_UINT32 preferred : {TWPT_RGB, TWPT_PALETTE, TWPT_GRAY, TWPT_BW}) {
    const auto found = std::find(kept.begin(), kept.end(), preferred);
    if (found != kept.end()) {
      current = static_cast<TW_UINT32>(found - kept.begin());
      break;
    }
  }
  TW_CAPABILITY set{ICAP_PIXELTYPE, TWON_ENUMERATION,
                    MakeEnumeration(TWTY_UINT16, kept.data(), static_cast<TW_UINT32>(kept.size()), current,
                                    0xFFFFFFFF)};
  if (set.hContainer == nullptr) {
    ReportError("SetPixelTypes - ", 114);
    return false;
  }
  const TW_UINT16 rc = Call(&source_, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &set);
  FreeContainer(set.hContainer);
  if (rc != TWRC_SUCCESS) {
    ReportError("SetPixelTypes - ", 0, &source_);
    return false;
  }
  return true;
}

// --- the acquisition ---

int Acquisition::Acquire(CDIBitmap& bitmap, ImageDescriptor& descriptor) {
  transferred_ = false;
  FreeImageBuffer();
  info_ = {};
  palette_ = {};
  ui_ = {};
  ui_.hParent = nullptr;  // the source's window finds its own parent

  if (!OpenManager()) return 0;
  if (!OpenSource() || !SetTransferCount() || !SetTransferMechanism() || !SetPixelTypes() || !EnableSource()) {
    Unwind();
    return 0;
  }
  // Ends when the source is shut, which Unwind always achieves (a source
  // that cannot be closed is abandoned), so a failing close cannot spin.
  while (sourceOpen_) ProcessEvent();
  Unwind();
  int result = 0;
  if (transferred_) result = BuildBitmap(bitmap, descriptor) ? 1 : 0;
  FreeImageBuffer();
  return result;
}

void Acquisition::ProcessEvent() {
  TW_EVENT event{nullptr, MSG_NULL};
  const TW_UINT16 rc = Call(&source_, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
  if (rc != TWRC_DSEVENT && pump_) pump_();
  bool end = false;
  switch (event.TWMessage) {
    case MSG_XFERREADY:
      transferred_ = false;
      TransferImage();
      end = true;  // the source was enabled modally: one image per enabling
      break;
    case MSG_CLOSEDSREQ: end = true; break;
    default: break;
  }
  if (!end) return;
  Unwind();
}

void Acquisition::FreeImageBuffer() {
  imageBitmap_.reset();
  plainBuffer_.clear();
  plainBuffer_.shrink_to_fit();
  image_ = nullptr;
  stride_ = 0;
  imageSize_ = 0;
}

void Acquisition::TransferImage() {
  TW_PENDINGXFERS pending{};
  if (Call(&source_, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info_) != TWRC_SUCCESS) {
    ReportError("TransferImage - ", 0, &source_);
    Call(&source_, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    return;
  }
  if (info_.ImageWidth == -1 || info_.ImageLength == -1) {
    ReportError("TransferImage - ", 125);
    Call(&source_, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    return;
  }
  // A size no image can have would make a buffer of nothing, or of a
  // negative size.
  if (info_.ImageWidth <= 0 || info_.ImageLength <= 0) {
    ReportError("TransferImage - ", 119);
    Call(&source_, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    return;
  }

  const uint64_t width = static_cast<uint64_t>(info_.ImageWidth);
  uint64_t rowBytes = width;
  switch (info_.PixelType) {
    case TWPT_BW: rowBytes = (width + 7) / 8; break;
    case TWPT_GRAY: rowBytes = info_.BitsPerPixel != 8 ? (width + 1) / 2 : width; break;
    case TWPT_RGB: rowBytes = 3 * width; break;
    default: rowBytes = width; break;
  }
  const uint64_t stride = (rowBytes + 3) / 4 * 4;
  const uint64_t size = stride * static_cast<uint64_t>(info_.ImageLength);

  FreeImageBuffer();
  const int bits = info_.BitsPerPixel;
  const bool bitmapKind = (bits == 1 && info_.PixelType == TWPT_BW) ||
                          (bits == 8 && (info_.PixelType == TWPT_GRAY || info_.PixelType == TWPT_PALETTE)) ||
                          (bits == 24 && info_.PixelType == TWPT_RGB);
  bool allocated = false;
  if (size <= (uint64_t{1} << 34)) {
    if (bitmapKind) {
      imageBitmap_ = std::make_unique<CDIBitmap>();
      allocated = imageBitmap_->Create(info_.ImageWidth, info_.ImageLength, bits,
                                       info_.PixelType == TWPT_GRAY ? 1 : 0) != 0 &&
                  static_cast<uint64_t>(imageBitmap_->GetStride()) == stride;
      if (allocated) image_ = imageBitmap_->GetPixels();
    } else {
      try {
        plainBuffer_.assign(size, 0);
        image_ = plainBuffer_.data();
        allocated = true;
      } catch (const std::bad_alloc&) {
        allocated = false;
      }
    }
  }
  if (!allocated) {
    FreeImageBuffer();
    ReportError("TransferImage - ", 114);
    Call(&source_, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    return;
  }
  stride_ = static_cast<uint32_t>(stride);
  imageSize_ = size;

  for (;;) {
    const bool complete = GetCompleteImage();
    pending = {};
    if (Call(&source_, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) != TWRC_SUCCESS) break;
    if (pending.Count == 0) break;
    if (!complete || image_ == nullptr) {
      // Nothing left to receive the further images into: discard them.
      Call(&source_, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
      break;
    }
  }
}

bool Acquisition::GetCompleteImage() {
  TW_SETUPMEMXFER setup{};
  if (Call(&source_, DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) != TWRC_SUCCESS) return false;
  uint32_t stripSize;
  if (setup.Preferred == 0xFFFFFFFF)
    stripSize = kStripLimit;
  else if (setup.Preferred > kStripLimit)
    stripSize = std::max(setup.MinBufSize, kStripLimit);
  else
    stripSize = setup.Preferred;

  std::unique_ptr<uint8_t[]> strip(new (std::nothrow) uint8_t[std::max<uint32_t>(stripSize, 1)]);
  if (!strip) {
    ReportError("GetCompleteImage - ", 114);
    return false;
  }
  TW_IMAGEMEMXFER xfer{};
  int64_t cursor = info_.ImageLength - 1;

  // Copies the strip's rows downwards from the cursor. A strip that claims
  // more than its buffer holds, or more rows than the image has left, is
  // cut to what fits.
  const auto copyStrip = [&] {
    if (xfer.BytesPerRow == 0) return;
    uint64_t rows = xfer.Rows;
    rows = std::min<uint64_t>(rows, stripSize / xfer.BytesPerRow);
    const size_t bytes = std::min<size_t>(xfer.BytesPerRow, stride_);
    for (uint64_t r = 0; r < rows && cursor >= 0; ++r, --cursor)
      std::memcpy(image_ + static_cast<size_t>(cursor) * stride_, strip.get() + r * xfer.BytesPerRow, bytes);
  };

  for (;;) {
    xfer = {};
    xfer.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
    xfer.Memory.Length = stripSize;
    xfer.Memory.TheMem = strip.get();
    const TW_UINT16 rc = Call(&source_, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
    if (rc == TWRC_SUCCESS) {
      copyStrip();
      continue;
    }
    if (rc == TWRC_XFERDONE) {
      copyStrip();
      strip.reset();
      if (info_.PixelType == TWPT_GRAY || info_.PixelType == TWPT_PALETTE) {
        palette_ = {};
        if (Call(&source_, DG_IMAGE, DAT_PALETTE8, MSG_GET, &palette_) != TWRC_SUCCESS &&
            Call(&source_, DG_IMAGE, DAT_PALETTE8, MSG_GETDEFAULT, &palette_) != TWRC_SUCCESS) {
          palette_.NumColors = 256;
          palette_.PaletteType = TWPA_GRAY;
          for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<TW_UINT8>(i);
            palette_.Colors[i] = {v, v, v, v};
          }
        }
      }
      transferred_ = true;
      return true;
    }
    if (rc == TWRC_FAILURE) ReportError("GetCompleteImage - ", 0, &source_);
    FreeImageBuffer();
    transferred_ = false;
    return false;
  }
}

bool Acquisition::BuildBitmap(CDIBitmap& bitmap, ImageDescriptor& descriptor) {
  platform::MainWindowSink& window = platform::MainWindow();
  window.WaitCursor(true);
  const int bits = info_.BitsPerPixel;
  if (!imageBitmap_ || image_ == nullptr) {  // a depth no bitmap holds (4-bit gray, 16-bit, ...)
    FreeImageBuffer();
    window.WaitCursor(false);
    return false;
  }

  uint8_t table[256][4] = {};  // blue, green, red, 0
  int colors = 0;
  if (bits == 1) {
    colors = 2;
    table[1][0] = table[1][1] = table[1][2] = 255;
  } else if (bits == 8) {
    colors = 256;
    const int count = palette_.NumColors >= 1 && palette_.NumColors <= 256 ? palette_.NumColors : 0;
    for (int i = 0; i < count; ++i) {
      table[i][0] = palette_.Colors[i].Channel3;
      table[i][1] = palette_.Colors[i].Channel2;
      table[i][2] = palette_.Colors[i].Channel1;
    }
    if (count == 0)  // a palette of no colours: the gray ramp
      for (int i = 0; i < 256; ++i) table[i][0] = table[i][1] = table[i][2] = static_cast<uint8_t>(i);
  }

  if (info_.PixelType == TWPT_RGB) {
    const int width = info_.ImageWidth;
    for (int y = 0; y < info_.ImageLength; ++y) {
      uint8_t* p = image_ + static_cast<size_t>(y) * stride_;
      for (int x = 0; x < width; ++x, p += 3) std::swap(p[0], p[2]);
    }
  }
  if (colors > 0) imageBitmap_->SetColorTable(&table[0][0], colors);
  const int dpi = info_.XResolution.Whole + (info_.XResolution.Frac >= 0x8000 ? 1 : 0);
  bitmap.Attach(*imageBitmap_);
  if (dpi > 0) bitmap.SetResolution(dpi, dpi);

  descriptor = {};
  descriptor.width = info_.ImageWidth;
  descriptor.height = info_.ImageLength;
  descriptor.imageSize = static_cast<uint32_t>(imageSize_);
  descriptor.bitsPerPixel = bits;
  descriptor.colors = bits == 24 ? 0 : colors;
  std::memcpy(descriptor.palette, table, sizeof(table));
  FreeImageBuffer();
  window.WaitCursor(false);
  return true;
}

// --- source selection ---

void Acquisition::UseSource(const std::string& productName) {
  source_ = {};
  CopyTwainString(source_.ProductName, productName.c_str());
}

std::vector<TW_IDENTITY> Acquisition::ListSources() {
  std::vector<TW_IDENTITY> sources;
  if (!OpenManager()) return sources;
  TW_IDENTITY identity{};
  for (TW_UINT16 msg = MSG_GETFIRST; Call(nullptr, DG_CONTROL, DAT_IDENTITY, msg, &identity) == TWRC_SUCCESS;
       msg = MSG_GETNEXT)
    sources.push_back(identity);
  CloseManager();
  return sources;
}

int Acquisition::SelectSource() {
  // Called while this object's acquisition runs (from its event pump), the
  // manager is already open: it is used as it is and left open, so that the
  // acquisition can go on.
  const bool opened = !managerOpen_;
  if (opened) {
    ui_ = {};
    ui_.hParent = nullptr;  // the source's window finds its own parent
  }
  if (!OpenManager()) return 0;
  if (sourceOpen_) {
    ReportError("SelectDS - ", 124);
  } else {
    TW_IDENTITY chosen{};
    Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &chosen);
    const TW_UINT16 rc = Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &chosen);
    if (rc == TWRC_SUCCESS)
      source_ = chosen;
    else if (rc != TWRC_CANCEL)
      ReportError("SelectDS - ");
  }
  if (opened) CloseManager();
  return 1;
}

}  // namespace acquire
