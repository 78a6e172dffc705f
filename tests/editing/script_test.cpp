// The script language: lexing, the checks made before a script runs, and
// how the runner reports a step that fails.
#include <gtest/gtest.h>

#include "document/vivid_doc.h"
#include "editing/script/script.h"
#include "editing/vivid_view.h"
#include "platform/messages.h"

namespace {

TEST(ScriptLexer, QuotesEscapesAndComments) {
  std::vector<std::string> words;
  std::string error;
  ASSERT_TRUE(SplitScriptLine(R"(set text "two words\nline \"q\" \\"  # comment "x")", words, error));
  EXPECT_EQ(words, (std::vector<std::string>{"set", "text", "two words\nline \"q\" \\"}));
  EXPECT_FALSE(SplitScriptLine(R"(set text "open)", words, error));
  EXPECT_FALSE(SplitScriptLine(R"(set text "a\tb")", words, error));
}

TEST(ScriptParser, AcceptsEveryStepForm) {
  const char* script = R"(# a session
new 64 48 rgb background
open "in file.png"
view 800 600
zoom 2:1
scroll 10 20
tool rectangle
set tolerance 12
press 1,2 shift
move 3,4
release 5,6 right ctrl alt
drag 1,1 5,5 9,9 shift
click 3,3
double-click -4,7
key left 5 shift
key escape
tick 300
command border 3
command load-selection a.sel intersect
effect rotate:45
effect resize:10,20
preview blur
preview-ok
preview-cancel
answer no
document 1
window 1
render out.png
save out.bmp
close
)";
  std::vector<ScriptStep> steps;
  ScriptError error;
  ASSERT_TRUE(ParseScript(script, steps, error)) << error.line << ": " << error.text;
  ASSERT_EQ(steps.size(), 29u);
  EXPECT_EQ(steps[1].words[0], "in file.png");
  EXPECT_EQ(steps[7].modifiers, unsigned{kModShift});
  EXPECT_TRUE(steps[9].rightButton);
  EXPECT_EQ(steps[9].modifiers, unsigned{kModCtrl | kModAlt});
  EXPECT_EQ(steps[10].points.size(), 3u);
  EXPECT_EQ(steps[12].points[0], (platform::Point{-4, 7}));
  EXPECT_EQ(steps[13].numbers, (std::vector<int>{0, 5}));
  EXPECT_EQ(steps[16].commandArgs.Int(0), 3);
  EXPECT_EQ(steps[17].commandArgs.Int(1), 3);
}

TEST(ScriptParser, RejectsWithTheLineNumber) {
  const struct {
    const char* line;
    const char* wanted;  // a piece of the explanation
  } cases[] = {
      {"frobnicate", "unknown step"},
      {"zoom 17:1", "1..16"},
      {"zoom 2", "N:D"},
      {"press 1;2", "one point"},
      {"drag 1,1", "two points"},
      {"click 1,1 meta", "unknown word"},
      {"key home", "unknown key"},
      {"key left right", "unknown word"},
      {"command sing", "unknown command"},
      {"command border 21", "0..20"},
      {"command border", "missing"},
      {"command load-selection a.sel sideways", "combine"},
      {"effect sparkle", "unknown operation"},
      {"effect resize:10", "missing"},
      {"tool wand", "unknown tool"},
      {"new 10 10 hsv", "kind"},
      {"new 0 10 rgb", "WIDTH"},
      {"view 10", "too few"},
      {"open", "too few"},
      {"close now", "too many"},
      {"answer maybe", "yes, no or cancel"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<ScriptStep> steps;
    ScriptError error;
    ASSERT_FALSE(ParseScript(std::string("new 4 4 rgb\n\n") + c.line + "\n", steps, error));
    EXPECT_EQ(error.line, 3);
    EXPECT_NE(error.text.find(c.wanted), std::string::npos) << error.text;
  }
}

bool RunText(CScriptRunner& runner, const char* text, ScriptError& error) {
  std::vector<ScriptStep> steps;
  if (!ParseScript(text, steps, error)) return false;
  return runner.Run(steps, error);
}

TEST(ScriptRunner, ReportsTheFailingStep) {
  platform::RecordingMessageSink sink;
  const struct {
    const char* script;
    int line;
    const char* wanted;
  } cases[] = {
      {"command select-all\n", 1, "no document is open"},
      {"new 8 8 rgb\ncommand float\n", 2, "not available now"},
      {"new 8 8 rgb\ndocument 2\n", 2, "no document 2"},
      {"new 8 8 rgb\nwindow 2\n", 2, "no window 2"},
      {"tool rectangle\nset softness 5\n", 2, "no option"},
      {"new 8 8 rgb\nopen /nonexistent/x.png\n", 2, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    CScriptRunner runner;
    ScriptError error;
    ASSERT_FALSE(RunText(runner, c.script, error));
    EXPECT_EQ(error.line, c.line);
    EXPECT_NE(error.text.find(c.wanted), std::string::npos) << error.text;
  }
}

TEST(ScriptRunner, DocumentsAndWindowsAreNumberedInOpeningOrder) {
  CScriptRunner runner;
  ScriptError error;
  ASSERT_TRUE(RunText(runner, "new 10 10 rgb\nnew 20 10 gray black\ncommand new-window\nview 300 200\ndocument 1\n",
                      error))
      << error.text;
  EXPECT_EQ(runner.DocumentCount(), 2);
  EXPECT_EQ(runner.ActiveDocument()->GetImage().GetWidth(), 10);
  ASSERT_TRUE(RunText(runner, "document 2\nwindow 1\n", error)) << error.text;
  EXPECT_EQ(runner.ActiveDocument()->GetImage().GetWidth(), 20);
  EXPECT_TRUE(runner.ActiveDocument()->GetImage().IsGray());
  EXPECT_EQ(runner.ActiveDocument()->GetImage().GetPixel(0, 0), 0u);
  // The second window of document 2 took the view size; the first kept the default.
  EXPECT_EQ(runner.ActiveView()->ClientWidth(), 1024);
  ASSERT_TRUE(RunText(runner, "window 2\n", error)) << error.text;
  EXPECT_EQ(runner.ActiveView()->ClientWidth(), 300);
  ASSERT_TRUE(RunText(runner, "close\n", error)) << error.text;
  EXPECT_EQ(runner.DocumentCount(), 1);
}

}  // namespace
