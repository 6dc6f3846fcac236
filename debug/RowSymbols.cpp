// Labels and targets for the disassembly.
#include "RowSymbols.h"

#include "Instruction.h"

namespace tervik::debug {

std::optional<uint32_t> WordTarget(uint32_t address, uint32_t word,
                                   std::optional<uint32_t> previous) {
  const Instruction in{word};
  if (const std::optional<uint32_t> target = ImmediateTarget(address, word)) return target;
  switch (in.opcode()) {
    case Opcode::MOVEI:
      if (in.sub() == MoveiSub::MOVEL) return in.simm();
      return std::nullopt;
    case Opcode::ORI:
    case Opcode::ADDI: {
      if (!previous || in.rd() != in.ra()) return std::nullopt;
      const Instruction high{*previous};
      if (high.opcode() != Opcode::MOVEI || high.sub() != MoveiSub::MOVEH || high.rd() != in.rd()) {
        return std::nullopt;
      }
      const uint32_t upper = high.imm16() << 16;
      return in.opcode() == Opcode::ORI ? (upper | in.simm()) : upper + in.simm();
    }
    default: return std::nullopt;
  }
}

RowSymbols SymbolsForRow(const SymbolTable& symbols, uint32_t address, uint32_t word,
                         std::optional<uint32_t> previous) {
  RowSymbols row;
  if (symbols.empty()) return row;
  row.label = symbols.LabelAt(address);
  std::optional<uint32_t> target = ImmediateTarget(address, word);
  if (!target && symbols.WrittenWithSymbol(address)) target = WordTarget(address, word, previous);
  if (target) row.target = symbols.LabelAt(*target);
  return row;
}

}  // namespace tervik::debug
