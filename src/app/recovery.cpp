#include "app/recovery.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QtGlobal>

#include "document/format_dispatch.h"
#include "document/vivid_doc.h"
#include "image/dibitmap.h"
#include "platform/messages.h"

namespace app {

namespace {
constexpr char kIndexName[] = "index.json";
}

Recovery::Recovery(const QString& folder) : folder_(folder) {
  QDir().mkpath(folder_);
  // Unique per session, so this session never writes over a leftover.
  session_ = QString("copy-%1-%2").arg(QCoreApplication::applicationPid()).arg(QDateTime::currentMSecsSinceEpoch());
  QFile index(FilePath(kIndexName));
  if (!index.open(QIODevice::ReadOnly)) return;
  const QJsonDocument json = QJsonDocument::fromJson(index.readAll());
  for (const QJsonValue& value : json.object().value("documents").toArray()) {
    const QJsonObject object = value.toObject();
    Entry entry{object.value("file").toString(), object.value("title").toString(), object.value("path").toString()};
    // Only plain names inside the folder are taken.
    if (entry.file.isEmpty() || entry.file.contains('/') || !QFile::exists(FilePath(entry.file))) continue;
    leftovers_.push_back(entry);
  }
}

Recovery::~Recovery() = default;

QString Recovery::DefaultFolder() {
  QString state = qEnvironmentVariable("XDG_STATE_HOME");
  if (state.isEmpty() || !QDir::isAbsolutePath(state)) state = QDir::homePath() + "/.local/state";
  return state + "/vividrome/recovery";
}

QString Recovery::FilePath(const QString& name) const { return folder_ + "/" + name; }

bool Recovery::WriteIndex() const {
  QJsonArray documents;
  auto add = [&](const Entry& e) {
    documents.append(QJsonObject{{"file", e.file}, {"title", e.title}, {"path", e.path}});
  };
  for (const Entry& e : leftovers_) add(e);
  for (const auto& [doc, e] : entries_) add(e);
  if (documents.isEmpty()) {
    QFile::remove(FilePath(kIndexName));
    return true;
  }
  QSaveFile index(FilePath(kIndexName));
  if (!index.open(QIODevice::WriteOnly)) return false;
  index.write(QJsonDocument(QJsonObject{{"documents", documents}}).toJson());
  return index.commit();
}

bool Recovery::Save(const CVividDoc& document) {
  const CDIBitmap& image = document.GetImage();
  if (!image.IsAllocated()) return false;
  auto found = entries_.find(&document);
  Entry entry = found != entries_.end() ? found->second : Entry{session_ + QString("-%1.bmp").arg(next_++), {}, {}};
  entry.title = QString::fromStdString(document.GetTitle());
  entry.path = document.HasFile() ? QString::fromStdString(document.GetPathName()) : QString();
  // The codec's messages would be message boxes: kept here and logged.
  platform::RecordingMessageSink quiet;
  const bool written = SaveImageFile(image, FilePath(entry.file).toStdString(), 1) != 0;
  if (!written) {
    for (const std::string& text : quiet.Texts()) qWarning("recovery copy not written: %s", text.c_str());
    qWarning("recovery copy of \"%s\" not written to %s", document.GetTitle().c_str(), qPrintable(folder_));
    return false;
  }
  entries_[&document] = entry;
  if (!WriteIndex()) qWarning("recovery index not written in %s", qPrintable(folder_));
  return true;
}

void Recovery::Remove(const CVividDoc& document) {
  const auto found = entries_.find(&document);
  if (found == entries_.end()) return;
  QFile::remove(FilePath(found->second.file));
  entries_.erase(found);
  if (!WriteIndex()) qWarning("recovery index not written in %s", qPrintable(folder_));
}

void Recovery::RemoveAll() {
  for (const auto& [doc, e] : entries_) QFile::remove(FilePath(e.file));
  entries_.clear();
  WriteIndex();
}

std::unique_ptr<CDIBitmap> Recovery::LoadLeftover(const Entry& entry) const {
  auto image = std::make_unique<CDIBitmap>();
  platform::RecordingMessageSink quiet;
  if (LoadImageFile(*image, FilePath(entry.file).toStdString(), 1) == 0 || !image->IsAllocated()) {
    qWarning("recovery copy %s cannot be read", qPrintable(entry.file));
    return nullptr;
  }
  return image;
}

void Recovery::DiscardLeftovers() {
  for (const Entry& e : leftovers_) QFile::remove(FilePath(e.file));
  leftovers_.clear();
  WriteIndex();
}

}  // namespace app
