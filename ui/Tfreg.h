// The register window (FReg, caption "CPU registers"): PC, IM, SP and LFSR; SR with the flags O,
// C, Z and N; R00 to R31 in two columns. A value is red when the last step changed it.
#pragma once

#include <QFont>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "PaintBox.h"
#include "ToolDock.h"

class QFrame;
class QPainter;
class QScrollArea;

namespace tervik {
class Processor;
}

// How a text of the register window is coloured.
enum class RegisterInk : uint8_t { Label, Value, Changed };

// One text of the register window at a row (0..17) and a character column.
struct RegisterText {
  uint8_t row;
  uint8_t column;
  uint8_t length;
  RegisterInk ink;
  char text[10];

  std::string_view View() const { return {text, length}; }
};

inline constexpr int kRegisterRows = 18;
// Row 1: four labels and four values; row 2: five and five; rows 3..18: four each.
inline constexpr size_t kRegisterTexts = 8 + 10 + 16 * 4;
using RegisterTexts = std::array<RegisterText, kRegisterTexts>;

// Lays out the 18 rows from the processor's current state and change markers, in drawing order.
void LayoutRegisterRows(const tervik::Processor& cpu, RegisterTexts& out);

// Runs on the GUI thread. Reads the main window's processor when it paints; holds no copy of it.
class TFReg final : public TToolDock {
  Q_OBJECT

 public:
  explicit TFReg(QWidget* parent);

  // Requests a repaint from the current processor state.
  void UpdateView();

  int LineHeight() const { return LineHeight_; }
  int CharWidth() const { return CharWidth_; }

  void PB1Paint(QPainter& painter);

  QFrame* Panel1;
  QScrollArea* ScrollBox1;
  TPaintBox* PB1;

 private:
  void FormCreate();

  QFont font_;
  int ascent_ = 0;
  int LineHeight_ = 1;
  int CharWidth_ = 1;
  RegisterTexts texts_{};
  TextScratch scratch_;
};

extern TFReg* FReg;
