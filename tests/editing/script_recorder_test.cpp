// Recording a session as a script: the lines the view's events make, and a
// recorded session replayed by the script runner ends with the same pixels.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "document/vivid_doc.h"
#include "editing/script/script.h"
#include "editing/script/script_recorder.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "image/services.h"
#include "platform/messages.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ToolSettings() = CToolSettings{};
    ToolSettings().SelectTool(ViewTool::Rectangle);
    CDIBitmap& image = doc_.GetImage();
    ASSERT_TRUE(image.Create(64, 48, 24, 0));
    ASSERT_EQ(GL_FillBitmap(image, 0xFFFFFF), 1);
    image.SetResolution(72, 72);
    doc_.RebuildPalette();
    view_ = std::make_unique<CVividView>(doc_);
    view_->SetClientSize(200, 100);
    recorder_ = std::make_unique<ScriptRecorder>();
    recorder_->DocumentCreated(doc_);
    recorder_->ViewAdded(*view_);
    view_->SetRecorder(recorder_.get());
  }
  void TearDown() override {
    view_->SetRecorder(nullptr);
    recorder_.reset();
    view_.reset();
    ToolSettings() = CToolSettings{};
  }
  // The lines written after `before` lines.
  std::vector<std::string> LinesSince(size_t before) const {
    std::vector<std::string> all = Lines(recorder_->Text());
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(before, all.size())), all.end()};
  }

  platform::RecordingMessageSink messages_;
  CVividDoc doc_;
  std::unique_ptr<CVividView> view_;
  std::unique_ptr<ScriptRecorder> recorder_;
};

TEST_F(RecorderTest, StepsAreWrittenInTheScriptLanguage) {
  // The first step writes the view's geometry; the cases follow it.
  view_->OnKey(ViewKey::Escape, 1, 0);
  const std::vector<std::string> start = Lines(recorder_->Text());
  ASSERT_GE(start.size(), 5u);
  EXPECT_EQ(start[start.size() - 5], "new 64 48 rgb white");
  EXPECT_EQ(start[start.size() - 4], "view 200 100");
  EXPECT_EQ(start.back(), "key escape");

  CVividView& v = *view_;
  const auto L = PointerButton::Left;
  const auto parse = [](std::string_view text) {
    std::string error;
    return *ParseOperation(text, error);
  };
  const struct {
    const char* what;
    std::function<void()> act;
    std::vector<std::string> wanted;
  } cases[] = {
      {"press, moves and a release at the last point",
       [&] {
         v.OnPointerPress({5, 5}, L, 0);
         v.OnPointerMove({10, 10}, 0);
         v.OnPointerMove({20, 15}, 0);
         v.OnPointerRelease({20, 15}, L, 0);
       },
       {"drag 5,5 10,10 20,15"}},
      {"press and release at one point, with a modifier",
       [&] {
         v.OnPointerPress({3, 4}, L, kModShift);
         v.OnPointerRelease({3, 4}, L, kModShift);
       },
       {"click 3,4 shift"}},
      {"a release away from the last move stays apart",
       [&] {
         v.OnPointerPress({3, 4}, PointerButton::Right, 0);
         v.OnPointerMove({6, 6}, 0);
         v.OnPointerRelease({8, 8}, PointerButton::Right, 0);
       },
       {"press 3,4 right", "move 6,6", "release 8,8 right"}},
      {"the window's four events of a double click",
       [&] {
         v.OnPointerPress({7, 7}, L, 0);
         v.OnPointerRelease({7, 7}, L, 0);
         v.OnDoubleClick({7, 7}, L, 0);
         v.OnPointerRelease({7, 7}, L, 0);
       },
       {"double-click 7,7"}},
      {"only the last hover move, right before the press",
       [&] {
         v.OnPointerMove({1, 1}, 0);
         v.OnPointerMove({2, 2}, kModCtrl);
         v.OnPointerPress({2, 2}, L, 0);
         v.OnPointerRelease({2, 2}, L, 0);
       },
       {"move 2,2 ctrl", "click 2,2"}},
      {"a key with its count; Delete is one step though it runs a command",
       [&] {
         v.OnKey(ViewKey::Left, 3, kModShift | kModAlt);
         v.OnKey(ViewKey::Delete, 1, 0);
       },
       {"key left 3 shift alt", "key delete"}},
      {"commands with their arguments",
       [&] {
         v.RunCommand(kCmdSelectAll, {});
         OperationArgs border;
         border.values = {3};
         border.texts = {"3"};
         v.RunCommand(kCmdSelectBorder, border);
         v.RunCommand(kCmdSelectNone, {});
       },
       {"command select-all", "command border 3", "command none"}},
      {"effects and previews with their arguments",
       [&] {
         v.RunEffect(parse("gaussian-blur:1.5"));
         v.RunEffect(parse("posterize:4"));
         v.OpenPreview(parse("blur"));
         v.PreviewCancel();
       },
       {"effect gaussian-blur:1.5", "effect posterize:4", "preview blur", "preview-cancel"}},
      {"timer ticks only while a button is down, summed",
       [&] {
         ToolSettings().SelectTool(ViewTool::Airbrush);
         v.OnTimer(300);
         v.OnPointerPress({10, 10}, L, 0);
         v.OnTimer(100);
         v.OnTimer(100);
         v.OnPointerRelease({10, 10}, L, 0);
       },
       {"tool airbrush", "press 10,10", "tick 200", "release 10,10"}},
      {"options: the active tool's, another page's, a colour",
       [&] {
         ToolSettings().SelectTool(ViewTool::Rectangle);
         ToolSettings().SetOption("tolerance", "12");
         ToolSettings().SetOptionFor(ViewTool::Brush, "size", "7");
         ToolSettings().background = 0x00FF0000;  // the colour bar writes directly
         v.OnPointerPress({1, 1}, L, 0);
         v.OnPointerRelease({1, 1}, L, 0);
       },
       {"tool rectangle", "set tolerance 12", "tool brush", "set size 7", "tool rectangle", "set background 0,0,255", "click 1,1"}},
      {"an answer goes before the step that asked",
       [&] {
         ScriptRecorder::Scope step(recorder_.get());
         step->Command(v, kCmdFloat, {});
         recorder_->Answer(platform::MsgAnswer::No);
       },
       {"answer no", "command float"}},
      {"zoom and scroll changed between steps",
       [&] {
         v.SetZoom({4, 1});
         v.SetScroll(30, 20);
         v.OnKey(ViewKey::Up, 1, 0);
       },
       {"zoom 4:1", "scroll 30 20", "key up"}},
  };
  for (const auto& c : cases) {
    const size_t before = Lines(recorder_->Text()).size();
    c.act();
    EXPECT_EQ(LinesSince(before), c.wanted) << c.what;
  }
  // Everything written parses.
  std::vector<ScriptStep> steps;
  ScriptError error;
  EXPECT_TRUE(ParseScript(recorder_->Text(), steps, error)) << error.line << ": " << error.text;
}

