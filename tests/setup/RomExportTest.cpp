// The ROM export text: its shape, the words of unmapped addresses, the two reads per word, and
// a golden export of a small program; the ROM image formats of a listing with gaps, and the
// default range.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Listing.h"
#include "PeripheralModule.h"
#include "RomExport.h"
#include "RomImage.h"
#include "SetupTestSupport.h"

namespace tervik {
namespace {

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t begin = 0;
  for (size_t end; (end = text.find("\r\n", begin)) != std::string::npos; begin = end + 2) {
    lines.push_back(text.substr(begin, end - begin));
  }
  EXPECT_EQ(begin, text.size()) << "text after the last CR LF";
  return lines;
}

TEST(RomExportTest, WithoutRegionsEveryWordIsAllOnes) {
  Processor processor;
  const std::string text = RomExportText(processor);
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
  const std::vector<std::string> lines = SplitCrLf(text);
  ASSERT_EQ(lines.size(), 1025u);
  const std::string ones(32, '1');
  const std::string dis = Processor::Disassemble(0xFFFFFFFFu);
  EXPECT_EQ(lines[0], "ROM_WORD'(\"" + ones + "\"), -- 00000 FFFFFFFF " + dis);
  EXPECT_EQ(lines[1023], "ROM_WORD'(\"" + ones + "\"), -- 01023 FFFFFFFF " + dis);
  EXPECT_EQ(lines[1024], "ROM_WORD'(\"" + ones + "\") -- 01024 FFFFFFFF " + dis);
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].find("\"), -- ") != std::string::npos, i < 1024) << i;
  }
}

TEST(RomExportTest, ReadsEachWordTwice) {
  test::RecordingConsole console;
  platform::PosixLibraryLoader libraries;
  PeripheralModuleLoader modules(libraries, TERVIK_TEST_MODULE_DIR);
  const auto probe = modules.LoadPeripheralModule("libtervik_test_probe.so", "", {}, console);
  ASSERT_TRUE(probe);
  Processor processor;
  processor.AddRegion(7, 1, RegionType::DLL, *probe);  // reads of offset 0 count up

  const std::vector<std::string> lines = SplitCrLf(RomExportText(processor));
  ASSERT_EQ(lines.size(), 1025u);
  EXPECT_EQ(lines[7].substr(0, 11 + 32), "ROM_WORD'(\"" + std::string(32, '0'));
  EXPECT_EQ(lines[7].substr(11 + 32 + 7, 15), "00007 00000001 ");
}

TEST(RomExportTest, GoldenExportOfAProgram) {
  test::TempDir dir;
  std::string lst;
  const uint32_t words[] = {0x00000000u, 0x04220005u, 0x80000000u, 0x7FFFFFFFu,
                            0x12345678u, 0xFC000000u, 0x0BADF00Du, 0xC0DE1234u};
  for (uint32_t i = 0; i < std::size(words); ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "%05X ", i * 0x49u);
    lst += line;
    for (int bit = 31; bit >= 0; --bit) lst += ((words[i] >> bit) & 1u) ? '1' : '0';
    lst += "\n";
  }
  Processor processor;
  processor.AddRegion(0, 0x300, RegionType::ROM);
  processor.AddRegion(0x3F0, 0x20, RegionType::RAM);
  ListingMap listing;
  test::RecordingConsole console;
  LoadListing(dir.Write("p.lst", lst), processor, listing, console);

  // Stored with LF line ends so that no checkout setting can alter it; CR LF is checked above.
  test::ExpectGolden("rom_export.txt", test::ReplaceAll(RomExportText(processor), "\r\n", "\n"));
}

// Every format of the default image of a listing placed from 0x10 to 0x1A with gaps: 16 words
// from 0x10, unplaced words 0. The binaries are shown as hex bytes. GHDL, Icarus Verilog and
// srec_cat read the same images back (tests/tools/rom_consumers.py).
TEST(RomExportTest, GoldenImagesInEveryFormat) {
  test::RecordingConsole console;
  Processor processor;
  processor.AddRegion(0, 0x100000, RegionType::RAM);
  ListingMap comments;
  ListingExtent extent;
  ASSERT_TRUE(LoadListing(TERVIK_ROM_LISTING, processor, comments, console, &extent));
  EXPECT_EQ(extent.placed, 6u);
  const RomRange range = DefaultRomRange(extent.lowest, extent.highest);
  EXPECT_EQ(range.start, 0x10u);
  EXPECT_EQ(range.count, 16u);

  std::string all;
  for (const RomFormatInfo& info : kRomFormats) {
    EXPECT_EQ(RomFormatNamed(info.name), info.format);
    std::string image = RomImage(processor, info.format, range);
    all += "==== " + std::string(info.name) + " ====\n";
    if (info.format == RomFormat::BinaryLittle || info.format == RomFormat::BinaryBig) {
      ASSERT_EQ(image.size(), range.count * 4);
      for (size_t i = 0; i < image.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X", static_cast<unsigned char>(image[i]));
        all += byte;
        all += i % 16 == 15 ? '\n' : ' ';
      }
    } else {
      all += test::ReplaceAll(image, "\r\n", "\n");
    }
  }
  test::ExpectGolden("rom_images.txt", all);
}

}  // namespace
}  // namespace tervik
