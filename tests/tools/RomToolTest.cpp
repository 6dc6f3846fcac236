// tervik-rom's command line: what it refuses with 64 (a range past FFFFFFFF, a one-word
// aggregate, a reserved word as the package's name), the words no region serves (0, with a map
// or above the listing's addresses without one), and the addresses of the VHDL comments in hex.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SetupTestSupport.h"
#include "ToolsTestSupport.h"

namespace tervik::test {
namespace {

TEST(RomCommandLine, RefusalsAndTheWordsOfUnservedAddresses) {
  TempDir dir;
  // Words at 0 and 1, and at FFFFF, the highest address a listing names.
  const std::string listing = dir.Write("p.lst",
                                        "00000 00000000000000000000000000000001\n"
                                        "00001 00000000000000000000000000000010\n"
                                        "FFFFF 00000000000000000000000000000011\n");
  // ROM at 0 and 1 only: 2 is served by no region.
  const std::string map = dir.Write("two.map", "0x0 0x2 ROM\n0xFFFFF 0x1 RAM\n");
  struct Case {
    std::vector<std::string> args;  // after --lst p.lst -o -
    int exitCode;
    std::string text;  // what standard output is (exit 0), or what standard error holds
  } const cases[] = {
      {{"-f", "readmemh", "--start", "0xFFFFFFFE", "--count", "4"},
       64,
       "tervik-rom: the range runs past address FFFFFFFF\n"},
      {{"-f", "readmemh", "--start", "0xFFFFFFFF", "--count", "2"}, 64, "past address FFFFFFFF"},
      {{"-f", "readmemh", "--start", "0xFFFFFFFF", "--count", "1"},
       0,
       "// Tervik ROM image: 1 word from address FFFFFFFF\n00000000\n"},
      {{"-f", "readmemh", "--start", "0xFFFFE", "--count", "3"},
       0,
       "// Tervik ROM image: 3 words from address 000FFFFE\n00000000\n00000003\n00000000\n"},
      {{"--map", map, "-f", "readmemh", "--start", "0", "--count", "3"},
       0,
       "// Tervik ROM image: 3 words from address 00000000\n00000001\n00000002\n00000000\n"},
      {{"-f", "vhdl-aggregate", "--start", "0", "--count", "1"},
       64,
       "write the VHDL package (vhdl)"},
      {{"-f", "vhdl-aggregate", "--start", "0xFFFFF", "--count", "2"},
       0,
       "ROM_WORD'(\"00000000000000000000000000000011\"), -- 000FFFFF 00000003 NOP\t\r\n"
       "ROM_WORD'(\"00000000000000000000000000000000\") -- 00100000 00000000 NOP\t\r\n"},
      {{"-f", "vhdl", "--name", "entity"}, 64, "--name: 'entity' is not a VHDL identifier"},
      {{"-f", "vhdl", "--name", "Process"}, 64, "--name: 'Process' is not a VHDL identifier"},
      {{"-f", "vhdl", "--name", "processor"}, 0, "package processor is\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--lst", listing, "-o", "-"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramRun run = RunProgram(TERVIK_ROM, args);
    SCOPED_TRACE(c.args[1] + " " + c.args.back());
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    if (c.exitCode == 0 && c.args[1] != "vhdl") {
      EXPECT_EQ(run.out, c.text);
    } else {
      EXPECT_NE((c.exitCode == 0 ? run.out : run.err).find(c.text), std::string::npos)
          << run.out << run.err;
    }
  }
}

}  // namespace
}  // namespace tervik::test