TEST(ScriptWords, QuotingRoundTripsThroughTheLexer) {
  for (const std::string text : {"plain", "two words", "say \"hi\"", "back\\slash", "line\nbreak", "#hash", ""}) {
    std::vector<std::string> words;
    std::string error;
    ASSERT_TRUE(SplitScriptLine("set text " + QuoteScriptWord(text), words, error)) << text;
    ASSERT_EQ(words.size(), 3u) << text;
    EXPECT_EQ(words[2], text);
  }
}

// A recorded session, replayed from its text in a fresh runner, leaves the
// same pixels; the preamble carries settings changed before recording.
TEST_F(RecorderTest, ReplayGivesTheSamePixels) {
  view_->SetRecorder(nullptr);
  recorder_.reset();
  ToolSettings().BrushOf(BrushOwner::Brush).size = 9;  // before the recording: the preamble's
  ToolSettings().foreground = 0x00204080;
  recorder_ = std::make_unique<ScriptRecorder>();
  recorder_->ExistingDocument(doc_);
  recorder_->ViewAdded(*view_);
  view_->SetRecorder(recorder_.get());
  // The blank document stands in as `new 64 48 rgb white`.
  CVividView& v = *view_;
  const auto L = PointerButton::Left;
  v.OnPointerPress({4, 4}, L, 0);
  v.OnPointerMove({30, 20}, 0);
  v.OnPointerRelease({30, 20}, L, 0);
  v.RunCommand(kCmdFloat, {});
  ToolSettings().SelectTool(ViewTool::MoveFloater);
  v.OnPointerPress({10, 10}, L, 0);
  v.OnPointerMove({15, 12}, 0);
  v.OnPointerMove({20, 18}, 0);
  v.OnPointerRelease({20, 18}, L, 0);
  v.RunCommand(kCmdDefloat, {});
  v.RunCommand(kCmdSelectNone, {});
  ToolSettings().SelectTool(ViewTool::Brush);
  v.OnPointerPress({40, 30}, L, 0);
  v.OnPointerMove({50, 35}, 0);
  v.OnPointerMove({60, 44}, 0);
  v.OnPointerRelease({60, 44}, L, 0);
  std::string error;
  v.RunEffect(*ParseOperation("invert-color", error));
  const std::string text = recorder_->Text();

  ToolSettings() = CToolSettings{};
  std::vector<ScriptStep> steps;
  ScriptError failure;
  ASSERT_TRUE(ParseScript(text, steps, failure)) << failure.line << ": " << failure.text << "\n" << text;
  CScriptRunner runner;
  ASSERT_TRUE(runner.Run(steps, failure)) << failure.line << ": " << failure.text << "\n" << text;
  EXPECT_EQ(ToolSettings().BrushOf(BrushOwner::Brush).size, 9);
  const CDIBitmap& replayed = runner.ActiveDocument()->GetImage();
  const CDIBitmap& shown = doc_.GetImage();
  ASSERT_EQ(replayed.GetWidth(), shown.GetWidth());
  ASSERT_EQ(replayed.GetHeight(), shown.GetHeight());
  int differing = 0;
  for (int y = 0; y < shown.GetHeight(); ++y)
    for (int x = 0; x < shown.GetWidth(); ++x) differing += replayed.GetPixel(y, x) != shown.GetPixel(y, x);
  EXPECT_EQ(differing, 0) << text;
  // The session did change the picture (the stroke and the inversion).
  EXPECT_NE(shown.GetPixel(0, 0), 0xFFFFFFu);
}

}  // namespace
