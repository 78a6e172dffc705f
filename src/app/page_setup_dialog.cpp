#include "app/page_setup_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "image/dibitmap.h"
#include "image/result_codes.h"
#include "platform/messages.h"

namespace app {
namespace {

constexpr print::MarginUnit kUnit = print::MarginUnit::Millimetre;
constexpr print::EntryUnit kSizeUnits[] = {print::EntryUnit::Percent, print::EntryUnit::Cm, print::EntryUnit::Inch};
constexpr print::EntryUnit kPositionUnits[] = {print::EntryUnit::Cm, print::EntryUnit::Inch};

// A thumbnail of at most 240 pixels a side, sampled.
QImage Thumbnail(const CDIBitmap* image) {
  if (!image || image->GetWidth() <= 0 || image->GetHeight() <= 0) return {};
  const int w = image->GetWidth(), h = image->GetHeight();
  const double step = std::max(1.0, std::max(w, h) / 240.0);
  const int tw = std::max(1, static_cast<int>(w / step)), th = std::max(1, static_cast<int>(h / step));
  QImage thumb(tw, th, QImage::Format_RGB32);
  for (int y = 0; y < th; ++y) {
    auto* line = reinterpret_cast<QRgb*>(thumb.scanLine(y));
    for (int x = 0; x < tw; ++x) {
      const uint32_t c = image->GetPixelColor(static_cast<int>(y * step), static_cast<int>(x * step));
      line[x] = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    }
  }
  return thumb;
}

// The paper with its margins and the image at its place, in proportion.
class PagePicture final : public QWidget {
 public:
  PagePicture(QImage thumbnail, QWidget* parent) : QWidget(parent), thumbnail_(std::move(thumbnail)) {
    setObjectName("pagePicture");
    setMinimumSize(220, 260);
  }
  void Show(int paperW, int paperH, const print::Margins& margins, const QRect& image, bool flipX, bool flipY) {
    paperW_ = paperW;
    paperH_ = paperH;
    margins_ = margins;
    image_ = image;
    flipX_ = flipX;
    flipY_ = flipY;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (paperW_ <= 0 || paperH_ <= 0) return;
    const double scale = std::min((width() - 16.0) / paperW_, (height() - 16.0) / paperH_);
    const QPointF origin((width() - paperW_ * scale) / 2, (height() - paperH_ * scale) / 2);
    auto at = [&](double x, double y) { return origin + QPointF(x * scale, y * scale); };
    painter.fillRect(QRectF(at(4 / scale, 4 / scale), QSizeF(paperW_ * scale, paperH_ * scale)), Qt::darkGray);
    const QRectF paper(at(0, 0), QSizeF(paperW_ * scale, paperH_ * scale));
    painter.fillRect(paper, Qt::white);
    painter.setPen(Qt::black);
    painter.drawRect(paper);
    painter.setPen(QPen(Qt::gray, 1, Qt::DashLine));
    const QRectF printable(at(margins_.left, margins_.top),
                           at(paperW_ - margins_.right, paperH_ - margins_.bottom));
    painter.drawRect(printable);
    if (image_.isEmpty()) return;
    // The image rectangle is relative to the margin origin; the paper clips.
    const QRectF place(at(margins_.left + image_.left(), margins_.top + image_.top()),
                       QSizeF(image_.width() * scale, image_.height() * scale));
    painter.save();
    painter.setClipRect(paper);
    if (thumbnail_.isNull()) {
      painter.fillRect(place, QColor(120, 150, 200));
    } else {
      painter.drawImage(place, thumbnail_.mirrored(flipX_, flipY_));
    }
    painter.setPen(QPen(Qt::blue, 1));
    painter.drawRect(place);
    painter.restore();
  }

 private:
  QImage thumbnail_;
  int paperW_ = 0, paperH_ = 0;
  print::Margins margins_;
  QRect image_;
  bool flipX_ = false, flipY_ = false;
};

QDoubleSpinBox* Entry(QWidget* parent, const char* name, double value) {
  auto* spin = new QDoubleSpinBox(parent);
  spin->setObjectName(name);
  spin->setRange(0, 100000);
  spin->setDecimals(2);
  spin->setValue(value);
  spin->setKeyboardTracking(true);
  return spin;
}

}  // namespace

struct PageSetupDialog::Private {
  PageSetupDialog* self = nullptr;
  PrintChoices printer;
  print::ImageFacts facts;
  print::PageLayout layout;
  int layoutResult = kResultOk;
  print::Margins minimum;  // hundredths of a millimetre
  bool following = false;  // an entry is being set by the dialog itself

