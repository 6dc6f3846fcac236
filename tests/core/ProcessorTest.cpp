// The processor record: reset, the shift register, the step cycle's order of events, and the
// change markers compared by value.
#include <gtest/gtest.h>

#include "TestMachine.h"

namespace tervik::test {
namespace {

using enum Opcode;

TEST(Reset, ClearsRegistersKeepsMemoryMarkersAndCallsModulesInOrder) {
  Processor cpu;
  cpu.AddRegion(0, 16, RegionType::RAM);
  cpu.AddRegion(0x100, 4, RegionType::DLL, FakeModule<1>::Entry());
  cpu.AddRegion(0x200, 4, RegionType::ROM);
  cpu.AddRegion(0x300, 4, RegionType::DLL, FakeModule<2>::Entry());
  cpu.WriteMem(5, 0x1234);
  cpu.pc = cpu.sr = cpu.im = cpu.sp = cpu.lfsr = 7;
  cpu.r.fill(9);
  cpu.memWritten = true;
  cpu.lastWriteAddress = 5;
  cpu.regChanged[3] = true;
  CallLog().clear();

  cpu.Reset();

  EXPECT_EQ(CallLog(), (std::vector<std::string>{"M1 Reset", "M2 Reset"}));
  EXPECT_EQ(cpu.pc | cpu.sr | cpu.im | cpu.sp | cpu.lfsr, 0u);
  for (uint32_t v : cpu.r) EXPECT_EQ(v, 0u);
  EXPECT_EQ(cpu.ReadMem(5), 0x1234u);
  EXPECT_TRUE(cpu.memWritten);
  EXPECT_EQ(cpu.lastWriteAddress, 5u);
  EXPECT_TRUE(cpu.regChanged[3]);
}

TEST(ShiftRegister, AdvancesWithTheFeedbackTaps) {
  struct Case {
    uint32_t before, after;
  };
  const Case cases[] = {
      {0x80000000, 0x80000063}, {0x00000001, 0x00000002}, {0x80000021, 0x80000021},
      {0x00000000, 0x00000000}, {0xFFFFFFFF, 0x7FFFFF9D}, {0x40000000, 0x80000000},
  };
  for (const Case& c : cases) {
    Processor cpu;
    cpu.lfsr = c.before;
    cpu.AdvanceLfsr();
    EXPECT_EQ(cpu.lfsr, c.after) << std::hex << c.before;
  }
}

TEST(Step, WithoutRegionsOnlyTheShiftRegisterMoves) {
  Processor cpu;
  cpu.pc = 0x42;
  cpu.lfsr = 1;
  cpu.r[4] = 4;
  cpu.Step();
  EXPECT_EQ(cpu.pc, 0x42u);
  EXPECT_EQ(cpu.r[4], 4u);
  EXPECT_EQ(cpu.lfsr, 2u);
  EXPECT_TRUE(cpu.lfsrChanged);
  EXPECT_FALSE(cpu.pcChanged || cpu.srChanged || cpu.spChanged || cpu.imChanged || cpu.memWritten);
  for (bool changed : cpu.regChanged) EXPECT_FALSE(changed);
}

TEST(Step, ClocksEveryModuleInMapOrderBeforeTheFetch) {
  Processor cpu;
  cpu.AddRegion(0x100, 4, RegionType::DLL, FakeModule<1>::Entry());
  cpu.AddRegion(0x200, 4, RegionType::DLL, FakeModule<2>::Entry());
  cpu.SetPC(0x202);
  CallLog().clear();
  cpu.Step();
  // The module's word 0xA2002 decodes as NOP (opcode 0), so pc moves on.
  EXPECT_EQ(CallLog(), (std::vector<std::string>{"M1 Clock", "M2 Clock", "M2 Read 2"}));
  EXPECT_EQ(cpu.pc, 0x203u);
}

TEST(Step, ClocksModulesAlsoWhenTheWordIsNotPerformed) {
  Processor cpu;
  cpu.AddRegion(0x100, 4, RegionType::DLL, FakeModule<1>::Entry());
  cpu.AddRegion(0, 4, RegionType::RAM);
  cpu.WriteMem(0, Op(RETI));
  CallLog().clear();
  cpu.Step();
  cpu.Step();
  EXPECT_EQ(CallLog(), (std::vector<std::string>{"M1 Clock", "M1 Clock"}));
  EXPECT_EQ(cpu.pc, 0u);
}

TEST(Markers, CompareValuesNotWrites) {
  Machine m;
  m.Load(Machine::kRam, {Rrr(ADD, 1, 2, 3), Rrr(ADD, 1, 2, 3), Rri(ORI, 5, 5, 0)});
  m.cpu.r[2] = 0xFFFFFFFF;
  m.cpu.r[3] = 1;

  m.cpu.Step();  // R1 0 -> 0, flags Z and C appear
  EXPECT_FALSE(m.cpu.regChanged[1]);
  EXPECT_TRUE(m.cpu.srChanged);
  EXPECT_TRUE(m.cpu.zChanged);
  EXPECT_TRUE(m.cpu.cChanged);
  EXPECT_FALSE(m.cpu.nChanged);
  EXPECT_FALSE(m.cpu.oChanged);
  EXPECT_TRUE(m.cpu.pcChanged);

  m.cpu.Step();  // the same again: nothing but pc differs
  EXPECT_FALSE(m.cpu.regChanged[1]);
  EXPECT_FALSE(m.cpu.srChanged || m.cpu.zChanged || m.cpu.cChanged);
  EXPECT_TRUE(m.cpu.pcChanged);

  m.cpu.r[5] = 0x80;
  m.cpu.Step();  // R5 unchanged in value, C cleared, Z cleared
  EXPECT_FALSE(m.cpu.regChanged[5]);
  EXPECT_TRUE(m.cpu.cChanged);
  EXPECT_TRUE(m.cpu.zChanged);
}

TEST(Markers, DescribeOnlyTheLastStep) {
  Machine m;
  m.Load(Machine::kRam, {Rri(ADDI, 7, 7, 1), Op(NOP), Rrr(STORE, 0, 2, 3), Op(NOP)});
  m.cpu.r[2] = 0x2000;
  m.cpu.Step();
  EXPECT_TRUE(m.cpu.regChanged[7]);
  m.cpu.Step();
  EXPECT_FALSE(m.cpu.regChanged[7]);
  m.cpu.Step();
  EXPECT_TRUE(m.cpu.memWritten);
  m.cpu.Step();
  EXPECT_FALSE(m.cpu.memWritten);
  EXPECT_EQ(m.cpu.lastWriteAddress, 0x2000u);
}

TEST(Markers, SetPcIsNotAStepChange) {
  Machine m;
  m.Load(Machine::kRam + 5, {Rri(JUMPI, 0, 0, 0)});
  m.cpu.Step();
  EXPECT_FALSE(m.cpu.pcChanged);
  m.cpu.SetPC(Machine::kRam);  // fetches NOP from the fresh RAM
  EXPECT_FALSE(m.cpu.pcChanged);
  m.cpu.Step();
  EXPECT_TRUE(m.cpu.pcChanged);
  EXPECT_EQ(m.cpu.pc, Machine::kRam + 1);
}

TEST(Markers, ShiftRegisterAndStackPointer) {
  Machine m;
  m.Load(Machine::kRam, {Rri(RANDOMSETI, 0, 0, 0x0021), Rrr(PUSH, 0, 0, 0)});
  m.cpu.lfsr = 0x80000021;  // a fixed point of the shift
  m.cpu.sp = 0x3000;
  m.cpu.Step();
  EXPECT_TRUE(m.cpu.lfsrChanged);  // 0x80000021 -> 0x21
  EXPECT_FALSE(m.cpu.spChanged);
  m.cpu.Step();
  EXPECT_TRUE(m.cpu.spChanged);
  EXPECT_TRUE(m.cpu.lfsrChanged);
}

}  // namespace
}  // namespace tervik::test
