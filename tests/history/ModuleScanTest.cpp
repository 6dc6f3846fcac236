// Module words read all over a large module region: random programs that scan, pick and store
// the words of a 256x128 pixel display (32,768 words) run with history on; going back to any
// instruction gives the state single steps from Reset give there, and a replay from the start
// reaches the present without running out of recorded values; and the record gives every one of
// thousands of addresses its own values back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "MemoryMap.h"
#include "ModuleLog.h"
#include "Processor.h"
#include "Recorder.h"
#include "SetupTestSupport.h"
#include "TestMachine.h"

namespace tervik {
namespace {

using enum Opcode;
using history::Markers;
using history::Recorder;

constexpr uint32_t kProgram = 0x1000, kRing = 0x1800, kRingSize = 0x400;
constexpr uint32_t kDisplay = 0x4000, kDisplayWords = 0x8000;

using test::Rri;
using test::Rrr;

constexpr uint32_t Movel(unsigned rd, uint32_t imm) {
  return test::Movei(MoveiSub::MOVEL, rd, static_cast<uint16_t>(imm));
}

// R1 holds the display's address and R2 a scanning index. Random blocks in an endless loop:
// scans of 1 to 300 words with random strides, reads of random words, stores of R30 into the
// word at the index (so later reads of it differ), and arithmetic; every value read is folded
// into R30 and a RAM ring.
std::vector<uint32_t> RandomProgram(std::mt19937& rng) {
  std::vector<uint32_t> p;
  auto pick = [&rng](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  auto fold = [&p] {
    p.push_back(Rrr(STORE, 0, 31, 5));
    p.push_back(Rri(ADDI, 31, 31, 1));
    p.push_back(Rri(ANDI, 31, 31, kRingSize - 1));
    p.push_back(Rri(ORI, 31, 31, kRing));
    p.push_back(Rrr(XOR, 30, 30, 5));
    p.push_back(Rri(RORI, 30, 30, 1));
  };
  p.push_back(Movel(31, kRing));
  p.push_back(Movel(1, kDisplay));
  const uint32_t loopStart = kProgram + static_cast<uint32_t>(p.size());
  for (int b = 20 + static_cast<int>(pick(20)); b > 0; --b) {
    const uint32_t kind = pick(6);
    if (kind < 2) {  // scan: LOAD R5,R1,R2 ; fold ; R2 += stride ; R6 -= 1 ; loop
      p.push_back(Movel(6, 1 + pick(300)));
      p.push_back(Rrr(LOAD, 5, 1, 2));
      fold();
      p.push_back(Rri(ADDI, 2, 2, 1 + pick(3) * pick(40)));
      p.push_back(Rri(ANDI, 2, 2, kDisplayWords - 1));
      p.push_back(Rri(ADDI, 6, 6, 0xFFFF));
      p.push_back(Rri(BNZEI, 0, 6, static_cast<uint16_t>(-10)));
    } else if (kind == 2) {
      p.push_back(Movel(3, pick(kDisplayWords)));
      p.push_back(Rrr(LOAD, 5, 1, 3));
      fold();
    } else if (kind == 3) {
      p.push_back(Rrr(ADD, 4, 1, 2));
      p.push_back(Rrr(STORE, 0, 4, 30));
    } else {
      const Opcode ops[] = {ADDI, XORI, ORI, SUBBI};
      p.push_back(Rri(ops[pick(4)], 10 + pick(8), 10 + pick(8), rng()));
      p.push_back(Rrr(XOR, 30, 30, 10 + pick(8)));
    }
  }
  p.push_back(Rri(JUMPrI, 0, 0, loopStart));
  return p;
}

struct State {
  CpuState cpu;
  Markers markers;
  std::vector<uint32_t> ram;

  bool operator==(const State&) const = default;
};

class ModuleScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string map =
        dir.Write("scan.map",
                  "0x0000 0x400 ROM\n0x1000 0x1000 RAM\n0x4000 0x8000 DLL libtervik_display.so "
                  "256x128\n");
    ASSERT_TRUE(LoadMemoryMap(map, cpu, modules, console));
  }

