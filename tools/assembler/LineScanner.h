// Reading one line of assembler source: blanks, symbols, registers, numbers, character and
// string literals, operands and the sums that expressions are; and the errors that end a line.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "InstructionSet.h"

namespace tervik::assembler {

// An error that ends the handling of one line.
struct LineError {
  unsigned column;
  std::string message;
};

inline bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}
inline bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
inline bool IsSymbolStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '.';
}
inline bool IsSymbolChar(char c) {
  return IsSymbolStart(c) || IsDigit(c);
}
inline int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "R7" and "r31": a register name, which a symbol may not be.
inline std::optional<unsigned> RegisterNumber(std::string_view name) {
  if (name.size() < 2 || name.size() > 3 || (name[0] != 'R' && name[0] != 'r')) {
    return std::nullopt;
  }
  unsigned n = 0;
  for (char c : name.substr(1)) {
    if (!IsDigit(c)) return std::nullopt;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  return n;
}

inline std::string Shown(char c) {
  if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
    return buf;
  }
  return std::string(1, c);
}

inline std::string Hex(int64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%s%llX", v < 0 ? "-" : "",
                static_cast<unsigned long long>(v < 0 ? -v : v));
  return buf;
}

// One term of an expression: a number or a symbol, added or subtracted.
struct Term {
  int sign = 1;
  std::string_view symbol;  // empty for a number
  int64_t number = 0;
  unsigned column = 0;
};

struct Expr {
  std::vector<Term> terms;
  unsigned column = 0;
};

struct Operand {
  enum class Kind : uint8_t { Register, Expression, String };
  Kind kind = Kind::Expression;
  unsigned reg = 0;
  Expr expr;
  std::string chars;  // of a string
  bool percent = false;
  unsigned column = 0;
  unsigned percentColumn = 0;
};

// Reads one line. The line's text outlives the scanner.
class LineScanner {
 public:
  explicit LineScanner(std::string_view text) : text_(text) {}

