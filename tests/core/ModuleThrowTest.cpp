// A module entry point that throws in the middle of a batch or a step: the processor must be in
// the state single steps leave after the last instruction that completed, must name the module,
// and must go on exactly as single steps do once the module behaves again.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "TestMachine.h"

namespace tervik::test {
namespace {

using enum Opcode;

constexpr uint32_t kModule = 0x9000;  // the thrower: code at +0 and +1, data at +2

// A module that throws from one of its entry points on that entry point's nth call, after
// logging the call. Its words at +0 and +1 are code, a step and a jump back into RAM.
struct Thrower {
  enum Entry { Clock, ReadMem, CPUWriteMem };
  static inline Entry throwing = Clock;
  static inline int countdown = 0;  // 0: never throws

  static void Call(Entry e, const std::string& what) {
    CallLog().push_back("T " + what);
    if (e == throwing && countdown > 0 && --countdown == 0) throw std::runtime_error("module");
  }
  static int32_t DoInitialize(TervikMessageCallback, const char*) { return 0; }
  static void DoAbout(char* text) { text[0] = '\0'; }
  static uint32_t DoReadMem(uint32_t offset) {
    Call(ReadMem, "Read " + std::to_string(offset));
    if (offset == 0) return Rri(ADDI, 7, 7, 1);
    if (offset == 1) return Rri(JUMPrI, 0, 0, Machine::kRam);
    return 0x5A00u + offset;
  }
  static void DoWriteMem(uint32_t, uint32_t) {}
  static void DoCPUWriteMem(uint32_t offset, uint32_t value) {
    Call(CPUWriteMem, "CPUWrite " + std::to_string(offset) + "=" + std::to_string(value));
  }
  static void DoReset() {}
  static void DoClock() { Call(Clock, "Clock"); }
  static PluginEntryPoints Points() {
    return {&DoAbout, &DoWriteMem, &DoCPUWriteMem, &DoReadMem, &DoInitialize, &DoReset, &DoClock};
  }
};

// A loop in RAM through every kind of access: a load and a store to the thrower, a store and a
// push into RAM, the shift register read, and a jump into the thrower's code, which jumps back.
void Prepare(Machine& m, int modulesBefore, int modulesAfter) {
  for (int i = 0; i < modulesBefore; ++i) {
    m.cpu.AddRegion(0xA000 + 0x10 * i, 4, RegionType::DLL, FakeModule<1>::Entry());
  }
  m.cpu.AddRegion(kModule, 4, RegionType::DLL, Thrower::Points());
  for (int i = 0; i < modulesAfter; ++i) {
    m.cpu.AddRegion(0xB000 + 0x10 * i, 4, RegionType::DLL, FakeModule<2>::Entry());
  }
  m.Load(Machine::kRam,
         {Rri(ADDI, 1, 1, 1), Rri(LOADI, 2, 5, 0), Rri(STOREI, 0, 6, 0x77), Rrr(STORE, 0, 5, 1),
          Rrr(RANDOMIZE, 3, 0, 0), Rrr(PUSH, 0, 0, 1), Rri(ADDI, 6, 6, 1), Rrr(JUMPr, 0, 0, 8)});
  m.cpu.r[5] = kModule + 2;
  m.cpu.r[8] = kModule;
  m.cpu.r[6] = Machine::kRam + 0x100;
  m.cpu.sp = Machine::kRam + 0x200;
  m.cpu.lfsr = 0x80000021u;
}

std::vector<uint32_t> Ram(Processor& cpu) {
  std::vector<uint32_t> words;
  for (uint32_t a = Machine::kRam; a < Machine::kRam + 0x300; ++a) words.push_back(cpu.ReadMem(a));
  return words;
}

TEST(ModuleThrow, StateIsThatOfSingleStepsUpToTheThrowingInstruction) {
  struct Case {
    const char* name;
    Thrower::Entry entry;
    const char* entryName;
    int before, after;  // innocent modules before and after it: 1, 2 and more clocks a step
  } const cases[] = {
      {"Clock alone", Thrower::Clock, "Clock", 0, 0},
      {"Clock, second of two", Thrower::Clock, "Clock", 1, 0},
      {"Clock, first of two", Thrower::Clock, "Clock", 0, 1},
      {"Clock, second of four", Thrower::Clock, "Clock", 1, 2},
      {"ReadMem (loads and fetches)", Thrower::ReadMem, "ReadMem", 0, 0},
      {"ReadMem among three", Thrower::ReadMem, "ReadMem", 1, 1},
      {"CPUWriteMem", Thrower::CPUWriteMem, "CPUWriteMem", 0, 1},
  };
  struct Batch {
    const char* name;
    std::vector<uint32_t> breakpoints;
    std::vector<Processor::Watch> watches;
    Processor::OnStall onStall;
  } const batches[] = {
      {"plain", {}, {}, Processor::OnStall::Continue},
      {"stall stop", {}, {}, Processor::OnStall::Stop},
      {"breakpoint", {Machine::kRam + 0x50}, {}, Processor::OnStall::Continue},
      {"watch", {}, {{0x20, 0x20, true, true}}, Processor::OnStall::Continue},
  };
  for (const Case& c : cases) {
    for (int nth = 1; nth <= 13; nth += 3) {
      // Single steps until the throw, keeping the state before each.
      Machine single;
      Prepare(single, c.before, c.after);
      CallLog().clear();
      Thrower::throwing = c.entry;
      Thrower::countdown = nth;
      CpuState before = single.cpu;
      uint64_t completed = 0;
      bool threw = false;
      for (; completed < 200 && !threw; ++completed) {
        before = single.cpu;
        try {
          single.cpu.Step();
        } catch (const std::runtime_error&) {
          threw = true;
          break;
        }
      }
      ASSERT_TRUE(threw) << c.name << " nth " << nth;
      const std::vector<std::string> calls = CallLog();
      EXPECT_EQ(static_cast<const CpuState&>(single.cpu), before) << c.name << " nth " << nth;

      for (const Batch& b : batches) {
        const std::string where =
            std::string(c.name) + ", " + b.name + ", nth " + std::to_string(nth);
        Machine batch;
        Prepare(batch, c.before, c.after);
        CallLog().clear();
        Thrower::countdown = nth;
        EXPECT_THROW(batch.cpu.RunBatch(1000, b.breakpoints, b.onStall, b.watches),
                     std::runtime_error)
            << where;
        EXPECT_EQ(static_cast<const CpuState&>(batch.cpu), before) << where;
        EXPECT_EQ(Ram(batch.cpu), Ram(single.cpu)) << where;
        EXPECT_EQ(CallLog(), calls) << where;
        ASSERT_TRUE(batch.cpu.LastModuleFault().has_value()) << where;
        EXPECT_EQ(batch.cpu.LastModuleFault()->region, static_cast<size_t>(2 + c.before)) << where;
        EXPECT_STREQ(batch.cpu.LastModuleFault()->entry, c.entryName) << where;
        EXPECT_EQ(batch.cpu.ReadMem(Machine::kRam + 0x50), single.cpu.ReadMem(Machine::kRam + 0x50))
            << where;  // the breakpoint's trap is gone

        // Both go on alike once the module behaves.
        Machine again;  // single steps from the same point
        Prepare(again, c.before, c.after);
        Thrower::countdown = 0;
        for (uint64_t i = 0; i < completed; ++i) again.cpu.Step();
        CallLog().clear();
        EXPECT_EQ(batch.cpu.RunBatch(37, b.breakpoints, b.onStall, b.watches), 37u) << where;
        for (int i = 0; i < 37; ++i) again.cpu.Step();
        EXPECT_EQ(static_cast<const CpuState&>(batch.cpu), static_cast<const CpuState&>(again.cpu))
            << where;
        EXPECT_FALSE(batch.cpu.LastModuleFault().has_value()) << where;
      }
    }
  }
}

}  // namespace
}  // namespace tervik::test
