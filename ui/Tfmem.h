// The memory dump window (FMem, caption "Memory dump"): four words a row, each row led by the
// address of its first word; the word the last step stored is red.
#pragma once

#include <QFont>
#include <cstdint>

#include "PaintBox.h"
#include "ToolDock.h"

class QPainter;
class QScrollBar;

// Runs on the GUI thread. Reads the main window's processor when it paints; holds no copy of it.
class TFMem final : public TToolDock {
  Q_OBJECT

 public:
  explicit TFMem(QWidget* parent);

  // Requests a repaint from the current processor state.
  void UpdateView();

  // Address of the first word of the first row; always a multiple of 4.
  uint32_t TopAddress() const { return TopAddress_; }
  int LineHeight() const { return LineHeight_; }
  int CharWidth() const { return CharWidth_; }

  static constexpr uint32_t kWordsPerRow = 4;
  static constexpr int kWordColumn = 10;  // "%08X  ": the address and two blanks
  static constexpr int kWordWidth = 9;    // "%08X ": a word and one blank

  void PB1Paint(QPainter& painter);
  void ScrollBar1Scroll(int sliderAction);

  TPaintBox* PB1;
  QScrollBar* ScrollBar1;

 private:
  void FormCreate();

  QFont font_;
  int ascent_ = 0;
  uint32_t TopAddress_ = 0;
  int LineHeight_ = 1;
  int CharWidth_ = 1;
  TextScratch scratch_;
};

extern TFMem* FMem;
