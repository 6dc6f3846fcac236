// The batched run must end in exactly the state of the same number of single steps: registers,
// memory, plug-in calls and the change markers of the last step, with and without breakpoints.
// Every test runs on both engines: the interpreter, and the translator (where this build has
// it) translating every block at its first meeting.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <stdexcept>
#include <tuple>

#include "TestMachine.h"
#include "Translator.h"

namespace tervik::test {
namespace {

using enum Opcode;

constexpr uint32_t kProgram = 0x1000, kProgramSize = 0x100;
constexpr uint32_t kDevice = 0x1100, kDeviceSize = 0x10;

// Everything observable after a run.
struct Observed {
  CpuState regs;
  std::array<bool, 32> regChanged;
  std::array<bool, 10> flags;
  uint32_t lastWriteAddress;
  std::vector<uint32_t> memory;
  std::vector<std::string> calls;
  uint64_t steps;

  bool operator==(const Observed&) const = default;
};

Observed Observe(Processor& cpu, uint64_t steps) {
  Observed o{};
  o.regs = cpu;
  o.regChanged = cpu.regChanged;
  o.flags = {cpu.pcChanged, cpu.srChanged, cpu.imChanged, cpu.spChanged,   cpu.cChanged,
             cpu.oChanged,  cpu.nChanged,  cpu.zChanged,  cpu.lfsrChanged, cpu.memWritten};
  o.lastWriteAddress = cpu.lastWriteAddress;
  for (uint32_t a = kProgram; a < kProgram + kProgramSize + 0x40; ++a) {
    if (a < kDevice || a >= kDevice + kDeviceSize) o.memory.push_back(cpu.ReadMem(a));
  }
  o.calls = CallLog();
  o.steps = steps;
  return o;
}

// The engine a test's batches run on.
class RunBatchTest : public ::testing::TestWithParam<jit::EngineKind> {
 protected:
  bool Translating() const { return GetParam() == jit::EngineKind::Translator; }
  void Use(Processor& cpu) const {
    ASSERT_EQ(jit::InstallEngine(cpu, GetParam(), {.hotAfter = 0}), GetParam());
  }
};

std::vector<jit::EngineKind> Engines() {
  if (!jit::TranslatorAvailable()) return {jit::EngineKind::Interpreter};
  return {jit::EngineKind::Interpreter, jit::EngineKind::Translator};
}

std::string EngineParamName(const ::testing::TestParamInfo<jit::EngineKind>& info) {
  return std::string(jit::EngineName(info.param));
}

// A random program that mostly stays inside its region and reaches RAM, ROM, the device and
// unmapped memory with its loads and stores. With `catchUp` the device is clocked by catch-up
// (its calls come out the same), which is what lets the translator run the program: a module
// clocked every step keeps a batch in the interpreter.
void SetUpRandomProgram(Processor& cpu, uint32_t seed, bool catchUp) {
  std::mt19937 rng(seed);
  cpu.AddRegion(0, 0x100, RegionType::ROM);
  PluginEntryPoints device = FakeModule<5>::Entry();
  if (catchUp) device.ClockSteps = &FakeModule<5>::ClockSteps;
  cpu.AddRegion(kDevice, kDeviceSize, RegionType::DLL, device);
  cpu.AddRegion(kProgram, kProgramSize + 0x40, RegionType::RAM);
  for (uint32_t a = kProgram; a < kProgram + kProgramSize; ++a) {
    uint32_t word = rng();
    const auto op = static_cast<Opcode>(word >> 26);
    switch (op) {
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
      default:
        if (rng() % 8 == 0) word = Op(Undefined63);  // occasional standstill
        break;
    }
    cpu.WriteMem(a, word);
  }
  for (unsigned i = 0; i < 32; ++i) {
    const uint32_t choices[] = {static_cast<uint32_t>(kProgram + rng() % (kProgramSize + 0x40)),
                                static_cast<uint32_t>(kDevice + rng() % 16),
                                static_cast<uint32_t>(rng() % 0x100), static_cast<uint32_t>(rng()),
                                0};
    cpu.r[i] = choices[rng() % 5];
  }
  cpu.sp = kProgram + kProgramSize;
  cpu.lfsr = rng();
  cpu.pc = kProgram;
}

bool Contains(const std::vector<uint32_t>& list, uint32_t a) {
  return std::find(list.begin(), list.end(), a) != list.end();
}

// Breakpoints mostly inside the program, often side by side, now and then in the device, in ROM
// or at the ends of the address space.
std::vector<uint32_t> RandomBreakpoints(std::mt19937& rng, int count) {
  std::vector<uint32_t> list;
  for (int i = 0; i < count; ++i) {
    switch (rng() % 8) {
      case 0: list.push_back(kDevice + rng() % kDeviceSize); break;
      case 1: list.push_back(rng() % 2 == 0 ? 0u : 0xFFFFFFFFu); break;
      case 2:
        if (!list.empty()) {
          list.push_back(list.back() + 1);
          break;
        }
        [[fallthrough]];
      default: list.push_back(kProgram + rng() % kProgramSize); break;
    }
  }
  return list;
}

// Single steps until what RunBatch(n, breakpoints, onStall) would stop at; returns the count.
uint64_t StepLikeBatch(Processor& cpu, uint64_t n, const std::vector<uint32_t>& breakpoints,
                       Processor::OnStall onStall) {
  uint64_t steps = 0;
  do {
    cpu.Step();
    ++steps;
  } while (steps < n && !Contains(breakpoints, cpu.pc) &&
           !(onStall == Processor::OnStall::Stop && !cpu.pcChanged));
  return steps;
}

TEST_P(RunBatchTest, EndsInTheStateOfSingleSteps) {
  std::mt19937 rng(99);
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    for (uint64_t n : {1u, 2u, 7u, 150u, 2000u}) {
      for (auto [bpCount, onStall] : {std::pair{0, Processor::OnStall::Continue},
                                      {1, Processor::OnStall::Continue},
                                      {1, Processor::OnStall::Stop},
                                      {3, Processor::OnStall::Continue},
                                      {12, Processor::OnStall::Continue},
                                      {40, Processor::OnStall::Continue},
                                      {0, Processor::OnStall::Stop},
                                      {3, Processor::OnStall::Stop},
                                      {12, Processor::OnStall::Stop},
                                      {40, Processor::OnStall::Stop}}) {
        const bool stopOnStall = onStall == Processor::OnStall::Stop;
        const std::vector<uint32_t> breakpoints = RandomBreakpoints(rng, bpCount);

        Processor batch;
        SetUpRandomProgram(batch, seed, Translating());
        Use(batch);
        CallLog().clear();
        const uint64_t ran = batch.RunBatch(n, breakpoints, onStall);
        const Observed fromBatch = Observe(batch, ran);

        Processor single;
        SetUpRandomProgram(single, seed, Translating());
        CallLog().clear();
        const uint64_t steps = StepLikeBatch(single, n, breakpoints, onStall);
        const Observed fromSteps = Observe(single, steps);

        EXPECT_EQ(fromBatch.regs.r, fromSteps.regs.r);
        EXPECT_EQ(fromBatch.regs.sr, fromSteps.regs.sr);
        EXPECT_EQ(fromBatch.regs.sp, fromSteps.regs.sp);
        EXPECT_EQ(fromBatch.regChanged, fromSteps.regChanged);
        EXPECT_EQ(fromBatch.flags, fromSteps.flags);
        EXPECT_EQ(fromBatch.lastWriteAddress, fromSteps.lastWriteAddress);
        EXPECT_EQ(fromBatch.memory, fromSteps.memory);
        EXPECT_EQ(fromBatch.calls, fromSteps.calls);
        ASSERT_TRUE(fromBatch == fromSteps)
            << "seed " << seed << " n " << n << " breakpoints " << bpCount << " stall stop "
            << stopOnStall << " steps " << ran << " vs " << steps << " pc " << std::hex << batch.pc
            << " vs " << single.pc;
      }
    }
  }
}

// Breakpoints after a loop's last word, at its first word, before it, on a word it jumps over,
// on the word a call returns to, in ROM, and in programs that read the words at and before a
// breakpoint and rewrite them while they run (a jump before a breakpoint becoming a word that
// goes on into it, and the other way round): every batch, whatever its length, ends where
// single steps stop, in their state.
TEST_P(RunBatchTest, BreakpointsAroundLoopsMatchSingleSteps) {
  constexpr uint32_t k = Machine::kRam, kRom = 0x10;
  struct Case {
    const char* name;
    std::vector<uint32_t> words;  // at k
    std::vector<std::pair<unsigned, uint32_t>> registers;
    std::vector<uint32_t> breakpoints;
  };
  // R2 = 4; count R1 up while R2 counts down; then R3 once, and all over again.
  const std::vector<uint32_t> loop = {Movei(MoveiSub::MOVEL, 2, 4), Rri(ADDI, 1, 1, 1),
                                      Rri(SUBBI, 2, 2, 1),          Rri(BNZEI, 0, 2, 0xFFFE),
                                      Rri(ADDI, 3, 3, 1),           Rri(JUMPI, 0, 0, 0xFFFB)};
  // The same with a jump over the word at k + 3, which is never performed.
  const std::vector<uint32_t> skip = {
      Movei(MoveiSub::MOVEL, 2, 3), Rri(ADDI, 1, 1, 1),       Rri(JUMPI, 0, 0, 2), Op(NOP),
      Rri(SUBBI, 2, 2, 1),          Rri(BNZEI, 0, 2, 0xFFFC), Rri(JUMPrI, 0, 0, k)};
  // After three rounds the jump at k + 4 becomes ADDI R9,R9,7, which goes on into k + 5; the
  // program also loads the words at k + 4 and k + 5 and stores 0x1234 over the one at k + 5.
  const std::vector<uint32_t> patchJump = {
      Movei(MoveiSub::MOVEL, 2, 3), Rri(ADDI, 1, 1, 1),           Rri(SUBBI, 2, 2, 1),
      Rri(BZEI, 0, 2, 3),           Rri(JUMPI, 0, 0, 0xFFFD),     Rri(ADDI, 3, 3, 1),
      Rrr(STORE, 0, 7, 8),          Rri(LOADI, 12, 10, 0),        Rri(LOADI, 13, 7, 0),
      Rri(STOREI, 0, 10, 0x1234),   Movei(MoveiSub::MOVEL, 2, 2), Rri(JUMPI, 0, 0, 0xFFF6)};
  // ADDI R9,R9,7 at k + 4, before k + 5, becomes a jump back to k + 1 after one round.
  const std::vector<uint32_t> patchAdd = {Movei(MoveiSub::MOVEL, 2, 2), Rri(ADDI, 1, 1, 1),
                                          Rri(SUBBI, 2, 2, 1),          Rri(BNZEI, 0, 2, 3),
                                          Rri(ADDI, 9, 9, 7),           Rri(ADDI, 3, 3, 1),
                                          Rrr(STORE, 0, 7, 8),          Rri(JUMPI, 0, 0, 0xFFFA)};
  // A call from the loop to k + 8 and back: R2 = 3 rounds.
  const std::vector<uint32_t> call = {Movei(MoveiSub::MOVEL, 2, 3),
                                      Rrr(CALL, 0, 0, 6),
                                      Rri(SUBBI, 2, 2, 1),
                                      Rri(BNZEI, 0, 2, 0xFFFE),
                                      Op(NOP),
                                      Rri(JUMPrI, 0, 0, k),
                                      Op(NOP),
                                      Op(NOP),
                                      Rri(ADDI, 1, 1, 1),
                                      Op(RET)};
  // From RAM into ROM at kRom and back onto k + 1.
  const std::vector<uint32_t> viaRom = {Rri(JUMPrI, 0, 0, kRom), Rri(ADDI, 3, 3, 1),
                                        Rri(JUMPI, 0, 0, 0xFFFE)};
  const std::vector<std::pair<unsigned, uint32_t>> none;
  const std::vector<std::pair<unsigned, uint32_t>> patchJumpRegs = {
      {7, k + 4}, {8, Rri(ADDI, 9, 9, 7)}, {10, k + 5}};
  const std::vector<std::pair<unsigned, uint32_t>> patchAddRegs = {{7, k + 4},
                                                                   {8, Rri(JUMPI, 0, 0, 0xFFFD)}};
  const std::vector<std::pair<unsigned, uint32_t>> callRegs = {{6, k + 8}};
  const Case cases[] = {
      {"after the loop's last word", loop, none, {k + 4}},
      {"at the loop's first word", loop, none, {k + 1}},
      {"before the loop", loop, none, {k}},
      {"on the loop's branch", loop, none, {k + 3}},
      {"on the branch and after it", loop, none, {k + 3, k + 4}},
      {"after the loop, and far", loop, none, {0x2000, k + 4, 0x10}},
      {"jumped over", skip, none, {k + 3}},
      {"jumped over and after the loop", skip, none, {k + 3, k + 6}},
      {"after a jump that becomes an ADDI", patchJump, patchJumpRegs, {k + 5}},
      {"on the word a store changes", patchJump, patchJumpRegs, {k + 4}},
      {"after an ADDI that becomes a jump", patchAdd, patchAddRegs, {k + 5}},
      {"after the loop that calls", call, callRegs, {k + 4}},
      {"where the call returns to", call, callRegs, {k + 2}},
      {"on the return", call, callRegs, {k + 9}},
      {"reached from ROM", viaRom, none, {k + 1}},
      {"in ROM after a word that goes on", viaRom, none, {kRom + 1}},
      {"in ROM and in RAM", viaRom, none, {kRom + 1, k + 1}},
  };
  for (const Case& c : cases) {
    auto setUp = [&](Machine& m) {
      m.cpu.WriteMem(kRom, Rri(ADDI, 1, 1, 1));
      m.cpu.WriteMem(kRom + 1, Rri(JUMPrI, 0, 0, k + 1));
      uint32_t a = k;
      for (uint32_t w : c.words) m.cpu.WriteMem(a++, w);
      // R1 and R9 start where ADDI sets flags that SUBBI clears again, so that the flag markers
      // tell which word a cycle performed.
      m.cpu.r[1] = 0x7FFFFFFEu;
      m.cpu.r[9] = 0xFFFFFFFCu;
      for (auto [reg, value] : c.registers) m.cpu.r[reg] = value;
      m.cpu.sp = k + 0x40;
      m.cpu.lfsr = 0x80000021u;
      m.cpu.pc = k;
    };
    for (auto onStall : {Processor::OnStall::Continue, Processor::OnStall::Stop}) {
      for (uint64_t n = 1; n <= 60; ++n) {
        Machine batch, single;
        setUp(batch);
        Use(batch.cpu);
        setUp(single);
        const uint64_t ran = batch.cpu.RunBatch(n, c.breakpoints, onStall);
        const uint64_t steps = StepLikeBatch(single.cpu, n, c.breakpoints, onStall);
        ASSERT_TRUE(Observe(batch.cpu, ran) == Observe(single.cpu, steps))
            << c.name << " n " << n << " steps " << ran << " vs " << steps;
        EXPECT_EQ(batch.cpu.ReadMem(kRom), Rri(ADDI, 1, 1, 1)) << c.name;  // ROM as it was
      }
    }
  }
}

// One processor through batches of every kind in turn, against single steps after each: what a
// breakpoint run leaves in its caches must not change what the next run does.
TEST_P(RunBatchTest, MixedBatchesInTurnMatchSingleSteps) {
  std::mt19937 rng(7);
  for (uint32_t seed = 100; seed < 140; ++seed) {
    Processor batch, single;
    SetUpRandomProgram(batch, seed, Translating());
    Use(batch);
    SetUpRandomProgram(single, seed, Translating());
    for (int round = 0; round < 12; ++round) {
      const uint64_t n = 1 + rng() % 300;
      const std::vector<uint32_t> breakpoints = RandomBreakpoints(rng, static_cast<int>(rng() % 4));
      const auto onStall = rng() % 2 == 0 ? Processor::OnStall::Stop : Processor::OnStall::Continue;
      CallLog().clear();
      const uint64_t ran = batch.RunBatch(n, breakpoints, onStall);
      const Observed fromBatch = Observe(batch, ran);
      CallLog().clear();
      const uint64_t steps = StepLikeBatch(single, n, breakpoints, onStall);
      ASSERT_TRUE(fromBatch == Observe(single, steps)) << "seed " << seed << " round " << round;
    }
  }
}

// Sequential code running over the top of the address space into address 0: the words on
// either side of the wrap are each other's neighbours for breakpoints too.
TEST_P(RunBatchTest, BreakpointsAcrossTheWrapOfTheAddressSpace) {
  struct Case {
    uint32_t breakpoint;
    uint64_t steps;  // from 0xFFFFFFFC
  };
  for (const Case c : {Case{0xFFFFFFFF, 3}, Case{0, 4}, Case{1, 5}, Case{0xFFFFFFFE, 2}}) {
    auto setUp = [](Processor& cpu) {
      cpu.AddRegion(0, 0x10, RegionType::RAM);
      cpu.AddRegion(0xFFFFFFF0, 0x10, RegionType::RAM);
      for (uint32_t a = 0xFFFFFFF0; a != 0; ++a) cpu.WriteMem(a, Rri(ADDI, 1, 1, 1));
      for (uint32_t a = 0; a < 0x10; ++a) cpu.WriteMem(a, Rri(ADDI, 1, 1, 1));
      cpu.pc = 0xFFFFFFFC;
    };
    Processor batch, single;
    setUp(batch);
    Use(batch);
    setUp(single);
    const uint32_t bp[] = {c.breakpoint};
    EXPECT_EQ(batch.RunBatch(100, bp), c.steps) << std::hex << c.breakpoint;
    for (uint64_t i = 0; i < c.steps; ++i) single.Step();
    EXPECT_TRUE(Observe(batch, c.steps) == Observe(single, c.steps)) << std::hex << c.breakpoint;
    EXPECT_EQ(batch.pc, c.breakpoint);
  }
}

// A peripheral whose words are instructions: code the processor fetches through ReadMem.
struct CodeModule {
  static inline std::array<uint32_t, 4> words{};
  static int32_t Initialize(TervikMessageCallback, const char*) { return 0; }
  static void About(char* text) { text[0] = '\0'; }
  static uint32_t ReadMem(uint32_t offset) { return words[offset % 4]; }
  static void WriteMem(uint32_t, uint32_t) {}
  static void CPUWriteMem(uint32_t offset, uint32_t value) { words[offset % 4] = value; }
  static void Reset() {}
  static void Clock() {}
  static PluginEntryPoints Entry() {
    return {&About, &WriteMem, &CPUWriteMem, &ReadMem, &Initialize, &Reset, &Clock};
  }
};

// A jump, call or return that lands on a breakpoint, fetched from a module or from RAM (where a
// CALL may push over its own word): the markers of that last cycle, sp among them, come out as
// single steps give them.
TEST_P(RunBatchTest, BreakpointReachedByAJumpFromAModuleOrOverItsOwnWord) {
  constexpr uint32_t kCode = 0x9000, kInRam = Machine::kRam + 0x20;
  constexpr uint32_t kTarget = Machine::kRam + 0x10;
  struct Case {
    const char* name;
    uint32_t at;  // where the word is
    uint32_t word;
    uint32_t sp;
  };
  const Case cases[] = {
      {"RET from the module", kCode, Op(RET), Machine::kRam + 0x41},
      {"CALL from the module, push into RAM", kCode, Rrr(CALL, 0, 0, 7), Machine::kRam + 0x40},
      {"CALL from the module, push into it", kCode, Rrr(CALL, 0, 0, 7), kCode + 1},
      {"CALL from the module, push dropped", kCode, Rrr(CALL, 0, 0, 7), 0x20},
      {"JUMPrI from the module", kCode, Rri(JUMPrI, 0, 0, kTarget), Machine::kRam + 0x40},
      {"CALL pushing over itself", kInRam, Rrr(CALL, 0, 0, 7), kInRam},
      {"RET in RAM", kInRam, Op(RET), Machine::kRam + 0x41},
  };
  for (const Case& c : cases) {
    auto setUp = [&](Machine& m) {
      m.cpu.AddRegion(kCode, 4, RegionType::DLL, CodeModule::Entry());
      CodeModule::words = {Op(NOP), Op(NOP), Op(NOP), Op(NOP)};
      if (c.at == kCode) {
        CodeModule::words[0] = c.word;
      } else {
        m.cpu.WriteMem(c.at, c.word);
      }
      m.cpu.WriteMem(Machine::kRam + 0x40, kTarget);  // where RET returns to
      m.cpu.r[7] = kTarget;
      m.cpu.sp = c.sp;
      m.cpu.pc = c.at;
    };
    Machine single;
    setUp(single);
    single.cpu.Step();
    const Observed expected = Observe(single.cpu, 1);
    const uint32_t bp[] = {kTarget};
    for (auto onStall : {Processor::OnStall::Continue, Processor::OnStall::Stop}) {
      Machine m;
      setUp(m);
      Use(m.cpu);
      ASSERT_EQ(m.cpu.RunBatch(10, bp, onStall), 1u) << c.name;
      EXPECT_EQ(m.cpu.pc, kTarget) << c.name;
      EXPECT_TRUE(Observe(m.cpu, 1) == expected) << c.name;
    }
  }
}

TEST_P(RunBatchTest, StartingOnABreakpointRunsAtLeastOneStep) {
  Machine m;
  Use(m.cpu);
  m.Load(Machine::kRam, {Op(NOP), Rri(JUMPI, 0, 0, 0xFFFF)});
  const uint32_t bp[] = {Machine::kRam};
  EXPECT_EQ(m.cpu.RunBatch(1000, bp), 2u);  // NOP, then the jump back lands on it
  EXPECT_EQ(m.cpu.pc, Machine::kRam);
  EXPECT_TRUE(m.cpu.pcChanged);
}

// A module whose Clock throws ends the run; the words at and before the breakpoint are the
// program's again.
TEST_P(RunBatchTest, AThrowingModuleLeavesTheWordsAtBreakpointsAsTheyWere) {
  struct Throwing {
    static void Clock() { throw std::runtime_error("clock"); }
  };
  Machine m;
  Use(m.cpu);
  PluginEntryPoints entry = FakeModule<9>::Entry();
  entry.Clock = &Throwing::Clock;
  m.cpu.AddRegion(0x9000, 1, RegionType::DLL, entry);
  m.Load(Machine::kRam, {Rri(ADDI, 1, 1, 1), Rri(ADDI, 2, 2, 1), Op(NOP)});
  const uint32_t bp[] = {Machine::kRam + 2};
  EXPECT_THROW(m.cpu.RunBatch(10, bp), std::runtime_error);
  EXPECT_EQ(m.cpu.ReadMem(Machine::kRam + 1), Rri(ADDI, 2, 2, 1));
  EXPECT_EQ(m.cpu.ReadMem(Machine::kRam + 2), Op(NOP));
}

// Every way a cycle can leave pc where it was ends a batch that asks for it, after that cycle,
// in the state (markers included) of single steps; a batch that does not ask runs on.
TEST_P(RunBatchTest, StallStopEndsOnTheCycleThatLeftPcInPlace) {
  struct Case {
    const char* name;
    uint32_t word;
  };
  const Case cases[] = {
      {"undefined opcode", Op(Undefined63)},
      {"invalid MOVEI", Movei(MoveiSub::Invalid3, 0, 0)},
      {"RETI", Op(RETI)},
      {"JUMPI to itself", Rri(JUMPI, 0, 0, 0)},
      {"BZEI taken to itself", Rri(BZEI, 0, 5, 0)},
      {"JUMPrI to itself", Rri(JUMPrI, 0, 0, Machine::kRam + 2)},
      {"CALL to itself", Rrr(CALL, 0, 0, 6)},
      {"RET to itself", Op(RET)},
  };
  for (const Case& c : cases) {
    for (uint32_t lfsr : {0u, 0x80000001u, 0x12345678u, 0x80000021u}) {  // 80000021 stays
      auto setUp = [&](Machine& m) {
        m.Load(Machine::kRam, {Rri(ADDI, 1, 1, 1), Rri(ADDI, 1, 1, 1), c.word, Op(NOP)});
        m.cpu.r[6] = Machine::kRam + 2;
        m.cpu.sp = Machine::kRam + 0x101;
        m.cpu.WriteMem(Machine::kRam + 0x100, Machine::kRam + 2);  // where RET returns to
        m.cpu.lfsr = lfsr;
      };
      Machine batch, single;
      setUp(batch);
      Use(batch.cpu);
      setUp(single);
      EXPECT_EQ(batch.cpu.RunBatch(1000, {}, Processor::OnStall::Stop), 3u) << c.name;
      for (int i = 0; i < 3; ++i) single.cpu.Step();
      const Observed a = Observe(batch.cpu, 3), b = Observe(single.cpu, 3);
      EXPECT_TRUE(a == b) << c.name << " lfsr " << lfsr;
      EXPECT_EQ(batch.cpu.pc, Machine::kRam + 2) << c.name;
      EXPECT_FALSE(batch.cpu.pcChanged) << c.name;
      EXPECT_EQ(batch.cpu.RunBatch(5, {}, Processor::OnStall::Continue), 5u) << c.name;
    }
  }
}

TEST_P(RunBatchTest, StallStopDoesNotEndALoopThatMovesPc) {
  Machine m;
  Use(m.cpu);
  m.Load(Machine::kRam, {Op(NOP), Rri(JUMPI, 0, 0, 0xFFFF)});
  EXPECT_EQ(m.cpu.RunBatch(1001, {}, Processor::OnStall::Stop), 1001u);
  EXPECT_TRUE(m.cpu.pcChanged);
}

// The data access the word at pc will make, found from the state before the step without
// calling a module: the fake module's words are its ReadMem answers.
struct Access {
  bool any = false;
  uint32_t address = 0;
  bool write = false;
};
Access NextAccess(const Processor& cpu) {
  uint32_t word = 0xFFFFFFFFu;
  for (const MemoryRegion& region : cpu.Regions()) {
    if (!region.Contains(cpu.pc)) continue;
    word = region.type == RegionType::DLL ? 0xA5000u + (cpu.pc - region.start)
                                          : region.storage.data()[cpu.pc - region.start];
    break;
  }
  const Instruction in{word};
  switch (in.opcode()) {
    case LOAD: return {true, cpu.r[in.ra()] + cpu.r[in.rb()], false};
    case LOADI: return {true, cpu.r[in.ra()] + in.simm(), false};
    case STORE:
    case STOREI: return {true, cpu.r[in.ra()], true};
    case CALL:
    case PUSH:
    case PUSHI: return {true, cpu.sp, true};
    case POP:
    case RET: return {true, cpu.sp - 1, false};
    default: return {};
  }
}

// Single steps until what RunBatch(n, breakpoints, onStall, watches) would stop at: the count,
// the first watch that an access matched, the access and the address of its word.
struct WatchedSteps {
  uint64_t steps = 0;
  std::optional<size_t> hit;
  Access access;
  uint32_t accessPc = 0;
};
WatchedSteps StepLikeWatchedBatch(Processor& cpu, uint64_t n,
                                  const std::vector<uint32_t>& breakpoints,
                                  Processor::OnStall onStall,
                                  const std::vector<Processor::Watch>& watches) {
  WatchedSteps r;
  do {
    r.access = NextAccess(cpu);
    r.accessPc = cpu.pc;
    cpu.Step();
    ++r.steps;
    for (size_t i = 0; i < watches.size() && r.access.any && !r.hit; ++i) {
      const Processor::Watch& w = watches[i];
      if (r.access.address >= w.first && r.access.address <= w.last &&
          (r.access.write ? w.onWrite : w.onRead)) {
        r.hit = i;
      }
    }
  } while (!r.hit && r.steps < n && !Contains(breakpoints, cpu.pc) &&
           !(onStall == Processor::OnStall::Stop && !cpu.pcChanged));
  return r;
}

// Watches on the program, its stack, the device, ROM and unmapped words, for reads, writes or
// both, alone and with breakpoints: a batch ends after the cycle single steps show making the
// first watched access, in their state, and names that access. Every other round the batch may
// run exactly up to that access, so that it is the last cycle the batch allows (a batch of one
// among them).
TEST_P(RunBatchTest, WatchesEndAfterTheCycleThatMadeTheAccess) {
  std::mt19937 rng(5);
  std::vector<uint32_t> touched;  // the addresses the program's loads and stores reach
  auto randomWatch = [&]() {
    uint32_t first = 0;
    switch (rng() % 8) {
      case 6:
      case 7:
        if (!touched.empty()) {
          first = touched[rng() % touched.size()];
          break;
        }
        [[fallthrough]];
      case 0: first = kDevice + rng() % kDeviceSize; break;
      case 1: first = kProgram + kProgramSize + rng() % 0x40; break;  // the stack
      case 2: first = rng() % 0x100; break;                           // ROM
      case 3: first = rng(); break;
      default: first = kProgram + rng() % kProgramSize; break;
    }
    const uint32_t size = rng() % 3 == 0 ? 1 + rng() % 16 : 1;
    const uint32_t mode = rng() % 3;
    return Processor::Watch{first, first + size - 1, mode != 0, mode != 1};
  };
  int hits = 0, hitsOnTheLastCycle = 0;
  for (uint32_t seed = 200; seed < 260; ++seed) {
    touched.clear();
    Processor probe;
    SetUpRandomProgram(probe, seed, Translating());
    for (int i = 0; i < 400; ++i) {
      if (const Access a = NextAccess(probe); a.any) touched.push_back(a.address);
      probe.Step();
    }
    for (int round = 0; round < 32; ++round) {
      std::vector<Processor::Watch> watches;
      for (int i = 0, count = 1 + static_cast<int>(rng() % 4); i < count; ++i) {
        watches.push_back(randomWatch());
      }
      const std::vector<uint32_t> breakpoints = RandomBreakpoints(rng, static_cast<int>(rng() % 3));
      const auto onStall = rng() % 2 == 0 ? Processor::OnStall::Stop : Processor::OnStall::Continue;
      uint64_t n = 1 + rng() % 400;
      if (round % 2 == 1) {
        Processor ahead;
        SetUpRandomProgram(ahead, seed, Translating());
        const WatchedSteps found = StepLikeWatchedBatch(ahead, 400, breakpoints, onStall, watches);
        if (found.hit) n = found.steps;
      }

      Processor batch, single;
      SetUpRandomProgram(batch, seed, Translating());
      Use(batch);
      SetUpRandomProgram(single, seed, Translating());
      CallLog().clear();
      const uint64_t ran = batch.RunBatch(n, breakpoints, onStall, watches);
      const Observed fromBatch = Observe(batch, ran);

      CallLog().clear();
      const WatchedSteps expect = StepLikeWatchedBatch(single, n, breakpoints, onStall, watches);
      const std::string where = "seed " + std::to_string(seed) + " round " + std::to_string(round) +
                                " limit " + std::to_string(n);
      ASSERT_TRUE(fromBatch == Observe(single, expect.steps))
          << where << " steps " << ran << " vs " << expect.steps;
      ASSERT_EQ(batch.LastWatchHit().has_value(), expect.hit.has_value()) << where;
      if (!expect.hit) continue;
      ++hits;
      if (expect.steps == n) ++hitsOnTheLastCycle;
      const Processor::WatchHit& hit = *batch.LastWatchHit();
      EXPECT_EQ(hit.watch, *expect.hit) << where;
      EXPECT_EQ(hit.address, expect.access.address) << where;
      EXPECT_EQ(hit.write, expect.access.write) << where;
      EXPECT_EQ(hit.pc, expect.accessPc) << where;
      const bool inDevice = expect.access.address - kDevice < kDeviceSize;
      if (expect.access.write) {
        EXPECT_EQ(hit.before.has_value(), !inDevice) << where;
        if (!inDevice && !hit.dropped) {
          EXPECT_EQ(batch.ReadMem(expect.access.address), hit.value) << where;
        }
      }
    }
  }
  // The cases reach watched words often enough to test them, on the last cycle too.
  EXPECT_GT(hits, 120);
  EXPECT_GT(hitsOnTheLastCycle, 60);
}

TEST_P(RunBatchTest, ZeroStepsDoesNothing) {
  Machine m;
  Use(m.cpu);
  m.Load(Machine::kRam, {Rri(ADDI, 1, 1, 1)});
  m.cpu.regChanged[4] = true;
  EXPECT_EQ(m.cpu.RunBatch(0), 0u);
  EXPECT_EQ(m.cpu.pc, Machine::kRam);
  EXPECT_TRUE(m.cpu.regChanged[4]);
}

INSTANTIATE_TEST_SUITE_P(Engines, RunBatchTest, ::testing::ValuesIn(Engines()), EngineParamName);

}  // namespace
}  // namespace tervik::test
