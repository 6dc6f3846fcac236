// The assembler's view of the instruction set, built from the core's opcode tables.
#include "InstructionSet.h"

#include <algorithm>

#include "Instruction.h"

namespace tervik::assembler {

namespace {

Shape ShapeOf(OperandFormat f) {
  using enum Slot;
  switch (f) {
    case OperandFormat::None: return {};
    case OperandFormat::RdRaRb: return {{Rd, Ra, Rb}, 3, false};
    case OperandFormat::RdRb: return {{Rd, Rb}, 2, false};
    case OperandFormat::RaRb: return {{Ra, Rb}, 2, false};
    case OperandFormat::Rb: return {{Rb}, 1, false};
    case OperandFormat::Rd: return {{Rd}, 1, false};
    case OperandFormat::RdRaImm: return {{Rd, Ra, Imm}, 3, false};
    case OperandFormat::RdImm: return {{Rd, Imm}, 2, false};
    case OperandFormat::RaImm: return {{Ra, Imm}, 2, false};
    case OperandFormat::RaImmPct: return {{Ra, Imm}, 2, true};
    case OperandFormat::ImmPct: return {{Imm}, 1, true};
    case OperandFormat::RdImmPct: return {{Rd, Imm}, 2, true};
    case OperandFormat::RdRaBitPct: return {{Rd, Ra, Imm}, 3, true};
    case OperandFormat::Undefined:
    case OperandFormat::MoveiGroup:
    case OperandFormat::InvalidMovei: return {};  // never an assembler mnemonic
  }
  return {};
}

}  // namespace

namespace {

ImmKind ImmKindOf(OperandFormat format, Opcode op, MoveiSub sub) {
  if (format == OperandFormat::RdRaBitPct) return ImmKind::Bit;
  if (kOpcodeTable[static_cast<unsigned>(op)].relative) return ImmKind::Relative;
  if (op == Opcode::MOVEI && (sub == MoveiSub::MOVEH || sub == MoveiSub::MVSPH)) {
    return ImmKind::High;
  }
  return ImmKind::Value;
}

}  // namespace

std::optional<Mnemonic> FindMnemonic(std::string_view name) {
  for (uint32_t op = 0; op < kOpcodeTable.size(); ++op) {
    const OpcodeInfo& info = kOpcodeTable[op];
    if (info.format == OperandFormat::Undefined || info.format == OperandFormat::MoveiGroup) {
      continue;
    }
    if (EqualsNoCase(info.mnemonic, name)) {
      return Mnemonic{info.mnemonic, op << 26, ShapeOf(info.format),
                      ImmKindOf(info.format, static_cast<Opcode>(op), MoveiSub::MOVEL)};
    }
  }
  for (uint32_t sub = 0; sub < kMoveiTable.size(); ++sub) {
    const OpcodeInfo& info = kMoveiTable[sub];
    if (info.format == OperandFormat::InvalidMovei || !EqualsNoCase(info.mnemonic, name)) continue;
    return Mnemonic{info.mnemonic, static_cast<uint32_t>(Opcode::MOVEI) << 26 | sub << 17,
                    ShapeOf(info.format),
                    ImmKindOf(info.format, Opcode::MOVEI, static_cast<MoveiSub>(sub))};
  }
  return std::nullopt;
}

const std::vector<std::string_view>& MnemonicNames() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> all;
    for (const OpcodeInfo& info : kOpcodeTable) {
      if (info.format != OperandFormat::Undefined && info.format != OperandFormat::MoveiGroup) {
        all.push_back(info.mnemonic);
      }
    }
    for (const OpcodeInfo& info : kMoveiTable) {
      if (info.format != OperandFormat::InvalidMovei) all.push_back(info.mnemonic);
    }
    return all;
  }();
  return names;
}

std::string Describe(const Mnemonic& m) {
  if (m.shape.count == 0) return std::string(m.name) + " takes no operands";
  std::string text = std::string(m.name) + " takes ";
  for (size_t i = 0; i < m.shape.count; ++i) {
    if (i > 0) text += ',';
    switch (m.shape.slots[i]) {
      case Slot::Rd: text += "Rd"; break;
      case Slot::Ra: text += "Ra"; break;
      case Slot::Rb: text += "Rb"; break;
      case Slot::Imm: text += m.imm == ImmKind::Bit ? "bit" : "imm"; break;
    }
  }
  return text;
}

uint32_t PlaceRegister(Slot slot, unsigned reg) {
  switch (slot) {
    case Slot::Rd: return reg << 21;
    case Slot::Ra: return reg << 16;
    case Slot::Rb: return reg;
    case Slot::Imm: break;
  }
  return 0;
}
}  // namespace tervik::assembler
