// The translator's cache against every way the words it translated can change: the program's
// own stores (into the block running, into another translated block), a listing load, an edit,
// Clear memory and replaced regions. Each case runs batches on the translator and the same
// number of single steps, changes memory the same way on both between batches, and compares
// everything; stale translated code would give other registers. And the shift register's
// many-cycle advance against single shifts.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Lfsr.h"
#include "Listing.h"
#include "TestMachine.h"
#include "Translator.h"

namespace tervik::test {
namespace {

using enum Opcode;

constexpr uint32_t k = Machine::kRam;

// A listing file with `words` from address k, removed again at the end of the test.
class ListingFile {
 public:
  explicit ListingFile(const std::vector<uint32_t>& words)
      : path_(std::filesystem::temp_directory_path() /
              ("tervik_jit_" + std::to_string(getpid()) + ".lst")) {
    std::ofstream out(path_);
    for (size_t i = 0; i < words.size(); ++i) {
      char line[64];
      std::snprintf(line, sizeof line, "%05X ", static_cast<unsigned>(k + i));
      out << line;
      for (int bit = 31; bit >= 0; --bit) out << ((words[i] >> bit) & 1u);
      out << "\n";
    }
  }
  ~ListingFile() { std::filesystem::remove(path_); }
  std::string Path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

struct NullConsole : ConsoleSink {
  void AppendLine(std::string_view) override {}
};

// Counts R1 up by the ADDI at k + 1 and R3 by the one at k + 3, R2 times, then again forever.
const std::vector<uint32_t> kCounting = {
    Movei(MoveiSub::MOVEL, 2, 6), Rri(ADDI, 1, 1, 1),  Op(NOP),
    Rri(ADDI, 3, 3, 1),           Rri(SUBBI, 2, 2, 1), Rri(BNZEI, 0, 2, 0xFFFC),
    Rri(JUMPrI, 0, 0, k)};

struct Case {
  const char* name;
  std::vector<uint32_t> program;  // at k
  std::vector<std::pair<unsigned, uint32_t>> registers;
  std::function<void(Processor&)> change;  // between the first and the second batch
};

void Change(Processor& cpu, uint32_t a, uint32_t word) {
  cpu.WriteMem(a, word);
}

TEST(Translator, TranslatedWordsThatChangeAreTranslatedAgain) {
  if (!jit::TranslatorAvailable()) GTEST_SKIP() << "no translator in this build";
  const ListingFile listing({Movei(MoveiSub::MOVEL, 2, 6), Rri(ADDI, 1, 1, 0x20), Op(NOP),
                             Rri(SUBBI, 3, 3, 2), Rri(SUBBI, 2, 2, 1), Rri(BNZEI, 0, 2, 0xFFFC),
                             Rri(JUMPrI, 0, 0, k)});
  const Case cases[] = {
      // The STORE at k + 2 rewrites the word after it, in the block running, every round:
      // R8 alternates between ADDI R3,R3,1 and ADDI R3,R3,2.
      {"a store into the block running",
       {Movei(MoveiSub::MOVEL, 2, 6), Rri(ADDI, 1, 1, 1), Rrr(STORE, 0, 7, 8), Rri(ADDI, 3, 3, 1),
        Rri(XORI, 8, 8, 3), Rri(SUBBI, 2, 2, 1), Rri(BNZEI, 0, 2, 0xFFFB), Rri(JUMPrI, 0, 0, k)},
       {{7, k + 3}, {8, Rri(ADDI, 3, 3, 2)}},
       nullptr},
      // The loop calls the routine at k + 0x20 and then rewrites its first word.
      {"a store into another translated block",
       {Movei(MoveiSub::MOVEL, 2, 6), Rrr(CALL, 0, 0, 6), Rrr(STORE, 0, 7, 8), Rri(XORI, 8, 8, 3),
        Rri(SUBBI, 2, 2, 1), Rri(BNZEI, 0, 2, 0xFFFC), Rri(JUMPrI, 0, 0, k)},
       {{6, k + 0x20}, {7, k + 0x20}, {8, Rri(ADDI, 1, 1, 2)}},
       nullptr},
      {"a listing load",
       kCounting,
       {},
       [&listing](Processor& cpu) {
         ListingMap map;
         NullConsole console;
         ASSERT_TRUE(LoadListing(listing.Path(), cpu, map, console));
       }},
      {"an edit of a word",
       kCounting,
       {},
       [](Processor& cpu) { Change(cpu, k + 3, Rri(ADDI, 3, 3, 7)); }},
      {"an edit of a branch", kCounting, {}, [](Processor& cpu) { Change(cpu, k + 5, Op(NOP)); }},
      {"Clear memory",
       kCounting,
       {},
       [](Processor& cpu) {
         ClearMemory(cpu);
         Change(cpu, k + 0x10, Rri(JUMPrI, 0, 0, k));
       }},
      {"regions replaced",
       kCounting,
       {},
       [](Processor& cpu) {
         cpu.ClearRegions();
         cpu.AddRegion(Machine::kRom, Machine::kRomSize, RegionType::ROM);
         cpu.AddRegion(k, Machine::kRamSize, RegionType::RAM);
         uint32_t a = k;
         for (uint32_t w : kCounting)
           cpu.WriteMem(a++, w == Rri(ADDI, 1, 1, 1) ? Rri(ADDI, 1, 1, 9) : w);
       }},
  };
  for (const Case& c : cases) {
    auto setUp = [&](Machine& m) {
      uint32_t a = k;
      for (uint32_t w : c.program) m.cpu.WriteMem(a++, w);
      m.cpu.WriteMem(k + 0x20, Rri(ADDI, 1, 1, 1));  // the routine of the call
      m.cpu.WriteMem(k + 0x21, Op(RET));
      for (auto [reg, value] : c.registers) m.cpu.r[reg] = value;
      m.cpu.sp = k + 0x100;
      m.cpu.lfsr = 0x12345678u;
      m.cpu.pc = k;
    };
    // Translating at the first meeting or the third, and with code space for one block at a
    // time, so that every translation drops the others.
    const jit::TranslatorOptions engines[] = {
        {.hotAfter = 0}, {.hotAfter = 2}, {.hotAfter = 0, .codeBytes = size_t{48} << 10}};
    for (const auto& [first, options] : {std::pair{uint64_t{1}, engines[0]},
                                         {5, engines[0]},
                                         {9, engines[2]},
                                         {40, engines[1]},
                                         {200, engines[0]},
                                         {200, engines[1]},
                                         {7, engines[2]}}) {
      Machine batch, single;
      setUp(batch);
      setUp(single);
      ASSERT_EQ(jit::InstallEngine(batch.cpu, jit::EngineKind::Translator, options),
                jit::EngineKind::Translator);
      for (uint64_t n : {first, uint64_t{300}, uint64_t{77}}) {
        ASSERT_EQ(batch.cpu.RunBatch(n), n) << c.name;
        for (uint64_t i = 0; i < n; ++i) single.cpu.Step();
        ASSERT_EQ(static_cast<const CpuState&>(batch.cpu), static_cast<const CpuState&>(single.cpu))
            << c.name << " first batch " << first << " then " << n;
        ASSERT_EQ(batch.cpu.regChanged, single.cpu.regChanged) << c.name;
        for (uint32_t a = k; a < k + 0x40; ++a) {
          ASSERT_EQ(batch.cpu.ReadMem(a), single.cpu.ReadMem(a))
              << c.name << std::hex << " at " << a;
        }
        if (n == first && c.change) {
          c.change(batch.cpu);
          c.change(single.cpu);
        }
      }
      // Translated code did run (translating at the third meeting, these few batches may leave
      // it all to the interpreter: the engine meets an address only between stretches).
      if (options.hotAfter == 0) {
        EXPECT_GT(jit::TranslatedCycles(batch.cpu), 100u) << c.name;
      }
    }
  }
}

TEST(Translator, ShiftRegisterAdvancesByManyCyclesAsByOne) {
  for (uint32_t start : {0u, 1u, 0x80000000u, 0x12345678u, 0xFFFFFFFFu}) {
    uint32_t stepped = start;
    for (uint64_t n = 0; n <= 5000; ++n) {
      if (n % 7 == 0 || n < 80) {
        ASSERT_EQ(jit::AdvanceLfsrBy(start, n), stepped) << n;
      }
      stepped = jit::LfsrStep(stepped);
    }
  }
  // Counts far beyond stepping compose: n cycles and then m are n + m cycles.
  const uint32_t v = 0x0BADF00Du;
  EXPECT_EQ(jit::AdvanceLfsrBy(jit::AdvanceLfsrBy(v, 1ull << 40), 1ull << 40),
            jit::AdvanceLfsrBy(v, 1ull << 41));
}

}  // namespace
}  // namespace tervik::test
