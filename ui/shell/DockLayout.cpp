// The tool windows' default widths, first placement and the console's kept height.
#include "DockLayout.h"

#include <QDockWidget>
#include <QEvent>
#include <QMainWindow>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "Tfcpu.h"
#include "Tfdebug.h"
#include "Tfmem.h"
#include "Tfreg.h"

namespace tervik::ui {

namespace {

// The disassembly's columns before the comment: a margin of 2 characters, then 46 characters of
// address, word, mnemonic and operands.
constexpr int kColumnsBeforeComment = 2 + 46;
constexpr int kScrollBarWidth = 16;
constexpr int kGap = 8;
constexpr QSize kClassicSize(861, 613);
constexpr QSize kConsoleSize(508, 176);
// The room the main window needs around the two docked views: its frame, the splitter.
constexpr int kWindowFrame = 8;

}  // namespace

int DisassemblyDockWidth(int charWidth) {
  return (kColumnsBeforeComment + kCommentColumns) * charWidth + kScrollBarWidth + kDockFrame;
}

int RegisterDockWidth(int charWidth) {
  return kRegisterColumns * charWidth + kDockFrame;
}

QPoint BesideFrame(const QRect& frame, const QSize& size, const QRect& room) {
  QPoint at = frame.topRight() + QPoint(1 + kGap, 0);
  if (room.isValid()) {
    at.setX(std::max(room.left(), std::min(at.x(), room.right() + 1 - size.width())));
    at.setY(std::max(room.top(), std::min(at.y(), room.bottom() + 1 - size.height())));
  }
  return at;
}

void PlaceBeside(const QMainWindow& main, QDockWidget& dock) {
  const QScreen* screen = main.screen();
  const QRect room = screen != nullptr ? screen->availableGeometry() : QRect();
  dock.move(BesideFrame(main.frameGeometry(), dock.frameGeometry().size(), room));
}

QSize DefaultWindowSize(int charWidth, const QRect& room) {
  const int wanted = DisassemblyDockWidth(charWidth) + RegisterDockWidth(charWidth) + kWindowFrame;
  QSize size(std::max(kClassicSize.width(), wanted), kClassicSize.height());
  if (room.isValid()) size = size.boundedTo(room.size());
  return size;
}

void SetFloatingSizes(TFCPU& cpu, TFReg& reg, TFDebug& console, TFMem& memory) {
  cpu.SetFloatingSize({221, 411});
  reg.SetFloatingSize({353, 439});
  console.SetFloatingSize(kConsoleSize);
  memory.SetFloatingSize({358, 338});
}

void ApplyDefaultLayout(QMainWindow& main, TFCPU& cpu, TFReg& reg, TFDebug& console, TFMem& memory,
                        bool resizeWindow) {
  const int charWidth = cpu.CharWidth();
  if (resizeWindow) {
    const QScreen* screen = main.screen();
    main.resize(
        DefaultWindowSize(charWidth, screen != nullptr ? screen->availableGeometry() : QRect()));
  }
  for (QDockWidget* dock : std::initializer_list<QDockWidget*>{&cpu, &reg, &console}) {
    dock->setFloating(false);
    dock->show();
  }
  main.addDockWidget(Qt::TopDockWidgetArea, &cpu);
  main.splitDockWidget(&cpu, &reg, Qt::Horizontal);
  main.addDockWidget(Qt::BottomDockWidgetArea, &console);
  // The registers get what their rows need, the disassembly the rest, which is at least what its
  // columns need whenever the window is as wide as DefaultWindowSize.
  const int regWidth = RegisterDockWidth(reg.CharWidth());
  main.resizeDocks({&cpu, &reg}, {std::max(1, main.width() - regWidth - kWindowFrame), regWidth},
                   Qt::Horizontal);
  main.resizeDocks({&cpu, &console}, {main.height() - kConsoleSize.height(), kConsoleSize.height()},
                   Qt::Vertical);
  // The memory dump floats, hidden until "Show memory"; it can be docked later like the others.
  if (main.dockWidgetArea(&memory) == Qt::NoDockWidgetArea)
    main.addDockWidget(Qt::RightDockWidgetArea, &memory);
  memory.hide();
  memory.setFloating(true);
  memory.resize(358, 338);
}

ConsoleHeightKeeper::ConsoleHeightKeeper(QMainWindow& main, QDockWidget& console)
    : QObject(&main), main_(main), console_(console), mainHeight_(main.height()) {
  main.installEventFilter(this);
  console.installEventFilter(this);
}

bool ConsoleHeightKeeper::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::Resize) return QObject::eventFilter(watched, event);
  const bool docked = !console_.isHidden() && !console_.isFloating() &&
                      main_.dockWidgetArea(&console_) == Qt::BottomDockWidgetArea;
  if (watched == &console_) {
    // The console's own height changes while the window keeps its height only when the user
    // moves the splitter or docks it: that is the height to keep.
    if (docked && main_.height() == mainHeight_) height_ = console_.height();
  } else if (watched == &main_ && main_.height() != mainHeight_) {
    // The window's layout has already shared the change out (mostly to the console); the
    // console gets its kept height back once that is done.
    const bool first = mainHeight_ < 0 || !static_cast<QResizeEvent*>(event)->oldSize().isValid();
    mainHeight_ = main_.height();
    if (!first && docked && height_ > 0) {
      QTimer::singleShot(0, this, [this] { RestoreHeight(); });
    }
  }
  return QObject::eventFilter(watched, event);
}

void ConsoleHeightKeeper::RestoreHeight() {
  if (console_.isFloating() || console_.isHidden()) return;
  // Qt moves the boundary between two areas only when it is given a dock on each side.
  for (QDockWidget* dock : main_.findChildren<QDockWidget*>()) {
    if (dock != &console_ && !dock->isHidden() && !dock->isFloating() &&
        main_.dockWidgetArea(dock) == Qt::TopDockWidgetArea) {
      const int gained = console_.height() - height_;
      main_.resizeDocks({dock, &console_}, {dock->height() + gained, height_}, Qt::Vertical);
      return;
    }
  }
}

}  // namespace tervik::ui
