// A program from its source: assembled into a listing and symbols beside it, loaded into a
// session with its labels, breakpoints that follow their labels through a reassembly, and the
// targets the disassembly names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "Listing.h"
#include "ProgramFiles.h"
#include "RowSymbols.h"
#include "SourceReader.h"

namespace tervik::debug {
namespace {

namespace fs = std::filesystem;

class Folder {
 public:
  Folder() {
    std::string name = (fs::temp_directory_path() / "tervik-program-XXXXXX").string();
    path_ = mkdtemp(name.data());
  }
  ~Folder() { fs::remove_all(path_); }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
    return (path_ / name).string();
  }
  bool Has(const std::string& name) const { return fs::exists(path_ / name); }

 private:
  fs::path path_;
};

class NullConsole final : public ConsoleSink {
 public:
  void AppendLine(std::string_view) override {}
};

const char* const kProgram = R"(STACK   EQU     H#1800
        INCLUDE "lib.inc"
start:  MVSPL   STACK%
        MOVEL   R9,count%
loop:   CALL    R9
        JUMPI   loop
)";
const char* const kLibrary = "count:  ADDI    R1,R1,H#1\n        RET\n";

TEST(ProgramFiles, SourceToListingSymbolsAndBack) {
  Folder dir;
  const std::string source = dir.Write("prog.asm", kProgram);
  dir.Write("lib.inc", kLibrary);
  const SourceBuild build = BuildSource(source);
  ASSERT_TRUE(build.ok) << (build.messages.empty() ? "" : build.messages.front());
  EXPECT_EQ(build.files.size(), 2u);  // the source and the file it includes

  Session s;
  s.Cpu().AddRegion(0, 0x400, RegionType::RAM);
  NullConsole console;
  ASSERT_TRUE(LoadListing(build.listingPath, s.Cpu(), s.Listing(), console));
  EXPECT_EQ(LoadSymbols(s, build.symbolsPath, true),
            std::vector<std::string>{"Loaded 4 symbols from " + build.symbolsPath});
  EXPECT_EQ(*s.Symbols().Value("count"), 0u);
  EXPECT_EQ(*s.Symbols().Value("loop"), 4u);
  EXPECT_EQ(*s.Symbols().Value("STACK"), 0x1800u);  // a constant, not a label
  EXPECT_EQ(s.Symbols().LabelAt(0x1800), nullptr);

  // The words reach their labels: MOVEL R9,count and the jump back to loop.
  struct Row {
    uint32_t address;
    const char* target;
    const char* label;
  } const rows[] = {
      {3, "count", nullptr}, {5, "loop", nullptr}, {4, nullptr, "loop"}, {0, nullptr, "count"}};
  for (const Row& r : rows) {
    const RowSymbols row =
        SymbolsForRow(s.Symbols(), r.address, *s.PeekWord(r.address), s.PeekWord(r.address - 1));
    EXPECT_EQ(row.target == nullptr ? std::string() : *row.target,
              r.target == nullptr ? "" : r.target)
        << r.address;
    EXPECT_EQ(row.label == nullptr ? std::string() : *row.label, r.label == nullptr ? "" : r.label)
        << r.address;
  }

  // Breakpoints set by address follow their labels when the program is assembled with a word
  // more before them.
  s.ToggleBreakpoint(5);  // loop+1
  s.ToggleBreakpoint(1);  // count+1
  s.AddWatchpoint(4, 4);  // loop
  dir.Write("lib.inc", std::string("        NOP\n") + kLibrary);
  const SourceBuild again = BuildSource(source);
  ASSERT_TRUE(again.ok);
  ASSERT_TRUE(LoadListing(again.listingPath, s.Cpu(), s.Listing(), console));
  LoadSymbols(s, again.symbolsPath, true, true);
  EXPECT_EQ(s.Breakpoints(), (std::vector<uint32_t>{6, 2}));
  EXPECT_EQ(s.Watchpoints()[0].first, 5u);
}

