// A debugger's way into the processor, off the hot path: reading a word without side effects,
// asking what serves an address, reading and editing registers and memory words with the change
// markers kept by one rule (a marker is set only when the value differs; an unchanged value
// leaves every marker as it was).
#pragma once

#include <cstdint>
#include <optional>

#include "AddressMap.h"
#include "Instruction.h"
#include "Processor.h"
#include "Registers.h"

namespace tervik {

using debug::RegisterId;

// What the bus reads where no region serves an address.
inline constexpr uint32_t kUnmappedWord = 0xFFFFFFFF;

// The stretch of the address space that serves `a`: its kind (unmapped, ROM, RAM, a module)
// and where its words are, as the bus routes an access (the first region in list order).
const Segment& ServedBy(const Processor& cpu, uint32_t a);
// Whether a region serves `a`.
inline bool IsMapped(const Processor& cpu, uint32_t a) {
  return ServedBy(cpu, a).kind != Segment::Kind::Unmapped;
}

// The word at `a` when ROM or RAM serves it; nothing for a module's word (its ReadMem may act on
// the read) or an unmapped address. Reading it has no side effect.
std::optional<uint32_t> Peek(const Processor& cpu, uint32_t a);

// The register's value.
uint32_t ReadRegister(const Processor& cpu, RegisterId id);

// Writes a register as a debugger edits it and returns the value stored (SR keeps only the
// flag bits 0..3). The register's marker (and for SR each flag's) is set when its value
// changes; no marker is cleared.
uint32_t Edit(Processor& cpu, RegisterId id, uint32_t value);

// Writes the word at `a` as the loaders do (ROM is writable here, a module's word goes to its
// WriteMem) and marks it as the last word written when its value changes. False, with nothing
// written, when no region serves `a`.
bool EditWord(Processor& cpu, uint32_t a, uint32_t value);

// The word an instruction stores, from the registers before it ran; 0 for a word that stores
// nothing (Access::Store in the opcode table).
constexpr uint32_t StoredWord(uint32_t word, const CpuState& before) {
  const Instruction in{word};
  switch (in.opcode()) {
    case Opcode::STORE:
    case Opcode::PUSH: return before.r[in.rb()];
    case Opcode::STOREI:
    case Opcode::PUSHI: return in.simm();
    case Opcode::CALL: return before.pc + 1;
    default: return 0;
  }
}

}  // namespace tervik
