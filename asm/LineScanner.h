// Reading one line of assembler source: blanks, names, strings, and the operand fields a
// statement's operands are split into; and the errors that end a line. Numbers and expressions
// are the debugger's expression language (lang/Expression.h, lang/Number.h), which the
// assembler evaluates operand by operand.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ListingWord.h"
#include "Number.h"

namespace tervik::assembler {

// An error that ends the handling of one line.
struct LineError {
  unsigned column;
  std::string message;
};

using debug::IsBlank;
using debug::IsDigit;
// Names of labels, EQU constants and register aliases: [A-Za-z_.][A-Za-z0-9_.]*, the
// expression language's names.
inline bool IsSymbolStart(char c) {
  return debug::IsNameStart(c);
}
inline bool IsSymbolChar(char c) {
  return debug::IsNameChar(c);
}

// "R7" and "r31" (and "R99"): R or r and one or two digits, a register's name, valid or not.
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

// A value in hex with a leading '-' when negative; the magnitude is taken in unsigned
// arithmetic, so the lowest 64-bit value prints as -8000000000000000.
inline std::string Hex(int64_t v) {
  const auto bits = static_cast<unsigned long long>(v);
  char buf[24];
  std::snprintf(buf, sizeof buf, "%s%llX", v < 0 ? "-" : "", v < 0 ? 0ull - bits : bits);
  return buf;
}

// The text of one operand between commas, blanks around it removed, and the column of its
// first character (for an empty field, of what stands where it should be).
struct Field {
  std::string_view text;
  unsigned column = 0;
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
    quoted.append(debug::ShowChar(text_[pos_])).push_back('\'');
    return quoted;
  }

  // Requires the end of the statement after optional blanks.
  void ExpectEnd() {
    SkipBlanks();
    if (!AtEnd()) Fail("unexpected " + Found() + ": expected the end of the line or a comment");
  }

  // The operand fields up to the end of the statement: split at the commas that stand outside
  // brackets, strings and character literals. An empty field is an error.
  std::vector<Field> ReadFields() {
    std::vector<Field> fields;
    SkipBlanks();
    if (AtEnd()) return fields;
    for (;;) {
      SkipBlanks();
      if (AtEnd() || Peek() == ',') Fail("expected an immediate or a register, found " + Found());
      const size_t start = pos_;
      int depth = 0;
      while (pos_ < text_.size()) {
        const char c = text_[pos_];
        if (c == ';' || (c == ',' && depth == 0)) break;
        if (c == '(' || c == '[') ++depth;
        if ((c == ')' || c == ']') && depth > 0) --depth;
        if (c == '"' || c == '\'') {
          SkipQuoted(c);
          continue;
        }
        ++pos_;
      }
      size_t end = pos_;
      while (end > start && IsBlank(text_[end - 1])) --end;
      fields.push_back({text_.substr(start, end - start), static_cast<unsigned>(start + 1)});
      if (AtEnd()) return fields;
      Advance();  // the comma
    }
  }

  // A string in double quotes at the current position, with the escapes \n \r \t \0 \\ \' \",
  // as its bytes (a file name).
  std::string ParseString() {
    std::string bytes;
    ParseQuoted([&](char32_t c) { bytes.push_back(static_cast<char>(c)); }, false);
    return bytes;
  }

  // The same string as Unicode characters: the source is UTF-8, and bytes that are not valid
  // UTF-8 are an error.
  std::u32string ParseText() {
    std::u32string chars;
    ParseQuoted([&](char32_t c) { chars.push_back(c); }, true);
    return chars;
  }

 private:
  // Past a quoted text (its escapes included), or to the end of the line when it is not closed.
  void SkipQuoted(char quote) {
    ++pos_;
    while (pos_ < text_.size() && text_[pos_] != quote) pos_ += text_[pos_] == '\\' ? 2 : 1;
    pos_ = std::min(pos_ + 1, text_.size());
  }

  // Reads the string at the current position, giving each character (a byte, or with `utf8`
  // a decoded code point) to `add`.
  template <typename Add>
  void ParseQuoted(Add add, bool utf8) {
    const unsigned column = Column();
    Advance();
    for (;;) {
      if (pos_ >= text_.size()) {
        pos_ = column - 1;
        Fail("unterminated string");
      }
      char c = text_[pos_];
      if (c == '"') {
        Advance();
        return;
      }
      if (utf8 && static_cast<unsigned char>(c) >= 0x80) {
        const std::optional<debug::Utf8Char> u = debug::DecodeUtf8(text_, pos_);
        if (!u) Fail("invalid UTF-8 in a string");
        add(u->code);
        Advance(u->length);
        continue;
      }
      if (c == '\\') {
        switch (Peek(1)) {
          case 'n': c = '\n'; break;
          case 'r': c = '\r'; break;
          case 't': c = '\t'; break;
          case '0': c = '\0'; break;
          case '\\':
          case '\'':
          case '"': c = Peek(1); break;
          default: Fail("unknown escape '\\" + debug::ShowChar(Peek(1)) + "'");
        }
        Advance();
      }
      add(static_cast<unsigned char>(c));
      Advance();
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

// What the listing loader takes for a word wherever it stands in a line (ListingWord.h).
inline bool ContainsListingWord(std::string_view line) {
  return FindListingWord(line).has_value();
}

}  // namespace tervik::assembler
