// The Tervik instruction set described once: the fields of an instruction word, the 64 opcodes
// and the MOVEI sub-operations, with the text form of each. The executor and the disassembler
// both work from these tables.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
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

// Where a word sends pc: on to the next word, a conditional branch (taken or not), an
// unconditional jump, a subroutine call, a return from one, or nowhere (pc stays: RETI and the
// words the processor does not perform).
enum class Flow : uint8_t { Next, Branch, Jump, Call, Return, Stay };
// The data word a word loads or stores (instruction fetches aside): LOAD, LOADI, POP and RET
// load; STORE, STOREI, PUSH, PUSHI and CALL store.
enum class Access : uint8_t { None, Load, Store };

struct OpcodeInfo {
  std::string_view mnemonic;
  OperandFormat format;
  Flow flow = Flow::Next;
  Access access = Access::None;
  bool relative = false;  // the immediate is added to the word's address (BZEI, JUMPI, ...)
};

inline constexpr std::array<OpcodeInfo, 64> kOpcodeTable = {{
    {"NOP", OperandFormat::None, Flow::Next, Access::None, false},
    {"OR", OperandFormat::RdRaRb, Flow::Next, Access::None, false},
    {"XOR", OperandFormat::RdRaRb, Flow::Next, Access::None, false},
    {"NOR", OperandFormat::RdRaRb, Flow::Next, Access::None, false},
    {"AND", OperandFormat::RdRaRb, Flow::Next, Access::None, false},
    {"ADD", OperandFormat::RdRaRb, Flow::Next, Access::None, false},
    {"SUBB", OperandFormat::RdRaRb, Flow::Next, Access::None, false},
    {"NOT", OperandFormat::RdRb, Flow::Next, Access::None, false},
    {"ROR", OperandFormat::RdRaRb, Flow::Next, Access::None, false},
    {"SLL", OperandFormat::RdRaRb, Flow::Next, Access::None, false},
    {"SRL", OperandFormat::RdRaRb, Flow::Next, Access::None, false},
    {"SRA", OperandFormat::RdRaRb, Flow::Next, Access::None, false},
    {"BZE", OperandFormat::RaRb, Flow::Branch, Access::None, false},
    {"BNZE", OperandFormat::RaRb, Flow::Branch, Access::None, false},
    {"BNE", OperandFormat::RaRb, Flow::Branch, Access::None, false},
    {"JUMP", OperandFormat::Rb, Flow::Jump, Access::None, false},
    {"BrZE", OperandFormat::RaRb, Flow::Branch, Access::None, false},
    {"BrNZE", OperandFormat::RaRb, Flow::Branch, Access::None, false},
    {"JUMPr", OperandFormat::Rb, Flow::Jump, Access::None, false},
    {"LOAD", OperandFormat::RdRaRb, Flow::Next, Access::Load, false},
    {"STORE", OperandFormat::RaRb, Flow::Next, Access::Store, false},
    {"CALL", OperandFormat::Rb, Flow::Call, Access::Store, false},
    {"RETI", OperandFormat::None, Flow::Stay, Access::None, false},
    {"BrNE", OperandFormat::RaRb, Flow::Branch, Access::None, false},
    {"RET", OperandFormat::None, Flow::Return, Access::Load, false},
    {"PUSH", OperandFormat::Rb, Flow::Next, Access::Store, false},
    {"POP", OperandFormat::Rd, Flow::Next, Access::Load, false},
    {"MOVE", OperandFormat::RdRb, Flow::Next, Access::None, false},
    {"BITSET", OperandFormat::RdRaRb, Flow::Next, Access::None, false},
    {"BITCLEAR", OperandFormat::RdRaRb, Flow::Next, Access::None, false},
    {"RANDOMSET", OperandFormat::Rb, Flow::Next, Access::None, false},
    {"RANDOMIZE", OperandFormat::Rd, Flow::Next, Access::None, false},
    {"???", OperandFormat::Undefined, Flow::Stay, Access::None, false},
    {"ORI", OperandFormat::RdRaImm, Flow::Next, Access::None, false},
    {"XORI", OperandFormat::RdRaImm, Flow::Next, Access::None, false},
    {"NORI", OperandFormat::RdRaImm, Flow::Next, Access::None, false},
    {"ANDI", OperandFormat::RdRaImm, Flow::Next, Access::None, false},
    {"ADDI", OperandFormat::RdRaImm, Flow::Next, Access::None, false},
    {"SUBBI", OperandFormat::RdRaImm, Flow::Next, Access::None, false},
    {"NOTI", OperandFormat::RdImm, Flow::Next, Access::None, false},
    {"RORI", OperandFormat::RdRaImm, Flow::Next, Access::None, false},
    {"SLLI", OperandFormat::RdRaImm, Flow::Next, Access::None, false},
    {"SRLI", OperandFormat::RdRaImm, Flow::Next, Access::None, false},
    {"SRAI", OperandFormat::RdRaImm, Flow::Next, Access::None, false},
    {"BZEI", OperandFormat::RaImmPct, Flow::Branch, Access::None, true},
    {"BNZEI", OperandFormat::RaImmPct, Flow::Branch, Access::None, true},
    {"BNEI", OperandFormat::RaImmPct, Flow::Branch, Access::None, true},
    {"JUMPI", OperandFormat::ImmPct, Flow::Jump, Access::None, true},
    {"BrZEI", OperandFormat::RaImmPct, Flow::Branch, Access::None, false},
    {"BrNZEI", OperandFormat::RaImmPct, Flow::Branch, Access::None, false},
    {"JUMPrI", OperandFormat::ImmPct, Flow::Jump, Access::None, false},
    {"LOADI", OperandFormat::RdRaImm, Flow::Next, Access::Load, false},
    {"STOREI", OperandFormat::RaImm, Flow::Next, Access::Store, false},
    {"???", OperandFormat::Undefined, Flow::Stay, Access::None, false},
    {"???", OperandFormat::Undefined, Flow::Stay, Access::None, false},
    {"BrNEI", OperandFormat::RaImmPct, Flow::Branch, Access::None, false},
    {"???", OperandFormat::Undefined, Flow::Stay, Access::None, false},
    {"PUSHI", OperandFormat::ImmPct, Flow::Next, Access::Store, false},
    {"???", OperandFormat::Undefined, Flow::Stay, Access::None, false},
    {"MOVEI", OperandFormat::MoveiGroup, Flow::Next, Access::None, false},
    {"BITSETI", OperandFormat::RdRaBitPct, Flow::Next, Access::None, false},
    {"BITCLEARI", OperandFormat::RdRaBitPct, Flow::Next, Access::None, false},
    {"RANDOMSETI", OperandFormat::ImmPct, Flow::Next, Access::None, false},
    {"???", OperandFormat::Undefined, Flow::Stay, Access::None, false},
}};

