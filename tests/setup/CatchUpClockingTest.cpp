// Catch-up clocking is exact: random programs that poll the timer, write the terminal, toggle
// the GPIO and set test tickers (which write console lines from Clock, some by catch-up, one
// every step) run once with catch-up clocking and once with every module forced to a Clock call
// every step, through the same mix of batches (with breakpoints and the stall stop), single
// steps, the views' reads, the loaders' writes and resets. Every value the program and the
// views read, every console line in its order, the final registers, RAM and every module's
// registers (the timer's prescaler phase included) must be the same. Both runs take their
// batches on each engine in turn: the interpreter, and the translator (where the build has it)
// translating every block at its first meeting.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "MemoryMap.h"
#include "Processor.h"
#include "SetupTestSupport.h"
#include "Translator.h"

namespace tervik {
namespace {

using test::RecordingConsole;
using test::TempDir;
using enum Opcode;

constexpr uint32_t kProgram = 0x1000, kRing = 0x1800, kRingSize = 0x800;
constexpr uint32_t kTerminal = 0x7000, kTimer = 0x7010, kGpio = 0x7020, kTicker = 0x7030,
                   kPerStepTicker = 0x7040, kTickerAgain = 0x7050;

constexpr uint32_t Rrr(Opcode op, unsigned rd, unsigned ra, unsigned rb) {
  return static_cast<uint32_t>(op) << 26 | rd << 21 | ra << 16 | rb;
}
constexpr uint32_t Rri(Opcode op, unsigned rd, unsigned ra, uint32_t imm) {
  return static_cast<uint32_t>(op) << 26 | rd << 21 | ra << 16 | (imm & 0xFFFFu);
}
constexpr uint32_t Movel(unsigned rd, uint32_t imm) {
  return static_cast<uint32_t>(MOVEI) << 26 | rd << 21 | (imm & 0xFFFFu);
}

// The machine's layout, drawn per seed.
struct Layout {
  uint32_t prescaler = 1;
  bool perStepTicker = false;
  bool tickerTwice = false;  // the catch-up ticker on a second map line: clocked every step
};

std::string MapText(const Layout& layout) {
  std::string map = "0x1000 0x1000 RAM\n";
  map += "0x7000 0x4 DLL libtervik_terminal.so\n";
  map += "0x7010 0x6 DLL libtervik_timer.so " + std::to_string(layout.prescaler) + "\n";
  map += "0x7020 0x5 DLL libtervik_gpio.so 0x0F\n";
  map += "0x7030 0x5 DLL libtervik_test_ticker.so A\n";
  if (layout.perStepTicker) {
    map += "0x7040 0x5 DLL libtervik_test_ticker_per_step.so B\n";
  }
  if (layout.tickerTwice) {
    map += "0x7050 0x5 DLL libtervik_test_ticker.so A\n";
  }
  return map;
}

// A program of random blocks: reads of module registers (each value stored in a ring in RAM
// and folded into R30), stores to them, fetches from the ticker, busy loops and arithmetic.
std::vector<uint32_t> RandomProgram(std::mt19937& rng, const Layout& layout) {
  std::vector<uint32_t> p;
  auto log = [&p] {
    p.push_back(Rrr(STORE, 0, 31, 5));
    p.push_back(Rri(ADDI, 31, 31, 1));
    p.push_back(Rri(ANDI, 31, 31, kRingSize - 1));
    p.push_back(Rri(ORI, 31, 31, kRing));
    p.push_back(Rrr(XOR, 30, 30, 5));
    p.push_back(Rri(RORI, 30, 30, 1));
  };
  auto pick = [&rng](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  std::vector<uint32_t> modules = {kTerminal, kTimer, kGpio, kTicker};
  if (layout.perStepTicker) modules.push_back(kPerStepTicker);
  if (layout.tickerTwice) modules.push_back(kTickerAgain);
  p.push_back(Movel(31, kRing));
  const uint32_t loopStart = kProgram + static_cast<uint32_t>(p.size());
  const int blocks = 40 + static_cast<int>(pick(40));
  for (int b = 0; b < blocks; ++b) {
    const uint32_t kind = pick(10);
    const uint32_t module = modules[pick(static_cast<uint32_t>(modules.size()))];
    if (kind < 3) {  // read a module register
      p.push_back(Rri(LOADI, 5, 0, module + pick(6)));
      log();
    } else if (kind < 6) {  // store to a module register
      uint32_t offset = pick(6), value = pick(16);
      if (module == kTerminal) {
        offset = pick(5) == 0 ? 2 : 0;
        const char chars[] = "ab\n\n";
        value = static_cast<uint8_t>(chars[pick(4)]);
      } else if (module == kTimer) {
        offset = pick(5);
        if (offset == 0) value = pick(4) != 0;  // mostly enabled
        if (offset == 3) value = 1 + pick(40);  // compare
        if (offset == 4) value = 1;             // clear the flag
      } else if (module == kGpio) {
        offset = pick(5);
      } else {
        offset = pick(3) == 0 ? 1 : 0;
        value = offset == 0 ? pick(13) : pick(1000);
      }
      p.push_back(Movel(1, module + offset));
      p.push_back(Rri(STOREI, 0, 1, value));
    } else if (kind == 6) {  // a fetch from the ticker: MOVEL R4,CLOCKS and JUMPr R3 back
      const uint32_t ticker = layout.perStepTicker && pick(2) ? kPerStepTicker : kTicker;
      const uint32_t back = kProgram + static_cast<uint32_t>(p.size()) + 2;
      p.push_back(Movel(3, back));
      p.push_back(Rri(JUMPrI, 0, 0, ticker + 3));
      p.push_back(Rrr(MOVE, 5, 0, 4));
      log();
    } else if (kind < 9) {  // a busy loop
      p.push_back(Movel(2, 1 + pick(60)));
      p.push_back(Rri(ADDI, 2, 2, 0xFFFF));
      p.push_back(Rri(BNZEI, 0, 2, 0xFFFF));
    } else {  // arithmetic on R10..R20
      for (uint32_t i = pick(4) + 1; i > 0; --i) {
        const Opcode ops[] = {ADDI, XORI, ORI, SUBBI};
        p.push_back(Rri(ops[pick(4)], 10 + pick(11), 10 + pick(11), rng()));
      }
    }
  }
  p.push_back(Rri(JUMPrI, 0, 0, loopStart));
  return p;
}

// What the machine is asked to do between runs: drawn once per seed, done the same way twice.
struct Action {
  enum Kind { Batch, Steps, ViewRead, LoaderWrite, Reset } kind;
  uint64_t count = 0;
  std::vector<uint32_t> breakpoints;
  Processor::OnStall onStall = Processor::OnStall::Continue;
  uint32_t address = 0;
  uint32_t value = 0;
};

std::vector<Action> RandomActions(std::mt19937& rng, size_t programSize) {
  std::vector<Action> actions;
  const uint32_t readable[] = {kTerminal + 1, kTerminal + 3, kTimer + 1, kTimer + 4,
                               kGpio,         kTicker + 1,   kTicker + 2};
  for (int i = 0; i < 60; ++i) {
    Action a;
    const uint32_t kind = rng() % 20;
    if (kind < 10) {
      a.kind = Action::Batch;
      a.count = 1 + rng() % (rng() % 4 == 0 ? 20000 : 300);
      for (uint32_t n = rng() % 3; n > 0; --n) {
        a.breakpoints.push_back(kProgram + static_cast<uint32_t>(rng() % programSize));
      }
      if (rng() % 4 == 0) a.onStall = Processor::OnStall::Stop;
    } else if (kind < 14) {
      a.kind = Action::Steps;
      a.count = 1 + rng() % 50;
    } else if (kind < 17) {
      a.kind = Action::ViewRead;
      a.address = readable[rng() % std::size(readable)];
    } else if (kind < 19) {
      a.kind = Action::LoaderWrite;
      const uint32_t choices[] = {kTimer + 1, kTimer + 3, kGpio + 4, kTicker, kTicker + 1};
      a.address = choices[rng() % std::size(choices)];
      a.value = 1 + rng() % 20;
    } else {
      a.kind = Action::Reset;
    }
    actions.push_back(std::move(a));
  }
  return actions;
}

// Everything observable after the run.
struct Observed {
  std::vector<std::string> console;
  std::vector<uint64_t> results;  // batch lengths and the views' reads, in order
  CpuState regs;
  std::vector<uint32_t> ram;
  std::vector<uint32_t> moduleWords;
  std::vector<uint32_t> timerAfterClocks;
  size_t catchUpModules = 0;

  bool operator==(const Observed&) const = default;
};

class CatchUpClockingTest : public ::testing::TestWithParam<jit::EngineKind> {
 protected:
  Observed Run(const Layout& layout, const std::vector<uint32_t>& program,
               const std::vector<Action>& actions, bool catchUp) {
    Processor cpu;
    EXPECT_EQ(jit::InstallEngine(cpu, GetParam(), {.hotAfter = 0}), GetParam());
    cpu.SetCatchUpClocking(catchUp);
    // Test modules by names relative to the map's folder, where links to them are.
    for (const char* name : {"libtervik_test_ticker.so", "libtervik_test_ticker_per_step.so"}) {
      const std::filesystem::path link = dir.path() / name;
      if (!std::filesystem::exists(link)) {
        std::filesystem::create_symlink(std::filesystem::path(TERVIK_TEST_MODULE_DIR) / name, link);
      }
    }
    const std::string map = dir.Write("catchup.map", MapText(layout));
    EXPECT_TRUE(LoadMemoryMap(map, cpu, modules, console));
    cpu.Reset();
    console.lines.clear();
    Observed o;
    o.catchUpModules = cpu.CatchUpModules();
    for (size_t i = 0; i < program.size(); ++i) {
      cpu.WriteMem(kProgram + static_cast<uint32_t>(i), program[i]);
    }
    cpu.SetPC(kProgram);
    for (const Action& a : actions) {
      switch (a.kind) {
        case Action::Batch:
          o.results.push_back(cpu.RunBatch(a.count, a.breakpoints, a.onStall));
          break;
        case Action::Steps:
          for (uint64_t i = 0; i < a.count; ++i) cpu.Step();
          break;
        case Action::ViewRead: o.results.push_back(cpu.ReadMem(a.address)); break;
        case Action::LoaderWrite: cpu.WriteMem(a.address, a.value); break;
        case Action::Reset:
          cpu.Reset();
          cpu.SetPC(kProgram);
          break;
      }
    }
    o.regs = cpu;
    for (uint32_t a = kProgram; a < kProgram + 0x1000; ++a) o.ram.push_back(cpu.ReadMem(a));
    for (uint32_t a = kTerminal; a < kTickerAgain + 5; ++a) o.moduleWords.push_back(cpu.ReadMem(a));
    // The timer's prescaler phase shows in when its count next moves.
    for (uint32_t i = 0; i <= layout.prescaler + 1; ++i) {
      cpu.ClockPeripherals();
      o.timerAfterClocks.push_back(cpu.ReadMem(kTimer + 1));
    }
    o.console = console.lines;
    return o;
  }

  TempDir dir;
  platform::PosixLibraryLoader libraries;
  PeripheralModuleLoader modules{libraries, TERVIK_BUNDLED_DIR};
  RecordingConsole console;
};

TEST_P(CatchUpClockingTest, RandomProgramsMatchClockingEveryStep) {
  size_t lines = 0, reads = 0;
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed);
    Layout layout;
    const uint32_t prescalers[] = {1, 2, 3, 7, 100};
    layout.prescaler = prescalers[rng() % 5];
    layout.perStepTicker = rng() % 2 == 0;
    layout.tickerTwice = rng() % 5 == 0;
    const std::vector<uint32_t> program = RandomProgram(rng, layout);
    const std::vector<Action> actions = RandomActions(rng, program.size());

    const Observed everyStep = Run(layout, program, actions, false);
    Observed catchUp = Run(layout, program, actions, true);
    EXPECT_EQ(everyStep.catchUpModules, 0u);
    // Terminal, timer, GPIO and the ticker, unless the ticker is on two lines.
    EXPECT_EQ(catchUp.catchUpModules, layout.tickerTwice ? 3u : 4u) << "seed " << seed;
    EXPECT_EQ(catchUp.console, everyStep.console) << "seed " << seed;
    EXPECT_EQ(catchUp.results, everyStep.results) << "seed " << seed;
    EXPECT_EQ(catchUp.regs, everyStep.regs) << "seed " << seed;
    EXPECT_EQ(catchUp.ram, everyStep.ram) << "seed " << seed;
    EXPECT_EQ(catchUp.moduleWords, everyStep.moduleWords) << "seed " << seed;
    EXPECT_EQ(catchUp.timerAfterClocks, everyStep.timerAfterClocks) << "seed " << seed;
    catchUp.catchUpModules = everyStep.catchUpModules;
    ASSERT_TRUE(catchUp == everyStep) << "seed " << seed;
    lines += everyStep.console.size();
    reads += everyStep.results.size();
  }
  // The programs did reach the modules: lines from the terminal, GPIO and the tickers.
  EXPECT_GT(lines, 1000u);
  EXPECT_GT(reads, 500u);
}

// A ticker line that falls due inside a batch comes at its exact step: between the lines that
// stores of the steps around it make, with the right clock count.
TEST_P(CatchUpClockingTest, ALineFromClockComesAtItsStep) {
  Layout layout;
  // MOVEL R1,ticker ; STOREI [R1],5 (a line every 5 clocks) ; then GPIO toggles in a loop.
  const std::vector<uint32_t> program = {
      Movel(1, kTicker),
      Rri(STOREI, 0, 1, 5),
      Movel(1, kGpio + 4),
      Rri(STOREI, 0, 1, 1),
      Rri(ADDI, 7, 7, 1),
      Rri(ADDI, 7, 7, 1),
      Rri(JUMPrI, 0, 0, kProgram + 3),
  };
  std::vector<Action> actions(1);
  actions[0].kind = Action::Batch;
  actions[0].count = 40;
  const Observed everyStep = Run(layout, program, actions, false);
  const Observed catchUp = Run(layout, program, actions, true);
  EXPECT_EQ(catchUp.console, everyStep.console);
  ASSERT_GE(everyStep.console.size(), 10u);
  EXPECT_EQ(everyStep.console[0], "GPIO LEDs 00000001 (LED 0 on)");
  EXPECT_EQ(everyStep.console[1], "A tick at 7");
}

std::vector<jit::EngineKind> Engines() {
  if (!jit::TranslatorAvailable()) return {jit::EngineKind::Interpreter};
  return {jit::EngineKind::Interpreter, jit::EngineKind::Translator};
}

INSTANTIATE_TEST_SUITE_P(Engines, CatchUpClockingTest, ::testing::ValuesIn(Engines()),
                         [](const ::testing::TestParamInfo<jit::EngineKind>& info) {
                           return std::string(jit::EngineName(info.param));
                         });

}  // namespace
}  // namespace tervik
