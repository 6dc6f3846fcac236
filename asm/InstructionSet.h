// The instruction set as the assembler sees it: each mnemonic's opcode bits, the operands of its
// text form in the order the disassembler prints them, and what its immediate means. Taken from
// the core's opcode tables, so the assembler accepts exactly the text the disassembler prints.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Text.h"

namespace tervik::assembler {

// What an instruction's immediate means, which decides how a value is checked and encoded.
enum class ImmKind : uint8_t {
  Value,     // sign-extended 16-bit value or absolute address
  Relative,  // offset from the instruction's own address; a label gives label - address
  High,      // the upper half of a register (MOVEH, MVSPH): the raw 16 bits
  Bit,       // a bit number 0..31
};

enum class Slot : uint8_t { Rd, Ra, Rb, Imm };

// The operands of a text form, in the order the disassembler prints them.
struct Shape {
  std::array<Slot, 3> slots{};
  size_t count = 0;
  bool percent = false;  // the disassembler prints '%' after the immediate
};

struct Mnemonic {
  std::string_view name;
  uint32_t base = 0;  // opcode (and sub-operation) bits
  Shape shape;
  ImmKind imm = ImmKind::Value;
};

using lang::EqualsNoCase;
// Mnemonics are matched without regard to case; no two differ only in case.
std::optional<Mnemonic> FindMnemonic(std::string_view name);
// Every instruction's mnemonic, in opcode order, for suggestions.
const std::vector<std::string_view>& MnemonicNames();
// "ADDI takes Rd,Ra,imm", for the messages.
std::string Describe(const Mnemonic& m);
// A register number in its slot's bits.
uint32_t PlaceRegister(Slot slot, unsigned reg);

}  // namespace tervik::assembler
