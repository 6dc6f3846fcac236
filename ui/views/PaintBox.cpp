// The paint box, the step-only scroll bar and the paint font of the inspection windows.
#include "PaintBox.h"

#include <QHBoxLayout>

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent) {
  // The owner fills the whole box on every paint.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPaintBox::paintEvent(QPaintEvent*) {
  if (!OnPaint) return;
  QPainter painter(this);
  OnPaint(painter);
}

void TPaintBox::mousePressEvent(QMouseEvent* event) {
  if (OnMouseDown) {
    const QPoint p = event->position().toPoint();
    OnMouseDown(p.x(), p.y());
  }
  event->accept();
}

void TPaintBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!OnDoubleClick || event->button() != Qt::LeftButton) {
    QWidget::mouseDoubleClickEvent(event);  // a second press
    return;
  }
  const QPoint p = event->position().toPoint();
  OnDoubleClick(p.x(), p.y());
  event->accept();
}

void TPaintBox::FillContextMenu(QMenu& menu, int x, int y) const {
  for (const auto& entries : ContextEntries) {
    if (!menu.isEmpty() && !menu.actions().back()->isSeparator()) menu.addSeparator();
    entries(menu, x, y);
  }
  // A section that added nothing leaves its separator last.
  while (!menu.isEmpty() && menu.actions().back()->isSeparator()) {
    menu.removeAction(menu.actions().back());
  }
}

void TPaintBox::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  FillContextMenu(menu, event->pos().x(), event->pos().y());
  if (menu.isEmpty()) {
    event->ignore();
    return;
  }
  menu.exec(event->globalPos());
  event->accept();
}

void TPaintBox::wheelEvent(QWheelEvent* event) {
  if (!OnWheel) {
    event->ignore();
    return;
  }
  OnWheel(event->angleDelta().y());
  event->accept();
}

void TPaintBox::keyPressEvent(QKeyEvent* event) {
  if (OnKey && OnKey(event->key(), event->modifiers())) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

QFont InspectionFont() {
  QFont font("Courier New");
  font.setPixelSize(11);
  font.setStyleHint(QFont::TypeWriter);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

TextMetrics MeasureW(const QFont& font) {
  const QFontMetrics metrics(font);
  // Never zero, so that rows and columns can always be divided by them.
  return {std::max(1, metrics.height()), std::max(1, metrics.horizontalAdvance(QChar('W')))};
}

QScrollBar* MakeStepScrollBar(QWidget* parent) {
  auto* bar = new QScrollBar(Qt::Vertical, parent);
  bar->setObjectName("ScrollBar1");
  bar->setRange(-100, 100);
  bar->setSingleStep(1);
  bar->setPageStep(0);
  bar->setValue(0);
  bar->setFixedWidth(16);
  return bar;
}

tervik::view::ScrollCode ScrollCodeOf(int sliderAction) {
  using tervik::view::ScrollCode;
  switch (sliderAction) {
    case QAbstractSlider::SliderSingleStepSub: return ScrollCode::LineUp;
    case QAbstractSlider::SliderSingleStepAdd: return ScrollCode::LineDown;
    case QAbstractSlider::SliderPageStepSub: return ScrollCode::PageUp;
    case QAbstractSlider::SliderPageStepAdd: return ScrollCode::PageDown;
    default: return ScrollCode::Other;
  }
}

void RecentreThumb(QScrollBar* bar) {
  bar->setSliderPosition(0);
}

tervik::view::ScrollCode ScrollCodeOfKey(int key) {
  using tervik::view::ScrollCode;
  switch (key) {
    case Qt::Key_Up: return ScrollCode::LineUp;
    case Qt::Key_Down: return ScrollCode::LineDown;
    case Qt::Key_PageUp: return ScrollCode::PageUp;
    case Qt::Key_PageDown: return ScrollCode::PageDown;
    default: return ScrollCode::Other;
  }
}

namespace {

// Owned by the scroll bar it filters.
class WheelToBox final : public QObject {
 public:
  WheelToBox(QScrollBar* bar, TPaintBox* box) : QObject(bar), box_(box) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Wheel || !box_->OnWheel)
      return QObject::eventFilter(watched, event);
    box_->OnWheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
    return true;
  }

 private:
  TPaintBox* box_;
};

}  // namespace

void RouteWheelToBox(QScrollBar* bar, TPaintBox* box) {
  bar->installEventFilter(new WheelToBox(bar, box));
}

const QString& TextScratch::Set(std::string_view bytes) {
  const auto size = static_cast<qsizetype>(bytes.size());
  const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii) {
    // Listing comments are 8-bit text of outside origin: UTF-8 when it is, else Latin-1.
    text_ = QString::fromUtf8(bytes.data(), size);
    if (!text_.contains(QChar::ReplacementCharacter)) return text_;
  }
  text_.resize(size);  // keeps the buffer once it is large enough and no longer shared
  QChar* out = text_.data();
  for (qsizetype i = 0; i < size; ++i) out[i] = QLatin1Char(bytes[static_cast<size_t>(i)]);
  return text_;
}

ScrolledPaintArea MakeScrolledPaintArea(QWidget* parent) {
  auto* client = new QWidget(parent);
  auto* layout = new QHBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* box = new TPaintBox(client);
  box->setObjectName("PB1");
  QScrollBar* bar = MakeStepScrollBar(client);
  layout->addWidget(box, 1);
  layout->addWidget(bar);
  return {client, box, bar};
}
