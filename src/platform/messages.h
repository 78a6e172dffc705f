// Modal message boxes with fixed texts, routed through one process-wide sink.
//
// The library reports refusals ("GL_... ::pdbmDest Should be a 24bit image"),
// codec failures and questions through ShowMessage. The GUI installs a sink
// that opens a real message box; the command line prints the text on stderr;
// tests install a RecordingMessageSink that keeps every message and answers
// questions from a script.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class MsgIcon { None, Information, Exclamation, Question, Stop };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
// Values as the classic message-box answers, so they can be compared with them.
enum class MsgAnswer { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

struct Message {
  std::string text;
  std::string caption;
  MsgIcon icon = MsgIcon::None;
  MsgButtons buttons = MsgButtons::Ok;
};

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual MsgAnswer Show(const Message& message) = 0;
};

// Shows a message through the current sink and returns the answer. Without a
// sink installed the text goes to stderr and the answer is Ok (or Yes for
// yes/no questions).
MsgAnswer ShowMessage(std::string_view text, std::string_view caption = {},
                      MsgIcon icon = MsgIcon::None,
                      MsgButtons buttons = MsgButtons::Ok);

// printf-style formatting for the message texts that carry a path or number.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Installs a sink (nullptr restores the stderr default) and returns the old one.
MessageSink* SetMessageSink(MessageSink* sink);

// Prints each text on stderr (trailing newlines trimmed, one line per message).
// Questions are answered with the affirmative choice.
class StderrMessageSink final : public MessageSink {
 public:
  MsgAnswer Show(const Message& message) override;
};

// Drops every message; questions get the affirmative choice. For batch
// runs that judge the outcome by result codes alone (the fuzz targets).
class SilentMessageSink final : public MessageSink {
 public:
  MsgAnswer Show(const Message& message) override;
};

// Keeps every message shown. Questions take their answers from `answers` in
// order; when it runs dry the affirmative choice is given. Installs itself on
// construction and restores the previous sink on destruction.
class RecordingMessageSink final : public MessageSink {
 public:
  RecordingMessageSink();
  ~RecordingMessageSink() override;
  RecordingMessageSink(const RecordingMessageSink&) = delete;
  RecordingMessageSink& operator=(const RecordingMessageSink&) = delete;

  MsgAnswer Show(const Message& message) override;

  std::vector<Message> shown;
  std::deque<MsgAnswer> answers;

  // The texts shown so far, in order.
  std::vector<std::string> Texts() const;

 private:
  MessageSink* previous_;
};

}  // namespace platform