  // Loads the program, blanks the display (its pixels outlive a Reset) and resets.
  void Start(const std::vector<uint32_t>& program) {
    cpu.ZeroMemory();
    for (uint32_t a = 0; a < kDisplayWords; ++a) cpu.WriteMem(kDisplay + a, a * 0x9E3779B1u);
    for (size_t i = 0; i < program.size(); ++i) {
      cpu.WriteMem(kProgram + static_cast<uint32_t>(i), program[i]);
    }
    cpu.Reset();
    cpu.SetPC(kProgram);
  }

  State Observe() {
    State s{cpu, Markers::Of(cpu), {}};
    for (uint32_t a = 0x1000; a < 0x2000; ++a) s.ram.push_back(cpu.ReadMem(a));
    return s;
  }

  test::TempDir dir;
  Processor cpu;
  platform::PosixLibraryLoader libraries;
  PeripheralModuleLoader modules{libraries, TERVIK_BUNDLED_DIR};
  test::RecordingConsole console;
};

TEST_F(ModuleScanTest, GoingBackAmongThousandsOfWordsMatchesSingleSteps) {
  size_t seeks = 0;
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    std::mt19937 rng(seed);
    const std::vector<uint32_t> program = RandomProgram(rng);
    const uint64_t n = 60000 + rng() % 40000;
    std::vector<uint64_t> ks;
    for (int i = 0; i < 25; ++i) ks.push_back(1 + rng() % (n - 1));
    std::sort(ks.begin(), ks.end());

    Start(program);
    std::vector<State> expected;
    for (uint64_t i = 1, next = 0; i <= n; ++i) {
      cpu.Step();
      while (next < ks.size() && ks[next] == i) {
        expected.push_back(Observe());
        ++next;
      }
    }
    const State present = Observe();

    Recorder history(cpu);
    history.SetEnabled(true);
    history.SetInterval(500 + rng() % 5000);
    Start(program);
    while (history.Now() < n) {
      const uint64_t left = n - history.Now();
      if (rng() % 4 == 0) {
        for (uint64_t i = std::min<uint64_t>(left, 1 + rng() % 40); i > 0; --i) cpu.Step();
      } else {
        cpu.RunBatch(std::min<uint64_t>(left, 1 + rng() % 9000));
      }
    }
    ASSERT_EQ(Observe(), present) << "seed " << seed;

    std::vector<size_t> order(ks.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    for (const size_t i : order) {
      ASSERT_TRUE(history.Seek(ks[i])) << "seed " << seed << " k " << ks[i];
      ASSERT_EQ(Observe(), expected[i]) << "seed " << seed << " k " << ks[i];
      ++seeks;
    }
    // A replay from the start all the way to the present.
    ASSERT_TRUE(history.Seek(history.First()));
    ASSERT_TRUE(history.Seek(n));
    EXPECT_FALSE(history.Diverged()) << "seed " << seed;
    EXPECT_EQ(Observe(), present) << "seed " << seed;
  }
  EXPECT_EQ(seeks, 150u);
}

// Each case appends and replays `passes` reads of each of `words` addresses in turn, word by
// word, up to the top of the address space: every value comes back at its own address, in order.
// (What thousands of addresses cost against one is bench_history's DisplayScan.)
TEST(ModuleLogTest, ManyAddressesReplayTheirOwnValues) {
  struct Case {
    uint32_t first, words, passes;
  };
  const Case cases[] = {
      {0x7010, 1, 65536}, {0x6000, 2048, 32}, {0x4000, 32768, 2}, {0xFFFF8000u, 32768, 2}};
  for (size_t c = 0; c < std::size(cases); ++c) {
    const Case& k = cases[c];
    history::ModuleLog log;
    for (uint32_t pass = 0; pass < k.passes; ++pass) {
      for (uint32_t i = 0; i < k.words; ++i) log.Append(k.first + i, i * 7 + pass * 3);
    }
    const history::ModuleLog::Position end = log.End();
    log.Seek({});
    for (uint32_t pass = 0; pass < k.passes; ++pass) {
      for (uint32_t i = 0; i < k.words; ++i) {
        uint32_t value = 0;
        ASSERT_TRUE(log.Next(k.first + i, value)) << c;
        ASSERT_EQ(value, i * 7 + pass * 3) << c << " address " << k.first + i;
      }
    }
    EXPECT_TRUE(log.CursorAtEnd()) << c;
    EXPECT_EQ(log.Cursor(), end) << c;
    uint32_t none = 0;
    EXPECT_FALSE(log.Next(k.first, none)) << c;  // past the record
  }
}

}  // namespace
}  // namespace tervik
