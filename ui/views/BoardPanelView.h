// One module's panel in the Board window: paints its elements from the module's display words
// whenever it is repainted, and hands clicks on switches and buttons and keys typed into a
// terminal to the module. Runs on the GUI thread, between instructions (during a run, between
// batches, when the run loop handles window events).
#pragma once

#include <QWidget>
#include <vector>

#include "Board.h"
#include "BoardGeometry.h"
#include "DebugHost.h"

class TBoardPanelView : public QWidget {
  Q_OBJECT

 public:
  TBoardPanelView(DebugHost& host, const tervik::Board::Panel& panel, QWidget* parent);

  QSize sizeHint() const override;
  // Repaints the elements whose display words changed since they were last painted.
  void Refresh();
  const tervik::board::PanelLayout& Layout() const { return layout_; }
  // The centre of element `index`, for tests and accessibility.
  QPoint ElementCentre(int index) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Hand(const tervik::PanelElement& element, uint32_t value);
  // A digest of element i's display words, to tell whether it needs painting again.
  uint64_t Digest(size_t i) const;
  QRect CellRect(size_t i) const;
  void PaintElement(QPainter& p, const tervik::PanelElement& e, const QRect& r);

  DebugHost& host_;
  const tervik::Board::Panel& panel_;
  tervik::board::PanelLayout layout_;
  int charW_ = 8, charH_ = 14;
  int pressed_ = -1;  // the button held down with the mouse
  bool hasTerminal_ = false;
  std::vector<uint64_t> painted_;  // the digests of what was painted last
};
