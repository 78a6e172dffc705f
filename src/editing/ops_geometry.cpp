// Named geometry operations: quarter turns, flips, resize, rotation by any
// angle, shear, canvas size and crop, with the ranges of their dialogs.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "editing/operation_table.h"
#include "image/dibitmap.h"
#include "image/services.h"
#include "imaging/geometry.h"
#include "platform/messages.h"

namespace {

// Largest width or height the size dialogs accept.
constexpr double kMaxSide = 32767;

// The tool settings' background colour before the user has chosen one:
// white. Canvas "background" uses it while no tool settings are attached.
constexpr uint32_t kDefaultBackgroundColor = 0xFFFFFF;

constexpr char kCropOutside[] = "GL_CropBitmap ::rectangle Should overlap the image";

// Dialog degrees to the hundredths the operations take, to the nearest.
int Hundredths(double degrees) { return static_cast<int>(std::floor(degrees * 100 + 0.5)); }

OperationParam Side(std::string_view name) { return {name, ParamKind::Integer, 1, kMaxSide, {}, std::nullopt}; }

}  // namespace

std::vector<OperationDef> GeometryOperations() {
  std::vector<OperationDef> ops;
  ops.push_back({"rotate-90", {}, [](CDIBitmap& image, const OperationArgs&) { return GL_Rotate90(image); }});
  ops.push_back({"rotate-180", {}, [](CDIBitmap& image, const OperationArgs&) { return GL_Rotate180(image); }});
  ops.push_back({"rotate-270", {}, [](CDIBitmap& image, const OperationArgs&) { return GL_Rotate270(image); }});
  ops.push_back(
      {"flip-horizontal", {}, [](CDIBitmap& image, const OperationArgs&) { return GL_FlipBitmap(image, 0); }});
  ops.push_back({"flip-vertical", {}, [](CDIBitmap& image, const OperationArgs&) { return GL_FlipBitmap(image, 1); }});
  ops.push_back({"resize",
                 {Side("width"), Side("height")},
                 [](CDIBitmap& image, const OperationArgs& args) {
                   return GL_ResizeBitmap(image, args.Int(0), args.Int(1));
                 }});
  // "Rotate" dialog: "&Angle" -180 .. 180 degrees, initially 0.
  ops.push_back({"rotate",
                 {{"degrees", ParamKind::Real, -180, 180, {}, 0.0}},
                 [](CDIBitmap& image, const OperationArgs& args) {
                   return GL_RotateBitmap(image, Hundredths(args.Real(0)), 1);
                 }});
  // "Skew" dialog: "&Angle" -45 .. 45 degrees, initially 0; "&Horizontal"
  // initially checked.
  ops.push_back({"shear",
                 {{"degrees", ParamKind::Real, -45, 45, {}, 0.0},
                  {"direction", ParamKind::Choice, 0, 0, {"horizontal", "vertical"}, 0.0}},
                 [](CDIBitmap& image, const OperationArgs& args) {
                   return GL_ShearBitmap(image, Hundredths(args.Real(0)), args.Int(1));
                 }});
  // "Canvas Size" dialog: width, height, one of nine image positions (1 .. 9
  // down the columns: 1 top left, 5 centre, 9 bottom right) and the fill.
  ops.push_back({"canvas-size",
                 {Side("width"),
                  Side("height"),
                  {"anchor", ParamKind::Integer, 1, 9, {}, std::nullopt},
                  {"fill", ParamKind::Choice, 0, 0, {"white", "black", "background"}, std::nullopt}},
                 [](CDIBitmap& image, const OperationArgs& args) {
                   const uint32_t fills[] = {0xFFFFFF, 0x000000, kDefaultBackgroundColor};
                   return GL_CanvasSize(image, args.Int(0), args.Int(1), args.Int(2), fills[args.Int(3)]);
                 }});
  ops.push_back({"crop",
                 {{"x", ParamKind::Integer, 0, kMaxSide - 1, {}, std::nullopt},
                  {"y", ParamKind::Integer, 0, kMaxSide - 1, {}, std::nullopt},
                  Side("width"),
                  Side("height")},
                 [](CDIBitmap& image, const OperationArgs& args) {
                   // A crop never grows the image: the rectangle is cut at
                   // the image's edges, and one wholly outside is refused.
                   const int x = args.Int(0);
                   const int y = args.Int(1);
                   const int width = std::min(args.Int(2), image.GetWidth() - x);
                   const int height = std::min(args.Int(3), image.GetHeight() - y);
                   if (width < 1 || height < 1) {
                     platform::ShowMessage(kCropOutside);
                     return 0;
                   }
                   return GL_CropBitmap(image, x, y, width, height);
                 }});
  return ops;
}
