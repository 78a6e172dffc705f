#include "app/scan_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "acquire/sane_source.h"
#include "platform/settings.h"

namespace app {

namespace {

constexpr double kMmPerInch = 25.4;
constexpr char kSection[] = "Scan";

const char* TypeName(acquire::TW_UINT16 type) {
  switch (type) {
    case acquire::TWPT_RGB: return "Color";
    case acquire::TWPT_GRAY: return "Gray";
    case acquire::TWPT_BW: return "Black/White";
    default: return nullptr;
  }
}

// The bed with the last preview and the area; a drag draws a new area.
class BedView final : public QWidget {
 public:
  BedView(double bedWidth, double bedHeight) : bedWidth_(bedWidth), bedHeight_(bedHeight) {
    setObjectName("bed");
    setMinimumSize(340, 380);
    setCursor(Qt::CrossCursor);
  }

  std::function<void(const acquire::ScanArea&)> onDrawn;

  void SetArea(const acquire::ScanArea& area) {
    area_ = area;
    update();
  }
  void SetPicture(QImage picture) {
    picture_ = std::move(picture);
    update();
  }
  const QImage& Picture() const { return picture_; }

  // The bed's place in the widget: as large as fits, its proportions kept.
  QRectF BedRect() const {
    const double scale = std::min((width() - 8) / bedWidth_, (height() - 8) / bedHeight_);
    const double w = bedWidth_ * scale, h = bedHeight_ * scale;
    return {(width() - w) / 2, (height() - h) / 2, w, h};
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Mid));
    const QRectF bed = BedRect();
    if (picture_.isNull())
      painter.fillRect(bed, Qt::white);
    else
      painter.drawImage(bed, picture_);
    const QRectF area = ToWidget(area_);
    // Outside the area darkened, the area outlined.
    QPainterPath outside;
    outside.addRect(bed);
    outside.addRect(area);
    painter.fillPath(outside, QColor(0, 0, 0, 90));
    // White under black dashes: visible on any picture.
    painter.setPen(QPen(Qt::white, 2));
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    painter.setPen(QPen(Qt::black, 2, Qt::DashLine));
    painter.drawRect(area.adjusted(0, 0, -1, -1));
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    from_ = ToBed(event->position());
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (dragging_) Drag(ToBed(event->position()));
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (!dragging_ || event->button() != Qt::LeftButton) return;
    dragging_ = false;
    Drag(ToBed(event->position()));
  }

 private:
  QPointF ToBed(QPointF p) const {
    const QRectF bed = BedRect();
    return {std::clamp((p.x() - bed.left()) / bed.width() * bedWidth_, 0.0, bedWidth_),
            std::clamp((p.y() - bed.top()) / bed.height() * bedHeight_, 0.0, bedHeight_)};
  }
  QRectF ToWidget(const acquire::ScanArea& a) const {
    const QRectF bed = BedRect();
    const double sx = bed.width() / bedWidth_, sy = bed.height() / bedHeight_;
    return {bed.left() + a.x * sx, bed.top() + a.y * sy, a.width * sx, a.height * sy};
  }
  void Drag(QPointF to) {
    // A click without a drag keeps the area it was.
    const double w = std::abs(to.x() - from_.x()), h = std::abs(to.y() - from_.y());
    if (w < 1 || h < 1) return;
    area_ = {std::min(from_.x(), to.x()), std::min(from_.y(), to.y()), w, h};
    update();
    if (onDrawn) onDrawn(area_);
  }

  double bedWidth_, bedHeight_;
  acquire::ScanArea area_;
  QImage picture_;
  bool dragging_ = false;
  QPointF from_;
};

QDoubleSpinBox* MmField(const char* name, double max) {
  auto* spin = new QDoubleSpinBox;
  spin->setObjectName(name);
  spin->setDecimals(1);
  spin->setRange(0, max);
  spin->setSingleStep(1);
  spin->setSuffix(" mm");
  return spin;
}

