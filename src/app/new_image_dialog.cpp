#include "app/new_image_dialog.h"

#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cstring>

#include "editing/tool_settings.h"
#include "image/color_modes.h"
#include "image/dibitmap.h"
#include "platform/messages.h"

namespace app {

namespace {

constexpr int kMinSide = 8;
constexpr int kMaxSide = 32767;
constexpr int kCustomColor = 2;

QColor ToQColor(uint32_t bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }
uint32_t FromQColor(const QColor& c) {
  return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 | static_cast<uint32_t>(c.blue()) << 16;
}

QSpinBox* SideField(const char* name) {
  auto* spin = new QSpinBox;
  spin->setObjectName(name);
  spin->setRange(kMinSide, kMaxSide);
  spin->setValue(100);
  return spin;
}

// The gray level the gray conversion gives `color`.
uint8_t GrayLevelOf(uint32_t color) {
  CDIBitmap pixel;
  if (!pixel.Create(1, 1, 24, 0)) return 0;
  pixel.SetPixelColor(0, 0, color);
  GL_ConvertToGray(pixel);
  return static_cast<uint8_t>(pixel.GetPixel(0, 0));
}

}  // namespace

std::optional<NewImageSettings> AskNewImage(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle("New Image");
  dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* mode = new QComboBox;
  mode->setObjectName("colorMode");
  mode->addItems({"RGB - 24 BPP", "Grayscale - 8 BPP"});
  QSpinBox* width = SideField("width");
  QSpinBox* height = SideField("height");
  auto* name = new QLineEdit("Untitled");
  name->setObjectName("filename");
  auto* fill = new QComboBox;
  fill->setObjectName("fillBackground");
  fill->addItems({"White", "Background Color", "Custom Color"});

  auto* form = new QFormLayout;
  form->addRow("Color &Mode:", mode);
  form->addRow("&Width:", width);
  form->addRow("&Height:", height);
  form->addRow("&Filename:", name);
  form->addRow("Fill &Background:", fill);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(buttons);

  // The custom colour is chosen when its entry is picked; Cancel there
  // returns to the entry shown before.
  uint32_t custom = 0xFFFFFF;
  int shownFill = 0;
  QObject::connect(fill, &QComboBox::activated, &dialog, [&](int index) {
    if (index == kCustomColor) {
      const QColor chosen = QColorDialog::getColor(ToQColor(custom), &dialog, "Custom Color");
      if (!chosen.isValid()) {
        fill->setCurrentIndex(shownFill);
        return;
      }
      custom = FromQColor(chosen);
    }
    shownFill = index;
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    if (name->text().isEmpty()) {
      platform::ShowMessage("Please enter a Filename");
      name->setFocus();
      return;
    }
    dialog.accept();
  });
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;

  NewImageSettings settings;
  settings.colorMode = mode->currentIndex();
  settings.width = width->value();
  settings.height = height->value();
  settings.name = name->text().toStdString();
  switch (fill->currentIndex()) {
    case 1: settings.fill = ToolSettings().background; break;
    case kCustomColor: settings.fill = custom; break;
    default: settings.fill = 0xFFFFFF; break;
  }
  return settings;
}

std::unique_ptr<CDIBitmap> MakeNewImage(const NewImageSettings& settings) {
  auto image = std::make_unique<CDIBitmap>();
  const bool gray = settings.colorMode == 1;
  if (settings.width < 1 || settings.height < 1 || settings.name.empty() ||
      !image->Create(settings.width, settings.height, gray ? 8 : 24, gray ? 1 : 0)) {
    platform::ShowMessage("Cannot create image  with wrong Parameter !");
    return nullptr;
  }
  const size_t rowBytes = static_cast<size_t>(image->GetRowBytes());
  if (gray) {
    std::memset(image->RowPointer(0), GrayLevelOf(settings.fill), rowBytes);
  } else {
    uint8_t* row = image->RowPointer(0);
    const uint8_t bgr[3] = {static_cast<uint8_t>(settings.fill >> 16), static_cast<uint8_t>(settings.fill >> 8),
                            static_cast<uint8_t>(settings.fill)};
    for (size_t x = 0; x < rowBytes; x += 3) std::memcpy(row + x, bgr, 3);
  }
  for (int y = 1; y < image->GetHeight(); ++y) std::memcpy(image->RowPointer(y), image->RowPointer(0), rowBytes);
  return image;
}

}  // namespace app
