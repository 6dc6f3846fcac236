// The status bar's label that elides rather than grows.
#include "ElidedLabel.h"

#include <QPainter>
#include <QStyle>
#include <algorithm>

QSize TElidedLabel::minimumSizeHint() const {
  return {fontMetrics().horizontalAdvance(QStringLiteral("...")) + 2 * margin(),
          QLabel::minimumSizeHint().height()};
}

QSize TElidedLabel::sizeHint() const {
  const QSize full = QLabel::sizeHint();
  // At most 400 pixels are asked for; a longer text is elided unless the bar has room to spare.
  return {std::min(full.width(), 400), full.height()};
}

QString TElidedLabel::ShownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width() - 2 * margin());
}

void TElidedLabel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QRect box = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  style()->drawItemText(&painter, box, static_cast<int>(alignment()), palette(), isEnabled(),
                        ShownText(), foregroundRole());
}
