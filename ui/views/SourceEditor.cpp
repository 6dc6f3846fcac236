// The Source window's editor: bytes in and out, margins, markers and squiggles.
#include "SourceEditor.h"

#include <QEvent>
#include <QFileInfo>
#include <QMouseEvent>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "AsmLexer.h"
#include "Files.h"
#include "PathNames.h"
#include "SourceReader.h"

namespace {

constexpr int kDwellMs = 500;
// Marker bits in the symbol margin (the pc line's background marker shows in the text only).
constexpr int kMarginMask = (1 << TSourceEditor::kBreakpointMarker) |
                            (1 << TSourceEditor::kErrorMarker) | (1 << TSourceEditor::kPcMarker);

}  // namespace

TSourceEditor::TSourceEditor(QString path, QWidget* parent)
    : QsciScintilla(parent), path_(std::move(path)), lexer_(new TAsmLexer(this)) {
  setObjectName("SourceEditor");
  // Named after its file, so that a screen reader tells the tabs' editors apart.
  setAccessibleName("Source " + QFileInfo(path_).fileName());
  setUtf8(true);
  lexer_->UsePalette(palette());
  setLexer(lexer_);
  setTabWidth(8);
  setIndentationsUseTabs(false);
  setCaretLineVisible(false);
  setBraceMatching(NoBraceMatch);
  setWrapMode(WrapNone);
  setEolMode(EolUnix);
  setAutoIndent(true);

  // Margin 0: line numbers; margin 1: the symbols, clickable.
  setMarginType(0, NumberMargin);
  setMarginLineNumbers(0, true);
  // Wide enough for the highest line number, and one digit more.
  auto numberWidth = [this] {
    setMarginWidth(0, QString(QString::number(LineCountBytes()).size() + 1, '0'));
  };
  numberWidth();
  connect(this, &QsciScintilla::linesChanged, this, numberWidth);
  setMarginType(kSymbolMargin, SymbolMargin);
  setMarginWidth(kSymbolMargin, 16);
  setMarginSensitivity(kSymbolMargin, true);
  setMarginMarkerMask(kSymbolMargin, kMarginMask);
  setMarginMarkerMask(0, 0);
  markerDefine(Circle, kBreakpointMarker);
  setMarkerBackgroundColor(QColor(0xd0, 0x20, 0x20), kBreakpointMarker);
  setMarkerForegroundColor(QColor(0x80, 0x00, 0x00), kBreakpointMarker);
  markerDefine('!', kErrorMarker);
  setMarkerForegroundColor(QColor(0xd0, 0x00, 0x00), kErrorMarker);
  markerDefine(RightArrow, kPcMarker);
  setMarkerBackgroundColor(QColor(0xf0, 0xc0, 0x00), kPcMarker);
  setMarkerForegroundColor(QColor(0x60, 0x40, 0x00), kPcMarker);
  markerDefine(Background, kPcLineMarker);
  connect(this, &QsciScintilla::marginClicked, this,
          [this](int margin, int line, Qt::KeyboardModifiers) {
            if (margin == kSymbolMargin) emit marginLineClicked(line + 1);
          });

  indicatorDefine(SquiggleIndicator, kErrorIndicator);
  setIndicatorForegroundColor(QColor(0xe0, 0x00, 0x00), kErrorIndicator);
  SendScintilla(SCI_SETMOUSEDWELLTIME, kDwellMs);
  connect(this, &QsciScintillaBase::SCN_DWELLSTART, this, [this](int position, int x, int y) {
    if (position >= 0) emit hoverAt(position, viewport()->mapToGlobal(QPoint(x, y)));
  });
  changeEvent(nullptr);  // the colours that follow the palette
  aliasTimer_.setSingleShot(true);
  aliasTimer_.setInterval(400);
  connect(&aliasTimer_, &QTimer::timeout, this, &TSourceEditor::UpdateAliases);
  connect(this, &QsciScintillaBase::SCN_MODIFIED, this,
          [this](int position, int type, const char* text, int length, int linesAdded, int, int,
                 int, int, int) { TextModified(position, type, text, length, linesAdded); });
  connect(this, &QsciScintilla::textChanged, &aliasTimer_, qOverload<>(&QTimer::start));
}

QString TSourceEditor::Title() const {
  return path_.isEmpty() ? QString("untitled.asm") : QFileInfo(path_).fileName();
}

