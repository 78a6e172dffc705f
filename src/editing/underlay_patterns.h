// The patterns the Underlay effect offers: the built-in ones, then the image
// files of the user's pattern folder.
#pragma once

#include <string>
#include <vector>

class CDIBitmap;

// $XDG_DATA_HOME/vividrome/patterns, or ~/.local/share/vividrome/patterns
// when XDG_DATA_HOME is unset or empty.
std::string UnderlayPatternFolder();

// The built-in names (GL_UnderlayPatternNames) followed by the readable
// image files of `folder` (.bmp .gif .jpg .jpeg .pcx .dcx .png .tga .tif,
// any case), listed by file name in byte order. A file is left out when its
// name holds ',' or ':' (they separate an operation's arguments) or equals a
// built-in name. A missing folder adds nothing.
std::vector<std::string> ListUnderlayPatterns(const std::string& folder);

// Fills `pattern` with pattern `name` as 8-bit gray: a built-in one is made,
// any other name is the file `folder`/`name`, read with the document codecs
// and converted to gray (GL_ConvertToGray). 1 on success; otherwise the
// codec's failure (0 or a negative code, its message shown) or
// kResultFileNotFound for a name that is neither.
int LoadUnderlayPattern(CDIBitmap& pattern, const std::string& name, const std::string& folder);
