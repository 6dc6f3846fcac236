// The Source window's colours for Tervik assembly: a QScintilla lexer that styles each line by
// the assembler's own tokens (asm/SourceTokens.h), so that the editor and the assembler never
// disagree on what a word is. Its colours come from the desktop palette, a light and a dark set.
#pragma once

#include <Qsci/qscilexercustom.h>

#include <QColor>
#include <QFont>
#include <QPalette>

#include "SourceTokens.h"

class TAsmLexer final : public QsciLexerCustom {
  Q_OBJECT

 public:
  // One style per token kind, after the blanks' style.
  enum Style : int {
    Default = 0,
    Mnemonic,
    Pseudo,
    Directive,
    Register,
    Alias,
    Number,
    Label,
    Symbol,
    Function,
    String,
    Comment,
    Operator,
    Error,
    StyleCount
  };

  explicit TAsmLexer(QObject* parent = nullptr);

  // The style of a token kind.
  static int StyleOf(tervik::assembler::TokenKind kind);

  // The register aliases the text defines (its REG lines); the editor recolours after a change.
  void SetAliases(tervik::assembler::AliasNames aliases) { aliases_ = std::move(aliases); }
  const tervik::assembler::AliasNames& Aliases() const { return aliases_; }

  // Takes the colours for a palette: a dark set where the base colour is dark.
  void UsePalette(const QPalette& palette);
  static bool IsDark(const QPalette& palette);

  const char* language() const override { return "Tervik assembly"; }
  QString description(int style) const override;
  QColor defaultColor(int style) const override;
  QColor defaultPaper(int style) const override;
  QFont defaultFont(int style) const override;
  void styleText(int start, int end) override;

 private:
  tervik::assembler::AliasNames aliases_;
  QColor colors_[StyleCount];
  QColor paper_;
  QFont font_;
};
