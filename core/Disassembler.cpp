// Processor::Disassemble: the assembler text of one instruction word.
#include <algorithm>
#include <cstdio>

#include "Processor.h"

namespace tervik {

size_t Processor::Disassemble(uint32_t word, std::span<char> buffer) {
  if (buffer.empty()) return 0;
  const Instruction in{word};
  const OpcodeInfo& info = DescribeInstruction(in);
  const int m = static_cast<int>(info.mnemonic.size());
  const char* mn = info.mnemonic.data();
  const unsigned rd = in.rd(), ra = in.ra(), rb = in.rb(), imm = in.imm16();

  char* out = buffer.data();
  const size_t size = buffer.size();
  out[0] = '\0';
  int n = 0;
  switch (info.format) {
    case OperandFormat::None: n = std::snprintf(out, size, "%.*s\t", m, mn); break;
    case OperandFormat::RdRaRb:
      n = std::snprintf(out, size, "%.*s\tR%u,R%u,R%u", m, mn, rd, ra, rb);
      break;
    case OperandFormat::RdRb: n = std::snprintf(out, size, "%.*s\tR%u,R%u", m, mn, rd, rb); break;
    case OperandFormat::RaRb: n = std::snprintf(out, size, "%.*s\tR%u,R%u", m, mn, ra, rb); break;
    case OperandFormat::Rb: n = std::snprintf(out, size, "%.*s\tR%u", m, mn, rb); break;
    case OperandFormat::Rd: n = std::snprintf(out, size, "%.*s\tR%u", m, mn, rd); break;
    case OperandFormat::RdRaImm:
      n = std::snprintf(out, size, "%.*s\tR%u,R%u,H#%X", m, mn, rd, ra, imm);
      break;
    case OperandFormat::RdImm:
      n = std::snprintf(out, size, "%.*s\tR%u,H#%X", m, mn, rd, imm);
      break;
    case OperandFormat::RaImm:
      n = std::snprintf(out, size, "%.*s\tR%u,H#%X", m, mn, ra, imm);
      break;
    case OperandFormat::RaImmPct:
      n = std::snprintf(out, size, "%.*s\tR%u,H#%X%%", m, mn, ra, imm);
      break;
    case OperandFormat::ImmPct: n = std::snprintf(out, size, "%.*s\tH#%X%%", m, mn, imm); break;
    case OperandFormat::RdImmPct:
      n = std::snprintf(out, size, "%.*s\tR%u,H#%X%%", m, mn, rd, imm);
      break;
    case OperandFormat::RdRaBitPct:
      n = std::snprintf(out, size, "%.*s\tR%u,R%u,H#%X%%", m, mn, rd, ra, in.bit());
      break;
    case OperandFormat::Undefined: n = std::snprintf(out, size, "???\t%X", word); break;
    case OperandFormat::InvalidMovei: n = std::snprintf(out, size, "Invalid MOVEI %X", word); break;
    case OperandFormat::MoveiGroup: break;  // DescribeInstruction resolves the group
  }
  if (n < 0) n = 0;
  return std::min(static_cast<size_t>(n), size - 1);
}

std::string Processor::Disassemble(uint32_t word) {
  char buffer[kDisassemblyMax];
  const size_t n = Disassemble(word, buffer);
  return std::string(buffer, n);
}

}  // namespace tervik
