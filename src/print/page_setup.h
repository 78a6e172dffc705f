// Page setup: paper names, the printer's minimum margins, the margin check,
// the unit conversions of the size and position entries, and the scale and
// position of the image on the page (PageLayout, in twips = 1/1440 inch).
//
// Everything here is plain arithmetic on numbers so that the page-setup
// dialog, the print preview, the command line and the tests share it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/region.h"

namespace print {

inline constexpr int kTwipsPerInch = 1440;
// Twips per centimetre, 1440 / 2.54.
inline constexpr double kTwipsPerCm = 566.9291338582676;

// The printer's paper name for a paper size code 1..41; any other code gives
// "Custom Paper, %d by %d millimeters" with width and length (tenths of a
// millimetre) divided by 10 (integer division).
std::string PaperName(int code, int widthTenthsMm, int lengthTenthsMm);

// The paper code whose name's first word (up to a blank or a comma: "A4",
// "Letter", "#10", "10-by-14-inch") is `word`, ignoring case; the lowest
// such code. Nullopt when no name starts with it.
std::optional<int> PaperCodeByName(std::string_view word);

// The unit margins are kept in: thousandths of an inch when the system
// measures in inches, hundredths of a millimetre otherwise.
enum class MarginUnit { Inch, Millimetre };
// Units per inch of a margin unit: 1000 or 2540.
int MarginUnitsPerInch(MarginUnit unit);

// Left, top, right, bottom.
struct Margins {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const Margins&) const = default;
};

// What the margin rules need to know about the printer, in printer dots.
struct PrinterGeometry {
  int dpiX = 0;
  int dpiY = 0;
  int offsetX = 0;  // physical printing offset (left)
  int offsetY = 0;  // physical printing offset (top)
  int pageWidthDots = 0;
  int pageHeightDots = 0;
  int printableWidthDots = 0;
  int printableHeightDots = 0;
};

// Minimum margins in `unit`: left = offsetX, top = offsetY,
// right = page width - left - printable width, bottom likewise, each
// converted as trunc(dots x U / dpi + 0.5), U = 1000 or 2540, with dpiX for
// left and right and dpiY for top and bottom. A resolution of 0 or below
// gives all-zero minimums and false (there is nothing to convert by).
bool MinimumMargins(const PrinterGeometry& printer, MarginUnit unit, Margins& minimum);

// The result of the margin check.
struct MarginCheckResult {
  Margins margins;                  // every margin at least its minimum
  bool corrected = false;           // some margin was raised
  std::array<std::string, 4> texts; // the four edits, "%1.2f" of value / 1000 or / 100
};

inline constexpr char kMarginsCorrectedText[] = "Margins smaller than min margins will be corrected ! ";

// Compares left, top, right and bottom with their minimums in that order and
// raises every margin below its minimum to it. When any was raised shows
// kMarginsCorrectedText (platform::ShowMessage). The texts are always filled.
MarginCheckResult CheckMargins(const Margins& requested, const Margins& minimum, MarginUnit unit);

// "%1.2f" of a margin value shown in inches (value / 1000) or millimetres
// (value / 100).
std::string FormatMargin(int value, MarginUnit unit);

// A margin in `unit` converted to twips: value x 1440 / U (integer, truncated).
int MarginToTwips(int value, MarginUnit unit);

// Paper size display: "%.3finch/%.3finch" (inch units) or "%.2fmm/%.2fmm".
std::string PaperSizeText(double widthMm, double heightMm, MarginUnit unit);

// Units of the size and position entries.
enum class EntryUnit { Percent, Cm, Inch };

// An entry value in twips: "inch" trunc(v x 1440 + 0.5), "cm"
// trunc(v x 566.9291338582676 + 0.5), "%" trunc(natural x v x 0.01 + 0.5)
// with `naturalTwips` the image's natural size along that axis.
int EntryToTwips(double value, EntryUnit unit, double naturalTwips);
// Twips shown back in an entry unit: twips / 1440 for "inch",
// twips / 1440 x 2.54 for "cm", twips x 100 / natural for "%" (0 when the
// natural size is 0).
double TwipsToEntry(int twips, EntryUnit unit, double naturalTwips);

// The image's natural size in twips along one axis: pixels x 1440 / dpi
// (0 when dpi <= 0).
double NaturalTwips(int pixels, int dpi);

enum class ScaleMode { FitToPage, UserDefined };
enum class PositionMode { Center, UserDefined };

// The page-setup choices.
struct PageSetup {
  int paperWidthTwips = 0;
  int paperHeightTwips = 0;
  Margins marginsTwips;          // already checked against the minimum margins
  ScaleMode scaleMode = ScaleMode::FitToPage;
  bool allowDistortion = false;  // "Allow Size &Distorsion"
  double width = 100, height = 100;  // "Width:" / "Height:" with sizeUnit
  EntryUnit sizeUnit = EntryUnit::Percent;
  PositionMode positionMode = PositionMode::Center;
  double left = 0, top = 0;      // "Left:" / "Top:" with positionUnit
  EntryUnit positionUnit = EntryUnit::Cm;  // Percent gives position 0
  bool flip = false;             // "Flip"
  bool flipVertical = false;     // "Flip &Vertical" (kept, not used by printing)
};

// What the print pipeline reads: margins and the image rectangle in twips
// (the rectangle relative to the margin origin), and the scale factors.
struct PageLayout {
  Margins marginsTwips;
  platform::Rect imageRect;  // left, top, right, bottom in twips
  float scaleX = 1.0f;
  float scaleY = 1.0f;
  int positionX = 0;  // twips
  int positionY = 0;
};

// The image facts the layout needs.
struct ImageFacts {
  int width = 0;   // pixels
  int height = 0;
  int dpiX = 0;
  int dpiY = 0;
};

// The fit-to-page choice: true (scale by the height) when the printable
// area's proportion sampleW / natW >= sampleH / natH, the natural sizes being
// imageW x 1440 / dpiX and imageH x 1440 / dpiY; compared exactly in
// integers. With equal resolutions this is the sample drawing's comparison
// of the printable rectangle with the image's pixel size; with unequal ones
// comparing pixel counts could pick the larger ratio and push the image off
// the page, so the natural sizes are compared.
bool FitUsesHeight(int64_t sampleW, int64_t sampleH, int64_t imageW, int64_t imageH, int64_t dpiX, int64_t dpiY);

// The image rectangle in twips: width = trunc(pixels x 1440 / dpiX x scaleX
// + 0.5), height likewise; (0, 0, width, height) moved by the position.
platform::Rect ImageRectTwips(const ImageFacts& image, const PageLayout& layout);

// Scale and position for every mode (see PageSetup), returning kResultOk
// with the layout filled, or a negative result code with nothing shown:
// kResultInvalidSize ("Invalid width/height!") for an empty image,
// kResultInvalidParameter ("Invalid parmameter!") for a resolution of 0 or
// below, or a printable area (paper minus margins) of no width or height.
// Scales are 32-bit floats: fit with distortion Wp / natW and Hp / natH; fit
// without distortion the one ratio chosen by FitUsesHeight (the smaller,
// ties to the height); user defined the converted entries over the natural
// size. Position: centred
// max(0, (Wp - round(natW x scaleX)) / 2) (likewise y), (0, 0) when fitting
// without centring, else the entries ("cm" or "inch"; "%" gives 0).
int ComputePageLayout(const PageSetup& setup, const ImageFacts& image, PageLayout& layout);

}  // namespace print
