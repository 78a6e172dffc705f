// The "Color Mode" commands as named operations.
//
// mode:bw takes one optional dithering choice, default "diffusion": the
// black-and-white dialog leaves its default open, and error diffusion keeps
// the tones of a photograph (ordered dithering leaves a visible grid,
// "none" a hard threshold that loses every mid-tone). mode:palette takes the
// palette (default "adaptive", preselected in the dialog) and the dithering
// (default "ordered", preselected in the dialog).
#include "editing/operation_table.h"
#include "image/color_modes.h"

std::vector<OperationDef> ColorModeOperations() {
  const std::vector<std::string_view> dithers = {"none", "ordered", "diffusion"};
  std::vector<OperationDef> ops;
  ops.push_back({"mode:gray", {}, [](CDIBitmap& image, const OperationArgs&) { return GL_ConvertToGray(image); }});
  ops.push_back({"mode:rgb", {}, [](CDIBitmap& image, const OperationArgs&) { return GL_ConvertImageToRGB(image); }});
  ops.push_back(
      {"mode:cmyk", {}, [](CDIBitmap& image, const OperationArgs&) { return GL_ConvertImageToCMYK(image); }});
  ops.push_back({"mode:bw",
                 {{"dither", ParamKind::Choice, 0, 0, dithers, static_cast<double>(kDitherDiffusion)}},
                 [](CDIBitmap& image, const OperationArgs& args) {
                   return GL_ConvertImageToBW(image, static_cast<DitherMode>(args.Int(0)));
                 }});
  // The choice lists follow the enumerations' values.
  ops.push_back({"mode:palette",
                 {{"palette", ParamKind::Choice, 0, 0, {"system", "adaptive", "netscape"},
                   static_cast<double>(kPaletteAdaptive)},
                  {"dither", ParamKind::Choice, 0, 0, dithers, static_cast<double>(kDitherOrdered)}},
                 [](CDIBitmap& image, const OperationArgs& args) {
                   return GL_ConvertImageToIndexed(image, static_cast<PaletteChoice>(args.Int(0)),
                                                   static_cast<DitherMode>(args.Int(1)));
                 }});
  return ops;
}
