// Crash recovery: copies of the modified documents, written every few
// minutes to a folder under the user's state directory, so that work a
// crash interrupted can be opened again at the next start.
//
// Each copy is a BMP file (lossless for every kind but CMYK, which is kept
// as its RGB picture) written atomically, listed in `index.json` (file,
// title, original path) beside it, which is itself replaced atomically.
// Saving a document or closing it removes its copy; a clean exit leaves no
// copy of this session. The copies a crashed session left are found when
// the folder is opened and stay until they are taken back or discarded.
// A copy that cannot be written is skipped silently; the reason goes to the
// log (qWarning), never to a message box.
#pragma once

#include <QString>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CDIBitmap;
class CVividDoc;

namespace app {

class Recovery {
 public:
  struct Entry {
    QString file;   // name inside the folder
    QString title;  // the document's title
    QString path;   // the document's file, empty without one
  };

  // Uses `folder` (made when missing) and reads the copies a previous
  // session left there.
  explicit Recovery(const QString& folder);
  ~Recovery();
  Recovery(const Recovery&) = delete;
  Recovery& operator=(const Recovery&) = delete;

  // $XDG_STATE_HOME/vividrome/recovery, else ~/.local/state/vividrome/recovery.
  static QString DefaultFolder();
  const QString& Folder() const { return folder_; }

  // Writes the copy of `document` (replacing its previous one); false when
  // it could not be written (logged; the previous copy stays).
  bool Save(const CVividDoc& document);
  // Removes the copy of `document`, if any.
  void Remove(const CVividDoc& document);
  // Removes every copy of this session (a clean exit).
  void RemoveAll();
  bool Has(const CVividDoc& document) const { return entries_.count(&document) != 0; }

  // The copies a previous session left, whose files exist.
  const std::vector<Entry>& Leftovers() const { return leftovers_; }
  // Reads a leftover's picture; null when it cannot be read.
  std::unique_ptr<CDIBitmap> LoadLeftover(const Entry& entry) const;
  // Deletes the leftover copies (taken back, or declined).
  void DiscardLeftovers();

 private:
  bool WriteIndex() const;
  QString FilePath(const QString& name) const;

  QString folder_;
  QString session_;  // prefix of this session's file names
  int next_ = 1;
  std::map<const CVividDoc*, Entry> entries_;
  std::vector<Entry> leftovers_;
};

}  // namespace app
