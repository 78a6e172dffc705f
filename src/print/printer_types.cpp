#include "print/printer_types.h"

namespace print {

namespace {

constexpr double kInch = 25.4;

// Width and height in millimetres by paper code 1..41, in the order the
// paper's name gives them ("Ledger, 17 by 11 inches" is 431.8 x 279.4).
constexpr PaperSizeMm kPaperSizes[kPaperCodeCount] = {
    {215.9, 279.4},     // 1 Letter
    {215.9, 279.4},     // 2 Letter Small
    {279.4, 431.8},     // 3 Tabloid
    {431.8, 279.4},     // 4 Ledger
    {215.9, 355.6},     // 5 Legal
    {139.7, 215.9},     // 6 Statement
    {184.15, 266.7},    // 7 Executive
    {297, 420},         // 8 A3
    {210, 297},         // 9 A4
    {210, 297},         // 10 A4 small
    {148, 210},         // 11 A5
    {250, 354},         // 12 B4
    {182, 257},         // 13 B5
    {215.9, 330.2},     // 14 Folio
    {215, 275},         // 15 Quarto
    {254, 355.6},       // 16 10 x 14 in
    {279.4, 431.8},     // 17 11 x 17 in
    {215.9, 279.4},     // 18 Note
    {98.425, 225.425},  // 19 #9 Envelope
    {104.775, 241.3},   // 20 #10 Envelope
    {114.3, 263.525},   // 21 #11 Envelope
    {120.65, 279.4},    // 22 #12 Envelope
    {127, 292.1},       // 23 #14 Envelope
    {431.8, 558.8},     // 24 C Sheet
    {558.8, 863.6},     // 25 D Sheet
    {863.6, 1117.6},    // 26 E Sheet
    {110, 220},         // 27 DL Envelope
    {162, 229},         // 28 C5 Envelope
    {324, 458},         // 29 C3 Envelope
    {229, 324},         // 30 C4 Envelope
    {114, 162},         // 31 C6 Envelope
    {114, 229},         // 32 C65 Envelope
    {250, 353},         // 33 B4 Envelope
    {176, 250},         // 34 B5 Envelope
    {176, 125},         // 35 B6 Envelope
    {110, 230},         // 36 Italy Envelope
    {98.425, 190.5},    // 37 Monarch Envelope
    {92.075, 165.1},    // 38 6 3/4 Envelope
    {377.825, 279.4},   // 39 US Std Fanfold
    {215.9, 304.8},     // 40 German Std Fanfold
    {215.9, 330.2},     // 41 German Legal Fanfold
};

// Millimetres to dots, truncated (page sizes: the EPSON page length uses the
// same truncation) or rounded (offsets and margins).
int TruncDots(double mm, int dpi) { return static_cast<int>(mm * dpi / kInch); }
int RoundDots(double mm, int dpi) { return static_cast<int>(mm * dpi / kInch + 0.5); }

}  // namespace

bool PaperSizeForCode(int paperCode, PaperSizeMm& size) {
  if (paperCode < 1 || paperCode > kPaperCodeCount) return false;
  size = kPaperSizes[paperCode - 1];
  return true;
}

PrinterInfo DescribePrinter(int type, int dpi, int paperCode) {
  PrinterInfo info;
  int leftDots, rightDots, topUnits, bottomUnits;
  if (type == kPrinterEpson) {
    info.dpiX = dpi == 720 ? 720 : 360;
    info.dpiY = kDirectVerticalUnits;
    // 3 mm at the sides; top and bottom as the page format the stream sends
    // (ESC ( c with top 41 and bottom L - 198, in 1/360 inch).
    leftDots = rightDots = RoundDots(3.0, info.dpiX);
    topUnits = 41;
    bottomUnits = 198;
  } else if (type == kPrinterDesignJet) {
    info.dpiX = dpi == 600 ? 600 : 300;
    // The RTL destination size makes a row 1/resolution inch high, so this
    // path lays out its rows at the horizontal resolution.
    info.dpiY = info.dpiX;
    leftDots = rightDots = RoundDots(5.0, info.dpiX);
    topUnits = bottomUnits = RoundDots(5.0, info.dpiY);
  } else {
    return info;
  }
  info.type = type;
  PaperSizeMm paper;
  if (!PaperSizeForCode(paperCode, paper)) {
    paperCode = kPaperA4;
    PaperSizeForCode(paperCode, paper);
  }
  info.paperCode = paperCode;
  info.pageWidthMm = paper.width;
  info.pageHeightMm = paper.height;
  info.pageWidthDots = TruncDots(paper.width, info.dpiX);
  info.pageHeightDots = TruncDots(paper.height, info.dpiY);
  info.offsetX = leftDots;
  info.offsetY = topUnits;
  info.printableWidthDots = info.pageWidthDots - leftDots - rightDots;
  info.printableHeightDots = info.pageHeightDots - topUnits - bottomUnits;
  return info;
}

}  // namespace print