inline constexpr std::array<OpcodeInfo, 16> kMoveiTable = {{
    {"MOVEL", OperandFormat::RdImmPct, Flow::Next, Access::None, false},
    {"SETMASK", OperandFormat::ImmPct, Flow::Next, Access::None, false},
    {"MVSPL", OperandFormat::ImmPct, Flow::Next, Access::None, false},
    {"", OperandFormat::InvalidMovei, Flow::Stay, Access::None, false},
    {"MVNZCOU", OperandFormat::Rd, Flow::Next, Access::None, false},
    {"", OperandFormat::InvalidMovei, Flow::Stay, Access::None, false},
    {"", OperandFormat::InvalidMovei, Flow::Stay, Access::None, false},
    {"", OperandFormat::InvalidMovei, Flow::Stay, Access::None, false},
    {"MOVEH", OperandFormat::RdImmPct, Flow::Next, Access::None, false},
    {"", OperandFormat::InvalidMovei, Flow::Stay, Access::None, false},
    {"MVSPH", OperandFormat::ImmPct, Flow::Next, Access::None, false},
    {"", OperandFormat::InvalidMovei, Flow::Stay, Access::None, false},
    {"", OperandFormat::InvalidMovei, Flow::Stay, Access::None, false},
    {"", OperandFormat::InvalidMovei, Flow::Stay, Access::None, false},
    {"", OperandFormat::InvalidMovei, Flow::Stay, Access::None, false},
    {"", OperandFormat::InvalidMovei, Flow::Stay, Access::None, false},
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
  return Instruction{word}.opcode() == Opcode::NOP ||
         DescribeInstruction(Instruction{word}).flow != Flow::Next;
}

// Where a branch or jump with an immediate goes, from the word's address: nothing for every
// other word (a register's jump goes where the register says).
constexpr std::optional<uint32_t> ImmediateTarget(uint32_t address, uint32_t word) {
  const Instruction in{word};
  const OpcodeInfo& info = DescribeInstruction(in);
  if (info.flow != Flow::Branch && info.flow != Flow::Jump) return std::nullopt;
  if (info.format != OperandFormat::RaImmPct && info.format != OperandFormat::ImmPct) {
    return std::nullopt;
  }
  return info.relative ? address + in.simm() : in.simm();
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
