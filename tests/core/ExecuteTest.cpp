// Instruction semantics, table-driven: register results with their flags, branches, the stack,
// loads and stores, the shift register, and the words that are not performed.
#include <gtest/gtest.h>

#include <string_view>

#include "TestMachine.h"

namespace tervik::test {
namespace {

constexpr uint32_t N = Processor::kFlagN, Z = Processor::kFlagZ, C = Processor::kFlagC,
                   O = Processor::kFlagO;
constexpr uint32_t kAt = Machine::kRam + 0x100;  // where each case's instruction is placed

// Rd = R1, Ra = R2 holding a, Rb = R3 holding b.
struct RegisterCase {
  std::string_view name;
  uint32_t word;
  uint32_t a, b;
  uint32_t srBefore;
  uint32_t result;
  uint32_t srAfter;
};

class RegisterResult : public testing::TestWithParam<RegisterCase> {};

TEST_P(RegisterResult, WritesRdSetsFlagsAndMovesOn) {
  const RegisterCase& c = GetParam();
  Machine m;
  m.Load(kAt, {c.word});
  m.cpu.r[1] = 0x5A5A5A5A;
  m.cpu.r[2] = c.a;
  m.cpu.r[3] = c.b;
  m.cpu.sr = c.srBefore;
  m.cpu.Step();
  EXPECT_EQ(m.cpu.r[1], c.result) << std::hex << m.cpu.r[1];
  EXPECT_EQ(m.cpu.sr, c.srAfter);
  EXPECT_EQ(m.cpu.pc, kAt + 1);
  EXPECT_EQ(m.cpu.r[2], c.a);  // sources are left alone
  EXPECT_EQ(m.cpu.r[3], c.b);
}

using enum Opcode;

// clang-format off
const RegisterCase kRegisterCases[] = {
    // name                    word                              a            b            sr in  result       sr out
    {"AddWrapsToZero",          Rrr(ADD, 1, 2, 3),                0xFFFFFFFF,  1,           0,     0,           Z | C},
    {"AddSignedOverflow",       Rrr(ADD, 1, 2, 3),                0x7FFF0000,  0x00010000,  0,     0x80000000,  N | O},
    {"AddCarryAndOverflow",     Rrr(ADD, 1, 2, 3),                0x80000000,  0xFFFFFFFF,  0,     0x7FFFFFFF,  C | O},
    {"AddNoFlags",              Rrr(ADD, 1, 2, 3),                0x80000000,  1,           C | O, 0x80000001,  N},
    {"SubBorrow",               Rrr(SUBB, 1, 2, 3),               0,           1,           0,     0xFFFFFFFF,  N | C},
    {"SubPlain",                Rrr(SUBB, 1, 2, 3),               1,           0,           C,     1,           0},
    {"SubSignedOverflow",       Rrr(SUBB, 1, 2, 3),               0x80000000,  1,           0,     0x7FFFFFFF,  O},
    {"SubBorrowAndOverflow",    Rrr(SUBB, 1, 2, 3),               0x7FFFFFFF,  0xFFFFFFFF,  0,     0x80000000,  N | C | O},
    {"SubEqualIsZero",          Rrr(SUBB, 1, 2, 3),               5,           5,           0,     0,           Z},
    {"SubIgnoresIncomingCarry", Rrr(SUBB, 1, 2, 3),               5,           3,           C,     2,           0},
    {"AddiSignExtends",         Rri(ADDI, 1, 2, 0xFFFF),          5,           0,           0,     4,           C},
    {"SubbiSignExtends",        Rri(SUBBI, 1, 2, 0xFFFF),         5,           0,           0,     6,           C},
    {"Or",                      Rrr(OR, 1, 2, 3),                 0xF0F00000,  0x0000000F,  C | O, 0xF0F0000F,  N},
    {"Xor",                     Rrr(XOR, 1, 2, 3),                0xFFFF0000,  0xFFFF0000,  C | O, 0,           Z},
    {"Nor",                     Rrr(NOR, 1, 2, 3),                0,           0,           0,     0xFFFFFFFF,  N},
    {"And",                     Rrr(AND, 1, 2, 3),                0x0F0F,      0x00FF,      O,     0x000F,      0},
    {"NotClearsCarry",          Rrr(NOT, 1, 31, 3),               0,           0xFFFFFFFF,  C,     0,           Z},
    {"OriSignExtends",          Rri(ORI, 1, 2, 0x8000),           0,           0,           0,     0xFFFF8000,  N},
    {"XoriSignExtends",         Rri(XORI, 1, 2, 0xFFFF),          0x0000FFFF,  0,           0,     0xFFFF0000,  N},
    {"Nori",                    Rri(NORI, 1, 2, 0x00F0),          0x0000000F,  0,           C,     0xFFFFFF00,  N},
    {"AndiMasksUpperHalfToo",   Rri(ANDI, 1, 2, 0xFF00),          0x12345678,  0,           0,     0x12345600,  0},
    {"NotiKeepsCarry",          Rri(NOTI, 1, 0, 0x0000),          0,           0,           C | O, 0xFFFFFFFF,  N | C},
    {"NotiZeroKeepsCarry",      Rri(NOTI, 1, 0, 0xFFFF),          0,           0,           C,     0,           Z | C},
    {"RorByOne",                Rrr(ROR, 1, 2, 3),                1,           1,           0,     0x80000000,  N},
    {"RorByFour",               Rrr(ROR, 1, 2, 3),                0x12345678,  4,           0,     0x81234567,  N},
    {"RorCountIsLowThreeBits",  Rrr(ROR, 1, 2, 3),                0x12345678,  12,          0,     0x81234567,  N},
    {"RorByEightIsNoRotation",  Rrr(ROR, 1, 2, 3),                0x12345678,  8,           C,     0x12345678,  0},
    {"RoriByFour",              Rri(RORI, 1, 2, 0x0004),          0x12345678,  0,           0,     0x81234567,  N},
    {"SllByEightShiftsNothing", Rrr(SLL, 1, 2, 3),                0x80000000,  8,           C | O, 0x80000000,  N},
    {"SllByNineShiftsOne",      Rrr(SLL, 1, 2, 3),                0x40000001,  9,           0,     0x80000002,  N},
    {"SllOutToZero",            Rri(SLLI, 1, 2, 0x0001),          0x80000000,  0,           0,     0,           Z},
    {"SraCopiesSign",           Rrr(SRA, 1, 2, 3),                0x80000000,  7,           0,     0xFF000000,  N},
    {"SrlFillsZero",            Rrr(SRL, 1, 2, 3),                0x80000000,  7,           0,     0x01000000,  0},
    {"SraiCopiesSign",          Rri(SRAI, 1, 2, 0x000F),          0x80000000,  0,           0,     0xFF000000,  N},
    {"SrliFillsZero",           Rri(SRLI, 1, 2, 0x0007),          0x80000000,  0,           0,     0x01000000,  0},
    {"BitsetUsesFiveBits",      Rrr(BITSET, 1, 2, 3),             0,           33,          C,     2,           0},
    {"BitclearLeavesFlags",     Rrr(BITCLEAR, 1, 2, 3),           2,           1,           N | C, 0,           N | C},
    {"BitsetiBitField",         Rri(BITSETI, 1, 2, 0x0025),       1,           0,           0,     0x21,        0},
    {"BitclearSetsZ",           Rri(BITCLEARI, 1, 2, 0x0001),     2,           0,           C,     0,           Z},
    {"MoveIsLogic",             Rrr(MOVE, 1, 31, 3),              0,           0x80000000,  C | O, 0x80000000,  N},
    {"MovelSignExtends",        Movei(MoveiSub::MOVEL, 1, 0x8000), 0,          0,           C,     0xFFFF8000,  N},
    {"MovelZero",               Movei(MoveiSub::MOVEL, 1, 0),     0,           0,           0,     0,           Z},
    {"MovehReplacesWhole",      Movei(MoveiSub::MOVEH, 1, 0x1234), 0,          0,           C,     0x12340000,  0},
    {"MovehNegative",           Movei(MoveiSub::MOVEH, 1, 0x8000), 0,          0,           0,     0x80000000,  N},
    {"MvnzcouAllFlags",         Movei(MoveiSub::MVNZCOU, 1, 0),   0,           0,           0xF,   0xF,         0},
    {"MvnzcouNoFlags",          Movei(MoveiSub::MVNZCOU, 1, 0),   0,           0,           0,     0,           Z},
    {"MvnzcouCarryOnly",        Movei(MoveiSub::MVNZCOU, 1, 0),   0,           0,           C | O, C | O,       Z},
    {"MvnzcouNegative",         Movei(MoveiSub::MVNZCOU, 1, 0),   0,           0,           N | C, N | C,       0},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Execute, RegisterResult, testing::ValuesIn(kRegisterCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Ra = R2 holding a, Rb = R3 holding b; the instruction sits at `at`.
struct BranchCase {
  std::string_view name;
  uint32_t word;
  uint32_t a, b;
  uint32_t at;
  uint32_t target;
};

class Branch : public testing::TestWithParam<BranchCase> {};

TEST_P(Branch, MovesPcAndNothingElse) {
  const BranchCase& c = GetParam();
  Machine m;
  m.Load(c.at, {c.word});
  m.cpu.r[2] = c.a;
  m.cpu.r[3] = c.b;
  m.cpu.sr = Z | O;
  m.cpu.Step();
  EXPECT_EQ(m.cpu.pc, c.target) << std::hex << m.cpu.pc;
  EXPECT_EQ(m.cpu.sr, Z | O);
  EXPECT_EQ(m.cpu.sp, 0u);
  for (bool changed : m.cpu.regChanged) EXPECT_FALSE(changed);
}

constexpr uint32_t kAt2 = Machine::kRam + 100;

// clang-format off
const BranchCase kBranchCases[] = {
    {"BzeTaken",            Rrr(BZE, 0, 2, 3),       0,          5,          kAt2, kAt2 + 5},
    {"BzeNotTaken",         Rrr(BZE, 0, 2, 3),       1,          5,          kAt2, kAt2 + 1},
    {"BzeBackwards",        Rrr(BZE, 0, 2, 3),       0,          0xFFFFFFFE, kAt2, kAt2 - 2},
    {"BnzeTaken",           Rrr(BNZE, 0, 2, 3),      7,          3,          kAt2, kAt2 + 3},
    {"BnzeNotTaken",        Rrr(BNZE, 0, 2, 3),      0,          3,          kAt2, kAt2 + 1},
    {"BneTestsSignBit",     Rrr(BNE, 0, 2, 3),       0x80000000, 4,          kAt2, kAt2 + 4},
    {"BnePositiveFalls",    Rrr(BNE, 0, 2, 3),       5,          4,          kAt2, kAt2 + 1},
    {"JumpRelative",        Rrr(JUMP, 0, 2, 3),      0,          0xFFFFFFFF, kAt2, kAt2 - 1},
    {"BrzeAbsolute",        Rrr(BrZE, 0, 2, 3),      0,          0x1234,     kAt2, 0x1234},
    {"BrzeNotTaken",        Rrr(BrZE, 0, 2, 3),      9,          0x1234,     kAt2, kAt2 + 1},
    {"BrnzeAbsolute",       Rrr(BrNZE, 0, 2, 3),     1,          0x2000,     kAt2, 0x2000},
    {"BrneAbsolute",        Rrr(BrNE, 0, 2, 3),      0xFFFFFFFF, 0x2000,     kAt2, 0x2000},
    {"BrneNotTaken",        Rrr(BrNE, 0, 2, 3),      0x7FFFFFFF, 0x2000,     kAt2, kAt2 + 1},
    {"JumprAbsolute",       Rrr(JUMPr, 0, 2, 3),     0,          0xFFFFFFFF, kAt2, 0xFFFFFFFF},
    {"BzeiBackTwo",         Rri(BZEI, 0, 2, 0xFFFE), 0,          0,          kAt2, kAt2 - 2},
    {"BzeiNotTaken",        Rri(BZEI, 0, 2, 0xFFFE), 3,          0,          kAt2, kAt2 + 1},
    {"BnzeiTaken",          Rri(BNZEI, 0, 2, 0x0010), 3,         0,          kAt2, kAt2 + 16},
    {"BneiTaken",           Rri(BNEI, 0, 2, 0x0002), 0x80000000, 0,          kAt2, kAt2 + 2},
    {"JumpiZeroStays",      Rri(JUMPI, 0, 0, 0x0000), 0,         0,          kAt2, kAt2},
    {"JumpiOneIsNext",      Rri(JUMPI, 0, 0, 0x0001), 0,         0,          kAt2, kAt2 + 1},
    {"BrzeiSignExtends",    Rri(BrZEI, 0, 2, 0xFFFE), 0,         0,          kAt2, 0xFFFFFFFE},
    {"BrnzeiTaken",         Rri(BrNZEI, 0, 2, 0x7FFF), 1,        0,          kAt2, 0x7FFF},
    {"JumpriAbsolute",      Rri(JUMPrI, 0, 0, 0x0042), 0,        0,          kAt2, 0x42},
    {"BrneiTaken",          Rri(BrNEI, 0, 2, 0x0300), 0x80000001, 0,         kAt2, 0x300},
    {"RelativeWrapsAtZero", Rri(JUMPI, 0, 0, 0xFFFE), 0,         0,          1,    0xFFFFFFFF},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Execute, Branch, testing::ValuesIn(kBranchCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Stack, CallWritesReturnAddressAndRetComesBack) {
  Machine m;
  m.Load(10, {Rrr(CALL, 0, 0, 4)});
  m.cpu.r[4] = 0x1200;
  m.cpu.sp = 0x2000;
  m.cpu.Step();
  EXPECT_EQ(m.cpu.pc, 0x1200u);
  EXPECT_EQ(m.cpu.sp, 0x2001u);
  EXPECT_EQ(m.cpu.ReadMem(0x2000), 11u);
  EXPECT_TRUE(m.cpu.memWritten);
  EXPECT_EQ(m.cpu.lastWriteAddress, 0x2000u);

  m.cpu.WriteMem(0x1200, Op(RET));
  m.cpu.Step();
  EXPECT_EQ(m.cpu.pc, 11u);
  EXPECT_EQ(m.cpu.sp, 0x2000u);
  EXPECT_FALSE(m.cpu.memWritten);
}

TEST(Stack, PushAndPopMoveSpBothWays) {
  Machine m;
  m.Load(Machine::kRam,
         {Rrr(PUSH, 0, 0, 5), Rri(PUSHI, 0, 0, 0xFFFF), Rrr(POP, 6, 0, 0), Rrr(POP, 7, 0, 0)});
  m.cpu.r[5] = 0xCAFE;
  m.cpu.sp = 0x3000;
  for (int i = 0; i < 4; ++i) m.cpu.Step();
  EXPECT_EQ(m.cpu.r[6], 0xFFFFFFFFu);  // PUSHI sign-extends
  EXPECT_EQ(m.cpu.r[7], 0xCAFEu);
  EXPECT_EQ(m.cpu.sp, 0x3000u);
}

TEST(Stack, PopAtZeroWrapsAndReadsUnmapped) {
  Machine m;
  m.Load(Machine::kRam, {Rrr(POP, 6, 0, 0)});
  m.cpu.Step();
  EXPECT_EQ(m.cpu.sp, 0xFFFFFFFFu);
  EXPECT_EQ(m.cpu.r[6], 0xFFFFFFFFu);
}

TEST(Stack, PushIntoRomLosesTheWordButMovesSp) {
  Machine m;
  m.cpu.WriteMem(0x20, 0x1111);
  m.Load(Machine::kRam, {Rrr(PUSH, 0, 0, 5)});
  m.cpu.r[5] = 0x2222;
  m.cpu.sp = 0x20;
  m.cpu.Step();
  EXPECT_EQ(m.cpu.sp, 0x21u);
  EXPECT_EQ(m.cpu.ReadMem(0x20), 0x1111u);
  EXPECT_FALSE(m.cpu.memWritten);
}

TEST(StackPointer, MoveiFormsSetSpAndImWithLogicFlags) {
  Machine m;
  m.Load(Machine::kRam, {Movei(MoveiSub::MVSPL, 9, 0x8000), Movei(MoveiSub::MVSPH, 0, 0x0001),
                         Movei(MoveiSub::SETMASK, 0, 0x00FF)});
  m.cpu.sr = C | O;
  m.cpu.Step();
  EXPECT_EQ(m.cpu.sp, 0xFFFF8000u);
  EXPECT_EQ(m.cpu.sr, N);
  EXPECT_EQ(m.cpu.r[9], 0u);
  m.cpu.Step();
  EXPECT_EQ(m.cpu.sp, 0x00010000u);
  EXPECT_EQ(m.cpu.sr, 0u);
  m.cpu.Step();
  EXPECT_EQ(m.cpu.im, 0xFFu);
  EXPECT_TRUE(m.cpu.imChanged);
}

TEST(Memory, LoadsAddBaseAndOffset) {
  Machine m;
  m.cpu.WriteMem(0x1500, 0x600D);
  m.cpu.WriteMem(0x14FF, 0xBAD);
  m.Load(Machine::kRam, {Rrr(LOAD, 1, 2, 3), Rri(LOADI, 4, 2, 0xFFFF), Rri(LOADI, 5, 0, 0x0800)});
  m.cpu.r[2] = 0x1500 - 0x20;
  m.cpu.r[3] = 0x20;
  m.cpu.Step();
  EXPECT_EQ(m.cpu.r[1], 0x600Du);
  m.cpu.r[2] = 0x1500;
  m.cpu.Step();
  EXPECT_EQ(m.cpu.r[4], 0xBADu);
  m.cpu.r[0] = 0;
  m.cpu.Step();
  EXPECT_EQ(m.cpu.r[5], 0xFFFFFFFFu);  // 0x800 lies in the gap between ROM and RAM
}

TEST(Memory, StoresGoToRamOnlyAndMarkTheAddress) {
  Machine m;
  m.Load(Machine::kRam, {Rrr(STORE, 31, 2, 3), Rri(STOREI, 0, 2, 0xFFFE), Rrr(STORE, 0, 4, 3)});
  m.cpu.r[2] = 0x4E25;  // 20005
  m.cpu.r[3] = 77;
  m.cpu.r[4] = 0x10;  // ROM
  m.cpu.Step();
  EXPECT_EQ(m.cpu.ReadMem(0x4E25), 77u);
  EXPECT_TRUE(m.cpu.memWritten);
  EXPECT_EQ(m.cpu.lastWriteAddress, 0x4E25u);
  EXPECT_FALSE(m.cpu.regChanged[31]);  // Rd of STORE is not a destination
  m.cpu.Step();
  EXPECT_EQ(m.cpu.ReadMem(0x4E25), 0xFFFFFFFEu);
  m.cpu.Step();
  EXPECT_EQ(m.cpu.ReadMem(0x10), 0u);
  EXPECT_FALSE(m.cpu.memWritten);
  EXPECT_EQ(m.cpu.lastWriteAddress, 0x4E25u);  // kept from the earlier store
}

TEST(ShiftRegister, RandomizeSeesTheValueAdvancedInItsOwnStep) {
  Machine m;
  m.Load(Machine::kRam, {Rrr(RANDOMSET, 0, 0, 1), Rrr(RANDOMIZE, 2, 0, 0),
                         Rri(RANDOMSETI, 0, 0, 0x8000), Rrr(RANDOMIZE, 3, 0, 0)});
  m.cpu.r[1] = 1;
  m.cpu.Step();
  EXPECT_EQ(m.cpu.lfsr, 1u);
  m.cpu.Step();
  EXPECT_EQ(m.cpu.r[2], 2u);
  m.cpu.Step();
  EXPECT_EQ(m.cpu.lfsr, 0xFFFF8000u);
  m.cpu.Step();
  // 0xFFFF8000 shifted left is 0xFFFF0000; bit 31 was set, so XOR 0x80000063.
  EXPECT_EQ(m.cpu.r[3], 0x7FFF0063u);
  EXPECT_EQ(m.cpu.sr, 0u);
}

TEST(NotPerformed, UndefinedWordsAndRetiChangeNothingStepAfterStep) {
  const uint32_t words[] = {0x80000000u,
                            Op(Undefined53) | 0x3FFFFFF,
                            Op(Undefined54),
                            Op(Undefined56),
                            Op(Undefined58),
                            0xFFFFFFFFu,
                            Op(RETI) | 0x03FFFFFF,
                            Movei(MoveiSub::Invalid3, 1, 1),
                            Movei(MoveiSub::Invalid15, 31, 0xFFFF)};
  for (uint32_t w : words) {
    Machine m;
    m.Load(Machine::kRam, {w});
    for (unsigned i = 0; i < 32; ++i) m.cpu.r[i] = i * 0x01010101u;
    m.cpu.sr = N | C;
    m.cpu.sp = 0x2000;
    m.cpu.im = 3;
    const CpuState before = m.cpu;
    for (int step = 0; step < 3; ++step) {
      m.cpu.Step();
      EXPECT_EQ(m.cpu.pc, before.pc) << std::hex << w;
      EXPECT_EQ(m.cpu.sr, before.sr) << std::hex << w;
      EXPECT_EQ(m.cpu.sp, before.sp) << std::hex << w;
      EXPECT_EQ(m.cpu.im, before.im) << std::hex << w;
      EXPECT_EQ(m.cpu.r, before.r) << std::hex << w;
      EXPECT_FALSE(m.cpu.pcChanged || m.cpu.srChanged || m.cpu.memWritten) << std::hex << w;
    }
  }
}

}  // namespace
}  // namespace tervik::test