std::string TSourceEditor::Bytes() const {
  const auto* text = reinterpret_cast<const char*>(SendScintilla(SCI_GETCHARACTERPOINTER));
  const long length = SendScintilla(SCI_GETLENGTH);
  return text == nullptr ? std::string() : std::string(text, static_cast<size_t>(length));
}

void TSourceEditor::SetBytes(std::string_view bytes) {
  const std::string text(bytes);  // NUL-terminated for Scintilla
  // A file with NUL bytes loses nothing: the text goes in by length.
  SendScintilla(SCI_CLEARALL);
  SendScintilla(SCI_APPENDTEXT, static_cast<unsigned long>(text.size()), text.c_str());
  SendScintilla(SCI_EMPTYUNDOBUFFER);
  SendScintilla(SCI_SETSAVEPOINT);
  SendScintilla(SCI_GOTOPOS, 0L);
  shifts_.Clear();  // a new text: its lines are the file's
  UpdateAliases();
}

void TSourceEditor::TextModified(int position, int type, const char* text, int length,
                                 int linesAdded) {
  if (linesAdded == 0 || (type & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)) == 0) return;
  const long lineIndex = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(position));
  const int line = static_cast<int>(lineIndex) + 1;
  const bool lineStart =
      SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(lineIndex)) == position;
  if (linesAdded > 0) {
    // Inserted at the start of a line, the line itself moves down; inside it, its start stays
    // and the lines after it move.
    shifts_.Insert(lineStart ? line : line + 1, linesAdded);
    return;
  }
  // Whole lines removed (from a line's start up to another's start) are gone; otherwise the
  // removed line ends join `line`, which stays.
  const bool wholeLines = lineStart && text != nullptr && length > 0 &&
                          (text[length - 1] == '\n' || text[length - 1] == '\r');
  shifts_.Remove(wholeLines ? line : line + 1, -linesAdded);
}

bool TSourceEditor::Load(std::string& error) {
  std::string text;
  if (!tervik::platform::ReadRegularFile(tervik::platform::LocalPath(path_), text, error,
                                         tervik::assembler::kMaxSourceBytes))
    return false;
  SetBytes(text);
  stamp_ = QFileInfo(path_).lastModified();
  return true;
}

bool TSourceEditor::Save(std::string& error) {
  if (!tervik::platform::WriteWhole(tervik::platform::LocalPath(path_), Bytes())) {
    error = std::strerror(errno);
    return false;
  }
  SendScintilla(SCI_SETSAVEPOINT);
  stamp_ = QFileInfo(path_).lastModified();
  return true;
}

int TSourceEditor::LineCountBytes() const {
  return static_cast<int>(SendScintilla(SCI_GETLINECOUNT));
}

std::string TSourceEditor::LineBytes(int line) const {
  if (line < 1 || line > LineCountBytes()) return {};
  const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line - 1));
  const long end = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line - 1));
  const auto* text = reinterpret_cast<const char*>(SendScintilla(SCI_GETCHARACTERPOINTER));
  return std::string(text + start, static_cast<size_t>(end - start));
}

int TSourceEditor::CursorLine() const {
  return LineColumnAt(SendScintilla(SCI_GETCURRENTPOS)).first;
}

std::pair<int, int> TSourceEditor::LineColumnAt(long position) const {
  const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(position));
  const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
  return {static_cast<int>(line + 1), static_cast<int>(position - start + 1)};
}

void TSourceEditor::SetCursor(int line, int column) {
  line = std::clamp(line, 1, LineCountBytes());
  const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line - 1));
  const long end = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line - 1));
  const long at = std::min(end, start + std::max(column, 1) - 1);
  SendScintilla(SCI_GOTOPOS, static_cast<unsigned long>(at));
  ensureLineVisible(line - 1);
  SendScintilla(SCI_SCROLLCARET);
}

std::optional<TSourceEditor::TokenAt> TSourceEditor::TokenAtPosition(long position) const {
  const auto [line, column] = LineColumnAt(position);
  const std::string text = LineBytes(line);
  for (const tervik::assembler::Token& t :
       tervik::assembler::TokenizeLine(text, lexer_->Aliases())) {
    const int from = static_cast<int>(t.column);
    if (column >= from && column < from + static_cast<int>(t.length)) {
      return TokenAt{t, text.substr(t.column - 1, t.length), line};
    }
  }
  return std::nullopt;
}

