// The dialogs that documents and codecs open below the user interface: the
// file dialog, yes/no questions and the codec option dialogs ("TIFF Option",
// "JPEG Option", "TGA Option", "Photo CD Option").
//
// One Prompts object is current for the process, like the message sink. The
// GUI installs one built on its toolkit, the command line installs one that
// answers from its options, and tests install a ScriptedPrompts. Every dialog
// answers std::nullopt (or false) for Cancel.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Texts of the option dialogs' lists, in index order.
inline constexpr const char* kTiffCompressionNames[] = {"None", "PackBits", "CCITT Fax3", "CCITT Fax4"};
// A 1-bit image is offered all four TIFF compressions, others the first two.
inline constexpr int TiffCompressionCount(bool oneBit) { return oneBit ? 4 : 2; }
inline constexpr const char* kTgaCompressionNames[] = {"NONE", "RLE"};
inline constexpr const char* kPhotoCDResolutionNames[] = {"192x128", "384x256", "768x512", "1536x1024",
                                                         "3072x1048"};

inline constexpr int kJpegQualityMin = 2;
inline constexpr int kJpegQualityMax = 100;
inline constexpr int kJpegQualityDefault = 75;
inline constexpr int kPhotoCDResolutionDefault = 2;

enum class FileDialogMode { Open, Save };

struct FileDialogRequest {
  FileDialogMode mode = FileDialogMode::Open;
  std::string title;             // window title; empty: the dialog's own
  std::string initialName;       // text of the name field on opening
  std::string initialFolder;     // folder shown first; empty: the dialog's own choice
  std::string defaultExtension;  // without the dot; empty: none
  // Alternating display names and patterns, each followed by '|', the list
  // ending in an extra '|': "JPEG(*.jpg;*.jpeg)|*.jpg;*.jpeg||".
  std::string filter;
  int typeIndex = 1;  // preselected entry of the filter, 1-based
  // Called when the user picks another type (1-based) while the dialog is
  // open, with the name field's current text; the result replaces that text.
  // May be empty.
  std::function<std::string(int typeIndex, const std::string& currentName)> onTypeChanged;
};

struct FileDialogResult {
  std::string path;   // the chosen file, with the folder
  int typeIndex = 1;  // the type selected when the dialog was closed, 1-based
};

struct PhotoCDRequest {
  std::string path;
  int resolutionCount = 5;                       // the first entries of kPhotoCDResolutionNames offered
  int resolution = kPhotoCDResolutionDefault;    // preselected entry
};

struct PhotoCDChoice {
  int resolution = kPhotoCDResolutionDefault;  // index into kPhotoCDResolutionNames
};

class Prompts {
 public:
  virtual ~Prompts() = default;

  virtual std::optional<FileDialogResult> FileDialog(const FileDialogRequest& request) = 0;
  // A question answered Yes (true) or No. The default asks through the
  // message sink (ShowMessage with Yes/No buttons).
  virtual bool AskYesNo(std::string_view text, std::string_view caption);
  // "TIFF Option": index into kTiffCompressionNames, below
  // TiffCompressionCount(oneBit); entry 0 preselected.
  virtual std::optional<int> TiffOptions(bool oneBit) = 0;
  // "JPEG Option": "Compression Quality:" kJpegQualityMin..kJpegQualityMax,
  // starting at `quality`.
  virtual std::optional<int> JpegOptions(int quality) = 0;
  // "TGA Option": "Compression:" index into kTgaCompressionNames, 0 preselected.
  virtual std::optional<int> TgaOptions() = 0;
  // "Photo CD Option": the resolution to read.
  virtual std::optional<PhotoCDChoice> PhotoCDOptions(const PhotoCDRequest& request) = 0;
};

// The current Prompts. Without one installed, a headless default answers:
// the file dialog is cancelled, option dialogs confirm their preset values,
// questions go through the message sink.
Prompts& CurrentPrompts();
// Installs `prompts` (nullptr restores the default) and returns the old one.
Prompts* SetPrompts(Prompts* prompts);

// Answers from queues filled by the test, and records every request. A
// dialog whose queue is empty is cancelled (a question is answered No), so
// an unexpected dialog shows up as a failure. Installs itself on
// construction and restores the previous Prompts on destruction.
class ScriptedPrompts final : public Prompts {
 public:
  struct FileAnswer {
    std::optional<std::string> path;  // nullopt: Cancel
    int typeIndex = 0;                // 0: keep the type selected last
    // Types picked one after another while the dialog is open; each calls
    // the request's onTypeChanged and the result becomes the name field.
    std::vector<int> typeChanges;
  };
  struct FileRecord {
    FileDialogRequest request;
    std::vector<std::string> names;  // the name field after each type change
  };

  ScriptedPrompts();
  ~ScriptedPrompts() override;
  ScriptedPrompts(const ScriptedPrompts&) = delete;
  ScriptedPrompts& operator=(const ScriptedPrompts&) = delete;

  std::optional<FileDialogResult> FileDialog(const FileDialogRequest& request) override;
  bool AskYesNo(std::string_view text, std::string_view caption) override;
  std::optional<int> TiffOptions(bool oneBit) override;
  std::optional<int> JpegOptions(int quality) override;
  std::optional<int> TgaOptions() override;
  std::optional<PhotoCDChoice> PhotoCDOptions(const PhotoCDRequest& request) override;

  std::deque<FileAnswer> fileAnswers;
  std::deque<bool> yesNoAnswers;
  std::deque<std::optional<int>> tiffAnswers;
  std::deque<std::optional<int>> jpegAnswers;
  std::deque<std::optional<int>> tgaAnswers;
  std::deque<std::optional<PhotoCDChoice>> photoCDAnswers;

  // Every request in order, one line each: "file open", "file save",
  // "yesno TEXT", "tiff 1bit" or "tiff", "jpeg QUALITY", "tga",
  // "photocd COUNT PRESET".
  std::vector<std::string> requests;
  std::vector<FileRecord> fileRequests;

 private:
  Prompts* previous_;
};

}  // namespace platform
