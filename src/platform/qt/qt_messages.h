// The message sink over Qt's QMessageBox: the text, the caption (the
// application's display name when the message has none), the icon and the
// buttons of the message, shown modally; the button pressed is the answer.
//
// A message box needs a QApplication (widgets). In a process that runs only a
// QGuiApplication, or none (the command line), the sink prints on stderr and
// answers as StderrMessageSink does.
//
// This header stays free of Qt's headers.
#pragma once

#include "platform/messages.h"

namespace platform {

class QtMessageSink final : public MessageSink {
 public:
  MsgAnswer Show(const Message& message) override;
};

// The answer for a box closed without a button (Esc or the window's close
// button) when Qt found no escape button of its own: Cancel where the box has
// one, No for Yes/No, Ok for a lone Ok.
MsgAnswer ClosedBoxAnswer(MsgButtons buttons);

}  // namespace platform
