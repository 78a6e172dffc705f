// The Image and Filter menus' effect entries: each menu text with its
// command id and the operation (editing/operation_table.h) it runs, in menu
// order, grouped by the (sub)menu that shows it. A window builds its menus
// from this table; the script language reaches the same operations by name.
#pragma once

#include <string_view>
#include <vector>

// Image: the Image menu itself; Adjust and Mode: its submenus; Filter: the
// Filter menu; EdgeFilter: its edge-detection submenu.
enum class EffectMenu { Image, Adjust, Mode, Filter, EdgeFilter };

struct EffectMenuEntry {
  int id = 0;                   // the command id (0 where the menu has none)
  std::string_view menuText;    // as the menu shows it, with its '&'; empty: a separator
  std::string_view operation;   // the operation's name; empty: none yet
  EffectMenu menu = EffectMenu::Filter;
  bool preview = false;         // opens a dialog with a live preview
};

const std::vector<EffectMenuEntry>& EffectMenuEntries();
