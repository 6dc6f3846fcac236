// The one rule for "this listing line carries a word", which the listing loader reads by and the
// assembler checks its comment lines against: five characters each a decimal digit or A-F, one
// white-space character (space, tab, CR, LF or FF; not vertical tab), then 32 binary digits,
// anywhere in the line. The first such stretch from the left is the word.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tervik {

struct ListingWord {
  uint32_t address = 0;
  uint32_t value = 0;
  size_t column = 0;  // where the five digits start, from 0

  bool operator==(const ListingWord&) const = default;
};

// The word a listing line carries, if it carries one.
std::optional<ListingWord> FindListingWord(std::string_view line);

}  // namespace tervik
