// Small text helpers that the expression language, the assembler, the debugger and the tools
// share: one blank trimmer, one case-blind comparison and one upper-case hex formatter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tervik::lang {

// The text without the blanks (spaces and tabs) at either end.
constexpr std::string_view Trim(std::string_view text) {
  const size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  return text.substr(begin, text.find_last_not_of(" \t") + 1 - begin);
}

// Whether two texts are equal when ASCII letters are compared without regard to case.
constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 'a' + 'A') : a[i];
    const char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 'a' + 'A') : b[i];
    if (x != y) return false;
  }
  return true;
}

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// Eight upper-case hex digits of v at out (no terminator).
constexpr void WriteHex8(char* out, uint32_t v) {
  for (int i = 7; i >= 0; --i) {
    out[i] = kHexDigits[v & 15u];
    v >>= 4;
  }
}

// Upper-case hex without leading zeros ("0" for 0), as the disassembler writes immediates.
inline void AppendHex(std::string& out, uint32_t v) {
  char digits[8];
  int n = 0;
  do {
    digits[n++] = kHexDigits[v & 15u];
    v >>= 4;
  } while (v != 0);
  while (n > 0) out += digits[--n];
}

// Eight upper-case hex digits.
inline void AppendHex8(std::string& out, uint32_t v) {
  char digits[8];
  WriteHex8(digits, v);
  out.append(digits, sizeof digits);
}

}  // namespace tervik::lang
