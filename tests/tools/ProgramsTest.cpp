// The built programs at work: tervik-run runs each self-checking instruction program and each
// demo to its end; the committed example listings equal the ones the build makes; and the
// command lines of both tools behave as their help says.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "SetupTestSupport.h"
#include "ToolsTestSupport.h"

namespace tervik::test {
namespace {

const std::string kRunner = TERVIK_RUNNER;
const std::string kAssembler = TERVIK_ASSEMBLER;
const std::string kSource = TERVIK_SOURCE_DIR;
const std::string kProgramMap = kSource + "/tests/programs/programs.map";
const std::string kExampleMap = kSource + "/examples/default.map";

std::string ProgramListing(const std::string& name) {
  return std::string(TERVIK_PROGRAM_LISTING_DIR) + "/" + name + ".lst";
}
std::string ExampleListing(const std::string& name) {
  return std::string(TERVIK_EXAMPLE_LISTING_DIR) + "/" + name + ".lst";
}

// ---- The self-checking programs: each ends at pass (0xFF0) with R31 = 600D ----

class SelfCheckingProgram : public testing::TestWithParam<const char*> {};

TEST_P(SelfCheckingProgram, EndsAtPassWithThePassCode) {
  const ProgramRun run =
      RunProgram(kRunner, {"--map", kProgramMap, "--lst", ProgramListing(GetParam()), "--until",
                           "0xFF0", "--steps", "100000", "--dump-regs"});
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("R31: 0000600D"), std::string::npos)
      << "R30 holds the number of the failed check:\n"
      << run.out;
  EXPECT_NE(run.out.find("until: reached pc 00000FF0 after "), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Programs, SelfCheckingProgram,
                         testing::Values("logic", "arith", "shifts", "branches", "memory", "lfsr"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

// ---- The demos, on the bundled peripherals ----

struct Demo {
  const char* name;
  std::vector<std::string> args;  // besides --map and --lst
  int exitCode;
  std::vector<std::string> out;      // texts standard output contains
  std::vector<std::string> console;  // texts standard error (the console) contains
};

void PrintTo(const Demo& d, std::ostream* os) {
  *os << d.name;
}

class DemoProgram : public testing::TestWithParam<Demo> {};

TEST_P(DemoProgram, RunsToItsEnd) {
  const Demo& d = GetParam();
  std::vector<std::string> args = {"--map", kExampleMap, "--lst", ExampleListing(d.name)};
  args.insert(args.end(), d.args.begin(), d.args.end());
  const ProgramRun run = RunProgram(kRunner, args);
  EXPECT_EQ(run.exitCode, d.exitCode) << run.out << run.err;
  for (const std::string& text : d.out) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text << "\nin:\n" << run.out;
  }
  for (const std::string& text : d.console) {
    EXPECT_NE(run.err.find(text), std::string::npos) << text << "\nin:\n" << run.err;
  }
  EXPECT_EQ(run.err.find("Failed"), std::string::npos) << run.err;
}

const std::string kHalted = "halted: pc stayed at ";

INSTANTIATE_TEST_SUITE_P(
    Examples, DemoProgram,
    testing::Values(Demo{"hello",
                         {"--steps", "10000"},
                         0,
                         {kHalted + "00000008 (JUMPI H#0%) after 66 steps"},
                         {"\nHello, world\n"}},
                    Demo{"blinker",
                         {"--steps", "100000", "--dump-regs"},
                         0,
                         {"R04: 00000000", kHalted},
                         {"GPIO LEDs 00000001 (LED 0 on)\nGPIO LEDs 00000000 (LED 0 off)\n"
                          "GPIO LEDs 00000001 (LED 0 on)\nGPIO LEDs 00000000 (LED 0 off)\n"
                          "GPIO LEDs 00000001 (LED 0 on)\nGPIO LEDs 00000000 (LED 0 off)\n"}},
                    Demo{"stack",
                         {"--steps", "10000", "--dump-regs"},
                         0,
                         {"PC: 00000004 IM: 00000000 SP: 00001800", "R02: 00000078", kHalted},
                         {}},
                    Demo{"checksum",
                         {"--steps", "10000", "--dump-regs", "--dump-mem", "0x1000:1"},
                         0,
                         {"R00: 00000000   R01: D3B62CF2", "00001000: D3B62CF2\n" + kHalted},
                         {}},
                    Demo{"counter",
                         {"--steps", "1000", "--dump-mem", "0x1000:2"},
                         2,
                         {"00001000: 00000001 00000002\nstep limit: pc "},
                         {"Done\n"}}),
    [](const testing::TestParamInfo<Demo>& info) { return std::string(info.param.name); });

// The window loads the listings and symbol files kept in examples/: they must be what the
// assembler makes now.
TEST(Examples, CommittedListingsEqualTheBuiltOnes) {
  const bool update = std::getenv("TERVIK_UPDATE_GOLDEN") != nullptr &&
                      std::string_view(std::getenv("TERVIK_UPDATE_GOLDEN")) == "1";
  for (const std::string name :
       {"blinker.lst", "checksum.lst", "counter.lst", "hello.lst", "stack.lst", "blinker.sym",
        "checksum.sym", "counter.sym", "hello.sym", "stack.sym", "animation.lst", "echo.lst",
        "stopwatch.lst", "switches.lst", "animation.sym", "echo.sym", "stopwatch.sym",
        "switches.sym"}) {
    std::string built, committed;
    const std::string stem = name.substr(0, name.size() - 4);
    const std::string builtPath = ExampleListing(stem);
    ASSERT_TRUE(
        ReadFile(builtPath.substr(0, builtPath.size() - 4) + name.substr(name.size() - 4), built))
        << name;
    const std::string path = kSource + "/examples/" + name;
    if (update) {
      std::ofstream(path, std::ios::binary) << built;
      continue;
    }
    ASSERT_TRUE(ReadFile(path, committed)) << path << " (run with TERVIK_UPDATE_GOLDEN=1)";
    EXPECT_EQ(committed, built) << path << " is out of date (run with TERVIK_UPDATE_GOLDEN=1)";
  }
}

// ---- Command lines ----

// Every exit status of the table in the manual (docs/manual/fragments/tervik-run-exit.md), each
// with the message that names the failure.
TEST(RunnerCommandLine, ExitCodesTellHowTheRunEnded) {
  TempDir work;
  const std::map<std::string, std::string> sources = {
      {"good", "start: MOVEL R31,H#600D%\nhalt:  JUMPI halt%\n"},
      {"undefined", "       MOVEL R1,H#1%\n       DW 0x80000000\n"},
      {"unmapped", "       JUMPI H#1FFF%\n"},
      {"empty", "; no word\n"},
  };
  for (const auto& [name, source] : sources) {
    const std::string asmPath = work.Write(name + ".asm", source);
    ASSERT_EQ(
        RunProgram(kAssembler, {asmPath, "-o", (work.path() / (name + ".lst")).string()}).exitCode,
        0)
        << name;
  }
  struct Case {
    std::string listing;  // a program of tests/programs, or one of the sources above
    std::vector<std::string> extra;
    int exitCode;
    std::string err;  // a line standard error must hold
  };
  const Case cases[] = {
      {"logic", {}, 0, ""},                         // halted, no --until
      {"logic", {"--until", "0xFF0"}, 0, ""},       // reached
      {"logic", {"--until", "H#FF0"}, 0, ""},       // the listing's own hex
      {"logic", {"--until", "0xFF1"}, 1, ""},       // halted elsewhere
      {"logic", {"--steps", "10"}, 2, ""},          // limit
      {"logic", {"--until", "0xFG"}, 64, ""},       // not a number
      {"logic", {"--dump-mem", "0x1000"}, 64, ""},  // no count
      {"logic", {"--steps", "-1"}, 64, "tervik-run: --steps: a count cannot be negative\n"},
      {"logic", {"--trace-to", " -5"}, 64, "tervik-run: --trace-to: a count cannot be negative\n"},
      {"good", {"--expect", "R31 == 0x600D", "--expect", "halt == 1 && M[start] != 0"}, 0, ""},
      {"good",
       {"--expect", "R31 == 0x600D", "--expect", "R30 == 1"},
       6,
       "tervik-run: --expect 'R30 == 1' does not hold\n"},
      {"good", {"--expect", "nowhere == 1"}, 6, "--expect 'nowhere == 1': col 1: "},
      {"good", {"--expect", "R31 =="}, 64, "tervik-run: --expect: col 7: "},
      {"good", {"--until", "halt"}, 0, ""},
      {"undefined", {}, 5, "tervik-run: halted on an undefined word at 00000001\n"},
      {"undefined", {"--until", "0x100", "--expect", "R1 == 7"}, 5, "does not hold\n"},
      {"unmapped", {}, 5, "tervik-run: halted on a fetch from unmapped memory at 00002000\n"},
      {"empty", {"--steps", "3"}, 2, "tervik-run: warning: No word loaded: '"},
  };
  for (const Case& c : cases) {
    const bool ours = sources.count(c.listing) != 0;
    std::vector<std::string> args = {
        "--map", kProgramMap, "--lst",
        ours ? (work.path() / (c.listing + ".lst")).string() : ProgramListing(c.listing)};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const ProgramRun run = RunProgram(kRunner, args);
    std::string line = c.listing;
    for (const std::string& a : c.extra) line += " " + a;
    EXPECT_EQ(run.exitCode, c.exitCode) << line << "\n" << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << line << "\n" << run.err;
  }
  EXPECT_EQ(RunProgram(kRunner, {"--lst", ProgramListing("logic")}).exitCode, 64);

  // A map or listing that cannot be read, whatever the reason, ends the runner with 3 and the
  // loader's console line; a device or a FIFO must not keep it reading or waiting.
  TempDir dir;
  const std::string fifo = (dir.path() / "pipe").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Unreadable {
    const char* role;  // "memory map" or "listing"
    std::string path;
  };
  const Unreadable unreadable[] = {
      {"listing", "/nonexistent/x.lst"},
      {"listing", dir.path().string()},
      {"listing", "/dev/zero"},
      {"listing", fifo},
      {"memory map", dir.path().string()},
      {"memory map", "/dev/zero"},
      {"memory map", fifo},
  };
  for (const Unreadable& u : unreadable) {
    const bool isMap = std::string_view(u.role) == "memory map";
    const ProgramRun failed = RunProgram(
        kRunner,
        {"--map", isMap ? u.path : kProgramMap, "--lst", isMap ? ProgramListing("logic") : u.path},
        {.stdoutPath = "", .timeoutSeconds = 30});
    EXPECT_EQ(failed.exitCode, 3) << u.role << " " << u.path << "\n" << failed.err;
    EXPECT_NE(failed.err.find("Error opening file '" + u.path + "'\n"), std::string::npos)
        << failed.err;
    EXPECT_NE(failed.err.find(std::string("tervik-run: cannot read the ") + u.role + " '" + u.path +
                              "'\n"),
              std::string::npos)
        << failed.err;
    EXPECT_EQ(failed.out, "") << u.role << " " << u.path;  // no run
  }
}

// A suite of runs with --quiet, --output and --junit: the program's own lines alone in the
// output file and on standard error, and the report (times set to 0) against its golden file.
TEST(RunnerCommandLine, SuiteWithReportAndTheProgramsOutputAlone) {
  TempDir work;
  const std::string suite = work.Write(
      "suite.txt", "# the demos\n\n--name hello --map " + kExampleMap + " --lst " +
                       ExampleListing("hello") + " --expect 'R3 == 0 && M[text] == 0x48'\n" +
                       "--map " + kProgramMap + " --lst " + ProgramListing("logic") +
                       " --name 'logic & <more>' --until pass --expect \"R31 == 0x600E\"\n");
  const std::string output = (work.path() / "out.txt").string();
  const std::string report = (work.path() / "report.xml").string();
  const ProgramRun run =
      RunProgram(kRunner, {"--suite", suite, "--quiet", "--output", output, "--junit", report});
  EXPECT_EQ(run.exitCode, 6) << run.err;
  EXPECT_EQ(run.err, "tervik-run: " + suite + ":4: --expect 'R31 == 0x600E' does not hold\n");
  EXPECT_EQ(run.out,
            "halted: pc stayed at 00000008 (JUMPI H#0%) after 66 steps\nhello: passed\n"
            "until: reached pc 00000FF0 after 273 steps\n"
            "logic & <more>: failed (exit status 6)\n1 passed, 1 failed\n");
  std::string text;
  ASSERT_TRUE(ReadFile(output, text));
  EXPECT_EQ(text, "Hello, world\n");
  ASSERT_TRUE(ReadFile(report, text));
  // The times, the host and the suite's folder vary.
  for (const char* attribute : {" time=\"", " timestamp=\"", " hostname=\""}) {
    for (size_t at = 0; (at = text.find(attribute, at)) != std::string::npos;) {
      at += std::strlen(attribute);
      text.replace(at, text.find('"', at) - at, "0");
    }
  }
  for (size_t at = 0; (at = text.find(suite, at)) != std::string::npos;) {
    text.replace(at, suite.size(), "suite.txt");
  }
  ExpectGolden("junit.xml", text);

  const ProgramRun quiet =
      RunProgram(kRunner, {"--map", kExampleMap, "--lst", ExampleListing("hello"), "--quiet"});
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(quiet.err, "Hello, world\n");
}

// Standard output that cannot be written, for a dump or a trace, ends the runner with 4 and
// says so, instead of a silent 0. (That a dump stops at the first failed write is shown by
// Runner.MemoryDumpsGoOutInPiecesAndStopAtAFailedWrite.)
// The symbol file beside the listing names addresses in --until and --dump-mem, and --dump-sym
// writes it out; a symbol file given and unreadable ends the run before it starts.
TEST(RunnerCommandLine, AddressesByTheirLabels) {
  const std::vector<std::string> base = {"--map", kExampleMap, "--lst", ExampleListing("stack")};
  struct Case {
    std::vector<std::string> extra;
    int exitCode;
    std::string inOut;  // a text standard output (or, for a failure, error) holds
  } const cases[] = {
      {{"--until", "halt"}, 0, "until: reached pc 00000004"},
      {{"--until", "fact+3", "--steps", "100"}, 0, "until: reached pc 00000008"},
      {{"--until", "halt", "--dump-mem", "STACK:2"}, 0, "00001800: 00000004 00000005"},
      {{"--dump-sym"}, 0, "00000008 L recurse\n0000000F L mul\n"},
      {{"--until", "nowhere"}, 64, "--until: col 1: undefined symbol 'nowhere'"},
      {{"--sym", "/nonexistent.sym"}, 3, "cannot read the symbol file '/nonexistent.sym'"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = base;
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const ProgramRun run = RunProgram(kRunner, args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.extra.front() << "\n" << run.err;
    const std::string& text = c.exitCode == 0 ? run.out : run.err;
    EXPECT_NE(text.find(c.inOut), std::string::npos) << c.extra.front() << ":\n" << text;
  }
}

TEST(RunnerCommandLine, OutputThatCannotBeWrittenEndsWithFour) {
  const ProgramRun full = RunProgram(
      kRunner,
      {"--map", kProgramMap, "--lst", ProgramListing("logic"), "--dump-mem", "0:0x1000000"},
      {.stdoutPath = "/dev/full", .timeoutSeconds = 60});
  EXPECT_EQ(full.exitCode, 4) << full.err;
  EXPECT_NE(full.err.find("tervik-run: cannot write the output: No space left on device\n"),
            std::string::npos)
      << full.err;
  const ProgramRun traced =
      RunProgram(kRunner, {"--map", kProgramMap, "--lst", ProgramListing("logic"), "--trace"},
                 {.stdoutPath = "/dev/full"});
  EXPECT_EQ(traced.exitCode, 4) << traced.err;
}

TEST(RunnerCommandLine, TraceWritesAStepPerLineThenTheReason) {
  const ProgramRun run = RunProgram(
      kRunner, {"--map", kExampleMap, "--lst", ExampleListing("hello"), "--trace", "--steps", "3"});
  EXPECT_EQ(run.exitCode, 2);
  const char* expected =
      "       1 00000000 EC200009 MOVEL R1,H#9%            PC=1 R1=9\n"
      "       2 00000001 EC407000 MOVEL R2,H#7000%         PC=2 R2=7000\n"
      "       3 00000002 CC610000 LOADI R3,R1,H#0          PC=3 R3=48\n"
      "step limit: pc 00000003 after 3 steps\n";
  EXPECT_EQ(run.out, expected);
}

TEST(ToolsCommandLine, HelpAndVersion) {
  for (const std::string& tool : {kRunner, kAssembler}) {
    const std::string name = std::filesystem::path(tool).filename().string();
    const ProgramRun version = RunProgram(tool, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, name + " " + TERVIK_VERSION + "\n");
    const ProgramRun help = RunProgram(tool, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Exit status:"), std::string::npos) << help.out;
  }
}

// What a folder holds: each entry's name with its contents, "folder" or its link target.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::string& what = entries[entry.path().filename().string()];
    if (entry.is_symlink()) {
      what = "link to " + std::filesystem::read_symlink(entry.path()).string();
    } else if (entry.is_directory()) {
      what = "folder";
    } else {
      ReadFile(entry.path().string(), what);
    }
  }
  return entries;
}

TEST(AssemblerCommandLine, ErrorsLeaveNoListingBehind) {
  TempDir dir;
  const std::string good = dir.Write("good.asm", "start: JUMPI start\n");
  EXPECT_EQ(RunProgram(kAssembler, {good}).exitCode, 0);
  const std::string listing = (dir.path() / "good.lst").string();
  std::string text;
  ASSERT_TRUE(ReadFile(listing, text));
  EXPECT_EQ(text, "00000 10111100000000000000000000000000  start: JUMPI start\n");

  // The same output name from a source with a mistake: the old listing goes too.
  const std::string bad = dir.Write("bad.asm", "start: JUMPI start\n  ADDI R1,R1,R1\n");
  const ProgramRun run = RunProgram(kAssembler, {bad, "-o", listing});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, bad +
                         ":2:14: error: expected an immediate as operand 3, found register R1: "
                         "ADDI takes Rd,Ra,imm\n1 error; no listing written\n");
  EXPECT_FALSE(std::filesystem::exists(listing));

  // So does it when the source cannot be read, or the listing cannot be written; the message
  // names the listing, not a temporary file.
  dir.Write("good.lst", "old");
  EXPECT_EQ(RunProgram(kAssembler, {(dir.path() / "none.asm").string(), "-o", listing}).exitCode,
            1);
  EXPECT_FALSE(std::filesystem::exists(listing));
  const std::string unwritable = (dir.path() / "no" / "such.lst").string();
  const ProgramRun cannot = RunProgram(kAssembler, {good, "-o", unwritable});
  EXPECT_EQ(cannot.exitCode, 1);
  EXPECT_EQ(cannot.err,
            "tervik-as: cannot write '" + unwritable + "': No such file or directory\n");

  // The temporary file has a name of its own each time: one left in the way by another
  // assembly of the same output (here a folder) does not stop this one, and none is left.
  std::filesystem::create_directory(listing + ".tmp");
  EXPECT_EQ(RunProgram(kAssembler, {good}).exitCode, 0) << RunProgram(kAssembler, {good}).err;
  std::filesystem::remove(listing + ".tmp");
  EXPECT_EQ(Snapshot(dir.path()),
            (std::map<std::string, std::string>{
                {"bad.asm", "start: JUMPI start\n  ADDI R1,R1,R1\n"},
                {"good.asm", "start: JUMPI start\n"},
                {"good.lines",
                 "; Tervik lines: F INDEX PATH names a file; ADDRESS COUNT FILE LINE: that file's "
                 "line LINE placed COUNT words from ADDRESS\nF 0 good.asm\n00000000 1 0 1\n"},
                {"good.lst", "00000 10111100000000000000000000000000  start: JUMPI start\n"},
                {"good.sym",
                 "; Tervik symbols: VALUE KIND NAME, KIND L for a label, E for a constant\n"
                 "; listing A8C76C3228194BE1\n"
                 "00000000 L start\n"
                 "; Uses: ADDRESS U NAME, the word at ADDRESS has an operand written with NAME\n"
                 "00000000 U start\n"}}));

  EXPECT_EQ(RunProgram(kAssembler, {}).exitCode, 64);
}

// A listing that would replace the source, a file it includes, or something that is not a
// regular file is refused with 64 before anything is read or written: a failure would remove
// it, a success overwrite it.
TEST(AssemblerCommandLine, RefusesToWriteOverItsInputs) {
  struct Case {
    const char* name;
    std::vector<std::string> args;  // in the folder below
    const char* why;
  };
  const Case cases[] = {
      {"the source, with an error", {"bad.asm", "-o", "./bad.asm"}, "it is the source '"},
      {"the source, without one", {"main.asm", "-o", "main.asm"}, "it is the source '"},
      {"a listing given as source", {"prog.lst"}, "it is the source '"},
      {"a link to the source", {"main.asm", "-o", "link.lst"}, "it is the source '"},
      {"an included file", {"main.asm", "-o", "lib/check.inc"}, "it is the included file '"},
      {"a folder", {"bad.asm", "-o", "lib"}, "it is a folder;"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    dir.Write("bad.asm", "  ADDI R1,R1,R1\n");
    dir.Write("main.asm", "  INCLUDE \"lib/check.inc\"\n");
    dir.Write("prog.lst", "00000 10111100000000000000000000000000  start: JUMPI start\n");
    std::filesystem::create_directory(dir.path() / "lib");
    dir.Write("lib/check.inc", "  RET\n");
    std::filesystem::create_symlink("main.asm", dir.path() / "link.lst");
    const auto before = Snapshot(dir.path());
    const auto beforeLib = Snapshot(dir.path() / "lib");

    std::vector<std::string> args;
    for (const std::string& a : c.args) args.push_back(a == "-o" ? a : (dir.path() / a).string());
    const ProgramRun run = RunProgram(kAssembler, args);
    EXPECT_EQ(run.exitCode, 64) << c.name << "\n" << run.err;
    EXPECT_EQ(run.err.rfind("tervik-as: will not write the listing '", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.why), std::string::npos) << c.name << "\n" << run.err;
    EXPECT_EQ(Snapshot(dir.path()), before) << c.name;
    EXPECT_EQ(Snapshot(dir.path() / "lib"), beforeLib) << c.name;
  }
}

}  // namespace
}  // namespace tervik::test
