// Message boxes: the recording sink, scripted answers, the stderr default and
// FormatText.
#include "platform/messages.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

TEST(MessagesTest, RecordingSinkKeepsMessagesAndAnswersFromItsScript) {
  RecordingMessageSink sink;
  sink.answers = {MsgAnswer::No, MsgAnswer::Cancel};
  EXPECT_EQ(ShowMessage("q1", "Vividrome", MsgIcon::Question, MsgButtons::YesNo), MsgAnswer::No);
  EXPECT_EQ(ShowMessage("notice"), MsgAnswer::Ok);  // leaves the script alone
  EXPECT_EQ(ShowMessage("q2", "", MsgIcon::Stop, MsgButtons::OkCancel), MsgAnswer::Cancel);
  // With the script used up, the affirmative choice.
  EXPECT_EQ(ShowMessage("q3", "", MsgIcon::None, MsgButtons::YesNoCancel), MsgAnswer::Yes);
  EXPECT_EQ(ShowMessage("q4", "", MsgIcon::None, MsgButtons::OkCancel), MsgAnswer::Ok);

  EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"q1", "notice", "q2", "q3", "q4"}));
  EXPECT_EQ(sink.shown[0].caption, "Vividrome");
  EXPECT_EQ(sink.shown[0].icon, MsgIcon::Question);
  EXPECT_EQ(sink.shown[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(sink.shown[1].buttons, MsgButtons::Ok);
  {
    RecordingMessageSink inner;
    ShowMessage("inner");
  }
  ShowMessage("outer again");
  EXPECT_EQ(sink.shown.back().text, "outer again");
}

TEST(MessagesTest, WithoutSinkTextGoesToStderrAndTheAnswerIsAffirmative) {
  MessageSink* previous = SetMessageSink(nullptr);
  testing::internal::CaptureStderr();
  const MsgAnswer notice = ShowMessage("BMPREAD: Cannot open file\r\n");
  const MsgAnswer question = ShowMessage("Overwrite?", "", MsgIcon::Question, MsgButtons::YesNo);
  const std::string err = testing::internal::GetCapturedStderr();
  SetMessageSink(previous);
  EXPECT_EQ(notice, MsgAnswer::Ok);
  EXPECT_EQ(question, MsgAnswer::Yes);
  EXPECT_EQ(err, "BMPREAD: Cannot open file\nOverwrite?\n");
}

TEST(MessagesTest, FormatText) {
  const std::string longPath = "/home/user/" + std::string(5000, 'p') + ".bmp";
  EXPECT_EQ(FormatText("%s", ""), "");
  EXPECT_EQ(FormatText("%d x %d, %u%%", -3, 40, 7u), "-3 x 40, 7%");
  EXPECT_EQ(FormatText("[open(\"%s\")]", longPath.c_str()), "[open(\"" + longPath + "\")]");
}

}  // namespace
}  // namespace platform
