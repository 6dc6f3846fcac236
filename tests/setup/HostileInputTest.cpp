// Files and modules that try to break the loaders: binary data, NUL bytes, a line of a
// megabyte, folders, devices, FIFOs and unreadable files given as paths, ten thousand regions,
// regions at the very top of the address space, and a module that writes past its buffers and
// talks from every entry point. None may crash or hang; each gets its clear console message.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <random>
#include <string>

#include "Listing.h"
#include "MemoryMap.h"
#include "SetupTestSupport.h"

namespace tervik::test {
namespace {

constexpr std::string_view kWordLine = "00010 00000000000000000000000000101010 ; found it";

struct Machine {
  Processor cpu;
  ListingMap listing;
  RecordingConsole console;
  platform::PosixLibraryLoader libraries;
  PeripheralModuleLoader modules{libraries, TERVIK_TEST_MODULE_DIR};
  TempDir dir;

  Machine() { cpu.AddRegion(0, 0x100, RegionType::RAM); }
};

TEST(HostileListing, BinaryDataAndNulBytesAroundAWord) {
  Machine m;
  std::mt19937 rng(7);
  std::string data;
  for (int i = 0; i < 100000; ++i) data.push_back(static_cast<char>(rng()));
  data += std::string("\0\0\0", 3) + std::string(kWordLine) + std::string("\0tail\n", 6);
  LoadListing(m.dir.Write("binary.lst", data), m.cpu, m.listing, m.console);
  EXPECT_EQ(m.cpu.ReadMem(0x10), 42u);
  EXPECT_TRUE(m.console.lines.empty());
}

TEST(HostileListing, OneLineOfAMegabyte) {
  Machine m;
  // The line is read in pieces of 2047 characters; a word inside one piece still counts.
  std::string line(1 << 20, 'x');
  line.replace(2047 * 100 + 5, kWordLine.size(), kWordLine);
  LoadListing(m.dir.Write("long.lst", line + "\n"), m.cpu, m.listing, m.console);
  EXPECT_EQ(m.cpu.ReadMem(0x10), 42u);

  // A megabyte of a comment that ends in blanks: the comment pattern's worst case.
  std::string blanks = ";x" + std::string((1 << 20) - 3, ' ') + "y";
  LoadListing(m.dir.Write("blanks.lst", std::string(kWordLine) + blanks + "\n"), m.cpu, m.listing,
              m.console);
  EXPECT_EQ(m.cpu.ReadMem(0x10), 42u);
  EXPECT_TRUE(m.console.lines.empty());
}

// Paths that name no regular file are refused at once with the "Error opening file" line:
// reading a device would never end, opening a FIFO would wait for a writer forever, and a
// folder or /dev/null would otherwise load as an empty file.
TEST(HostilePaths, OnlyRegularFilesAreRead) {
  Machine m;
  const std::string fifo = (m.dir.path() / "pipe").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string paths[] = {m.dir.path().string(),
                               "/dev/null",
                               "/dev/zero",
                               fifo,
                               (m.dir.path() / "missing").string(),
                               ""};
  for (const std::string& path : paths) {
    m.console.lines.clear();
    m.cpu.AddRegion(0, 0x10, RegionType::RAM);
    m.cpu.WriteMem(3, 33);
    EXPECT_FALSE(LoadListing(path, m.cpu, m.listing, m.console)) << path;
    EXPECT_EQ(m.cpu.ReadMem(3), 0u) << path;  // cleared before the file is opened
    EXPECT_FALSE(LoadMemoryMap(path, m.cpu, m.modules, m.console)) << path;
    EXPECT_TRUE(m.cpu.Regions().empty()) << path;
    EXPECT_EQ(m.console.lines, (std::vector<std::string>{"Error opening file '" + path + "'",
                                                         "Loading memory map from " + path + "...",
                                                         "Error opening file '" + path + "'"}))
        << path;
  }

  // /proc/self/mem is a regular file that opens, but reading its first page fails: the read
  // error ends the file.
  m.console.lines.clear();
  m.cpu.AddRegion(0, 0x10, RegionType::RAM);
  EXPECT_TRUE(LoadListing("/proc/self/mem", m.cpu, m.listing, m.console));
  EXPECT_TRUE(m.listing.empty());
  EXPECT_TRUE(LoadMemoryMap("/proc/self/mem", m.cpu, m.modules, m.console));
  EXPECT_TRUE(m.cpu.Regions().empty());
}

TEST(HostileMap, TenThousandRegions) {
  Machine m;
  std::string map;
  for (int i = 0; i < 10000; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "0x%X 0x10 %s\n", 0x100000 - i * 0x10, i % 2 ? "RAM" : "ROM");
    map += line;
  }
  LoadMemoryMap(m.dir.Write("many.map", map), m.cpu, m.modules, m.console);
  ASSERT_EQ(m.cpu.Regions().size(), 10000u);
  EXPECT_EQ(m.console.lines.size(), 1 + 1 + 10000 + 1u);  // loading, heading, table, Done
  m.cpu.WriteMem(0x100005, 5);
  EXPECT_EQ(m.cpu.ReadMem(0x100005), 5u);
  EXPECT_EQ(m.cpu.ReadMem(0x100010), 0xFFFFFFFFu);
}

TEST(HostileMap, RegionsAtTheTopAndSizesBeyond32Bits) {
  Machine m;
  LoadMemoryMap(m.dir.Write("top.map",
                            "0xFFFFFFFF 0xFFFFFFFF RAM\n"
                            "0x100000000 0x10 RAM\n"
                            "0x0 0x1FFFFFFFF ROM\n"
                            "0x000000010 0x000000010 RAM\n"),
                m.cpu, m.modules, m.console);
  ASSERT_EQ(m.cpu.Regions().size(), 2u);
  // The first region covers only the last address, and costs one word of storage.
  EXPECT_EQ(m.cpu.Regions()[0].storage.size(), 1u);
  m.cpu.WriteMem(0xFFFFFFFF, 9);
  EXPECT_EQ(m.cpu.ReadMem(0xFFFFFFFF), 9u);
  EXPECT_EQ(m.cpu.ReadMem(0), 0xFFFFFFFFu);
  EXPECT_NE(std::find(m.console.lines.begin(), m.console.lines.end(),
                      "Start 0x100000000 does not fit in 32 bits; line skipped"),
            m.console.lines.end());
  EXPECT_NE(std::find(m.console.lines.begin(), m.console.lines.end(),
                      "Size 0x1FFFFFFFF does not fit in 32 bits; line skipped"),
            m.console.lines.end());
}

TEST(HostileModule, WritesPastItsBuffersAndTalksFromEveryEntryPoint) {
  Machine m;
  LoadMemoryMap(m.dir.Write("hostile.map",
                            "0x100 0x10 DLL libtervik_test_hostile.so first\n"
                            "0x108 0x10 DLL libtervik_test_hostile.so second\n"),
                m.cpu, m.modules, m.console);
  ASSERT_EQ(m.cpu.Regions().size(), 2u);
  // The flood: 200 lines of 4999 characters each, every one cut to a console line.
  const auto flooded = std::count_if(m.console.lines.begin(), m.console.lines.end(),
                                     [](const std::string& l) { return l[0] == 'F'; });
  EXPECT_EQ(flooded, 400);
  for (const std::string& line : m.console.lines) EXPECT_LE(line.size(), kConsoleLineMax);
  // About wrote 10,000 characters; the table shows 488 of them.
  const std::string& row = m.console.lines[m.console.lines.size() - 2];
  EXPECT_EQ(row, "00000108 00000010 DLL  " + std::string(488, 'A'));

  m.console.lines.clear();
  m.cpu.Reset();
  m.cpu.SetPC(0);
  for (int i = 0; i < 1000; ++i) m.cpu.Step();
  // Two regions of one module: Reset and Clock reach it twice each, so 1000 steps are 2000
  // clocks of the one module.
  EXPECT_EQ(m.console.lines,
            (std::vector<std::string>{"hostile: reset", "hostile: reset",
                                      "hostile: a thousand clocks", "hostile: a thousand clocks"}));
  // The overlap goes to the first region: offsets from 0x100, not 0x108.
  EXPECT_EQ(m.cpu.ReadMem(0x10A), 0xAu);
  EXPECT_EQ(m.cpu.ReadMem(0x117), 0xFu);
}

}  // namespace
}  // namespace tervik::test