  char Peek(size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }
  // The end of the statement: the end of the line or the start of a comment.
  bool AtEnd() const { return pos_ >= text_.size() || text_[pos_] == ';'; }
  unsigned Column() const { return static_cast<unsigned>(pos_ + 1); }
  void Advance(size_t n = 1) { pos_ += n; }
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }
  size_t Position() const { return pos_; }
  void Rewind(size_t pos) { pos_ = pos; }

  std::string_view ReadSymbol() {
    const size_t start = pos_;
    while (pos_ < text_.size() && IsSymbolChar(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }

  [[noreturn]] void Fail(std::string message) const {
    throw LineError{Column(), std::move(message)};
  }

  // What stands at the current position, for messages.
  std::string Found() const {
    if (pos_ >= text_.size()) return "the end of the line";
    if (text_[pos_] == ';') return "a comment";
    std::string quoted(1, '\'');  // built in place: GCC 12 at -O3 misreads "'" + string
    quoted.append(Shown(text_[pos_])).push_back('\'');
    return quoted;
  }

  // Requires the end of the statement after optional blanks.
  void ExpectEnd() {
    SkipBlanks();
    if (!AtEnd()) Fail("unexpected " + Found() + ": expected the end of the line or a comment");
  }

  Operand ParseOperand() {
    SkipBlanks();
    Operand op;
    op.column = Column();
    if (AtEnd()) Fail("expected an operand, found " + Found());
    if ((Peek() == 'R' || Peek() == 'r') && IsDigit(Peek(1))) {
      const size_t start = pos_;
      const std::string_view name = ReadSymbol();
      const std::optional<unsigned> n = RegisterNumber(name);
      if (name.size() <= 3 && n.has_value() && *n <= 31) {
        op.kind = Operand::Kind::Register;
        op.reg = *n;
        return op;
      }
      if (std::all_of(name.begin() + 1, name.end(), IsDigit)) {
        pos_ = start;
        Fail("bad register '" + std::string(name) + "': expected R0 to R31");
      }
      pos_ = start;  // a symbol that merely begins like a register
    }
    if (Peek() == '"') {
      op.kind = Operand::Kind::String;
      op.chars = ParseQuoted('"');
      return op;
    }
    op.expr = ParseExpr();
    if (Peek() == '%') {
      op.percent = true;
      op.percentColumn = Column();
      Advance();
    }
    return op;
  }

  // Operands separated by commas up to the end of the statement.
  std::vector<Operand> ParseOperands() {
    std::vector<Operand> ops;
    SkipBlanks();
    if (AtEnd()) return ops;
    for (;;) {
      ops.push_back(ParseOperand());
      SkipBlanks();
      if (AtEnd()) return ops;
      if (Peek() != ',') Fail("unexpected " + Found() + ": expected ',' or the end of the line");
      Advance();
    }
  }

  Expr ParseExpr() {
    SkipBlanks();
    Expr e;
    e.column = Column();
    int sign = 1;
    if (Peek() == '+' || Peek() == '-') {
      sign = Peek() == '-' ? -1 : 1;
      Advance();
      SkipBlanks();
    }
    for (;;) {
      e.terms.push_back(ParseTerm(sign));
      SkipBlanks();
      if (Peek() != '+' && Peek() != '-') return e;
      sign = Peek() == '-' ? -1 : 1;
      Advance();
      SkipBlanks();
    }
  }

 private:
  Term ParseTerm(int sign) {
    Term t;
    t.sign = sign;
    t.column = Column();
    const char c = Peek();
    if ((c == 'H' || c == 'h') && Peek(1) == '#') {
      Advance(2);
      t.number = ParseDigits(16, "H#", t.column);
    } else if (c == '0' && (Peek(1) == 'x' || Peek(1) == 'X')) {
      Advance(2);
      t.number = ParseDigits(16, "0x", t.column);
    } else if (IsDigit(c)) {
      t.number = ParseDigits(10, "", t.column);
    } else if (c == '\'') {
      const std::string chars = ParseQuoted('\'');
      if (chars.size() != 1) {
        pos_ = t.column - 1;
        Fail("a character literal holds exactly one character");
      }
      t.number = static_cast<unsigned char>(chars[0]);
    } else if (IsSymbolStart(c)) {
      t.symbol = ReadSymbol();
    } else {
      Fail("expected an immediate (H#hex, a number, a character or a label), found " + Found());
    }
    return t;
  }

  // Digits of a number whose first character (its prefix, if any) is at `column`.
  int64_t ParseDigits(int base, std::string_view prefix, unsigned column) {
    int64_t v = 0;
    size_t n = 0;
    for (;; ++n) {
      const int d = HexValue(Peek());
      if (d < 0 || d >= base) break;
      v = v * base + d;
      if (v > 0xFFFFFFFFll) {
        pos_ = column - 1;
        Fail("number too large: expected at most 32 bits");
      }
      Advance();
    }
    if (n == 0) Fail("expected hex digits after '" + std::string(prefix) + "'");
    if (IsSymbolChar(Peek())) {
      Fail("unexpected " + Found() + " in a number: expected " +
           (base == 16 ? "hex digits" : "decimal digits"));
    }
    return v;
  }

  // A character literal or a string, with the escapes \n \r \t \0 \\ \' \".
  std::string ParseQuoted(char quote) {
    const unsigned column = Column();
    Advance();
    std::string chars;
    for (;;) {
      if (pos_ >= text_.size()) {
        pos_ = column - 1;
        Fail(quote == '"' ? "unterminated string" : "unterminated character literal");
      }
      char c = text_[pos_];
      if (c == quote) {
        Advance();
        return chars;
      }
      if (c == '\\') {
        Advance();
        switch (Peek()) {
          case 'n': c = '\n'; break;
          case 'r': c = '\r'; break;
          case 't': c = '\t'; break;
          case '0': c = '\0'; break;
          case '\\':
          case '\'':
          case '"': c = Peek(); break;
          default: Fail("unknown escape: expected \\n, \\r, \\t, \\0, \\\\, \\' or \\\"");
        }
      }
      chars.push_back(c);
      Advance();
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

// Five characters each a decimal digit or A-F, one white-space character, 32 binary digits:
// what the listing loader takes for a word wherever it stands in a line.
inline bool ContainsListingWord(std::string_view line) {
  auto isSpace = [](char c) { return IsBlank(c) || c == '\n'; };
  auto isUpperHex = [](char c) { return IsDigit(c) || (c >= 'A' && c <= 'F'); };
  for (size_t i = 0; i + 38 <= line.size(); ++i) {
    if (std::all_of(line.begin() + i, line.begin() + i + 5, isUpperHex) && isSpace(line[i + 5]) &&
        std::all_of(line.begin() + i + 6, line.begin() + i + 38,
                    [](char c) { return c == '0' || c == '1'; })) {
      return true;
    }
  }
  return false;
}

}  // namespace tervik::assembler
