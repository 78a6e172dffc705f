// Long edits as a busy period: the window's notices (start text, progress,
// Close off and on), the "already" texts of the reporting switch, a cancel
// that leaves the document as it was, and repaints while events are pumped.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "editing/busy_period.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "image/result_codes.h"
#include "platform/main_window.h"
#include "platform/messages.h"
#include "platform/progress.h"
#include "editing_support.h"

namespace {

using testing_support::Op;
using testing_support::PixelBytes;

using platform::Rect;
using platform::Region;

std::unique_ptr<CDIBitmap> Picture(int width, int height) {
  auto image = std::make_unique<CDIBitmap>();
  image->Create(width, height, 24, 0);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image->RowPointer(y);
    for (int x = 0; x < 3 * width; ++x) row[x] = static_cast<uint8_t>((x * 29 + y * 53 + x * y) % 251);
  }
  return image;
}

// Everything of the document a command may change.
struct DocumentState {
  int width = 0, height = 0, bits = 0;
  std::vector<uint8_t> pixels;
  bool selection = false, floater = false;
  Rect box{};
  std::vector<Rect> region;
  std::vector<uint8_t> floaterPixels, floaterAlpha;

  explicit DocumentState(const CVividDoc& doc) {
    const CDIBitmap& image = doc.GetImage();
    width = image.GetWidth();
    height = image.GetHeight();
    bits = image.GetBitCount();
    pixels = PixelBytes(image);
    selection = doc.HasSelection();
    floater = doc.HasFloater();
    box = doc.SelectionBox();
    if (selection) region = doc.SelectionRegionInImage().Rects();
    if (floater) {
      floaterPixels = PixelBytes(doc.FloaterImage());
      floaterAlpha = PixelBytes(doc.FloaterAlpha());
    }
  }
  bool operator==(const DocumentState&) const = default;
};

// The busy-period notices among the window's events.
std::vector<std::string> BusyEvents(const std::vector<std::string>& events) {
  std::vector<std::string> kept;
  for (const std::string& e : events)
    if (e.rfind("close", 0) == 0 || e.rfind("status", 0) == 0 || e.rfind("progress", 0) == 0 || e == "ready")
      kept.push_back(e);
  return kept;
}

std::string ProgressLine(int position) { return "progress " + std::to_string(position) + " " + kProgressText; }

class BusyPeriodTest : public testing::Test {
 protected:
  void SetUp() override {
    ToolSettings() = CToolSettings();
    platform::ResetCancel();
  }
  void TearDown() override {
    platform::SetProgressPump(nullptr);
    platform::ResetCancel();
    ProgressEnable(false);
    view_.reset();
    ToolSettings() = CToolSettings();
    SetModalRunning(false);
    SetEditBusy(false);
  }
  void Open(int width, int height) {
    view_.reset();
    CVividDoc::SetCreationMode(CM_BLANK);
    CVividDoc::SetPreparedImage(Picture(width, height));
    doc_ = std::make_unique<CVividDoc>();
    ASSERT_TRUE(doc_->OnNewDocument());
    doc_->SetModifiedFlag(false);  // as if just saved
    view_ = std::make_unique<CVividView>(*doc_);
    view_->SetClientSize(200, 150);
  }
  void Select(const Rect& rect) {
    const auto compute = [&] { return std::optional<Region>(Region::FromRect(rect)); };
    ASSERT_EQ(view_->RunSelectionCommand(18, "Select", compute, SelectionCombine::Replace), 1);
  }

  platform::RecordingMainWindow window_;
  platform::RecordingMessageSink messages_;
  std::unique_ptr<CVividDoc> doc_;
  std::unique_ptr<CVividView> view_;
};

// An effect over a tall image: Close goes off and the start text shows
// before any progress; one report per row at 100 x row / rows; reporting,
// the busy flag and Close are back afterwards.
TEST_F(BusyPeriodTest, LongEditReportsStartTextRisingProgressAndCloseOff) {
  struct Case {
    const char* operation;
    int rows;  // rows the single pass reports (0: only rising)
  } cases[] = {
      {"invert-color", 400},  // a point operation, in place
      {"blur", 400},          // a 3 x 3 neighbourhood, in place
      {"rotate-90", 0},       // a new bitmap of 400 x 64 in bands of rows, attached at the end
      {"mode:gray", 0},       // a colour mode, a new 8-bit image
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    Open(64, 400);
    int pumped = 0;
    bool busyInside = true;
    platform::SetProgressPump([&] {
      ++pumped;
      busyInside = busyInside && IsEditBusy() && ProgressEnabled();
    });
    window_.events.clear();
    ASSERT_EQ(view_->RunEffect(Op(c.operation)), 1);
    EXPECT_TRUE(busyInside);
    EXPECT_FALSE(ProgressEnabled());
    EXPECT_FALSE(IsEditBusy());

    const std::vector<std::string> events = BusyEvents(window_.events);
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0], "close 0");
    EXPECT_EQ(events[1], std::string("status ") + kBusyStartText);
    EXPECT_EQ(events[events.size() - 2], "ready");
    EXPECT_EQ(events.back(), "close 1");
    std::vector<std::string> progress(events.begin() + 2, events.end() - 2);
    EXPECT_EQ(static_cast<int>(progress.size()), pumped);  // every report ran the pump first
    if (c.rows > 0) {
      std::vector<std::string> expected;
      for (int row = 0; row < c.rows; ++row) expected.push_back(ProgressLine(100 * row / c.rows));
      EXPECT_EQ(progress, expected);
    } else {
      ASSERT_FALSE(progress.empty());
      int last = -1;
      for (const std::string& line : progress) {
        const int position = std::stoi(line.substr(9));
        EXPECT_GE(position, last) << line;
        EXPECT_EQ(line, ProgressLine(position));
        last = position;
      }
      EXPECT_GE(last, 90);
    }
    EXPECT_TRUE(messages_.shown.empty());
  }
}

