// The prompt the inspection windows ask for an address or a value with: one line that takes a
// number (hexadecimal, decimal, ...) or an expression of the debugger's expression language, and
// that stays open showing the error's column and message until the text is valid or the user
// cancels.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>

#include "ProcessorContext.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace tervik {
class Processor;
}

// Runs on the GUI thread. The text is evaluated as a 32-bit word (EvaluateWord) against the
// context when OK is pressed; the context must outlive the dialog.
class TValueInput final : public QDialog {
  Q_OBJECT

 public:
  TValueInput(QWidget* parent, const QString& caption, const QString& prompt, const QString& text,
              tervik::debug::EvalContext& context);

  // The value of the accepted text.
  uint32_t Value() const { return value_; }

  // Accepts a text that evaluates to a word; otherwise shows "col N: message", puts the text
  // cursor at that column and stays open.
  void accept() override;

  QLabel* Prompt1;
  QLineEdit* Edit1;
  QLabel* ErrorText;  // empty until a text fails
  QDialogButtonBox* Buttons;

 private:
  tervik::debug::EvalContext& context_;
  uint32_t value_ = 0;
};

// Asks for a word with a modal TValueInput whose expressions read `cpu`'s registers and memory;
// nothing when cancelled. The text starts as `text`, all of it selected.
std::optional<uint32_t> AskWord(QWidget* parent, const QString& caption, const QString& prompt,
                                const QString& text, tervik::Processor& cpu,
                                tervik::debug::SymbolLookup symbols = {});

// "0x" and eight upper-case hexadecimal digits: a value as a prompt's text starts, read back as
// the same value (eight bare digits would be read as decimal).
QString HexText(uint32_t value);
