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

// Invalidation is local: what a store or a change of the stops makes translate again, on a loop
// that calls a routine on another page, against the interpreter (the same batches with the same
// stops). `made` counts the translations the 300 cycles after the change make: a flush of the
// whole cache would make all seven blocks again. A store into the routine drops it each round;
// a stop drops the blocks that could go on to it or jump to it as a fixed target (none where a
// call returns: the RET looks its target up; where the loop's branch goes on or branches to:
// the branch's block, made again without the branch); the first stop drops the five blocks
// whose jumps to a register's target were made without a look-up of the stops.
TEST(Translator, ChangesInvalidateOnlyTheBlocksThatDependOnThem) {
  if (!jit::TranslatorAvailable()) GTEST_SKIP() << "no translator in this build";
  constexpr uint32_t routine = k + 0x800;  // another page than the loop's
  constexpr uint32_t far = k + 0x7000;     // a stop no block comes near
  const std::vector<uint32_t> program = {
      Movei(MoveiSub::MOVEL, 2, 10), Rri(ADDI, 1, 1, 1),  Rrr(CALL, 0, 0, 6),
      Rrr(STORE, 0, 7, 8),           Rrr(CALL, 0, 0, 6),  Rri(SUBBI, 2, 2, 1),
      Rri(BNZEI, 0, 2, 0xFFFB),      Rri(JUMPrI, 0, 0, k)};
  const struct {
    const char* name;
    std::vector<uint32_t> before, after;  // the stops of the batches before and after
    uint32_t storeAt = k + 0x400;         // where the STORE at k + 3 writes after the change
    uint32_t stored = 0;
    uint64_t made;
  } cases[] = {
      {"a store into the routine, each round", {far}, {far}, routine + 1, Rri(ADDI, 4, 4, 3), 24},
      {"a store beside the routine, on its page", {far}, {far}, routine + 0x40, 7, 0},
      {"a store on another page", {far}, {far}, k + 0x400, 7, 0},
      {"a stop added outside every block", {far}, {far, k + 0x600}, k + 0x400, 0, 0},
      {"a stop removed outside every block", {far, k + 0x600}, {far}, k + 0x400, 0, 0},
      {"a stop added inside the routine", {far}, {far, routine + 1}, k + 0x400, 0, 1},
      {"a stop removed inside the routine", {far, routine + 1}, {far}, k + 0x400, 0, 1},
      {"a stop where the first call returns", {far}, {far, k + 3}, k + 0x400, 0, 0},
      {"a stop where the loop's branch goes on", {far}, {far, k + 7}, k + 0x400, 0, 1},
      {"a stop where the loop branches to", {far}, {far, k + 1}, k + 0x400, 0, 1},
      // The routine's RET was made while there were no stops: its target in a register must
      // be looked up once there are.
      {"the first stop, where a RET returns", {}, {k + 5}, k + 0x400, 0, 5},
  };
  for (const auto& c : cases) {
    Machine translated, reference;
    for (Machine* m : {&translated, &reference}) {
      uint32_t a = k;
      for (uint32_t w : program) m->cpu.WriteMem(a++, w);
      m->cpu.WriteMem(routine, Rri(ADDI, 3, 3, 1));
      m->cpu.WriteMem(routine + 1, Rri(ADDI, 4, 4, 2));
      m->cpu.WriteMem(routine + 2, Op(RET));
      m->cpu.r[6] = routine;
      m->cpu.r[7] = k + 0x400;
      m->cpu.sp = k + 0x100;
      m->cpu.pc = k;
    }
    ASSERT_EQ(jit::InstallEngine(translated.cpu, jit::EngineKind::Translator, {.hotAfter = 0}),
              jit::EngineKind::Translator);
    jit::InstallEngine(reference.cpu, jit::EngineKind::Interpreter);
    // 300 cycles in batches that end at the stops, alike on both.
    const auto run = [&](const std::vector<uint32_t>& stops) {
      for (uint64_t done = 0; done < 300;) {
        const uint64_t ran = translated.cpu.RunBatch(300 - done, stops);
        ASSERT_EQ(ran, reference.cpu.RunBatch(300 - done, stops)) << c.name << " at " << done;
        ASSERT_GT(ran, 0u) << c.name;
        done += ran;
        ASSERT_EQ(static_cast<const CpuState&>(translated.cpu),
                  static_cast<const CpuState&>(reference.cpu))
            << c.name << " after " << done;
      }
    };
    run(c.before);
    for (Machine* m : {&translated, &reference}) {
      m->cpu.r[7] = c.storeAt;
      m->cpu.r[8] = c.stored;
    }
    const uint64_t made = jit::Translations(translated.cpu);
    run(c.after);
    EXPECT_EQ(jit::Translations(translated.cpu) - made, c.made) << c.name;
    for (uint32_t a = routine; a < routine + 0x41; ++a) {
      ASSERT_EQ(translated.cpu.ReadMem(a), reference.cpu.ReadMem(a)) << c.name;
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
