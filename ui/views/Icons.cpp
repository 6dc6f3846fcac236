// Tool bar icons painted on 16 x 16 pixmaps (and at twice the size for high-density screens).
#include "Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

void Paint(QPainter& p, ToolIconKind kind) {
  p.setRenderHint(QPainter::Antialiasing);
  const QColor ink(40, 40, 40);
  switch (kind) {
    case ToolIconKind::Exit: {  // an open door with an arrow leaving it
      p.setPen(QPen(ink, 1.2));
      p.setBrush(QColor(200, 170, 120));
      p.drawRect(QRectF(2.5, 1.5, 7, 13));
      p.setPen(QPen(QColor(170, 20, 20), 2.0, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(7, 8), QPointF(14, 8));
      p.drawLine(QPointF(11, 5), QPointF(14, 8));
      p.drawLine(QPointF(11, 11), QPointF(14, 8));
      break;
    }
    case ToolIconKind::Reset: {  // a circular arrow
      p.setPen(QPen(QColor(20, 90, 170), 2.0, Qt::SolidLine, Qt::RoundCap));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, 290 * 16);
      QPainterPath head;
      head.moveTo(9.5, 0.5);
      head.lineTo(13.5, 3.5);
      head.lineTo(9.0, 6.0);
      head.closeSubpath();
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(20, 90, 170));
      p.drawPath(head);
      break;
    }
    case ToolIconKind::JumpToCursor: {  // an arrow pointing at a framed row
      p.setPen(QPen(ink, 1.0));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(6.5, 5.5, 8, 5));
      p.setPen(QPen(QColor(128, 0, 0), 2.0, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(1.5, 8), QPointF(5, 8));
      p.drawLine(QPointF(3, 5.5), QPointF(5, 8));
      p.drawLine(QPointF(3, 10.5), QPointF(5, 8));
      break;
    }
    case ToolIconKind::TraceInto: {  // one step down into a line
      p.setPen(QPen(ink, 1.0));
      for (int y : {3, 7, 11}) p.drawLine(QPointF(8, y + 0.5), QPointF(15, y + 0.5));
      p.setPen(QPen(QColor(20, 120, 40), 2.0, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(2, 2), QPointF(2, 7.5));
      p.drawLine(QPointF(2, 7.5), QPointF(6, 7.5));
      p.drawLine(QPointF(4, 5.5), QPointF(6, 7.5));
      p.drawLine(QPointF(4, 9.5), QPointF(6, 7.5));
      break;
    }
    case ToolIconKind::Run: {  // a green triangle
      QPainterPath play;
      play.moveTo(4, 2);
      play.lineTo(14, 8);
      play.lineTo(4, 14);
      play.closeSubpath();
      p.setPen(QPen(QColor(10, 90, 20), 1.0));
      p.setBrush(QColor(40, 170, 60));
      p.drawPath(play);
      break;
    }
    case ToolIconKind::Stop: {  // a red square
      p.setPen(QPen(QColor(110, 10, 10), 1.0));
      p.setBrush(QColor(210, 40, 40));
      p.drawRoundedRect(QRectF(3.5, 3.5, 9, 9), 1.5, 1.5);
      break;
    }
    case ToolIconKind::StepOver: {  // an arc over a line to the line below it
      p.setPen(QPen(ink, 1.0));
      for (int y : {4, 12}) p.drawLine(QPointF(2, y + 0.5), QPointF(9, y + 0.5));
      p.setPen(QPen(QColor(20, 120, 40), 2.0, Qt::SolidLine, Qt::RoundCap));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(7, 3, 7, 9), -90 * 16, 180 * 16);
      p.drawLine(QPointF(10.5, 12), QPointF(12.5, 10));
      p.drawLine(QPointF(10.5, 12), QPointF(12.5, 14));
      break;
    }
    case ToolIconKind::StepOut: {  // an arrow leaving a bracket upwards
      p.setPen(QPen(ink, 1.0));
      p.drawLine(QPointF(3.5, 6), QPointF(3.5, 14.5));
      p.drawLine(QPointF(3.5, 14.5), QPointF(12.5, 14.5));
      p.drawLine(QPointF(12.5, 14.5), QPointF(12.5, 6));
      p.setPen(QPen(QColor(20, 120, 40), 2.0, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(8, 11), QPointF(8, 2));
      p.drawLine(QPointF(5.5, 4.5), QPointF(8, 2));
      p.drawLine(QPointF(10.5, 4.5), QPointF(8, 2));
      break;
    }
    case ToolIconKind::RunToCursor: {  // a green triangle before a framed row
      QPainterPath play;
      play.moveTo(1.5, 3);
      play.lineTo(8, 8);
      play.lineTo(1.5, 13);
      play.closeSubpath();
      p.setPen(QPen(QColor(10, 90, 20), 1.0));
      p.setBrush(QColor(40, 170, 60));
      p.drawPath(play);
      p.setPen(QPen(ink, 1.0));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(9.5, 5.5, 5, 5));
      break;
    }
    case ToolIconKind::Breakpoints: {  // two red dots beside lines
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(210, 40, 40));
      p.drawEllipse(QRectF(1.5, 2, 5, 5));
      p.drawEllipse(QRectF(1.5, 9, 5, 5));
      p.setPen(QPen(ink, 1.0));
      for (int y : {4, 11}) p.drawLine(QPointF(8, y + 0.5), QPointF(15, y + 0.5));
      break;
    }
  }
}

QPixmap Draw(ToolIconKind kind, int scale) {
  QPixmap pixmap(16 * scale, 16 * scale);
  pixmap.setDevicePixelRatio(scale);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  Paint(p, kind);
  return pixmap;
}

}  // namespace

QIcon ToolIcon(ToolIconKind kind) {
  QIcon icon;
  icon.addPixmap(Draw(kind, 1));
  icon.addPixmap(Draw(kind, 2));
  return icon;
}
