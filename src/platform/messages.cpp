#include "platform/messages.h"

#include <cstdarg>
#include <cstdio>

namespace platform {
namespace {

StderrMessageSink g_stderrSink;
MessageSink* g_sink = nullptr;

MsgAnswer Affirmative(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
      return MsgAnswer::Yes;
    default:
      return MsgAnswer::Ok;
  }
}

}  // namespace

MsgAnswer ShowMessage(std::string_view text, std::string_view caption, MsgIcon icon, MsgButtons buttons) {
  Message message{std::string(text), std::string(caption), icon, buttons};
  return (g_sink ? g_sink : &g_stderrSink)->Show(message);
}

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (length > 0) {
    out.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(length));
  }
  va_end(args);
  return out;
}

MessageSink* SetMessageSink(MessageSink* sink) {
  MessageSink* old = g_sink;
  g_sink = sink;
  return old;
}

MsgAnswer StderrMessageSink::Show(const Message& message) {
  std::string_view text = message.text;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  return Affirmative(message.buttons);
}

MsgAnswer SilentMessageSink::Show(const Message& message) { return Affirmative(message.buttons); }

RecordingMessageSink::RecordingMessageSink() : previous_(SetMessageSink(this)) {}

RecordingMessageSink::~RecordingMessageSink() { SetMessageSink(previous_); }

MsgAnswer RecordingMessageSink::Show(const Message& message) {
  shown.push_back(message);
  if (message.buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  if (answers.empty()) return Affirmative(message.buttons);
  MsgAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::vector<std::string> RecordingMessageSink::Texts() const {
  std::vector<std::string> texts;
  texts.reserve(shown.size());
  for (const Message& m : shown) texts.push_back(m.text);
  return texts;
}

}  // namespace platform
