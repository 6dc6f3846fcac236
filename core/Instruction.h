// The Tervik instruction set described once: the fields of an instruction word, the 64 opcodes
// and the MOVEI sub-operations, with the text form of each. The executor and the disassembler
// both work from these tables.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tervik {

// Primary opcodes, bits 31..26 of the instruction word. Every value 0..63 has an enumerator so
// that a switch over Opcode without a default is checked for completeness by the compiler.
enum class Opcode : uint8_t {
  NOP = 0,
  OR = 1,
  XOR = 2,
  NOR = 3,
  AND = 4,
  ADD = 5,
  SUBB = 6,
  NOT = 7,
  ROR = 8,
  SLL = 9,
  SRL = 10,
  SRA = 11,
  BZE = 12,
  BNZE = 13,
  BNE = 14,
  JUMP = 15,
  BrZE = 16,
  BrNZE = 17,
  JUMPr = 18,
  LOAD = 19,
  STORE = 20,
  CALL = 21,
  RETI = 22,
  BrNE = 23,
  RET = 24,
  PUSH = 25,
  POP = 26,
  MOVE = 27,
  BITSET = 28,
  BITCLEAR = 29,
  RANDOMSET = 30,
  RANDOMIZE = 31,
  Undefined32 = 32,
  ORI = 33,
  XORI = 34,
  NORI = 35,
  ANDI = 36,
  ADDI = 37,
  SUBBI = 38,
  NOTI = 39,
  RORI = 40,
  SLLI = 41,
  SRLI = 42,
  SRAI = 43,
  BZEI = 44,
  BNZEI = 45,
  BNEI = 46,
  JUMPI = 47,
  BrZEI = 48,
  BrNZEI = 49,
  JUMPrI = 50,
  LOADI = 51,
  STOREI = 52,
  Undefined53 = 53,
  Undefined54 = 54,
  BrNEI = 55,
  Undefined56 = 56,
  PUSHI = 57,
  Undefined58 = 58,
  MOVEI = 59,
  BITSETI = 60,
  BITCLEARI = 61,
  RANDOMSETI = 62,
  Undefined63 = 63,
};

// Sub-operations of the MOVEI group (opcode 59), bits 20..17.
enum class MoveiSub : uint8_t {
  MOVEL = 0,
  SETMASK = 1,
  MVSPL = 2,
  Invalid3 = 3,
  MVNZCOU = 4,
  Invalid5 = 5,
  Invalid6 = 6,
  Invalid7 = 7,
  MOVEH = 8,
  Invalid9 = 9,
  MVSPH = 10,
  Invalid11 = 11,
  Invalid12 = 12,
  Invalid13 = 13,
  Invalid14 = 14,
  Invalid15 = 15,
};

// The fields of one instruction word. Fields an instruction does not use are simply ignored.
struct Instruction {
  uint32_t word;

  constexpr Opcode opcode() const { return static_cast<Opcode>(word >> 26); }
  constexpr unsigned rd() const { return (word >> 21) & 31u; }
  constexpr unsigned ra() const { return (word >> 16) & 31u; }
  constexpr unsigned rb() const { return word & 31u; }
  constexpr uint32_t imm16() const { return word & 0xFFFFu; }
  // imm16 sign-extended to 32 bits.
  constexpr uint32_t simm() const {
    return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(word & 0xFFFFu)));
  }
  constexpr MoveiSub sub() const { return static_cast<MoveiSub>((word >> 17) & 15u); }
  constexpr unsigned bit() const { return word & 31u; }
};

