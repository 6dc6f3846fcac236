// The opcode table's flow and access columns against the executor: every opcode and every MOVEI
// sub-operation is run from many random states with a watch over the whole address space, and
// what the processor did (where pc went, which data word it loaded or stored) must be what the
// table says. Everything that asks "does this word branch, call, return, load or store" reads
// those columns, so a wrong row would mislead the debugger, the trace and the assembler alike.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>

#include "Inspection.h"
#include "Instruction.h"
#include "Processor.h"

namespace tervik {
namespace {

constexpr uint32_t kAt = 0x100;  // where each word runs, in RAM

struct Seen {
  bool next = false;       // pc went on to the next word
  bool stayed = false;     // pc stayed
  bool elsewhere = false;  // pc went anywhere else
};

void CheckWord(uint32_t word, const OpcodeInfo& info, std::mt19937& rng, const std::string& name) {
  static constexpr std::array<uint32_t, 4> kPool = {0, 1, 0xFFFFFFFF, 0x80000000};
  Seen seen;
  for (int sample = 0; sample < 64; ++sample) {
    CpuState state;
    for (uint32_t& r : state.r) r = rng() % 3 == 0 ? kPool[rng() % kPool.size()] : rng();
    state.sp = 0x8000 + rng() % 0x100;
    state.sr = rng() & 15u;
    state.pc = kAt;
    // Random operand bits; the opcode (and the MOVEI sub-operation) stay.
    const uint32_t mask = Instruction{word}.opcode() == Opcode::MOVEI ? 0x03E1FFFFu : 0x03FFFFFFu;
    const uint32_t w = (word & ~mask) | (rng() & mask);
    auto machine = [&](Processor& cpu) {
      cpu.AddRegion(0, 0x10000, RegionType::RAM);
      static_cast<CpuState&>(cpu) = state;
      cpu.WriteMem(kAt, w);
    };
    const CpuState before = state;
    // Where pc goes: one step.
    Processor cpu;
    machine(cpu);
    cpu.Step();
    // What it accessed: a batch of two cycles that watches everything ends after the cycle that
    // made the first access. The second cycle, when the first made none, runs a zero word (NOP)
    // or an unmapped one, or the same word again; neither of the first two accesses anything.
    Processor watched;
    machine(watched);
    const Processor::Watch all{0, 0xFFFFFFFF, true, true};
    watched.RunBatch(2, {}, Processor::OnStall::Continue, std::span(&all, 1));
    const std::optional<Processor::WatchHit>& hit = watched.LastWatchHit();
    if (hit) {
      EXPECT_EQ(hit->pc, kAt) << name;
    }

    switch (info.access) {
      case Access::None: EXPECT_FALSE(hit.has_value()) << name; break;
      case Access::Load: EXPECT_TRUE(hit && !hit->write) << name; break;
      case Access::Store:
        ASSERT_TRUE(hit && hit->write) << name;
        EXPECT_EQ(hit->value, StoredWord(w, before)) << name;
        break;
    }
    if (cpu.pc == kAt + 1) {
      seen.next = true;
    } else if (cpu.pc == kAt) {
      seen.stayed = true;
    } else {
      seen.elsewhere = true;
      if (const std::optional<uint32_t> target = ImmediateTarget(kAt, w)) {
        EXPECT_EQ(cpu.pc, *target) << name << ": a taken branch goes to its immediate target";
      }
    }
    if (info.flow == Flow::Call) {
      EXPECT_EQ(cpu.sp, before.sp + 1) << name;
      EXPECT_EQ(hit ? hit->address : 0, before.sp) << name;
    }
    if (info.flow == Flow::Return) {
      EXPECT_EQ(cpu.sp, before.sp - 1) << name;
    }
    EXPECT_EQ(MovesOnlyPc(w), Instruction{w}.opcode() == Opcode::NOP || info.flow != Flow::Next)
        << name;
  }
  switch (info.flow) {
    case Flow::Next:
      EXPECT_TRUE(seen.next && !seen.stayed && !seen.elsewhere) << name << " goes on";
      break;
    case Flow::Stay: EXPECT_TRUE(seen.stayed && !seen.next && !seen.elsewhere) << name; break;
    case Flow::Branch: EXPECT_TRUE(seen.elsewhere && seen.next) << name << " both ways"; break;
    case Flow::Jump:
    case Flow::Call:
    case Flow::Return: EXPECT_TRUE(seen.elsewhere) << name << " leaves"; break;
  }
}

TEST(FlowAccessTest, ColumnsAgreeWithTheExecutor) {
  std::mt19937 rng(2026);
  for (uint32_t op = 0; op < kOpcodeTable.size(); ++op) {
    const OpcodeInfo& info = kOpcodeTable[op];
    if (info.format == OperandFormat::MoveiGroup) continue;
    CheckWord(op << 26, info, rng, std::string(info.mnemonic) + " (" + std::to_string(op) + ")");
  }
  for (uint32_t sub = 0; sub < kMoveiTable.size(); ++sub) {
    CheckWord(static_cast<uint32_t>(Opcode::MOVEI) << 26 | sub << 17, kMoveiTable[sub], rng,
              "MOVEI sub " + std::to_string(sub));
  }
}

}  // namespace
}  // namespace tervik
