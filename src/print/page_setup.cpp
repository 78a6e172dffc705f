#include "print/page_setup.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "image/result_codes.h"
#include "platform/messages.h"
#include "print/printer_types.h"

namespace print {
namespace {

constexpr const char* kPaperNames[] = {
    "Letter, 8 1/2 by 11 inches",
    "Letter Small, 8 1/2 by 11 inches",
    "Tabloid, 11 by 17 inches",
    "Ledger, 17 by 11 inches",
    "Legal, 8 1/2 by 14 inches",
    "Statement, 5 1/2 by 8 1/2 inches",
    "Executive, 7 1/4 by 10 1/2 inches",
    "A3 sheet, 297 by 420 millimeters",
    "A4 Sheet, 210 by 297 millimeters",
    "A4 small sheet, 210 by 297 millimeters",
    "A5 sheet, 148 by 210 millimeters",
    "B4 sheet, 250 by 354 millimeters",
    "B5 sheet, 182-by-257-millimeter paper",
    "Folio, 8-1/2-by-13-inch paper",
    "Quarto, 215-by-275-millimeter paper",
    "10-by-14-inch sheet",
    "11-by-17-inch sheet",
    "Note, 8 1/2 by 11 inches",
    "#9 Envelope, 3 7/8 by 8 7/8 inches",
    "#10 Envelope, 4 1/8 by 9 1/2 inches",
    "#11 Envelope, 4 1/2 by 10 3/8 inches",
    "#12 Envelope, 4 3/4 by 11 inches",
    "#14 Envelope, 5 by 11 1/2 inches",
    "C Sheet, 17 by 22 inches",
    "D Sheet, 22 by 34 inches",
    "E Sheet, 34 by 44 inches",
    "DL Envelope, 110 by 220 millimeters",
    "C5 Envelope, 162 by 229 millimeters",
    "C3 Envelope, 324 by 458 millimeters",
    "C4 Envelope, 229 by 324 millimeters",
    "C6 Envelope, 114 by 162 millimeters",
    "C65 Envelope, 114 by 229 millimeters",
    "B4 Envelope, 250 by 353 millimeters",
    "B5 Envelope, 176 by 250 millimeters",
    "B6 Envelope, 176 by 125 millimeters",
    "Italy Envelope, 110 by 230 millimeters",
    "Monarch Envelope, 3 7/8 by 7 1/2 inches",
    "6 3/4 Envelope, 3 5/8 by 6 1/2 inches",
    "US Std Fanfold, 14 7/8 by 11 inches",
    "German Std Fanfold, 8 1/2 by 12 inches",
    "German Legal Fanfold, 8 1/2 by 13 inches",
};
static_assert(std::size(kPaperNames) == kPaperCodeCount);

int DotsToMarginUnits(int dots, int units, int dpi) {
  return static_cast<int>(std::trunc(static_cast<double>(dots) * units / dpi + 0.5));
}

int RoundTwips(double value) { return static_cast<int>(std::trunc(value + 0.5)); }

}  // namespace

std::string PaperName(int code, int widthTenthsMm, int lengthTenthsMm) {
  if (code >= 1 && code <= kPaperCodeCount) return kPaperNames[code - 1];
  return platform::FormatText("Custom Paper, %d by %d millimeters", widthTenthsMm / 10, lengthTenthsMm / 10);
}

std::optional<int> PaperCodeByName(std::string_view word) {
  const auto sameLetters = [](std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
  };
  for (int code = 1; code <= kPaperCodeCount; ++code) {
    const std::string_view name = kPaperNames[code - 1];
    if (sameLetters(name.substr(0, name.find_first_of(" ,")), word)) return code;
  }
  return std::nullopt;
}

int MarginUnitsPerInch(MarginUnit unit) { return unit == MarginUnit::Inch ? 1000 : 2540; }

bool MinimumMargins(const PrinterGeometry& printer, MarginUnit unit, Margins& minimum) {
  minimum = {};
  if (printer.dpiX <= 0 || printer.dpiY <= 0) return false;
  const int units = MarginUnitsPerInch(unit);
  const int rightDots = printer.pageWidthDots - printer.offsetX - printer.printableWidthDots;
  const int bottomDots = printer.pageHeightDots - printer.offsetY - printer.printableHeightDots;
  minimum.left = DotsToMarginUnits(printer.offsetX, units, printer.dpiX);
  minimum.top = DotsToMarginUnits(printer.offsetY, units, printer.dpiY);
  minimum.right = DotsToMarginUnits(rightDots, units, printer.dpiX);
  minimum.bottom = DotsToMarginUnits(bottomDots, units, printer.dpiY);
  return true;
}

std::string FormatMargin(int value, MarginUnit unit) {
  const double shown = unit == MarginUnit::Inch ? value / 1000.0 : value / 100.0;
  return platform::FormatText("%1.2f", shown);
}

MarginCheckResult CheckMargins(const Margins& requested, const Margins& minimum, MarginUnit unit) {
  MarginCheckResult result;
  result.margins = requested;
  int* const values[4] = {&result.margins.left, &result.margins.top, &result.margins.right, &result.margins.bottom};
  const int mins[4] = {minimum.left, minimum.top, minimum.right, minimum.bottom};
  for (int i = 0; i < 4; ++i) {
    if (*values[i] < mins[i]) {
      *values[i] = mins[i];
      result.corrected = true;
    }
  }
  for (int i = 0; i < 4; ++i) result.texts[i] = FormatMargin(*values[i], unit);
  if (result.corrected) platform::ShowMessage(kMarginsCorrectedText);
  return result;
}

int MarginToTwips(int value, MarginUnit unit) {
  return static_cast<int>(static_cast<int64_t>(value) * kTwipsPerInch / MarginUnitsPerInch(unit));
}

std::string PaperSizeText(double widthMm, double heightMm, MarginUnit unit) {
  if (unit == MarginUnit::Inch) return platform::FormatText("%.3finch/%.3finch", widthMm / 25.4, heightMm / 25.4);
  return platform::FormatText("%.2fmm/%.2fmm", widthMm, heightMm);
}

int EntryToTwips(double value, EntryUnit unit, double naturalTwips) {
  switch (unit) {
    case EntryUnit::Inch: return RoundTwips(value * kTwipsPerInch);
    case EntryUnit::Cm: return RoundTwips(value * kTwipsPerCm);
    case EntryUnit::Percent: return RoundTwips(naturalTwips * value * 0.01);
  }
  return 0;
}

double TwipsToEntry(int twips, EntryUnit unit, double naturalTwips) {
  switch (unit) {
    case EntryUnit::Inch: return twips / 1440.0;
    case EntryUnit::Cm: return twips / 1440.0 * 2.54;
    case EntryUnit::Percent: return naturalTwips > 0 ? twips * 100.0 / naturalTwips : 0.0;
  }
  return 0.0;
}

double NaturalTwips(int pixels, int dpi) {
  return dpi > 0 ? static_cast<double>(pixels) * kTwipsPerInch / dpi : 0.0;
}

bool FitUsesHeight(int64_t sampleW, int64_t sampleH, int64_t imageW, int64_t imageH, int64_t dpiX, int64_t dpiY) {
  // sampleW / (imageW / dpiX) >= sampleH / (imageH / dpiY) without division.
  return sampleW * imageH * dpiX >= sampleH * imageW * dpiY;
}

platform::Rect ImageRectTwips(const ImageFacts& image, const PageLayout& layout) {
  const int width = RoundTwips(NaturalTwips(image.width, image.dpiX) * layout.scaleX);
  const int height = RoundTwips(NaturalTwips(image.height, image.dpiY) * layout.scaleY);
  return {layout.positionX, layout.positionY, layout.positionX + width, layout.positionY + height};
}

int ComputePageLayout(const PageSetup& setup, const ImageFacts& image, PageLayout& layout) {
  layout = {};
  if (image.width <= 0 || image.height <= 0) return kResultInvalidSize;
  if (image.dpiX <= 0 || image.dpiY <= 0) return kResultInvalidParameter;
  const Margins& m = setup.marginsTwips;
  const int wp = setup.paperWidthTwips - m.left - m.right;
  const int hp = setup.paperHeightTwips - m.top - m.bottom;
  if (wp <= 0 || hp <= 0) return kResultInvalidParameter;
  const double natW = NaturalTwips(image.width, image.dpiX);
  const double natH = NaturalTwips(image.height, image.dpiY);

  layout.marginsTwips = m;
  if (setup.scaleMode == ScaleMode::FitToPage) {
    if (setup.allowDistortion) {
      layout.scaleX = static_cast<float>(wp / natW);
      layout.scaleY = static_cast<float>(hp / natH);
    } else {
      const float scale = FitUsesHeight(wp, hp, image.width, image.height, image.dpiX, image.dpiY) ? static_cast<float>(hp / natH)
                                                                           : static_cast<float>(wp / natW);
      layout.scaleX = layout.scaleY = scale;
    }
  } else {
    layout.scaleX = static_cast<float>(EntryToTwips(setup.width, setup.sizeUnit, natW) / natW);
    layout.scaleY = static_cast<float>(EntryToTwips(setup.height, setup.sizeUnit, natH) / natH);
  }

  if (setup.positionMode == PositionMode::Center) {
    layout.positionX = std::max(0, (wp - RoundTwips(natW * layout.scaleX)) / 2);
    layout.positionY = std::max(0, (hp - RoundTwips(natH * layout.scaleY)) / 2);
  } else if (setup.scaleMode == ScaleMode::FitToPage) {
    layout.positionX = layout.positionY = 0;
  } else if (setup.positionUnit == EntryUnit::Percent) {
    layout.positionX = layout.positionY = 0;
  } else {
    layout.positionX = EntryToTwips(setup.left, setup.positionUnit, natW);
    layout.positionY = EntryToTwips(setup.top, setup.positionUnit, natH);
  }
  layout.imageRect = ImageRectTwips(image, layout);
  return kResultOk;
}

}  // namespace print