  QComboBox* paper = nullptr;
  QLabel* paperSize = nullptr;
  QRadioButton* portrait = nullptr;
  QRadioButton* landscape = nullptr;
  QLineEdit* margins[4] = {};  // left, top, right, bottom
  QLabel* minimumMargins = nullptr;
  QRadioButton* fitToPage = nullptr;
  QRadioButton* userScale = nullptr;
  QCheckBox* allowDistortion = nullptr;
  QDoubleSpinBox* width = nullptr;
  QDoubleSpinBox* height = nullptr;
  QComboBox* sizeUnit = nullptr;
  QRadioButton* center = nullptr;
  QRadioButton* userPosition = nullptr;
  QDoubleSpinBox* left = nullptr;
  QDoubleSpinBox* top = nullptr;
  QComboBox* positionUnit = nullptr;
  QCheckBox* flip = nullptr;
  QCheckBox* flipVertical = nullptr;
  PagePicture* picture = nullptr;
  QLabel* status = nullptr;
  int shownSizeUnit = 0, shownPositionUnit = 0;

  double NatW() const { return print::NaturalTwips(facts.width, facts.dpiX); }
  double NatH() const { return print::NaturalTwips(facts.height, facts.dpiY); }

  PageChoices Read() const {
    PageChoices choices;
    choices.paperCode = paper->currentData().toInt();
    choices.landscape = landscape->isChecked();
    std::array<double, 4> mm{};
    bool typed = true;
    for (int i = 0; i < 4; ++i) {
      bool ok = false;
      mm[static_cast<size_t>(i)] = margins[i]->text().toDouble(&ok);
      typed = typed && ok;
    }
    if (typed) choices.marginsMm = mm;
    print::PageSetup& s = choices.layout;
    s.scaleMode = userScale->isChecked() ? print::ScaleMode::UserDefined : print::ScaleMode::FitToPage;
    s.allowDistortion = allowDistortion->isChecked();
    s.width = width->value();
    s.height = height->value();
    s.sizeUnit = kSizeUnits[sizeUnit->currentIndex()];
    s.positionMode = userPosition->isChecked() ? print::PositionMode::UserDefined : print::PositionMode::Center;
    s.left = left->value();
    s.top = top->value();
    s.positionUnit = kPositionUnits[positionUnit->currentIndex()];
    s.flip = flip->isChecked();
    s.flipVertical = flipVertical->isChecked();
    return choices;
  }

  // The job's page for these choices, its minimum margins and the layout.
  void Recompute() {
    const PageChoices choices = Read();
    PrintChoices target = printer;
    target.printToFile = true;
    target.file = "page-setup";
    print::PrintJob job;
    print::PrintRequestCheck check;
    {
      // The margin check speaks when OK is pressed, not at every keystroke.
      platform::SilentMessageSink silent;
      platform::MessageSink* previous = platform::SetMessageSink(&silent);
      PageChoices unchecked = choices;
      unchecked.marginsMm.reset();
      print::PrintJob bare;
      if (PreparePrint(target, unchecked, bare).Accepted()) {
        const print::PrinterInfo& p = bare.printer;
        print::MinimumMargins({p.dpiX, p.dpiY, p.offsetX, p.offsetY, p.pageWidthDots, p.pageHeightDots,
                               p.printableWidthDots, p.printableHeightDots},
                              kUnit, minimum);
      }
      check = PreparePrint(target, choices, job);
      platform::SetMessageSink(previous);
    }
    minimumMargins->setText(QString("Minimum: %1, %2, %3, %4 mm")
                                .arg(QString::fromStdString(print::FormatMargin(minimum.left, kUnit)),
                                     QString::fromStdString(print::FormatMargin(minimum.top, kUnit)),
                                     QString::fromStdString(print::FormatMargin(minimum.right, kUnit)),
                                     QString::fromStdString(print::FormatMargin(minimum.bottom, kUnit))));
    print::PaperSizeMm size{};
    if (print::PaperSizeForCode(choices.paperCode, size)) {
      if (choices.landscape && landscape->isEnabled()) std::swap(size.width, size.height);
      paperSize->setText(QString::fromStdString(print::PaperSizeText(size.width, size.height, kUnit)));
    }
    if (!check.Accepted()) {
      layoutResult = check.result;
      layout = {};
      status->setText(QString::fromStdString(check.text));
      picture->Show(0, 0, {}, {}, false, false);
      return;
    }
    layoutResult = print::ComputePageLayout(job.setup, facts, layout);
    status->setText(layoutResult == kResultOk ? QString() : QString::fromStdString(FormatErrorCode(layoutResult)));
    const platform::Rect& r = layout.imageRect;
    picture->Show(job.setup.paperWidthTwips, job.setup.paperHeightTwips, job.setup.marginsTwips,
                  layoutResult == kResultOk ? QRect(r.left, r.top, r.right - r.left, r.bottom - r.top) : QRect(),
                  choices.layout.flip, choices.layout.flipVertical);
  }