// Which fields the text form of an instruction prints, and how.
enum class OperandFormat : uint8_t {
  None,         // "NOP\t"
  RdRaRb,       // "R%d,R%d,R%d"      Rd, Ra, Rb
  RdRb,         // "R%d,R%d"          Rd, Rb
  RaRb,         // "R%d,R%d"          Ra, Rb
  Rb,           // "R%d"              Rb
  Rd,           // "R%d"              Rd
  RdRaImm,      // "R%d,R%d,H#%X"     Rd, Ra, imm16
  RdImm,        // "R%d,H#%X"         Rd, imm16
  RaImm,        // "R%d,H#%X"         Ra, imm16
  RaImmPct,     // "R%d,H#%X%"        Ra, imm16
  ImmPct,       // "H#%X%"            imm16
  RdImmPct,     // "R%d,H#%X%"        Rd, imm16
  RdRaBitPct,   // "R%d,R%d,H#%X%"    Rd, Ra, bit
  Undefined,    // "???\t%X"          the whole word
  MoveiGroup,   // decided by the sub-operation
  InvalidMovei  // "Invalid MOVEI %X" the whole word
};

struct OpcodeInfo {
  std::string_view mnemonic;
  OperandFormat format;
};

inline constexpr std::array<OpcodeInfo, 64> kOpcodeTable = {{
    {"NOP", OperandFormat::None},
    {"OR", OperandFormat::RdRaRb},
    {"XOR", OperandFormat::RdRaRb},
    {"NOR", OperandFormat::RdRaRb},
    {"AND", OperandFormat::RdRaRb},
    {"ADD", OperandFormat::RdRaRb},
    {"SUBB", OperandFormat::RdRaRb},
    {"NOT", OperandFormat::RdRb},
    {"ROR", OperandFormat::RdRaRb},
    {"SLL", OperandFormat::RdRaRb},
    {"SRL", OperandFormat::RdRaRb},
    {"SRA", OperandFormat::RdRaRb},
    {"BZE", OperandFormat::RaRb},
    {"BNZE", OperandFormat::RaRb},
    {"BNE", OperandFormat::RaRb},
    {"JUMP", OperandFormat::Rb},
    {"BrZE", OperandFormat::RaRb},
    {"BrNZE", OperandFormat::RaRb},
    {"JUMPr", OperandFormat::Rb},
    {"LOAD", OperandFormat::RdRaRb},
    {"STORE", OperandFormat::RaRb},
    {"CALL", OperandFormat::Rb},
    {"RETI", OperandFormat::None},
    {"BrNE", OperandFormat::RaRb},
    {"RET", OperandFormat::None},
    {"PUSH", OperandFormat::Rb},
    {"POP", OperandFormat::Rd},
    {"MOVE", OperandFormat::RdRb},
    {"BITSET", OperandFormat::RdRaRb},
    {"BITCLEAR", OperandFormat::RdRaRb},
    {"RANDOMSET", OperandFormat::Rb},
    {"RANDOMIZE", OperandFormat::Rd},
    {"???", OperandFormat::Undefined},
    {"ORI", OperandFormat::RdRaImm},
    {"XORI", OperandFormat::RdRaImm},
    {"NORI", OperandFormat::RdRaImm},
    {"ANDI", OperandFormat::RdRaImm},
    {"ADDI", OperandFormat::RdRaImm},
    {"SUBBI", OperandFormat::RdRaImm},
    {"NOTI", OperandFormat::RdImm},
    {"RORI", OperandFormat::RdRaImm},
    {"SLLI", OperandFormat::RdRaImm},
    {"SRLI", OperandFormat::RdRaImm},
    {"SRAI", OperandFormat::RdRaImm},
    {"BZEI", OperandFormat::RaImmPct},
    {"BNZEI", OperandFormat::RaImmPct},
    {"BNEI", OperandFormat::RaImmPct},
    {"JUMPI", OperandFormat::ImmPct},
    {"BrZEI", OperandFormat::RaImmPct},
    {"BrNZEI", OperandFormat::RaImmPct},
    {"JUMPrI", OperandFormat::ImmPct},
    {"LOADI", OperandFormat::RdRaImm},
    {"STOREI", OperandFormat::RaImm},
    {"???", OperandFormat::Undefined},
    {"???", OperandFormat::Undefined},
    {"BrNEI", OperandFormat::RaImmPct},
    {"???", OperandFormat::Undefined},
    {"PUSHI", OperandFormat::ImmPct},
    {"???", OperandFormat::Undefined},
    {"MOVEI", OperandFormat::MoveiGroup},
    {"BITSETI", OperandFormat::RdRaBitPct},
    {"BITCLEARI", OperandFormat::RdRaBitPct},
    {"RANDOMSETI", OperandFormat::ImmPct},
    {"???", OperandFormat::Undefined},
}};