// Selection commands and other short edits pump no events: no notice, no
// progress, Close untouched. Without a main window (the command line) an
// effect reports nothing either.
TEST_F(BusyPeriodTest, ShortEditsAndEditsWithoutAWindowReportNothing) {
  Open(64, 64);
  int pumped = 0;
  platform::SetProgressPump([&] { ++pumped; });
  window_.events.clear();
  ASSERT_EQ(view_->RunCommand(kCmdSelectAll, {}), 1);
  ASSERT_EQ(view_->RunCommand(kCmdFloat, {}), 1);
  EXPECT_EQ(pumped, 0);
  EXPECT_TRUE(BusyEvents(window_.events).empty());
  EXPECT_FALSE(IsEditBusy());

  Open(64, 64);
  platform::MainWindowSink* installed = platform::SetMainWindow(nullptr);
  const int result = view_->RunEffect(Op("blur"));
  platform::SetMainWindow(installed);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(pumped, 0);
  EXPECT_FALSE(IsEditBusy());
}

TEST(SwitchProgressStatusTest, SaysWhenReportingIsAlreadyInTheWantedState) {
  struct Case {
    bool before, wanted;
    std::vector<std::string> events;
  } cases[] = {
      {false, true, {std::string("status ") + kBusyStartText}},
      {true, true, {"status Status Enabled Already!"}},
      {true, false, {}},
      {false, false, {"status Debug: Status Disabled Already!"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.before) + " -> " + std::to_string(c.wanted));
    platform::RecordingMainWindow window;
    ProgressEnable(c.before);
    ProgressBegin(20, 40);
    SwitchProgressStatus(c.wanted);
    EXPECT_EQ(window.events, c.events);
    EXPECT_EQ(ProgressEnabled(), c.wanted);
    // Switching on starts the indicator's range at 0..100: 50 % shows 50,
    // where the old range would show 30.
    if (c.wanted && !c.before) {
      ProgressStep(50);
      EXPECT_EQ(window.events.back(), ProgressLine(50));
    }
  }
  ProgressEnable(false);
}

