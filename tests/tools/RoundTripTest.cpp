// Assembler against disassembler: every disassembly line of an instruction assembles back to a
// word with the same text. Walks every opcode and MOVEI sub-operation with boundary and random
// fields, in the disassembler's exact text and in freer spellings.
#include <gtest/gtest.h>

#include <cctype>
#include <random>

#include "Assembler.h"
#include "Processor.h"

namespace tervik::test {
namespace {

// Assembles one line; on success returns true and the word.
bool AssembleLine(const std::string& text, uint32_t& word) {
  const assembler::Result r = assembler::Assemble(text);
  if (!r.errors.empty() || r.words.size() != 1) return false;
  word = r.words.front().value;
  return true;
}

// The disassembly with blanks instead of the tab, lower case and without the '%' suffix.
std::string LooseSpelling(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '%') continue;
    if (c == '\t') {
      out += "   ";
    } else if (c == ',') {
      out += ", ";
    } else {
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

void ExpectRoundTrip(uint32_t word, size_t& checked) {
  if (!IsDefinedInstruction(word)) return;
  const std::string text = Processor::Disassemble(word);
  for (const std::string& spelling : {text, LooseSpelling(text)}) {
    uint32_t back = 0;
    ASSERT_TRUE(AssembleLine(spelling, back))
        << "word " << std::hex << word << " text '" << spelling << "'";
    ASSERT_EQ(Processor::Disassemble(back), text)
        << "word " << std::hex << word << " assembled to " << back;
  }
  ++checked;
}

TEST(RoundTrip, EveryInstructionWordAssemblesBackToItsText) {
  // Field values at their edges, placed in every field of the word at once.
  const uint32_t fieldPatterns[] = {0x00000000, 0xFFFFFFFF, 0x03FFFFFF, 0x00210001,
                                    0x03E0001F, 0x001F8000, 0x00007FFF, 0x0001FFFE};
  std::mt19937 rng(20240611);
  size_t checked = 0;
  for (uint32_t op = 0; op < 64; ++op) {
    for (uint32_t pattern : fieldPatterns) {
      if (op == static_cast<uint32_t>(Opcode::MOVEI)) {
        for (uint32_t sub = 0; sub < 16; ++sub) {
          ExpectRoundTrip(op << 26 | sub << 17 | (pattern & 0x03E1FFFF), checked);
        }
      } else {
        ExpectRoundTrip(op << 26 | (pattern & 0x03FFFFFF), checked);
      }
    }
    for (int i = 0; i < 300; ++i) ExpectRoundTrip(op << 26 | (rng() & 0x03FFFFFF), checked);
  }
  for (int i = 0; i < 20000; ++i) ExpectRoundTrip(rng(), checked);
  EXPECT_GT(checked, 30000u);  // the walk really reached the instructions
}

// Words the disassembler does not call instructions have no mnemonic to assemble.
TEST(RoundTrip, UndefinedWordsDoNotAssemble) {
  for (uint32_t word : {0xFFFFFFFFu, 0x80000000u, 0xEC460010u, 0xD8000000u}) {
    uint32_t back = 0;
    EXPECT_FALSE(AssembleLine(Processor::Disassemble(word), back)) << std::hex << word;
  }
}

}  // namespace
}  // namespace tervik::test
