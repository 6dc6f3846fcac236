// Pages of memory that the system pages out between snapshots: the history still finds them
// written, and going back restores what they held. Every writer of region storage marks the
// page it writes: the interpreter's steps and batches, a store onto a breakpoint's word, the
// translator, the loaders' WriteMem and a debugger's CpuWriteMem.
//
// This machine may have no swap, where paging out anonymous memory does nothing; the test asks
// for it anyway and makes the system's residency report (mincore) say what it would say with
// swap: a page paged out is not in memory until it is written again.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "Processor.h"
#include "Recorder.h"
#include "TestMachine.h"
#include "Translator.h"

namespace {

// The byte ranges paged out, which the residency report leaves out.
std::vector<std::pair<uintptr_t, uintptr_t>> pagedOut;

}  // namespace

extern "C" int mincore(void* start, size_t length, unsigned char* vec) noexcept {
  using Real = int (*)(void*, size_t, unsigned char*);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "mincore"));
  const int result = real(start, length, vec);
  if (result != 0) return result;
  const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto from = reinterpret_cast<uintptr_t>(start);
  for (size_t i = 0; i * page < length; ++i) {
    for (const auto& [lo, hi] : pagedOut) {
      if (from + i * page >= lo && from + i * page < hi) vec[i] = 0;
    }
  }
  return result;
}

