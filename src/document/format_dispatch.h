// Reading and writing image files, the codec chosen by the file name.
//
// The codec is chosen by the lower-cased name's ending (the last 4
// characters, or 5 for ".jpeg"); the contents are never sniffed, so a file
// with the wrong extension goes to the wrong reader, which fails with its own
// message. Recognised for reading: .jpg .jpeg .gif .bmp .dcx .pcx .tif .tga
// .png .pcd; for writing: .tif .jpg .jpeg .pcx .png .bmp .gif .tga. Any other
// name, and a recognised format whose codec is not part of this build, shows
// "%s\n\n Sorry, File Format is not supported now !" with the path.
//
// Formats with options ask for them first, through platform::CurrentPrompts():
// reading ".pcd" asks "Photo CD Option" (resolution preset 2); writing ".tif"
// asks "TIFF Option" (the compression list depends on a 1-bit image and the
// main window is repainted after OK), ".jpg"/".jpeg" "JPEG Option" (quality
// 2..100, default 75), ".tga" "TGA Option" (NONE or RLE). Cancel, or an
// answer outside the dialog's range, writes or reads nothing and gives 0.
#pragma once

#include <functional>
#include <string>

class CDIBitmap;

// Reads `path` into image with the codec its name selects and returns the
// codec's result (non-zero on success). Whatever happened, the image's
// resolution is then 72 dots per inch both ways. `flag` is kept for callers
// that pass it; it has no effect.
int LoadImageFile(CDIBitmap& image, const std::string& path, int flag = 1);

// Writes image to `path` with the codec its name selects and returns the
// codec's result (non-zero on success). The codec writes a temporary file in
// the same folder, which replaces `path` only when the codec succeeded, so a
// failed or interrupted save leaves an existing file as it was (see
// WriteFileAtomically). An existing file that is read-only (IsReadOnlyFile)
// is refused with "%s is ReadOnly File, Cannot be saved !". An image without
// pixels gives 0.
int SaveImageFile(const CDIBitmap& image, const std::string& path, int flag = 1);

// True when `path` exists and has no write permission bit, or is not
// writable for this process (access W_OK).
bool IsReadOnlyFile(const std::string& path);

// True when `path` names something that exists (following symbolic links).
bool FileExists(const std::string& path);

// Writes a file so that `path` shows either its old contents or the complete
// new ones. `write` is given the name of a new temporary file
// ".NAME.XXXXXX" in the folder of `path` (of the file a symbolic link points
// to) and returns non-zero on success; the temporary is then flushed to disk,
// given the old file's permission bits (a new file gets 0666 less the umask)
// and renamed over `path`. When `write` fails, or the temporary cannot be
// created, flushed or renamed, the temporary is removed and `path` is left
// untouched; the same when `write` throws, and the exception passes on.
// Something at `path` that is not a regular file (a device, a
// pipe) is written in place. Returns the result of `write`, or 0.
int WriteFileAtomically(const std::string& path, const std::function<int(const std::string& file)>& write);
