// Registration of the editor with the desktop: a desktop entry that opens
// the image types with it (and prints with /pt), and the shared-mime-info
// package naming the types it brings:
//   DATA/applications/com.morvane.Vividrome.desktop (the installed entry's
//   name, so that this one replaces it rather than showing twice)
//   DATA/mime/packages/vividrome.xml
// DATA is the user's data folder ($XDG_DATA_HOME, else ~/.local/share).
// Each file is written only when its text differs from what is there, by
// writing a temporary file and renaming it over the old one, so a reader
// never sees half a file and a second run changes nothing. When something
// changed, update-mime-database and update-desktop-database refresh the
// desktop's caches of those folders (skipped when not installed).
#pragma once

#include <QString>
#include <memory>
#include <string>

class QThread;

namespace app {

// The desktop entry for `executable` (an absolute path), quoted by the
// desktop entry rules: Exec="EXECUTABLE" %F and a "printto" action
// Exec="EXECUTABLE" /pt %f "" "" "" (an empty printer: the default one).
std::string DesktopEntryText(const std::string& executable);

// The shared-mime-info package: *.jpg "JPEG Image", *.png "PNG Image",
// *.tif "TIFF Image", *.cmp "LeadTools Image", *.vvd "Vividrome Document".
std::string MimePackageText();

struct RegistrationResult {
  int filesWritten = 0;  // 0 when everything was already in place
  QString error;         // "" when the files are in place
};

// Writes both files under `dataFolder` and refreshes the caches.
RegistrationResult RegisterFileTypes(const QString& dataFolder, const QString& executable);

// The registration once, on a thread of idle priority; the destructor waits
// for it.
class FileTypeRegistrar {
 public:
  FileTypeRegistrar();
  ~FileTypeRegistrar();
  // Starts registering this executable under the user's data folder.
  void Start();
  void Wait();

 private:
  std::unique_ptr<QThread> thread_;
};

}  // namespace app
