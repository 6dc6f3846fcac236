// The manual viewer's pages: a QPdfView that also marks the hits of a search. Qt 6.4's QPdfView
// draws no search results, so this view paints them over the pages it shows, the current hit
// stronger than the others.
#pragma once

#include <QPdfView>
#include <QRectF>

class QPdfSearchModel;

// Where page `page` of a document whose pages all have `pagePoints` (in points) lies in a
// multi-page view's content, which is `contentHeight` high for `pages` pages laid out one below
// the other with `spacing` between them and `margins` around them, centred in a width of
// `contentWidth`. Returns the page's rectangle in content coordinates and its scale (pixels per
// point). Exposed for the tests.
struct PageGeometry {
  QRectF rect;
  double scale = 0;
};
PageGeometry MultiPageGeometry(int page, int pages, QSizeF pagePoints, double contentWidth,
                               double contentHeight, int spacing, QMargins margins);

class ManualPageView final : public QPdfView {
  Q_OBJECT

 public:
  explicit ManualPageView(QWidget* parent = nullptr);

  // The results to mark; none when null. The view does not own the model.
  void SetSearchModel(QPdfSearchModel* model);
  // The hit drawn as the current one (-1: none).
  void SetCurrentResult(int index);
  int CurrentResult() const { return current_; }
  // A hit's rectangles in viewport coordinates, for the tests.
  QList<QRectF> ResultRectangles(int index) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  PageGeometry GeometryOf(int page) const;

  QPdfSearchModel* search_ = nullptr;
  int current_ = -1;
};
