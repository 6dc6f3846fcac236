// The Source window's debugging: breakpoints by line, pc's line, Run to cursor's address, values
// on hover, and going to a label's definition and back.
#include <QApplication>
#include <QFileInfo>
#include <QToolTip>
#include <algorithm>
#include <filesystem>

#include "AsmLexer.h"
#include "Expression.h"
#include "Files.h"
#include "PathNames.h"
#include "ProcessorContext.h"
#include "SourceEditor.h"
#include "SourceWindow.h"
#include "Text.h"

namespace {

using tervik::assembler::TokenKind;

std::string Hex8(uint32_t v) {
  std::string s;
  tervik::lang::AppendHex8(s, v);
  return s;
}

// The register a REG line of `editor` names for `alias`, or empty.
std::string AliasRegister(const TSourceEditor& editor, const std::string& alias) {
  const int lines = editor.LineCountBytes();
  for (int line = 1; line <= lines; ++line) {
    const std::string text = editor.LineBytes(line);
    if (text.find(alias) == std::string::npos) continue;
    const auto tokens = tervik::assembler::TokenizeLine(text, editor.Lexer()->Aliases());
    for (size_t i = 0; i + 2 < tokens.size(); ++i) {
      if (tokens[i].kind == TokenKind::Label &&
          text.compare(tokens[i].column - 1, tokens[i].length, alias) == 0 &&
          tokens[i + 1].kind == TokenKind::Directive && tokens[i + 2].kind == TokenKind::Register) {
        return text.substr(tokens[i + 2].column - 1, tokens[i + 2].length);
      }
    }
  }
  return {};
}

}  // namespace

std::optional<uint32_t> TFSource::FileIndexOf(const TSourceEditor* editor) const {
  if (editor == nullptr || editor->Path().isEmpty()) return std::nullopt;
  return host_.Session().Lines().FileIndex(tervik::platform::LocalPath(editor->Path()));
}

bool TFSource::HasFocus() const {
  const QWidget* focus = QApplication::focusWidget();
  return focus != nullptr && (focus == this || isAncestorOf(focus));
}

// ---- Breakpoints ----

void TFSource::MarginClicked(TSourceEditor* editor, int line) {
  if (host_.Running()) return;
  const std::optional<uint32_t> file = FileIndexOf(editor);
  if (!file) {
    host_.Message("No breakpoint: assemble the source first");
    return;
  }
  // The line as it was assembled: lines added or removed since move the rest.
  const std::optional<int> assembled = editor->Shifts().Assembled(line);
  if (!assembled) {
    host_.Message("No breakpoint: line " + std::to_string(line) +
                  " is new since the program was assembled");
    return;
  }
  const std::optional<uint32_t> address =
      host_.Session().Lines().FirstAddress(*file, static_cast<unsigned>(*assembled));
  if (!address) {
    host_.Message("No breakpoint: line " + std::to_string(line) + " placed no word");
    return;
  }
  // A breakpoint on any word of the line is the line's: the click removes it.
  for (uint32_t b : host_.Session().Breakpoints()) {
    const tervik::LineRange* r = host_.Session().Lines().At(b);
    if (r != nullptr && r->file == *file && r->line == static_cast<unsigned>(*assembled)) {
      host_.ToggleBreakpoint(b);
      return;
    }
  }
  host_.ToggleBreakpoint(*address);
}

void TFSource::ShowBreakpoints() {
  if (tabs_->count() == 0) return;
  const tervik::LineTable& table = host_.Session().Lines();
  for (int i = 0; i < tabs_->count(); ++i) {
    TSourceEditor* e = EditorAt(i);
    std::vector<int> lines;
    if (const std::optional<uint32_t> file = FileIndexOf(e)) {
      for (uint32_t b : host_.Session().Breakpoints()) {
        const tervik::LineRange* r = table.At(b);
        if (r == nullptr || r->file != *file) continue;
        if (const std::optional<int> now = e->Shifts().Now(static_cast<int>(r->line))) {
          lines.push_back(*now);
        }
      }
    }
    e->SetBreakpointLines(lines);
  }
}

// ---- pc ----

void TFSource::ShowPc() {
  if (tabs_->count() == 0) return;
  const tervik::LineTable& table = host_.Session().Lines();
  const tervik::LineRange* r = table.At(host_.Session().Cpu().GetPC());
  TSourceEditor* at = nullptr;
  if (r != nullptr && r->file < table.Files().size()) {
    const QString path = tervik::platform::DisplayPath(table.Files()[r->file]);
    at = EditorFor(path);
    // pc entered an included file: its tab opens.
    if (at == nullptr) at = OpenFile(path, false);
    if (at != nullptr && at != Current()) tabs_->setCurrentWidget(at);
  }
  for (int i = 0; i < tabs_->count(); ++i) {
    TSourceEditor* e = EditorAt(i);
    // A line removed since the program was assembled shows no pc.
    const int line = e == at ? e->Shifts().Now(static_cast<int>(r->line)).value_or(0) : 0;
    e->SetPcLine(line, e == at);
  }
}

