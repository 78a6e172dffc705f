#include "app/color_bar.h"

#include <QColorDialog>
#include <QHBoxLayout>
#include <QPixmap>
#include <QToolButton>

#include "editing/tool_settings.h"

namespace app {

namespace {

constexpr int kSwatchSize = 20;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

QIcon SwatchIcon(const QColor& color) {
  QPixmap pixmap(kSwatchSize, kSwatchSize);
  pixmap.fill(color);
  return QIcon(pixmap);
}

}  // namespace

struct ColorBar::Impl {
  QToolButton* swatch[2] = {nullptr, nullptr};  // foreground, background
  std::optional<uint32_t> shown[2];
  Chooser chooser;

  static uint32_t& Slot(int which) {
    CToolSettings& settings = ToolSettings();
    return which == 0 ? settings.foreground : settings.background;
  }
  void Show(int which) {
    const uint32_t value = Slot(which);
    if (shown[which] == value) return;
    shown[which] = value;
    const QColor color = ToQColor(value);
    swatch[which]->setIcon(SwatchIcon(color));
    swatch[which]->setToolTip(QString("%1 color: %2, %3, %4")
                                  .arg(which == 0 ? "Foreground" : "Background")
                                  .arg(color.red())
                                  .arg(color.green())
                                  .arg(color.blue()));
  }
};

ColorBar::ColorBar(QWidget* parent) : QWidget(parent), d_(std::make_unique<Impl>()) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  const char* names[2] = {"foreground", "background"};
  const char* titles[2] = {"Foreground Color", "Background Color"};
  for (int which = 0; which < 2; ++which) {
    auto* button = new QToolButton;
    button->setObjectName(names[which]);
    button->setIconSize(QSize(kSwatchSize, kSwatchSize));
    layout->addWidget(button);
    d_->swatch[which] = button;
    const QString title = titles[which];
    connect(button, &QToolButton::clicked, this, [this, which, title] {
      const std::optional<QColor> chosen = d_->chooser(ToQColor(Impl::Slot(which)), title);
      if (chosen && chosen->isValid()) Impl::Slot(which) = FromQColor(*chosen);
      Refresh();
    });
  }
  auto* swap = new QToolButton;
  swap->setObjectName("swap");
  swap->setText("Swap");
  swap->setToolTip("Swap the foreground and background colors");
  layout->addWidget(swap);
  connect(swap, &QToolButton::clicked, this, [this] {
    CToolSettings& settings = ToolSettings();
    std::swap(settings.foreground, settings.background);
    Refresh();
  });
  auto* reset = new QToolButton;
  reset->setObjectName("reset");
  reset->setText("Reset");
  reset->setToolTip("Black foreground, white background");
  layout->addWidget(reset);
  connect(reset, &QToolButton::clicked, this, [this] {
    CToolSettings& settings = ToolSettings();
    settings.foreground = kBlack;
    settings.background = kWhite;
    Refresh();
  });
  d_->chooser = [this](const QColor& initial, const QString& title) -> std::optional<QColor> {
    const QColor color = QColorDialog::getColor(initial, this, title);
    return color.isValid() ? std::optional<QColor>(color) : std::nullopt;
  };
  Refresh();
}

ColorBar::~ColorBar() = default;

void ColorBar::SetChooser(Chooser chooser) { d_->chooser = std::move(chooser); }

void ColorBar::Refresh() {
  d_->Show(0);
  d_->Show(1);
}

QColor ColorBar::ToQColor(uint32_t value) {
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

uint32_t ColorBar::FromQColor(const QColor& color) {
  const QColor rgb = color.toRgb();
  return static_cast<uint32_t>(rgb.red()) | static_cast<uint32_t>(rgb.green()) << 8 |
         static_cast<uint32_t>(rgb.blue()) << 16;
}

}  // namespace app
