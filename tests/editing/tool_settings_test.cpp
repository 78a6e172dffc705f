// The shared tool settings: choosing tools (toggles, the shape and freehand
// choices), the tool bar's commands, and options written by name.
#include <gtest/gtest.h>

#include "editing/tool_settings.h"
#include "imaging/combine.h"

namespace {

TEST(ToolSettings, ChoosingToolsAndTheirCommands) {
  CToolSettings settings;
  settings.SelectTool(ViewTool::Ellipse);
  EXPECT_EQ(settings.selectionTool, 3);
  EXPECT_EQ(settings.ToolOfCommand(32891), ViewTool::Ellipse);
  EXPECT_TRUE(settings.IsToolCommandChecked(32891));
  settings.SelectTool(ViewTool::PointToPoint);
  EXPECT_EQ(settings.ToolOfCommand(32895), ViewTool::PointToPoint);
  EXPECT_FALSE(settings.IsToolCommandChecked(32891));
  EXPECT_TRUE(settings.IsToolCommandChecked(32895));
  // Zoom toggles: chosen twice, no tool is active.
  settings.SelectTool(ViewTool::Zoom);
  EXPECT_EQ(settings.ActiveGroup(), kGroupZoom);
  settings.SelectTool(ViewTool::Zoom);
  EXPECT_EQ(settings.ActiveTool(), ViewTool::None);
  // A tool other than the toggles stays chosen.
  settings.SelectTool(ViewTool::MoveFloater);
  settings.SelectTool(ViewTool::MoveFloater);
  EXPECT_EQ(settings.ActiveTool(), ViewTool::MoveFloater);
  EXPECT_EQ(settings.ToolOfCommand(12345), ViewTool::None);
  for (const ToolCommandDef& def : ToolCommands()) EXPECT_NE(ToolScriptName(def.tool), "");
}

TEST(ToolSettings, OptionsByName) {
  CToolSettings settings;
  settings.SelectTool(ViewTool::PaintSelection);
  EXPECT_EQ(settings.SetOption("size", "25"), "");
  EXPECT_EQ(settings.SetOption("shape", "Circle"), "");
  EXPECT_EQ(settings.BrushOf(BrushOwner::PaintSelection).size, 25);
  EXPECT_EQ(settings.BrushOf(BrushOwner::PaintSelection).shape, 1);
  EXPECT_EQ(settings.BrushOf(BrushOwner::Pen).size, 10);  // each tool keeps its own brush
  EXPECT_NE(settings.SetOption("size", "101"), "");
  EXPECT_NE(settings.SetOption("shape", "circle"), "");
  EXPECT_EQ(settings.SetOption("merge-mode", "if Lighter"), "");
  EXPECT_EQ(settings.floaterMergeMode, kBlendIfLighter);
  EXPECT_EQ(settings.SetOption("transparency", "100"), "");
  EXPECT_EQ(settings.FloaterOpacity(), 0);
  EXPECT_EQ(settings.SetOption("transparency", "33"), "");
  EXPECT_EQ(settings.FloaterOpacity(), 255 - 33 * 255 / 100);
  EXPECT_EQ(settings.SetOption("background", "1,2,3"), "");
  EXPECT_EQ(settings.background, 0x030201u);
  EXPECT_NE(settings.SetOption("foreground", "1,2"), "");
  EXPECT_NE(settings.SetOption("foreground", "1,2,256"), "");
  EXPECT_NE(settings.SetOption("tolerance", "-1"), "");
  EXPECT_NE(settings.SetOption("softness", "x"), "");
  settings.SelectTool(ViewTool::Rectangle);
  EXPECT_NE(settings.SetOption("size", "5"), "");  // the rectangle has no brush
  EXPECT_EQ(settings.SetOption("antialias", "on"), "");  // offered, without effect
  EXPECT_NE(settings.SetOption("match-mode", "CMYK"), "");
}

}  // namespace
