#include "app/channel_combine_dialog.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "image/color_modes.h"
#include "image/dibitmap.h"
#include "platform/messages.h"

namespace app {

namespace {

constexpr std::array<const char*, 3> kRgbPlanes = {"Red:", "Green:", "Blue:"};
constexpr std::array<const char*, 4> kCmykPlanes = {"Cyan:", "Magenta:", "Yellow:", "Black:"};

}  // namespace

std::optional<ChannelChoice> AskChannelCombine(QWidget* parent, const std::vector<std::string>& titles) {
  if (titles.empty()) return std::nullopt;
  QDialog dialog(parent);
  dialog.setWindowTitle("Color Combine");
  dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* space = new QComboBox;
  space->setObjectName("colorSpace");
  space->addItems({"RGB", "CMYK"});
  auto* form = new QFormLayout;
  form->addRow("Color &Space:", space);
  std::array<QComboBox*, 4> planes{};
  std::array<QLabel*, 4> labels{};
  for (int i = 0; i < 4; ++i) {
    planes[i] = new QComboBox;
    planes[i]->setObjectName(QString("plane%1").arg(i));
    for (const std::string& title : titles) planes[i]->addItem(QString::fromStdString(title));
    planes[i]->setCurrentIndex(std::min(i, static_cast<int>(titles.size()) - 1));
    labels[i] = new QLabel(kRgbPlanes[std::min(i, 2)]);
    form->addRow(labels[i], planes[i]);
  }
  const auto showSpace = [&](int index) {
    const bool cmyk = index == 1;
    for (int i = 0; i < 4; ++i) labels[i]->setText(cmyk ? kCmykPlanes[i] : kRgbPlanes[std::min(i, 2)]);
    labels[3]->setVisible(cmyk);
    planes[3]->setVisible(cmyk);
  };
  showSpace(0);
  QObject::connect(space, &QComboBox::currentIndexChanged, &dialog, showSpace);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;

  ChannelChoice choice;
  choice.cmyk = space->currentIndex() == 1;
  for (int i = 0; i < (choice.cmyk ? 4 : 3); ++i) choice.documents.push_back(planes[i]->currentIndex());
  return choice;
}

bool CombineChannels(CDIBitmap& target, std::span<const CDIBitmap* const> planes) {
  for (const CDIBitmap* plane : planes) {
    if (!plane || !plane->IsAllocated() || plane->GetBitCount() != 8 || !plane->IsGray()) {
      platform::ShowMessage("All channel need to be a 8bit grayscale image !");
      return false;
    }
  }
  return GL_MergePlanes(target, planes) == 1;
}

}  // namespace app
