// A debugger's reads and edits of the processor.
#include "Inspection.h"

namespace tervik {

const Segment& ServedBy(const Processor& cpu, uint32_t a) {
  return cpu.Routing().Find(a);
}

std::optional<uint32_t> Peek(const Processor& cpu, uint32_t a) {
  const Segment& s = ServedBy(cpu, a);
  if (s.kind != Segment::Kind::ROM && s.kind != Segment::Kind::RAM) return std::nullopt;
  return s.words[a - s.lo];
}

uint32_t ReadRegister(const Processor& cpu, RegisterId id) {
  switch (id) {
    case RegisterId::PC: return cpu.pc;
    case RegisterId::SP: return cpu.sp;
    case RegisterId::SR: return cpu.sr;
    case RegisterId::IM: return cpu.im;
    case RegisterId::LFSR: return cpu.lfsr;
  }
  return cpu.r[static_cast<unsigned>(id) % 32];
}

namespace {

void Set(uint32_t& field, bool& marker, uint32_t value) {
  if (field != value) marker = true;
  field = value;
}

}  // namespace

uint32_t Edit(Processor& cpu, RegisterId id, uint32_t value) {
  switch (id) {
    case RegisterId::PC: Set(cpu.pc, cpu.pcChanged, value); return value;
    case RegisterId::SP: Set(cpu.sp, cpu.spChanged, value); return value;
    case RegisterId::IM: Set(cpu.im, cpu.imChanged, value); return value;
    case RegisterId::LFSR: Set(cpu.lfsr, cpu.lfsrChanged, value); return value;
    case RegisterId::SR: {
      value &= Processor::kFlagN | Processor::kFlagZ | Processor::kFlagC | Processor::kFlagO;
      const uint32_t changed = cpu.sr ^ value;
      if (changed != 0) cpu.srChanged = true;
      if ((changed & Processor::kFlagN) != 0) cpu.nChanged = true;
      if ((changed & Processor::kFlagZ) != 0) cpu.zChanged = true;
      if ((changed & Processor::kFlagC) != 0) cpu.cChanged = true;
      if ((changed & Processor::kFlagO) != 0) cpu.oChanged = true;
      cpu.sr = value;
      return value;
    }
  }
  const unsigned n = static_cast<unsigned>(id) % 32;
  Set(cpu.r[n], cpu.regChanged[n], value);
  return value;
}

bool EditWord(Processor& cpu, uint32_t a, uint32_t value) {
  const Segment& s = ServedBy(cpu, a);
  if (s.kind == Segment::Kind::Unmapped) return false;
  // A module's word is not read back (its ReadMem may act on the read): a write to it always
  // counts as a change.
  const bool changed = s.kind == Segment::Kind::DLL || s.words[a - s.lo] != value;
  cpu.WriteMem(a, value);
  if (changed) {
    cpu.memWritten = true;
    cpu.lastWriteAddress = a;
  }
  return true;
}

}  // namespace tervik
