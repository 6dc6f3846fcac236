// What the symbols say about one word of the disassembly: the label at its address, and the
// label its branch, jump or address load reaches.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "SymbolFile.h"

namespace tervik::debug {

struct RowSymbols {
  const std::string* label = nullptr;   // the first label at the row's address
  const std::string* target = nullptr;  // the label the word reaches, if it has one
};

// For the word at `address`, with `previous` the word before it when that is known (ROM or RAM):
// the target of a relative branch or jump (address + offset) or of an absolute one (its
// immediate), by the opcode table's flow column; and, only where the symbols record that the
// source wrote the word's operand with a symbol, of MOVEL (its value) and of MOVEH Rd followed
// by ORI or ADDI Rd,Rd (the two halves together, on the second word). A constant the source
// wrote as a number is never named as a target, whatever label shares its value.
RowSymbols SymbolsForRow(const SymbolTable& symbols, uint32_t address, uint32_t word,
                         std::optional<uint32_t> previous);

// The address the word reaches, as SymbolsForRow finds it, whether or not a label is there.
std::optional<uint32_t> WordTarget(uint32_t address, uint32_t word,
                                   std::optional<uint32_t> previous);

}  // namespace tervik::debug
