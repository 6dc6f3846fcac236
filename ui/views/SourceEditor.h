// One tab of the Source window: a QScintilla editor for one assembler source file with line
// numbers, a margin for breakpoints, error markers and the line of pc, squiggles under errors,
// and the file's bytes kept exactly as they are (no re-encoding on load or save). Positions and
// columns are bytes, as the assembler counts them.
#pragma once

#include <Qsci/qsciscintilla.h>

#include <QDateTime>
#include <QString>
#include <QTimer>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "LineShifts.h"
#include "SourceTokens.h"

class TAsmLexer;

class TSourceEditor final : public QsciScintilla {
  Q_OBJECT

 public:
  // The margin markers.
  enum Marker : int { kBreakpointMarker = 0, kErrorMarker, kPcMarker, kPcLineMarker };
  static constexpr int kErrorIndicator = 8;  // a squiggle under an error's columns
  static constexpr int kSymbolMargin = 1;    // breakpoints, errors and pc; clicks toggle

  // `path` empty: a new source not yet saved.
  TSourceEditor(QString path, QWidget* parent = nullptr);

  const QString& Path() const { return path_; }
  void SetPath(const QString& path) { path_ = path; }
  // The name the tab shows: the file's name, or "untitled.asm".
  QString Title() const;

  // The whole text as bytes, and replacing it (undo history and modified state cleared).
  std::string Bytes() const;
  void SetBytes(std::string_view bytes);
  // Reads the file at Path() / writes the text there; false with `error` set when that failed.
  bool Load(std::string& error);
  bool Save(std::string& error);
  // When the file was last read or written by this editor.
  const QDateTime& DiskStamp() const { return stamp_; }

  // One line's bytes without its line end; lines count from 1.
  std::string LineBytes(int line) const;
  int LineCountBytes() const;
  // Where the cursor is: line from 1, byte column from 1.
  int CursorLine() const;
  void SetCursor(int line, int column);
  // The line and column (from 1) of a byte position.
  std::pair<int, int> LineColumnAt(long position) const;

  // The token under a byte position, with its text; nothing over blanks.
  struct TokenAt {
    tervik::assembler::Token token;
    std::string text;
    int line = 0;
  };
  std::optional<TokenAt> TokenAtPosition(long position) const;

  // ---- Markers ----
  struct Diagnostic {
    int line = 0;  // from 1
    int column = 0;
    int length = 0;  // bytes the squiggle covers
    QString message;
  };
  // Replaces the error markers and squiggles; a diagnostic's length is the token at its column
  // (or the rest of the line).
  void SetDiagnostics(const std::vector<Diagnostic>& diagnostics);
  const std::vector<Diagnostic>& Diagnostics() const { return diagnostics_; }
  // The message of the error under a byte position, or empty.
  QString DiagnosticAt(long position) const;
  void SetBreakpointLines(const std::vector<int>& lines);
  // The line of pc (0: none here); scrolled into view when `show`.
  void SetPcLine(int line, bool show);
  int PcLine() const { return pcLine_; }
  bool HasMarker(int line, Marker marker) const;

  // The lines added and removed since the text was last assembled (or loaded), which move the
  // line table's lines in this text.
  const tervik::assembler::LineShifts& Shifts() const { return shifts_; }
  // The text is the one the line table was made from.
  void MarkAssembled() { shifts_.Clear(); }

  TAsmLexer* Lexer() const { return lexer_; }
  // Recolours the whole text after the REG aliases changed.
  void UpdateAliases();

 signals:
  // A click in the symbol margin on `line` (from 1).
  void marginLineClicked(int line);
  // Ctrl+click on a byte position.
  void definitionClicked(long position);
  void hoverAt(long position, QPoint global);

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  // Records an insertion or removal of whole lines (Scintilla's modification notice).
  void TextModified(int position, int type, const char* text, int length, int linesAdded);

  QString path_;
  QDateTime stamp_;
  TAsmLexer* lexer_;
  std::vector<Diagnostic> diagnostics_;
  int pcLine_ = 0;
  tervik::assembler::LineShifts shifts_;
  QTimer aliasTimer_;  // the aliases are looked for again once typing pauses
};