// Esc midway (the pump requests a cancel at its n-th run): the command ends
// cancelled without a message, the document is exactly as before, its
// modified flag unchanged, and Undo offers nothing (it would otherwise undo
// a step the user never saw).
TEST_F(BusyPeriodTest, CancelMidwayPutsTheDocumentBackAndLeavesNoUndoStep) {
  enum class Setup { Plain, Selection, MovedFloater };
  struct Case {
    const char* label;
    Setup setup;
    bool editFirst;  // a finished edit before the cancelled one
    const char* operation;
    int cancelAt;
    bool changedBeforeCancel;  // the document differs when Esc comes
  } cases[] = {
      // A single pass that the library itself puts back.
      {"blur", Setup::Plain, false, "blur", 150, true},
      // A turn of the canvas into a new bitmap (reported every 32 rows).
      {"canvas turn", Setup::Plain, true, "rotate-90", 2, false},
      // The selection is lifted into a floater and its alpha (60 x 40)
      // turned before the pixels' turn is cancelled.
      {"floater turn", Setup::Selection, true, "rotate-90", 3, true},
      // A colour mode drops the moved floater into the image first.
      {"mode after a floater move", Setup::MovedFloater, false, "mode:gray", 100, true},
      // A selection confines the effect through a temporary floater.
      {"median in a selection", Setup::Selection, false, "median:2", 20, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Open(120, 200);
    if (c.setup != Setup::Plain) Select({30, 40, 90, 80});
    if (c.setup == Setup::MovedFloater) {
      ToolSettings().SelectTool(ViewTool::MoveFloater);
      view_->OnKey(ViewKey::Right, 7, 0);
      ASSERT_TRUE(doc_->HasFloater());
      ToolSettings().SelectTool(ViewTool::None);
    }
    if (c.editFirst) {
      ASSERT_EQ(view_->RunEffect(Op("invert-color")), 1);
    }
    const DocumentState before(*doc_);
    const bool modified = doc_->IsModified();

    int pumped = 0;
    bool changedAtCancel = false;
    platform::SetProgressPump([&] {
      if (++pumped != c.cancelAt) return;
      changedAtCancel = !(DocumentState(*doc_) == before);
      platform::RequestCancel();
    });
    EXPECT_EQ(view_->RunEffect(Op(c.operation)), kResultCancelled);
    platform::SetProgressPump(nullptr);
    EXPECT_GE(pumped, c.cancelAt);
    EXPECT_EQ(changedAtCancel, c.changedBeforeCancel);

    EXPECT_TRUE(DocumentState(*doc_) == before);
    EXPECT_EQ(doc_->IsModified(), modified);
    EXPECT_FALSE(view_->GetCommandState(kCmdUndo).enabled);
    EXPECT_TRUE(messages_.shown.empty());
    const std::vector<std::string> events = BusyEvents(window_.events);
    EXPECT_EQ(events.back(), "close 1");
    EXPECT_FALSE(IsEditBusy());
    EXPECT_FALSE(ProgressEnabled());

    // The next command runs normally.
    EXPECT_EQ(view_->RunEffect(Op("invert-color")), 1);
    EXPECT_TRUE(view_->GetCommandState(kCmdUndo).enabled);
  }
}

// Work that runs out of memory midway (a std::bad_alloc after it changed
// rows): the document is put back, the failure reported once, and the busy
// period ends all the same.
TEST_F(BusyPeriodTest, WorkOutOfMemoryMidwayIsPutBackAndReported) {
  Open(40, 30);
  const DocumentState before(*doc_);
  const bool modified = doc_->IsModified();
  const EditResult result = view_->RunEdit(50, nullptr, "Blur", kHintRedraw, [&]() -> EditResult {
    for (int y = 0; y < 10; ++y) std::fill_n(doc_->GetImage().RowPointer(y), 120, uint8_t{7});
    throw std::bad_alloc();
  });
  EXPECT_EQ(result, kResultOutOfMemory);
  EXPECT_TRUE(DocumentState(*doc_) == before);
  EXPECT_EQ(doc_->IsModified(), modified);
  EXPECT_EQ(messages_.shown.size(), 1u);
  EXPECT_EQ(BusyEvents(window_.events).back(), "close 1");
  EXPECT_FALSE(IsEditBusy());
  EXPECT_FALSE(ProgressEnabled());
}

// The view repaints while events are pumped: operations that build a new
// bitmap (turns, colour modes, free rotation, resize) replace the image
// or the floater at their end, and every picture composed meanwhile has the
// client's size. After the edit the picture matches a fresh view's.
TEST_F(BusyPeriodTest, RepaintsWhileTheImageIsReplacedAreSafe) {
  struct Case {
    const char* operation;
    bool selection;
  } cases[] = {
      {"rotate-90", false}, {"rotate-90", true},     {"mode:gray", false},       {"mode:bw", true},
      {"rotate:30", false}, {"resize:77,150", true}, {"flip-horizontal", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.operation) + (c.selection ? " in a selection" : ""));
    Open(120, 200);
    if (c.selection) Select({10, 20, 100, 170});
    RgbImage picture;
    int renders = 0;
    platform::SetProgressPump([&] {
      view_->InvalidateAll();
      view_->Render(picture);
      ++renders;
      EXPECT_EQ(picture.width, 200);
      EXPECT_EQ(picture.height, 150);
    });
    ASSERT_EQ(view_->RunEffect(Op(c.operation)), 1);
    platform::SetProgressPump(nullptr);
    EXPECT_GT(renders, 0);
    if (!c.selection) {
      view_->Render(picture);
      CVividView fresh(*doc_);
      fresh.SetClientSize(200, 150);
      RgbImage expected;
      fresh.Render(expected);
      EXPECT_TRUE(picture.pixels == expected.pixels);
    }
  }
}

// Applying a previewed effect from the editing layer with the preview still
// shown: a repaint during the edit computes no preview blocks from the
// image being changed.
TEST_F(BusyPeriodTest, PreviewComputesNoBlocksWhileItsEffectIsApplied) {
  Open(120, 200);
  ASSERT_EQ(view_->OpenPreview(Op("median:2")), 1);
  ASSERT_TRUE(view_->PreviewShown());
  // No picture was composed yet: every visible block is still pending.
  RgbImage picture;
  bool patchedDuringEdit = false;
  platform::SetProgressPump([&] {
    view_->InvalidateAll();
    view_->Render(picture);
    patchedDuringEdit = patchedDuringEdit || !view_->ImagePatches().Empty();
  });
  ASSERT_EQ(view_->PreviewOk(), 1);
  platform::SetProgressPump(nullptr);
  EXPECT_FALSE(patchedDuringEdit);
}

}  // namespace