void TSourceEditor::SetDiagnostics(const std::vector<Diagnostic>& diagnostics) {
  markerDeleteAll(kErrorMarker);
  SendScintilla(SCI_SETINDICATORCURRENT, static_cast<unsigned long>(kErrorIndicator));
  SendScintilla(SCI_INDICATORCLEARRANGE, 0UL, SendScintilla(SCI_GETLENGTH));
  diagnostics_.clear();
  for (Diagnostic d : diagnostics) {
    if (d.line < 1 || d.line > LineCountBytes()) continue;
    const std::string text = LineBytes(d.line);
    d.column = std::clamp(d.column, 1, static_cast<int>(text.size()) + 1);
    if (d.length <= 0) {
      d.length = static_cast<int>(text.size()) + 1 - d.column;
      for (const tervik::assembler::Token& t :
           tervik::assembler::TokenizeLine(text, lexer_->Aliases())) {
        if (d.column >= static_cast<int>(t.column) &&
            d.column < static_cast<int>(t.column + t.length)) {
          d.length = static_cast<int>(t.column + t.length) - d.column;
          break;
        }
      }
      d.length = std::max(d.length, 1);  // an error at the line's end still shows
    }
    markerAdd(d.line - 1, kErrorMarker);
    const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(d.line - 1));
    SendScintilla(SCI_INDICATORFILLRANGE, static_cast<unsigned long>(start + d.column - 1),
                  static_cast<long>(d.length));
    diagnostics_.push_back(std::move(d));
  }
}

QString TSourceEditor::DiagnosticAt(long position) const {
  const auto [line, column] = LineColumnAt(position);
  QString found;
  for (const Diagnostic& d : diagnostics_) {
    if (d.line != line) continue;
    // The squiggle's columns, or anywhere on the line when no squiggle is under the mouse.
    if (column >= d.column && column < d.column + d.length) return d.message;
    if (found.isEmpty()) found = d.message;
  }
  return found;
}

void TSourceEditor::SetBreakpointLines(const std::vector<int>& lines) {
  markerDeleteAll(kBreakpointMarker);
  for (int line : lines) {
    if (line >= 1 && line <= LineCountBytes()) markerAdd(line - 1, kBreakpointMarker);
  }
}

void TSourceEditor::SetPcLine(int line, bool show) {
  // Drawn anew each time: an edit may have moved the markers away from pcLine_.
  markerDeleteAll(kPcMarker);
  markerDeleteAll(kPcLineMarker);
  pcLine_ = line >= 1 && line <= LineCountBytes() ? line : 0;
  if (pcLine_ > 0) {
    markerAdd(pcLine_ - 1, kPcMarker);
    markerAdd(pcLine_ - 1, kPcLineMarker);
  }
  if (show && pcLine_ > 0) ensureLineVisible(pcLine_ - 1);
}

bool TSourceEditor::HasMarker(int line, Marker marker) const {
  if (line < 1 || line > LineCountBytes()) return false;
  return (markersAtLine(line - 1) & (1u << marker)) != 0;
}

void TSourceEditor::UpdateAliases() {
  tervik::assembler::AliasNames aliases = tervik::assembler::FindAliases(Bytes());
  if (aliases == lexer_->Aliases()) return;
  lexer_->SetAliases(std::move(aliases));
  recolor();
}

void TSourceEditor::mouseReleaseEvent(QMouseEvent* e) {
  QsciScintilla::mouseReleaseEvent(e);
  if (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ControlModifier)) {
    const QPoint p = e->position().toPoint();
    const long position = SendScintilla(
        SCI_POSITIONFROMPOINTCLOSE, static_cast<unsigned long>(p.x()), static_cast<long>(p.y()));
    if (position >= 0) emit definitionClicked(position);
  }
}

// The pc line's background and the margins follow the palette, light or dark.
void TSourceEditor::changeEvent(QEvent* e) {
  if (e != nullptr) QsciScintilla::changeEvent(e);
  if (e != nullptr && e->type() != QEvent::PaletteChange) return;
  const QPalette p = palette();
  const bool dark = TAsmLexer::IsDark(p);
  setMarkerBackgroundColor(dark ? QColor(0x5a, 0x4a, 0x10) : QColor(0xff, 0xf0, 0xa0),
                           kPcLineMarker);
  setMarginsBackgroundColor(p.color(QPalette::Window));
  setMarginsForegroundColor(p.color(QPalette::WindowText));
  setCaretForegroundColor(p.color(QPalette::Text));
  if (e != nullptr) {
    lexer_->UsePalette(p);
    recolor();
  }
}
