#include "app/file_types.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>

namespace app {

namespace {

// The MIME types the editor opens (PCX under both of its names).
constexpr char kMimeTypes[] =
    "image/jpeg;image/png;image/tiff;image/bmp;image/x-pcx;image/vnd.zbrush.pcx;image/x-tga;image/x-photo-cd;"
    "application/x-vividrome-document;image/x-cmp;";

struct MimeRow {
  const char* type;
  const char* glob;
  const char* comment;
};
constexpr MimeRow kMimeRows[] = {
    {"image/jpeg", "*.jpg", "JPEG Image"},
    {"image/png", "*.png", "PNG Image"},
    {"image/tiff", "*.tif", "TIFF Image"},
    {"image/x-cmp", "*.cmp", "LeadTools Image"},
    {"application/x-vividrome-document", "*.vvd", "Vividrome Document"},
};

// One Exec argument: '%' doubled; the argument in double quotes with '"',
// '`', '$' and '\' escaped by a backslash inside.
std::string QuoteExecArgument(const std::string& argument) {
  std::string out = "\"";
  for (char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  return out + '"';
}

// The string escapes of a desktop entry value (applied over the quoting).
std::string EscapeValue(const std::string& value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::string XmlEscape(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    switch (*p) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += *p;
    }
  }
  return out;
}

// Writes `text` to `path` unless it holds exactly that already; -1 on
// failure, 0 unchanged, 1 written.
int WriteIfChanged(const QString& path, const std::string& text, QString& error) {
  const QByteArray bytes = QByteArray::fromStdString(text);
  QFile existing(path);
  if (existing.open(QIODevice::ReadOnly) && existing.readAll() == bytes) return 0;
  existing.close();
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
    error = "cannot make the folder of " + path;
    return -1;
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    error = "cannot write " + path + ": " + file.errorString();
    return -1;
  }
  return 1;
}

void RunIfInstalled(const QString& program, const QStringList& arguments) {
  const QString path = QStandardPaths::findExecutable(program);
  if (path.isEmpty()) return;
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process.setStandardOutputFile(QProcess::nullDevice());
  process.start(path, arguments);
  if (process.waitForStarted(10000)) process.waitForFinished(60000);
}

}  // namespace

std::string DesktopEntryText(const std::string& executable) {
  const std::string exe = EscapeValue(QuoteExecArgument(executable));
  std::string text =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Vividrome\n"
      "GenericName=Image Editor\n"
      "Comment=Edit, colour-manage and print images\n"
      "Exec=" + exe + " %F\n"
      "Icon=vividrome\n"
      "Terminal=false\n"
      "Categories=Graphics;2DGraphics;RasterGraphics;\n"
      "MimeType=" + std::string(kMimeTypes) + "\n"
      "Actions=printto;\n"
      "\n"
      "[Desktop Action printto]\n"
      "Name=Print\n"
      "Exec=" + exe + " /pt %f \"\" \"\" \"\"\n";
  return text;
}

std::string MimePackageText() {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
  for (const MimeRow& row : kMimeRows) {
    text += "  <mime-type type=\"" + XmlEscape(row.type) + "\">\n";
    text += "    <comment>" + XmlEscape(row.comment) + "</comment>\n";
    text += "    <glob pattern=\"" + XmlEscape(row.glob) + "\"/>\n";
    text += "  </mime-type>\n";
  }
  text += "</mime-info>\n";
  return text;
}

RegistrationResult RegisterFileTypes(const QString& dataFolder, const QString& executable) {
  RegistrationResult result;
  const QString applications = dataFolder + "/applications";
  const QString mime = dataFolder + "/mime";
  const int desktop =
      WriteIfChanged(applications + "/com.morvane.Vividrome.desktop", DesktopEntryText(executable.toStdString()), result.error);
  if (desktop < 0) return result;
  const int package = WriteIfChanged(mime + "/packages/vividrome.xml", MimePackageText(), result.error);
  if (package < 0) return result;
  result.filesWritten = desktop + package;
  if (package > 0) RunIfInstalled("update-mime-database", {mime});
  if (desktop > 0) RunIfInstalled("update-desktop-database", {applications});
  return result;
}

FileTypeRegistrar::FileTypeRegistrar() = default;

FileTypeRegistrar::~FileTypeRegistrar() { Wait(); }

void FileTypeRegistrar::Start() {
  if (thread_) return;
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  const QString executable = QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath();
  if (data.isEmpty() || executable.isEmpty()) return;
  thread_.reset(QThread::create([data, executable] { RegisterFileTypes(data, executable); }));
  thread_->start(QThread::IdlePriority);
}

void FileTypeRegistrar::Wait() {
  if (thread_) thread_->wait();
}

}  // namespace app
