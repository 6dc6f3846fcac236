// "did you mean ...?" for a name that is almost one the assembler knows: a mnemonic, a label or
// constant, a register alias.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tervik::assembler {

// Edits (insert, delete, replace, swap two neighbours) from a to b, without regard to case.
size_t EditDistance(std::string_view a, std::string_view b);

// "did you mean MOVEL?" naming the candidates closest to `name` (at most three, in the order
// given) when they are one edit from it (two for names of five characters or more); empty when
// none is that close. With `ignoreCase` false, a candidate that differs from `name` in case only
// counts as one edit (labels match case-sensitively, mnemonics do not).
std::string DidYouMean(std::string_view name, const std::vector<std::string_view>& candidates,
                       bool ignoreCase = true);

}  // namespace tervik::assembler
