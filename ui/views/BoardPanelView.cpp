// Painting a panel's elements and handing the user's input to its module.
#include "BoardPanelView.h"

#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>

namespace {

using tervik::Board;
using tervik::PanelElement;
using tervik::PanelKind;

const QColor kLit(255, 48, 32);
const QColor kDark(90, 30, 26);
const QColor kFrame(60, 60, 60);

// The seven segments a..g of a digit in `r` and its point, as polygons.
void PaintDigit(QPainter& p, const QRect& r, uint32_t segments) {
  const int t = 4;  // segment thickness
  const int x0 = r.left() + 3, x1 = r.right() - 7, y0 = r.top() + 3, y2 = r.bottom() - 3;
  const int y1 = (y0 + y2) / 2;
  auto horizontal = [&](int y) { return QRect(x0 + t, y - t / 2, x1 - x0 - 2 * t + 1, t); };
  auto vertical = [&](int x, int ya, int yb) {
    return QRect(x - t / 2, ya + t / 2, t, yb - ya - t);
  };
  const QRect bars[7] = {horizontal(y0), vertical(x1, y0, y1), vertical(x1, y1, y2),
                         horizontal(y2), vertical(x0, y1, y2), vertical(x0, y0, y1),
                         horizontal(y1)};
  p.fillRect(r, QColor(20, 20, 20));
  for (int s = 0; s < 7; ++s) p.fillRect(bars[s], (segments >> s) & 1u ? kLit : kDark);
  p.setBrush((segments >> 7) & 1u ? kLit : kDark);
  p.setPen(Qt::NoPen);
  p.drawEllipse(QRect(r.right() - 5, y2 - 3, 4, 4));
}

}  // namespace

TBoardPanelView::TBoardPanelView(DebugHost& host, const Board::Panel& panel, QWidget* parent)
    : QWidget(parent), host_(host), panel_(panel) {
  QFont mono("Courier New", 10);
  mono.setStyleHint(QFont::Monospace);
  setFont(mono);
  const QFontMetrics metrics(mono);
  charW_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
  charH_ = std::max(1, metrics.height());
  layout_ = tervik::board::LayOut(panel.description, charW_, charH_);
  for (const PanelElement& e : panel.description.elements) {
    hasTerminal_ = hasTerminal_ || e.kind == PanelKind::Terminal;
  }
  setFocusPolicy(hasTerminal_ ? Qt::StrongFocus : Qt::NoFocus);
  setAccessibleName(QString::fromStdString(panel.description.title));
  setMinimumSize(sizeHint());
}

QSize TBoardPanelView::sizeHint() const {
  return {layout_.width, layout_.height};
}

uint64_t TBoardPanelView::Digest(size_t i) const {
  const PanelElement& e = panel_.description.elements[i];
  uint64_t h = 1469598103934665603ull;  // FNV-1a over the words
  const uint64_t words = e.Words();
  for (uint64_t w = 0; w < words; ++w) {
    h = (h ^ Board::Read(panel_, e.offset + static_cast<uint32_t>(w))) * 1099511628211ull;
  }
  return h;
}

QRect TBoardPanelView::CellRect(size_t i) const {
  const tervik::board::Box& b = layout_.cells[i];
  return {b.x, b.y, b.w, b.h};
}

void TBoardPanelView::Refresh() {
  const size_t n = panel_.description.elements.size();
  if (painted_.size() != n) {
    update();
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    if (Digest(i) != painted_[i]) update(CellRect(i));
  }
}

QPoint TBoardPanelView::ElementCentre(int index) const {
  const tervik::board::Box& b = layout_.cells.at(static_cast<size_t>(index));
  return {b.x + b.w / 2, b.y + std::min(b.h, 20) / 2};
}

