// The SANE devices as TWAIN data sources: the only place that knows SANE.
//
// Every device sane_get_devices lists is a source: Manufacturer = vendor,
// ProductFamily = model, ProductName = the device name (cut to 33
// characters; Version.Info = the device type).
//
// A source offers the pixel types of the device's "mode" option: a mode
// named like lineart/binary/halftone is TWPT_BW, gray/grey TWPT_GRAY,
// color/colour TWPT_RGB; a gray mode whose "depth" option offers 1 is also
// TWPT_BW when no lineart mode exists. Black-and-white rows are delivered
// with 0 = black (SANE's 1 = black is inverted), gray with 0 = black, RGB
// as R, G, B. 8 bits per sample are asked through "depth" where the device
// offers it; 16-bit samples are otherwise cut to their high byte. Padding at
// the end of SANE's lines is dropped, rows are assembled across reads of any
// size, and three-pass devices (separate red, green and blue frames) are
// read whole and interleaved before the first strip. A length the device
// does not know in advance (hand scanners) is reported as -1.
//
// The source's user interface is a ScanDialog over a ScanOptions record; the
// command line answers it from its options, the window from its dialog.
// Errors SANE reports are shown by the source itself (caption "Scanner",
// text "DEVICE: SANE's status text") and returned as TWCC_OPERATIONERROR,
// so the application adds no second box; cancelling goes through
// sane_cancel.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "acquire/source_manager.h"
#include "acquire/twain.h"

namespace acquire {

// A scan area in millimetres from the top-left corner of the bed.
struct ScanArea {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

// What the source's user interface decides. Unset fields keep the device's
// own setting (the pixel type: the one the application negotiated).
struct ScanOptions {
  std::optional<TW_UINT16> pixelType;  // TWPT_BW, TWPT_GRAY or TWPT_RGB
  std::optional<int> dpi;
  std::optional<ScanArea> area;
  // Further SANE options by name with their value as text (numbers, yes/no,
  // list entries), set in order after the mode and before resolution and
  // area.
  std::vector<std::pair<std::string, std::string>> deviceOptions;
};

// What the device allows, for the dialog's fields. Zero where the device
// does not say.
struct ScanLimits {
  double bedWidth = 0;  // mm: the largest bottom-right corner
  double bedHeight = 0;
  int minDpi = 0;
  int maxDpi = 0;
  std::vector<int> dpiList;  // when the device offers only these
  int dpi = 0;               // the device's current resolution
  std::optional<ScanArea> area;  // the device's current area
};

// A low-resolution picture of the whole bed: rows top first, 1 (gray) or 3
// (R, G, B) bytes per pixel, no padding.
struct PreviewImage {
  int width = 0;
  int height = 0;
  int channels = 1;
  double dpi = 0;
  std::vector<uint8_t> pixels;
};

// What the source's user interface is given.
struct ScanRequest {
  std::string device;
  std::vector<TW_UINT16> allowedTypes;  // what the application allows
  TW_UINT16 currentType = TWPT_GRAY;
  ScanLimits limits;
  // Scans the whole bed at a low resolution in `type`; false after the
  // source has shown why. The device's resolution and area are put back.
  std::function<bool(TW_UINT16 type, PreviewImage& image)> preview;
};

// The source's user interface: fills `options` from the request; false when
// the user cancels.
using ScanDialog = std::function<bool(const ScanRequest& request, ScanOptions& options)>;

// The SANE devices as a source driver (sane_init when made, sane_exit when
// destroyed). The device list is read once per driver.
std::unique_ptr<SourceDriver> MakeSaneDriver(ScanDialog dialog);
// A source manager over the SANE devices.
std::unique_ptr<SourceManager> MakeSaneManager(platform::Settings* settings, SourceChooser chooser,
                                               ScanDialog dialog);

}  // namespace acquire