std::string Key(const std::string& device, const char* what) { return device + "/" + what; }

}  // namespace

bool RunScanDialog(QWidget* parent, const acquire::ScanRequest& request, acquire::ScanOptions& options,
                   platform::Settings* settings) {
  const acquire::ScanLimits& limits = request.limits;
  const bool hasBed = limits.bedWidth > 0 && limits.bedHeight > 0;

  QDialog dialog(parent);
  dialog.setWindowTitle(QString("Image Scan - %1").arg(QString::fromStdString(request.device)));
  dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* mode = new QComboBox;
  mode->setObjectName("mode");
  for (acquire::TW_UINT16 type : {acquire::TWPT_RGB, acquire::TWPT_GRAY, acquire::TWPT_BW})
    if (std::count(request.allowedTypes.begin(), request.allowedTypes.end(), type) != 0)
      mode->addItem(TypeName(type), static_cast<int>(type));
  if (mode->count() == 0) return false;

  auto* resolution = new QSpinBox;
  resolution->setObjectName("resolution");
  resolution->setSuffix(" dpi");
  resolution->setRange(limits.minDpi > 0 ? limits.minDpi : 1, limits.maxDpi > 0 ? limits.maxDpi : 9600);

  QDoubleSpinBox* left = MmField("left", limits.bedWidth);
  QDoubleSpinBox* top = MmField("top", limits.bedHeight);
  QDoubleSpinBox* width = MmField("width", limits.bedWidth);
  QDoubleSpinBox* height = MmField("height", limits.bedHeight);
  auto* size = new QLabel;
  size->setObjectName("size");

  // Starting values: the last choices for this device, else the device's own.
  const auto savedInt = [&](const char* what, int fallback) {
    return settings ? settings->GetInt(kSection, Key(request.device, what), fallback) : fallback;
  };
  const int typeIndex = mode->findData(savedInt("Mode", request.currentType));
  mode->setCurrentIndex(typeIndex >= 0 ? typeIndex : std::max(0, mode->findData(request.currentType)));
  resolution->setValue(savedInt("Resolution", limits.dpi >= resolution->minimum() ? limits.dpi : 150));
  acquire::ScanArea area = limits.area.value_or(acquire::ScanArea{0, 0, limits.bedWidth, limits.bedHeight});
  if (settings) {
    double saved[4] = {};
    if (std::sscanf(settings->GetString(kSection, Key(request.device, "Area"), "").c_str(), "%lf,%lf,%lf,%lf",
                    &saved[0], &saved[1], &saved[2], &saved[3]) == 4 &&
        saved[2] > 0 && saved[3] > 0)
      area = {saved[0], saved[1], saved[2], saved[3]};
  }

  BedView* bed = hasBed ? new BedView(limits.bedWidth, limits.bedHeight) : nullptr;
  bool updating = false;
  // The area kept inside the bed, written to the fields, the bed and the size.
  const auto show = [&] {
    if (hasBed) {
      area.x = std::clamp(area.x, 0.0, limits.bedWidth);
      area.y = std::clamp(area.y, 0.0, limits.bedHeight);
      area.width = std::clamp(area.width, 0.1, limits.bedWidth - area.x);
      area.height = std::clamp(area.height, 0.1, limits.bedHeight - area.y);
      updating = true;
      left->setValue(area.x);
      top->setValue(area.y);
      width->setValue(area.width);
      height->setValue(area.height);
      updating = false;
      bed->SetArea(area);
    }
    const int type = mode->currentData().toInt();
    const double dpi = resolution->value();
    const long long w = hasBed ? std::llround(area.width / kMmPerInch * dpi) : 0;
    const long long h = hasBed ? std::llround(area.height / kMmPerInch * dpi) : 0;
    const long long rowBytes = type == acquire::TWPT_RGB ? (3 * w + 3) / 4 * 4
                               : type == acquire::TWPT_GRAY ? (w + 3) / 4 * 4
                                                            : (w + 31) / 32 * 4;
    const double megabytes = static_cast<double>(rowBytes * h) / 1048576.0;
    size->setText(hasBed ? QString("%1 x %2 pixels, %3 MBytes").arg(w).arg(h).arg(megabytes, 0, 'f', 2)
                         : QString("as the scanner delivers it"));
  };
  const auto fromFields = [&] {
    if (updating) return;
    area = {left->value(), top->value(), width->value(), height->value()};
    show();
  };
  for (QDoubleSpinBox* field : {left, top, width, height})
    QObject::connect(field, &QDoubleSpinBox::editingFinished, &dialog, fromFields);
  QObject::connect(resolution, &QSpinBox::valueChanged, &dialog, [&] { show(); });
  QObject::connect(mode, &QComboBox::currentIndexChanged, &dialog, [&] { show(); });
  if (hasBed) {
    bed->onDrawn = [&](const acquire::ScanArea& drawn) {
      area = drawn;
      show();
    };
  }
  if (!limits.dpiList.empty()) {
    // Only the listed resolutions: a typed value goes to the nearest.
    QObject::connect(resolution, &QSpinBox::editingFinished, &dialog, [&] {
      const int typed = resolution->value();
      int best = limits.dpiList.front();
      for (int dpi : limits.dpiList)
        if (std::abs(dpi - typed) < std::abs(best - typed)) best = dpi;
      resolution->setValue(best);
    });
  }

  auto* form = new QFormLayout;
  form->addRow("&Mode:", mode);
  form->addRow("&Resolution:", resolution);
  if (hasBed) {
    form->addRow("&Left:", left);
    form->addRow("&Top:", top);
    form->addRow("&Width:", width);
    form->addRow("&Height:", height);
  }
  form->addRow("Size:", size);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText("&Scan");
  if (hasBed) {
    QPushButton* whole = buttons->addButton("&Whole Bed", QDialogButtonBox::ActionRole);
    whole->setObjectName("wholeBed");
    QObject::connect(whole, &QPushButton::clicked, &dialog, [&] {
      area = {0, 0, limits.bedWidth, limits.bedHeight};
      show();
    });
  }
  if (hasBed && request.preview) {
    QPushButton* preview = buttons->addButton("&Preview", QDialogButtonBox::ActionRole);
    preview->setObjectName("preview");
    QObject::connect(preview, &QPushButton::clicked, &dialog, [&] {
      acquire::PreviewImage image;
      QApplication::setOverrideCursor(Qt::WaitCursor);
      const bool ok = request.preview(static_cast<acquire::TW_UINT16>(mode->currentData().toInt()), image);
      QApplication::restoreOverrideCursor();
      if (!ok || image.width <= 0 || image.height <= 0) return;
      const QImage::Format format = image.channels == 3 ? QImage::Format_RGB888 : QImage::Format_Grayscale8;
      bed->SetPicture(QImage(image.pixels.data(), image.width, image.height, image.width * image.channels, format)
                          .copy());
    });
  }
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    fromFields();  // a field still being typed in counts
    dialog.accept();
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

  auto* body = new QHBoxLayout;
  if (hasBed) body->addWidget(bed, 1);
  body->addLayout(form);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(body);
  layout->addWidget(buttons);
  show();

  if (dialog.exec() != QDialog::Accepted) return false;
  options.pixelType = static_cast<acquire::TW_UINT16>(mode->currentData().toInt());
  options.dpi = resolution->value();
  if (hasBed) options.area = area;
  if (settings) {
    settings->SetInt(kSection, Key(request.device, "Mode"), mode->currentData().toInt());
    settings->SetInt(kSection, Key(request.device, "Resolution"), resolution->value());
    if (hasBed) {
      char text[128];
      std::snprintf(text, sizeof(text), "%.1f,%.1f,%.1f,%.1f", area.x, area.y, area.width, area.height);
      settings->SetString(kSection, Key(request.device, "Area"), text);
    }
  }
  return true;
}

}  // namespace app
