// The runner's fast trace against the plain form of its line: random programs (with a module
// region they load from, store to and now and then run from) traced by RunTraced, and step by
// step with AppendTraceLine, give the same text byte for byte and end alike; a trace of steps
// FROM..TO is exactly those lines of the whole trace, and ends in the same state.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "Runner.h"
#include "TestMachine.h"
#include "ToolsTestSupport.h"

namespace tervik::test {
namespace {

using enum Opcode;
using runner::RunLimits;
using runner::RunOutcome;
using runner::StopReason;
using runner::TraceRange;

constexpr uint32_t kProgram = Machine::kRam, kProgramSize = 0x100;
constexpr uint32_t kDevice = Machine::kRam + 0x200, kDeviceSize = 0x10;

// Random words, mostly branching within the program; registers pointing into the program,
// the module, ROM, the gap and anywhere.
void SetUpRandomProgram(Machine& m, uint32_t seed) {
  m.cpu.AddRegion(kDevice, kDeviceSize, RegionType::DLL, FakeModule<3>::Entry());
  std::mt19937 rng(seed);
  for (uint32_t a = kProgram; a < kProgram + kProgramSize; ++a) {
    uint32_t word = rng();
    switch (static_cast<Opcode>(word >> 26)) {
      case BZEI:
      case BNZEI:
      case BNEI:
      case JUMPI:
        word = (word & 0xFFFF0000u) | static_cast<uint16_t>(static_cast<int>(rng() % 9) - 4);
        break;
      case BrZEI:
      case BrNZEI:
      case BrNEI:
      case JUMPrI: word = (word & 0xFFFF0000u) | (kProgram + rng() % kProgramSize); break;
      default: break;
    }
    m.cpu.WriteMem(a, word);
  }
  for (unsigned i = 0; i < 32; ++i) {
    const uint32_t choices[] = {kProgram + static_cast<uint32_t>(rng() % kProgramSize),
                                kDevice + static_cast<uint32_t>(rng() % kDeviceSize),
                                static_cast<uint32_t>(rng() % 0x800), static_cast<uint32_t>(rng()),
                                0};
    m.cpu.r[i] = choices[rng() % 5];
  }
  m.cpu.sp = kProgram + kProgramSize + 0x40;
  m.cpu.SetPC(kProgram);
}

// The trace as the plain line builder makes it, one Step at a time.
RunOutcome PlainTrace(Processor& cpu, const RunLimits& limits, std::string& text) {
  RunOutcome outcome{StopReason::StepLimit, 0};
  while (outcome.steps < limits.maxSteps) {
    const CpuState before = cpu;
    const std::optional<uint32_t> word = runner::PeekWord(cpu, cpu.pc);
    cpu.Step();
    ++outcome.steps;
    runner::AppendTraceLine(text, outcome.steps, before, word, cpu);
    if (limits.until && cpu.pc == *limits.until) return {StopReason::Until, outcome.steps};
    if (!cpu.pcChanged) return {StopReason::Halted, outcome.steps};
  }
  return outcome;
}

// Lines first..last (from 1) of `text`.
std::string Lines(const std::string& text, uint64_t first, uint64_t last) {
  std::string out;
  uint64_t line = 1;
  size_t pos = 0;
  while (pos < text.size() && line <= last) {
    const size_t end = text.find('\n', pos) + 1;
    if (line >= first) out.append(text, pos, end - pos);
    pos = end;
    ++line;
  }
  return out;
}

TEST(Trace, FastTraceMatchesThePlainLinesAndRangesCutThemOut) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    std::mt19937 rng(seed * 7919u);
    RunLimits limits{1 + rng() % 3000, std::nullopt};
    if (rng() % 3 == 0) limits.until = kProgram + rng() % kProgramSize;

    Machine plain;
    SetUpRandomProgram(plain, seed);
    CallLog().clear();
    std::string expected;
    const RunOutcome plainOutcome = PlainTrace(plain.cpu, limits, expected);
    const std::vector<std::string> plainCalls = CallLog();

    Machine fast;
    SetUpRandomProgram(fast, seed);
    CallLog().clear();
    MemoryFile out;
    EXPECT_EQ(runner::RunTraced(fast.cpu, limits, out.get()), plainOutcome) << "seed " << seed;
    ASSERT_EQ(out.Text(), expected) << "seed " << seed;
    EXPECT_EQ(CallLog(), plainCalls) << "seed " << seed;
    EXPECT_EQ(static_cast<const CpuState&>(fast.cpu), static_cast<const CpuState&>(plain.cpu));

    // A stretch of the steps, which may begin or end past the run's end.
    const uint64_t from = 1 + rng() % (plainOutcome.steps + 2);
    const TraceRange range{from, from + rng() % 50};
    Machine ranged;
    SetUpRandomProgram(ranged, seed);
    MemoryFile part;
    EXPECT_EQ(runner::RunTraced(ranged.cpu, limits, part.get(), range), plainOutcome)
        << "seed " << seed;
    EXPECT_EQ(part.Text(), Lines(expected, range.from, range.to)) << "seed " << seed;
    EXPECT_EQ(static_cast<const CpuState&>(ranged.cpu), static_cast<const CpuState&>(plain.cpu))
        << "seed " << seed;
  }
}

}  // namespace
}  // namespace tervik::test