void TBoardPanelView::PaintElement(QPainter& p, const PanelElement& e, const QRect& r) {
  switch (e.kind) {
    case PanelKind::Led: {
      const bool on = Board::Field(panel_, e) != 0;
      p.setPen(kFrame);
      p.setBrush(on ? kLit : kDark);
      p.drawEllipse(r.adjusted(2, 2, -2, -2));
      break;
    }
    case PanelKind::Switch: {
      const bool up = Board::Field(panel_, e) != 0;
      p.setPen(kFrame);
      p.setBrush(QColor(40, 40, 40));
      p.drawRoundedRect(r.adjusted(4, 0, -4, -1), 3, 3);
      const QRect knob(r.left() + 6, up ? r.top() + 2 : r.center().y() + 1, r.width() - 12,
                       r.height() / 2 - 3);
      p.setBrush(up ? QColor(240, 240, 240) : QColor(150, 150, 150));
      p.drawRect(knob);
      break;
    }
    case PanelKind::Button: {
      const bool down = Board::Field(panel_, e) != 0;
      p.setPen(kFrame);
      p.setBrush(QColor(110, 110, 110));
      p.drawRect(r.adjusted(0, 0, -1, -1));
      p.setBrush(down ? QColor(60, 60, 200) : QColor(120, 150, 255));
      p.drawEllipse(r.adjusted(down ? 6 : 4, down ? 6 : 4, down ? -6 : -4, down ? -6 : -4));
      break;
    }
    case PanelKind::Digit: PaintDigit(p, r, Board::Field(panel_, e)); break;
    case PanelKind::Pixels: {
      QImage image(static_cast<int>(e.width), static_cast<int>(e.height), QImage::Format_RGB32);
      uint32_t offset = e.offset;
      for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
          line[x] = 0xFF000000u | (Board::Read(panel_, offset++) & 0x00FFFFFFu);
        }
      }
      p.drawImage(r, image);
      break;
    }
    case PanelKind::Terminal: {
      p.fillRect(r, QColor(16, 16, 16));
      p.setPen(QColor(200, 255, 200));
      const int columns = static_cast<int>(e.width);
      const uint32_t cells = e.width * e.height;
      QString row;
      const QFontMetrics metrics(font());
      for (int y = 0; y < static_cast<int>(e.height); ++y) {
        row.clear();
        for (int x = 0; x < columns; ++x) {
          const uint32_t c =
              Board::Read(panel_, e.offset + static_cast<uint32_t>(y * columns + x)) & 0xFFu;
          row += c >= 0x20 && c < 0x7F ? QChar(static_cast<char16_t>(c)) : QChar(' ');
        }
        p.drawText(r.left() + 2, r.top() + 2 + y * charH_ + metrics.ascent(), row);
      }
      const uint32_t cursor = Board::Read(panel_, e.offset + cells);
      if (cursor <= cells) {
        const int cx = static_cast<int>(cursor % e.width), cy = static_cast<int>(cursor / e.width);
        if (cy < static_cast<int>(e.height)) {
          const QRect block(r.left() + 2 + cx * charW_, r.top() + 2 + cy * charH_, charW_, charH_);
          if (hasFocus()) {
            p.fillRect(block, QColor(200, 255, 200, 160));
          } else {
            p.drawRect(block.adjusted(0, 0, -1, -1));
          }
        }
      }
      break;
    }
  }
}

void TBoardPanelView::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  const std::vector<PanelElement>& elements = panel_.description.elements;
  painted_.resize(elements.size(), 0);
  for (size_t i = 0; i < elements.size(); ++i) {
    const PanelElement& e = elements[i];
    if (!event->rect().intersects(CellRect(i))) continue;
    painted_[i] = Digest(i);
    // Smooth edges for the round lamps and buttons; pixels and text stay sharp and cheap.
    p.setRenderHint(QPainter::Antialiasing,
                    e.kind == PanelKind::Led || e.kind == PanelKind::Button);
    const tervik::board::Box& cell = layout_.cells[i];
    const tervik::board::Box size = tervik::board::ElementSize(e, charW_, charH_);
    const QRect picture(cell.x + (cell.w - size.w) / 2, cell.y, size.w, size.h);
    p.save();
    PaintElement(p, e, picture);
    p.restore();
    if (!e.label.empty()) {
      p.setPen(palette().color(QPalette::WindowText));
      QFont small = font();
      small.setPointSize(8);
      p.setFont(small);
      p.drawText(QRect(cell.x - 2, cell.y + size.h, cell.w + 4, tervik::board::kLabelHeight),
                 Qt::AlignCenter, QString::fromStdString(e.label));
      p.setFont(font());
    }
  }
}

void TBoardPanelView::Hand(const PanelElement& element, uint32_t value) {
  Board::Input(host_.Session().Cpu(), panel_, element.input, value);
  update();
}

void TBoardPanelView::mousePressEvent(QMouseEvent* event) {
  if (hasTerminal_) {
    setFocus(Qt::MouseFocusReason);
    update();  // the cursor shows the focus
  }
  const QPoint at = event->position().toPoint();
  const int hit = tervik::board::HitTest(layout_, at.x(), at.y());
  if (hit < 0 || event->button() != Qt::LeftButton) return;
  const PanelElement& e = panel_.description.elements[static_cast<size_t>(hit)];
  if (e.kind == PanelKind::Switch) {
    Hand(e, Board::Field(panel_, e) != 0 ? 0u : 1u);
  } else if (e.kind == PanelKind::Button) {
    pressed_ = hit;
    Hand(e, 1);
  }
}

void TBoardPanelView::mouseReleaseEvent(QMouseEvent* event) {
  if (pressed_ < 0 || event->button() != Qt::LeftButton) return;
  const PanelElement& e = panel_.description.elements[static_cast<size_t>(pressed_)];
  pressed_ = -1;
  Hand(e, 0);
}

void TBoardPanelView::keyPressEvent(QKeyEvent* event) {
  const PanelElement* terminal = nullptr;
  for (const PanelElement& e : panel_.description.elements) {
    if (e.kind == PanelKind::Terminal) terminal = &e;
  }
  if (terminal == nullptr) {
    QWidget::keyPressEvent(event);
    return;
  }
  uint32_t code = 0;
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    code = '\n';
  } else if (event->key() == Qt::Key_Backspace) {
    code = 8;
  } else if (!event->text().isEmpty() && event->text().at(0).unicode() < 0x80) {
    code = event->text().at(0).unicode();
  } else {
    QWidget::keyPressEvent(event);
    return;
  }
  Hand(*terminal, code);
}
