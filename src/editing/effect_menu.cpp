#include "editing/effect_menu.h"

const std::vector<EffectMenuEntry>& EffectMenuEntries() {
  using enum EffectMenu;
  static const std::vector<EffectMenuEntry> entries = {
      {32930, "&Canvas Size...", "canvas-size", Image},

      {32983, "&Brightness/Contrast...", "brightness-contrast", Adjust, true},
      {32985, "Curves...", "curves", Adjust, true},
      {32998, "&Levels...", "levels", Adjust, true},
      {32997, "Threshold...", "threshold", Adjust, true},
      {32984, "&Hue/Saturation...", "hue-saturation", Adjust, true},
      {32995, "Balance...", "color-balance", Adjust, true},
      {0, {}, {}, Adjust},
      {32986, "E&qualize", "equalize", Adjust},
      {32987, "S&tretch Intensity", "stretch-intensity", Adjust},
      {32982, "&Invert Color", "invert-color", Adjust},
      {32996, "Invert BGR order", "invert-bgr", Adjust},

      {0, "Palette(8BIT)...", "mode:palette", Mode},
      {0, "&Grayscale(8BIT)", "mode:gray", Mode},
      {0, "&Black/White(1BIT)...", "mode:bw", Mode},
      {0, "RGB(24BIT)", "mode:rgb", Mode},
      {0, "CMYK(32BIT)", "mode:cmyk", Mode},

      {32950, "Blur", "blur", Filter},
      {32951, "Blur More", "blur-more", Filter},
      {32944, "Sharpen", "sharpen", Filter},
      {32952, "Sharpen More", "sharpen-more", Filter},
      {0, {}, {}, Filter},
      {32946, "Add &Noise...", "add-noise", Filter, true},
      {32942, "&Average...", "average", Filter, true},
      {32943, "M&edian...", "median", Filter, true},
      {33008, "Mi&nimum...", "minimum", Filter, true},
      {33007, "Ma&xmum...", "maximum", Filter, true},
      {32945, "&Despeckle", "despeckle", Filter, true},
      {0, {}, {}, Filter},
      {32941, "&Mosaic...", "mosaic", Filter, true},
      {32940, "&Posterize...", "posterize", Filter, true},
      {32947, "Em&boss...", "emboss", Filter, true},
      {32949, "Ed&ge Enhance...", "edge-enhance", Filter, true},
      {32955, "Solarize...", "solarize", Filter, true},
      {32956, "UnSharp Mask...", "unsharp-mask", Filter, true},
      {33006, "Gaussian Blur...", "gaussian-blur", Filter, true},
      {0, {}, {}, Filter},
      {32968, "Dilation...", "dilation", Filter},
      {32967, "Erosion...", "erosion", Filter},
      {32948, "&Underlay...", "underlay", Filter},

      {32961, "&Laplacian...", "laplacian", EdgeFilter},
      {32965, "L&ine Segment...", "line-segment", EdgeFilter},
      {32963, "&Prewitt...", "prewitt", EdgeFilter},
      {32964, "S&hift and Difference...", "shift-difference", EdgeFilter},
      {32962, "&Sobel...", "sobel", EdgeFilter},
  };
  return entries;
}
