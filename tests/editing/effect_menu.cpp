// The Image and Filter menus reach every operation a user can apply, each
// once, by its own menu text.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "editing/effect_menu.h"
#include "editing/operation_table.h"
#include "editing/view_commands.h"

TEST(EffectMenu, EveryOperationHasOneMenuEntry) {
  std::map<std::string, int> entries;
  std::set<std::string> texts;
  for (const EffectMenuEntry& e : EffectMenuEntries()) {
    if (e.menuText.empty()) continue;
    EXPECT_TRUE(texts.insert(std::string(e.menuText)).second) << e.menuText << " twice";
    if (!e.operation.empty()) ++entries[std::string(e.operation)];
  }
  // The transforms are view commands of the Image menu.
  for (const CommandDef& c : ViewCommands())
    if (!c.operation.empty()) ++entries[std::string(c.operation)];
  for (const OperationDef& def : AllOperations()) {
    const std::string name(def.name);
    if (name == "crop") continue;  // the command line's own cut-out
    EXPECT_EQ(entries[name], 1) << name;
    entries.erase(name);
  }
  for (const auto& [name, count] : entries) ADD_FAILURE() << "menu entry for unknown operation " << name;
}
