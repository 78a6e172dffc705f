#include "platform/prompts.h"

#include "platform/messages.h"

namespace platform {
namespace {

// Without a user interface: nothing to choose a file with, and every option
// dialog is confirmed as it opens.
class DefaultPrompts final : public Prompts {
 public:
  std::optional<FileDialogResult> FileDialog(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<int> TiffOptions(bool) override { return 0; }
  std::optional<int> JpegOptions(int quality) override { return quality; }
  std::optional<int> TgaOptions() override { return 0; }
  std::optional<PhotoCDChoice> PhotoCDOptions(const PhotoCDRequest& request) override {
    return PhotoCDChoice{request.resolution};
  }
};

DefaultPrompts g_default;
Prompts* g_prompts = nullptr;

template <typename T>
std::optional<T> Next(std::deque<std::optional<T>>& queue) {
  if (queue.empty()) return std::nullopt;
  std::optional<T> answer = queue.front();
  queue.pop_front();
  return answer;
}

}  // namespace

bool Prompts::AskYesNo(std::string_view text, std::string_view caption) {
  return ShowMessage(text, caption, MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes;
}

Prompts& CurrentPrompts() { return g_prompts ? *g_prompts : g_default; }

Prompts* SetPrompts(Prompts* prompts) {
  Prompts* old = g_prompts;
  g_prompts = prompts;
  return old;
}

ScriptedPrompts::ScriptedPrompts() : previous_(SetPrompts(this)) {}

ScriptedPrompts::~ScriptedPrompts() { SetPrompts(previous_); }

std::optional<FileDialogResult> ScriptedPrompts::FileDialog(const FileDialogRequest& request) {
  requests.emplace_back(request.mode == FileDialogMode::Save ? "file save" : "file open");
  FileRecord& record = fileRequests.emplace_back();
  record.request = request;
  if (fileAnswers.empty()) return std::nullopt;
  FileAnswer answer = fileAnswers.front();
  fileAnswers.pop_front();

  int type = request.typeIndex;
  std::string name = request.initialName;
  for (int change : answer.typeChanges) {
    type = change;
    if (request.onTypeChanged) name = request.onTypeChanged(type, name);
    record.names.push_back(name);
  }
  if (!answer.path) return std::nullopt;
  if (answer.typeIndex > 0) type = answer.typeIndex;
  return FileDialogResult{*answer.path, type};
}

bool ScriptedPrompts::AskYesNo(std::string_view text, std::string_view) {
  requests.push_back("yesno " + std::string(text));
  if (yesNoAnswers.empty()) return false;
  const bool answer = yesNoAnswers.front();
  yesNoAnswers.pop_front();
  return answer;
}

std::optional<int> ScriptedPrompts::TiffOptions(bool oneBit) {
  requests.emplace_back(oneBit ? "tiff 1bit" : "tiff");
  return Next(tiffAnswers);
}

std::optional<int> ScriptedPrompts::JpegOptions(int quality) {
  requests.push_back("jpeg " + std::to_string(quality));
  return Next(jpegAnswers);
}

std::optional<int> ScriptedPrompts::TgaOptions() {
  requests.emplace_back("tga");
  return Next(tgaAnswers);
}

std::optional<PhotoCDChoice> ScriptedPrompts::PhotoCDOptions(const PhotoCDRequest& request) {
  requests.push_back("photocd " + std::to_string(request.resolutionCount) + " " +
                     std::to_string(request.resolution));
  return Next(photoCDAnswers);
}

}  // namespace platform
