// Splitting a source line into tokens for an editor's colours.
#include "SourceTokens.h"

#include "Assembler.h"
#include "Expression.h"
#include "InstructionSet.h"
#include "LineScanner.h"

namespace tervik::assembler {

namespace {

bool IsStatementWord(std::string_view name) {
  return FindMnemonic(name).has_value() || IsPseudoName(name) || IsDirectiveName(name);
}

class LineTokens {
 public:
  LineTokens(std::string_view line, const AliasNames& aliases) : line_(line), aliases_(aliases) {}

  std::vector<Token> Read() {
    while (true) {
      while (pos_ < line_.size() && IsBlank(line_[pos_])) ++pos_;
      if (pos_ >= line_.size()) break;
      const char c = line_[pos_];
      if (c == ';') {
        Add(TokenKind::Comment, line_.size() - pos_);
      } else if (c == '"') {
        String();
      } else if (debug::StartsNumber(line_, pos_)) {
        Number();
      } else if (IsSymbolStart(c)) {
        Name();
      } else {
        Add(TokenKind::Operator, 1);
      }
    }
    return std::move(tokens_);
  }

 private:
  void Add(TokenKind kind, size_t length) {
    tokens_.push_back({kind, static_cast<unsigned>(pos_ + 1), static_cast<unsigned>(length)});
    pos_ += length;
  }

  size_t NameLength(size_t from) const {
    size_t end = from;
    while (end < line_.size() && IsSymbolChar(line_[end])) ++end;
    return end - from;
  }

  void String() {
    size_t end = pos_ + 1;
    while (end < line_.size() && line_[end] != '"') end += line_[end] == '\\' ? 2 : 1;
    if (end >= line_.size()) {
      Add(TokenKind::Error, line_.size() - pos_);
      return;
    }
    Add(TokenKind::String, end + 1 - pos_);
  }

  void Number() {
    const debug::Result<debug::ScannedNumber> n = debug::ScanNumber(line_, pos_);
    if (!n.ok()) {
      // The rest of the word (or the unterminated character literal) is the malformed number.
      size_t end = pos_ + 1;
      while (end < line_.size() && !IsBlank(line_[end]) && line_[end] != ',' && line_[end] != ';' &&
             line_[end] != ')') {
        ++end;
      }
      Add(TokenKind::Error, end - pos_);
      return;
    }
    size_t length = n.value().length;
    if (pos_ + length < line_.size() && line_[pos_ + length] == '%') ++length;
    Add(TokenKind::Number, length);
  }

  // The next word after `from` past blanks, or empty.
  std::string_view NextWord(size_t from) const {
    while (from < line_.size() && IsBlank(line_[from])) ++from;
    return line_.substr(from, NameLength(from));
  }

  void Name() {
    const size_t length = NameLength(pos_);
    const std::string_view name = line_.substr(pos_, length);
    const size_t after = pos_ + length;
    if (!statementSeen_) {
      if (after < line_.size() && line_[after] == ':') {
        Add(TokenKind::Label, length);
        Add(TokenKind::Operator, 1);
        return;
      }
      if (IsStatementWord(name)) {
        statementSeen_ = true;
        Add(FindMnemonic(name)   ? TokenKind::Mnemonic
            : IsPseudoName(name) ? TokenKind::Pseudo
                                 : TokenKind::Directive,
            length);
        return;
      }
      const std::string_view next = NextWord(after);
      if (EqualsNoCase(next, "EQU") || EqualsNoCase(next, "REG") || IsStatementWord(next)) {
        Add(TokenKind::Label, length);
        if (EqualsNoCase(next, "EQU") || EqualsNoCase(next, "REG")) {
          while (pos_ < line_.size() && IsBlank(line_[pos_])) ++pos_;
          statementSeen_ = true;
          Add(TokenKind::Directive, next.size());
        }
        return;
      }
      statementSeen_ = true;  // not a statement the assembler knows: the rest are operands
    }
    if (EqualsNoCase(name, "DUP")) return Add(TokenKind::Directive, length);
    if ((EqualsNoCase(name, "HI") || EqualsNoCase(name, "LO")) && NextChar(after) == '(') {
      return Add(TokenKind::Function, length);
    }
    if (aliases_.contains(name)) return Add(TokenKind::Alias, length);
    if (debug::IsReservedName(name)) return Add(TokenKind::Register, length);
    Add(TokenKind::Symbol, length);
  }

  char NextChar(size_t from) const {
    while (from < line_.size() && IsBlank(line_[from])) ++from;
    return from < line_.size() ? line_[from] : '\0';
  }

  std::string_view line_;
  const AliasNames& aliases_;
  size_t pos_ = 0;
  bool statementSeen_ = false;
  std::vector<Token> tokens_;
};

}  // namespace

AliasNames FindAliases(std::string_view text) {
  AliasNames names;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::vector<Token> tokens = TokenizeLine(text.substr(start, end - start));
    const std::string_view line = text.substr(start, end - start);
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
      const Token& t = tokens[i + 1];
      if (tokens[i].kind == TokenKind::Label && t.kind == TokenKind::Directive &&
          EqualsNoCase(line.substr(t.column - 1, t.length), "REG")) {
        names.emplace(line.substr(tokens[i].column - 1, tokens[i].length));
      }
    }
    start = end + 1;
  }
  return names;
}

std::vector<Token> TokenizeLine(std::string_view line, const AliasNames& aliases) {
  return LineTokens(line, aliases).Read();
}

}  // namespace tervik::assembler
