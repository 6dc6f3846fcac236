// A one-line label that never asks for more width than it is given: a text longer than the
// label is drawn cut short with an ellipsis (the whole text in its tool tip), so a long label
// name in the status bar cannot widen the window.
#pragma once

#include <QLabel>

class TElidedLabel final : public QLabel {
  Q_OBJECT

 public:
  explicit TElidedLabel(QWidget* parent) : QLabel(parent) {}

  // Wide enough for the whole text when there is room; never a minimum beyond a few characters.
  QSize minimumSizeHint() const override;
  QSize sizeHint() const override;
  // The text as it is drawn in the width the label has now.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