std::optional<uint32_t> TFSource::CursorAddress() const {
  const TSourceEditor* e = Current();
  const std::optional<uint32_t> file = FileIndexOf(e);
  if (!file) return std::nullopt;
  // The cursor's line, or the first line below it that placed a word (a comment, a label of its
  // own or a blank line places none).
  const tervik::LineTable& table = host_.Session().Lines();
  std::optional<uint32_t> best;
  unsigned bestLine = 0;
  const std::optional<int> cursor =
      e->Shifts().AssembledAtOrBelow(e->CursorLine(), e->LineCountBytes());
  if (!cursor) return std::nullopt;
  const unsigned from = static_cast<unsigned>(*cursor);
  for (const tervik::LineRange& r : table.Ranges()) {
    if (r.file != *file || r.line < from) continue;
    if (!best || r.line < bestLine || (r.line == bestLine && r.first < *best)) {
      best = r.first;
      bestLine = r.line;
    }
  }
  return best;
}

// ---- Hover ----

QString TFSource::HoverText(TSourceEditor* editor, long position) {
  if (editor == nullptr) return {};
  const QString error = editor->DiagnosticAt(position);
  if (!error.isEmpty() &&
      editor->HasMarker(editor->LineColumnAt(position).first, TSourceEditor::kErrorMarker)) {
    return error;
  }
  const std::optional<TSourceEditor::TokenAt> t = editor->TokenAtPosition(position);
  if (!t) return {};
  tervik::debug::Session& session = host_.Session();
  std::string name = t->text;
  std::string shown = t->text;
  if (t->token.kind == TokenKind::Alias) {
    name = AliasRegister(*editor, t->text);
    if (name.empty()) return {};
    shown = t->text + " (" + name + ")";
  }
  if (t->token.kind == TokenKind::Register || t->token.kind == TokenKind::Alias) {
    tervik::debug::ProcessorContext context(session.Cpu());
    const auto value = tervik::debug::EvaluateWord(name, context);
    if (!value.ok()) return {};
    return QString::fromStdString(shown + " = " + Hex8(value.value()));
  }
  if (t->token.kind == TokenKind::Label || t->token.kind == TokenKind::Symbol) {
    for (const tervik::SymbolEntry& s : session.Symbols().Entries()) {
      if (s.name != name) continue;
      if (!s.label) return QString::fromStdString(name + " = " + Hex8(s.value));
      const std::optional<uint32_t> word = session.PeekWord(s.value);
      return QString::fromStdString(name + " = " + Hex8(s.value) + ": " +
                                    (word ? Hex8(*word) : std::string("--------")));
    }
  }
  return {};
}

void TFSource::ShowHover(TSourceEditor* editor, long position, QPoint global) {
  const QString text = HoverText(editor, position);
  if (text.isEmpty()) {
    QToolTip::hideText();
    return;
  }
  QToolTip::showText(global, text, editor);
}

// ---- Definitions ----

namespace {

// The line (from 1) whose label is `name`, or 0.
int LabelLine(std::string_view text, const std::string& name) {
  int line = 1;
  for (size_t start = 0; start <= text.size(); ++line) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view row = text.substr(start, end - start);
    if (row.find(name) != std::string_view::npos) {
      for (const tervik::assembler::Token& t : tervik::assembler::TokenizeLine(row)) {
        if (t.kind == TokenKind::Label && row.substr(t.column - 1, t.length) == name) return line;
      }
    }
    start = end + 1;
  }
  return 0;
}

}  // namespace

std::optional<TFSource::Place> TFSource::FindDefinition(const std::string& name) {
  for (int i = 0; i < tabs_->count(); ++i) {
    TSourceEditor* e = EditorAt(i);
    if (const int line = LabelLine(e->Bytes(), name)) return Place{e, e->Path(), line, 1};
  }
  for (const std::string& f : host_.Session().Lines().Files()) {
    const QString path = tervik::platform::DisplayPath(f);
    std::string text;
    std::string error;
    if (EditorFor(path) != nullptr || !tervik::platform::ReadRegularFile(f, text, error)) continue;
    if (const int line = LabelLine(text, name)) return Place{nullptr, path, line, 1};
  }
  return std::nullopt;
}

bool TFSource::GoToDefinition(TSourceEditor* editor, long position) {
  if (editor == nullptr) return false;
  const std::optional<TSourceEditor::TokenAt> t = editor->TokenAtPosition(position);
  if (!t || (t->token.kind != TokenKind::Symbol && t->token.kind != TokenKind::Label &&
             t->token.kind != TokenKind::Alias)) {
    return false;
  }
  const std::optional<Place> at = FindDefinition(t->text);
  if (!at) {
    host_.Message("No definition of '" + t->text + "' in the program's files");
    return false;
  }
  const auto [line, column] = editor->LineColumnAt(position);
  TSourceEditor* target = at->editor ? at->editor.data() : OpenFile(at->path);
  if (target == nullptr) return false;
  back_.push_back({editor, editor->Path(), line, column});
  tabs_->setCurrentWidget(target);
  target->SetCursor(at->line, 1);
  target->setFocus();
  return true;
}

bool TFSource::GoBack() {
  while (!back_.empty()) {
    const Place place = back_.back();
    back_.pop_back();
    TSourceEditor* e = place.editor ? place.editor.data() : EditorFor(place.path);
    if (e == nullptr || tabs_->indexOf(e) < 0) continue;
    tabs_->setCurrentWidget(e);
    e->SetCursor(place.line, place.column);
    e->setFocus();
    return true;
  }
  return false;
}

void TFSource::GoToLine(int line) {
  if (TSourceEditor* e = Current()) {
    e->SetCursor(line, 1);
    e->setFocus();
  }
}
