// ColorBar: the "Color" bar. Two swatches show the shared foreground and
// background colours (0x00BBGGRR in the tool settings); clicking one asks
// for a new colour (the toolkit's colour dialog unless a test replaced the
// chooser) and writes it at once. "Swap" exchanges the two, "Reset" makes
// them black and white. Refresh shows colours changed elsewhere (the
// picker tool, a script); the window calls it after every view event.
#pragma once

#include <QColor>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace app {

class ColorBar final : public QWidget {
 public:
  explicit ColorBar(QWidget* parent = nullptr);
  ~ColorBar() override;

  // Asks for a colour starting from `initial`; nullopt when cancelled.
  using Chooser = std::function<std::optional<QColor>(const QColor& initial, const QString& title)>;
  void SetChooser(Chooser chooser);

  // Shows the current shared colours.
  void Refresh();

  // 0x00BBGGRR <-> QColor.
  static QColor ToQColor(uint32_t value);
  static uint32_t FromQColor(const QColor& color);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace app
