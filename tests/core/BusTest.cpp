// The memory bus: first region wins, wrap-around at the top of the address space, regions of
// size 0, plug-in regions with their offsets, and region storage that costs nothing until
// written.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <tuple>

#include "TestMachine.h"

namespace tervik::test {
namespace {

using enum Opcode;

TEST(Bus, FirstRegionInListOrderServesAnOverlap) {
  Processor cpu;
  cpu.AddRegion(0, 1024, RegionType::RAM);
  cpu.AddRegion(0, 16, RegionType::ROM);
  cpu.WriteMem(3, 33);
  cpu.CpuWriteMem(4, 44);  // a RAM store, since RAM comes first
  EXPECT_EQ(cpu.ReadMem(3), 33u);
  EXPECT_EQ(cpu.ReadMem(4), 44u);
  EXPECT_TRUE(cpu.memWritten);
  // The ROM region never saw either word.
  EXPECT_EQ(cpu.Regions()[1].storage.data()[3], 0u);
  EXPECT_EQ(cpu.Regions()[1].storage.data()[4], 0u);
}

TEST(Bus, RomBeforeRamDropsStoresButTakesLoaderWrites) {
  Processor cpu;
  cpu.AddRegion(0x10, 0x10, RegionType::ROM);
  cpu.AddRegion(0, 0x100, RegionType::RAM);
  cpu.WriteMem(0x18, 5);
  cpu.CpuWriteMem(0x18, 6);
  EXPECT_FALSE(cpu.memWritten);
  EXPECT_EQ(cpu.ReadMem(0x18), 5u);
  cpu.CpuWriteMem(0x20, 7);  // past the ROM: the RAM
  EXPECT_EQ(cpu.ReadMem(0x20), 7u);
  EXPECT_EQ(cpu.lastWriteAddress, 0x20u);
}

TEST(Bus, UnmappedReadsAreAllOnesAndWritesVanish) {
  Processor cpu;
  cpu.AddRegion(0x100, 0x10, RegionType::RAM);
  EXPECT_EQ(cpu.ReadMem(0x110), 0xFFFFFFFFu);  // one past the end
  EXPECT_EQ(cpu.ReadMem(0xFF), 0xFFFFFFFFu);
  cpu.WriteMem(0x110, 1);
  cpu.CpuWriteMem(0x110, 1);
  EXPECT_FALSE(cpu.memWritten);
  EXPECT_EQ(cpu.ReadMem(0x10F), 0u);
}

TEST(Bus, SizeZeroRegionCoversNothing) {
  Processor cpu;
  cpu.AddRegion(0x100, 0, RegionType::RAM);
  cpu.AddRegion(0x100, 1, RegionType::ROM);
  cpu.WriteMem(0x100, 9);
  EXPECT_EQ(cpu.ReadMem(0x100), 9u);
  cpu.CpuWriteMem(0x100, 1);  // the ROM serves it, so the store is dropped
  EXPECT_EQ(cpu.ReadMem(0x100), 9u);
}

TEST(Bus, RegionReachingPastTheTopIsCutOffThere) {
  Processor cpu;
  cpu.AddRegion(0xFFFFFF00, 0x200, RegionType::RAM);
  cpu.WriteMem(0xFFFFFFFF, 0xAB);
  cpu.WriteMem(0, 0xCD);
  EXPECT_EQ(cpu.ReadMem(0xFFFFFF00), 0u);
  EXPECT_EQ(cpu.ReadMem(0xFFFFFFFF), 0xABu);
  EXPECT_EQ(cpu.ReadMem(0), 0xFFFFFFFFu);
  EXPECT_EQ(cpu.ReadMem(0xFF), 0xFFFFFFFFu);
}

TEST(Bus, PluginRegionGetsOffsetsFromItsStart) {
  Processor cpu;
  cpu.AddRegion(0, 0x100, RegionType::RAM);
  cpu.AddRegion(0x1000, 0x10, RegionType::DLL, FakeModule<1>::Entry());
  CallLog().clear();

  cpu.WriteMem(0x1003, 5);
  EXPECT_EQ(cpu.ReadMem(0x1003), 0xA1003u);
  cpu.WriteMem(0, Rri(STOREI, 0, 1, 9));
  cpu.r[1] = 0x1003;
  cpu.Step();
  EXPECT_TRUE(cpu.memWritten);
  EXPECT_EQ(cpu.lastWriteAddress, 0x1003u);
  EXPECT_EQ(CallLog(),
            (std::vector<std::string>{"M1 Write 3=5", "M1 Read 3", "M1 Clock", "M1 CPUWrite 3=9"}));
}

TEST(Bus, FetchFromAPluginUsesItsWordUnchanged) {
  Processor cpu;
  cpu.AddRegion(0x40, 4, RegionType::DLL, FakeModule<3>::Entry());
  cpu.SetPC(0x41);
  cpu.Step();  // 0xA3001 is opcode 0: NOP
  EXPECT_EQ(cpu.pc, 0x42u);
}

TEST(Bus, ClearRegionsLeavesNothingMapped) {
  Machine m;
  m.cpu.WriteMem(0x1000, 1);
  m.cpu.ClearRegions();
  EXPECT_TRUE(m.cpu.Regions().empty());
  EXPECT_EQ(m.cpu.ReadMem(0x1000), 0xFFFFFFFFu);
  m.cpu.CpuWriteMem(0x1000, 2);
  EXPECT_FALSE(m.cpu.memWritten);
  // New regions start from zero; nothing is carried over.
  m.cpu.AddRegion(0x1000, 4, RegionType::RAM);
  EXPECT_EQ(m.cpu.ReadMem(0x1000), 0u);
}

TEST(Bus, PluginRegionWithoutAllEntryPointsIsRefused) {
  Processor cpu;
  PluginEntryPoints partial = FakeModule<1>::Entry();
  partial.Clock = nullptr;
  EXPECT_THROW(cpu.AddRegion(0, 4, RegionType::DLL, partial), std::invalid_argument);
  EXPECT_TRUE(cpu.Regions().empty());
}

// The resident memory of this process in bytes, signed, so that a difference of two readings
// is negative, not a huge number, when memory was given back in between.
int64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  int64_t total = 0, resident = 0;
  statm >> total >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

TEST(Bus, LargeRegionCostsNoMemoryUntilWritten) {
  Processor cpu;
  const int64_t before = ResidentBytes();
  cpu.AddRegion(0, 0x10000000, RegionType::RAM);  // 1 GiB of words
  EXPECT_EQ(cpu.ReadMem(0x0FFFFFFF), 0u);
  EXPECT_EQ(cpu.ReadMem(0x08000000), 0u);
  cpu.WriteMem(0x0ABCDEF0, 1);
  EXPECT_LT(ResidentBytes() - before, int64_t{16} << 20);
}

// A DLL region is added without reading its module's code: on machines with execute-only code
// pages such a read faults. A Clock on a page nothing may read stands for one.
TEST(Bus, AddingAPluginRegionReadsNoneOfItsCode) {
  const long page = sysconf(_SC_PAGESIZE);
  void* code =
      mmap(nullptr, static_cast<size_t>(page), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(code, MAP_FAILED);
  PluginEntryPoints entry = FakeModule<1>::Entry();
  entry.Clock = reinterpret_cast<TervikClockFn>(code);
  {
    Processor cpu;
    cpu.AddRegion(0x100, 4, RegionType::DLL, entry);
    cpu.AddRegion(0x200, 4, RegionType::DLL, entry);
    EXPECT_EQ(cpu.Regions().size(), 2u);
  }
  munmap(code, static_cast<size_t>(page));
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

TEST(Bus, FailedAllocationLeavesTheListAsItWas) {
  if (kAddressSanitizer) GTEST_SKIP() << "an address-space limit breaks the sanitizer's shadow";
  Processor cpu;
  cpu.AddRegion(0, 0x100, RegionType::RAM);
  cpu.WriteMem(7, 7);

  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &old), 0);
  rlimit tight = old;
  tight.rlim_cur = size_t{8} << 30;  // 8 GiB: a 16 GiB region cannot be had
  ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
  EXPECT_THROW(cpu.AddRegion(0x1000, 0xFFFFFFFF, RegionType::RAM), std::bad_alloc);
  setrlimit(RLIMIT_AS, &old);

  ASSERT_EQ(cpu.Regions().size(), 1u);
  EXPECT_EQ(cpu.ReadMem(7), 7u);
  EXPECT_EQ(cpu.ReadMem(0x1000), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace tervik::test

namespace tervik::test {
namespace {

// ZeroMemory against its definition: a loader write of 0 to every word of every ROM and RAM
// region, in region order.
TEST(ZeroMemory, DoesWhatWordByWordWritesDo) {
  struct Layout {
    const char* name;
    std::vector<std::tuple<uint32_t, uint32_t, RegionType>> regions;
  };
  const Layout layouts[] = {
      {"DeviceInsideRam", {{0x10, 4, RegionType::DLL}, {0, 0x40, RegionType::RAM}}},
      {"RomOverRam", {{0, 0x20, RegionType::ROM}, {0x10, 0x20, RegionType::RAM}}},
      {"DeviceAfterRam", {{0, 0x20, RegionType::RAM}, {0x10, 4, RegionType::DLL}}},
      {"ReachesTheTop",
       {{0xFFFFFFF0, 8, RegionType::DLL},
        {0xFFFFFFE0, 0x100, RegionType::RAM},
        {0, 4, RegionType::DLL}}},
      {"TwoRamsOverOneDevice",
       {{0x100, 2, RegionType::DLL}, {0xF0, 0x20, RegionType::RAM}, {0x100, 8, RegionType::ROM}}},
  };
  for (const Layout& layout : layouts) {
    Processor fast, slow;
    for (Processor* p : {&fast, &slow}) {
      for (const auto& [start, size, type] : layout.regions) {
        p->AddRegion(start, size, type,
                     type == RegionType::DLL
                         ? (start == 0 ? FakeModule<7>::Entry() : FakeModule<6>::Entry())
                         : PluginEntryPoints{});
      }
      for (const MemoryRegion& r : p->Regions()) {
        if (r.type != RegionType::DLL) {
          for (uint32_t i = 0; i < r.storage.size(); ++i) r.storage.data()[i] = 0xAB00 + i;
        }
      }
    }
    CallLog().clear();
    fast.ZeroMemory();
    const std::vector<std::string> fastCalls = CallLog();
    CallLog().clear();
    for (const MemoryRegion& r : slow.Regions()) {
      if (r.type == RegionType::DLL) continue;
      for (uint64_t a = r.start; a < uint64_t{r.start} + r.size && a <= 0xFFFFFFFF; ++a) {
        slow.WriteMem(static_cast<uint32_t>(a), 0);
      }
    }
    EXPECT_EQ(fastCalls, CallLog()) << layout.name;
    for (const auto& [start, size, type] : layout.regions) {
      for (uint32_t d = 0; d < size + 2; ++d) {
        const uint32_t a = start + d - 1;
        EXPECT_EQ(fast.ReadMem(a), slow.ReadMem(a)) << layout.name << " " << std::hex << a;
      }
    }
  }
}

TEST(ZeroMemory, GivesBackTheMemoryOfALargeRegion) {
  Processor cpu;
  cpu.AddRegion(0, 0x10000000, RegionType::RAM);
  for (uint32_t a = 0; a < 0x10000000; a += 0x10000) cpu.WriteMem(a + 5, a);  // 4096 pages
  const int64_t written = ResidentBytes();
  cpu.ZeroMemory();
  EXPECT_EQ(cpu.ReadMem(0x10005), 0u);
  EXPECT_EQ(cpu.ReadMem(0x0FFF0005), 0u);
  // The 16 MiB the writes made resident are given back.
  EXPECT_LT(ResidentBytes(), written - (int64_t{12} << 20));
}

}  // namespace
}  // namespace tervik::test
