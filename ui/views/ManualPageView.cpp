// The manual's pages with the search hits marked over them.
#include "ManualPageView.h"

#include <QPainter>
#include <QPdfDocument>
#include <QPdfSearchModel>
#include <QScrollBar>
#include <algorithm>

PageGeometry MultiPageGeometry(int page, int pages, QSizeF pagePoints, double contentWidth,
                               double contentHeight, int spacing, QMargins margins) {
  PageGeometry g;
  if (pages <= 0 || pagePoints.isEmpty()) return g;
  // QPdfView gives every page the same zoom; with pages of one size their heights are equal, so
  // the height of one follows from the whole.
  const double pageHeight =
      (contentHeight - margins.top() - margins.bottom() - spacing * (pages - 1.0)) / pages;
  g.scale = pageHeight / pagePoints.height();
  const double width = pagePoints.width() * g.scale;
  const double x = std::max(0.0, (contentWidth - width) / 2.0);
  const double y = margins.top() + page * (pageHeight + spacing);
  g.rect = QRectF(x, y, width, pageHeight);
  return g;
}

ManualPageView::ManualPageView(QWidget* parent) : QPdfView(parent) {}

void ManualPageView::SetSearchModel(QPdfSearchModel* model) {
  if (search_ != nullptr) disconnect(search_, nullptr, this, nullptr);
  search_ = model;
  current_ = -1;
  if (search_ != nullptr) {
    auto repaint = [this] { viewport()->update(); };
    connect(search_, &QAbstractItemModel::modelReset, this, repaint);
    connect(search_, &QAbstractItemModel::rowsInserted, this, repaint);
    connect(search_, &QAbstractItemModel::dataChanged, this, repaint);
  }
  viewport()->update();
}

void ManualPageView::SetCurrentResult(int index) {
  current_ = index;
  viewport()->update();
}

PageGeometry ManualPageView::GeometryOf(int page) const {
  const QPdfDocument* doc = document();
  if (doc == nullptr || doc->pageCount() <= 0) return {};
  const QScrollBar* v = verticalScrollBar();
  const QScrollBar* h = horizontalScrollBar();
  const double contentHeight = v->maximum() + viewport()->height();
  const double contentWidth = h->maximum() + viewport()->width();
  PageGeometry g = MultiPageGeometry(page, doc->pageCount(), doc->pagePointSize(0), contentWidth,
                                     contentHeight, pageSpacing(), documentMargins());
  g.rect.translate(-h->value(), -v->value());
  return g;
}

QList<QRectF> ManualPageView::ResultRectangles(int index) const {
  QList<QRectF> out;
  if (search_ == nullptr || index < 0 || index >= search_->rowCount({})) return out;
  const QPdfLink link = search_->resultAtIndex(index);
  const PageGeometry g = GeometryOf(link.page());
  for (const QRectF& r : link.rectangles()) {
    out.append(QRectF(g.rect.left() + r.left() * g.scale, g.rect.top() + r.top() * g.scale,
                      r.width() * g.scale, r.height() * g.scale));
  }
  return out;
}

void ManualPageView::paintEvent(QPaintEvent* event) {
  QPdfView::paintEvent(event);
  if (search_ == nullptr || pageMode() != PageMode::MultiPage) return;
  const int count = search_->rowCount({});
  if (count == 0) return;
  QPainter painter(viewport());
  painter.setPen(Qt::NoPen);
  const QRectF visible = viewport()->rect();
  for (int i = 0; i < count; ++i) {
    const bool current = i == current_;
    for (const QRectF& r : ResultRectangles(i)) {
      if (!r.intersects(visible)) continue;
      painter.fillRect(r.adjusted(-1, -1, 1, 1),
                       current ? QColor(255, 140, 0, 120) : QColor(255, 230, 0, 90));
    }
  }
}
