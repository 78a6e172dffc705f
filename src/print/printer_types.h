// The facts the direct print paths need about the two printer types:
// resolutions, printing offsets, printable area and the paper sizes.
#pragma once

namespace print {

// Printer types of the direct paths.
inline constexpr int kPrinterEpson = 1;      // "EPSON Stylus Color Compatible"
inline constexpr int kPrinterDesignJet = 2;  // "HP Design Jet Compatible"

// Every row of the EPSON path is 1/360 inch high, at 360 and at 720 dpi.
// The DesignJet path's rows are 1/resolution inch (the RTL destination size
// gives them that height), so its vertical units are its resolution.
inline constexpr int kDirectVerticalUnits = 360;

// Paper codes run from 1 to kPaperCodeCount; A4 is the usual paper.
inline constexpr int kPaperCodeCount = 41;
inline constexpr int kPaperA4 = 9;

struct PaperSizeMm {
  double width;
  double height;
};

// The paper size of a paper code 1..kPaperCodeCount in millimetres, width and height in
// the order the paper's name gives them (Ledger is 431.8 x 279.4). Returns
// false (and leaves `size` alone) for any other code.
bool PaperSizeForCode(int paperCode, PaperSizeMm& size);

struct PrinterInfo {
  int type = 0;
  int dpiX = 0;                 // horizontal resolution (dots per inch)
  int dpiY = 0;                 // vertical units per inch (EPSON 360, DesignJet = dpiX)
  int offsetX = 0, offsetY = 0; // physical printing offset (dots: dpiX, dpiY units)
  int pageWidthDots = 0, pageHeightDots = 0;
  int printableWidthDots = 0, printableHeightDots = 0;
  double pageWidthMm = 0, pageHeightMm = 0;
  int paperCode = 0;
};

// Describes `type` (kPrinterEpson at 360 or 720 dpi, kPrinterDesignJet at 300
// or 600 dpi) printing on `paperCode`. Unknown resolutions take the type's
// first one; unknown paper codes take A4 (kPaperA4). An unknown type gives an info
// with type 0 and all sizes 0.
// Page sizes in dots are truncated (mm x dpi / 25.4), margins rounded.
//   EPSON:     3 mm left and right; 41/360 inch (2.9 mm) top and 198/360 inch
//              (14 mm) bottom, the margins of the page format its stream
//              sends. offsetX = the left margin, offsetY = 41.
//   DesignJet: 5 mm on every side (offsets 5 mm left and top).
PrinterInfo DescribePrinter(int type, int dpi, int paperCode);

}  // namespace print
