// The scanner's dialog: what to scan, chosen before the scan starts.
//
// Fields (object names in brackets): Mode [mode] with the kinds the
// application allows ("Color", "Gray", "Black/White"); Resolution
// [resolution] in dpi over the device's range; the area in millimetres from
// the bed's top-left corner, Left [left], Top [top], Width [width] and
// Height [height]; the picture's size [size] "W x H pixels, N.NN MBytes".
// The bed [bed] shows the last preview with the area outlined; dragging on it
// draws a new area. Buttons: Preview [preview] scans the whole bed at a low
// resolution, Whole Bed [wholeBed] selects it all, Scan and Cancel.
//
// The choices are remembered per device in the settings, section "Scan".
// A device that does not tell its bed gets no area fields, bed or preview.
#pragma once

class QWidget;

namespace platform {
class Settings;
}

namespace acquire {
struct ScanRequest;
struct ScanOptions;
}  // namespace acquire

namespace app {

// Runs the dialog; false for Cancel. `settings` may be null.
bool RunScanDialog(QWidget* parent, const acquire::ScanRequest& request, acquire::ScanOptions& options,
                   platform::Settings* settings);

}  // namespace app
