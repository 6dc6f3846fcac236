// Styling Tervik assembly line by line from the assembler's tokens.
#include "AsmLexer.h"

#include <Qsci/qsciscintilla.h>

#include <string_view>

namespace {

using tervik::assembler::TokenKind;

struct StyleInfo {
  const char* name;
  QRgb light;  // on a light base
  QRgb dark;   // on a dark base
  bool bold;
};

// Index by style. Chosen to read on white and on the usual dark greys alike; the default style
// takes the palette's own text colour.
constexpr StyleInfo kStyles[TAsmLexer::StyleCount] = {
    {"Default", 0, 0, false},
    {"Mnemonic", 0x00008b, 0x82aaff, true},
    {"Pseudo-instruction", 0x6a1b9a, 0xc792ea, true},
    {"Directive", 0x7b3f00, 0xffcb6b, true},
    {"Register", 0x006060, 0x89ddff, false},
    {"Register alias", 0x007a7a, 0x80cbc4, false},
    {"Number", 0xa0522d, 0xf78c6c, false},
    {"Label", 0x8b0000, 0xff9e80, true},
    {"Symbol", 0, 0, false},
    {"Function", 0x4b0082, 0xc3a6ff, false},
    {"String", 0x006400, 0xc3e88d, false},
    {"Comment", 0x707070, 0x8f9aa3, false},
    {"Operator", 0, 0, false},
    {"Error", 0xd00000, 0xff5370, false},
};

}  // namespace

TAsmLexer::TAsmLexer(QObject* parent) : QsciLexerCustom(parent) {
  font_ = QFont("Courier New");
  font_.setStyleHint(QFont::TypeWriter);
  font_.setPointSize(10);
  UsePalette(QPalette());
}

int TAsmLexer::StyleOf(TokenKind kind) {
  switch (kind) {
    case TokenKind::Mnemonic: return Mnemonic;
    case TokenKind::Pseudo: return Pseudo;
    case TokenKind::Directive: return Directive;
    case TokenKind::Register: return Register;
    case TokenKind::Alias: return Alias;
    case TokenKind::Number: return Number;
    case TokenKind::Label: return Label;
    case TokenKind::Symbol: return Symbol;
    case TokenKind::Function: return Function;
    case TokenKind::String: return String;
    case TokenKind::Comment: return Comment;
    case TokenKind::Operator: return Operator;
    case TokenKind::Error: return Error;
  }
  return Default;
}

bool TAsmLexer::IsDark(const QPalette& palette) {
  return palette.color(QPalette::Base).lightness() < 128;
}

void TAsmLexer::UsePalette(const QPalette& palette) {
  const bool dark = IsDark(palette);
  const QColor text = palette.color(QPalette::Text);
  paper_ = palette.color(QPalette::Base);
  for (int s = 0; s < StyleCount; ++s) {
    const QRgb rgb = dark ? kStyles[s].dark : kStyles[s].light;
    colors_[s] = rgb == 0 ? text : QColor(rgb);
    setColor(colors_[s], s);
    setPaper(paper_, s);
    QFont f = font_;
    f.setBold(kStyles[s].bold);
    setFont(f, s);
  }
  setDefaultColor(text);
  setDefaultPaper(paper_);
  setDefaultFont(font_);
}

QString TAsmLexer::description(int style) const {
  return style >= 0 && style < StyleCount ? QString(kStyles[style].name) : QString();
}

QColor TAsmLexer::defaultColor(int style) const {
  return style >= 0 && style < StyleCount ? colors_[style] : colors_[Default];
}

QColor TAsmLexer::defaultPaper(int) const {
  return paper_;
}

QFont TAsmLexer::defaultFont(int style) const {
  QFont f = font_;
  if (style >= 0 && style < StyleCount) f.setBold(kStyles[style].bold);
  return f;
}

// Scintilla asks for whole lines; each is styled from its tokens, the blanks between them and
// the line end in the default style.
void TAsmLexer::styleText(int start, int end) {
  QsciScintilla* ed = editor();
  if (ed == nullptr || end <= start) return;
  const auto* text =
      reinterpret_cast<const char*>(ed->SendScintilla(QsciScintilla::SCI_GETCHARACTERPOINTER));
  const long length = ed->SendScintilla(QsciScintilla::SCI_GETLENGTH);
  if (text == nullptr) return;
  const std::string_view doc(text, static_cast<size_t>(length));
  size_t pos = static_cast<size_t>(start);
  startStyling(start);
  while (pos < static_cast<size_t>(end) && pos < doc.size()) {
    size_t lineEnd = doc.find('\n', pos);
    if (lineEnd == std::string_view::npos) lineEnd = doc.size();
    size_t contentEnd = lineEnd;
    if (contentEnd > pos && doc[contentEnd - 1] == '\r') --contentEnd;
    const std::string_view line = doc.substr(pos, contentEnd - pos);
    size_t at = 0;  // styled up to here within the line
    for (const tervik::assembler::Token& t : tervik::assembler::TokenizeLine(line, aliases_)) {
      const size_t from = t.column - 1;
      if (from > at) setStyling(static_cast<int>(from - at), Default);
      setStyling(static_cast<int>(t.length), StyleOf(t.kind));
      at = from + t.length;
    }
    const size_t next = lineEnd < doc.size() ? lineEnd + 1 : lineEnd;
    if (next - pos > at) setStyling(static_cast<int>(next - pos - at), Default);
    pos = next;
  }
}
