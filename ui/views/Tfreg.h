// The register window (FReg, caption "CPU registers"): PC, IM, SP and LFSR; SR with the flags O,
// C, Z and N; R00 to R31 in two columns. A value is red when the last step changed it. A
// double-click on a register's label or value edits it.
#pragma once

#include <QFont>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "DebugHost.h"
#include "Expression.h"
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

// A RegisterText's target when it shows no register.
inline constexpr uint8_t kNoRegister = 0xFF;

// One text of the register window at a row (0..17) and a character column. `target` is the
// register (a tervik::debug::RegisterId) that the text is the label or the value of; the flags'
// texts belong to SR.
struct RegisterText {
  uint8_t row;
  uint8_t column;
  uint8_t length;
  RegisterInk ink;
  uint8_t target;
  char text[10];

  std::string_view View() const { return {text, length}; }
};

inline constexpr int kRegisterRows = 18;
// Row 1: four labels and four values; row 2: five and five; rows 3..18: four each.
inline constexpr size_t kRegisterTexts = 8 + 10 + 16 * 4;
using RegisterTexts = std::array<RegisterText, kRegisterTexts>;

// Lays out the 18 rows from the processor's current state and change markers, in drawing order.
void LayoutRegisterRows(const tervik::Processor& cpu, RegisterTexts& out);

// The register whose label or value covers character `column` of `row` in the laid-out texts.
std::optional<tervik::debug::RegisterId> RegisterAt(const RegisterTexts& texts, int row,
                                                    int column);

// The register's name as the window labels it: "PC", "SR", "R05".
std::string RegisterName(tervik::debug::RegisterId id);

// Runs on the GUI thread. Reads the main window's processor when it paints; holds no copy of it.
class TFReg final : public TToolDock {
  Q_OBJECT

 public:
  // `host` gives the session the view shows; it outlives the view.
  TFReg(QWidget* parent, DebugHost* host);

  // Requests a repaint from the current processor state.
  void UpdateView();

  int LineHeight() const { return LineHeight_; }
  int CharWidth() const { return CharWidth_; }

  // The register drawn at (x, y) of the paint area, label or value.
  std::optional<tervik::debug::RegisterId> RegisterAtPoint(int x, int y);
  // Asks for a new value of the register and writes it (EditRegister), then refreshes the views.
  // Does nothing during a run.
  void EditRegisterValue(tervik::debug::RegisterId id);

  void PB1Paint(QPainter& painter);
  // A double-click on a register's label or value edits it.
  void PB1DoubleClick(int x, int y);

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

  DebugHost* host_;
};

extern TFReg* FReg;
