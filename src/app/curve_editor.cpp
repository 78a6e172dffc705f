#include "app/curve_editor.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cstdlib>
#include <vector>

namespace app {

namespace {

constexpr int kGridSize = 256;

std::vector<color::CurvePoint> UsedPoints(const color::CurveChannel& channel) {
  std::vector<color::CurvePoint> used;
  for (const color::CurvePoint& p : channel.points)
    if (p.used) used.push_back(p);
  return used;
}

// Writes `points` (in input order) into the first slots, empties the rest,
// and evaluates the table.
void StorePoints(color::CurveChannel& channel, const std::vector<color::CurvePoint>& points) {
  color::CurveSet set;
  set.channels[0] = channel;
  for (int i = 0; i < color::kCurvePoints; ++i)
    set.channels[0].points[i] = i < static_cast<int>(points.size()) ? points[static_cast<size_t>(i)] : color::CurvePoint{};
  set.channels[0].tableGiven = false;
  if (set.Evaluate(0)) channel = set.channels[0];
}

}  // namespace

struct CurveEditor::Private {
  color::CurveChannel channel;
  std::function<void()> onChanged;
  // The drag: the other used points, where the taken one goes among them,
  // the input range it may take, and whether it is in (not dragged out).
  bool dragging = false;
  std::vector<color::CurvePoint> others;
  size_t insertAt = 0;
  int minX = 0, maxX = 255;
  color::CurvePoint taken;
  bool takenIn = true;

  void Apply() {
    std::vector<color::CurvePoint> points = others;
    if (takenIn) points.insert(points.begin() + static_cast<std::ptrdiff_t>(insertAt), taken);
    StorePoints(channel, points);
  }
};

CurveEditor::CurveEditor(QWidget* parent) : QWidget(parent), d_(std::make_unique<Private>()) {
  setObjectName("curveEditor");
  setFixedSize(kGridSize + 2 * kMargin, kGridSize + 2 * kMargin);
  color::CurveSet reset;
  d_->channel = reset.channels[0];
}

CurveEditor::~CurveEditor() = default;

void CurveEditor::SetChannel(const color::CurveChannel& channel) {
  d_->channel = channel;
  d_->dragging = false;
  update();
}

const color::CurveChannel& CurveEditor::Channel() const { return d_->channel; }

void CurveEditor::SetOnChanged(std::function<void()> onChanged) { d_->onChanged = std::move(onChanged); }

QPoint CurveEditor::PixelOf(int input, int output) { return {kMargin + input, kMargin + 255 - output}; }

void CurveEditor::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  const QRect grid(kMargin, kMargin, kGridSize, kGridSize);
  painter.fillRect(grid, Qt::white);
  painter.setPen(QColor(210, 210, 210));
  for (int i = 64; i < kGridSize; i += 64) {
    painter.drawLine(kMargin + i, kMargin, kMargin + i, kMargin + 255);
    painter.drawLine(kMargin, kMargin + i, kMargin + 255, kMargin + i);
  }
  painter.drawLine(PixelOf(0, 0), PixelOf(255, 255));
  painter.setPen(QColor(160, 160, 160));
  painter.drawRect(grid.adjusted(0, 0, -1, -1));
  // The table.
  QPainterPath path;
  path.moveTo(PixelOf(0, d_->channel.table[0]));
  for (int v = 1; v < 256; ++v) path.lineTo(PixelOf(v, d_->channel.table[v]));
  painter.setPen(Qt::black);
  painter.drawPath(path);
  for (const color::CurvePoint& p : UsedPoints(d_->channel)) {
    const QPoint at(kMargin + p.x, kMargin + p.y);
    painter.fillRect(QRect(at - QPoint(2, 2), QSize(5, 5)), Qt::black);
  }
}

void CurveEditor::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint() - QPoint(kMargin, kMargin);
  if (pos.x() < 0 || pos.y() < 0 || pos.x() > 255 || pos.y() > 255) return;
  std::vector<color::CurvePoint> used = UsedPoints(d_->channel);
  // The nearest point within reach, else the one in the pressed column.
  int hit = -1;
  int best = kGrab + 1;
  for (size_t i = 0; i < used.size(); ++i) {
    const int distance = std::max(std::abs(used[i].x - pos.x()), std::abs(used[i].y - pos.y()));
    if (distance < best) {
      best = distance;
      hit = static_cast<int>(i);
    }
  }
  if (hit < 0)
    for (size_t i = 0; i < used.size(); ++i)
      if (used[i].x == pos.x()) hit = static_cast<int>(i);
  Private& d = *d_;
  if (hit >= 0) {
    d.taken = used[static_cast<size_t>(hit)];
    used.erase(used.begin() + hit);
    d.insertAt = static_cast<size_t>(hit);
  } else {
    if (used.size() >= static_cast<size_t>(color::kCurvePoints)) return;
    d.taken = {pos.x(), pos.y(), 1};
    d.insertAt = static_cast<size_t>(
        std::find_if(used.begin(), used.end(), [&](const color::CurvePoint& p) { return p.x > pos.x(); }) -
        used.begin());
  }
  d.others = std::move(used);
  d.minX = d.insertAt > 0 ? d.others[d.insertAt - 1].x + 1 : 0;
  d.maxX = d.insertAt < d.others.size() ? d.others[d.insertAt].x - 1 : 255;
  d.dragging = true;
  d.takenIn = true;
  d.Apply();
  update();
  if (d.onChanged) d.onChanged();
}

void CurveEditor::mouseMoveEvent(QMouseEvent* event) {
  Private& d = *d_;
  if (!d.dragging) return;
  const QPoint pos = event->position().toPoint() - QPoint(kMargin, kMargin);
  const bool outside = pos.x() < -kRemoveDistance || pos.y() < -kRemoveDistance ||
                       pos.x() > 255 + kRemoveDistance || pos.y() > 255 + kRemoveDistance;
  d.takenIn = !(outside && d.others.size() >= 2);
  d.taken.x = std::clamp(pos.x(), d.minX, d.maxX);
  d.taken.y = std::clamp(pos.y(), 0, 255);
  d.Apply();
  update();
  if (d.onChanged) d.onChanged();
}

void CurveEditor::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) d_->dragging = false;
}

bool SetCurvePoint(color::CurveChannel& channel, int input, int output) {
  input = std::clamp(input, 0, 255);
  const color::CurvePoint point{input, 255 - std::clamp(output, 0, 255), 1};
  std::vector<color::CurvePoint> used = UsedPoints(channel);
  auto at = std::find_if(used.begin(), used.end(), [&](const color::CurvePoint& p) { return p.x >= input; });
  if (at != used.end() && at->x == input) {
    *at = point;
  } else {
    if (used.size() >= static_cast<size_t>(color::kCurvePoints)) return false;
    used.insert(at, point);
  }
  StorePoints(channel, used);
  return true;
}

}  // namespace app
