// The disassembly window (FCPU, caption "Memory"): one word per row with its address, the word,
// its disassembly in a mnemonic and an operand column, and the listing comment; the PC row on
// maroon, breakpoint marks in the left margin, a frame around the cursor row.
// Navigation: the mouse wheel scrolls 3 rows a notch; Up, Down, Page Up and Page Down move the
// cursor row and scroll to keep it in view; Home shows pc; Ctrl+G goes to a typed address.
#pragma once

#include <QFont>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "DebugHost.h"
#include "PaintBox.h"
#include "ToolDock.h"
#include "ViewGeometry.h"

class QAction;
class QPainter;
class QScrollBar;

// Everything one row shows, gathered before any of it is drawn. The views point into `text` and
// into the listing, so a row is filled and used in place, never copied.
struct DisassemblyRow {
  uint32_t address = 0;
  bool isPc = false;
  bool breakpoint = false;
  char head[tervik::view::kHeadLength] = {};  // "%08X %08X "
  char text[32] = {};                         // the disassembly; never longer than 23 characters
  std::string_view mnemonic;
  std::string_view operands;
  std::string_view comment;
  tervik::view::RowColumns columns{};
  const std::string* label = nullptr;   // a label at the address, when symbols are loaded
  const std::string* target = nullptr;  // the label the word branches, jumps or points to
};

// Runs on the GUI thread. Reads the main window's processor, listing and breakpoints when it
// paints; holds no copy of them.
class TFCPU final : public TToolDock {
  Q_OBJECT

 public:
  // `host` gives the session the view shows; it outlives the view.
  TFCPU(QWidget* parent, DebugHost* host);

  // Keeps address a in the whole rows shown: when it lies outside them, a becomes the top row.
  // Then repaints.
  void ShowAddress(uint32_t a);
  // Requests a repaint.
  void UpdateView();

  // The row the user last clicked outside the breakpoint margin.
  uint32_t CursorAddress() const { return CursorAddress_; }
  uint32_t TopAddress() const { return TopAddress_; }
  int LineHeight() const { return LineHeight_; }
  int CharWidth() const { return CharWidth_; }
  int MarginWidth() const { return MarginWidth_; }
  int MarkSize() const { return MarkSize_; }

  // Gathers what the row of `address` shows, with pc the program counter of this repaint.
  void PrepareRow(DisassemblyRow& row, uint32_t address, uint32_t pc) const;

  // Makes a the cursor row and keeps it in the whole rows shown, as ShowAddress does.
  void GoToAddress(uint32_t a);

  // The event handlers, public so that a test or a benchmark can drive them directly.
  void PB1Paint(QPainter& painter);
  void PB1MouseDown(int x, int y);
  void ScrollBar1Scroll(int sliderAction);
  // A wheel turn of `delta` eighths of a degree (120 a notch, 3 rows); partial turns add up.
  void PB1Wheel(int delta);
  // Up, Down, Page Up, Page Down and Home; false for every other key. Nothing moves during a run.
  bool PB1KeyDown(int key, Qt::KeyboardModifiers modifiers);
  // Ctrl+G: asks for an address (a number or an expression) and goes there.
  void ActionGoToAddressExecute();

  TPaintBox* PB1;
  QScrollBar* ScrollBar1;
  QAction* ActionGoToAddress;

 private:
  void FormCreate();
  void DrawText(QPainter& painter, int column, int y, std::string_view text, const QColor& ink,
                const QColor& back);

  QFont font_;
  int ascent_ = 0;
  uint32_t TopAddress_ = 0;
  uint32_t CursorAddress_ = 0;
  int LineHeight_ = 1;
  int CharWidth_ = 1;
  int MarginWidth_ = 2;
  int MarkSize_ = 1;
  int wheelPending_ = 0;  // wheel units short of a whole row
  TextScratch scratch_;

  DebugHost* host_;
};

extern TFCPU* FCPU;
