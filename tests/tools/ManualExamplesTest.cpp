// The manual's instruction examples, checked against the assembler, the disassembler and the
// processor, so that the manual cannot drift from them. Every "| Example |" row of
// docs/manual/03-instructions.md reads
//
//   `WORD` = `TEXT`. With R2 = 0x10 and R3 = 1 at address 100: R1 = 0x11, N = 0, continues at 101.
//
// and is checked thus: TEXT assembles to WORD, WORD disassembles to TEXT, WORD has the bits the
// instruction's Encoding row gives as 0 and 1, and every sentence that starts with "With" or
// "At address" holds when WORD is executed once from the state it names (everything else 0),
// also with any one of the bits the Encoding row marks `-` (ignored) flipped. Other sentences
// are remarks. Names: R0..R31, pc, sr, sp, im, lfsr, the flags N, Z, C, O and memory[ADDRESS];
// "continues at X" means pc = X afterwards. A parenthesis is a remark.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Assembler.h"
#include "Processor.h"

namespace {

struct Example {
  std::string heading;  // "### ADD — Add"
  std::string encoding;
  std::string row;
};

std::string Trim(std::string s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t.");
  return s.substr(first, last - first + 1);
}

std::vector<Example> ReadExamples() {
  std::ifstream in(std::string(TERVIK_SOURCE_DIR) + "/docs/manual/03-instructions.md");
  std::vector<Example> examples;
  std::string line, heading, encoding;
  while (std::getline(in, line)) {
    if (line.rfind("### ", 0) == 0) {
      heading = line;
      encoding.clear();
    } else if (line.rfind("| Encoding |", 0) == 0) {
      const auto open = line.find('`');
      const auto close = line.find('`', open + 1);
      encoding = line.substr(open + 1, close - open - 1);
    } else if (line.rfind("| Example |", 0) == 0) {
      std::string row = line.substr(11);
      if (!row.empty() && row.back() == '|') row.pop_back();
      examples.push_back({heading, encoding, Trim(row)});
    }
  }
  return examples;
}

// Splits at ", " and " and ".
std::vector<std::string> Items(const std::string& text) {
  std::vector<std::string> items;
  std::string rest = text;
  size_t at = 0;
  while (true) {
    const size_t comma = rest.find(", ", at);
    const size_t and_ = rest.find(" and ", at);
    const size_t cut = std::min(comma, and_);
    if (cut == std::string::npos) break;
    items.push_back(Trim(rest.substr(0, cut)));
    rest = rest.substr(cut + (cut == comma ? 2 : 5));
  }
  items.push_back(Trim(rest));
  return items;
}

bool ParseNumber(const std::string& text, uint32_t& value) {
  if (text.empty()) return false;
  try {
    size_t used = 0;
    const bool hex = text.rfind("0x", 0) == 0;
    const unsigned long long v = std::stoull(hex ? text.substr(2) : text, &used, hex ? 16 : 10);
    if (used != (hex ? text.size() - 2 : text.size()) || v > 0xFFFFFFFFull) return false;
    value = static_cast<uint32_t>(v);
    return true;
  } catch (...) {
    return false;
  }
}

// One name of the state: what it reads or writes.
struct Place {
  enum Kind { Reg, Pc, Sr, Sp, Im, Lfsr, Flag, Memory } kind;
  unsigned index = 0;  // register number, flag bit, or memory address
};

bool ParsePlace(const std::string& name, Place& place) {
  if (name.size() >= 2 && name[0] == 'R' && isdigit(static_cast<unsigned char>(name[1]))) {
    uint32_t n = 0;
    if (!ParseNumber(name.substr(1), n) || n > 31) return false;
    place = {Place::Reg, n};
    return true;
  }
  if (name == "pc") return place = {Place::Pc}, true;
  if (name == "sr") return place = {Place::Sr}, true;
  if (name == "sp") return place = {Place::Sp}, true;
  if (name == "im") return place = {Place::Im}, true;
  if (name == "lfsr") return place = {Place::Lfsr}, true;
  if (name == "N") return place = {Place::Flag, 0}, true;
  if (name == "Z") return place = {Place::Flag, 1}, true;
  if (name == "C") return place = {Place::Flag, 2}, true;
  if (name == "O") return place = {Place::Flag, 3}, true;
  if (name.rfind("memory[", 0) == 0 && name.back() == ']') {
    uint32_t a = 0;
    if (!ParseNumber(name.substr(7, name.size() - 8), a)) return false;
    place = {Place::Memory, a};
    return true;
  }
  return false;
}

uint32_t Get(tervik::Processor& cpu, const Place& p) {
  switch (p.kind) {
    case Place::Reg: return cpu.r[p.index];
    case Place::Pc: return cpu.pc;
    case Place::Sr: return cpu.sr;
    case Place::Sp: return cpu.sp;
    case Place::Im: return cpu.im;
    case Place::Lfsr: return cpu.lfsr;
    case Place::Flag: return (cpu.sr >> p.index) & 1;
    case Place::Memory: return cpu.ReadMem(p.index);
  }
  return 0;
}

void Set(tervik::Processor& cpu, const Place& p, uint32_t v) {
  switch (p.kind) {
    case Place::Reg: cpu.r[p.index] = v; break;
    case Place::Pc: cpu.pc = v; break;
    case Place::Sr: cpu.sr = v; break;
    case Place::Sp: cpu.sp = v; break;
    case Place::Im: cpu.im = v; break;
    case Place::Lfsr: cpu.lfsr = v; break;
    case Place::Flag: cpu.sr = (cpu.sr & ~(1u << p.index)) | ((v & 1) << p.index); break;
    case Place::Memory: cpu.WriteMem(p.index, v); break;
  }
}

struct Assignment {
  Place place;
  uint32_t value;
};

// A checked sentence: the state before, the address of the instruction, the state after.
struct Case {
  std::string text;
  uint32_t address = 0;
  std::vector<Assignment> before, after;
};

bool ParseAssignment(const std::string& item, Assignment& a) {
  const auto eq = item.find(" = ");
  if (eq == std::string::npos) return false;
  return ParsePlace(Trim(item.substr(0, eq)), a.place) &&
         ParseNumber(Trim(item.substr(eq + 3)), a.value);
}

// Parses one sentence; false with `error` when it starts like a check but cannot be read.
bool ParseCase(std::string sentence, Case& c, bool& isCase, std::string& error) {
  c.text = sentence;
  isCase = false;
  // Parentheses are remarks.
  for (size_t open; (open = sentence.find(" (")) != std::string::npos;) {
    const size_t close = sentence.find(')', open);
    if (close == std::string::npos) break;
    sentence.erase(open, close - open + 1);
  }
  std::string given;
  if (sentence.rfind("With ", 0) == 0) {
    given = sentence.substr(5);
  } else if (sentence.rfind("At address ", 0) == 0) {
    given = "at address " + sentence.substr(11);
    if (given.find(" with ") != std::string::npos) {
      // "At address 10 with sp = 20000: ..." -> "sp = 20000 at address 10: ..."
      const size_t with = given.find(" with ");
      const size_t colon = given.find(':');
      given = given.substr(with + 6, colon - with - 6) + " " + given.substr(0, with) +
              given.substr(colon);
    }
  } else {
    return true;  // a remark
  }
  isCase = true;
  const size_t colon = given.find(':');
  if (colon == std::string::npos) return error = "no ':' in \"" + c.text + "\"", false;
  std::string state = Trim(given.substr(0, colon));
  const std::string result = Trim(given.substr(colon + 1));
  const size_t at = state.find("at address ");
  if (at != std::string::npos) {
    if (!ParseNumber(Trim(state.substr(at + 11)), c.address)) {
      return error = "bad address in \"" + c.text + "\"", false;
    }
    state = Trim(state.substr(0, at));
  }
  if (!state.empty()) {
    for (const std::string& item : Items(state)) {
      Assignment a{};
      if (!ParseAssignment(item, a)) return error = "cannot read '" + item + "'", false;
      c.before.push_back(a);
    }
  }
  for (const std::string& item : Items(result)) {
    Assignment a{};
    if (item.rfind("continues at ", 0) == 0) {
      a.place = {Place::Pc};
      if (!ParseNumber(Trim(item.substr(13)), a.value)) {
        return error = "cannot read '" + item + "'", false;
      }
    } else if (!ParseAssignment(item, a)) {
      return error = "cannot read '" + item + "' in \"" + c.text + "\"", false;
    }
    c.after.push_back(a);
  }
  return true;
}

// Runs `word` once from the case's state; empty when every result holds, else what differs.
std::string RunCase(uint32_t word, const Case& c) {
  tervik::Processor cpu;
  // RAM everywhere the examples reach; zero-filled without cost until written.
  cpu.AddRegion(0, 0x40000, tervik::RegionType::RAM);
  for (const Assignment& a : c.before) Set(cpu, a.place, a.value);
  cpu.WriteMem(c.address, word);
  cpu.pc = c.address;
  cpu.Step();
  std::string differ;
  for (const Assignment& a : c.after) {
    const uint32_t got = Get(cpu, a.place);
    if (got != a.value) {
      std::ostringstream s;
      s << std::hex << "expected " << a.value << ", got " << got << "; ";
      differ += s.str();
    }
  }
  return differ;
}

std::string Normalize(std::string s) {
  for (char& ch : s) {
    if (ch == '\t') ch = ' ';
  }
  std::string out;
  for (char ch : s) {
    if (ch == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += ch;
  }
  return Trim(out);
}

TEST(ManualExamples, EveryInstructionHasACheckedExample) {
  const std::vector<Example> examples = ReadExamples();
  ASSERT_GE(examples.size(), 63u) << "every mnemonic has an example";
  for (const Example& ex : examples) {
    SCOPED_TRACE(ex.heading);
    // `WORD` = `TEXT`.
    ASSERT_EQ(ex.row.rfind("`", 0), 0u) << ex.row;
    const size_t wordEnd = ex.row.find('`', 1);
    const std::string hex = ex.row.substr(1, wordEnd - 1);
    const size_t textStart = ex.row.find("= `", wordEnd);
    ASSERT_NE(textStart, std::string::npos) << ex.row;
    const size_t textEnd = ex.row.find('`', textStart + 3);
    const std::string text = ex.row.substr(textStart + 3, textEnd - textStart - 3);
    uint32_t word = 0;
    ASSERT_TRUE(ParseNumber("0x" + hex, word)) << hex;

    const tervik::assembler::Result assembled = tervik::assembler::Assemble(text + "\n");
    ASSERT_TRUE(assembled.errors.empty()) << text << ": " << assembled.errors[0].message;
    ASSERT_EQ(assembled.words.size(), 1u) << text;
    EXPECT_EQ(assembled.words[0].value, word) << text << " assembles to another word";
    EXPECT_EQ(Normalize(tervik::Processor::Disassemble(word)), Normalize(text));

    // The Encoding row: its 0 and 1 bits, and the bits it calls ignored.
    std::string bits;
    for (char ch : ex.encoding) {
      if (ch != ' ') bits += ch;
    }
    ASSERT_EQ(bits.size(), 32u) << ex.encoding;
    std::vector<int> ignored;
    for (int i = 0; i < 32; ++i) {
      const int bit = 31 - i;
      if (bits[i] == '0' || bits[i] == '1') {
        EXPECT_EQ((word >> bit) & 1, static_cast<uint32_t>(bits[i] - '0'))
            << "bit " << bit << " of " << hex << " against " << ex.encoding;
      } else if (bits[i] == '-') {
        ignored.push_back(bit);
      }
    }

    // The sentences after the first.
    std::vector<Case> cases;
    std::string rest = ex.row.substr(textEnd + 1);
    if (!rest.empty() && rest[0] == '.') rest.erase(0, 1);
    std::string remainder = rest;
    size_t from = 0;
    while (from < remainder.size()) {
      size_t end = remainder.find(". ", from);
      // A sentence ends at ". " outside a number such as 0x1F.
      if (end == std::string::npos) end = remainder.size();
      const std::string sentence = Trim(remainder.substr(from, end - from));
      from = end + 1;
      if (sentence.empty()) continue;
      Case c;
      bool isCase = false;
      std::string error;
      if (!ParseCase(sentence, c, isCase, error)) {
        ADD_FAILURE() << error;
        continue;
      }
      if (isCase) cases.push_back(c);
    }
    EXPECT_FALSE(cases.empty()) << "no checked sentence in: " << ex.row;
    for (const Case& c : cases) {
      EXPECT_EQ(RunCase(word, c), "") << c.text;
      for (int bit : ignored) {
        EXPECT_EQ(RunCase(word ^ (1u << bit), c), "")
            << c.text << " with bit " << bit << ", which the encoding calls ignored, flipped";
      }
    }
  }
}

}  // namespace
