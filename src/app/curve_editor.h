// The curve editing control of the "Curve" and "CMYK Separation " dialogs:
// one channel of a color::CurveSet drawn on a 256 x 256 grid, one widget
// pixel per level (input left to right, output bottom to top), inside a
// margin of kMargin pixels.
//
// Mouse: a press within kGrab pixels of a used point takes it; a press
// elsewhere on the grid adds a point there (while a slot is free; a press in
// the column of an existing point takes that point instead) and takes it.
// Dragging moves the taken point, its input kept strictly between its
// neighbours' inputs and its output within 0..255. Dragged more than
// kRemoveDistance pixels outside the grid the point is taken out (it comes
// back when the pointer returns), while at least two other points remain;
// releasing there removes it. Every change keeps the used points in the
// first slots in input order, rebuilds the table (CurveSet::Evaluate), clears
// the loaded-table mark and calls the change callback.
//
// Painted: the grid, the identity diagonal, the 256-entry table as a line
// and the used points as small squares.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "color/curves.h"

namespace app {

class CurveEditor : public QWidget {
 public:
  static constexpr int kMargin = 4;
  static constexpr int kGrab = 4;
  static constexpr int kRemoveDistance = 8;

  explicit CurveEditor(QWidget* parent = nullptr);
  ~CurveEditor() override;

  // The channel shown and edited (a copy is kept).
  void SetChannel(const color::CurveChannel& channel);
  const color::CurveChannel& Channel() const;
  // Called after every change the mouse makes.
  void SetOnChanged(std::function<void()> onChanged);
  // The widget pixel of the grid point with this input and output.
  static QPoint PixelOf(int input, int output);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  struct Private;
  std::unique_ptr<Private> d_;
};

// Sets the output at `input` on `channel`: the used point at that input
// takes the output, or a new point is inserted in input order when a slot is
// free (false, nothing changed, when none is). The table is evaluated again.
bool SetCurvePoint(color::CurveChannel& channel, int input, int output);

}  // namespace app
