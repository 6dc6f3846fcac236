// The memory dump window (FMem, caption "Memory dump"): four words a row, each row led by the
// address of its first word; the word the last step stored is red.
// Navigation and editing: the mouse wheel scrolls 3 rows a notch; Up, Down, Page Up and Page Down
// scroll a row or a page; Home goes to the lowest mapped address; Ctrl+G goes to a typed address;
// a double-click on a word edits it.
#pragma once

#include <QFont>
#include <cstdint>
#include <optional>

#include "DebugHost.h"
#include "PaintBox.h"
#include "ToolDock.h"
#include "ViewGeometry.h"

class QAction;
class QPainter;
class QScrollBar;

namespace tervik {
class Processor;
}

// Where Home takes the dump: the row of the lowest address any region serves; 0 without regions.
uint32_t DumpHomeAddress(const tervik::Processor& cpu);

// Runs on the GUI thread. Reads the main window's processor when it paints; holds no copy of it.
class TFMem final : public TToolDock {
  Q_OBJECT

 public:
  // `host` gives the session the view shows; it outlives the view.
  TFMem(QWidget* parent, DebugHost* host);

  // Requests a repaint from the current processor state.
  void UpdateView();

  // Address of the first word of the first row; always a multiple of 4.
  uint32_t TopAddress() const { return TopAddress_; }
  int LineHeight() const { return LineHeight_; }
  int CharWidth() const { return CharWidth_; }

  static constexpr uint32_t kWordsPerRow = tervik::view::kDumpWordsPerRow;
  static constexpr int kWordColumn = tervik::view::kDumpWordColumn;  // "%08X  ": the address
  static constexpr int kWordWidth = tervik::view::kDumpWordWidth;    // "%08X ": a word, a blank

  // Puts the row that holds address a at the top.
  void GoToAddress(uint32_t a);
  // The address of the word drawn at (x, y) of the paint area, or nothing off the words.
  std::optional<uint32_t> WordAt(int x, int y) const;
  // Asks for a new value of the word at a and writes it (EditMemoryWord), then refreshes the
  // views. Does nothing during a run.
  void EditWord(uint32_t a);

  void PB1Paint(QPainter& painter);
  void ScrollBar1Scroll(int sliderAction);
  // A wheel turn of `delta` eighths of a degree (120 a notch, 3 rows); partial turns add up.
  void PB1Wheel(int delta);
  // Up, Down, Page Up, Page Down and Home; false for every other key. Nothing moves during a run.
  bool PB1KeyDown(int key, Qt::KeyboardModifiers modifiers);
  // A double-click on a word edits it.
  void PB1DoubleClick(int x, int y);
  // Ctrl+G: asks for an address (a number or an expression) and shows its row at the top.
  void ActionGoToAddressExecute();

  TPaintBox* PB1;
  QScrollBar* ScrollBar1;
  QAction* ActionGoToAddress;

 private:
  void FormCreate();

  QFont font_;
  int ascent_ = 0;
  uint32_t TopAddress_ = 0;
  int LineHeight_ = 1;
  int CharWidth_ = 1;
  int wheelPending_ = 0;  // wheel units short of a whole row
  TextScratch scratch_;

  DebugHost* host_;
};

extern TFMem* FMem;
