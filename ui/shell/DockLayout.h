// The tool windows' default layout: the widths the docked views need, where a window shown for
// the first time floats, and the console that keeps its height when the main window grows.
#pragma once

#include <QObject>

#include <QPoint>
#include <QRect>
#include <QSize>

class QDockWidget;
class QMainWindow;
class TFCPU;
class TFDebug;
class TFMem;
class TFReg;
class TToolDock;

namespace tervik::ui {

// The disassembly's comment column is given this many characters in the default layout; longer
// comments run past the edge as before.
inline constexpr int kCommentColumns = 48;
// A register row is 54 characters wide.
inline constexpr int kRegisterColumns = 54;
// Room for the frames, the scroll bar and the splitter beside a docked view.
inline constexpr int kDockFrame = 24;

// The width of the docked disassembly that shows the margin, address, word, mnemonic, operands
// and `kCommentColumns` of comment, with `charWidth` pixels a character.
int DisassemblyDockWidth(int charWidth);
// The width of the docked register window that shows a whole row.
int RegisterDockWidth(int charWidth);

// Where a window of `size` floats when first shown: right of the main window's `frame`, its top
// edge level with it, moved left and up as far as needed to stay inside `room` (the screen's
// available area), but never past its left or top edge.
QPoint BesideFrame(const QRect& frame, const QSize& size, const QRect& room);

// Moves `dock` beside `main` on main's screen (see BesideFrame).
void PlaceBeside(const QMainWindow& main, QDockWidget& dock);

// The main window's default size: wide enough for both docked views side by side (at least the
// classic 861 x 613), no wider than the screen's available area `room`.
QSize DefaultWindowSize(int charWidth, const QRect& room);

// Every tool window's size when undocked.
void SetFloatingSizes(TFCPU& cpu, TFReg& reg, TFDebug& console, TFMem& memory);

// The default layout: the disassembly and the registers docked side by side at the top, each as
// wide as its columns need, the console along the whole bottom, the memory dump floating and
// hidden. The main window takes its default size first when `resizeWindow` is set.
void ApplyDefaultLayout(QMainWindow& main, TFCPU& cpu, TFReg& reg, TFDebug& console, TFMem& memory,
                        bool resizeWindow);

// Keeps the docked console at its height when the main window changes its height, so that the
// inspection windows above it take what the window gains or loses. Runs on the GUI thread.
class ConsoleHeightKeeper final : public QObject {
  Q_OBJECT

 public:
  ConsoleHeightKeeper(QMainWindow& main, QDockWidget& console);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void RestoreHeight();

  QMainWindow& main_;
  QDockWidget& console_;
  int mainHeight_;  // the window's height the console's height was last kept at
  int height_ = 0;  // the console's height to keep; 0 until known
};

}  // namespace tervik::ui