TEST(ProgramFiles, ErrorsWriteNothingAndSayWhere) {
  Folder dir;
  const std::string source = dir.Write("bad.asm", "start:  ADDI R1,R1,R1\n");
  const SourceBuild build = BuildSource(source);
  EXPECT_FALSE(build.ok);
  EXPECT_EQ(build.messages,
            std::vector<std::string>{source + ":1:20: error: expected an immediate as operand 3, "
                                              "found register R1: ADDI takes Rd,Ra,imm"});
  EXPECT_FALSE(dir.Has("bad.lst"));
  EXPECT_FALSE(dir.Has("bad.sym"));
  // A source named like its own listing is never overwritten.
  const std::string named = dir.Write("prog.lst", "start: JUMPI start\n");
  EXPECT_FALSE(BuildSource(named).ok);
  EXPECT_FALSE(BuildSource(dir.Write("none.asm", "") + ".missing").ok);
}

// Sources and included files are read up to kMaxSourceBytes: a larger one (a file opened by
// mistake) is refused at once with the reason, and nothing is written; one at the limit builds.
TEST(ProgramFiles, SourcesLargerThanTheLimitAreRefused) {
  Folder dir;
  // Comment lines up to just below the limit.
  std::string atLimit;
  while (atLimit.size() + 64 < assembler::kMaxSourceBytes) atLimit += "; a comment line\n";
  const std::string tooLarge(assembler::kMaxSourceBytes + 1, ' ');
  struct Case {
    const char* name;
    std::string main;
    std::string included;  // written as part.inc
    bool ok;
    std::string message;  // the start of the first message
  };
  const Case cases[] = {
      {"AtTheLimit", "start: JUMPI start\n" + atLimit, "", true, ""},
      {"MainTooLarge", ";" + tooLarge + "\n", "", false, "Cannot read '"},
      {"IncludedTooLarge", "INCLUDE \"part.inc\"\nstart: JUMPI start\n", ";" + tooLarge, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Write("part.inc", c.included);
    const std::string source = dir.Write(std::string(c.name) + ".asm", c.main);
    const SourceBuild build = BuildSource(source);
    EXPECT_EQ(build.ok, c.ok);
    EXPECT_EQ(dir.Has(std::string(c.name) + ".lst"), c.ok);
    if (c.ok) continue;
    ASSERT_FALSE(build.messages.empty());
    EXPECT_EQ(build.messages[0].rfind(c.message, 0), 0u) << build.messages[0];
    EXPECT_NE(build.messages[0].find("it is larger than 8388608 bytes"), std::string::npos)
        << build.messages[0];
  }
}

TEST(ProgramFiles, BadSymbolFilesLeaveTheSessionWithout) {
  Folder dir;
  Session s;
  s.Cpu().AddRegion(0, 0x10, RegionType::RAM);
  s.SetSymbols(SymbolTable({{"old", 1, true}}));
  struct Case {
    const char* name;
    std::string text;
    size_t symbols;
    std::string lastLine;
  } const cases[] = {
      {"outside.sym", "00000001 L in\n00001000 L out\n00001000 E far\n", 3,
       "1 label names an address no memory region serves"},
      {"junk.sym", "00000001 L in\nxx\n", 1, "Loaded 1 symbol from "},
      {"binary.sym",
       std::string("\x7f"
                   "ELF\0\0",
                   6),
       0, "Cannot load symbols from "},
  };
  for (const Case& c : cases) {
    const std::string path = dir.Write(c.name, c.text);
    const std::vector<std::string> lines = LoadSymbols(s, path, true);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind(c.lastLine, 0), 0u) << c.name << ": " << lines.back();
    EXPECT_EQ(s.Symbols().size(), c.symbols) << c.name;
  }
  // A listing without a symbol file loads as before: no line, and no symbols.
  s.SetSymbols(SymbolTable({{"old", 1, true}}));
  EXPECT_TRUE(LoadSymbols(s, dir.Write("x.lst", "") + ".sym", false).empty());
  EXPECT_TRUE(s.Symbols().empty());
}

