// The memory map loader with the real library loader: region lines, comments and case variants,
// values that do not fit 32 bits, regions without memory, and the console output as a whole.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "MemoryMap.h"
#include "SetupTestSupport.h"

namespace tervik {
namespace {

using test::RecordingConsole;
using test::TempDir;

using Region = std::tuple<uint32_t, uint32_t, RegionType>;

std::vector<Region> RegionsOf(const Processor& processor) {
  std::vector<Region> regions;
  for (const MemoryRegion& r : processor.Regions()) regions.emplace_back(r.start, r.size, r.type);
  return regions;
}

class MemoryMapTest : public ::testing::Test {
 protected:
  // Loads `content` as a map in the temporary folder; the console lines are in `console`.
  void Load(const std::string& content) {
    path = dir.Write("test.map", content);
    LoadMemoryMap(path, processor, modules, console);
  }

  TempDir dir;
  std::string path;
  platform::PosixLibraryLoader libraries;
  PeripheralModuleLoader modules{libraries, TERVIK_BUNDLED_DIR};
  Processor processor;
  RecordingConsole console;
};

struct RegionLineCase {
  const char* name;
  std::string line;
  std::vector<Region> regions;
  std::vector<std::string> messages;  // between the first line and the table
};
void PrintTo(const RegionLineCase& c, std::ostream* os) {
  *os << c.name;
}

class RegionLineTest : public MemoryMapTest,
                       public ::testing::WithParamInterface<RegionLineCase> {};

TEST_P(RegionLineTest, AddsTheRegionsOfTheLine) {
  const RegionLineCase& c = GetParam();
  Load(c.line);
  EXPECT_EQ(RegionsOf(processor), c.regions);
  ASSERT_GE(console.lines.size(), 3u);
  const std::vector<std::string> middle(console.lines.begin() + 1,
                                        console.lines.end() - 2 - processor.Regions().size());
  EXPECT_EQ(middle, c.messages);
}

std::string Skipped(int line, const std::string& why) {
  return "Line " + std::to_string(line) + " is not a region line and is skipped: " + why;
}

constexpr RegionType ROM = RegionType::ROM;
constexpr RegionType RAM = RegionType::RAM;

INSTANTIATE_TEST_SUITE_P(
    Lines, RegionLineTest,
    ::testing::Values(
        RegionLineCase{"Rom", "0x0 0x400 ROM\n", {{0, 0x400, ROM}}, {}},
        RegionLineCase{
            "LeadingWhiteSpaceAndUpperX", " \t0X1000\t0X400  RAM\n", {{0x1000, 0x400, RAM}}, {}},
        RegionLineCase{"HexDigitsInEitherCase",
                       "0x1f 0x1F RAM\n0X1F 0xaB ROM\n",
                       {{0x1F, 0x1F, RAM}, {0x1F, 0xAB, ROM}},
                       {}},
        RegionLineCase{"TypeWordNeedOnlyBeginTheRest",
                       "0x0 0x1 RAMX and more\n0x1 0x1 ROM;\n",
                       {{0, 1, RAM}, {1, 1, ROM}},
                       {}},
        RegionLineCase{"LowerCaseTypeWordsAreReportedAndAddNothing",
                       "0x0 0x1 ram\n0x0 0x1 Rom\n0x0 0x1 dll ab\n",
                       {},
                       {Skipped(1, "the type word is written in upper case (RAM)"),
                        Skipped(2, "the type word is written in upper case (ROM)"),
                        Skipped(3, "the type word is written in upper case (DLL)")}},
        // Only lines that begin with a hex number were meant as regions: the others are
        // comments, skipped without a word.
        RegionLineCase{"MalformedNumbersAreReportedAndAddNothing",
                       "0x 0x1 RAM\n0x0 1 RAM\n0x0 0x1RAM\n0x0g 0x1 RAM\n00x0 0x1 RAM\n",
                       {},
                       {Skipped(2, "the size is not 0x and hex digits"),
                        Skipped(3, "the size is not 0x and hex digits"),
                        Skipped(4, "the start is not 0x and hex digits")}},
        RegionLineCase{"MissingPiecesAreNamed",
                       "0x10\n0x10 0x20\n0x10 0x20 FOO\n0x10 0x20 DLL\n0x10 0x20 DLL x\n",
                       {},
                       {Skipped(1, "a region needs a size after its start, then RAM, ROM or DLL"),
                        Skipped(2, "the type word is missing (RAM, ROM or DLL)"),
                        Skipped(3, "unknown type word 'FOO' (RAM, ROM or DLL)"),
                        Skipped(4, "DLL needs a module file name"),
                        Skipped(5,
                                "the module file name must begin with a letter, a digit, '_', "
                                "'/' or './' and have two characters at least")}},
        // A line longer than a piece counts once: the next line's number is still right.
        RegionLineCase{"LineNumbersCountLinesNotPieces",
                       "; " + std::string(3000, 'x') + "\n0x1 0x1 rom\n",
                       {},
                       {Skipped(2, "the type word is written in upper case (ROM)")}},
        RegionLineCase{"OverlapsAndEmptyRegionsAreKeptInOrder",
                       "0x0 0x400 RAM\n0x0 0x10 ROM\n0x20 0x0 RAM\n",
                       {{0, 0x400, RAM}, {0, 0x10, ROM}, {0x20, 0, RAM}},
                       {}},
        RegionLineCase{"LeadingZerosBeyondEightDigitsFit",
                       "0x000000010 0x0000000000FF RAM\n",
                       {{0x10, 0xFF, RAM}},
                       {}},
        RegionLineCase{"LargestValuesFit", "0xFFFFFFFF 0x1 RAM\n", {{0xFFFFFFFF, 1, RAM}}, {}},
        RegionLineCase{"StartOver32BitsIsSkipped",
                       "0x100000000 0x1 RAM\n0x1 0x1 RAM\n",
                       {{1, 1, RAM}},
                       {"Start 0x100000000 does not fit in 32 bits; line skipped"}},
        // White space is space, tab, CR, LF and FF: a vertical tab (which PCRE2's \s takes)
        // separates nothing, before the start, between the fields or after DLL.
        RegionLineCase{"VerticalTabIsNoWhiteSpace",
                       "\v0x0 0x1 RAM\n0x0\v0x1 RAM\n0x0 0x1\vROM\n0x0 0x1 DLL\vx\n",
                       {},
                       {Skipped(2, "the start is not 0x and hex digits"),
                        Skipped(3, "the size is not 0x and hex digits"),
                        Skipped(4, "DLL needs white space before the module file name")}},
        RegionLineCase{"FormFeedCarriageReturnAndTabAreWhiteSpace",
                       "\f0x0\t0x1\fRAM\n\r0x1 \r0x2\t ROM\n",
                       {{0, 1, RAM}, {1, 2, ROM}},
                       {}},
        RegionLineCase{"SizeOver32BitsIsSkipped",
                       "0x0 0x1FFFFFFFF ROM\n",
                       {},
                       {"Size 0x1FFFFFFFF does not fit in 32 bits; line skipped"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MemoryMapTest, CrLfMapGivesTheSameRegionsAndMessages) {
  const std::string map =
      "; map\n0x0 0x400 ROM\n0x8000 0x10 DLL libtervik_timer.so 3\n0x9000 0x10 DLL "
      "libtervik_gpio.so  \n";
  Load(map);
  const std::vector<std::string> lf = console.lines;
  const std::vector<Region> lfRegions = RegionsOf(processor);
  console.lines.clear();
  Load(test::ReplaceAll(map, "\n", "\r\n"));
  EXPECT_EQ(console.lines, lf);
  EXPECT_EQ(RegionsOf(processor), lfRegions);
  EXPECT_EQ(lfRegions.size(), 3u);
}

// The module text splits into name and parameter text at space, tab, CR, LF or FF only: a vertical
// tab belongs to the name (which then names no module), a form feed separates.
TEST_F(MemoryMapTest, VerticalTabDoesNotSplitTheModuleName) {
  Load("0x8000 0x6 DLL libtervik_timer.so\v3\n0x8010 0x6 DLL libtervik_timer.so\f7\f\n");
  ASSERT_GE(console.lines.size(), 3u);
  EXPECT_EQ(console.lines[1], "Adding DLL 'libtervik_timer.so\v3'");
  EXPECT_NE(console.lines[2].rfind("DLL param", 0), 0u) << console.Text();
  EXPECT_NE(
      std::find(console.lines.begin(), console.lines.end(), "Adding DLL 'libtervik_timer.so'"),
      console.lines.end())
      << console.Text();
  EXPECT_NE(std::find(console.lines.begin(), console.lines.end(), "DLL param: '7'"),
            console.lines.end())
      << console.Text();
  EXPECT_EQ(RegionsOf(processor), (std::vector<Region>{{0x8010, 6, RegionType::DLL}}));
}

TEST_F(MemoryMapTest, UnopenableMapLeavesNoRegions) {
  Load("0x0 0x10 RAM\n");
  ASSERT_EQ(processor.Regions().size(), 1u);
  const std::string missing = (dir.path() / "nothing.map").string();
  LoadMemoryMap(missing, processor, modules, console);
  EXPECT_TRUE(processor.Regions().empty());
  EXPECT_EQ(std::vector<std::string>(console.lines.end() - 2, console.lines.end()),
            (std::vector<std::string>{"Loading memory map from " + missing + "...",
                                      "Error opening file '" + missing + "'"}));
}

// The console output of a map with every kind of line, real modules included. Module files are
// found next to the map (copied test modules), in the bundled folder, or not at all.
TEST_F(MemoryMapTest, ConsoleOutputOfAFullMap) {
  for (const char* module : {"libtervik_test_probe.so", "libtervik_test_no_clock.so"}) {
    std::filesystem::copy_file(std::filesystem::path(TERVIK_TEST_MODULE_DIR) / module,
                               dir.path() / module);
  }
  Load(
      "; Test machine\n"
      "# start      size   type\n"
      "\n"
      "0x0          0x400  ROM    program\n"
      "0X1000       0x400  RAM\n"
      "0x1f         0x1F   ram\n"
      "0x8000       0x10   DLL libtervik_terminal.so console\n"
      "0x8010       0x8    DLL libtervik_timer.so  \n"
      "0x8018       0x8    DLL libtervik_gpio.so 0x0F\n"
      "0x8020       0x8    DLL libtervik_test_probe.so first   \n"
      "0x8028       0x8    DLL libtervik_test_probe.so second\n"
      "0x8030       0x8    DLL libtervik_test_no_clock.so\n"
      "0x8038       0x8    DLL libtervik_absent.so with parameters\n"
      "0x9000       0x8    DLL .hidden.so\n"
      "0x100000000  0x1    RAM\n"
      "0x0          0x10   RAM    overlaps the ROM\n");
  test::ExpectGolden("map_load.txt",
                     test::ReplaceAll(console.Text(), dir.path().string(), "<tmp>"));
  EXPECT_EQ(processor.Regions().size(), 8u);

  console.lines.clear();
  DisplayMemoryMap(processor, console);
  EXPECT_EQ(console.lines.size(), 9u);
  // The probe writes 500 characters; 488 are shown.
  EXPECT_EQ(console.lines[6].size(), 23u + 488u);
}

TEST_F(MemoryMapTest, RegionWithoutMemoryIsReportedAndSkipped) {
  const std::string map =
      dir.Write("big.map", "0x0 0x10 ROM\n0x100 0xFFFFFFFF RAM\n0x10 0x10 RAM\n");
  // Storage is reserved lazily, so only a limit on the address space makes 16 GiB fail. The
  // child process checks the outcome and reports it through its exit code and stderr.
  auto loadUnderLimit = [&] {
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    const rlim_t limit = pages * 4096 + (256ul << 20);
    const rlimit rl{limit, limit};
    setrlimit(RLIMIT_AS, &rl);
    RecordingConsole out;
    LoadMemoryMap(map, processor, modules, out);
    std::fputs(out.Text().c_str(), stderr);
    const std::vector<Region> expected{{0, 0x10, ROM}, {0x10, 0x10, RAM}};
    std::exit(RegionsOf(processor) == expected && out.lines.back() == "Done" ? 0 : 1);
  };
  EXPECT_EXIT(loadUnderLimit(), ::testing::ExitedWithCode(0),
              "Out of memory for the region at 00000100 of size FFFFFFFF; line skipped");
}

}  // namespace
}  // namespace tervik
