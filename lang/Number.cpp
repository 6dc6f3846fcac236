// The number parser: literals in every base the program prints or accepts, character literals,
// and the column of every mistake.
#include "Number.h"

#include <cstdio>
#include <limits>

namespace tervik::debug {

namespace {

constexpr int64_t kMaxLiteral = std::numeric_limits<int64_t>::max();

int DigitValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A character literal starting at the quote text[pos].
Result<ScannedNumber> ScanCharacter(std::string_view text, size_t pos) {
  const size_t start = pos;
  const size_t column = pos + 1;
  ++pos;
  size_t count = 0;
  int64_t value = 0;
  for (;;) {
    if (pos >= text.size()) return Error{column, "unterminated character literal"};
    char c = text[pos];
    if (c == '\'') break;
    if (static_cast<unsigned char>(c) >= 0x80) {
      const std::optional<Utf8Char> u = DecodeUtf8(text, pos);
      if (!u) return Error{pos + 1, "invalid UTF-8 in a character literal"};
      value = u->code;
      ++count;
      pos += u->length;
      continue;
    }
    if (c == '\\') {
      if (pos + 1 >= text.size()) return Error{column, "unterminated character literal"};
      switch (text[pos + 1]) {
        case 'n': c = '\n'; break;
        case 'r': c = '\r'; break;
        case 't': c = '\t'; break;
        case '0': c = '\0'; break;
        case '\\':
        case '\'':
        case '"': c = text[pos + 1]; break;
        default: return Error{pos + 1, "unknown escape '\\" + ShowChar(text[pos + 1]) + "'"};
      }
      ++pos;
    }
    value = static_cast<unsigned char>(c);
    ++count;
    ++pos;
  }
  if (count != 1) return Error{column, "a character literal holds exactly one character"};
  return ScannedNumber{value, pos + 1 - start};
}

}  // namespace

std::string Error::Text() const {
  return "col " + std::to_string(column) + ": " + message;
}

std::string ShowChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u < 0x20 || u >= 0x7F) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", u);
    return buf;
  }
  return std::string(1, c);
}

std::optional<Utf8Char> DecodeUtf8(std::string_view text, size_t pos) {
  if (pos >= text.size()) return std::nullopt;
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) return Utf8Char{lead, 1};
  size_t length = 0;
  char32_t code = 0;
  char32_t least = 0;  // the smallest code point of this length: below it the form is overlong
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, least = 0x10000;
  } else {
    return std::nullopt;
  }
  if (text.size() - pos < length) return std::nullopt;
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    code = code << 6 | (next & 0x3F);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
  return Utf8Char{code, length};
}

bool StartsNumber(std::string_view text, size_t pos) {
  if (pos >= text.size()) return false;
  const char c = text[pos];
  return IsDigit(c) || c == '\'' ||
         ((c == 'H' || c == 'h') && pos + 1 < text.size() && text[pos + 1] == '#');
}

Result<ScannedNumber> ScanNumber(std::string_view text, size_t pos) {
  const size_t start = pos;
  const size_t column = pos + 1;
  if (pos >= text.size() || !StartsNumber(text, pos)) return Error{column, "expected a number"};
  if (text[pos] == '\'') return ScanCharacter(text, pos);

  int base = 10;
  std::string_view prefix;
  const char next = pos + 1 < text.size() ? text[pos + 1] : '\0';
  if (text[pos] == 'H' || text[pos] == 'h') {
    base = 16;
    prefix = text.substr(pos, 2);
  } else if (text[pos] == '0' && (next == 'x' || next == 'X')) {
    base = 16;
    prefix = text.substr(pos, 2);
  } else if (text[pos] == '0' && (next == 'b' || next == 'B')) {
    base = 2;
    prefix = text.substr(pos, 2);
  }
  pos += prefix.size();

  const size_t digits = pos;
  int64_t value = 0;
  for (; pos < text.size(); ++pos) {
    const int d = DigitValue(text[pos]);
    if (d < 0 || d >= base) break;
    if (value > (kMaxLiteral - d) / base) return Error{column, "value out of range"};
    value = value * base + d;
  }
  if (pos == digits) {
    return Error{pos + 1, std::string(base == 2 ? "expected binary digits after '"
                                                : "expected hex digits after '") +
                              std::string(prefix) + "'"};
  }
  if (pos < text.size() && IsNameChar(text[pos])) {
    return Error{pos + 1, "unexpected '" + ShowChar(text[pos]) + "' in a number"};
  }
  return ScannedNumber{value, pos - start, base == 16 && text[start] != '0'};
}

Result<int64_t> ParseNumber(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  Result<ScannedNumber> n = ScanNumber(text, pos);
  if (!n.ok()) return n.error();
  pos += n.value().length;
  if (pos < text.size() && text[pos] == '%') ++pos;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  if (pos < text.size()) return Error{pos + 1, "unexpected '" + ShowChar(text[pos]) + "'"};
  return n.value().value;
}

}  // namespace tervik::debug
