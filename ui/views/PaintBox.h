// Pieces shared by the inspection windows: a paint box that hands its paint, mouse, wheel and
// key events to its window, the step-only scroll bar, the paint font, and a reusable text buffer.
#pragma once

#include <QColor>
#include <QFont>
#include <QScrollBar>
#include <QString>
#include <QWidget>
#include <functional>
#include <string_view>
#include <vector>

#include "ViewGeometry.h"

class QMenu;
class QPainter;

// A widget that its window paints (PB1). It paints nothing itself and holds no state.
class TPaintBox final : public QWidget {
 public:
  explicit TPaintBox(QWidget* parent);

  std::function<void(QPainter&)> OnPaint;
  // Button press at (x, y) in the box's pixels, any button, any modifiers.
  std::function<void(int x, int y)> OnMouseDown;
  // Left-button double-click at (x, y). Without it a double-click is a second press, as the
  // toolkit delivers it.
  std::function<void(int x, int y)> OnDoubleClick;
  // A wheel turn: the vertical angle delta in eighths of a degree (120 a notch). Without it the
  // event goes on to the parent.
  std::function<void(int delta)> OnWheel;
  // A key press; true when the window used it, otherwise it goes on to the parent.
  std::function<bool(int key, Qt::KeyboardModifiers modifiers)> OnKey;
  // The context menu's sections: each adds its actions for the point (x, y), or none there.
  // Several parts of the window contribute to one menu, which shows only when it has actions.
  std::vector<std::function<void(QMenu& menu, int x, int y)>> ContextEntries;
  // The context menu at (x, y): every section's actions, separated.
  void FillContextMenu(QMenu& menu, int x, int y) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
};

// The paint font of the inspection windows: "Courier New" at 11 pixels. Full hinting gives every
// character an advance of whole pixels, so each column lies exactly on a multiple of CharWidth.
QFont InspectionFont();

// The row metrics of a paint font: the height and the width of the text "W".
struct TextMetrics {
  int lineHeight;
  int charWidth;
};
TextMetrics MeasureW(const QFont& font);

// A vertical scroll bar (ScrollBar1) 16 pixels wide that serves only as two arrows and a track:
// range -100..100, page size 0, thumb at 0. The owner connects actionTriggered and calls
// ScrollCodeOf and RecentreThumb.
QScrollBar* MakeStepScrollBar(QWidget* parent);

// The client of a scrolled inspection window: a paint box with a step scroll bar at its right.
struct ScrolledPaintArea {
  QWidget* client;
  TPaintBox* box;
  QScrollBar* bar;
};
ScrolledPaintArea MakeScrolledPaintArea(QWidget* parent);

// The colours the inspection windows paint with.
namespace inspection {
inline const QColor kWhite(255, 255, 255);
inline const QColor kMaroon(128, 0, 0);
inline const QColor kRed(255, 0, 0);
inline const QColor kBlack(0, 0, 0);
inline const QColor kGreen(0, 128, 0);
inline const QColor kNavy(0, 0, 128);      // labels
inline const QColor kPurple(128, 0, 128);  // the labels words reach
}  // namespace inspection
tervik::view::ScrollCode ScrollCodeOf(int sliderAction);
// Puts the thumb back to the middle; called from actionTriggered, before the value follows.
void RecentreThumb(QScrollBar* bar);
// The scroll step a navigation key asks for: Up, Down, Page Up, Page Down; Other for the rest.
tervik::view::ScrollCode ScrollCodeOfKey(int key);
// Hands wheel turns over the scroll bar to the paint box's OnWheel, so that the wheel moves the
// view by rows wherever it is turned over the window (the bar's own wheel handling would only
// drag the thumb, which moves nothing).
void RouteWheelToBox(QScrollBar* bar, TPaintBox* box);

// A text buffer that paint code refills for every piece it draws, so drawing a row allocates
// nothing of its own once the buffer has grown to the longest text.
class TextScratch {
 public:
  // The bytes as Latin-1, or as UTF-8 when they hold any byte above 0x7F and form valid UTF-8.
  const QString& Set(std::string_view bytes);

 private:
  QString text_;
};
