// The history of a run is exact: random programs that use RAM, the stack, the timer, the
// terminal, the GPIO and a ticker (which writes console lines from its clock) run with history
// on, through batches with breakpoints and single steps; going back to any instruction k gives
// the state single steps from Reset give at k (registers, flags, markers, RAM, and through them
// the values the modules returned, which the program folds into a register and a RAM ring),
// without a module line twice; going forward again reaches the live state and goes on live.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "MemoryMap.h"
#include "Processor.h"
#include "Recorder.h"
#include "SetupTestSupport.h"
#include "Translator.h"

namespace tervik {
namespace {

using enum Opcode;
using history::Markers;
using history::Recorder;

constexpr uint32_t kProgram = 0x1000, kSub = 0x1600, kRing = 0x1800, kRingSize = 0x400,
                   kStack = 0x1C00;
constexpr uint32_t kTerminal = 0x7000, kTimer = 0x7010, kGpio = 0x7020, kTicker = 0x7030;

constexpr uint32_t Rrr(Opcode op, unsigned rd, unsigned ra, unsigned rb) {
  return static_cast<uint32_t>(op) << 26 | rd << 21 | ra << 16 | rb;
}
constexpr uint32_t Rri(Opcode op, unsigned rd, unsigned ra, uint32_t imm) {
  return static_cast<uint32_t>(op) << 26 | rd << 21 | ra << 16 | (imm & 0xFFFFu);
}
constexpr uint32_t Op(Opcode op) {
  return static_cast<uint32_t>(op) << 26;
}
constexpr uint32_t Movei(MoveiSub sub, unsigned rd, uint32_t imm) {
  return static_cast<uint32_t>(MOVEI) << 26 | rd << 21 | static_cast<uint32_t>(sub) << 17 |
         (imm & 0xFFFFu);
}

// Random blocks in an endless loop: module reads (folded into R30 and a RAM ring), module
// stores (terminal lines, timer set-up, LEDs, ticker periods), fetches from the ticker, busy
// loops, pushes and pops, calls of a subroutine that uses the stack, and arithmetic.
std::vector<uint32_t> RandomProgram(std::mt19937& rng) {
  std::vector<uint32_t> p;
  auto pick = [&rng](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  auto log = [&p] {
    p.push_back(Rrr(STORE, 0, 31, 5));
    p.push_back(Rri(ADDI, 31, 31, 1));
    p.push_back(Rri(ANDI, 31, 31, kRingSize - 1));
    p.push_back(Rri(ORI, 31, 31, kRing));
    p.push_back(Rrr(XOR, 30, 30, 5));
    p.push_back(Rri(RORI, 30, 30, 1));
  };
  const uint32_t modules[] = {kTerminal, kTimer, kGpio, kTicker};
  p.push_back(Movei(MoveiSub::MOVEL, 31, kRing));
  p.push_back(Movei(MoveiSub::MVSPL, 0, kStack));
  p.push_back(Movei(MoveiSub::MOVEL, 9, kSub));
  const uint32_t loopStart = kProgram + static_cast<uint32_t>(p.size());
  for (int b = 40 + static_cast<int>(pick(30)); b > 0; --b) {
    const uint32_t kind = pick(12);
    const uint32_t module = modules[pick(4)];
    if (kind < 3) {
      p.push_back(Rri(LOADI, 5, 0, module + pick(6)));
      log();
    } else if (kind < 5) {
      uint32_t offset = pick(5), value = pick(16);
      if (module == kTerminal) {
        offset = pick(5) == 0 ? 2 : 0;
        value = static_cast<uint8_t>("xy\n\n"[pick(4)]);
      } else if (module == kTimer) {
        if (offset == 0) value = pick(4) != 0;
        if (offset == 3) value = 1 + pick(40);
        if (offset == 4) value = 1;
      } else if (module == kTicker) {
        offset = pick(3) == 0 ? 1 : 0;
        value = offset == 0 ? pick(13) : pick(1000);
      }
      p.push_back(Movei(MoveiSub::MOVEL, 1, module + offset));
      p.push_back(Rri(STOREI, 0, 1, value));
    } else if (kind == 5) {  // MOVEL R4,CLOCKS fetched from the ticker, then JUMPr R3 back
      p.push_back(Movei(MoveiSub::MOVEL, 3, kProgram + static_cast<uint32_t>(p.size()) + 2));
      p.push_back(Rri(JUMPrI, 0, 0, kTicker + 3));
      p.push_back(Rrr(MOVE, 5, 0, 4));
      log();
    } else if (kind < 8) {
      p.push_back(Movei(MoveiSub::MOVEL, 2, 1 + pick(60)));
      p.push_back(Rri(ADDI, 2, 2, 0xFFFF));
      p.push_back(Rri(BNZEI, 0, 2, 0xFFFF));
    } else if (kind == 8) {
      p.push_back(Rrr(PUSH, 0, 0, 10 + pick(5)));
      p.push_back(Rri(ADDI, 10 + pick(5), 10 + pick(5), rng()));
      p.push_back(Rrr(POP, 10 + pick(5), 0, 0));
    } else if (kind == 9) {
      p.push_back(Rrr(CALL, 0, 0, 9));
    } else {
      const Opcode ops[] = {ADDI, XORI, ORI, SUBBI};
      p.push_back(Rri(ops[pick(4)], 10 + pick(11), 10 + pick(11), rng()));
    }
  }
  p.push_back(Rri(JUMPrI, 0, 0, loopStart));
  return p;
}

// The subroutine: counts its calls, reads the timer's counter through the stack, returns.
const std::vector<uint32_t> kSubroutine = {Rri(ADDI, 20, 20, 1), Rri(LOADI, 21, 0, kTimer + 1),
                                           Rrr(PUSH, 0, 0, 21),  Rrr(PUSH, 0, 0, 20),
                                           Rrr(POP, 22, 0, 0),   Rrr(POP, 23, 0, 0),
                                           Rrr(XOR, 30, 30, 23), Op(RET)};

struct State {
  CpuState cpu;
  Markers markers;
  std::vector<uint32_t> ram;
  size_t lines = 0;  // console lines so far

  bool operator==(const State&) const = default;
};

void PrintTo(const State& s, std::ostream* os) {
  *os << "pc " << s.cpu.pc << " sp " << s.cpu.sp << " sr " << s.cpu.sr << " lfsr " << s.cpu.lfsr
      << " r30 " << s.cpu.r[30] << " lines " << s.lines << " lastWrite "
      << s.markers.lastWriteAddress << " memWritten " << s.markers.memWritten << " ram sum ";
  uint64_t sum = 0;
  for (size_t i = 0; i < s.ram.size(); ++i) sum += s.ram[i] * (i + 1);
  *os << sum;
}

class HistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path link = dir.path() / "libtervik_test_ticker.so";
    std::filesystem::create_symlink(
        std::filesystem::path(TERVIK_TEST_MODULE_DIR) / "libtervik_test_ticker.so", link);
    const std::string map =
        dir.Write("history.map",
                  "0x0000 0x400 ROM\n0x1000 0x1000 RAM\n0x7000 0x4 DLL libtervik_terminal.so\n"
                  "0x7010 0x6 DLL libtervik_timer.so 3\n0x7020 0x5 DLL libtervik_gpio.so 0x0F\n"
                  "0x7030 0x5 DLL libtervik_test_ticker.so T\n");
    ASSERT_TRUE(LoadMemoryMap(map, cpu, modules, console));
  }