// The symbol file names its listing by the words the loader reads from it: symbols of another
// listing are refused with one line, those of a symbol file without the line (an older
// assembler's) are taken.
TEST(ProgramFiles, SymbolsOfAnotherListingAreNotUsed) {
  Folder dir;
  const std::string source = dir.Write("prog.asm", "start: NOP\ntarget: JUMPI target\n");
  const SourceBuild build = BuildSource(source);
  ASSERT_TRUE(build.ok);
  const std::string old = dir.Write("old.sym", "00000001 L target\n");
  // The same symbols for the listing with the label a word further on.
  const SourceBuild moved =
      BuildSource(dir.Write("moved.asm", "start: NOP\n  NOP\ntarget: JUMPI target\n"));
  ASSERT_TRUE(moved.ok);

  Session s;
  s.Cpu().AddRegion(0, 0x10, RegionType::RAM);
  NullConsole console;
  ListingExtent extent;
  ASSERT_TRUE(LoadListing(build.listingPath, s.Cpu(), s.Listing(), console, &extent));
  s.SetListingFingerprint(extent.fingerprint);
  struct Case {
    std::string symbols;
    std::string line;  // the first console line
    size_t count;
  } const cases[] = {
      {build.symbolsPath, "Loaded 2 symbols from ", 2},
      {moved.symbolsPath,
       "Symbols not loaded: '" + moved.symbolsPath +
           "' belongs to another listing than the one loaded; assemble the source again",
       0},
      {old, "Loaded 1 symbol from ", 1},
  };
  for (const Case& c : cases) {
    s.SetSymbols(SymbolTable({{"stale", 9, true}}));
    const std::vector<std::string> lines = LoadSymbols(s, c.symbols, true);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind(c.line, 0), 0u) << lines.front();
    EXPECT_EQ(s.Symbols().size(), c.count) << c.symbols;
  }
  EXPECT_EQ(ForeignSymbols(ReadSymbolFile(moved.symbolsPath), moved.symbolsPath, build.listingPath)
                .has_value(),
            true);
  EXPECT_EQ(ForeignSymbols(ReadSymbolFile(build.symbolsPath), build.symbolsPath, build.listingPath),
            std::nullopt);
}

TEST(ProgramFiles, WordTargets) {
  auto word = [](Opcode op, unsigned rd, unsigned ra, uint32_t low) {
    return static_cast<uint32_t>(op) << 26 | rd << 21 | ra << 16 | (low & 0xFFFFu);
  };
  auto movei = [](MoveiSub sub, unsigned rd, uint32_t imm) {
    return static_cast<uint32_t>(Opcode::MOVEI) << 26 | rd << 21 |
           static_cast<uint32_t>(sub) << 17 | (imm & 0xFFFFu);
  };
  const uint32_t moveh = movei(MoveiSub::MOVEH, 3, 0x1234);
  struct Case {
    uint32_t word;
    std::optional<uint32_t> previous;
    std::optional<uint32_t> target;  // from address 0x100
  } const cases[] = {
      {word(Opcode::JUMPI, 0, 0, 0xFFFE), {}, 0xFE},
      {word(Opcode::BNZEI, 0, 2, 5), {}, 0x105},
      {word(Opcode::BrZEI, 0, 2, 0x40), {}, 0x40},
      {word(Opcode::JUMPrI, 0, 0, 0x8000), {}, 0xFFFF8000},
      {movei(MoveiSub::MOVEL, 1, 0x2A), {}, 0x2A},
      {word(Opcode::ORI, 3, 3, 0x0765), moveh, 0x12340765},
      {word(Opcode::ORI, 3, 3, 0x8765), moveh, 0xFFFF8765},  // ORI sign-extends, as the processor
      {word(Opcode::ADDI, 3, 3, 0xFFFF), moveh, 0x1233FFFF},
      {word(Opcode::ORI, 3, 4, 0x8765), moveh, std::nullopt},    // not the same register
      {word(Opcode::ORI, 3, 3, 1), std::nullopt, std::nullopt},  // nothing known before
      {word(Opcode::ADD, 1, 1, 1), {}, std::nullopt},
      {moveh, {}, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WordTarget(0x100, c.word, c.previous), c.target) << std::hex << c.word;
  }
}

TEST(ProgramFiles, ShownPathIsRelativeInsideTheWorkingFolder) {
  const std::string here = std::filesystem::current_path().string();
  const struct {
    std::string path;
    std::string shown;
  } cases[] = {
      {here + "/sum.sym", "sum.sym"},
      {here + "/sub/dir/sum.sym", "sub/dir/sum.sym"},
      {std::filesystem::current_path().parent_path().string() + "/elsewhere.sym",
       std::filesystem::current_path().parent_path().string() + "/elsewhere.sym"},
      {"relative/as/given.sym", "relative/as/given.sym"},
  };
  for (const auto& c : cases) EXPECT_EQ(ShownPath(c.path), c.shown) << c.path;
}

}  // namespace
}  // namespace tervik::debug