  // A unit change keeps the size: the entry is converted through twips.
  void ConvertEntry(QDoubleSpinBox* entry, print::EntryUnit from, print::EntryUnit to, double natural) {
    const int twips = print::EntryToTwips(entry->value(), from, natural);
    following = true;
    entry->setValue(print::TwipsToEntry(twips, to, natural));
    following = false;
  }

  // Without distortion the other side follows in the image's proportion.
  void KeepProportion(bool widthChanged) {
    if (following || allowDistortion->isChecked() || !userScale->isChecked()) return;
    const print::EntryUnit unit = kSizeUnits[sizeUnit->currentIndex()];
    const double natW = NatW(), natH = NatH();
    if (natW <= 0 || natH <= 0) return;
    following = true;
    if (widthChanged) {
      const double twips = print::EntryToTwips(width->value(), unit, natW) * natH / natW;
      height->setValue(print::TwipsToEntry(static_cast<int>(std::lround(twips)), unit, natH));
    } else {
      const double twips = print::EntryToTwips(height->value(), unit, natH) * natW / natH;
      width->setValue(print::TwipsToEntry(static_cast<int>(std::lround(twips)), unit, natW));
    }
    following = false;
  }

  void EnableEntries() {
    const bool user = userScale->isChecked();
    width->setEnabled(user);
    height->setEnabled(user);
    sizeUnit->setEnabled(user);
    const bool placed = userPosition->isChecked();
    left->setEnabled(placed);
    top->setEnabled(placed);
    positionUnit->setEnabled(placed);
  }
};

PageSetupDialog::PageSetupDialog(const PageChoices& choices, const PrintChoices& printer, const CDIBitmap* image,
                                 QWidget* parent)
    : QDialog(parent), d_(std::make_unique<Private>()) {
  Private& d = *d_;
  d.self = this;
  d.printer = printer;
  if (image && image->GetWidth() > 0 && image->GetHeight() > 0) {
    d.facts = {image->GetWidth(), image->GetHeight(), image->GetXResolution(), image->GetYResolution()};
    if (d.facts.dpiX <= 0 || d.facts.dpiY <= 0) d.facts.dpiX = d.facts.dpiY = print::kDefaultImageDpi;
  } else {
    d.facts = {4 * print::kDefaultImageDpi, 3 * print::kDefaultImageDpi, print::kDefaultImageDpi,
               print::kDefaultImageDpi};
  }
  setWindowTitle("Page Setup");
  auto* columns = new QHBoxLayout(this);
  auto* fields = new QVBoxLayout;
  columns->addLayout(fields);

  auto* paperBox = new QGroupBox("Paper", this);
  auto* paperForm = new QFormLayout(paperBox);
  d.paper = new QComboBox(paperBox);
  d.paper->setObjectName("paper");
  for (int code = 1; code <= print::kPaperCodeCount; ++code)
    d.paper->addItem(QString::fromStdString(print::PaperName(code, 0, 0)), code);
  d.paper->setCurrentIndex(std::max(0, d.paper->findData(choices.paperCode)));
  paperForm->addRow("Si&ze:", d.paper);
  d.paperSize = new QLabel(paperBox);
  d.paperSize->setObjectName("paperSize");
  paperForm->addRow("", d.paperSize);
  auto* orientation = new QHBoxLayout;
  d.portrait = new QRadioButton("P&ortrait", paperBox);
  d.portrait->setObjectName("portrait");
  d.landscape = new QRadioButton("L&andscape", paperBox);
  d.landscape->setObjectName("landscape");
  const bool device = !printer.printToPort;
  d.landscape->setEnabled(device);
  if (!device) d.landscape->setToolTip("The EPSON and DesignJet printers feed their paper one way.");
  (choices.landscape && device ? d.landscape : d.portrait)->setChecked(true);
  orientation->addWidget(d.portrait);
  orientation->addWidget(d.landscape);
  paperForm->addRow("Orientation:", orientation);
  fields->addWidget(paperBox);

  auto* marginBox = new QGroupBox("Margins (millimeters)", this);
  auto* marginGrid = new QGridLayout(marginBox);
  const char* marginLabels[4] = {"&Left:", "&Top:", "&Right:", "&Bottom:"};
  const char* marginNames[4] = {"marginLeft", "marginTop", "marginRight", "marginBottom"};
  for (int i = 0; i < 4; ++i) {
    d.margins[i] = new QLineEdit(marginBox);
    d.margins[i]->setObjectName(marginNames[i]);
    d.margins[i]->setValidator(new QDoubleValidator(0, 10000, 2, d.margins[i]));
    auto* label = new QLabel(marginLabels[i], marginBox);
    label->setBuddy(d.margins[i]);
    marginGrid->addWidget(label, i / 2, (i % 2) * 2);
    marginGrid->addWidget(d.margins[i], i / 2, (i % 2) * 2 + 1);
  }
  d.minimumMargins = new QLabel(marginBox);
  d.minimumMargins->setObjectName("minimumMargins");
  marginGrid->addWidget(d.minimumMargins, 2, 0, 1, 4);
  fields->addWidget(marginBox);

  auto* sizeBox = new QGroupBox("Size", this);
  auto* sizeGrid = new QGridLayout(sizeBox);
  d.fitToPage = new QRadioButton("&Fit to Page", sizeBox);
  d.fitToPage->setObjectName("fitToPage");
  d.userScale = new QRadioButton("User Defined Scale", sizeBox);
  d.userScale->setObjectName("userScale");
  d.allowDistortion = new QCheckBox("Allow Size &Distorsion", sizeBox);
  d.allowDistortion->setObjectName("allowDistortion");
  const print::PageSetup& s = choices.layout;
  (s.scaleMode == print::ScaleMode::UserDefined ? d.userScale : d.fitToPage)->setChecked(true);
  d.allowDistortion->setChecked(s.allowDistortion);
  d.width = Entry(sizeBox, "width", s.width);
  d.height = Entry(sizeBox, "height", s.height);
  d.sizeUnit = new QComboBox(sizeBox);
  d.sizeUnit->setObjectName("sizeUnit");
  d.sizeUnit->addItems({"%", "cm", "inch"});
  d.sizeUnit->setCurrentIndex(static_cast<int>(std::find(std::begin(kSizeUnits), std::end(kSizeUnits), s.sizeUnit) -
                                               std::begin(kSizeUnits)) % 3);
  d.shownSizeUnit = d.sizeUnit->currentIndex();
  sizeGrid->addWidget(d.fitToPage, 0, 0, 1, 2);
  sizeGrid->addWidget(d.userScale, 1, 0, 1, 2);
  sizeGrid->addWidget(d.allowDistortion, 2, 0, 1, 3);
  sizeGrid->addWidget(new QLabel("Width:", sizeBox), 3, 0);
  sizeGrid->addWidget(d.width, 3, 1);
  sizeGrid->addWidget(d.sizeUnit, 3, 2);
  sizeGrid->addWidget(new QLabel("Height:", sizeBox), 4, 0);
  sizeGrid->addWidget(d.height, 4, 1);
  fields->addWidget(sizeBox);

  auto* positionBox = new QGroupBox("Position", this);
  auto* positionGrid = new QGridLayout(positionBox);
  d.center = new QRadioButton("&Center on Page", positionBox);
  d.center->setObjectName("center");
  d.userPosition = new QRadioButton("User Define Position", positionBox);
  d.userPosition->setObjectName("userPosition");
  (s.positionMode == print::PositionMode::UserDefined ? d.userPosition : d.center)->setChecked(true);
  d.left = Entry(positionBox, "left", s.left);
  d.top = Entry(positionBox, "top", s.top);
  d.positionUnit = new QComboBox(positionBox);
  d.positionUnit->setObjectName("positionUnit");
  d.positionUnit->addItems({"cm", "inch"});
  d.positionUnit->setCurrentIndex(s.positionUnit == print::EntryUnit::Inch ? 1 : 0);
  d.shownPositionUnit = d.positionUnit->currentIndex();
  positionGrid->addWidget(d.center, 0, 0, 1, 2);
  positionGrid->addWidget(d.userPosition, 1, 0, 1, 2);
  positionGrid->addWidget(new QLabel("Left:", positionBox), 2, 0);
  positionGrid->addWidget(d.left, 2, 1);
  positionGrid->addWidget(d.positionUnit, 2, 2);
  positionGrid->addWidget(new QLabel("Top:", positionBox), 3, 0);
  positionGrid->addWidget(d.top, 3, 1);
  fields->addWidget(positionBox);

  auto* flips = new QHBoxLayout;
  d.flip = new QCheckBox("Flip", this);
  d.flip->setObjectName("flip");
  d.flip->setChecked(s.flip);
  d.flipVertical = new QCheckBox("Flip &Vertical", this);
  d.flipVertical->setObjectName("flipVertical");
  d.flipVertical->setChecked(s.flipVertical);
  flips->addWidget(d.flip);
  flips->addWidget(d.flipVertical);
  flips->addStretch(1);
  fields->addLayout(flips);

  auto* pictureColumn = new QVBoxLayout;
  d.picture = new PagePicture(Thumbnail(image), this);
  pictureColumn->addWidget(d.picture, 1);
  d.status = new QLabel(this);
  d.status->setObjectName("layoutStatus");
  d.status->setWordWrap(true);
  pictureColumn->addWidget(d.status);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  pictureColumn->addWidget(buttons);
  columns->addLayout(pictureColumn, 1);
  connect(buttons, &QDialogButtonBox::accepted, this, &PageSetupDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  // Margins: the chosen ones, else the printer's minimum.
  d.Recompute();
  for (int i = 0; i < 4; ++i) {
    const int minimum[4] = {d.minimum.left, d.minimum.top, d.minimum.right, d.minimum.bottom};
    const int hundredths =
        choices.marginsMm ? static_cast<int>(std::lround((*choices.marginsMm)[static_cast<size_t>(i)] * 100))
                          : minimum[i];
    d.margins[i]->setText(QString::fromStdString(print::FormatMargin(hundredths, kUnit)));
  }

  auto recompute = [this] {
    d_->EnableEntries();
    d_->Recompute();
  };
  connect(d.paper, &QComboBox::currentIndexChanged, this, recompute);
  for (QRadioButton* b : {d.portrait, d.landscape, d.fitToPage, d.userScale, d.center, d.userPosition})
    connect(b, &QRadioButton::toggled, this, recompute);
  for (QCheckBox* b : {d.allowDistortion, d.flip, d.flipVertical}) connect(b, &QCheckBox::toggled, this, recompute);
  for (QLineEdit* e : d.margins) connect(e, &QLineEdit::textChanged, this, recompute);
  connect(d.width, &QDoubleSpinBox::valueChanged, this, [this, recompute] {
    d_->KeepProportion(true);
    recompute();
  });
  connect(d.height, &QDoubleSpinBox::valueChanged, this, [this, recompute] {
    d_->KeepProportion(false);
    recompute();
  });
  connect(d.left, &QDoubleSpinBox::valueChanged, this, recompute);
  connect(d.top, &QDoubleSpinBox::valueChanged, this, recompute);
  connect(d.sizeUnit, &QComboBox::currentIndexChanged, this, [this, recompute](int index) {
    Private& p = *d_;
    const print::EntryUnit from = kSizeUnits[p.shownSizeUnit], to = kSizeUnits[index];
    p.shownSizeUnit = index;
    p.ConvertEntry(p.width, from, to, p.NatW());
    p.ConvertEntry(p.height, from, to, p.NatH());
    recompute();
  });
  connect(d.positionUnit, &QComboBox::currentIndexChanged, this, [this, recompute](int index) {
    Private& p = *d_;
    const print::EntryUnit from = kPositionUnits[p.shownPositionUnit], to = kPositionUnits[index];
    p.shownPositionUnit = index;
    p.ConvertEntry(p.left, from, to, p.NatW());
    p.ConvertEntry(p.top, from, to, p.NatH());
    recompute();
  });
  recompute();
}

PageSetupDialog::~PageSetupDialog() = default;

PageChoices PageSetupDialog::Choices() const { return d_->Read(); }
const print::PageLayout& PageSetupDialog::Layout() const { return d_->layout; }
int PageSetupDialog::LayoutResult() const { return d_->layoutResult; }

void PageSetupDialog::accept() {
  Private& d = *d_;
  const PageChoices choices = d.Read();
  if (!choices.marginsMm) {
    platform::ShowMessage("Enter the four margins in millimeters.", "Page Setup");
    return;
  }
  const auto& mm = *choices.marginsMm;
  const auto hundredths = [](double value) { return static_cast<int>(std::lround(value * 100)); };
  const print::MarginCheckResult checked = print::CheckMargins(
      {hundredths(mm[0]), hundredths(mm[1]), hundredths(mm[2]), hundredths(mm[3])}, d.minimum, kUnit);
  if (checked.corrected) {
    // texts: left, top, right, bottom, as the edits are kept.
    for (int i = 0; i < 4; ++i) d.margins[i]->setText(QString::fromStdString(checked.texts[static_cast<size_t>(i)]));
  }
  QDialog::accept();
}

bool RunPageSetup(QWidget* parent, const CDIBitmap* image) {
  PageSetupDialog dialog(CurrentPageChoices(), CurrentPrintChoices(), image, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  CurrentPageChoices() = dialog.Choices();
  return true;
}

}  // namespace app