inline constexpr std::array<OpcodeInfo, 16> kMoveiTable = {{
    {"MOVEL", OperandFormat::RdImmPct},
    {"SETMASK", OperandFormat::ImmPct},
    {"MVSPL", OperandFormat::ImmPct},
    {"", OperandFormat::InvalidMovei},
    {"MVNZCOU", OperandFormat::Rd},
    {"", OperandFormat::InvalidMovei},
    {"", OperandFormat::InvalidMovei},
    {"", OperandFormat::InvalidMovei},
    {"MOVEH", OperandFormat::RdImmPct},
    {"", OperandFormat::InvalidMovei},
    {"MVSPH", OperandFormat::ImmPct},
    {"", OperandFormat::InvalidMovei},
    {"", OperandFormat::InvalidMovei},
    {"", OperandFormat::InvalidMovei},
    {"", OperandFormat::InvalidMovei},
    {"", OperandFormat::InvalidMovei},
}};

// The text form of a word: its opcode's row, or for the MOVEI group the sub-operation's row.
constexpr const OpcodeInfo& DescribeInstruction(Instruction in) {
  const OpcodeInfo& info = kOpcodeTable[static_cast<unsigned>(in.opcode())];
  if (info.format == OperandFormat::MoveiGroup) {
    return kMoveiTable[static_cast<unsigned>(in.sub())];
  }
  return info;
}

// True for the words the processor performs. Undefined opcodes and invalid MOVEI
// sub-operations are not performed; RETI is performed and changes nothing.
constexpr bool IsDefinedInstruction(uint32_t word) {
  const OperandFormat f = DescribeInstruction(Instruction{word}).format;
  return f != OperandFormat::Undefined && f != OperandFormat::InvalidMovei;
}

// Whether performing the word moves only pc (and, for CALL and RET, sp and the stack word):
// NOP, the jumps and branches, taken or not, CALL, RET, RETI and the words not performed. Every
// other word changes a register, the flags, sp, im, the shift register or memory, and goes on
// to the next word.
constexpr bool MovesOnlyPc(uint32_t word) {
  switch (Instruction{word}.opcode()) {
    case Opcode::NOP:
    case Opcode::BZE:
    case Opcode::BNZE:
    case Opcode::BNE:
    case Opcode::JUMP:
    case Opcode::BrZE:
    case Opcode::BrNZE:
    case Opcode::JUMPr:
    case Opcode::CALL:
    case Opcode::RETI:
    case Opcode::BrNE:
    case Opcode::RET:
    case Opcode::BZEI:
    case Opcode::BNZEI:
    case Opcode::BNEI:
    case Opcode::JUMPI:
    case Opcode::BrZEI:
    case Opcode::BrNZEI:
    case Opcode::JUMPrI:
    case Opcode::BrNEI: return true;
    default: return !IsDefinedInstruction(word);
  }
}

// Each mnemonic names exactly one table slot: checked while compiling.
consteval bool MnemonicsAreUnique() {
  for (size_t i = 0; i < kOpcodeTable.size(); ++i) {
    for (size_t j = i + 1; j < kOpcodeTable.size(); ++j) {
      if (kOpcodeTable[i].mnemonic == kOpcodeTable[j].mnemonic &&
          kOpcodeTable[i].format != OperandFormat::Undefined) {
        return false;
      }
    }
    for (const OpcodeInfo& m : kMoveiTable) {
      if (!m.mnemonic.empty() && m.mnemonic == kOpcodeTable[i].mnemonic) return false;
    }
  }
  return true;
}
static_assert(MnemonicsAreUnique());

}  // namespace tervik
