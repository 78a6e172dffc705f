// ImageViewWidget: the window part of one image view.
//
// The widget owns nothing but a pointer to its controller (CVividView). It
// forwards the viewport's mouse presses, moves, releases and double clicks
// (left and right button, Shift, Ctrl and Alt), the arrow, Esc and Delete
// keys with their repeat counts, modifier changes, wheel scrolling (Ctrl
// with the wheel zooms), its
// size and a 100 ms tick to the controller, and paints the controller's
// buffer. After every forwarded event it repaints what the controller marks
// invalid and resizes its frame when the controller asks for a client size.
// The scroll bars show the controller's scroll size and position; moving
// them scrolls the controller.
#pragma once

#include <QAbstractScrollArea>
#include <functional>
#include <memory>

class CVividView;

namespace app {

class ImageViewWidget final : public QAbstractScrollArea {
 public:
  explicit ImageViewWidget(CVividView& view, QWidget* parent = nullptr);
  ~ImageViewWidget() override;

  CVividView& View() const { return *view_; }
  // Called after every event forwarded to the controller (the main window
  // refreshes its status and tool bar there).
  void SetAfterEvent(std::function<void()> callback);
  // Takes the controller's invalid region and wanted client size and
  // follows them, and sets the scroll bars from its scroll state. The main
  // window calls it after a command ran on the controller.
  void SyncFromView();
  // Stops or restarts the 100 ms tick (tests drive the timer themselves).
  void SetTicking(bool on);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  struct Impl;
  CVividView* view_;
  std::unique_ptr<Impl> d_;
  void AfterEvent();
  void SyncScrollBars();
};

}  // namespace app
