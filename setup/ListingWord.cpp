// Finding the word of a listing line.
#include "ListingWord.h"

#include <algorithm>

namespace tervik {

namespace {

constexpr size_t kWordSize = 5 + 1 + 32;

constexpr bool IsAddressDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

constexpr bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

constexpr bool IsBit(char c) {
  return c == '0' || c == '1';
}

}  // namespace

std::optional<ListingWord> FindListingWord(std::string_view line) {
  for (size_t i = 0; i + kWordSize <= line.size(); ++i) {
    const std::string_view w = line.substr(i, kWordSize);
    if (!std::all_of(w.begin(), w.begin() + 5, IsAddressDigit) || !IsSeparator(w[5]) ||
        !std::all_of(w.begin() + 6, w.end(), IsBit)) {
      continue;
    }
    ListingWord word;
    word.column = i;
    for (char c : w.substr(0, 5)) {
      word.address = (word.address << 4) | static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'A' + 10);
    }
    for (char c : w.substr(6)) word.value = (word.value << 1) | (c == '1' ? 1u : 0u);
    return word;
  }
  return std::nullopt;
}

}  // namespace tervik
