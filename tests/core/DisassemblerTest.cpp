// The disassembler's texts, and its agreement with the processor about which words are
// instructions at all.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string_view>

#include "TestMachine.h"

namespace tervik::test {
namespace {

using enum Opcode;

struct TextCase {
  uint32_t word;
  std::string_view text;
};

// clang-format off
const TextCase kTextCases[] = {
    {0x00000000, "NOP\t"},
    {0xFFFFFFFF, "???\tFFFFFFFF"},
    {0x80000000, "???\t80000000"},
    {0x14220003, "ADD\tR1,R2,R3"},
    {0x50A30009, "STORE\tR3,R9"},
    {0xB004FFFF, "BZEI\tR4,H#FFFF%"},
    {0x9463FFFE, "ADDI\tR3,R3,H#FFFE"},
    {0xECF01234, "MOVEH\tR7,H#1234%"},
    {0xEC701234, "MOVEH\tR3,H#1234%"},
    {0xEC0200FF, "SETMASK\tH#FF%"},
    {0xEC460010, "Invalid MOVEI EC460010"},
    {0xF0210025, "BITSETI\tR1,R1,H#5%"},
    {0xF7FFFFFF, "BITCLEARI\tR31,R31,H#1F%"},
    {Rri(ORI, 0, 0, 0), "ORI\tR0,R0,H#0"},
    {Rri(NOTI, 2, 9, 0x00A0), "NOTI\tR2,H#A0"},
    {Rri(STOREI, 4, 5, 0x0100), "STOREI\tR5,H#100"},
    {Rrr(NOT, 1, 2, 3), "NOT\tR1,R3"},
    {Rrr(MOVE, 1, 2, 3) | 0xFFE0, "MOVE\tR1,R3"},
    {Rrr(POP, 30, 2, 3), "POP\tR30"},
    {Rrr(PUSH, 30, 2, 3), "PUSH\tR3"},
    {Rrr(RET, 30, 2, 3), "RET\t"},
    {Rrr(RETI, 0, 0, 0), "RETI\t"},
    {Rri(JUMPI, 31, 31, 0x8000), "JUMPI\tH#8000%"},
    {Rri(JUMPrI, 0, 0, 0x0001), "JUMPrI\tH#1%"},
    {Rri(RANDOMSETI, 0, 0, 0xBEEF), "RANDOMSETI\tH#BEEF%"},
    {Rri(PUSHI, 0, 0, 0x0000), "PUSHI\tH#0%"},
    {Rri(BrNEI, 1, 2, 0x0003), "BrNEI\tR2,H#3%"},
    {Movei(MoveiSub::MVNZCOU, 12, 0xFFFF), "MVNZCOU\tR12"},
    {Movei(MoveiSub::MVSPH, 12, 0x0010) | 1u << 16, "MVSPH\tH#10%"},
    {Movei(MoveiSub::MOVEL, 12, 0xFFFF), "MOVEL\tR12,H#FFFF%"},
};
// clang-format on

TEST(Disassemble, WorkedExamples) {
  for (const TextCase& c : kTextCases) {
    EXPECT_EQ(Processor::Disassemble(c.word), c.text) << std::hex << c.word;
  }
}

TEST(Disassemble, LongestTextFitsAndShortBuffersAreCut) {
  char big[256];
  EXPECT_EQ(Processor::Disassemble(0xF7FFFFFF, big), 23u);
  EXPECT_LT(23u, Processor::kDisassemblyMax);
  char small[6];
  EXPECT_EQ(Processor::Disassemble(0x14220003, small), 5u);
  EXPECT_STREQ(small, "ADD\tR");
}

// Every opcode and every MOVEI sub-operation, with two sets of fields each.
std::string AllOpcodesText() {
  std::ostringstream out;
  char buf[64];
  for (uint32_t op = 0; op < 64; ++op) {
    const uint32_t samples[] = {op << 26 | 0x03E1F81Fu, op << 26 | 0x00A2C0A5u};
    if (op == static_cast<uint32_t>(MOVEI)) {
      for (uint32_t sub = 0; sub < 16; ++sub) {
        for (uint32_t w : samples) {
          const uint32_t word = (w & ~(15u << 17)) | sub << 17;
          std::snprintf(buf, sizeof buf, "%08X\t", word);
          out << buf << Processor::Disassemble(word) << '\n';
        }
      }
      continue;
    }
    for (uint32_t w : samples) {
      std::snprintf(buf, sizeof buf, "%08X\t", w);
      out << buf << Processor::Disassemble(w) << '\n';
    }
  }
  return out.str();
}

TEST(Disassemble, EveryOpcodeMatchesTheGoldenFile) {
  const std::string path = std::string(TERVIK_GOLDEN_DIR) + "/disassembly.txt";
  const std::string actual = AllOpcodesText();
  if (std::getenv("TERVIK_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(path, std::ios::binary) << actual;
    GTEST_SKIP() << "rewrote " << path;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "missing " << path;
  std::stringstream expected;
  expected << in.rdbuf();
  EXPECT_EQ(actual, expected.str());
}

// A word the disassembler calls "???" or "Invalid MOVEI" is exactly a word the processor does
// not perform: it changes nothing, not even pc. Every other word, except RETI, is performed.
TEST(Disassemble, AgreesWithTheProcessorAboutWhatIsAnInstruction) {
  std::mt19937 rng(2024);
  int performed = 0, skipped = 0;
  for (uint32_t op = 0; op < 64; ++op) {
    for (uint32_t sub = 0; sub < 16; ++sub) {
      for (int trial = 0; trial < 4; ++trial) {
        uint32_t word = op << 26 | (rng() & 0x03FFFFFFu);
        if (op == static_cast<uint32_t>(MOVEI)) word = (word & ~(15u << 17)) | sub << 17;
        if ((word & 0xFFFF) == 0) word |= 0x40;  // keep relative branches off their own address

        Machine m;
        m.Load(0x8800, {word});  // no sign-extended immediate can name this address
        for (unsigned i = 0; i < 32; ++i) m.cpu.r[i] = 0x1100 + 0x40 * i;  // nonzero, not pc
        m.cpu.sp = 0x5000;
        m.cpu.lfsr = 0;  // stays 0 unless the instruction sets it
        const CpuState before = m.cpu;
        m.cpu.Step();

        const bool changed = m.cpu.pc != before.pc || m.cpu.sr != before.sr ||
                             m.cpu.im != before.im || m.cpu.sp != before.sp ||
                             m.cpu.lfsr != before.lfsr || m.cpu.r != before.r || m.cpu.memWritten;
        const std::string text = Processor::Disassemble(word);
        const bool unknown = text.starts_with("???") || text.starts_with("Invalid MOVEI");
        EXPECT_EQ(unknown, !IsDefinedInstruction(word)) << text;
        if (unknown || static_cast<Opcode>(op) == RETI) {
          EXPECT_FALSE(changed) << std::hex << word << " " << text;
          ++skipped;
        } else {
          EXPECT_TRUE(changed) << std::hex << word << " " << text;
          ++performed;
        }
      }
    }
  }
  EXPECT_GT(performed, 0);
  EXPECT_GT(skipped, 0);
}

}  // namespace
}  // namespace tervik::test