namespace tervik {
namespace {

using enum Opcode;
using history::Recorder;

using test::Movei;
using test::Rri;
using test::Rrr;

// Pages `words` words of region storage out, as the system does under memory pressure.
void PageOut(const uint32_t* words, size_t count) {
  const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t lo = reinterpret_cast<uintptr_t>(words) / page * page;
  const uintptr_t hi = (reinterpret_cast<uintptr_t>(words + count) + page - 1) / page * page;
#ifdef MADV_PAGEOUT
  madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_PAGEOUT);  // does nothing without swap
#endif
  pagedOut.emplace_back(lo, hi);
}

// Every page of the region at `index` that holds a non-zero word is marked as written.
void ExpectNonZeroPagesMarked(const Processor& cpu, size_t index, const char* what) {
  const MemoryRegion& r = cpu.Regions()[index];
  size_t nonZero = 0;
  for (uint32_t i = 0; i < r.storage.size(); ++i) {
    if (r.storage.data()[i] == 0) continue;
    ++nonZero;
    EXPECT_TRUE(r.storage.Written(i, 1)) << what << ": word " << r.start + i;
  }
  EXPECT_GT(nonZero, 0u) << what;
}

// R1 = 0x100000 + `base`; `count` times: M[R1] = R1, R1 += 0x3F1 (a new page nearly every time).
std::vector<uint32_t> Scatter(uint32_t base, uint32_t count) {
  return {Movei(MoveiSub::MOVEH, 1, 0x10),  Rri(ORI, 1, 1, base),
          Movei(MoveiSub::MOVEL, 3, count), Rrr(STORE, 0, 1, 1),
          Rri(ADDI, 1, 1, 0x3F1),           Rri(ADDI, 3, 3, 0xFFFF),
          Rri(BNZEI, 0, 3, 0xFFFD),         Rri(JUMPI, 0, 0, 0)};
}

TEST(WrittenPagesTest, EveryWriterMarksThePagesItWrites) {
  enum class Writer { Steps, Batch, BreakpointWord, Translated, WriteMem, CpuWriteMem };
  struct Row {
    const char* name;
    Writer writer;
    uint32_t ramStart;  // a region of 0x100000 words; not on a page boundary in some rows
  };
  const Row rows[] = {
      {"steps", Writer::Steps, 0x100000},
      {"batch", Writer::Batch, 0x100000},
      {"batch, region off the page grid", Writer::Batch, 0xFF9C3},
      {"store onto a breakpoint", Writer::BreakpointWord, 0x100000},
      {"translated", Writer::Translated, 0x100000},
      {"translated, region off the page grid", Writer::Translated, 0xFF9C3},
      {"WriteMem", Writer::WriteMem, 0x100211},
      {"CpuWriteMem", Writer::CpuWriteMem, 0x100000},
  };
  for (const Row& row : rows) {
    Processor cpu;
    cpu.AddRegion(0, 0x100, RegionType::ROM);
    cpu.AddRegion(row.ramStart, 0x100000, RegionType::RAM);
    const std::vector<uint32_t> program = Scatter(0x211, 200);
    for (uint32_t i = 0; i < program.size(); ++i) cpu.WriteMem(i, program[i]);
    cpu.Reset();
    switch (row.writer) {
      case Writer::Steps:
        for (int i = 0; i < 3 + 4 * 200; ++i) cpu.Step();
        break;
      case Writer::Batch: cpu.RunBatch(3 + 4 * 200); break;
      case Writer::BreakpointWord: {
        // A breakpoint on the word the fifth store writes: memory holds a trap word there
        // while the batch runs, and the store goes to the trap.
        const uint32_t breakpoints[] = {0x100211 + 4 * 0x3F1};
        cpu.RunBatch(3 + 4 * 200, breakpoints);
        break;
      }
      case Writer::Translated:
        if (jit::InstallEngine(cpu, jit::EngineKind::Translator, {.hotAfter = 0}) !=
            jit::EngineKind::Translator) {
          continue;  // no translator on this host
        }
        cpu.RunBatch(3 + 4 * 200);
        EXPECT_GT(jit::TranslatedCycles(cpu), 400u);
        break;
      case Writer::WriteMem:
        for (uint32_t a = 0x100211; a < 0x100211 + 200 * 0x3F1; a += 0x3F1) cpu.WriteMem(a, a);
        break;
      case Writer::CpuWriteMem:
        for (uint32_t a = 0x100211; a < 0x100211 + 200 * 0x3F1; a += 0x3F1) cpu.CpuWriteMem(a, a);
        break;
    }
    ExpectNonZeroPagesMarked(cpu, 1, row.name);
    EXPECT_EQ(cpu.ReadMem(0x100211 + 4 * 0x3F1), 0x100211u + 4 * 0x3F1) << row.name;
    cpu.ZeroMemory();
    EXPECT_FALSE(cpu.Regions()[1].storage.Written(0, 0x100000)) << row.name << ": zeroed";
  }
}

// A word written between two snapshots, its page paged out before the next: going back before
// the write shows zero there, going forward shows the value again.
TEST(PageEvictionTest, APagePagedOutBetweenSnapshotsGoesBackExactly) {
  enum class Writer { Store, Edit };
  struct Row {
    const char* name;
    Writer writer;
    uint32_t ramSize;  // 0x100000: a mapping; 0x8000: a small region, compared whole before
  };
  const Row rows[] = {{"a program's store, large region", Writer::Store, 0x100000},
                      {"a program's store, small region", Writer::Store, 0x8000},
                      {"an edit, large region", Writer::Edit, 0x100000}};
  constexpr uint32_t kWord = 0x100000 + 5 * 1024 + 7;
  // R1 = kWord ; M[R1] = 0x1234 ; then counts in R5 for ever.
  const std::vector<uint32_t> program = {Movei(MoveiSub::MOVEH, 1, 0x10),
                                         Rri(ORI, 1, 1, kWord & 0xFFFF),
                                         Movei(MoveiSub::MOVEL, 2, 0x1234),
                                         Rrr(STORE, 0, 1, 2),
                                         Rri(ADDI, 5, 5, 1),
                                         Rri(JUMPI, 0, 0, 0xFFFF)};
  for (const Row& row : rows) {
    Processor cpu;
    cpu.AddRegion(0, 0x100, RegionType::ROM);
    cpu.AddRegion(0x100000, row.ramSize, RegionType::RAM);
    for (uint32_t i = 0; i < program.size(); ++i) cpu.WriteMem(i, program[i]);
    Recorder history(cpu);
    history.SetEnabled(true);
    history.SetInterval(100);
    cpu.Reset();
    cpu.RunBatch(50);
    if (row.writer == Writer::Edit) cpu.WriteMem(kWord, 0x5678);  // over the program's store
    const uint32_t value = row.writer == Writer::Edit ? 0x5678 : 0x1234;
    ASSERT_EQ(cpu.ReadMem(kWord), value) << row.name;
    PageOut(cpu.Regions()[1].storage.data() + (kWord - 0x100000), 1);
    cpu.RunBatch(1000);  // ten snapshots, none of which finds the page in memory
    pagedOut.clear();

    ASSERT_TRUE(history.Seek(2)) << row.name;
    EXPECT_EQ(cpu.ReadMem(kWord), 0u) << row.name << ": before the store";
    ASSERT_TRUE(history.Seek(700)) << row.name;
    EXPECT_EQ(cpu.ReadMem(kWord), value) << row.name;
    ASSERT_TRUE(history.Seek(30)) << row.name;
    EXPECT_EQ(cpu.ReadMem(kWord), row.writer == Writer::Edit ? 0x1234u : value) << row.name;
    ASSERT_TRUE(history.Seek(history.Present())) << row.name;
    EXPECT_EQ(cpu.ReadMem(kWord), value) << row.name << ": at the present";
  }
}

}  // namespace
}  // namespace tervik
