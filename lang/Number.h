// The program's one number parser (decimal, 0x and H# hex, 0b binary, character literals), the
// character classes its text shares with the expression language, and the error and result types
// both report through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace tervik::debug {

// A mistake found at a column of the text: 1-based, counted in bytes. The message names the
// mistake only; Text() puts the column in front: "col 7: expected ')'".
struct Error {
  size_t column = 0;
  std::string message;

  std::string Text() const;
  bool operator==(const Error&) const = default;
};

// A value or the error that prevented it.
template <typename T>
class [[nodiscard]] Result {
 public:
  // Implicit, so that a function returns either a value or an Error as it is.
  Result(T value) : v_(std::move(value)) {}
  Result(Error error) : v_(std::move(error)) {}

  bool ok() const { return v_.index() == 0; }
  const T& value() const& { return std::get<0>(v_); }
  T& value() & { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  const Error& error() const { return std::get<1>(v_); }

 private:
  std::variant<T, Error> v_;
};

// Blanks between tokens: space, tab, vertical tab, form feed and carriage return (as in the
// assembler's lines; a line feed is not a blank).
constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}
constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
// Names (registers, labels, EQU constants) are [A-Za-z_.][A-Za-z0-9_.]*, as in the assembler.
constexpr bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '.';
}
constexpr bool IsNameChar(char c) {
  return IsNameStart(c) || IsDigit(c);
}

// A character for a message: itself when printable ASCII, else \xNN.
std::string ShowChar(char c);

// One character of a UTF-8 text: its code point and how many bytes it took.
struct Utf8Char {
  char32_t code = 0;
  size_t length = 0;
};

// The character whose UTF-8 encoding starts at text[pos], or nothing when the bytes there are
// not valid UTF-8 (a stray continuation byte, a sequence cut short, an overlong form, a
// surrogate, a value above U+10FFFF).
std::optional<Utf8Char> DecodeUtf8(std::string_view text, size_t pos);

// A number literal found in a text: its value and how many bytes it took.
struct ScannedNumber {
  int64_t value = 0;
  size_t length = 0;
  bool hashHex = false;  // written H#1F or h#1f, the form the disassembler prints
};

// Whether a number literal starts at text[pos]: a decimal digit, a quote, or H# / h#.
bool StartsNumber(std::string_view text, size_t pos);

// Reads the number literal starting at text[pos]:
//   decimal      12, 007 (leading zeros are decimal, there is no octal)
//   hex          0x1F, 0X1f, H#1F, h#1f
//   binary       0b101, 0B101
//   character    'A', and the escapes '\n' '\r' '\t' '\0' '\\' '\'' '\"': the character's
//                Unicode code point; the text is UTF-8, so 'é' is 0xE9 and a byte that is not
//                valid UTF-8 is an error ("invalid UTF-8 in a character literal")
// A literal is non-negative and at most 2^63-1 ("value out of range" at its first column). A
// letter, digit, '_' or '.' right after the digits is an error ("unexpected 'g' in a number"),
// so 12abc is never read as 12 followed by a name. A '%' after it is not read here (see
// ParseNumber and the expression language). Error columns count from the start of `text`.
Result<ScannedNumber> ScanNumber(std::string_view text, size_t pos);

// The whole text as one number literal, with blanks around it and one '%' right after it allowed
// (the disassembler prints some immediates as H#FFF8%). Signs and arithmetic belong to the
// expression language (Expression.h).
Result<int64_t> ParseNumber(std::string_view text);

}  // namespace tervik::debug