  // Loads the program, resets the machine and empties the console.
  void Start(const std::vector<uint32_t>& program) {
    cpu.ZeroMemory();
    for (size_t i = 0; i < program.size(); ++i) {
      cpu.WriteMem(kProgram + static_cast<uint32_t>(i), program[i]);
    }
    for (size_t i = 0; i < kSubroutine.size(); ++i) {
      cpu.WriteMem(kSub + static_cast<uint32_t>(i), kSubroutine[i]);
    }
    cpu.Reset();
    cpu.SetPC(kProgram);
    // The last word written survives a reset: each run starts from the same one, or a state
    // before the program's first store would show the previous run's.
    cpu.lastWriteAddress = 0;
    console.lines.clear();
  }

  State Observe() {
    State s{cpu, Markers::Of(cpu), {}, console.lines.size()};
    for (uint32_t a = 0x1000; a < 0x2000; ++a) s.ram.push_back(cpu.ReadMem(a));
    return s;
  }

  test::TempDir dir;
  Processor cpu;
  platform::PosixLibraryLoader libraries;
  PeripheralModuleLoader modules{libraries, TERVIK_BUNDLED_DIR};
  test::RecordingConsole console;
};

// The history records through either engine: the translator runs the recorded batches (its
// module accesses go through the interpreter, which hands their values to the recorder) and the
// past is the same as with the interpreter.
class HistoryEngineTest : public HistoryTest,
                          public ::testing::WithParamInterface<jit::EngineKind> {};

TEST_P(HistoryEngineTest, GoingBackMatchesSingleStepsAndForwardGoesOnLive) {
  if (GetParam() == jit::EngineKind::Translator && !jit::TranslatorAvailable()) GTEST_SKIP();
  ASSERT_EQ(jit::InstallEngine(cpu, GetParam()), GetParam());
  size_t lines = 0, seeks = 0;
  for (uint32_t seed = 1; seed <= 24; ++seed) {
    std::mt19937 rng(seed);
    const std::vector<uint32_t> program = RandomProgram(rng);
    const uint64_t n = 20000 + rng() % 20000, more = 1 + rng() % 5000;
    std::vector<uint64_t> ks;
    for (int i = 0; i < 30; ++i) ks.push_back(1 + rng() % (n - 1));
    ks.push_back(n - 1);
    std::sort(ks.begin(), ks.end());

    // The reference: single steps from Reset, with no history.
    Start(program);
    std::vector<State> expected;
    std::vector<std::string> reference;
    for (uint64_t i = 1, next = 0; i <= n + more; ++i) {
      cpu.Step();
      while (next < ks.size() && ks[next] == i) {
        expected.push_back(Observe());
        ++next;
      }
      if (i == n) expected.push_back(Observe());
    }
    const State end = Observe();
    reference = console.lines;

    // The same run with history, in batches with breakpoints and in single steps.
    Recorder history(cpu);
    history.SetEnabled(true);
    history.SetInterval(300 + rng() % 3000);
    Start(program);
    ASSERT_EQ(history.Now(), 0u);
    while (history.Now() < n) {
      const uint64_t left = n - history.Now();
      if (rng() % 4 == 0) {
        for (uint64_t i = std::min<uint64_t>(left, 1 + rng() % 40); i > 0; --i) cpu.Step();
      } else {
        const uint32_t breakpoints[] = {kProgram + static_cast<uint32_t>(rng() % program.size())};
        cpu.RunBatch(std::min<uint64_t>(left, 1 + rng() % 5000), breakpoints);
      }
    }
    const State present = Observe();
    ASSERT_EQ(present, expected.back()) << "seed " << seed;

    // Back to each k in a random order, and once more to the present.
    std::vector<size_t> order(ks.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    for (const size_t i : order) {
      ASSERT_TRUE(history.Seek(ks[i])) << "seed " << seed << " k " << ks[i];
      EXPECT_TRUE(history.InPast());
      State at = Observe();
      EXPECT_EQ(at.lines, present.lines) << "a module acted again, seed " << seed;
      at.lines = expected[i].lines;
      ASSERT_EQ(at, expected[i]) << "seed " << seed << " k " << ks[i];
      ++seeks;
    }
    ASSERT_TRUE(history.Seek(n));
    EXPECT_FALSE(history.InPast());
    EXPECT_EQ(Observe(), present) << "seed " << seed;

    // From the past, a run replays to the present and goes on live.
    ASSERT_TRUE(history.Seek(ks[rng() % ks.size()]));
    while (history.Now() < n + more)
      cpu.RunBatch(std::min<uint64_t>(n + more - history.Now(), 777));
    EXPECT_FALSE(history.Diverged());
    EXPECT_EQ(Observe(), end) << "seed " << seed;
    EXPECT_EQ(console.lines, reference) << "seed " << seed;
    lines += reference.size();
  }
  EXPECT_GT(lines, 200u);  // the modules did write lines
  EXPECT_GT(seeks, 300u);
  if (GetParam() == jit::EngineKind::Translator) {
    EXPECT_GT(jit::TranslatedCycles(cpu), 0u) << "the recorded batches never ran translated";
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, HistoryEngineTest,
                         ::testing::Values(jit::EngineKind::Interpreter,
                                           jit::EngineKind::Translator),
                         [](const auto& info) { return std::string(jit::EngineName(info.param)); });

// A budget too small for the whole run drops the oldest history, keeps the latest, and the
// state it goes back to is still exact.
TEST_F(HistoryTest, TheBudgetDropsTheOldestHistory) {
  std::mt19937 rng(99);
  const std::vector<uint32_t> program = RandomProgram(rng);
  constexpr uint64_t kRun = 60000;
  Start(program);
  std::vector<State> expected;
  for (uint64_t i = 1; i <= kRun; ++i) {
    cpu.Step();
    if (i % 1000 == 0) expected.push_back(Observe());
  }
  Recorder history(cpu);
  history.SetEnabled(true);
  history.SetInterval(1000);
  history.SetBudget(64 * 1024);
  Start(program);
  while (history.Now() < kRun) cpu.RunBatch(kRun - history.Now());
  EXPECT_LE(history.Bytes(), 64u * 1024);
  EXPECT_GT(history.First(), 0u);
  EXPECT_FALSE(history.Seek(history.First() - 1));
  for (uint64_t k = std::max<uint64_t>(1000, (history.First() + 999) / 1000 * 1000); k <= kRun;
       k += 1000) {
    ASSERT_TRUE(history.Seek(k));
    State at = Observe();
    at.lines = expected[k / 1000 - 1].lines;
    EXPECT_EQ(at, expected[k / 1000 - 1]) << "k " << k;
  }
}

// A large region is an anonymous mapping whose written pages are found by residency: a program
// that stores all over four megabytes of it goes back exactly too.
TEST(HistoryLargeMemoryTest, ScatteredStoresGoBackExactly) {
  constexpr uint32_t kBig = 0x100000, kBigSize = 0x100000;
  // R2 += 0x4D3 ; R3 = (R2 & 0xFFFF) << 4 | 0x100000 ; M[R3] = ++R1 ; again.
  const std::vector<uint32_t> program = {Movei(MoveiSub::MOVEH, 4, 0x10),
                                         Rri(ADDI, 2, 2, 0x4D3),
                                         Rri(ANDI, 3, 2, 0xFFFF),
                                         Rri(SLLI, 3, 3, 4),
                                         Rrr(ADD, 3, 3, 4),
                                         Rri(ADDI, 1, 1, 1),
                                         Rrr(STORE, 0, 3, 1),
                                         Rri(JUMPrI, 0, 0, 1)};
  auto hash = [&](Processor& p) {
    uint64_t h = 0;
    const uint32_t* words = p.Regions()[1].storage.data();
    for (uint32_t i = 0; i < kBigSize; ++i) h = (h ^ words[i]) * 1099511628211ull;
    return h;
  };
  std::vector<std::pair<CpuState, uint64_t>> expected;
  Processor cpu;
  cpu.AddRegion(0, 0x100, RegionType::ROM);
  cpu.AddRegion(kBig, kBigSize, RegionType::RAM);
  for (uint32_t i = 0; i < program.size(); ++i) cpu.WriteMem(i, program[i]);
  cpu.Reset();
  for (int k = 1; k <= 40; ++k) {
    cpu.RunBatch(997);
    expected.emplace_back(cpu, hash(cpu));
  }
  cpu.ZeroMemory();
  for (uint32_t i = 0; i < program.size(); ++i) cpu.WriteMem(i, program[i]);
  Recorder history(cpu);
  history.SetEnabled(true);
  history.SetInterval(2000);
  cpu.Reset();
  cpu.RunBatch(40 * 997);
  for (const int k : {3, 39, 17, 1, 40, 25}) {
    ASSERT_TRUE(history.Seek(uint64_t{997} * k));
    EXPECT_EQ(static_cast<const CpuState&>(cpu), expected[k - 1].first) << k;
    EXPECT_EQ(hash(cpu), expected[k - 1].second) << k;
  }
}

}  // namespace
}  // namespace tervik
