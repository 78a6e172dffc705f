// OptionPages: the "Options" panel. One page per tool family ("Pen",
// "Brush", "Airbrush", "Erase", "Retouch", "Stamp", "Fill", "Line", "Shape",
// "Text", "Wandselect", "Brushselect", "Floater", "View") in a stack, with a
// page list above it so that any page can be shown; choosing a tool shows
// its page.
//
// The pages hold no editing logic. Every change of a field is written at
// once into the shared tool settings with CToolSettings::SetOptionFor under
// the option's script name (the widget's object name), so a page and the
// script's `set` accept and store the same values. Refresh reads the
// settings back into the page shown, so a change made by a script or by
// another panel shows. The View page acts on the active view: "zoom 1:1",
// the "Scale" list (a ratio the view refuses puts the list back on the
// current ratio) and the view's display switches; its zoom-tool direction
// is the shared setting.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "editing/tool_settings.h"

class CVividView;

namespace app {

class OptionPages final : public QWidget {
 public:
  explicit OptionPages(QWidget* parent = nullptr);
  ~OptionPages() override;

  // The page names in list order.
  static QStringList PageNames();
  // The page a tool's options are on; empty for a tool without one (the
  // Picker, Edit Alpha, none).
  static QString PageOfTool(ViewTool tool);

  // Shows the page of `tool` (a tool without a page keeps the page shown)
  // and reads it back.
  void FollowTool(ViewTool tool);
  // Shows the page called `name` (an unknown name changes nothing).
  void ShowPage(const QString& name);
  QString CurrentPage() const;
  // The page widget called `name`, nullptr for an unknown name; its fields
  // are children named after their options.
  QWidget* Page(const QString& name) const;
  // Reads the shared settings, and for the View page the active view's
  // state, into the page shown.
  void Refresh();

  // How the View page reaches the active view (nullptr: none), and what
  // runs after it changed the view (the window repaints and refreshes).
  void SetViewAccess(std::function<CVividView*()> activeView, std::function<void()> viewChanged);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace app
