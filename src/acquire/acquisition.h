// acquire::Acquisition: the application's side of the TWAIN protocol. One
// object runs one Acquire or one SelectSource and is then discarded.
//
// Acquire opens the source manager (the loader installed with
// SetManagerLoader stands for loading the manager's library: without one,
// error 123), opens the current source, negotiates in this order
//   1. CAP_XFERCOUNT = one-value TWTY_INT16 1, skipped for a source whose
//      ProductName is "Canon CJ10 Scan" in any case;
//   2. ICAP_XFERMECH = one-value TWTY_UINT16 TWSX_MEMORY;
//   3. ICAP_PIXELTYPE: a one-value answer is accepted when it is 0 to 3; an
//      enumeration is cut to its values 0 to 3 (in their order) and set back
//      as a TWTY_UINT16 enumeration whose current entry is RGB, else
//      palette, else gray, else black-and-white (DefaultIndex 0xFFFFFFFF);
// enables the source with its user interface shown, modal, and passes
// events to it until it is closed. MSG_XFERREADY transfers the image in
// memory strips, MSG_CLOSEDSREQ ends without one; either way the source is
// then disabled and closed and the manager closed.
//
// The transfer: the image information must give a known width and length
// (else "TransferImage - " with string 125 and the transfer is ended); the
// image buffer's stride is (width + 7) / 8 for black-and-white, width for
// 8-bit gray and palette, (width + 1) / 2 for gray of another depth, 3 x
// width for RGB, rounded up to 4 bytes; the strip buffer is 125000 bytes
// when the source has no preference (0xFFFFFFFF), the source's minimum
// raised to 125000 when its preference exceeds 125000, else its
// preference. Strips are stored bottom-up from the last row. Gray and
// palette images ask DAT_PALETTE8 MSG_GET, then MSG_GETDEFAULT, and fall
// back to a 256-entry gray ramp. The bitmap is built as 1-bit (black,
// white), 8-bit gray or indexed with that palette, or 24-bit with R and B
// exchanged; other depths fail.
//
// Every failure is shown once as "PREFIX - TEXT" in a box titled "TWAIN
// Error" (TWCC_OPERATIONERROR shows nothing) and unwinds what was opened:
// disable, close the source, close the manager.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "acquire/source_manager.h"
#include "acquire/twain.h"

class CDIBitmap;

namespace acquire {

// What Acquire built: width, height, stride x height, bits per pixel,
// number of colours (0 for 24 bits, 2 for 1 bit, else 2^bits) and the
// colour table as blue, green, red, 0 quadruples.
struct ImageDescriptor {
  int width = 0;
  int height = 0;
  uint32_t imageSize = 0;
  int bitsPerPixel = 0;
  int colors = 0;
  uint8_t palette[256][4] = {};
};

// Makes the source manager, standing for loading its library; nullptr when
// there is none.
using ManagerLoader = std::function<std::unique_ptr<SourceManager>()>;
// The process-wide loader (the app and the command line install the SANE
// one); returns the previous one.
ManagerLoader SetManagerLoader(ManagerLoader loader);
const ManagerLoader& CurrentManagerLoader();

// The message of string `code` (112 to 125), as the error boxes show it.
const char* TwainErrorText(int code);
// The string code the error box shows for a condition code; 0 for
// TWCC_OPERATIONERROR, which shows no box.
int ErrorCodeForCondition(TW_UINT16 condition);

class Acquisition {
 public:
  // `loader` empty: the process-wide one.
  explicit Acquisition(ManagerLoader loader = {});
  ~Acquisition();
  Acquisition(const Acquisition&) = delete;
  Acquisition& operator=(const Acquisition&) = delete;

  // Runs the whole acquisition into `bitmap` and fills `descriptor`; 1 when
  // an image was received and built, else 0 (bitmap left as it was).
  int Acquire(CDIBitmap& bitmap, ImageDescriptor& descriptor);
  // Runs the manager's source selection; 0 only when the manager cannot be
  // opened. Cancelling the selection is silent.
  int SelectSource();
  // Makes the next Acquire open the source of this ProductName instead of
  // the manager's default.
  void UseSource(const std::string& productName);
  // The sources the manager offers (empty, after the manager's error box,
  // when it cannot be opened).
  std::vector<TW_IDENTITY> ListSources();

  // Called for each event the source did not take while its user interface
  // is up (the window's message dispatch).
  void SetEventPump(std::function<void()> pump) { pump_ = std::move(pump); }

  const TW_IDENTITY& AppIdentity() const { return app_; }
  const TW_IDENTITY& SourceIdentity() const { return source_; }

 private:
  TW_UINT16 Call(TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  bool OpenManager();
  bool CloseManager();
  bool OpenSource();
  bool CloseSource();
  bool EnableSource();
  bool DisableSource();
  bool SetTransferCount();
  bool SetTransferMechanism();
  bool SetPixelTypes();
  void ProcessEvent();
  void TransferImage();
  // The image's rows into the image buffer; false when the transfer failed
  // or was cancelled.
  bool GetCompleteImage();
  bool BuildBitmap(CDIBitmap& bitmap, ImageDescriptor& descriptor);
  // Shows "prefix + text": code > 0 picks the text; otherwise the code comes
  // from the condition of `dest` (the manager when nullptr).
  void ReportError(const char* prefix, int code = 0, TW_IDENTITY* dest = nullptr);
  void Unwind();
  void FreeImageBuffer();

  ManagerLoader loader_;
  std::unique_ptr<SourceManager> manager_;
  TW_IDENTITY app_{};
  TW_IDENTITY source_{};
  bool managerOpen_ = false;
  bool sourceOpen_ = false;
  bool sourceEnabled_ = false;
  TW_USERINTERFACE ui_{};
  TW_IMAGEINFO info_{};
  TW_PALETTE8 palette_{};
  // The image buffer: bottom-up rows of stride_ bytes. For 1-, 8- and 24-bit
  // images it is the pixel block of a bitmap made up front, so that building
  // the bitmap needs no copy; other depths use plain memory.
  std::unique_ptr<CDIBitmap> imageBitmap_;
  std::vector<uint8_t> plainBuffer_;
  uint8_t* image_ = nullptr;
  uint32_t stride_ = 0;
  uint64_t imageSize_ = 0;
  bool transferred_ = false;
  std::function<void()> pump_;
};

}  // namespace acquire
